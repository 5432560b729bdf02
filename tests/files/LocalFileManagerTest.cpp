// The local file cache on temporary folders: where each copy lives and how long its path is,
// the offline list read from the disk, the changes (add, replace, working copies, moves,
// deletions), downloads into the cache, the history, and the rule that a name which cannot
// be a local name never reaches the disk.

#include "support/Files.h"
#include "support/TempInstallation.h"

#include "account/LoginManager.h"
#include "account/LoginRecord.h"
#include "core/BizException.h"
#include "core/Paths.h"
#include "files/FileTypeManager.h"
#include "files/LocalFileManager.h"
#include "folders/LocalWorkspaceManager.h"
#include "service/MessageDigest.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QThread>

#include <gtest/gtest.h>

namespace {

// The service's types, as an online session would have cached them.
class CTestFileTypes : public CFileTypeManager
{
public:
    using CFileTypeManager::CFileTypeManager;
    bool Load() override
    {
        auto raw = std::make_unique<CFileTypeList>(true);
        qint32 id = 1;
        for (const char *ext : {"txt", "xlsx", "pdf", "csv"}) {
            auto type = std::make_unique<CFileTypeRecord>();
            type->id = id++;
            type->ext = CFileTypeRecord::NormalizeExtension(QString::fromLatin1(ext));
            type->name = QStringLiteral("type ") + QString::fromLatin1(ext);
            raw->Replace(std::move(type));
        }
        SetRawList(std::move(raw));
        return true;
    }
};

// A login's store with the folders 経理(1)/2024(2) mirrored, the types above and a local
// file manager, offline (no service view attached).
class LocalFiles : public InstallationTest<>
{
protected:
    void SetUp() override
    {
        InstallationTest::SetUp();
        login = std::make_unique<CLoginManager>();
        m_record = std::make_unique<CLoginRecord>(QStringLiteral("demo"), QStringLiteral("yamada"),
                                                  QString());
        login->SelectCurrent(m_record.get(), false);
        folders = std::make_unique<CLocalWorkspaceManager>(login.get());
        types = std::make_unique<CTestFileTypes>(login.get());
        ASSERT_TRUE(types->Load());
        files = std::make_unique<CLocalFileManager>(login.get(), folders.get(), types.get());
        ASSERT_NE(folders->MirrorPath({1, 2}, {QStringLiteral("経理"), QStringLiteral("2024")}),
                  nullptr);
        dir = files->FolderDir(2);
        ASSERT_FALSE(dir.isEmpty());
    }
    void TearDown() override
    {
        files.reset();
        types.reset();
        folders.reset();
        login.reset();
    }
    // A cached file known to the list (as a scan would find it).
    void Cache(const QString &name, const QByteArray &content)
    {
        ASSERT_TRUE(WriteFile(dir + u'/' + name + QStringLiteral(".vqrca"), content));
        qint32 id = 2;
        ASSERT_TRUE(files->LoadList(id, false, false));
    }
    QStringList Names() const
    {
        QStringList names;
        for (const CFileRecord *r : files->list())
            names << (r->IsFolderEntry() ? u'[' + r->folderItem->name + u']' : r->FileName());
        return names;
    }

    std::unique_ptr<CLoginManager> login;
    std::unique_ptr<CLocalWorkspaceManager> folders;
    std::unique_ptr<CTestFileTypes> types;
    std::unique_ptr<CLocalFileManager> files;
    QString dir;

private:
    std::unique_ptr<CLoginRecord> m_record;
};

int osErrorOf(const std::function<void()> &f)
{
    try {
        f();
    } catch (const CBizOsException &e) {
        return e.errorNumber();
    }
    return 0;
}

} // namespace

