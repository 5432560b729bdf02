#pragma once

#include "store/Record.h"
#include "store/TypedLists.h"

#include <QDateTime>
#include <QString>

#include <functional>
#include <memory>

class CSharedFileRecord;

// One run found on disk: its log file and what the log's name and times tell.
class CBulkDownloadLogRecord : public CRecord
{
public:
    bool IsEmpty() const override { return path.isEmpty(); }
    void Clear() override { *this = CBulkDownloadLogRecord(); }

    // The history list's key: startTime as "%Y/%m/%d %H:%M:%S" (local time).
    QString Key() const;
    // The line of the dialog's history list: "%s - %s %7d件" (support mode
    // "%s - %s (%s)%7d件" with the duration and, when known, " (%s)" with the byte size),
    // then "　失敗(%d)" when files failed.
    QString DisplayText(bool supportMode) const;

    QString path;
    qint64 startTime = 0; // seconds since the epoch: the log's creation (the run's start)
    qint64 endTime = 0;   // its last change (the run's end)
    qint32 succeeded = 0;
    qint32 failed = 0;
    quint32 totalBytes = 0; // 0 when the name carries no third count
};

// The runs of a destination root, newest first; owns its records.
class CBulkDownloadLogList : public CBizTypedPtrMapList<QString, CBulkDownloadLogRecord>
{
public:
    CBulkDownloadLogList()
        : CBizTypedPtrMapList(true)
    {}

    // Appends the run under its Key; a run already listed under that key leaves the list (a
    // log found later with the same start second wins).
    CBulkDownloadLogRecord *AddRun(std::unique_ptr<CBulkDownloadLogRecord> record);
    // Newest start first; runs with equal start times keep their order.
    void OrderNewestFirst();
};

// The CSV log of the current bulk download run, and the history of earlier runs.
//
// A run's log lives in the run's destination folder: created empty as
// "<run name>.log.0.0.csv" when the run starts, one line per handled file, then renamed to
// the name with the counts ("20250305.vqr.log.120.3.csv", with a third count for a non-zero
// byte total). The text is CP932 ('?' for what it cannot hold) with CR LF line ends; a
// field holding ",", a double quote, CR or LF is quoted as in CSV.
//
// Failures of creating, renaming or reading the times are reported through the exception
// handler; the operations then answer false. User-interface thread only.
class CBulkDownloadLogManager
{
public:
    // destinationFolder answers the current run's destination folder (the bulk download
    // manager's DestinationFolder).
    explicit CBulkDownloadLogManager(std::function<QString()> destinationFolder);
    ~CBulkDownloadLogManager();
    CBulkDownloadLogManager(const CBulkDownloadLogManager &) = delete;
    CBulkDownloadLogManager &operator=(const CBulkDownloadLogManager &) = delete;

    // "%s.log.%ld.%ld.csv", or "%s.log.%ld.%ld.%lu.csv" for a non-zero byte total.
    static QString LogFileName(const QString &runName, qint32 succeeded, qint32 failed,
                               quint32 totalBytes = 0);
    // The header line (support mode adds the size column), with its line end.
    static QString HeaderLine(bool supportMode);
    // The line of one handled file as AddLogLine writes it (now: the download time).
    static QString FormatLogLine(const CSharedFileRecord &record, bool supportMode,
                                 const QDateTime &now);
    // The start of the run a log records where the file system keeps no birth time: the
    // download time of its first line, else lastChange (a run that wrote no line).
    static qint64 StartTimeFromLines(const QString &logPath, qint64 lastChange);

    QString logPath() const { return m_logPath; }
    QString runName() const { return m_runName; }
    void SetRunName(const QString &runName) { m_runName = runName; }

    // Creates the empty log (counts 0 and 0) in the destination folder, replacing a file of
    // that name, and writes the header. startTime: the file's creation time (its birth time
    // where the file system records one, else the time it was created here), in seconds
    // since the epoch.
    bool CreateLog(qint64 *startTime);
    // Appends text in CP932 (CR LF for each "\n"); nothing (and false) without an open log.
    bool AppendLogLine(const QString &text);
    bool AddLogLine(const CSharedFileRecord &record);
    // Renames the log to its final name (replacing a file of that name) and answers its last
    // change as endTime (left as the caller set it when unreadable) and its final path. The
    // log is closed in every case. Without an open log nothing is done and the answer is true.
    bool FinishLog(qint64 *endTime, qint32 succeeded, qint32 failed, quint32 totalBytes,
                   QString *finalPath = nullptr);

    // Rebuilds the history from the run folders ("<name>.vqr") directly under root and their
    // logs ("<base>.vqr.log.<n>.<n>[.<n>].csv"), letter case ignored; newest start first, a
    // later log with the same start second replacing an earlier one. A missing root gives an
    // empty list and true.
    bool LoadLogs(const QString &root);
    CBulkDownloadLogList &logs();

private:
    // The run name, or the name of today's run when none is set.
    QString EffectiveRunName() const;
    QString PathInDestination(const QString &fileName) const;

    std::function<QString()> m_destinationFolder;
    QString m_logPath;
    bool m_appendFailed = false; // a line of this log failed: later failures are not shown
    QString m_runName;
    std::unique_ptr<CBulkDownloadLogList> m_logs;
};
