// The transport's network managers come from one replaceable factory: a test can hand the
// client a manager that answers in-process, and every thread picks up the new factory at its
// next request.
#include "ServiceFixture.h"

#include "service/NetworkManagers.h"

#include <QNetworkAccessManager>
#include <QNetworkProxyFactory>
#include <QNetworkReply>
#include <QTimer>

namespace {

// A finished answer without any network: status, XML body, then the signals a real reply
// sends.
class CInProcessReply : public QNetworkReply
{
public:
    CInProcessReply(QNetworkAccessManager::Operation op, const QNetworkRequest &request,
                    QByteArray body, QObject *parent)
        : QNetworkReply(parent)
        , m_body(std::move(body))
    {
        setRequest(request);
        setUrl(request.url());
        setOperation(op);
        setAttribute(QNetworkRequest::HttpStatusCodeAttribute, 200);
        setHeader(QNetworkRequest::ContentTypeHeader, QByteArrayLiteral("text/xml; charset=UTF-8"));
        setHeader(QNetworkRequest::ContentLengthHeader, m_body.size());
        open(QIODevice::ReadOnly | QIODevice::Unbuffered);
        QTimer::singleShot(0, this, [this] {
            Q_EMIT requestSent();
            Q_EMIT metaDataChanged();
            Q_EMIT readyRead();
            setFinished(true);
            Q_EMIT finished();
        });
    }
    void abort() override {}
    qint64 bytesAvailable() const override
    {
        return m_body.size() - m_pos + QNetworkReply::bytesAvailable();
    }
    bool isSequential() const override { return true; }

protected:
    qint64 readData(char *data, qint64 maxSize) override
    {
        const qint64 n = std::min<qint64>(maxSize, m_body.size() - m_pos);
        memcpy(data, m_body.constData() + m_pos, size_t(n));
        m_pos += n;
        return n;
    }

private:
    QByteArray m_body;
    qint64 m_pos = 0;
};

// Answers every request itself and remembers what it was asked.
class CInProcessManager : public QNetworkAccessManager
{
public:
    QStringList paths;
    QList<QByteArray> keys;

protected:
    QNetworkReply *createRequest(Operation op, const QNetworkRequest &request, QIODevice *) override
    {
        paths << request.url().path();
        keys << request.rawHeader("x-velquor-access-key");
        return new CInProcessReply(op, request,
                                   "<velquor><countResponse><count>42</count>"
                                   "<workspaceId>0</workspaceId></countResponse></velquor>",
                                   this);
    }
};

class NetworkManagersTest : public ServiceTest
{
protected:
    void TearDown() override { NetworkManagers::SetFactory({}); }
};

} // namespace

TEST_F(NetworkManagersTest, AnInjectedManagerCarriesTheRequestsWithTheClientsSettings)
{
    // Nothing listens there: only the injected manager can answer.
    SetServerVqr({{QStringLiteral("hostName"), QStringLiteral("127.0.0.1")},
                  {QStringLiteral("secure"), QStringLiteral("0")},
                  {QStringLiteral("httpPort"), QString::number(FreePort())}});
    CInProcessManager *made = nullptr;
    NetworkManagers::SetFactory([&made] { return made = new CInProcessManager; });

    CTestCountRequest request(QStringLiteral("KEY-7"), 0, true);
    ASSERT_TRUE(request.ExecuteGet());
    EXPECT_EQ(request.count, 42);
    ASSERT_NE(made, nullptr);
    EXPECT_EQ(made->paths, QStringList{QStringLiteral("/apps/api/apis/workspace/count")});
    EXPECT_EQ(made->keys, QList<QByteArray>{"KEY-7"});
    // The client's own settings were applied to the manager it was given.
    EXPECT_EQ(made->redirectPolicy(), QNetworkRequest::ManualRedirectPolicy);
    EXPECT_NE(made->proxyFactory(), nullptr);

    // The same manager serves the next request of this thread.
    CTestCountRequest again(QStringLiteral("KEY-7"), 0, true);
    ASSERT_TRUE(again.ExecuteGet());
    EXPECT_EQ(made->paths.size(), 2);
}

TEST_F(NetworkManagersTest, RestoringTheDefaultFactoryReachesTheNetworkAgain)
{
    StartServer();
    const QString key = Login();
    ASSERT_FALSE(key.isEmpty());
    server->clearRequestLog();

    NetworkManagers::SetFactory([] { return new CInProcessManager; });
    CTestCountRequest canned(key, 0, true);
    ASSERT_TRUE(canned.ExecuteGet());
    EXPECT_EQ(canned.count, 42);
    EXPECT_EQ(server->callCount(QStringLiteral("workspace/count")), 0) << "answered in-process";

    NetworkManagers::SetFactory({});
    CTestCountRequest real(key, 0, true);
    ASSERT_TRUE(real.ExecuteGet());
    EXPECT_NE(real.count, 42);
    EXPECT_GT(real.count, 0);
    EXPECT_EQ(server->callCount(QStringLiteral("workspace/count")), 1);
}
