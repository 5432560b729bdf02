#pragma once

#include "BulkDownloadConfig.h"
#include "BulkDownloadLog.h"

#include "account/HasLoginManager.h"
#include "store/DateTimeValue.h"

#include <QDateTime>
#include <QString>

#include <functional>
#include <memory>

class CSharedFileRecord;

// The office's current or last bulk download job, as the service tells it.
struct SBulkJobInfo
{
    CDateTimeValue startTime;
    qint32 jobId = 0;
    qint32 status = 0; // BulkJobStatus: Running while another run is under way
};

// The bulk download of the signed-in user: the settings (bulkDownload.vqr per login), the
// destination of a run, the run as a job of the service, the run's log, and the newest
// update time a finished run wrote (bulkDLUpdatedTime.vqr in the data folder, shared by
// every user of the installation). The walk over the files is CBulkDownloadRun.
//
// Every step reports its failures through the exception handler (a message) and answers
// false; nothing raises. User-interface thread only.
class CBulkDownloadManager : public CHasLoginManager
{
public:
    static constexpr int MaxCreateAttempts = 5;
    static constexpr int AccessDeniedRetryMs = 200;

    explicit CBulkDownloadManager(CLoginManager *loginManager);
    ~CBulkDownloadManager() override;

    // The local time now; tests set their own clock (default: the system's).
    void SetClock(std::function<QDateTime()> clock);
    QDateTime Now() const;

    // --- settings ---
    // Reads bulkDownload.vqr (a missing file leaves the defaults). A file that ends early
    // gives the defaults silently; other damage is reported and answers false.
    bool LoadBulkSettings();
    // The record becomes the settings and is written; when writing fails the previous
    // settings are back and the answer is false.
    bool SaveBulkSettings(const CBulkDownloadConfigRecord &record);
    const CBulkDownloadConfigRecord &settings() const { return m_settings; }
    QString SettingsPath() const;

    QString ScheduleText() const;
    // The schedule is due in (previous, now] and now is outside the forbidden hours (see
    // IsScheduledStart).
    bool IsScheduledNow(const QDateTime &previous, const QDateTime &now) const;
    // The signed-in user's forbidden hours (none without a user).
    SBulkForbiddenHours ForbiddenHours() const;
    bool IsTimerEnabled() const { return m_settings.timerEnabled != 0; }
    bool IsRepeating() const { return m_settings.timerEnabled != 0 && m_settings.repeat != 0; }
    // Whether the service's forbidden hours allow a run now.
    bool IsBulkDownloadAllowedNow() const;

    // --- the destination ---
    // "download.vqr", or "%04d%02d%02d.vqr" of today when dated.
    QString RunFolderName(bool dated) const;
    // destinationRoot / (the current run's folder name, else RunFolderName(datedFolders)).
    QString DestinationFolder() const;
    // Sets the run's folder name; deletes an existing run folder when clear (symbolic links
    // removed, never followed) and creates it again with its parents. Creating is tried up
    // to MaxCreateAttempts times after a deletion, waiting AccessDeniedRetryMs after each
    // "access denied".
    bool PrepareDestination(bool clear, bool *existed = nullptr);

    // --- the job ---
    // bulkdownload/info.
    bool CheckRunningJob(SBulkJobInfo &info);
    // Creates the run's log and opens the job with the log's creation time; on failure the
    // log is finished at once (counts 0 and 0) and no job stays open. In every case the
    // last updated time is read again.
    bool StartJob();
    // Finishes the log under its final name and, when a job is open, closes it (status 99
    // when failed, else 9; the job id is let go whatever the answer); then records the
    // newest logged update time when it is later than the last updated time (or that one
    // was damaged).
    bool EndJob(bool failed, qint32 succeeded, qint32 failedCount, quint32 totalBytes,
                QString *logPath = nullptr);
    qint32 jobId() const { return m_jobId; }

    // Appends the file's log line and remembers its update time when it is the newest of the
    // run.
    bool AddLogRecord(const CSharedFileRecord &record);
    CBulkDownloadLogManager &logManager() { return *m_log; }

    // --- the newest update time of the previous runs ---
    // True when the last updated time is not zero, or invalid (a damaged file counts as
    // held, but never lets the cache serve a file: see UsesCacheFor).
    bool HasUpdatedTime() const;
    CDateTimeValue LastUpdatedTime() const { return m_lastUpdated; }
    // A file updated before the last updated time (a valid, non-zero one) may come from the
    // cache.
    bool UsesCacheFor(const CDateTimeValue &updateTime) const;
    QString UpdatedTimePath() const;

private:
    // EndJob; quiet: failures only logged (the end of a start that failed).
    bool EndJobSteps(bool failed, qint32 succeeded, qint32 failedCount, quint32 totalBytes,
                     QString *logPath, bool quiet);
    void ReadUpdatedTime();
    void WriteUpdatedTime(const CDateTimeValue &time);

    CBulkDownloadConfigRecord m_settings;
    QString m_runFolderName;
    std::unique_ptr<CBulkDownloadLogManager> m_log;
    qint32 m_jobId = 0;
    CDateTimeValue m_lastUpdated;
    CDateTimeValue m_lastLogged = CDateTimeValue(0.0, CDateTimeValue::Invalid);
    std::function<QDateTime()> m_clock;
};
