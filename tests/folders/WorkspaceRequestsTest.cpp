// The folder API: the "workspace" element, the parameters each request sends, and the
// answers read back. Real answers (move, copy, count, offset, a long walk cancelled) come from
// the devserver; answers of a shape the service never sends (a duplicate id, a foreign or
// malformed element, no container, a broken document, a single move destination, a count
// without its workspaceId) from CannedServer.

#include "FolderTestSupport.h"

#include "folders/WorkspaceRequests.h"
#include "service/RequestException.h"

#include <gtest/gtest.h>

using namespace FolderTest;

namespace {

using Params = QList<QPair<QString, QString>>;

CBizXmlElement Element(CBizXmlDocument &doc, const QByteArray &xml)
{
    doc.Load(QString::fromUtf8(xml));
    return doc.Root();
}

// Exposes the parameters a request would send.
template<typename R>
class Exposed : public R
{
public:
    using R::R;
    Params Sent()
    {
        this->PrepareParams(this->client());
        return this->client().parameters();
    }
};

const CFixedAccessKey Key(QStringLiteral("k"));

} // namespace

TEST(ParseWorkspace, ReadsEveryField)
{
    CBizXmlDocument doc;
    const QByteArray xml
        = "<workspace><comment>行1\n行2</comment><folderStyle>205</folderStyle><id>3</id>"
          "<isDataBox>true</isDataBox><isFavorite>true</isFavorite><name>01月</name>"
          "<parents><parent><id>1</id></parent><parent><id>2</id></parent>"
          "<parent><id>3</id></parent></parents><readOnly>true</readOnly>"
          "<updateName>山田 太郎</updateName><updateTime>2024/05/01 10:20:30</updateTime>"
          "</workspace>";
    CWorkspaceRecord r;
    ASSERT_TRUE(ParseWorkspace(Element(doc, xml), &r));
    EXPECT_EQ(r.id, 3);
    EXPECT_EQ(r.name, QStringLiteral("01月"));
    EXPECT_EQ(r.comment, QStringLiteral("行1\n行2"));
    EXPECT_EQ(r.folderStyle, 25);
    EXPECT_EQ(r.isDataBox, 1);
    EXPECT_EQ(r.isFavorite, 1);
    EXPECT_EQ(r.readOnly, 1);
    EXPECT_EQ(r.updateName, QStringLiteral("山田 太郎"));
    EXPECT_EQ(r.updateTime.Year(), 2024);
    EXPECT_EQ(r.updateTime.Second(), 30);
    EXPECT_EQ(r.pathIds, QList<qint32>({1, 2, 3})) << "document order";
    EXPECT_EQ(r.pathNames.size(), 3);
    EXPECT_EQ(r.pathNames.last(), QStringLiteral("01月"));
}

struct SParents
{
    const char *name;
    QByteArray parents;
    QList<qint32> expected;
};

class ParseWorkspaceParents : public ::testing::TestWithParam<SParents>
{};

TEST_P(ParseWorkspaceParents, BuildsTheChain)
{
    CBizXmlDocument doc;
    const QByteArray xml = "<workspace><id>42</id><isDataBox>false</isDataBox><name>見積</name>"
                           "<parents>"
                           + GetParam().parents
                           + "</parents><readOnly>false</readOnly><updateName>u</updateName>"
                             "<updateTime>2024/01/01</updateTime></workspace>";
    CWorkspaceRecord r;
    ASSERT_TRUE(ParseWorkspace(Element(doc, xml), &r));
    EXPECT_EQ(r.pathIds, GetParam().expected);
    EXPECT_EQ(r.pathNames.size(), r.pathIds.size());
}

INSTANTIATE_TEST_SUITE_P(
    , ParseWorkspaceParents,
    ::testing::Values(
        SParents{"None", "", {42}}, SParents{"OnlyZeroIds", "<parent><id>0</id></parent>", {42}},
        SParents{"SelfListed", "<parent><id>7</id></parent><parent><id>42</id></parent>", {7, 42}},
        SParents{
            "SelfNotListed", "<parent><id>7</id></parent><parent><id>8</id></parent>", {7, 8, 42}},
        // Other nodes keep their positions.
        SParents{"PositionsCount",
                 "<parent><id>7</id></parent><note/><PARENT><id>42</id></PARENT>",
                 {7, 0, 42}}),
    [](const auto &info) { return std::string(info.param.name); });