TEST_F(LocalFiles, EveryCopyHasItsPlace)
{
    const QString edit = EditPath();
    EXPECT_EQ(files->CachePath(2, QStringLiteral("a.txt")), dir + QStringLiteral("/a.txt.vqrca"));
    EXPECT_EQ(files->EditCopyPath(2, QStringLiteral("a.txt")),
              dir + QStringLiteral("/a.txt.vqred"));
    EXPECT_EQ(files->DownloadCopyPath(2, QStringLiteral("a.txt")),
              dir + QStringLiteral("/a.txt.vqrdl"));
    EXPECT_EQ(files->WorkingCopyPath(2, QStringLiteral("a.txt")),
              edit + QStringLiteral("/00000002/a.txt/a.txt"));
    EXPECT_EQ(files->FolderEditDir(2), edit + QStringLiteral("/00000002"));
    EXPECT_EQ(files->ViewCopyPath(QStringLiteral("a.txt.vqred")),
              TempPath() + QStringLiteral("/a.txt"));
    EXPECT_EQ(files->HistoryDirOf(2, QStringLiteral("a.txt")),
              HistoryPath() + QStringLiteral("/00000001経理/000000022024/a.txt"));
    EXPECT_TRUE(dir.startsWith(installation.dataFolder() + QStringLiteral("/demo/yamada/")));
    // The estimates are the real lengths.
    EXPECT_EQ(files->CacheLength(2, 5), files->CachePath(2, QStringLiteral("a.txt")).size());
    EXPECT_EQ(files->CacheLength(2, 5, 3), files->CacheLength(2, 5) + 16);
    EXPECT_EQ(files->WorkingLength(5), files->WorkingCopyPath(2, QStringLiteral("a.txt")).size());
    EXPECT_EQ(files->CacheLength(77, 5), -1) << "a folder the store does not know";
}

TEST_F(LocalFiles, AStoredPathFollowsItsFolderAfterARename)
{
    Cache(QStringLiteral("a.txt"), "A");
    ASSERT_TRUE(files->Relocate(2, QStringLiteral("a.txt"),
                                files->EditCopyPath(2, QStringLiteral("a.txt")), true));
    CLocalFileRecord *record = files->FindLocal(2, QStringLiteral("a.txt"));
    ASSERT_NE(record, nullptr);
    ASSERT_TRUE(folders->PropagateName(2, QStringLiteral("令和6年")));
    EXPECT_FALSE(QFileInfo::exists(record->storedPath)) << "the directory was renamed";
    files->NormalizeStoredPath(*record);
    EXPECT_EQ(record->storedPath, files->EditCopyPath(2, QStringLiteral("a.txt")));
    EXPECT_TRUE(record->storedPath.contains(QStringLiteral("/00000002令和6年/")));
    EXPECT_EQ(ReadFile(record->storedPath), "A");
}

TEST_F(LocalFiles, HistoryStampIsTwoDigitsEach)
{
    EXPECT_EQ(CLocalFileManager::HistoryStamp(QDateTime(QDate(2024, 3, 5), QTime(14, 7))),
              QStringLiteral(".24-03-05_14-07"));
}

// A name from the service that is not one valid path component has no local copy at all.
class HostileNames : public LocalFiles, public ::testing::WithParamInterface<const char *>
{};

