#include "FileListDialog.h"

#include "ui/dialogs/VersionInfoDialog.h"
#include "ui/toolkit/BizMenu.h"
#include "ui/toolkit/FlatButton.h"
#include "ui/toolkit/ImageList.h"
#include "ui/toolkit/KeyboardState.h"
#include "ui/toolkit/ModalRun.h"
#include "ui/toolkit/TreeComboBox.h"
#include "ui/toolkit/WidgetPlacement.h"

#include "account/LoginManager.h"
#include "app/BizApp.h"
#include "app/System.h"
#include "core/AppState.h"
#include "core/Messages.h"
#include "core/OsUtils.h"
#include "core/Paths.h"
#include "core/Strings.h"
#include "files/FileManager.h"
#include "files/FileRecord.h"
#include "files/FileTypeManager.h"
#include "files/LocalFileManager.h"
#include "folders/WorkspaceManager.h"
#include "store/NameCompare.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLoggingCategory>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QStandardItem>
#include <QStandardItemModel>
#include <QTimer>
#include <QTreeView>
#include <QVBoxLayout>

Q_LOGGING_CATEGORY(lcMainWindow, "velquor.ui.main")

namespace {

const QString kAllProducts = QStringLiteral("<全ての製品>");
constexpr int kFolderIdRole = Qt::UserRole + 1;

struct SOptionKey
{
    int command;
    const char *key;
    bool SDisplayOptions::*field;
};
constexpr SOptionKey kOptionKeys[] = {
    {MainId::ShowAppName, "showAppName", &SDisplayOptions::showAppName},
    {MainId::ShowUpdateTime, "showUpdateTime", &SDisplayOptions::showUpdateTime},
    {MainId::ShowUpdateName, "showUpdateName", &SDisplayOptions::showUpdateName},
    {MainId::ShowFileComment, "showFileComment", &SDisplayOptions::showFileComment},
    {MainId::ShowFileSize, "showFileSize", &SDisplayOptions::showFileSize},
    {MainId::ShowPathLen, "showPathLen", &SDisplayOptions::showPathLen},
    {MainId::ShowTransacInfo, "showTransacInfo", &SDisplayOptions::showTransacInfo},
};

QString Key(const char *key)
{
    return QString::fromLatin1(key);
}

} // namespace

const QList<SThemeColour> &ThemeColours()
{
    static const QList<SThemeColour> themes{
        {5217, 245, 246, 247}, {5218, 247, 235, 247}, {5219, 252, 235, 235}, {5220, 255, 255, 228},
        {5221, 233, 247, 233}, {5222, 228, 235, 247}, {5223, 240, 237, 255},
    };
    return themes;
}

CFileListDialog::CFileListDialog(int commandStringId, CSystem &system,
                                 const QList<SColumnDef> &columnTable, bool offline,
                                 QWidget *parent)
    : CBizProgressDialog(commandStringId, parent)
    , m_system(system)
    , m_columnTable(columnTable)
    , m_offline(offline)
{
    setWindowFlags(Qt::Window | Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint
                   | Qt::WindowCloseButtonHint | Qt::WindowSystemMenuHint);
    setSizeGripEnabled(true);
    for (auto &downs : m_sortDowns)
        downs = QList<bool>(ColumnKind::Count, false);
    BuildLayout();
    AddAccelerators();
    SetCloseConfirmation(true);
    EnableSystemMenu(true);
    SetDesignedSize(QSize(450, 260), true);
    qApp->installEventFilter(this);
}

CFileListDialog::~CFileListDialog()
{
    qApp->removeEventFilter(this);
}

// --- building ---

CBizFlatButton *CFileListDialog::MakeIconButton(int id, int iconId, const QString &tip)
{
    auto *button = new CBizFlatButton(this);
    button->setObjectName(QString::number(id));
    button->SetIconId(iconId, 16);
    button->setFixedSize(26, 26);
    button->setFocusPolicy(Qt::TabFocus);
    SetTip(button, tip);
    connect(button, &QToolButton::clicked, this, [this, id] { OnCommand(id); });
    return button;
}

QPushButton *CFileListDialog::MakeTextButton(int id, const QString &text, const QString &tip)
{
    auto *button = new QPushButton(text, this);
    button->setObjectName(QString::number(id));
    button->setAutoDefault(false);
    button->setMinimumWidth(64);
    SetTip(button, tip);
    connect(button, &QPushButton::clicked, this, [this, id] { OnCommand(id); });
    return button;
}

void CFileListDialog::SetTip(QWidget *control, const QString &tip)
{
    control->setToolTip(tip);
    // Icon buttons are named by their tips: screen readers read them.
    if (qobject_cast<QAbstractButton *>(control)
        && qobject_cast<QAbstractButton *>(control)->text().isEmpty())
        control->setAccessibleName(tip.section(u'（', 0, 0));
    else if (control->accessibleName().isEmpty() && qobject_cast<QAbstractButton *>(control))
        control->setAccessibleName(qobject_cast<QAbstractButton *>(control)->text());
}

void CFileListDialog::BuildLayout()
{
    auto *outer = new QVBoxLayout(this);
    outer->setContentsMargins(10, 8, 10, 6);
    outer->setSpacing(4);

    m_topArea = new QVBoxLayout;
    m_topArea->setSpacing(4);
    m_topRow1 = new QHBoxLayout;
    m_topRow1->setSpacing(3);
    m_topRow2 = new QHBoxLayout;
    m_topRow2->setSpacing(3);
    m_topArea->addLayout(m_topRow1);
    m_topArea->addLayout(m_topRow2);
    outer->addLayout(m_topArea);

    m_title = new QLabel(this);
    m_title->setObjectName(QString::number(MainId::FolderTitle));
    m_title->setTextFormat(Qt::PlainText);
    m_title->setMinimumWidth(120);
    m_fileSearch = new QLineEdit(this);
    m_fileSearch->setObjectName(QString::number(MainId::FileSearchEdit));
    m_fileSearch->setPlaceholderText(QStringLiteral("<ファイル検索>"));
    m_fileSearch->setAccessibleName(QStringLiteral("ファイル検索"));
    m_fileSearch->setClearButtonEnabled(false);
    m_fileSearchStart = MakeIconButton(MainId::FileSearchStart, BizIcon::Search, LoadString(18278));
    m_fileSearchEnd = MakeIconButton(MainId::FileSearchEnd, BizIcon::Close, LoadString(18282));
    m_mainMenuButton = MakeIconButton(MainId::MainMenu, BizIcon::Menu, LoadString(18283));
    // Row 1: the title and the file search share the extra width.
    m_topRow1->addSpacing(30);
    m_topRow1->addWidget(m_title, 240);
    m_topRow1->addWidget(m_fileSearch, 90);
    m_topRow1->addWidget(m_fileSearchStart);
    m_topRow1->addWidget(m_fileSearchEnd);
    m_topRow1->addWidget(m_mainMenuButton);

    m_parentButton = MakeIconButton(MainId::ParentFolder, BizIcon::FolderOpen, LoadString(18286));
    m_combo = new CBizTreeComboBox(this);
    m_combo->setObjectName(QString::number(MainId::FolderCombo));
    m_combo->setAccessibleName(QStringLiteral("フォルダ"));
    m_combo->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(m_combo, &CBizTreeComboBox::itemChosen, this, [this] { OnComboChosen(); });
    connect(m_combo, &QWidget::customContextMenuRequested, this,
            [this](const QPoint &pos) { FolderComboMenu(m_combo->mapToGlobal(pos)); });
    m_folderSearch = new QLineEdit(this);
    m_folderSearch->setObjectName(QString::number(MainId::FolderSearchEdit));
    m_folderSearch->setPlaceholderText(QStringLiteral("<フォルダ検索>"));
    m_folderSearch->setAccessibleName(QStringLiteral("フォルダ検索"));
    m_folderSearchButton
        = MakeIconButton(MainId::FolderSearchToggle, BizIcon::Search, LoadString(18287));
    m_productButton = MakeIconButton(MainId::ProductFilter, BizIcon::Properties, LoadString(18289));
    m_refreshButton = MakeIconButton(MainId::Refresh, BizIcon::Refresh, LoadString(18291));
    m_topRow2->addWidget(m_parentButton);
    m_topRow2->addWidget(m_combo, 237);
    m_topRow2->addWidget(m_folderSearch, 90);
    m_topRow2->addWidget(m_folderSearchButton);
    m_topRow2->addWidget(m_productButton);
    m_topRow2->addWidget(m_refreshButton);
    for (QLineEdit *edit : {m_fileSearch, m_folderSearch}) {
        connect(edit, &QLineEdit::textChanged, this, [this] { RequestCommandStates(); });
        edit->installEventFilter(this);
    }

    // The list with the button column at its right.
    auto *middle = new QHBoxLayout;
    middle->setSpacing(3);
    auto *listColumn = new QVBoxLayout;
    listColumn->setSpacing(3);
    m_list = new CFileListCtrl(*this, this);
    m_list->setAccessibleName(QStringLiteral("ファイルの一覧"));
    m_list->installEventFilter(this);
    connect(m_list, &CFileListCtrl::headerClicked, this, &CFileListDialog::OnHeaderClicked);
    connect(m_list, &CFileListCtrl::rowDoubleClicked, this, &CFileListDialog::OnRowDoubleClicked);
    connect(m_list->selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] {
        RequestCommandStates();
        if (!m_rebuilding)
            UpdateDetailPane();
    });
    m_list->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(m_list, &QWidget::customContextMenuRequested, this,
            [this](const QPoint &pos) { ShowListMenu(m_list->viewport()->mapToGlobal(pos)); });
    listColumn->addWidget(m_list, 1);
    m_belowList = new QVBoxLayout;
    m_belowList->setSpacing(2);
    listColumn->addLayout(m_belowList);
    middle->addLayout(listColumn, 1);

    m_strip = new QPushButton(this);
    m_strip->setObjectName(QString::number(MainId::ButtonStrip));
    m_strip->setFixedWidth(9);
    m_strip->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Expanding);
    m_strip->setFlat(true);
    m_strip->setAutoDefault(false);
    m_strip->setFocusPolicy(Qt::NoFocus);
    connect(m_strip, &QPushButton::clicked, this, [this] { OnCommand(MainId::ButtonStrip); });
    middle->addWidget(m_strip);

    m_buttonPanel = new QWidget(this);
    m_buttonColumn = new QVBoxLayout(m_buttonPanel);
    m_buttonColumn->setContentsMargins(0, 0, 0, 0);
    m_buttonColumn->setSpacing(4);
    m_openButton = MakeTextButton(MainId::Open, QStringLiteral("開く"), LoadString(18292));
    m_buttonColumn->addSpacing(10);
    m_buttonColumn->addWidget(m_openButton);
    m_buttonColumn->addStretch(1);
    m_closeButton = MakeTextButton(MainId::Close, QStringLiteral("終了"), LoadString(18300));
    m_buttonColumn->addWidget(m_closeButton);
    middle->addWidget(m_buttonPanel);
    outer->addLayout(middle, 1);

    // The progress line: the count while idle, the bar and 中止 while busy.
    const SProgressControls progress = CreateProgressControls(true);
    m_bottomRow = new QHBoxLayout;
    m_bottomRow->setSpacing(6);
    m_bottomRow->addWidget(progress.message, 3);
    m_bottomRow->addWidget(progress.bar, 2);
    m_bottomRow->addWidget(progress.cancel);
    outer->addLayout(m_bottomRow);
}

