#pragma once

#include "App.h"
#include "SessionUi.h"

// The application object of the program: the download switches and the interactive
// session loop (login dialog, then the online or offline main window).
class CMainApp : public CApp
{
public:
    CMainApp();
    ~CMainApp() override;

    static CMainApp *instance() { return static_cast<CMainApp *>(CBizApp::instance()); }

    // The windows of the session; not owned. Without one (no display) the interactive
    // start ends with ExitCode::NoDisplay.
    void SetSessionUi(ISessionUi *ui) { m_ui = ui; }

    void AddAllowedSwitches(CBizCommandLine &commandLine) override;
    bool HandleSwitches(const CBizCommandLine &commandLine) override;
    // The command-line download (defined with CExeCmdManager): handled, with the exit code.
    bool RunCommandLine(qint32 &exitCode) override;

    QString accfirmId() const { return m_accfirmId; }
    QString loginId() const { return m_loginId; }
    QString password() const { return m_password; } // unscrambled
    QString srcDir() const { return m_srcDir; }
    QString dstDir() const { return m_dstDir; }

    // Runs the login dialog until it leads to a main window or ends; answers the last
    // login result.
    int RunSessionLoop(ISessionUi &ui);

protected:
    bool InitInstance() override;
    void OnActivationRequested() override;
    // The main system (saved logins, managers): started once before the first login
    // dialog and terminated after the loop. StartMainSystem wraps DoStartMainSystem: an
    // archive exception (damaged saved logins) shows 18331 and the start goes on; any
    // other failure is shown and ends the start.
    virtual bool StartMainSystem();
    virtual bool DoStartMainSystem();
    virtual void TerminateMainSystem();

private:
    ISessionUi *m_ui = nullptr;
    QString m_accfirmId;
    QString m_loginId;
    QString m_password;
    QString m_srcDir;
    QString m_dstDir;
};
