#include "account/UserRecord.h"
#include "service/XmlDocument.h"

#include <QDomDocument>
#include <gtest/gtest.h>

#include <utility>
#include <vector>

namespace {

using Element = std::pair<QString, QString>;

// A complete login answer in the order the service writes it; "relatedSiteUrl" is a group.
std::vector<Element> CompleteProfile()
{
    return {
        {"accessKey", "AK-123"},
        {"bulkDownloadDisableH1From", "8"},
        {"bulkDownloadDisableH1To", "12"},
        {"bulkDownloadDisableH2From", "18"},
        {"bulkDownloadDisableH2To", "19"},
        {"customerDispName", "デモ会計"},
        {"customerFurigana", "でもかいけい"},
        {"customerLoginDispName", "デモ会計事務所"},
        {"customerName", "株式会社デモ会計事務所"},
        {"deleteCache", "true"},
        {"dispName", "山田"},
        {"furigana", "やまだ たろう"},
        {"generationNum", "3"},
        {"id", "42"},
        {"manualUrl", "http://example.test/manual"},
        {"maxFavoriteCount", "10"},
        {"maxFileCommentLength", "11"},
        {"maxFileCopy", "12"},
        {"maxFileCreate", "13"},
        {"maxFileMove", "14"},
        {"maxFileNameLength", "15"},
        {"maxFileNum", "16"},
        {"maxFileSize", "17"},
        {"maxFolderCommentLength", "18"},
        {"maxFolderDepth", "19"},
        {"maxRootFolderLength", "20"},
        {"maxSubFolderLength", "21"},
        {"name", "山田 太郎"},
        {"pcName", "PC-01"},
        {"privBulkDownload", "true"},
        {"privBulkUpload", "true"},
        {"privBulkUploadDataBox", "false"},
        {"privDataBox", "true"},
        {"privEmptyFileUpload", "1"},
        {"privEditDataBox", "false"},
        {"privFileCommentEditDataBox", "false"},
        {"privFileCreate", "true"},
        {"privFileCreateDataBox", "false"},
        {"privFileDelete", "true"},
        {"privFileDeleteDataBox", "false"},
        {"privFileDownload", "true"},
        {"privFileDownloadDataBox", "true"},
        {"privFileMove", "true"},
        {"privFileMoveDataBox", "false"},
        {"privFileOverwrite", "true"},
        {"privFileOverwriteDataBox", "false"},
        {"privFileRename", "true"},
        {"privFileRenameDataBox", "false"},
        {"privFolderCreate", "true"},
        {"privFolderCreateDataBox", "false"},
        {"privFolderDelete", "false"},
        {"privFolderDeleteDataBox", "false"},
        {"privFolderMove", "true"},
        {"privFolderMoveDataBox", "false"},
        {"privReadonlyCreate", "true"},
        {"privReadonlyCreateDataBox", "false"},
        {"privWeb", "true"},
        {"relatedSiteUrl/twitter", "http://example.test/tw"},
        {"relatedSiteUrl/youtube", "http://example.test/yt"},
        {"shop", "http://example.test/shop"},
        {"remoteSupportURL", "http://example.test/rs"},
        {"showUpdateTime", "true"},
        {"type", "20"},
    };
}

QString ToXml(const std::vector<Element> &elements, bool withRelatedGroup = true)
{
    QString related;
    QString body;
    for (const auto &[name, value] : elements) {
        const QString escaped = value.toHtmlEscaped();
        if (name.startsWith(QLatin1String("relatedSiteUrl/"))) {
            const QString child = name.mid(15);
            related += QStringLiteral("<%1>%2</%1>").arg(child, escaped);
            continue;
        }
        if (!related.isNull() && withRelatedGroup) {
            body += QStringLiteral("<relatedSiteUrl>%1</relatedSiteUrl>").arg(related);
            related = QString();
        }
        body += QStringLiteral("<%1>%2</%1>").arg(name, escaped);
    }
    return QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?><velquor><loginResponse>")
           + body + QStringLiteral("</loginResponse></velquor>");
}

std::vector<Element> Without(const QString &name)
{
    auto elements = CompleteProfile();
    std::erase_if(elements, [&](const Element &e) { return e.first == name; });
    return elements;
}

struct SParsed
{
    bool ok = false;
    QString accessKey;
    CUserRecord user;
};

SParsed Parse(const QString &xml, bool withUser = true)
{
    QDomDocument doc;
    EXPECT_TRUE(doc.setContent(xml));
    SParsed r;
    r.ok = ParseLoginResponse(
        CBizXmlElement(doc.documentElement().firstChildElement("loginResponse")), r.accessKey,
        withUser ? &r.user : nullptr);
    return r;
}

} // namespace

