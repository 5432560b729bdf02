#pragma once

#include <QColor>
#include <QHash>
#include <QIcon>
#include <QPixmap>
#include <QString>

// The small icons of the application by resource id. The commands' images are ours to choose:
// a themed icon where the desktop theme has a fitting one, else a drawn one.
namespace BizIcon {
enum : int {
    First = 21505,
    Open = 21505,
    Edit = 21506,
    Send = 21507,
    Release = 21508,
    Download = 21509,
    Add = 21510,
    Rename = 21511,
    Move = 21512,
    Copy = 21513,
    Delete = 21514,
    Refresh = 21515,
    Search = 21516,
    Comment = 21517,
    Properties = 21518,
    FolderCreate = 21519,
    FolderOpen = 21520,
    Folder = 21521,
    View = 21522,
    History = 21523,
    Transaction = 21524,
    BulkDownload = 21525,
    Notice = 21526,
    Help = 21527,
    Settings = 21528,
    Logout = 21529,
    FavoriteOn = 21530,
    FavoriteOff = 21531,
    Calendar = 21628,
    Menu = 21629,
    Close = 21630,
    Last = 21630,
};
} // namespace BizIcon

// The registry of the application's icons: resource ids (BizIcon::First to Last), file-type
// icons by extension (the desktop's MIME icons) and the ten folder colours. Icons are made on
// first use and kept; menus get 16 × 16 pixmaps, cached per id. User-interface thread only.
class CBizImageList
{
public:
    static constexpr int FolderColourCount = 10;
    static constexpr int SmallIconSize = 16;

    static CBizImageList &Instance();

    // The icon of a resource id; an id outside the range gives a null icon unless one was
    // registered with Add.
    QIcon Icon(int id);
    // Replaces or adds the icon of an id.
    void Add(int id, const QIcon &icon);
    // The 16 × 16 pixmap of an id for menu items; null for an unknown id.
    QPixmap MenuPixmap(int id);

    // The icon of a file type by its extension ("xlsx" or ".xlsx"); a generic document icon
    // when the desktop knows no icon for it.
    QIcon FileTypeIcon(const QString &extension);
    // The folder icon of a colour index 0-9 (a DataBox folder's stored 20-29 gives the same
    // colour); other values give colour 0.
    QIcon FolderIcon(int colourIndex);
    static QColor FolderColour(int colourIndex);

private:
    CBizImageList();
    QIcon MakeIcon(int id) const;

    QHash<int, QIcon> m_icons;
    QHash<int, QPixmap> m_menuPixmaps;
    QHash<QString, QIcon> m_fileTypeIcons;
    QHash<int, QIcon> m_folderIcons;
};
