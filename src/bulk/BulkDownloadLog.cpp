#include "BulkDownloadLog.h"

#include "core/AppState.h"
#include "core/BizException.h"
#include "core/FileStates.h"
#include "core/FileSystem.h"
#include "files/FileRecord.h"
#include "folders/WorkspaceRecord.h"
#include "service/RequestException.h"
#include "store/AnsiCodec.h"
#include "store/Convert.h"
#include "store/DateTimeValue.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

Q_LOGGING_CATEGORY(lcBulkLog, "velquor.bulk.log")

namespace {

const QString kKeyFormat = QStringLiteral("yyyy/MM/dd HH:mm:ss");
const QString kClockFormat = QStringLiteral("HH:mm:ss");

QString LocalText(qint64 secondsSinceEpoch, const QString &format)
{
    return QDateTime::fromSecsSinceEpoch(secondsSinceEpoch).toString(format);
}

QByteArray Native(const QString &path)
{
    return QFile::encodeName(ToNativeSeparators(path));
}

[[noreturn]] void ThrowOsError(int err, const QString &path)
{
    throw CBizOsException(CBizOsException::FromErrno(err ? err : EIO), ToNativeSeparators(path));
}

void Report(const CBizException &e)
{
    CExceptHandler handler;
    handler.Set(e);
    qCWarning(lcBulkLog) << handler.MessageText();
    handler.ShowError();
}

// The last change (mtime) in whole seconds.
bool LastChange(const QString &path, qint64 *seconds, int *err = nullptr)
{
    struct stat st;
    if (::stat(Native(path).constData(), &st) != 0) {
        if (err)
            *err = errno;
        return false;
    }
    *seconds = qint64(st.st_mtim.tv_sec);
    return true;
}

// Text mode of the log: every "\n" is written as CR LF.
QByteArray LogBytes(const QString &text)
{
    QString crlf = text;
    crlf.replace(u'\n', QStringLiteral("\r\n"));
    return ToAnsi(crlf);
}

void WriteAll(int fd, const QByteArray &bytes, const QString &path)
{
    const char *data = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, data, size_t(left));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            const int err = errno;
            ::close(fd);
            ThrowOsError(err, path);
        }
        data += n;
        left -= n;
    }
}

// A run folder: one non-empty name, one ".", then "vqr" in any letter case.
bool IsRunFolderName(const QString &name)
{
    const QStringList parts = name.split(u'.');
    return parts.size() == 2 && !parts.at(0).isEmpty()
           && parts.at(1).compare(QLatin1String("vqr"), Qt::CaseInsensitive) == 0;
}

struct SLogName
{
    qint32 succeeded = 0;
    qint32 failed = 0;
    quint32 totalBytes = 0;
};

// "<base>.vqr.log.<n>.<n>[.<n>].csv", letter case ignored.
bool ParseLogName(const QString &name, SLogName *counts)
{
    const QStringList parts = name.split(u'.');
    if (parts.size() != 6 && parts.size() != 7)
        return false;
    const auto is = [&](int i, const char *word) {
        return parts.at(i).compare(QLatin1String(word), Qt::CaseInsensitive) == 0;
    };
    if (parts.at(0).isEmpty() || !is(1, "vqr") || !is(2, "log") || parts.at(3).isEmpty()
        || parts.at(4).isEmpty() || !is(int(parts.size()) - 1, "csv"))
        return false;
    if (parts.size() == 7 && parts.at(5).isEmpty())
        return false;
    counts->succeeded = ParseInt(parts.at(3));
    counts->failed = ParseInt(parts.at(4));
    counts->totalBytes = parts.size() == 7 ? quint32(ParseInt(parts.at(5))) : 0;
    return true;
}

} // namespace

QString CBulkDownloadLogRecord::Key() const
{
    return LocalText(startTime, kKeyFormat);
}

QString CBulkDownloadLogRecord::DisplayText(bool supportMode) const
{
    const QString count = QStringLiteral("%1件").arg(succeeded, 7);
    QString text = LocalText(startTime, kKeyFormat) + QStringLiteral(" - ")
                   + LocalText(endTime, kClockFormat);
    if (supportMode) {
        // Hours of the day part only, as a time of day would show them; an end before the
        // start (the clock was set back) shows no duration.
        const qint64 duration = std::max<qint64>(endTime - startTime, 0) % 86400;
        text += QStringLiteral(" (%1:%2:%3)")
                    .arg(duration / 3600, 2, 10, QChar(u'0'))
                    .arg(duration / 60 % 60, 2, 10, QChar(u'0'))
                    .arg(duration % 60, 2, 10, QChar(u'0'));
        text += count;
        if (totalBytes != 0)
            text += QStringLiteral(" (%1)").arg(FormatByteSize(totalBytes));
    } else {
        text += u' ' + count;
    }
    if (failed > 0)
        text += QStringLiteral("\u3000失敗(%1)").arg(failed);
    return text;
}

