// The edit cycle against its reference tools, both measured in the same run, signed in as
// yamada at office "demo" against the devserver's demo seed:
//
//  1. Open for editing of a 100 MiB file of random bytes that is not cached (OpenForEditing
//     with noLaunch: the record fetched, the lock, the download with its digest check, the
//     edit copy, the working copy), next to curl fetching the same file/get into a file
//     plus cp of that file. No application is started: noLaunch hands the path back, and
//     on Linux the start itself costs nothing worth measuring. The file is uploaded once
//     beforehand; after every round its cache copy is deleted (the send released the lock),
//     so every open downloads it.
//  2. The send of that file after a change (one byte of the working copy rewritten):
//     working copy onto the edit copy, its digest, the upload, the history copy (yamada
//     keeps 3 generations), the edit copy made the cache copy, the unlock. Next to curl
//     uploading the same bytes (file/create of another name) plus md5sum of them plus two
//     cp. The service's digest of the sent file is checked against md5sum's.
//  3. IsFileInUse over 1,000 files in this process (one of them flock'ed here, which counts),
//     and ListUnsent over 1,000 edit copies with working copies in 40 folders.
//
// Where the time goes is printed under each figure, measured in child processes of their
// own in every round: one small request, the client's download (digest on its thread), a
// bare QNetworkAccessManager download of the same file, the client's MD5 of it alone, the
// client's file copy; for the send the copy, the client's MD5 of the file, the client's
// upload, a bare Qt form upload of the same bytes, the deletion of one such file. The
// reference's tools are timed one by one. The CPU time (user + system) of the client's
// child, of the reference's tools and of each step's download and upload is printed too:
// two cores are shared with the devserver here, so a digest on a thread of its own is not
// free.
//
// Every measured client run is a child process (this executable again) under /usr/bin/time,
// so its peak RSS is its own; the sign-in of each child is outside its timed operation but
// inside the child's wall time, printed as well. Only one client process works on the
// installation (HOME, XDG folders, working directory) at any time: this process never
// builds the client's system objects, and the children run one after the other. Client
// and reference alternate `rounds` times; the figures are medians (this machine is shared,
// single runs scatter). A sync before every measured step keeps one step's write-back out
// of the next one's time. Nothing is asserted.
//
//   bench_editcycle [rounds=5]
#include "account/LoginManager.h"
#include "account/LoginRecord.h"
#include "app/SharedGuiSystem.h"
#include "app/System.h"
#include "core/AppState.h"
#include "core/BizException.h"
#include "core/FileStates.h"
#include "core/FileSystem.h"
#include "core/Messages.h"
#include "core/Paths.h"
#include "files/FileRequests.h"
#include "files/FileTypeManager.h"
#include "files/LocalFileManager.h"
#include "files/SharedFileManager.h"
#include "folders/LocalWorkspaceManager.h"
#include "folders/SharedWorkspaceManager.h"
#include "service/MessageDigest.h"

#include "BenchServer.h"
#include "ClientSignIn.h"
#include "Measure.h"
#include "Processes.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QUrlQuery>

#include <algorithm>
#include <cstdio>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <unistd.h>
#include <vector>

