#include "FileStates.h"

#include "FileSystem.h"

#include <QFile>

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

} // namespace

bool IsFileInUse(const QString &path)
{
    const QByteArray native = encoded(path);
    struct stat file;
    if (!statRegular(native, file))
        return false;
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
