// The exact bytes the client writes (form body, headers, multipart layout), captured by the
// canned server: the devserver decodes them and cannot show them as sent.
#include "ServiceFixture.h"

#include "support/CannedServer.h"

// A canned server that answers every request with one body.
class Wire : public ServiceTest
{
protected:
    void Answer(const QByteArray &xml)
    {
        capture.SetDefaultAnswer(xml);
        SetServerVqr(capture.serverVqr());
    }
    CannedServer capture;
};

TEST_F(Wire, PostBodyHeadersAndAgent)
{
    Answer("<velquor><createResponse><workspace><id>9</id><name>x</name>"
           "</workspace></createResponse></velquor>");
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
    Answer("<velquor><createResponse><file><digest>d</digest><size>3</size>"
           "</file></createResponse></velquor>");
    const QString local = dir() + QStringLiteral("/報告 書.txt");
    ASSERT_TRUE(WriteFile(local, "CONTENT\r\n--"));
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
    Answer("<velquor/>");
    const QString local = dir() + QStringLiteral("/e.bin");
    ASSERT_TRUE(WriteFile(local, {}));
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
