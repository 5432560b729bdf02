#include "FileStates.h"

#include "FileSystem.h"

#include <QFile>
#include <QStringList>

#include <cerrno>
#include <charconv>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sched.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <system_error>
#include <thread>
#include <unistd.h>

// Closing a descriptor is what the probes must be careful about: a POSIX record lock belongs
// to the descriptor table of the process that took it, and close() of ANY descriptor of the
// file in that table drops all of them, whatever the descriptor was opened for. Probing with
// F_OFD_GETLK rather than F_GETLK does not help; the close does the damage. So a probe opens
// and closes its descriptor on a short-lived thread that first takes a copy of the table for
// itself (unshare(CLONE_FILES)): a close there drops the locks owned by the copy, which owns
// none. The copy ends like the table of a forked child: every file in it gets the flush of a
// close (NFS writes back), nothing of the process's is released.
// Sandboxes (Flatpak, container defaults) refuse unshare(). There a probe descriptor is opened
// in the process's own table only while the process has no descriptor of the file open, since
// its record locks cannot outlive the closing of its descriptors; otherwise the probe asks
// through the descriptor the process has and closes nothing.

namespace {

QByteArray encoded(const QString &path)
{
    return QFile::encodeName(ToNativeSeparators(path));
}

bool statRegular(const QByteArray &path, struct stat &st)
{
    return ::stat(path.constData(), &st) == 0 && S_ISREG(st.st_mode);
}

struct flock wholeFile()
{
    struct flock lock = {};
    lock.l_type = F_WRLCK; // conflicts with a lock of any type
    lock.l_whence = SEEK_SET;
    return lock; // l_start 0, l_len 0: to the end of the file, however it grows
}

// Read-only and never creating; without O_NOFOLLOW, so that a link to a working copy is
// probed like the file, whose inode carries the locks. O_NONBLOCK: neither a FIFO put in
// place since the stat() nor another program's lease on the file may keep the caller waiting.
int openProbe(const QByteArray &path)
{
    const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0)
        return -1;
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// Runs probe on a thread with a descriptor table of its own (see the top). False when there
// is none to be had: the probe did not run.
template<typename Work>
bool onOwnDescriptorTable(Work &&probe)
{
    bool ran = false;
    try {
        std::thread([&] {
            if (::unshare(CLONE_FILES) == 0) {
                probe();
                ran = true;
            }
        }).join();
    } catch (const std::system_error &) {
        return false; // no thread
    }
    return ran;
}

enum class Probe { NotOpened, Free, Locked, OwnRecordLock };

// On a fresh open file description, which holds no lock itself: F_OFD_GETLK reports a lock of
// any other description and a record lock of any process, this one's included (l_pid tells
// it), so F_GETLK adds nothing. flock(LOCK_NB) fails only while another description holds a
// flock lock; when it succeeds, the lock is given back at once.
Probe probeFreshDescription(const QByteArray &path)
{
    const int fd = openProbe(path);
    if (fd < 0)
        return Probe::NotOpened;
    Probe result = Probe::Free;
    struct flock lock = wholeFile();
    if (::fcntl(fd, F_OFD_GETLK, &lock) == 0 && lock.l_type != F_UNLCK)
        result = lock.l_pid == ::getpid() ? Probe::OwnRecordLock : Probe::Locked;
    if (result != Probe::Locked) {
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0)
            ::flock(fd, LOCK_UN);
        else if (errno == EWOULDBLOCK)
            result = Probe::Locked;
    }
    ::close(fd);
    return result;
}

enum class Own { NotOpen, Unknown, Locked, Unlocked };

// Asks through a descriptor of the file that this process already has, in the calling
// thread's table: F_GETLK from there passes over the record locks of this process (their
// owner is the table) and reports those of other processes and every OFD lock. Nothing is
// opened or closed. NotOpen: the process has no descriptor of the file (an O_PATH one cannot
// hold locks); Unknown: its descriptors cannot be listed.
Own askThroughOwnDescriptor(const struct stat &file)
{
    DIR *dir = ::opendir("/proc/thread-self/fd");
    if (!dir)
        return Own::Unknown;
    Own answer = Own::NotOpen;
    while (const dirent *entry = ::readdir(dir)) {
        int fd = -1;
        const char *end = entry->d_name + std::strlen(entry->d_name);
        const auto parsed = std::from_chars(entry->d_name, end, fd);
        if (parsed.ec != std::errc() || parsed.ptr != end || fd == ::dirfd(dir))
            continue;
        struct stat st;
        if (::fstat(fd, &st) != 0 || st.st_dev != file.st_dev || st.st_ino != file.st_ino)
            continue;
        struct flock lock = wholeFile();
        if (::fcntl(fd, F_GETLK, &lock) != 0) {
            if (errno != EBADF) // EBADF: an O_PATH descriptor
                answer = Own::Unknown;
            continue;
        }
        // A lock that shows this process's id was taken on a thread with a descriptor table of
        // its own: it is this process's all the same.
        answer = lock.l_type != F_UNLCK && lock.l_pid != ::getpid() ? Own::Locked : Own::Unlocked;
        break;
    }
    ::closedir(dir);
    return answer;
}

bool isAdvisoryLocked(const QByteArray &native, const struct stat &file)
{
    Probe probe = Probe::NotOpened;
    if (onOwnDescriptorTable([&] { probe = probeFreshDescription(native); })) {
        if (probe != Probe::OwnRecordLock)
            return probe == Probe::Locked;
        // The fresh description saw this process's own record lock, which may hide another
        // process's lock on the same bytes (two read locks); the process's descriptor of the
        // file looks past it. flock was probed already.
        return askThroughOwnDescriptor(file) == Own::Locked;
    }
    switch (askThroughOwnDescriptor(file)) {
    case Own::NotOpen:
        return probeFreshDescription(native) == Probe::Locked;
    case Own::Locked:
        return true;
    case Own::Unlocked:
    case Own::Unknown:
        break;
    }
    return false;
}

