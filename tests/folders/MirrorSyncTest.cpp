// The shared folder manager over a canned service and the mirror synchronisation it runs:
// what a complete tree changes on disk, and that a tree cut short, a failed or cancelled
// load, or a local tree awaiting conversion deletes nothing.

#include "FolderTestSupport.h"

#include "folders/LocalWorkspaceManager.h"
#include "folders/SharedWorkspaceManager.h"
#include "store/IdPath.h"

#include <gtest/gtest.h>

using namespace FolderTest;

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

QByteArray Fault(const char *code)
{
    return QByteArray("<?xml version=\"1.0\" encoding=\"UTF-8\"?><velquor><apiFault><code>") + code
           + "</code><message>m</message></apiFault></velquor>";
}

} // namespace

class MirrorSync : public Installation
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
    // A mirror of 経理(1)/2024(2)/01月(3), 給与(4), 共有(5), each with a cached file, in the
    // current layout.
    void MakeMirror()
    {
        for (const QString &rel :
             {QStringLiteral("00000001経理/000000022024/0000000301月"),
              QStringLiteral("00000004給与"), QStringLiteral("00000005共有")}) {
            MakeDir(rel);
            ASSERT_TRUE(WriteFile(store() + u'/' + rel + QStringLiteral("/f.xlsx.vqrca"), "c"));
        }
        ASSERT_TRUE(local->WriteVersion());
        ASSERT_TRUE(local->Load());
        before = Listing(store());
    }
    QList<SNode> FullTree() const
    {
        return {{1, "経理", {1}},
                {2, "2024", {1, 2}},
                {3, "01月", {1, 2, 3}},
                {4, "給与", {4}},
                {5, "共有", {5}}};
    }

    CannedServer server;
    std::unique_ptr<CLocalWorkspaceManager> local;
    std::unique_ptr<CSharedWorkspaceManager> shared;
    QStringList before;
};

TEST_F(MirrorSync, LoadBuildsTheTreeWithChainNames)
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

TEST_F(MirrorSync, CompleteTreeRenamesAndDeletes)
{
    MakeMirror();
    // 2024 renamed, 01月 moved below 給与, 共有 gone.
    server.SetAnswer(
        QStringLiteral("workspace/list"),
        Tree({{1, "経理", {1}}, {2, "令和6年", {1, 2}}, {4, "給与", {4}}, {3, "01月", {4, 3}}}));
    ASSERT_TRUE(shared->Load());
    EXPECT_EQ(Listing(store()),
              QStringList({"00000001経理/", "00000001経理/00000002令和6年/", "00000004給与/",
                           "00000004給与/f.xlsx.vqrca", "version.vqr"}));
    EXPECT_EQ(local->list().FindById(2)->name, QStringLiteral("令和6年"));
    EXPECT_EQ(local->list().FindById(3), nullptr);
    EXPECT_EQ(local->list().FindById(5), nullptr);
}

TEST_F(MirrorSync, LetterCaseChangeKeepsTheLocalName)
{
    MakeDir(QStringLiteral("00000007Docs"));
    ASSERT_TRUE(local->WriteVersion());
    ASSERT_TRUE(local->Load());
    server.SetAnswer(QStringLiteral("workspace/list"), Tree({{7, "DOCS", {7}}}));
    ASSERT_TRUE(shared->Load());
    EXPECT_TRUE(QFileInfo(store() + QStringLiteral("/00000007Docs")).isDir());
    EXPECT_EQ(local->list().FindById(7)->name, QStringLiteral("Docs"));
}

TEST_F(MirrorSync, MalformedThirdFolderKeepsEveryDirectory)
{
    MakeMirror();
    server.SetAnswer(QStringLiteral("workspace/list"), Tree(FullTree(), 2));
    ASSERT_TRUE(shared->Load());
    EXPECT_FALSE(shared->IsTreeComplete());
    EXPECT_EQ(shared->list().size(), 2) << "what was read is shown";
    EXPECT_EQ(Listing(store()), before);
    // The local manager's own load does not delete against it either.
    ASSERT_TRUE(local->Load());
    EXPECT_EQ(Listing(store()), before);
    EXPECT_EQ(local->list().size(), 5);
}

