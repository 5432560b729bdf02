#pragma once

#include "support/Files.h"
#include "support/TempInstallation.h"

#include "app/MainApp.h"
#include "core/AppState.h"
#include "core/Paths.h"

#include <functional>
#include <vector>

// A temporary installation of the interactive layout (the executable's folder, the working
// directory elsewhere, HOME) with every message captured.
class AppFixture : public InstallationTest<TempInstallation::Base::ExecutableFolder>
{
protected:
    QString root() const { return installation.root(); }
    QString install() const { return installation.installation(); }
    QString cwd() const { return installation.workingDirectory(); }
    QString home() const { return installation.home(); }

    std::vector<SShownMessage> &shown = installation.shown;
};

// Plays a fixed list of login results and records what the loop asked for.
class CScriptedSessionUi : public ISessionUi
{
public:
    explicit CScriptedSessionUi(std::vector<int> results)
        : m_results(std::move(results))
    {}
    int RunLoginDialog(int mode) override
    {
        modes.push_back(mode);
        if (m_next >= m_results.size())
            return LoginResult::Closed;
        return m_results[m_next++];
    }
    int RunOnlineMainWindow() override
    {
        ++online;
        return 2;
    }
    int RunOfflineMainWindow() override
    {
        ++offline;
        return 2;
    }
    void ActivateMainWindow() override { ++activations; }

    std::vector<int> modes;
    int online = 0;
    int offline = 0;
    int activations = 0;

private:
    std::vector<int> m_results;
    size_t m_next = 0;
};

// The application object with the console and the OS check under test control.
class CTestApp : public CMainApp
{
public:
    bool osOk = true;
    bool systemStarts = true;
    int systemStarted = 0;
    int systemTerminated = 0;
    QString console;
    bool (*commandLine)(qint32 &) = nullptr;
    std::function<bool()> startBody; // the main system's start

    using CMainApp::MapProfileSection;

    bool RunCommandLine(qint32 &code) override
    {
        return commandLine ? commandLine(code) : CMainApp::RunCommandLine(code);
    }

protected:
    bool CheckOs() override { return osOk; }
    void WriteExitCodeToConsole(qint32 code) override { console += QString::number(code); }
    bool StartMainSystem() override
    {
        ++systemStarted;
        return systemStarts && CMainApp::StartMainSystem();
    }
    bool DoStartMainSystem() override { return startBody ? startBody() : true; }
    void TerminateMainSystem() override { ++systemTerminated; }
};
