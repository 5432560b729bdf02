// The local file cache against its reference tools, both measured in the same run:
//
//  1. The online scan of a folder of 5,000 cached files of 20 KiB: LoadList with verification
//     on a new local file manager (cold digest cache; the files warm in the page cache) next
//     to md5sum over the same files, the same scan without verification, and the second
//     verified scan of the same manager (digest cache warm). The service's records are built
//     in memory with md5sum's digests, so a scan that marks all 5,000 Current also agrees
//     with md5sum. No service.
//  2. One page (offset 0, 500 entries: 100 subfolders + 400 files) of a devserver folder with
//     100 subfolders and 5,000 files, signed in as yamada, with a cache copy of every file in
//     the store (the local list read from the disk) and two history copies of each file of
//     the page (the newer one with the service's digest): the first LoadPage and the reload,
//     next to one curl process sending exactly the requests LoadPage sent (recorded from the
//     client's own network manager) on one connection.
//
// Where the time goes is printed under each figure: for the scan, Qt's MD5 alone over the
// same files and the directory listing alone; for the page, the same requests parsed into
// records without the derivation, the same requests through a bare QNetworkAccessManager,
// and a reload without the history lookups.
//
// Every measured client run is a child process, so its peak RSS is its own (through
// /usr/bin/time: a child forked from this process would report this process's resident size
// as its own peak). Client and reference alternate `rounds` times; the figures are medians
// (this machine is shared, single runs scatter). Nothing is asserted.
//
//   bench_cache [rounds=7]
#include "account/LoginManager.h"
#include "account/LoginRecord.h"
#include "app/System.h"
#include "core/AppState.h"
#include "core/BizException.h"
#include "core/Messages.h"
#include "core/Paths.h"
#include "files/FileRequests.h"
#include "files/FileTypeManager.h"
#include "files/LocalFileManager.h"
#include "files/SharedFileManager.h"
#include "folders/LocalWorkspaceManager.h"
#include "folders/SharedWorkspaceManager.h"
#include "service/NetworkManagers.h"

#include "BenchServer.h"
#include "ClientSignIn.h"
#include "Measure.h"
#include "Processes.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QHash>
#include <QLoggingCategory>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

using namespace bench;

constexpr int kScanFiles = 5000;
constexpr qint64 kScanFileSize = 20 * 1024;
constexpr qint32 kScanFolderId = 1;
const QString kScanFolderName = QStringLiteral("キャッシュ");
const QString kPageFolder = QStringLiteral("ページ");
constexpr int kPageSubfolders = 100;
constexpr int kPageFiles = 5000;

// The types an online session has: the extension of the scanned files must be known.
class CBenchFileTypes : public CFileTypeManager
{
public:
    using CFileTypeManager::CFileTypeManager;
    bool Load() override
    {
        auto raw = std::make_unique<CFileTypeList>(true);
        qint32 id = 1;
        for (const char *ext : {"xlsx", "docx", "csv", "txt", "pdf"}) {
            auto type = std::make_unique<CFileTypeRecord>();
            type->id = id++;
            type->ext = CFileTypeRecord::NormalizeExtension(QString::fromLatin1(ext));
            type->name = QString::fromLatin1(ext);
            raw->Replace(std::move(type));
        }
        SetRawList(std::move(raw));
        return true;
    }
};

// Remembers every request the transport sends (method and full URL), then sends it.
class CRecordingManager : public QNetworkAccessManager
{
public:
    explicit CRecordingManager(QStringList *requests)
        : m_requests(requests)
    {}

protected:
    QNetworkReply *createRequest(Operation op, const QNetworkRequest &request,
                                 QIODevice *outgoingData) override
    {
        const QString method = op == GetOperation    ? QStringLiteral("GET")
                               : op == PostOperation ? QStringLiteral("POST")
                                                     : QStringLiteral("OTHER");
        m_requests->append(method + u' ' + request.url().toString(QUrl::FullyEncoded));
        return QNetworkAccessManager::createRequest(op, request, outgoingData);
    }

private:
    QStringList *m_requests;
};

