// The online main window's file list (CSharedFileListDialog, offscreen on a 1600 × 1000
// screen), signed in as yamada at office "demo" of a devserver with the page seed, the
// window on the seed's one folder:
//
//  1. a page of 500 files: the fetch (LoadPage, next to curl fetching the same file/list
//     URL), then from the answer's last byte to the rows painted (RebuildList and the list's
//     repaint); goal under 50 ms;
//  2. the 500 rows sorted by each sortable column kind: SortFileRows alone, and the window's
//     path (a click on the column's header to the sorted rows painted) for each kind with a
//     column in this view; goal under 10 ms each;
//  3. the window resized through 200 sizes in 2 s (one resize every 10 ms, events processed
//     between): the proportional column layouts run (one after the 100 ms pause, not one per
//     resize) and the longest frame;
//  4. 5,000 files with paging off: filled and painted (goal under 150 ms) and the window's
//     memory beyond the records (heap in use and RSS with the records loaded before the
//     window exists, and once it shows the rows; goal under 20 MB).
//
// Each seed runs in a child process (this executable again) on a new installation, so its
// memory is its own. Repeated figures are medians (this machine is shared, single runs
// scatter); the first run is printed apart where it differs. Nothing is asserted.
//
//   bench_mainwindow [rounds=15]
#include "app/BizApp.h"
#include "app/SharedGuiSystem.h"
#include "app/SignInFlow.h"
#include "app/System.h"
#include "core/AppState.h"
#include "core/BizException.h"
#include "core/Messages.h"
#include "core/Paths.h"
#include "files/FileRecord.h"
#include "files/SharedFileManager.h"

#include "BenchServer.h"
#include "Measure.h"
#include "Processes.h"
#include "ui/main/FileListCells.h"
#include "ui/main/FileListColumns.h"
#include "ui/main/SharedFileListDialog.h"
#include "ui/main/WebPages.h"
#include "ui/toolkit/AppIcon.h"
#include "ui/toolkit/BizDialog.h"
#include "ui/toolkit/KeyboardState.h"
#include "ui/toolkit/ModalRun.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QHeaderView>
#include <QLoggingCategory>
#include <QMouseEvent>
#include <QProcess>
#include <QProcessEnvironment>
#include <QScreen>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

#include <malloc.h>
#include <unistd.h>