TEST_F(MirrorSync, FailedLoadLeavesNoTreeAndTheMirrorInPlace)
{
    MakeMirror();
    server.SetAnswer(QStringLiteral("workspace/list"), Tree(FullTree()));
    ASSERT_TRUE(shared->Load());
    ASSERT_EQ(shared->list().size(), 5);

    server.SetAnswer(QStringLiteral("workspace/list"), Fault("30004"), 403);
    EXPECT_FALSE(shared->Load());
    EXPECT_EQ(shared->list().size(), 0) << "not the previous tree";
    EXPECT_FALSE(shared->IsTreeComplete());
    ASSERT_EQ(messages.size(), 1);
    EXPECT_TRUE(messages.first().contains(QStringLiteral("ユーザー権限がありません")));
    ASSERT_TRUE(local->Load());
    EXPECT_EQ(Listing(store()), before);
}

TEST_F(MirrorSync, CancelledLoadKeepsEveryDirectory)
{
    MakeMirror();
    QList<SNode> nodes = FullTree();
    for (int i = 100; i < 400; ++i)
        nodes.append({i, QStringLiteral("f%1").arg(i), {i}});
    server.SetAnswer(QStringLiteral("workspace/list"), Tree(nodes.mid(3))); // 1..3 missing
    for (int after : {1, 150}) {
        CancelOnCue cancel([this] { return server.answered(); }, after);
        CBizProgressAttach attach(*shared, &cancel);
        shared->Load();
        EXPECT_TRUE(cancel.isCancelled());
        EXPECT_FALSE(shared->IsTreeComplete());
        EXPECT_EQ(Listing(store()), before) << "cancelled after " << after;
    }
}

TEST_F(MirrorSync, NoDeletionsWhileTheLocalTreeAwaitsConversion)
{
    MakeMirror();
    QFile::remove(store() + QStringLiteral("/version.vqr"));
    before = Listing(store());
    server.SetAnswer(QStringLiteral("workspace/list"), Tree({{4, "給与", {4}}}));
    ASSERT_TRUE(shared->Load());
    EXPECT_EQ(Listing(store()), before);
}

TEST_F(MirrorSync, AHostileNameOnTheServiceIsNeverMirrored)
{
    MakeMirror();
    const QString victim = dir() + QStringLiteral("/victim");
    ASSERT_TRUE(WriteFile(victim + QStringLiteral("/keep.txt"), "x"));
    QList<SNode> nodes = FullTree();
    nodes[3].name = QStringLiteral("../../../victim"); // 給与 renamed to a path
    nodes.append({9, "..", {9}});
    nodes.append({10, "a/b", {10}});
    server.SetAnswer(QStringLiteral("workspace/list"), Tree(nodes));
    ASSERT_TRUE(shared->Load());
    EXPECT_EQ(Listing(store()), before) << "給与 keeps its directory and name";
    EXPECT_EQ(local->list().FindById(4)->name, QStringLiteral("給与"));
    EXPECT_EQ(local->FindById(9), nullptr);
    EXPECT_EQ(local->FindById(10), nullptr);
    EXPECT_EQ(Listing(victim), QStringList({"keep.txt"}));
    EXPECT_EQ(Listing(store()), before);
}

TEST_F(MirrorSync, FindByIdMirrorsAServiceFolderOnDemand)
{
    server.SetAnswer(QStringLiteral("workspace/list"), Tree(FullTree()));
    ASSERT_TRUE(shared->Load());
    CWorkspaceRecord *r = local->FindById(3);
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(local->LocalFolderPath(r),
              store() + QStringLiteral("/00000001経理/000000022024/0000000301月"));
    EXPECT_TRUE(QFileInfo(local->LocalFolderPath(r)).isDir());
    EXPECT_EQ(local->FindById(77), nullptr);
}

