#pragma once

#include "core/AppState.h"
#include "core/Messages.h"

#include <QDir>
#include <QFile>
#include <QLoggingCategory>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <vector>

// A temporary installation (the no-UI base is the current directory), a temporary HOME,
// captured messages and captured log output (every velquor category switched on).
class AccountFixture : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        m_oldCwd = QDir::currentPath();
        m_oldHome = qgetenv("HOME");
        m_oldConfig = qgetenv("XDG_CONFIG_HOME");
        QDir().mkpath(base());
        QDir().mkpath(home());
        qputenv("HOME", home().toUtf8());
        qputenv("XDG_CONFIG_HOME", (home() + QStringLiteral("/.config")).toUtf8());
        QDir::setCurrent(base());
        AppState::SetNoUiMode(true);
        m_oldSink = SetMessageSink([this](const QString &text, MsgIcon, MsgButtons) {
            messages.push_back(text);
            return int(IDOK);
        });
        s_log = &log;
        QLoggingCategory::setFilterRules(QStringLiteral("velquor.*=true"));
        m_oldHandler = qInstallMessageHandler(
            [](QtMsgType, const QMessageLogContext &, const QString &text) {
                if (s_log)
                    s_log->append(text);
            });
    }
    void TearDown() override
    {
        qInstallMessageHandler(m_oldHandler);
        QLoggingCategory::setFilterRules(QString());
        s_log = nullptr;
        SetMessageSink(m_oldSink);
        AppState::SetNoUiMode(false);
        QDir::setCurrent(m_oldCwd);
        qputenv("HOME", m_oldHome);
        if (m_oldConfig.isEmpty())
            qunsetenv("XDG_CONFIG_HOME");
        else
            qputenv("XDG_CONFIG_HOME", m_oldConfig);
    }

    QString base() const { return m_dir.path() + QStringLiteral("/install"); }
    QString home() const { return m_dir.path() + QStringLiteral("/home"); }
    QString dataFolder() const { return base() + QStringLiteral("/vqrdata"); }
    QString loginsFile() const { return dataFolder() + QStringLiteral("/logins.vqr"); }

    // Fails the test when a secret shows up in a message or a log line.
    void ExpectNoSecret(const QString &secret) const
    {
        ASSERT_FALSE(secret.isEmpty());
        for (const QString &m : messages)
            EXPECT_FALSE(m.contains(secret)) << "message reveals a secret: " << m.toStdString();
        for (const QString &l : log)
            EXPECT_FALSE(l.contains(secret)) << "log reveals a secret: " << l.toStdString();
    }

    std::vector<QString> messages;
    QStringList log;

private:
    static inline QStringList *s_log = nullptr;
    QTemporaryDir m_dir;
    QString m_oldCwd;
    QByteArray m_oldHome;
    QByteArray m_oldConfig;
    MessageSink m_oldSink;
    QtMessageHandler m_oldHandler = nullptr;
};

inline void WriteFileBytes(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly)) << path.toStdString();
    f.write(bytes);
}

inline QByteArray ReadFileBytes(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return f.readAll();
}
