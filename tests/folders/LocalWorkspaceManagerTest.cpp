// The local folder mirror on temporary folders: reading the tree back from disk, mirroring
// chains, renames, moves, deletions, version.vqr and the conversion of an older layout, and
// the rule that nothing outside the login's store is ever touched.

#include "FolderTestSupport.h"

#include "folders/LocalWorkspaceManager.h"
#include "folders/SharedWorkspaceManager.h"
#include "store/BizProps.h"
#include "store/IdPath.h"

#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

#include <utime.h>

using namespace FolderTest;

namespace {

QList<qint32> Ids(const CWorkspaceList &list)
{
    QList<qint32> ids;
    for (const CWorkspaceRecord *r : list)
        ids.append(r->id);
    return ids;
}

void SetMTime(const QString &path, const QDateTime &time)
{
    struct utimbuf times;
    times.actime = time_t(time.toSecsSinceEpoch());
    times.modtime = times.actime;
    ASSERT_EQ(::utime(QFile::encodeName(path).constData(), &times), 0) << qPrintable(path);
}

} // namespace

class LocalWorkspaces : public Installation
{
protected:
    void SetUp() override
    {
        Installation::SetUp();
        local = std::make_unique<CLocalWorkspaceManager>(login.get());
    }
    void TearDown() override
    {
        local.reset();
        Installation::TearDown();
    }
    // Everything in the temporary installation outside the store.
    QStringList Outside() const
    {
        QStringList all = Listing(dir());
        all.removeIf(
            [](const QString &p) { return p.startsWith(QLatin1String("install/vqrdata/demo/")); });
        return all;
    }
    std::unique_ptr<CLocalWorkspaceManager> local;
};

TEST_F(LocalWorkspaces, LoadReadsFolderDirectoriesOnly)
{
    MakeDir(QStringLiteral("0000002a見積"));
    MakeDir(QStringLiteral("0000002a見積/0000002b2024"));
    MakeDir(QStringLiteral("見積"));              // no id
    MakeDir(QStringLiteral("0000002C大文字"));    // not the name the folder would get
    MakeDir(QStringLiteral("00000000零"));        // id 0
    MakeDir(QStringLiteral("ffffffff負"));        // negative id
    MakeDir(QStringLiteral("0000002d"));          // no name
    MakeDir(QStringLiteral("0000002ea:b"));       // not a valid name
    MakeDir(QStringLiteral("見積/00000030迷子")); // below a directory that is no folder
    ASSERT_TRUE(WriteFile(store() + QStringLiteral("/0000002f.txt"), "a file"));

    ASSERT_TRUE(local->Load());
    EXPECT_EQ(Ids(local->list()), QList<qint32>({42, 43}));
    const CWorkspaceRecord *r = local->list().FindById(43);
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->pathIds, QList<qint32>({42, 43}));
    EXPECT_EQ(r->DisplayPath(), QStringLiteral("見積/2024"));
    EXPECT_EQ(r->readOnly, 0);
    EXPECT_EQ(r->sortIndex, 1);
    EXPECT_EQ(local->LocalFolderPath(r), store() + QStringLiteral("/0000002a見積/0000002b2024"));
}

TEST_F(LocalWorkspaces, OfTwoDirectoriesOfOneFolderTheNewerStays)
{
    const QString older = MakeDir(QStringLiteral("0000002a旧"));
    MakeDir(QStringLiteral("00000001親"));
    const QString newer = MakeDir(QStringLiteral("00000001親/0000002a新"));
    SetMTime(older, QDateTime::currentDateTime().addDays(-3));
    SetMTime(newer, QDateTime::currentDateTime().addDays(-1));
    ASSERT_TRUE(local->Load());
    ASSERT_NE(local->list().FindById(42), nullptr);
    EXPECT_EQ(local->list().FindById(42)->name, QStringLiteral("新"));

    SetMTime(older, QDateTime::currentDateTime());
    ASSERT_TRUE(local->Load());
    EXPECT_EQ(local->list().FindById(42)->name, QStringLiteral("旧"));
}

TEST_F(LocalWorkspaces, TheScanStopsAtNineLevels)
{
    QString rel;
    for (int level = 1; level <= 10; ++level) {
        rel += (rel.isEmpty() ? QString() : QStringLiteral("/"))
               + EncodeIdName(level, QStringLiteral("L%1").arg(level));
        MakeDir(rel);
    }
    ASSERT_TRUE(local->Load());
    EXPECT_EQ(local->list().size(), 9);
    EXPECT_NE(local->list().FindById(9), nullptr);
    EXPECT_EQ(local->list().FindById(10), nullptr);
}

TEST_F(LocalWorkspaces, LoadSortsByNameInTreeOrder)
{
    MakeDir(QStringLiteral("00000005b"));
    MakeDir(QStringLiteral("00000003B/00000004x"));
    MakeDir(QStringLiteral("00000002ａ"));
    ASSERT_TRUE(local->Load());
    EXPECT_EQ(Ids(local->list()), QList<qint32>({2, 3, 4, 5}));
    EXPECT_EQ(local->FirstChild(3)->id, 4);
    EXPECT_EQ(local->list().FindById(5)->sortIndex, 3);
}

