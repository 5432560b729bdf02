#include "CoreFixture.h"

#include "core/FileStates.h"

#include <QCoreApplication>
#include <QProcess>
#include <QScopeGuard>
#include <QThread>

#include <cerrno>
#include <csignal>
#include <cstddef>
#include <fcntl.h>
#include <linux/audit.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <sched.h>
#include <sys/file.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

QString withBackslashes(QString path)
{
    return path.replace(u'/', u'\\');
}

bool setRecordLock(int fd, int command, short type, off_t start, off_t length)
{
    struct flock lock = {};
    lock.l_type = type;
    lock.l_whence = SEEK_SET;
    lock.l_start = start;
    lock.l_len = length;
    return ::fcntl(fd, command, &lock) == 0;
}

enum class Hold {
    PosixWriteRange,
    PosixReadRange,
    OfdWriteTail,
    FlockShared,
    FlockExclusive,
    Open
};

// Another process that opens the file and holds it as asked until Release or the end of the
// test (it is killed and reaped then, and dies with the test program). The child only makes
// system calls: this process has threads.
class LockHolder
{
public:
    LockHolder(const QString &path, Hold hold)
    {
        const QByteArray native = QFile::encodeName(path);
        const pid_t parent = ::getpid();
        int ready[2];
        if (::pipe2(ready, O_CLOEXEC) != 0)
            return;
        m_pid = ::fork();
        if (m_pid == 0) {
            ::prctl(PR_SET_PDEATHSIG, SIGKILL);
            if (::getppid() != parent)
                ::_exit(1);
            ::close(ready[0]);
            const char byte = Take(native.constData(), hold) ? '1' : '0';
            [[maybe_unused]] const ssize_t written = ::write(ready[1], &byte, 1);
            for (;;)
                ::pause();
        }
        ::close(ready[1]);
        char byte = 0;
        ssize_t n;
        do {
            n = ::read(ready[0], &byte, 1);
        } while (n < 0 && errno == EINTR);
        ::close(ready[0]);
        m_holding = m_pid > 0 && n == 1 && byte == '1';
    }
    ~LockHolder() { Release(); }
    LockHolder(const LockHolder &) = delete;
    LockHolder &operator=(const LockHolder &) = delete;

    bool isHolding() const { return m_holding; }
    // Ends the child; its locks are gone when the kernel lets it be reaped.
    void Release()
    {
        if (m_pid <= 0)
            return;
        ::kill(m_pid, SIGKILL);
        while (::waitpid(m_pid, nullptr, 0) < 0 && errno == EINTR) {
        }
        m_pid = -1;
        m_holding = false;
    }

private:
    static bool Take(const char *path, Hold hold)
    {
        const int fd = ::open(path, O_RDWR);
        if (fd < 0)
            return false;
        switch (hold) {
        case Hold::PosixWriteRange:
            return setRecordLock(fd, F_SETLK, F_WRLCK, 2, 3);
        case Hold::PosixReadRange:
            return setRecordLock(fd, F_SETLK, F_RDLCK, 2, 3);
        case Hold::OfdWriteTail:
            return setRecordLock(fd, F_OFD_SETLK, F_WRLCK, 5, 0);
        case Hold::FlockShared:
            return ::flock(fd, LOCK_SH | LOCK_NB) == 0;
        case Hold::FlockExclusive:
            return ::flock(fd, LOCK_EX | LOCK_NB) == 0;
        case Hold::Open:
            return true;
        }
        return false;
    }

    pid_t m_pid = -1;
    bool m_holding = false;
};

// Whether another process sees a record lock of this process on the file (asked from a
// child: a process never sees its own).
bool othersSeeOurLock(const QString &path)
{
    const QByteArray native = QFile::encodeName(path);
    const pid_t self = ::getpid();
    const pid_t pid = ::fork();
    if (pid == 0) {
        const int fd = ::open(native.constData(), O_RDONLY);
        struct flock lock = {};
        lock.l_type = F_WRLCK;
        lock.l_whence = SEEK_SET;
        const bool seen = fd >= 0 && ::fcntl(fd, F_GETLK, &lock) == 0 && lock.l_type != F_UNLCK
                          && lock.l_pid == self;
        ::_exit(seen ? 0 : 1);
    }
    int status = 0;
    if (pid < 0)
        return false;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

} // namespace

