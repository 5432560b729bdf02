// The file list of the online view against the devserver's demo office, signed in as
// yamada through the program's own system objects: the page compared with the local cache,
// the split of a page between subfolders and files, favourites, folders that went behind the
// client's back, the user's cache rules (deleteCache, generationNum), hostile names from the
// service, and downloads into the cache that fail. The devserver's request log tells what
// was not sent.

#include "SignedInSession.h"

#include "support/DevServer.h"
#include "support/Files.h"
#include "support/TempInstallation.h"

#include "account/AccountRequests.h"
#include "account/LoginManager.h"
#include "app/System.h"
#include "core/BizException.h"
#include "core/Paths.h"
#include "core/Strings.h"
#include "files/FavoriteManager.h"
#include "files/FileRequests.h"
#include "files/FileTypeManager.h"
#include "files/LocalFileManager.h"
#include "files/ServiceRequests.h"
#include "files/SharedFileManager.h"
#include "folders/LocalWorkspaceManager.h"
#include "folders/SharedWorkspaceManager.h"
#include "service/MessageDigest.h"
#include "service/RequestException.h"
#include "store/IdPath.h"

#include <QDir>
#include <QFileInfo>

#include <gtest/gtest.h>

namespace {

const QString kYear = QStringLiteral("経理/2024");
const QString kMinutes = QStringLiteral("/議事録_経理会議.txt");

QString hex8(qint32 id)
{
    return QStringLiteral("%1").arg(quint32(id), 8, 16, QLatin1Char('0'));
}

using SharedFiles = SignedInSession;

} // namespace