TEST_F(LocalWorkspaces, SymbolicLinksAreNotFollowed)
{
    const QString outside = dir() + QStringLiteral("/outside");
    ASSERT_TRUE(QDir().mkpath(outside + QStringLiteral("/00000009奥")));
    MakeDir(QStringLiteral("00000001a"));
    ASSERT_TRUE(QFile::link(outside, store() + QStringLiteral("/00000001a/00000007link")));
    ASSERT_TRUE(local->Load());
    EXPECT_EQ(Ids(local->list()), QList<qint32>({1}));

    // Mirroring the linked folder would write through the link: refused.
    EXPECT_EQ(local->MirrorPath({1, 7}, {"a", "link"}), nullptr);
    EXPECT_EQ(local->MirrorPath({1, 7, 8}, {"a", "link", "x"}), nullptr);
    EXPECT_EQ(Listing(outside), QStringList({"00000009奥/"}));
}

TEST_F(LocalWorkspaces, MirrorPathCreatesTheChainAndRenamesWhatDiffers)
{
    CWorkspaceRecord *r = local->MirrorPath({1, 2}, {"経理", "2024"}, 205);
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->folderStyle, 25);
    EXPECT_TRUE(QFileInfo(store() + QStringLiteral("/00000001経理/000000022024")).isDir());
    EXPECT_EQ(local->list().size(), 2);
    EXPECT_EQ(local->FirstChild(1), r);

    ASSERT_TRUE(WriteFile(local->LocalFolderPath(r) + QStringLiteral("/a.xlsx.vqrca"), "cached"));
    // The service renamed 経理: the directory follows with its content; letter case alone
    // changes nothing.
    r = local->MirrorPath({1, 2, 3}, {"経理部", "2024", "Jan"});
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(ReadFile(store() + QStringLiteral("/00000001経理部/000000022024/a.xlsx.vqrca")),
              QByteArray("cached"));
    EXPECT_FALSE(QFileInfo::exists(store() + QStringLiteral("/00000001経理")));
    r = local->MirrorPath({1, 2, 3}, {"経理部", "2024", "JAN"});
    EXPECT_EQ(r->name, QStringLiteral("Jan"));
    EXPECT_EQ(local->list().FindById(2)->DisplayPath(), QStringLiteral("経理部/2024"));
}

TEST_F(LocalWorkspaces, MirrorPathMovesAFolderFoundElsewhere)
{
    CWorkspaceRecord *r = local->MirrorPath({1, 5}, {"a", "x"});
    ASSERT_NE(r, nullptr);
    ASSERT_TRUE(WriteFile(local->LocalFolderPath(r) + QStringLiteral("/f.txt.vqrca"), "kept"));
    r = local->MirrorPath({2, 5}, {"b", "x"});
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->pathIds, QList<qint32>({2, 5}));
    EXPECT_EQ(ReadFile(store() + QStringLiteral("/00000002b/00000005x/f.txt.vqrca")),
              QByteArray("kept"));
    EXPECT_FALSE(QFileInfo::exists(store() + QStringLiteral("/00000001a/00000005x")));
}

class HostileNames : public LocalWorkspaces, public ::testing::WithParamInterface<const char *>
{};

TEST_P(HostileNames, NothingIsCreatedRenamedOrDeleted)
{
    const QString bad = QString::fromUtf8(GetParam());
    const QString outside = dir() + QStringLiteral("/victim");
    ASSERT_TRUE(WriteFile(outside + QStringLiteral("/keep.txt"), "x"));
    CWorkspaceRecord *good = local->MirrorPath({1}, {"a"});
    ASSERT_NE(good, nullptr);
    ASSERT_TRUE(WriteFile(local->LocalFolderPath(good) + QStringLiteral("/f.vqrca"), "x"));
    const QStringList before = Listing(dir());

    EXPECT_EQ(local->MirrorPath({2}, {bad}), nullptr);
    EXPECT_EQ(local->MirrorPath({1, 2}, {"a", bad}), nullptr);
    EXPECT_EQ(local->MirrorPath({2, 3}, {bad, "x"}), nullptr);
    EXPECT_FALSE(local->PropagateName(1, bad));
    EXPECT_EQ(local->LocalFolderPath({1, 2}, {"a", bad}), QString());
    EXPECT_EQ(Listing(dir()), before);
    EXPECT_EQ(local->list().FindById(1)->name, QStringLiteral("a"));
}

INSTANTIATE_TEST_SUITE_P(, HostileNames,
                         ::testing::Values("..", ".", "", "a/b", "a\\..\\..", "../../victim", "a:b",
                                           "x\ny"));

TEST_F(LocalWorkspaces, ChainsWithoutPositiveIdsAreNotMirrored)
{
    EXPECT_EQ(local->MirrorPath({0}, {"a"}), nullptr);
    EXPECT_EQ(local->MirrorPath({-1}, {"a"}), nullptr);
    EXPECT_EQ(local->MirrorPath({1, 2}, {"a"}), nullptr);
    EXPECT_EQ(local->MirrorPath({}, {}), nullptr);
    EXPECT_FALSE(QFileInfo::exists(store()));
}