void Prepare()
{
    PrepareNoUi(IDOK);
}

// --- 1. the online scan -------------------------------------------------------------------

// One round of the scan in a process of its own: a: manifest (md5sum's output for the
// folder). Prints (ms): verified cold, verified warm, unverified, Qt's MD5 alone over the
// same files, the directory listing alone; then the files marked Current by the cold scan
// and the local records.
int ChildScan(const QStringList &a)
{
    CLoginRecord current(QStringLiteral("demo"), QStringLiteral("yamada"), QString());
    CLoginManager login;
    login.SelectCurrent(&current, false);
    CLocalWorkspaceManager folders(&login);
    CBenchFileTypes types(&login);
    types.Load();
    if (!folders.MirrorPath({kScanFolderId}, {kScanFolderName}))
        return 2;
    // The service's view: a record per file with md5sum's digest.
    CSharedFileManager shared(&login, nullptr, nullptr, nullptr);
    QFile manifest(a.value(0));
    if (!manifest.open(QIODevice::ReadOnly))
        return 3;
    QList<CSharedFileRecord *> records;
    while (!manifest.atEnd()) {
        const QString line = QString::fromUtf8(manifest.readLine()).trimmed();
        if (line.size() < 35)
            continue;
        auto record = std::make_unique<CSharedFileRecord>();
        record->workspaceId = kScanFolderId;
        record->path = u'/' + line.mid(34).chopped(6); // without ".vqrca"
        record->digest = line.left(32);
        records << static_cast<CSharedFileRecord *>(shared.list().Replace(std::move(record)));
    }
    // A new manager: its digest cache is empty.
    CLocalFileManager local(&login, &folders, &types);
    local.AttachShared(&shared);
    const QString dir = local.FolderDir(kScanFolderId);
    const QStringList names = QDir(dir).entryList(QDir::Files, QDir::Name);
    // Into the page cache (they are there already: written, then read by md5sum).
    QByteArray block(1 << 16, Qt::Uninitialized);
    for (const QString &name : names) {
        QFile f(dir + u'/' + name);
        if (!f.open(QIODevice::ReadOnly))
            return 4;
        while (f.read(block.data(), block.size()) > 0) {
        }
    }
    auto scan = [&records](CLocalFileManager &local, bool verify) {
        for (CSharedFileRecord *r : std::as_const(records))
            r->localCopy = ELocalCopy::Unchecked;
        qint32 id = kScanFolderId;
        QElapsedTimer timer;
        timer.start();
        local.LoadList(id, false, verify);
        return Ms(timer);
    };
    const double cold = scan(local, true);
    const auto marked = std::count_if(records.cbegin(), records.cend(), [](const auto *r) {
        return r->localCopy == ELocalCopy::Current;
    });
    const qsizetype listed = local.list().size();
    const double warm = scan(local, true);
    // Without verification on a new manager as well: no previous list to free.
    CLocalFileManager unverified(&login, &folders, &types);
    unverified.AttachShared(&shared);
    const double plain = scan(unverified, false);
    // The floor under the verified scan: the same reads and digests, nothing else.
    QElapsedTimer timer;
    timer.start();
    char small[8192];
    for (const QString &name : names) {
        QFile f(dir + u'/' + name);
        if (!f.open(QIODevice::ReadOnly))
            continue;
        QCryptographicHash hash(QCryptographicHash::Md5);
        for (qint64 n; (n = f.read(small, sizeof small)) > 0;)
            hash.addData(QByteArrayView(small, n));
        hash.result();
    }
    const double floor = Ms(timer);
    // The floor under the unverified scan: the directory listing with sizes, sorted.
    timer.restart();
    const QFileInfoList entries
        = QDir(dir).entryInfoList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
    const double listing = Ms(timer);
    if (entries.size() != names.size())
        return 5;
    std::printf("figures %.3f %.3f %.3f %.3f %.3f %lld %lld\n", cold, warm, plain, floor, listing,
                qlonglong(marked), qlonglong(listed));
    return 0;
}

