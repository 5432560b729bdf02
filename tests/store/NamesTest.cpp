#include "store/AnsiCodec.h"
#include "store/NameCheck.h"
#include "store/NameCompare.h"

#include <QRandomGenerator>

#include <iconv.h>

#include <gtest/gtest.h>

namespace {

struct SNamePair
{
    const char16_t *a;
    const char16_t *b;
};

class LooseEqualTest : public ::testing::TestWithParam<SNamePair>
{};

TEST_P(LooseEqualTest, IgnoresCaseWidthKanaAccentsAndSymbols)
{
    const QString a = QString::fromUtf16(GetParam().a);
    const QString b = QString::fromUtf16(GetParam().b);
    EXPECT_EQ(CompareNamesLoose(a, b), 0) << a.toStdString() << " / " << b.toStdString();
    EXPECT_EQ(NameSortKey(a), NameSortKey(b));
}

INSTANTIATE_TEST_SUITE_P(Pairs, LooseEqualTest,
                         ::testing::Values(SNamePair{u"ｱ", u"ア"}, SNamePair{u"ア", u"あ"},
                                           SNamePair{u"Ａ", u"a"}, SNamePair{u"ABC", u"abc"},
                                           SNamePair{u"é", u"e"}, SNamePair{u"が", u"か"},
                                           SNamePair{u"ｶﾞ", u"か"}, SNamePair{u"a-b_c", u"abc"},
                                           SNamePair{u"（株）経理", u"株経理"},
                                           SNamePair{u"Report.xlsx", u"report xlsx"}));

TEST(NameCompareTest, OrdersDistinctNames)
{
    EXPECT_LT(CompareNamesLoose(u"a"_qs, u"b"_qs), 0);
    EXPECT_GT(CompareNamesLoose(u"b"_qs, u"A"_qs), 0);
    EXPECT_LT(CompareNamesLoose(u"あ"_qs, u"い"_qs), 0);
    EXPECT_LT(CompareNamesLoose(u"ｱ"_qs, u"イ"_qs), 0);
    EXPECT_NE(CompareNamesLoose(u"経理"_qs, u"総務"_qs), 0);
    EXPECT_EQ(CompareNamesLoose(QString(), QString()), 0);
    EXPECT_LT(CompareNamesLoose(QString(), u"a"_qs), 0);

    CNameLooseLess less;
    EXPECT_TRUE(less(u"a"_qs, u"B"_qs));
    EXPECT_FALSE(less(u"ｱ"_qs, u"あ"_qs));
    EXPECT_FALSE(less(u"あ"_qs, u"ｱ"_qs));
}

TEST(NameCompareTest, SortKeysAgreeWithTheComparison)
{
    QRandomGenerator rng(99);
    const QString alphabet = u"aAbBｱアあいイｲ経理総務-_ 1２éeがか"_qs;
    QStringList names;
    for (int i = 0; i < 300; ++i) {
        QString n;
        for (int k = 0, len = 1 + int(rng.bounded(5)); k < len; ++k)
            n += alphabet.at(rng.bounded(int(alphabet.size())));
        names.append(n);
    }
    for (int i = 0; i + 1 < names.size(); ++i) {
        const int byCompare = CompareNamesLoose(names[i], names[i + 1]);
        const QByteArray ka = NameSortKey(names[i]), kb = NameSortKey(names[i + 1]);
        const int byKey = ka < kb ? -1 : (kb < ka ? 1 : 0);
        EXPECT_EQ(byCompare, byKey)
            << names[i].toStdString() << " / " << names[i + 1].toStdString();
    }
}

TEST(NameCompareTest, SortIsStableAmongEqualNames)
{
    QStringList names{u"い"_qs, u"ｱ"_qs, u"b"_qs, u"あ"_qs, u"ア"_qs, u"A"_qs, u"a"_qs};
    SortNamesLoose(names);
    // Equal under the loose rule keep their input order: ｱ before あ before ア; A before a.
    const QStringList expected{u"A"_qs, u"a"_qs, u"b"_qs, u"ｱ"_qs, u"あ"_qs, u"ア"_qs, u"い"_qs};
    EXPECT_EQ(names, expected);
}

TEST(NameCompareTest, ContainsIgnoresTheSameDifferences)
{
    EXPECT_TRUE(ContainsNameLoose(u"2024年 請求書（ＡＢＣ）.pdf"_qs, u"abc"_qs));
    EXPECT_TRUE(ContainsNameLoose(u"ｾｲｷｭｳｼｮ"_qs, u"せいきゅう"_qs));
    EXPECT_TRUE(ContainsNameLoose(u"café"_qs, u"CAFE"_qs));
    EXPECT_FALSE(ContainsNameLoose(u"見積書"_qs, u"請求"_qs));
    EXPECT_FALSE(ContainsNameLoose(QString(), u"a"_qs));
    EXPECT_TRUE(ContainsNameLoose(u"abc"_qs, QString()));
}

TEST(NameIdentityTest, IgnoresLetterCaseOnly)
{
    EXPECT_TRUE(EqualNamesIgnoreCase(u"Report.XLSX"_qs, u"report.xlsx"_qs));
    EXPECT_TRUE(EqualNamesIgnoreCase(u"ÄÖ"_qs, u"äö"_qs));
    EXPECT_FALSE(EqualNamesIgnoreCase(u"ｱ"_qs, u"ア"_qs));  // width is identity
    EXPECT_FALSE(EqualNamesIgnoreCase(u"あ"_qs, u"ア"_qs)); // kana type too
    EXPECT_FALSE(EqualNamesIgnoreCase(u"Ａ"_qs, u"a"_qs));
    EXPECT_FALSE(EqualNamesIgnoreCase(u"é"_qs, u"e"_qs));
    EXPECT_FALSE(EqualNamesIgnoreCase(u"a-b"_qs, u"ab"_qs));
    EXPECT_EQ(CompareNamesIgnoreCase(u"abc"_qs, u"ABD"_qs), -1);
    EXPECT_EQ(CompareNamesIgnoreCase(u"ABC"_qs, u"abc"_qs), 0);
}

struct SComponentCase
{
    const char16_t *name;
    bool valid;
};

class PathComponentTest : public ::testing::TestWithParam<SComponentCase>
{};

TEST_P(PathComponentTest, RefusesNamesThatLeaveTheFolder)
{
    const QString name = QString::fromUtf16(GetParam().name);
    EXPECT_EQ(IsValidPathComponent(name), GetParam().valid) << name.toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Table, PathComponentTest,
    ::testing::Values(SComponentCase{u"経理", true}, SComponentCase{u"report.xlsx", true},
                      SComponentCase{u"a b (1)", true}, SComponentCase{u"...", true},
                      SComponentCase{u".hidden", true}, SComponentCase{u"", false},
                      SComponentCase{u".", false}, SComponentCase{u"..", false},
                      SComponentCase{u"a/b", false}, SComponentCase{u"a\\b", false},
                      SComponentCase{u"../etc", false}, SComponentCase{u"C:", false},
                      SComponentCase{u"a*", false}, SComponentCase{u"a?", false},
                      SComponentCase{u"\"q\"", false}, SComponentCase{u"<a>", false},
                      SComponentCase{u"a|b", false}, SComponentCase{u"a\tb", false},
                      SComponentCase{u"a\nb", false}, SComponentCase{u"\x7f", false},
                      SComponentCase{u"\x85", false}));

TEST(PathComponentTest, RefusesAnEmbeddedZero)
{
    EXPECT_FALSE(IsValidPathComponent(QString(QChar(0)) + u"x"));
}

TEST(AnsiCodecTest, WritesCp932AndQuestionMarksForUnmappable)
{
    EXPECT_EQ(ToAnsi(u"ログ出力日時"_qs), QByteArray::fromHex("838d834f8f6f97cd93fa8e9e"));
    EXPECT_EQ(ToAnsi(u"abc,\"1\""_qs), QByteArray("abc,\"1\""));
    // The characters Qt's Shift_JIS codec breaks (it writes FC FC).
    EXPECT_EQ(ToAnsi(u"〜"_qs), QByteArray::fromHex("8160"));
    EXPECT_EQ(ToAnsi(u"−"_qs), QByteArray::fromHex("817c"));
    EXPECT_EQ(ToAnsi(u"ｱ"_qs), QByteArray::fromHex("b1"));
    // One unmappable character (a surrogate pair, a lone surrogate) is one '?'.
    EXPECT_EQ(ToAnsi(u"a😀b"_qs), QByteArray("a?b"));
    EXPECT_EQ(ToAnsi(QString(QChar(0xD800)) + u"x"), QByteArray("?x"));
    EXPECT_EQ(ToAnsi(u"日€本"_qs), QByteArray::fromHex("93fa3f967b"));
    EXPECT_EQ(ToAnsi(QString()), QByteArray());
}

// What converting one code point at a time with iconv gives: '?' for a code point it cannot
// take or that writes nothing, ASCII as it is.
QByteArray ToAnsiOneByOne(const QString &text)
{
    iconv_t cd = iconv_open("CP932", "UTF-16LE");
    EXPECT_NE(cd, iconv_t(-1));
    QByteArray result;
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n;) {
        const char16_t unit = text.at(i).unicode();
        const bool pair = QChar::isHighSurrogate(unit) && i + 1 < n
                          && QChar::isLowSurrogate(text.at(i + 1).unicode());
        const qsizetype count = pair ? 2 : 1;
        if (unit < 0x80) {
            result.append(char(unit));
        } else if (QChar::isSurrogate(unit) && !pair) {
            result.append('?');
        } else {
            char in[4];
            for (qsizetype k = 0; k < count; ++k) {
                const char16_t u = text.at(i + k).unicode();
                in[2 * k] = char(u & 0xFF);
                in[2 * k + 1] = char(u >> 8);
            }
            char out[8];
            char *inPtr = in;
            char *outPtr = out;
            size_t inLeft = size_t(count) * 2;
            size_t outLeft = sizeof out;
            if (iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft) == size_t(-1) || outPtr == out) {
                iconv(cd, nullptr, nullptr, nullptr, nullptr);
                result.append('?');
            } else {
                result.append(out, outPtr - out);
            }
        }
        i += count;
    }
    iconv_close(cd);
    return result;
}

