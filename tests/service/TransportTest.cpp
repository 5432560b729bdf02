// The transport and the request framework against a devserver started per test.
#include "ServiceFixture.h"

#include "core/AppState.h"
#include "core/Strings.h"
#include "service/CertStore.h"

#include <QCryptographicHash>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QSslConfiguration>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>

namespace {

QString writeRandomFile(const QString &path, qint64 size, quint32 seed)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly))
        return {};
    QRandomGenerator gen(seed);
    QByteArray block(1 << 20, Qt::Uninitialized);
    QCryptographicHash hash(QCryptographicHash::Md5);
    for (qint64 done = 0; done < size;) {
        gen.fillRange(reinterpret_cast<quint32 *>(block.data()), block.size() / 4);
        const qint64 n = std::min<qint64>(block.size(), size - done);
        f.write(block.constData(), n);
        hash.addData(QByteArrayView(block.constData(), n));
        done += n;
    }
    return QString::fromLatin1(hash.result().toHex());
}

QStringList dirEntries(const QString &dir)
{
    return QDir(dir).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot);
}

} // namespace

class Transport : public ServiceTest
{
protected:
    void SetUp() override
    {
        ServiceTest::SetUp();
        StartServer();
        key = Login();
        ASSERT_FALSE(key.isEmpty());
        folder = Hook(QStringLiteral("folder"),
                      {{QStringLiteral("folderPath"), QStringLiteral("経理/2024")}})
                     .toInt();
        ASSERT_GT(folder, 0);
    }
    // Uploads a random file and answers its digest.
    QString Upload(const QString &name, qint64 size, quint32 seed = 7)
    {
        const QString local = dir() + u'/' + name;
        const QString md5 = writeRandomFile(local, size, seed);
        CTestUploadRequest up(key, folder, u'/' + name, local);
        EXPECT_TRUE(up.ExecutePost());
        EXPECT_EQ(up.serverDigest, md5);
        return md5;
    }
    QString key;
    qint32 folder = 0;
};

TEST_F(Transport, GetWithQueryAndPostWithFormBody)
{
    CTestCountRequest all(key, 0, true);
    ASSERT_TRUE(all.ExecuteGet());
    CTestCountRequest below(key, folder, false);
    ASSERT_TRUE(below.ExecuteGet());
    EXPECT_GT(all.count, below.count);
    EXPECT_EQ(below.count, 3); // 01月, 02月, 03月

    CTestCreateFolderRequest create(key, folder, QStringLiteral("月次&報告=%"));
    ASSERT_TRUE(create.ExecutePost());
    EXPECT_EQ(create.name, QStringLiteral("月次&報告=%"));
    CTestCountRequest after(key, folder, false);
    ASSERT_TRUE(after.ExecuteGet());
    EXPECT_EQ(after.count, 4);
}

TEST_F(Transport, MultipartUploadOf50MegabytesIsCheckedByTheServer)
{
    const QString local = dir() + QStringLiteral("/big.bin");
    const qint64 size = 50 * 1024 * 1024;
    const QString md5 = writeRandomFile(local, size, 50);
    CBizProgressHandler progress;
    CTestUploadRequest up(key, folder, QStringLiteral("/big.bin"), local, &progress);
    ASSERT_TRUE(up.ExecutePost());
    EXPECT_EQ(up.uploadDigest(), md5);
    EXPECT_EQ(up.serverDigest, md5);
    EXPECT_EQ(up.serverSize, size);
    EXPECT_GT(progress.position(), size / 2); // stepped by the bytes sent
    const QStringList info
        = Hook(QStringLiteral("file"), {{QStringLiteral("workspaceId"), QString::number(folder)},
                                        {QStringLiteral("path"), QStringLiteral("/big.bin")}})
              .split(u' ');
    ASSERT_GE(info.size(), 3);
    EXPECT_EQ(info[1].toLongLong(), size);
    EXPECT_EQ(info[2], md5);
}

