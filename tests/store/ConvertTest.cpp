#include "store/Convert.h"

#include <gtest/gtest.h>

namespace {

struct SParseCase
{
    const char16_t *text;
    qint64 int32Result;
    qint64 int64Result;
};

class ParseIntTest : public ::testing::TestWithParam<SParseCase>
{};

TEST_P(ParseIntTest, ReadsLikeTheServiceTexts)
{
    const SParseCase &c = GetParam();
    const QString text = QString::fromUtf16(c.text);
    EXPECT_EQ(ParseInt(text), c.int32Result) << text.toStdString();
    EXPECT_EQ(ParseInt64(text), c.int64Result) << text.toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Table, ParseIntTest,
    ::testing::Values(SParseCase{u"  42  ", 42, 42}, SParseCase{u"0x1f", 31, 31},
                      SParseCase{u"0X1F", 31, 31}, SParseCase{u"yes", 1, 1},
                      SParseCase{u"YeS", 1, 1}, SParseCase{u"TRUE", 1, 1}, SParseCase{u"no", 0, 0},
                      SParseCase{u"False", 0, 0}, SParseCase{u"abc", 0, 0}, SParseCase{u"", 0, 0},
                      SParseCase{u"\t-17\r\n", -17, -17}, SParseCase{u"12abc", 12, 12},
                      SParseCase{u"0x", 0, 0}, SParseCase{u"0xzz", 0, 0}, SParseCase{u"0x1g", 1, 1},
                      // Eight hex digits from 80000000 up are negative 32-bit values.
                      SParseCase{u"0xffffffff", -1, 0xffffffffLL},
                      SParseCase{u"0x80000000", INT32_MIN, 0x80000000LL},
                      // Out of range: saturates instead of wrapping (no undefined overflow).
                      SParseCase{u"99999999999", INT32_MAX, 99999999999LL},
                      SParseCase{u"-99999999999", INT32_MIN, -99999999999LL},
                      SParseCase{u"2147483647", INT32_MAX, INT32_MAX},
                      SParseCase{u"-2147483648", INT32_MIN, INT32_MIN},
                      SParseCase{u"99999999999999999999999", INT32_MAX, INT64_MAX},
                      SParseCase{u"-9223372036854775808", INT32_MIN, INT64_MIN},
                      SParseCase{u"0x1234567890abcdef0", -1, -1}));

TEST(FormatTest, GroupsDigitsFromTheRight)
{
    EXPECT_EQ(FormatInt(1234567, true), u"1,234,567");
    EXPECT_EQ(FormatInt(-1234567, true), u"-1,234,567");
    EXPECT_EQ(FormatInt(-1234, true), u"-1,234");
    EXPECT_EQ(FormatInt(-123, true), u"-123");
    EXPECT_EQ(FormatInt(123, true), u"123");
    EXPECT_EQ(FormatInt(0, true), u"0");
    EXPECT_EQ(FormatInt(INT32_MIN, true), u"-2,147,483,648");
    EXPECT_EQ(FormatInt(-1234567, false), u"-1234567");
    EXPECT_EQ(FormatUInt(4294967295u, true), u"4,294,967,295");
    EXPECT_EQ(FormatInt64(-9223372036854775807LL - 1, true), u"-9,223,372,036,854,775,808");
    EXPECT_EQ(FormatInt64(100000, true), u"100,000");
    EXPECT_EQ(FormatBool(true), u"true");
    EXPECT_EQ(FormatBool(false), u"false");
}

TEST(VersionTest, ParsesDigitRunsAndRoundTrips)
{
    quint32 ls = 0;
    EXPECT_EQ(ParseVersion(u"1.1.6.6"_qs, &ls), 0x00010001u);
    EXPECT_EQ(ls, 0x00060006u);
    ls = 0;
    EXPECT_EQ(ParseVersion(u"v1.1-6 6"_qs, &ls), 0x00010001u);
    EXPECT_EQ(ls, 0x00060006u);
    EXPECT_EQ(FormatVersion(0x00010001u, 0x00060006u), u"1.1.6.6");

    // Missing runs count 0, extra runs are ignored, run 2 and 4 keep their low 16 bits.
    EXPECT_EQ(ParseVersion(u"2.5"_qs, &ls), 0x00020005u);
    EXPECT_EQ(ls, 0u);
    EXPECT_EQ(ParseVersion(u"1.2.3.4.5.6"_qs, &ls), 0x00010002u);
    EXPECT_EQ(ls, 0x00030004u);
    EXPECT_EQ(ParseVersion(u"1.65537.0.65538"_qs, &ls), 0x00010001u);
    EXPECT_EQ(ls, 0x00000002u);
    EXPECT_EQ(FormatVersion(0xFFFFFFFFu, 0), u"65535.65535.0.0");

    // Empty text: 0, the caller's second value stays.
    ls = 0xDEADBEEF;
    EXPECT_EQ(ParseVersion(QString(), &ls), 0u);
    EXPECT_EQ(ls, 0xDEADBEEFu);
    EXPECT_EQ(ParseVersion(u"no digits"_qs, &ls), 0u);
    EXPECT_EQ(ls, 0u);

    for (quint32 ms : {0u, 0x00020000u, 0x7FFF8001u})
        for (quint32 low : {0u, 0x00060006u, 0xFFFF0001u}) {
            quint32 back = 1;
            EXPECT_EQ(ParseVersion(FormatVersion(ms, low), &back), ms);
            EXPECT_EQ(back, low);
        }
}

TEST(HexStringTest, TwoLowerCaseDigitsPerByte)
{
    EXPECT_EQ(HexString(QByteArray::fromHex("00ff10ab")), u"00ff10ab");
    EXPECT_EQ(HexString(QByteArray()), u"");
}

struct SSizeCase
{
    qint64 bytes;
    const char16_t *text;
};

class ByteSizeTest : public ::testing::TestWithParam<SSizeCase>
{};

TEST_P(ByteSizeTest, ThreeSignificantDigitsInUnitsOf1024)
{
    EXPECT_EQ(FormatByteSize(GetParam().bytes), QString::fromUtf16(GetParam().text));
}

INSTANTIATE_TEST_SUITE_P(
    Table, ByteSizeTest,
    ::testing::Values(SSizeCase{0, u"0 バイト"}, SSizeCase{532, u"532 バイト"},
                      SSizeCase{1023, u"1023 バイト"}, SSizeCase{1024, u"1.00 KB"},
                      SSizeCase{1536, u"1.50 KB"}, SSizeCase{12595, u"12.2 KB"},
                      SSizeCase{12596, u"12.3 KB"}, SSizeCase{125952, u"123 KB"},
                      // 999.9 KB would need four digits: next unit
                      SSizeCase{1023 * 1024, u"0.99 MB"}, SSizeCase{1048575, u"0.99 MB"},
                      SSizeCase{1048576, u"1.00 MB"},
                      SSizeCase{5LL * 1024 * 1024 * 1024, u"5.00 GB"}, SSizeCase{-5, u"0 バイト"}));

TEST(JoinStringsTest, SkipsEmptyElementsAfterTheStart)
{
    const QStringList parts{u""_qs, u"a"_qs, u""_qs, u"b"_qs, u"c"_qs};
    EXPECT_EQ(JoinStrings(parts, u'/', 0), u"/a/b/c");
    EXPECT_EQ(JoinStrings(parts, u'/', 0, true), u"a/b/c");
    EXPECT_EQ(JoinStrings(parts, u'/', 1), u"a/b/c");
    EXPECT_EQ(JoinStrings(parts, u'/', 2), u"/b/c"); // the start element is kept even empty
    EXPECT_EQ(JoinStrings(parts, QChar(), 0), u"abc");
    EXPECT_EQ(JoinStrings(parts, u'/', 5), u"");
    EXPECT_EQ(JoinStrings(parts, u'/', -1), u"");
    EXPECT_EQ(JoinStrings({}, u'/', 0), u"");
}

TEST(FindStringLooseTest, FindsContainedTextIgnoringWidthKanaAndCase)
{
    const QStringList parts{u""_qs, u"請求書ABC"_qs, u"ｾｲｷｭｳｼｮ"_qs, u"見積書"_qs};
    EXPECT_EQ(FindStringLoose(parts, u"abc"_qs), 1);
    EXPECT_EQ(FindStringLoose(parts, u"ＡＢＣ"_qs), 1);
    EXPECT_EQ(FindStringLoose(parts, u"せいきゅう"_qs), 2);
    EXPECT_EQ(FindStringLoose(parts, u"見積"_qs), 3);
    EXPECT_EQ(FindStringLoose(parts, u"abc"_qs, 2), -1);
    EXPECT_EQ(FindStringLoose(parts, u"領収"_qs), -1);
    // An empty text matches the first non-empty element.
    EXPECT_EQ(FindStringLoose(parts, QString()), 1);
    EXPECT_EQ(FindStringLoose(parts, QString(), 2), 2);
    EXPECT_EQ(FindStringLoose({}, QString()), -1);
}

} // namespace
