#include "AppIcon.h"

#include <QFont>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace {

QPixmap Draw(int size)
{
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath tile;
    const qreal inset = size / 16.0;
    tile.addRoundedRect(QRectF(inset, inset, size - 2 * inset, size - 2 * inset), size / 5.0,
                        size / 5.0);
    painter.fillPath(tile, QColor(30, 96, 180));
    // A "V" of two strokes, with a folded corner in the tile's colour family.
    QPen pen(Qt::white, size / 8.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    painter.setPen(pen);
    const qreal top = size * 0.28;
    const qreal bottom = size * 0.74;
    painter.drawPolyline(QPolygonF{{size * 0.28, top}, {size * 0.5, bottom}, {size * 0.72, top}});
    painter.end();
    return pixmap;
}

} // namespace

QIcon ApplicationIcon()
{
    static const QIcon icon = [] {
        QIcon drawn;
        for (int size : {16, 24, 32, 48, 64})
            drawn.addPixmap(Draw(size));
        return drawn;
    }();
    return icon;
}
