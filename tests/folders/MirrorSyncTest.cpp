// The shared folder manager and the mirror synchronisation it runs, against the devserver's
// demo office: what a complete tree changes on disk (renames, moves and deletions made
// through the devserver's hooks), that a failed load or a local tree awaiting conversion
// deletes nothing, the conversion of an older layout and the checks of a folder that went
// (faults for real or through the fail hook). Only trees of a shape the service never sends
// (children before their parents, an element missing a child) come from CannedServer.
//
// A cancelled load, hostile names and a path that is not found are covered in
// tests/e2e/FolderTreeTest.cpp.

#include "FolderTestSupport.h"

#include "folders/LocalWorkspaceManager.h"
#include "folders/SharedWorkspaceManager.h"
#include "store/IdPath.h"

#include <gtest/gtest.h>

using namespace FolderTest;

class MirrorSync : public SignedInFolders
{
protected:
    // A mirror of 経理/2024/01月, 給与 and 共有, the last level of each with a cached file.
    void MakeMirror()
    {
        ASSERT_TRUE(shared->Load());
        for (const char *path : {"経理/2024/01月", "給与", "共有"}) {
            const QString dir = LocalDir(Id(path));
            ASSERT_FALSE(dir.isEmpty()) << path;
            ASSERT_TRUE(WriteFile(dir + QStringLiteral("/f.xlsx.vqrca"), "c"));
        }
        before = Listing(store());
    }
    // The directory name of a service folder ("0000000a経理").
    QString Encoded(const char *path) const
    {
        return EncodeIdName(Id(path), QString::fromUtf8(path).section(u'/', -1));
    }
    // A directory of the layout written by older clients: every folder at the top.
    QString MakeTopDir(const char *path)
    {
        const QString dir = store() + u'/' + Encoded(path);
        EXPECT_TRUE(QDir().mkpath(dir)) << qPrintable(dir);
        return dir;
    }
    void RemoveVersionFile()
    {
        ASSERT_TRUE(QFile::remove(store() + u'/' + CLocalWorkspaceManager::VersionFileName()));
    }

    QStringList before;
};

TEST_F(MirrorSync, CompleteTreeRenamesAndDeletes)
{
    MakeMirror();
    const qint32 y2024 = Id("経理/2024");
    const qint32 january = Id("経理/2024/01月");
    const qint32 common = Id("共有");
    const QString books = Encoded("経理");
    const QString salary = Encoded("給与");
    // 2024 renamed, 01月 moved below 給与, 共有 gone.
    server->hook(QStringLiteral("folder/move"),
                 {{"folderPath", "経理/2024/01月"}, {"dstFolderPath", "給与"}});
    server->hook(QStringLiteral("folder/rename"),
                 {{"folderPath", "経理/2024"}, {"name", "令和6年"}});
    server->hook(QStringLiteral("folder/delete"), {{"folderPath", "共有"}});
    ASSERT_TRUE(shared->Load());
    EXPECT_EQ(Listing(store()),
              QStringList({books + u'/',
                           books + u'/' + EncodeIdName(y2024, QStringLiteral("令和6年")) + u'/',
                           salary + u'/', salary + QStringLiteral("/f.xlsx.vqrca"),
                           QStringLiteral("version.vqr")}));
    EXPECT_EQ(local->list().FindById(y2024)->name, QStringLiteral("令和6年"));
    EXPECT_EQ(local->list().FindById(january), nullptr);
    EXPECT_EQ(local->list().FindById(common), nullptr);
}

TEST_F(MirrorSync, LetterCaseChangeKeepsTheLocalName)
{
    const qint32 common = Id("共有");
    server->hook(QStringLiteral("folder/rename"), {{"folderPath", "共有"}, {"name", "Docs"}});
    ASSERT_TRUE(shared->Load());
    const QString dir = LocalDir(common);
    ASSERT_TRUE(dir.endsWith(EncodeIdName(common, QStringLiteral("Docs"))));
    server->hook(QStringLiteral("folder/rename"), {{"folderPath", "Docs"}, {"name", "DOCS"}});
    ASSERT_TRUE(shared->Load());
    ASSERT_EQ(shared->list().FindById(common)->name, QStringLiteral("DOCS"));
    EXPECT_TRUE(QFileInfo(dir).isDir());
    EXPECT_EQ(local->list().FindById(common)->name, QStringLiteral("Docs"));
}