TEST_F(SharedFiles, ThePageAgainstTheCache)
{
    qint32 year = Id(kYear);
    ASSERT_TRUE(Page(year));
    int fileEntries = 0;
    for (const CFileRecord *r : files()->list())
        fileEntries += r->IsFolderEntry() ? 0 : 1;
    EXPECT_GT(fileEntries, 10);
    EXPECT_EQ(files()->FileCountOf(year), fileEntries) << "the load's count per folder";
    CSharedFileRecord *minutes = Entry(year, kMinutes);
    ASSERT_NE(minutes, nullptr);
    EXPECT_EQ(minutes->localCopy, ELocalCopy::Unchecked);
    EXPECT_EQ(minutes->pathLength, cache()->CachePath(year, minutes->FileName()).size())
        << "the real length of the cache copy's path";

    // Fetched earlier: the cache holds the service's content.
    ASSERT_TRUE(files()->BringIntoCache(*minutes));
    server->clearRequestLog();
    ASSERT_TRUE(files()->BringIntoCache(*minutes));
    EXPECT_EQ(server->callCount(QStringLiteral("file/get")), 0) << "the same digest: no download";
    Follow(year);
    EXPECT_EQ(minutes->localCopy, ELocalCopy::Current);
    ASSERT_NE(cache()->FindLocal(year, minutes->FileName()), nullptr);
    // The cache's list shows another folder now: the copy on disk still counts.
    Follow(Id(QStringLiteral("給与")));
    ASSERT_EQ(cache()->FindLocal(year, minutes->FileName()), nullptr);
    ASSERT_TRUE(files()->BringIntoCache(*minutes));
    EXPECT_EQ(server->callCount(QStringLiteral("file/get")), 0);
    EXPECT_NE(cache()->FindLocal(year, minutes->FileName()), nullptr);

    // Another user updates it through the API: the copy is stale.
    const QString edited = installation.path(QStringLiteral("edited.txt"));
    ASSERT_TRUE(WriteFile(edited, "議事録 (改訂)"));
    CFileUpdateRequest update(OtherUsersKey(), year, kMinutes, edited, nullptr);
    ASSERT_TRUE(update.ExecutePost());
    ASSERT_TRUE(Page(year));
    Follow(year);
    minutes = Entry(year, kMinutes);
    ASSERT_NE(minutes, nullptr);
    EXPECT_EQ(minutes->localCopy, ELocalCopy::Stale);
    server->clearRequestLog();
    ASSERT_TRUE(files()->BringIntoCache(*minutes));
    EXPECT_EQ(server->callCount(QStringLiteral("file/get")), 1);
    EXPECT_EQ(ReadFile(cache()->CachePath(year, minutes->FileName())), ReadFile(edited));

    // A history copy of exactly this content marks the entry.
    EXPECT_FALSE(minutes->hasHistory);
    const CWorkspaceRecord *folder = cache()->localFolders()->FindById(year);
    ASSERT_NE(folder, nullptr);
    ASSERT_TRUE(cache()->StoreHistory(EncodeIdPath(folder->pathIds, folder->pathNames),
                                      minutes->FileName(), edited));
    ASSERT_TRUE(Page(year));
    EXPECT_TRUE(Entry(year, kMinutes)->hasHistory);
    EXPECT_FALSE(Entry(year, QStringLiteral("/仕訳帳.csv"))->hasHistory);

    // An edit copy of a file out for editing here is listed with its size; once the
    // service's lock is gone it becomes a cached copy and is not listed.
    const QString journal = QStringLiteral("/仕訳帳.csv");
    CFileLockRequest lock(login()->accessKey(), year, journal);
    ASSERT_TRUE(lock.ExecutePost());
    const QString editCopy = cache()->EditCopyPath(year, QStringLiteral("仕訳帳.csv"));
    ASSERT_TRUE(WriteFile(editCopy, "edited journal, 27 bytes..."));
    ASSERT_TRUE(Page(year));
    Follow(year);
    ASSERT_NE(Entry(year, journal), nullptr);
    EXPECT_TRUE(Entry(year, journal)->lockedByMe);
    EXPECT_EQ(Entry(year, journal)->size, 27u);
    const CLocalFileRecord *local = cache()->FindLocal(year, QStringLiteral("仕訳帳.csv"));
    ASSERT_NE(local, nullptr);
    EXPECT_TRUE(local->lockedByMe);

    server->hook(QStringLiteral("unlock"), {{QStringLiteral("workspaceId"), QString::number(year)},
                                            {QStringLiteral("path"), journal}});
    ASSERT_TRUE(Page(year));
    Follow(year);
    EXPECT_EQ(cache()->FindLocal(year, QStringLiteral("仕訳帳.csv")), nullptr);
    EXPECT_FALSE(QFileInfo::exists(editCopy));
    EXPECT_EQ(ReadFile(cache()->CachePath(year, QStringLiteral("仕訳帳.csv"))),
              "edited journal, 27 bytes...");
    EXPECT_TRUE(messages.isEmpty()) << messages.join(u'\n').toStdString();
}

TEST_F(SharedFiles, APageSplitsBetweenSubfoldersAndFiles)
{
    CSharedWorkspaceManager *tree = shared()->sharedWorkspaces();
    qint32 folder = 0;
    ASSERT_TRUE(tree->CreateFolder(Id(QStringLiteral("経理")), QStringLiteral("ページ"), 0, {},
                                   false, &folder));
    for (int i = 1; i <= 25; ++i)
        ASSERT_TRUE(tree->CreateFolder(
            folder, QStringLiteral("f%1").arg(i, 2, 10, QLatin1Char('0')), 0, {}, false));
    for (int i = 1; i <= 7; ++i) {
        const QString local = installation.path(QStringLiteral("d%1.txt").arg(i));
        ASSERT_TRUE(WriteFile(local, QByteArray::number(i)));
        CFileCreateRequest create(login()->accessKey(), folder, QStringLiteral("/d%1.txt").arg(i),
                                  local, nullptr);
        ASSERT_TRUE(create.ExecutePost());
    }
    ASSERT_TRUE(tree->Load());

    for (qint32 offset = 0; offset < 32; offset += 10) {
        SCOPED_TRACE(offset);
        const SPageSplit split = CSharedFileManager::SplitPage(10, 25, 7, offset);
        qint32 id = folder;
        ASSERT_TRUE(Page(id, 10, offset));
        QStringList expected;
        for (qint32 i = 0; i < split.folders && split.folderOffset + i < 25; ++i)
            expected << QStringLiteral("[f%1]").arg(split.folderOffset + i + 1, 2, 10,
                                                    QLatin1Char('0'));
        for (qint32 i = 0; i < split.files && split.fileOffset + i < 7; ++i)
            expected << QStringLiteral("d%1.txt").arg(split.fileOffset + i + 1);
        EXPECT_EQ(EntryNames(), expected);
    }
    EXPECT_EQ(EntryNames(), (QStringList{"d6.txt", "d7.txt"})) << "the last page";
}