struct SScanResult
{
    double verifyCold = 0, verifyWarm = 0, plain = 0, floor = 0, listing = 0, md5sum = 0;
    long peakKb = 0;
    qlonglong current = 0, listed = 0;
    int failures = 0;
};

SScanResult BenchScan(const QString &work, int rounds)
{
    SScanResult result;
    EnterInstallation(work + QStringLiteral("/scan"));
    CLoginRecord current(QStringLiteral("demo"), QStringLiteral("yamada"), QString());
    CLoginManager login;
    login.SelectCurrent(&current, false);
    CLocalWorkspaceManager folders(&login);
    CBenchFileTypes types(&login);
    types.Load();
    CLocalFileManager local(&login, &folders, &types);
    if (!folders.MirrorPath({kScanFolderId}, {kScanFolderName})) {
        std::fprintf(stderr, "scan: no folder directory\n");
        return result;
    }
    const QString dir = local.FolderDir(kScanFolderId);
    QStringList names;
    QByteArray content(kScanFileSize, Qt::Uninitialized);
    QRandomGenerator random(7);
    for (int i = 1; i <= kScanFiles; ++i) {
        random.fillRange(reinterpret_cast<quint32 *>(content.data()), content.size() / 4);
        const QString name = QStringLiteral("d%1.txt.vqrca").arg(i, 5, 10, QLatin1Char('0'));
        QFile f(dir + u'/' + name);
        if (!f.open(QIODevice::WriteOnly) || f.write(content) != content.size())
            return result;
        names << name;
    }
    // md5sum once: the page cache, and the digests of the service's records.
    auto md5sum = [&dir, &names](const QString &output) {
        QProcess process;
        process.setWorkingDirectory(dir);
        process.setStandardOutputFile(output);
        process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        QElapsedTimer timer;
        timer.start();
        process.start(QStringLiteral("/usr/bin/md5sum"), names);
        process.waitForFinished(-1);
        return process.exitCode() == 0 ? Ms(timer) : -1.0;
    };
    const QString manifest = work + QStringLiteral("/manifest.txt");
    if (md5sum(manifest) < 0)
        return result;
    std::printf("scan: %d files of %lld KiB in %s\n", kScanFiles, kScanFileSize / 1024,
                qPrintable(dir));
    std::fflush(stdout);

    std::vector<double> cold, warm, plain, floor, listing, tool;
    const QString peakFile = work + QStringLiteral("/peak.txt");
    for (int i = 0; i < rounds; ++i) {
        const SChildRun run = RunChild(peakFile, {QStringLiteral("scan"), manifest});
        if (run.exitCode != 0 || run.Figures().size() < 7) {
            ++result.failures;
            std::fprintf(stderr, "scan child failed (exit %d)\n", run.exitCode);
            continue;
        }
        cold.push_back(run.Figure(0));
        warm.push_back(run.Figure(1));
        plain.push_back(run.Figure(2));
        floor.push_back(run.Figure(3));
        listing.push_back(run.Figure(4));
        result.current = qlonglong(run.Figure(5));
        result.listed = qlonglong(run.Figure(6));
        result.peakKb = std::max(result.peakKb, run.peakKb);
        tool.push_back(md5sum(QProcess::nullDevice()));
    }
    result.verifyCold = Median(cold);
    result.verifyWarm = Median(warm);
    result.plain = Median(plain);
    result.floor = Median(floor);
    result.listing = Median(listing);
    result.md5sum = Median(tool);
    return result;
}

// --- 2. the page --------------------------------------------------------------------------

qint32 PageFolderId(CSystemObjects &systems)
{
    for (const CWorkspaceRecord *r : systems.shared()->sharedWorkspaces()->list()) {
        if (r->Depth() == 1 && r->name == kPageFolder)
            return r->id;
    }
    return 0;
}

