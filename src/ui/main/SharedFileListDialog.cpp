#include "SharedFileListDialog.h"

#include "WebPages.h"

#include "ui/toolkit/BizMenu.h"
#include "ui/toolkit/DateTimeCtrl.h"
#include "ui/toolkit/EditAmount.h"
#include "ui/toolkit/FlatButton.h"
#include "ui/toolkit/ImageList.h"
#include "ui/toolkit/LinkCtrl.h"
#include "ui/toolkit/TreeComboBox.h"

#include "account/InformationManager.h"
#include "account/LoginManager.h"
#include "app/BizApp.h"
#include "app/SharedGuiSystem.h"
#include "core/AppState.h"
#include "core/Messages.h"
#include "core/Strings.h"
#include "files/FavoriteManager.h"
#include "files/FileRecord.h"
#include "files/SharedFileManager.h"
#include "folders/SharedWorkspaceManager.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QDate>
#include <QDragEnterEvent>
#include <QFrame>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLoggingCategory>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

Q_LOGGING_CATEGORY(lcSharedWindow, "velquor.ui.main.online")

namespace {

// The whole listing when paging is off (the service's page of "everything").
constexpr qint32 kWholeList = 1 << 30;

QIcon ColourIcon(int r, int g, int b)
{
    QPixmap pixmap(16, 16);
    pixmap.fill(QColor(r, g, b));
    return QIcon(pixmap);
}

QLabel *Tilde(QWidget *parent, int id)
{
    auto *label = new QLabel(QStringLiteral("～"), parent);
    label->setObjectName(QString::number(id));
    return label;
}

} // namespace

CSharedFileListDialog::CSharedFileListDialog(CSharedGuiSystem &system, QWidget *parent)
    : CFileListDialog(5129, system, OnlineColumnTable(), false, parent)
    , m_gui(system)
{
    if (const CLoginManager *login = system.loginManager(); login && login->IsSignedIn()) {
        const CUserRecord &u = login->userRecord();
        m_rights.privWeb = u.privWeb;
        m_rights.privFileCreate = u.privFileCreate;
        m_rights.privFileOverwrite = u.privFileOverwrite;
        m_rights.privFileRename = u.privFileRename;
        m_rights.privFileMove = u.privFileMove;
        m_rights.privFileDelete = u.privFileDelete;
        m_rights.privFileDownload = u.privFileDownload;
        m_rights.privFolderCreate = u.privFolderCreate;
        m_rights.privBulkUpload = u.privBulkUpload;
        m_rights.privFolderMove = u.privFolderMove;
        m_rights.privFolderDelete = u.privFolderDelete;
        m_rights.privBulkDownload = u.privBulkDownload;
        m_rights.privReadonlyCreate = u.privReadonlyCreate;
        m_rights.privBulkUploadDataBox = u.privBulkUploadDataBox;
        m_rights.privDataBox = u.privDataBox;
        m_rights.privEditDataBox = u.privEditDataBox;
        m_rights.privFileCommentEditDataBox = u.privFileCommentEditDataBox;
        m_rights.privFileCreateDataBox = u.privFileCreateDataBox;
        m_rights.privFileDeleteDataBox = u.privFileDeleteDataBox;
        m_rights.privFileDownloadDataBox = u.privFileDownloadDataBox;
        m_rights.privFileMoveDataBox = u.privFileMoveDataBox;
        m_rights.privFileOverwriteDataBox = u.privFileOverwriteDataBox;
        m_rights.privFileRenameDataBox = u.privFileRenameDataBox;
        m_rights.privFolderCreateDataBox = u.privFolderCreateDataBox;
        m_rights.privFolderDeleteDataBox = u.privFolderDeleteDataBox;
        m_rights.privFolderMoveDataBox = u.privFolderMoveDataBox;
        m_rights.privReadonlyCreateDataBox = u.privReadonlyCreateDataBox;
        m_rights.maxFileCreate = u.maxFileCreate;
        m_rights.maxFileCopy = u.maxFileCopy;
        m_rights.maxFileMove = u.maxFileMove;
        m_rights.maxFileCommentLength = u.maxFileCommentLength;
        m_rights.maxFavoriteCount = u.maxFavoriteCount;
    }
    BuildOnlineControls();
    setAcceptDrops(true);
}

CSharedFileListDialog::~CSharedFileListDialog() = default;

CSharedSystem &CSharedFileListDialog::shared() const
{
    return m_gui;
}

// --- building ---