TEST_F(MirrorSync, FailedLoadLeavesNoTreeAndTheMirrorInPlace)
{
    MakeMirror();
    ASSERT_GT(shared->list().size(), 0);

    server->hook(
        QStringLiteral("fail"),
        {{"op", "workspace/list"}, {"mode", "fault"}, {"code", "30004"}, {"status", "403"}});
    EXPECT_FALSE(shared->Load());
    EXPECT_EQ(shared->list().size(), 0) << "not the previous tree";
    EXPECT_FALSE(shared->IsTreeComplete());
    ASSERT_EQ(messages.size(), 1);
    EXPECT_TRUE(messages.first().contains(QStringLiteral("ユーザー権限がありません")));
    ASSERT_TRUE(local->Load());
    EXPECT_EQ(Listing(store()), before);
}

TEST_F(MirrorSync, NoDeletionsWhileTheLocalTreeAwaitsConversion)
{
    MakeMirror();
    RemoveVersionFile();
    before = Listing(store());
    server->hook(QStringLiteral("folder/delete"), {{"folderPath", "経理"}});
    server->hook(QStringLiteral("folder/delete"), {{"folderPath", "共有"}});
    ASSERT_TRUE(shared->Load());
    ASSERT_TRUE(shared->IsTreeComplete());
    EXPECT_EQ(Listing(store()), before);
}

TEST_F(MirrorSync, FindByIdMirrorsAServiceFolderOnDemand)
{
    const qint32 gone = Id("共有/テンプレート");
    ASSERT_GT(gone, 0);
    server->hook(QStringLiteral("folder/delete"), {{"folderPath", "共有/テンプレート"}});
    ASSERT_TRUE(shared->Load());
    CWorkspaceRecord *r = local->FindById(Id("経理/2024/01月"));
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(local->LocalFolderPath(r), store() + u'/' + Encoded("経理") + u'/'
                                             + Encoded("経理/2024") + u'/'
                                             + Encoded("経理/2024/01月"));
    EXPECT_TRUE(QFileInfo(local->LocalFolderPath(r)).isDir());
    EXPECT_EQ(local->FindById(gone), nullptr);
}

TEST_F(MirrorSync, ConvertLayoutMovesFoldersIntoTheirParents)
{
    RemoveVersionFile();
    MakeTopDir("経理");
    MakeTopDir("経理/2024");
    ASSERT_TRUE(WriteFile(MakeTopDir("経理/2024/01月") + QStringLiteral("/f.xlsx.vqrca"), "c"));
    MakeTopDir("給与");
    ASSERT_TRUE(shared->Load());
    ASSERT_TRUE(local->NeedsConversion());
    ASSERT_TRUE(local->ConvertLayout());
    EXPECT_TRUE(messages.isEmpty());
    EXPECT_EQ(ReadFile(store() + u'/' + Encoded("経理") + u'/' + Encoded("経理/2024") + u'/'
                       + Encoded("経理/2024/01月") + QStringLiteral("/f.xlsx.vqrca")),
              QByteArray("c"));
    EXPECT_TRUE(QFileInfo(store() + u'/' + Encoded("給与")).isDir());
    ASSERT_TRUE(local->WriteVersion());
    EXPECT_EQ(local->list().FindById(Id("経理/2024/01月"))->DisplayPath(),
              QStringLiteral("経理/2024/01月"));
}

TEST_F(MirrorSync, ConvertLayoutReportsTheFoldersItCannotMove)
{
    RemoveVersionFile();
    MakeTopDir("経理");
    const QString y2024 = MakeTopDir("経理/2024");
    // A file where the folder's directory has to go.
    ASSERT_TRUE(
        WriteFile(store() + u'/' + Encoded("経理") + u'/' + Encoded("経理/2024"), "in the way"));
    ASSERT_TRUE(shared->Load());
    EXPECT_FALSE(local->ConvertLayout());
    ASSERT_EQ(messages.size(), 1);
    EXPECT_EQ(messages.first(),
              QStringLiteral("「2024」の\r\nコンバートに失敗しました。\r\nこのファイルを使用してい"
                             "るアプリがあれば終了してください。"));
    EXPECT_TRUE(QFileInfo(y2024).isDir());
}

// A folder deleted for real (30002) is checked by
// FolderTree.ChangesBehindTheClientsBackReachTheMirrorAtTheNextLoad. The service never answers
// workspace/info with 30004, so both faults come from the fail hook and differ in the code only.
struct SCheckFault
{
    const char *name;
    const char *code;
    bool gone; // the folder counts as gone (the root is shown, quietly); else an error box
};

class MirrorSyncCheckFolder : public MirrorSync, public ::testing::WithParamInterface<SCheckFault>
{};