void CFileListDialog::AddAccelerators()
{
    struct SKey
    {
        QKeySequence key;
        int command;
    };
    const SKey keys[] = {
        {QKeySequence(Qt::ALT | Qt::Key_Left), MainId::ParentFolder},
        {QKeySequence(Qt::Key_F5), MainId::Refresh},
        {QKeySequence(Qt::CTRL | Qt::Key_F5), MainId::Refresh},
        {QKeySequence(Qt::CTRL | Qt::Key_R), MainId::Refresh},
        {QKeySequence(Qt::CTRL | Qt::Key_F), MainId::FocusFileSearch},
        {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_F), MainId::FolderSearchKey},
        {QKeySequence(Qt::CTRL | Qt::Key_N), 5140},
        {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_N), 5148},
        {QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_N), 5149},
        {QKeySequence(Qt::CTRL | Qt::Key_M), 21310},
        {QKeySequence(Qt::ALT | Qt::Key_M), 21334},
        {QKeySequence(Qt::CTRL | Qt::Key_S), 21311},
        {QKeySequence(Qt::CTRL | Qt::Key_T), MainId::ProductFilter},
        {QKeySequence(Qt::CTRL | Qt::Key_B), MainId::FocusList},
        {QKeySequence(Qt::CTRL | Qt::Key_L), MainId::FocusCombo},
        {QKeySequence(Qt::SHIFT | Qt::Key_Return), 5137},
        {QKeySequence(Qt::SHIFT | Qt::Key_Enter), 5137},
        {QKeySequence(Qt::SHIFT | Qt::ALT | Qt::Key_Return), 5138},
        {QKeySequence(Qt::SHIFT | Qt::ALT | Qt::Key_Enter), 5138},
        {QKeySequence(Qt::CTRL | Qt::Key_W), 21306},
        {QKeySequence(Qt::CTRL | Qt::Key_G), 5142},
        {QKeySequence(Qt::Key_F2), 5162},
        {QKeySequence(Qt::Key_F12), 5145},
        {QKeySequence(Qt::CTRL | Qt::Key_I), MainId::OpenRowFolder},
        {QKeySequence(Qt::CTRL | Qt::Key_D), 5166},
        {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_D), 5167},
        {QKeySequence(Qt::Key_F7), MainId::FavoritesView},
        {QKeySequence(Qt::Key_F10), MainId::MainMenu},
        {QKeySequence(Qt::SHIFT | Qt::Key_F10), MainId::ListMenuKey},
        {QKeySequence(Qt::Key_Menu), MainId::ListMenuKey},
        // Where no window manager turns Alt+F4 into a close request, the window does.
        {QKeySequence(Qt::ALT | Qt::Key_F4), MainId::Close},
        // Ctrl+"/" of the main keyboard and of the keypad.
        {QKeySequence(Qt::CTRL | Qt::Key_Slash), MainId::ResetSize},
        {QKeySequence(QKeyCombination(Qt::ControlModifier | Qt::KeypadModifier, Qt::Key_Slash)),
         MainId::ResetSize},
    };
    for (const SKey &key : keys)
        AddAccelerator(key.key, key.command);
}

// --- profile ---

QString CFileListDialog::section() const
{
    const QString s = commandString().section;
    return s.isEmpty() ? QStringLiteral("FileListDialog") : s;
}

int CFileListDialog::ProfileInt(const QString &key, int defaultValue) const
{
    CBizApp *app = CBizApp::instance();
    return app ? app->GetProfileInt(section(), key, defaultValue) : defaultValue;
}

QString CFileListDialog::ProfileString(const QString &key, const QString &defaultValue) const
{
    CBizApp *app = CBizApp::instance();
    return app ? app->GetProfileString(section(), key, defaultValue) : defaultValue;
}

void CFileListDialog::WriteProfileInt(const QString &key, int value)
{
    if (CBizApp *app = CBizApp::instance())
        app->WriteProfileInt(section(), key, value);
}

void CFileListDialog::WriteProfileString(const QString &key, const QString &value)
{
    if (CBizApp *app = CBizApp::instance())
        app->WriteProfileString(section(), key, value);
}

bool CFileListDialog::IsSignedIn() const
{
    return m_system.loginManager() && m_system.loginManager()->IsSignedIn();
}

bool CFileListDialog::isOfficeUser() const
{
    const CLoginManager *login = m_system.loginManager();
    if (!login || !login->IsSignedIn())
        return false;
    return login->officeFlag() != 0 || login->userRecord().type == 1;
}

