// The bulk download against its reference tools, both measured in the same run, signed in as
// yamada at office "demo" against the devserver's bulk seed (2,000 files of 1 KiB to 1 MiB,
// about 220 MB, in ten subfolders of "一括"):
//
//  a. The first run, nothing cached: RunBulkDownload from the root (the update check, the
//     duplicate-run check, the folder tree, the job, 4 pages of file/count + file/list and
//     the closing pass's 4 more that finds nothing new, every file downloaded into the cache
//     with its digest and copied out into the run folder, the log). Next to one curl process
//     sending the walk's 4 + 4 list requests and the 2,000
//     file/get into files on one connection, then cp -r of those files into another folder.
//     The run folder, the cache copies and the last run's update time go before every round.
//  b. The second run, every file cached and older than the last run's update time (written
//     as 2099/01/01 00:00:00): the same walk, each file's cache copy checked by its digest
//     and copied out, no file/get. Next to md5sum of the 2,000 cache copies and cp -r of the
//     files.
//  c. LoadLogs over a destination root of 365 run folders ("20250101.vqr" ...) of three logs
//     each: the median of repeated calls.
//  d. The CPU time the wait thread takes over 10 s while its schedule is far away, as a share
//     of one core.
//
// Where the time of (a) and (b) goes is printed under each figure, from a child of its own in
// every round (the steps only roughly add up): the list pages, the downloads with their
// digests, the copies, the digests of the copies.
//
// Every measured client run is a child process (this executable again) under /usr/bin/time,
// so its peak RSS is its own; its sign-in is outside the timed run. Only one client process
// works on the installation at any time. The message sink answers "no" to everything. Client
// and reference alternate `rounds` times; the figures are medians. A sync before every
// measured step keeps one step's write-back out of the next one's time. Nothing is asserted.
//
//   bench_bulk [rounds=3]
#include "account/LoginManager.h"
#include "app/SharedGuiSystem.h"
#include "app/System.h"
#include "bulk/BulkDownloadManager.h"
#include "bulk/BulkDownloadWaitThread.h"
#include "core/AppState.h"
#include "core/BizException.h"
#include "core/BizProgress.h"
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
#include <QDate>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>
#include <QTime>

#include <algorithm>
#include <cstdio>
#include <map>
#include <string>
#include <sys/resource.h>
#include <unistd.h>
#include <vector>