TEST_P(HostileNames, NeverReachTheDisk)
{
    const QString name = QString::fromUtf8(GetParam());
    const QStringList before = Listing(installation.root());
    EXPECT_TRUE(files->CachePath(2, name).isEmpty());
    EXPECT_TRUE(files->WorkingCopyPath(2, name).isEmpty());
    EXPECT_TRUE(files->ViewCopyPath(name).isEmpty());
    EXPECT_TRUE(files->HistoryDirOf(2, name).isEmpty());
    SFileStates states;
    EXPECT_FALSE(files->QueryCache(2, name, SFileStates::Exists, states));
    EXPECT_FALSE(states.exists);
    const QString source = installation.path(QStringLiteral("source.txt"));
    ASSERT_TRUE(WriteFile(source, "content"));
    const QStringList withSource = Listing(installation.root());
    EXPECT_EQ(osErrorOf([&] { files->AddLocal(2, name, {}, std::nullopt, source, nullptr); }),
              OsError::InvalidName);
    EXPECT_EQ(osErrorOf([&] { files->PrepareWorkingCopy(2, name, nullptr); }),
              OsError::InvalidName);
    EXPECT_EQ(osErrorOf([&] { files->MoveLocal(2, QStringLiteral("a.txt"), 2, name); }),
              OsError::FileNotFound);
    EXPECT_EQ(osErrorOf([&] {
                  files->DownloadIntoCache(2, name, [](const QString &, const QString &) {
                      ADD_FAILURE() << "downloaded";
                      return true;
                  });
              }),
              OsError::InvalidName);
    EXPECT_FALSE(files->StoreHistory(QStringLiteral("00000001経理"), name, source));
    EXPECT_EQ(Listing(installation.root()), withSource);
    EXPECT_EQ(withSource.size(), before.size() + 1);
}

INSTANTIATE_TEST_SUITE_P(Names, HostileNames,
                         ::testing::Values("..", ".", "", "a/b", "..\\x.txt", "../../x.txt",
                                           "a:b.txt", "a\x01.txt"));

TEST_F(LocalFiles, OfflineListHoldsCachedAndEditCopiesOfKnownTypes)
{
    ASSERT_TRUE(WriteFile(dir + QStringLiteral("/a.txt.vqrca"), "a"));
    ASSERT_TRUE(WriteFile(dir + QStringLiteral("/b.txt.vqred"), "bb"));
    ASSERT_TRUE(WriteFile(dir + QStringLiteral("/c.unknownext.vqrca"), "c"));
    ASSERT_TRUE(WriteFile(dir + QStringLiteral("/notes.txt"), "n"));
    ASSERT_TRUE(WriteFile(dir + QStringLiteral("/.hidden.txt.vqrca"), "h"));
    ASSERT_TRUE(WriteFile(dir + QStringLiteral("/d.txt.vqrdl"), "half a download"));
    ASSERT_TRUE(QDir().mkpath(dir + QStringLiteral("/sub.txt.vqrca")));
    ASSERT_NE(folders->MirrorPath({1, 2, 3}, {QStringLiteral("経理"), QStringLiteral("2024"),
                                              QStringLiteral("01月")}),
              nullptr);
    qint32 id = 2;
    ASSERT_TRUE(files->LoadList(id, false, false));
    EXPECT_EQ(Names(), (QStringList{"a.txt", "b.txt", "[01月]"}));
    const CLocalFileRecord *a = files->FindLocal(2, QStringLiteral("a.txt"));
    const CLocalFileRecord *b = files->FindLocal(2, QStringLiteral("b.txt"));
    ASSERT_TRUE(a && b);
    EXPECT_FALSE(a->lockedByMe);
    EXPECT_EQ(a->statusText, QStringLiteral("閲覧のみ"));
    EXPECT_TRUE(a->readOnlyView);
    EXPECT_TRUE(b->lockedByMe);
    EXPECT_EQ(b->statusText, QStringLiteral("未送信"));
    EXPECT_EQ(b->size, 2u);
    EXPECT_EQ(a->storedPath, dir + QStringLiteral("/a.txt.vqrca"));
    EXPECT_EQ(a->productName, QStringLiteral("type txt"));
    EXPECT_EQ(a->pathLength, a->storedPath.size());
    EXPECT_FALSE(QFileInfo::exists(dir + QStringLiteral("/d.txt.vqrdl")))
        << "a download that never finished is removed";
    // The whole subtree from the top.
    ASSERT_TRUE(WriteFile(files->FolderDir(3) + QStringLiteral("/e.csv.vqrca"), "e"));
    id = 0;
    ASSERT_TRUE(files->LoadList(id, true, false));
    EXPECT_EQ(Names(), (QStringList{"a.txt", "b.txt", "e.csv"}));
}