void CFileListDialog::ReadProfile()
{
    const bool office = isOfficeUser();
    const bool signedIn = IsSignedIn();
    const CLoginManager *login = m_system.loginManager();
    const bool userShowsTime = login && login->userRecord().showUpdateTime;
    auto read = [&](const char *key, int officeDefault, int otherDefault,
                    std::optional<int> forcedOther = std::nullopt) {
        if (!signedIn)
            return 0;
        if (!office && forcedOther)
            return *forcedOther;
        return ProfileInt(Key(key), office ? officeDefault : otherDefault);
    };
    m_options.showAppName = read("showAppName", 0, 0);
    m_options.showUpdateTime
        = read("showUpdateTime", 1, 1, userShowsTime ? std::nullopt : std::optional<int>(0));
    m_options.showUpdateName = read("showUpdateName", 0, 0, 0);
    m_options.showFileComment = read("showFileComment", 1, 1, 1);
    m_options.showFileSize = read("showFileSize", 0, 0);
    m_options.showPathLen
        = signedIn ? (office && IsSupportMode() ? ProfileInt(QStringLiteral("showPathLen"), 1) != 0
                                                : false)
                   : true;
    m_options.showTransacInfo = read("showTransacInfo", 1, 1);
    m_confirmOnExit = signedIn && ProfileInt(QStringLiteral("confirmOnExit"), 0) != 0;
    m_showButton = ProfileInt(QStringLiteral("showButton"), office ? 0 : 1) != 0;
    m_listFontPlusPoint = ProfileInt(QStringLiteral("listFontPlusPoint"), 1);
    m_saveExitMode = ProfileInt(QStringLiteral("saveExitMode"), 0) != 0;

    // The navigation state of the last session.
    m_folderSearchText = ProfileString(QStringLiteral("filterFolder"));
    m_fileSearchText = ProfileString(QStringLiteral("filterFile"));
    m_searchMode = ProfileInt(QStringLiteral("filterFileSearch"), 0) != 0;
    m_folderId = ProfileInt(QStringLiteral("filterWorkspace"), 0);
    if (m_folderId == -1 && !signedIn)
        m_folderId = 0;
    m_productFilter = ProfileInt(QStringLiteral("filterFileType"), 0);
    m_productExt = ProfileString(QStringLiteral("filterExt"));
    m_folderSearchActive = !m_folderSearchText.isEmpty() && !m_searchMode;
    if (m_searchMode && m_fileSearchText.isEmpty())
        m_searchMode = false;
    if (m_folderId > 0 && m_system.workspaces()
        && !m_system.workspaces()->list().FindById(m_folderId))
        m_folderId = 0;
    if (m_productFilter != 0) {
        CFileTypeRecord *type
            = m_system.fileTypes() ? m_system.fileTypes()->FindById(m_productFilter) : nullptr;
        if (type)
            m_productLabel = type->name;
        else
            m_productFilter = 0;
    }

    const std::array<EListView, 3> views{EListView::Folder, EListView::Search,
                                         EListView::Favorites};
    for (EListView v : views) {
        m_sortKind[int(v)] = ProfileInt(SortColumnKey(v), 0);
        const QList<bool> stored = ParseDirections(ProfileString(SortDownsKey(v)));
        for (int k = 0; k < ColumnKind::StoredDirections && k < stored.size(); ++k)
            m_sortDowns[int(v)][k] = stored.at(k);
    }
    const QString timesKey = ProgramVersionText() + QStringLiteral(".times");
    m_timesOpened = ProfileInt(timesKey, 0) + 1;
}

void CFileListDialog::ReadWidths()
{
    const std::array<EListView, 3> views{EListView::Folder, EListView::Search,
                                         EListView::Favorites};
    for (EListView v : views) {
        for (const SColumnDef &column : m_columnTable) {
            const QString key = WidthKey(column.kind, v, m_offline);
            if (!key.isEmpty())
                m_widths.insert(key, ProfileInt(key, 0));
        }
    }
}

void CFileListDialog::LoadSettings(const QString &sectionName)
{
    // The theme colour; the placement follows in OnInitDialog (first opening: default size).
    CBizDialog::LoadSettings(QString());
    Q_UNUSED(sectionName)
}

void CFileListDialog::SaveSettings(const QString &sectionName)
{
    Q_UNUSED(sectionName)
    for (const SOptionKey &option : kOptionKeys)
        WriteProfileInt(Key(option.key), m_options.*option.field ? 1 : 0);
    WriteProfileInt(QStringLiteral("confirmOnExit"), m_confirmOnExit ? 1 : 0);
    WriteProfileInt(QStringLiteral("showButton"), m_showButton ? 1 : 0);
    const bool writeFilters = !(m_offline && m_saveExitMode);
    if (writeFilters) {
        // The send mode's own state is not the user's navigation: the saved state is.
        const bool sending = m_sendMode && m_sendSaved.saved;
        const bool folderSearch = sending ? m_sendSaved.folderSearchActive : m_folderSearchActive;
        const bool search = sending ? m_sendSaved.searchMode : m_searchMode;
        WriteProfileString(QStringLiteral("filterFolder"),
                           folderSearch
                               ? (sending ? m_sendSaved.folderSearchText : m_folderSearchText)
                               : QString());
        WriteProfileString(QStringLiteral("filterFile"),
                           search ? (sending ? m_sendSaved.fileSearchText : m_fileSearchText)
                                  : QString());
        WriteProfileInt(QStringLiteral("filterFileSearch"), search ? 1 : 0);
        const qint32 folder = sending ? m_sendSaved.folderId : m_folderId;
        WriteProfileInt(QStringLiteral("filterWorkspace"), folder);
        if (CBizApp *app = CBizApp::instance()) {
            app->WriteProfileInt(QString(), QStringLiteral("filterWorkspace"), folder);
            app->WriteProfileInt(QString(), QStringLiteral("filterFileSearch"), search ? 1 : 0);
        }
        WriteProfileInt(QStringLiteral("filterFileType"),
                        sending ? m_sendSaved.productFilter : m_productFilter);
        WriteProfileString(QStringLiteral("filterExt"), m_productExt);
    }
    const std::array<EListView, 3> views{EListView::Folder, EListView::Search,
                                         EListView::Favorites};
    for (EListView v : views) {
        WriteProfileInt(SortColumnKey(v), m_sortKind[int(v)]);
        WriteProfileString(SortDownsKey(v), DirectionsText(m_sortDowns[int(v)]));
    }
    WriteProfileInt(QStringLiteral("listFontPlusPoint"), m_listFontPlusPoint);
    WriteProfileInt(QStringLiteral("saveExitMode"), m_saveExitMode ? 1 : 0);
    WriteProfileInt(QStringLiteral("initialShown"), 1);
    WriteProfileInt(ProgramVersionText() + QStringLiteral(".times"), m_timesOpened);
    StoreWidths();
    for (auto it = m_widths.cbegin(); it != m_widths.cend(); ++it)
        WriteProfileInt(it.key(), it.value());
    SaveWindowPlacement(this, section());
    if (CBizApp *app = CBizApp::instance())
        app->SyncProfile();
}

// --- opening ---

void CFileListDialog::OnInitDialog()
{
    ReadProfile();
    ReadWidths();
    ApplyButtonColumn();
    if (ProfileInt(QStringLiteral("initialShown"), 0) == 1)
        RestoreWindowPlacement(this, section());
    else
        ResetWindowSize();
    SetBusyDisabledSystemMenuIds({16, 80, 96, 208, 240});
    SetListFonts();
    ShowFileSearchText();
    m_folderSearch->setText(m_folderSearchActive ? m_folderSearchText : QString());
    if (m_productFilter != 0)
        SetTip(m_productButton,
               LoadString(18289) + QStringLiteral("（%1を選択中）").arg(m_productLabel));
    m_lastShownDataBox = IsDataBoxFolder();
    RebuildColumns(false);
    m_refreshSelect = true;
    RebuildList();
    m_list->setFocus();
    const QList<int> selected = m_list->selectedRowNumbers();
    m_list->SelectRow(selected.isEmpty() ? 0 : selected.first());
}

void CFileListDialog::SetListFonts()
{
    const QFont base = DialogFont();
    m_listFont = base;
    m_listFont.setPointSizeF(base.pointSizeF() + m_listFontPlusPoint + 1);
    m_comboFont = base;
    m_comboFont.setPointSizeF(base.pointSizeF() + m_listFontPlusPoint);
    m_titleFont = base;
    m_titleFont.setBold(true);
    m_titleFont.setPointSizeF(base.pointSizeF() + 7);
    m_list->setFont(m_listFont);
    m_list->horizontalHeader()->setFont(base);
    m_list->verticalHeader()->setDefaultSectionSize(QFontMetrics(m_listFont).height() + 6);
    m_combo->setFont(m_comboFont);
    m_combo->treeView()->setFont(m_comboFont);
    m_title->setFont(m_titleFont);
}