namespace {

using namespace bench;

constexpr STable kTable(50);

constexpr qint64 kFileSize = 100 * 1024 * 1024;
const QString kFolderPath = QStringLiteral("経理/2024");
// xlsx: a type the demo seed opens for editing.
const QString kName = QStringLiteral("bench100.xlsx");
const QString kRefName = QStringLiteral("ref-upload.xlsx");
const QString kSplitName = QStringLiteral("split-upload.xlsx");
const QString kBareName = QStringLiteral("split-bare.xlsx");
constexpr int kInUseFiles = 1000;
constexpr int kUnsentTop = 10;
constexpr int kUnsentSub = 4;
constexpr int kUnsentPerFolder = 25;

void Prepare()
{
    PrepareNoUi(IDOK);
}

// --- child processes ------------------------------------------------------------------------

// a: folder id, file size. Prints (ms): the open, the sign-in before it; the working
// copy's path.
int ChildOpen(const QStringList &a)
{
    const qint32 folder = a.value(0).toInt();
    CSystemObjects systems;
    QElapsedTimer timer;
    timer.start();
    if (!SignInAsYamada(systems))
        return 2;
    const double signInMs = Ms(timer);
    bool refresh = false;
    QString opened;
    timer.restart();
    const bool ok = systems.sharedGui()->OpenForEditing(folder, u'/' + kName, nullptr, true,
                                                        &refresh, &opened);
    const double openMs = Ms(timer);
    if (!ok)
        return 3;
    CLocalFileManager *cache = systems.local()->localFiles();
    if (QFileInfo(opened).size() != a.value(1).toLongLong()
        || !QFileInfo::exists(cache->EditCopyPath(folder, kName)))
        return 4;
    std::printf("figures %.3f %.3f\n", openMs, signInMs);
    std::printf("working %s\n", qPrintable(opened));
    return 0;
}

// a: folder id. Prints (ms): the send, the sign-in before it; the cache copy's path.
int ChildSend(const QStringList &a)
{
    const qint32 folder = a.value(0).toInt();
    CSystemObjects systems;
    QElapsedTimer timer;
    timer.start();
    if (!SignInAsYamada(systems))
        return 2;
    const double signInMs = Ms(timer);
    CLocalFileManager *cache = systems.local()->localFiles();
    const QString working = cache->WorkingCopyPath(folder, kName);
    int sent = 0;
    timer.restart();
    const bool ok = systems.sharedGui()->SendFile(folder, u'/' + kName, false, &sent);
    const double sendMs = Ms(timer);
    if (!ok || sent != 1)
        return 3;
    const QString cached = cache->CachePath(folder, kName);
    if (!QFileInfo(cached).isFile() || QFileInfo::exists(working))
        return 4;
    std::printf("figures %.3f %.3f\n", sendMs, signInMs);
    std::printf("cache %s\n", qPrintable(cached));
    return 0;
}

QNetworkRequest BareRequest(const QString &base, const QString &operation, const QUrlQuery &query,
                            const QString &key)
{
    QUrl url(base + QStringLiteral("/apps/api/apis/") + operation);
    url.setQuery(query);
    QNetworkRequest request(url);
    request.setRawHeader("x-velquor-access-key", key.toUtf8());
    request.setAttribute(QNetworkRequest::Http2AllowedAttribute, false);
    return request;
}

int WaitForReply(QNetworkReply *reply)
{
    QEventLoop loop;
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    if (!reply->isFinished())
        loop.exec();
    return reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
}

// The transport's floor for the download: a bare QNetworkAccessManager into a file, with the
// client's read buffer and block sizes, no digest.
double BareGet(const QString &base, const QString &key, qint32 folder, const QString &target,
               double *cpuMs)
{
    QNetworkAccessManager manager;
    manager.setProxy(QNetworkProxy::NoProxy);
    QFile out(target);
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered))
        return -1;
    QUrlQuery query;
    query.addQueryItem(QStringLiteral("workspaceId"), QString::number(folder));
    query.addQueryItem(QStringLiteral("path"),
                       QString::fromLatin1(QUrl::toPercentEncoding(u'/' + kName)));
    const double cpu = CpuMs(RUSAGE_SELF);
    QElapsedTimer timer;
    timer.start();
    QNetworkReply *reply = manager.get(BareRequest(base, QStringLiteral("file/get"), query, key));
    reply->setReadBufferSize(2 << 20);
    // One block, reused: no allocation per read.
    QByteArray block(64 * 1024, Qt::Uninitialized);
    auto drain = [&] {
        for (qint64 n; (n = reply->read(block.data(), block.size())) > 0;)
            out.write(block.constData(), n);
    };
    QObject::connect(reply, &QNetworkReply::readyRead, reply, drain);
    const int status = WaitForReply(reply);
    drain();
    out.close();
    const double ms = Ms(timer);
    *cpuMs = CpuMs(RUSAGE_SELF) - cpu;
    delete reply;
    return status == 200 && QFileInfo(target).size() == kFileSize ? ms : -1;
}

// The transport's floor for the upload: the whole form body, written beforehand (untimed)
// into one file, streamed by a bare QNetworkAccessManager from that file to file/create.
double BareUpload(const QString &base, const QString &key, qint32 folder, const QString &source,
                  const QString &name, const QString &bodyPath, double *cpuMs)
{
    const QByteArray boundary = "velquor-bench-boundary-7f3a";
    {
        QFile body(bodyPath);
        QFile in(source);
        if (!body.open(QIODevice::WriteOnly | QIODevice::Truncate) || !in.open(QIODevice::ReadOnly))
            return -1;
        auto field = [&](const QByteArray &fieldName, const QByteArray &value) {
            body.write("--" + boundary + "\r\ncontent-disposition: form-data; name=\"" + fieldName
                       + "\"\r\n\r\n" + value + "\r\n");
        };
        field("workspaceId", QByteArray::number(folder));
        field("path", (u'/' + name).toUtf8());
        body.write("--" + boundary
                   + "\r\ncontent-disposition: form-data; name=\"file\"; filename=\""
                   + name.toUtf8() + "\"\r\nContent-type: application/octet-stream\r\n\r\n");
        QByteArray block(1 << 20, Qt::Uninitialized);
        for (qint64 n; (n = in.read(block.data(), block.size())) > 0;)
            body.write(block.constData(), n);
        body.write("\r\n--" + boundary + "--\r\n");
    }
    Sync();
    QFile body(bodyPath);
    if (!body.open(QIODevice::ReadOnly))
        return -1;
    QNetworkAccessManager manager;
    manager.setProxy(QNetworkProxy::NoProxy);
    QNetworkRequest request = BareRequest(base, QStringLiteral("file/create"), {}, key);
    request.setHeader(QNetworkRequest::ContentTypeHeader,
                      QByteArray("multipart/form-data; boundary=" + boundary));
    request.setHeader(QNetworkRequest::ContentLengthHeader, body.size());
    const double cpu = CpuMs(RUSAGE_SELF);
    QElapsedTimer timer;
    timer.start();
    QNetworkReply *reply = manager.post(request, &body);
    const int status = WaitForReply(reply);
    reply->readAll();
    const double ms = Ms(timer);
    *cpuMs = CpuMs(RUSAGE_SELF) - cpu;
    delete reply;
    body.close();
    QFile::remove(bodyPath);
    return status == 200 ? ms : -1;
}

