#include "files/FileParsers.h"
#include "files/FileCommentRecord.h"
#include "files/FileRecord.h"
#include "files/FileTypeRecord.h"

#include "core/BizException.h"
#include "folders/WorkspaceRecord.h"
#include "service/XmlDocument.h"

#include <gtest/gtest.h>

namespace {

QString fileXml(const QString &omit = {}, const QString &amount = QStringLiteral("1200"),
                bool favourite = true)
{
    const QList<QPair<QString, QString>> children = {
        {"comment", "見ました"},
        {"commentUpdateDispName", "山田 太郎"},
        {"commentUpdateId", "1"},
        {"commentUpdateTime", "2024/01/31 10:00:00"},
        {"digest", "0123456789ABCDEF0123456789abcdef"},
        {"isFavorite", "true"},
        {"lockDispName", ""},
        {"lockId", "0"},
        {"lockKey", ""},
        {"path", "/a.xlsx"},
        {"size", "3000000000"},
        {"updateDispName", "鈴木 花子"},
        {"updateId", "2"},
        {"updateName", "suzuki"},
        {"updateTime", "2024/02/01 09:30:00"},
        {"transactionAmount", amount},
        {"transactionDate", ""},
        {"transactionName", ""},
        {"workspaceId", "26"},
    };
    QString xml = QStringLiteral("<file>");
    for (const auto &[name, value] : children) {
        if (name == omit || (name == u"isFavorite" && !favourite))
            continue;
        xml += QStringLiteral("<%1>%2</%1>").arg(name, value);
    }
    return xml + QStringLiteral("</file>");
}

CBizXmlElement rootOf(CBizXmlDocument &doc, const QString &xml)
{
    doc.Load(xml);
    return doc.Root();
}

} // namespace

TEST(FileParsersTest, FileElementFieldsAndOptionalFavourite)
{
    CBizXmlDocument doc;
    CSharedFileRecord record;
    ASSERT_TRUE(ParseFile(rootOf(doc, fileXml()), &record));
    EXPECT_EQ(record.path, QStringLiteral("/a.xlsx"));
    EXPECT_EQ(record.size, 3000000000u); // beyond 2^31, no saturation
    EXPECT_TRUE(record.isFavorite);
    EXPECT_EQ(record.workspaceId, 26);
    EXPECT_EQ(record.transactionAmount, 1200);
    EXPECT_FALSE(record.amountBlank);
    EXPECT_EQ(record.updateTime.Hour(), 9);
    EXPECT_EQ(record.commentUpdateDispName, QStringLiteral("山田 太郎"));

    CBizXmlDocument noFavourite;
    CSharedFileRecord plain;
    EXPECT_TRUE(ParseFile(rootOf(noFavourite, fileXml({}, QStringLiteral("1"), false)), &plain));
    EXPECT_FALSE(plain.isFavorite);

    // An empty amount: blank, the old amount stays.
    CBizXmlDocument blank;
    CSharedFileRecord kept;
    kept.transactionAmount = 77;
    kept.amountBlank = false;
    ASSERT_TRUE(ParseFile(rootOf(blank, fileXml({}, QString())), &kept));
    EXPECT_TRUE(kept.amountBlank);
    EXPECT_EQ(kept.transactionAmount, 77);
}

TEST(FileParsersTest, MissingRequiredChildStopsReading)
{
    CBizXmlDocument doc;
    CSharedFileRecord record;
    EXPECT_FALSE(ParseFile(rootOf(doc, fileXml(QStringLiteral("lockKey"))), &record));
    // Read up to the gap, nothing after it.
    EXPECT_EQ(record.digest, QStringLiteral("0123456789ABCDEF0123456789abcdef"));
    EXPECT_TRUE(record.path.isEmpty());
    EXPECT_EQ(record.workspaceId, 0);
    // Without a record the element is only checked.
    CBizXmlDocument ok;
    EXPECT_TRUE(ParseFile(rootOf(ok, fileXml()), nullptr));
}

TEST(FileParsersTest, DeleteDetailsScan)
{
    CFaultDetails both;
    ScanDeleteDetails(QStringLiteral("ファイルは削除されました(deleteTime=2024/01/31 10:00:00,"
                                     "deleteName=鈴木 花子)"),
                      both);
    EXPECT_EQ(both.value(QStringLiteral("deleteTime")), QStringLiteral("2024/01/31 10:00:00"));
    EXPECT_EQ(both.value(QStringLiteral("deleteName")), QStringLiteral("鈴木 花子"));

    CFaultDetails timeOnly;
    ScanDeleteDetails(QStringLiteral("gone (deleteTime=2024/02/01 08:00:00)"), timeOnly);
    EXPECT_EQ(timeOnly.size(), 1);
    EXPECT_TRUE(timeOnly.contains(QStringLiteral("deleteTime")));

    CFaultDetails empty;
    ScanDeleteDetails(QStringLiteral("このファイルはサーバー上に存在しません。"), empty);
    EXPECT_TRUE(empty.isEmpty());
}