TEST_F(LocalFiles, AddAndReplaceKeepTheRecordWithTheCopy)
{
    const QString source = installation.path(QStringLiteral("in/report.xlsx"));
    ASSERT_TRUE(WriteFile(source, "v1"));
    QString stored;
    ASSERT_TRUE(
        files->AddLocal(2, QStringLiteral("report.xlsx"), {}, std::nullopt, source, &stored));
    EXPECT_EQ(stored, files->CachePath(2, QStringLiteral("report.xlsx")));
    EXPECT_EQ(ReadFile(stored), "v1");
    EXPECT_TRUE(QFileInfo::exists(source)) << "copied from another directory, not moved";
    ASSERT_NE(files->FindLocal(2, QStringLiteral("report.xlsx")), nullptr);
    EXPECT_EQ(files->FindLocal(2, QStringLiteral("report.xlsx"))->size, 2u);
    EXPECT_EQ(osErrorOf([&] {
                  files->AddLocal(2, QStringLiteral("report.xlsx"), {}, std::nullopt, source,
                                  nullptr);
              }),
              OsError::AlreadyExists);

    ASSERT_TRUE(WriteFile(source, "version 2"));
    ASSERT_TRUE(
        files->ReplaceLocal(2, QStringLiteral("report.xlsx"), source, std::nullopt, {}, nullptr));
    EXPECT_EQ(ReadFile(stored), "version 2");
    EXPECT_EQ(files->FindLocal(2, QStringLiteral("report.xlsx"))->size, 9u);
    EXPECT_EQ(osErrorOf([&] {
                  files->ReplaceLocal(2, QStringLiteral("none.xlsx"), source, std::nullopt, {},
                                      nullptr);
              }),
              OsError::FileNotFound);

    // An empty file needs the empty-file right; nothing is created without it.
    const QString empty = installation.path(QStringLiteral("in/empty.txt"));
    ASSERT_TRUE(WriteFile(empty, {}));
    EXPECT_FALSE(files->AddLocal(2, QStringLiteral("empty.txt"), {}, std::nullopt, empty, nullptr));
    EXPECT_EQ(files->FindLocal(2, QStringLiteral("empty.txt")), nullptr);
    EXPECT_FALSE(QFileInfo::exists(files->CachePath(2, QStringLiteral("empty.txt"))));
}

TEST_F(LocalFiles, TransferRenamesInOneDirectoryAndCopiesAcross)
{
    const QString a = installation.path(QStringLiteral("t/a.txt"));
    const QString b = installation.path(QStringLiteral("t/b.txt"));
    const QString c = installation.path(QStringLiteral("u/c.txt"));
    ASSERT_TRUE(WriteFile(a, "A"));
    ASSERT_TRUE(WriteFile(b, "old"));
    EXPECT_TRUE(CLocalFileManager::TransferFile(a, b));
    EXPECT_FALSE(QFileInfo::exists(a));
    EXPECT_EQ(ReadFile(b), "A");
    EXPECT_FALSE(CLocalFileManager::TransferFile(b, c));
    EXPECT_EQ(ReadFile(c), "A");
    EXPECT_EQ(ReadFile(b), "A");
    EXPECT_FALSE(CLocalFileManager::TransferFile(c, c));
    EXPECT_EQ(ReadFile(c), "A");
    // Names on disk compare exactly: another letter case is another file.
    EXPECT_TRUE(CLocalFileManager::TransferFile(c, installation.path(QStringLiteral("u/C.txt"))));
    EXPECT_FALSE(QFileInfo::exists(c));
}

