#pragma once

#include <Qt>

#include <functional>

// The modifier keys held now, as the Shift+Ctrl rules of the dialogs read them (left and
// right keys are not told apart). Tests replace the query.
Qt::KeyboardModifiers HeldModifiers();
bool ShiftAndCtrlHeld();
// Replaces the query (empty: the system's); answers the previous one.
std::function<Qt::KeyboardModifiers()>
SetHeldModifiersQuery(std::function<Qt::KeyboardModifiers()> query);
