#pragma once

#include <QRect>

#include <array>

// Window placement kept in the settings ("style" and "rect" of a window's section). The
// widget side (reading the window, the screens' work areas) belongs to the UI toolkit.
namespace WindowPlacement {

constexpr int StyleMinimized = 0x20000000;
constexpr int StyleMaximized = 0x01000000;

// The rectangle as stored: "left,top,right,bottom" (right and bottom exclusive).
QString RectText(const QRect &rect);
// Parses RectText; an empty or malformed text gives an empty rectangle.
QRect ParseRectText(const QString &text);

// The work areas (screen without panels) under the rectangle's four corners, each corner
// taking the screen it lies on or else the nearest one.
struct SCornerAreas
{
    QRect topLeft, topRight, bottomLeft, bottomRight;
};
// Moves saved into the usable area formed from the corners' work areas, keeping its size
// where it fits.
QRect FitIntoUsableArea(const QRect &saved, const SCornerAreas &areas);

} // namespace WindowPlacement
