#pragma once

#include "FileListDialog.h"
#include "Pager.h"
#include "RowQualification.h"

#include "files/FileParsers.h"
#include "files/LocalFileManager.h"

#include <QElapsedTimer>

class CBizDateTimeCtrl;
class CBizEditAmount;
class CBizLinkCtrl;
class CSharedGuiSystem;
class CSharedSystem;
class QCheckBox;
class QFrame;
class QPlainTextEdit;

// The online main window: the common window with the favourites view, send mode, the comment
// pane, the transaction search of DataBox folders, paging of long listings, the notices and
// the service's web pages, and the check for unsent files on exit. Ends with 2.
class CSharedFileListDialog : public CFileListDialog
{
    Q_OBJECT

public:
    // Control ids of this window.
    enum : int {
        RecentButton = 21313,
        NoticesButton = 21330,
        NoticeBadge = 21335,
        DateFrom = 21402,
        DateTo = 21404,
        DateTilde = 21403,
        AmountTilde = 21406,
        ClientName = 21408,
        AmountFrom = 21405,
        AmountTo = 21407,
        BlankDate = 21427,
        BlankName = 21428,
        BlankAmount = 21429,
        TopLine = 21401,
        PagerLabel = 21320,
        PagerLinks = 21321,
        CommentPane = 21299,
        CommentInfo = 21298,
        CommentButton = 21310,
        CommentStrip = 21334,
        TimingStatic = 21331,
        // commands
        ImportantNotice = 18368,
        ManageSite = 5161,
        Manual = 5159,
        RemoteSupport = 5160,
        ShopSite = 5225,
        TwitterSite = 5226,
        YouTubeSite = 5227,
        SearchBlank = 5230,
        ToSendMode = 5229,
        OpenCommand = 5136,
        SendCommand = 5137,
        OpenReadOnlyCommand = 5138,
        ForceReleaseCommand = 5139,
        DownloadCommand = 5141,
        CopyFilePath = 5146,
        OpenWithCommand = 5170,
        CopyFolderPath = 5155,
        ShowHistory = 5228,
        AddFavorite = 5166,
        RemoveFavorite = 5167,
        BulkDownload = 5158,
        // Enter in the transaction fields
        NextFromDateFrom = 21418,
        NextFromDateTo = 21419,
        NextFromName = 21420,
        NextFromAmountFrom = 21421,
    };

    // The rights and limits the window reads, copied from the user record when it is built.
    using SRights = SWindowRights;

    explicit CSharedFileListDialog(CSharedGuiSystem &system, QWidget *parent = nullptr);
    ~CSharedFileListDialog() override;

    const SRights &rights() const { return m_rights; }
    CPager &pager() { return m_pager; }
    bool isPagingEnabled() const { return m_pagingEnabled; }
    bool isCommentPaneShown() const { return m_showCommentEdit; }
    bool isSearchBlankShown() const { return m_showSearchBlank; }
    // The transaction query of the fields as they stand.
    CTransactionSearchQuery TransactionQuery() const;

    // --- the window's operations, online ---
    SCellColours CellColours(const CFileRecord &row, int kind, bool selected) override;
    bool CanOpen() const override;
    bool FetchFromSource() override;
    void Sort(int kind, bool descending) override;
    void LocatePage(bool remember, bool select) override;
    void NavigateToFolder(qint32 folderId, bool selectRemembered = true) override;
    bool CanClose() override;
    void UpdateDetailPane() override;
    void PastePath() override;
    void OnCommand(int command) override;
    void UpdateCommandStates() override;
    void OpenMainMenu(const std::function<QAction *(QMenu &)> &chooser = {}) override;
    bool OnListKey(int key, Qt::KeyboardModifiers modifiers) override;

    // A page link (first, prev, next, last or a link number).
    void FollowPageLink(const QString &id);
    // The favourites view in (the state kept) or out (the state back).
    void ToggleFavoritesView();
    // The star of a row: add to or remove from the favourites.
    void ToggleFavoriteOf(int row);
    // The support-mode timing line: an operation's tag starts, the last one ends.
    void BeginTiming(const QString &tag);
    void EndTiming();
    // Opens a page of the service with the command (nothing without an address).
    void OpenServicePage(const QString &command, bool management = false);

protected:
    void OnInitDialog() override;
    void SaveSettings(const QString &section) override;
    void UpdateTitle() override;
    bool IsRootSelectable() const override;
    int EnterCommandFor(QWidget *focused) const override;
    void OnBusyBegin() override;
    void OnBusyEnd() override;
    void dragEnterEvent(QDragEnterEvent *event) override;

private:
    void BuildOnlineControls();
    void ReadOnlineProfile();
    void UpdatePager();
    void UpdateNotices();
    void ApplyCommentPane();
    void ApplyTransactionControls();
    void ApplyBlankFlags();
    bool HasTransactionInput() const;
    void ShowTransactionTexts(const QStringList &texts, const QList<bool> &blanks);
    QStringList TransactionTexts() const;
    QList<bool> BlankFlags() const;
    void AskImportantNotice();
    void PostWhenIdle(int command);
    void CheckImportantNotice();
    void EnterFavoritesView();
    void LeaveFavoritesView();
    void CheckDataBoxChange();
    bool SendUnsentOnExit(const QList<SUnsentFile> &unsent);