void CFileListDialog::ApplyButtonColumn()
{
    m_buttonPanel->setVisible(m_showButton);
    m_strip->setToolTip(LoadString(m_showButton ? 18305 : 18304));
    m_strip->setAccessibleName(m_strip->toolTip());
    m_strip->setText(m_showButton ? QStringLiteral("›") : QStringLiteral("‹"));
}

void CFileListDialog::ResetWindowSize()
{
    QScreen *screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen();
    const QRect area = screen ? screen->availableGeometry() : QRect(0, 0, 1024, 768);
    const QSize frameExtra = frameGeometry().size() - geometry().size();
    QSize size(DefaultWidth, DefaultHeight);
    size = size.boundedTo(area.size() - frameExtra);
    size = size.expandedTo(minimumSize());
    if (isMaximized())
        showNormal();
    resize(size);
    const QSize outer = size + frameExtra;
    move(area.x() + (area.width() - outer.width()) / 2,
         area.y() + (area.height() - outer.height()) / 2);
}

void CFileListDialog::ApplyTheme()
{
    CBizProgressDialog::ApplyTheme();
    if (m_list) {
        // The list keeps its white ground; the strips and buttons take the theme.
        QPalette pal = m_list->palette();
        pal.setColor(QPalette::Base, Qt::white);
        m_list->setPalette(pal);
    }
}

// --- views and columns ---

EListView CFileListDialog::view() const
{
    if (m_folderId == -1)
        return EListView::Favorites;
    return m_searchMode ? EListView::Search : EListView::Folder;
}

bool CFileListDialog::sortDown(EListView v, int kind) const
{
    const QList<bool> &downs = m_sortDowns[int(v)];
    return kind >= 0 && kind < downs.size() && downs.at(kind);
}

CWorkspaceRecord *CFileListDialog::CurrentFolder() const
{
    if (m_folderId <= 0 || !m_system.workspaces())
        return nullptr;
    return m_system.workspaces()->list().FindById(m_folderId);
}

bool CFileListDialog::IsDataBoxFolder() const
{
    const CWorkspaceRecord *folder = CurrentFolder();
    return folder && folder->isDataBox != 0;
}

SColumnContext CFileListDialog::ColumnContext() const
{
    SColumnContext context;
    context.view = view();
    context.dataBoxFolder = IsDataBoxFolder();
    context.officeUser = isOfficeUser();
    context.supportMode = IsSupportMode();
    context.sendMode = m_sendMode;
    context.options = m_options;
    return context;
}

void CFileListDialog::StoreWidths()
{
    const EListView v = view();
    const QList<SColumnDef> &columns = m_list->columns();
    const QList<int> widths = m_list->columnWidths();
    for (int i = 0; i < columns.size() && i < widths.size(); ++i) {
        const QString key = WidthKey(columns.at(i).kind, v, m_offline);
        if (!key.isEmpty())
            m_widths.insert(key, widths.at(i));
    }
}

void CFileListDialog::OnColumnLayoutDone()
{
    StoreWidths();
}

void CFileListDialog::RebuildColumns(bool resetWidths)
{
    const SColumnContext context = ColumnContext();
    const QList<SColumnDef> visible = VisibleColumns(m_columnTable, context);
    const EListView v = context.view;
    QList<int> saved;
    bool anyMissing = false;
    for (const SColumnDef &column : visible) {
        // A column the profile keeps no width for (the star) always takes its weight.
        const QString key = WidthKey(column.kind, v, m_offline);
        const int width = key.isEmpty() ? 0 : m_widths.value(key, 0);
        saved.append(width);
        anyMissing = anyMissing || (!key.isEmpty() && width <= 0);
    }
    m_sortKind[int(v)] = SortKindFallback(m_sortKind[int(v)], visible, v);
    if (resetWidths) {
        for (auto it = m_widths.begin(); it != m_widths.end(); ++it)
            if (!it.key().endsWith(QStringLiteral("Fav")))
                it.value() = 0;
    }
    const int charWidth = AverageCharWidth(DialogFont());
    m_list->SetColumns(visible, (anyMissing || resetWidths) ? QList<int>() : saved, charWidth);
    m_list->ShowSortArrow(m_sortKind[int(v)], sortDown(v, m_sortKind[int(v)]));
    m_list->RunLayout();
}

// --- cells ---

QString CFileListDialog::CellText(int kind, const CFileRecord &row)
{
    return ::CellText(row, kind);
}

SCellColours CFileListDialog::CellColours(const CFileRecord &row, int kind, bool selected)
{
    Q_UNUSED(selected)
    return BaseCellColours(row, kind);
}

QIcon CFileListDialog::CellIcon(const CFileRecord &row, int kind)
{
    CBizImageList &images = CBizImageList::Instance();
    switch (kind) {
    case ColumnKind::FileName:
        if (row.folderItem)
            return images.FolderIcon(row.folderItem->folderStyle);
        return images.FileTypeIcon(row.extension);
    case ColumnKind::FolderName:
        return row.folder ? images.FolderIcon(row.folder->folderStyle) : QIcon();
    case ColumnKind::Favorite:
        return images.Icon(row.isFavorite ? BizIcon::FavoriteOn : BizIcon::FavoriteOff);
    default:
        return {};
    }
}

QString CFileListDialog::CellToolTip(const CFileRecord &row, int kind)
{
    if (kind == ColumnKind::FileName && view() != EListView::Search) {
        const QString name = ::CellText(row, ColumnKind::FileName);
        return row.workspaceId > 0 && !row.folderPath.isEmpty()
                   ? QStringLiteral("%1/%2").arg(row.folderPath, name)
                   : name;
    }
    if (kind == ColumnKind::Favorite)
        return LoadString(row.isFavorite ? 5167 : 5166).section(u'\n', 0, 0);
    return {};
}

// --- rows ---

bool CFileListDialog::PassesRowFilter(const CFileRecord &entry) const
{
    if (m_folderId == 0 && m_productFilter == 0 && !m_sendMode)
        return true;
    if (m_folderId != 0) {
        if (m_searchMode) {
            if (!entry.folder || !entry.folder->HasInPath(m_folderId))
                return false;
        } else if (entry.workspaceId != m_folderId && m_folderId != -1) {
            // The favourites view (-1) keeps every entry the favourites list gave.
            return false;
        }
    }
    if (m_productFilter != 0 && !entry.IsFolderEntry() && entry.fileTypeId != m_productFilter)
        return false;
    if (m_sendMode && !entry.lockedByMe)
        return false;
    return true;
}

void CFileListDialog::ReapplyFilter()
{
    RebuildList();
    m_list->setFocus();
}

void CFileListDialog::FillFolderCombo()
{
    QStandardItemModel *model = m_combo->itemModel();
    const QSignalBlocker block(m_combo);
    model->clear();
    m_comboItems.clear();
    CBizImageList &images = CBizImageList::Instance();
    if (m_folderId == -1) {
        QStandardItem *favorites
            = m_combo->AddItem(FavoritesName(), nullptr, images.Icon(BizIcon::FavoriteOn));
        favorites->setData(-1, kFolderIdRole);
        m_comboItems.insert(-1, favorites);
    }
    QStandardItem *root = m_combo->AddItem(AllFoldersName(), nullptr, images.FolderIcon(0));
    root->setData(0, kFolderIdRole);
    if (!IsRootSelectable() && m_folderId != -1)
        root->setFlags(root->flags() & ~Qt::ItemIsSelectable);
    m_comboItems.insert(0, root);
    if (CWorkspaceManager *folders = m_system.workspaces()) {
        const CWorkspaceList &list = folders->list();
        for (qsizetype i = 0; i < list.size(); ++i) {
            CWorkspaceRecord *folder = list.At(i);
            if (m_folderSearchActive) {
                if (!ContainsNameLoose(folder->name, m_folderSearchText))
                    continue;
                QStandardItem *item = m_combo->AddItem(folder->DisplayPath(), root,
                                                       images.FolderIcon(folder->folderStyle));
                item->setData(folder->id, kFolderIdRole);
                m_comboItems.insert(folder->id, item);
                continue;
            }
            QStandardItem *parent = m_comboItems.value(folder->ParentId(), root);
            QStandardItem *item
                = m_combo->AddItem(folder->name, parent, images.FolderIcon(folder->folderStyle));
            item->setData(folder->id, kFolderIdRole);
            m_comboItems.insert(folder->id, item);
        }
    }
    QStandardItem *current = m_comboItems.value(m_folderId, root);
    m_combo->SelectItem(current->index());
    m_combo->treeView()->expandAll();
}

