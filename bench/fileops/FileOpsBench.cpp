// The file operations on a selection against their reference tools, both measured in the
// same run, signed in as yamada at office "demo" against the devserver's demo seed (its
// maxFileCreate raised to 500, maxFileMove 1,000), in subfolders of a folder group "ベンチ"
// made for the run:
//
//  1. AddFiles of 500 local files of 100 KiB (random bytes, names a0001.txt ...) into an
//     empty folder: the checks, the uploads, the cache copies and the history copies (yamada
//     keeps 3 generations). Next to one curl process uploading the same 500 files one after
//     the other (file/create) on one connection. Every round adds into folders of its own,
//     so nothing is overwritten; from the second round on the service holds the contents
//     already, for both sides alike.
//  2. DownloadFiles of 200 files of 1 MiB into an empty folder: (a) none cached (file/info,
//     the download into the cache with its digest, the copy out), next to one curl process
//     fetching the same 200 file/get into files on one connection; (b) all cached and
//     current (file/info, the digest of the cache copy, the copy out), next to md5sum and cp
//     of the same 200 files. The cache copies go after every round.
//  3. MoveFiles of 1,000 files into another folder, 100 of them (every tenth) locked by
//     suzuki and so refused into the error log: next to one curl process sending the same
//     requests (1,000 file/info, 900 file/move, interleaved as the client sends them), which
//     moves the 900 back for the next round.
//
// Where the time goes is printed under each figure, measured in child processes of their
// own in every round (so the steps only roughly add up to the figure): the client's steps
// of an item, each run over all items in a loop of its own (checks, requests, cache and
// history copies, digests, copies out), with the median request and the requests slower
// than kSlowMs (kSlowGetMs for downloads) counted: a request that waits for a timer, such
// as a delayed ACK, shows there. For the add also the manager's AddFile of one file after
// the other, and curl's own per-transfer times for all. The CPU time (user + system) of the
// client's child and of the reference's tools is printed too: two cores are shared with
// the devserver here.
//
// Every measured client run is a child process (this executable again) under /usr/bin/time,
// so its peak RSS is its own; the sign-in of each child is outside its timed operation but
// inside the child's wall time, printed as well. Only one client process works on the
// installation (HOME, XDG folders, working directory) at any time: this process never
// builds the client's system objects, and the children run one after the other. The message
// sink answers "no" to everything (the error log's question at the end is declined) and no
// confirmation is asked. Client and reference alternate `rounds` times; the figures are
// medians (this machine is shared, single runs scatter). A sync before every measured step
// keeps one step's write-back out of the next one's time. Nothing is asserted.
//
//   bench_fileops [rounds=3]
#include "account/LoginManager.h"
#include "app/SharedGuiSystem.h"
#include "app/System.h"
#include "core/AppState.h"
#include "core/BizException.h"
#include "core/FileStates.h"
#include "core/FileSystem.h"
#include "core/Messages.h"
#include "core/Paths.h"
#include "files/FileRecord.h"
#include "files/FileRequests.h"
#include "files/FileTypeManager.h"
#include "files/LocalFileManager.h"
#include "files/SharedFileManager.h"
#include "folders/SharedWorkspaceManager.h"
#include "service/MessageDigest.h"

#include "BenchServer.h"
#include "ClientSignIn.h"
#include "Measure.h"
#include "Processes.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QUrl>

#include <algorithm>
#include <cstdio>
#include <unistd.h>
#include <vector>