// Two file/info requests: what each small request of the cycle (info, lock, unlock) costs.
double SmallRequestMs(const QString &key, qint32 folder)
{
    QElapsedTimer timer;
    timer.start();
    for (int i = 0; i < 2; ++i) {
        CSharedFileRecord record;
        CFileInfoRequest info(key, folder, u'/' + kName, &record);
        if (!info.ExecuteGet())
            return -1;
    }
    return Ms(timer) / 2;
}

// An open step by step, outside the installation's copies. a: base URL, access
// key (of another installation of yamada: the download needs no lock), folder id, digest,
// scratch folder. Prints (ms): one small request, the client's download with its digest,
// the bare Qt download, the client's copy of the downloaded file, the client's MD5 of that
// file; the CPU time of the two downloads.
int ChildSplitOpen(const QStringList &a)
{
    const QString base = a.value(0);
    const QString key = a.value(1);
    const qint32 folder = a.value(2).toInt();
    const QString digest = a.value(3);
    const QString scratch = a.value(4);
    const double small = SmallRequestMs(key, folder);
    const QString got = scratch + QStringLiteral("/get.bin");
    Sync();
    const double cpu = CpuMs(RUSAGE_SELF);
    QElapsedTimer timer;
    timer.start();
    CFileGetRequest get(key, folder, u'/' + kName, digest, got);
    if (!get.ExecuteGet() || QFileInfo(got).size() != kFileSize)
        return 2;
    const double getMs = Ms(timer);
    const double getCpu = CpuMs(RUSAGE_SELF) - cpu;
    // Right after the download, as the open makes the working copy.
    timer.restart();
    CopyFileTo(got, scratch + QStringLiteral("/copy.bin"));
    const double copyMs = Ms(timer);
    // What the download's digest costs on its own, whatever it overlaps with.
    timer.restart();
    const QString md5 = Md5HexOfFile(got);
    const double md5Ms = Ms(timer);
    Sync();
    double bareCpu = 0;
    const double bareMs
        = BareGet(base, key, folder, scratch + QStringLiteral("/bare.bin"), &bareCpu);
    for (const char *f : {"/get.bin", "/bare.bin", "/copy.bin"})
        QFile::remove(scratch + QLatin1String(f));
    if (small < 0 || bareMs < 0 || !DigestEquals(md5, digest))
        return 3;
    std::printf("figures %.3f %.3f %.3f %.3f %.3f %.3f %.3f\n", small, getMs, bareMs, copyMs, md5Ms,
                getCpu, bareCpu);
    return 0;
}

// A send step by step. a: base URL, access key, folder id, the sent bytes,
// scratch folder. Prints (ms): the copy onto the edit copy, the client's MD5 of it, the
// client's upload, the bare Qt upload, the history copy, one small request, the deletion of
// one such file; the CPU time of the two uploads.
int ChildSplitSend(const QStringList &a)
{
    const QString base = a.value(0);
    const QString key = a.value(1);
    const qint32 folder = a.value(2).toInt();
    const QString source = a.value(3);
    const QString scratch = a.value(4);
    const QString edit = scratch + QStringLiteral("/edit.bin");
    Sync();
    QElapsedTimer timer;
    timer.start();
    CopyFileTo(source, edit);
    const double copyMs = Ms(timer);
    Sync();
    CLocalFileManager local(nullptr, nullptr, nullptr); // a new one: no digest remembered
    timer.restart();
    const QString digest = local.Digest(edit);
    const double digestMs = Ms(timer);
    Sync();
    CSharedFileRecord uploaded;
    const double cpu = CpuMs(RUSAGE_SELF);
    timer.restart();
    CFileCreateRequest upload(key, folder, u'/' + kSplitName, edit, &uploaded);
    if (!upload.ExecutePost())
        return 2;
    const double uploadMs = Ms(timer);
    const double uploadCpu = CpuMs(RUSAGE_SELF) - cpu;
    if (uploaded.digest.compare(digest, Qt::CaseInsensitive) != 0)
        return 3;
    double bareCpu = 0;
    const double bareMs = BareUpload(base, key, folder, edit, kBareName,
                                     scratch + QStringLiteral("/body.bin"), &bareCpu);
    Sync();
    timer.restart();
    CopyFileTo(edit, scratch + QStringLiteral("/history.bin"));
    const double historyMs = Ms(timer);
    const double small = SmallRequestMs(key, folder);
    // A send frees 100 MiB files as well: the edit copy the commit replaces, the working
    // copy, the history copy replaced or pruned.
    Sync();
    timer.restart();
    QFile::remove(scratch + QStringLiteral("/history.bin"));
    const double freeMs = Ms(timer);
    QFile::remove(edit);
    if (bareMs < 0 || small < 0)
        return 4;
    std::printf("figures %.3f %.3f %.3f %.3f %.3f %.3f %.3f %.3f %.3f\n", copyMs, digestMs,
                uploadMs, bareMs, historyMs, small, freeMs, uploadCpu, bareCpu);
    return 0;
}