void CSharedFileListDialog::BuildOnlineControls()
{
    m_topLine = new QFrame(this);
    m_topLine->setObjectName(QString::number(TopLine));
    m_topLine->setFrameShape(QFrame::HLine);
    m_topLine->setFixedHeight(1);
    m_topLine->setStyleSheet(QStringLiteral("background: rgb(160,170,190);"));
    topArea()->insertWidget(0, m_topLine);

    // Row 1: the recent files, the notices with their badge, beside the main menu.
    m_recentButton = MakeTextButton(RecentButton, QStringLiteral("直近の更新"), LoadString(18301));
    m_recentButton->setAccessibleName(QStringLiteral("直近の更新ファイル一覧"));
    m_noticesButton = MakeIconButton(NoticesButton, BizIcon::Notice, LoadString(18276));
    m_badge = new QLabel(this);
    m_badge->setObjectName(QString::number(NoticeBadge));
    m_badge->setAccessibleName(QStringLiteral("未読のお知らせ"));
    QFont badgeFont = DialogFont();
    badgeFont.setBold(true);
    badgeFont.setPointSizeF(badgeFont.pointSizeF() - 1);
    m_badge->setFont(badgeFont);
    m_badge->setStyleSheet(QStringLiteral("color: rgb(232,17,35);"));
    topRow1()->insertWidget(1, m_noticesButton);
    topRow1()->insertWidget(2, m_badge);
    topRow1()->insertWidget(3, m_recentButton);

    // Row 2: the favourites view beside the refresh.
    m_favoritesButton
        = MakeIconButton(MainId::FavoritesView, BizIcon::FavoriteOn, LoadString(18284));
    topRow2()->addWidget(m_favoritesButton);
    connect(m_list, &CFileListCtrl::favoriteCellClicked, this,
            [this](int row) { ToggleFavoriteOf(row); });

    // The transaction search of DataBox folders.
    m_transactionRow = new QWidget(this);
    auto *row = new QHBoxLayout(m_transactionRow);
    row->setContentsMargins(30, 0, 0, 0);
    row->setSpacing(4);
    auto *dateLabel = new QLabel(LoadString(18306), m_transactionRow);
    m_dateFrom = new CBizDateTimeCtrl(m_transactionRow);
    m_dateFrom->setObjectName(QString::number(DateFrom));
    m_dateFrom->SetMaxLength(10);
    m_dateFrom->edit()->setAccessibleName(QStringLiteral("取引日（開始）"));
    m_dateFrom->edit()->setPlaceholderText(QStringLiteral("yyyy/mm/dd"));
    m_dateTo = new CBizDateTimeCtrl(m_transactionRow);
    m_dateTo->setObjectName(QString::number(DateTo));
    m_dateTo->SetMaxLength(10);
    m_dateTo->edit()->setAccessibleName(QStringLiteral("取引日（終了）"));
    m_dateTo->edit()->setPlaceholderText(QStringLiteral("yyyy/mm/dd"));
    dateLabel->setBuddy(m_dateFrom->edit());
    m_blankDate = new QCheckBox(QStringLiteral("空欄のみ"), m_transactionRow);
    m_blankDate->setObjectName(QString::number(BlankDate));
    m_blankDate->setAccessibleName(QStringLiteral("取引日 空欄のみ"));
    auto *nameLabel = new QLabel(LoadString(18308), m_transactionRow);
    m_clientName = new QLineEdit(m_transactionRow);
    m_clientName->setObjectName(QString::number(ClientName));
    m_clientName->setMaxLength(50);
    m_clientName->setAccessibleName(LoadString(18308));
    nameLabel->setBuddy(m_clientName);
    m_blankName = new QCheckBox(QStringLiteral("空欄のみ"), m_transactionRow);
    m_blankName->setObjectName(QString::number(BlankName));
    m_blankName->setAccessibleName(QStringLiteral("取引先名 空欄のみ"));
    auto *amountLabel = new QLabel(LoadString(18307), m_transactionRow);
    m_amountFrom = new CBizEditAmount(m_transactionRow);
    m_amountFrom->setObjectName(QString::number(AmountFrom));
    m_amountFrom->setMaxLength(11);
    m_amountFrom->setAccessibleName(QStringLiteral("取引金額（下限）"));
    m_amountFrom->setAlignment(Qt::AlignRight);
    amountLabel->setBuddy(m_amountFrom);
    m_amountTo = new CBizEditAmount(m_transactionRow);
    m_amountTo->setObjectName(QString::number(AmountTo));
    m_amountTo->setMaxLength(11);
    m_amountTo->setAccessibleName(QStringLiteral("取引金額（上限）"));
    m_amountTo->setAlignment(Qt::AlignRight);
    m_blankAmount = new QCheckBox(QStringLiteral("空欄のみ"), m_transactionRow);
    m_blankAmount->setObjectName(QString::number(BlankAmount));
    m_blankAmount->setAccessibleName(QStringLiteral("取引金額 空欄のみ"));
    row->addWidget(dateLabel);
    row->addWidget(m_blankDate);
    row->addWidget(m_dateFrom, 3);
    row->addWidget(Tilde(m_transactionRow, DateTilde));
    row->addWidget(m_dateTo, 3);
    row->addSpacing(8);
    row->addWidget(nameLabel);
    row->addWidget(m_blankName);
    row->addWidget(m_clientName, 4);
    row->addSpacing(8);
    row->addWidget(amountLabel);
    row->addWidget(m_blankAmount);
    row->addWidget(m_amountFrom, 3);
    row->addWidget(Tilde(m_transactionRow, AmountTilde));
    row->addWidget(m_amountTo, 3);
    topArea()->addWidget(m_transactionRow);
    m_transactionRow->hide();
    for (QCheckBox *box : {m_blankDate, m_blankName, m_blankAmount})
        connect(box, &QCheckBox::toggled, this, [this] {
            ApplyBlankFlags();
            RequestCommandStates();
        });
    for (QLineEdit *edit :
         {m_dateFrom->edit(), m_dateTo->edit(), m_clientName,
          static_cast<QLineEdit *>(m_amountFrom), static_cast<QLineEdit *>(m_amountTo)}) {
        connect(edit, &QLineEdit::textChanged, this, [this] { RequestCommandStates(); });
        edit->installEventFilter(this);
    }

    // Below the list: the comment pane, then the pager.
    m_commentArea = new QWidget(this);
    auto *comment = new QVBoxLayout(m_commentArea);
    comment->setContentsMargins(0, 0, 0, 0);
    comment->setSpacing(2);
    auto *commentHead = new QHBoxLayout;
    m_commentInfo = new QLabel(m_commentArea);
    m_commentInfo->setObjectName(QString::number(CommentInfo));
    m_commentInfo->setStyleSheet(QStringLiteral("color: rgb(96,96,96);"));
    m_commentButton = MakeIconButton(CommentButton, BizIcon::Comment, LoadString(18298));
    m_commentButton->setParent(m_commentArea);
    commentHead->addWidget(m_commentInfo, 1);
    commentHead->addWidget(m_commentButton);
    comment->addLayout(commentHead);
    m_commentPane = new QPlainTextEdit(m_commentArea);
    m_commentPane->setObjectName(QString::number(CommentPane));
    m_commentPane->setReadOnly(true);
    m_commentPane->setPlaceholderText(QStringLiteral("<コメント>"));
    m_commentPane->setAccessibleName(QStringLiteral("コメント"));
    m_commentPane->setFixedHeight(QFontMetrics(DialogFont()).lineSpacing() * 3 + 12);
    m_commentInfo->setBuddy(m_commentPane);
    comment->addWidget(m_commentPane);
    m_commentStrip = new QPushButton(this);
    m_commentStrip->setObjectName(QString::number(CommentStrip));
    m_commentStrip->setFixedHeight(9);
    m_commentStrip->setFlat(true);
    m_commentStrip->setAutoDefault(false);
    m_commentStrip->setFocusPolicy(Qt::NoFocus);
    connect(m_commentStrip, &QPushButton::clicked, this, [this] { OnCommand(CommentStrip); });
    belowList()->addWidget(m_commentStrip);
    belowList()->addWidget(m_commentArea);

    auto *pagerRow = new QHBoxLayout;
    m_pagerLabel = new QLabel(this);
    m_pagerLabel->setObjectName(QString::number(PagerLabel));
    m_pagerLabel->setAccessibleName(QStringLiteral("ページ"));
    m_pagerLinks = new CBizLinkCtrl(this);
    m_pagerLinks->setObjectName(QString::number(PagerLinks));
    m_pagerLinks->setAccessibleName(QStringLiteral("ページの切り替え"));
    connect(m_pagerLinks, &CBizLinkCtrl::linkClicked, this,
            [this](const QString &id) { FollowPageLink(id); });
    pagerRow->addWidget(m_pagerLabel);
    pagerRow->addStretch(1);
    pagerRow->addWidget(m_pagerLinks);
    belowList()->addLayout(pagerRow);

    // The button column: send, download, add after open.
    m_sendButton = MakeTextButton(MainId::Send, QStringLiteral("送信"), LoadString(18293));
    m_downloadButton = MakeTextButton(MainId::Download, QStringLiteral("ＤＬ"), LoadString(18297));
    m_downloadButton->setAccessibleName(QStringLiteral("ダウンロード"));
    int addTip = 18296;
    if (m_rights.privFileCreate && !m_rights.privFolderCreate)
        addTip = 18294;
    else if (!m_rights.privFileCreate && m_rights.privFolderCreate)
        addTip = 18295;
    m_addButton = MakeTextButton(MainId::Add, QStringLiteral("追加"), LoadString(addTip));
    buttonColumn()->insertWidget(2, m_sendButton);
    buttonColumn()->insertWidget(3, m_downloadButton);
    buttonColumn()->insertWidget(4, m_addButton);
    m_downloadButton->setVisible(m_rights.privFileDownload);
    m_addButton->setVisible(m_rights.privFileCreate || m_rights.privFolderCreate);

    if (IsSupportMode()) {
        m_timingStatic = new QLabel(LoadString(TimingStatic), this);
        m_timingStatic->setObjectName(QString::number(TimingStatic));
        m_timingStatic->setStyleSheet(QStringLiteral("color: rgb(96,96,96);"));
        bottomRow()->insertWidget(1, m_timingStatic);
    }
}

