#include "FileSystem.h"

#include "BizException.h"
#include "BizProgress.h"
#include "Paths.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QRandomGenerator>
#include <QSaveFile>
#include <QThread>

#include <cerrno>
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

Q_LOGGING_CATEGORY(lcFiles, "velquor.files")

namespace {

QByteArray encoded(const QString &path)
{
    return QFile::encodeName(ToNativeSeparators(path));
}

[[noreturn]] void throwErrno(int err, const QString &path)
{
    throw CBizOsException(CBizOsException::FromErrno(err), ToNativeSeparators(path));
}

QString parentOf(const QString &path)
{
    const QString p = ToNativeSeparators(path);
    const qsizetype slash = p.lastIndexOf(u'/');
    if (slash < 0)
        return {};
    return slash == 0 ? QStringLiteral("/") : p.left(slash);
}

bool lstatPath(const QString &path, struct stat &st)
{
    return ::lstat(encoded(path).constData(), &st) == 0;
}

// Copies the bytes of an open descriptor into a new temporary file next to destination
// and answers its name; the caller renames it into place.
QString copyToTemporary(int in, const QString &destination, mode_t mode)
{
    QByteArray tmpl = encoded(destination) + ".vqrtmp-XXXXXX";
    const int out = ::mkstemp(tmpl.data());
    if (out < 0)
        throwErrno(errno, destination);
    const QString tmpName = QFile::decodeName(tmpl);
    auto fail = [&](int err) {
        ::close(out);
        ::unlink(tmpl.constData());
        throwErrno(err, destination);
    };
    // The kernel copies within the file system without passing the bytes through us (and
    // shares extents where the file system can); elsewhere the plain loop below goes on from
    // where it stopped.
    for (;;) {
        const ssize_t n = ::copy_file_range(in, nullptr, out, nullptr, size_t(1) << 30, 0);
        if (n > 0)
            continue;
        if (n == 0)
            break;
        if (errno == EINTR)
            continue;
        if (errno != EXDEV && errno != ENOSYS && errno != EINVAL && errno != EOPNOTSUPP
            && errno != EPERM && errno != ETXTBSY)
            fail(errno);
        break;
    }
    char buffer[64 * 1024];
    for (;;) {
        const ssize_t n = ::read(in, buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            fail(errno);
        }
        if (n == 0)
            break;
        ssize_t done = 0;
        while (done < n) {
            const ssize_t w = ::write(out, buffer + done, size_t(n - done));
            if (w < 0) {
                if (errno == EINTR)
                    continue;
                fail(errno);
            }
            done += w;
        }
    }
    ::fchmod(out, mode & 07777);
    if (::close(out) != 0) {
        const int err = errno;
        ::unlink(tmpl.constData());
        throwErrno(err, destination);
    }
    return tmpName;
}

int deleteTree(const QString &folder, bool keepRoot, CBizProgressHandler *progress, int &count)
{
    QDir dir(folder);
    const QFileInfoList entries = dir.entryInfoList(
        QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System, QDir::Name);
    for (const QFileInfo &entry : entries) {
        const QString path = entry.filePath();
        if (entry.isDir() && !entry.isSymLink()) {
            const int r = deleteTree(path, false, progress, count);
            if (r < 0)
                return r;
            continue;
        }
        if (progress) {
            progress->SetText(path);
            progress->StepBy(1);
        }
        if (::unlink(encoded(path).constData()) != 0 && errno != ENOENT)
            throwErrno(errno, path);
        ++count;
        if (progress && !progress->Continue())
            return progress->cancelCode() < 0 ? progress->cancelCode() : -1;
    }
    if (!keepRoot) {
        int err = 0;
        for (int attempt = 0; attempt < 5; ++attempt) {
            if (::rmdir(encoded(folder).constData()) == 0 || errno == ENOENT)
                return count;
            err = errno;
            QThread::msleep(100);
        }
        throwErrno(err, folder);
    }
    return count;
}

int moveTree(const QString &source, const QString &destination, CBizProgressHandler *progress,
             const QStringList &filters, int &count)
{
    CreateFolders(destination, false);
    QDir dir(source);
    const QFileInfoList files
        = dir.entryInfoList(filters, QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
    for (const QFileInfo &file : files) {
        if (progress) {
            progress->SetText(file.filePath());
            if (!progress->StepBy(1))
                return progress->cancelCode() < 0 ? progress->cancelCode() : -1;
        }
        MoveFileTo(file.filePath(), JoinPath(destination, file.fileName()),
                   MoveReplaceExisting | MoveCopyAllowed | MoveWriteThrough, false);
        ++count;
    }
    const QString destinationClean = QDir::cleanPath(QFileInfo(destination).absoluteFilePath());
    const QFileInfoList folders
        = dir.entryInfoList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden, QDir::Name);
    for (const QFileInfo &sub : folders) {
        if (QDir::cleanPath(sub.absoluteFilePath()) == destinationClean)
            continue;
        if (sub.isSymLink())
            continue;
        const int r = moveTree(sub.filePath(), JoinPath(destination, sub.fileName()), progress,
                               filters, count);
        if (r < 0)
            return r;
        // Only an emptied folder goes: files that did not match the pattern are kept.
        if (IsFolderEmpty(sub.filePath()))
            ::rmdir(encoded(sub.filePath()).constData());
    }
    return count;
}

} // namespace

