// File comments against their goals, measured in one run:
//
//  1. comments.vqr with 10,000 pending comments of 1,000 characters (about 20 MB): Save
//     (encoding, the temporary file, its flush to the disk and the rename) and Load (read,
//     decode into records), each under 100 ms.
//  2. One comment edit of a free file as the editor runs it, signed in as yamada at office
//     "demo" against the devserver's demo seed: BeginCommentEdit (file/info, file/lock), then
//     EndCommentEdit confirmed (file/info, file/comment/create, file/unlock), within 1.2 x
//     one curl process sending the same five requests per edit over one reused connection.
//     Each round runs kEdits edits on each side, alternating; the figure is per edit.
//
// Figures are medians over the rounds (this machine is shared, single runs scatter). Nothing
// is asserted.
//
//   bench_comments [rounds=5]
#include "account/LoginManager.h"
#include "app/SharedGuiSystem.h"
#include "app/System.h"
#include "core/AppState.h"
#include "core/BizException.h"
#include "core/Messages.h"
#include "core/Paths.h"
#include "files/FileCommentManager.h"
#include "files/FileTypeManager.h"
#include "files/SharedFileManager.h"
#include "folders/SharedWorkspaceManager.h"

#include "BenchServer.h"
#include "Measure.h"
#include "Processes.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTemporaryDir>
#include <QUrl>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

using namespace bench;

constexpr int kPending = 10000;
constexpr int kCommentLength = 1000;
constexpr int kEdits = 100;
const QString kFolderPath = QStringLiteral("経理/2024");
const QString kPath = QStringLiteral("/仕訳帳.csv");
const QString kText = QStringLiteral("ベンチマークのコメント\n二行目");

void Prepare()
{
    PrepareNoUi(IDOK);
}

// --- 1. comments.vqr ------------------------------------------------------------------------

struct SStateResult
{
    double save = 0, load = 0, encode = 0;
    qint64 bytes = 0;
    bool ok = false;
};

SStateResult BenchStateFile(const QString &work, int rounds)
{
    SStateResult result;
    const QString path = work + QStringLiteral("/state/comments.vqr");
    CLocalFileCommentManager comments(nullptr);
    comments.SetStatePath(path);
    QString text;
    text.reserve(kCommentLength);
    for (int i = 0; i < kCommentLength; ++i)
        text += QChar(u'あ' + (i % 80));
    for (int i = 0; i < kPending; ++i) {
        CFileCommentRecord r;
        r.workspaceId = 1 + i / 100;
        r.path = QStringLiteral("/月次資料_%1.xlsx").arg(i, 5, 10, QChar(u'0'));
        r.text = text;
        r.updateId = 7;
        r.updateName = QStringLiteral("yamada");
        r.updateDispName = QStringLiteral("山田 太郎");
        r.updateTime = CDateTimeValue::FromFields(2024, 3, 1 + i % 28, 9, i % 60);
        comments.StorePending(r);
    }
    std::vector<double> save, load, encode;
    for (int round = 0; round < rounds; ++round) {
        QElapsedTimer timer;
        timer.start();
        const QByteArray bytes = comments.Encode();
        encode.push_back(Ms(timer));
        result.bytes = bytes.size();

        timer.restart();
        comments.Save();
        save.push_back(Ms(timer));

        CLocalFileCommentManager reread(nullptr);
        reread.SetStatePath(path);
        timer.restart();
        const bool read = reread.Load();
        load.push_back(Ms(timer));
        if (!read || reread.pending().GetCount() != kPending) {
            std::fprintf(stderr, "comments.vqr: read back %lld of %d\n",
                         qlonglong(reread.pending().GetCount()), kPending);
            return result;
        }
    }
    result.save = Median(save);
    result.load = Median(load);
    result.encode = Median(encode);
    result.ok = true;
    return result;
}

// --- 2. one comment edit --------------------------------------------------------------------

struct SEditResult
{
    double client = 0, curl = 0, small = 0, bare = 0, begin = 0, end = 0;
    QList<QPair<QString, double>> curlOps; // curl alone, per request of one operation
    int failures = 0;
    bool ok = false;
};

