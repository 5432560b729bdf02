#include "ImageList.h"

#include <QFont>
#include <QLoggingCategory>
#include <QMimeDatabase>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>
#include <QTransform>
#include <functional>

#include <cmath>
#include <initializer_list>
#include <utility>

Q_LOGGING_CATEGORY(lcImageList, "velquor.ui.images")

namespace {

// The pictograms are designed on a 16-unit grid and scaled to each pixmap. Axis-aligned strokes
// have their edges snapped to whole pixels, so the 16 and 24 px sizes stay sharp rather than
// smeared over two pixel rows.
class CPictogram
{
public:
    // Dark grey ink reads next to the desktop theme's folders and on the light window face;
    // colour marks only what carries meaning (arrows, the plus, the bell).
    static inline const QColor Ink{61, 68, 76};
    static inline const QColor Paper{255, 255, 255};
    static inline const QColor Tint{216, 228, 240};
    static inline const QColor Blue{28, 113, 216};
    static inline const QColor Green{38, 162, 105};
    static inline const QColor Amber{246, 194, 40};
    static inline const QColor Red{200, 55, 45};

    explicit CPictogram(QPixmap &pixmap)
        : m_painter(&pixmap)
        , m_size(pixmap.width())
        , m_unit(pixmap.width() / 16.0)
        , m_width(qMax(1.0, std::round(pixmap.width() / 14.0)))
    {
        m_painter.setRenderHint(QPainter::Antialiasing);
    }

    QPainter &Painter() { return m_painter; }
    int Size() const { return m_size; }

    // A stroke of `factor` times the base width, whole pixels wide.
    double Width(double factor = 1.0) const { return qMax(1.0, std::round(m_width * factor)); }

    // The pixel position of a grid value for a stroke of the given width: its edges on pixel
    // boundaries.
    double Snap(double v, double width) const
    {
        return std::round(v * m_unit - width / 2.0) + width / 2.0;
    }
    QPointF At(double x, double y) const { return {x * m_unit, y * m_unit}; }

    void Line(double x1, double y1, double x2, double y2, const QColor &colour = Ink,
              double factor = 1.0)
    {
        const double w = Width(factor);
        const bool straight = x1 == x2 || y1 == y2;
        m_painter.setPen(
            QPen(colour, w, Qt::SolidLine, straight ? Qt::SquareCap : Qt::RoundCap, Qt::RoundJoin));
        if (straight) {
            m_painter.drawLine(QPointF(Snap(x1, w), Snap(y1, w)),
                               QPointF(Snap(x2, w), Snap(y2, w)));
        } else {
            m_painter.drawLine(At(x1, y1), At(x2, y2));
        }
    }

