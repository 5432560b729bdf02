#include "BulkDownloadManager.h"

#include "BulkDownloadRequests.h"
#include "BulkLog.h"

#include "account/LoginManager.h"
#include "account/UserRecord.h"
#include "core/AppState.h"
#include "core/BizException.h"
#include "core/FileSystem.h"
#include "core/Paths.h"
#include "files/FileRecord.h"
#include "service/RequestException.h"
#include "store/Archive.h"

#include <QFile>
#include <QIODevice>
#include <QRegularExpression>
#include <QSaveFile>
#include <QStringDecoder>
#include <QStringEncoder>

#include <thread>

Q_LOGGING_CATEGORY(lcBulk, "velquor.bulk")

namespace {

const QString kSettingsFile = QStringLiteral("bulkDownload.vqr");
const QString kUpdatedTimeFile = QStringLiteral("bulkDLUpdatedTime.vqr");

QString DatedName(const QDate &date)
{
    return QString::asprintf("%04d%02d%02d.vqr", date.year(), date.month(), date.day());
}

void Report(const CBizException &e)
{
    qCWarning(lcBulk) << "bulk download step failed, kind" << e.Kind();
    CExceptHandler handler;
    handler.Set(e);
    handler.ShowError();
}

// Runs a step; a failure is reported (unless quiet) and answers false.
template<typename F>
bool Reported(bool quiet, F &&step)
{
    try {
        return step();
    } catch (const CBizException &e) {
        if (!quiet)
            Report(e);
        else
            qCInfo(lcBulk) << "bulk download step failed quietly, kind" << e.Kind();
        return false;
    }
}

} // namespace

CBulkDownloadManager::CBulkDownloadManager(CLoginManager *loginManager)
    : CHasLoginManager(loginManager)
    , m_log(std::make_unique<CBulkDownloadLogManager>([this] { return DestinationFolder(); }))
{}

CBulkDownloadManager::~CBulkDownloadManager() = default;

void CBulkDownloadManager::SetClock(std::function<QDateTime()> clock)
{
    m_clock = std::move(clock);
}

QDateTime CBulkDownloadManager::Now() const
{
    return m_clock ? m_clock() : QDateTime::currentDateTime();
}

// --- settings --------------------------------------------------------------------------------

QString CBulkDownloadManager::SettingsPath() const
{
    return m_loginManager ? m_loginManager->UserDataFile(kSettingsFile) : QString();
}

bool CBulkDownloadManager::LoadBulkSettings()
{
    QString path;
    try {
        path = SettingsPath();
    } catch (const CBizException &) {
        // Nobody signed in: nothing of a user to load.
    }
    bool ok = true;
    if (!path.isEmpty()) {
        CBulkDownloadConfigRecord loaded;
        try {
            if (LoadArchiveFile(path, [&](QIODevice &device) {
                    const QByteArray data = device.readAll();
                    CBizArchiveReader reader(data, path);
                    loaded.Deserialize(reader);
                }))
                m_settings = loaded;
        } catch (const CBizArchiveException &e) {
            if (e.cause() == CBizArchiveException::EndOfFile) {
                // A file cut short (an old version, a crash while writing) means defaults.
                qCInfo(lcBulk) << "bulk download settings end early: defaults";
                m_settings = CBulkDownloadConfigRecord();
            } else {
                Report(e);
                ok = false;
            }
        } catch (const CBizException &e) {
            Report(e);
            ok = false;
        }
    }
    ProgressContinue();
    return ok;
}

bool CBulkDownloadManager::SaveBulkSettings(const CBulkDownloadConfigRecord &record)
{
    const CBulkDownloadConfigRecord previous = m_settings;
    m_settings = record;
    const bool ok = Reported(false, [&] {
        const QString path = SettingsPath();
        if (path.isEmpty())
            throw CBizFileException(CBizFileException::BadPath, path);
        return SaveArchiveFile(path, [&](QIODevice &device) {
            QByteArray data;
            CBizArchiveWriter writer(data);
            m_settings.Serialize(writer);
            if (device.write(data) != data.size())
                throw CBizFileException(CBizFileException::DiskFull, path);
        });
    });
    if (!ok)
        m_settings = previous;
    return ok;
}

QString CBulkDownloadManager::ScheduleText() const
{
    return BulkScheduleText(m_settings, IsSupportMode());
}

bool CBulkDownloadManager::IsScheduledNow(const QDateTime &previous, const QDateTime &now) const
{
    return IsScheduledStart(m_settings, ForbiddenHours(), previous, now);
}

