#include "AppState.h"

#include <atomic>

namespace {
QString g_appName = QStringLiteral("VELQUOR");
std::atomic_bool g_supportMode = false;
std::atomic_bool g_noUiMode = false;
std::atomic_bool g_hasDisplay = false;
} // namespace

namespace AppState {

QString AppName()
{
    return g_appName;
}
void SetAppName(const QString &name)
{
    g_appName = name;
}
bool IsSupportMode()
{
    return g_supportMode;
}
void SetSupportMode(bool on)
{
    g_supportMode = on;
}
bool IsNoUiMode()
{
    return g_noUiMode;
}
void SetNoUiMode(bool on)
{
    g_noUiMode = on;
}
bool HasDisplay()
{
    return g_hasDisplay;
}
void SetHasDisplay(bool on)
{
    g_hasDisplay = on;
}

} // namespace AppState