void CFileListDialog::RebuildList()
{
    m_rebuilding = true;
    // A change of view (search, favourites, send mode) shows other columns.
    if (VisibleColumns(m_columnTable, ColumnContext()) != m_list->columns())
        RebuildColumns(false);
    FillFolderCombo();
    QList<CFileRecord *> rows;
    if (CFileManager *files = m_system.files()) {
        const CFileList &list = files->list();
        rows.reserve(list.size());
        for (qsizetype i = 0; i < list.size(); ++i) {
            CFileRecord *entry = list.At(i);
            if (PassesRowFilter(*entry))
                rows.append(entry);
        }
    }
    const EListView v = view();
    SortFileRows(rows, m_sortKind[int(v)], sortDown(v, m_sortKind[int(v)]));
    m_list->setUpdatesEnabled(false);
    m_list->SetRows(rows);
    m_list->setUpdatesEnabled(true);
    UpdateTitle();
    SetIdleText(CountLabelText(rows, IsSupportMode()));
    m_rebuilding = false;
    UpdateDetailPane();
    RequestCommandStates();
}

void CFileListDialog::UpdateTitle()
{
    const QString marker = titleMarker();
    setWindowTitle(GetTitle() + marker);
    const CWorkspaceRecord *folder = CurrentFolder();
    if (m_folderId == -1)
        m_title->setText(FavoritesName());
    else
        m_title->setText(folder ? folder->DisplayPath() : AllFoldersName());
}

QString CFileListDialog::titleMarker() const
{
    if (m_sendMode)
        return m_fileSearchText.isEmpty() ? QStringLiteral(" 【送信モード】")
                                          : QStringLiteral(" 【送信モードファイル検索中】");
    if (m_folderSearchActive)
        return m_searchMode ? QStringLiteral(" 【フォルダファイル検索中】")
                            : QStringLiteral(" 【フォルダ検索中】");
    if (m_searchMode)
        return QStringLiteral(" 【ファイル検索中】");
    if (m_folderId == -1)
        return QStringLiteral(" 【お気に入り】");
    return {};
}

// --- search texts ---

void CFileListDialog::ReadFileSearchText()
{
    m_fileSearchText = m_fileSearch->text().trimmed();
}

void CFileListDialog::ShowFileSearchText()
{
    m_fileSearch->setText(m_fileSearchText);
}

void CFileListDialog::ClearFileSearchText()
{
    m_fileSearchText.clear();
    m_fileSearch->clear();
}

// --- navigation ---

void CFileListDialog::NavigateToFolder(qint32 folderId, bool selectRemembered)
{
    if (folderId == m_folderId && !m_sendMode && !m_searchMode)
        return;
    if (m_sendMode)
        LeaveSendMode(false);
    m_refreshSelect = selectRemembered;
    m_folderId = folderId;
    QWidget *focus = m_list;
    if (m_searchMode) {
        m_searchMode = false;
        ClearFileSearchText();
        if (m_folderSearchActive)
            SetFolderSearch(false, false);
        focus = nullptr;
    } else if (m_folderSearchActive) {
        SetFolderSearch(false, false);
        focus = nullptr;
    }
    PostRefresh(false, selectRemembered, focus ? focus : m_list);
}

void CFileListDialog::OnBackspace()
{
    if (m_folderId <= 0)
        return;
    const CWorkspaceRecord *folder = CurrentFolder();
    const qint32 parent = folder ? folder->ParentId() : 0;
    m_remembered = {};
    m_remembered.set = true;
    m_remembered.folderId = parent;
    m_remembered.isFolder = true;
    m_remembered.name = folder ? folder->name : QString();
    NavigateToFolder(parent, true);
}

void CFileListDialog::OnComboChosen()
{
    const QModelIndex index = m_combo->currentModelIndex();
    if (!index.isValid())
        return;
    const qint32 id = index.data(kFolderIdRole).toInt();
    if (id != m_folderId || m_searchMode || m_folderSearchActive) {
        if (id == -1 && m_folderId == -1)
            return;
        if (id == -1) {
            OnCommand(MainId::FavoritesView);
            return;
        }
        NavigateToFolder(id, false);
    }
    m_list->setFocus();
}

void CFileListDialog::SetFolderSearch(bool on, bool refresh)
{
    m_folderSearchActive = on;
    if (on) {
        m_folderId = 0;
        m_comboItems.clear();
        m_folderSearchText = m_folderSearch->text().trimmed();
        SetTip(m_folderSearchButton, LoadString(18288));
    } else {
        m_folderSearchText.clear();
        m_folderSearch->clear();
        SetTip(m_folderSearchButton, LoadString(18287));
        if (refresh)
            m_folderSearch->setFocus();
    }
    if (refresh)
        RefreshAfterSearchChange(false, on ? static_cast<QWidget *>(m_list) : m_folderSearch);
}

void CFileListDialog::RefreshAfterSearchChange(bool immediate, QWidget *focus)
{
    if (immediate) {
        m_refreshFocus = focus;
        RefreshNow(false);
    } else {
        PostRefresh(false, true, focus);
    }
}

void CFileListDialog::RunSearch(QWidget *reenable)
{
    BeginProgress(18219, -1);
    bool ok = false;
    {
        ok = Reload();
    }
    EndProgress(!ok);
    if (reenable)
        reenable->setEnabled(true);
    m_list->SelectRow(0);
    m_list->setFocus();
}

// --- sorting ---

void CFileListDialog::SortRows(int kind, bool descending)
{
    QList<CFileRecord *> rows = m_list->rows();
    SortFileRows(rows, kind, descending);
    m_list->SetRows(rows);
}

void CFileListDialog::Sort(int kind, bool descending)
{
    SortRows(kind, descending);
}

void CFileListDialog::OnHeaderClicked(int kind)
{
    if (IsBusy() || !IsSortableKind(kind))
        return;
    const EListView v = view();
    QList<bool> &downs = m_sortDowns[int(v)];
    if (kind == m_sortKind[int(v)]) {
        downs[kind] = !downs.at(kind);
    } else {
        m_sortKind[int(v)] = kind;
        downs[ColumnKind::Status] = true;
        downs[ColumnKind::FileComment] = true;
    }
    m_list->ShowSortArrow(kind, downs.at(kind));
    RememberFocusedRow();
    Sort(kind, downs.at(kind));
    if (!SelectRememberedRow()) {
        const int rowCount = int(m_list->rows().size());
        m_list->SelectRow(std::min(m_remembered.index, rowCount - 1));
    }
    m_list->setFocus();
}

// --- remembered row ---

void CFileListDialog::RememberRow(const CFileRecord &row)
{
    m_remembered.set = true;
    m_remembered.isFolder = row.IsFolderEntry();
    m_remembered.folderId
        = row.IsFolderEntry() && row.folderItem ? row.folderItem->ParentId() : row.workspaceId;
    m_remembered.name
        = row.IsFolderEntry() && row.folderItem ? row.folderItem->name : row.FileName();
    m_remembered.index
        = int(std::max<qsizetype>(0, m_list->rows().indexOf(const_cast<CFileRecord *>(&row))));
}

void CFileListDialog::RememberFocusedRow()
{
    const int row = m_list->focusedRow();
    const CFileRecord *record = m_list->RecordAt(row);
    if (!record) {
        m_remembered = {};
        return;
    }
    RememberRow(*record);
    m_remembered.index = row;
}

bool CFileListDialog::SelectRememberedRow()
{
    if (!m_remembered.set)
        return false;
    const QList<CFileRecord *> &rows = m_list->rows();
    for (int i = 0; i < rows.size(); ++i) {
        const CFileRecord *row = rows.at(i);
        if (row->IsFolderEntry() != m_remembered.isFolder)
            continue;
        const QString name
            = row->IsFolderEntry() && row->folderItem ? row->folderItem->name : row->FileName();
        const qint32 folder = row->IsFolderEntry() && row->folderItem ? row->folderItem->ParentId()
                                                                      : row->workspaceId;
        if (folder == m_remembered.folderId && name == m_remembered.name) {
            m_list->SelectRow(i);
            return true;
        }
    }
    return false;
}

// --- refresh ---