class ParseWorkspaceRequired : public ::testing::TestWithParam<const char *>
{};

TEST_P(ParseWorkspaceRequired, MissingElementFailsAndLeavesTheRecord)
{
    CBizXmlDocument doc;
    CWorkspaceRecord r;
    r.id = 99;
    r.name = QStringLiteral("before");
    EXPECT_FALSE(ParseWorkspace(Element(doc, WorkspaceXml(5, QStringLiteral("x"), {5}, false,
                                                          QString::fromLatin1(GetParam()))),
                                &r));
    EXPECT_EQ(r.id, 99);
    EXPECT_EQ(r.name, QStringLiteral("before"));
    // Checked also without a record.
    EXPECT_FALSE(ParseWorkspace(doc.Root(), nullptr));
}

INSTANTIATE_TEST_SUITE_P(, ParseWorkspaceRequired,
                         ::testing::Values("id", "isDataBox", "name", "parents", "readOnly",
                                           "updateName", "updateTime"));

TEST(ParseWorkspace, OptionalElementsKeepThePreviousValue)
{
    CBizXmlDocument doc;
    CWorkspaceRecord r;
    r.isFavorite = 1;
    ASSERT_TRUE(ParseWorkspace(Element(doc, WorkspaceXml(5, QStringLiteral("x"), {5}, false,
                                                         QStringLiteral("isFavorite"))),
                               &r));
    EXPECT_EQ(r.isFavorite, 1);
    r.comment = QStringLiteral("old");
    ASSERT_TRUE(ParseWorkspace(
        Element(doc, WorkspaceXml(5, QStringLiteral("x"), {5}, false, QStringLiteral("comment"))),
        &r));
    EXPECT_EQ(r.comment, QStringLiteral("old"));
    r.folderStyle = 3;
    ASSERT_TRUE(ParseWorkspace(Element(doc, WorkspaceXml(5, QStringLiteral("x"), {5}, false,
                                                         QStringLiteral("folderStyle"))),
                               &r));
    EXPECT_EQ(r.folderStyle, 3);
    EXPECT_TRUE(ParseWorkspace(doc.Root(), nullptr));
}

TEST(ParseWorkspace, ParentWithoutIdFailsTheElement)
{
    CBizXmlDocument doc;
    const QByteArray xml = "<workspace><id>4</id><isDataBox>0</isDataBox><name>n</name>"
                           "<parents><parent><id>1</id></parent><parent/></parents>"
                           "<readOnly>0</readOnly><updateName>u</updateName>"
                           "<updateTime>2024/01/01</updateTime></workspace>";
    EXPECT_FALSE(ParseWorkspace(Element(doc, xml), nullptr));
}

TEST(WorkspaceSortValue, FollowsTheTable)
{
    EXPECT_FALSE(WorkspaceSortValue(0).has_value());
    EXPECT_EQ(WorkspaceSortValue(1), QStringLiteral("updateName"));
    EXPECT_EQ(WorkspaceSortValue(3), QStringLiteral("folderName"));
    EXPECT_EQ(WorkspaceSortValue(10), QStringLiteral("transactionAmount"));
    EXPECT_EQ(WorkspaceSortValue(11), QString()) << "sent, but empty";
}

class WorkspaceRequestParams : public Installation
{};