TEST(UserRecord, DefaultsBeforeLogin)
{
    const CUserRecord u;
    EXPECT_EQ(u.maxFileSize, 314572800);
    EXPECT_EQ(u.maxFavoriteCount, 500);
    EXPECT_EQ(u.maxFileCommentLength, 5000);
    EXPECT_EQ(u.maxFolderCommentLength, 500);
    EXPECT_EQ(u.maxFileNameLength, 50);
    EXPECT_EQ(u.maxFileNum, 1000);
    EXPECT_EQ(u.maxFileCreate, 100);
    EXPECT_EQ(u.maxFileMove, 1000);
    EXPECT_EQ(u.maxFileCopy, 500);
    EXPECT_EQ(u.maxFolderDepth, 3);
    EXPECT_EQ(u.maxRootFolderLength, 40);
    EXPECT_EQ(u.maxSubFolderLength, 20);
    EXPECT_EQ(u.bulkDownloadDisableH1From, 9);
    EXPECT_EQ(u.bulkDownloadDisableH1To, 11);
    EXPECT_EQ(u.bulkDownloadDisableH2From, 0);
    EXPECT_EQ(u.bulkDownloadDisableH2To, 0);
    EXPECT_EQ(u.id, 0);
    EXPECT_EQ(u.type, 0);
    EXPECT_EQ(u.generationNum, 0);
    EXPECT_FALSE(u.privWeb || u.deleteCache || u.privBulkDownload || u.privFileCreate
                 || u.privDataBox || u.showUpdateTime || u.privEmptyFileUpload);
    EXPECT_FALSE(u.remoteSupportURL.isEmpty());
    EXPECT_TRUE(u.manualUrl.isEmpty() && u.shop.isEmpty() && u.pcName.isEmpty()
                && u.customerLoginDispName.isEmpty());
}

TEST(UserRecord, ClearRestoresDefaults)
{
    CUserRecord u;
    u.maxFileSize = 1;
    u.name = "x";
    u.privWeb = true;
    u.bulkDownloadDisableH1From = 3;
    u.remoteSupportURL.clear();
    u.Clear();
    EXPECT_EQ(u.maxFileSize, 314572800);
    EXPECT_TRUE(u.name.isEmpty());
    EXPECT_FALSE(u.privWeb);
    EXPECT_EQ(u.bulkDownloadDisableH1From, 9);
    EXPECT_EQ(u.remoteSupportURL, CUserRecord::DefaultRemoteSupportUrl());
}

TEST(LoginResponse, CompleteAnswerFillsEveryField)
{
    const SParsed r = Parse(ToXml(CompleteProfile()));
    ASSERT_TRUE(r.ok);
    const CUserRecord &u = r.user;
    EXPECT_EQ(r.accessKey, "AK-123");
    EXPECT_EQ(u.bulkDownloadDisableH1From, 8);
    EXPECT_EQ(u.bulkDownloadDisableH1To, 12);
    EXPECT_EQ(u.bulkDownloadDisableH2From, 18);
    EXPECT_EQ(u.bulkDownloadDisableH2To, 19);
    EXPECT_EQ(u.customerDispName, "デモ会計");
    EXPECT_EQ(u.customerFurigana, "でもかいけい");
    EXPECT_EQ(u.customerLoginDispName, "デモ会計事務所");
    EXPECT_EQ(u.customerName, "株式会社デモ会計事務所");
    EXPECT_TRUE(u.deleteCache);
    EXPECT_EQ(u.dispName, "山田");
    EXPECT_EQ(u.furigana, "やまだ たろう");
    EXPECT_EQ(u.generationNum, 3);
    EXPECT_EQ(u.id, 42);
    EXPECT_EQ(u.manualUrl, "http://example.test/manual");
    EXPECT_EQ(u.maxFavoriteCount, 10);
    EXPECT_EQ(u.maxFileCommentLength, 11);
    EXPECT_EQ(u.maxFileCopy, 12);
    EXPECT_EQ(u.maxFileCreate, 13);
    EXPECT_EQ(u.maxFileMove, 14);
    EXPECT_EQ(u.maxFileNameLength, 15);
    EXPECT_EQ(u.maxFileNum, 16);
    EXPECT_EQ(u.maxFileSize, 17);
    EXPECT_EQ(u.maxFolderCommentLength, 18);
    EXPECT_EQ(u.maxFolderDepth, 19);
    EXPECT_EQ(u.maxRootFolderLength, 20);
    EXPECT_EQ(u.maxSubFolderLength, 21);
    EXPECT_EQ(u.name, "山田 太郎");
    EXPECT_EQ(u.pcName, "PC-01");
    EXPECT_TRUE(u.privBulkDownload);
    EXPECT_TRUE(u.privBulkUpload);
    EXPECT_FALSE(u.privBulkUploadDataBox);
    EXPECT_TRUE(u.privDataBox);
    EXPECT_TRUE(u.privEmptyFileUpload);
    EXPECT_TRUE(u.privFileCreate && u.privFileDelete && u.privFileDownload && u.privFileMove
                && u.privFileOverwrite && u.privFileRename && u.privFolderCreate && u.privFolderMove
                && u.privReadonlyCreate && u.privWeb);
    EXPECT_FALSE(u.privFolderDelete);
    EXPECT_TRUE(u.privFileDownloadDataBox);
    EXPECT_FALSE(u.privFileCreateDataBox || u.privFileDeleteDataBox || u.privEditDataBox
                 || u.privFolderCreateDataBox || u.privReadonlyCreateDataBox);
    EXPECT_EQ(u.twitter, "http://example.test/tw");
    EXPECT_EQ(u.youtube, "http://example.test/yt");
    EXPECT_EQ(u.shop, "http://example.test/shop");
    EXPECT_EQ(u.remoteSupportURL, "http://example.test/rs");
    EXPECT_TRUE(u.showUpdateTime);
    EXPECT_EQ(u.type, 20);
}

