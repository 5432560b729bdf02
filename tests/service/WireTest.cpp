// The exact bytes the client writes (form body, headers, multipart layout), captured by a
// tiny in-test server: the devserver decodes them and cannot show them as sent.
#include "ServiceFixture.h"

#include <QTcpServer>
#include <QTcpSocket>

namespace {

class CCaptureServer
{
public:
    explicit CCaptureServer(QByteArray answerXml)
        : m_answer(std::move(answerXml))
    {
        m_server.listen(QHostAddress::LocalHost);
        QObject::connect(&m_server, &QTcpServer::newConnection, [this] {
            QTcpSocket *s = m_server.nextPendingConnection();
            QObject::connect(s, &QTcpSocket::readyRead, s, [this, s] {
                m_request += s->readAll();
                const qsizetype end = m_request.indexOf("\r\n\r\n");
                if (end < 0)
                    return;
                qint64 length = 0;
                for (const QByteArray &line : m_request.left(end).split('\n')) {
                    if (line.toLower().startsWith("content-length:"))
                        length = line.mid(15).trimmed().toLongLong();
                }
                if (m_request.size() < end + 4 + length)
                    return;
                m_body = m_request.mid(end + 4);
                m_head = m_request.left(end);
                s->write("HTTP/1.1 200 OK\r\nContent-Type: text/xml\r\nConnection: close\r\n"
                         "Content-Length: "
                         + QByteArray::number(m_answer.size()) + "\r\n\r\n" + m_answer);
                s->disconnectFromHost();
            });
        });
    }
    quint16 port() const { return m_server.serverPort(); }
    QByteArray head() const { return m_head; }
    QByteArray body() const { return m_body; }
    QByteArray header(const QByteArray &name) const
    {
        for (const QByteArray &line : m_head.split('\n')) {
            if (line.toLower().startsWith(QByteArray(name.toLower() + ':')))
                return line.mid(name.size() + 1).trimmed();
        }
        return {};
    }

private:
    QTcpServer m_server;
    QByteArray m_answer;
    QByteArray m_request;
    QByteArray m_head;
    QByteArray m_body;
};

} // namespace

class Wire : public ServiceTest
{
protected:
    void PointAt(quint16 port)
    {
        WriteServerVqr({{QStringLiteral("hostName"), QStringLiteral("127.0.0.1")},
                        {QStringLiteral("secure"), QStringLiteral("0")},
                        {QStringLiteral("httpPort"), QString::number(port)}});
    }
};

TEST_F(Wire, PostBodyHeadersAndAgent)
{
    CCaptureServer capture("<velquor><createResponse><workspace><id>9</id><name>x</name>"
                           "</workspace></createResponse></velquor>");
    PointAt(capture.port());
    CTestCreateFolderRequest r(QStringLiteral("KEY-1"), 5, QStringLiteral("月次"));
    ASSERT_TRUE(r.ExecutePost());
    EXPECT_EQ(r.id, 9);
    EXPECT_TRUE(capture.head().startsWith("POST /apps/api/apis/workspace/create HTTP/1.1"))
        << capture.head().toStdString();
    EXPECT_EQ(capture.body(), "workspaceId=5&name=%e6%9c%88%e6%ac%a1&folderStyle=0&"
                              "comment=a%20b%26c%3dd%25&databox=false");
    EXPECT_EQ(capture.header("x-velquor-access-key"), "KEY-1");
    EXPECT_EQ(capture.header("Content-type"), "application/x-www-form-urlencoded");
    EXPECT_TRUE(capture.header("User-Agent").startsWith("velquor.v2.client(2.0.0.1)on("))
        << capture.header("User-Agent").toStdString();
}

TEST_F(Wire, MultipartBodyIsExact)
{
    CCaptureServer capture("<velquor><createResponse><file><digest>d</digest><size>3</size>"
                           "</file></createResponse></velquor>");
    PointAt(capture.port());
    const QString local = dir() + QStringLiteral("/報告 書.txt");
    {
        QFile f(local);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("CONTENT\r\n--");
    }
    CTestUploadRequest r(QStringLiteral("K"), 5, QStringLiteral("/報告 書.txt"), local);
    ASSERT_TRUE(r.ExecutePost());
    const QByteArray type = capture.header("Content-type");
    ASSERT_TRUE(type.startsWith("multipart/form-data; boundary=---biz-")) << type.toStdString();
    const QByteArray b = type.mid(type.indexOf('=') + 1);
    const QByteArray expected
        = "--" + b
          + "\r\ncontent-disposition: form-data; name=\"workspaceId\"\r\n\r\n5\r\n"
            "--"
          + b + "\r\ncontent-disposition: form-data; name=\"path\"\r\n\r\n"
          + QStringLiteral("/報告 書.txt").toUtf8()
          + "\r\n"
            "--"
          + b + "\r\ncontent-disposition: form-data; name=\"file\"; filename=\""
          + QStringLiteral("報告 書.txt").toUtf8()
          + "\"\r\n"
            "Content-type: application/octet-stream\r\n\r\n"
            "CONTENT\r\n--\r\n--"
          + b + "--\r\n";
    EXPECT_EQ(capture.body(), expected);
    EXPECT_EQ(capture.header("Content-Length").toLongLong(), expected.size());
    EXPECT_EQ(r.uploadDigest(), Md5Hex("CONTENT\r\n--"));
}

TEST_F(Wire, UploadWithoutParametersStillWritesFilePartAndTrailer)
{
    CCaptureServer capture("<velquor/>");
    const QString local = dir() + QStringLiteral("/e.bin");
    {
        QFile f(local);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    }
    CBizWinHttpClient client;
    client.Open(QStringLiteral("POST"), QStringLiteral("127.0.0.1"), capture.port(),
                QStringLiteral("/u"), 0);
    QString digest;
    // An empty file with size 0: the size is read from the file (0 bytes).
    ASSERT_TRUE(client.UploadFile(local, 0, &digest, QStringLiteral("file")));
    int status = 0;
    ASSERT_TRUE(client.ReceiveResponse(&status));
    EXPECT_EQ(status, 200);
    const QByteArray type = capture.header("Content-type");
    const QByteArray b = type.mid(type.indexOf('=') + 1);
    EXPECT_EQ(capture.body(),
              "--" + b
                  + "\r\ncontent-disposition: form-data; name=\"file\"; "
                    "filename=\"e.bin\"\r\nContent-type: application/octet-stream\r\n"
                    "\r\n\r\n--"
                  + b + "--\r\n");
    EXPECT_EQ(digest, QStringLiteral("d41d8cd98f00b204e9800998ecf8427e"));
}
