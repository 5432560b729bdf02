// The folder tree against the devserver's demo office: load in pre-order, find by path,
// every folder-changing operation on the service and in the local mirror together, changes
// made behind the client's back, and the offline tree read back from disk.

#include "folders/FolderTestSupport.h"

#include "service/RequestException.h"
#include "store/IdPath.h"

#include <QFileInfo>

using FolderTree = FolderTest::SignedInFolders;

TEST_F(FolderTree, LoadsInPreOrderWithDepthsAndPaths)
{
    ASSERT_TRUE(shared->Load());
    ASSERT_TRUE(shared->IsTreeComplete());
    const CWorkspaceList &list = shared->list();
    ASSERT_GE(list.size(), 12);

    // Pre-order: every folder after its parent, and only its own subtree in between.
    for (qsizetype i = 0; i < list.size(); ++i) {
        const CWorkspaceRecord *r = list.At(i);
        ASSERT_EQ(r->pathIds.last(), r->id);
        ASSERT_EQ(r->pathNames.size(), r->pathIds.size());
        if (r->Depth() == 1)
            continue;
        const qsizetype parent = list.PositionOf(list.FindById(r->ParentId()));
        ASSERT_GE(parent, 0) << qPrintable(r->DisplayPath());
        ASSERT_LT(parent, i);
        for (qsizetype j = parent + 1; j < i; ++j)
            ASSERT_TRUE(list.At(j)->HasInPath(r->ParentId()))
                << qPrintable(list.At(j)->DisplayPath());
    }

    const CWorkspaceRecord *y2024 = list.FindById(Id("経理/2024"));
    ASSERT_NE(y2024, nullptr);
    EXPECT_EQ(y2024->Depth(), 2);
    EXPECT_EQ(y2024->DisplayPath(), QStringLiteral("経理/2024"));
    const CWorkspaceRecord *march = list.FindById(Id("経理/2024/03月"));
    ASSERT_NE(march, nullptr);
    EXPECT_EQ(march->Depth(), 3);
    EXPECT_EQ(march->DisplayPath(), QStringLiteral("経理/2024/03月"));
    EXPECT_TRUE(list.FindById(Id("電子帳簿"))->isDataBox);
    EXPECT_TRUE(list.FindById(Id("決算書類"))->readOnly);
    EXPECT_TRUE(list.IsFolderGroup(list.FindById(Id("給与"))));
    EXPECT_EQ(list.ChildByName(Id("経理"), QStringLiteral("2023"))->id, Id("経理/2023"));
    EXPECT_EQ(list.SubtreeDepth(Id("経理")), 2);

    CWorkspaceRecord found;
    ASSERT_TRUE(shared->FindByPath(QStringLiteral("経理/2024"), found));
    EXPECT_EQ(found.id, Id("経理/2024"));
    EXPECT_EQ(found.pathNames, QStringList({"経理", "2024"}));

    CExceptHandler held;
    EXPECT_FALSE(shared->FindByPath(QStringLiteral("経理/ない"), found, &held));
    ASSERT_NE(held.RequestException(), nullptr);
    EXPECT_EQ(held.RequestException()->code(), QStringLiteral("30017"));
    EXPECT_EQ(held.Code(), 30017 | 0x20000000);
    EXPECT_TRUE(messages.isEmpty());
}

