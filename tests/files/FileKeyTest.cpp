#include "files/FileKey.h"

#include <gtest/gtest.h>

TEST(FileKeyTest, RoundTripAndFailures)
{
    EXPECT_EQ(FileKey(1, QStringLiteral("/a.txt")), QStringLiteral("00000001/a.txt"));
    EXPECT_EQ(FileKey(0x1a2b, QStringLiteral("/経理.xlsx")), QStringLiteral("00001a2b/経理.xlsx"));

    qint32 id = -5;
    QString path;
    ASSERT_TRUE(ParseFileKey(QStringLiteral("00000001/a.txt"), id, path));
    EXPECT_EQ(id, 1);
    EXPECT_EQ(path, QStringLiteral("/a.txt"));

    // Upper-case digits read the same; a folder entry key has no path.
    ASSERT_TRUE(ParseFileKey(QStringLiteral("0000001A"), id, path));
    EXPECT_EQ(id, 26);
    EXPECT_TRUE(path.isEmpty());

    id = 7;
    path = QStringLiteral("untouched");
    EXPECT_FALSE(ParseFileKey(QStringLiteral("0000001"), id, path));
    EXPECT_EQ(id, 7);
    EXPECT_EQ(path, QStringLiteral("untouched"));

    EXPECT_FALSE(ParseFileKey(QStringLiteral("00000000/a.txt"), id, path));
    EXPECT_EQ(id, 0);
    EXPECT_EQ(path, FileKeyParseFailureText());
    EXPECT_EQ(path, QStringLiteral("※WorkspaceIdとPathの解析に失敗しました"));

    // Nothing readable is an id of 0 as well.
    EXPECT_FALSE(ParseFileKey(QStringLiteral("zzzzzzzz/a.txt"), id, path));
    EXPECT_EQ(id, 0);
}