class FileStatesTest : public CoreFixture
{
protected:
    QString p(const QString &rel) const { return root() + u'/' + rel; }
    QString document(const QString &rel = QStringLiteral("report.odt"))
    {
        const QString path = p(rel);
        EXPECT_TRUE(WriteFile(path, "0123456789"));
        return path;
    }
};

struct SHoldCase
{
    const char *name;
    Hold hold;
    bool inUse;
};
void PrintTo(const SHoldCase &c, std::ostream *os)
{
    *os << c.name;
}

class FileStatesInUse : public FileStatesTest, public ::testing::WithParamInterface<SHoldCase>
{};

TEST_P(FileStatesInUse, WhileAnotherProcessHoldsTheFile)
{
    const QString path = document();
    const QString link = p(QStringLiteral("link.odt"));
    ASSERT_TRUE(QFile::link(path, link));
    LockHolder holder(path, GetParam().hold);
    ASSERT_TRUE(holder.isHolding());
    EXPECT_EQ(IsFileInUse(path), GetParam().inUse);
    EXPECT_EQ(IsFileInUse(withBackslashes(path)), GetParam().inUse);
    EXPECT_EQ(IsFileInUse(link), GetParam().inUse); // a link is probed like its file
    EXPECT_TRUE(IsFileReadable(path));

    holder.Release();
    EXPECT_FALSE(IsFileInUse(path));
    EXPECT_FALSE(IsFileInUse(link));
}

const SHoldCase kHoldCases[] = {
    {"PosixWriteRange", Hold::PosixWriteRange, true},
    {"PosixReadRange", Hold::PosixReadRange, true},
    {"OfdWriteTail", Hold::OfdWriteTail, true},
    {"FlockShared", Hold::FlockShared, true},
    {"FlockExclusive", Hold::FlockExclusive, true},
    {"OpenOnly", Hold::Open, false},
};
INSTANTIATE_TEST_SUITE_P(, FileStatesInUse, ::testing::ValuesIn(kHoldCases),
                         [](const auto &info) { return std::string(info.param.name); });

// Office suites that take no advisory lock: the document open in another process with the
// suite's lock file beside it is in use; either alone is not.
TEST_F(FileStatesTest, AnOfficeLockFileCountsWhileTheDocumentIsOpen)
{
    const QString path = document(QStringLiteral("決算書.xlsx"));
    struct SLockFile
    {
        const char *name;
        QString lockFile;
    };
    const SLockFile cases[] = {
        {"LibreOffice", p(QStringLiteral(".~lock.決算書.xlsx#"))},
        {"OwnerFile", p(QStringLiteral("~$決算書.xlsx"))},
        {"OwnerFileShortened", p(QStringLiteral("~$書.xlsx"))},
    };
    for (const SLockFile &c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(WriteFile(c.lockFile, "user"));
        EXPECT_FALSE(IsFileInUse(path)) << "a lock file left behind alone";
        {
            LockHolder holder(path, Hold::Open);
            ASSERT_TRUE(holder.isHolding());
            EXPECT_TRUE(IsFileInUse(path));
            EXPECT_TRUE(IsFileInUse(withBackslashes(path)));
            holder.Release();
        }
        EXPECT_FALSE(IsFileInUse(path));
        ASSERT_TRUE(QFile::remove(c.lockFile));
    }
    // This process's own descriptor is not another program's.
    ASSERT_TRUE(WriteFile(cases[0].lockFile, "user"));
    QFile own(path);
    ASSERT_TRUE(own.open(QIODevice::ReadOnly));
    EXPECT_FALSE(IsFileInUse(path));
}