// --- the reference tools ------------------------------------------------------------------

// The devserver's "file" hook: id size digest lockKey.
QStringList ServiceFields(const CBenchServer &server, qint32 folder, const QString &name)
{
    return server
        .Hook(QStringLiteral("file"),
              {QStringLiteral("-d"), QStringLiteral("workspaceId=%1").arg(folder),
               QStringLiteral("-d"), QStringLiteral("path=/") + name})
        .trimmed()
        .split(u' ');
}

// Rewrites one byte of the file: a change of the same size, never seen before.
bool ChangeOneByte(const QString &path, qint64 offset)
{
    QFile f(path);
    char byte = 0;
    if (!f.open(QIODevice::ReadWrite) || !f.seek(offset) || f.read(&byte, 1) != 1)
        return false;
    byte = char(byte ^ 0x5a);
    return f.seek(offset) && f.write(&byte, 1) == 1;
}

// --- 1. and 2. the edit cycle -------------------------------------------------------------

struct SEditResult
{
    // open
    double open = 0, openWall = 0, openSignIn = 0, refOpen = 0, curlGet = 0, cpOpen = 0;
    double small = 0, clientGet = 0, bareGet = 0, clientCopy = 0, openMd5 = 0;
    double openCpu = 0, refOpenCpu = 0, getCpu = 0, bareGetCpu = 0; // user + system
    long openPeakKb = 0;
    // send
    double send = 0, sendWall = 0, sendSignIn = 0, refSend = 0, curlUpload = 0, md5sum = 0,
           cpSend = 0;
    double sendCopy = 0, sendDigest = 0, clientUpload = 0, bareUpload = 0, historyCopy = 0,
           sendSmall = 0, sendFree = 0;
    double sendCpu = 0, refSendCpu = 0, uploadCpu = 0, bareUploadCpu = 0;
    long sendPeakKb = 0;
    int openFailures = 0, sendFailures = 0, splitFailures = 0, lockMismatches = 0,
        digestMismatches = 0, rounds = 0;
    bool ok = false;
};