TEST_F(SharedFiles, Favourites)
{
    server->clearRequestLog();
    qint32 view = FolderId::Favorites;
    ASSERT_TRUE(Page(view));
    EXPECT_EQ(view, FolderId::Favorites);
    EXPECT_GT(files()->list().size(), 0);
    EXPECT_EQ(server->callCount(QStringLiteral("file/list")), 0);
    EXPECT_EQ(server->callCount(QStringLiteral("favorite/list")), 1);
    for (const CFileRecord *r : files()->list())
        EXPECT_TRUE(r->IsFolderEntry() ? r->folderItem->isFavorite : r->isFavorite);

    // A top-level folder is marked through its entry under the root (parent 0).
    qint32 root = FolderId::AllFolders;
    ASSERT_TRUE(Page(root));
    const qint32 common = Id(QStringLiteral("共有"));
    CFileRecord *entry = files()->list().Find(0, hex8(common));
    ASSERT_NE(entry, nullptr);
    ASSERT_TRUE(entry->IsFolderEntry());
    EXPECT_FALSE(entry->folderItem->isFavorite);
    ASSERT_TRUE(files()->ChangeFavorite(common, {}, true));
    EXPECT_TRUE(entry->folderItem->isFavorite);
    EXPECT_TRUE(messages.isEmpty());
    EXPECT_FALSE(files()->ChangeFavorite(common, {}, true));
    ASSERT_EQ(messages.size(), 1);
    EXPECT_TRUE(messages.last().startsWith(LoadString(17986))) << messages.last().toStdString();
    EXPECT_TRUE(entry->folderItem->isFavorite);

    // One favourite's record; a gone file's details fill the table instead of a fault.
    qint32 favoriteYear = Id(kYear);
    CSharedFileRecord budget;
    ASSERT_TRUE(files()->favorites().GetFavoriteInfo(favoriteYear, QStringLiteral("/予算計画.xlsx"),
                                                     budget));
    EXPECT_EQ(budget.path, QStringLiteral("/予算計画.xlsx"));
    EXPECT_TRUE(budget.isFavorite);
    server->hook(QStringLiteral("file/delete"),
                 {{QStringLiteral("workspaceId"), QString::number(favoriteYear)},
                  {QStringLiteral("path"), QStringLiteral("/予算計画.xlsx")},
                  {QStringLiteral("deleteName"), QStringLiteral("鈴木 花子")}});
    CFaultDetails details;
    CSharedFileRecord gone;
    EXPECT_FALSE(files()->favorites().GetFavoriteInfo(
        favoriteYear, QStringLiteral("/予算計画.xlsx"), gone, &details));
    EXPECT_EQ(details.value(QStringLiteral("deleteName")), QStringLiteral("鈴木 花子"));

    // A file of the current page by its key.
    qint32 year = Id(kYear);
    ASSERT_TRUE(Page(year));
    ASSERT_TRUE(files()->ChangeFavorite(year, kMinutes, true));
    EXPECT_TRUE(Entry(year, kMinutes)->isFavorite);
    ASSERT_TRUE(files()->ChangeFavorite(year, kMinutes, false));
    EXPECT_FALSE(Entry(year, kMinutes)->isFavorite);
    EXPECT_FALSE(files()->ChangeFavorite(year, kMinutes, false));
    ASSERT_EQ(messages.size(), 2);
    EXPECT_TRUE(messages.last().startsWith(LoadString(17987))) << messages.last().toStdString();
}

