#include "store/IdPath.h"

#include <QRandomGenerator>

#include <gtest/gtest.h>

namespace {

const QString Sep = QString(QChar(IdPathSeparator));

TEST(IdPathTest, EncodesEightLowerCaseHexDigitsAndName)
{
    EXPECT_EQ(EncodeIdName(26, u"経理"_qs), u"0000001a経理");
    EXPECT_EQ(EncodeIdName(1, QString()), u"00000001");
    EXPECT_EQ(EncodeIdPath({1, 255}, {u"A"_qs, u"B"_qs}), u"00000001A" + Sep + u"000000ffB");
    EXPECT_EQ(EncodeIdPath({}, {}), u"");
    EXPECT_EQ(EncodeIdPath({7}, {u"x"_qs}), u"00000007x");
    // Only the levels present in both lists.
    EXPECT_EQ(EncodeIdPath({1, 2, 3}, {u"a"_qs}), u"00000001a");
}

TEST(IdPathTest, DecodeNameSplitsIdAndRest)
{
    QString name = u"junk"_qs;
    EXPECT_EQ(DecodeIdName(u"00000001"_qs, &name), 1);
    EXPECT_TRUE(name.isEmpty());
    EXPECT_EQ(DecodeIdName(u"0000001a経理"_qs, &name), 26);
    EXPECT_EQ(name, u"経理");
    EXPECT_EQ(DecodeIdName(u"abc"_qs, &name), 0);
    EXPECT_TRUE(name.isEmpty());
}

struct SDecodeCase
{
    const char16_t *path;
    QList<qint32> ids;
    QStringList names;
};

class DecodeIdPathTest : public ::testing::TestWithParam<SDecodeCase>
{};

TEST_P(DecodeIdPathTest, SkipsWhatIsNotALevel)
{
    const SDecodeCase &c = GetParam();
    QList<qint32> ids{99};
    QStringList names{u"stale"_qs};
    const int count = DecodeIdPath(QString::fromUtf16(c.path), &ids, &names);
    EXPECT_EQ(count, c.ids.size());
    // As std::vector: Qt 6.4's QList == hands a null pointer to memcmp for an empty list.
    EXPECT_EQ(std::vector<qint32>(ids.begin(), ids.end()),
              std::vector<qint32>(c.ids.begin(), c.ids.end()));
    EXPECT_EQ(names, c.names);
}

INSTANTIATE_TEST_SUITE_P(
    EdgeCases, DecodeIdPathTest,
    ::testing::Values(SDecodeCase{u"00000001A\\000000ffB", {1, 255}, {u"A"_qs, u"B"_qs}},
                      SDecodeCase{u"00000001A/000000ffB", {1, 255}, {u"A"_qs, u"B"_qs}},
                      SDecodeCase{u"\\\\00000001A\\\\\\000000ffB\\", {1, 255}, {u"A"_qs, u"B"_qs}},
                      SDecodeCase{u"//00000001A/\\/000000ffB/", {1, 255}, {u"A"_qs, u"B"_qs}},
                      SDecodeCase{u"abc\\00000002X", {2}, {u"X"_qs}},
                      SDecodeCase{u"00000000X\\00000003Y", {3}, {u"Y"_qs}},
                      SDecodeCase{u"ffffffffX\\80000000Z\\00000004W", {4}, {u"W"_qs}},
                      SDecodeCase{u"0000001A", {26}, {u""_qs}},
                      SDecodeCase{u"0000001a", {26}, {u""_qs}},
                      // Digits read as far as they go: "0001g000" reads 0x0001.
                      SDecodeCase{u"0001g000rest", {1}, {u"rest"_qs}},
                      SDecodeCase{u"zzzzzzzzName", {}, {}}, SDecodeCase{u"", {}, {}},
                      SDecodeCase{u"\\\\\\", {}, {}},
                      SDecodeCase{u"7fffffffMax", {INT32_MAX}, {u"Max"_qs}}));

TEST(IdPathTest, RoundTripsRandomChains)
{
    QRandomGenerator rng(4711);
    const QString alphabet = u"abcXYZ経理部 .-_()（）ｱア0123456789"_qs;
    for (int round = 0; round < 500; ++round) {
        const int levels = 1 + int(rng.bounded(6));
        QList<qint32> ids;
        QStringList names;
        for (int l = 0; l < levels; ++l) {
            ids.append(1 + qint32(rng.bounded(0x7FFFFFFE)));
            QString name;
            const int len = int(rng.bounded(12));
            for (int k = 0; k < len; ++k)
                name += alphabet.at(rng.bounded(int(alphabet.size())));
            names.append(name);
        }
        const QString path = EncodeIdPath(ids, names);
        EXPECT_FALSE(path.startsWith(Sep));
        EXPECT_FALSE(path.endsWith(Sep));
        QList<qint32> backIds;
        QStringList backNames;
        ASSERT_EQ(DecodeIdPath(path, &backIds, &backNames), levels) << path.toStdString();
        EXPECT_EQ(backIds, ids);
        EXPECT_EQ(backNames, names);
    }
}

} // namespace
