#include "MainApp.h"

#include "core/ExceptHandler.h"
#include "core/ExitCodes.h"
#include "core/Messages.h"
#include "store/Scramble.h"

#include <QLoggingCategory>

Q_DECLARE_LOGGING_CATEGORY(lcApp)

CMainApp::CMainApp() = default;
CMainApp::~CMainApp() = default;

void CMainApp::AddAllowedSwitches(CBizCommandLine &commandLine)
{
    CApp::AddAllowedSwitches(commandLine);
    for (const char *name : {"accfirm_id", "login_id", "pwd", "src_dir", "dst_dir", "pp"})
        commandLine.Allow(QString::fromLatin1(name));
}

bool CMainApp::HandleSwitches(const CBizCommandLine &commandLine)
{
    QString *fields[] = {&m_accfirmId, &m_loginId, &m_password, &m_srcDir, &m_dstDir};
    const char *names[] = {"accfirm_id", "login_id", "pwd", "src_dir", "dst_dir"};
    for (int i = 0; i < 5; ++i) {
        const QString name = QString::fromLatin1(names[i]);
        if (!commandLine.IsAccepted(name))
            return false;
        *fields[i] = commandLine.Value(name);
    }
    if (!commandLine.IsAccepted(QStringLiteral("pp")))
        m_password = ScrambleText(m_password, CommandLineScrambleKey);
    return true;
}

bool CMainApp::StartMainSystem()
{
    CBizExceptHandler handler;
    try {
        return DoStartMainSystem();
    } catch (const CBizArchiveException &) {
        ShowErrorMessage(18331);
        return true;
    } catch (const CBizException &e) {
        handler.Set(e);
    }
    handler.ShowError();
    return false;
}

bool CMainApp::DoStartMainSystem()
{
    return mainSystem().Start();
}

void CMainApp::TerminateMainSystem()
{
    mainSystem().Terminate();
}

void CMainApp::OnActivationRequested()
{
    if (m_ui)
        m_ui->ActivateMainWindow();
}

int CMainApp::RunSessionLoop(ISessionUi &ui)
{
    int mode = 0;
    for (;;) {
        const int result = ui.RunLoginDialog(mode);
        switch (result) {
        case LoginResult::ModeTyped:
            mode = 1;
            continue;
        case LoginResult::ModeChosen:
            mode = 2;
            continue;
        case LoginResult::ModeOmitted:
            mode = 0;
            continue;
        case LoginResult::SignedIn:
            ui.RunOnlineMainWindow();
            return result;
        case LoginResult::OfflineWork:
            ui.RunOfflineMainWindow();
            return result;
        default:
            // Closed, cancelled, or anything the dialog should never answer: the end.
            return result;
        }
    }
}

bool CMainApp::InitInstance()
{
    if (!CApp::InitInstance())
        return false;
    if (!m_ui)
        return FailStart(QStringLiteral("画面を表示できないため起動できません。\r\n"
                                        "（DISPLAY が設定されていません）"),
                         ExitCode::NoDisplay);
    if (!StartMainSystem())
        return FailStart({}, ExitCode::SystemStartFailed);
    if (qEnvironmentVariable("VELQUOR_BENCH_EXIT_BEFORE_LOGIN") == u"1") {
        // Measuring the start-up: stop where the login dialog would appear.
        TerminateMainSystem();
        return false;
    }
    RunSessionLoop(*m_ui);
    TerminateMainSystem();
    return false;
}