TEST_F(LocalWorkspaces, PropagateNameRenamesTheDirectoryAndTheSubtree)
{
    ASSERT_NE(local->MirrorPath({1, 2, 3}, {"a", "b", "c"}), nullptr);
    ASSERT_TRUE(WriteFile(
        local->LocalFolderPath(local->list().FindById(3)) + QStringLiteral("/f.vqred"), "edit"));
    ASSERT_TRUE(local->PropagateName(2, QStringLiteral("B2"), 105));
    EXPECT_EQ(local->list().FindById(2)->folderStyle, 15);
    EXPECT_EQ(local->list().FindById(3)->DisplayPath(), QStringLiteral("a/B2/c"));
    EXPECT_EQ(ReadFile(store() + QStringLiteral("/00000001a/00000002B2/00000003c/f.vqred")),
              QByteArray("edit"));
    EXPECT_FALSE(local->PropagateName(99, QStringLiteral("x")));
}

TEST_F(LocalWorkspaces, DeleteLocalFolderRemovesTheDirectoryAndTheSubtreeRecords)
{
    ASSERT_NE(local->MirrorPath({1, 2, 3}, {"a", "b", "c"}), nullptr);
    ASSERT_NE(local->MirrorPath({1, 4}, {"a", "d"}), nullptr);
    ASSERT_TRUE(WriteFile(
        local->LocalFolderPath(local->list().FindById(3)) + QStringLiteral("/f.vqrca"), "x"));
    EXPECT_TRUE(local->DeleteLocalFolder(2));
    EXPECT_EQ(Ids(local->list()), QList<qint32>({1, 4}));
    EXPECT_EQ(Listing(store()), QStringList({"00000001a/", "00000001a/00000004d/"}));
    EXPECT_FALSE(local->DeleteLocalFolder(2));
}

TEST_F(LocalWorkspaces, MoveLocalFolderTakesTheFilesAlong)
{
    ASSERT_NE(local->MirrorPath({1, 2}, {"a", "b"}), nullptr);
    ASSERT_NE(local->MirrorPath({3}, {"c"}), nullptr);
    ASSERT_TRUE(WriteFile(
        local->LocalFolderPath(local->list().FindById(2)) + QStringLiteral("/f.vqrca"), "x"));
    EXPECT_FALSE(local->MoveLocalFolder(1, 2)) << "not below itself";
    ASSERT_TRUE(local->MoveLocalFolder(2, 3));
    EXPECT_EQ(local->list().FindById(2), nullptr) << "mirrored again on demand";
    EXPECT_EQ(ReadFile(store() + QStringLiteral("/00000003c/00000002b/f.vqrca")), QByteArray("x"));
    ASSERT_NE(local->MirrorPath({3, 2}, {"c", "b"}), nullptr);
    ASSERT_TRUE(local->MoveLocalFolder(2, 0));
    EXPECT_TRUE(QFileInfo::exists(store() + QStringLiteral("/00000002b/f.vqrca")));
    EXPECT_FALSE(local->MoveLocalFolder(77, 0));
}

struct SVersion
{
    const char *content; // nullptr: no file
    bool needs;
};

class VersionFile : public LocalWorkspaces, public ::testing::WithParamInterface<SVersion>
{};

TEST_P(VersionFile, DecidesTheConversion)
{
    CBizProps props(store() + u'/' + CLocalWorkspaceManager::VersionFileName());
    if (GetParam().content) {
        if (qstrlen(GetParam().content) > 0)
            props.SetValue(QStringLiteral("version"), QString::fromLatin1(GetParam().content));
        else
            props.SetValue(QStringLiteral("other"), QStringLiteral("1"));
        ASSERT_TRUE(props.Save());
    }
    EXPECT_EQ(local->NeedsConversion(), GetParam().needs);
    ASSERT_TRUE(local->WriteVersion());
    EXPECT_FALSE(local->NeedsConversion());
    CBizProps written(props.path());
    written.Load();
    EXPECT_EQ(written.GetValue(QStringLiteral("version")),
              GetParam().needs ? QStringLiteral(VELQUOR_VERSION_TEXT)
                               : QString::fromLatin1(GetParam().content));
}

INSTANTIATE_TEST_SUITE_P(, VersionFile,
                         ::testing::Values(SVersion{nullptr, true}, SVersion{"", true},
                                           SVersion{"1.1.6.6", true}, SVersion{"1.0.9.9", true},
                                           SVersion{"1.1.6.7", false}, SVersion{"2.0.0.1", false}));

TEST_F(LocalWorkspaces, UnreadableVersionFileCountsAsMissing)
{
    ASSERT_TRUE(WriteFile(store() + QStringLiteral("/version.vqr"), QByteArray("\xff\xfe", 2)));
    ASSERT_TRUE(QFile::setPermissions(store() + QStringLiteral("/version.vqr"), {}));
    if (QFileInfo(store() + QStringLiteral("/version.vqr")).isReadable())
        GTEST_SKIP() << "running as a user who reads everything";
    EXPECT_TRUE(local->NeedsConversion());
}
