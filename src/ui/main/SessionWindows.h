#pragma once

#include "app/SessionUi.h"
#include "ui/toolkit/PendingSessionUi.h"

#include <QPointer>

class CFileListDialog;
class CLoginDialog;
class CSystemObjects;

// The session's windows: the login dialog, the online main window, and until the offline
// window exists the pending window in its place.
class CSessionWindows : public ISessionUi
{
public:
    explicit CSessionWindows(CSystemObjects &systems);
    ~CSessionWindows() override;

    // Runs the login dialog modally; answers its result.
    int RunLoginDialog(int mode) override;
    int RunOnlineMainWindow() override;
    int RunOfflineMainWindow() override;
    // Raises the login dialog while it is open, else the main window.
    void ActivateMainWindow() override;

private:
    CSystemObjects &m_systems;
    CPendingSessionUi m_pending;
    QPointer<CLoginDialog> m_login;
    QPointer<CFileListDialog> m_main;
};
