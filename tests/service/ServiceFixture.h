#pragma once

// The service tests' installation with a devserver per test, and a few request classes the
// tests drive the framework with.

#include "support/DevServer.h"
#include "support/Files.h"
#include "support/TempInstallation.h"

#include "core/Paths.h"
#include "service/Request.h"

#include <QDir>
#include <QFile>

#include <memory>

class CTestRegisterRequest : public CApiRequest
{
public:
    explicit CTestRegisterRequest(const QString &loginId)
        : CApiRequest(QStringLiteral("register"))
        , m_loginId(loginId)
    {}
    QString clientKey;

protected:
    void PrepareParams(CBizWinHttpClient &client) override
    {
        CApiRequest::PrepareParams(client);
        client.SetParameter(QStringLiteral("customerCode"), QStringLiteral("demo"));
        client.SetParameter(QStringLiteral("loginId"), m_loginId);
    }
    int ParseResponse(CBizWinHttpClient &client, int) override
    {
        CBizXmlDocument doc;
        return ReadResponseElement(client, QStringLiteral("registerResponse"), doc)
            .ChildText(QStringLiteral("clientKey"), &clientKey);
    }
    QString m_loginId;
};

class CTestLoginRequest : public CApiRequest
{
public:
    CTestLoginRequest(const QString &clientKey, const QString &password)
        : CApiRequest(QStringLiteral("login"))
        , m_clientKey(clientKey)
        , m_password(password)
    {}
    QString accessKey;
    QString dispName;

protected:
    void PrepareParams(CBizWinHttpClient &client) override
    {
        client.SetParameter(QStringLiteral("clientKey"), m_clientKey);
        client.SetParameter(QStringLiteral("password"), m_password);
        client.SetParameter(QStringLiteral("pcName"), QStringLiteral("test-pc"));
    }
    int ParseResponse(CBizWinHttpClient &client, int) override
    {
        CBizXmlDocument doc;
        CBizXmlElement r = ReadResponseElement(client, QStringLiteral("loginResponse"), doc);
        return r.ChildText(QStringLiteral("accessKey"), &accessKey)
               && r.ChildText(QStringLiteral("dispName"), &dispName);
    }
    QString m_clientKey;
    QString m_password;
};

// GET workspace/count: query parameters and two required answer elements.
class CTestCountRequest : public CAccessKeyRequest
{
public:
    CTestCountRequest(const QString &key, qint32 workspaceId, bool recursive,
                      CBizProgressHandler *progress = nullptr)
        : CAccessKeyRequest(QStringLiteral("workspace/count"), key, progress)
        , m_workspaceId(workspaceId)
        , m_recursive(recursive)
    {}
    qint32 count = -1;

protected:
    void PrepareParams(CBizWinHttpClient &client) override
    {
        CAccessKeyRequest::PrepareParams(client);
        if (m_workspaceId != 0)
            client.SetParameter(QStringLiteral("workspaceId"), QString::number(m_workspaceId));
        client.SetParameter(QStringLiteral("recursive"), BoolParam(m_recursive));
    }
    int ParseResponse(CBizWinHttpClient &client, int) override
    {
        CBizXmlDocument doc;
        CBizXmlElement r = ReadResponseElement(client, QStringLiteral("countResponse"), doc);
        qint32 id = 0;
        return r.ChildInt(QStringLiteral("count"), &count)
               && r.ChildInt(QStringLiteral("workspaceId"), &id);
    }
    qint32 m_workspaceId;
    bool m_recursive;
};

// POST workspace/create (form body with Japanese text).
class CTestCreateFolderRequest : public CAccessKeyRequest
{
public:
    CTestCreateFolderRequest(const QString &key, qint32 parent, const QString &name)
        : CAccessKeyRequest(QStringLiteral("workspace/create"), key)
        , m_parent(parent)
        , m_name(name)
    {}
    QString name;
    qint32 id = 0;

protected:
    void PrepareParams(CBizWinHttpClient &client) override
    {
        client.SetParameter(QStringLiteral("workspaceId"), QString::number(m_parent));
        client.SetParameter(QStringLiteral("name"), m_name);
        client.SetParameter(QStringLiteral("folderStyle"), QStringLiteral("0"));
        client.SetParameter(QStringLiteral("comment"), QStringLiteral("a b&c=d%"));
        client.SetParameter(QStringLiteral("databox"), BoolParam(false));
    }
    int ParseResponse(CBizWinHttpClient &client, int) override
    {
        CBizXmlDocument doc;
        CBizXmlElement w = ReadResponseElement(client, QStringLiteral("createResponse"), doc)
                               .FindChild(QStringLiteral("workspace"));
        return w.ChildInt(QStringLiteral("id"), &id) && w.ChildText(QStringLiteral("name"), &name);
    }
    qint32 m_parent;
    QString m_name;
};