namespace {

using namespace bench;

constexpr STable kTable;
constexpr STable kFineTable(52, 9, 2);

constexpr int kFiles = 2000;
constexpr int kFolders = 10;
constexpr int kPageSize = 500;
constexpr int kRunFolders = 365;
constexpr int kLoadCalls = 21;
constexpr int kWaitMs = 10000;
const QString kTop = QStringLiteral("一括");

QString FileName(int i)
{
    return QStringLiteral("f%1.dat").arg(i, 5, 10, QLatin1Char('0'));
}

// The seed's subfolder of file i.
QString FolderName(int i)
{
    return QStringLiteral("b%1").arg((i - 1) % kFolders + 1, 2, 10, QLatin1Char('0'));
}

void Prepare()
{
    PrepareNoUi(IDNO);
}

// Every file below dir whose name matches filter, by path.
QStringList FilesBelow(const QString &dir, const QString &filter = QStringLiteral("*"))
{
    QStringList paths;
    QDirIterator it(dir, {filter}, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext())
        paths << it.next();
    paths.sort();
    return paths;
}

// --- child processes ------------------------------------------------------------------------

// a: destination root. Prints (ms): the run, the sign-in; the files stored and failed, the
// ending.
int ChildRun(const QStringList &a)
{
    CSystemObjects systems;
    QElapsedTimer timer;
    timer.start();
    if (!SignInAsYamada(systems))
        return 2;
    const double signInMs = Ms(timer);
    CBulkDownloadConfigRecord config;
    config.destinationRoot = a.value(0);
    if (!systems.main()->bulkDownload()->SaveBulkSettings(config))
        return 3;
    CBizProgressHandler progress;
    CBizProgressAttach attach(*systems.sharedGui(), &progress);
    timer.restart();
    const SBulkRunResult result = systems.sharedGui()->RunBulkDownload({});
    std::printf("figures %.3f %.3f %d %d %d\n", Ms(timer), signInMs, result.succeeded,
                result.failed, int(result.ending));
    return 0;
}

// The time of n transfers as fixed + perMiB * MiB, least squares over (MiB, ms) pairs.
struct SFit
{
    double fixedMs = 0, perMiBMs = 0;
};

SFit Fit(const std::vector<double> &mib, const std::vector<double> &ms)
{
    const double n = double(mib.size());
    double sx = 0, sy = 0, sxx = 0, sxy = 0;
    for (size_t i = 0; i < mib.size(); ++i) {
        sx += mib[i];
        sy += ms[i];
        sxx += mib[i] * mib[i];
        sxy += mib[i] * ms[i];
    }
    const double d = n * sxx - sx * sx;
    if (n < 2 || d == 0)
        return {};
    const double slope = (n * sxy - sx * sy) / d;
    return {(sy - slope * sx) / n, slope};
}

// The steps of a run one by one. a: scratch folder. Prints (ms): the 4 list pages (LoadPage
// in search mode, as the run walks), the cache checks of every file as the second run makes
// them (EnsureRecord + QueryFile with the digest, on the installation's cache), its copies
// out (CopyOut), cp -r of those copies, the file/get of every file with its digest check
// into the scratch folder, their CPU, the fixed and the per-MiB part of one file/get; the
// cache copies that differed.
int ChildSplit(const QStringList &a)
{
    CSystemObjects systems;
    if (!SignInAsYamada(systems))
        return 2;
    const QString key = systems.main()->loginManager()->accessKey();
    CSharedFileManager *files = systems.shared()->sharedFiles();
    CLocalFileManager *cache = systems.local()->localFiles();
    struct SFile
    {
        qint32 folder;
        QString path, digest;
        double mib;
    };
    std::vector<SFile> walk;
    SFilePageQuery query;
    query.searchMode = true;
    query.pageSize = kPageSize;
    query.sortIndex = 2; // update time
    query.withHistory = false;
    QElapsedTimer timer;
    timer.start();
    do {
        query.folderId = 0;
        if (!files->LoadPage(query))
            return 3;
        for (CFileRecord *entry : files->list())
            if (auto *record = dynamic_cast<CSharedFileRecord *>(entry))
                walk.push_back(
                    {record->workspaceId, record->path, record->digest, record->size / 1048576.0});
        query.offset += kPageSize;
    } while (query.offset < query.fileCount);
    const double listMs = Ms(timer);

    int differed = 0;
    timer.restart();
    for (const SFile &f : walk) {
        const CLocalFileRecord *stored = cache->EnsureRecord(f.folder, f.path.mid(1));
        SFileStates states;
        if (stored)
            cache->QueryFile(stored->storedPath, SFileStates::Digest, states, f.digest);
        differed += stored && states.exists && states.digestEqual ? 0 : 1;
    }
    const double queryMs = Ms(timer);
    const QString out = a.value(0) + QStringLiteral("/split-out");
    const QString outCopy = a.value(0) + QStringLiteral("/split-out-cp");
    Sync();
    timer.restart();
    for (const SFile &f : walk)
        cache->CopyOut(f.folder, f.path.mid(1), out + f.path);
    const double copyOutMs = Ms(timer);
    Sync();
    const double cpMs = RunTool(QStringLiteral("cp"), {QStringLiteral("-r"), out, outCopy});
    QDir(out).removeRecursively();
    QDir(outCopy).removeRecursively();

    const QString got = a.value(0) + QStringLiteral("/split-get");
    QDir().mkpath(got);
    Sync();
    std::vector<double> mib, ms;
    const double cpu = CpuMs(RUSAGE_SELF);
    for (const SFile &f : walk) {
        CFileGetRequest get(key, f.folder, f.path, f.digest, got + f.path);
        timer.restart();
        if (get.ExecuteGet() == 0)
            return 4;
        ms.push_back(Ms(timer));
        mib.push_back(f.mib);
    }
    const double getCpu = CpuMs(RUSAGE_SELF) - cpu;
    double getMs = 0;
    for (double m : ms)
        getMs += m;
    const SFit fit = Fit(mib, ms);
    QDir(got).removeRecursively();
    std::printf("figures %.3f %.3f %.3f %.3f %.3f %.3f %.4f %.3f %d\n", listMs, queryMs, copyOutMs,
                cpMs, getMs, getCpu, fit.fixedMs, fit.perMiBMs, differed);
    return 0;
}

// a: destination root. Prints: the median, the fastest and the first LoadLogs (ms); the runs
// listed.
int ChildLogs(const QStringList &a)
{
    CBulkDownloadLogManager logs([] { return QString(); });
    std::vector<double> calls;
    for (int i = 0; i < kLoadCalls; ++i) {
        QElapsedTimer timer;
        timer.start();
        if (!logs.LoadLogs(a.value(0)))
            return 2;
        calls.push_back(Ms(timer));
    }
    const double first = calls.front();
    // The files on disk were all born within a second or two, so their runs collapse into a
    // few keys; the ordering of a year of distinct runs is timed on records made here.
    std::vector<double> orders;
    for (int i = 0; i < kLoadCalls; ++i) {
        CBulkDownloadLogList list;
        QElapsedTimer timer;
        timer.start();
        for (int run = 0; run < 3 * kRunFolders; ++run) {
            auto record = std::make_unique<CBulkDownloadLogRecord>();
            record->startTime = 1735657200 + qint64((run * 7919) % (3 * kRunFolders)) * 3600;
            record->endTime = record->startTime + 600;
            list.AddRun(std::move(record));
        }
        list.OrderNewestFirst();
        orders.push_back(Ms(timer));
    }
    std::printf("figures %.3f %.3f %.3f %lld %.3f\n", Median(calls),
                *std::min_element(calls.begin(), calls.end()), first, qlonglong(logs.logs().size()),
                Median(orders));
    return 0;
}

// Prints: the CPU of the process (ms) over kWaitMs while the wait thread waits for a start
// 12 hours away, the wall time, whether the thread still ran at the end.
int ChildWait()
{
    CBulkDownloadConfigRecord config;
    config.timerEnabled = 1;
    config.hour = (QTime::currentTime().hour() + 12) % 24;
    CBulkDownloadWaitThread wait(config);
    if (!wait.Start())
        return 2;
    QThread::msleep(500); // the thread's start is not its wait
    const double cpu = CpuMs(RUSAGE_SELF);
    QElapsedTimer timer;
    timer.start();
    QThread::msleep(kWaitMs);
    const double used = CpuMs(RUSAGE_SELF) - cpu;
    const double wall = Ms(timer);
    const bool running = wait.IsRunning();
    wait.Stop(0);
    std::printf("figures %.3f %.3f %d\n", used, wall, running ? 1 : 0);
    return 0;
}

// --- the reference tools ------------------------------------------------------------------

struct SEnv
{
    const CBenchServer *server = nullptr;
    QString work, base, api, key, peakFile;
    QList<qint32> folders; // b01 ... b10
};

// One transfer of a curl config: the access key, no proxy, the body to output.
QString Transfer(const SEnv &env, const QString &url, const QString &output)
{
    return QStringLiteral("url = \"%1\"\nheader = \"x-velquor-access-key: %2\"\nnoproxy = \"*\"\n"
                          "output = \"%3\"\n"
                          "write-out = \"%{http_code} %{time_total} %{size_download}\\n\"\n")
        .arg(url, env.key, output);
}

struct SBulkCurlRun
{
    double ms = -1; // spawn to exit; -1 when it failed
    int ok = 0;     // answers with status 200
    SFit fit;       // of the file/get transfers
};

// The requests of the run in one curl process, one after the other on one connection: per
// page the count and the list as the client sends them (search mode from the root by update
// time), then the file/get of every file into into/<folder>/<name>.
SBulkCurlRun RunCurl(const SEnv &env, const QString &into)
{
    QStringList transfers;
    for (int offset = 0; offset < kFiles; offset += kPageSize) {
        transfers << Transfer(env,
                              env.api
                                  + QStringLiteral("file/count?recursive=true&lockonly=false&"
                                                   "lockbyMe=false"),
                              QStringLiteral("/dev/null"));
        transfers << Transfer(env,
                              env.api
                                  + QStringLiteral("file/list?recursive=true&lockonly=false&"
                                                   "limit=%1&offset=%2&sort=updateTime&dir=asc")
                                        .arg(kPageSize)
                                        .arg(offset),
                              QStringLiteral("/dev/null"));
    }
    const qsizetype lists = transfers.size();
    for (int i = 1; i <= kFiles; ++i)
        transfers << Transfer(env,
                              env.api
                                  + QStringLiteral("file/get?workspaceId=%1&path=/%2")
                                        .arg(env.folders.value((i - 1) % kFolders))
                                        .arg(FileName(i)),
                              into + u'/' + FolderName(i) + u'/' + FileName(i));
    SBulkCurlRun run;
    const SCurlRun curl = RunCurlConfig(env.work + QStringLiteral("/bulk.curl"), transfers, true);
    run.ms = curl.ms;
    const QStringList &lines = curl.lines;
    std::vector<double> mib, ms;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QStringList fields = lines.at(i).split(u' ');
        run.ok += fields.value(0) == u"200" ? 1 : 0;
        if (i >= lists) {
            ms.push_back(fields.value(1).toDouble() * 1000);
            mib.push_back(fields.value(2).toDouble() / 1048576.0);
        }
    }
    run.fit = Fit(mib, ms);
    return run;
}

