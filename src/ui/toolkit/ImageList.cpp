#include "ImageList.h"

#include <QFont>
#include <QLoggingCategory>
#include <QMimeDatabase>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>
#include <functional>

#include <cmath>

Q_LOGGING_CATEGORY(lcImageList, "velquor.ui.images")

namespace {

struct SIconEntry
{
    int id;
    const char *themeName; // nullptr: always drawn
    char glyph;            // the letter on a drawn icon
};

// Themed where the desktop theme has a coloured icon of the meaning; the rest are drawn.
constexpr SIconEntry IconEntries[] = {
    {BizIcon::Open, nullptr, 'O'},         {BizIcon::Edit, nullptr, 'E'},
    {BizIcon::Send, nullptr, 'S'},         {BizIcon::Release, nullptr, 'R'},
    {BizIcon::Download, nullptr, 'D'},     {BizIcon::Add, nullptr, '+'},
    {BizIcon::Rename, nullptr, 'N'},       {BizIcon::Move, nullptr, 'M'},
    {BizIcon::Copy, nullptr, 'C'},         {BizIcon::Delete, "user-trash", 'X'},
    {BizIcon::Refresh, nullptr, 'F'},      {BizIcon::Search, nullptr, '?'},
    {BizIcon::Comment, nullptr, 'T'},      {BizIcon::Properties, nullptr, 'P'},
    {BizIcon::FolderCreate, nullptr, '+'}, {BizIcon::FolderOpen, "folder-open", 'O'},
    {BizIcon::Folder, "folder", 'F'},      {BizIcon::View, "text-x-preview", 'V'},
    {BizIcon::History, nullptr, 'H'},      {BizIcon::Transaction, nullptr, '$'},
    {BizIcon::BulkDownload, nullptr, 'B'}, {BizIcon::Notice, nullptr, '!'},
    {BizIcon::Help, nullptr, '?'},         {BizIcon::Settings, nullptr, 'G'},
    {BizIcon::Logout, nullptr, 'L'},       {BizIcon::Menu, nullptr, '='},
    {BizIcon::Close, nullptr, 'x'},
};

const SIconEntry *entryOf(int id)
{
    for (const SIconEntry &entry : IconEntries) {
        if (entry.id == id)
            return &entry;
    }
    return nullptr;
}

// The desktop's icon theme; without one Qt finds no icon by name.
void EnsureIconTheme()
{
    const QString theme = QIcon::themeName();
    if (!theme.isEmpty() && theme != QLatin1String("hicolor"))
        return;
    QStringList paths = QIcon::themeSearchPaths();
    const QString system = QStringLiteral("/usr/share/icons");
    if (!paths.contains(system)) {
        paths.append(system);
        QIcon::setThemeSearchPaths(paths);
    }
    QIcon::setThemeName(QStringLiteral("Adwaita"));
    qCDebug(lcImageList) << "icon theme" << QIcon::themeName();
}

// A colour of its own per id: the golden angle keeps neighbouring ids apart.
QColor ColourOf(int id)
{
    const int hue = ((id - BizIcon::First) * 137) % 360;
    return QColor::fromHsv(hue, 170, 190);
}

QPolygonF StarPolygon(const QRectF &box)
{
    QPolygonF star;
    const QPointF centre = box.center();
    const double outer = box.width() / 2.0;
    const double inner = outer * 0.45;
    for (int i = 0; i < 10; ++i) {
        const double angle = -M_PI / 2 + i * M_PI / 5;
        const double r = (i % 2) ? inner : outer;
        star << centre + QPointF(r * std::cos(angle), r * std::sin(angle));
    }
    return star;
}

QPixmap DrawStar(int size, bool filled)
{
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(200, 140, 0), 1));
    p.setBrush(filled ? QBrush(QColor(255, 200, 30)) : QBrush(Qt::NoBrush));
    p.drawPolygon(StarPolygon(QRectF(0.5, 0.5, size - 1, size - 1)));
    return pixmap;
}

QPixmap DrawCalendar(int size)
{
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    const QRectF page(0.5, 1.5, size - 1, size - 2);
    p.setPen(QColor(90, 90, 90));
    p.setBrush(Qt::white);
    p.drawRect(page);
    p.fillRect(QRectF(1, 2, size - 2, size / 4.0), QColor(210, 50, 50));
    p.setPen(QColor(120, 120, 120));
    const double top = 2 + size / 4.0;
    const double cell = (size - 2) / 4.0;
    for (int i = 1; i < 4; ++i) {
        p.drawLine(QPointF(1 + i * cell, top), QPointF(1 + i * cell, size - 1));
        p.drawLine(QPointF(1, top + i * (size - 1 - top) / 3),
                   QPointF(size - 1, top + i * (size - 1 - top) / 3));
    }
    return pixmap;
}

QPixmap DrawGlyph(int size, const QColor &colour, char glyph)
{
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(colour.darker(140));
    p.setBrush(colour);
    p.drawRoundedRect(QRectF(0.5, 0.5, size - 1, size - 1), size / 5.0, size / 5.0);
    QFont font;
    font.setPixelSize(qMax(6, size * 3 / 4));
    font.setBold(true);
    p.setFont(font);
    p.setPen(Qt::white);
    p.drawText(QRect(0, 0, size, size), Qt::AlignCenter, QString(QLatin1Char(glyph)));
    return pixmap;
}

