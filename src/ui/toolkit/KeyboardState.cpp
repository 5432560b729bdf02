#include "KeyboardState.h"

#include <QGuiApplication>

namespace {

std::function<Qt::KeyboardModifiers()> &Query()
{
    static std::function<Qt::KeyboardModifiers()> query;
    return query;
}

} // namespace

Qt::KeyboardModifiers HeldModifiers()
{
    return Query() ? Query()() : QGuiApplication::queryKeyboardModifiers();
}

bool ShiftAndCtrlHeld()
{
    const Qt::KeyboardModifiers held = HeldModifiers();
    return held.testFlag(Qt::ShiftModifier) && held.testFlag(Qt::ControlModifier);
}

std::function<Qt::KeyboardModifiers()>
SetHeldModifiersQuery(std::function<Qt::KeyboardModifiers()> query)
{
    return std::exchange(Query(), std::move(query));
}