void CFileListDialog::PostRefresh(bool rememberSelection, bool selectRemembered, QWidget *focus)
{
    m_refreshRemember = rememberSelection;
    m_refreshSelect = selectRemembered;
    m_refreshFocus = focus;
    if (m_refreshPosted)
        return;
    m_refreshPosted = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            if (IsBusy()) {
                // Held until the progress ends (OnBusyEnd posts it again).
                return;
            }
            m_refreshPosted = false;
            RefreshNow(HeldModifiers() & Qt::ControlModifier);
        },
        Qt::QueuedConnection);
}

void CFileListDialog::OnBusyBegin() {}

void CFileListDialog::OnBusyEnd()
{
    if (m_refreshPosted) {
        m_refreshPosted = false;
        PostRefresh(m_refreshRemember, m_refreshSelect, m_refreshFocus);
    }
}

void CFileListDialog::RefreshNow(bool withCtrl)
{
    if (m_inRefresh)
        return;
    m_inRefresh = true;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    m_list->setUpdatesEnabled(false);
    if (m_refreshRemember)
        RememberFocusedRow();
    BeginProgress(m_offline ? 18207 : 18206, -1, Refocus::None);
    bool ok = false;
    if (withCtrl) {
        // The tree and the types again (the optional step of the refresh).
        if (m_system.workspaces())
            m_system.Forward(*m_system.workspaces(), [](CWorkspaceManager &m) { return m.Load(); });
        if (m_system.fileTypes())
            m_system.Forward(*m_system.fileTypes(), [](CFileTypeManager &m) { return m.Load(); });
    }
    LocatePage(m_refreshRemember, m_refreshSelect);
    ok = Reload();
    EndProgress(!ok);
    if (ok && (!m_refreshSelect || !SelectRememberedRow())) {
        m_list->SelectRow(0);
        m_list->scrollToTop();
    }
    m_list->setUpdatesEnabled(true);
    if (m_refreshFocus)
        m_refreshFocus->setFocus();
    m_refreshRemember = true;
    m_refreshSelect = true;
    m_refreshFocus = nullptr;
    QApplication::restoreOverrideCursor();
    m_inRefresh = false;
    RequestCommandStates();
}

bool CFileListDialog::Reload()
{
    if (m_inReload)
        return false;
    m_inReload = true;
    CBizProgressAttach attach(m_system, progressHandler());
    const bool ok = FetchFromSource();
    RebuildList();
    m_inReload = false;
    return ok;
}

void CFileListDialog::LocatePage(bool remember, bool select)
{
    Q_UNUSED(remember)
    Q_UNUSED(select)
}

// --- send mode ---

void CFileListDialog::KeepSendModeFilter(bool entering)
{
    if (entering) {
        if (!m_saveExitMode) {
            ReadFileSearchText();
            if (m_folderSearchActive)
                m_folderSearchText = m_folderSearch->text().trimmed();
        }
        m_sendSaved.saved = true;
        m_sendSaved.folderSearchText = m_folderSearchText;
        m_sendSaved.folderSearchActive = m_folderSearchActive;
        m_sendSaved.searchMode = m_searchMode;
        m_sendSaved.fileSearchText = m_fileSearchText;
        m_sendSaved.folderId = m_folderId;
        m_sendSaved.productFilter = m_productFilter;
        m_sendSaved.productLabel = m_productLabel;
        return;
    }
    if (!m_sendSaved.saved)
        return;
    m_folderSearchText = m_sendSaved.folderSearchText;
    m_folderSearchActive = m_sendSaved.folderSearchActive;
    m_searchMode = m_sendSaved.searchMode;
    m_fileSearchText = m_sendSaved.fileSearchText;
    m_folderId = m_sendSaved.folderId;
    m_productFilter = m_sendSaved.productFilter;
    m_productLabel = m_sendSaved.productLabel;
    m_sendSaved.saved = false;
    ShowFileSearchText();
    m_folderSearch->setText(m_folderSearchActive ? m_folderSearchText : QString());
}

void CFileListDialog::EnterSendMode()
{
    if (m_sendMode)
        return;
    KeepSendModeFilter(true);
    m_folderSearchActive = false;
    m_folderSearchText.clear();
    m_folderSearch->clear();
    ClearFileSearchText();
    m_folderId = 0;
    m_productFilter = 0;
    m_searchMode = true;
    const int search = int(EListView::Search);
    m_sendSaved.sortChanged = false;
    if (m_sortKind[search] != ColumnKind::Status || !m_sortDowns[search][ColumnKind::Status]) {
        m_sendSaved.sortChanged = true;
        m_sendSaved.searchSortKind = m_sortKind[search];
        m_sendSaved.searchStatusDown = m_sortDowns[search][ColumnKind::Status];
        m_sortKind[search] = ColumnKind::Status;
        m_sortDowns[search][ColumnKind::Status] = true;
    }
    m_sendMode = true;
    RebuildColumns(false);
    PostRefresh(false, false, m_list);
}

void CFileListDialog::LeaveSendMode(bool reload)
{
    if (!m_sendMode)
        return;
    const bool restored = m_sendSaved.saved;
    KeepSendModeFilter(false);
    if (m_sendSaved.sortChanged) {
        const int search = int(EListView::Search);
        m_sortKind[search] = m_sendSaved.searchSortKind;
        m_sortDowns[search][ColumnKind::Status] = m_sendSaved.searchStatusDown;
        m_sendSaved.sortChanged = false;
    }
    m_sendMode = false;
    RebuildColumns(false);
    if (!reload)
        return;
    if (restored)
        PostRefresh(false, true, m_list);
    else
        RebuildList();
}

// --- closing ---

bool CFileListDialog::CanClose()
{
    ReadFileSearchText();
    if (m_folderSearchActive)
        m_folderSearchText = m_folderSearch->text().trimmed();
    return true;
}

void CFileListDialog::CloseWindow()
{
    if (IsBusy())
        return;
    if (!CanClose())
        return;
    done(2);
}

void CFileListDialog::reject()
{
    CloseWindow();
}

// --- other commands ---

void CFileListDialog::OpenCacheFolderOf(const CFileRecord *row)
{
    CLocalFileManager *cache = nullptr;
    if (auto *local = dynamic_cast<CLocalSystem *>(&m_system))
        cache = local->localFiles();
    else if (auto *shared = dynamic_cast<CSharedSystem *>(&m_system))
        cache = shared->localSystem() ? shared->localSystem()->localFiles() : nullptr;
    if (!cache)
        return;
    QString path;
    if (row) {
        const qint32 folderId = row->folderItem ? row->folderItem->id : row->workspaceId;
        path = row->folderItem ? QFileInfo(cache->CachePath(folderId, QStringLiteral("x"))).path()
                               : cache->CachePath(folderId, row->FileName());
        for (int up = 0; up < 4 && !path.isEmpty() && !QFileInfo::exists(path); ++up)
            path = QFileInfo(path).path();
    }
    if (path.isEmpty() || !QFileInfo::exists(path))
        path = QFileInfo(cache->CachePath(std::max(0, m_folderId), QStringLiteral("x"))).path();
    if (!QFileInfo::exists(path))
        path = DataPath();
    ShowInExplorer(path, QFileInfo(path).isDir());
}

void CFileListDialog::PastePath()
{
    const QString text = QGuiApplication::clipboard()->text().trimmed();
    if (text.isEmpty()) {
        ShowWarningMessage(18369);
        return;
    }
    CWorkspaceRecord *found = nullptr;
    if (CWorkspaceManager *folders = m_system.workspaces()) {
        QString wanted = text;
        wanted.replace(u'\\', u'/');
        while (wanted.endsWith(u'/'))
            wanted.chop(1);
        const CWorkspaceList &list = folders->list();
        for (qsizetype i = 0; i < list.size() && !found; ++i)
            if (list.At(i)->DisplayPath().compare(wanted, Qt::CaseInsensitive) == 0)
                found = list.At(i);
    }
    if (!found) {
        const QString shown = text.size() > 100 ? text.left(100) + QStringLiteral(" . . . ") : text;
        ShowWarningMessage(18370, shown);
        return;
    }
    NavigateToFolder(found->id, false);
}

void CFileListDialog::CopyComboPath()
{
    const CWorkspaceRecord *folder = CurrentFolder();
    if (folder)
        QGuiApplication::clipboard()->setText(folder->DisplayPath());
}

