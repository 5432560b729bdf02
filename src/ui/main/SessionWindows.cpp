#include "SessionWindows.h"

#include "SharedFileListDialog.h"

#include "ui/dialogs/LoginDialog.h"

#include "ui/toolkit/ModalRun.h"

#include "app/System.h"

#include <QEvent>
#include <QLoggingCategory>
#include <QMetaObject>

Q_LOGGING_CATEGORY(lcSessionWindows, "velquor.ui.session")

namespace {

// Measuring the start-up (VELQUOR_BENCH_EXIT_AT_FIRST_PAINT=1): the login window's first
// paint closes it as Cancel would (2), so the session ends and the process exits. The close
// is queued, so the paint and its flush to the screen complete first.
class CExitAtFirstPaint : public QObject
{
public:
    explicit CExitAtFirstPaint(QDialog &dialog)
        : QObject(&dialog)
        , m_dialog(dialog)
    {}

    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (!m_painted && watched == &m_dialog && event->type() == QEvent::Paint) {
            m_painted = true;
            QMetaObject::invokeMethod(
                &m_dialog, [dialog = &m_dialog] { dialog->done(2); }, Qt::QueuedConnection);
        }
        return false;
    }

private:
    QDialog &m_dialog;
    bool m_painted = false;
};

} // namespace

CSessionWindows::CSessionWindows(CSystemObjects &systems)
    : m_systems(systems)
{}

CSessionWindows::~CSessionWindows() = default;

int CSessionWindows::RunLoginDialog(int mode)
{
    CLoginDialog dialog(m_systems, mode);
    m_login = &dialog;
    if (qEnvironmentVariable("VELQUOR_BENCH_EXIT_AT_FIRST_PAINT") == u"1")
        dialog.installEventFilter(new CExitAtFirstPaint(dialog));
    qCInfo(lcSessionWindows) << "login window shown, mode" << mode;
    const int result = RunModal(dialog);
    m_login = nullptr;
    qCInfo(lcSessionWindows) << "login window closed with" << result;
    return result;
}

int CSessionWindows::RunOnlineMainWindow()
{
    CSharedFileListDialog window(*m_systems.sharedGui());
    m_main = &window;
    qCInfo(lcSessionWindows) << "online main window shown";
    const int result = RunModal(window);
    m_main = nullptr;
    qCInfo(lcSessionWindows) << "online main window closed with" << result;
    return result;
}

int CSessionWindows::RunOfflineMainWindow()
{
    return m_pending.RunOfflineMainWindow();
}

void CSessionWindows::ActivateMainWindow()
{
    QDialog *window
        = m_login ? static_cast<QDialog *>(m_login.data()) : static_cast<QDialog *>(m_main.data());
    if (!window) {
        m_pending.ActivateMainWindow();
        return;
    }
    window->showNormal();
    window->raise();
    window->activateWindow();
    qCInfo(lcSessionWindows) << "window raised for a second start";
}
