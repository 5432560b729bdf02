#include "TempInstallation.h"

#include "core/AppState.h"
#include "core/Paths.h"

#include <QDir>
#include <QLoggingCategory>

#include <gtest/gtest.h>

namespace {
TempInstallation *g_logOwner = nullptr;
} // namespace

TempInstallation::TempInstallation(Base base)
    : m_base(base)
{
    if (!m_dir.isValid()) {
        ADD_FAILURE() << "cannot create a temporary folder";
        return;
    }
    m_oldCwd = QDir::currentPath();
    m_oldNoUi = AppState::IsNoUiMode();
    m_oldSupport = AppState::IsSupportMode();
    m_oldAppName = AppState::AppName();
    m_valid = QDir().mkpath(installation()) && QDir().mkpath(home())
              && QDir().mkpath(workingDirectory());
    SetEnv("HOME", home().toUtf8());
    SetEnv("XDG_CONFIG_HOME", (home() + QStringLiteral("/.config")).toUtf8());
    SetEnv("XDG_DATA_HOME", (home() + QStringLiteral("/.local/share")).toUtf8());
    SetEnv("XDG_CACHE_HOME", (home() + QStringLiteral("/.cache")).toUtf8());
    QDir::setCurrent(workingDirectory());
    AppState::SetNoUiMode(base == Base::WorkingDirectory);
    AppState::SetSupportMode(false);
    SetExecutableFolderOverride(base == Base::ExecutableFolder ? installation() : QString());
    m_oldSink = SetMessageSink([this](const QString &text, MsgIcon icon, MsgButtons buttons) {
        messages.append(text);
        shown.push_back({text, icon, buttons});
        if (!answers.empty()) {
            const int next = answers.front();
            answers.pop_front();
            return next;
        }
        return answer;
    });
}

TempInstallation::~TempInstallation()
{
    if (m_capturingLog) {
        qInstallMessageHandler(m_oldHandler);
        QLoggingCategory::setFilterRules(QString());
        g_logOwner = nullptr;
    }
    if (m_oldCwd.isEmpty())
        return; // nothing was changed
    SetMessageSink(m_oldSink);
    SetExecutableFolderOverride({});
    AppState::SetNoUiMode(m_oldNoUi);
    AppState::SetSupportMode(m_oldSupport);
    AppState::SetAppName(m_oldAppName);
    QDir::setCurrent(m_oldCwd);
    // Later changes first, so a variable set twice gets its first value back.
    for (auto it = m_oldEnv.crbegin(); it != m_oldEnv.crend(); ++it) {
        if (it->second)
            qputenv(it->first.constData(), *it->second);
        else
            qunsetenv(it->first.constData());
    }
}

QString TempInstallation::workingDirectory() const
{
    return m_base == Base::WorkingDirectory ? installation() : path(QStringLiteral("cwd"));
}

void TempInstallation::SetEnv(const char *name, const QByteArray &value)
{
    m_oldEnv.append({QByteArray(name), qEnvironmentVariableIsSet(name)
                                           ? std::optional<QByteArray>(qgetenv(name))
                                           : std::nullopt});
    qputenv(name, value);
}

void TempInstallation::UnsetEnv(const char *name)
{
    SetEnv(name, {});
    qunsetenv(name);
}

void TempInstallation::CaptureLog()
{
    if (m_capturingLog)
        return;
    m_capturingLog = true;
    g_logOwner = this;
    QLoggingCategory::setFilterRules(QStringLiteral("velquor.*=true"));
    m_oldHandler
        = qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &text) {
              if (g_logOwner)
                  g_logOwner->log.append(text);
          });
}

void TempInstallation::ExpectNoSecret(const QString &secret) const
{
    ASSERT_FALSE(secret.isEmpty());
    for (const QString &m : messages)
        EXPECT_FALSE(m.contains(secret)) << "message reveals a secret: " << m.toStdString();
    for (const QString &l : log)
        EXPECT_FALSE(l.contains(secret)) << "log reveals a secret: " << l.toStdString();
}
