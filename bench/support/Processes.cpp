#include "Processes.h"

#include "Measure.h"

#include "core/AppState.h"
#include "core/BizException.h"
#include "core/Messages.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLoggingCategory>
#include <QProcess>
#include <QRegularExpression>

#include <cstdio>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <vector>

extern char **environ;

namespace bench {

namespace {

// /usr/bin/time -o writes the figure last (after any note of a signal).
long ReadPeakKb(const QString &peakFile)
{
    QFile peak(peakFile);
    if (!peak.open(QIODevice::ReadOnly))
        return 0;
    return QString::fromLatin1(peak.readAll()).trimmed().section(u'\n', -1).toLong();
}

} // namespace

void PrepareNoUi(int answer, int *count)
{
    AppState::SetNoUiMode(true);
    QLoggingCategory::setFilterRules(QStringLiteral("velquor.*.info=false\nvelquor.*.debug=false"));
    AnswerMessages(answer, count);
}

void AnswerMessages(int answer, int *count)
{
    SetMessageSink([answer, count](const QString &text, MsgIcon, MsgButtons) {
        if (count)
            ++*count;
        std::fprintf(stderr, "message: %s\n", qPrintable(text));
        return answer;
    });
}

QString UseHomeIn(const QString &work)
{
    const QString home = work + QStringLiteral("/home");
    QDir().mkpath(home);
    qputenv("HOME", home.toUtf8());
    qputenv("XDG_CONFIG_HOME", (home + QStringLiteral("/.config")).toUtf8());
    qputenv("XDG_DATA_HOME", (home + QStringLiteral("/.local/share")).toUtf8());
    qputenv("XDG_CACHE_HOME", (home + QStringLiteral("/.cache")).toUtf8());
    return home;
}

QProcessEnvironment HomeEnvironment(const QString &home)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("HOME"), home);
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), home + QStringLiteral("/.config"));
    environment.insert(QStringLiteral("XDG_DATA_HOME"), home + QStringLiteral("/.local/share"));
    environment.insert(QStringLiteral("XDG_CACHE_HOME"), home + QStringLiteral("/.cache"));
    return environment;
}

QString EnterInstallation(const QString &dir)
{
    QDir().mkpath(dir);
    QDir::setCurrent(dir);
    return dir;
}

double RunTool(const QString &program, const QStringList &args, QString *output)
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

QString Curl(const QStringList &args, double *ms)
{
    QString out;
    const double taken = RunTool(
        QStringLiteral("curl"),
        QStringList{QStringLiteral("-s"), QStringLiteral("--noproxy"), QStringLiteral("*")} + args,
        &out);
    if (ms)
        *ms = taken;
    return out;
}

QString XmlValue(const QString &xml, const QString &element)
{
    const QRegularExpressionMatch m
        = QRegularExpression(u'<' + element + QStringLiteral(">([^<]*)</") + element + u'>')
              .match(xml);
    return m.hasMatch() ? m.captured(1) : QString();
}

QString Quoted(const QString &value)
{
    QString q = value;
    q.replace(u'\\', QStringLiteral("\\\\"))
        .replace(u'"', QStringLiteral("\\\""))
        .replace(u'\n', QStringLiteral("\\n"));
    return u'"' + q + u'"';
}

SCurlRun RunCurlConfig(const QString &config, const QStringList &transfers, bool sync)
{
    SCurlRun run;
    {
        QFile f(config);
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate)
            || f.write(transfers.join(QStringLiteral("next\n")).toUtf8()) < 0)
            return run;
    }
    if (sync)
        Sync();
    QString out;
    const double cpu = CpuMs(RUSAGE_CHILDREN);
    run.ms = RunTool(QStringLiteral("curl"), {QStringLiteral("-s"), QStringLiteral("-K"), config},
                     &out);
    run.cpuMs = CpuMs(RUSAGE_CHILDREN) - cpu;
    run.lines = out.split(u'\n', Qt::SkipEmptyParts);
    for (const QString &line : std::as_const(run.lines)) {
        run.status << line.section(u' ', 0, 0).toInt();
        run.seconds << line.section(u' ', 1, 1).toDouble();
    }
    return run;
}

QStringList SChildRun::Words(const QString &first) const
{
    return lines.value(first).split(u' ', Qt::SkipEmptyParts);
}

double SChildRun::Value(const QString &first, int index) const
{
    return Words(first).value(index).toDouble();
}

SChildRun RunChild(const QString &peakFile, const QStringList &args, const SChildOptions &options)
{
    if (options.sync)
        Sync();
    QProcess process;
    if (options.environment)
        process.setProcessEnvironment(*options.environment);
    if (!options.workingDirectory.isEmpty())
        process.setWorkingDirectory(options.workingDirectory);
    process.setProcessChannelMode(options.forwardOutput ? QProcess::ForwardedOutputChannel
                                                        : QProcess::ForwardedErrorChannel);
    const double cpu = CpuMs(RUSAGE_CHILDREN);
    QElapsedTimer timer;
    timer.start();
    process.start(QStringLiteral("/usr/bin/time"),
                  QStringList{QStringLiteral("-f"), QStringLiteral("%M"), QStringLiteral("-o"),
                              peakFile, QCoreApplication::applicationFilePath(),
                              QStringLiteral("--child")}
                      + args);
    process.waitForFinished(options.waitMs);
    SChildRun run;
    run.wallMs = Ms(timer);
    run.cpuMs = CpuMs(RUSAGE_CHILDREN) - cpu;
    run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    if (!options.forwardOutput) {
        const QStringList lines = QString::fromUtf8(process.readAllStandardOutput()).split(u'\n');
        for (const QString &line : lines) {
            const qsizetype space = line.indexOf(u' ');
            if (space > 0)
                run.lines.insert(line.left(space), line.mid(space + 1));
        }
    }
    run.peakKb = ReadPeakKb(peakFile);
    if (options.reportFailure && run.exitCode != 0)
        std::fprintf(stderr, "%s child failed (exit %d)\n", qPrintable(args.value(0)),
                     run.exitCode);
    return run;
}

int RunChildMode(const QStringList &args, const ChildModes &modes)
{
    const QString mode = args.value(0);
    const auto found = modes.find(mode);
    if (found == modes.end())
        return 1;
    try {
        return found->second(args.mid(1));
    } catch (const CBizException &e) {
        std::fprintf(stderr, "%s: %s\n", qPrintable(mode), e.what());
        return 9;
    }
}

SChildRun RunChildSynced(const QString &peakFile, const QStringList &args)
{
    SChildOptions options;
    options.sync = true;
    options.reportFailure = true;
    return RunChild(peakFile, args, options);
}

STimedRun RunTimed(const QStringList &command, const QString &peakFile)
{
    const QStringList args = QStringList{QStringLiteral("/usr/bin/time"), QStringLiteral("-f"),
                                         QStringLiteral("%M"), QStringLiteral("-o"), peakFile}
                             + command;
    std::vector<QByteArray> bytes;
    for (const QString &a : args)
        bytes.push_back(a.toLocal8Bit());
    std::vector<char *> argv;
    for (QByteArray &b : bytes)
        argv.push_back(b.data());
    argv.push_back(nullptr);
    QElapsedTimer timer;
    timer.start();
    pid_t pid = 0;
    STimedRun run;
    if (posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0)
        return run;
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    run.seconds = timer.nsecsElapsed() / 1e9;
    run.peakKb = ReadPeakKb(peakFile);
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

} // namespace bench