TEST(LoginResponse, WithoutUserRecordOnlyTheAccessKeyIsNeeded)
{
    const SParsed r = Parse(ToXml({{"accessKey", "K"}}), false);
    EXPECT_TRUE(r.ok);
    EXPECT_EQ(r.accessKey, "K");
}

TEST(LoginResponse, OptionalElementsMayBeMissing)
{
    auto elements = Without("customerLoginDispName");
    std::erase_if(elements, [](const Element &e) { return e.first == "pcName"; });
    const SParsed r = Parse(ToXml(elements));
    EXPECT_TRUE(r.ok);
    EXPECT_TRUE(r.user.customerLoginDispName.isEmpty());
    EXPECT_TRUE(r.user.pcName.isEmpty());
    EXPECT_EQ(r.user.type, 20);
}

TEST(LoginResponse, ElementsOutOfOrderAreStillRead)
{
    auto elements = CompleteProfile();
    std::reverse(elements.begin() + 1, elements.end());
    const SParsed r = Parse(ToXml(elements));
    EXPECT_TRUE(r.ok);
    EXPECT_EQ(r.user.maxFileNum, 16);
    EXPECT_EQ(r.user.twitter, "http://example.test/tw");
}

class LoginResponseMissing : public ::testing::TestWithParam<const char *>
{};

TEST_P(LoginResponseMissing, RequiredElementFailsTheParse)
{
    const SParsed r = Parse(ToXml(Without(QString::fromLatin1(GetParam()))));
    EXPECT_FALSE(r.ok);
}

INSTANTIATE_TEST_SUITE_P(, LoginResponseMissing,
                         ::testing::Values("accessKey", "bulkDownloadDisableH1From", "id",
                                           "maxFileSize", "name", "privBulkDownload", "privWeb",
                                           "relatedSiteUrl/twitter", "relatedSiteUrl/youtube",
                                           "shop", "remoteSupportURL", "showUpdateTime", "type"));

TEST(LoginResponse, MissingElementKeepsWhatWasReadBefore)
{
    const SParsed r = Parse(ToXml(Without("maxFileNum")));
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.accessKey, "AK-123"); // stored even though the profile failed
    EXPECT_EQ(r.user.generationNum, 3);
    EXPECT_EQ(r.user.maxFileNameLength, 15);
    EXPECT_EQ(r.user.maxFileSize, 314572800); // after the gap: untouched default
    EXPECT_EQ(r.user.type, 0);
}

TEST(LoginResponse, RelatedSitesMustBeInsideTheirGroup)
{
    // twitter and youtube as direct children of the answer, no relatedSiteUrl.
    const SParsed r = Parse(ToXml(CompleteProfile(), false).replace("relatedSiteUrl/", ""));
    EXPECT_FALSE(r.ok);

    // A group without its children fails as well.
    auto elements = Without("relatedSiteUrl/twitter");
    const SParsed r2 = Parse(ToXml(elements));
    EXPECT_FALSE(r2.ok);
}