// --- opening and settings ---

void CSharedFileListDialog::ReadOnlineProfile()
{
    m_showCommentEdit = ProfileInt(QStringLiteral("showCommentEdit"), 1) != 0;
    m_showSearchBlank = ProfileInt(QStringLiteral("showSearchBlank"), 0) != 0;
    m_workspaceIdOld = ProfileInt(QStringLiteral("workspaceIdOld"), 0);
    m_extractDir = ProfileString(QStringLiteral("extractDir"));
    m_extractAllDir = ProfileString(QStringLiteral("extractAllDir"));
    m_pagingEnabled = ProfileInt(QStringLiteral("pagiEnalbed"), 1) != 0;
    m_pager.SetPageSize(ProfileInt(QStringLiteral("pagiLimit"), CPager::DefaultPageSize));
    ShowTransactionTexts({ProfileString(QStringLiteral("filterTransacDateFrom")),
                          ProfileString(QStringLiteral("filterTransacDateTo")),
                          ProfileString(QStringLiteral("filterTransacClient")),
                          ProfileString(QStringLiteral("filterTransacAmountFrom")),
                          ProfileString(QStringLiteral("filterTransacAmountTo"))},
                         {ProfileInt(QStringLiteral("filterSearchBlankDate"), 0) != 0,
                          ProfileInt(QStringLiteral("filterSearchBlankClient"), 0) != 0,
                          ProfileInt(QStringLiteral("filterSearchBlankAmount"), 0) != 0});
}

void CSharedFileListDialog::OnInitDialog()
{
    ReadOnlineProfile();
    m_recentButton->setVisible(isOfficeUser());
    ApplyCommentPane();
    // The base opening: profile, placement, columns and the rows already loaded.
    CFileListDialog::OnInitDialog();
    if (CSharedFileManager *files = m_gui.sharedFiles())
        files->favorites().CountFavorites(progressHandler());
    m_favoritesButton->SetIconId(isFavoritesView() ? BizIcon::FavoriteOff : BizIcon::FavoriteOn);
    SetTip(m_favoritesButton, LoadString(isFavoritesView() ? 18285 : 18284));
    ApplyTransactionControls();

    // The root is not offered to users outside the office: they start in the first folder.
    bool navigated = false;
    if (!isOfficeUser() && m_folderId == 0 && !m_searchMode) {
        if (CSharedWorkspaceManager *folders = m_gui.sharedWorkspaces()) {
            if (CWorkspaceRecord *first = folders->FirstChild(0)) {
                NavigateToFolder(first->id, false);
                navigated = true;
            }
        }
    }
    if (!navigated)
        PostRefresh(false, true, m_list);
    UpdatePager();
    UpdateNotices();

    // Unsent files were kept at the last exit: their list first.
    if (m_saveExitMode) {
        m_saveExitMode = false;
        EnterSendMode();
    }
}

void CSharedFileListDialog::SaveSettings(const QString &sectionName)
{
    CFileListDialog::SaveSettings(sectionName);
    WriteProfileInt(QStringLiteral("showCommentEdit"), m_showCommentEdit ? 1 : 0);
    WriteProfileInt(QStringLiteral("showSearchBlank"), m_showSearchBlank ? 1 : 0);
    WriteProfileInt(QStringLiteral("workspaceIdOld"), m_workspaceIdOld);
    WriteProfileString(QStringLiteral("extractDir"), m_extractDir);
    WriteProfileString(QStringLiteral("extractAllDir"), m_extractAllDir);
    const QStringList texts = m_favoritesMemory.saved && isFavoritesView()
                                  ? m_favoritesMemory.transactionTexts
                                  : TransactionTexts();
    const QList<bool> blanks
        = m_favoritesMemory.saved && isFavoritesView() ? m_favoritesMemory.blanks : BlankFlags();
    const char *textKeys[] = {"filterTransacDateFrom", "filterTransacDateTo", "filterTransacClient",
                              "filterTransacAmountFrom", "filterTransacAmountTo"};
    for (int i = 0; i < 5; ++i)
        WriteProfileString(QString::fromLatin1(textKeys[i]), texts.value(i));
    const char *blankKeys[]
        = {"filterSearchBlankDate", "filterSearchBlankClient", "filterSearchBlankAmount"};
    for (int i = 0; i < 3; ++i)
        WriteProfileInt(QString::fromLatin1(blankKeys[i]), blanks.value(i) ? 1 : 0);
    WriteProfileInt(QStringLiteral("pagiEnalbed"), m_pagingEnabled ? 1 : 0);
    WriteProfileInt(QStringLiteral("pagiLimit"), m_pager.pageSize());
    WriteProfileInt(QStringLiteral("pagiOffset"), std::max(0, m_pager.FirstItemIndex()));
    if (CBizApp *app = CBizApp::instance())
        app->SyncProfile();
}