SBulkForbiddenHours CBulkDownloadManager::ForbiddenHours() const
{
    SBulkForbiddenHours hours;
    if (const CUserRecord *user = m_loginManager ? m_loginManager->currentUser() : nullptr) {
        hours.from1 = user->bulkDownloadDisableH1From;
        hours.to1 = user->bulkDownloadDisableH1To;
        hours.from2 = user->bulkDownloadDisableH2From;
        hours.to2 = user->bulkDownloadDisableH2To;
    }
    return hours;
}

bool CBulkDownloadManager::IsBulkDownloadAllowedNow() const
{
    return !m_loginManager || m_loginManager->IsBulkDownloadAllowedNow();
}

// --- the destination -------------------------------------------------------------------------

QString CBulkDownloadManager::RunFolderName(bool dated) const
{
    return dated ? DatedName(Now().date()) : QStringLiteral("download.vqr");
}

QString CBulkDownloadManager::DestinationFolder() const
{
    if (m_settings.destinationRoot.isEmpty())
        return {};
    return JoinPath(ToNativeSeparators(m_settings.destinationRoot),
                    m_runFolderName.isEmpty() ? RunFolderName(m_settings.datedFolders != 0)
                                              : m_runFolderName);
}

bool CBulkDownloadManager::PrepareDestination(bool clear, bool *existed)
{
    m_runFolderName = RunFolderName(m_settings.datedFolders != 0);
    const QString folder = DestinationFolder();
    if (existed)
        *existed = false;
    return Reported(false, [&] {
        if (folder.isEmpty())
            throw CBizOsException(OsError::PathNotFound, m_settings.destinationRoot);
        const bool there = PathExists(folder);
        if (existed)
            *existed = there;
        bool deleted = false;
        if (there && clear) {
            if (DeleteTree(folder, false, progress()) < 0)
                return false; // cancelled
            deleted = true;
        }
        // Right after a deletion the folder may still be going (a file manager or an
        // indexer holding it): a few attempts.
        const int attempts = deleted ? MaxCreateAttempts : 1;
        for (int attempt = 1;; ++attempt) {
            try {
                return CreateFolders(folder);
            } catch (const CBizOsException &e) {
                if (e.errorNumber() != OsError::AccessDenied || attempt >= attempts)
                    throw;
                qCInfo(lcBulk) << "run folder not creatable yet, attempt" << attempt;
                std::this_thread::sleep_for(std::chrono::milliseconds(AccessDeniedRetryMs));
            }
        }
    });
}

// --- the job ---------------------------------------------------------------------------------

bool CBulkDownloadManager::CheckRunningJob(SBulkJobInfo &info)
{
    if (!m_loginManager)
        return false;
    return Reported(false, [&] {
        CBulkDownloadInfoRequest request(m_loginManager->accessKey(), progress());
        if (!request.ExecuteGet())
            return false;
        info.startTime = request.startTime();
        info.jobId = request.jobId();
        info.status = request.status();
        return true;
    });
}

bool CBulkDownloadManager::StartJob()
{
    m_jobId = 0;
    m_lastLogged = CDateTimeValue(0.0, CDateTimeValue::Invalid);
    m_log->SetRunName(DatedName(Now().date()));
    bool ok = Reported(false, [&] {
        qint64 started = 0;
        if (!m_log->CreateLog(&started))
            return false;
        if (!m_loginManager)
            return false;
        const CDateTimeValue startTime
            = CDateTimeValue::FromQDateTime(QDateTime::fromSecsSinceEpoch(started));
        CBulkDownloadStartRequest request(m_loginManager->accessKey(), startTime, progress());
        if (!request.ExecutePost())
            return false;
        m_jobId = request.jobId();
        qCInfo(lcBulk) << "bulk download job" << m_jobId << "started";
        return true;
    });
    if (!ok)
        EndJobSteps(true, 0, 0, 0, nullptr, true);
    ReadUpdatedTime();
    return ok;
}

bool CBulkDownloadManager::EndJob(bool failed, qint32 succeeded, qint32 failedCount,
                                  quint32 totalBytes, QString *logPath)
{
    return EndJobSteps(failed, succeeded, failedCount, totalBytes, logPath, false);
}