SEditResult BenchEdit(const QString &work, int rounds)
{
    SEditResult result;
    const QString install = work + QStringLiteral("/install");
    const QString scratch = work + QStringLiteral("/scratch");
    QDir().mkpath(install);
    QDir().mkpath(scratch);
    QDir::setCurrent(install);
    CBenchServer server;
    const quint16 port = server.Start(QStringLiteral("demo"), work + QStringLiteral("/server"));
    if (port == 0 || !WriteServerVqr(port)) {
        std::fprintf(stderr, "edit: devserver did not start\n");
        return result;
    }
    const QString base = server.base();
    const QString api = server.api();
    const qint32 folder = server.FolderId(kFolderPath);
    const QString key = server.ReferenceKey();
    const QString keyHeader = QStringLiteral("x-velquor-access-key: ") + key;

    // The file: random bytes, uploaded once.
    const QString source = work + QStringLiteral("/source.bin");
    {
        QFile f(source);
        QByteArray block(1 << 20, Qt::Uninitialized);
        QRandomGenerator random(11);
        if (!f.open(QIODevice::WriteOnly))
            return result;
        for (qint64 done = 0; done < kFileSize; done += block.size()) {
            random.fillRange(reinterpret_cast<quint32 *>(block.data()), block.size() / 4);
            f.write(block);
        }
    }
    const QString created
        = Curl({QStringLiteral("-H"), keyHeader, QStringLiteral("-H"), QStringLiteral("Expect:"),
                QStringLiteral("-F"), QStringLiteral("workspaceId=%1").arg(folder),
                QStringLiteral("-F"), QStringLiteral("path=/") + kName, QStringLiteral("-F"),
                QStringLiteral("file=@") + source, api + QStringLiteral("file/create")});
    QFile::remove(source);
    const QStringList fields = ServiceFields(server, folder, kName);
    if (folder <= 0 || key.isEmpty() || fields.value(1).toLongLong() != kFileSize) {
        std::fprintf(stderr, "edit: the file was not created: %s\n", qPrintable(created));
        return result;
    }
    const QString peakFile = work + QStringLiteral("/peak.txt");
    const SChildRun signIn = RunChild(peakFile, {QStringLiteral("signin")});
    const QString clientKey = signIn.lines.value(QStringLiteral("clientkey"));
    if (signIn.exitCode != 0 || clientKey.isEmpty()) {
        std::fprintf(stderr, "edit: sign-in failed (exit %d)\n", signIn.exitCode);
        return result;
    }
    std::printf("edit: %s/%s, %lld MiB of random bytes, folder %d\n", qPrintable(kFolderPath),
                qPrintable(kName), kFileSize >> 20, folder);
    std::fflush(stdout);

    const QString getUrl = api
                           + QStringLiteral("file/get?workspaceId=%1&path=%2")
                                 .arg(folder)
                                 .arg(QString::fromLatin1(QUrl::toPercentEncoding(u'/' + kName)));
    const QString refDownload = scratch + QStringLiteral("/ref-get.bin");
    const QString refCopy = scratch + QStringLiteral("/ref-cp.bin");
    const QString refSent = work + QStringLiteral("/ref-sent.bin");
    const QString refCopy1 = scratch + QStringLiteral("/ref-edit.bin");
    const QString refCopy2 = scratch + QStringLiteral("/ref-history.bin");
    // A first upload of the reference's name: every timed one overwrites, like an update.
    {
        QFile first(refSent);
        if (!first.open(QIODevice::WriteOnly) || first.write("first\n") != 6)
            return result;
    }
    auto curlUpload = [&](const QString &path) {
        return RunTool(QStringLiteral("curl"),
                       {QStringLiteral("-s"), QStringLiteral("-f"), QStringLiteral("--noproxy"),
                        QStringLiteral("*"), QStringLiteral("-o"), QStringLiteral("/dev/null"),
                        QStringLiteral("-H"), keyHeader, QStringLiteral("-H"),
                        QStringLiteral("Expect:"), QStringLiteral("-F"),
                        QStringLiteral("workspaceId=%1").arg(folder), QStringLiteral("-F"),
                        QStringLiteral("path=/") + kRefName, QStringLiteral("-F"),
                        QStringLiteral("file=@") + path, api + QStringLiteral("file/create")});
    };
    curlUpload(refSent);

    std::vector<double> open, openWall, openSignIn, refOpen, curlGet, cpOpen, small, clientGet,
        bareGet, clientCopy, openMd5, openCpu, refOpenCpu, getCpu, bareGetCpu;
    std::vector<double> send, sendWall, sendSignIn, refSend, curlUp, md5, cpSend, sendCopy,
        sendDigest, clientUpload, bareUpload, historyCopy, sendSmall, sendFree, sendCpu, refSendCpu,
        uploadCpu, bareUploadCpu;
    for (int i = 0; i < rounds; ++i) {
        // 1. open: the client, then the reference.
        Sync();
        double cpu = CpuMs(RUSAGE_CHILDREN);
        const SChildRun opened
            = RunChild(peakFile, {QStringLiteral("open"), QString::number(folder),
                                  QString::number(kFileSize)});
        const QString working = opened.lines.value(QStringLiteral("working"));
        if (opened.exitCode != 0 || working.isEmpty()) {
            ++result.openFailures;
            std::fprintf(stderr, "open child failed (exit %d)\n", opened.exitCode);
            break;
        }
        if (ServiceFields(server, folder, kName).value(3) != clientKey)
            ++result.lockMismatches;
        openCpu.push_back(CpuMs(RUSAGE_CHILDREN) - cpu);
        open.push_back(opened.Figure(0));
        openSignIn.push_back(opened.Figure(1));
        openWall.push_back(opened.wallMs);
        result.openPeakKb = std::max(result.openPeakKb, opened.peakKb);

        QFile::remove(refDownload);
        QFile::remove(refCopy);
        Sync();
        cpu = CpuMs(RUSAGE_CHILDREN);
        const double get
            = RunTool(QStringLiteral("curl"),
                      {QStringLiteral("-s"), QStringLiteral("-f"), QStringLiteral("--noproxy"),
                       QStringLiteral("*"), QStringLiteral("-H"), keyHeader, QStringLiteral("-o"),
                       refDownload, getUrl});
        const double cp = RunTool(QStringLiteral("cp"), {refDownload, refCopy});
        if (get >= 0 && cp >= 0 && QFileInfo(refCopy).size() == kFileSize) {
            curlGet.push_back(get);
            cpOpen.push_back(cp);
            refOpen.push_back(get + cp);
            refOpenCpu.push_back(CpuMs(RUSAGE_CHILDREN) - cpu);
        }
        QFile::remove(refDownload);
        QFile::remove(refCopy);

        Sync();
        const QString serviceDigest = ServiceFields(server, folder, kName).value(2);
        const SChildRun splitOpen
            = RunChild(peakFile, {QStringLiteral("split-open"), base, key, QString::number(folder),
                                  serviceDigest, scratch});
        if (splitOpen.exitCode == 0) {
            small.push_back(splitOpen.Figure(0));
            clientGet.push_back(splitOpen.Figure(1));
            bareGet.push_back(splitOpen.Figure(2));
            clientCopy.push_back(splitOpen.Figure(3));
            openMd5.push_back(splitOpen.Figure(4));
            getCpu.push_back(splitOpen.Figure(5));
            bareGetCpu.push_back(splitOpen.Figure(6));
        } else {
            ++result.splitFailures;
            std::fprintf(stderr, "split-open child failed (exit %d)\n", splitOpen.exitCode);
        }

        // The change, and the same bytes for the reference.
        if (!ChangeOneByte(working, (i * 7919 + 1) % kFileSize)) {
            std::fprintf(stderr, "the working copy could not be changed\n");
            break;
        }
        QFile::remove(refSent);
        QFile::copy(working, refSent);

        // 2. send: the client, then the reference.
        Sync();
        cpu = CpuMs(RUSAGE_CHILDREN);
        const SChildRun sent
            = RunChild(peakFile, {QStringLiteral("send"), QString::number(folder)});
        const QString cached = sent.lines.value(QStringLiteral("cache"));
        if (sent.exitCode != 0 || cached.isEmpty()) {
            ++result.sendFailures;
            std::fprintf(stderr, "send child failed (exit %d)\n", sent.exitCode);
            break;
        }
        sendCpu.push_back(CpuMs(RUSAGE_CHILDREN) - cpu);
        send.push_back(sent.Figure(0));
        sendSignIn.push_back(sent.Figure(1));
        sendWall.push_back(sent.wallMs);
        result.sendPeakKb = std::max(result.sendPeakKb, sent.peakKb);

        QFile::remove(refCopy1);
        QFile::remove(refCopy2);
        Sync();
        QString md5Out;
        cpu = CpuMs(RUSAGE_CHILDREN);
        const double up = curlUpload(refSent);
        const double sum = RunTool(QStringLiteral("md5sum"), {refSent}, &md5Out);
        const double cp1 = RunTool(QStringLiteral("cp"), {refSent, refCopy1});
        const double cp2 = RunTool(QStringLiteral("cp"), {refSent, refCopy2});
        if (up >= 0 && sum >= 0 && cp1 >= 0 && cp2 >= 0) {
            curlUp.push_back(up);
            md5.push_back(sum);
            cpSend.push_back(cp1 + cp2);
            refSend.push_back(up + sum + cp1 + cp2);
            refSendCpu.push_back(CpuMs(RUSAGE_CHILDREN) - cpu);
        }
        QFile::remove(refCopy1);
        QFile::remove(refCopy2);
        const QStringList after = ServiceFields(server, folder, kName);
        if (after.value(2) != md5Out.section(u' ', 0, 0))
            ++result.digestMismatches;
        if (!after.value(3).isEmpty())
            ++result.lockMismatches;

        const SChildRun splitSend = RunChild(peakFile, {QStringLiteral("split-send"), base, key,
                                                        QString::number(folder), refSent, scratch});
        if (splitSend.exitCode == 0) {
            sendCopy.push_back(splitSend.Figure(0));
            sendDigest.push_back(splitSend.Figure(1));
            clientUpload.push_back(splitSend.Figure(2));
            bareUpload.push_back(splitSend.Figure(3));
            historyCopy.push_back(splitSend.Figure(4));
            sendSmall.push_back(splitSend.Figure(5));
            sendFree.push_back(splitSend.Figure(6));
            uploadCpu.push_back(splitSend.Figure(7));
            bareUploadCpu.push_back(splitSend.Figure(8));
        } else {
            ++result.splitFailures;
            std::fprintf(stderr, "split-send child failed (exit %d)\n", splitSend.exitCode);
        }

        // Not cached for the next open: the lock went with the send, the cache copy goes now.
        QFile::remove(cached);
        ++result.rounds;
        std::printf("  round %d: open %.0f ms (reference %.0f), send %.0f ms (reference %.0f)\n",
                    i + 1, open.back(), refOpen.empty() ? 0.0 : refOpen.back(), send.back(),
                    refSend.empty() ? 0.0 : refSend.back());
        std::fflush(stdout);
    }
    QFile::remove(refSent);
    server.Stop();

    result.open = Median(open);
    result.openWall = Median(openWall);
    result.openSignIn = Median(openSignIn);
    result.refOpen = Median(refOpen);
    result.curlGet = Median(curlGet);
    result.cpOpen = Median(cpOpen);
    result.small = Median(small);
    result.clientGet = Median(clientGet);
    result.bareGet = Median(bareGet);
    result.clientCopy = Median(clientCopy);
    result.openMd5 = Median(openMd5);
    result.getCpu = Median(getCpu);
    result.bareGetCpu = Median(bareGetCpu);
    result.openCpu = Median(openCpu);
    result.refOpenCpu = Median(refOpenCpu);
    result.send = Median(send);
    result.sendWall = Median(sendWall);
    result.sendSignIn = Median(sendSignIn);
    result.refSend = Median(refSend);
    result.curlUpload = Median(curlUp);
    result.md5sum = Median(md5);
    result.cpSend = Median(cpSend);
    result.sendCopy = Median(sendCopy);
    result.sendDigest = Median(sendDigest);
    result.clientUpload = Median(clientUpload);
    result.bareUpload = Median(bareUpload);
    result.historyCopy = Median(historyCopy);
    result.sendSmall = Median(sendSmall);
    result.sendFree = Median(sendFree);
    result.uploadCpu = Median(uploadCpu);
    result.bareUploadCpu = Median(bareUploadCpu);
    result.sendCpu = Median(sendCpu);
    result.refSendCpu = Median(refSendCpu);
    result.ok = !open.empty() && !send.empty();
    return result;
}

