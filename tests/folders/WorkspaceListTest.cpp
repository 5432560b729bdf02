// Folder records and the tree-ordered folder list: chains, colours, walks, names, search
// and the two orders.

#include "FolderTestSupport.h"

#include "folders/WorkspaceRecord.h"

#include <gtest/gtest.h>

using FolderTest::Folder;

namespace {

QList<qint32> Ids(const QList<CWorkspaceRecord *> &records)
{
    QList<qint32> ids;
    for (const CWorkspaceRecord *r : records)
        ids.append(r ? r->id : 0);
    return ids;
}

QList<qint32> Ids(const CWorkspaceList &list)
{
    return Ids(list.items());
}

QList<qint32> Ids(const CWorkspaceRefList &list)
{
    return Ids(list.items());
}

// 経理(1) [2024(2) [01月(3), 02月(4)], 2023(5)], 給与(6) [2024年度(7)], 共有(8)
void FillDemo(CWorkspaceList &list)
{
    list.Add(Folder({1}, {"経理"}));
    list.Add(Folder({1, 2}, {"経理", "2024"}));
    list.Add(Folder({1, 2, 3}, {"経理", "2024", "01月"}));
    list.Add(Folder({1, 2, 4}, {"経理", "2024", "02月"}));
    list.Add(Folder({1, 5}, {"経理", "2023"}));
    list.Add(Folder({6}, {"給与"}));
    list.Add(Folder({6, 7}, {"給与", "2024年度"}));
    list.Add(Folder({8}, {"共有"}));
}

} // namespace

TEST(WorkspaceRecord, ChainConstructorsKeepTheInvariants)
{
    const CWorkspaceRecord empty;
    EXPECT_TRUE(empty.IsEmpty());
    EXPECT_EQ(empty.sortIndex, -1);
    EXPECT_EQ(empty.Depth(), 0);

    CWorkspaceRecord r({1, 2, 3}, {"経理", "2024"}, true);
    EXPECT_EQ(r.id, 3);
    EXPECT_EQ(r.readOnly, 1);
    EXPECT_EQ(r.Depth(), 3);
    EXPECT_EQ(r.pathNames.size(), 3) << "names follow the ids in length";
    EXPECT_EQ(r.ParentId(), 2);
    EXPECT_FALSE(r.IsFolderGroup());

    const CWorkspaceRecord copy(r, false);
    EXPECT_EQ(copy.pathIds, r.pathIds);
    EXPECT_EQ(copy.readOnly, 0);

    r.SetName(QStringLiteral("三月"));
    EXPECT_EQ(r.pathNames.last(), QStringLiteral("三月"));

    CWorkspaceRecord group({9}, {"給与"}, false);
    EXPECT_TRUE(group.IsFolderGroup());
    EXPECT_EQ(group.ParentId(), 0);
}

TEST(WorkspaceRecord, NormalizePathEndsTheChainWithTheFolder)
{
    CWorkspaceRecord r;
    r.id = 42;
    r.name = QStringLiteral("見積");
    r.NormalizePath();
    EXPECT_EQ(r.pathIds, QList<qint32>({42}));
    EXPECT_EQ(r.pathNames, QStringList({"見積"}));

    // A chain that stops at the parent gets the folder appended.
    r.pathIds = {7, 9};
    r.pathNames = {"a", "b"};
    r.NormalizePath();
    EXPECT_EQ(r.pathIds, QList<qint32>({7, 9, 42}));
    EXPECT_EQ(r.pathNames, QStringList({"a", "b", "見積"}));
}

TEST(WorkspaceRecord, DisplayPathJoinsTheChainNames)
{
    EXPECT_EQ(Folder({1, 2}, {"経理", "2024"})->DisplayPath(), QStringLiteral("経理/2024"));
    EXPECT_EQ(Folder({1}, {"経理"})->DisplayPath(), QStringLiteral("経理"));
    EXPECT_EQ(CWorkspaceRecord().DisplayPath(), QString());
    EXPECT_EQ(AllFoldersName(), QStringLiteral("<全てのフォルダ>"));
    EXPECT_EQ(FavoritesName(), QStringLiteral("お気に入り"));
}

