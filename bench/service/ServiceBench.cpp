// Transfers through CBizWinHttpClient against the devserver, side by side with curl in the
// same run: 256 MB download and upload (MD5 on the fly for the client, none for curl), and
// 1,000 small requests in sequence. Every measured run is a child process, so its peak RSS
// is its own. Like with like: the same file, warm in the page cache; both write the download
// to a file; neither asks for a content coding; the client logs as the application does.
// Each pair runs `rounds` times, client and curl alternating; the figures are the medians
// (this machine is shared, single runs scatter by a factor of two).
// "bare Qt" is QNetworkAccessManager alone (get, wait, readAll; no framework, no XML): the
// floor under the client's per-request cost.
//
//   bench_service [sizeMB=256] [requests=1000] [rounds=5]
#include "core/AppState.h"
#include "core/Paths.h"
#include "service/Request.h"

#include "BenchServer.h"
#include "Processes.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QLoggingCategory>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

using namespace bench;

using SRun = STimedRun;

// Through /usr/bin/time: a child forked from this process would report this process's
// resident size as its own peak (the high-water mark survives exec).
SRun spawnAndMeasure(const QStringList &command)
{
    return RunTimed(command, QDir::current().filePath(QStringLiteral("peak.txt")));
}

class CLoginRequest : public CApiRequest
{
public:
    CLoginRequest(const QString &clientKey)
        : CApiRequest(QStringLiteral("login"))
        , m_key(clientKey)
    {}
    QString accessKey;

protected:
    void PrepareParams(CBizWinHttpClient &c) override
    {
        c.SetParameter(QStringLiteral("clientKey"), m_key);
        c.SetParameter(QStringLiteral("password"), QStringLiteral("yamada-pass"));
        c.SetParameter(QStringLiteral("pcName"), QStringLiteral("bench"));
    }
    int ParseResponse(CBizWinHttpClient &c, int) override
    {
        CBizXmlDocument doc;
        return ReadResponseElement(c, QStringLiteral("loginResponse"), doc)
            .ChildText(QStringLiteral("accessKey"), &accessKey);
    }
    QString m_key;
};

// A list of three folders: an answer of about the size of the login answer.
class CListRequest : public CAccessKeyRequest
{
public:
    CListRequest(const QString &key, const QString &folder)
        : CAccessKeyRequest(QStringLiteral("workspace/list"), key)
        , m_folder(folder)
    {}

protected:
    void PrepareParams(CBizWinHttpClient &c) override
    {
        c.SetParameter(QStringLiteral("workspaceId"), m_folder);
        c.SetParameter(QStringLiteral("limit"), QStringLiteral("3"));
    }
    int ParseResponse(CBizWinHttpClient &c, int) override
    {
        CBizXmlDocument doc;
        return ReadResponseElement(c, QStringLiteral("listResponse"), doc)
            .FindChild(QStringLiteral("workspaces"))
            .Items(QStringLiteral("workspace"))
            .size();
    }
    QString m_folder;
};

class CRegisterRequest : public CApiRequest
{
public:
    CRegisterRequest()
        : CApiRequest(QStringLiteral("register"))
    {}
    QString clientKey;

protected:
    void PrepareParams(CBizWinHttpClient &c) override
    {
        c.SetParameter(QStringLiteral("customerCode"), QStringLiteral("demo"));
        c.SetParameter(QStringLiteral("loginId"), QStringLiteral("yamada"));
    }
    int ParseResponse(CBizWinHttpClient &c, int) override
    {
        CBizXmlDocument doc;
        return ReadResponseElement(c, QStringLiteral("registerResponse"), doc)
            .ChildText(QStringLiteral("clientKey"), &clientKey);
    }
};

class CUpload : public CUploadRequest
{
public:
    using CUploadRequest::CUploadRequest;
    QString serverDigest;

protected:
    int ParseResponse(CBizWinHttpClient &c, int) override
    {
        CBizXmlDocument doc;
        return ReadResponseElement(c, QStringLiteral("createResponse"), doc)
                       .FindPath({QStringLiteral("file"), QStringLiteral("digest")})
                       .IsNull()
                   ? 0
                   : 1;
    }
};

class CGet : public CPathRequest
{
public:
    CGet(const QString &key, qint32 folder, const QString &path, const QString &local)
        : CPathRequest(QStringLiteral("file/get"), key, folder, path)
        , m_local(local)
    {}
    QString digest;

protected:
    int ParseResponse(CBizWinHttpClient &c, int) override
    {
        qint64 length = 0;
        return c.DownloadToFile(m_local, false, &digest, &length);
    }
    QString m_local;
};

