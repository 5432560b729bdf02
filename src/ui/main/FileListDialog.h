#pragma once

#include "FileListCtrl.h"

#include "ui/toolkit/BizProgressDialog.h"

#include <QFont>
#include <QHash>
#include <QList>
#include <QPointer>
#include <QString>

#include <array>

class CBizFlatButton;
class CBizTreeComboBox;
class CFileRecord;
class CSystem;
class CWorkspaceRecord;
class QBoxLayout;
class QGridLayout;
class QHBoxLayout;
class QLabel;
class QLineEdit;
class QPushButton;
class QStandardItem;
class QVBoxLayout;

// Control and command ids of the main windows.
namespace MainId {
enum : int {
    Close = 1,
    FolderTitle = 21329,
    FileSearchEdit = 21284,
    FileSearchStart = 21285,
    FileSearchEnd = 21283,
    MainMenu = 21294,
    ParentFolder = 21280,
    FolderCombo = 21286,
    FolderSearchEdit = 21281,
    FolderSearchToggle = 21282,
    ProductFilter = 21287,
    Refresh = 21288,
    FocusFileSearch = 21289,
    FolderSearchKey = 21290,
    FocusList = 21292,
    FocusCombo = 21293,
    FavoritesView = 21295,
    Open = 21300,
    Send = 21302,
    Download = 21306,
    Add = 21305,
    ButtonStrip = 21333,
    // commands
    CopyComboPath = 5174,
    PasteComboPath = 5175,
    OpenRowFolder = 5171,
    OpenDataFolder = 5176,
    OpenCacheFolder = 5177,
    CommandLine = 5181,
    Paging = 5173,
    Version = 5122,
    ConfirmOnExit = 5163,
    ShowAppName = 5185,
    ShowUpdateTime = 5186,
    ShowUpdateName = 5187,
    ShowFileComment = 5188,
    ShowFileSize = 5189,
    ShowPathLen = 5190,
    ShowTransacInfo = 5192,
    ThemeFirst = 5217,
    ThemeLast = 5223,
    ResetSize = 90100,   // Ctrl+"/": no id of its own
    ListMenuKey = 90101, // the menu key or Shift+F10: the list's context menu
};
} // namespace MainId

// The theme colours of the window's background: the command (5217 デフォルト … 5223 パープル)
// and its red, green and blue.
struct SThemeColour
{
    int command;
    int r, g, b;
};
const QList<SThemeColour> &ThemeColours();

// The common base of the two main windows: the file list, the folder combo, the file and
// folder searches, the product filter, send mode and the favourites view, the refresh
// pipeline, the display options and theme colour, the title, the system menu, the keys and
// the profile values of all of this (section of the command string, "FileListDialog").
//
// The window is a thin layer: the rows are the file manager's records, which the derived
// window fetches (FetchFromSource); the base filters, sorts and shows them.
class CFileListDialog : public CBizProgressDialog, public IFileListOwner
{
    Q_OBJECT

public:
    static constexpr int DefaultWidth = 970;
    static constexpr int DefaultHeight = 630;
    static constexpr int RefreshMessage = 1044;

    CFileListDialog(int commandStringId, CSystem &system, const QList<SColumnDef> &columnTable,
                    bool offline, QWidget *parent = nullptr);
    ~CFileListDialog() override;

    // --- state (tests read it) ---
    qint32 currentFolderId() const { return m_folderId; }
    bool isSearchMode() const { return m_searchMode; }
    bool isFolderSearchActive() const { return m_folderSearchActive; }
    bool isSendMode() const { return m_sendMode; }
    bool isFavoritesView() const { return m_folderId == -1; }
    QString fileSearchText() const { return m_fileSearchText; }
    QString folderSearchText() const { return m_folderSearchText; }
    qint32 productFilter() const { return m_productFilter; }
    EListView view() const;
    int sortKind(EListView view) const { return m_sortKind[int(view)]; }
    bool sortDown(EListView view, int kind) const;
    const SDisplayOptions &displayOptions() const { return m_options; }
    bool confirmOnExit() const { return m_confirmOnExit; }
    bool isOfficeUser() const;
    CFileListCtrl *list() const { return m_list; }
    CBizTreeComboBox *folderCombo() const { return m_combo; }
    QString titleMarker() const;

    // --- the list's questions ---
    QString CellText(int kind, const CFileRecord &row) override;
    SCellColours CellColours(const CFileRecord &row, int kind, bool selected) override;
    QIcon CellIcon(const CFileRecord &row, int kind) override;
    QString CellToolTip(const CFileRecord &row, int kind) override;
    void OnColumnLayoutDone() override;
    bool OnListKey(int key, Qt::KeyboardModifiers modifiers) override;