TEST_F(FolderTree, OperationsChangeTheServiceAndTheMirrorTogether)
{
    ASSERT_TRUE(shared->Load());
    const qint32 y2024 = Id("経理/2024");
    const qint32 salary = Id("給与");

    qint32 created = 0;
    ASSERT_TRUE(shared->CreateFolder(y2024, QStringLiteral("新規"), 3, QStringLiteral("メモ"),
                                     false, &created));
    EXPECT_EQ(created, Id("経理/2024/新規"));
    EXPECT_EQ(shared->list().FindById(created)->DisplayPath(), QStringLiteral("経理/2024/新規"));
    EXPECT_NE(shared->ChildByName(y2024, QStringLiteral("新規")), nullptr);
    const QString createdDir = local->LocalFolderPath(local->list().FindById(created));
    ASSERT_TRUE(QFileInfo(createdDir).isDir());
    EXPECT_TRUE(createdDir.endsWith(EncodeIdName(y2024, QStringLiteral("2024")) + u'/'
                                    + EncodeIdName(created, QStringLiteral("新規"))));
    ASSERT_TRUE(WriteFile(createdDir + QStringLiteral("/a.xlsx.vqrca"), "cached"));

    ASSERT_TRUE(
        shared->UpdateFolder(created, QStringLiteral("改名"), 205, QStringLiteral("c"), false));
    EXPECT_EQ(Id("経理/2024/改名"), created);
    EXPECT_EQ(shared->list().FindById(created)->folderStyle, 25);
    const QString renamedDir = LocalDir(created);
    EXPECT_TRUE(renamedDir.endsWith(EncodeIdName(created, QStringLiteral("改名"))));
    EXPECT_EQ(ReadFile(renamedDir + QStringLiteral("/a.xlsx.vqrca")), QByteArray("cached"));
    EXPECT_FALSE(QFileInfo::exists(createdDir));

    ASSERT_TRUE(shared->MoveFolder(created, salary));
    EXPECT_EQ(Id("給与/改名"), created);
    EXPECT_EQ(shared->list().FindById(created)->DisplayPath(), QStringLiteral("給与/改名"));
    const QString movedDir = LocalDir(created);
    EXPECT_TRUE(movedDir.contains(EncodeIdName(salary, QStringLiteral("給与"))));
    EXPECT_EQ(ReadFile(movedDir + QStringLiteral("/a.xlsx.vqrca")), QByteArray("cached"));
    EXPECT_FALSE(QFileInfo::exists(renamedDir));

    qint32 copy = 0;
    ASSERT_TRUE(shared->CopyFolders(y2024, salary, QStringLiteral("2024写し"), &copy));
    EXPECT_EQ(Id("給与/2024写し"), copy);
    EXPECT_GT(Id("給与/2024写し/03月"), 0) << "the structure below came along";
    ASSERT_TRUE(shared->Load());
    EXPECT_NE(shared->list().FindById(copy), nullptr);

    ASSERT_TRUE(shared->DeleteFolder(created));
    EXPECT_EQ(Id("給与/改名"), -1);
    EXPECT_EQ(shared->list().FindById(created), nullptr);
    EXPECT_FALSE(QFileInfo::exists(movedDir));
    EXPECT_EQ(local->list().FindById(created), nullptr);

    // A refused operation reports the fault and changes nothing.
    EXPECT_FALSE(shared->CreateFolder(salary, QStringLiteral("2024写し"), 0, {}, false));
    ASSERT_EQ(messages.size(), 1);
    EXPECT_TRUE(messages.first().startsWith(
        QStringLiteral("このフォルダはすでにサーバー上に存在します。")));
}

TEST_F(FolderTree, ChangesBehindTheClientsBackReachTheMirrorAtTheNextLoad)
{
    ASSERT_TRUE(shared->Load());
    MirrorAll();
    const qint32 y2023 = Id("経理/2023");
    const qint32 y2024 = Id("経理/2024");
    const qint32 shared2 = Id("共有");
    const QString dir2023 = LocalDir(y2023);
    ASSERT_TRUE(WriteFile(dir2023 + QStringLiteral("/old.pdf.vqrca"), "x"));
    ASSERT_TRUE(WriteFile(LocalDir(y2024) + QStringLiteral("/keep.xlsx.vqrca"), "k"));

    server->hook(QStringLiteral("folder/delete"), {{"folderPath", "経理/2023"}});
    server->hook(QStringLiteral("folder/rename"), {{"folderPath", "共有"}, {"name", "共用"}});
    ASSERT_TRUE(shared->Load());
    EXPECT_FALSE(QFileInfo::exists(dir2023));
    EXPECT_EQ(local->list().FindById(y2023), nullptr);
    EXPECT_EQ(local->list().FindById(shared2)->name, QStringLiteral("共用"));
    EXPECT_TRUE(LocalDir(shared2).endsWith(EncodeIdName(shared2, QStringLiteral("共用"))));
    EXPECT_EQ(ReadFile(LocalDir(y2024) + QStringLiteral("/keep.xlsx.vqrca")), QByteArray("k"));

    // Moved on the service: the old directory goes, the folder is mirrored anew on demand.
    const QString old2024 = LocalDir(y2024);
    server->hook(QStringLiteral("folder/move"),
                 {{"folderPath", "経理/2024"}, {"dstFolderPath", "給与"}});
    ASSERT_TRUE(shared->Load());
    EXPECT_FALSE(QFileInfo::exists(old2024));
    EXPECT_TRUE(LocalDir(y2024).contains(EncodeIdName(Id("給与"), QStringLiteral("給与"))));

    // A folder opened in a file list that vanished meanwhile.
    server->hook(QStringLiteral("folder/delete"), {{"folderPath", "給与/2024"}});
    qint32 id = y2024;
    EXPECT_TRUE(shared->CheckFolder(id));
    EXPECT_EQ(id, 0);
    id = Id("給与/2024年度");
    EXPECT_TRUE(shared->CheckFolder(id));
    EXPECT_GT(id, 0);
    EXPECT_TRUE(messages.isEmpty());
}