    // An open line through grid points; straight runs snapped.
    void Polyline(std::initializer_list<QPointF> points, const QColor &colour = Ink,
                  double factor = 1.0)
    {
        const double w = Width(factor);
        m_painter.setPen(QPen(colour, w, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
        m_painter.setBrush(Qt::NoBrush);
        QPolygonF polygon;
        for (const QPointF &point : points)
            polygon << QPointF(Snap(point.x(), w), Snap(point.y(), w));
        m_painter.drawPolyline(polygon);
    }

    // A rectangle whose outline lies on whole pixels.
    void Rect(double x, double y, double w, double h, const QBrush &fill, double radius = 0,
              const QColor &colour = Ink)
    {
        const double pen = Width();
        const QRectF box(QPointF(Snap(x, pen), Snap(y, pen)),
                         QPointF(Snap(x + w, pen), Snap(y + h, pen)));
        m_painter.setPen(QPen(colour, pen, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
        m_painter.setBrush(fill);
        if (radius > 0) {
            m_painter.drawRoundedRect(box, radius * m_unit, radius * m_unit);
        } else {
            m_painter.drawRect(box);
        }
    }

    // A filled rectangle, edges rounded to whole pixels.
    void Fill(double x, double y, double w, double h, const QColor &colour)
    {
        const QRectF box(QPointF(std::round(x * m_unit), std::round(y * m_unit)),
                         QPointF(std::round((x + w) * m_unit), std::round((y + h) * m_unit)));
        m_painter.fillRect(box, colour);
    }

    // A path in grid units, outlined and filled.
    void Path(const QPainterPath &path, const QBrush &fill, const QColor &colour = Ink,
              double factor = 1.0)
    {
        m_painter.setPen(colour.isValid() ? QPen(colour, Width(factor), Qt::SolidLine, Qt::RoundCap,
                                                 Qt::RoundJoin)
                                          : QPen(Qt::NoPen));
        m_painter.setBrush(fill);
        m_painter.drawPath(QTransform::fromScale(m_unit, m_unit).map(path));
    }

    void Polygon(std::initializer_list<QPointF> points, const QBrush &fill,
                 const QColor &colour = QColor())
    {
        QPainterPath path;
        path.addPolygon(QPolygonF(QList<QPointF>(points)));
        path.closeSubpath();
        Path(path, fill, colour);
    }

    void Circle(double cx, double cy, double r, const QBrush &fill, const QColor &colour = Ink,
                double factor = 1.0)
    {
        QPainterPath path;
        path.addEllipse(QPointF(cx, cy), r, r);
        Path(path, fill, colour, factor);
    }

private:
    QPainter m_painter;
    int m_size;
    double m_unit;
    double m_width;
};

using Pictogram = void (*)(CPictogram &);

// A sheet of paper with its top right corner folded.
void Sheet(CPictogram &c, double x, double y, double w, double h, double fold)
{
    QPainterPath page;
    page.moveTo(x, y);
    page.lineTo(x + w - fold, y);
    page.lineTo(x + w, y + fold);
    page.lineTo(x + w, y + h);
    page.lineTo(x, y + h);
    page.closeSubpath();
    c.Path(page, CPictogram::Paper);
    QPainterPath corner;
    corner.moveTo(x + w - fold, y);
    corner.lineTo(x + w - fold, y + fold);
    corner.lineTo(x + w, y + fold);
    c.Path(corner, Qt::NoBrush);
}

// The tray that arrows go into or come out of.
void Tray(CPictogram &c)
{
    c.Polyline({{1.5, 10}, {1.5, 14}, {14.5, 14}, {14.5, 10}});
}

void FolderShape(QPainter &p, int size, const QColor &colour)
{
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(colour.darker(150));
    p.setBrush(colour.darker(115));
    const double s = size;
    QPainterPath tab;
    tab.addRoundedRect(QRectF(0.5, s * 0.15, s * 0.45, s * 0.3), 1, 1);
    p.drawPath(tab);
    p.setBrush(colour);
    p.drawRoundedRect(QRectF(0.5, s * 0.28, s - 1, s * 0.62), 1.5, 1.5);
}

// The desktop theme's folder where it has one, so the folder commands match the folder list.
void ThemedFolder(CPictogram &c)
{
    const QIcon themed = QIcon::fromTheme(QStringLiteral("folder"));
    if (themed.isNull()) {
        FolderShape(c.Painter(), c.Size(), CBizImageList::FolderColour(0));
    } else {
        themed.paint(&c.Painter(), QRect(0, 0, c.Size(), c.Size()));
    }
}

void DrawOpen(CPictogram &c)
{
    // A box with an arrow leaving it: the file goes out to its application.
    c.Polyline({{7, 3}, {2, 3}, {2, 14}, {13, 14}, {13, 9}});
    c.Line(7, 9, 13.5, 2.5, CPictogram::Blue, 1.5);
    c.Polyline({{9.5, 2.5}, {13.5, 2.5}, {13.5, 6.5}}, CPictogram::Blue, 1.5);
}

void DrawEdit(CPictogram &c)
{
    // A pencil from the lower left to the upper right.
    QPainterPath body;
    body.moveTo(0, 0);
    body.lineTo(3.5, -2.2);
    body.lineTo(13, -2.2);
    body.lineTo(13, 2.2);
    body.lineTo(3.5, 2.2);
    body.closeSubpath();
    QPainterPath eraser;
    eraser.addRect(QRectF(13, -2.2, 2.5, 4.4));
    QPainterPath tip;
    tip.moveTo(0, 0);
    tip.lineTo(1.4, -0.9);
    tip.lineTo(1.4, 0.9);
    tip.closeSubpath();
    QTransform placed;
    placed.translate(2, 14);
    placed.rotate(-45);
    c.Path(placed.map(body), CPictogram::Amber);
    c.Path(placed.map(eraser), CPictogram::Ink);
    c.Path(placed.map(tip), CPictogram::Ink);
}

void DrawSend(CPictogram &c)
{
    Tray(c);
    c.Polygon({{3, 6.5}, {8, 1.5}, {13, 6.5}, {9.5, 6.5}, {9.5, 11.5}, {6.5, 11.5}, {6.5, 6.5}},
              CPictogram::Blue);
}

void DrawRelease(CPictogram &c)
{
    // An open padlock: the edit lock let go.
    QPainterPath shackle;
    shackle.moveTo(4.5, 7.5);
    shackle.lineTo(4.5, 4.5);
    shackle.arcTo(QRectF(4.5, 1.5, 6, 6), 180, -180);
    shackle.lineTo(10.5, 5);
    c.Path(shackle, Qt::NoBrush, CPictogram::Ink, 1.5);
    c.Rect(2.5, 7.5, 11, 7, CPictogram::Amber, 1);
    c.Circle(8, 10.5, 1.2, CPictogram::Ink, QColor());
    c.Fill(7.5, 10.5, 1, 2.5, CPictogram::Ink);
}

void DrawDownload(CPictogram &c)
{
    Tray(c);
    c.Polygon({{3, 6.5}, {8, 11.5}, {13, 6.5}, {9.5, 6.5}, {9.5, 1.5}, {6.5, 1.5}, {6.5, 6.5}},
              CPictogram::Blue);
}

void PlusSign(CPictogram &c, double cx, double cy, double half, double thickness,
              const QColor &colour)
{
    c.Fill(cx - half, cy - thickness / 2, 2 * half, thickness, colour);
    c.Fill(cx - thickness / 2, cy - half, thickness, 2 * half, colour);
}

void DrawAdd(CPictogram &c)
{
    PlusSign(c, 8, 8, 6, 2, CPictogram::Green);
}

void DrawRename(CPictogram &c)
{
    // A text field with its caret.
    c.Rect(1, 4, 14, 8, CPictogram::Paper, 1);
    c.Fill(3, 7, 5, 2, CPictogram::Ink);
    c.Line(10.5, 2, 10.5, 14, CPictogram::Blue);
    c.Line(9, 2, 12, 2, CPictogram::Blue);
    c.Line(9, 14, 12, 14, CPictogram::Blue);
}

void DrawMove(CPictogram &c)
{
    Sheet(c, 1.5, 1.5, 8.5, 11, 3);
    c.Polygon({{5, 9}, {10, 9}, {10, 6}, {15, 10.5}, {10, 15}, {10, 12}, {5, 12}},
              CPictogram::Blue);
}

void DrawCopy(CPictogram &c)
{
    c.Rect(1.5, 1.5, 8, 10, CPictogram::Paper, 1);
    c.Rect(6.5, 4.5, 8, 10, CPictogram::Paper, 1);
    c.Line(8.5, 7.5, 12.5, 7.5, CPictogram::Ink);
    c.Line(8.5, 10.5, 12.5, 10.5, CPictogram::Ink);
}

void DrawDelete(CPictogram &c)
{
    // A bin, for a theme without one.
    c.Line(2, 3.5, 14, 3.5);
    c.Polyline({{6, 3.5}, {6, 1.5}, {10, 1.5}, {10, 3.5}});
    c.Polygon({{3.5, 5}, {12.5, 5}, {11.5, 14.5}, {4.5, 14.5}}, CPictogram::Paper, CPictogram::Ink);
    c.Line(6.5, 7, 6.5, 12.5, CPictogram::Red);
    c.Line(9.5, 7, 9.5, 12.5, CPictogram::Red);
}

void DrawRefresh(CPictogram &c)
{
    // A clockwise arc with its head at the gap.
    const double r = 5.5;
    const double start = 70;
    const double sweep = -280;
    QPainterPath arc;
    arc.arcMoveTo(QRectF(8 - r, 8 - r, 2 * r, 2 * r), start);
    arc.arcTo(QRectF(8 - r, 8 - r, 2 * r, 2 * r), start, sweep);
    c.Path(arc, Qt::NoBrush, CPictogram::Ink, 1.5);
    const double end = (start + sweep) * M_PI / 180;
    const QPointF tip(8 + r * std::cos(end), 8 - r * std::sin(end));
    // Along the clockwise turn and across it.
    const QPointF along(std::sin(end), std::cos(end));
    const QPointF across(along.y(), -along.x());
    c.Polygon(
        {tip + along * 3.5, tip - along * 0.5 + across * 3.5, tip - along * 0.5 - across * 3.5},
        CPictogram::Ink);
}

void DrawSearch(CPictogram &c)
{
    c.Circle(6.5, 6.5, 4.5, CPictogram::Tint, CPictogram::Ink, 1.5);
    c.Line(10, 10, 14, 14, CPictogram::Ink, 2.5);
}

void DrawComment(CPictogram &c)
{
    QPainterPath bubble;
    bubble.addRoundedRect(QRectF(1.5, 2.5, 13, 9), 2.5, 2.5);
    QPainterPath tail;
    tail.moveTo(4, 10);
    tail.lineTo(4, 14.5);
    tail.lineTo(8.5, 10);
    tail.closeSubpath();
    c.Path(bubble.united(tail), CPictogram::Paper);
    c.Line(4.5, 5.5, 11.5, 5.5);
    c.Line(4.5, 8.5, 9.5, 8.5);
}

void DrawFilter(CPictogram &c)
{
    // The product filter: a funnel.
    c.Polygon({{1.5, 2.5}, {14.5, 2.5}, {9.5, 8.5}, {9.5, 14}, {6.5, 12.5}, {6.5, 8.5}},
              CPictogram::Tint, CPictogram::Ink);
}

void DrawFolderCreate(CPictogram &c)
{
    ThemedFolder(c);
    c.Circle(11.5, 11.5, 4.2, CPictogram::Green, CPictogram::Paper);
    PlusSign(c, 11.5, 11.5, 2.5, 1.2, CPictogram::Paper);
}

void DrawFolder(CPictogram &c)
{
    FolderShape(c.Painter(), c.Size(), CBizImageList::FolderColour(0));
}

void DrawFolderOpen(CPictogram &c)
{
    DrawFolder(c);
    const QColor colour = CBizImageList::FolderColour(0).lighter(115);
    c.Polygon({{3.5, 7}, {15.5, 7}, {13, 14.5}, {0.5, 14.5}}, colour, colour.darker(150));
}

void DrawView(CPictogram &c)
{
    QPainterPath eye;
    eye.moveTo(1, 8);
    eye.quadTo(8, 0.5, 15, 8);
    eye.quadTo(8, 15.5, 1, 8);
    c.Path(eye, CPictogram::Paper);
    c.Circle(8, 8, 3, CPictogram::Ink, QColor());
    c.Circle(9, 7, 0.9, CPictogram::Paper, QColor());
}

void DrawHistory(CPictogram &c)
{
    c.Circle(8, 8, 6.5, CPictogram::Paper);
    c.Line(8, 8, 8, 4);
    c.Line(8, 8, 11, 8);
}

void DrawTransaction(CPictogram &c)
{
    // A coin with the yen sign.
    c.Circle(8, 8, 7, CPictogram::Amber, CPictogram::Amber.darker(160));
    const QColor ink = CPictogram::Amber.darker(260);
    c.Line(5, 3.5, 8, 7.5, ink);
    c.Line(11, 3.5, 8, 7.5, ink);
    c.Line(8, 7.5, 8, 12.5, ink);
    c.Line(5.5, 8.5, 10.5, 8.5, ink);
    c.Line(5.5, 10.5, 10.5, 10.5, ink);
}

void DrawBulkDownload(CPictogram &c)
{
    Tray(c);
    c.Polyline({{4, 1.5}, {8, 5.5}, {12, 1.5}}, CPictogram::Blue, 2);
    c.Polyline({{4, 6}, {8, 10}, {12, 6}}, CPictogram::Blue, 2);
}

void DrawNotice(CPictogram &c)
{
    c.Circle(8, 13, 1.8, CPictogram::Ink, QColor());
    QPainterPath bell;
    bell.moveTo(2, 12);
    bell.cubicTo(3.5, 11, 3.5, 10, 3.5, 7.5);
    bell.cubicTo(3.5, 4.5, 5.5, 2.5, 8, 2.5);
    bell.cubicTo(10.5, 2.5, 12.5, 4.5, 12.5, 7.5);
    bell.cubicTo(12.5, 10, 12.5, 11, 14, 12);
    bell.closeSubpath();
    c.Path(bell, CPictogram::Amber);
    c.Line(8, 1, 8, 2.5);
}

void DrawHelp(CPictogram &c)
{
    c.Circle(8, 8, 7.5, CPictogram::Blue, QColor());
    QFont font;
    font.setPixelSize(qMax(6, c.Size() * 3 / 4));
    font.setBold(true);
    c.Painter().setFont(font);
    c.Painter().setPen(CPictogram::Paper);
    c.Painter().drawText(QRect(0, 0, c.Size(), c.Size()), Qt::AlignCenter, QStringLiteral("?"));
}

void DrawSettings(CPictogram &c)
{
    // A gear of eight teeth around a hole.
    QPainterPath gear;
    QPolygonF rim;
    const double outer = 7.5;
    const double inner = 5.5;
    for (int tooth = 0; tooth < 8; ++tooth) {
        const double a = tooth * M_PI / 4;
        for (const auto &[offset, radius] : {std::pair{-0.36, inner}, std::pair{-0.2, outer},
                                             std::pair{0.2, outer}, std::pair{0.36, inner}}) {
            rim << QPointF(8 + radius * std::cos(a + offset), 8 + radius * std::sin(a + offset));
        }
    }
    gear.addPolygon(rim);
    gear.closeSubpath();
    gear.addEllipse(QPointF(8, 8), 2.5, 2.5);
    gear.setFillRule(Qt::OddEvenFill);
    c.Path(gear, CPictogram::Ink, QColor());
}

void DrawLogout(CPictogram &c)
{
    // Leaving through the door.
    c.Polyline({{9, 2}, {2, 2}, {2, 14}, {9, 14}});
    c.Line(6, 8, 14, 8, CPictogram::Blue, 1.5);
    c.Polyline({{11, 5}, {14, 8}, {11, 11}}, CPictogram::Blue, 1.5);
}

void DrawMenu(CPictogram &c)
{
    for (double y : {3.0, 7.0, 11.0})
        c.Fill(2, y, 12, 2, CPictogram::Ink);
}

void DrawClose(CPictogram &c)
{
    c.Line(3.5, 3.5, 12.5, 12.5, CPictogram::Ink, 1.5);
    c.Line(12.5, 3.5, 3.5, 12.5, CPictogram::Ink, 1.5);
}

void DrawDocument(CPictogram &c)
{
    Sheet(c, 2.5, 1.5, 11, 13, 4);
}

struct SIconEntry
{
    int id;
    const char *themeName; // nullptr: always drawn
    Pictogram draw;        // the icon without the theme's
};

// Themed where the desktop theme has a coloured icon of the meaning; the rest are drawn.
constexpr SIconEntry IconEntries[] = {
    {BizIcon::Open, nullptr, DrawOpen},
    {BizIcon::Edit, nullptr, DrawEdit},
    {BizIcon::Send, nullptr, DrawSend},
    {BizIcon::Release, nullptr, DrawRelease},
    {BizIcon::Download, nullptr, DrawDownload},
    {BizIcon::Add, nullptr, DrawAdd},
    {BizIcon::Rename, nullptr, DrawRename},
    {BizIcon::Move, nullptr, DrawMove},
    {BizIcon::Copy, nullptr, DrawCopy},
    {BizIcon::Delete, "user-trash", DrawDelete},
    {BizIcon::Refresh, nullptr, DrawRefresh},
    {BizIcon::Search, nullptr, DrawSearch},
    {BizIcon::Comment, nullptr, DrawComment},
    {BizIcon::Properties, nullptr, DrawFilter},
    {BizIcon::FolderCreate, nullptr, DrawFolderCreate},
    {BizIcon::FolderOpen, "folder-open", DrawFolderOpen},
    {BizIcon::Folder, "folder", DrawFolder},
    {BizIcon::View, nullptr, DrawView},
    {BizIcon::History, nullptr, DrawHistory},
    {BizIcon::Transaction, nullptr, DrawTransaction},
    {BizIcon::BulkDownload, nullptr, DrawBulkDownload},
    {BizIcon::Notice, nullptr, DrawNotice},
    {BizIcon::Help, nullptr, DrawHelp},
    {BizIcon::Settings, nullptr, DrawSettings},
    {BizIcon::Logout, nullptr, DrawLogout},
    {BizIcon::Menu, nullptr, DrawMenu},
    {BizIcon::Close, nullptr, DrawClose},
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
    FolderShape(p, size, colour);
    return pixmap;
}

QPixmap DrawPictogram(int size, Pictogram draw)
{
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    CPictogram canvas(pixmap);
    draw(canvas);
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
    if (entry) {
        const Pictogram draw = entry->draw;
        return IconOfPixmaps([draw](int size) { return DrawPictogram(size, draw); });
    }
    // An id without a meaning of its own yet: still one to tell apart.
    const QColor colour = ColourOf(id);
    const char glyph = char('0' + id % 10);
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
        icon = IconOfPixmaps([](int size) { return DrawPictogram(size, DrawDocument); });
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
