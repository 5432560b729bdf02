// The whole folder tree of a large office, loaded from the devserver the way the client does
// it (request, parse, tree order, chain names, mirror comparison with a local mirror of
// every folder), side by side with curl fetching the same answer; FindByPath over the same
// tree; and the peak memory of a process that does one such load.
//
//   bench_folders [folders=10000] [runs=7]
#include "account/LoginManager.h"
#include "core/AppState.h"
#include "core/Messages.h"
#include "core/Paths.h"
#include "folders/LocalWorkspaceManager.h"
#include "folders/SharedWorkspaceManager.h"

#include "BenchServer.h"
#include "Measure.h"
#include "Processes.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

using namespace bench;

bool SignIn(CLoginManager &login)
{
    return login.LoadSavedLogins()
           && login.SignIn(QStringLiteral("demo"), QStringLiteral("yamada"),
                           QStringLiteral("yamada-pass"), false);
}

// One load in a process of its own, for its peak resident size.
int ChildLoad()
{
    CLoginManager login;
    if (!SignIn(login))
        return 2;
    CLocalWorkspaceManager local(&login);
    CSharedWorkspaceManager shared(&login, &local);
    local.AttachShared(&shared);
    if (!local.Load() || !shared.Load() || !shared.IsTreeComplete())
        return 3;
    std::printf("child: %lld folders, %lld mirrored\n", qlonglong(shared.list().size()),
                qlonglong(local.list().size()));
    return 0;
}

// The tree request as Load sends it, asking for the answer uncompressed like curl's plain
// transfer, so that both sides move the same bytes whatever a server would compress.
class CPlainListRequest : public CWorkspaceListRequest
{
public:
    using CWorkspaceListRequest::CWorkspaceListRequest;

protected:
    void PrepareHeaders(CBizWinHttpClient &client) override
    {
        CWorkspaceListRequest::PrepareHeaders(client);
        client.SetHeader(QStringLiteral("Accept-Encoding"), QStringLiteral("identity"));
    }
};