struct SStyle
{
    qint32 service;
    qint32 stored;
    qint32 sentBack;
};

class FolderStyleMapping : public ::testing::TestWithParam<SStyle>
{};

TEST_P(FolderStyleMapping, MapsBothWays)
{
    EXPECT_EQ(FolderStyleFromService(GetParam().service), GetParam().stored);
    EXPECT_EQ(FolderStyleToService(GetParam().stored), GetParam().sentBack);
}

INSTANTIATE_TEST_SUITE_P(, FolderStyleMapping,
                         ::testing::Values(SStyle{205, 25, 205}, SStyle{200, 20, 200},
                                           SStyle{105, 15, 15}, SStyle{7, 7, 7}, SStyle{0, 0, 0},
                                           SStyle{209, 29, 209}));

TEST(WorkspaceList, AddReplacesARecordOfTheSameId)
{
    CWorkspaceList list;
    list.Add(Folder({1}, {"old"}));
    list.Add(Folder({2}, {"other"}));
    list.Add(Folder({1}, {"new"}));
    EXPECT_EQ(list.size(), 2);
    EXPECT_EQ(list.FindById(1)->name, QStringLiteral("new"));
    EXPECT_EQ(Ids(list), QList<qint32>({2, 1}));
    EXPECT_EQ(list.FindById(FolderId::AllFolders), nullptr);
    EXPECT_EQ(list.FindById(FolderId::Favorites), nullptr);
}

TEST(WorkspaceList, ChildWalksFollowThePreOrder)
{
    CWorkspaceList list;
    FillDemo(list);
    EXPECT_EQ(list.FirstChild(0)->id, 1);
    EXPECT_EQ(list.FirstChild(1)->id, 2);
    EXPECT_EQ(list.FirstChild(2)->id, 3);
    EXPECT_EQ(Ids(list.Children(0)), QList<qint32>({1, 6, 8}));
    EXPECT_EQ(Ids(list.Children(1)), QList<qint32>({2, 5}));
    EXPECT_EQ(Ids(list.Children(2)), QList<qint32>({3, 4}));
    EXPECT_EQ(list.NextSibling(list.FindById(2))->id, 5) << "skips the subtree of 2";
    EXPECT_EQ(list.NextSibling(list.FindById(4)), nullptr) << "stops at the shallower 2023";
    EXPECT_EQ(list.NextSibling(list.FindById(8)), nullptr);
}

TEST(WorkspaceList, FirstChildOfALeafIsNone)
{
    CWorkspaceList list;
    FillDemo(list);
    // 01月 is followed by its sibling, 2023 by another branch, 2024年度 by a folder group.
    EXPECT_EQ(list.FirstChild(3), nullptr);
    EXPECT_EQ(list.FirstChild(5), nullptr);
    EXPECT_EQ(list.FirstChild(7), nullptr);
    EXPECT_EQ(list.FirstChild(8), nullptr);
    EXPECT_EQ(list.FirstChild(99), nullptr);
}

TEST(WorkspaceList, ChildByNameIgnoresLetterCaseOnlyAndOnlyAmongChildren)
{
    CWorkspaceList list;
    list.Add(Folder({1}, {"Docs"}));
    list.Add(Folder({1, 2}, {"Docs", "Reports"}));
    list.Add(Folder({1, 2, 3}, {"Docs", "Reports", "Inner"}));
    list.Add(Folder({4}, {"ｱｲ"}));
    EXPECT_EQ(list.ChildByName(1, QStringLiteral("reports"))->id, 2);
    EXPECT_EQ(list.ChildByName(0, QStringLiteral("DOCS"))->id, 1);
    EXPECT_EQ(list.ChildByName(1, QStringLiteral("Inner")), nullptr) << "a grandchild";
    EXPECT_EQ(list.ChildByName(0, QStringLiteral("アイ")), nullptr) << "width is not folded";
}

