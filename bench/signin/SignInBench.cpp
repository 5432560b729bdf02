// The online sign-in as the login window runs it (CSignInFlow::SignInOnline over a new
// installation, signed in as yamada at office "demo": register and login, the saved logins,
// the update check, the folder tree, the file types, the first page, the cache attached and
// compared), to result 1, against two offices of the devserver:
//
//  1. the demo seed, the root's page first;
//  2. the scale seed with 10,000 folders and 500 files, all 500 in its first folder, which
//     the window showed last (its id stored as the online window stores it), so the first
//     page holds 500 files.
//
// Next to each: one curl process sending the same requests over one reused connection. The
// requests are those the devserver logged during a client sign-in (printed), each with the
// parameters the client sends; register and login with their form bodies, the rest with the
// access key curl got itself. Goal: the client within 1.3 x curl.
//
// Every client sign-in is a child process (this executable again) under /usr/bin/time on a
// new installation (its own working directory and home), so its peak RSS is its own. Where
// the time goes is printed below each figure: a second child per round runs the same steps
// one by one, and curl's own per-request times. Client and curl alternate `rounds` times;
// the figures are medians (this machine is shared, single runs scatter). Nothing is asserted.
//
//   bench_signin [rounds=5]
#include "account/LoginManager.h"
#include "app/BizApp.h"
#include "app/SharedGuiSystem.h"
#include "app/SignInFlow.h"
#include "app/System.h"
#include "app/UpdateStep.h"
#include "core/AppState.h"
#include "core/BizException.h"
#include "core/BizProgress.h"
#include "core/Messages.h"
#include "core/Paths.h"
#include "files/FileTypeManager.h"
#include "files/SharedFileManager.h"
#include "folders/SharedWorkspaceManager.h"

#include "BenchServer.h"
#include "Measure.h"
#include "Processes.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QUrl>

#include <algorithm>
#include <cstdio>
#include <iterator>
#include <string>
#include <vector>