// kEdits edits as curl config: the five requests of each, one transfer after the other.
// only: just the requests of that operation (the breakdown).
QString CurlConfig(const QString &api, const QString &keyHeader, qint32 folder,
                   const QString &only = {})
{
    const QString encodedPath = QString::fromLatin1(QUrl::toPercentEncoding(kPath));
    const QString fileArgs = QStringLiteral("workspaceId=%1&path=%2").arg(folder).arg(encodedPath);
    const QString encodedText = QString::fromLatin1(QUrl::toPercentEncoding(kText));
    QString cfg;
    auto transfer = [&](const QString &url, const QString &data) {
        if (!cfg.isEmpty())
            cfg += QStringLiteral("next\n");
        cfg += QStringLiteral("silent\nfail\noutput = \"/dev/null\"\nheader = ") + Quoted(keyHeader)
               + u'\n';
        if (!data.isEmpty())
            cfg += QStringLiteral("data = ") + Quoted(data) + u'\n';
        cfg += QStringLiteral("url = ") + Quoted(url) + u'\n';
    };
    auto wanted = [&only](const char *op) { return only.isEmpty() || only == QLatin1String(op); };
    for (int i = 0; i < kEdits; ++i) {
        if (wanted("file/info"))
            transfer(api + QStringLiteral("file/info?") + fileArgs, {});
        if (wanted("file/lock"))
            transfer(api + QStringLiteral("file/lock"), fileArgs);
        if (only.isEmpty())
            transfer(api + QStringLiteral("file/info?") + fileArgs, {});
        if (wanted("file/comment/create"))
            transfer(api + QStringLiteral("file/comment/create"),
                     fileArgs + QStringLiteral("&comment=") + encodedText);
        if (wanted("file/unlock"))
            transfer(api + QStringLiteral("file/unlock"), fileArgs);
    }
    return cfg;
}

