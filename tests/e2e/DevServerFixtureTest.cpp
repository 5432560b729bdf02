// The devserver fixture itself: start, sign in over real HTTP, hooks, server.vqr.

#include "support/DevServer.h"

#include <QDomDocument>
#include <QEventLoop>
#include <QFile>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QTemporaryDir>
#include <QUrlQuery>

#include <gtest/gtest.h>

namespace {

QByteArray postForm(QNetworkAccessManager &nam, const QUrl &url,
                    const QList<QPair<QString, QString>> &params, int *status)
{
    QNetworkRequest request(url);
    request.setHeader(QNetworkRequest::ContentTypeHeader,
                      QByteArrayLiteral("application/x-www-form-urlencoded"));
    QUrlQuery q;
    for (const auto &[k, v] : params)
        q.addQueryItem(QString::fromLatin1(QUrl::toPercentEncoding(k)),
                       QString::fromLatin1(QUrl::toPercentEncoding(v)));
    QNetworkReply *reply = nam.post(request, q.toString(QUrl::FullyEncoded).toLatin1());
    QEventLoop loop;
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    loop.exec();
    *status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    QByteArray body = reply->readAll();
    reply->deleteLater();
    return body;
}

QString childText(const QByteArray &xml, const QString &response, const QString &name)
{
    QDomDocument doc;
    if (!doc.setContent(xml))
        return QStringLiteral("<not xml>");
    return doc.documentElement().firstChildElement(response).firstChildElement(name).text();
}

} // namespace

TEST(DevServerFixture, StartsAndSignsInWithTheDemoUser)
{
    auto server = DevServer::Start();
    ASSERT_TRUE(server);
    EXPECT_EQ(server->host(), QStringLiteral("127.0.0.1"));
    EXPECT_GT(server->port(), 0);
    EXPECT_FALSE(server->secure());

    QNetworkAccessManager nam;
    int status = 0;
    QByteArray reg = postForm(nam, server->apiUrl(QStringLiteral("register")),
                              {{"customerCode", "demo"}, {"loginId", "yamada"}}, &status);
    ASSERT_EQ(status, 200) << reg.constData();
    const QString clientKey
        = childText(reg, QStringLiteral("registerResponse"), QStringLiteral("clientKey"));
    EXPECT_EQ(clientKey.size(), 32);

    QByteArray login = postForm(
        nam, server->apiUrl(QStringLiteral("login")),
        {{"clientKey", clientKey}, {"password", "yamada-pass"}, {"pcName", "TESTPC"}}, &status);
    ASSERT_EQ(status, 200) << login.constData();
    EXPECT_EQ(childText(login, QStringLiteral("loginResponse"), QStringLiteral("accessKey")).size(),
              32);
    EXPECT_EQ(childText(login, QStringLiteral("loginResponse"), QStringLiteral("dispName")),
              QStringLiteral("山田 太郎"));
    EXPECT_EQ(childText(login, QStringLiteral("loginResponse"), QStringLiteral("maxFileSize")),
              QStringLiteral("314572800"));

    QByteArray wrong
        = postForm(nam, server->apiUrl(QStringLiteral("login")),
                   {{"clientKey", clientKey}, {"password", "nope"}, {"pcName", "TESTPC"}}, &status);
    EXPECT_EQ(status, 401);
    EXPECT_EQ(childText(wrong, QStringLiteral("apiFault"), QStringLiteral("code")),
              QStringLiteral("20103"));

    // The request log sees both calls of each kind.
    EXPECT_EQ(server->callCount(QStringLiteral("register")), 1);
    EXPECT_EQ(server->callCount(QStringLiteral("login")), 2);
    EXPECT_GT(server->folderId(QStringLiteral("経理/2024")), 0);
    EXPECT_EQ(server->folderId(QStringLiteral("経理/none")), -1);
}

TEST(DevServerFixture, WritesAndUpdatesServerVqrAsUtf16WithCrLf)
{
    auto server = DevServer::Start({"--seed", "empty", "--root-prefix", "tenant"});
    ASSERT_TRUE(server);
    QTemporaryDir dir;
    ASSERT_TRUE(WriteServerVqr(dir.path(), server->serverVqr()));
    ASSERT_TRUE(UpdateServerVqr(dir.path(), {{"receiveTimeout", "5000"}, {"secure", "0"}}));
    const QString expected = QStringLiteral("hostName=127.0.0.1\r\nsecure=0\r\nhttpPort=%1\r\n"
                                            "rootPrefix=tenant\r\nreceiveTimeout=5000\r\n")
                                 .arg(server->port());
    EXPECT_EQ(ReadFile(dir.filePath(QStringLiteral("server.vqr"))), Utf16LeWithBom(expected));
    EXPECT_TRUE(server->apiUrl(QStringLiteral("login"))
                    .path()
                    .startsWith(QStringLiteral("/tenant/apps/api/apis/")));
}