SFilePageQuery PageQuery(qint32 folderId)
{
    SFilePageQuery query;
    query.folderId = folderId;
    query.offset = 0;
    query.pageSize = 500;
    return query;
}

// One round of the page in a process of its own: sign-in, the local list of the folder read
// from the disk (untimed), then two LoadPage. Prints (ms): first, reload, the page's requests
// alone, a reload without history lookups; then the entries, files, files with hasHistory
// and local records.
int ChildPage()
{
    CSystemObjects systems;
    if (!SignInAsYamada(systems, false))
        return 2;
    const qint32 folder = PageFolderId(systems);
    CLocalFileManager *cache = systems.local()->localFiles();
    qint32 id = folder;
    if (folder <= 0 || !systems.local()->localWorkspaces()->Load()
        || !cache->LoadList(id, false, false))
        return 3;
    CSharedFileManager *files = systems.shared()->sharedFiles();
    SFilePageQuery first = PageQuery(folder);
    QElapsedTimer timer;
    timer.start();
    if (!files->LoadPage(first))
        return 4;
    const double firstMs = Ms(timer);
    SFilePageQuery again = PageQuery(folder);
    timer.restart();
    if (!files->LoadPage(again))
        return 5;
    const double reloadMs = Ms(timer);
    int fileEntries = 0;
    int withHistory = 0;
    for (const CFileRecord *r : files->list()) {
        if (!r->IsFolderEntry()) {
            ++fileEntries;
            withHistory += r->hasHistory ? 1 : 0;
        }
    }
    const qsizetype entries = files->list().size();
    // Where the reload's time goes: the same five requests with their parsing into records
    // (no derivation), and a reload without the history lookups.
    CSharedWorkspaceManager *tree = systems.shared()->sharedWorkspaces();
    const QString key = systems.main()->loginManager()->accessKey();
    qint32 checked = folder;
    qint32 subfolders = 0;
    qint32 count = 0;
    const SPageSplit split = CSharedFileManager::SplitPage(first.pageSize, first.folderCount,
                                                           first.fileCount, first.offset);
    SWorkspaceListOptions folderOptions;
    folderOptions.limit = split.folders;
    folderOptions.offset = quint32(split.folderOffset);
    CWorkspaceList folderPage;
    SFileListOptions fileOptions;
    fileOptions.limit = split.files;
    fileOptions.offset = quint32(split.fileOffset);
    CSharedFileList filePage(true);
    CFileListRequest list(key, folder, fileOptions, &filePage);
    timer.restart();
    if (!tree->CheckFolder(checked) || !tree->CountItems(folder, false, {}, subfolders)
        || !files->CountFiles(folder, false, false, {}, nullptr, count)
        || !tree->ListInto(folder, folderOptions, folderPage) || !list.ExecuteGet())
        return 6;
    const double requestsMs = Ms(timer);
    SFilePageQuery plain = PageQuery(folder);
    plain.withHistory = false;
    timer.restart();
    if (!files->LoadPage(plain))
        return 7;
    const double noHistoryMs = Ms(timer);
    std::printf("figures %.3f %.3f %.3f %.3f %lld %d %d %lld\n", firstMs, reloadMs, requestsMs,
                noHistoryMs, qlonglong(entries), fileEntries, withHistory,
                qlonglong(cache->list().size()));
    return 0;
}

// The transport's floor: the same GET requests through a bare QNetworkAccessManager (one
// connection, bodies read and dropped; no framework, no XML).
double BareQt(const QStringList &requests, const QString &key)
{
    QNetworkAccessManager manager;
    manager.setProxy(QNetworkProxy::NoProxy);
    QElapsedTimer timer;
    timer.start();
    for (const QString &request : requests) {
        if (!request.startsWith(QLatin1String("GET ")))
            continue;
        QNetworkRequest get{QUrl(request.mid(4))};
        get.setRawHeader("x-velquor-access-key", key.toUtf8());
        get.setAttribute(QNetworkRequest::Http2AllowedAttribute, false);
        QNetworkReply *reply = manager.get(get);
        QEventLoop loop;
        QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
        loop.exec();
        reply->readAll();
        delete reply;
    }
    return Ms(timer);
}