// Child modes: run inside the installation folder (cwd).
int child(const QStringList &a)
{
    AppState::SetNoUiMode(true);
    // As the application runs: no per-request debug lines.
    QLoggingCategory::setFilterRules(QStringLiteral("velquor.*.info=false\nvelquor.*.debug=false"));
    const QString mode = a.value(0);
    try {
        if (mode == QLatin1String("qnam")) {
            // a: key url count
            QNetworkAccessManager nam;
            nam.setProxy(QNetworkProxy::NoProxy);
            QNetworkRequest request{QUrl(a[2])};
            request.setRawHeader("x-velquor-access-key", a[1].toUtf8());
            request.setRawHeader("Accept-Encoding", "identity");
            request.setAttribute(QNetworkRequest::Http2AllowedAttribute, false);
            const int n = a[3].toInt();
            for (int i = 0; i < n; ++i) {
                QNetworkReply *reply = nam.get(request);
                QEventLoop loop;
                QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
                loop.exec();
                const bool ok
                    = reply->error() == QNetworkReply::NoError && !reply->readAll().isEmpty();
                delete reply;
                if (!ok)
                    return 2;
            }
            return 0;
        }
        if (mode == QLatin1String("upload")) {
            CUpload up(QStringLiteral("file/create"), CFixedAccessKey(a[1]), a[2].toInt(), a[3],
                       a[4]);
            return up.ExecutePost() ? 0 : 2;
        }
        if (mode == QLatin1String("download")) {
            CGet get(a[1], a[2].toInt(), a[3], a[4]);
            if (!get.ExecuteGet())
                return 2;
            std::printf("%s\n", qPrintable(get.digest));
            return 0;
        }
        if (mode == QLatin1String("small")) {
            const int n = a[3].toInt();
            for (int i = 0; i < n; ++i) {
                CListRequest list(a[1], a[2]);
                if (!list.ExecuteGet())
                    return 2;
            }
            return 0;
        }
    } catch (const CBizException &e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 3;
    }
    return 1;
}

// The medians of `rounds` alternating runs of each command; peak RSS is the largest seen.
struct SPair
{
    SRun client;
    SRun curl;
};

SRun median(std::vector<SRun> runs)
{
    std::sort(runs.begin(), runs.end(),
              [](const SRun &a, const SRun &b) { return a.seconds < b.seconds; });
    SRun m = runs[runs.size() / 2];
    for (const SRun &r : runs) {
        m.peakKb = std::max(m.peakKb, r.peakKb);
        if (r.exitCode != 0)
            m.exitCode = r.exitCode;
    }
    return m;
}

SPair measurePair(const QStringList &client, const QStringList &curl, int rounds)
{
    std::vector<SRun> a;
    std::vector<SRun> b;
    for (int i = 0; i < rounds; ++i) {
        a.push_back(spawnAndMeasure(client));
        b.push_back(spawnAndMeasure(curl));
    }
    return {median(a), median(b)};
}