SEditResult BenchEdit(const QString &work, int rounds)
{
    SEditResult result;
    EnterInstallation(work + QStringLiteral("/install"));
    CBenchServer server;
    const quint16 port = server.Start(QStringLiteral("demo"), work + QStringLiteral("/server"));
    if (port == 0 || !WriteServerVqr(port)) {
        std::fprintf(stderr, "edit: devserver did not start\n");
        return result;
    }
    const QString api = server.api();
    const qint32 folder = server.FolderId(kFolderPath);
    const QString key = server.ReferenceKey();
    const QStringList ops{QString(), QStringLiteral("file/info"), QStringLiteral("file/lock"),
                          QStringLiteral("file/comment/create"), QStringLiteral("file/unlock")};
    QStringList configs;
    for (const QString &op : ops) {
        const QString config = work + QStringLiteral("/edits%1.curl").arg(configs.size());
        QFile f(config);
        if (folder <= 0 || key.isEmpty() || !f.open(QIODevice::WriteOnly)
            || f.write(CurlConfig(api, QStringLiteral("x-velquor-access-key: ") + key, folder, op)
                           .toUtf8())
                   < 0) {
            std::fprintf(stderr, "edit: no reference key or config\n");
            return result;
        }
        configs << config;
    }
    const QString config = configs.first();

    {
        CSystemObjects systems;
        CSharedSystem *shared = systems.shared();
        CSharedGuiSystem *gui = systems.sharedGui();
        if (!systems.main()->StartReportingErrors()
            || !systems.main()->loginManager()->SignIn(QStringLiteral("demo"),
                                                       QStringLiteral("yamada"),
                                                       QStringLiteral("yamada-pass"), true)
            || !shared->Start()) {
            std::fprintf(stderr, "edit: sign-in failed\n");
            return result;
        }
        systems.local()->AttachShared(shared);
        if (!shared->sharedWorkspaces()->Load() || !shared->sharedFileTypes()->Load())
            return result;
        std::printf("edit: %s%s, %d edits per round on each side\n", qPrintable(kFolderPath),
                    qPrintable(kPath), kEdits);
        std::fflush(stdout);
        std::vector<double> client, curl, small, bare, begin, end;
        std::vector<std::vector<double>> perOp(ops.size());
        QNetworkAccessManager nam;
        QNetworkRequest info(QUrl(api
                                  + QStringLiteral("file/info?workspaceId=%1&path=%2")
                                        .arg(folder)
                                        .arg(QString::fromLatin1(QUrl::toPercentEncoding(kPath)))));
        info.setRawHeader("x-velquor-access-key", key.toUtf8());
        for (int round = 0; round < rounds; ++round) {
            QElapsedTimer timer;
            double beginMs = 0, endMs = 0;
            for (int i = 0; i < kEdits; ++i) {
                bool unsent = false;
                timer.restart();
                const bool begun = gui->BeginCommentEdit(folder, kPath, &unsent);
                beginMs += Ms(timer);
                timer.restart();
                if (!begun || !gui->EndCommentEdit(folder, kPath, true, kText, unsent))
                    ++result.failures;
                endMs += Ms(timer);
            }
            client.push_back((beginMs + endMs) / kEdits);
            begin.push_back(beginMs / kEdits);
            end.push_back(endMs / kEdits);
            for (qsizetype op = 1; op < ops.size(); ++op)
                perOp[op].push_back(RunTool(QStringLiteral("curl"),
                                            {QStringLiteral("--noproxy"), QStringLiteral("*"),
                                             QStringLiteral("-K"), configs.at(op)})
                                    / kEdits);

            const double ms
                = RunTool(QStringLiteral("curl"), {QStringLiteral("--noproxy"), QStringLiteral("*"),
                                                   QStringLiteral("-K"), config});
            if (ms < 0)
                ++result.failures;
            curl.push_back(ms / kEdits);

            // The floor of one request: the client's file info alone.
            CSharedFileRecord record;
            timer.restart();
            for (int i = 0; i < kEdits; ++i)
                shared->sharedFiles()->GetFileInfo(folder, kPath, record);
            small.push_back(Ms(timer) / kEdits);

            // The floor of Qt Network: the same request on a bare manager, reply read whole.
            timer.restart();
            for (int i = 0; i < kEdits; ++i) {
                QNetworkReply *reply = nam.get(info);
                QEventLoop loop;
                QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
                loop.exec();
                reply->readAll();
                reply->deleteLater();
            }
            bare.push_back(Ms(timer) / kEdits);
        }
        result.client = Median(client);
        result.curl = Median(curl);
        result.small = Median(small);
        result.bare = Median(bare);
        result.begin = Median(begin);
        result.end = Median(end);
        for (qsizetype op = 1; op < ops.size(); ++op)
            result.curlOps.append({ops.at(op), Median(perOp[op])});
        result.ok = true;
    }
    server.Stop();
    return result;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    Prepare();
    const int rounds = std::max(1, app.arguments().value(1, QStringLiteral("5")).toInt());
    QTemporaryDir work(QStringLiteral("/tmp/velquor-bench-comments-XXXXXX"));
    if (!work.isValid())
        return 1;
    UseHomeIn(work.path());
    std::printf("%d rounds, medians\n", rounds);

    SStateResult state;
    SEditResult edit;
    try {
        state = BenchStateFile(work.path(), rounds);
        edit = BenchEdit(work.path(), rounds);
    } catch (const CBizException &e) {
        std::fprintf(stderr, "failed: %s\n", e.what());
        return 1;
    }
    QDir::setCurrent(QDir::tempPath());

    std::printf("\ncomments.vqr, %d pending comments of %d characters (%.1f MB)\n", kPending,
                kCommentLength, state.bytes / 1e6);
    const STable states(46, 8);
    states.Line("Save (temporary file, flush, rename)", state.save, "ms",
                QStringLiteral("(goal < 100)"));
    states.Line("  of it the encoding", state.encode);
    states.Line("Load (read, decode)", state.load, "ms", QStringLiteral("(goal < 100)"));
    std::printf("\none comment edit (info, lock, info, create, unlock)\n");
    const STable edits(46, 8, 2);
    edits.Line("client: Begin + End(confirm)", edit.client, "ms",
               QString::asprintf("%.2f x curl (goal <= 1.20)", Ratio(edit.client, edit.curl)));
    edits.Line("  BeginCommentEdit (info, lock)", edit.begin);
    edits.Line("  EndCommentEdit (info, create, unlock)", edit.end);
    edits.Line("reference: one curl process, same 5 requests", edit.curl);
    for (const auto &[op, ms] : edit.curlOps)
        edits.Line(QStringLiteral("  curl, %1 alone").arg(op), ms);
    edits.Line("  one client request alone (file/info)", edit.small);
    edits.Line("  floor: the same on a bare Qt manager", edit.bare);
    if (edit.failures)
        std::printf("  (%d failed edits or curl runs)\n", edit.failures);
    return state.ok && edit.ok ? 0 : 1;
}