TEST_F(FileStatesTest, ProbeOfWhatIsNoRegularFile)
{
    ASSERT_TRUE(QDir().mkpath(p(QStringLiteral("folder"))));
    ASSERT_EQ(::mkfifo(QFile::encodeName(p(QStringLiteral("fifo"))).constData(), 0600), 0);
    ASSERT_TRUE(QFile::link(p(QStringLiteral("gone")), p(QStringLiteral("dangling"))));
    ASSERT_TRUE(QFile::link(p(QStringLiteral("folder")), p(QStringLiteral("folderLink"))));
    for (const char *name : {"missing", "folder", "fifo", "dangling", "folderLink"}) {
        SCOPED_TRACE(name);
        const QString path = p(QString::fromLatin1(name));
        EXPECT_FALSE(IsFileInUse(path)); // a FIFO would hang a blocking open
        EXPECT_FALSE(IsFileReadable(path));
    }
}

TEST_F(FileStatesTest, ProbesNeverReleaseALockOfThisProcess)
{
    const QString path = document();
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    const auto closeFd = qScopeGuard([fd] { ::close(fd); });
    ASSERT_TRUE(setRecordLock(fd, F_SETLK, F_WRLCK, 2, 3));
    ASSERT_TRUE(othersSeeOurLock(path));

    EXPECT_FALSE(IsFileInUse(path)); // only this process's own lock
    EXPECT_TRUE(othersSeeOurLock(path));
    EXPECT_TRUE(IsFileReadable(path));
    EXPECT_TRUE(othersSeeOurLock(path));

    // Our read lock on the whole file and another process's on some of its bytes: ours is
    // the first lock a probe meets.
    ASSERT_TRUE(setRecordLock(fd, F_SETLK, F_RDLCK, 0, 0));
    LockHolder holder(path, Hold::PosixReadRange);
    ASSERT_TRUE(holder.isHolding());
    EXPECT_TRUE(IsFileInUse(path));
    holder.Release();
    EXPECT_FALSE(IsFileInUse(path));
    EXPECT_TRUE(othersSeeOurLock(path));
}

TEST_F(FileStatesTest, ReadableFiles)
{
    const QString plain = document(QStringLiteral("plain.txt"));
    const QString closed = document(QStringLiteral("closed.txt"));
    ASSERT_TRUE(QFile::setPermissions(closed, {}));
    const QString link = p(QStringLiteral("link.txt"));
    ASSERT_TRUE(QFile::link(plain, link));
    const struct
    {
        QString path;
        bool readable;
        bool onlyForOthersThanRoot; // root reads whatever the mode
    } cases[] = {{plain, true, false},
                 {withBackslashes(plain), true, false},
                 {link, true, false},
                 {closed, false, true},
                 {p(QStringLiteral("missing.txt")), false, false},
                 {root(), false, false}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.path.toStdString());
        if (c.onlyForOthersThanRoot && ::geteuid() == 0)
            continue;
        EXPECT_EQ(IsFileReadable(c.path), c.readable);
    }
}

#if defined(__x86_64__) || defined(__aarch64__)
namespace {
// A system-call filter as sandboxes have it: unshare() fails with EPERM. Only system calls:
// it runs in the child of a fork.
bool refuseUnshare()
{
#if defined(__x86_64__)
    constexpr __u32 arch = AUDIT_ARCH_X86_64;
#else
    constexpr __u32 arch = AUDIT_ARCH_AARCH64;
#endif
    static sock_filter filter[] = {
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, arch)),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, arch, 1, 0),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, __NR_unshare, 0, 1),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | EPERM),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
    };
    sock_fprog program = {.len = sizeof filter / sizeof filter[0], .filter = filter};
    return ::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) == 0
           && ::prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &program) == 0
           && ::unshare(CLONE_FILES) != 0 && errno == EPERM;
}
} // namespace

