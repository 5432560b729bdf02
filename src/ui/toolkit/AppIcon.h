#pragma once

#include <QIcon>

// The application's icon (windows, the icon static 20737 at 48 × 48): drawn, so that it is
// the same on every desktop without an icon file to install.
QIcon ApplicationIcon();