QPixmap DrawFolder(int size, const QColor &colour)
{
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(colour.darker(150));
    p.setBrush(colour.darker(115));
    const double s = size;
    QPainterPath tab;
    tab.addRoundedRect(QRectF(0.5, s * 0.15, s * 0.45, s * 0.3), 1, 1);
    p.drawPath(tab);
    p.setBrush(colour);
    p.drawRoundedRect(QRectF(0.5, s * 0.28, s - 1, s * 0.62), 1.5, 1.5);
    return pixmap;
}

QIcon IconOfPixmaps(const std::function<QPixmap(int)> &draw)
{
    QIcon icon;
    for (int size : {12, 16, 24, 32, 48})
        icon.addPixmap(draw(size));
    return icon;
}

} // namespace

CBizImageList &CBizImageList::Instance()
{
    static CBizImageList list;
    return list;
}

CBizImageList::CBizImageList()
{
    EnsureIconTheme();
}

QIcon CBizImageList::MakeIcon(int id) const
{
    if (id == BizIcon::FavoriteOn || id == BizIcon::FavoriteOff) {
        const bool filled = id == BizIcon::FavoriteOn;
        return IconOfPixmaps([filled](int size) { return DrawStar(size, filled); });
    }
    if (id == BizIcon::Calendar)
        return IconOfPixmaps(DrawCalendar);
    const SIconEntry *entry = entryOf(id);
    if (entry && entry->themeName) {
        const QIcon themed = QIcon::fromTheme(QLatin1String(entry->themeName));
        if (!themed.isNull())
            return themed;
    }
    const QColor colour = ColourOf(id);
    const char glyph = entry ? entry->glyph : char('0' + id % 10);
    return IconOfPixmaps([colour, glyph](int size) { return DrawGlyph(size, colour, glyph); });
}

QIcon CBizImageList::Icon(int id)
{
    const auto found = m_icons.constFind(id);
    if (found != m_icons.constEnd())
        return *found;
    if (id < BizIcon::First || id > BizIcon::Last)
        return {};
    const QIcon icon = MakeIcon(id);
    m_icons.insert(id, icon);
    return icon;
}

void CBizImageList::Add(int id, const QIcon &icon)
{
    m_icons.insert(id, icon);
    m_menuPixmaps.remove(id);
}

QPixmap CBizImageList::MenuPixmap(int id)
{
    const auto found = m_menuPixmaps.constFind(id);
    if (found != m_menuPixmaps.constEnd())
        return *found;
    const QIcon icon = Icon(id);
    if (icon.isNull())
        return {};
    const QPixmap pixmap = icon.pixmap(SmallIconSize, SmallIconSize);
    m_menuPixmaps.insert(id, pixmap);
    return pixmap;
}

QIcon CBizImageList::FileTypeIcon(const QString &extension)
{
    QString ext = extension.toLower();
    if (ext.startsWith(QLatin1Char('.')))
        ext.remove(0, 1);
    const auto found = m_fileTypeIcons.constFind(ext);
    if (found != m_fileTypeIcons.constEnd())
        return *found;
    static const QMimeDatabase mimes;
    const QMimeType mime
        = mimes.mimeTypeForFile(QStringLiteral("x.") + ext, QMimeDatabase::MatchExtension);
    QIcon icon = QIcon::fromTheme(mime.iconName(), QIcon::fromTheme(mime.genericIconName()));
    if (icon.isNull())
        icon = QIcon::fromTheme(QStringLiteral("text-x-generic"));
    if (icon.isNull()) {
        icon = IconOfPixmaps([](int size) { return DrawGlyph(size, QColor(150, 150, 150), 'D'); });
    }
    m_fileTypeIcons.insert(ext, icon);
    return icon;
}

QColor CBizImageList::FolderColour(int colourIndex)
{
    // Yellow (the usual folder), then the choices of the colour list.
    static const QColor colours[FolderColourCount] = {
        QColor(240, 200, 80),  QColor(220, 70, 60),  QColor(240, 140, 50),  QColor(90, 180, 80),
        QColor(70, 140, 220),  QColor(150, 90, 200), QColor(235, 120, 170), QColor(150, 105, 70),
        QColor(150, 150, 150), QColor(70, 70, 70),
    };
    int index = colourIndex >= 20 ? colourIndex - 20 : colourIndex;
    if (index < 0 || index >= FolderColourCount)
        index = 0;
    return colours[index];
}

QIcon CBizImageList::FolderIcon(int colourIndex)
{
    const QColor colour = FolderColour(colourIndex);
    const int key = colour.rgb();
    const auto found = m_folderIcons.constFind(key);
    if (found != m_folderIcons.constEnd())
        return *found;
    const QIcon icon = IconOfPixmaps([colour](int size) { return DrawFolder(size, colour); });
    m_folderIcons.insert(key, icon);
    return icon;
}