// --- 3. the in-use test and the unsent files ------------------------------------------------

struct SInUseResult
{
    double inUse = 0, floor = 0, unsent = 0, unsentPlain = 0;
    int inUseCount = -1;
    qsizetype unsentCount = -1, unsentInUse = -1;
};

SInUseResult BenchInUse(const QString &work, int rounds)
{
    SInUseResult result;
    const QString dir = work + QStringLiteral("/inuse");
    QDir().mkpath(dir);
    QStringList paths;
    const QByteArray content(1024, 'x');
    for (int i = 1; i <= kInUseFiles; ++i) {
        const QString path = dir + QStringLiteral("/f%1.xlsx").arg(i, 4, 10, QLatin1Char('0'));
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly) || f.write(content) != content.size())
            return result;
        paths << path;
    }
    // One file held as an editor holds it: the test must find exactly that one.
    const int held
        = ::open(QFile::encodeName(paths.at(kInUseFiles / 2)).constData(), O_RDONLY | O_CLOEXEC);
    if (held < 0 || ::flock(held, LOCK_EX | LOCK_NB) != 0)
        return result;
    std::vector<double> inUse, floor;
    for (int r = 0; r < rounds; ++r) {
        QElapsedTimer timer;
        timer.start();
        int count = 0;
        for (const QString &path : std::as_const(paths))
            count += IsFileInUse(path) ? 1 : 0;
        inUse.push_back(Ms(timer));
        result.inUseCount = count;
        // The floor: one open, one lock query and one close per file on this thread.
        timer.restart();
        for (const QString &path : std::as_const(paths)) {
            const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
            if (fd < 0)
                continue;
            struct flock lock = {};
            lock.l_type = F_WRLCK;
            ::fcntl(fd, F_OFD_GETLK, &lock);
            ::close(fd);
        }
        floor.push_back(Ms(timer));
    }
    ::close(held);
    result.inUse = Median(inUse);
    result.floor = Median(floor);

    // Edit copies with their working copies in 40 folders of a store of their own.
    EnterInstallation(work + QStringLiteral("/unsent"));
    CLoginRecord current(QStringLiteral("demo"), QStringLiteral("yamada"), QString());
    CLoginManager login;
    login.SelectCurrent(&current, false);
    CLocalWorkspaceManager folders(&login);
    CLocalFileManager local(&login, &folders, nullptr);
    for (int t = 0; t < kUnsentTop; ++t) {
        const qint32 top = 9001 + t;
        const QString topName = QStringLiteral("上位%1").arg(t);
        for (int s = 0; s < kUnsentSub; ++s) {
            const qint32 sub = 9101 + t * kUnsentSub + s;
            if (!folders.MirrorPath({top, sub}, {topName, QStringLiteral("下位%1").arg(s)}))
                return result;
            for (int k = 0; k < kUnsentPerFolder; ++k) {
                const QString name = QStringLiteral("d%1.xlsx").arg(k, 3, 10, QLatin1Char('0'));
                for (const QString &path :
                     {local.EditCopyPath(sub, name), local.WorkingCopyPath(sub, name)}) {
                    QDir().mkpath(QFileInfo(path).absolutePath());
                    QFile f(path);
                    if (!f.open(QIODevice::WriteOnly) || f.write(content) != content.size())
                        return result;
                }
            }
        }
    }
    std::vector<double> unsent, plain;
    for (int r = 0; r < rounds; ++r) {
        QElapsedTimer timer;
        timer.start();
        const QList<SUnsentFile> files = local.ListUnsent(true);
        unsent.push_back(Ms(timer));
        result.unsentCount = files.size();
        result.unsentInUse = std::count_if(files.cbegin(), files.cend(),
                                           [](const SUnsentFile &f) { return f.inUse; });
        timer.restart();
        local.ListUnsent(false);
        plain.push_back(Ms(timer));
    }
    result.unsent = Median(unsent);
    result.unsentPlain = Median(plain);
    return result;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    Prepare();
    if (args.value(0) == QLatin1String("--child"))
        return RunChildMode(args.mid(1), {{QStringLiteral("signin"),
                                           [](const QStringList &) { return ChildFirstSignIn(); }},
                                          {QStringLiteral("open"), ChildOpen},
                                          {QStringLiteral("send"), ChildSend},
                                          {QStringLiteral("split-open"), ChildSplitOpen},
                                          {QStringLiteral("split-send"), ChildSplitSend}});
    const int rounds = std::max(1, args.value(0, QStringLiteral("5")).toInt());

    QTemporaryDir work(QStringLiteral("/tmp/velquor-bench-editcycle-XXXXXX"));
    if (!work.isValid())
        return 1;
    // The user-documents areas (history, edit, temp) inside the work folder, for the children
    // too.
    UseHomeIn(work.path());
    std::printf("%d rounds each, client and reference alternating, medians\n", rounds);
    std::fflush(stdout);

    const SEditResult edit = BenchEdit(work.path(), rounds);
    const SInUseResult inUse = BenchInUse(work.path(), rounds);
    QDir::setCurrent(QDir::tempPath());

    const double mb = kFileSize / 1e6;
    std::printf("\nopen for editing of %lld MiB, not cached (%d rounds)\n", kFileSize >> 20,
                edit.rounds);
    kTable.Line("reference: curl file/get + cp", edit.refOpen);
    kTable.Line("  curl file/get into a file", edit.curlGet, "ms",
                QString::asprintf("(%.0f MB/s)", mb / (edit.curlGet / 1000)));
    kTable.Line("  cp of it", edit.cpOpen);
    kTable.Line("  CPU of both (user + system)", edit.refOpenCpu);
    kTable.Line(
        "client: OpenForEditing, noLaunch", edit.open, "ms",
        QString::asprintf("%.2f x reference (goal <= 1.30)", Ratio(edit.open, edit.refOpen)));
    kTable.Line("  one small request (file/info)", edit.small);
    kTable.Line(
        "  the client's download, digest checked", edit.clientGet, "ms",
        QString::asprintf("(%.0f MB/s, CPU %.0f ms)", mb / (edit.clientGet / 1000), edit.getCpu));
    kTable.Line(
        "    floor: bare Qt download into a file", edit.bareGet, "ms",
        QString::asprintf("(%.0f MB/s, CPU %.0f ms)", mb / (edit.bareGet / 1000), edit.bareGetCpu));
    kTable.Line("    MD5 of the file alone (Md5HexOfFile)", edit.openMd5);
    kTable.Line("  the client's copy (working copy)", edit.clientCopy);
    kTable.Line("  the whole child, spawn to exit", edit.openWall, "ms",
                QString::asprintf("(sign-in %.1f ms)", edit.openSignIn));
    kTable.Line("  CPU of the whole child (user + system)", edit.openCpu);
    kTable.Line("peak RSS of the opening process", edit.openPeakKb / 1024.0, "MB",
                QStringLiteral("(goal < 60)"));
    if (edit.openFailures || edit.lockMismatches || edit.splitFailures || !edit.ok)
        std::printf("  (%d failed opens, %d lock states not as expected, %d failed splits)\n",
                    edit.openFailures, edit.lockMismatches, edit.splitFailures);

    std::printf("\nsend of the changed %lld MiB (%d rounds, the service's digest %s md5sum's)\n",
                kFileSize >> 20, edit.rounds,
                edit.digestMismatches == 0 ? "equal to" : "DIFFERENT from");
    kTable.Line("reference: curl upload + md5sum + 2 x cp", edit.refSend);
    kTable.Line("  curl -F upload (file/create)", edit.curlUpload, "ms",
                QString::asprintf("(%.0f MB/s)", mb / (edit.curlUpload / 1000)));
    kTable.Line("  md5sum", edit.md5sum);
    kTable.Line("  2 x cp", edit.cpSend);
    kTable.Line("  CPU of all four (user + system)", edit.refSendCpu);
    kTable.Line(
        "client: SendFile", edit.send, "ms",
        QString::asprintf("%.2f x reference (goal <= 1.30)", Ratio(edit.send, edit.refSend)));
    kTable.Line("  the copy onto the edit copy", edit.sendCopy);
    kTable.Line("  the client's MD5 of it (8 KiB reads)", edit.sendDigest);
    kTable.Line("  the client's upload (file/create)", edit.clientUpload, "ms",
                QString::asprintf("(%.0f MB/s, CPU %.0f ms)", mb / (edit.clientUpload / 1000),
                                  edit.uploadCpu));
    kTable.Line("    floor: bare Qt form upload", edit.bareUpload, "ms",
                QString::asprintf("(%.0f MB/s, CPU %.0f ms)", mb / (edit.bareUpload / 1000),
                                  edit.bareUploadCpu));
    kTable.Line("  the history copy", edit.historyCopy);
    kTable.Line("  one small request (file/info)", edit.sendSmall);
    kTable.Line("  deleting one such file", edit.sendFree, "ms",
                QStringLiteral("(a send frees 2 or 3)"));
    kTable.Line("  the whole child, spawn to exit", edit.sendWall, "ms",
                QString::asprintf("(sign-in %.1f ms)", edit.sendSignIn));
    kTable.Line("  CPU of the whole child (user + system)", edit.sendCpu);
    kTable.Line("peak RSS of the sending process", edit.sendPeakKb / 1024.0, "MB",
                QStringLiteral("(goal < 60)"));
    if (edit.sendFailures || edit.digestMismatches)
        std::printf("  (%d failed sends, %d digests not equal)\n", edit.sendFailures,
                    edit.digestMismatches);

    std::printf("\nin-use test over %d files (%d found in use, 1 held)\n", kInUseFiles,
                inUse.inUseCount);
    kTable.Line("IsFileInUse over all of them", inUse.inUse, "ms", QStringLiteral("(goal < 200)"));
    kTable.Line("  floor: open + F_OFD_GETLK + close, one thread", inUse.floor);
    kTable.Line("ListUnsent(true), working copies in 40 folders", inUse.unsent, "ms",
                QString::asprintf("(%lld files, %lld in use)", qlonglong(inUse.unsentCount),
                                  qlonglong(inUse.unsentInUse)));
    kTable.Line("ListUnsent(false)", inUse.unsentPlain);
    return 0;
}