TEST_F(MirrorSync, ConvertLayoutMovesFoldersIntoTheirParents)
{
    // An older tree: every folder at the top.
    MakeDir(QStringLiteral("00000001経理"));
    MakeDir(QStringLiteral("000000022024"));
    MakeDir(QStringLiteral("0000000301月"));
    ASSERT_TRUE(WriteFile(store() + QStringLiteral("/0000000301月/f.xlsx.vqrca"), "c"));
    MakeDir(QStringLiteral("00000004給与"));
    server.SetAnswer(QStringLiteral("workspace/list"), Tree(FullTree()));
    ASSERT_TRUE(shared->Load());
    ASSERT_TRUE(local->NeedsConversion());
    ASSERT_TRUE(local->ConvertLayout());
    EXPECT_TRUE(messages.isEmpty());
    EXPECT_EQ(
        ReadFile(store() + QStringLiteral("/00000001経理/000000022024/0000000301月/f.xlsx.vqrca")),
        QByteArray("c"));
    EXPECT_TRUE(QFileInfo(store() + QStringLiteral("/00000004給与")).isDir());
    ASSERT_TRUE(local->WriteVersion());
    EXPECT_EQ(local->list().FindById(3)->DisplayPath(), QStringLiteral("経理/2024/01月"));
}

TEST_F(MirrorSync, ConvertLayoutReportsTheFoldersItCannotMove)
{
    MakeDir(QStringLiteral("00000001経理"));
    MakeDir(QStringLiteral("000000022024"));
    // A file where the folder's directory has to go.
    ASSERT_TRUE(WriteFile(store() + QStringLiteral("/00000001経理/000000022024"), "in the way"));
    server.SetAnswer(QStringLiteral("workspace/list"), Tree(FullTree()));
    ASSERT_TRUE(shared->Load());
    EXPECT_FALSE(local->ConvertLayout());
    ASSERT_EQ(messages.size(), 1);
    EXPECT_EQ(messages.first(),
              QStringLiteral("「2024」の\r\nコンバートに失敗しました。\r\nこのファイルを使用してい"
                             "るアプリがあれば終了してください。"));
    EXPECT_TRUE(QFileInfo(store() + QStringLiteral("/000000022024")).isDir());
}

TEST_F(MirrorSync, CheckFolderTurnsAGoneFolderIntoTheRoot)
{
    server.SetAnswer(QStringLiteral("workspace/info"), Fault("30002"), 404);
    qint32 id = 5;
    EXPECT_TRUE(shared->CheckFolder(id));
    EXPECT_EQ(id, 0);
    EXPECT_TRUE(messages.isEmpty());

    server.SetAnswer(QStringLiteral("workspace/info"), Fault("30003"), 403);
    id = 5;
    EXPECT_TRUE(shared->CheckFolder(id));
    EXPECT_EQ(id, 0);

    server.SetAnswer(QStringLiteral("workspace/info"), Fault("30004"), 403);
    id = 5;
    EXPECT_FALSE(shared->CheckFolder(id));
    EXPECT_EQ(id, 5);
    EXPECT_EQ(messages.size(), 1);
}

TEST_F(MirrorSync, ResolveFolderClimbsToTheRootWhenEveryLevelIsGone)
{
    server.SetAnswer(QStringLiteral("workspace/list"), Tree(FullTree()));
    ASSERT_TRUE(shared->Load());
    server.SetAnswer(QStringLiteral("workspace/info"), Fault("30002"), 404);
    qint32 id = 3;
    EXPECT_TRUE(shared->ResolveFolder(id));
    EXPECT_EQ(id, 0);
    EXPECT_EQ(server.calls(QStringLiteral("workspace/info")), 3) << "01月, 2024, 経理";
    EXPECT_TRUE(messages.isEmpty());
}

TEST_F(MirrorSync, FindByPathKeepsTheFailureForTheCaller)
{
    server.SetAnswer(QStringLiteral("workspace/find"), Fault("30017"), 404);
    CExceptHandler held;
    CWorkspaceRecord r;
    EXPECT_FALSE(shared->FindByPath(QStringLiteral("経理/none"), r, &held));
    EXPECT_TRUE(messages.isEmpty());
    ASSERT_NE(held.RequestException(), nullptr);
    EXPECT_EQ(held.Code(), 30017 | 0x20000000);
}