// An office with enough files to fill the favourites up to the limit.
class SharedFilesOfABigOffice : public SharedFiles
{
protected:
    QStringList ServerArgs() const override
    {
        return {QStringLiteral("--seed"), QStringLiteral("scale:folders=30,files=600"),
                QStringLiteral("--test-hooks")};
    }
};

TEST_F(SharedFilesOfABigOffice, TheLimitCountsOnTheService)
{
    CFavoriteManager &favourites = files()->favorites();
    qint32 have = favourites.CountFavorites();
    for (const CWorkspaceRecord *folder : shared()->sharedWorkspaces()->list()) {
        if (have >= 499)
            break;
        CSharedFileList list(true);
        CFileListRequest request(login()->accessKey(), folder->id, SFileListOptions(), &list);
        ASSERT_TRUE(request.ExecuteGet());
        for (const CFileRecord *file : list) {
            if (have >= 499)
                break;
            CFavoriteCreateRequest add(login()->accessKey(), folder->id, file->path);
            ASSERT_TRUE(add.ExecutePost());
            ++have;
        }
    }
    ASSERT_EQ(favourites.CountFavorites(), 499);
    EXPECT_TRUE(favourites.CheckLimit(1));
    EXPECT_TRUE(messages.isEmpty());
    EXPECT_FALSE(favourites.CheckLimit(2));
    ASSERT_EQ(messages.size(), 1);
    EXPECT_EQ(messages.first(),
              QStringLiteral("お気に入り登録数の上限を超えています！\r\n※最大 500件"));

    // Without the service the count is 0, and that says nothing to the user.
    server.reset();
    EXPECT_EQ(favourites.CountFavorites(), 0);
    EXPECT_EQ(messages.size(), 1);
}

TEST_F(SharedFiles, AFolderDeletedBehindTheClientsBackSendsTheViewToTheRoot)
{
    qint32 folder = Id(QStringLiteral("経理/2023"));
    ASSERT_GT(folder, 0);
    ASSERT_TRUE(Page(folder));
    server->hook(QStringLiteral("folder/delete"),
                 {{QStringLiteral("folderPath"), QStringLiteral("経理/2023")}});
    ASSERT_TRUE(Page(folder));
    EXPECT_EQ(folder, FolderId::AllFolders);
    EXPECT_TRUE(EntryNames().contains(QStringLiteral("[経理]")));
    for (const CFileRecord *r : files()->list())
        EXPECT_TRUE(r->IsFolderEntry()) << "the root holds folders only";

    // The plain listing of a folder whose files are gone goes there too.
    qint32 again = Id(QStringLiteral("給与/2024年度"));
    server->hook(QStringLiteral("folder/delete"),
                 {{QStringLiteral("folderPath"), QStringLiteral("給与")}});
    ASSERT_TRUE(files()->LoadList(again, false, false));
    EXPECT_EQ(again, FolderId::AllFolders);
    EXPECT_TRUE(messages.isEmpty()) << messages.join(u'\n').toStdString();
}