    // --- the window's operations ---
    virtual int ListContextMenu(const QList<CFileRecord *> &rows, int folderRows, int fileRows,
                                const QPoint &globalPos);
    // The list's context menu at globalPos; the chosen command is posted.
    void ShowListMenu(const QPoint &globalPos);
    // Where a context menu asked for from the keyboard opens: below the first selected row.
    QPoint KeyboardMenuPosition() const;
    virtual void FolderComboMenu(const QPoint &globalPos);
    virtual void ReapplyFilter();
    virtual void RebuildList();
    virtual void UpdateDetailPane() {}
    virtual bool CanOpen() const = 0;
    virtual void ReadFileSearchText();
    virtual void ShowFileSearchText();
    virtual void ClearFileSearchText();
    virtual void FillFolderCombo();
    virtual void NavigateToFolder(qint32 folderId, bool selectRemembered = true);
    virtual void SetFolderSearch(bool on, bool refresh);
    virtual void RefreshAfterSearchChange(bool immediate, QWidget *focus);
    virtual void RunSearch(QWidget *reenable);
    virtual void SortRows(int kind, bool descending);
    virtual void Sort(int kind, bool descending);
    virtual void KeepSendModeFilter(bool entering);
    virtual bool FetchFromSource() = 0;
    virtual bool Reload();
    virtual void LocatePage(bool remember, bool select);
    virtual bool CanClose();
    virtual void OpenCacheFolderOf(const CFileRecord *row);
    virtual void PastePath();

    // Posts the refresh request (one queued call; the flags wait in the window until it runs,
    // and a request while a progress runs waits for its end).
    void PostRefresh(bool rememberSelection = true, bool selectRemembered = true,
                     QWidget *focus = nullptr);
    // A refresh, or a command that waits for the end of one, is posted.
    bool isRefreshPosted() const { return m_refreshPosted || m_waitingCommands > 0; }
    // The refresh now: wait cursor, progress, LocatePage, Reload, selection; withCtrl also
    // reloads the folder tree and the file types.
    void RefreshNow(bool withCtrl);
    void OnCommand(int command) override;
    void UpdateCommandStates() override;
    void PrepareSystemMenu(QMenu &menu) override;
    // The main menu (21294) below its button; a chooser picks the item in tests.
    virtual void OpenMainMenu(const std::function<QAction *(QMenu &)> &chooser = {});
    // The product filter popup below its button.
    void OpenProductFilter(const std::function<QAction *(QMenu &)> &chooser = {});
    // The folder combo's context menu.
    void OpenFolderComboMenu(const std::function<QAction *(QMenu &)> &chooser = {});
    // Tests pick the items of the window's pop-up menus (main menu, product filter, folder
    // combo menu, the list's context menus) instead of the user; empty: the menus are shown.
    void SetMenuChooser(std::function<QAction *(QMenu &)> chooser)
    {
        m_menuChooser = std::move(chooser);
    }
    // Send mode on (the unsent files of every folder) or off (the saved state back).
    void EnterSendMode();
    void LeaveSendMode(bool reload = true);
    // Closes as button 1 does: CanClose, then result 2.
    void CloseWindow();
    // Resizes to 970 × 630 within the screen's work area, centred.
    void ResetWindowSize();

protected:
    // The layout areas the derived window fills.
    QHBoxLayout *topRow1() const { return m_topRow1; }
    QHBoxLayout *topRow2() const { return m_topRow2; }
    QVBoxLayout *topArea() const { return m_topArea; }
    QVBoxLayout *buttonColumn() const { return m_buttonColumn; }
    QVBoxLayout *belowList() const { return m_belowList; }
    QHBoxLayout *bottomRow() const { return m_bottomRow; }
    // An icon button of the window with its tooltip.
    CBizFlatButton *MakeIconButton(int id, int iconId, const QString &tip);
    QPushButton *MakeTextButton(int id, const QString &text, const QString &tip);
    void SetTip(QWidget *control, const QString &tip);

    // Profile values of the window's section.
    int ProfileInt(const QString &key, int defaultValue) const;
    QString ProfileString(const QString &key, const QString &defaultValue = {}) const;
    void WriteProfileInt(const QString &key, int value);
    void WriteProfileString(const QString &key, const QString &value);
    QString section() const;