// The operations of the devserver's request log ("seq METHOD op status" lines).
QStringList LoggedOps(const CBenchServer &server)
{
    QStringList ops;
    const QStringList lines = server.Hook(QStringLiteral("log")).split(u'\n', Qt::SkipEmptyParts);
    for (const QString &line : lines)
        ops << line.section(u' ', 1, 3);
    return ops;
}

void ClearLog(const CBenchServer &server)
{
    server.Hook(QStringLiteral("log/clear"), {QStringLiteral("-d"), QString()});
}

struct SPageResult
{
    double first = 0, reload = 0, requests = 0, noHistory = 0, bareQt = 0, curlTransfer = 0,
           curlProcess = 0;
    long peakKb = 0;
    qlonglong entries = 0, files = 0, withHistory = 0, localRecords = 0;
    QStringList clientRequests, clientOps, curlOps;
    int failures = 0;
    bool ok = false;
};

SPageResult BenchPage(const QString &work, int rounds)
{
    SPageResult result;
    EnterInstallation(work + QStringLiteral("/page"));
    CBenchServer server;
    const quint16 port = server.Start(
        QStringLiteral("page:subfolders=%1,files=%2").arg(kPageSubfolders).arg(kPageFiles),
        work + QStringLiteral("/server"));
    if (port == 0 || !WriteServerVqr(port)) {
        std::fprintf(stderr, "page: devserver did not start\n");
        return result;
    }

    CSystemObjects systems;
    if (!SignInAsYamada(systems, false)) {
        std::fprintf(stderr, "page: sign-in failed\n");
        return result;
    }
    const qint32 folder = PageFolderId(systems);
    CSharedFileManager *files = systems.shared()->sharedFiles();
    CLocalFileManager *cache = systems.local()->localFiles();
    // Every file of the folder, for its name and digest.
    qint32 id = folder;
    if (folder <= 0 || !files->LoadList(id, false, false)) {
        std::fprintf(stderr, "page: folder not listed\n");
        return result;
    }
    // A cache copy of every file: each distinct content is fetched once through the cache,
    // the other files of that content get a copy of it.
    QHash<QString, QByteArray> contents;
    int copies = 0;
    for (CFileRecord *r : files->list()) {
        auto *record = dynamic_cast<CSharedFileRecord *>(r);
        if (!record || record->IsFolderEntry())
            continue;
        const QString path = cache->CachePath(folder, record->FileName());
        if (!contents.contains(record->digest)) {
            try {
                if (!files->BringIntoCache(*record))
                    break;
            } catch (const CBizException &e) {
                std::fprintf(stderr, "page: download failed: %s\n", e.what());
                break;
            }
            QFile fetched(path);
            fetched.open(QIODevice::ReadOnly);
            contents.insert(record->digest, fetched.readAll());
        } else {
            QFile f(path);
            if (!f.open(QIODevice::WriteOnly) || f.write(contents.value(record->digest)) < 0)
                break;
        }
        ++copies;
    }
    // Two history copies of each file of the page: an older content, then the service's.
    SFilePageQuery page = PageQuery(folder);
    if (copies != kPageFiles || !files->LoadPage(page)) {
        std::fprintf(stderr, "page: %d cache copies, page not loaded\n", copies);
        return result;
    }
    const QString older
        = CLocalFileManager::HistoryStamp(QDateTime(QDate(2024, 1, 15), QTime(9, 0)));
    const QString newer
        = CLocalFileManager::HistoryStamp(QDateTime(QDate(2024, 2, 15), QTime(9, 0)));
    int history = 0;
    for (const CFileRecord *r : files->list()) {
        const auto *record = dynamic_cast<const CSharedFileRecord *>(r);
        if (!record || record->IsFolderEntry())
            continue;
        const QString dir = cache->HistoryDirOf(folder, record->FileName());
        QString stem;
        QString ext;
        SplitFileName(record->FileName(), &stem, &ext);
        QDir().mkpath(dir);
        QFile a(dir + u'/' + stem + older + ext);
        QFile b(dir + u'/' + stem + newer + ext);
        if (a.open(QIODevice::WriteOnly) && a.write("an earlier version\r\n") > 0
            && b.open(QIODevice::WriteOnly) && b.write(contents.value(record->digest)) > 0)
            history += 2;
    }
    std::printf("page: folder %d of %d subfolders and %d files, %d cache copies, %d history "
                "copies for the %d files of the page\n",
                folder, page.folderCount, page.fileCount, copies, history,
                int(files->list().size()) - page.folderCount);
    std::fflush(stdout);

    // What LoadPage sends: from the transport itself and from the service's log.
    ClearLog(server);
    const NetworkManagers::Factory previous = NetworkManagers::SetFactory(
        [&result] { return new CRecordingManager(&result.clientRequests); });
    SFilePageQuery recorded = PageQuery(folder);
    files->LoadPage(recorded);
    NetworkManagers::SetFactory(previous);
    result.clientOps = LoggedOps(server);

    // curl: the same requests on one connection, bodies discarded.
    const QString key = systems.main()->loginManager()->accessKey();
    QStringList curlArgs{QStringLiteral("-s"), QStringLiteral("-H"),
                         QStringLiteral("x-velquor-access-key: ") + key, QStringLiteral("-w"),
                         QStringLiteral("%{time_total}\\n")};
    for (const QString &request : std::as_const(result.clientRequests)) {
        if (!request.startsWith(QLatin1String("GET "))) {
            std::fprintf(stderr, "page: not replayed: %s\n", qPrintable(request));
            continue;
        }
        curlArgs << QStringLiteral("-o") << QStringLiteral("/dev/null") << request.mid(4);
    }
    ClearLog(server);
    RunTool(QStringLiteral("curl"), curlArgs);
    result.curlOps = LoggedOps(server);

    std::vector<double> first, reload, requests, noHistory, bare, transfer, process;
    const QString peakFile = work + QStringLiteral("/peak.txt");
    for (int i = 0; i < rounds; ++i) {
        const SChildRun run = RunChild(peakFile, {QStringLiteral("page")});
        if (run.exitCode != 0 || run.Figures().size() < 8) {
            ++result.failures;
            std::fprintf(stderr, "page child failed (exit %d)\n", run.exitCode);
        } else {
            first.push_back(run.Figure(0));
            reload.push_back(run.Figure(1));
            requests.push_back(run.Figure(2));
            noHistory.push_back(run.Figure(3));
            result.entries = qlonglong(run.Figure(4));
            result.files = qlonglong(run.Figure(5));
            result.withHistory = qlonglong(run.Figure(6));
            result.localRecords = qlonglong(run.Figure(7));
            result.peakKb = std::max(result.peakKb, run.peakKb);
        }
        QString written;
        process.push_back(RunTool(QStringLiteral("curl"), curlArgs, &written));
        const QStringList times = written.split(u'\n', Qt::SkipEmptyParts);
        double sum = 0;
        for (const QString &t : times)
            sum += t.toDouble() * 1000.0;
        transfer.push_back(sum);
        bare.push_back(BareQt(result.clientRequests, key));
    }
    result.first = Median(first);
    result.reload = Median(reload);
    result.requests = Median(requests);
    result.noHistory = Median(noHistory);
    result.bareQt = Median(bare);
    result.curlTransfer = Median(transfer);
    result.curlProcess = Median(process);
    result.ok = !first.empty();
    return result;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    Prepare();
    if (args.value(0) == QLatin1String("--child"))
        return RunChildMode(args.mid(1), {{QStringLiteral("scan"), ChildScan},
                                          {QStringLiteral("page"),
                                           [](const QStringList &) { return ChildPage(); }}});
    const int rounds = std::max(1, args.value(0, QStringLiteral("7")).toInt());

    QTemporaryDir work(QStringLiteral("/tmp/velquor-bench-cache-XXXXXX"));
    if (!work.isValid())
        return 1;
    // The user-documents areas (history, edit, temp) inside the work folder, for the children
    // too.
    UseHomeIn(work.path());
    std::printf("%d rounds each, client and reference alternating, medians\n", rounds);

    const SScanResult scan = BenchScan(work.path(), rounds);
    const SPageResult page = BenchPage(work.path(), rounds);
    QDir::setCurrent(QDir::tempPath());

    std::printf("\nLoadPage sent (%lld requests):\n", qlonglong(page.clientRequests.size()));
    for (const QString &request : page.clientRequests)
        std::printf("  %s\n", qPrintable(request));
    std::printf("service log of LoadPage: %s\n",
                qPrintable(page.clientOps.join(QStringLiteral(", "))));
    std::printf("service log of curl:     %s (%s)\n",
                qPrintable(page.curlOps.join(QStringLiteral(", "))),
                page.curlOps == page.clientOps ? "the same" : "DIFFERENT");

    std::printf("\nscan of %d cached files of %lld KiB (%lld local records, %lld of %d marked "
                "Current by the verified scan)\n",
                kScanFiles, kScanFileSize / 1024, scan.listed, scan.current, kScanFiles);
    std::printf("  %-46s %9.1f ms\n", "md5sum over the same files (process)", scan.md5sum);
    std::printf("  %-46s %9.1f ms  %.2f x md5sum (goal <= 1.30)\n",
                "LoadList verify, new manager (cold digests)", scan.verifyCold,
                scan.md5sum > 0 ? scan.verifyCold / scan.md5sum : 0.0);
    std::printf("  %-46s %9.1f ms  %.2f x md5sum\n", "  floor: Qt MD5 alone, 8 KiB blocks",
                scan.floor, scan.md5sum > 0 ? scan.floor / scan.md5sum : 0.0);
    std::printf("  %-46s %9.1f ms  (goal < 50)\n", "LoadList without verification", scan.plain);
    std::printf("  %-46s %9.1f ms\n", "  floor: the directory listing with sizes", scan.listing);
    std::printf("  %-46s %9.1f ms\n", "LoadList verify, same manager (warm digests)",
                scan.verifyWarm);
    std::printf("  %-46s %9.1f MB\n", "peak RSS of the scanning process", scan.peakKb / 1024.0);
    if (scan.failures)
        std::printf("  (%d failed rounds)\n", scan.failures);

    std::printf("\npage of %lld entries (%lld files, %lld with history) against %lld local "
                "records\n",
                page.entries, page.files, page.withHistory, page.localRecords);
    std::printf("  %-46s %9.1f ms\n", "curl, the same requests (sum of time_total)",
                page.curlTransfer);
    std::printf("  %-46s %9.1f ms\n", "curl process (spawn to exit)", page.curlProcess);
    const double ct = page.curlTransfer > 0 ? page.curlTransfer : 1;
    std::printf("  %-46s %9.1f ms  %.2f x curl transfer\n", "first LoadPage", page.first,
                page.first / ct);
    std::printf("  %-46s %9.1f ms  %.2f x curl transfer, %.2f x curl process (goal < 150 ms, "
                "<= 2 x curl)\n",
                "reload (second LoadPage)", page.reload, page.reload / ct,
                page.curlProcess > 0 ? page.reload / page.curlProcess : 0.0);
    std::printf("  %-46s %9.1f ms\n", "  the same requests + parsing alone (client)",
                page.requests);
    std::printf("  %-46s %9.1f ms\n", "    of which bare Qt transport (no parsing)", page.bareQt);
    std::printf("  %-46s %9.1f ms\n", "  reload without history lookups", page.noHistory);
    std::printf("  %-46s %9.1f MB  (goal < 80)\n", "peak RSS of the loading process",
                page.peakKb / 1024.0);
    if (page.failures || !page.ok)
        std::printf("  (%d failed rounds)\n", page.failures);
    return 0;
}
