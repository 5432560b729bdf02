#pragma once

// A devserver with the demo office, an installation of the interactive layout whose
// server.vqr points at it, and an access key of yamada.

#include "support/DevServer.h"
#include "support/Files.h"
#include "support/TempInstallation.h"

#include "account/AccountRequests.h"

#include <QDir>

class FilesServiceFixture : public InstallationTest<TempInstallation::Base::ExecutableFolder>
{
protected:
    void SetUp() override
    {
        InstallationTest::SetUp();
        m_server = DevServer::StartFor(installation);
        ASSERT_TRUE(m_server);
        CRegisterRequest registration(QStringLiteral("demo"), QStringLiteral("yamada"));
        ASSERT_TRUE(registration.ExecutePost());
        CLoginRequest login(registration.clientKey(), QStringLiteral("yamada-pass"), nullptr);
        ASSERT_TRUE(login.ExecutePost());
        m_key = login.accessKey();
        m_clientKey = registration.clientKey();
    }

    qint32 folder(const QString &path) const { return m_server->folderId(path); }
    QByteArray hook(const QString &path, const QList<QPair<QString, QString>> &params) const
    {
        return m_server->hook(path, params);
    }
    // A folder for the test's own files.
    QString dir() const { return installation.root(); }

    std::unique_ptr<DevServer> m_server;
    QString m_key;
    QString m_clientKey;
};