TEST_F(SharedFiles, TheUsersCacheRules)
{
    const qint32 year = Id(kYear);
    const QString source = installation.path(QStringLiteral("sent.txt"));
    ASSERT_TRUE(WriteFile(source, "the sent content"));
    const QString name = QStringLiteral("議事録_経理会議.txt");
    const QString historyDir = cache()->HistoryDirOf(year, name);
    QStringList names;

    // generationNum 2: of four copies the two newest stay.
    server->hook(QStringLiteral("user"), {{QStringLiteral("loginId"), QStringLiteral("yamada")},
                                          {QStringLiteral("generationNum"), QStringLiteral("2")}});
    SignIn();
    for (int i = 1; i <= 3; ++i)
        ASSERT_TRUE(
            WriteFile(historyDir + QStringLiteral("/議事録_経理会議.23-01-0%1_09-00.txt").arg(i),
                      QByteArray::number(i)));
    cache()->KeepHistory(year, name, source);
    ASSERT_EQ(cache()->ListHistory(historyDir, name, names), 2);
    EXPECT_EQ(names.first(), QStringLiteral("議事録_経理会議.23-01-03_09-00.txt"));
    EXPECT_EQ(ReadFile(historyDir + u'/' + names.last()), "the sent content");

    // deleteCache: no history kept, the file's history removed, cache copies met online
    // deleted, the temp area emptied after each load.
    server->hook(QStringLiteral("user"), {{QStringLiteral("loginId"), QStringLiteral("yamada")},
                                          {QStringLiteral("deleteCache"), QStringLiteral("1")}});
    SignIn();
    ASSERT_TRUE(login()->deleteCache());
    cache()->KeepHistory(year, name, source);
    EXPECT_EQ(cache()->ListHistory(historyDir, name, names), 0);

    qint32 page = year;
    ASSERT_TRUE(Page(page));
    ASSERT_TRUE(files()->BringIntoCache(*Entry(year, kMinutes)));
    const QString cached = cache()->CachePath(year, name);
    ASSERT_TRUE(QFileInfo::exists(cached));
    ASSERT_TRUE(WriteFile(TempPath() + QStringLiteral("/view.pdf"), "a view copy"));
    Follow(year);
    EXPECT_FALSE(QFileInfo::exists(cached));
    EXPECT_EQ(cache()->FindLocal(year, name), nullptr);
    EXPECT_FALSE(QFileInfo::exists(TempPath() + QStringLiteral("/view.pdf")));
}

TEST_F(SharedFiles, HostileNamesFromTheServiceNeverReachTheDisk)
{
    const qint32 year = Id(kYear);
    const QStringList hostile{QStringLiteral(".."), QStringLiteral("a/b"),
                              QStringLiteral("..\\x.txt")};
    const QStringList originals{QStringLiteral("/仕訳帳.csv"), QStringLiteral("/総勘定元帳.csv"),
                                kMinutes};
    for (qsizetype i = 0; i < hostile.size(); ++i)
        server->hook(QStringLiteral("file/rename"),
                     {{QStringLiteral("workspaceId"), QString::number(year)},
                      {QStringLiteral("path"), originals.at(i)},
                      {QStringLiteral("name"), hostile.at(i)}});
    qint32 page = year;
    ASSERT_TRUE(Page(page));
    const QStringList before = Listing(installation.root());
    for (const QString &name : hostile) {
        SCOPED_TRACE(name.toStdString());
        CSharedFileRecord *entry = Entry(year, u'/' + name);
        ASSERT_NE(entry, nullptr);
        EXPECT_EQ(entry->pathLength, -1) << "no cache copy path for it";
        EXPECT_THROW(files()->BringIntoCache(*entry), CBizOsException);
    }
    Follow(year);
    EXPECT_EQ(Listing(installation.root()), before);
    for (const QString &name : hostile)
        EXPECT_EQ(cache()->FindLocal(year, name), nullptr);
}