int CFileListDialog::ListContextMenu(const QList<CFileRecord *> &, int, int, const QPoint &)
{
    return 0;
}

void CFileListDialog::ShowListMenu(const QPoint &globalPos)
{
    if (IsBusy())
        return;
    const QList<CFileRecord *> rows = m_list->selectedRecords();
    int folders = 0;
    for (const CFileRecord *row : rows)
        folders += row->IsFolderEntry() ? 1 : 0;
    const int command = ListContextMenu(rows, folders, int(rows.size()) - folders, globalPos);
    if (command != 0)
        QTimer::singleShot(0, this, [this, command] { OnCommand(command); });
}

QPoint CFileListDialog::KeyboardMenuPosition() const
{
    // Below the first selected row, from its left edge; the list's corner when none shows.
    const QList<int> rows = m_list->selectedRowNumbers();
    QPoint at(0, 0);
    if (!rows.isEmpty()) {
        const QRect cell = m_list->visualRect(m_list->model()->index(rows.first(), 0));
        if (cell.isValid() && m_list->viewport()->rect().intersects(cell))
            at = cell.bottomLeft();
    }
    return m_list->viewport()->mapToGlobal(at);
}

void CFileListDialog::FolderComboMenu(const QPoint &globalPos)
{
    Q_UNUSED(globalPos)
    OpenFolderComboMenu();
}

void CFileListDialog::OpenFolderComboMenu(const std::function<QAction *(QMenu &)> &given)
{
    const std::function<QAction *(QMenu &)> &chooser = given ? given : m_menuChooser;
    if (IsBusy())
        return;
    CBizMenu menu(this);
    menu.AddItem(LoadString(5155), MainId::CopyComboPath, BizIcon::Copy, m_folderId > 0);
    menu.AddItem(LoadString(5175), MainId::PasteComboPath);
    int command = 0;
    if (chooser) {
        QAction *chosen = chooser(*menu.menu());
        command = chosen && chosen->isEnabled() ? CBizMenu::CommandOf(chosen) : 0;
    } else {
        command = menu.Exec(m_combo->mapToGlobal(QPoint(0, m_combo->height())));
    }
    if (command != 0)
        OnCommand(command);
}

void CFileListDialog::OpenProductFilter(const std::function<QAction *(QMenu &)> &given)
{
    const std::function<QAction *(QMenu &)> &chooser = given ? given : m_menuChooser;
    if (IsBusy())
        return;
    CBizMenu menu(this);
    menu.AddCheckItem(kAllProducts, 1, m_productFilter == 0);
    QHash<int, qint32> ids;
    int next = 2;
    if (CFileTypeManager *types = m_system.fileTypes()) {
        const CFileTypeList &list = types->usableList();
        for (qsizetype i = 0; i < list.size(); ++i) {
            const CFileTypeRecord *type = list.At(i);
            QAction *item = menu.AddCheckItem(type->name, next, type->id == m_productFilter);
            item->setIcon(CBizImageList::Instance().FileTypeIcon(type->ext));
            ids.insert(next++, type->id);
        }
    }
    int command = 0;
    if (chooser) {
        QAction *chosen = chooser(*menu.menu());
        command = chosen ? CBizMenu::CommandOf(chosen) : 0;
    } else {
        command = menu.Exec(m_productButton->mapToGlobal(QPoint(0, m_productButton->height())));
    }
    if (command == 0)
        return;
    const qint32 typeId = command == 1 ? 0 : ids.value(command);
    if (typeId == m_productFilter)
        return;
    m_productFilter = typeId;
    m_productLabel.clear();
    m_productExt.clear();
    if (typeId != 0) {
        const CFileTypeRecord *type = m_system.fileTypes()->FindById(typeId);
        m_productLabel = type ? type->name : QString();
        m_productExt = type ? type->ext : QString();
        SetTip(m_productButton,
               LoadString(18289) + QStringLiteral("（%1を選択中）").arg(m_productLabel));
    } else {
        SetTip(m_productButton, LoadString(18289));
    }
    ReapplyFilter();
}

void CFileListDialog::ToggleDisplayOption(int command)
{
    for (const SOptionKey &option : kOptionKeys) {
        if (option.command == command) {
            m_options.*option.field = !(m_options.*option.field);
            RebuildColumns(true);
            return;
        }
    }
}

void CFileListDialog::SetTheme(int command)
{
    for (const SThemeColour &theme : ThemeColours()) {
        if (theme.command != command)
            continue;
        SetThemeColour(QColor(theme.r, theme.g, theme.b));
        if (CBizApp *app = CBizApp::instance()) {
            // Written at once: the colour stays even if the program ends abnormally later.
            app->WriteProfileString(
                QString(), QStringLiteral("backgroundColor"),
                QStringLiteral("%1,%2,%3").arg(theme.r).arg(theme.g).arg(theme.b));
            app->SyncProfile();
        }
        update();
        return;
    }
}

void CFileListDialog::OpenMainMenu(const std::function<QAction *(QMenu &)> &given)
{
    const std::function<QAction *(QMenu &)> &chooser = given ? given : m_menuChooser;
    Q_UNUSED(chooser)
}

void CFileListDialog::PrepareSystemMenu(QMenu &menu)
{
    const bool support = IsSupportMode();
    const bool shiftCtrl = (HeldModifiers() & (Qt::ShiftModifier | Qt::ControlModifier))
                           == (Qt::ShiftModifier | Qt::ControlModifier);
    auto add = [&](int command, int id) {
        QAction *action = menu.addAction(SCommandString::MenuTextOf(command));
        action->setData(id);
    };
    if (support) {
        add(MainId::OpenDataFolder, 80);
        add(MainId::OpenCacheFolder, 96);
        add(MainId::CommandLine, 240);
        add(MainId::Paging, 208);
    } else if (shiftCtrl) {
        add(MainId::OpenDataFolder, 80);
    }
    menu.addSeparator();
    add(MainId::Version, 16);
    CBizProgressDialog::PrepareSystemMenu(menu);
}

int CFileListDialog::EnterCommandFor(QWidget *focused) const
{
    if (focused == m_list)
        return MainId::Open;
    if (focused == m_fileSearch)
        return MainId::FileSearchStart;
    if (focused == m_folderSearch)
        return MainId::FolderSearchToggle;
    return 0;
}

bool CFileListDialog::OnListKey(int key, Qt::KeyboardModifiers modifiers)
{
    if (IsBusy())
        return true;
    switch (key) {
    case Qt::Key_Backspace:
        if (m_folderId == -1) {
            OnCommand(MainId::FavoritesView);
            return true;
        }
        OnBackspace();
        return true;
    case Qt::Key_Return:
    case Qt::Key_Enter: {
        if (modifiers & (Qt::ShiftModifier | Qt::AltModifier))
            return false;
        const QList<CFileRecord *> rows = m_list->selectedRecords();
        if (rows.size() == 1 && rows.first()->folderItem) {
            NavigateToFolder(rows.first()->folderItem->id, false);
            return true;
        }
        OnCommand(MainId::Open);
        return true;
    }
    default:
        return false;
    }
}

void CFileListDialog::OnRowDoubleClicked(int row, int kind, bool ctrl)
{
    if (IsBusy())
        return;
    const CFileRecord *record = m_list->RecordAt(row);
    if (!record)
        return;
    if (record->folderItem) {
        NavigateToFolder(record->folderItem->id, false);
        return;
    }
    if (m_searchMode && ctrl && kind == ColumnKind::FolderName && record->workspaceId > 0) {
        RememberRow(*record);
        NavigateToFolder(record->workspaceId, true);
        return;
    }
    if (m_openButton->isEnabled())
        OnCommand(MainId::Open);
}

void CFileListDialog::keyPressEvent(QKeyEvent *event)
{
    const bool plain
        = event->modifiers() == Qt::NoModifier || event->modifiers() == Qt::KeypadModifier;
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && plain) {
        event->accept();
        HandleEnter(QApplication::focusWidget());
        return;
    }
    if (event->key() == Qt::Key_Escape && plain && !IsBusy()) {
        if (m_searchMode && !m_sendMode) {
            event->accept();
            OnCommand(MainId::FileSearchEnd);
            return;
        }
        if (m_folderSearchActive && !m_searchMode) {
            event->accept();
            SetFolderSearch(false, true);
            return;
        }
    }
    CBizProgressDialog::keyPressEvent(event);
}