TEST_F(WorkspaceRequestParams, ListSendsOnlyWhatIsSet)
{
    Exposed<CWorkspaceListRequest> plain(Key, 0, SWorkspaceListOptions{}, nullptr);
    EXPECT_EQ(plain.Sent(), Params({{"recursive", "false"}, {"offset", "0"}, {"dir", "asc"}}));

    SWorkspaceListOptions o;
    o.recursive = true;
    o.limit = 50;
    o.offset = 4000000000u;
    o.sortIndex = 3;
    o.descending = true;
    o.pattern = QStringLiteral("見*");
    Exposed<CWorkspaceListRequest> full(Key, 5, o, nullptr);
    EXPECT_EQ(full.Sent(), Params({{"workspaceId", "5"},
                                   {"recursive", "true"},
                                   {"limit", "50"},
                                   {"offset", "4000000000"},
                                   {"sort", "folderName"},
                                   {"dir", "desc"},
                                   {"pattern", "見*"}}));

    o = {};
    o.sortIndex = 12;
    Exposed<CWorkspaceListRequest> unknownSort(Key, 0, o, nullptr);
    EXPECT_EQ(unknownSort.Sent(),
              Params({{"recursive", "false"}, {"offset", "0"}, {"sort", ""}, {"dir", "asc"}}));
}

TEST_F(WorkspaceRequestParams, CountOffsetAndFolderRequests)
{
    EXPECT_EQ(Exposed<CWorkspaceCountRequest>(Key, 0, true).Sent(),
              Params({{"recursive", "true"}}));
    EXPECT_EQ(Exposed<CWorkspaceCountRequest>(Key, 8, false, QStringLiteral("a")).Sent(),
              Params({{"workspaceId", "8"}, {"recursive", "false"}, {"pattern", "a"}}));

    SWorkspaceListOptions o;
    o.sortIndex = 2;
    EXPECT_EQ(Exposed<CWorkspaceOffsetRequest>(Key, 77, 8, o).Sent(),
              Params({{"targetId", "77"},
                      {"workspaceId", "8"},
                      {"recursive", "false"},
                      {"sort", "updateTime"},
                      {"dir", "asc"}}));

    EXPECT_EQ(Exposed<CWorkspaceInfoRequest>(Key, 0, nullptr).Sent(), Params());
    EXPECT_EQ(Exposed<CWorkspaceInfoRequest>(Key, 7, nullptr).Sent(),
              Params({{"workspaceId", "7"}}));
    EXPECT_EQ(Exposed<CWorkspaceDeleteRequest>(Key, 7, nullptr).Sent(),
              Params({{"workspaceId", "7"}}));

    EXPECT_EQ(Exposed<CWorkspaceCreateRequest>(Key, 0, QStringLiteral("新規"), 205,
                                               QStringLiteral("メモ"), true, nullptr)
                  .Sent(),
              Params({{"workspaceId", "0"},
                      {"name", "新規"},
                      {"folderStyle", "205"},
                      {"comment", "メモ"},
                      {"databox", "true"}}));
    EXPECT_EQ(
        Exposed<CWorkspaceUpdateRequest>(Key, 9, QStringLiteral("n"), 3, QString(), true, nullptr)
            .Sent(),
        Params({{"workspaceId", "9"},
                {"name", "n"},
                {"folderStyle", "3"},
                {"comment", ""},
                {"recursive", "true"}}));
    EXPECT_EQ(Exposed<CWorkspaceMoveRequest>(Key, 9, 0, nullptr, nullptr).Sent(),
              Params({{"srcWorkspaceId", "9"}, {"dstWorkspaceId", "0"}}));
    EXPECT_EQ(Exposed<CWorkspaceCopyRequest>(Key, 9, 4, QStringLiteral("写し")).Sent(),
              Params({{"srcWorkspaceId", "9"}, {"dstWorkspaceId", "4"}, {"dstName", "写し"}}));
    EXPECT_EQ(Exposed<CWorkspaceFindRequest>(Key, QStringLiteral("経理/2024"), nullptr).Sent(),
              Params({{"path", "経理/2024"}}));
}

// Answers of the devserver's demo office, read back.
using WorkspaceAnswers = SignedInFolders;

TEST_F(WorkspaceAnswers, MoveNamesTheMovedFolderAndItsNewParent)
{
    const qint32 moving = Id("経理/2023");
    const qint32 salary = Id("給与");
    CWorkspaceRecord moved;
    CWorkspaceRecord destination;
    CWorkspaceMoveRequest request(*login, moving, salary, &moved, &destination);
    ASSERT_TRUE(request.ExecutePost());
    EXPECT_EQ(moved.id, moving);
    EXPECT_EQ(moved.pathIds, QList<qint32>({salary, moving}));
    EXPECT_EQ(destination.id, salary);
}