TEST_F(Transport, UploadOfAMissingFileRaisesNotFound)
{
    CTestUploadRequest up(key, folder, QStringLiteral("/x.bin"), dir() + QStringLiteral("/none"));
    try {
        up.ExecutePost();
        FAIL() << "no exception";
    } catch (const CBizOsException &e) {
        EXPECT_EQ(e.errorNumber(), OsError::FileNotFound);
    }
}

TEST_F(Transport, DownloadResumesAfterAConnectionCutMidBody)
{
    const QString md5 = Upload(QStringLiteral("resume.bin"), 3 * 1024 * 1024 + 17);
    Hook(QStringLiteral("log/clear"));
    Fail(QStringLiteral("file/get"), QStringLiteral("cut"), 1);
    installation.CaptureLog();
    const QString target = dir() + QStringLiteral("/got.bin");
    CTestGetRequest get(key, folder, QStringLiteral("/resume.bin"), target, md5);
    int got = 0;
    try {
        got = get.ExecuteGet();
    } catch (const CBizException &e) {
        FAIL() << e.ErrorMessage().toStdString() << "\n"
               << installation.log.join(u'\n').toStdString();
    }
    ASSERT_TRUE(got);
    EXPECT_EQ(get.digest, md5);
    EXPECT_EQ(get.length, 3 * 1024 * 1024 + 17);
    EXPECT_EQ(Md5HexOfFile(target), md5);
    // The cut answer and one ranged continuation (the devserver logs both as 200). Qt's
    // connection pool may send the continuation a second time by itself when it went out on
    // a connection the server was closing; the client resumed once either way.
    const QStringList log
        = Hook(QStringLiteral("log"), {{QStringLiteral("op"), QStringLiteral("file/get")}})
              .split(u'\n', Qt::SkipEmptyParts);
    ASSERT_GE(log.size(), 2) << Hook(QStringLiteral("log")).toStdString();
    ASSERT_LE(log.size(), 3) << Hook(QStringLiteral("log")).toStdString();
    EXPECT_EQ(installation.log.filter(QStringLiteral("download interrupted")).size(), 1)
        << installation.log.join(u'\n').toStdString();
    EXPECT_EQ(dirEntries(dir()).filter(QStringLiteral("vqrtmp")), QStringList());
}

TEST_F(Transport, FailedDownloadsLeaveTheTargetAndNoTemporaryFile)
{
    const QString md5 = Upload(QStringLiteral("keep.bin"), 200 * 1024);
    const QString target = dir() + QStringLiteral("/keep-local.bin");
    {
        QFile f(target);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("previous good copy");
    }
    const QStringList before = dirEntries(dir());
    auto expectUntouched = [&] {
        QFile f(target);
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        EXPECT_EQ(f.readAll(), QByteArray("previous good copy"));
        EXPECT_EQ(dirEntries(dir()), before);
    };
    // Wrong bytes: digest mismatch -> fault 00003 with the service path.
    Fail(QStringLiteral("file/get"), QStringLiteral("wrongbytes"), 1);
    try {
        CTestGetRequest get(key, folder, QStringLiteral("/keep.bin"), target, md5);
        get.ExecuteGet();
        FAIL() << "no exception";
    } catch (const CRequestException &e) {
        EXPECT_EQ(e.code(), QStringLiteral("00003"));
        EXPECT_TRUE(FaultText(e).contains(QStringLiteral("/keep.bin")));
    }
    expectUntouched();
    // Cancelled by the user: false, nothing replaced.
    Fail(QStringLiteral("file/get"), QStringLiteral("delay"), 1,
         {{QStringLiteral("ms"), QStringLiteral("300")}});
    CBizProgressHandler progress;
    progress.Cancel();
    CTestGetRequest cancelled(key, folder, QStringLiteral("/keep.bin"), target, md5);
    cancelled.Attach(&progress);
    cancelled.client().Attach(&progress);
    EXPECT_EQ(cancelled.ExecuteGet(), 0);
    expectUntouched();
    // Every answer cut: the transport gives up, nothing is replaced.
    Fail(QStringLiteral("file/get"), QStringLiteral("cut"), 1000);
    CTestGetRequest get(key, folder, QStringLiteral("/keep.bin"), target, md5);
    EXPECT_THROW(get.ExecuteGet(), CBizWinHttpException);
    expectUntouched();
    expectUntouched();
}