TEST_P(MirrorSyncCheckFolder, TurnsAGoneFolderIntoTheRoot)
{
    const qint32 folder = Id("経理/2024");
    server->hook(QStringLiteral("fail"), {{"op", "workspace/info"},
                                          {"mode", "fault"},
                                          {"code", QString::fromLatin1(GetParam().code)},
                                          {"status", "403"}});
    qint32 id = folder;
    EXPECT_EQ(shared->CheckFolder(id), GetParam().gone);
    EXPECT_EQ(id, GetParam().gone ? 0 : folder);
    EXPECT_EQ(messages.size(), GetParam().gone ? 0 : 1);
}

INSTANTIATE_TEST_SUITE_P(, MirrorSyncCheckFolder,
                         ::testing::Values(SCheckFault{"NoAccess", "30003", true},
                                           SCheckFault{"RightMissing", "30004", false}),
                         [](const auto &info) { return std::string(info.param.name); });

TEST_F(MirrorSync, ResolveFolderClimbsToTheRootWhenEveryLevelIsGone)
{
    ASSERT_TRUE(shared->Load());
    qint32 id = Id("経理/2024/01月");
    server->hook(QStringLiteral("folder/delete"), {{"folderPath", "経理"}});
    server->clearRequestLog();
    EXPECT_TRUE(shared->ResolveFolder(id));
    EXPECT_EQ(id, 0);
    EXPECT_EQ(server->callCount(QStringLiteral("workspace/info")), 3) << "01月, 2024, 経理";
    EXPECT_TRUE(messages.isEmpty());
}

// Trees the service never sends.
namespace {

struct SNode
{
    qint32 id;
    QString name;
    QList<qint32> parents; // the chain, the folder included
};

QByteArray Tree(const QList<SNode> &nodes, int malformedAt = -1)
{
    QList<QByteArray> parts;
    for (int i = 0; i < nodes.size(); ++i)
        parts.append(WorkspaceXml(nodes[i].id, nodes[i].name, nodes[i].parents, false,
                                  i == malformedAt ? QStringLiteral("updateTime") : QString()));
    return ListAnswer(parts);
}

} // namespace

class CannedMirrorSync : public Installation
{
protected:
    void SetUp() override
    {
        Installation::SetUp();
        ASSERT_TRUE(WriteServerVqr(installation.dataFolder(), server.serverVqr()));
        local = std::make_unique<CLocalWorkspaceManager>(login.get());
        shared = std::make_unique<CSharedWorkspaceManager>(login.get(), local.get());
        local->AttachShared(shared.get());
    }
    void TearDown() override
    {
        shared.reset();
        local.reset();
        Installation::TearDown();
    }

    CannedServer server;
    std::unique_ptr<CLocalWorkspaceManager> local;
    std::unique_ptr<CSharedWorkspaceManager> shared;
};

TEST_F(CannedMirrorSync, LoadBuildsTheTreeWithChainNames)
{
    // Children listed before parents come out behind them.
    server.SetAnswer(QStringLiteral("workspace/list"),
                     Tree({{2, "2024", {1, 2}}, {1, "経理", {1}}, {3, "01月", {1, 2, 3}}}));
    ASSERT_TRUE(shared->Load());
    EXPECT_TRUE(shared->IsTreeComplete());
    EXPECT_EQ(shared->list().GetHead()->id, 1);
    EXPECT_EQ(shared->list().FindById(3)->DisplayPath(), QStringLiteral("経理/2024/01月"));
    EXPECT_EQ(shared->FirstChild(2)->id, 3);
}

TEST_F(CannedMirrorSync, MalformedThirdFolderKeepsEveryDirectory)
{
    // A mirror of 経理(1)/2024(2)/01月(3), 給与(4), 共有(5), each with a cached file.
    for (const QString &rel : {QStringLiteral("00000001経理/000000022024/0000000301月"),
                               QStringLiteral("00000004給与"), QStringLiteral("00000005共有")}) {
        MakeDir(rel);
        ASSERT_TRUE(WriteFile(store() + u'/' + rel + QStringLiteral("/f.xlsx.vqrca"), "c"));
    }
    ASSERT_TRUE(local->WriteVersion());
    ASSERT_TRUE(local->Load());
    const QStringList before = Listing(store());

    server.SetAnswer(QStringLiteral("workspace/list"), Tree({{1, "経理", {1}},
                                                             {2, "2024", {1, 2}},
                                                             {3, "01月", {1, 2, 3}},
                                                             {4, "給与", {4}},
                                                             {5, "共有", {5}}},
                                                            2));
    ASSERT_TRUE(shared->Load());
    EXPECT_FALSE(shared->IsTreeComplete());
    EXPECT_EQ(shared->list().size(), 2) << "what was read is shown";
    EXPECT_EQ(Listing(store()), before);
    // The local manager's own load does not delete against it either.
    ASSERT_TRUE(local->Load());
    EXPECT_EQ(Listing(store()), before);
    EXPECT_EQ(local->list().size(), 5);
}
