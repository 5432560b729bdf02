#include "FilesServiceFixture.h"

#include "files/FileCommentRecord.h"
#include "files/FileRecord.h"
#include "files/FileRequests.h"
#include "files/FileTypeRecord.h"
#include "files/ServiceRequests.h"

#include <QFile>

namespace {

const QString kYear = QStringLiteral("経理/2024");

class FileRequestsTest : public FilesServiceFixture
{
protected:
    CSharedFileRecord infoOf(qint32 folderId, const QString &path)
    {
        CSharedFileRecord record;
        CFileInfoRequest request(m_key, folderId, path, &record);
        EXPECT_TRUE(request.ExecuteGet());
        return record;
    }
};

} // namespace

TEST_F(FileRequestsTest, ListParsesEveryFileOfTheFolder)
{
    const qint32 id = folder(kYear);
    CSharedFileList list(true);
    CFileListRequest request(m_key, id, SFileListOptions(), &list);
    ASSERT_TRUE(request.ExecuteGet());
    ASSERT_GE(list.GetCount(), 10);
    const CFileRecord *locked = list.Find(id, QStringLiteral("/売上集計_2024.xlsx"));
    ASSERT_NE(locked, nullptr);
    const auto *shared = static_cast<const CSharedFileRecord *>(locked);
    EXPECT_EQ(shared->lockDispName, QStringLiteral("鈴木 花子"));
    EXPECT_FALSE(shared->lockKey.isEmpty());
    EXPECT_EQ(shared->digest.size(), 32);
    EXPECT_TRUE(shared->updateTime.isValid());
    for (const CFileRecord *r : list)
        EXPECT_EQ(r->workspaceId, id);

    // Paging and counting agree with the listing.
    SFileListOptions page;
    page.limit = 3;
    page.offset = 2;
    CSharedFileList part(true);
    CFileListRequest paged(m_key, id, page, &part);
    ASSERT_TRUE(paged.ExecuteGet());
    ASSERT_EQ(part.GetCount(), 3);
    EXPECT_EQ(part.At(0)->path, list.At(2)->path);
    CFileCountRequest count(m_key, id, SFileListOptions());
    ASSERT_TRUE(count.ExecuteGet());
    EXPECT_EQ(count.count(), list.GetCount());
    CFileOffsetRequest offset(m_key, id, list.At(4)->path, SFileListOptions());
    ASSERT_TRUE(offset.ExecuteGet());
    EXPECT_EQ(offset.offset(), 4);
}

TEST_F(FileRequestsTest, GetDownloadsResumesAndChecksTheDigest)
{
    const qint32 id = folder(kYear);
    const CSharedFileRecord info = infoOf(id, QStringLiteral("/readme.txt"));
    const QString local = dir() + QStringLiteral("/readme.txt");
    {
        CFileGetRequest get(m_key, id, info.path, info.digest.toUpper(), local);
        ASSERT_TRUE(get.ExecuteGet());
        EXPECT_EQ(Md5Of(local), info.digest.toLatin1());
        EXPECT_EQ(get.fileLength(), qint64(info.size));
    }
    // Resume: keep the first 10 bytes, ask for the rest with "Range: -10".
    {
        QFile file(local);
        ASSERT_TRUE(file.resize(10));
    }
    m_server->clearRequestLog();
    CFileGetRequest resumed(m_key, id, info.path, info.digest, local, 10);
    ASSERT_TRUE(resumed.ExecuteGet());
    EXPECT_EQ(Md5Of(local), info.digest.toLatin1());
    EXPECT_EQ(m_server->callCount(QStringLiteral("file/get")), 1);
}

TEST_F(FileRequestsTest, DigestMismatchRaises00003AndKeepsTheOldFile)
{
    const qint32 id = folder(kYear);
    hook(QStringLiteral("file/wrongdigest"),
         {{QStringLiteral("workspaceId"), QString::number(id)},
          {QStringLiteral("path"), QStringLiteral("/readme.txt")}});
    const CSharedFileRecord info = infoOf(id, QStringLiteral("/readme.txt"));
    const QString local = dir() + QStringLiteral("/readme.txt");
    ASSERT_TRUE(WriteFile(local, "old"));
    CFileGetRequest get(m_key, id, info.path, info.digest, local);
    try {
        get.ExecuteGet();
        FAIL() << "no fault";
    } catch (const CRequestException &e) {
        EXPECT_EQ(e.code(), QStringLiteral("00003"));
        EXPECT_EQ(e.message(), QStringLiteral("/readme.txt"));
    }
    EXPECT_EQ(ReadFile(local), QByteArray("old"));
    EXPECT_EQ(QDir(dir()).entryList({QStringLiteral("*.vqrtmp")}, QDir::Files | QDir::Hidden),
              QStringList());
}

