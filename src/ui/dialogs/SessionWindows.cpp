#include "SessionWindows.h"

#include "LoginDialog.h"

#include "ui/toolkit/ModalRun.h"

#include <QLoggingCategory>

Q_LOGGING_CATEGORY(lcSessionWindows, "velquor.ui.session")

CSessionWindows::CSessionWindows(CSystemObjects &systems)
    : m_systems(systems)
{}

CSessionWindows::~CSessionWindows() = default;

int CSessionWindows::RunLoginDialog(int mode)
{
    CLoginDialog dialog(m_systems, mode);
    m_login = &dialog;
    qCInfo(lcSessionWindows) << "login window shown, mode" << mode;
    const int result = RunModal(dialog);
    m_login = nullptr;
    qCInfo(lcSessionWindows) << "login window closed with" << result;
    return result;
}

int CSessionWindows::RunOnlineMainWindow()
{
    return m_pending.RunOnlineMainWindow();
}

int CSessionWindows::RunOfflineMainWindow()
{
    return m_pending.RunOfflineMainWindow();
}

void CSessionWindows::ActivateMainWindow()
{
    if (!m_login) {
        m_pending.ActivateMainWindow();
        return;
    }
    m_login->showNormal();
    m_login->raise();
    m_login->activateWindow();
    qCInfo(lcSessionWindows) << "window raised for a second start";
}