class TimeoutTest : public ServiceTest
{};

TEST_F(TimeoutTest, FourTimeoutsThenSuccessAndFiveTimeoutsRaise)
{
    StartServer({}, {{QStringLiteral("receiveTimeout"), QStringLiteral("300")}});
    const QString key = Login();
    ASSERT_FALSE(key.isEmpty());
    Hook(QStringLiteral("log/clear"));
    Fail(QStringLiteral("workspace/count"), QStringLiteral("delay"), 4,
         {{QStringLiteral("ms"), QStringLiteral("1500")}});
    CTestCountRequest ok(key, 0, true);
    ASSERT_TRUE(ok.ExecuteGet());
    EXPECT_GT(ok.count, 0);

    Fail(QStringLiteral("workspace/count"), QStringLiteral("delay"), 5,
         {{QStringLiteral("ms"), QStringLiteral("1500")}});
    CTestCountRequest failing(key, 0, true);
    try {
        failing.ExecuteGet();
        FAIL() << "no exception";
    } catch (const CBizWinHttpException &e) {
        EXPECT_EQ(e.errorNumber(), HttpError::Timeout);
        EXPECT_TRUE(e.ErrorMessage().contains(QStringLiteral("タイムアウト")));
    }
}

TEST_F(TimeoutTest, RefusedConnectionIsNotRetried)
{
    const quint16 port = FreePort();
    ASSERT_NE(port, 0);
    SetServerVqr({{QStringLiteral("hostName"), QStringLiteral("127.0.0.1")},
                  {QStringLiteral("secure"), QStringLiteral("0")},
                  {QStringLiteral("httpPort"), QString::number(port)}});
    CTestCountRequest r(QStringLiteral("k"), 0, true);
    try {
        r.ExecuteGet();
        FAIL() << "no exception";
    } catch (const CBizWinHttpException &e) {
        EXPECT_EQ(e.errorNumber(), HttpError::CannotConnect);
    }
}

struct EnvelopeCase
{
    const char *name;
    QList<QPair<QString, QString>> hook; // mode and its parameters
    const char *code;                    // expected fault code; "" = returns 0 silently
    const char *message;
};

class FaultEnvelope : public ServiceTest, public ::testing::WithParamInterface<EnvelopeCase>
{};