TEST(LoginResponse, ShopUnderTheGroupIsNotTheDirectChild)
{
    // shop moved into relatedSiteUrl: the direct child is missing.
    auto elements = Without("shop");
    const auto twitter = std::find_if(elements.begin(), elements.end(), [](const Element &e) {
        return e.first == "relatedSiteUrl/twitter";
    });
    elements.insert(twitter, {"relatedSiteUrl/shop", "http://example.test/shop"});
    const SParsed r = Parse(ToXml(elements));
    EXPECT_FALSE(r.ok);
}

// ---- forbidden bulk-download periods ----

struct SPeriodCase
{
    int from;
    int to;
    int hour;
    bool forbidden;
};

class ForbiddenPeriod : public ::testing::TestWithParam<SPeriodCase>
{};

TEST_P(ForbiddenPeriod, HourInPeriod)
{
    const auto c = GetParam();
    EXPECT_EQ(IsHourInForbiddenPeriod(c.hour, c.from, c.to), c.forbidden)
        << c.from << "-" << c.to << " at " << c.hour;
}

INSTANTIATE_TEST_SUITE_P(
    , ForbiddenPeriod,
    ::testing::Values(
        SPeriodCase{9, 11, 8, false}, SPeriodCase{9, 11, 9, true}, SPeriodCase{9, 11, 10, true},
        SPeriodCase{9, 11, 11, false}, SPeriodCase{0, 0, 0, false}, SPeriodCase{0, 0, 12, false},
        SPeriodCase{5, 5, 5, false},
        // past midnight
        SPeriodCase{22, 2, 21, false}, SPeriodCase{22, 2, 22, true}, SPeriodCase{22, 2, 23, true},
        SPeriodCase{22, 2, 0, true}, SPeriodCase{22, 2, 1, true}, SPeriodCase{22, 2, 2, false},
        SPeriodCase{0, 24, 23, true}, SPeriodCase{20, 24, 23, true}, SPeriodCase{20, 24, 0, false},
        // nonsense hours forbid nothing
        SPeriodCase{-1, 5, 0, false}, SPeriodCase{3, -1, 4, false}, SPeriodCase{3, 30, 4, false}));

TEST(ForbiddenPeriodText, Texts)
{
    EXPECT_EQ(ForbiddenPeriodText(9, 11), QStringLiteral("09:00 ー 11:00"));
    EXPECT_EQ(ForbiddenPeriodText(22, 2), QStringLiteral("22:00 ー 02:00"));
    EXPECT_EQ(ForbiddenPeriodText(0, 0), QString());
    EXPECT_EQ(ForbiddenPeriodText(-1, 3), QString());
    EXPECT_EQ(ForbiddenPeriodText(3, -1), QString());
}

TEST(BulkDownloadAllowed, DefaultPeriods)
{
    const CUserRecord u; // 9-11 and 0-0
    EXPECT_TRUE(IsBulkDownloadAllowedAt(u, 0));
    EXPECT_TRUE(IsBulkDownloadAllowedAt(u, 8));
    EXPECT_FALSE(IsBulkDownloadAllowedAt(u, 9));
    EXPECT_FALSE(IsBulkDownloadAllowedAt(u, 10));
    EXPECT_TRUE(IsBulkDownloadAllowedAt(u, 11));
    EXPECT_TRUE(IsBulkDownloadAllowedAt(u, 23));
}

TEST(BulkDownloadAllowed, EitherPeriodForbids)
{
    CUserRecord u;
    u.bulkDownloadDisableH2From = 18;
    u.bulkDownloadDisableH2To = 20;
    EXPECT_FALSE(IsBulkDownloadAllowedAt(u, 10));
    EXPECT_FALSE(IsBulkDownloadAllowedAt(u, 19));
    EXPECT_TRUE(IsBulkDownloadAllowedAt(u, 20));
    EXPECT_TRUE(IsBulkDownloadAllowedAt(u, 12));
}

// ---- update counter ----

struct SCounterCase
{
    quint32 last;
    quint32 own;
    quint32 expected;
};

class UpdateCounterAdvance : public ::testing::TestWithParam<SCounterCase>
{};

TEST_P(UpdateCounterAdvance, Wraps)
{
    const auto c = GetParam();
    EXPECT_EQ(AdvanceUpdateCounter(c.last, c.own), c.expected);
}

INSTANTIATE_TEST_SUITE_P(, UpdateCounterAdvance,
                         ::testing::Values(SCounterCase{10, 0, 10}, SCounterCase{10, 5, 15},
                                           SCounterCase{4294967294u, 1, 4294967295u},
                                           SCounterCase{4294967294u, 3, 2},
                                           SCounterCase{4294967295u, 1, 1},
                                           SCounterCase{4294967295u, 4294967295u, 4294967295u},
                                           SCounterCase{0, 4294967295u, 4294967295u}));