class CTestUploadRequest : public CUploadRequest
{
public:
    CTestUploadRequest(const QString &key, qint32 folder, const QString &path, const QString &local,
                       CBizProgressHandler *progress = nullptr)
        : CUploadRequest(QStringLiteral("file/create"), CFixedAccessKey(key), folder, path, local,
                         0, progress)
    {}
    QString serverDigest;
    qint64 serverSize = 0;

protected:
    int ParseResponse(CBizWinHttpClient &client, int) override
    {
        CBizXmlDocument doc;
        CBizXmlElement f = ReadResponseElement(client, QStringLiteral("createResponse"), doc)
                               .FindChild(QStringLiteral("file"));
        return f.ChildText(QStringLiteral("digest"), &serverDigest)
               && f.ChildInt64(QStringLiteral("size"), &serverSize);
    }
};

class CTestGetRequest : public CPathRequest
{
public:
    CTestGetRequest(const QString &key, qint32 folder, const QString &path, const QString &local,
                    const QString &expectedDigest)
        : CPathRequest(QStringLiteral("file/get"), key, folder, path)
        , m_local(local)
        , m_expected(expectedDigest)
    {}
    QString digest;
    qint64 length = 0;

protected:
    int ParseResponse(CBizWinHttpClient &client, int) override
    {
        if (client.DownloadToFile(m_local, false, &digest, &length, m_expected))
            return 1;
        if (!digest.isEmpty() && !DigestEquals(digest, m_expected))
            throw CRequestException(QString::fromUtf16(FaultCode::DigestMismatch), path());
        return 0;
    }
    QString m_local;
    QString m_expected;
};

// A temporary installation of the no-UI layout (the data folder is <dir>/vqrdata) with a
// devserver on demand; messages are captured.
class ServiceTest : public InstallationTest<>
{
protected:
    void SetUp() override
    {
        InstallationTest::SetUp();
        ASSERT_TRUE(QDir().mkpath(installation.dataFolder()));
    }
    // The installation folder (and working directory).
    QString dir() const { return installation.installation(); }

    // Sets keys of server.vqr, keeping the others.
    void SetServerVqr(const SettingList &values)
    {
        ASSERT_TRUE(UpdateServerVqr(installation.dataFolder(), values));
    }
    // Starts a devserver with the demo office and the test hooks (plus args) and points
    // server.vqr at it (plus extra settings).
    void StartServer(const QStringList &args = {}, const SettingList &extra = {})
    {
        server = DevServer::StartFor(installation, DevServer::DemoArgs() + args);
        ASSERT_TRUE(server);
        SetServerVqr(extra);
    }
    // A test hook of the devserver: the answer body.
    QString Hook(const QString &name, const SettingList &params = {}) const
    {
        return QString::fromUtf8(server->hook(name, params));
    }
    QString Login(const QString &loginId = QStringLiteral("yamada"),
                  const QString &password = QStringLiteral("yamada-pass"))
    {
        CTestRegisterRequest reg(loginId);
        if (!reg.ExecutePost())
            return {};
        CTestLoginRequest login(reg.clientKey, password);
        if (!login.ExecutePost())
            return {};
        return login.accessKey;
    }
    void Fail(const QString &op, const QString &mode, int count, const SettingList &more = {})
    {
        const SettingList p = {{QStringLiteral("op"), op},
                               {QStringLiteral("mode"), mode},
                               {QStringLiteral("count"), QString::number(count)}};
        ASSERT_EQ(Hook(QStringLiteral("fail"), p + more), QStringLiteral("ok"));
    }

    std::unique_ptr<DevServer> server;
};