    void LoadSettings(const QString &section) override;
    void SaveSettings(const QString &section) override;
    void OnInitDialog() override;
    void ApplyTheme() override;
    void keyPressEvent(QKeyEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;
    void reject() override;
    void OnBusyBegin() override;
    void OnBusyEnd() override;

    // The column context of the current state.
    virtual SColumnContext ColumnContext() const;
    // Whether the current folder is a DataBox folder.
    bool IsDataBoxFolder() const;
    // The folder record of the current folder (none for the root, favourites).
    CWorkspaceRecord *CurrentFolder() const;
    // Whether the root "<全てのフォルダ>" can be chosen in the combo.
    virtual bool IsRootSelectable() const { return true; }
    // Rebuilds the columns for the state; reset: every width from its weight.
    void RebuildColumns(bool resetWidths);
    // Whether an entry of the manager's list becomes a row.
    virtual bool PassesRowFilter(const CFileRecord &entry) const;
    // The Enter command of the focused control (0: none): the list's is 21300.
    virtual int EnterCommandFor(QWidget *focused) const;
    // Enter with the focus on a control: its command, or the close (Enter on the dialog).
    void HandleEnter(QWidget *focused);
    // After the title and the count label: the derived window's labels (pager).
    virtual void UpdateTitle();
    void RememberFocusedRow();
    bool SelectRememberedRow();
    void RememberRow(const CFileRecord &row);
    // The user changed the sort (header click): remembers and selects the focused row.
    void OnHeaderClicked(int kind);
    void OnRowDoubleClicked(int row, int kind, bool ctrl);
    void OnComboChosen();
    void OnBackspace();
    void ToggleDisplayOption(int command);
    void SetTheme(int command);
    void StoreWidths();
    // The system object's sign-in state.
    bool IsSignedIn() const;

    CSystem &m_system;
    const QList<SColumnDef> m_columnTable;
    const bool m_offline;

    // navigation state
    qint32 m_folderId = 0;
    bool m_searchMode = false;
    bool m_folderSearchActive = false;
    QString m_folderSearchText;
    QString m_fileSearchText;
    qint32 m_productFilter = 0;
    QString m_productLabel;
    QString m_productExt;
    bool m_sendMode = false;
    struct SSavedState
    {
        bool saved = false;
        QString folderSearchText;
        bool folderSearchActive = false;
        bool searchMode = false;
        QString fileSearchText;
        qint32 folderId = 0;
        qint32 productFilter = 0;
        QString productLabel;
        bool sortChanged = false;
        int searchSortKind = 0;
        bool searchStatusDown = false;
    } m_sendSaved;

    // list memory
    std::array<int, 3> m_sortKind{};
    std::array<QList<bool>, 3> m_sortDowns;
    QHash<QString, int> m_widths; // by WidthKey
    SDisplayOptions m_options;
    bool m_confirmOnExit = false;
    bool m_showButton = false;
    int m_listFontPlusPoint = 1;
    bool m_saveExitMode = false;
    int m_timesOpened = 0;

    struct SRememberedRow
    {
        bool set = false;
        qint32 folderId = 0;
        QString name;
        bool isFolder = false;
        int index = 0;
    } m_remembered;
    bool m_refreshRemember = true;
    bool m_refreshSelect = true;
    QPointer<QWidget> m_refreshFocus;
    bool m_refreshPosted = false;
    int m_waitingCommands = 0;
    bool m_inRefresh = false;
    bool m_inReload = false;
    bool m_inSearch = false;
    bool m_lastShownDataBox = false;
    bool m_rebuilding = false;

    // controls
    QLabel *m_title = nullptr;
    QLineEdit *m_fileSearch = nullptr;
    CBizFlatButton *m_fileSearchStart = nullptr;
    CBizFlatButton *m_fileSearchEnd = nullptr;
    CBizFlatButton *m_mainMenuButton = nullptr;
    CBizFlatButton *m_parentButton = nullptr;
    CBizTreeComboBox *m_combo = nullptr;
    QLineEdit *m_folderSearch = nullptr;
    CBizFlatButton *m_folderSearchButton = nullptr;
    CBizFlatButton *m_productButton = nullptr;
    CBizFlatButton *m_refreshButton = nullptr;
    CFileListCtrl *m_list = nullptr;
    QPushButton *m_openButton = nullptr;
    QPushButton *m_closeButton = nullptr;
    QPushButton *m_strip = nullptr;
    QHash<qint32, QStandardItem *> m_comboItems;
    QFont m_listFont;
    QFont m_comboFont;
    QFont m_titleFont;

private:
    void BuildLayout();
    void ReadProfile();
    void ReadWidths();
    void ApplyButtonColumn();
    void SetListFonts();
    void ProductFilterChosen(int command);
    void CopyComboPath();
    void AddAccelerators();

    QVBoxLayout *m_topArea = nullptr;
    QHBoxLayout *m_topRow1 = nullptr;
    QHBoxLayout *m_topRow2 = nullptr;
    QVBoxLayout *m_buttonColumn = nullptr;
    QVBoxLayout *m_belowList = nullptr;
    QHBoxLayout *m_bottomRow = nullptr;
    QWidget *m_buttonPanel = nullptr;
    bool m_altAlone = false;

protected:
    std::function<QAction *(QMenu &)> m_menuChooser;
};