bool CSharedFileListDialog::IsRootSelectable() const
{
    return isOfficeUser();
}

void CSharedFileListDialog::UpdateTitle()
{
    CFileListDialog::UpdateTitle();
    if (const CLoginManager *login = m_gui.loginManager(); login && login->IsSignedIn()) {
        const QString name = login->userRecord().customerDispName;
        if (!name.isEmpty())
            m_title->setText(name);
    }
    UpdatePager();
}

// --- fetching ---

CTransactionSearchQuery CSharedFileListDialog::TransactionQuery() const
{
    CTransactionSearchQuery query;
    query.dateFrom = m_dateFrom->text().trimmed();
    query.dateTo = m_dateTo->text().trimmed();
    query.name = m_clientName->text().trimmed();
    query.amountFrom = m_amountFrom->rawText();
    query.amountTo = m_amountTo->rawText();
    query.searchBlankDate = m_showSearchBlank && m_blankDate->isChecked();
    query.searchBlankName = m_showSearchBlank && m_blankName->isChecked();
    query.searchBlankAmount = m_showSearchBlank && m_blankAmount->isChecked();
    return query;
}

bool CSharedFileListDialog::FetchFromSource()
{
    CSharedFileManager *files = m_gui.sharedFiles();
    if (!files || !IsSignedIn())
        return false;
    BeginTiming(QStringLiteral("UPDT"));
    const bool paged = m_pagingEnabled && !m_sendMode && !isFavoritesView();
    const EListView v = view();
    const int kind = sortKind(v);
    const CTransactionSearchQuery transaction = TransactionQuery();

    SFilePageQuery query;
    query.folderId = m_folderId;
    query.searchMode = m_searchMode;
    query.offset = paged ? std::max(0, m_pager.FirstItemIndex()) : 0;
    query.pageSize = paged ? m_pager.pageSize() : kWholeList;
    query.sortIndex = std::max(0, ServerSortKey(kind));
    query.descending = ServerSortKey(kind) >= 0 && sortDown(v, kind);
    if (m_searchMode)
        query.pattern = m_fileSearchText;
    else if (m_folderSearchActive)
        query.pattern = m_folderSearchText;
    if (m_searchMode && IsDataBoxFolder())
        query.search = &transaction;
    const bool ok = m_gui.Forward(*files, [&](CSharedFileManager &m) { return m.LoadPage(query); });
    if (ok) {
        files->AttachPendingComments();
        if (query.folderId != m_folderId && m_folderId > 0)
            m_folderId = query.folderId; // the folder went away on the service
        m_pager.SetTotal(query.folderCount + query.fileCount);
        // The links follow the new total (a page past the end becomes the last one).
        if (m_pager.PageCount() > 0)
            m_pager.GoToPage(std::max(1, m_pager.current()));
        if (CInformationManager *info = m_gui.information())
            m_gui.Forward(*info, [](CInformationManager &m) { return m.RefreshCounts(); });
        CheckImportantNotice();
    } else if (m_gui.workspaces() && m_gui.workspaces()->list().IsEmpty()) {
        files->list().RemoveAll();
    }
    EndTiming();
    UpdateNotices();
    return ok;
}

void CSharedFileListDialog::Sort(int kind, bool descending)
{
    if (m_pagingEnabled && !m_sendMode && !isFavoritesView() && ServerSortKey(kind) >= 0
        && m_pager.PageCount() > 1) {
        // The service sorts the whole listing: back to its first page.
        m_pager.Reset();
        PostRefresh(true, true, m_list);
        return;
    }
    CFileListDialog::Sort(kind, descending);
}

void CSharedFileListDialog::NavigateToFolder(qint32 folderId, bool selectRemembered)
{
    if (isFavoritesView() && folderId != -1) {
        // Out of the favourites by going to a row's folder: its saved state is not restored.
        m_favoritesMemory.saved = false;
        m_favoritesButton->SetIconId(BizIcon::FavoriteOn);
        SetTip(m_favoritesButton, LoadString(18284));
    }
    if (m_pagingEnabled && folderId > 0 && folderId != m_folderId)
        m_pager.Reset();
    CFileListDialog::NavigateToFolder(folderId, selectRemembered);
}

void CSharedFileListDialog::LocatePage(bool remember, bool select)
{
    Q_UNUSED(remember)
    if (!select || !m_pagingEnabled || m_sendMode || isFavoritesView() || !m_remembered.set
        || m_remembered.isFolder || m_folderId <= 0 || m_searchMode)
        return;
    CSharedFileManager *files = m_gui.sharedFiles();
    if (!files)
        return;
    const EListView v = view();
    SFileListOptions options;
    options.sortIndex = std::max(0, ServerSortKey(sortKind(v)));
    options.descending = sortDown(v, sortKind(v));
    qint32 offset = -1;
    const bool found = m_gui.Forward(*files, [&](CSharedFileManager &m) {
        return m.FindFileOffset(m_remembered.folderId, QLatin1Char('/') + m_remembered.name,
                                options, offset);
    });
    if (found && offset >= 0) {
        // The page of the files comes after the subfolders' entries.
        const int folders = m_gui.sharedWorkspaces()
                                ? int(m_gui.sharedWorkspaces()->Children(m_folderId).size())
                                : 0;
        // The total comes with the page; until then it is at least the row's position.
        m_pager.SetTotal(std::max(m_pager.total(), folders + offset + 1));
        m_pager.GoToPage((folders + offset) / m_pager.pageSize() + 1);
    }
}

// --- cells ---

SCellColours CSharedFileListDialog::CellColours(const CFileRecord &row, int kind, bool selected)
{
    SAdditionRights rights;
    rights.privReadonlyCreate = m_rights.privReadonlyCreate;
    rights.privDataBox = m_rights.privDataBox;
    rights.privReadonlyCreateDataBox = m_rights.privReadonlyCreateDataBox;
    return OnlineCellColours(row, kind, selected, rights, m_list->palette().color(QPalette::Base));
}