TEST_F(SharedFiles, AFailedDownloadKeepsThePreviousCacheCopy)
{
    const qint32 year = Id(kYear);
    qint32 page = year;
    ASSERT_TRUE(Page(page));
    CSharedFileRecord *minutes = Entry(year, kMinutes);
    ASSERT_NE(minutes, nullptr);
    ASSERT_TRUE(files()->BringIntoCache(*minutes));
    const QString cached = cache()->CachePath(year, minutes->FileName());
    const QByteArray previous = ReadFile(cached);
    ASSERT_FALSE(previous.isEmpty());
    const QString downloadCopy = cache()->DownloadCopyPath(year, minutes->FileName());

    // The service has newer content, large enough that halving cuts never complete it.
    server->hook(QStringLiteral("file/content"),
                 {{QStringLiteral("workspaceId"), QString::number(year)},
                  {QStringLiteral("path"), kMinutes},
                  {QStringLiteral("content"), QString(100000, u'x')}});
    ASSERT_TRUE(Page(page));
    minutes = Entry(year, kMinutes);

    // The bytes arrive, but not the ones the service's digest names.
    server->hook(QStringLiteral("fail"), {{QStringLiteral("op"), QStringLiteral("file/get")},
                                          {QStringLiteral("mode"), QStringLiteral("wrongbytes")},
                                          {QStringLiteral("count"), QStringLiteral("1")}});
    server->clearRequestLog();
    try {
        files()->BringIntoCache(*minutes);
        ADD_FAILURE() << "a wrong download was taken";
    } catch (const CRequestException &e) {
        EXPECT_EQ(e.code(), QStringLiteral("00003"));
    }
    EXPECT_EQ(ReadFile(cached), previous);
    EXPECT_FALSE(QFileInfo::exists(downloadCopy));

    // Every try to fetch it breaks mid-body: the continuations and the framework's retries
    // too (more cuts than they can use up).
    server->hook(QStringLiteral("fail"), {{QStringLiteral("op"), QStringLiteral("file/get")},
                                          {QStringLiteral("mode"), QStringLiteral("cut")},
                                          {QStringLiteral("count"), QStringLiteral("1000")}});
    EXPECT_THROW(files()->BringIntoCache(*minutes), CBizException);
    EXPECT_EQ(ReadFile(cached), previous);
    EXPECT_FALSE(QFileInfo::exists(downloadCopy));
    EXPECT_EQ(cache()->FindLocal(year, minutes->FileName())->size, quint32(previous.size()));
}

TEST_F(SharedFiles, SearchesCountsOffsetsAndInfo)
{
    // A file search over the subtree, paged by the service.
    SFilePageQuery search;
    search.folderId = Id(QStringLiteral("経理"));
    search.searchMode = true;
    search.pattern = QStringLiteral("報告");
    ASSERT_TRUE(files()->LoadPage(search));
    ASSERT_GT(search.fileCount, 0);
    EXPECT_EQ(files()->list().size(), search.fileCount);
    for (const CFileRecord *r : files()->list()) {
        EXPECT_FALSE(r->IsFolderEntry());
        EXPECT_TRUE(r->FileName().contains(QStringLiteral("報告"))) << r->FileName().toStdString();
        EXPECT_NE(r->folder, nullptr) << "attached to its folder";
    }

    // By transaction data in a DataBox folder: counterparty and amount range.
    CTransactionSearchQuery byDeal;
    byDeal.name = QStringLiteral("A商事");
    byDeal.amountFrom = QStringLiteral("115000");
    SFilePageQuery deals;
    deals.folderId = Id(QStringLiteral("電子帳簿"));
    deals.searchMode = true;
    deals.search = &byDeal;
    ASSERT_TRUE(files()->LoadPage(deals));
    EXPECT_EQ(EntryNames(), QStringList{QStringLiteral("請求書_A商事_202404.pdf")});
    EXPECT_EQ(deals.fileCount, 1);

    // A folder search: the direct subfolders whose names match.
    SFilePageQuery byName;
    byName.folderId = Id(kYear);
    byName.pattern = QStringLiteral("2月");
    ASSERT_TRUE(files()->LoadPage(byName));
    EXPECT_EQ(EntryNames(), QStringList{QStringLiteral("[02月]")});

    // Counts, the offset of a file in the sorted listing, and one file's record.
    const qint32 year = Id(kYear);
    qint32 locked = -1;
    ASSERT_TRUE(files()->CountFiles(year, false, true, {}, nullptr, locked));
    EXPECT_EQ(locked, 1) << "売上集計_2024.xlsx is suzuki's";
    qint32 page = year;
    ASSERT_TRUE(Page(page));
    QStringList sorted;
    for (const CFileRecord *r : files()->list()) {
        if (!r->IsFolderEntry())
            sorted << r->path;
    }
    ASSERT_GT(sorted.size(), 3);
    qint32 offset = -2;
    ASSERT_TRUE(files()->FindFileOffset(year, sorted.at(3), SFileListOptions(), offset));
    EXPECT_EQ(offset, 3);
    CSharedFileRecord info;
    ASSERT_TRUE(files()->GetFileInfo(year, QStringLiteral("/売上集計_2024.xlsx"), info));
    EXPECT_EQ(info.lockDispName, QStringLiteral("鈴木 花子"));
    ASSERT_NE(info.folder, nullptr);
    EXPECT_EQ(info.folderPath, kYear);
    EXPECT_TRUE(messages.isEmpty()) << messages.join(u'\n').toStdString();
}