QString ToNativeSeparators(const QString &path)
{
    QString p = path;
    p.replace(u'\\', u'/');
    return p;
}

bool CreateFolders(const QString &path, bool isFilePath, FolderAccess access)
{
    QString target = ToNativeSeparators(path);
    if (isFilePath)
        target = parentOf(target);
    if (target.isEmpty())
        return true;
    if (target.size() > MaxPath)
        return false;
    if (IsFolder(target))
        return true;
    const QString absolute = QFileInfo(target).absoluteFilePath();
    const QStringList parts = absolute.split(u'/', Qt::SkipEmptyParts);
    QString current;
    for (const QString &part : parts) {
        current += u'/' + part;
        struct stat st;
        if (::stat(encoded(current).constData(), &st) == 0) {
            if (!S_ISDIR(st.st_mode))
                throw CBizOsException(OsError::AlreadyExists, current);
            continue;
        }
        const mode_t mode = access == FolderAccess::Private ? 0700 : 0777;
        if (::mkdir(encoded(current).constData(), mode) != 0 && errno != EEXIST)
            throwErrno(errno, current);
    }
    return true;
}

bool OpenStateFile(QSaveFile &file)
{
    if (!file.open(QIODevice::WriteOnly))
        return false;
    // The temporary file's mode is what the committed file keeps.
    if (!file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner)) {
        file.cancelWriting();
        return false;
    }
    return true;
}

QString CreateTemporarySibling(const QString &target)
{
    static const char kChars[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    const QFileInfo info(ToNativeSeparators(target));
    const QString prefix = info.absolutePath() + QStringLiteral("/.") + info.fileName() + u'.';
    int err = EEXIST;
    for (int attempt = 0; attempt < 100 && err == EEXIST; ++attempt) {
        QString name = prefix;
        for (int i = 0; i < 6; ++i)
            name += QLatin1Char(kChars[QRandomGenerator::global()->bounded(62)]);
        name += QStringLiteral(".vqrtmp");
        const int fd
            = ::open(encoded(name).constData(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, 0666);
        if (fd >= 0) {
            ::close(fd);
            return name;
        }
        err = errno;
    }
    throwErrno(err, target);
}

bool CopyFileTo(const QString &source, const QString &destination, bool failIfExists)
{
    CreateFolders(destination, true);
    const int in = ::open(encoded(source).constData(), O_RDONLY | O_CLOEXEC);
    if (in < 0)
        throwErrno(errno, source);
    struct stat st;
    if (::fstat(in, &st) != 0 || S_ISDIR(st.st_mode)) {
        const int err = S_ISDIR(st.st_mode) ? EACCES : errno;
        ::close(in);
        throwErrno(err, source);
    }
    QString tmp;
    try {
        tmp = copyToTemporary(in, destination, st.st_mode);
    } catch (...) {
        ::close(in);
        throw;
    }
    ::close(in);
    const QByteArray tmpName = encoded(tmp);
    const QByteArray destName = encoded(destination);
    if (failIfExists) {
        // link() fails when the name exists: no window in which another file is replaced.
        if (::link(tmpName.constData(), destName.constData()) != 0) {
            const int err = errno;
            ::unlink(tmpName.constData());
            if (err == EEXIST)
                throw CBizOsException(OsError::FileExists, ToNativeSeparators(destination));
            throwErrno(err, destination);
        }
        ::unlink(tmpName.constData());
        return true;
    }
    if (::rename(tmpName.constData(), destName.constData()) != 0) {
        const int err = errno;
        ::unlink(tmpName.constData());
        throwErrno(err, destination);
    }
    return true;
}

bool MoveFileTo(const QString &source, const QString &destination, int moveFlags,
                bool createFolders)
{
    if (createFolders)
        CreateFolders(destination, true);
    const QByteArray from = encoded(source);
    const QByteArray to = encoded(destination);
    int r;
    if (moveFlags & MoveReplaceExisting)
        r = ::rename(from.constData(), to.constData());
    else
        r = ::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), RENAME_NOREPLACE);
    if (r == 0)
        return true;
    const int err = errno;
    if (err == EEXIST)
        throw CBizOsException(OsError::AlreadyExists, ToNativeSeparators(destination));
    if (err == EXDEV && (moveFlags & MoveCopyAllowed) && !IsFolder(source)) {
        CopyFileTo(source, destination, !(moveFlags & MoveReplaceExisting));
        if (::unlink(from.constData()) != 0)
            throwErrno(errno, source);
        return true;
    }
    throwErrno(err, err == ENOENT && !PathExists(source) ? source : destination);
}