bool CSharedFileListDialog::CanOpen() const
{
    const QList<CFileRecord *> rows = m_list->selectedRecords();
    if (rows.size() == 1 && rows.first()->folderItem)
        return true;
    // In send mode only one at a time.
    if (rows.isEmpty() || (m_sendMode && rows.size() > 1))
        return false;
    return !Qualified(ERowSet::Openable, EOpenRightTest::RightAndReadOnly).isEmpty();
}

// --- details ---

void CSharedFileListDialog::UpdateDetailPane()
{
    if (!m_commentPane)
        return;
    const QList<CFileRecord *> rows = m_list->selectedRecords();
    const CSharedFileRecord *file = nullptr;
    for (const CFileRecord *row : rows) {
        if (!row->IsFolderEntry()) {
            file = dynamic_cast<const CSharedFileRecord *>(row);
            break;
        }
    }
    if (!file) {
        m_commentPane->clear();
        m_commentInfo->clear();
        return;
    }
    m_commentPane->setPlainText(file->DisplayComment());
    m_commentInfo->setText(file->commentUpdateTime.value != 0.0 ? m_gui.CommentInfoLabel(*file)
                                                                : QString());
}

void CSharedFileListDialog::ApplyCommentPane()
{
    if (!IsBusy())
        m_commentArea->setVisible(m_showCommentEdit);
    m_commentStrip->setToolTip(LoadString(m_showCommentEdit ? 18303 : 18302));
    m_commentStrip->setAccessibleName(m_commentStrip->toolTip());
    m_commentStrip->setText(m_showCommentEdit ? QStringLiteral("⌄") : QStringLiteral("⌃"));
}

// --- transaction search ---

QStringList CSharedFileListDialog::TransactionTexts() const
{
    return {m_dateFrom->text(), m_dateTo->text(), m_clientName->text(), m_amountFrom->rawText(),
            m_amountTo->rawText()};
}

QList<bool> CSharedFileListDialog::BlankFlags() const
{
    return {m_blankDate->isChecked(), m_blankName->isChecked(), m_blankAmount->isChecked()};
}

void CSharedFileListDialog::ShowTransactionTexts(const QStringList &texts,
                                                 const QList<bool> &blanks)
{
    m_dateFrom->SetText(texts.value(0));
    m_dateTo->SetText(texts.value(1));
    m_clientName->setText(texts.value(2));
    m_amountFrom->SetRawText(texts.value(3));
    m_amountTo->SetRawText(texts.value(4));
    m_blankDate->setChecked(blanks.value(0));
    m_blankName->setChecked(blanks.value(1));
    m_blankAmount->setChecked(blanks.value(2));
    ApplyBlankFlags();
}

void CSharedFileListDialog::ApplyBlankFlags()
{
    m_blankDate->setVisible(m_showSearchBlank);
    m_blankName->setVisible(m_showSearchBlank);
    m_blankAmount->setVisible(m_showSearchBlank);
    const bool date = !(m_showSearchBlank && m_blankDate->isChecked());
    const bool name = !(m_showSearchBlank && m_blankName->isChecked());
    const bool amount = !(m_showSearchBlank && m_blankAmount->isChecked());
    m_dateFrom->setEnabled(date);
    m_dateTo->setEnabled(date);
    m_clientName->setEnabled(name);
    m_amountFrom->setEnabled(amount);
    m_amountTo->setEnabled(amount);
}

void CSharedFileListDialog::ApplyTransactionControls()
{
    m_transactionRow->setVisible(IsDataBoxFolder());
    ApplyBlankFlags();
}

bool CSharedFileListDialog::HasTransactionInput() const
{
    if (!IsDataBoxFolder())
        return false;
    const CTransactionSearchQuery q = TransactionQuery();
    return !q.dateFrom.isEmpty() || !q.dateTo.isEmpty() || !q.name.isEmpty()
           || !q.amountFrom.isEmpty() || !q.amountTo.isEmpty() || q.searchBlankDate
           || q.searchBlankName || q.searchBlankAmount;
}

void CSharedFileListDialog::CheckDataBoxChange()
{
    const bool dataBox = IsDataBoxFolder();
    if (dataBox == m_lastShownDataBox)
        return;
    m_lastShownDataBox = dataBox;
    ApplyTransactionControls();
    RebuildColumns(true);
}

int CSharedFileListDialog::EnterCommandFor(QWidget *focused) const
{
    if (!focused)
        return 0;
    if (!IsBusy() && !isFavoritesView()) {
        if (focused == m_dateFrom->edit())
            return NextFromDateFrom;
        if (focused == m_dateTo->edit())
            return NextFromDateTo;
        if (focused == m_clientName)
            return NextFromName;
        if (focused == m_amountFrom)
            return NextFromAmountFrom;
        if (focused == m_amountTo)
            return MainId::FocusFileSearch;
    }
    return CFileListDialog::EnterCommandFor(focused);
}

// --- pager and notices ---

void CSharedFileListDialog::UpdatePager()
{
    if (!m_pagerLabel)
        return;
    if (m_pagingEnabled && !m_sendMode && !isFavoritesView()) {
        m_pagerLabel->setText(m_pager.PageCount() > 0 ? m_pager.LabelText() : QString());
        m_pagerLinks->SetDisabledLinks(m_pager.DisabledLinks());
        m_pagerLinks->SetLinkText(m_pager.LinkMarkup());
    } else {
        m_pagerLabel->setText(QStringLiteral("%1 件").arg(GroupedNumber(m_list->rows().size())));
        m_pagerLinks->SetDisabledLinks({});
        m_pagerLinks->SetLinkText(QString());
    }
    m_list->setProperty("pagingKeys", m_pagingEnabled);
}

void CSharedFileListDialog::FollowPageLink(const QString &id)
{
    if (IsBusy())
        return;
    if (m_pager.Follow(id))
        PostRefresh(false, false, m_list);
}

void CSharedFileListDialog::UpdateNotices()
{
    const CInformationManager *info = m_gui.information();
    const qint32 unread = info ? info->unreadInformationCount() : 0;
    m_badge->setText(unread > 0 ? QStringLiteral("%1件").arg(unread) : QString());
    QString tip = LoadString(18276);
    if (unread > 0)
        tip += LoadString(18277).replace(QStringLiteral("%d"), QString::number(unread));
    SetTip(m_noticesButton, tip);
}

// --- the favourites view ---