TEST(WorkspaceList, SubtreeDepthAndFolderGroups)
{
    CWorkspaceList list;
    FillDemo(list);
    EXPECT_EQ(list.SubtreeDepth(3), 2) << "a leaf at depth 3";
    EXPECT_EQ(list.SubtreeDepth(1), 2);
    EXPECT_EQ(list.SubtreeDepth(8), 0);
    EXPECT_EQ(list.SubtreeDepth(99), 0);
    EXPECT_TRUE(list.IsFolderGroup(list.FindById(6)));
    EXPECT_FALSE(list.IsFolderGroup(list.FindById(7)));
    EXPECT_FALSE(list.IsFolderGroup(nullptr));
}

TEST(WorkspaceList, PropagateNameReachesTheWholeSubtreeOnly)
{
    CWorkspaceList list;
    FillDemo(list);
    list.PropagateName(2, QStringLiteral("令和6年"));
    EXPECT_EQ(list.FindById(2)->name, QStringLiteral("令和6年"));
    EXPECT_EQ(list.FindById(3)->DisplayPath(), QStringLiteral("経理/令和6年/01月"));
    EXPECT_EQ(list.FindById(4)->DisplayPath(), QStringLiteral("経理/令和6年/02月"));
    EXPECT_EQ(list.FindById(5)->DisplayPath(), QStringLiteral("経理/2023"));
    EXPECT_EQ(list.FindById(7)->DisplayPath(), QStringLiteral("給与/2024年度"));
}

TEST(WorkspaceList, RefreshPathNamesTakesTheAncestorsNames)
{
    CWorkspaceList list;
    list.Add(Folder({1}, {"経理"}));
    // As the service lists them: chains of ids, names only of the folder itself.
    auto child = std::make_unique<CWorkspaceRecord>();
    child->id = 2;
    child->name = QStringLiteral("2024");
    child->pathIds = {1, 2};
    list.Add(std::move(child));
    auto orphan = std::make_unique<CWorkspaceRecord>();
    orphan->id = 9;
    orphan->name = QStringLiteral("x");
    orphan->pathIds = {50, 9};
    orphan->pathNames = {"kept", "y"};
    list.Add(std::move(orphan));
    list.RefreshPathNames();
    EXPECT_EQ(list.FindById(2)->DisplayPath(), QStringLiteral("経理/2024"));
    EXPECT_EQ(list.FindById(9)->pathNames, QStringList({"kept", "x"}))
        << "an ancestor not in the list keeps its old name";
}

TEST(WorkspaceList, RemoveSubtreeTakesTheFolderAndEverythingBelow)
{
    CWorkspaceList list;
    FillDemo(list);
    EXPECT_EQ(list.RemoveSubtree(2), 3);
    EXPECT_EQ(Ids(list), QList<qint32>({1, 5, 6, 7, 8}));
    EXPECT_EQ(list.FindById(3), nullptr);
    EXPECT_EQ(list.Children(1).size(), 1);
    EXPECT_TRUE(list.RemoveById(8));
    EXPECT_FALSE(list.RemoveById(8));
}

TEST(WorkspaceList, SearchScopesAndMatches)
{
    CWorkspaceList list;
    FillDemo(list);
    CWorkspaceRefList result;

    list.Search(0, {}, result);
    EXPECT_EQ(result.size(), list.size());

    list.Search(2, {}, result);
    EXPECT_EQ(Ids(result), QList<qint32>({1, 2, 3, 4})) << "ancestors, then the subtree";

    // A match adds its chain from the matched level on, each folder once.
    list.Search(0, QStringLiteral("2024"), result);
    EXPECT_EQ(Ids(result), QList<qint32>({2, 3, 4, 7}));

    // Loose comparison: width and letter case do not matter.
    list.Search(0, QStringLiteral("２０２３"), result);
    EXPECT_EQ(Ids(result), QList<qint32>({5}));

    list.Search(6, QStringLiteral("給与"), result);
    EXPECT_EQ(Ids(result), QList<qint32>({6, 7}));

    list.Search(0, QStringLiteral("存在しない"), result);
    EXPECT_TRUE(result.IsEmpty());
    EXPECT_FALSE(result.ownsElements());
}

