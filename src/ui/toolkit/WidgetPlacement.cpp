#include "WidgetPlacement.h"

#include "app/BizApp.h"
#include "app/WindowPlacement.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

namespace {

QRect workAreaAt(const QPoint &point)
{
    if (QScreen *screen = QGuiApplication::screenAt(point))
        return screen->availableGeometry();
    // Off every screen: the nearest one.
    QRect best;
    qint64 bestDistance = -1;
    for (QScreen *screen : QGuiApplication::screens()) {
        const QRect g = screen->availableGeometry();
        const int dx
            = point.x() < g.left() ? g.left() - point.x() : std::max(0, point.x() - g.right());
        const int dy
            = point.y() < g.top() ? g.top() - point.y() : std::max(0, point.y() - g.bottom());
        const qint64 d = qint64(dx) * dx + qint64(dy) * dy;
        if (bestDistance < 0 || d < bestDistance) {
            bestDistance = d;
            best = g;
        }
    }
    return best;
}

} // namespace

void SaveWindowPlacement(QWidget *window, const QString &section)
{
    CBizApp *app = CBizApp::instance();
    if (!app || !window)
        return;
    int style = 0;
    if (window->isMinimized())
        style |= WindowPlacement::StyleMinimized;
    if (window->isMaximized())
        style |= WindowPlacement::StyleMaximized;
    const QRect rect = window->isMaximized() || window->isMinimized() ? window->normalGeometry()
                                                                      : window->geometry();
    app->SaveWindowPlacement(section, style, rect);
}

void RestoreWindowPlacement(QWidget *window, const QString &section)
{
    CBizApp *app = CBizApp::instance();
    if (!app || !window)
        return;
    int style = 0;
    QRect saved;
    app->ReadWindowPlacement(section, style, saved);
    if (style & WindowPlacement::StyleMinimized)
        return;
    if (style & WindowPlacement::StyleMaximized) {
        window->showMaximized();
        return;
    }
    if (saved.isEmpty())
        return;
    const WindowPlacement::SCornerAreas areas{
        workAreaAt(saved.topLeft()), workAreaAt(QPoint(saved.right(), saved.top())),
        workAreaAt(QPoint(saved.left(), saved.bottom())), workAreaAt(saved.bottomRight())};
    if (areas.topLeft.isEmpty())
        return;
    const QRect fitted = WindowPlacement::FitIntoUsableArea(saved, areas);
    const bool resizable = window->minimumSize() != window->maximumSize();
    if (resizable)
        window->setGeometry(fitted);
    else
        window->move(fitted.topLeft());
}
