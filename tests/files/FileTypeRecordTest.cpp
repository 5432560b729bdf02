#include "files/FileTypeRecord.h"

#include "core/BizException.h"
#include "store/Archive.h"

#include <gtest/gtest.h>

namespace {

std::unique_ptr<CFileTypeRecord> makeType(qint32 id, const QString &serviceExt, const QString &name,
                                          qint32 accessType = 0)
{
    auto record = std::make_unique<CFileTypeRecord>();
    record->id = id;
    record->ext = CFileTypeRecord::NormalizeExtension(serviceExt);
    record->name = name;
    record->accessType = accessType;
    return record;
}

} // namespace

TEST(FileTypeRecordTest, ExtensionsAreStoredLowerCaseAndFoundInAnyCase)
{
    CFileTypeList list;
    list.Replace(makeType(1, QStringLiteral("XLS"), QStringLiteral("Excel")));
    list.Replace(makeType(2, QStringLiteral("pdf"), QStringLiteral("PDF"), 1));
    ASSERT_NE(list.FindByExtension(QStringLiteral(".xls")), nullptr);
    EXPECT_EQ(list.FindByExtension(QStringLiteral(".xls"))->ext, QStringLiteral(".xls"));
    EXPECT_EQ(list.FindByExtension(QStringLiteral(".XlS")), list.FindById(1));
    EXPECT_EQ(list.FindByExtension(QStringLiteral("PDF")), list.FindById(2));
    EXPECT_TRUE(list.FindById(2)->IsViewOnly());
    EXPECT_EQ(list.FindByExtension(QString()), nullptr);
    EXPECT_EQ(list.FindByExtension(QStringLiteral(".doc")), nullptr);

    // A second type with the same extension replaces the first in both indexes.
    list.Replace(makeType(3, QStringLiteral("xls"), QStringLiteral("Calc")));
    EXPECT_EQ(list.GetCount(), 2);
    EXPECT_EQ(list.FindById(1), nullptr);
    EXPECT_EQ(list.FindByExtension(QStringLiteral(".xls"))->name, QStringLiteral("Calc"));
}

TEST(FileTypeRecordTest, ArchiveLayoutAndRoundTrip)
{
    CFileTypeList list;
    list.Replace(makeType(1, QStringLiteral("a"), QStringLiteral("製品")));
    list.Replace(makeType(7, QStringLiteral("jww"), QString(), 1));
    list.FindById(1)->appPath = QStringLiteral("/usr/bin/never-stored");

    CBizArchiveWriter writer;
    list.Serialize(writer);
    const QByteArray expected = QByteArray::fromHex("0200"             // count
                                                    "01000000"         // id
                                                    "fffeff02fd88c154" // 製品
                                                    "fffeff022e006100" // .a
                                                    "00000000"         // accessType
                                                    "07000000"
                                                    "fffeff00" // empty name
                                                    "fffeff042e006a0077007700"
                                                    "01000000");
    EXPECT_EQ(writer.data().toHex(), expected.toHex());

    CFileTypeList read;
    CBizArchiveReader reader(writer.data());
    read.Deserialize(reader);
    ASSERT_EQ(read.GetCount(), 2);
    EXPECT_EQ(read.FindById(1)->name, QStringLiteral("製品"));
    EXPECT_TRUE(read.FindById(1)->appPath.isEmpty());
    EXPECT_EQ(read.FindByExtension(QStringLiteral(".JWW"))->accessType, 1);
}

TEST(FileTypeRecordTest, TruncatedArchiveLeavesTheListEmpty)
{
    CFileTypeList list;
    list.Replace(makeType(1, QStringLiteral("a"), QStringLiteral("A")));
    list.Replace(makeType(2, QStringLiteral("b"), QStringLiteral("B")));
    CBizArchiveWriter writer;
    list.Serialize(writer);
    const QByteArray cut = writer.data().left(writer.size() - 3);

    CFileTypeList read;
    CBizArchiveReader reader(cut);
    EXPECT_THROW(read.Deserialize(reader), CBizArchiveException);
    EXPECT_EQ(read.GetCount(), 0);
    EXPECT_EQ(read.FindById(1), nullptr);
}
