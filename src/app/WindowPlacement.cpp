#include "WindowPlacement.h"

#include <QStringList>

#include <algorithm>

namespace WindowPlacement {

QString RectText(const QRect &rect)
{
    return QStringLiteral("%1,%2,%3,%4")
        .arg(rect.left())
        .arg(rect.top())
        .arg(rect.left() + rect.width())
        .arg(rect.top() + rect.height());
}

QRect ParseRectText(const QString &text)
{
    const QStringList parts = text.split(u',');
    if (parts.size() != 4)
        return {};
    int v[4];
    for (int i = 0; i < 4; ++i) {
        bool ok = false;
        v[i] = parts[i].trimmed().toInt(&ok);
        if (!ok)
            return {};
    }
    if (v[2] <= v[0] || v[3] <= v[1])
        return {};
    return QRect(QPoint(v[0], v[1]), QSize(v[2] - v[0], v[3] - v[1]));
}

QRect FitIntoUsableArea(const QRect &saved, const SCornerAreas &a)
{
    // Edges as exclusive right/bottom, the way they are stored.
    auto right = [](const QRect &r) { return r.left() + r.width(); };
    auto bottom = [](const QRect &r) { return r.top() + r.height(); };
    const int areaLeft = std::max(a.topLeft.left(), a.bottomLeft.left());
    const int areaTop = std::max(a.topLeft.top(), a.topRight.top());
    const int areaRight = std::min(right(a.topRight), right(a.bottomRight));
    const int areaBottom = std::min(bottom(a.bottomLeft), bottom(a.bottomRight));
    const int width = saved.width();
    const int height = saved.height();
    const int left = std::max(areaLeft, std::min(saved.left(), areaRight - width));
    const int r = std::min(areaRight, std::max(right(saved), left + width));
    const int top = std::max(areaTop, std::min(saved.top(), areaBottom - height));
    const int b = std::min(areaBottom, std::max(bottom(saved), top + height));
    return QRect(QPoint(left, top), QSize(r - left, b - top));
}

} // namespace WindowPlacement