void CFileListDialog::HandleEnter(QWidget *focused)
{
    if (IsBusy())
        return;
    const int command = EnterCommandFor(focused);
    if (command != 0) {
        OnCommand(command);
        return;
    }
    // A focused button is pressed, as a dialog's buttons are; a check box or the folder
    // combo keeps Enter to itself rather than closing the window under the user's hands.
    if (auto *button = qobject_cast<QAbstractButton *>(focused)) {
        if (!button->isCheckable() && button->isEnabled())
            button->click();
        return;
    }
    if (focused && (focused == m_combo || m_combo->isAncestorOf(focused)))
        return;
    CloseWindow();
}

bool CFileListDialog::eventFilter(QObject *watched, QEvent *event)
{
    // Alt pressed and released alone opens the main menu, as the keyboard menu would.
    if (event->type() == QEvent::KeyPress) {
        auto *key = static_cast<QKeyEvent *>(event);
        auto *widget = qobject_cast<QWidget *>(watched);
        if (widget && widget->window() == this) {
            m_altAlone = key->key() == Qt::Key_Alt && !key->isAutoRepeat();
            if ((key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter)
                && (key->modifiers() == Qt::NoModifier || key->modifiers() == Qt::KeypadModifier)
                && (qobject_cast<QLineEdit *>(widget) || widget == m_list)) {
                // Edits would swallow Enter; the window's per-focus command decides.
                if (widget != m_list) {
                    HandleEnter(widget);
                    return true;
                }
            }
        }
    } else if (event->type() == QEvent::KeyRelease) {
        auto *key = static_cast<QKeyEvent *>(event);
        auto *widget = qobject_cast<QWidget *>(watched);
        if (widget && widget->window() == this && key->key() == Qt::Key_Alt && m_altAlone
            && !key->isAutoRepeat()) {
            m_altAlone = false;
            if (!IsBusy())
                QTimer::singleShot(0, this, [this] { OnCommand(MainId::MainMenu); });
        }
    } else if (event->type() == QEvent::ShortcutOverride) {
        // A key that becomes a shortcut (Alt+Left) never arrives as a key press.
        if (static_cast<QKeyEvent *>(event)->key() != Qt::Key_Alt)
            m_altAlone = false;
    } else if (event->type() == QEvent::MouseButtonPress) {
        m_altAlone = false;
    } else if (event->type() == QEvent::FocusIn && watched == m_fileSearch) {
        RequestCommandStates();
    }
    return CBizProgressDialog::eventFilter(watched, event);
}

void CFileListDialog::OnCommand(int command)
{
    const bool busy = IsBusy();
    if (busy && command != MainId::ResetSize)
        return;
    switch (command) {
    case MainId::Close:
        CloseWindow();
        return;
    case MainId::ParentFolder:
        OnBackspace();
        return;
    case MainId::Refresh:
        m_refreshFocus = m_list;
        RefreshNow(HeldModifiers() & Qt::ControlModifier);
        return;
    case MainId::FocusFileSearch:
        if (m_folderId != -1)
            m_fileSearch->setFocus();
        return;
    case MainId::FileSearchStart: {
        if (m_inSearch)
            return;
        ReadFileSearchText();
        if (m_fileSearchText.isEmpty() && !m_fileSearchStart->isEnabled())
            return;
        m_inSearch = true;
        if (m_searchMode || m_sendMode) {
            RunSearch(nullptr);
        } else {
            m_searchMode = true;
            m_sortKind[int(EListView::Search)] = 0;
            RebuildColumns(false);
            m_refreshFocus = m_list;
            RefreshNow(false);
            m_list->setFocus();
        }
        m_inSearch = false;
        return;
    }
    case MainId::FileSearchEnd:
        if (m_sendMode) {
            if (!m_fileSearch->text().trimmed().isEmpty()) {
                ClearFileSearchText();
                PostRefresh(false, true, m_list);
            } else {
                LeaveSendMode();
            }
            return;
        }
        if (m_searchMode) {
            m_searchMode = false;
            ClearFileSearchText();
            if (m_folderSearchActive)
                SetFolderSearch(false, false);
            RebuildColumns(false);
            PostRefresh(false, true, m_list);
        }
        return;
    case MainId::FolderSearchKey:
        if (m_searchMode)
            return;
        if (m_folderSearchActive)
            OnCommand(MainId::FolderSearchToggle);
        else
            m_folderSearch->setFocus();
        return;
    case MainId::FolderSearchToggle:
        if (m_searchMode || m_sendMode)
            return;
        if (!m_folderSearchActive && m_folderSearch->text().trimmed().isEmpty())
            return;
        SetFolderSearch(!m_folderSearchActive, true);
        return;
    case MainId::ProductFilter:
        OpenProductFilter();
        return;
    case MainId::FocusList:
        m_list->setFocus();
        return;
    case MainId::FocusCombo:
        m_combo->setFocus();
        return;
    case MainId::MainMenu:
        OpenMainMenu();
        return;
    case MainId::ListMenuKey:
        ShowListMenu(KeyboardMenuPosition());
        return;
    case MainId::ButtonStrip:
        m_showButton = !m_showButton;
        ApplyButtonColumn();
        RebuildColumns(false);
        return;
    case MainId::CopyComboPath:
        CopyComboPath();
        return;
    case MainId::PasteComboPath:
        PastePath();
        return;
    case MainId::OpenRowFolder: {
        const QList<CFileRecord *> rows = m_list->selectedRecords();
        if (rows.isEmpty())
            return;
        const CFileRecord *row = rows.first();
        const qint32 target = row->folderItem ? row->folderItem->id : row->workspaceId;
        RememberRow(*row);
        if (target > 0)
            NavigateToFolder(target, true);
        return;
    }
    case MainId::OpenDataFolder:
        ShowInExplorer(DataPath(), true);
        return;
    case MainId::OpenCacheFolder: {
        const QList<CFileRecord *> rows = m_list->selectedRecords();
        OpenCacheFolderOf(rows.isEmpty() ? nullptr : rows.first());
        return;
    }
    case MainId::Version: {
        auto *owned = dynamic_cast<CHasMainSystem *>(&m_system);
        CVersionInfoDialog dialog(owned ? owned->mainSystem() : nullptr, this);
        RunModal(dialog);
        return;
    }
    case MainId::ConfirmOnExit:
        m_confirmOnExit = !m_confirmOnExit;
        return;
    case MainId::ResetSize:
        ResetWindowSize();
        return;
    // The system menu's item ids.
    case 16:
        OnCommand(MainId::Version);
        return;
    case 80:
        OnCommand(MainId::OpenDataFolder);
        return;
    case 96:
        OnCommand(MainId::OpenCacheFolder);
        return;
    case 208:
        OnCommand(MainId::Paging);
        return;
    case 240:
        OnCommand(MainId::CommandLine);
        return;
    default:
        break;
    }
    if (command >= MainId::ThemeFirst && command <= MainId::ThemeLast) {
        SetTheme(command);
        return;
    }
    for (const SOptionKey &option : kOptionKeys) {
        if (option.command == command) {
            ToggleDisplayOption(command);
            return;
        }
    }
    CBizProgressDialog::OnCommand(command);
}

void CFileListDialog::UpdateCommandStates()
{
    const bool busy = IsBusy();
    const bool searchOrSend = m_searchMode || m_sendMode;
    auto enable = [busy](QWidget *control, bool on) {
        if (control && !busy)
            control->setEnabled(on);
    };
    enable(m_parentButton, m_folderId > 0);
    enable(m_folderSearch, !searchOrSend && !m_folderSearchActive);
    enable(m_folderSearchButton,
           !searchOrSend && (m_folderSearchActive || !m_folderSearch->text().trimmed().isEmpty()));
    enable(m_fileSearchEnd, searchOrSend && m_folderId != -1);
    enable(m_fileSearch, m_folderId != -1);
    enable(m_fileSearchStart, !m_fileSearch->text().trimmed().isEmpty());
    enable(m_openButton, CanOpen());
    if (m_sendMode && m_fileSearch->text().trimmed().isEmpty())
        SetTip(m_fileSearchEnd, LoadString(18280));
    else
        SetTip(m_fileSearchEnd, LoadString(18282));
}
