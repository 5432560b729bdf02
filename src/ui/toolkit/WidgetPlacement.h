#pragma once

#include <QString>

class QWidget;

// Window placement of a top-level widget in the settings of the application object.
// Save writes the minimised/maximised state and the frame rectangle; Restore shows a
// maximised window maximised, leaves a minimised one alone, and otherwise moves (and, for
// a resizable window, resizes) it into the usable area of the screens under it.
void SaveWindowPlacement(QWidget *window, const QString &section);
void RestoreWindowPlacement(QWidget *window, const QString &section);