void CSharedFileListDialog::ToggleFavoritesView()
{
    if (isFavoritesView())
        LeaveFavoritesView();
    else
        EnterFavoritesView();
}

void CSharedFileListDialog::EnterFavoritesView()
{
    if (m_sendMode)
        LeaveSendMode(false);
    m_workspaceIdOld = m_folderId;
    ReadFileSearchText();
    m_favoritesMemory.saved = true;
    m_favoritesMemory.folderSearchText
        = m_folderSearchActive ? m_folderSearch->text().trimmed() : QString();
    m_favoritesMemory.folderSearchActive = m_folderSearchActive;
    m_favoritesMemory.searchMode = m_searchMode;
    m_favoritesMemory.fileSearchText = m_fileSearchText;
    m_favoritesMemory.productFilter = m_productFilter;
    m_favoritesMemory.productLabel = m_productLabel;
    const QList<CFileRecord *> selected = m_list->selectedRecords();
    m_favoritesMemory.selectedName = selected.isEmpty() ? QString() : selected.first()->FileName();
    m_favoritesMemory.transactionTexts = TransactionTexts();
    m_favoritesMemory.blanks = BlankFlags();
    if (!selected.isEmpty())
        RememberRow(*selected.first());
    // Into the favourites: no search, no filter.
    m_searchMode = false;
    m_folderSearchActive = false;
    m_folderSearchText.clear();
    m_folderSearch->clear();
    ClearFileSearchText();
    m_productFilter = 0;
    m_folderId = -1;
    m_favoritesButton->SetIconId(BizIcon::FavoriteOff);
    SetTip(m_favoritesButton, LoadString(18285));
    RebuildColumns(false);
    m_transactionRow->hide();
    PostRefresh(false, false, m_list);
}

void CSharedFileListDialog::LeaveFavoritesView()
{
    const bool remembered = m_remembered.set;
    if (m_favoritesMemory.saved) {
        m_folderSearchText = m_favoritesMemory.folderSearchText;
        m_folderSearchActive = m_favoritesMemory.folderSearchActive;
        m_searchMode = m_favoritesMemory.searchMode;
        m_fileSearchText = m_favoritesMemory.fileSearchText;
        m_productFilter = m_favoritesMemory.productFilter;
        m_productLabel = m_favoritesMemory.productLabel;
        ShowFileSearchText();
        m_folderSearch->setText(m_folderSearchActive ? m_folderSearchText : QString());
        ShowTransactionTexts(m_favoritesMemory.transactionTexts, m_favoritesMemory.blanks);
        m_favoritesMemory.saved = false;
    }
    m_folderId = m_workspaceIdOld;
    if (m_folderId > 0 && !CurrentFolder())
        m_folderId = 0;
    m_favoritesButton->SetIconId(BizIcon::FavoriteOn);
    SetTip(m_favoritesButton, LoadString(18284));
    m_lastShownDataBox = IsDataBoxFolder();
    ApplyTransactionControls();
    RebuildColumns(false);
    if (m_pagingEnabled)
        m_pager.Reset();
    PostRefresh(false, remembered, m_list);
}

void CSharedFileListDialog::ToggleFavoriteOf(int row)
{
    if (IsBusy())
        return;
    CFileRecord *record = m_list->RecordAt(row);
    CSharedFileManager *files = m_gui.sharedFiles();
    if (!record || !files || m_sendMode)
        return;
    const bool add = !record->isFavorite;
    if (add && !files->favorites().CheckLimit(1, progressHandler()))
        return;
    const qint32 folderId = record->folderItem ? record->folderItem->id : record->workspaceId;
    const QString path = record->folderItem ? QString() : record->path;
    BeginTiming(QStringLiteral("FAVORITE"));
    const QString name = record->folderItem ? record->folderItem->name : record->FileName();
    BeginProgress(LoadString(add ? 18226 : 18227).replace(QStringLiteral("%s"), name), -1,
                  Refocus::Focused);
    const bool ok = m_gui.Forward(
        *files, [&](CSharedFileManager &m) { return m.ChangeFavorite(folderId, path, add); });
    EndProgress(!ok);
    EndTiming();
    if (ok)
        files->favorites().CountFavorites(progressHandler());
    if (isFavoritesView() && ok && !add)
        PostRefresh(true, true, m_list);
    else
        m_list->fileModel()->RefreshRows();
    RequestCommandStates();
}

// --- pages of the service ---

void CSharedFileListDialog::OpenServicePage(const QString &command, bool management)
{
    const CLoginManager *login = m_gui.loginManager();
    if (!login || !login->IsOnline())
        return;
    OpenWebPage(ServicePageUrl(login->accessKey(), command, management));
}

void CSharedFileListDialog::CheckImportantNotice()
{
    // The important-notice question, at most once a calendar day; the counts are those of the
    // opening's first fetch.
    if (m_noticeChecked)
        return;
    m_noticeChecked = true;
    if (CInformationManager *info = m_gui.information();
        info && info->unreadPopupInformationCount() > 0) {
        const QString today = QDate::currentDate().toString(QStringLiteral("yyyy/MM/dd"));
        const QString stored = ProfileString(QStringLiteral("lastPopupDate"));
        const QDate storedDay = QDate::fromString(stored, QStringLiteral("yyyy/MM/dd"));
        if (!storedDay.isValid() || storedDay < QDate::currentDate()) {
            WriteProfileString(QStringLiteral("lastPopupDate"), today);
            if (CBizApp *app = CBizApp::instance())
                app->SyncProfile();
            PostWhenIdle(ImportantNotice);
        }
    }
}

void CSharedFileListDialog::PostWhenIdle(int command)
{
    // The opening refresh runs first; a command posted meanwhile would meet the busy window.
    ++m_waitingCommands;
    QTimer::singleShot(IsBusy() || m_refreshPosted ? 50 : 0, this, [this, command] {
        --m_waitingCommands;
        if (IsBusy() || m_refreshPosted)
            PostWhenIdle(command);
        else
            OnCommand(command);
    });
}

void CSharedFileListDialog::AskImportantNotice()
{
    if (m_noticeAsked)
        return;
    m_noticeAsked = true;
    if (AskYesNo(ImportantNotice) == IDYES)
        OpenServicePage(QStringLiteral("popup"));
}

// --- the main menu ---