CBulkDownloadLogRecord *CBulkDownloadLogList::AddRun(std::unique_ptr<CBulkDownloadLogRecord> record)
{
    const QString key = record->Key();
    RemoveKey(key);
    return Add(key, std::move(record));
}

void CBulkDownloadLogList::OrderNewestFirst()
{
    Sort([](const CBulkDownloadLogRecord *a, const CBulkDownloadLogRecord *b) {
        return a->startTime > b->startTime;
    });
}

CBulkDownloadLogManager::CBulkDownloadLogManager(std::function<QString()> destinationFolder)
    : m_destinationFolder(std::move(destinationFolder))
{}

CBulkDownloadLogManager::~CBulkDownloadLogManager() = default;

QString CBulkDownloadLogManager::LogFileName(const QString &runName, qint32 succeeded,
                                             qint32 failed, quint32 totalBytes)
{
    QString name = runName + QStringLiteral(".log.") + QString::number(succeeded) + u'.'
                   + QString::number(failed);
    if (totalBytes != 0)
        name += u'.' + QString::number(totalBytes);
    return name + QStringLiteral(".csv");
}

QString CBulkDownloadLogManager::HeaderLine(bool supportMode)
{
    QString header
        = QStringLiteral("ダウンロード日時,フォルダ名,ファイル名,状態,最終更新日時,最終更新者");
    if (supportMode)
        header += QStringLiteral(",サイズ");
    return header + u'\n';
}

QString CBulkDownloadLogManager::FormatLogLine(const CSharedFileRecord &record, bool supportMode,
                                               const QDateTime &now)
{
    const QString folder = record.folder ? record.folder->pathNames.join(u'/') : QString();
    QStringList fields{
        CsvField(FormatDateTime(CDateTimeValue::FromQDateTime(now))),
        CsvField(folder),
        CsvField(record.path),
        CsvField(record.statusText),
        CsvField(FormatDateTime(record.updateTime)),
        CsvField(record.updateName),
    };
    if (supportMode)
        fields.append(QString::number(qint64(record.size)));
    return fields.join(u',') + u'\n';
}

qint64 CBulkDownloadLogManager::StartTimeFromLines(const QString &logPath, qint64 lastChange)
{
    QFile file(logPath);
    if (!file.open(QIODevice::ReadOnly))
        return lastChange;
    file.readLine(); // the header
    const QString line = FromAnsi(file.readLine());
    const CDateTimeValue written = ParseDateTime(line.section(u',', 0, 0));
    const QDateTime local = written.ToQDateTime();
    if (!written.isValid() || written.isZero() || !local.isValid())
        return lastChange;
    return local.toSecsSinceEpoch();
}

QString CBulkDownloadLogManager::EffectiveRunName() const
{
    if (!m_runName.isEmpty())
        return m_runName;
    return QDate::currentDate().toString(QStringLiteral("yyyyMMdd")) + QStringLiteral(".vqr");
}

QString CBulkDownloadLogManager::PathInDestination(const QString &fileName) const
{
    QString folder = m_destinationFolder ? m_destinationFolder() : QString();
    if (!folder.isEmpty() && !folder.endsWith(u'/'))
        folder += u'/';
    return folder + fileName;
}

