#include "LogManager.h"

#include "store/Convert.h"

#include "core/BizException.h"
#include "core/ExceptHandler.h"
#include "core/FileStates.h"
#include "core/FileSystem.h"
#include "core/Messages.h"
#include "store/AnsiCodec.h"

#include <QDir>
#include <QFile>
#include <QLoggingCategory>
#include <QStandardPaths>

#include <cerrno>
#include <cstdio>
#include <sys/stat.h>

Q_LOGGING_CATEGORY(lcErrorLog, "velquor.errorlog")

namespace {

// The first line as CP932 bytes, never converted, so it reads the same whatever the codec:
// "ログ出力日時,操作,操作元ファイル/フォルダ,操作後ファイル/フォルダ,エラーの分類,エラーの内容\n".
const char kHeader[]
    = "\x83\x8d\x83\x4f\x8f\x6f\x97\xcd\x93\xfa\x8e\x9e,"         // ログ出力日時
      "\x91\x80\x8d\xec,"                                         // 操作
      "\x91\x80\x8d\xec\x8c\xb3\x83\x74\x83\x40\x83\x43\x83\x8b/" // 操作元ファイル/
      "\x83\x74\x83\x48\x83\x8b\x83\x5f,"                         // フォルダ
      "\x91\x80\x8d\xec\x8c\xe3\x83\x74\x83\x40\x83\x43\x83\x8b/" // 操作後ファイル/
      "\x83\x74\x83\x48\x83\x8b\x83\x5f,"                         // フォルダ
      "\x83\x47\x83\x89\x81\x5b\x82\xcc\x95\xaa\x97\xde,"         // エラーの分類
      "\x83\x47\x83\x89\x81\x5b\x82\xcc\x93\xe0\x97\x65\n";       // エラーの内容

// A local folder now. Only an absolute path counts: a service path ("経理/2024/a.xlsx") must
// not be read against the working directory.
bool IsLocalFolder(const QString &source)
{
    if (source.isEmpty() || !QDir::isAbsolutePath(source))
        return false;
    struct stat st;
    return ::stat(QFile::encodeName(ToNativeSeparators(source)).constData(), &st) == 0
           && S_ISDIR(st.st_mode);
}

[[noreturn]] void ThrowFileError(int err, const QString &path)
{
    throw CBizFileException(CBizFileException::CauseFromErrno(err), path, err);
}

// The bytes into path through a temporary sibling renamed into place: a reader never sees a
// half-written log, and a file of the same name is replaced as a whole.
void WriteReplacing(const QString &path, const QByteArray &bytes)
{
    // Another program that holds the file (a spreadsheet with the log open) keeps it.
    if (IsFileInUse(path))
        throw CBizOsException(OsError::SharingViolation, path);
    const QString temporary = CreateTemporarySibling(path);
    QFile file(temporary);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        const int err = errno;
        QFile::remove(temporary);
        ThrowFileError(err, path);
    }
    errno = 0;
    const bool written = file.write(bytes) == bytes.size() && file.flush();
    const int writeErr = errno;
    file.close();
    if (!written || file.error() != QFileDevice::NoError) {
        QFile::remove(temporary);
        ThrowFileError(writeErr ? writeErr : EIO, path);
    }
    if (std::rename(QFile::encodeName(temporary).constData(),
                    QFile::encodeName(ToNativeSeparators(path)).constData())
        != 0) {
        const int err = errno;
        QFile::remove(temporary);
        throw CBizOsException(CBizOsException::FromErrno(err), path);
    }
}

} // namespace

CLogManager::CLogManager(CLoginManager *loginManager)
    : CHasLoginManager(loginManager)
{}

CLogManager::~CLogManager() = default;

void CLogManager::AddEntry(const QString &operation, const QString &source,
                           const QString &destination, const QString &message)
{
    m_entries.append({CDateTimeValue::Now(), operation, source, destination, message});
}

QString CLogManager::CsvField(const QString &text)
{
    return ::CsvField(text);
}

QString CLogManager::CleanMessage(const QString &message)
{
    QString cleaned;
    cleaned.reserve(message.size());
    for (const QChar c : message) {
        if (c == u'\r' || c == u'\n')
            continue;
        cleaned.append(c == u',' ? QChar(u'.') : c);
    }
    return cleaned;
}

QString CLogManager::FileNameFor(const QDateTime &time)
{
    return QStringLiteral("VQRエラーログ") + time.toString(QStringLiteral("yyMMddHHmmss"))
           + QStringLiteral(".csv");
}

QString CLogManager::DesktopFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::DesktopLocation);
}

QByteArray CLogManager::CsvBytes() const
{
    static const QString kFolder = QStringLiteral("フォルダ");
    static const QString kFile = QStringLiteral("ファイル");
    QString text;
    text.reserve(m_entries.size() * 160);
    for (const SFilePath &entry : m_entries) {
        text += CsvField(FormatDateTime(entry.time));
        text += u',';
        text += CsvField(entry.operation);
        text += u',';
        text += CsvField(entry.source);
        text += u',';
        text += CsvField(entry.destination);
        text += u',';
        text += IsLocalFolder(entry.source) ? kFolder : kFile;
        text += u',';
        text += CsvField(CleanMessage(entry.message));
        text += u'\n';
    }
    QByteArray bytes(kHeader, sizeof kHeader - 1);
    bytes += ToAnsi(text);
    return bytes;
}

QString CLogManager::Write()
{
    const QDateTime now = QDateTime::currentDateTime();
    const QString folder = DesktopFolder();
    const QString path = folder + u'/' + FileNameFor(now);
    CBizExceptHandler handler;
    try {
        if (!CreateFolders(folder))
            throw CBizOsException(OsError::FilenameExcedRange, folder);
        WriteReplacing(path, CsvBytes());
    } catch (const CBizException &e) {
        handler.Set(e);
    }
    const int count = Count();
    m_entries.clear();
    if (!handler.HasException()) {
        qCInfo(lcErrorLog) << count << "entries written to" << path;
        return path;
    }
    qCWarning(lcErrorLog) << "the error log could not be written to" << path << ":"
                          << handler.MessageText();
    const auto *os = dynamic_cast<const CBizOsException *>(handler.Exception());
    if (os && os->errorNumber() == OsError::SharingViolation)
        ShowErrorMessage(18327, path);
    else if (handler.IsNotFound())
        ShowErrorMessage(18326, path);
    else
        handler.ShowError();
    return path;
}