TEST_F(LocalFiles, AWorkingCopyThatDiffersIsKeptInTheHistoryNeverOverwritten)
{
    Cache(QStringLiteral("a.txt"), "cached");
    QString working;
    QString unsent;
    ASSERT_TRUE(files->PrepareWorkingCopy(2, QStringLiteral("a.txt"), &working, &unsent));
    EXPECT_EQ(working, files->WorkingCopyPath(2, QStringLiteral("a.txt")));
    EXPECT_EQ(ReadFile(working), "cached");
    EXPECT_TRUE(unsent.isEmpty());
    // Again with the same content: nothing to keep.
    ASSERT_TRUE(files->PrepareWorkingCopy(2, QStringLiteral("a.txt"), &working, &unsent));
    EXPECT_TRUE(unsent.isEmpty());

    ASSERT_TRUE(WriteFile(working, "an edit nobody sent"));
    ASSERT_TRUE(files->PrepareWorkingCopy(2, QStringLiteral("a.txt"), &working, &unsent));
    EXPECT_EQ(ReadFile(working), "cached");
    ASSERT_FALSE(unsent.isEmpty());
    EXPECT_EQ(ReadFile(unsent), "an edit nobody sent");
    const QString historyDir = files->HistoryDirOf(2, QStringLiteral("a.txt"));
    EXPECT_TRUE(unsent.startsWith(historyDir + QStringLiteral("/a.unsent.")));
    EXPECT_TRUE(unsent.endsWith(QStringLiteral(".txt")));
    // The history's pattern and its pruning leave it alone.
    QStringList names;
    EXPECT_EQ(files->ListHistory(historyDir, QStringLiteral("a.txt"), names), 0);
    ASSERT_TRUE(files->PruneHistory(QStringLiteral("00000001経理/000000022024"),
                                    QStringLiteral("a.txt"), 0));
    EXPECT_EQ(ReadFile(unsent), "an edit nobody sent");
    // A second unsent edit within the same minute gets its own name.
    ASSERT_TRUE(WriteFile(working, "a second edit"));
    QString second;
    ASSERT_TRUE(files->PrepareWorkingCopy(2, QStringLiteral("a.txt"), &working, &second));
    EXPECT_NE(second, unsent);
    EXPECT_EQ(ReadFile(second), "a second edit");
    EXPECT_EQ(ReadFile(unsent), "an edit nobody sent");
}

TEST_F(LocalFiles, CommitAndOpenPath)
{
    Cache(QStringLiteral("a.txt"), "cached");
    QString working;
    ASSERT_TRUE(files->PrepareWorkingCopy(2, QStringLiteral("a.txt"), &working));
    ASSERT_TRUE(WriteFile(working, "edited!"));
    quint32 size = 0;
    ASSERT_TRUE(files->CommitWorkingCopy(2, QStringLiteral("a.txt"), true, &size));
    EXPECT_EQ(size, 7u);
    EXPECT_EQ(ReadFile(files->CachePath(2, QStringLiteral("a.txt"))), "cached") << "kept";
    ASSERT_TRUE(files->CommitWorkingCopy(2, QStringLiteral("a.txt"), false, &size));
    EXPECT_EQ(ReadFile(files->CachePath(2, QStringLiteral("a.txt"))), "edited!");
    EXPECT_EQ(files->FindLocal(2, QStringLiteral("a.txt"))->size, 7u);
    EXPECT_EQ(ReadFile(working), "edited!");

    QString path;
    ASSERT_TRUE(files->OpenPath(2, QStringLiteral("a.txt"), true, &path));
    EXPECT_EQ(path, working);
    ASSERT_TRUE(files->OpenPath(2, QStringLiteral("a.txt"), false, &path));
    EXPECT_EQ(path, files->ViewCopyPath(QStringLiteral("a.txt")));
    EXPECT_EQ(ReadFile(path), "edited!");
    EXPECT_EQ(osErrorOf([&] { files->OpenPath(2, QStringLiteral("b.txt"), true, &path); }),
              OsError::FileNotFound);
}

