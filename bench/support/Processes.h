#pragma once

// The processes a benchmark runs: reference tools and curl timed spawn to exit, children of
// this executable with their peak RSS, and the settings every process of a run shares.

#include <QList>
#include <QMap>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

#include <functional>
#include <map>
#include <optional>

namespace bench {

// --- the run's settings ---------------------------------------------------------------------

// No UI, no per-request debug or info lines (as the application runs), every message
// printed to stderr and answered with answer; each one counted in *count when given.
void PrepareNoUi(int answer, int *count = nullptr);
// Only the message sink of PrepareNoUi.
void AnswerMessages(int answer, int *count = nullptr);
// HOME and the XDG folders of this process (and so of its children) below work/home, so
// that the user-documents areas stay inside the run; answers the home folder.
QString UseHomeIn(const QString &work);
// The system environment with HOME and the XDG folders below home: a child on an
// installation of its own.
QProcessEnvironment HomeEnvironment(const QString &home);

// The installation folder dir made and made the working directory; answers dir.
QString EnterInstallation(const QString &dir);

// --- reference tools ------------------------------------------------------------------------

// Spawn to exit of one tool in ms; -1 when it failed. Its standard output into *output.
double RunTool(const QString &program, const QStringList &args, QString *output = nullptr);
// curl -s --noproxy '*' args: its standard output; its spawn to exit into *ms (-1 when it
// failed).
QString Curl(const QStringList &args, double *ms = nullptr);
// The text of the first <element> of an XML answer.
QString XmlValue(const QString &xml, const QString &element);
// A value of a curl config file: quoted, backslashes, quotes and line ends escaped.
QString Quoted(const QString &value);

// One curl process running every transfer of a config file one after the other on one
// connection (curl reuses it across "next"); each transfer's write-out a line.
struct SCurlRun
{
    double ms = -1;        // spawn to exit; -1 when curl failed or the config was not written
    double cpuMs = 0;      // user + system of curl
    QStringList lines;     // the write-out lines
    QList<int> status;     // per transfer: the first field of its line
    QList<double> seconds; // per transfer: the second field (time_total)
    int Count(int code) const { return int(status.count(code)); }
    // The sum of time_total of the transfers whose index passes pick, in ms.
    template<typename F>
    double SumMs(F &&pick) const
    {
        double sum = 0;
        for (qsizetype i = 0; i < seconds.size(); ++i)
            if (pick(int(i)))
                sum += seconds.at(i) * 1000;
        return sum;
    }
};

// The transfers (config blocks) joined by "next" into config, then curl -s -K config;
// sync: a Sync before curl starts.
SCurlRun RunCurlConfig(const QString &config, const QStringList &transfers, bool sync);

// --- children of this executable ------------------------------------------------------------

struct SChildOptions
{
    bool sync = false;          // a Sync before the child starts
    bool reportFailure = false; // "<mode> child failed (exit n)" on stderr
    bool forwardOutput = false; // its standard output printed, not read; its stderr dropped
    int waitMs = -1;
    QString workingDirectory;                       // empty: this one's
    std::optional<QProcessEnvironment> environment; // none: this one's
};

struct SChildRun
{
    long peakKb = 0;              // /usr/bin/time's %M
    int exitCode = -1;            // -1 when it did not exit normally
    double wallMs = 0;            // spawn to exit, /usr/bin/time included
    double cpuMs = 0;             // user + system of the child
    QMap<QString, QString> lines; // first word of each output line -> the rest
    QStringList Words(const QString &first) const;
    double Value(const QString &first, int index) const;
    // The "figures" line the child modes print their measurements on.
    QStringList Figures() const { return Words(QStringLiteral("figures")); }
    double Figure(int index) const { return Value(QStringLiteral("figures"), index); }
};

// This executable again, "--child" args, through /usr/bin/time -f %M -o peakFile: a child
// forked from this process would report this process's resident size as its own peak (the
// high-water mark survives exec).
SChildRun RunChild(const QString &peakFile, const QStringList &args,
                   const SChildOptions &options = {});

// The child modes of a benchmark by name, each given the arguments after its name.
using ChildModes = std::map<QString, std::function<int(const QStringList &)>>;
// In a child ("--child <mode> args..." is what RunChild started): runs the mode; a
// CBizException is printed as "<mode>: <what>" and answers 9, an unknown mode 1.
int RunChildMode(const QStringList &args, const ChildModes &modes);

// RunChild after a Sync (the write-back of the previous step out of its time), a failure
// reported on stderr.
SChildRun RunChildSynced(const QString &peakFile, const QStringList &args);

// A command through /usr/bin/time -o peakFile, spawned and waited for (wait4) without Qt's
// process machinery in between: its wall time alone.
struct STimedRun
{
    double seconds = 0;
    long peakKb = 0;
    int exitCode = -1;
};
STimedRun RunTimed(const QStringList &command, const QString &peakFile);

} // namespace bench