namespace {

using namespace bench;

const QString kOffice = QStringLiteral("demo");
const QString kLoginId = QStringLiteral("yamada");
const QString kPassword = QStringLiteral("yamada-pass");
const QString kPageFolder = QStringLiteral("ページ");
const QString kSection = QStringLiteral("FileListDialog");
constexpr int kPageFiles = 500;
constexpr int kWholeFiles = 5000;
constexpr int kResizeSteps = 200;
constexpr int kResizeStepMs = 10;

int g_messages = 0;

constexpr STable kTable(58, 9, 2);

void Figures(const char *label, const std::vector<double> &runs)
{
    kTable.Line(
        label, Median(runs), "ms",
        QString::asprintf("(first %.2f, max %.2f)", runs.empty() ? 0.0 : runs.front(),
                          runs.empty() ? 0.0 : *std::max_element(runs.begin(), runs.end())));
}

// Heap in use (malloc's arenas and its mapped blocks) and the resident set, in MB.
struct SMemory
{
    double heapMb = 0;
    double rssMb = 0;
};

SMemory Memory()
{
    SMemory memory;
    const struct mallinfo2 info = mallinfo2();
    memory.heapMb = double(info.uordblks + info.hblkhd) / (1024.0 * 1024.0);
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (statm.open(QIODevice::ReadOnly)) {
        const QList<QByteArray> fields = statm.readAll().split(' ');
        memory.rssMb
            = fields.value(1).toDouble() * double(sysconf(_SC_PAGESIZE)) / (1024.0 * 1024.0);
    }
    return memory;
}

// --- the child: one seed's window ----------------------------------------------------------

struct SChildArgs
{
    QString mode; // "page" or "whole"
    quint16 port = 0;
    qint32 folder = 0;
    int rounds = 15;
};

// The window idle as the tests run it: no progress under way, no refresh waiting, the
// coalesced command states and paints done.
bool Settle(CFileListDialog &window, int maxMs = 30000)
{
    QElapsedTimer clock;
    clock.start();
    do {
        for (int i = 0; i < 5; ++i)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    } while ((window.isRefreshPosted() || window.IsBusy()) && clock.elapsed() < maxMs);
    for (int i = 0; i < 3; ++i)
        QCoreApplication::processEvents();
    return !window.isRefreshPosted() && !window.IsBusy();
}

void PaintList(CFileListDialog &window)
{
    window.list()->viewport()->repaint();
}

// From the answer's last byte to the rows painted: the rows rebuilt from the manager's
// records and the list painted at once.
std::vector<double> TimeRebuild(CFileListDialog &window, int rounds)
{
    std::vector<double> runs;
    for (int r = 0; r < rounds; ++r) {
        QElapsedTimer timer;
        timer.start();
        window.RebuildList();
        PaintList(window);
        runs.push_back(Ms(timer));
        QCoreApplication::processEvents();
    }
    return runs;
}

// One request for the file/list answer of the page as the client asks for it, with curl's
// own access key; per transfer on one connection, and one whole curl process.
void CurlReference(quint16 port, qint32 folder, int files, int rounds)
{
    const QString base = QStringLiteral("http://127.0.0.1:%1").arg(port);
    const QString api = base + QStringLiteral("/apps/api/apis/");
    const QString key = ReferenceKey(api, kOffice, kLoginId, kPassword);
    const QString url
        = api
          + QStringLiteral("file/list?workspaceId=%1&recursive=false&lockonly=false&limit=%2"
                           "&offset=0&dir=asc")
                .arg(folder)
                .arg(files);
    const QString header = QStringLiteral("x-velquor-access-key: ") + key;
    std::vector<double> process, transfer;
    for (int r = 0; r < rounds; ++r) {
        double ms = -1;
        Curl({QStringLiteral("-o"), QStringLiteral("/dev/null"), QStringLiteral("-H"), header, url},
             &ms);
        if (ms >= 0)
            process.push_back(ms);
    }
    QStringList args{QStringLiteral("-H"), header, QStringLiteral("-w"),
                     QStringLiteral("%{time_total} %{size_download}\\n")};
    for (int r = 0; r < rounds; ++r)
        args << QStringLiteral("-o") << QStringLiteral("/dev/null") << url;
    qint64 bytes = 0;
    for (const QString &line : Curl(args).split(u'\n', Qt::SkipEmptyParts)) {
        transfer.push_back(line.section(u' ', 0, 0).toDouble() * 1000);
        bytes = line.section(u' ', 1, 1).toLongLong();
    }
    Figures("curl, the file/list answer (one transfer, reused connection)", transfer);
    Figures("curl, one whole process for it", process);
    std::printf("  (the answer: %lld bytes)\n", qlonglong(bytes));
}

// The page fetched as the window fetches it (before the window exists: a load replaces the
// records the list points at).
void TimeLoadPage(CSharedGuiSystem &gui, qint32 folder, qint32 pageSize, int rounds)
{
    CSharedFileManager *files = gui.sharedFiles();
    std::vector<double> runs;
    qint32 loaded = 0;
    for (int r = 0; r < rounds; ++r) {
        SFilePageQuery query;
        query.folderId = folder;
        query.pageSize = pageSize;
        QElapsedTimer timer;
        timer.start();
        const bool ok = files->LoadPage(query);
        const double ms = Ms(timer);
        if (ok)
            runs.push_back(ms);
        loaded = qint32(files->list().size());
    }
    Figures("LoadPage (count and list requests, records)", runs);
    std::printf("  (%d entries loaded)\n", loaded);
}

// A click on the header of column (press and release, as a user's).
void ClickHeader(CFileListCtrl &list, int column)
{
    QHeaderView *header = list.horizontalHeader();
    const QPointF at(header->sectionViewportPosition(column) + header->sectionSize(column) / 2,
                     header->height() / 2);
    const QPointF global = header->viewport()->mapToGlobal(at);
    QMouseEvent press(QEvent::MouseButtonPress, at, global, Qt::LeftButton, Qt::LeftButton,
                      Qt::NoModifier);
    QCoreApplication::sendEvent(header->viewport(), &press);
    QMouseEvent release(QEvent::MouseButtonRelease, at, global, Qt::LeftButton, Qt::NoButton,
                        Qt::NoModifier);
    QCoreApplication::sendEvent(header->viewport(), &release);
}

void BenchSorting(CSharedFileListDialog &window, int rounds)
{
    // Every optional column this folder view can show, so that more kinds have a header.
    for (int command :
         {int(MainId::ShowAppName), int(MainId::ShowUpdateName), int(MainId::ShowFileSize)}) {
        window.OnCommand(command);
        Settle(window);
    }
    const QList<CFileRecord *> shown = window.list()->rows();
    std::printf("\n2. sorting %lld rows: SortFileRows ascending / descending, and the window's "
                "header click to the sorted rows painted (goal under 10 ms each)\n",
                qlonglong(shown.size()));
    std::printf("  %-16s %12s %12s %16s %s\n", "kind", "asc (ms)", "desc (ms)", "header click", "");
    const char *names[] = {"FolderName",  "FileName",      "AppName",       "Status",
                           "TransacDate", "TransacClient", "TransacAmount", "UpdateTime",
                           "UpdateName",  "FileComment",   "FileSize",      "PathLen"};
    for (int kind = 0; kind < ColumnKind::Count; ++kind) {
        if (!IsSortableKind(kind))
            continue;
        std::vector<double> asc, desc;
        for (int r = 0; r < rounds; ++r) {
            for (bool descending : {false, true}) {
                QList<CFileRecord *> rows = shown;
                QElapsedTimer timer;
                timer.start();
                SortFileRows(rows, kind, descending);
                (descending ? desc : asc).push_back(Ms(timer));
            }
        }
        QString click = QStringLiteral("no column");
        const int column = window.list()->ColumnOfKind(kind);
        if (column >= 0) {
            std::vector<double> clicks;
            bool agrees = true;
            for (int r = 0; r < rounds; ++r) {
                QElapsedTimer timer;
                timer.start();
                ClickHeader(*window.list(), column);
                PaintList(window);
                clicks.push_back(Ms(timer));
                // What the window shows against the sort of the same kind and direction.
                QList<CFileRecord *> expected = window.list()->rows();
                SortFileRows(expected, kind, window.sortDown(window.view(), kind));
                agrees = agrees && expected == window.list()->rows()
                         && window.sortKind(window.view()) == kind;
                Settle(window);
            }
            click = QStringLiteral("%1%2")
                        .arg(Median(clicks), 0, 'f', 2)
                        .arg(agrees ? QString() : QStringLiteral(" (rows not in sort order!)"));
        }
        std::printf("  %-16s %12.3f %12.3f %16s\n", names[kind], Median(asc), Median(desc),
                    qPrintable(click));
    }
}

void BenchResize(CSharedFileListDialog &window)
{
    window.resize(CFileListDialog::DefaultWidth, CFileListDialog::DefaultHeight);
    Settle(window);
    QThread::msleep(300); // the layout of the size above, not counted
    Settle(window);
    CFileListCtrl *list = window.list();
    const int before = list->layoutCount();
    double longestGap = 0, longestResize = 0, longestEvents = 0, longestStep = 0;
    QElapsedTimer clock;
    clock.start();
    qint64 lastResizeNs = -1;
    for (int i = 0; i < kResizeSteps; ++i) {
        const qint64 slotEnd = qint64(i + 1) * kResizeStepMs * 1000000;
        // A drag of the bottom-right corner: wider and taller, then back.
        const int t = i < kResizeSteps / 2 ? i : kResizeSteps - 1 - i;
        const qint64 stepStart = clock.nsecsElapsed();
        if (lastResizeNs >= 0)
            longestGap = std::max(longestGap, (stepStart - lastResizeNs) / 1e6);
        lastResizeNs = stepStart;
        window.resize(900 + t * 6, 600 + t * 3);
        longestResize = std::max(longestResize, (clock.nsecsElapsed() - stepStart) / 1e6);
        while (clock.nsecsElapsed() < slotEnd) {
            const qint64 start = clock.nsecsElapsed();
            QCoreApplication::processEvents();
            longestEvents = std::max(longestEvents, (clock.nsecsElapsed() - start) / 1e6);
            const qint64 left = slotEnd - clock.nsecsElapsed();
            if (left > 0)
                QThread::usleep(static_cast<unsigned long>(std::min<qint64>(left / 1000, 1000)));
        }
        longestStep = std::max(longestStep, (clock.nsecsElapsed() - stepStart) / 1e6);
    }
    const double dragMs = Ms(clock);
    const int during = list->layoutCount() - before;
    QElapsedTimer pause;
    pause.start();
    while (pause.elapsed() < 400) {
        QCoreApplication::processEvents();
        QThread::msleep(2);
    }
    const int after = list->layoutCount() - before;
    std::printf("\n3. resizing through %d sizes, one every %d ms (%.0f ms in all)\n", kResizeSteps,
                kResizeStepMs, dragMs);
    std::printf("  %-58s %9d\n", "proportional layouts during the drag", during);
    std::printf("  %-58s %9d\n", "proportional layouts once paused 400 ms (in all)", after);
    kTable.Line("longest time between two resize steps (goal ~10)", longestGap);
    kTable.Line("longest step (the resize and its events)", longestStep);
    kTable.Line("longest resize() call", longestResize);
    kTable.Line("longest single event-processing call", longestEvents);
}

int ChildRun(const SChildArgs &a)
{
    const bool whole = a.mode == QLatin1String("whole");
    // The installation is the working directory (the executable's folder is the build's).
    SetExecutableFolderOverride(QDir::currentPath());
    CBizApp app;
    if (!WriteServerVqr(a.port))
        return 2;
    // The folder the window showed last, as the window stores it; paging off for the whole.
    app.WriteProfileInt(kSection, QStringLiteral("filterWorkspace"), a.folder);
    if (whole)
        app.WriteProfileInt(kSection, QStringLiteral("pagiEnalbed"), 0);
    app.SyncProfile();

    CSystemObjects systems;
    if (!systems.main()->StartReportingErrors())
        return 3;
    {
        CSignInFlow flow(systems);
        if (flow.SignInOnline(SLoginFields{kOffice, kLoginId, kPassword, true}) != 1)
            return 4;
    }
    CSharedGuiSystem &gui = *systems.sharedGui();
    const int files = whole ? kWholeFiles : kPageFiles;

    if (!whole) {
        std::printf("\n1. a page of %d files: the fetch\n", kPageFiles);
        TimeLoadPage(gui, a.folder, kPageFiles, a.rounds);
        CurlReference(a.port, a.folder, kPageFiles, a.rounds);
    } else {
        std::printf("\n4. %d files, paging off: the fetch (for comparison)\n", kWholeFiles);
        TimeLoadPage(gui, a.folder, 1 << 30, std::max(3, a.rounds / 3));
        CurlReference(a.port, a.folder, kWholeFiles, std::max(3, a.rounds / 3));
    }
    // The records as a sign-in leaves them, then the memory without any window.
    {
        SFilePageQuery query;
        query.folderId = a.folder;
        query.pageSize = whole ? (1 << 30) : kPageFiles;
        if (!gui.sharedFiles()->LoadPage(query))
            return 5;
    }
    for (int i = 0; i < 3; ++i)
        QCoreApplication::processEvents();
    const SMemory withoutWindow = Memory();

    QElapsedTimer opening;
    opening.start();
    auto window = std::make_unique<CSharedFileListDialog>(gui);
    window->show();
    if (!Settle(*window)) {
        std::fprintf(stderr, "the window did not settle\n");
        return 6;
    }
    PaintList(*window);
    const double openingMs = Ms(opening);
    const SMemory withWindow = Memory();
    const qsizetype rows = window->list()->rows().size();

    if (!whole) {
        std::printf("\n1. a page of %d files: the answer's last byte to the rows painted "
                    "(goal under 50 ms)\n",
                    kPageFiles);
        Figures("RebuildList + the list's repaint", TimeRebuild(*window, a.rounds));
        kTable.Line("the window opened: shown, its refresh (fetch included), painted", openingMs);
        std::printf("  (%lld rows, window %d x %d, paging %s)\n", qlonglong(rows), window->width(),
                    window->height(), window->isPagingEnabled() ? "on" : "off");
        BenchResize(*window);
        BenchSorting(*window, a.rounds);
    } else {
        std::printf("\n4. %d files, paging off: filled and painted (goal under 150 ms)\n",
                    kWholeFiles);
        Figures("RebuildList + the list's repaint", TimeRebuild(*window, a.rounds));
        kTable.Line("the window opened: shown, its refresh (fetch included), painted", openingMs);
        std::printf("  (%lld rows, paging %s)\n", qlonglong(rows),
                    window->isPagingEnabled() ? "on" : "off");
        const SMemory shown = Memory();
        std::printf("  the window's memory beyond the records (goal under 20 MB):\n");
        std::printf("  %-58s heap %7.1f MB   RSS %7.1f MB\n", "records loaded, no window",
                    withoutWindow.heapMb, withoutWindow.rssMb);
        std::printf("  %-58s heap %7.1f MB   RSS %7.1f MB\n", "the window open, rows shown",
                    withWindow.heapMb, withWindow.rssMb);
        std::printf("  %-58s heap %7.1f MB   RSS %7.1f MB\n", "after the rebuilds above",
                    shown.heapMb, shown.rssMb);
        std::printf("  %-58s heap %7.1f MB   RSS %7.1f MB\n", "the window's own (open - before)",
                    withWindow.heapMb - withoutWindow.heapMb,
                    withWindow.rssMb - withoutWindow.rssMb);
    }
    (void)files;
    if (g_messages)
        std::printf("  (%d messages shown)\n", g_messages);
    std::fflush(stdout);
    window->hide();
    window.reset();
    return 0;
}

// --- the parent -----------------------------------------------------------------------------

// One seed: its devserver, the child on a new installation (its own working directory and
// home, the offscreen screen of a desktop's size).
int RunSeed(const QString &work, const QString &mode, const QString &seed, int rounds)
{
    QDir().mkpath(work);
    CBenchServer server;
    const quint16 port = server.Start(seed, work + QStringLiteral("/server"), true, 120000);
    if (port == 0) {
        std::fprintf(stderr, "%s: the devserver did not start\n", qPrintable(seed));
        return 1;
    }
    const qint32 folder = server.FolderId(kPageFolder);
    const QString install = work + QStringLiteral("/install");
    const QString home = work + QStringLiteral("/home");
    const QString runtime = work + QStringLiteral("/runtime");
    QDir().mkpath(install);
    QDir().mkpath(home);
    QDir().mkpath(runtime);
    QFile::setPermissions(runtime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    const QString screens = work + QStringLiteral("/screens.json");
    {
        QFile file(screens);
        if (!file.open(QIODevice::WriteOnly))
            return 1;
        file.write(R"({"screens": [{"name": "desktop", "x": 0, "y": 0, "width": 1600,)"
                   R"( "height": 1000, "logicalDpi": 96, "logicalBaseDpi": 96, "dpr": 1}]})");
    }
    QProcessEnvironment environment = HomeEnvironment(home);
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime);
    environment.insert(QStringLiteral("LANG"), QStringLiteral("C.UTF-8"));
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"),
                       QStringLiteral("offscreen:configfile=") + screens);
    environment.remove(QStringLiteral("VELQUOR_SUPPORT_MODE"));
    QProcess child;
    child.setProcessEnvironment(environment);
    child.setWorkingDirectory(install);
    child.setProcessChannelMode(QProcess::ForwardedChannels);
    std::fflush(stdout);
    child.start(QCoreApplication::applicationFilePath(),
                {QStringLiteral("--child"), mode, QString::number(port), QString::number(folder),
                 QString::number(rounds)});
    child.waitForFinished(-1);
    const int code = child.exitStatus() == QProcess::NormalExit ? child.exitCode() : -1;
    if (code != 0)
        std::fprintf(stderr, "%s: the child failed (exit %d)\n", qPrintable(seed), code);
    return code;
}