bool CBulkDownloadLogManager::CreateLog(qint64 *startTime)
{
    m_logPath.clear();
    m_appendFailed = false;
    const QString path = PathInDestination(LogFileName(EffectiveRunName(), 0, 0));
    try {
        // A log of that name (a run stopped earlier today) is replaced by a new file rather
        // than emptied: the new file's birth is this run's start.
        const QByteArray native = Native(path);
        if (::unlink(native.constData()) != 0 && errno != ENOENT)
            qCDebug(lcBulkLog) << "the old log could not be removed, it is emptied";
        const int fd = ::open(native.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
        if (fd < 0)
            ThrowOsError(errno, path);
        const qint64 createdHere = QDateTime::currentSecsSinceEpoch();
        if (::close(fd) != 0)
            ThrowOsError(errno, path);
        const std::optional<QDateTime> birth = FileBirthTime(path);
        if (startTime)
            *startTime = birth ? birth->toSecsSinceEpoch() : createdHere;
    } catch (const CBizException &e) {
        Report(e);
        return false;
    }
    m_logPath = path;
    qCInfo(lcBulkLog) << "run log" << path << "created";
    AppendLogLine(HeaderLine(IsSupportMode()));
    return true;
}

bool CBulkDownloadLogManager::AppendLogLine(const QString &text)
{
    if (m_logPath.isEmpty())
        return false;
    try {
        const int fd = ::open(Native(m_logPath).constData(),
                              O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0666);
        if (fd < 0)
            ThrowOsError(errno, m_logPath);
        WriteAll(fd, LogBytes(text), m_logPath);
        if (::close(fd) != 0)
            ThrowOsError(errno, m_logPath);
    } catch (const CBizException &e) {
        // A full disk fails every line of the run: said once, the rest only logged.
        if (!m_appendFailed)
            Report(e);
        else
            qCWarning(lcBulkLog) << "log line not written:" << e.ErrorMessage();
        m_appendFailed = true;
        return false;
    }
    return true;
}

bool CBulkDownloadLogManager::AddLogLine(const CSharedFileRecord &record)
{
    if (m_logPath.isEmpty())
        return false;
    return AppendLogLine(FormatLogLine(record, IsSupportMode(), QDateTime::currentDateTime()));
}

bool CBulkDownloadLogManager::FinishLog(qint64 *endTime, qint32 succeeded, qint32 failed,
                                        quint32 totalBytes, QString *finalPath)
{
    if (m_logPath.isEmpty())
        return true;
    const QString logPath = m_logPath;
    m_logPath.clear();
    const QString target
        = PathInDestination(LogFileName(EffectiveRunName(), succeeded, failed, totalBytes));
    try {
        if (std::rename(Native(logPath).constData(), Native(target).constData()) != 0)
            ThrowOsError(errno, logPath);
        if (finalPath)
            *finalPath = target;
        qint64 changed = 0;
        int err = 0;
        if (!LastChange(target, &changed, &err))
            ThrowOsError(err, target);
        if (endTime)
            *endTime = changed;
    } catch (const CBizException &e) {
        Report(e);
        return false;
    }
    qCInfo(lcBulkLog) << "run log finished as" << target;
    return true;
}

bool CBulkDownloadLogManager::LoadLogs(const QString &root)
{
    if (!m_logs)
        m_logs = std::make_unique<CBulkDownloadLogList>();
    else
        m_logs->RemoveAll();

    const QDir rootDir(root);
    if (root.isEmpty() || !rootDir.exists())
        return true;

    // Name order, letter case ignored, so that "the one found last" is the same on every
    // file system.
    const QDir::SortFlags order = QDir::Name | QDir::IgnoreCase;
    bool foundLog = false;
    const QFileInfoList folders
        = rootDir.entryInfoList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden, order);
    for (const QFileInfo &folder : folders) {
        if (!IsRunFolderName(folder.fileName()))
            continue;
        const QFileInfoList files
            = QDir(folder.filePath())
                  .entryInfoList(QDir::Files | QDir::Hidden | QDir::System, order);
        for (const QFileInfo &file : files) {
            SLogName counts;
            if (!ParseLogName(file.fileName(), &counts))
                continue;
            const QString path = file.filePath();
            qint64 changed = 0;
            if (!LastChange(path, &changed))
                continue;
            auto record = std::make_unique<CBulkDownloadLogRecord>();
            record->path = path;
            const std::optional<QDateTime> birth = FileBirthTime(path);
            record->startTime
                = birth ? birth->toSecsSinceEpoch() : StartTimeFromLines(path, changed);
            record->endTime = changed;
            record->succeeded = counts.succeeded;
            record->failed = counts.failed;
            record->totalBytes = counts.totalBytes;
            m_logs->AddRun(std::move(record));
            foundLog = true;
        }
    }
    if (foundLog)
        m_logs->OrderNewestFirst();
    return true;
}

CBulkDownloadLogList &CBulkDownloadLogManager::logs()
{
    if (!m_logs)
        m_logs = std::make_unique<CBulkDownloadLogList>();
    return *m_logs;
}