// The probes again, in a child of this test program that may not unshare its descriptor
// table: they take their other way there, with the same answers.
TEST(FileStatesSandboxed, ProbesAnswerTheSameWhenUnshareIsRefused)
{
    if (qEnvironmentVariableIsSet("VELQUOR_TEST_SANDBOXED"))
        GTEST_SKIP() << "the sandboxed run itself";
    QProcess child;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("VELQUOR_TEST_SANDBOXED"), QStringLiteral("1"));
    child.setProcessEnvironment(environment);
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.setChildProcessModifier([] {
        if (!refuseUnshare())
            ::_exit(97);
    });
    child.start(QCoreApplication::applicationFilePath(),
                {QStringLiteral("--gtest_filter=FileStatesInUse*:FileStatesTest.Probe*:"
                                "FileStatesTest.Readable*")});
    ASSERT_TRUE(child.waitForFinished(60000));
    const QByteArray output = child.readAll();
    EXPECT_EQ(child.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(child.exitCode(), 0) << output.toStdString();
    EXPECT_TRUE(output.contains("[  PASSED  ]") && !output.contains("[  PASSED  ] 0 tests"))
        << output.toStdString();
}
#endif

TEST(FileStates, HiddenOrTemporaryNames)
{
    const std::pair<const char *, bool> cases[] = {
        {".hidden", true},        {".~lock.a.xlsx#", true},   {"~$a.xlsx", true},
        {"a.xlsx~", true},        {"a.xlsx", false},          {"a~b.txt", false},
        {"~a.txt", false},        {"dir/.hidden", true},      {"dir\\~$a.docx", true},
        {".config/a.txt", false}, {"C:\\work\\a.txt~", true}, {"", false},
    };
    for (const auto &[name, expected] : cases)
        EXPECT_EQ(IsHiddenOrTemporaryName(QString::fromUtf8(name)), expected) << name;
}

TEST_F(FileStatesTest, CreationTimeIsTheBirthAndKeepsTheOrder)
{
    const QDateTime before = QDateTime::currentDateTime();
    const QString first = document(QStringLiteral("first.txt"));
    const std::optional<QDateTime> created = FileCreationTime(first);
    ASSERT_TRUE(created.has_value());
    EXPECT_LE(qAbs(before.msecsTo(*created)), 3000);
    EXPECT_EQ(FileCreationTime(withBackslashes(first)), created);
    EXPECT_EQ(FileCreationTime(p(QStringLiteral("missing.txt"))), std::nullopt);

    QThread::msleep(1100);
    const QString second = document(QStringLiteral("second.txt"));
    // Where the file system records the birth, a later change of the first file's content
    // and mode must not move its creation past the second's.
    struct statx st;
    ASSERT_EQ(::statx(AT_FDCWD, QFile::encodeName(first).constData(), 0, STATX_BTIME, &st), 0);
    if (st.stx_mask & STATX_BTIME) {
        ASSERT_TRUE(WriteFile(first, "changed"));
        ASSERT_TRUE(QFile::setPermissions(first, QFile::ReadOwner | QFile::WriteOwner));
        EXPECT_EQ(FileCreationTime(first), created);
    }
    const std::optional<QDateTime> later = FileCreationTime(second);
    ASSERT_TRUE(later.has_value());
    EXPECT_LT(*FileCreationTime(first), *later);
}

TEST_F(FileStatesTest, ClearReadOnlyAddsTheOwnersWriteBitOnly)
{
    const std::pair<int, int> modes[] = {{0444, 0644}, {0501, 0701}, {0640, 0640}, {04550, 04750}};
    for (const auto &[mode, expected] : modes) {
        SCOPED_TRACE(mode);
        const QString path = document(QStringLiteral("file%1").arg(mode, 0, 8));
        ASSERT_EQ(::chmod(QFile::encodeName(path).constData(), mode_t(mode)), 0);
        EXPECT_TRUE(ClearReadOnly(withBackslashes(path)));
        EXPECT_EQ(FileMode(path), expected);
    }
    EXPECT_FALSE(ClearReadOnly(p(QStringLiteral("missing"))));
}
