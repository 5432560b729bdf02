#pragma once

#include <QString>

// Process-wide state that the application object sets once at start and every layer reads.
namespace AppState {

// The name shown in every title and message box ("VELQUOR" plus suffixes).
QString AppName();
void SetAppName(const QString &name);

bool IsSupportMode();
void SetSupportMode(bool on);

// The no-UI run: the installation base is the current directory, nothing is shown.
bool IsNoUiMode();
void SetNoUiMode(bool on);

// Whether a display (QApplication) exists: message boxes can be shown.
bool HasDisplay();
void SetHasDisplay(bool on);

} // namespace AppState

inline bool IsSupportMode()
{
    return AppState::IsSupportMode();
}