bool CBulkDownloadManager::EndJobSteps(bool failed, qint32 succeeded, qint32 failedCount,
                                       quint32 totalBytes, QString *logPath, bool quiet)
{
    qint64 ended = Now().toSecsSinceEpoch();
    QString finalPath;
    bool ok = true;
    if (!m_log->logPath().isEmpty())
        ok = m_log->FinishLog(&ended, succeeded, failedCount, totalBytes, &finalPath);
    if (logPath)
        *logPath = finalPath;
    if (m_jobId != 0) {
        const qint32 jobId = m_jobId;
        m_jobId = 0; // let go whatever the answer: a job is never closed twice
        // A failure already shown (the log) is enough for the user.
        const bool sent = Reported(quiet || !ok, [&] {
            if (!m_loginManager)
                return false;
            CBulkDownloadEndRequest request(
                m_loginManager->accessKey(),
                CDateTimeValue::FromQDateTime(QDateTime::fromSecsSinceEpoch(ended)), jobId,
                failed ? BulkJobStatus::Failed : BulkJobStatus::Finished, succeeded + failedCount,
                failedCount, nullptr);
            // Without the run's progress: a cancelled run must still close its job.
            return request.ExecutePost() != 0;
        });
        qCInfo(lcBulk) << "bulk download job" << jobId << "ended, status"
                       << (failed ? BulkJobStatus::Failed : BulkJobStatus::Finished) << "sent"
                       << sent;
        ok = ok && sent;
    }
    // A damaged time (not valid) is replaced too: kept, it would make every later run
    // download everything again.
    if (m_lastLogged.isValid() && !m_lastLogged.isZero()
        && (!m_lastUpdated.isValid() || m_lastUpdated.value < m_lastLogged.value)) {
        ok = Reported(quiet,
                      [&] {
                          WriteUpdatedTime(m_lastLogged);
                          return true;
                      })
             && ok;
    }
    return ok;
}

bool CBulkDownloadManager::AddLogRecord(const CSharedFileRecord &record)
{
    // The newest time logged, not the last one: a closing pass of the walk logs files that
    // are older than those before them.
    if (!m_lastLogged.isValid()
        || (record.updateTime.isValid() && record.updateTime.value > m_lastLogged.value))
        m_lastLogged = record.updateTime;
    return m_log->AddLogLine(record);
}

// --- the newest update time ------------------------------------------------------------------

QString CBulkDownloadManager::UpdatedTimePath() const
{
    return DataPath({}, kUpdatedTimeFile);
}

bool CBulkDownloadManager::HasUpdatedTime() const
{
    return !m_lastUpdated.isValid() || !m_lastUpdated.isZero();
}

bool CBulkDownloadManager::UsesCacheFor(const CDateTimeValue &updateTime) const
{
    // A damaged time never lets an old copy stand in for the service's file.
    return m_lastUpdated.isValid() && !m_lastUpdated.isZero() && updateTime.isValid()
           && updateTime.value < m_lastUpdated.value;
}

void CBulkDownloadManager::ReadUpdatedTime()
{
    m_lastUpdated = CDateTimeValue(0.0);
    QFile file(UpdatedTimePath());
    if (!file.exists())
        return;
    if (!file.open(QIODevice::ReadOnly)) {
        qCWarning(lcBulk) << "last update time unreadable";
        m_lastUpdated = CDateTimeValue(0.0, CDateTimeValue::Invalid);
        return;
    }
    const QByteArray bytes = file.read(4096);
    QString text;
    if (bytes.startsWith("\xff\xfe"))
        text = QString(QStringDecoder(QStringDecoder::Utf16LE)(bytes.mid(2)));
    else
        text = QString(QStringDecoder(QStringDecoder::Utf8)(bytes));
    const qsizetype end = text.indexOf(QRegularExpression(QStringLiteral("[\r\n]")));
    m_lastUpdated = ParseDateTime(end < 0 ? text : text.left(end));
    if (!m_lastUpdated.isValid())
        qCWarning(lcBulk) << "last update time not a date: every file is downloaded";
}

void CBulkDownloadManager::WriteUpdatedTime(const CDateTimeValue &time)
{
    if (!EnsureDataFolder())
        throw CBizOsException(OsError::PathNotFound, DataPath());
    const QString path = UpdatedTimePath();
    QSaveFile file(path);
    if (!OpenStateFile(file))
        throw CBizFileException(CBizFileException::AccessDenied, path);
    QStringEncoder utf16(QStringEncoder::Utf16LE, QStringEncoder::Flag::WriteBom);
    const QByteArray bytes = utf16(FormatDateTime(time) + QStringLiteral("\r\n"));
    if (file.write(bytes) != bytes.size() || !file.commit())
        throw CBizFileException(CBizFileException::DiskFull, path);
    qCInfo(lcBulk) << "newest update time recorded:" << FormatDateTime(time);
}