void CSharedFileListDialog::OpenMainMenu(const std::function<QAction *(QMenu &)> &given)
{
    const std::function<QAction *(QMenu &)> &chooser = given ? given : m_menuChooser;
    if (IsBusy())
        return;
    const bool office = isOfficeUser();
    const bool dataBox = IsDataBoxFolder();
    const CLoginManager *login = m_gui.loginManager();
    const CUserRecord *user = login ? login->currentUser() : nullptr;
    CBizMenu menu(this);
    const SDisplayOptions &o = m_options;
    if (dataBox && !m_searchMode)
        menu.AddCheckItem(LoadString(MainId::ShowTransacInfo), MainId::ShowTransacInfo,
                          o.showTransacInfo);
    menu.AddCheckItem(LoadString(MainId::ShowAppName), MainId::ShowAppName, o.showAppName);
    if (office || (user && user->showUpdateTime))
        menu.AddCheckItem(LoadString(MainId::ShowUpdateTime), MainId::ShowUpdateTime,
                          o.showUpdateTime);
    menu.AddCheckItem(LoadString(MainId::ShowFileSize), MainId::ShowFileSize, o.showFileSize);
    if (office) {
        menu.AddCheckItem(LoadString(MainId::ShowUpdateName), MainId::ShowUpdateName,
                          o.showUpdateName);
        menu.AddCheckItem(LoadString(MainId::ShowFileComment), MainId::ShowFileComment,
                          o.showFileComment);
        if (IsSupportMode())
            menu.AddCheckItem(LoadString(MainId::ShowPathLen), MainId::ShowPathLen, o.showPathLen);
    }
    if (dataBox)
        menu.AddCheckItem(LoadString(SearchBlank), SearchBlank, m_showSearchBlank);
    menu.AddCheckItem(LoadString(MainId::ConfirmOnExit), MainId::ConfirmOnExit, m_confirmOnExit);
    if (office && m_rights.privWeb)
        menu.AddItem(LoadString(ManageSite), ManageSite);
    CBizMenu *themes = menu.AddSubMenu(LoadString(5216));
    const QColor current = themeColour();
    for (const SThemeColour &theme : ThemeColours()) {
        QAction *item = themes->AddCheckItem(LoadString(theme.command), theme.command,
                                             current == QColor(theme.r, theme.g, theme.b));
        item->setIcon(ColourIcon(theme.r, theme.g, theme.b));
    }
    menu.AddItem(LoadString(Manual), Manual);
    if (office || !LoadString(RemoteSupport).isEmpty())
        menu.AddItem(LoadString(RemoteSupport), RemoteSupport);
    if (office) {
        if (m_rights.privBulkDownload)
            menu.AddItem(LoadString(BulkDownload), BulkDownload, BizIcon::BulkDownload);
        menu.AddSeparator();
        CBizMenu *sites = menu.AddSubMenu(LoadString(5224));
        sites->AddItem(LoadString(ShopSite), ShopSite);
        sites->AddItem(LoadString(TwitterSite), TwitterSite);
        sites->AddItem(LoadString(YouTubeSite), YouTubeSite);
    }
    int command = 0;
    m_mainMenuButton->setDown(true);
    if (chooser) {
        QAction *chosen = chooser(*menu.menu());
        command = chosen && chosen->isEnabled() ? CBizMenu::CommandOf(chosen) : 0;
    } else {
        command = menu.Exec(m_mainMenuButton->mapToGlobal(QPoint(0, m_mainMenuButton->height())));
    }
    m_mainMenuButton->setDown(false);
    if (command != 0)
        QTimer::singleShot(0, this, [this, command] { OnCommand(command); });
}

// --- keys and commands ---

bool CSharedFileListDialog::OnListKey(int key, Qt::KeyboardModifiers modifiers)
{
    if ((key == Qt::Key_Left || key == Qt::Key_Right) && m_pagingEnabled && !m_sendMode
        && !isFavoritesView()) {
        if (IsBusy())
            return true;
        const bool ctrl = modifiers & Qt::ControlModifier;
        bool changed = false;
        if (key == Qt::Key_Left)
            changed = ctrl ? m_pager.First() : m_pager.Previous();
        else
            changed = ctrl ? m_pager.Last() : m_pager.Next();
        if (changed)
            PostRefresh(false, false, m_list);
        return true;
    }
    return CFileListDialog::OnListKey(key, modifiers);
}

void CSharedFileListDialog::OnCommand(int command)
{
    if (IsBusy() && command != MainId::ResetSize)
        return;
    if (OnEditCommand(command) || OnMenuCommand(command))
        return;
    const CLoginManager *login = m_gui.loginManager();
    const CUserRecord *user = login ? login->currentUser() : nullptr;
    switch (command) {
    case MainId::FavoritesView:
        if (!isFavoritesView() && m_gui.sharedFiles()
            && m_gui.sharedFiles()->favorites().lastCount() <= 0)
            return;
        ToggleFavoritesView();
        return;
    case MainId::Paging:
        m_pagingEnabled = !m_pagingEnabled;
        m_pager.Reset();
        PostRefresh(true, true, m_list);
        return;
    case CommentStrip:
        m_showCommentEdit = !m_showCommentEdit;
        m_commentShownByEdit = false;
        ApplyCommentPane();
        return;
    case SearchBlank:
        m_showSearchBlank = !m_showSearchBlank;
        if (!m_showSearchBlank) {
            const QSignalBlocker a(m_blankDate), b(m_blankName), c(m_blankAmount);
            m_blankDate->setChecked(false);
            m_blankName->setChecked(false);
            m_blankAmount->setChecked(false);
        }
        ApplyBlankFlags();
        RebuildColumns(true);
        if (m_searchMode)
            PostRefresh(true, true, m_list);
        return;
    case ToSendMode:
        EnterSendMode();
        return;
    case NoticesButton:
        OpenServicePage(QStringLiteral("info"));
        return;
    case RecentButton:
        OpenServicePage(QStringLiteral("recent"));
        return;
    case ImportantNotice:
        AskImportantNotice();
        return;
    case ManageSite:
        OpenServicePage(QStringLiteral("loginClient"), true);
        return;
    case Manual:
        if (user)
            OpenWebPage(user->manualUrl);
        return;
    case RemoteSupport:
        if (user)
            OpenWebPage(user->remoteSupportURL);
        return;
    case ShopSite:
        if (user)
            OpenWebPage(user->shop);
        return;
    case TwitterSite:
        if (user)
            OpenWebPage(user->twitter);
        return;
    case YouTubeSite:
        if (user)
            OpenWebPage(user->youtube);
        return;
    case NextFromDateFrom:
        m_dateTo->edit()->setFocus();
        return;
    case NextFromDateTo:
        m_clientName->setFocus();
        return;
    case NextFromName:
        m_amountFrom->setFocus();
        return;
    case NextFromAmountFrom:
        m_amountTo->setFocus();
        return;
    case MainId::FileSearchStart:
        if (!m_fileSearchStart->isEnabled())
            return;
        // A transaction search alone (no name) is a search as well.
        if (m_fileSearch->text().trimmed().isEmpty() && HasTransactionInput() && !m_searchMode) {
            m_searchMode = true;
            m_sortKind[int(EListView::Search)] = 0;
            RebuildColumns(false);
            m_refreshFocus = m_list;
            RefreshNow(false);
            m_list->setFocus();
            return;
        }
        break;
    default:
        break;
    }
    if (command == AddFavorite) {
        AddFavoriteRows();
        return;
    }
    if (command == RemoveFavorite) {
        RemoveFavoriteRows();
        return;
    }
    CFileListDialog::OnCommand(command);
}