TEST_F(FileRequestsTest, DetailsTableTakesTheKnownFaults)
{
    const qint32 id = folder(kYear);
    hook(QStringLiteral("file/delete"),
         {{QStringLiteral("workspaceId"), QString::number(id)},
          {QStringLiteral("path"), QStringLiteral("/readme.txt")},
          {QStringLiteral("deleteName"), QStringLiteral("鈴木 花子")}});
    const QString local = dir() + QStringLiteral("/gone.txt");

    CFaultDetails details;
    CFileGetRequest get(m_key, id, QStringLiteral("/readme.txt"), QString(), local);
    get.SetFaultDetails(&details);
    EXPECT_EQ(get.ExecuteGet(), 0);
    EXPECT_EQ(details.value(QStringLiteral("deleteName")), QStringLiteral("鈴木 花子"));
    EXPECT_FALSE(details.value(QStringLiteral("deleteTime")).isEmpty());
    EXPECT_FALSE(QFile::exists(local));

    // Without a table the same fault is raised.
    CFileInfoRequest info(m_key, id, QStringLiteral("/readme.txt"), nullptr);
    EXPECT_THROW(info.ExecuteGet(), CRequestException);

    // 40013 on info: the folder id goes into lockedFolder.
    hook(QStringLiteral("fail"), {{QStringLiteral("op"), QStringLiteral("file/info")},
                                  {QStringLiteral("mode"), QStringLiteral("fault")},
                                  {QStringLiteral("code"), QStringLiteral("40013")},
                                  {QStringLiteral("status"), QStringLiteral("409")}});
    CFaultDetails locked;
    CFileInfoRequest lockedInfo(m_key, id, QStringLiteral("/予算計画.xlsx"), nullptr);
    lockedInfo.SetFaultDetails(&locked);
    EXPECT_EQ(lockedInfo.ExecuteGet(), 0);
    EXPECT_EQ(locked.value(QStringLiteral("lockedFolder")), QString::number(id));
}

TEST_F(FileRequestsTest, UploadLockMoveCopyDeleteAndVoucher)
{
    const qint32 id = folder(kYear);
    const qint32 other = folder(QStringLiteral("経理/2023"));
    const QString local = dir() + QStringLiteral("/new.txt");
    ASSERT_TRUE(WriteFile(local, "new content\r\n"));
    CSharedFileRecord created;
    CFileCreateRequest create(m_key, id, QStringLiteral("/新規.txt"), local, &created);
    ASSERT_TRUE(create.ExecutePost());
    EXPECT_EQ(created.path, QStringLiteral("/新規.txt"));
    EXPECT_EQ(create.uploadDigest(), created.digest);

    CSharedFileRecord locked;
    CFileLockRequest lock(m_key, id, created.path, &locked);
    ASSERT_TRUE(lock.ExecutePost());
    EXPECT_EQ(locked.lockKey, m_clientKey);

    CSharedFileRecord updated;
    CFileUpdateRequest update(m_key, id, created.path, local, &updated);
    ASSERT_TRUE(update.ExecutePost());
    CFileUnlockRequest unlock(m_key, id, created.path);
    ASSERT_TRUE(unlock.ExecutePost());

    CSharedFileRecord copied, source;
    CFileCopyRequest copy(m_key, id, created.path, other, QStringLiteral("/写し.txt"), &copied,
                          &source);
    ASSERT_TRUE(copy.ExecutePost());
    EXPECT_EQ(copied.workspaceId, other);
    EXPECT_EQ(source.path, created.path);

    CSharedFileRecord moved;
    CFileMoveRequest move(m_key, other, QStringLiteral("/写し.txt"), other,
                          QStringLiteral("/改名.txt"), &moved);
    ASSERT_TRUE(move.ExecutePost());
    EXPECT_EQ(moved.path, QStringLiteral("/改名.txt"));

    CFileDeleteRequest remove(m_key, other, moved.path);
    ASSERT_TRUE(remove.ExecutePost());
    CFileInfoRequest gone(m_key, other, moved.path, nullptr);
    EXPECT_THROW(gone.ExecuteGet(), CRequestException);

    // Transaction info of a DataBox file: set, then cleared with empty values.
    const qint32 invoices = folder(QStringLiteral("電子帳簿/請求書"));
    CSharedFileList boxFiles(true);
    CFileListRequest list(m_key, invoices, SFileListOptions(), &boxFiles);
    ASSERT_TRUE(list.ExecuteGet());
    ASSERT_GT(boxFiles.GetCount(), 0);
    CSharedFileRecord voucher;
    CFileVoucherCreateRequest set(m_key, invoices, boxFiles.At(0)->path,
                                  CDateTimeValue::FromFields(2024, 3, 31), qint64(123456),
                                  QStringLiteral("取引先A"), &voucher);
    ASSERT_TRUE(set.ExecutePost());
    EXPECT_EQ(voucher.transactionAmount, 123456);
    EXPECT_FALSE(voucher.amountBlank);
    EXPECT_EQ(voucher.transactionDate.Month(), 3);
    CSharedFileRecord cleared;
    CFileVoucherCreateRequest clear(m_key, invoices, boxFiles.At(0)->path, CDateTimeValue(),
                                    std::nullopt, QString(), &cleared);
    ASSERT_TRUE(clear.ExecutePost());
    EXPECT_TRUE(cleared.amountBlank);
    EXPECT_TRUE(cleared.transactionName.isEmpty());
}