    // The edit cycle's commands (OnlineEditCommands.cpp).
    // The selected rows that are service records, in row order.
    QList<CSharedFileRecord *> SelectedShared() const;
    // The local copies' states the qualification of open and send asks.
    SLocalProbe LocalProbe() const;
    QList<CSharedFileRecord *> Qualified(ERowSet set,
                                         EOpenRightTest openTest = EOpenRightTest::None) const;
    // One progress run over rows: each scrolled to and named, perRow on a copy of its
    // record; a failure ends the run unless goOnAfterFailure; a cancel ends it after the
    // row. A refresh follows when anything was done or failed. False when a row failed.
    bool RunRows(int runText, int rowText, const QList<CSharedFileRecord *> &rows,
                 bool goOnAfterFailure, const std::function<bool(CSharedFileRecord &)> &perRow);
    // Runs one of the commands; false for a command that is none of them.
    bool OnEditCommand(int command);
    void OpenRows();
    // Open with a chosen program, then the send once the program is closed.
    void OpenRowWith();
    void OpenRowsReadOnly();
    void SendRows();
    void ForceReleaseRows();

    // The list's context menus and the commands only they offer (OnlineMenus.cpp).
    int ListContextMenu(const QList<CFileRecord *> &rows, int folderRows, int fileRows,
                        const QPoint &globalPos) override;
    // The service keeps history copies for this user (generations kept, a cache kept).
    bool KeepsHistory() const;
    bool OnMenuCommand(int command);

    // The download of the selected files (OnlineDownloadCommands.cpp).
    QList<CSharedFileRecord *> DownloadableRows() const;
    void DownloadRows();
    // One file under a name the user picks, then the completion dialog; false when it was
    // not downloaded (cancelled, or the failure shown).
    bool DownloadOneFile(const CSharedFileRecord &row);

    // The favourites commands over the selection (OnlineFavoriteCommands.cpp).
    void AddFavoriteRows();
    void RemoveFavoriteRows();
    // Adds or removes the rows from the last to the first; stops at a failure (shown).
    bool ChangeFavoriteRows(const QList<int> &rowNumbers, bool add);
    CSharedSystem &shared() const;

    CSharedGuiSystem &m_gui;
    SRights m_rights;
    CPager m_pager;
    bool m_pagingEnabled = true;
    bool m_showCommentEdit = true;
    bool m_commentShownByEdit = false;
    bool m_showSearchBlank = false;
    bool m_noticeAsked = false;
    bool m_noticeChecked = false;
    qint32 m_workspaceIdOld = 0;
    QString m_extractDir;
    QString m_extractAllDir;
    struct SFavoritesMemory
    {
        bool saved = false;
        QString folderSearchText;
        bool folderSearchActive = false;
        bool searchMode = false;
        QString fileSearchText;
        qint32 productFilter = 0;
        QString productLabel;
        QString selectedName;
        QStringList transactionTexts;
        QList<bool> blanks;
    } m_favoritesMemory;
    QString m_timingTag;
    QElapsedTimer m_timing;

    // controls
    QFrame *m_topLine = nullptr;
    QPushButton *m_recentButton = nullptr;
    CBizFlatButton *m_noticesButton = nullptr;
    QLabel *m_badge = nullptr;
    CBizFlatButton *m_favoritesButton = nullptr;
    QWidget *m_transactionRow = nullptr;
    CBizDateTimeCtrl *m_dateFrom = nullptr;
    CBizDateTimeCtrl *m_dateTo = nullptr;
    QLineEdit *m_clientName = nullptr;
    CBizEditAmount *m_amountFrom = nullptr;
    CBizEditAmount *m_amountTo = nullptr;
    QCheckBox *m_blankDate = nullptr;
    QCheckBox *m_blankName = nullptr;
    QCheckBox *m_blankAmount = nullptr;
    QLabel *m_pagerLabel = nullptr;
    CBizLinkCtrl *m_pagerLinks = nullptr;
    QWidget *m_commentArea = nullptr;
    QPlainTextEdit *m_commentPane = nullptr;
    QLabel *m_commentInfo = nullptr;
    CBizFlatButton *m_commentButton = nullptr;
    QPushButton *m_commentStrip = nullptr;
    QLabel *m_timingStatic = nullptr;
    QPushButton *m_sendButton = nullptr;
    QPushButton *m_downloadButton = nullptr;
    QPushButton *m_addButton = nullptr;
};