namespace {

using namespace bench;

constexpr STable kTable;

const QString kOffice = QStringLiteral("demo");
const QString kLoginId = QStringLiteral("yamada");
const QString kPassword = QStringLiteral("yamada-pass");
// The scale office's folder with all its files (the seed puts up to 1,000 in its first).
const QString kPageFolder = QStringLiteral("フォルダ00001");
constexpr double kGoal = 1.3;

int g_messages = 0;

void Prepare()
{
    PrepareNoUi(IDNO, &g_messages);
}

// --- the child: one sign-in ---------------------------------------------------------------

// The installation's settings as the program leaves them: server.vqr for the port, and the
// folder the online window showed last (0: the root).
bool PrepareInstallation(CBizApp &app, const QStringList &a)
{
    const quint16 port = quint16(a.value(0).toUInt());
    const int folder = a.value(1).toInt();
    if (!WriteServerVqr(port))
        return false;
    if (folder > 0) {
        app.WriteProfileInt(QStringLiteral("FileListDialog"), QStringLiteral("filterWorkspace"),
                            folder);
        app.SyncProfile();
    }
    return true;
}

// a: port, folder shown last. Prints (ms): the sign-in to its result; the result, the
// folders, the entries of the first page, the messages shown.
int ChildSignIn(const QStringList &a)
{
    CBizApp app;
    if (!PrepareInstallation(app, a))
        return 2;
    CSystemObjects systems;
    if (!systems.main()->StartReportingErrors())
        return 3;
    CSignInFlow flow(systems);
    CBizProgressHandler progress;
    QElapsedTimer timer;
    timer.start();
    const int result
        = flow.SignInOnline(SLoginFields{kOffice, kLoginId, kPassword, true}, &progress);
    const double ms = Ms(timer);
    std::printf("figures %.3f %d %lld %lld %d %d\n", ms, result,
                qlonglong(systems.shared()->sharedWorkspaces()->list().size()),
                qlonglong(systems.shared()->sharedFiles()->list().size()), g_messages,
                flow.openedFolderId());
    return result == 1 ? 0 : 4;
}

// The same steps one by one, as the flow runs them (a: as ChildSignIn). Prints (ms): login
// and saved logins, the update step, the shared start and cache attached, the file types,
// the folder tree, the first page (with comments and notice count), the cache brought in
// line.
int ChildSplit(const QStringList &a)
{
    CBizApp app;
    if (!PrepareInstallation(app, a))
        return 2;
    const qint32 folder = a.value(1).toInt();
    CSystemObjects systems;
    if (!systems.main()->StartReportingErrors())
        return 3;
    CBizProgressHandler progress;
    CMainSystem *main = systems.main();
    CSharedGuiSystem *shared = systems.sharedGui();
    CBizProgressAttach attachMain(*main, &progress);
    CBizProgressAttach attachShared(*shared, &progress);
    std::vector<double> steps;
    QElapsedTimer timer;
    auto step = [&](auto &&run) {
        timer.start();
        const bool ok = run();
        steps.push_back(Ms(timer));
        return ok;
    };
    const SFileListPage page;
    const bool ok
        = step([&] {
              return main->loginManager()->SignIn(kOffice, kLoginId, kPassword, true)
                     && main->loginManager()->SaveSavedLogins();
          })
          && step([&] { return RunUpdateStep(*main, &progress) == EUpdateStepResult::Continue; })
          && step([&] {
                 if (!shared->Start())
                     return false;
                 systems.local()->AttachShared(shared);
                 return true;
             })
          && step([&] { return shared->sharedFileTypes()->Load(); })
          && step([&] { return shared->sharedWorkspaces()->Load(); })
          && step([&] { return shared->OpenFolder(false, false, folder, page); })
          && step([&] { return shared->AttachShared(folder, page); });
    std::printf("steps");
    for (double ms : steps)
        std::printf(" %.3f", ms);
    std::printf("\n");
    return ok ? 0 : 4;
}

// --- the parent -----------------------------------------------------------------------------

struct SEnv
{
    QString work, base, api, key;
    quint16 port = 0;
    int installations = 0;
};

// A child mode of this executable through /usr/bin/time, on a new installation.
SChildRun RunChild(SEnv &env, const QStringList &args)
{
    const QString root = env.work + QStringLiteral("/inst%1").arg(++env.installations);
    const QString install = root + QStringLiteral("/install");
    const QString home = root + QStringLiteral("/home");
    QDir().mkpath(install);
    QDir().mkpath(home);
    SChildOptions options;
    options.reportFailure = true;
    options.workingDirectory = install;
    options.environment = HomeEnvironment(home);
    return bench::RunChild(root + QStringLiteral("/peak.txt"), args, options);
}

// One request of the logged sequence as a curl config block: the URL, the access key (not
// for register and login), the form body of a POST.
struct SPlan
{
    qint32 folder = 0;   // the first page's folder (0: the root)
    int subfolders = 0;  // its subfolders, the first entries of the page
    QString clientKey;   // of the reference's own registration
    int folderLists = 0; // workspace/list requests so far (the tree, then the page's folders)
};

QString Transfer(const SEnv &env, const QString &op, const QString &method, SPlan &plan)
{
    const QString id
        = plan.folder > 0 ? QStringLiteral("workspaceId=%1&").arg(plan.folder) : QString();
    const int pageSize = 500;
    QString url = env.api + op;
    QString body;
    bool keyed = true;
    if (op == QLatin1String("register")) {
        body = QStringLiteral("customerCode=%1&loginId=%2").arg(kOffice, kLoginId);
        keyed = false;
    } else if (op == QLatin1String("login")) {
        body = QStringLiteral("clientKey=%1&password=%2&pcName=BENCH")
                   .arg(plan.clientKey, kPassword);
        keyed = false;
    } else if (op == QLatin1String("autoupdate/version")) {
        url = env.base + QStringLiteral("/apps/api/autoupdate/version");
    } else if (op == QLatin1String("workspace/list")) {
        url += plan.folderLists++ == 0
                   ? QStringLiteral("?recursive=true&offset=0&dir=asc")
                   : QStringLiteral("?%1recursive=false&limit=%2&offset=0&dir=asc")
                         .arg(id)
                         .arg(plan.subfolders);
    } else if (op == QLatin1String("workspace/info")) {
        url += QStringLiteral("?workspaceId=%1").arg(plan.folder);
    } else if (op == QLatin1String("workspace/count")) {
        url += QStringLiteral("?%1recursive=false").arg(id);
    } else if (op == QLatin1String("file/count")) {
        url += QStringLiteral("?%1recursive=false&lockonly=false&lockbyMe=false").arg(id);
    } else if (op == QLatin1String("file/list")) {
        url += QStringLiteral("?%1recursive=false&lockonly=false&limit=%2&offset=0&dir=asc")
                   .arg(id)
                   .arg(pageSize - plan.subfolders);
    } else if (op != QLatin1String("filetype/list") && op != QLatin1String("information/count")) {
        std::fprintf(stderr, "no parameters known for %s\n", qPrintable(op));
    }
    QString block = QStringLiteral("url = ") + Quoted(url) + u'\n';
    if (keyed)
        block += QStringLiteral("header = ")
                 + Quoted(QStringLiteral("x-velquor-access-key: ") + env.key) + u'\n';
    if (method == QLatin1String("POST"))
        block += QStringLiteral("data = ") + Quoted(body) + u'\n';
    block += QStringLiteral("header = \"Expect:\"\nnoproxy = \"*\"\noutput = \"/dev/null\"\n");
    block += QStringLiteral("write-out = \"%{http_code} %{time_total}\\n\"\n");
    return block;
}

// One curl process running every transfer one after the other on one connection.
SCurlRun RunCurl(const SEnv &env, const QStringList &transfers)
{
    SCurlRun run = RunCurlConfig(env.work + QStringLiteral("/signin.curl"), transfers, false);
    if (run.status.size() != transfers.size() || run.Count(200) != run.status.size()) {
        std::fprintf(stderr, "curl: %lld of %lld transfers answered 200\n",
                     qlonglong(run.Count(200)), qlonglong(transfers.size()));
        run.ms = -1;
    }
    return run;
}

struct SOfficeResult
{
    QString name;
    double client = 0, wall = 0, cpu = 0, ref = 0, refCpu = 0;
    std::vector<double> steps;         // medians of the split child
    QList<QPair<QString, double>> ops; // curl per request, medians
    long peakKb = 0;
    int result = -1, folders = -1, entries = -1, messages = -1, rounds = 0, failures = 0;
    QStringList sequence;
};

SOfficeResult BenchOffice(const QString &name, const QString &seed, const QString &work, int rounds)
{
    SOfficeResult result;
    result.name = name;
    CBenchServer server;
    SEnv env;
    env.work = work;
    env.port = server.Start(seed, work + QStringLiteral("/server"), true, 120000);
    if (env.port == 0) {
        std::fprintf(stderr, "%s: the devserver did not start\n", qPrintable(name));
        return result;
    }
    env.base = server.base();
    env.api = server.api();
    qint32 folder = 0;
    if (seed.startsWith(QLatin1String("scale")))
        folder = server.FolderId(kPageFolder);
    const QStringList childArgs{QString::number(env.port), QString::number(folder)};

    // A first sign-in (not measured) gives the requests of one.
    server.Hook(QStringLiteral("log/clear"), {QStringLiteral("-X"), QStringLiteral("POST")});
    const SChildRun first = RunChild(env, QStringList{QStringLiteral("signin")} + childArgs);
    const QString log = server.Hook(QStringLiteral("log"));
    for (const QString &line : log.split(u'\n', Qt::SkipEmptyParts)) {
        const QStringList words = line.split(u' ', Qt::SkipEmptyParts);
        if (words.size() >= 4)
            result.sequence << words.at(1) + u' ' + words.at(2) + u' ' + words.at(3);
    }
    std::printf("%s: the sign-in's requests: %s\n", qPrintable(name),
                qPrintable(result.sequence.join(QStringLiteral(", "))));
    std::fflush(stdout);
    if (first.exitCode != 0 || result.sequence.isEmpty())
        return result;

    // The reference's own registration and access key (curl cannot carry an answer into the
    // next request): its timed register and login are sent all the same.
    SPlan plan;
    plan.folder = folder;
    env.key = server.ReferenceKey(kOffice, kLoginId, kPassword, &plan.clientKey);
    QString countUrl = env.api + QStringLiteral("workspace/count?recursive=false");
    if (folder > 0)
        countUrl += QStringLiteral("&workspaceId=%1").arg(folder);
    plan.subfolders = XmlValue(Curl({QStringLiteral("-H"),
                                     QStringLiteral("x-velquor-access-key: ") + env.key, countUrl}),
                               QStringLiteral("count"))
                          .toInt();
    QStringList transfers, ops;
    for (const QString &entry : result.sequence) {
        const QStringList words = entry.split(u' ');
        transfers << Transfer(env, words.value(1), words.value(0), plan);
        ops << words.value(1);
    }

    std::vector<double> client, wall, cpu, ref, refCpu;
    std::vector<std::vector<double>> steps(7), perOp(size_t(ops.size()));
    for (int r = 0; r < rounds; ++r) {
        const SChildRun signIn = RunChild(env, QStringList{QStringLiteral("signin")} + childArgs);
        const SCurlRun curl = RunCurl(env, transfers);
        const SChildRun split = RunChild(env, QStringList{QStringLiteral("split")} + childArgs);
        if (signIn.exitCode != 0 || curl.ms < 0 || split.exitCode != 0) {
            ++result.failures;
            continue;
        }
        client.push_back(signIn.Figure(0));
        wall.push_back(signIn.wallMs);
        cpu.push_back(signIn.cpuMs);
        result.peakKb = std::max(result.peakKb, signIn.peakKb);
        result.result = int(signIn.Figure(1));
        result.folders = int(signIn.Figure(2));
        result.entries = int(signIn.Figure(3));
        result.messages = int(signIn.Figure(4));
        ref.push_back(curl.ms);
        refCpu.push_back(curl.cpuMs);
        for (size_t i = 0; i < steps.size(); ++i)
            steps[i].push_back(split.Value(QStringLiteral("steps"), int(i)));
        for (qsizetype i = 0; i < curl.seconds.size() && i < ops.size(); ++i)
            perOp[size_t(i)].push_back(curl.seconds.at(i) * 1000);
        ++result.rounds;
    }
    result.client = Median(client);
    result.wall = Median(wall);
    result.cpu = Median(cpu);
    result.ref = Median(ref);
    result.refCpu = Median(refCpu);
    for (const auto &s : steps)
        result.steps.push_back(Median(s));
    for (qsizetype i = 0; i < ops.size(); ++i)
        result.ops << qMakePair(ops.at(i), Median(perOp[size_t(i)]));
    return result;
}

void Print(const SOfficeResult &r)
{
    std::printf("\n%s: sign-in to result %d (%d folders, %d entries on the first page, %d "
                "messages)\n",
                qPrintable(r.name), r.result, r.folders, r.entries, r.messages);
    kTable.Line("client SignInOnline", r.client);
    kTable.Line("curl, the same requests on one connection", r.ref);
    STable(52, 9, 2).Line("client / curl", Ratio(r.client, r.ref), "x",
                          QString::asprintf(" (goal: within %.1f x)", kGoal));
    kTable.Line("peak RSS of the client's child", r.peakKb / 1024.0, "MB");
    kTable.Line("  the client's whole child, spawn to exit", r.wall);
    kTable.Line("  CPU of the client's whole child (user + system)", r.cpu);
    kTable.Line("  CPU of curl (user + system)", r.refCpu);
    std::printf("  the client's steps one by one:\n");
    const char *names[] = {"register, login, saved logins",
                           "update check",
                           "start, cache attached",
                           "file types",
                           "folder tree",
                           "first page (count, list, notices)",
                           "cache brought in line"};
    for (size_t i = 0; i < r.steps.size() && i < std::size(names); ++i)
        kTable.Line(("    " + std::string(names[i])).c_str(), r.steps[i]);
    std::printf("  curl per request (time_total):\n");
    for (const auto &op : r.ops)
        kTable.Line(("    " + op.first.toStdString()).c_str(), op.second);
    if (r.failures)
        std::printf("  (%d failed rounds)\n", r.failures);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    Prepare();
    if (args.value(0) == QLatin1String("--child"))
        return RunChildMode(args.mid(1), {{QStringLiteral("signin"), ChildSignIn},
                                          {QStringLiteral("split"), ChildSplit}});
    const int rounds = std::max(1, args.value(0, QStringLiteral("5")).toInt());
    QTemporaryDir work(QStringLiteral("/tmp/velquor-bench-signin-XXXXXX"));
    if (!work.isValid())
        return 1;
    std::printf("%d rounds each, client and curl alternating, medians\n", rounds);
    std::fflush(stdout);
    const SOfficeResult demo = BenchOffice(QStringLiteral("demo office"), QStringLiteral("demo"),
                                           work.path() + QStringLiteral("/demo"), rounds);
    const SOfficeResult scale
        = BenchOffice(QStringLiteral("scale office (10,000 folders, a 500-file first page)"),
                      QStringLiteral("scale:folders=10000,files=500"),
                      work.path() + QStringLiteral("/scale"), rounds);
    Print(demo);
    Print(scale);
    return 0;
}