void PrepareChild()
{
    QLoggingCategory::setFilterRules(QStringLiteral("velquor.*.info=false\nvelquor.*.debug=false"));
    AppState::SetAppName(QStringLiteral("VELQUOR"));
    AppState::SetHasDisplay(true);
    QApplication::setFont(DialogFont());
    QApplication::setWindowIcon(ApplicationIcon());
    SetMessageSink([](const QString &text, MsgIcon, MsgButtons) {
        ++g_messages;
        std::fprintf(stderr, "message: %s\n", qPrintable(text));
        return int(IDNO);
    });
    // No key is held, no web page opens, and a dialog the window might open is cancelled.
    SetHeldModifiersQuery([] { return Qt::KeyboardModifiers(Qt::NoModifier); });
    SetUrlOpener([](const QString &) { return true; });
    SetModalDriver([](QDialog &shown) {
        ++g_messages;
        std::fprintf(stderr, "dialog: %s\n", qPrintable(shown.windowTitle()));
        QTimer::singleShot(0, &shown, [&shown] { shown.reject(); });
    });
}

} // namespace

int main(int argc, char **argv)
{
    if (argc > 1 && QByteArray(argv[1]) == "--child") {
        QApplication app(argc, argv);
        PrepareChild();
        const QStringList args = app.arguments().mid(2);
        SChildArgs a;
        a.mode = args.value(0);
        a.port = quint16(args.value(1).toUInt());
        a.folder = args.value(2).toInt();
        a.rounds = std::max(1, args.value(3).toInt());
        try {
            return ChildRun(a);
        } catch (const CBizException &e) {
            std::fprintf(stderr, "%s: %s\n", qPrintable(a.mode), e.what());
            return 9;
        }
    }
    QCoreApplication app(argc, argv);
    const int rounds = std::max(1, app.arguments().value(1, QStringLiteral("15")).toInt());
    QTemporaryDir work(QStringLiteral("/tmp/velquor-bench-mainwindow-XXXXXX"));
    if (!work.isValid())
        return 1;
    std::printf("the online window's list, offscreen 1600 x 1000; %d rounds, medians\n", rounds);
    const int page = RunSeed(work.path() + QStringLiteral("/page"), QStringLiteral("page"),
                             QStringLiteral("page:subfolders=0,files=%1").arg(kPageFiles), rounds);
    const int whole
        = RunSeed(work.path() + QStringLiteral("/whole"), QStringLiteral("whole"),
                  QStringLiteral("page:subfolders=0,files=%1").arg(kWholeFiles), rounds);
    return page == 0 && whole == 0 ? 0 : 1;
}