TEST_F(FileRequestsTest, TransactionSearchBlankNameSendsOnlyTheFlag)
{
    CTransactionSearchQuery query;
    query.name = QStringLiteral("取引先");
    query.searchBlankName = true;
    query.amountFrom = QStringLiteral("100");
    CBizWinHttpClient client;
    query.AddParams(client);
    EXPECT_EQ(client.Parameter(QStringLiteral("searchTransactionNameBlankValue")),
              QStringLiteral("true"));
    EXPECT_TRUE(client.Parameter(QStringLiteral("transactionName")).isEmpty());
    EXPECT_EQ(client.Parameter(QStringLiteral("searchTransactionDateBlankValue")),
              QStringLiteral("false"));
    EXPECT_EQ(client.Parameter(QStringLiteral("transactionAmountFrom")), QStringLiteral("100"));
    EXPECT_TRUE(client.Parameter(QStringLiteral("transactionAmountTo")).isEmpty());

    // And the service finds the files by it.
    const qint32 invoices = folder(QStringLiteral("電子帳簿"));
    SFileListOptions options;
    options.recursive = true;
    CTransactionSearchQuery blankAmount;
    blankAmount.searchBlankAmount = true;
    options.search = &blankAmount;
    CSharedFileList list(true);
    CFileListRequest request(m_key, invoices, options, &list);
    ASSERT_TRUE(request.ExecuteGet());
    for (const CFileRecord *r : list)
        EXPECT_TRUE(static_cast<const CSharedFileRecord *>(r)->amountBlank);
}

TEST_F(FileRequestsTest, FileTypesFavouritesAndComments)
{
    CFileTypeList types(true);
    CFileTypeListRequest typeList(m_key, &types);
    ASSERT_TRUE(typeList.ExecuteGet());
    ASSERT_GT(types.GetCount(), 0);
    EXPECT_EQ(types.At(0)->id, 1);
    for (const CFileTypeRecord *t : types) {
        EXPECT_TRUE(t->ext.startsWith(u'.'));
        EXPECT_EQ(t->ext, t->ext.toLower());
    }
    CFileTypeCountRequest typeCount(m_key);
    ASSERT_TRUE(typeCount.ExecuteGet());
    EXPECT_EQ(typeCount.count(), types.GetCount());

    const qint32 id = folder(kYear);
    CFavoriteCreateRequest favourite(m_key, id, QStringLiteral("/readme.txt"));
    ASSERT_TRUE(favourite.ExecutePost());
    CSharedFileList favourites(true);
    CFavoriteListRequest favouriteList(m_key, 0, false, &favourites, {});
    ASSERT_TRUE(favouriteList.ExecuteGet());
    const CFileRecord *entry = favourites.Find(id, QStringLiteral("/readme.txt"));
    ASSERT_NE(entry, nullptr);
    EXPECT_TRUE(entry->isFavorite);
    CFavoriteDeleteRequest unfavourite(m_key, id, QStringLiteral("/readme.txt"));
    ASSERT_TRUE(unfavourite.ExecutePost());
    CFavoriteDeleteRequest again(m_key, id, QStringLiteral("/readme.txt"));
    EXPECT_THROW(again.ExecutePost(), CRequestException); // 70010

    CFileCommentRecord comment;
    CFileCommentCreateRequest commentCreate(m_key, id, QStringLiteral("/readme.txt"),
                                            QStringLiteral("確認済み"), &comment);
    ASSERT_TRUE(commentCreate.ExecutePost());
    EXPECT_EQ(comment.text, QStringLiteral("確認済み"));
    EXPECT_EQ(comment.workspaceId, id);
}