TEST_F(LocalFiles, AWorkingCopyPathTooLongOpensTheStoredCopy)
{
    // Edit root + 2 × 120 + 11 is over 250 wherever the edit area is.
    const QString name = QString(116, u'n') + QStringLiteral(".txt");
    ASSERT_EQ(name.size(), 120);
    EXPECT_GT(files->WorkingLength(120), CLocalFileManager::MaxLocalPath);
    int length = 0;
    EXPECT_FALSE(files->CheckWorkingLength(2, 120, &length));
    EXPECT_EQ(length, files->WorkingLength(120));
    Cache(name, "x");
    SFileStates states;
    EXPECT_FALSE(files->QueryWorkingCopy(2, name, SFileStates::Exists, states));
    QString path;
    ASSERT_TRUE(files->OpenPath(2, name, true, &path));
    EXPECT_EQ(path, files->CachePath(2, name));
}

TEST_F(LocalFiles, DiscardAfterSendKeepsWhatTheApplicationWroteBeside)
{
    using D = CLocalFileManager::EDiscard;
    Cache(QStringLiteral("a.txt"), "cached");
    QString working;
    ASSERT_TRUE(files->PrepareWorkingCopy(2, QStringLiteral("a.txt"), &working));
    const QString beside = QFileInfo(working).absolutePath();
    // Only the application's own lock and temporary files go with a sent working copy;
    // data of any type and folders the user made stay.
    ASSERT_TRUE(WriteFile(beside + QStringLiteral("/carried over.xlsx"), "data"));
    ASSERT_TRUE(WriteFile(beside + QStringLiteral("/.~lock.a.txt#"), "lock"));
    ASSERT_TRUE(WriteFile(beside + QStringLiteral("/~$a.txt"), "owner"));
    ASSERT_TRUE(WriteFile(beside + QStringLiteral("/a.txt~"), "backup"));
    ASSERT_TRUE(WriteFile(beside + QStringLiteral("/scratch.tmpx"), "notes"));
    ASSERT_TRUE(WriteFile(beside + QStringLiteral("/sub/inner.txt"), "inner"));
    ASSERT_TRUE(files->DiscardWorkingCopy(2, QStringLiteral("a.txt"), D::AfterSend));
    EXPECT_EQ(Listing(beside),
              (QStringList{"carried over.xlsx", "scratch.tmpx", "sub/", "sub/inner.txt"}));

    // A hand-back deletes nothing anybody wrote: a changed working copy goes to the history.
    ASSERT_TRUE(files->PrepareWorkingCopy(2, QStringLiteral("a.txt"), &working));
    ASSERT_TRUE(WriteFile(working, "typed before the start failed"));
    QString kept;
    ASSERT_TRUE(files->DiscardWorkingCopy(2, QStringLiteral("a.txt"), D::HandBack, &kept));
    EXPECT_EQ(ReadFile(kept), "typed before the start failed");
    EXPECT_TRUE(kept.startsWith(files->HistoryDirOf(2, QStringLiteral("a.txt"))));
    EXPECT_FALSE(QFileInfo::exists(working));
    EXPECT_EQ(ReadFile(beside + QStringLiteral("/scratch.tmpx")), "notes");
    // An unchanged one simply goes.
    ASSERT_TRUE(files->PrepareWorkingCopy(2, QStringLiteral("a.txt"), &working));
    ASSERT_TRUE(files->DiscardWorkingCopy(2, QStringLiteral("a.txt"), D::HandBack, &kept));
    EXPECT_TRUE(kept.isEmpty());
    EXPECT_FALSE(QFileInfo::exists(working));

    // A force release throws everything away, the folder's edit directory with it.
    ASSERT_TRUE(files->PrepareWorkingCopy(2, QStringLiteral("a.txt"), &working));
    ASSERT_TRUE(files->DiscardWorkingCopy(2, QStringLiteral("a.txt"), D::ForceRelease));
    EXPECT_FALSE(QFileInfo::exists(beside));
    EXPECT_FALSE(QFileInfo::exists(files->FolderEditDir(2)));
}