TEST_P(FaultEnvelope, AnswerBecomesTheRightOutcome)
{
    StartServer();
    const QString key = Login();
    const EnvelopeCase &c = GetParam();
    QList<QPair<QString, QString>> p = {{QStringLiteral("op"), QStringLiteral("workspace/count")}};
    ASSERT_EQ(Hook(QStringLiteral("fail"), p + c.hook), QStringLiteral("ok"));
    CTestCountRequest r(key, 0, true);
    if (!*c.code) {
        EXPECT_EQ(r.ExecuteGet(), 0);
        return;
    }
    try {
        r.ExecuteGet();
        FAIL() << "no exception";
    } catch (const CRequestException &e) {
        EXPECT_EQ(e.code(), QString::fromUtf8(c.code));
        EXPECT_EQ(e.message(), QString::fromUtf8(c.message));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Variants, FaultEnvelope,
    ::testing::Values(
        EnvelopeCase{
            "Fault",
            {{"mode", "fault"}, {"code", "40008"}, {"message", "使用中です"}, {"status", "409"}},
            "40008",
            "使用中です"},
        EnvelopeCase{
            "UnknownCode", {{"mode", "fault"}, {"code", "99999"}, {"message", "x"}}, "99999", "x"},
        EnvelopeCase{"HtmlPage", {{"mode", "html"}, {"status", "503"}}, "00001", "503"},
        EnvelopeCase{"EmptyErrorBody", {{"mode", "empty"}, {"status", "500"}}, "", ""},
        EnvelopeCase{"MissingResponseElement", {{"mode", "noelement"}}, "00002", ""}),
    [](const auto &info) { return std::string(info.param.name); });

// The user pressed cancel while the incomplete answer was read: quiet.
class CCancellingCountRequest : public CTestCountRequest
{
public:
    using CTestCountRequest::CTestCountRequest;

protected:
    int ParseResponse(CBizWinHttpClient &client, int status) override
    {
        const int r = CTestCountRequest::ParseResponse(client, status);
        progress()->Cancel();
        return r;
    }
};

TEST_F(ServiceTest, MissingResponseElementAfterCancelIsQuiet)
{
    StartServer();
    const QString key = Login();
    Fail(QStringLiteral("workspace/count"), QStringLiteral("noelement"), 1);
    CBizProgressHandler progress;
    CCancellingCountRequest r(key, 0, true, &progress);
    EXPECT_EQ(r.ExecuteGet(), 0);
}

TEST_F(ServiceTest, EveryFaultCodeFromTheServerGetsItsText)
{
    StartServer();
    const QString key = Login();
    int count = 0;
    const SFaultEntry *table = FaultTable(&count);
    ASSERT_EQ(count, 41);
    for (int i = 0; i < count; ++i) {
        const QString code = QString::fromUtf16(table[i].code);
        SCOPED_TRACE(code.toStdString());
        Fail(QStringLiteral("workspace/count"), QStringLiteral("fault"), 1,
             {{QStringLiteral("code"), code}, {QStringLiteral("message"), QStringLiteral("詳細")}});
        CTestCountRequest r(key, 0, true);
        try {
            r.ExecuteGet();
            ADD_FAILURE() << "no exception";
        } catch (const CRequestException &e) {
            EXPECT_EQ(e.code(), code);
            EXPECT_TRUE(e.known());
            QString text = LoadString(table[i].messageId);
            if (i == 0 || i == 2) // 00001, 00003 take the message as argument
                text.replace(QStringLiteral("%s"), QStringLiteral("詳細"));
            EXPECT_EQ(FaultText(e), text + QStringLiteral("\r\n詳細"));
            CExceptHandler h;
            h.Set(e);
            EXPECT_EQ(h.Code(), qint32(code.toInt() | 0x20000000));
        }
    }
}

TEST_F(ServiceTest, ExpiredAccessKeyIsRecognised)
{
    StartServer();
    const QString key = Login();
    ASSERT_EQ(server->hookStatus(QStringLiteral("expire"), {{QStringLiteral("accessKey"), key}}),
              200);
    CTestCountRequest r(key, 0, true);
    try {
        r.ExecuteGet();
        FAIL() << "no exception";
    } catch (const CRequestException &e) {
        EXPECT_TRUE(IsAccessKeyExpired(e));
    }
}

// ---- proxy -----------------------------------------------------------------------------

TEST_F(ServiceTest, RequestsGoThroughTheSystemProxy)
{
    if (!QFileInfo::exists(QStringLiteral("/usr/bin/tinyproxy")))
        GTEST_SKIP() << "tinyproxy is not installed";
    StartServer();
    const quint16 proxyPort = FreePort();
    ASSERT_NE(proxyPort, 0);
    const QString log = dir() + QStringLiteral("/tinyproxy.log");
    {
        QFile conf(dir() + QStringLiteral("/tinyproxy.conf"));
        ASSERT_TRUE(conf.open(QIODevice::WriteOnly));
        conf.write(QStringLiteral("Port %1\nListen 127.0.0.1\nTimeout 30\nMaxClients 20\n"
                                  "Allow 127.0.0.1\nLogLevel Info\nLogFile \"%2\"\n")
                       .arg(proxyPort)
                       .arg(log)
                       .toUtf8());
    }
    QProcess proxy;
    proxy.start(QStringLiteral("/usr/bin/tinyproxy"), {QStringLiteral("-d"), QStringLiteral("-c"),
                                                       dir() + QStringLiteral("/tinyproxy.conf")});
    ASSERT_TRUE(proxy.waitForStarted(5000));
    for (int i = 0; i < 50; ++i) { // wait until it accepts connections
        QTcpSocket s;
        s.connectToHost(QHostAddress::LocalHost, proxyPort);
        if (s.waitForConnected(100))
            break;
        QThread::msleep(50);
    }
    installation.UnsetEnv("no_proxy");
    installation.UnsetEnv("NO_PROXY");
    installation.UnsetEnv("HTTP_PROXY");
    installation.SetEnv("http_proxy",
                        QStringLiteral("http://127.0.0.1:%1").arg(proxyPort).toUtf8());
    const QString key = Login();
    ASSERT_FALSE(key.isEmpty());
    CTestCountRequest r(key, 0, true);
    ASSERT_TRUE(r.ExecuteGet());
    proxy.terminate();
    proxy.waitForFinished(3000);
    QFile f(log);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray text = f.readAll();
    EXPECT_TRUE(text.contains("/apps/api/apis/workspace/count")) << text.toStdString();
    EXPECT_TRUE(text.contains("/apps/api/apis/login"));

    // The proxy is gone: the failure names the proxy; no_proxy bypasses it.
    CTestCountRequest dead(key, 0, true);
    try {
        dead.ExecuteGet();
        ADD_FAILURE() << "no exception";
    } catch (const CBizWinHttpException &e) {
        EXPECT_EQ(e.errorNumber(), HttpError::ProxyFailure);
    }
    installation.SetEnv("no_proxy", "localhost,127.0.0.1");
    CTestCountRequest direct(key, 0, true);
    EXPECT_TRUE(direct.ExecuteGet());
}

// ---- TLS ---------------------------------------------------------------------------------

TEST_F(ServiceTest, SelfSignedCertificateNeedsIgnoreCertOrTheTrustFile)
{
    QTemporaryDir fakeHome;
    installation.SetEnv("HOME", fakeHome.path().toUtf8());
    StartServer({QStringLiteral("--https")}, {{QStringLiteral("ignoreCert"), QStringLiteral("0")}});
    const int systemCas = int(QSslConfiguration::defaultConfiguration().caCertificates().size());
    try {
        Login();
        FAIL() << "no exception";
    } catch (const CBizWinHttpException &e) {
        EXPECT_EQ(e.errorNumber(), HttpError::CertAuthorityInvalid);
    }
    EXPECT_TRUE(messages.isEmpty()); // a refused certificate is no channel failure to retry

    SetServerVqr({{QStringLiteral("ignoreCert"), QStringLiteral("1")}});
    EXPECT_FALSE(Login().isEmpty());

    SetServerVqr({{QStringLiteral("ignoreCert"), QStringLiteral("0")},
                  {QStringLiteral("addCertStore"), QStringLiteral("1")}});
    const QString trust = CBizCertStore::DefaultPath();
    EXPECT_FALSE(QFileInfo::exists(trust));
    EXPECT_FALSE(Login().isEmpty()); // fails once, stores the certificate, retries
    ASSERT_TRUE(QFileInfo::exists(trust));
    EXPECT_TRUE(trust.startsWith(dir() + QStringLiteral("/vqrdata/")));
    EXPECT_EQ(CBizCertStore().Certificates().size(), 1);
    EXPECT_FALSE(Login().isEmpty()); // trusted from the start now
    EXPECT_EQ(CBizCertStore().Certificates().size(), 1);
    // Nothing outside the data folder changed: no user store, no process-wide trust.
    EXPECT_TRUE(QDir(fakeHome.path())
                    .entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot)
                    .isEmpty());
    EXPECT_EQ(int(QSslConfiguration::defaultConfiguration().caCertificates().size()), systemCas);
    // The setting off: the stored certificate is not used.
    SetServerVqr({{QStringLiteral("addCertStore"), QStringLiteral("0")}});
    EXPECT_THROW(Login(), CBizWinHttpException);
}