// The threshold of the cache: a time later than every file.
bool WriteUpdatedTime()
{
    QFile f(DataPath({}, QStringLiteral("bulkDLUpdatedTime.vqr")));
    const QString line = QStringLiteral("2099/01/01 00:00:00\r\n");
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write("\xff\xfe", 2) == 2
           && f.write(reinterpret_cast<const char *>(line.utf16()), line.size() * 2)
                  == line.size() * 2;
}

int FileGets(const SEnv &env)
{
    return int(env.server->Hook(QStringLiteral("log?op=file/get"))
                   .split(u'\n', Qt::SkipEmptyParts)
                   .size());
}

// The medians of the rounds, by name.
struct SFigures
{
    std::map<std::string, std::vector<double>> values;
    void Add(const std::string &name, double value) { values[name].push_back(value); }
    double operator[](const std::string &name) const
    {
        const auto found = values.find(name);
        return found == values.end() ? 0.0 : Median(found->second);
    }
};

struct SRunResult
{
    SFigures f;
    long peakKb = 0, cachedPeakKb = 0;
    int succeeded = -1, failed = -1, stored = -1, curlOk = -1;
    int cachedSucceeded = -1, cachedFailed = -1, cachedGets = -1, cacheCopies = -1;
    int differed = -1, rounds = 0, failures = 0;
};