TEST_F(LocalFiles, MoveDeleteRelocateAndCopyOut)
{
    Cache(QStringLiteral("a.txt"), "A");
    ASSERT_NE(folders->MirrorPath({4}, {QStringLiteral("給与")}), nullptr);
    const QString outside = installation.path(QStringLiteral("out/a.txt"));
    ASSERT_TRUE(files->CopyOut(2, QStringLiteral("a.txt"), outside));
    EXPECT_EQ(ReadFile(outside), "A");

    const QString edit = files->EditCopyPath(2, QStringLiteral("a.txt"));
    ASSERT_TRUE(files->Relocate(2, QStringLiteral("a.txt"), edit, true));
    EXPECT_TRUE(files->FindLocal(2, QStringLiteral("a.txt"))->lockedByMe);
    EXPECT_EQ(ReadFile(edit), "A");
    ASSERT_TRUE(files->Relocate(2, QStringLiteral("a.txt"),
                                files->CachePath(2, QStringLiteral("a.txt")), false));

    ASSERT_TRUE(files->MoveLocal(2, QStringLiteral("a.txt"), 4, QStringLiteral("b.txt")));
    EXPECT_EQ(files->FindLocal(2, QStringLiteral("a.txt")), nullptr);
    const CLocalFileRecord *moved = files->FindLocal(4, QStringLiteral("b.txt"));
    ASSERT_NE(moved, nullptr);
    EXPECT_EQ(moved->storedPath, files->CachePath(4, QStringLiteral("b.txt")));
    EXPECT_EQ(ReadFile(moved->storedPath), "A");
    EXPECT_FALSE(QFileInfo::exists(files->CachePath(2, QStringLiteral("a.txt"))));

    ASSERT_TRUE(files->DeleteLocal(4, QStringLiteral("b.txt")));
    EXPECT_EQ(files->FindLocal(4, QStringLiteral("b.txt")), nullptr);
    EXPECT_FALSE(QFileInfo::exists(files->CachePath(4, QStringLiteral("b.txt"))));
}

TEST_F(LocalFiles, AFailedDownloadLeavesThePreviousCacheCopy)
{
    Cache(QStringLiteral("a.txt"), "previous");
    const QString cache = files->CachePath(2, QStringLiteral("a.txt"));
    const QString copy = files->DownloadCopyPath(2, QStringLiteral("a.txt"));
    // The download fails after writing half of the new content, once answering, once raising.
    EXPECT_FALSE(files->DownloadIntoCache(2, QStringLiteral("a.txt"),
                                          [](const QString &downloadCopy, const QString &) {
                                              EXPECT_TRUE(WriteFile(downloadCopy, "half"));
                                              return false;
                                          }));
    EXPECT_EQ(ReadFile(cache), "previous");
    EXPECT_FALSE(QFileInfo::exists(copy));
    EXPECT_THROW(files->DownloadIntoCache(2, QStringLiteral("a.txt"),
                                          [](const QString &downloadCopy, const QString &) -> bool {
                                              EXPECT_TRUE(WriteFile(downloadCopy, "half"));
                                              throw CBizOsException(OsError::DiskFull,
                                                                    downloadCopy);
                                          }),
                 CBizOsException);
    EXPECT_EQ(ReadFile(cache), "previous");
    EXPECT_FALSE(QFileInfo::exists(copy));
    // A complete download takes the place of the cache copy and of the record's size.
    ASSERT_TRUE(files->DownloadIntoCache(
        2, QStringLiteral("a.txt"), [](const QString &downloadCopy, const QString &cachePath) {
            // What the transport does once the digest is right.
            return WriteFile(downloadCopy, "new content") && QFile::remove(cachePath)
                   && QFile::rename(downloadCopy, cachePath);
        }));
    EXPECT_EQ(ReadFile(cache), "new content");
    EXPECT_EQ(files->FindLocal(2, QStringLiteral("a.txt"))->size, 11u);
    EXPECT_FALSE(QFileInfo::exists(copy));
}

