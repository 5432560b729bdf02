#pragma once

// A temporary installation (no-UI run: the data folder is <tmp>/vqrdata), a devserver
// process per test and a few request classes the tests drive the framework with.

#include "core/AppState.h"
#include "core/Messages.h"
#include "core/Paths.h"
#include "service/Request.h"
#include "store/BizProps.h"
#include "support/DevServer.h"

#include <QDir>
#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>
#include <QUrlQuery>
#include <gtest/gtest.h>

#include <memory>

// The shared devserver fixture (tests/support/DevServer.h) with test hooks; Hook answers
// "!<status> <body>" for a refused hook, since some tests expect one.
class CTestDevServer
{
public:
    bool Start(const QStringList &extra = {})
    {
        m_server = DevServer::Start(QStringList{QStringLiteral("--seed"), QStringLiteral("demo"),
                                                QStringLiteral("--test-hooks")}
                                    + extra);
        if (!m_server)
            return false;
        m_https = m_server->secure();
        m_port = m_server->port();
        return m_port != 0;
    }
    quint16 port() const { return m_port; }
    bool https() const { return m_https; }
    QString base() const
    {
        return QStringLiteral("%1://127.0.0.1:%2").arg(m_https ? "https" : "http").arg(m_port);
    }
    // A test hook (plain QNAM, certificate checks off): the answer body, or "!<status>".
    QString Hook(const QString &name, const QList<QPair<QString, QString>> &params = {})
    {
        QNetworkAccessManager nam;
        QNetworkRequest request(QUrl(base() + QStringLiteral("/__devserver/") + name));
        request.setHeader(QNetworkRequest::ContentTypeHeader,
                          QStringLiteral("application/x-www-form-urlencoded"));
        QNetworkReply *reply = nam.post(request, CBizWinHttpClient::EncodeForm(params));
        if (m_https)
            reply->ignoreSslErrors();
        QEventLoop loop;
        QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
        loop.exec();
        const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        const QString body = QString::fromUtf8(reply->readAll());
        delete reply;
        return status == 200 ? body : QStringLiteral("!%1 %2").arg(status).arg(body);
    }

private:
    std::unique_ptr<DevServer> m_server;
    quint16 m_port = 0;
    bool m_https = false;
};

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

// A temporary installation; messages are captured.
class ServiceTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        m_oldCwd = QDir::currentPath();
        QDir::setCurrent(m_dir.path());
        m_oldNoUi = AppState::IsNoUiMode();
        AppState::SetNoUiMode(true);
        QDir().mkpath(QStringLiteral("vqrdata"));
        m_oldSink = SetMessageSink([this](const QString &text, MsgIcon, MsgButtons) {
            messages.append(text);
            return int(IDOK);
        });
    }
    void TearDown() override
    {
        SetMessageSink(m_oldSink);
        AppState::SetNoUiMode(m_oldNoUi);
        QDir::setCurrent(m_oldCwd);
    }
    QString dir() const { return m_dir.path(); }

    void WriteServerVqr(const QList<QPair<QString, QString>> &values)
    {
        CBizProps props(DataPath({}, QStringLiteral("server.vqr")));
        if (props.Exists())
            props.Load();
        for (const auto &[k, v] : values)
            props.SetValue(k, v);
        ASSERT_TRUE(props.Save());
    }
    // Starts a devserver and points server.vqr at it (plus extra settings).
    void StartServer(const QStringList &args = {}, const QList<QPair<QString, QString>> &extra = {})
    {
        server = std::make_unique<CTestDevServer>();
        ASSERT_TRUE(server->Start(args));
        QList<QPair<QString, QString>> values = {
            {QStringLiteral("hostName"), QStringLiteral("127.0.0.1")},
            {QStringLiteral("secure"), server->https() ? QStringLiteral("1") : QStringLiteral("0")},
            {server->https() ? QStringLiteral("httpsPort") : QStringLiteral("httpPort"),
             QString::number(server->port())},
        };
        WriteServerVqr(values + extra);
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
    void Fail(const QString &op, const QString &mode, int count,
              const QList<QPair<QString, QString>> &more = {})
    {
        QList<QPair<QString, QString>> p = {{QStringLiteral("op"), op},
                                            {QStringLiteral("mode"), mode},
                                            {QStringLiteral("count"), QString::number(count)}};
        ASSERT_EQ(server->Hook(QStringLiteral("fail"), p + more), QStringLiteral("ok"));
    }

    std::unique_ptr<CTestDevServer> server;
    QStringList messages;

private:
    QTemporaryDir m_dir;
    QString m_oldCwd;
    bool m_oldNoUi = false;
    MessageSink m_oldSink;
};