TEST_F(WorkspaceAnswers, CopyCountAndOffset)
{
    CWorkspaceCopyRequest copy(*login, Id("経理/2024"), 0, QStringLiteral("x"));
    ASSERT_TRUE(copy.ExecutePost());
    EXPECT_EQ(copy.newId(), Id("x"));

    SWorkspaceListOptions recursive;
    recursive.recursive = true;
    CWorkspaceList all;
    ASSERT_TRUE(CWorkspaceListRequest(*login, 0, recursive, &all).ExecuteGet());
    CWorkspaceCountRequest count(*login, 0, true);
    ASSERT_TRUE(count.ExecuteGet());
    EXPECT_EQ(count.count(), all.size());

    // Not a top-level folder: not in the top level's listing.
    CWorkspaceOffsetRequest offset(*login, Id("経理/2024"), 0, {});
    ASSERT_TRUE(offset.ExecuteGet());
    EXPECT_EQ(offset.offset(), -1);
}

// 400 folders, so that the walk is long enough to be cancelled in its middle.
class ManyWorkspaceAnswers : public SignedInFolders
{
protected:
    QStringList ServerArgs() const override
    {
        return {QStringLiteral("--seed"), QStringLiteral("scale:folders=400,files=0")};
    }
};

TEST_F(ManyWorkspaceAnswers, CancelDuringTheWalkKeepsWhatWasRead)
{
    CWorkspaceList list;
    // Armed by the first folder the walk takes, so the cancel falls inside the walk.
    CancelOnCue cancel([&list] { return list.size() > 0; }, 150);
    SWorkspaceListOptions recursive;
    recursive.recursive = true;
    CWorkspaceListRequest request(*login, 0, recursive, &list, &cancel);
    EXPECT_TRUE(request.ExecuteGet());
    EXPECT_TRUE(cancel.isCancelled());
    EXPECT_FALSE(request.walkComplete());
    EXPECT_GT(list.size(), 0);
    EXPECT_LT(list.size(), 400);
}

// Answers the service never sends.
class CannedWorkspaceAnswers : public Installation
{
protected:
    void SetUp() override
    {
        Installation::SetUp();
        ASSERT_TRUE(WriteServerVqr(installation.dataFolder(), server.serverVqr()));
    }
    QByteArray Answer(const QByteArray &response, const QByteArray &inner)
    {
        return "<?xml version=\"1.0\" encoding=\"UTF-8\"?><velquor><" + response + ">" + inner
               + "</" + response + "></velquor>";
    }
    CannedServer server;
};

TEST_F(CannedWorkspaceAnswers, ListWalkKeepsServiceOrderAndLetsTheLaterDuplicateWin)
{
    server.SetAnswer(QStringLiteral("workspace/list"),
                     ListAnswer({WorkspaceXml(1, QStringLiteral("a"), {1}),
                                 WorkspaceXml(2, QStringLiteral("b"), {1, 2}), "<other/>",
                                 WorkspaceXml(1, QStringLiteral("a2"), {1})}));
    CWorkspaceList list;
    CWorkspaceListRequest request(Key, 0, {}, &list);
    ASSERT_TRUE(request.ExecuteGet());
    EXPECT_TRUE(request.walkComplete());
    EXPECT_EQ(request.readCount(), 3);
    ASSERT_EQ(list.size(), 2);
    EXPECT_EQ(list.At(0)->id, 2);
    EXPECT_EQ(list.At(1)->name, QStringLiteral("a2"));
}

TEST_F(CannedWorkspaceAnswers, MalformedElementEndsTheWalkButTheRequestSucceeds)
{
    server.SetAnswer(
        QStringLiteral("workspace/list"),
        ListAnswer({WorkspaceXml(1, QStringLiteral("a"), {1}),
                    WorkspaceXml(2, QStringLiteral("b"), {2}),
                    WorkspaceXml(3, QStringLiteral("c"), {3}, false, QStringLiteral("readOnly")),
                    WorkspaceXml(4, QStringLiteral("d"), {4})}));
    CWorkspaceList list;
    CWorkspaceListRequest request(Key, 0, {}, &list);
    ASSERT_TRUE(request.ExecuteGet());
    EXPECT_FALSE(request.walkComplete());
    EXPECT_EQ(list.size(), 2);
    EXPECT_EQ(list.FindById(4), nullptr);
}

