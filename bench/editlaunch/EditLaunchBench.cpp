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
#include "store/BizProps.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QThread>
#include <QUrl>

#include <algorithm>
#include <cstdio>
#include <unistd.h>
#include <vector>

namespace {

constexpr qint64 kFileSize = 5 * 1000 * 1000;
const QString kFolderPath = QStringLiteral("経理/2024");
// xlsx: a type the demo seed opens for editing.
const QString kName = QStringLiteral("launch5mb.xlsx");
const QByteArray kXlsxMime = "application/vnd.openxmlformats-officedocument.spreadsheetml.sheet";

double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

double Ms(const QElapsedTimer &timer)
{
    return timer.nsecsElapsed() / 1e6;
}

// Spawn to exit of one tool; -1 when it failed.
double RunTool(const QString &program, const QStringList &args, QString *output = nullptr)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    QElapsedTimer timer;
    timer.start();
    process.start(program, args);
    process.waitForFinished(-1);
    const double ms = Ms(timer);
    if (output)
        *output = QString::fromUtf8(process.readAllStandardOutput());
    return process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0 ? ms : -1;
}

QString Curl(const QStringList &args)
{
    QString out;
    RunTool(QStringLiteral("curl"),
            QStringList{QStringLiteral("-s"), QStringLiteral("--noproxy"), QStringLiteral("*")}
                + args,
            &out);
    return out;
}

QString XmlValue(const QString &xml, const QString &element)
{
    const QRegularExpressionMatch m
        = QRegularExpression(u'<' + element + QStringLiteral(">([^<]*)</") + element + u'>')
              .match(xml);
    return m.hasMatch() ? m.captured(1) : QString();
}

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
    AppState::SetNoUiMode(true);
    QLoggingCategory::setFilterRules(QStringLiteral("velquor.*.info=false\nvelquor.*.debug=false"));
    SetMessageSink([](const QString &text, MsgIcon, MsgButtons) {
        std::fprintf(stderr, "message: %s\n", qPrintable(text));
        return int(IDOK);
    });

    QTemporaryDir work(QStringLiteral("/tmp/velquor-bench-editlaunch-XXXXXX"));
    if (!work.isValid())
        return 1;
    const QString home = work.path() + QStringLiteral("/home");
    QDir().mkpath(home);
    qputenv("HOME", home.toUtf8());
    qputenv("XDG_CONFIG_HOME", (home + QStringLiteral("/.config")).toUtf8());
    qputenv("XDG_DATA_HOME", (home + QStringLiteral("/.local/share")).toUtf8());
    qputenv("XDG_CACHE_HOME", (home + QStringLiteral("/.cache")).toUtf8());
    const QString log = work.path() + QStringLiteral("/started.log");
    if (!InstallApplication(home, log))
        return 1;
    const QString install = work.path() + QStringLiteral("/install");
    QDir().mkpath(install);
    QDir::setCurrent(install);

    QProcess server;
    server.setProgram(QStringLiteral(VELQUOR_DEVSERVER_PATH));
    server.setArguments({QStringLiteral("--port"), QStringLiteral("0"), QStringLiteral("--seed"),
                         QStringLiteral("demo"), QStringLiteral("--test-hooks"),
                         QStringLiteral("--data"), work.path() + QStringLiteral("/server")});
    server.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    server.start();
    quint16 port = 0;
    while (port == 0 && server.waitForReadyRead(60000)) {
        const QString line = QString::fromUtf8(server.readLine()).trimmed();
        if (line.startsWith(QLatin1String("listening on")))
            port = quint16(line.section(u':', -1).toUInt());
    }
    auto stop = [&server](int code) {
        server.terminate();
        server.waitForFinished(5000);
        return code;
    };
    QDir().mkpath(DataPath());
    CBizProps props(DataPath({}, QStringLiteral("server.vqr")));
    props.SetValue(QStringLiteral("hostName"), QStringLiteral("127.0.0.1"));
    props.SetValue(QStringLiteral("secure"), QStringLiteral("0"));
    props.SetValue(QStringLiteral("httpPort"), QString::number(port));
    if (port == 0 || !props.Save()) {
        std::fprintf(stderr, "devserver did not start\n");
        return stop(1);
    }
    const QString base = QStringLiteral("http://127.0.0.1:%1").arg(port);
    const QString api = base + QStringLiteral("/apps/api/apis/");
    const qint32 folder = Curl({QStringLiteral("-d"), QStringLiteral("folderPath=") + kFolderPath,
                                base + QStringLiteral("/__devserver/folder")})
                              .trimmed()
                              .toInt();
    // The reference's own key: another installation of yamada, as curl would be.
    const QString refClient
        = XmlValue(Curl({QStringLiteral("-d"), QStringLiteral("customerCode=demo&loginId=yamada"),
                         api + QStringLiteral("register")}),
                   QStringLiteral("clientKey"));
    const QString key = XmlValue(
        Curl({QStringLiteral("-d"),
              QStringLiteral("clientKey=%1&password=yamada-pass&pcName=BENCH").arg(refClient),
              api + QStringLiteral("login")}),
        QStringLiteral("accessKey"));
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
    std::printf("  %-52s %8.1f ms\n", "client: OpenForEditing with the start", client);
    std::printf("  %-52s %8.1f ms\n", "reference: curl file/lock + file/get (one process)", ref);
    std::printf("  %-52s %8.1f ms  (%s, %.2f x)\n", "goal: 1.2 x reference + 50 ms", goal,
                client <= goal ? "met" : "MISSED", ref > 0 ? client / ref : 0.0);
    std::printf("  %-52s %8.1f ms\n", "  the start alone (LaunchFile on the working copy)",
                Median(launch));
    std::printf("  %-52s %8.1f ms\n", "  the default application's lookup alone", Median(lookup));
    if (failures)
        std::printf("  %d failed rounds\n", failures);
    return failures ? 2 : 0;
}
