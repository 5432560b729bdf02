#pragma once

#include <QList>
#include <QString>

// The columns of the main windows' file list: their kinds (stored in the profile, so the
// numbers are fixed), the windows' column tables, which of them are shown, the profile keys
// of their widths and the proportional fit of the widths to the list's width. No widgets.

namespace ColumnKind {
enum : int {
    FolderName = 0,
    FileName = 1,
    AppName = 2,
    Status = 3,
    TransacDate = 4,
    TransacClient = 5,
    TransacAmount = 6,
    UpdateTime = 7,
    UpdateName = 8,
    FileComment = 9,
    FileSize = 10,
    PathLen = 11,
    Unused = 12, // never sortable
    Favorite = 14,
};
// The kinds whose direction flags the profile keeps ("%d,…" of eight flags: kinds 0 to 7).
constexpr int StoredDirections = 8;
constexpr int Count = 15;
} // namespace ColumnKind

// One column of a window's table: what it shows, its title, its width in average characters
// of the dialog font, and whether it is right-aligned and keeps its width in the fit.
struct SColumnDef
{
    int kind = ColumnKind::FileName;
    int titleId = 0;
    int weight = 10;
    bool rightAligned = false;
    bool fixedWidth = false;
    bool operator==(const SColumnDef &) const = default;
};

// The tables in display order: the online window's 13 columns, the offline window's 5.
const QList<SColumnDef> &OnlineColumnTable();
const QList<SColumnDef> &OfflineColumnTable();

// The three views whose sort and widths are kept apart.
enum class EListView { Folder = 0, Search = 1, Favorites = 2 };

// The column options of the window (profile keys of the same names).
struct SDisplayOptions
{
    bool showAppName = false;
    bool showUpdateTime = true;
    bool showUpdateName = false;
    bool showFileComment = true;
    bool showFileSize = false;
    bool showPathLen = false;
    bool showTransacInfo = true;
};

// What decides which columns are shown.
struct SColumnContext
{
    EListView view = EListView::Folder;
    bool dataBoxFolder = false; // the current folder is a DataBox folder
    bool officeUser = false;
    bool supportMode = false;
    bool sendMode = false;
    SDisplayOptions options;
};

// The visibility rules, first matching rule decides: FolderName only in the search view;
// AppName by option; Status always; the transaction kinds only in a DataBox folder, then by
// showTransacInfo or else only in the search view; UpdateTime by option; UpdateName by
// option and never for a user who is not an office user; FileComment, FileSize by option;
// PathLen in support mode by option; Favorite neither in the favorites view nor in send
// mode; everything else always.
bool IsColumnShown(int kind, const SColumnContext &context);
// The shown definitions of table in order, FileName titled 18177 "ファイル名" in the search
// view and 18186 "名前" otherwise.
QList<SColumnDef> VisibleColumns(const QList<SColumnDef> &table, const SColumnContext &context);
// The sort kind to use when the view's stored kind has no visible column: FileName in the
// folder (and favorites) view, FolderName in the search view; otherwise sortKind itself.
int SortKindFallback(int sortKind, const QList<SColumnDef> &visible, EListView view);

// Kinds a header click may sort by (not Favorite, not 12).
bool IsSortableKind(int kind);
// The sort index of the service's sorted pages for a kind; -1 for PathLen, Favorite and
// the unused kinds. FileName 0, UpdateName 1, UpdateTime 2, FolderName 3, AppName 4,
// Status 5, FileComment 6, FileSize 7, TransacDate 8, TransacClient 9, TransacAmount 10.
int ServerSortKey(int kind);

// Profile suffixes of the views: "" / "Sm" / "Fav" online, "Off" / "OffSm" offline.
QString ViewSuffix(EListView view, bool offline);
// The width key of a kind in a view: "cx" + stem + suffix ("cxFileNameSm"); empty where the
// profile keeps none (Favorite; the transaction kinds in the favorites view; offline, any
// kind but FolderName, FileName, Status, AppName, FileSize and PathLen).
QString WidthKey(int kind, EListView view, bool offline);
// The sort keys of a view: "sortColumn" + "" / "Sm" / "Fav", "sortDowns" + the same.
QString SortColumnKey(EListView view);
QString SortDownsKey(EListView view);
// "%d,%d,%d,%d,%d,%d,%d,%d" of the first eight flags, and back (a missing or malformed
// text sets all flags to false).
QString DirectionsText(const QList<bool> &flags);
QList<bool> ParseDirections(const QString &text);

// The proportional fit: widths holds the current pixel width of each column of columns.
// Fixed columns keep theirs (F their sum); each other column j gets weight_j / S × (W − F)
// truncated, at least 32 when F + 32·n < W (n the number of other columns); the pixels left
// over go to the first non-fixed column. Answers the new widths in column order.
QList<int> ProportionalWidths(const QList<SColumnDef> &columns, const QList<int> &widths,
                              int clientWidth);