TEST_F(SharedFiles, RefreshSizesTheProgressThenReloadsAndLoadsThePage)
{
    CBizProgressHandler progress;
    CBizProgressAttach attach(*files(), &progress);
    server->clearRequestLog();
    SFilePageQuery query;
    query.folderId = Id(kYear);
    ASSERT_TRUE(files()->Refresh(query, true, true));
    EXPECT_GT(progress.total(), 0);
    QStringList ops;
    for (const QString &line : server->requestLog())
        ops << line.section(u' ', 2, 2);
    // The estimate first, then the reloads, then the page.
    const qsizetype counted = ops.indexOf(QStringLiteral("filetype/count"));
    const qsizetype tree = ops.indexOf(QStringLiteral("workspace/list"));
    const qsizetype types = ops.indexOf(QStringLiteral("filetype/list"));
    const qsizetype listed = ops.lastIndexOf(QStringLiteral("file/list"));
    EXPECT_TRUE(ops.contains(QStringLiteral("favorite/count")));
    EXPECT_TRUE(counted >= 0 && counted < tree && tree < types && types < listed)
        << ops.join(u' ').toStdString();
    EXPECT_GT(files()->list().size(), 0);

    // A folder gone since: the estimate climbs to the nearest folder left, and the page is
    // that folder's.
    server->hook(QStringLiteral("folder/delete"), {{QStringLiteral("folderPath"), kYear}});
    ASSERT_TRUE(files()->Refresh(query, false, false));
    EXPECT_EQ(query.folderId, Id(QStringLiteral("経理")));
    EXPECT_TRUE(EntryNames().contains(QStringLiteral("[2023]")));
    EXPECT_TRUE(messages.isEmpty()) << messages.join(u'\n').toStdString();
}

TEST_F(SharedFiles, RelatedDataIsWhatTheFolderDoesNotHaveYet)
{
    const qint32 year = Id(kYear);
    qint32 page = year;
    ASSERT_TRUE(Page(page));
    ASSERT_TRUE(files()->BringIntoCache(*Entry(year, kMinutes)));
    QString working;
    ASSERT_TRUE(cache()->PrepareWorkingCopy(year, QStringLiteral("議事録_経理会議.txt"), &working));
    const QString beside = QFileInfo(working).absolutePath();
    for (const char *name : {"繰越.xlsx", "仕訳帳.csv", ".~lock.議事録_経理会議.txt#",
                             "memo.unknownext", "old.xlsx.vqrca", "backup.xlsx~"})
        ASSERT_TRUE(WriteFile(beside + u'/' + QString::fromUtf8(name), "x"));
    ASSERT_TRUE(QDir().mkpath(beside + QStringLiteral("/sub.xlsx")));
    QStringList related;
    EXPECT_EQ(cache()->ListRelatedFiles(year, QStringLiteral("議事録_経理会議.txt"), related), 1);
    EXPECT_EQ(related, QStringList{QStringLiteral("繰越.xlsx")})
        << "仕訳帳.csv is registered in the folder already";
}