// Office suites that take no advisory lock (LibreOffice) mark a document they edit with a
// lock file beside it: ".~lock.<name>#" (LibreOffice), "~$<name>" (Microsoft's, which drops
// the first two characters of longer names).
bool hasOfficeLockFile(const QString &nativePath)
{
    const qsizetype slash = nativePath.lastIndexOf(u'/');
    const QString dir = nativePath.left(slash + 1);
    const QString name = nativePath.mid(slash + 1);
    QStringList candidates{dir + QStringLiteral(".~lock.") + name + u'#',
                           dir + QStringLiteral("~$") + name};
    if (name.size() > 2)
        candidates << dir + QStringLiteral("~$") + name.mid(2);
    for (const QString &candidate : std::as_const(candidates)) {
        struct stat st;
        if (::lstat(QFile::encodeName(candidate).constData(), &st) == 0)
            return true;
    }
    return false;
}

// Whether a process other than this one has the file open: a descriptor of another process
// that refers to it (the same inode), or to the path of a file saved over since (an editor
// that saves by renaming a new file into place may hold the old one, now "(deleted)").
// Only processes whose descriptor tables this user may read are seen, which are the user's.
bool openByAnotherProcess(const QByteArray &native, const struct stat &file)
{
    DIR *proc = ::opendir("/proc");
    if (!proc)
        return false;
    const QByteArray deleted = native + " (deleted)";
    const pid_t self = ::getpid();
    bool found = false;
    while (!found) {
        const dirent *entry = ::readdir(proc);
        if (!entry)
            break;
        pid_t pid = 0;
        const char *end = entry->d_name + std::strlen(entry->d_name);
        if (std::from_chars(entry->d_name, end, pid).ptr != end || pid <= 0 || pid == self)
            continue;
        const QByteArray fdDir = "/proc/" + QByteArray(entry->d_name) + "/fd";
        DIR *fds = ::opendir(fdDir.constData());
        if (!fds)
            continue;
        while (const dirent *fd = ::readdir(fds)) {
            if (fd->d_name[0] == '.')
                continue;
            const QByteArray link = fdDir + '/' + fd->d_name;
            struct stat target;
            if (::stat(link.constData(), &target) == 0 && target.st_dev == file.st_dev
                && target.st_ino == file.st_ino) {
                found = true;
                break;
            }
            char buffer[4096];
            const ssize_t n = ::readlink(link.constData(), buffer, sizeof buffer);
            if (n > 0 && QByteArray::fromRawData(buffer, n) == deleted) {
                found = true;
                break;
            }
        }
        ::closedir(fds);
    }
    ::closedir(proc);
    return found;
}

} // namespace

bool IsFileInUse(const QString &path)
{
    const QByteArray native = encoded(path);
    struct stat file;
    if (!statRegular(native, file))
        return false;
    if (isAdvisoryLocked(native, file))
        return true;
    // A lock file left by a suite that crashed blocks nothing: the document must be open too.
    return hasOfficeLockFile(ToNativeSeparators(path)) && openByAnotherProcess(native, file);
}

bool IsFileReadable(const QString &path)
{
    const QByteArray native = encoded(path);
    struct stat file;
    if (!statRegular(native, file))
        return false;
    const auto opens = [&native] {
        const int fd = openProbe(native);
        if (fd < 0)
            return false;
        ::close(fd);
        return true;
    };
    bool readable = false;
    if (onOwnDescriptorTable([&] { readable = opens(); }))
        return readable;
    if (askThroughOwnDescriptor(file) == Own::NotOpen)
        return opens();
    // Perhaps open here already: the permission check, which needs no descriptor.
    return ::faccessat(AT_FDCWD, native.constData(), R_OK, AT_EACCESS) == 0;
}

bool IsHiddenOrTemporaryName(const QString &fileName)
{
    const QString path = ToNativeSeparators(fileName);
    const QStringView name = QStringView(path).mid(path.lastIndexOf(u'/') + 1);
    return name.startsWith(u'.') || name.startsWith(u"~$") || name.endsWith(u'~');
}

std::optional<QDateTime> FileCreationTime(const QString &path)
{
    struct statx st;
    if (::statx(AT_FDCWD, encoded(path).constData(), 0, STATX_BTIME | STATX_CTIME, &st) != 0)
        return std::nullopt;
    const struct statx_timestamp &time = (st.stx_mask & STATX_BTIME) ? st.stx_btime : st.stx_ctime;
    return QDateTime::fromMSecsSinceEpoch(qint64(time.tv_sec) * 1000 + time.tv_nsec / 1000000);
}

std::optional<QDateTime> FileBirthTime(const QString &path)
{
    struct statx st;
    if (::statx(AT_FDCWD, encoded(path).constData(), 0, STATX_BTIME, &st) != 0
        || !(st.stx_mask & STATX_BTIME))
        return std::nullopt;
    return QDateTime::fromMSecsSinceEpoch(qint64(st.stx_btime.tv_sec) * 1000
                                          + st.stx_btime.tv_nsec / 1000000);
}

bool ClearReadOnly(const QString &path)
{
    const QByteArray native = encoded(path);
    struct stat st;
    if (::stat(native.constData(), &st) != 0)
        return false;
    if (st.st_mode & S_IWUSR)
        return true;
    return ::chmod(native.constData(), (st.st_mode & 07777) | S_IWUSR) == 0;
}