namespace {

using namespace bench;

constexpr STable kTable;

constexpr int kAddCount = 500;
constexpr qint64 kAddSize = 100 * 1024;
constexpr int kGetCount = 200;
constexpr qint64 kGetSize = 1024 * 1024;
constexpr int kMoveCount = 1000;
constexpr int kLockedEvery = 10; // m0010.txt, m0020.txt, ...: 100 held by suzuki
const QString kGroup = QStringLiteral("ベンチ");

int g_messages = 0;

QString AddName(int i)
{
    return QStringLiteral("a%1.txt").arg(i, 4, 10, QLatin1Char('0'));
}

QString GetName(int i)
{
    return QStringLiteral("g%1.txt").arg(i, 3, 10, QLatin1Char('0'));
}

QString MoveName(int i)
{
    return QStringLiteral("m%1.txt").arg(i, 4, 10, QLatin1Char('0'));
}

bool IsLocked(int i)
{
    return i % kLockedEvery == 0;
}

void Prepare()
{
    PrepareNoUi(IDNO, &g_messages);
}

// The files of a folder, by name.
QStringList FilesIn(const QString &dir)
{
    QStringList paths;
    const QStringList names = QDir(dir).entryList(QDir::Files, QDir::Name);
    for (const QString &name : names)
        paths << dir + u'/' + name;
    return paths;
}

// How many files of the folder have exactly size bytes.
int CountSized(const QString &dir, qint64 size)
{
    const QStringList paths = FilesIn(dir);
    return int(std::count_if(paths.cbegin(), paths.cend(),
                             [size](const QString &p) { return QFileInfo(p).size() == size; }));
}

// A step slower than this waited for something (a timer, such as a delayed ACK), not for
// work: a small request or an upload of 100 KiB takes about a millisecond here, a download
// of 1 MiB a few.
constexpr double kSlowMs = 5;
constexpr double kSlowGetMs = 20;

// The steps of a loop, timed one by one: their sum, their median and how many were slow.
struct SLoopTimes
{
    explicit SLoopTimes(double slowAt = kSlowMs)
        : slowMs(slowAt)
    {}
    double slowMs;
    double ms = 0;
    int slow = 0;
    std::vector<double> steps;
    template<typename F>
    bool Time(F &&step)
    {
        QElapsedTimer timer;
        timer.start();
        const bool ok = step();
        const double taken = Ms(timer);
        ms += taken;
        slow += taken > slowMs ? 1 : 0;
        steps.push_back(taken);
        return ok;
    }
    double MedianStep() const { return Median(steps); }
};

// --- child processes ------------------------------------------------------------------------

// A signed-in child: the sign-in's time in *signInMs.
bool SignInTimed(CSystemObjects &systems, double *signInMs)
{
    QElapsedTimer timer;
    timer.start();
    const bool ok = SignInAsYamada(systems);
    *signInMs = Ms(timer);
    return ok;
}

void PrintResult(double ms, double signInMs, const SOperationResult &result)
{
    std::printf("figures %.3f %.3f %d %d %d\n", ms, signInMs, result.succeeded, result.failed,
                g_messages);
}

// a: folder id, folder of the local files. Prints (ms): the add, the sign-in; the items
// added and failed, the messages shown.
int ChildAdd(const QStringList &a)
{
    const qint32 folder = a.value(0).toInt();
    const QStringList paths = FilesIn(a.value(1));
    CSystemObjects systems;
    double signInMs = 0;
    if (!SignInTimed(systems, &signInMs))
        return 2;
    QElapsedTimer timer;
    timer.start();
    const SOperationResult result = systems.sharedGui()->AddFiles(folder, paths, false);
    PrintResult(Ms(timer), signInMs, result);
    return 0;
}

// a: folder id, destination folder, count. Prints (ms): the download, the sign-in; the
// items downloaded and failed, the messages shown, the complete files in the destination;
// the folder of the cache copies.
int ChildGet(const QStringList &a)
{
    const qint32 folder = a.value(0).toInt();
    const QString destination = a.value(1);
    QList<SItemRef> items;
    for (int i = 1; i <= a.value(2).toInt(); ++i)
        items << SItemRef{folder, u'/' + GetName(i), false};
    CSystemObjects systems;
    double signInMs = 0;
    if (!SignInTimed(systems, &signInMs))
        return 2;
    QElapsedTimer timer;
    timer.start();
    const SOperationResult result = systems.sharedGui()->DownloadFiles(items, destination);
    const double ms = Ms(timer);
    std::printf("figures %.3f %.3f %d %d %d %d\n", ms, signInMs, result.succeeded, result.failed,
                g_messages, CountSized(destination, kGetSize));
    std::printf("cachedir %s\n", qPrintable(systems.local()->localFiles()->FolderDir(folder)));
    return 0;
}

// a: source folder id, destination folder id, count. Prints (ms): the move, the sign-in;
// the items moved and failed, the messages shown.
int ChildMove(const QStringList &a)
{
    const qint32 source = a.value(0).toInt();
    const qint32 destination = a.value(1).toInt();
    QList<SItemRef> items;
    for (int i = 1; i <= a.value(2).toInt(); ++i)
        items << SItemRef{source, u'/' + MoveName(i), false};
    CSystemObjects systems;
    double signInMs = 0;
    if (!SignInTimed(systems, &signInMs))
        return 2;
    QElapsedTimer timer;
    timer.start();
    const SOperationResult result = systems.sharedGui()->MoveFiles(items, destination, {}, false);
    PrintResult(Ms(timer), signInMs, result);
    return 0;
}

// An add step by step. a: folder id, another empty folder's id, folder of the local files.
// Prints (ms): the checks, the uploads, the local record lookups, the cache copies, the
// history copies (each over all files, into the first folder); the CPU time of the uploads
// and how many were slower than kSlowMs; the manager's AddFile of every file into the
// second folder (in-use test, upload, cache and history copy of one file after the other,
// as AddFiles runs them) and how many were slow; the median upload and AddFile. Then, on a
// line of its own, the in-use tests of the local files.
int ChildSplitAdd(const QStringList &a)
{
    const qint32 folder = a.value(0).toInt();
    const qint32 second = a.value(1).toInt();
    const QStringList paths = FilesIn(a.value(2));
    CSystemObjects systems;
    if (!SignInAsYamada(systems))
        return 2;
    CSharedGuiSystem *gui = systems.sharedGui();
    CLocalFileManager *cache = systems.local()->localFiles();
    const QString key = systems.main()->loginManager()->accessKey();
    QStringList names;
    QElapsedTimer timer;
    timer.start();
    for (const QString &path : paths) {
        QString folderPath;
        QString target;
        QString error;
        if (!gui->CheckFileName(folder, &folderPath, &target, path, false, {}, &error))
            return 3;
        names << target;
    }
    const double checksMs = Ms(timer);
    timer.restart();
    for (const QString &path : paths)
        IsFileInUse(path);
    const double inUseMs = Ms(timer);
    const double cpu = CpuMs(RUSAGE_SELF);
    SLoopTimes uploads;
    for (qsizetype i = 0; i < paths.size(); ++i) {
        CSharedFileRecord stored;
        CFileCreateRequest create(key, folder, u'/' + names.at(i), paths.at(i), &stored);
        if (!uploads.Time([&] { return create.ExecutePost() != 0; }))
            return 4;
    }
    const double uploadCpu = CpuMs(RUSAGE_SELF) - cpu;
    timer.restart();
    for (const QString &name : std::as_const(names))
        cache->EnsureRecord(folder, name);
    const double recordsMs = Ms(timer);
    timer.restart();
    for (qsizetype i = 0; i < paths.size(); ++i)
        cache->AddOrReplaceLocal(folder, names.at(i), paths.at(i), std::nullopt,
                                 cache->CachePath(folder, names.at(i)), nullptr);
    const double cacheMs = Ms(timer);
    timer.restart();
    for (const QString &name : std::as_const(names))
        cache->KeepHistory(folder, name, cache->CachePath(folder, name));
    const double historyMs = Ms(timer);
    CSharedFileManager *files = systems.shared()->sharedFiles();
    SLoopTimes managed;
    for (qsizetype i = 0; i < paths.size(); ++i) {
        CSharedFileRecord stored;
        if (!managed.Time([&] { return files->AddFile(second, paths.at(i), names.at(i), stored); }))
            return 5;
    }
    std::printf("figures %.3f %.3f %.3f %.3f %.3f %.3f %d %.3f %d %.3f %.3f\n", checksMs,
                uploads.ms, recordsMs, cacheMs, historyMs, uploadCpu, uploads.slow, managed.ms,
                managed.slow, uploads.MedianStep(), managed.MedianStep());
    std::printf("inuse %.3f\n", inUseMs);
    return 0;
}

// A download step by step, outside the installation's copies. a: access key (of another
// installation of yamada), folder id, count, scratch folder. Prints (ms): the file/info
// requests, the downloads with their digests, the copies of the downloaded files, the
// client's digests of them (a new cache manager: nothing remembered); the CPU time of the
// downloads; the digests not equal to the records'; the requests of each kind that took
// longer than kSlowMs.
int ChildSplitGet(const QStringList &a)
{
    const QString key = a.value(0);
    const qint32 folder = a.value(1).toInt();
    const int count = a.value(2).toInt();
    const QString got = a.value(3) + QStringLiteral("/split-get");
    const QString copied = a.value(3) + QStringLiteral("/split-copy");
    QDir().mkpath(got);
    QDir().mkpath(copied);
    std::vector<CSharedFileRecord> records(static_cast<size_t>(count));
    SLoopTimes infos;
    for (int i = 0; i < count; ++i) {
        CFileInfoRequest info(key, folder, u'/' + GetName(i + 1), &records[size_t(i)]);
        if (!infos.Time([&] { return info.ExecuteGet() != 0; }))
            return 2;
    }
    Sync();
    const double cpu = CpuMs(RUSAGE_SELF);
    SLoopTimes gets(kSlowGetMs);
    for (int i = 0; i < count; ++i) {
        CFileGetRequest get(key, folder, u'/' + GetName(i + 1), records[size_t(i)].digest,
                            got + u'/' + GetName(i + 1));
        if (!gets.Time([&] { return get.ExecuteGet() != 0; }))
            return 3;
    }
    const double getCpu = CpuMs(RUSAGE_SELF) - cpu;
    QElapsedTimer timer;
    timer.start();
    for (int i = 1; i <= count; ++i)
        CopyFileTo(got + u'/' + GetName(i), copied + u'/' + GetName(i));
    const double copyMs = Ms(timer);
    CLocalFileManager local(nullptr, nullptr, nullptr);
    int mismatches = 0;
    timer.restart();
    for (int i = 0; i < count; ++i)
        if (!DigestEquals(local.Digest(got + u'/' + GetName(i + 1)), records[size_t(i)].digest))
            ++mismatches;
    const double digestMs = Ms(timer);
    QDir(got).removeRecursively();
    QDir(copied).removeRecursively();
    std::printf("figures %.3f %.3f %.3f %.3f %.3f %d %d %d\n", infos.ms, gets.ms, copyMs, digestMs,
                getCpu, mismatches, infos.slow, gets.slow);
    std::printf("medians %.3f %.3f\n", infos.MedianStep(), gets.MedianStep());
    return 0;
}

// A move step by step. a: source folder id, destination folder id, count. Prints (ms): the
// file/info requests, the name checks, the local record lookups (each over all files), the
// file/move requests of the free files there and back again; the files found locked by
// another client; the file/info and the file/move requests (there) longer than kSlowMs.
int ChildSplitMove(const QStringList &a)
{
    const qint32 source = a.value(0).toInt();
    const qint32 destination = a.value(1).toInt();
    const int count = a.value(2).toInt();
    CSystemObjects systems;
    if (!SignInAsYamada(systems))
        return 2;
    CSharedGuiSystem *gui = systems.sharedGui();
    CLocalFileManager *cache = systems.local()->localFiles();
    const QString key = systems.main()->loginManager()->accessKey();
    const QString clientKey = systems.main()->loginManager()->clientKey();
    QStringList movable;
    SLoopTimes infos;
    for (int i = 1; i <= count; ++i) {
        CSharedFileRecord record;
        CFileInfoRequest info(key, source, u'/' + MoveName(i), &record);
        if (!infos.Time([&] { return info.ExecuteGet() != 0; }))
            return 3;
        if (record.lockKey.isEmpty() || record.lockKey == clientKey)
            movable << MoveName(i);
    }
    QElapsedTimer timer;
    timer.start();
    for (int i = 1; i <= count; ++i) {
        QString target;
        QString error;
        if (!gui->CheckFileName(destination, nullptr, &target, MoveName(i), true, {}, &error))
            return 4;
    }
    const double checksMs = Ms(timer);
    timer.restart();
    for (int i = 1; i <= count; ++i)
        cache->EnsureRecord(source, MoveName(i));
    const double recordsMs = Ms(timer);
    auto moveAll = [&](qint32 from, qint32 to, SLoopTimes &times) {
        for (const QString &name : std::as_const(movable)) {
            CSharedFileRecord moved;
            CFileMoveRequest move(key, from, u'/' + name, to, u'/' + name, &moved);
            if (!times.Time([&] { return move.ExecutePost() != 0; }))
                return false;
        }
        return true;
    };
    SLoopTimes there;
    SLoopTimes back;
    if (!moveAll(source, destination, there))
        return 5;
    if (!moveAll(destination, source, back))
        return 6;
    std::printf("figures %.3f %.3f %.3f %.3f %.3f %lld %d %d\n", infos.ms, checksMs, recordsMs,
                there.ms, back.ms, qlonglong(count - movable.size()), infos.slow, there.slow);
    std::printf("medians %.3f %.3f\n", infos.MedianStep(), there.MedianStep());
    return 0;
}

// --- the reference tools ------------------------------------------------------------------

struct SEnv
{
    const CBenchServer *server = nullptr;
    QString work, base, api, key, peakFile;
    qint32 group = 0;
};

// One transfer of a curl config: the access key, no proxy, no "Expect: 100-continue", the
// body to output, then the given lines (form, data ...).
QString Transfer(const SEnv &env, const QString &url, const QString &output,
                 const QStringList &lines = {})
{
    QString block = QStringLiteral("url = ") + Quoted(url) + u'\n';
    block += QStringLiteral("header = ")
             + Quoted(QStringLiteral("x-velquor-access-key: ") + env.key) + u'\n';
    block += QStringLiteral("header = \"Expect:\"\nnoproxy = \"*\"\n");
    block += QStringLiteral("output = ") + Quoted(output) + u'\n';
    block += QStringLiteral("write-out = \"%{http_code} %{time_total}\\n\"\n");
    for (const QString &line : lines)
        block += line + u'\n';
    return block;
}

SCurlRun RunCurlConfig(const SEnv &env, const QString &name, const QStringList &transfers)
{
    SCurlRun run = bench::RunCurlConfig(env.work + u'/' + name, transfers, true);
    if (run.status.size() != transfers.size()) {
        std::fprintf(stderr, "curl %s: %lld of %lld transfers\n", qPrintable(name),
                     qlonglong(run.status.size()), qlonglong(transfers.size()));
        run.ms = -1;
    }
    return run;
}

QString InfoUrl(const SEnv &env, qint32 folder, const QString &name)
{
    return env.api
           + QStringLiteral("file/info?workspaceId=%1&path=%2")
                 .arg(folder)
                 .arg(QString::fromLatin1(QUrl::toPercentEncoding(u'/' + name)));
}

QString GetUrl(const SEnv &env, qint32 folder, const QString &name)
{
    return env.api
           + QStringLiteral("file/get?workspaceId=%1&path=%2")
                 .arg(folder)
                 .arg(QString::fromLatin1(QUrl::toPercentEncoding(u'/' + name)));
}

QString CreateTransfer(const SEnv &env, qint32 folder, const QString &name, const QString &local)
{
    return Transfer(
        env, env.api + QStringLiteral("file/create"), QStringLiteral("/dev/null"),
        {QStringLiteral("form = ") + Quoted(QStringLiteral("workspaceId=%1").arg(folder)),
         QStringLiteral("form = ") + Quoted(QStringLiteral("path=/") + name),
         QStringLiteral("form = ") + Quoted(QStringLiteral("file=@") + local)});
}

QString MoveTransfer(const SEnv &env, qint32 from, qint32 to, const QString &name)
{
    return Transfer(env, env.api + QStringLiteral("file/move"), QStringLiteral("/dev/null"),
                    {QStringLiteral("data = ")
                     + Quoted(QStringLiteral("workspaceId=%1&path=/%3&srcWorkspaceId=%1&srcPath=/%3"
                                             "&dstWorkspaceId=%2&dstPath=/%3")
                                  .arg(from)
                                  .arg(to)
                                  .arg(name))});
}

// A subfolder of the group, made for the run; its id (0 when it could not be made).
qint32 MakeFolder(const SEnv &env, const QString &name)
{
    Curl({QStringLiteral("-H"), QStringLiteral("x-velquor-access-key: ") + env.key,
          QStringLiteral("-d"),
          QStringLiteral("workspaceId=%1&folderStyle=0&comment=&databox=false").arg(env.group),
          QStringLiteral("--data-urlencode"), QStringLiteral("name=") + name,
          env.api + QStringLiteral("workspace/create")});
    return env.server->FolderId(kGroup + u'/' + name);
}

// count files of size random bytes named by name(1..count) into dir.
bool WriteRandomFiles(const QString &dir, int count, qint64 size, QString (*name)(int),
                      quint32 seed)
{
    QDir().mkpath(dir);
    QRandomGenerator random(seed);
    QByteArray block(int(size), Qt::Uninitialized);
    for (int i = 1; i <= count; ++i) {
        random.fillRange(reinterpret_cast<quint32 *>(block.data()), block.size() / 4);
        QFile f(dir + u'/' + name(i));
        if (!f.open(QIODevice::WriteOnly) || f.write(block) != block.size())
            return false;
    }
    return true;
}

// --- 1. add -------------------------------------------------------------------------------

struct SAddResult
{
    double client = 0, wall = 0, signIn = 0, cpu = 0, ref = 0, refTransfers = 0, refCpu = 0;
    double checks = 0, uploads = 0, records = 0, cache = 0, history = 0, uploadCpu = 0, managed = 0;
    int slowUploads = -1, slowManaged = -1;
    double uploadStep = 0, managedStep = 0; // median per file, last round
    double inUse = 0;
    long peakKb = 0;
    int rounds = 0, succeeded = -1, failed = -1, messages = -1, refCreated = -1, failures = 0;
};

SAddResult BenchAdd(const SEnv &env, int rounds)
{
    SAddResult result;
    const QString source = env.work + QStringLiteral("/add-source");
    if (!WriteRandomFiles(source, kAddCount, kAddSize, AddName, 17))
        return result;
    std::vector<double> client, wall, signIn, cpu, ref, refTransfers, refCpu, checks, uploads,
        records, cache, history, uploadCpu, managed, inUse;
    for (int r = 1; r <= rounds; ++r) {
        const qint32 clientFolder = MakeFolder(env, QStringLiteral("add-c%1").arg(r));
        const qint32 refFolder = MakeFolder(env, QStringLiteral("add-r%1").arg(r));
        const qint32 splitFolder = MakeFolder(env, QStringLiteral("add-s%1").arg(r));
        const qint32 managedFolder = MakeFolder(env, QStringLiteral("add-m%1").arg(r));
        if (clientFolder <= 0 || refFolder <= 0 || splitFolder <= 0 || managedFolder <= 0) {
            std::fprintf(stderr, "add: the folders of round %d were not made\n", r);
            break;
        }
        const SChildRun added = RunChildSynced(
            env.peakFile, {QStringLiteral("add"), QString::number(clientFolder), source});
        if (added.exitCode != 0) {
            ++result.failures;
            break;
        }
        client.push_back(added.Figure(0));
        signIn.push_back(added.Figure(1));
        wall.push_back(added.wallMs);
        cpu.push_back(added.cpuMs);
        result.succeeded = int(added.Figure(2));
        result.failed = int(added.Figure(3));
        result.messages = int(added.Figure(4));
        result.peakKb = std::max(result.peakKb, added.peakKb);

        QStringList transfers;
        for (int i = 1; i <= kAddCount; ++i)
            transfers << CreateTransfer(env, refFolder, AddName(i), source + u'/' + AddName(i));
        const SCurlRun curl = RunCurlConfig(env, QStringLiteral("add.curl"), transfers);
        if (curl.ms >= 0) {
            ref.push_back(curl.ms);
            refTransfers.push_back(curl.SumMs([](int) { return true; }));
            refCpu.push_back(curl.cpuMs);
            result.refCreated = curl.Count(200);
        }

        const SChildRun split = RunChildSynced(
            env.peakFile, {QStringLiteral("split-add"), QString::number(splitFolder),
                           QString::number(managedFolder), source});
        if (split.exitCode == 0) {
            checks.push_back(split.Figure(0));
            uploads.push_back(split.Figure(1));
            records.push_back(split.Figure(2));
            cache.push_back(split.Figure(3));
            history.push_back(split.Figure(4));
            uploadCpu.push_back(split.Figure(5));
            result.slowUploads = int(split.Figure(6));
            managed.push_back(split.Figure(7));
            result.slowManaged = int(split.Figure(8));
            result.uploadStep = split.Figure(9);
            result.managedStep = split.Figure(10);
            inUse.push_back(split.lines.value(QStringLiteral("inuse")).toDouble());
        }
        ++result.rounds;
        std::printf("  add round %d: client %.0f ms, reference %.0f ms\n", r, client.back(),
                    ref.empty() ? 0.0 : ref.back());
        std::fflush(stdout);
    }
    QDir(source).removeRecursively();
    result.client = Median(client);
    result.wall = Median(wall);
    result.signIn = Median(signIn);
    result.cpu = Median(cpu);
    result.ref = Median(ref);
    result.refTransfers = Median(refTransfers);
    result.refCpu = Median(refCpu);
    result.checks = Median(checks);
    result.uploads = Median(uploads);
    result.records = Median(records);
    result.cache = Median(cache);
    result.history = Median(history);
    result.uploadCpu = Median(uploadCpu);
    result.managed = Median(managed);
    result.inUse = Median(inUse);
    return result;
}

// --- 2. download --------------------------------------------------------------------------

struct SGetResult
{
    // a: none cached
    double client = 0, wall = 0, signIn = 0, cpu = 0, ref = 0, refTransfers = 0, refCpu = 0;
    long peakKb = 0;
    int succeeded = -1, failed = -1, present = -1, refGot = -1;
    // b: all cached
    double cached = 0, cachedWall = 0, cachedCpu = 0, refCached = 0, md5sum = 0, cp = 0,
           refCachedCpu = 0;
    long cachedPeakKb = 0;
    int cachedSucceeded = -1, cachedFailed = -1, cachedPresent = -1;
    // the steps
    double info = 0, get = 0, copy = 0, digest = 0, getCpu = 0;
    int mismatches = -1, slowInfos = -1, slowGets = -1, rounds = 0, failures = 0;
    double infoStep = 0, getStep = 0; // median per file, last round
};

SGetResult BenchGet(const SEnv &env, int rounds)
{
    SGetResult result;
    const qint32 folder = MakeFolder(env, QStringLiteral("get"));
    const QString source = env.work + QStringLiteral("/get-source");
    if (folder <= 0 || !WriteRandomFiles(source, kGetCount, kGetSize, GetName, 23))
        return result;
    QStringList creates;
    for (int i = 1; i <= kGetCount; ++i)
        creates << CreateTransfer(env, folder, GetName(i), source + u'/' + GetName(i));
    const SCurlRun created = RunCurlConfig(env, QStringLiteral("get-setup.curl"), creates);
    QDir(source).removeRecursively();
    if (created.Count(200) != kGetCount) {
        std::fprintf(stderr, "get: %d of %d files created\n", created.Count(200), kGetCount);
        return result;
    }
    const QString destA = env.work + QStringLiteral("/get-a");
    const QString destB = env.work + QStringLiteral("/get-b");
    const QString refDir = env.work + QStringLiteral("/get-ref");
    const QString refCopy = env.work + QStringLiteral("/get-ref-cp");
    std::vector<double> client, wall, signIn, cpu, ref, refTransfers, refCpu, cached, cachedWall,
        cachedCpu, refCached, md5sum, cp, refCachedCpu, info, get, copy, digest, getCpu;
    for (int r = 1; r <= rounds; ++r) {
        for (const QString &dir : {destA, destB, refDir, refCopy}) {
            QDir(dir).removeRecursively();
            QDir().mkpath(dir);
        }
        // (a) none cached: the client, then curl.
        const SChildRun a
            = RunChildSynced(env.peakFile, {QStringLiteral("get"), QString::number(folder), destA,
                                            QString::number(kGetCount)});
        const QString cacheDir = a.lines.value(QStringLiteral("cachedir"));
        if (a.exitCode != 0 || cacheDir.isEmpty()) {
            ++result.failures;
            break;
        }
        client.push_back(a.Figure(0));
        signIn.push_back(a.Figure(1));
        wall.push_back(a.wallMs);
        cpu.push_back(a.cpuMs);
        result.succeeded = int(a.Figure(2));
        result.failed = int(a.Figure(3));
        result.present = int(a.Figure(5));
        result.peakKb = std::max(result.peakKb, a.peakKb);

        QStringList gets;
        for (int i = 1; i <= kGetCount; ++i)
            gets << Transfer(env, GetUrl(env, folder, GetName(i)), refDir + u'/' + GetName(i));
        const SCurlRun curl = RunCurlConfig(env, QStringLiteral("get.curl"), gets);
        if (curl.ms >= 0) {
            ref.push_back(curl.ms);
            refTransfers.push_back(curl.SumMs([](int) { return true; }));
            refCpu.push_back(curl.cpuMs);
            result.refGot = CountSized(refDir, kGetSize);
        }

        // (b) all cached and current: the client, then md5sum + cp.
        const SChildRun b
            = RunChildSynced(env.peakFile, {QStringLiteral("get"), QString::number(folder), destB,
                                            QString::number(kGetCount)});
        if (b.exitCode == 0) {
            cached.push_back(b.Figure(0));
            cachedWall.push_back(b.wallMs);
            cachedCpu.push_back(b.cpuMs);
            result.cachedSucceeded = int(b.Figure(2));
            result.cachedFailed = int(b.Figure(3));
            result.cachedPresent = int(b.Figure(5));
            result.cachedPeakKb = std::max(result.cachedPeakKb, b.peakKb);
        } else {
            ++result.failures;
        }
        const QStringList refFiles = FilesIn(refDir);
        Sync();
        const double toolCpu = CpuMs(RUSAGE_CHILDREN);
        const double sum = RunTool(QStringLiteral("md5sum"), refFiles);
        const double copied = RunTool(QStringLiteral("cp"), refFiles + QStringList{refCopy});
        if (sum >= 0 && copied >= 0) {
            md5sum.push_back(sum);
            cp.push_back(copied);
            refCached.push_back(sum + copied);
            refCachedCpu.push_back(CpuMs(RUSAGE_CHILDREN) - toolCpu);
        }

        const SChildRun split = RunChildSynced(
            env.peakFile, {QStringLiteral("split-get"), env.key, QString::number(folder),
                           QString::number(kGetCount), env.work});
        if (split.exitCode == 0) {
            info.push_back(split.Figure(0));
            get.push_back(split.Figure(1));
            copy.push_back(split.Figure(2));
            digest.push_back(split.Figure(3));
            getCpu.push_back(split.Figure(4));
            result.mismatches = int(split.Figure(5));
            result.slowInfos = int(split.Figure(6));
            result.slowGets = int(split.Figure(7));
            result.infoStep = split.Value(QStringLiteral("medians"), 0);
            result.getStep = split.Value(QStringLiteral("medians"), 1);
        }

        // Not cached for the next round.
        for (const QString &name :
             QDir(cacheDir).entryList({QStringLiteral("*.vqrca")}, QDir::Files))
            QFile::remove(cacheDir + u'/' + name);
        ++result.rounds;
        std::printf("  download round %d: not cached %.0f ms (reference %.0f), cached %.0f ms "
                    "(reference %.0f)\n",
                    r, client.back(), ref.empty() ? 0.0 : ref.back(),
                    cached.empty() ? 0.0 : cached.back(),
                    refCached.empty() ? 0.0 : refCached.back());
        std::fflush(stdout);
    }
    for (const QString &dir : {destA, destB, refDir, refCopy})
        QDir(dir).removeRecursively();
    result.client = Median(client);
    result.wall = Median(wall);
    result.signIn = Median(signIn);
    result.cpu = Median(cpu);
    result.ref = Median(ref);
    result.refTransfers = Median(refTransfers);
    result.refCpu = Median(refCpu);
    result.cached = Median(cached);
    result.cachedWall = Median(cachedWall);
    result.cachedCpu = Median(cachedCpu);
    result.refCached = Median(refCached);
    result.md5sum = Median(md5sum);
    result.cp = Median(cp);
    result.refCachedCpu = Median(refCachedCpu);
    result.info = Median(info);
    result.get = Median(get);
    result.copy = Median(copy);
    result.digest = Median(digest);
    result.getCpu = Median(getCpu);
    return result;
}

// --- 3. move ------------------------------------------------------------------------------

struct SMoveResult
{
    double client = 0, wall = 0, signIn = 0, cpu = 0, ref = 0, refInfo = 0, refMove = 0, refCpu = 0;
    double info = 0, checks = 0, records = 0, there = 0, back = 0;
    long peakKb = 0;
    int slowInfos = -1, slowMoves = -1;
    double infoStep = 0, moveStep = 0; // median per file, last round
    int succeeded = -1, failed = -1, messages = -1, refOk = -1, splitLocked = -1, rounds = 0,
        failures = 0;
};

SMoveResult BenchMove(const SEnv &env, int rounds)
{
    SMoveResult result;
    const qint32 from = MakeFolder(env, QStringLiteral("move-a"));
    const qint32 to = MakeFolder(env, QStringLiteral("move-b"));
    const QString small = env.work + QStringLiteral("/small.txt");
    {
        QFile f(small);
        if (from <= 0 || to <= 0 || !f.open(QIODevice::WriteOnly)
            || f.write("moved around\n") != 13)
            return result;
    }
    QStringList setup;
    for (int i = 1; i <= kMoveCount; ++i)
        setup << CreateTransfer(env, from, MoveName(i), small);
    const SCurlRun created = RunCurlConfig(env, QStringLiteral("move-setup.curl"), setup);
    QStringList locks;
    for (int i = kLockedEvery; i <= kMoveCount; i += kLockedEvery)
        locks << Transfer(env, env.base + QStringLiteral("/__devserver/lock"),
                          QStringLiteral("/dev/null"),
                          {QStringLiteral("data = ")
                           + Quoted(QStringLiteral("workspaceId=%1&path=/%2&loginId=suzuki")
                                        .arg(from)
                                        .arg(MoveName(i)))});
    const SCurlRun locked = RunCurlConfig(env, QStringLiteral("lock.curl"), locks);
    if (created.Count(200) != kMoveCount || locked.Count(200) != kMoveCount / kLockedEvery) {
        std::fprintf(stderr, "move: %d files created, %d locked\n", created.Count(200),
                     locked.Count(200));
        return result;
    }
    std::vector<double> client, wall, signIn, cpu, ref, refInfo, refMove, refCpu, info, checks,
        records, there, back;
    for (int r = 1; r <= rounds; ++r) {
        const SChildRun moved
            = RunChildSynced(env.peakFile, {QStringLiteral("move"), QString::number(from),
                                            QString::number(to), QString::number(kMoveCount)});
        if (moved.exitCode != 0) {
            ++result.failures;
            break;
        }
        client.push_back(moved.Figure(0));
        signIn.push_back(moved.Figure(1));
        wall.push_back(moved.wallMs);
        cpu.push_back(moved.cpuMs);
        result.succeeded = int(moved.Figure(2));
        result.failed = int(moved.Figure(3));
        result.messages = int(moved.Figure(4));
        result.peakKb = std::max(result.peakKb, moved.peakKb);

        // The same requests where the files are now; the free ones move back.
        QStringList transfers;
        QList<bool> isInfo;
        for (int i = 1; i <= kMoveCount; ++i) {
            transfers << Transfer(env, InfoUrl(env, IsLocked(i) ? from : to, MoveName(i)),
                                  QStringLiteral("/dev/null"));
            isInfo << true;
            if (!IsLocked(i)) {
                transfers << MoveTransfer(env, to, from, MoveName(i));
                isInfo << false;
            }
        }
        const SCurlRun curl = RunCurlConfig(env, QStringLiteral("move.curl"), transfers);
        if (curl.ms >= 0) {
            ref.push_back(curl.ms);
            refInfo.push_back(curl.SumMs([&](int i) { return isInfo.value(i); }));
            refMove.push_back(curl.SumMs([&](int i) { return !isInfo.value(i); }));
            refCpu.push_back(curl.cpuMs);
            result.refOk = curl.Count(200);
        }

        const SChildRun split
            = RunChildSynced(env.peakFile, {QStringLiteral("split-move"), QString::number(from),
                                            QString::number(to), QString::number(kMoveCount)});
        if (split.exitCode == 0) {
            info.push_back(split.Figure(0));
            checks.push_back(split.Figure(1));
            records.push_back(split.Figure(2));
            there.push_back(split.Figure(3));
            back.push_back(split.Figure(4));
            result.splitLocked = int(split.Figure(5));
            result.slowInfos = int(split.Figure(6));
            result.slowMoves = int(split.Figure(7));
            result.infoStep = split.Value(QStringLiteral("medians"), 0);
            result.moveStep = split.Value(QStringLiteral("medians"), 1);
        }
        ++result.rounds;
        std::printf("  move round %d: client %.0f ms, reference %.0f ms\n", r, client.back(),
                    ref.empty() ? 0.0 : ref.back());
        std::fflush(stdout);
    }
    result.client = Median(client);
    result.wall = Median(wall);
    result.signIn = Median(signIn);
    result.cpu = Median(cpu);
    result.ref = Median(ref);
    result.refInfo = Median(refInfo);
    result.refMove = Median(refMove);
    result.refCpu = Median(refCpu);
    result.info = Median(info);
    result.checks = Median(checks);
    result.records = Median(records);
    result.there = Median(there);
    result.back = Median(back);
    return result;
}

void PrintAdd(const SAddResult &add)
{
    const double mb = kAddCount * kAddSize / 1e6;
    std::printf("\nadding %d files of %lld KiB to one folder (%d rounds; %d added, %d failed, %d "
                "messages; curl created %d)\n",
                kAddCount, kAddSize >> 10, add.rounds, add.succeeded, add.failed, add.messages,
                add.refCreated);
    kTable.Line("reference: curl, 500 file/create, one connection", add.ref, "ms",
                QString::asprintf("(%.0f MB/s)", mb / (add.ref / 1000)));
    kTable.Line("  sum of its transfers (time_total)", add.refTransfers);
    kTable.Line("  CPU of curl (user + system)", add.refCpu);
    kTable.Line("client: AddFiles", add.client, "ms",
                QString::asprintf("%.2f x reference (goal <= 1.50)", Ratio(add.client, add.ref)));
    kTable.Line("  checks (CheckFileName) of all files", add.checks);
    kTable.Line("  in-use tests of the local files (IsFileInUse)", add.inUse);
    kTable.Line("  the client's uploads (file/create)", add.uploads, "ms",
                QString::asprintf("(CPU %.0f ms; median %.2f ms, %d over %.0f ms)", add.uploadCpu,
                                  add.uploadStep, add.slowUploads, kSlowMs));
    kTable.Line("  local record lookups (EnsureRecord)", add.records);
    kTable.Line("  cache copies (AddOrReplaceLocal)", add.cache);
    kTable.Line("  history copies and pruning (KeepHistory)", add.history);
    kTable.Line("  these steps together",
                add.checks + add.inUse + add.uploads + add.records + add.cache + add.history);
    kTable.Line("  the manager's AddFile, one file after the other", add.managed, "ms",
                QString::asprintf("(median %.2f ms, %d over %.0f ms)", add.managedStep,
                                  add.slowManaged, kSlowMs));
    kTable.Line("  the whole child, spawn to exit", add.wall, "ms",
                QString::asprintf("(sign-in %.1f ms)", add.signIn));
    kTable.Line("  CPU of the whole child (user + system)", add.cpu);
    kTable.Line("peak RSS of the adding process", add.peakKb / 1024.0, "MB");
    if (add.failures)
        std::printf("  (%d failed children)\n", add.failures);
}

void PrintGet(const SGetResult &get)
{
    const double mb = kGetCount * kGetSize / 1e6;
    std::printf("\ndownloading %d files of %lld MiB into an empty folder, none cached (%d rounds; "
                "%d downloaded, %d failed, %d complete; curl %d)\n",
                kGetCount, kGetSize >> 20, get.rounds, get.succeeded, get.failed, get.present,
                get.refGot);
    kTable.Line("reference: curl, 200 file/get, one connection", get.ref, "ms",
                QString::asprintf("(%.0f MB/s)", mb / (get.ref / 1000)));
    kTable.Line("  sum of its transfers (time_total)", get.refTransfers);
    kTable.Line("  CPU of curl (user + system)", get.refCpu);
    kTable.Line("client: DownloadFiles", get.client, "ms",
                QString::asprintf("%.2f x reference (goal <= 1.20)", Ratio(get.client, get.ref)));
    kTable.Line("  file/info of all files", get.info, "ms",
                QString::asprintf("(median %.2f ms, %d over %.0f ms)", get.infoStep, get.slowInfos,
                                  kSlowMs));
    kTable.Line("  the client's downloads, digests checked", get.get, "ms",
                QString::asprintf("(CPU %.0f ms; median %.2f ms, %d over %.0f ms)", get.getCpu,
                                  get.getStep, get.slowGets, kSlowGetMs));
    kTable.Line("  copies of the downloaded files", get.copy);
    kTable.Line("  these steps together", get.info + get.get + get.copy);
    kTable.Line("  the whole child, spawn to exit", get.wall, "ms",
                QString::asprintf("(sign-in %.1f ms)", get.signIn));
    kTable.Line("  CPU of the whole child (user + system)", get.cpu);
    kTable.Line("peak RSS of the downloading process", get.peakKb / 1024.0, "MB");

    std::printf("\ndownloading the same %d files, all cached and current (%d downloaded, %d "
                "failed, %d complete; %d digests not the records')\n",
                kGetCount, get.cachedSucceeded, get.cachedFailed, get.cachedPresent,
                get.mismatches);
    kTable.Line("reference: md5sum + cp of the 200 files", get.refCached);
    kTable.Line("  md5sum", get.md5sum);
    kTable.Line("  cp", get.cp);
    kTable.Line("  CPU of both (user + system)", get.refCachedCpu);
    kTable.Line(
        "client: DownloadFiles", get.cached, "ms",
        QString::asprintf("%.2f x reference (goal <= 1.30)", Ratio(get.cached, get.refCached)));
    kTable.Line("  file/info of all files", get.info);
    kTable.Line("  the client's digests of the files (Digest)", get.digest);
    kTable.Line("  copies of the files", get.copy);
    kTable.Line("  these steps together", get.info + get.digest + get.copy);
    kTable.Line("  the whole child, spawn to exit", get.cachedWall);
    kTable.Line("  CPU of the whole child (user + system)", get.cachedCpu);
    kTable.Line("peak RSS of the downloading process", get.cachedPeakKb / 1024.0, "MB");
    if (get.failures)
        std::printf("  (%d failed children)\n", get.failures);
}

void PrintMove(const SMoveResult &move)
{
    std::printf("\nmoving %d files into another folder, %d locked by another user (%d rounds; %d "
                "moved, %d failed, %d messages; curl %d of %d answered 200)\n",
                kMoveCount, kMoveCount / kLockedEvery, move.rounds, move.succeeded, move.failed,
                move.messages, move.refOk, kMoveCount * 2 - kMoveCount / kLockedEvery);
    kTable.Line("reference: curl, 1,000 file/info + 900 file/move", move.ref);
    kTable.Line("  its file/info transfers (time_total)", move.refInfo);
    kTable.Line("  its file/move transfers (time_total)", move.refMove);
    kTable.Line("  CPU of curl (user + system)", move.refCpu);
    kTable.Line("client: MoveFiles", move.client, "ms",
                QString::asprintf("%.2f x reference (goal <= 1.30)", Ratio(move.client, move.ref)));
    kTable.Line("  file/info of all files", move.info, "ms",
                QString::asprintf("(%d found locked; median %.2f ms, %d over %.0f ms)",
                                  move.splitLocked, move.infoStep, move.slowInfos, kSlowMs));
    kTable.Line("  name checks (CheckFileName, name only)", move.checks);
    kTable.Line("  local record lookups (EnsureRecord)", move.records);
    kTable.Line("  file/move of the free files", move.there, "ms",
                QString::asprintf("(median %.2f ms, %d over %.0f ms; back again %.1f ms)",
                                  move.moveStep, move.slowMoves, kSlowMs, move.back));
    kTable.Line("  these steps together", move.info + move.checks + move.records + move.there);
    kTable.Line("  the whole child, spawn to exit", move.wall, "ms",
                QString::asprintf("(sign-in %.1f ms)", move.signIn));
    kTable.Line("  CPU of the whole child (user + system)", move.cpu);
    kTable.Line("peak RSS of the moving process", move.peakKb / 1024.0, "MB");
    if (move.failures)
        std::printf("  (%d failed children)\n", move.failures);
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
                                          {QStringLiteral("add"), ChildAdd},
                                          {QStringLiteral("get"), ChildGet},
                                          {QStringLiteral("move"), ChildMove},
                                          {QStringLiteral("split-add"), ChildSplitAdd},
                                          {QStringLiteral("split-get"), ChildSplitGet},
                                          {QStringLiteral("split-move"), ChildSplitMove}});
    const int rounds = std::max(1, args.value(0, QStringLiteral("3")).toInt());

    QTemporaryDir work(QStringLiteral("/tmp/velquor-bench-fileops-XXXXXX"));
    if (!work.isValid())
        return 1;
    // The user-documents areas (history, desktop) inside the work folder, for the children
    // too.
    UseHomeIn(work.path());
    EnterInstallation(work.path() + QStringLiteral("/install"));

    CBenchServer server;
    const quint16 port
        = server.Start(QStringLiteral("demo"), work.path() + QStringLiteral("/server"));
    if (port == 0 || !WriteServerVqr(port)) {
        std::fprintf(stderr, "the devserver did not start\n");
        return 1;
    }
    SEnv env;
    env.server = &server;
    env.work = work.path();
    env.base = server.base();
    env.api = server.api();
    env.peakFile = work.path() + QStringLiteral("/peak.txt");
    // 500 files in one add, 1,000 in one move.
    server.Hook(QStringLiteral("user"),
                {QStringLiteral("-d"),
                 QStringLiteral("loginId=yamada&maxFileCreate=500&maxFileMove=1000")});
    env.key = server.ReferenceKey();
    Curl({QStringLiteral("-H"), QStringLiteral("x-velquor-access-key: ") + env.key,
          QStringLiteral("-d"),
          QStringLiteral("workspaceId=0&folderStyle=0&comment=&databox=false"),
          QStringLiteral("--data-urlencode"), QStringLiteral("name=") + kGroup,
          env.api + QStringLiteral("workspace/create")});
    env.group = server.FolderId(kGroup);
    const SChildRun signIn = RunChildSynced(env.peakFile, {QStringLiteral("signin")});
    if (env.key.isEmpty() || env.group <= 0 || signIn.exitCode != 0) {
        std::fprintf(stderr, "the bench could not be set up (key %s, group %d, sign-in exit %d)\n",
                     env.key.isEmpty() ? "missing" : "present", env.group, signIn.exitCode);
        return 1;
    }
    std::printf("%d rounds each, client and reference alternating, medians\n", rounds);
    std::fflush(stdout);

    const SAddResult add = BenchAdd(env, rounds);
    const SGetResult get = BenchGet(env, rounds);
    const SMoveResult move = BenchMove(env, rounds);
    server.Stop();
    QDir::setCurrent(QDir::tempPath());

    PrintAdd(add);
    PrintGet(get);
    PrintMove(move);
    return 0;
}