TEST_F(ServiceTest, TlsChannelFailuresAreRetriedTenTimesThenReported)
{
    StartServer(); // plain HTTP server spoken to with TLS
    CBizWinHttpClient client;
    client.Open(QStringLiteral("GET"), QStringLiteral("127.0.0.1"), server->port(),
                QStringLiteral("/apps/api/apis/updatecounter"), CBizWinHttpClient::Secure);
    // Without user interface: no box nobody could close.
    try {
        client.SendForm();
        FAIL() << "no exception";
    } catch (const CBizWinHttpException &e) {
        EXPECT_EQ(e.errorNumber(), HttpError::SecureFailure);
    }
    EXPECT_TRUE(messages.isEmpty());
    AppState::SetNoUiMode(false);
    EXPECT_THROW(client.SendForm(), CBizWinHttpException);
    AppState::SetNoUiMode(true);
    ASSERT_EQ(messages.size(), 1);
    EXPECT_EQ(messages[0], QStringLiteral("送信時のリトライ回数が上限(10)を越えました！"));
}

// file/get resuming the bytes already present: "Range: -N" and the digest of the whole file.
class CResumingGetRequest : public CTestGetRequest
{
public:
    CResumingGetRequest(const QString &key, qint32 folder, const QString &path,
                        const QString &local, const QString &expected, qint64 present)
        : CTestGetRequest(key, folder, path, local, expected)
        , m_present(present)
    {}

protected:
    void PrepareHeaders(CBizWinHttpClient &client) override
    {
        CTestGetRequest::PrepareHeaders(client);
        client.SetHeader(QStringLiteral("Range"), QStringLiteral("-%1").arg(m_present));
    }
    int ParseResponse(CBizWinHttpClient &client, int) override
    {
        return client.DownloadToFile(m_local, true, &digest, &length, m_expected);
    }
    qint64 m_present;
};

