// Open for editing with the start of the application, against its reference, both measured
// in the same run, signed in as yamada at office "demo" against the devserver's demo seed:
//
//   OpenForEditing of a 5 MB file of random bytes that is not cached, the application
//   started through GIO (the record fetched, the lock, the download with its digest check,
//   the edit copy, the working copy, the desktop's default application found and launched
//   with the file), next to one curl process sending the same file/lock and file/get
//   requests on one connection into a file. Goal: the client within 1.2 x the reference
//   plus 50 ms.
//
// The application is a script with a desktop entry under a temporary HOME, the default for
// the spreadsheet type, which notes that it ran; each open is checked to have started it
// (outside the timing). After each round the lock is released (the client's force release,
// curl's file/unlock) and the cache copy deleted, so that every open downloads the file.
// Under the figure: the start through GIO alone (LaunchFile on the working copy) and the
// lookup of the default application alone. Client and reference alternate `rounds` times;
// the figures are medians (this machine is shared, single runs scatter). Nothing is
// asserted.
//
//   bench_editlaunch [rounds=15]
#include "account/LoginManager.h"
#include "app/SharedGuiSystem.h"
#include "app/System.h"
#include "core/AppState.h"
#include "core/Messages.h"
#include "core/Paths.h"
#include "files/AppAssociation.h"
#include "files/AppLauncher.h"
#include "files/FileTypeManager.h"
#include "files/LocalFileManager.h"
#include "folders/SharedWorkspaceManager.h"

#include "BenchServer.h"
#include "Measure.h"
#include "Processes.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QThread>
#include <QUrl>

#include <algorithm>
#include <cstdio>
#include <unistd.h>
#include <vector>

