#pragma once

#include "app/SessionUi.h"

#include <QPointer>

class QWidget;

// The session's windows until the main windows exist: one window that says so and ends the
// session when it is closed (result: cancelled, 2). It can be raised by a second start.
class CPendingSessionUi : public ISessionUi
{
public:
    CPendingSessionUi();
    ~CPendingSessionUi() override;

    int RunLoginDialog(int mode) override;
    int RunOnlineMainWindow() override;
    int RunOfflineMainWindow() override;
    void ActivateMainWindow() override;

private:
    int ShowUntilClosed(const char *what);

    QPointer<QWidget> m_window;
};