TEST(FileParsersTest, FileTypeCommentAndVoucher)
{
    CBizXmlDocument doc;
    CFileTypeRecord type;
    ASSERT_TRUE(ParseFileType(
        rootOf(doc, QStringLiteral("<fileType><accessType>1</accessType><ext>XLS</ext>"
                                   "<name>Excel 97</name></fileType>")),
        4, &type));
    EXPECT_EQ(type.id, 4);
    EXPECT_EQ(type.ext, QStringLiteral(".xls"));
    EXPECT_TRUE(type.IsViewOnly());

    CBizXmlDocument commentDoc;
    CFileCommentRecord comment;
    ASSERT_TRUE(ParseFileComment(
        rootOf(commentDoc,
               QStringLiteral("<fileComment><comment>a&#13;\nb</comment><path>/x.txt</path>"
                              "<updateDispName>山田</updateDispName><updateId>1</updateId>"
                              "<updateName>yamada</updateName>"
                              "<updateTime>2024/03/01 12:00:00</updateTime>"
                              "<workspaceId>5</workspaceId></fileComment>")),
        &comment));
    EXPECT_EQ(comment.text, QStringLiteral("a\r\nb"));
    EXPECT_EQ(comment.Key(), QStringLiteral("00000005/x.txt"));

    CBizXmlDocument voucherDoc;
    CSharedFileRecord voucher;
    EXPECT_FALSE(ParseFileVoucher(
        rootOf(voucherDoc, QStringLiteral("<fileVoucher><date>2024/03/31</date>"
                                          "<amount></amount><name/></fileVoucher>")),
        &voucher));
}

TEST(FileParsersTest, FavouritesOfFoldersAndFiles)
{
    CWorkspaceRecord folder;
    folder.id = 9;
    folder.name = QStringLiteral("共有");
    auto find = [&](qint32 id) { return id == 9 ? &folder : nullptr; };

    CBizXmlDocument doc;
    CSharedFileRecord folderEntry;
    ASSERT_TRUE(ParseFavorite(rootOf(doc, QStringLiteral("<favorite><accessible>1</accessible>"
                                                         "<as>1</as><comment>c</comment>"
                                                         "<folderStyle>0</folderStyle><id>9</id>"
                                                         "</favorite>")),
                              &folderEntry, find));
    EXPECT_EQ(folderEntry.folderItem, &folder);
    EXPECT_EQ(folder.isFavorite, 1);
    EXPECT_TRUE(folderEntry.isFavorite);

    CBizXmlDocument hidden;
    CSharedFileRecord none;
    EXPECT_FALSE(ParseFavorite(rootOf(hidden, QStringLiteral("<favorite><accessible>0</accessible>"
                                                             "<as>2</as></favorite>")),
                               &none, find));
    CBizXmlDocument unknownFolder;
    EXPECT_FALSE(ParseFavorite(
        rootOf(unknownFolder, QStringLiteral("<favorite><accessible>1</accessible><as>1</as>"
                                             "<comment/><folderStyle/><id>3</id>"
                                             "</favorite>")),
        &none, find));
}

TEST(FileParsersTest, ListAnswerStopsAtTheFirstIncompleteEntry)
{
    auto answer = [](const QString &files) -> QString {
        return QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?><velquor><listResponse>")
               + files + QStringLiteral("</listResponse></velquor>");
    };
    QString second = fileXml();
    second.replace(QStringLiteral("/a.xlsx"), QStringLiteral("/b.xlsx"));
    second.replace(QStringLiteral("<file>"), QStringLiteral("<FILE>"));
    second.replace(QStringLiteral("</file>"), QStringLiteral("</FILE>"));
    const QString body
        = answer(QStringLiteral("<files>") + fileXml() + second + fileXml(QStringLiteral("lockKey"))
                 + fileXml() + QStringLiteral("</files>"));
    QStringList paths;
    bool cutShort = false;
    ASSERT_TRUE(ParseFileListAnswer(
        body,
        [&](std::unique_ptr<CSharedFileRecord> r) {
            paths << r->path;
            EXPECT_EQ(r->size, 3000000000u);
            return true;
        },
        &cutShort));
    EXPECT_EQ(paths, (QStringList{"/a.xlsx", "/b.xlsx"}));
    EXPECT_TRUE(cutShort); // the caller can tell a short page from a complete one

    // The consumer may stop the walk (a cancel): not a page cut short.
    int taken = 0;
    EXPECT_TRUE(ParseFileListAnswer(
        body, [&](std::unique_ptr<CSharedFileRecord>) { return ++taken < 1; }, &cutShort));
    EXPECT_EQ(taken, 1);
    EXPECT_FALSE(cutShort);

    EXPECT_TRUE(ParseFileListAnswer(answer(QStringLiteral("<files/>")),
                                    [](std::unique_ptr<CSharedFileRecord>) { return true; }));
    EXPECT_FALSE(ParseFileListAnswer(answer(QString()),
                                     [](std::unique_ptr<CSharedFileRecord>) { return true; }));
    EXPECT_THROW(ParseFileListAnswer(QStringLiteral("<velquor><listResponse><files><file>"),
                                     [](std::unique_ptr<CSharedFileRecord>) { return true; }),
                 CBizXmlDomException);
    EXPECT_THROW(ParseFileListAnswer(QStringLiteral("<!DOCTYPE x [<!ENTITY a \"b\">]><velquor/>"),
                                     [](std::unique_ptr<CSharedFileRecord>) { return true; }),
                 CBizXmlDomException);
}
