#include "CoreFixture.h"

#include "core/BizException.h"
#include "core/BizProgress.h"
#include "core/FileSystem.h"
#include "core/Paths.h"

#include <QDataStream>

class FileSystemTest : public CoreFixture
{
protected:
    QString p(const QString &rel) const { return root() + u'/' + rel; }
    void file(const QString &rel, const QByteArray &bytes = "data")
    {
        ASSERT_TRUE(WriteFile(p(rel), bytes));
    }
};

TEST_F(FileSystemTest, CreateFoldersLevelByLevelAndRefusesTooLongPaths)
{
    EXPECT_TRUE(CreateFolders(p(QStringLiteral("a\\b/c")), false));
    EXPECT_TRUE(IsFolder(p(QStringLiteral("a/b/c"))));
    EXPECT_TRUE(CreateFolders(p(QStringLiteral("d/e/file.txt")), true));
    EXPECT_TRUE(IsFolder(p(QStringLiteral("d/e"))));
    EXPECT_FALSE(PathExists(p(QStringLiteral("d/e/file.txt"))));

    const QString tooLong = p(QString(261 - root().size() - 1, u'z'));
    ASSERT_EQ(tooLong.size(), 261);
    EXPECT_FALSE(CreateFolders(tooLong, false));
    EXPECT_FALSE(PathExists(tooLong));

    file(QStringLiteral("f"));
    EXPECT_THROW(CreateFolders(p(QStringLiteral("f/sub")), false), CBizOsException);
}

TEST_F(FileSystemTest, CopyReplacesOrRefusesAndReportsTheOsError)
{
    file(QStringLiteral("src.txt"), "new");
    file(QStringLiteral("out/dst.txt"), "old");
    EXPECT_TRUE(CopyFileTo(p(QStringLiteral("src.txt")), p(QStringLiteral("out/dst.txt"))));
    EXPECT_EQ(ReadFile(p(QStringLiteral("out/dst.txt"))), "new");

    file(QStringLiteral("out/keep.txt"), "old");
    try {
        CopyFileTo(p(QStringLiteral("src.txt")), p(QStringLiteral("out/keep.txt")), true);
        FAIL();
    } catch (const CBizOsException &e) {
        EXPECT_EQ(e.errorNumber(), OsError::FileExists);
    }
    EXPECT_EQ(ReadFile(p(QStringLiteral("out/keep.txt"))), "old");

    try {
        CopyFileTo(p(QStringLiteral("missing")), p(QStringLiteral("new/x")));
        FAIL();
    } catch (const CBizOsException &e) {
        EXPECT_EQ(e.errorNumber(), OsError::FileNotFound);
        EXPECT_TRUE(e.ErrorMessage().contains(p(QStringLiteral("missing"))));
    }
    // Only the two files: no temporary copies are left behind.
    EXPECT_EQ(QDir(p(QStringLiteral("out"))).entryList(QDir::Files | QDir::Hidden).size(), 2);
}

TEST_F(FileSystemTest, MoveHonoursTheReplaceFlag)
{
    file(QStringLiteral("a"), "A");
    file(QStringLiteral("b"), "B");
    EXPECT_THROW(MoveFileTo(p(QStringLiteral("a")), p(QStringLiteral("b")), 0), CBizOsException);
    EXPECT_EQ(ReadFile(p(QStringLiteral("b"))), "B");
    EXPECT_TRUE(MoveFileTo(p(QStringLiteral("a")), p(QStringLiteral("b")), MoveReplaceExisting));
    EXPECT_EQ(ReadFile(p(QStringLiteral("b"))), "A");
    EXPECT_FALSE(PathExists(p(QStringLiteral("a"))));
    EXPECT_TRUE(MoveFileTo(p(QStringLiteral("b")), p(QStringLiteral("x/y/b")), 0, true));
    EXPECT_EQ(ReadFile(p(QStringLiteral("x/y/b"))), "A");
}

TEST_F(FileSystemTest, DeleteFileIfExists)
{
    EXPECT_TRUE(DeleteFileIfExists(QString()));
    EXPECT_TRUE(DeleteFileIfExists(p(QStringLiteral("none"))));
    file(QStringLiteral("f"));
    EXPECT_TRUE(DeleteFileIfExists(p(QStringLiteral("f"))));
    EXPECT_FALSE(PathExists(p(QStringLiteral("f"))));
    QDir().mkpath(p(QStringLiteral("dir")));
    EXPECT_THROW(DeleteFileIfExists(p(QStringLiteral("dir"))), CBizOsException);
}

TEST_F(FileSystemTest, DeleteTreeCountsFilesAndKeepsTheRootWhenAsked)
{
    file(QStringLiteral("t/one"));
    file(QStringLiteral("t/.two"));
    file(QStringLiteral("t/sub/three"));
    EXPECT_EQ(DeleteTree(p(QStringLiteral("t")), true), 3);
    EXPECT_TRUE(IsFolder(p(QStringLiteral("t"))));
    EXPECT_TRUE(IsFolderEmpty(p(QStringLiteral("t"))));

    file(QStringLiteral("t/sub/deeper/four"));
    EXPECT_EQ(DeleteTree(p(QStringLiteral("t")), false), 1);
    EXPECT_FALSE(PathExists(p(QStringLiteral("t"))));

    EXPECT_EQ(DeleteTree(p(QStringLiteral("missing")), false), 0);
    EXPECT_EQ(DeleteTree(QString(261, u'a'), false), -1);
}