TEST_F(LocalFiles, HistoryKeepsTheNewestGenerations)
{
    const QString idPath = QStringLiteral("00000001経理/000000022024");
    const QString dirOf = files->HistoryDir(idPath, QStringLiteral("a.txt"));
    // Four copies made one after the other (creation order = name order here).
    for (int i = 0; i < 4; ++i)
        ASSERT_TRUE(WriteFile(dirOf + QStringLiteral("/a.24-01-0%1_10-00.txt").arg(i + 1),
                              QByteArray::number(i)));
    ASSERT_TRUE(WriteFile(dirOf + QStringLiteral("/a.txt"), "not a history copy"));
    QStringList names;
    EXPECT_EQ(files->ListHistory(dirOf, QStringLiteral("a.txt"), names), 4);
    ASSERT_TRUE(files->PruneHistory(idPath, QStringLiteral("a.txt"), 2));
    files->ListHistory(dirOf, QStringLiteral("a.txt"), names);
    EXPECT_EQ(names, (QStringList{"a.24-01-03_10-00.txt", "a.24-01-04_10-00.txt"}));
    EXPECT_TRUE(QFileInfo::exists(dirOf + QStringLiteral("/a.txt")));

    // HasHistory finds a copy by its content.
    CSharedFileRecord record;
    record.workspaceId = 2;
    record.path = QStringLiteral("/a.txt");
    record.digest = Md5Hex("3");
    EXPECT_TRUE(files->HasHistory(record));
    record.digest = Md5Hex("0");
    EXPECT_FALSE(files->HasHistory(record));
}

TEST_F(LocalFiles, ACopyInUseByAnotherProgramIsRefused)
{
    Cache(QStringLiteral("a.txt"), "cached");
    QString working;
    ASSERT_TRUE(files->PrepareWorkingCopy(2, QStringLiteral("a.txt"), &working));
    // An application that locks the file it edits (as office suites do).
    QProcess holder;
    // -o: only flock itself holds the lock, so ending it releases the file.
    holder.start(QStringLiteral("/usr/bin/flock"),
                 {QStringLiteral("-o"), working, QStringLiteral("sleep"), QStringLiteral("30")});
    ASSERT_TRUE(holder.waitForStarted(5000));
    SFileStates states;
    for (int i = 0; i < 100 && !states.inUse; ++i) {
        QThread::msleep(20);
        files->QueryWorkingCopy(2, QStringLiteral("a.txt"), SFileStates::InUse, states);
    }
    EXPECT_TRUE(states.inUse);
    EXPECT_EQ(osErrorOf([&] { files->PrepareWorkingCopy(2, QStringLiteral("a.txt"), &working); }),
              OsError::SharingViolation);
    EXPECT_EQ(osErrorOf([&] {
                  files->DiscardWorkingCopy(2, QStringLiteral("a.txt"),
                                            CLocalFileManager::EDiscard::ForceRelease);
              }),
              OsError::SharingViolation);
    EXPECT_TRUE(QFileInfo::exists(working));
    holder.kill();
    holder.waitForFinished(5000);
    EXPECT_EQ(osErrorOf([&] {
                  files->DiscardWorkingCopy(2, QStringLiteral("a.txt"),
                                            CLocalFileManager::EDiscard::ForceRelease);
              }),
              0);
}

TEST_F(LocalFiles, ClearTempAreaDeletesItsFilesOnly)
{
    const QString temp = TempPath();
    ASSERT_TRUE(WriteFile(temp + QStringLiteral("/a.txt"), "a"));
    ASSERT_TRUE(WriteFile(temp + QStringLiteral("/b.pdf"), "b"));
    ASSERT_TRUE(WriteFile(temp + QStringLiteral("/.hidden"), "h"));
    ASSERT_TRUE(WriteFile(temp + QStringLiteral("/sub/c.txt"), "c"));
    EXPECT_EQ(files->ClearTempArea(), 2);
    EXPECT_EQ(Listing(temp), (QStringList{".hidden", "sub/", "sub/c.txt"}));
}