// The transport alone: the same request, the body read as text and dropped.
class CTextOnlyRequest : public CPlainListRequest
{
public:
    using CPlainListRequest::CPlainListRequest;

protected:
    int ParseResponse(CBizWinHttpClient &client, int) override
    {
        QString text;
        return client.ReadText(&text) ? 1 : 0;
    }
};

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    AppState::SetNoUiMode(true);
    AnswerMessages(IDOK);
    const QStringList args = app.arguments();
    if (args.value(1) == QLatin1String("--child"))
        return ChildLoad();

    const int folders = args.value(1, QStringLiteral("10000")).toInt();
    const int runs = std::max(3, args.value(2, QStringLiteral("7")).toInt());

    QTemporaryDir install;
    QDir::setCurrent(install.path());
    CBenchServer server;
    const quint16 port
        = server.Start(QStringLiteral("scale:folders=%1,files=0").arg(folders), {}, false, 120000);
    if (port == 0 || !WriteServerVqr(port)) {
        std::fprintf(stderr, "devserver did not start\n");
        return 1;
    }

    CLoginManager login;
    if (!SignIn(login)) {
        std::fprintf(stderr, "sign-in failed\n");
        return 1;
    }
    CLocalWorkspaceManager local(&login);
    CSharedWorkspaceManager shared(&login, &local);
    local.AttachShared(&shared);
    local.WriteVersion();
    if (!shared.Load()) {
        std::fprintf(stderr, "load failed\n");
        return 1;
    }
    // A mirror of every folder, so that each load compares the whole tree.
    QElapsedTimer timer;
    timer.start();
    for (const CWorkspaceRecord *r : shared.list())
        local.FindById(r->id);
    const double mirrorMs = timer.nsecsElapsed() / 1e6;
    timer.restart();
    local.Load();
    const double localLoadMs = timer.nsecsElapsed() / 1e6;

    // curl: the same answer, body discarded.
    const QString url
        = server.api() + QStringLiteral("workspace/list?recursive=true&offset=0&dir=asc");
    std::vector<double> curlTransfer, curlProcess;
    qint64 answerBytes = 0;
    for (int i = 0; i < runs; ++i) {
        QString written;
        curlProcess.push_back(
            RunTool(QStringLiteral("curl"),
                    {QStringLiteral("-s"), QStringLiteral("-o"), QStringLiteral("/dev/null"),
                     QStringLiteral("-w"), QStringLiteral("%{time_total} %{size_download}"),
                     QStringLiteral("-H"),
                     QStringLiteral("x-velquor-access-key: ") + login.accessKey(), url},
                    &written));
        const QStringList out = written.split(u' ');
        curlTransfer.push_back(out.value(0).toDouble() * 1000.0);
        answerBytes = out.value(1).toLongLong();
    }

    // The client, step by step as Load runs them: request + parse into a new list, tree
    // order and chain names, mirror comparison with the local mirror of every folder.
    std::vector<double> loadMs, requestMs, orderMs, syncMs;
    for (int i = 0; i < runs; ++i) {
        CWorkspaceList list;
        SWorkspaceListOptions options;
        options.recursive = true;
        timer.restart();
        CPlainListRequest request(login, 0, options, &list);
        if (!request.ExecuteGet() || !request.walkComplete() || list.size() != shared.list().size())
            return 1;
        requestMs.push_back(timer.nsecsElapsed() / 1e6);
        QElapsedTimer step;
        step.start();
        list.ArrangeTreeOrder();
        list.RefreshPathNames();
        orderMs.push_back(step.nsecsElapsed() / 1e6);
        step.restart();
        local.SynchronizeWith(shared);
        syncMs.push_back(step.nsecsElapsed() / 1e6);
        loadMs.push_back(timer.nsecsElapsed() / 1e6);
    }
    std::vector<double> transportMs;
    for (int i = 0; i < runs; ++i) {
        SWorkspaceListOptions options;
        options.recursive = true;
        timer.restart();
        CTextOnlyRequest request(login, 0, options, nullptr);
        request.ExecuteGet();
        transportMs.push_back(timer.nsecsElapsed() / 1e6);
    }
    // Load itself once, with the transport's own Accept-Encoding.
    timer.restart();
    const bool loaded = shared.Load() && shared.IsTreeComplete();
    const double asIsMs = timer.nsecsElapsed() / 1e6;

    // FindByPath: the deepest folders of the tree, one request each.
    std::vector<double> findMs;
    QStringList paths;
    for (const CWorkspaceRecord *r : shared.list()) {
        if (r->Depth() == 3 && paths.size() < 50)
            paths.append(r->DisplayPath());
    }
    for (const QString &path : std::as_const(paths)) {
        CWorkspaceRecord found;
        timer.restart();
        if (!shared.FindByPath(path, found))
            return 1;
        findMs.push_back(timer.nsecsElapsed() / 1e6);
    }

    // Peak memory of one load in a fresh process (through /usr/bin/time).
    SChildOptions options;
    options.forwardOutput = true;
    options.waitMs = 120000;
    const SChildRun child = RunChild(install.filePath(QStringLiteral("peak.txt")), {}, options);

    std::printf("folders: %lld in the tree, answer %.1f MB, %d runs (medians)\n",
                qlonglong(shared.list().size()), answerBytes / 1e6, runs);
    std::printf("mirror of every folder: created in %.0f ms, read back from disk in %.1f ms\n",
                mirrorMs, localLoadMs);
    std::printf("curl transfer (time_total):          %7.1f ms\n", Median(curlTransfer));
    std::printf("curl process (spawn to exit):        %7.1f ms\n", Median(curlProcess));
    std::printf("client load (request..mirror):       %7.1f ms  (%.2f x curl transfer)\n",
                Median(loadMs), Median(loadMs) / Median(curlTransfer));
    std::printf("Load with Qt's Accept-Encoding:      %7.1f ms  (%s)\n", asIsMs,
                loaded ? "complete" : "failed");
    std::printf("  request + parse:                   %7.1f ms\n", Median(requestMs));
    std::printf("    of which transport + text:       %7.1f ms\n", Median(transportMs));
    std::printf("  tree order + chain names:          %7.1f ms\n", Median(orderMs));
    std::printf("  mirror comparison:                 %7.1f ms\n", Median(syncMs));
    std::printf("FindByPath (%lld depth-3 paths):      %7.2f ms median\n", qlonglong(findMs.size()),
                Median(findMs));
    std::printf("peak RSS of a process doing one load: %ld kB (exit %d)\n", child.peakKb,
                child.exitCode);
    return 0;
}