TEST_F(FileSystemTest, DeleteTreeNeverFollowsALinkOutOfTheTree)
{
    file(QStringLiteral("outside/precious"));
    QDir().mkpath(p(QStringLiteral("t")));
    ASSERT_TRUE(QFile::link(p(QStringLiteral("outside")), p(QStringLiteral("t/link"))));
    EXPECT_EQ(DeleteTree(p(QStringLiteral("t")), false), 1); // the link itself
    EXPECT_TRUE(PathExists(p(QStringLiteral("outside/precious"))));
}

namespace {
class StopAfter : public CBizProgressHandler
{
public:
    explicit StopAfter(int steps)
        : m_left(steps)
    {}

protected:
    bool OnStep(qint32) override
    {
        if (--m_left < 0)
            Cancel(-1);
        return true;
    }

private:
    int m_left;
};
} // namespace

TEST_F(FileSystemTest, DeleteTreeStopsWithTheCancelCode)
{
    for (int i = 0; i < 5; ++i)
        file(QStringLiteral("t/f%1").arg(i));
    StopAfter progress(3); // the run's begin takes one step itself
    const int r = DeleteTree(p(QStringLiteral("t")), false, &progress);
    EXPECT_EQ(r, -1);
    EXPECT_TRUE(IsFolder(p(QStringLiteral("t"))));
    EXPECT_GT(QDir(p(QStringLiteral("t"))).entryList(QDir::Files).size(), 0);
}

TEST_F(FileSystemTest, MoveTreeMovesMatchingFilesAndKeepsTheRest)
{
    file(QStringLiteral("s/a.txt"), "a");
    file(QStringLiteral("s/b.csv"), "b");
    file(QStringLiteral("s/sub/c.txt"), "c");
    file(QStringLiteral("s/sub/d.csv"), "d");
    file(QStringLiteral("s/only/e.txt"), "e");
    file(QStringLiteral("d/a.txt"), "old");
    EXPECT_EQ(
        MoveTree(p(QStringLiteral("s")), p(QStringLiteral("d")), nullptr, QStringLiteral("*.txt")),
        3);
    EXPECT_EQ(ReadFile(p(QStringLiteral("d/a.txt"))), "a");
    EXPECT_EQ(ReadFile(p(QStringLiteral("d/sub/c.txt"))), "c");
    EXPECT_EQ(ReadFile(p(QStringLiteral("d/only/e.txt"))), "e");
    // Non-matching files stay, and so does their folder; emptied folders go.
    EXPECT_EQ(ReadFile(p(QStringLiteral("s/b.csv"))), "b");
    EXPECT_EQ(ReadFile(p(QStringLiteral("s/sub/d.csv"))), "d");
    EXPECT_FALSE(PathExists(p(QStringLiteral("s/only"))));

    EXPECT_EQ(MoveTree(p(QStringLiteral("s")), p(QStringLiteral("d"))), 2);
    EXPECT_TRUE(IsFolderEmpty(p(QStringLiteral("s"))));
}

TEST_F(FileSystemTest, MoveTreeIntoItsOwnSubFolder)
{
    file(QStringLiteral("s/a"), "a");
    file(QStringLiteral("s/x/b"), "b");
    EXPECT_EQ(MoveTree(p(QStringLiteral("s")), p(QStringLiteral("s/dest"))), 2);
    EXPECT_EQ(ReadFile(p(QStringLiteral("s/dest/a"))), "a");
    EXPECT_EQ(ReadFile(p(QStringLiteral("s/dest/x/b"))), "b");
}

TEST_F(FileSystemTest, FileStatusOfFilesAndMissingPaths)
{
    file(QStringLiteral("f"), "12345");
    qint64 size = 0;
    SFileStatus status;
    EXPECT_TRUE(FileStatus(p(QStringLiteral("f")), size, status));
    EXPECT_EQ(size, 5);
    EXPECT_FALSE(status.isFolder);
    EXPECT_TRUE(status.modified.isValid());
    EXPECT_FALSE(FileStatus(p(QStringLiteral("none")), size, status));
    EXPECT_EQ(size, -1);
}

TEST_F(FileSystemTest, FileStatusRefusesFourGibibytes)
{
    QFile f(p(QStringLiteral("big")));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    ASSERT_TRUE(f.resize(qint64(1) << 32)); // sparse
    f.close();
    qint64 size = 0;
    SFileStatus status;
    EXPECT_FALSE(FileStatus(p(QStringLiteral("big")), size, status));
    EXPECT_EQ(size, -1);
}

TEST_F(FileSystemTest, ArchiveFilesRoundTripAndAFailedSaveKeepsTheOldFile)
{
    const QString path = p(QStringLiteral("st/state.vqr"));
    EXPECT_FALSE(LoadArchiveFile(path, [](QIODevice &) { FAIL(); }));
    ASSERT_TRUE(SaveArchiveFile(path, [](QIODevice &d) {
        QDataStream s(&d);
        s << qint32(42);
    }));
    qint32 value = 0;
    EXPECT_TRUE(LoadArchiveFile(path, [&](QIODevice &d) {
        QDataStream s(&d);
        s >> value;
    }));
    EXPECT_EQ(value, 42);

    const QByteArray before = ReadFile(path);
    EXPECT_THROW(SaveArchiveFile(path,
                                 [](QIODevice &d) {
                                     d.write("partial");
                                     throw CBizArchiveException(CBizArchiveException::BadFormat);
                                 }),
                 CBizArchiveException);
    EXPECT_EQ(ReadFile(path), before);
    EXPECT_EQ(QDir(p(QStringLiteral("st"))).entryList(QDir::Files | QDir::Hidden).size(), 1);

    EXPECT_THROW(LoadArchiveFile(p(QStringLiteral("st")), [](QIODevice &d) { d.readAll(); }),
                 CBizFileException);
}