SRunResult BenchRuns(const SEnv &env, int rounds)
{
    SRunResult result;
    SFigures &f = result.f;
    const QString root = env.work + QStringLiteral("/dest");
    const QString runFolder = root + QStringLiteral("/download.vqr");
    const QString refDir = env.work + QStringLiteral("/ref");
    const QString refCopy = env.work + QStringLiteral("/ref-cp");
    for (int r = 1; r <= rounds; ++r) {
        // (a) nothing cached, no earlier run.
        QDir(runFolder).removeRecursively();
        for (const QString &copyPath : FilesBelow(DataPath(), QStringLiteral("*.vqrca")))
            QFile::remove(copyPath);
        QFile::remove(DataPath({}, QStringLiteral("bulkDLUpdatedTime.vqr")));
        for (const QString &dir : {refDir, refCopy})
            QDir(dir).removeRecursively();
        for (int b = 1; b <= kFolders; ++b)
            QDir().mkpath(refDir + u'/' + FolderName(b));
        const SChildRun a = RunChildSynced(env.peakFile, {QStringLiteral("run"), root});
        if (a.exitCode != 0) {
            ++result.failures;
            break;
        }
        f.Add("client", a.Figure(0));
        f.Add("signIn", a.Figure(1));
        f.Add("wall", a.wallMs);
        f.Add("cpu", a.cpuMs);
        result.succeeded = int(a.Figure(2));
        result.failed = int(a.Figure(3));
        result.stored = int(FilesBelow(runFolder, QStringLiteral("*.dat")).size());
        result.peakKb = std::max(result.peakKb, a.peakKb);

        const double toolCpu = CpuMs(RUSAGE_CHILDREN);
        const SBulkCurlRun curl = RunCurl(env, refDir);
        result.curlOk = curl.ok;
        Sync();
        const double cp = RunTool(QStringLiteral("cp"), {QStringLiteral("-r"), refDir, refCopy});
        if (curl.ms >= 0 && cp >= 0) {
            f.Add("curl", curl.ms);
            f.Add("cp", cp);
            f.Add("ref", curl.ms + cp);
            f.Add("refCpu", CpuMs(RUSAGE_CHILDREN) - toolCpu);
            f.Add("curlFixed", curl.fit.fixedMs);
            f.Add("curlPerMiB", curl.fit.perMiBMs);
        }

        // (b) everything cached and older than the last run's newest update.
        QDir(runFolder).removeRecursively();
        QDir(refCopy).removeRecursively();
        if (!WriteUpdatedTime()) {
            ++result.failures;
            break;
        }
        const int getsBefore = FileGets(env);
        const SChildRun b = RunChildSynced(env.peakFile, {QStringLiteral("run"), root});
        if (b.exitCode == 0) {
            f.Add("cached", b.Figure(0));
            f.Add("cachedWall", b.wallMs);
            f.Add("cachedCpu", b.cpuMs);
            result.cachedSucceeded = int(b.Figure(2));
            result.cachedFailed = int(b.Figure(3));
            result.cachedGets = FileGets(env) - getsBefore;
            result.cachedPeakKb = std::max(result.cachedPeakKb, b.peakKb);
        } else {
            ++result.failures;
        }
        const QStringList cacheCopies = FilesBelow(DataPath(), QStringLiteral("*.vqrca"));
        result.cacheCopies = int(cacheCopies.size());
        Sync();
        const double sum = RunTool(QStringLiteral("md5sum"), cacheCopies);
        Sync();
        const double cp2 = RunTool(QStringLiteral("cp"), {QStringLiteral("-r"), refDir, refCopy});
        if (sum >= 0 && cp2 >= 0) {
            f.Add("md5", sum);
            f.Add("cp2", cp2);
            f.Add("refCached", sum + cp2);
        }

        const SChildRun split = RunChildSynced(env.peakFile, {QStringLiteral("split"), env.work});
        if (split.exitCode == 0) {
            const char *names[]
                = {"list", "query", "copyOut", "splitCp", "get", "getCpu", "getFixed", "getPerMiB"};
            for (int i = 0; i < 8; ++i)
                f.Add(names[i], split.Figure(i));
            result.differed = int(split.Figure(8));
        }
        ++result.rounds;
        std::printf("  round %d: first run %.0f ms (reference %.0f), cached run %.0f ms "
                    "(reference %.0f)\n",
                    r, a.Figure(0), curl.ms + cp, b.Figure(0), sum + cp2);
        std::fflush(stdout);
    }
    for (const QString &dir : {runFolder, refDir, refCopy})
        QDir(dir).removeRecursively();
    return result;
}