namespace {

using namespace bench;

constexpr qint64 kFileSize = 5 * 1000 * 1000;
const QString kFolderPath = QStringLiteral("経理/2024");
// xlsx: a type the demo seed opens for editing.
const QString kName = QStringLiteral("launch5mb.xlsx");
const QByteArray kXlsxMime = "application/vnd.openxmlformats-officedocument.spreadsheetml.sheet";

bool WriteFileBytes(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

// The desktop of the run: only the fake application, the system's MIME database.
bool InstallApplication(const QString &home, const QString &log)
{
    const QString script = home + QStringLiteral("/bin/fakeoffice");
    if (!WriteFileBytes(script, "#!/bin/sh\necho started >> '" + log.toUtf8() + "'\n")
        || !QFile::setPermissions(script, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner))
        return false;
    QDir().mkpath(home + QStringLiteral("/share"));
    QFile::link(QStringLiteral("/usr/share/mime"), home + QStringLiteral("/share/mime"));
    qputenv("XDG_DATA_DIRS", (home + QStringLiteral("/share")).toUtf8());
    qputenv("XDG_CONFIG_DIRS", (home + QStringLiteral("/etc")).toUtf8());
    return WriteFileBytes(home + QStringLiteral("/.local/share/applications/fakeoffice.desktop"),
                          "[Desktop Entry]\nType=Application\nName=Fake Office\nExec="
                              + script.toUtf8() + " %f\n")
           && WriteFileBytes(home + QStringLiteral("/.config/mimeapps.list"),
                             "[Default Applications]\n" + kXlsxMime + "=fakeoffice.desktop\n");
}

int LineCount(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? int(f.readAll().count('\n')) : 0;
}

// Waits (untimed) until the application noted its start count times.
bool WaitForStarts(const QString &log, int count)
{
    QElapsedTimer timer;
    timer.start();
    while (LineCount(log) < count) {
        if (timer.elapsed() > 10000)
            return false;
        QThread::msleep(2);
    }
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int rounds = std::max(1, app.arguments().value(1, QStringLiteral("15")).toInt());
    PrepareNoUi(IDOK);

    QTemporaryDir work(QStringLiteral("/tmp/velquor-bench-editlaunch-XXXXXX"));
    if (!work.isValid())
        return 1;
    const QString home = UseHomeIn(work.path());
    const QString log = work.path() + QStringLiteral("/started.log");
    if (!InstallApplication(home, log))
        return 1;
    EnterInstallation(work.path() + QStringLiteral("/install"));

    CBenchServer server;
    const quint16 port
        = server.Start(QStringLiteral("demo"), work.path() + QStringLiteral("/server"));
    auto stop = [&server](int code) {
        server.Stop();
        return code;
    };
    if (port == 0 || !WriteServerVqr(port)) {
        std::fprintf(stderr, "devserver did not start\n");
        return stop(1);
    }
    const QString api = server.api();
    const qint32 folder = server.FolderId(kFolderPath);
    const QString key = server.ReferenceKey();
    const QString keyHeader = QStringLiteral("x-velquor-access-key: ") + key;
    const QString source = work.path() + QStringLiteral("/source.bin");
    {
        QByteArray bytes(kFileSize, Qt::Uninitialized);
        QRandomGenerator random(5);
        for (qint64 i = 0; i < kFileSize; ++i)
            bytes[i] = char(random.bounded(256));
        if (!WriteFileBytes(source, bytes))
            return stop(1);
    }
    Curl({QStringLiteral("-H"), keyHeader, QStringLiteral("-H"), QStringLiteral("Expect:"),
          QStringLiteral("-F"), QStringLiteral("workspaceId=%1").arg(folder), QStringLiteral("-F"),
          QStringLiteral("path=/") + kName, QStringLiteral("-F"), QStringLiteral("file=@") + source,
          api + QStringLiteral("file/create")});
    if (folder <= 0 || key.isEmpty()) {
        std::fprintf(stderr, "no folder or no key\n");
        return stop(1);
    }

    CSystemObjects systems;
    CSharedSystem *shared = systems.shared();
    if (!systems.main()->StartReportingErrors()
        || !systems.main()->loginManager()->SignIn(QStringLiteral("demo"), QStringLiteral("yamada"),
                                                   QStringLiteral("yamada-pass"), true)
        || !shared->Start()) {
        std::fprintf(stderr, "sign-in failed\n");
        return stop(1);
    }
    systems.local()->AttachShared(shared);
    if (!shared->sharedWorkspaces()->Load() || !shared->sharedFileTypes()->Load())
        return stop(1);
    CSharedGuiSystem *gui = systems.sharedGui();
    CLocalFileManager *cache = systems.local()->localFiles();
    const QString path = u'/' + kName;
    const QString encodedPath = QString::fromLatin1(QUrl::toPercentEncoding(path));
    const QString refOut = work.path() + QStringLiteral("/ref-get.bin");
    const QString form = QStringLiteral("workspaceId=%1&path=%2").arg(folder).arg(encodedPath);
    auto curlArgs = [&](const QString &operation) {
        return QStringList{QStringLiteral("-s"),
                           QStringLiteral("-f"),
                           QStringLiteral("--noproxy"),
                           QStringLiteral("*"),
                           QStringLiteral("-H"),
                           keyHeader,
                           QStringLiteral("-d"),
                           form,
                           api + operation};
    };
    std::printf("%d rounds, client and reference alternating, medians; %s/%s, %lld bytes\n", rounds,
                qPrintable(kFolderPath), qPrintable(kName), kFileSize);
    std::fflush(stdout);

    std::vector<double> open, reference, launch, lookup;
    int starts = 0, failures = 0;
    for (int i = 0; i < rounds; ++i) {
        ::sync();
        bool refresh = false;
        QString working;
        QElapsedTimer timer;
        timer.start();
        const bool opened = gui->OpenForEditing(folder, path, nullptr, false, &refresh, &working);
        const double openMs = Ms(timer);
        if (!opened || !WaitForStarts(log, ++starts)) {
            ++failures;
            break;
        }
        open.push_back(openMs);
        // The start alone, on the same working copy.
        timer.restart();
        const int code = LaunchFile(working);
        launch.push_back(Ms(timer));
        if (code < LaunchCode::Started || !WaitForStarts(log, ++starts)) {
            ++failures;
            break;
        }
        timer.restart();
        const bool found = LookupAppAssociation(QStringLiteral(".xlsx")).hasApplication();
        lookup.push_back(Ms(timer));
        if (!found || !gui->ForceReleaseFile(folder, path)) {
            ++failures;
            break;
        }
        QFile::remove(cache->CachePath(folder, kName));

        ::sync();
        QFile::remove(refOut);
        QStringList args = curlArgs(QStringLiteral("file/lock"));
        args << QStringLiteral("-o") << QStringLiteral("/dev/null") << QStringLiteral("--next")
             << QStringLiteral("-s") << QStringLiteral("-f") << QStringLiteral("--noproxy")
             << QStringLiteral("*") << QStringLiteral("-H") << keyHeader << QStringLiteral("-o")
             << refOut << api + QStringLiteral("file/get?") + form;
        const double ref = RunTool(QStringLiteral("curl"), args);
        if (ref < 0 || QFileInfo(refOut).size() != kFileSize) {
            ++failures;
            break;
        }
        reference.push_back(ref);
        Curl(curlArgs(QStringLiteral("file/unlock"))
             << QStringLiteral("-o") << QStringLiteral("/dev/null"));
    }
    systems.main()->loginManager()->SignOut();
    stop(0);

    const double client = Median(open), ref = Median(reference);
    const double goal = 1.2 * ref + 50;
    std::printf("open for editing, %lld bytes, application started through GIO\n", kFileSize);
    const STable table(52, 8);
    table.Line("client: OpenForEditing with the start", client);
    table.Line("reference: curl file/lock + file/get (one process)", ref);
    table.Line("goal: 1.2 x reference + 50 ms", goal, "ms",
               QString::asprintf("(%s, %.2f x)", client <= goal ? "met" : "MISSED",
                                 ref > 0 ? client / ref : 0.0));
    table.Line("  the start alone (LaunchFile on the working copy)", Median(launch));
    table.Line("  the default application's lookup alone", Median(lookup));
    if (failures)
        std::printf("  %d failed rounds\n", failures);
    return failures ? 2 : 0;
}