void CSharedFileListDialog::UpdateCommandStates()
{
    CFileListDialog::UpdateCommandStates();
    if (IsBusy())
        return;
    // Transaction fields count as search input in a DataBox folder.
    m_fileSearchStart->setEnabled(!m_fileSearch->text().trimmed().isEmpty()
                                  || HasTransactionInput());
    const bool signedIn = IsSignedIn();
    const bool hasFavorites
        = m_gui.sharedFiles() && m_gui.sharedFiles()->favorites().lastCount() > 0;
    m_favoritesButton->setEnabled(signedIn && (isFavoritesView() || hasFavorites));
    m_commentButton->setEnabled(false); // comment editing comes with its dialog
    m_sendButton->setEnabled(!Qualified(ERowSet::Sendable).isEmpty());
    m_downloadButton->setEnabled(!DownloadableRows().isEmpty());
    m_addButton->setEnabled(false);
    CheckDataBoxChange();
}

void CSharedFileListDialog::PastePath()
{
    const QString text = QGuiApplication::clipboard()->text().trimmed();
    SPasteTarget target;
    if (!m_gui.ResolvePastePath(text, m_pager.pageSize(), target))
        return;
    if (!target.fileName.isEmpty()) {
        m_remembered = {};
        m_remembered.set = true;
        m_remembered.folderId = target.folderId;
        m_remembered.name = target.fileName;
    }
    // The page of the file is found again before the reload (LocatePage).
    NavigateToFolder(target.folderId, true);
}

// --- timing (support mode) ---

void CSharedFileListDialog::BeginTiming(const QString &tag)
{
    if (!m_timingStatic)
        return;
    if (!m_timingTag.isEmpty())
        EndTiming();
    m_timingTag = tag;
    m_timing.start();
}

void CSharedFileListDialog::EndTiming()
{
    if (!m_timingStatic || m_timingTag.isEmpty())
        return;
    m_timingStatic->setText(QStringLiteral("%1(%2)").arg(m_timingTag).arg(m_timing.elapsed()));
    m_timingTag.clear();
}

// --- busy state ---

void CSharedFileListDialog::OnBusyBegin()
{
    CFileListDialog::OnBusyBegin();
    m_commentArea->hide();
    m_commentStrip->hide();
}

void CSharedFileListDialog::OnBusyEnd()
{
    m_commentStrip->show();
    // Still counted busy while the end runs: the pane follows its flag alone.
    m_commentArea->setVisible(m_showCommentEdit);
    ApplyCommentPane();
    CFileListDialog::OnBusyEnd();
}

void CSharedFileListDialog::dragEnterEvent(QDragEnterEvent *event)
{
    // Adding dropped files comes with the add command; never while busy.
    event->ignore();
}

// --- the exit check ---

bool CSharedFileListDialog::SendUnsentOnExit(const QList<SUnsentFile> &unsent)
{
    int sent = 0;
    bool allSent = true;
    for (const SUnsentFile &file : unsent) {
        switch (m_gui.SendOnExit(file)) {
        case EExitSend::Sent:
        case EExitSend::SetAside:
            ++sent;
            break;
        case EExitSend::Failed:
            allSent = false;
            break;
        }
    }
    if (!allSent && sent > 0)
        PostRefresh(false, true, m_list);
    return allSent;
}

bool CSharedFileListDialog::CanClose()
{
    if (!CFileListDialog::CanClose())
        return false;
    BeginProgress(18218, -1);
    CBizProgressAttach attach(m_gui, progressHandler());
    const int unsentCount = m_gui.CountUnsent();
    if (unsentCount == 0) {
        EndProgress();
        const bool keep = m_saveExitMode;
        LeaveSendMode(false);
        m_saveExitMode = keep;
        m_gui.StopBulkWait();
        return true;
    }
    if (!m_sendMode) {
        EnterSendMode();
        // The list shows the unsent files now, before any question.
        m_refreshPosted = false;
        Reload();
    }
    const QList<SUnsentFile> unsent = m_gui.ListUnsent();
    EndProgress();
    if (m_confirmOnExit) {
        const int answer = AskYesNoCancel(18268);
        if (answer == IDCANCEL)
            return false;
        if (answer == IDNO) {
            m_saveExitMode = true;
            m_gui.StopBulkWait();
            return true;
        }
    }
    bool blocked = false;
    for (const SUnsentFile &file : unsent) {
        if (!file.inUse)
            continue;
        blocked = true;
        // The message's "\n\r" is one line break.
        QString text = LoadString(18269);
        text.replace(QStringLiteral("\n\r"), QStringLiteral("\r\n"));
        ShowWarningMessage(text.replace(QStringLiteral("%s"), file.name));
    }
    if (blocked)
        return false;
    BeginProgress(18218, -1);
    const bool allSent = SendUnsentOnExit(unsent);
    EndProgress(!allSent);
    if (!allSent) {
        // What could not be sent stays unsent, whole, and the failure has been shown: the
        // window closes as after "No", and the next opening starts in send mode. A service
        // that cannot be reached must not keep the window from closing.
        m_saveExitMode = true;
        m_gui.StopBulkWait();
        return true;
    }
    LeaveSendMode(false);
    m_saveExitMode = false;
    m_gui.StopBulkWait();
    return true;
}