TEST_F(Transport, ResumedDownloadDigestsTheWholeFile)
{
    const QString md5 = Upload(QStringLiteral("part.bin"), 100 * 1000 + 3, 11);
    QFile source(dir() + QStringLiteral("/part.bin"));
    ASSERT_TRUE(source.open(QIODevice::ReadOnly));
    const QByteArray whole = source.readAll();
    const QString target = dir() + QStringLiteral("/part-local.bin");
    {
        QFile f(target);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(whole.left(1000));
    }
    CResumingGetRequest get(key, folder, QStringLiteral("/part.bin"), target, md5, 1000);
    ASSERT_TRUE(get.ExecuteGet());
    EXPECT_EQ(get.digest, md5);
    EXPECT_EQ(get.length, whole.size());
    QFile f(target);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), whole);
}

// Cancels once a quarter of the run is done.
class CCancelAtQuarter : public CBizProgressHandler
{
protected:
    bool OnStep(qint32 position) override
    {
        if (m_total > 0 && position > m_total / 4)
            Cancel();
        return true;
    }
};

TEST_F(Transport, CancelledUploadReturnsZeroAndCreatesNothing)
{
    // Large enough that the upload, which runs on Qt's network thread, is still under way
    // when the window's thread sees the quarter: at loopback speed a small body is sent
    // completely before the progress report arrives.
    const QString local = dir() + QStringLiteral("/cancel.bin");
    writeRandomFile(local, 128 * 1024 * 1024, 3);
    CCancelAtQuarter progress;
    CTestUploadRequest up(key, folder, QStringLiteral("/cancel.bin"), local, &progress);
    EXPECT_EQ(up.ExecutePost(), 0);
    EXPECT_TRUE(progress.isCancelled());
    EXPECT_EQ(server->hookStatus(QStringLiteral("file"),
                                 {{QStringLiteral("workspaceId"), QString::number(folder)},
                                  {QStringLiteral("path"), QStringLiteral("/cancel.bin")}}),
              404);
}
