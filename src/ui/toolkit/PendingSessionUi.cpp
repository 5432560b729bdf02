#include "PendingSessionUi.h"

#include "core/AppState.h"
#include "core/OsUtils.h"

#include <QCloseEvent>
#include <QEventLoop>
#include <QLabel>
#include <QLoggingCategory>
#include <QVBoxLayout>
#include <QWidget>

Q_LOGGING_CATEGORY(lcSessionUi, "velquor.ui.session")

namespace {

class CClosingWindow : public QWidget
{
public:
    explicit CClosingWindow(QEventLoop *loop)
        : m_loop(loop)
    {}

protected:
    void closeEvent(QCloseEvent *event) override
    {
        m_loop->quit();
        QWidget::closeEvent(event);
    }

private:
    QEventLoop *m_loop;
};

} // namespace

CPendingSessionUi::CPendingSessionUi() = default;
CPendingSessionUi::~CPendingSessionUi() = default;

int CPendingSessionUi::ShowUntilClosed(const char *what)
{
    QEventLoop loop;
    CClosingWindow window(&loop);
    window.setWindowTitle(AppState::AppName());
    auto *layout = new QVBoxLayout(&window);
    layout->addWidget(new QLabel(QStringLiteral("%1 %2\n\nメイン画面はまだ組み込まれていません。")
                                     .arg(AppState::AppName(), ProgramVersionText()),
                                 &window));
    window.resize(420, 160);
    m_window = &window;
    window.show();
    qCInfo(lcSessionUi) << what << "shown";
    loop.exec();
    m_window = nullptr;
    return LoginResult::Cancelled;
}

int CPendingSessionUi::RunLoginDialog(int mode)
{
    qCInfo(lcSessionUi) << "login window shown, mode" << mode;
    return ShowUntilClosed("pending window");
}

int CPendingSessionUi::RunOnlineMainWindow()
{
    return ShowUntilClosed("online main window");
}

int CPendingSessionUi::RunOfflineMainWindow()
{
    return ShowUntilClosed("offline main window");
}

void CPendingSessionUi::ActivateMainWindow()
{
    if (!m_window)
        return;
    m_window->showNormal();
    m_window->raise();
    m_window->activateWindow();
    qCInfo(lcSessionUi) << "window raised for a second start";
}