TEST(WorkspaceList, ArrangeTreeOrderPlacesSubtreesBehindTheirParentsStably)
{
    CWorkspaceList list;
    // Children before parents, a sibling in between, and one record whose parent is absent.
    list.Add(Folder({1, 2, 3}, {"a", "b", "c"}));
    list.Add(Folder({6}, {"z"}));
    list.Add(Folder({1, 4}, {"a", "d"}));
    list.Add(Folder({40, 41}, {"gone", "orphan"}));
    list.Add(Folder({1}, {"a"}));
    list.Add(Folder({1, 2}, {"a", "b"}));
    list.Add(Folder({6, 7}, {"z", "y"}));
    list.ArrangeTreeOrder();
    EXPECT_EQ(Ids(list), QList<qint32>({6, 7, 1, 4, 2, 3, 41}));
    EXPECT_EQ(Ids(list.Children(0)), QList<qint32>({6, 1}));
    EXPECT_EQ(Ids(list.Children(1)), QList<qint32>({4, 2}));
    EXPECT_NE(list.FindById(41), nullptr) << "found by id, outside the walks";
}

TEST(WorkspaceList, ArrangeTreeOrderDoesNotAdoptAChildWithAnotherChain)
{
    CWorkspaceList list;
    list.Add(Folder({1}, {"a"}));
    list.Add(Folder({2}, {"b"}));
    list.Add(Folder({2, 1, 5}, {"b", "a", "x"})); // claims 1 as parent at the wrong level
    list.ArrangeTreeOrder();
    EXPECT_EQ(list.FirstChild(1), nullptr);
    EXPECT_EQ(list.FirstChild(2), nullptr);
    EXPECT_EQ(Ids(list), QList<qint32>({1, 2, 5}));
}

TEST(WorkspaceList, SortByNameOrdersByLooseNamesThenIdsAncestorsFirst)
{
    CWorkspaceList list;
    list.Add(Folder({5}, {"b"}));
    list.Add(Folder({3, 4}, {"B", "x"}));
    list.Add(Folder({3}, {"B"}));
    list.Add(Folder({2}, {"ａ"})); // full width sorts with "a"
    list.Add(Folder({1, 9}, {"c", "y"}));
    list.Add(Folder({1}, {"c"}));
    list.SortByName();
    // "B"(3) and "b"(5) are equal names: the smaller id first; 3's child follows it.
    EXPECT_EQ(Ids(list), QList<qint32>({2, 3, 4, 5, 1, 9}));
    list.NumberRecords();
    EXPECT_EQ(list.FindById(2)->sortIndex, 0);
    EXPECT_EQ(list.FindById(9)->sortIndex, 5);

    // Numbered records keep their numbers' order even against the names.
    list.FindById(2)->sortIndex = 100;
    list.SortByName();
    EXPECT_EQ(list.GetTail()->id, 2);
    EXPECT_EQ(list.GetHead()->id, 3);
}

TEST(WorkspaceList, PositionsStayRightAfterChanges)
{
    CWorkspaceList list;
    FillDemo(list);
    EXPECT_EQ(list.PositionOf(list.FindById(4)), 3);
    list.RemoveById(2);
    EXPECT_EQ(list.PositionOf(list.FindById(4)), 2);
    list.ArrangeTreeOrder(); // 3 and 4 lost their parent: to the end
    EXPECT_EQ(list.PositionOf(list.FindById(4)), list.size() - 1);
    EXPECT_EQ(list.PositionOf(nullptr), -1);
}
