#pragma once

#include "app/MainApp.h"
#include "core/AppState.h"
#include "core/Messages.h"
#include "core/Paths.h"

#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <functional>
#include <vector>

// A temporary installation (executable folder, current directory and HOME in a fresh
// folder) with every message captured.
class AppFixture : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        m_oldCwd = QDir::currentPath();
        m_oldHome = qgetenv("HOME");
        m_oldConfig = qgetenv("XDG_CONFIG_HOME");
        QDir().mkpath(install());
        QDir().mkpath(cwd());
        QDir().mkpath(home());
        qputenv("HOME", home().toUtf8());
        qputenv("XDG_CONFIG_HOME", (home() + QStringLiteral("/.config")).toUtf8());
        QDir::setCurrent(cwd());
        SetExecutableFolderOverride(install());
        AppState::SetNoUiMode(false);
        AppState::SetSupportMode(false);
        m_oldSink = SetMessageSink([this](const QString &text, MsgIcon icon, MsgButtons) {
            messages.push_back(text);
            icons.push_back(icon);
            return IDOK;
        });
    }
    void TearDown() override
    {
        SetMessageSink(m_oldSink);
        SetExecutableFolderOverride({});
        AppState::SetNoUiMode(false);
        AppState::SetSupportMode(false);
        AppState::SetAppName(QStringLiteral("VELQUOR"));
        QDir::setCurrent(m_oldCwd);
        qputenv("HOME", m_oldHome);
        if (m_oldConfig.isEmpty())
            qunsetenv("XDG_CONFIG_HOME");
        else
            qputenv("XDG_CONFIG_HOME", m_oldConfig);
    }

    QString root() const { return m_dir.path(); }
    QString install() const { return m_dir.path() + QStringLiteral("/install"); }
    QString cwd() const { return m_dir.path() + QStringLiteral("/cwd"); }
    QString home() const { return m_dir.path() + QStringLiteral("/home"); }

    std::vector<QString> messages;
    std::vector<MsgIcon> icons;

private:
    QTemporaryDir m_dir;
    QString m_oldCwd;
    QByteArray m_oldHome;
    QByteArray m_oldConfig;
    MessageSink m_oldSink;
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