TEST(AnsiCodecTest, WholeTextConvertsAsOneCodePointAtATime)
{
    // Every UTF-16 unit (lone surrogates among them) between ASCII letters, so every
    // unmappable one is met in the middle of a run.
    QString all;
    for (char32_t u = 1; u <= 0xFFFF; ++u) {
        all += QChar(char16_t(u));
        if (u % 7 == 0)
            all += u'a';
    }
    EXPECT_EQ(ToAnsi(all), ToAnsiOneByOne(all));
    // Pairs (none of them in CP932), broken pairs, and unmappable characters at both ends.
    const QString edges = QString(QChar(0xDC00)) + u"€日😀本" + QChar(0xD83D) + u"ア" + QChar(0xDE00)
                          + QChar(0xD800) + QChar(0xD800) + u"x€" + QChar(0xD83D);
    EXPECT_EQ(ToAnsi(edges), ToAnsiOneByOne(edges));
    EXPECT_EQ(ToAnsi(edges), QByteArray::fromHex("3f3f93fa3f967b3f83413f3f3f783f3f"));
}

TEST(AnsiCodecTest, ReadsCp932AndSurvivesBrokenBytes)
{
    EXPECT_EQ(FromAnsi(QByteArray::fromHex("838d834f8f6f97cd93fa8e9e")), u"ログ出力日時");
    EXPECT_EQ(FromAnsi(QByteArray::fromHex("b1")), u"ｱ");
    const QString mixed = u"請求書_2024（ｶﾌﾞ）～－.csv"_qs;
    EXPECT_EQ(FromAnsi(ToAnsi(mixed)), mixed);
    // 81 60 is the full-width tilde when read, as on Windows; the wave dash maps onto it.
    EXPECT_EQ(FromAnsi(ToAnsi(u"〜"_qs)), u"～");
    // A lead byte at the end and a lead byte followed by an invalid trail byte.
    EXPECT_EQ(FromAnsi(QByteArray("ab\x83", 3)), u"ab?");
    EXPECT_EQ(FromAnsi(QByteArray("\x83\x20x", 3)), u"? x");
    EXPECT_EQ(FromAnsi(QByteArray()), u"");
}

} // namespace
