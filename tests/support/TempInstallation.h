#pragma once

// A temporary installation for one test: the installation folder (the base of the data
// folder), a HOME with its XDG folders, the working directory, the message sink and, when
// asked, the log handler. The destructor restores every one of them.
//
//     TempInstallation install;                  // the no-UI run's layout
//     ASSERT_TRUE(install.isValid());
//     ... DataPath() is install.dataFolder() ...
//     EXPECT_EQ(install.messages, QStringList{...});

#include "core/Messages.h"

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QPair>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <deque>
#include <optional>
#include <vector>

struct SShownMessage
{
    QString text;
    MsgIcon icon;
    MsgButtons buttons;
};

class TempInstallation
{
public:
    enum class Base {
        // The no-UI run: the working directory is the installation folder.
        WorkingDirectory,
        // The interactive program: the executable's folder (overridden) is the installation
        // folder; the working directory is another folder, so that mixing them up shows.
        ExecutableFolder,
    };

    explicit TempInstallation(Base base = Base::WorkingDirectory);
    ~TempInstallation();
    TempInstallation(const TempInstallation &) = delete;
    TempInstallation &operator=(const TempInstallation &) = delete;

    bool isValid() const { return m_valid; }
    // The temporary folder that holds everything below.
    QString root() const { return m_dir.path(); }
    QString path(const QString &relative) const { return root() + u'/' + relative; }
    QString installation() const { return path(QStringLiteral("install")); }
    QString dataFolder() const { return installation() + QStringLiteral("/vqrdata"); }
    QString home() const { return path(QStringLiteral("home")); }
    QString workingDirectory() const;

    // Sets an environment variable until the end of the test.
    void SetEnv(const char *name, const QByteArray &value);
    void UnsetEnv(const char *name);
    // Captures the log of every velquor category (all levels) into `log` until the end.
    void CaptureLog();
    // Fails the test when the secret shows up in a message or a captured log line.
    void ExpectNoSecret(const QString &secret) const;

    // Every message shown, in order; each is answered with the next of `answers`, and once
    // they are used up with `answer`.
    QStringList messages;
    std::vector<SShownMessage> shown;
    std::deque<int> answers;
    int answer = IDOK;
    QStringList log;

private:
    QTemporaryDir m_dir;
    bool m_valid = false;
    Base m_base;
    QString m_oldCwd;
    QList<QPair<QByteArray, std::optional<QByteArray>>> m_oldEnv;
    bool m_oldNoUi = false;
    bool m_oldSupport = false;
    QString m_oldAppName;
    MessageSink m_oldSink;
    bool m_capturingLog = false;
    QtMessageHandler m_oldHandler = nullptr;
};

#include <gtest/gtest.h>

// A test fixture around a TempInstallation, which exists from the fixture's construction to
// its destruction (after TearDown), so members of derived fixtures go first.
template<TempInstallation::Base kBase = TempInstallation::Base::WorkingDirectory>
class InstallationTest : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(installation.isValid()); }

    TempInstallation installation{kBase};
    QStringList &messages = installation.messages;
};