TEST_F(FolderTree, TheOfflineTreeReadFromDiskMatchesTheOnlineOne)
{
    ASSERT_TRUE(shared->Load());
    MirrorAll();

    CLocalWorkspaceManager offline(login.get());
    ASSERT_TRUE(offline.Load());
    ASSERT_EQ(offline.list().size(), shared->list().size());
    for (const CWorkspaceRecord *online : shared->list()) {
        const CWorkspaceRecord *r = offline.list().FindById(online->id);
        ASSERT_NE(r, nullptr) << qPrintable(online->DisplayPath());
        EXPECT_EQ(r->pathIds, online->pathIds);
        EXPECT_EQ(r->DisplayPath(), online->DisplayPath());
        EXPECT_EQ(r->readOnly, 0);
        // The same children, in name order.
        QList<qint32> a, b;
        for (const CWorkspaceRecord *c : offline.Children(r->id))
            a.append(c->id);
        for (const CWorkspaceRecord *c : shared->Children(online->id))
            b.append(c->id);
        std::sort(a.begin(), a.end());
        std::sort(b.begin(), b.end());
        EXPECT_EQ(a, b) << qPrintable(online->DisplayPath());
    }
    QList<qint32> roots;
    for (const CWorkspaceRecord *c : offline.Children(0))
        roots.append(c->id);
    EXPECT_EQ(roots.size(), shared->Children(0).size());
}

TEST_F(FolderTree, ACancelledLoadDeletesNothing)
{
    ASSERT_TRUE(shared->Load());
    MirrorAll();
    for (const CWorkspaceRecord *r : local->list())
        ASSERT_TRUE(WriteFile(local->LocalFolderPath(r) + QStringLiteral("/f.pdf.vqrca"), "c"));
    const QString store = local->FolderRoot();
    const QStringList before = Listing(store);
    // A complete load would now delete 2023 and its cached file.
    server->hook(QStringLiteral("folder/delete"), {{"folderPath", "経理/2023"}});

    for (int after : {1, 2, 3, 5, 8}) {
        FolderTest::CancelOnCue cancel([] { return true; }, after);
        CBizProgressAttach attach(*shared, &cancel);
        shared->Load();
        ASSERT_TRUE(cancel.isCancelled());
        EXPECT_FALSE(shared->IsTreeComplete());
        EXPECT_EQ(Listing(store), before) << "cancelled at poll " << after;
    }
    EXPECT_TRUE(messages.isEmpty()) << "the user's cancel is no error";
    ASSERT_TRUE(shared->Load());
    EXPECT_NE(Listing(store), before);
}

TEST_F(FolderTree, HostileFolderNamesNeverLeaveTheStore)
{
    ASSERT_TRUE(shared->Load());
    MirrorAll();
    for (const CWorkspaceRecord *r : local->list())
        ASSERT_TRUE(WriteFile(local->LocalFolderPath(r) + QStringLiteral("/f.pdf.vqrca"), "c"));
    ASSERT_TRUE(QDir().mkpath(QStringLiteral("victim")));
    ASSERT_TRUE(WriteFile(QStringLiteral("victim/keep.txt"), "x"));
    const QStringList before = Listing(QDir::currentPath());

    const qint32 common = Id("共有");
    const qint32 salary = Id("給与");
    const qint32 y2023 = Id("経理/2023");
    const qint32 closing = Id("決算書類");
    server->hook(QStringLiteral("folder/rename"),
                 {{"workspaceId", QString::number(common)}, {"name", ".."}});
    server->hook(QStringLiteral("folder/rename"),
                 {{"workspaceId", QString::number(salary)}, {"name", "a/b"}});
    server->hook(QStringLiteral("folder/rename"),
                 {{"workspaceId", QString::number(y2023)}, {"name", "a\\..\\..\\victim"}});
    server->hook(QStringLiteral("folder/rename"),
                 {{"workspaceId", QString::number(closing)}, {"name", "../../../victim"}});
    ASSERT_TRUE(shared->Load());
    ASSERT_TRUE(shared->IsTreeComplete());
    EXPECT_EQ(shared->list().FindById(common)->name, QStringLiteral(".."));
    EXPECT_EQ(Listing(QDir::currentPath()), before);
    EXPECT_EQ(local->list().FindById(common)->name, QStringLiteral("共有"));
    EXPECT_EQ(local->list().FindById(salary)->name, QStringLiteral("給与"));
    EXPECT_EQ(local->list().FindById(closing)->name, QStringLiteral("決算書類"));

    // A hostile-named folder cannot be mirrored anew, nor can a subfolder of one.
    for (const qint32 id : {salary, common}) {
        EXPECT_TRUE(local->DeleteLocalFolder(id));
        EXPECT_EQ(local->FindById(id), nullptr);
    }
    const qint32 below = shared->FirstChild(salary)->id;
    EXPECT_EQ(local->FindById(below), nullptr);
    const auto deleted = [](const QString &p) {
        return p.contains(QStringLiteral("給与")) || p.contains(QStringLiteral("共有"));
    };
    QStringList after = Listing(QDir::currentPath());
    after.removeIf(deleted);
    QStringList expected = before;
    expected.removeIf(deleted);
    EXPECT_EQ(after, expected);
}