void report(const char *what, const SRun &client, const SRun &curl, double mb)
{
    if (mb > 0)
        std::printf("%-10s client %7.2f s %8.1f MB/s %7.1f MB peak | curl %7.2f s %8.1f MB/s %7.1f "
                    "MB peak | ratio %.2f\n",
                    what, client.seconds, mb / client.seconds, client.peakKb / 1024.0, curl.seconds,
                    mb / curl.seconds, curl.peakKb / 1024.0, curl.seconds / client.seconds);
    else
        std::printf("%-10s client %7.2f s %7.1f MB peak | curl %7.2f s %7.1f MB peak\n", what,
                    client.seconds, client.peakKb / 1024.0, curl.seconds, curl.peakKb / 1024.0);
    if (client.exitCode != 0 || curl.exitCode != 0)
        std::printf("  (exit codes: client %d, curl %d)\n", client.exitCode, curl.exitCode);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    if (args.value(0) == QLatin1String("--child"))
        return child(args.mid(1));
    const qint64 sizeMb = args.value(0, QStringLiteral("256")).toLongLong();
    const int requests = args.value(1, QStringLiteral("1000")).toInt();
    const int rounds = std::max(1, args.value(2, QStringLiteral("5")).toInt());

    QTemporaryDir dir;
    QDir::setCurrent(dir.path());
    AppState::SetNoUiMode(true);
    QDir().mkpath(QStringLiteral("vqrdata"));

    CBenchServer server;
    if (server.Start({}, {}, true, 10000) == 0)
        return 1;
    const QString base = server.base();
    WriteServerVqr(server.port());
    CRegisterRequest reg;
    reg.ExecutePost();
    CLoginRequest login(reg.clientKey);
    login.ExecutePost();
    const QString key = login.accessKey;
    const QString folder = QString::number(server.FolderId(QStringLiteral("経理/2024")));

    // The file to move.
    const QString file = dir.path() + QStringLiteral("/bench.bin");
    {
        QFile f(file);
        f.open(QIODevice::WriteOnly);
        QByteArray block(1 << 20, Qt::Uninitialized);
        QRandomGenerator gen(1);
        for (qint64 i = 0; i < sizeMb; ++i) {
            gen.fillRange(reinterpret_cast<quint32 *>(block.data()), block.size() / 4);
            f.write(block);
        }
    }
    const QString self = QCoreApplication::applicationFilePath();
    const double mb = double(sizeMb);
    std::printf("devserver %s, file %lld MB, %d small requests\n", qPrintable(base), sizeMb,
                requests);

    const QString keyHeader = QStringLiteral("x-velquor-access-key: ") + key;
    const QString api = base + QStringLiteral("/apps/api/apis/");
    std::printf("%d rounds each, medians\n", rounds);

    // Upload first: it also puts the file on the server for the downloads.
    const SPair up = measurePair(
        {self, QStringLiteral("--child"), QStringLiteral("upload"), key, folder,
         QStringLiteral("/bench.bin"), file},
        {QStringLiteral("curl"), QStringLiteral("-sf"), QStringLiteral("-o"),
         QStringLiteral("/dev/null"), QStringLiteral("-H"), keyHeader, QStringLiteral("-F"),
         QStringLiteral("workspaceId=") + folder, QStringLiteral("-F"),
         QStringLiteral("path=/bench-curl.bin"), QStringLiteral("-F"),
         QStringLiteral("file=@") + file, api + QStringLiteral("file/create")},
        rounds);
    report("upload", up.client, up.curl, mb);

    const SPair down
        = measurePair({self, QStringLiteral("--child"), QStringLiteral("download"), key, folder,
                       QStringLiteral("/bench.bin"), dir.path() + QStringLiteral("/d1.bin")},
                      {QStringLiteral("curl"), QStringLiteral("-sf"), QStringLiteral("-o"),
                       dir.path() + QStringLiteral("/d2.bin"), QStringLiteral("-H"), keyHeader,
                       api + QStringLiteral("file/get?workspaceId=") + folder
                           + QStringLiteral("&path=/bench.bin")},
                      rounds);
    report("download", down.client, down.curl, mb);

    const QString listUrl
        = api + QStringLiteral("workspace/list?workspaceId=") + folder + QStringLiteral("&limit=3");
    QStringList curlArgs
        = {QStringLiteral("curl"), QStringLiteral("-sf"), QStringLiteral("-H"), keyHeader};
    for (int i = 0; i < requests; ++i)
        curlArgs << QStringLiteral("-o") << QStringLiteral("/dev/null") << listUrl;
    const SPair small = measurePair({self, QStringLiteral("--child"), QStringLiteral("small"), key,
                                     folder, QString::number(requests)},
                                    curlArgs, rounds);
    report("small", small.client, small.curl, 0);
    std::vector<SRun> bare;
    for (int i = 0; i < rounds; ++i)
        bare.push_back(spawnAndMeasure({self, QStringLiteral("--child"), QStringLiteral("qnam"),
                                        key, listUrl, QString::number(requests)}));
    const SRun qt = median(bare);
    std::printf("per request: client %.3f ms, bare Qt %.3f ms, curl (one connection) %.3f ms; "
                "ratio to curl %.2f (bare Qt %.2f)\n",
                small.client.seconds * 1000 / requests, qt.seconds * 1000 / requests,
                small.curl.seconds * 1000 / requests, small.client.seconds / small.curl.seconds,
                qt.seconds / small.curl.seconds);
    if (qt.exitCode != 0)
        std::printf("  (exit code: bare Qt %d)\n", qt.exitCode);
    server.Stop(30000);
    return 0;
}
