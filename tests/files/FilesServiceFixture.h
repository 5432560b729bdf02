#pragma once

// A devserver with the demo office, an installation whose server.vqr points at it, and an
// access key of yamada.

#include "support/DevServer.h"

#include "account/AccountRequests.h"
#include "core/Paths.h"

#include <QDir>
#include <QTemporaryDir>

#include <gtest/gtest.h>

class FilesServiceFixture : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        m_server = DevServer::Start();
        ASSERT_TRUE(m_server);
        SetExecutableFolderOverride(m_dir.path());
        ASSERT_TRUE(QDir().mkpath(DataPath()));
        ASSERT_TRUE(WriteServerVqr(DataPath(), *m_server));
        CRegisterRequest registration(QStringLiteral("demo"), QStringLiteral("yamada"));
        ASSERT_TRUE(registration.ExecutePost());
        CLoginRequest login(registration.clientKey(), QStringLiteral("yamada-pass"), nullptr);
        ASSERT_TRUE(login.ExecutePost());
        m_key = login.accessKey();
        m_clientKey = registration.clientKey();
    }
    void TearDown() override { SetExecutableFolderOverride({}); }

    qint32 folder(const QString &path) const { return m_server->folderId(path); }
    QByteArray hook(const QString &path, const QList<QPair<QString, QString>> &params) const
    {
        return m_server->hook(path, params);
    }

    QTemporaryDir m_dir;
    std::unique_ptr<DevServer> m_server;
    QString m_key;
    QString m_clientKey;
};