// 365 run folders of three small logs each under root.
bool WriteRunFolders(const QString &root)
{
    const QDate first(2025, 1, 1);
    for (int d = 0; d < kRunFolders; ++d) {
        const QString name
            = first.addDays(d).toString(QStringLiteral("yyyyMMdd")) + QStringLiteral(".vqr");
        const QString folder = root + u'/' + name;
        QDir().mkpath(folder);
        const QByteArray line = first.addDays(d).toString(QStringLiteral("yyyy/MM/dd")).toLatin1()
                                + " 02:00:00,b01,/f00001.dat,,2024/01/01 00:01:00,yamada\r\n";
        for (const char *counts : {".log.10.0.csv", ".log.10.1.csv", ".log.0.0.csv"}) {
            QFile f(folder + u'/' + name + QLatin1String(counts));
            if (!f.open(QIODevice::WriteOnly) || f.write("header\r\n" + line) < 0)
                return false;
        }
    }
    return true;
}

void PrintRuns(const SRunResult &r)
{
    const SFigures &f = r.f;
    std::printf("\nfirst run, nothing cached: %d files (%d rounds; %d stored, %d failed, %d in the "
                "run folder; curl %d of %d answered 200)\n",
                kFiles, r.rounds, r.succeeded, r.failed, r.stored, r.curlOk,
                kFiles + 2 * (kFiles / kPageSize));
    kTable.Line("reference: curl (8 list + 2,000 file/get) + cp -r", f["ref"]);
    kTable.Line("  curl, one connection", f["curl"], "ms",
                QString::asprintf("(one file/get: %.2f ms + %.2f ms per MiB)", f["curlFixed"],
                                  f["curlPerMiB"]));
    kTable.Line("  cp -r", f["cp"]);
    kTable.Line("  CPU of both (user + system)", f["refCpu"]);
    kTable.Line("client: RunBulkDownload", f["client"], "ms",
                QString::asprintf("%.2f x reference (goal <= 1.30)", Ratio(f["client"], f["ref"])));
    kTable.Line("  the 4 pages (file/count + file/list)", f["list"]);
    kTable.Line("  file/get of every file, digests checked", f["get"], "ms",
                QString::asprintf("(CPU %.0f ms; one: %.2f ms + %.2f ms per MiB)", f["getCpu"],
                                  f["getFixed"], f["getPerMiB"]));
    kTable.Line("  copies out of the cache (CopyOut)", f["copyOut"], "ms",
                QString::asprintf("(cp -r of them %.1f ms)", f["splitCp"]));
    kTable.Line("  these steps together", f["list"] + f["get"] + f["copyOut"]);
    kTable.Line("  the whole child, spawn to exit", f["wall"], "ms",
                QString::asprintf("(sign-in %.1f ms)", f["signIn"]));
    kTable.Line("  CPU of the whole child (user + system)", f["cpu"]);
    kTable.Line("peak RSS of the running process", r.peakKb / 1024.0, "MB",
                QStringLiteral("(goal < 80)"));

    std::printf("\nsecond run, everything cached and older than the last run (%d stored, %d "
                "failed, %d file/get; %d cache copies)\n",
                r.cachedSucceeded, r.cachedFailed, r.cachedGets, r.cacheCopies);
    kTable.Line("reference: md5sum of the cache copies + cp -r", f["refCached"]);
    kTable.Line("  md5sum", f["md5"]);
    kTable.Line("  cp -r", f["cp2"]);
    kTable.Line(
        "client: RunBulkDownload", f["cached"], "ms",
        QString::asprintf("%.2f x reference (goal <= 1.30)", Ratio(f["cached"], f["refCached"])));
    kTable.Line("  the 4 pages (file/count + file/list)", f["list"]);
    kTable.Line("  cache checks (EnsureRecord + QueryFile digest)", f["query"], "ms",
                QString::asprintf("(%d not current)", r.differed));
    kTable.Line("  copies out of the cache (CopyOut)", f["copyOut"], "ms",
                QString::asprintf("(cp -r of them %.1f ms)", f["splitCp"]));
    kTable.Line("  these steps together", f["list"] + f["query"] + f["copyOut"]);
    kTable.Line("  the whole child, spawn to exit", f["cachedWall"]);
    kTable.Line("  CPU of the whole child (user + system)", f["cachedCpu"]);
    kTable.Line("peak RSS of the running process", r.cachedPeakKb / 1024.0, "MB");
    if (r.failures)
        std::printf("  (%d failed children)\n", r.failures);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    Prepare();
    if (args.value(0) == QLatin1String("--child"))
        return RunChildMode(
            args.mid(1),
            {{QStringLiteral("signin"), [](const QStringList &) { return ChildFirstSignIn(); }},
             {QStringLiteral("run"), ChildRun},
             {QStringLiteral("split"), ChildSplit},
             {QStringLiteral("logs"), ChildLogs},
             {QStringLiteral("wait"), [](const QStringList &) { return ChildWait(); }}});
    const int rounds = std::max(1, args.value(0, QStringLiteral("3")).toInt());

    QTemporaryDir work(QStringLiteral("/tmp/velquor-bench-bulk-XXXXXX"));
    if (!work.isValid())
        return 1;
    UseHomeIn(work.path());
    EnterInstallation(work.path() + QStringLiteral("/install"));

    CBenchServer server;
    const quint16 port = server.Start(QStringLiteral("bulk:files=%1").arg(kFiles),
                                      work.path() + QStringLiteral("/server"));
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
    env.key = server.ReferenceKey();
    for (int b = 1; b <= kFolders; ++b)
        env.folders << server.FolderId(kTop + u'/' + FolderName(b));
    const SChildRun signIn = RunChildSynced(env.peakFile, {QStringLiteral("signin")});
    if (env.key.isEmpty() || env.folders.contains(0) || signIn.exitCode != 0) {
        std::fprintf(stderr, "the bench could not be set up (key %s, sign-in exit %d)\n",
                     env.key.isEmpty() ? "missing" : "present", signIn.exitCode);
        return 1;
    }
    std::printf("%d rounds each, client and reference alternating, medians\n", rounds);
    std::fflush(stdout);

    const SRunResult runs = BenchRuns(env, rounds);
    server.Stop();

    const QString logRoot = work.path() + QStringLiteral("/logs");
    const bool logsWritten = WriteRunFolders(logRoot);
    Sync();
    const SChildRun logs = RunChildSynced(env.peakFile, {QStringLiteral("logs"), logRoot});
    const SChildRun wait = RunChildSynced(env.peakFile, {QStringLiteral("wait")});
    QDir::setCurrent(QDir::tempPath());

    PrintRuns(runs);
    std::printf("\nLoadLogs over %d run folders of 3 logs each (%d calls; %d runs listed%s)\n",
                kRunFolders, kLoadCalls, int(logs.Figure(3)),
                logsWritten && logs.exitCode == 0 ? "" : "; FAILED");
    kFineTable.Line("median of the calls", logs.Figure(0), "ms", QStringLiteral("(goal < 50)"));
    kFineTable.Line("fastest call", logs.Figure(1));
    kFineTable.Line("first call", logs.Figure(2));
    kFineTable.Line("keys and order of 1,095 distinct runs (in memory)", logs.Figure(4));
    const double share = wait.Figure(1) > 0 ? 100.0 * wait.Figure(0) / wait.Figure(1) : 0.0;
    std::printf("\nthe wait thread, its schedule 12 hours away (%s)\n",
                wait.exitCode == 0 && wait.Figure(2) > 0 ? "still waiting at the end"
                                                         : "NOT waiting at the end");
    std::printf("  %-52s %9.1f ms over %.0f ms  %.3f %% of one core (goal < 0.5 %%)\n",
                "CPU of the process (user + system)", wait.Figure(0), wait.Figure(1), share);
    return 0;
}