bool DeleteFileIfExists(const QString &path)
{
    if (path.isEmpty())
        return true;
    if (::unlink(encoded(path).constData()) == 0 || errno == ENOENT)
        return true;
    throwErrno(errno, path);
}

int DeleteTree(const QString &folder, bool keepRoot, CBizProgressHandler *progress)
{
    if (folder.size() > MaxPath)
        return -1;
    struct stat st;
    if (!lstatPath(folder, st) || !S_ISDIR(st.st_mode))
        return 0;
    int count = 0;
    return deleteTree(ToNativeSeparators(folder), keepRoot, progress, count);
}

int MoveTree(const QString &source, const QString &destination, CBizProgressHandler *progress,
             const QString &pattern)
{
    QStringList filters;
    if (!pattern.isEmpty() && pattern != QLatin1String("*.*"))
        filters << pattern;
    int count = 0;
    return moveTree(ToNativeSeparators(source), ToNativeSeparators(destination), progress, filters,
                    count);
}

bool IsFolder(const QString &path)
{
    struct stat st;
    return !path.isEmpty() && ::stat(encoded(path).constData(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool IsFolderEmpty(const QString &path)
{
    if (!IsFolder(path))
        return false;
    return QDir(ToNativeSeparators(path))
        .entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System)
        .isEmpty();
}

bool PathExists(const QString &path)
{
    struct stat st;
    return !path.isEmpty() && lstatPath(path, st);
}

bool FileStatus(const QString &path, qint64 &size, SFileStatus &status)
{
    const QFileInfo info(ToNativeSeparators(path));
    if (path.isEmpty() || !info.exists()) {
        size = -1;
        return false;
    }
    status.isFolder = info.isDir();
    status.readOnly = !info.isWritable();
    status.modified = info.lastModified();
    status.created = info.birthTime().isValid() ? info.birthTime() : info.metadataChangeTime();
    status.accessed = info.lastRead();
    status.size = status.isFolder ? 0 : info.size();
    if (status.size >= (qint64(1) << 32)) {
        size = -1;
        return false;
    }
    size = status.size;
    return true;
}

bool LoadArchiveFile(const QString &path, const ArchiveReader &read)
{
    const int fd = ::open(encoded(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT)
            return false;
        throw CBizFileException(CBizFileException::CauseFromErrno(errno), ToNativeSeparators(path),
                                errno);
    }
    struct stat st;
    if (::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
        ::close(fd);
        throw CBizFileException(CBizFileException::AccessDenied, ToNativeSeparators(path), EISDIR);
    }
    QFile file;
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        throw CBizFileException(CBizFileException::GenericException, ToNativeSeparators(path));
    }
    read(file); // the QFile closes the descriptor also when read throws
    return true;
}

bool SaveArchiveFile(const QString &path, const ArchiveWriter &write)
{
    try {
        if (!CreateFolders(path, true, FolderAccess::Private))
            return false;
    } catch (const CBizOsException &e) {
        qCWarning(lcFiles) << "cannot create the folders of" << path << e.errorNumber();
        return false;
    }
    QSaveFile file(ToNativeSeparators(path));
    if (!OpenStateFile(file)) {
        const int err = errno;
        throw CBizFileException(err ? CBizFileException::CauseFromErrno(err)
                                    : CBizFileException::GenericException,
                                ToNativeSeparators(path), err);
    }
    write(file); // on an exception the QSaveFile discards the temporary file
    errno = 0;
    if (!file.commit()) {
        const int err = errno;
        throw CBizFileException(err ? CBizFileException::CauseFromErrno(err)
                                    : CBizFileException::GenericException,
                                ToNativeSeparators(path), err);
    }
    return true;
}
