#pragma once

#include "core/AppState.h"
#include "core/Messages.h"

#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <vector>

struct SShownMessage
{
    QString text;
    MsgIcon icon;
    MsgButtons buttons;
};

// A temporary installation: the no-UI base (current directory) and HOME point into a fresh
// folder, and every message is captured instead of shown.
class CoreFixture : public ::testing::Test
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
        m_oldSink = SetMessageSink([this](const QString &text, MsgIcon icon, MsgButtons buttons) {
            messages.push_back({text, icon, buttons});
            return answer;
        });
    }
    void TearDown() override
    {
        SetMessageSink(m_oldSink);
        AppState::SetNoUiMode(false);
        QDir::setCurrent(m_oldCwd);
        qputenv("HOME", m_oldHome);
        if (m_oldConfig.isEmpty())
            qunsetenv("XDG_CONFIG_HOME");
        else
            qputenv("XDG_CONFIG_HOME", m_oldConfig);
    }

    QString root() const { return m_dir.path(); }
    QString base() const { return m_dir.path() + QStringLiteral("/install"); }
    QString home() const { return m_dir.path() + QStringLiteral("/home"); }

    std::vector<SShownMessage> messages;
    int answer = IDOK;

private:
    QTemporaryDir m_dir;
    QString m_oldCwd;
    QByteArray m_oldHome;
    QByteArray m_oldConfig;
    MessageSink m_oldSink;
};

inline void WriteBytes(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly)) << path.toStdString();
    f.write(bytes);
}

inline QByteArray ReadBytes(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return f.readAll();
}

inline QByteArray Utf16LeWithBom(const QString &text)
{
    QByteArray b("\xff\xfe", 2);
    b.append(reinterpret_cast<const char *>(text.utf16()), text.size() * 2);
    return b;
}