TEST_F(CannedWorkspaceAnswers, MissingContainerIsAnIncompleteAnswer)
{
    server.SetAnswer(QStringLiteral("workspace/list"), Answer("listResponse", ""));
    CWorkspaceList list;
    CWorkspaceListRequest request(Key, 0, {}, &list);
    try {
        request.ExecuteGet();
        ADD_FAILURE() << "no fault";
    } catch (const CRequestException &e) {
        EXPECT_EQ(e.code(), QStringLiteral("00002"));
    }
}

TEST_F(CannedWorkspaceAnswers, MoveWithOneDestinationFillsBothRecords)
{
    server.SetAnswer(QStringLiteral("workspace/move"),
                     Answer("moveResponse", WorkspaceXml(9, QStringLiteral("m"), {4, 9})
                                                .replace("workspace>", "dstWorkspace>")));
    CWorkspaceRecord moved;
    CWorkspaceRecord destination;
    CWorkspaceMoveRequest request(Key, 9, 4, &moved, &destination);
    ASSERT_TRUE(request.ExecutePost());
    EXPECT_EQ(moved.id, 9);
    EXPECT_EQ(destination.id, 9);
    EXPECT_EQ(moved.pathIds, QList<qint32>({4, 9}));
}

TEST_F(CannedWorkspaceAnswers, CountWithoutItsWorkspaceIdIsIncomplete)
{
    // The client does not use workspaceId, but an answer without it is not whole.
    server.SetAnswer(QStringLiteral("workspace/count"),
                     Answer("countResponse", "<count>1</count>"));
    CWorkspaceCountRequest bad(Key, 0, true);
    EXPECT_THROW(bad.ExecuteGet(), CRequestException);
}

TEST_F(CannedWorkspaceAnswers, TreeAnswerFollowsTheDocumentRules)
{
    CWorkspaceList list;
    // Not well-formed at the end: nothing is taken, as with every other answer.
    QByteArray broken = ListAnswer({WorkspaceXml(1, QStringLiteral("a"), {1})});
    broken.chop(5);
    server.SetAnswer(QStringLiteral("workspace/list"), broken);
    CWorkspaceListRequest truncated(Key, 0, {}, &list);
    EXPECT_THROW(truncated.ExecuteGet(), CBizXmlDomException);
    EXPECT_EQ(list.size(), 0);

    server.SetAnswer(QStringLiteral("workspace/list"),
                     "<?xml version=\"1.0\"?><!DOCTYPE velquor [<!ENTITY x \"y\">]><velquor>"
                     "<listResponse><workspaces/></listResponse></velquor>");
    CWorkspaceListRequest withDtd(Key, 0, {}, &list);
    try {
        withDtd.ExecuteGet();
        ADD_FAILURE() << "a document type was accepted";
    } catch (const CBizXmlDomException &e) {
        EXPECT_EQ(e.resultCode(), XmlError::DtdRefused);
    }

    // Positions of parents count text and comments, white space does not; the names of the
    // other elements are exact.
    server.SetAnswer(
        QStringLiteral("workspace/list"),
        "<velquor><listResponse><workspaces>\n  <Workspace><id>9</id><isDataBox>0</isDataBox>"
        "<name>n</name><parents>\n <parent><id>4</id></parent> x <!--c--><parent><id>9</id>"
        "</parent></parents><readOnly>0</readOnly><updateName>u</updateName>"
        "<updateTime>2024/01/01</updateTime><ID>77</ID></Workspace></workspaces>"
        "</listResponse></velquor>");
    CWorkspaceListRequest positions(Key, 0, {}, &list);
    ASSERT_TRUE(positions.ExecuteGet());
    ASSERT_EQ(list.size(), 1);
    EXPECT_EQ(list.GetHead()->id, 9);
    EXPECT_EQ(list.GetHead()->pathIds, QList<qint32>({4, 0, 0, 9}));
}
