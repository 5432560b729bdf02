// The folder operations as the windows run them, against the devserver's demo office as
// yamada: the colour the service stores, folders holding files out for editing, the
// placement rules of move and copy (checked before any request, and agreeing with what the
// service refuses), the structure-only copy, the mirror and cache after a move or a delete,
// folders gone behind a favourites view, and the question before a delete.

#include "SignedInSession.h"

#include "core/Messages.h"
#include "core/Strings.h"
#include "store/IdPath.h"

#include <QDomDocument>
#include <QEventLoop>
#include <QFileInfo>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QUrlQuery>

#include <functional>

namespace {

const QString kBelowItself
    = QStringLiteral("移動するフォルダ自身の下へ、移動することはできません。");

class FolderOperations : public SignedInSession
{
protected:
    CSharedWorkspaceManager *folders() const { return shared()->sharedWorkspaces(); }
    CLocalWorkspaceManager *mirror() const { return folders()->mirror(); }
    void Reload() { ASSERT_TRUE(folders()->Load()); }
    void SetUser(const QList<QPair<QString, QString>> &settings)
    {
        QList<QPair<QString, QString>> params{{"loginId", "yamada"}};
        params += settings;
        server->hook(QStringLiteral("user"), params);
    }
    // The folder's colour as the service stores it (the client's records hold it mapped).
    QString StoredStyle(qint32 folderId) const
    {
        QUrl url = server->apiUrl(QStringLiteral("workspace/info"));
        url.setQuery(QUrlQuery{{QStringLiteral("workspaceId"), QString::number(folderId)}});
        QNetworkRequest request(url);
        request.setRawHeader("x-velquor-access-key", login()->accessKey().toLatin1());
        QNetworkAccessManager nam;
        QNetworkReply *reply = nam.get(request);
        QEventLoop loop;
        QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
        loop.exec();
        QDomDocument doc;
        doc.setContent(reply->readAll());
        reply->deleteLater();
        return doc.documentElement()
            .firstChildElement(QStringLiteral("infoResponse"))
            .firstChildElement(QStringLiteral("workspace"))
            .firstChildElement(QStringLiteral("folderStyle"))
            .text();
    }
    qint32 FileCount(qint32 folderId)
    {
        qint32 count = -1;
        EXPECT_TRUE(files()->CountFiles(folderId, true, false, {}, nullptr, count));
        return count;
    }
    // Brings the file into the cache; answers its cache copy.
    QString Cached(qint32 folderId, const QString &path)
    {
        CSharedFileRecord record;
        EXPECT_TRUE(files()->GetFileInfo(folderId, path, record));
        EXPECT_TRUE(files()->BringIntoCache(record));
        const QString copy = cache()->CachePath(folderId, path.mid(1));
        EXPECT_TRUE(QFileInfo::exists(copy)) << qPrintable(copy);
        return copy;
    }
    QStringList ChangeRequests() const
    {
        QStringList sent;
        for (const char *op : {"workspace/create", "workspace/update", "workspace/move",
                               "workspace/copy", "workspace/delete"})
            sent += server->requestLog(QString::fromLatin1(op));
        return sent;
    }
};

} // namespace

TEST_F(FolderOperations, CreatedFoldersCarryTheirColourToTheServiceAndTheTreeIsReloaded)
{
    struct Row
    {
        QString parent;
        bool dataBox;
        int colour;        // as the folder dialog gives it
        QString onService; // as the service stores it
    };
    const Row rows[] = {
        {QStringLiteral("共有"), false, 4, QStringLiteral("4")},
        {QStringLiteral("電子帳簿"), true, 23, QStringLiteral("203")},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.onService.toStdString());
        gui()->ClearTreeReload();
        qint32 created = 0;
        ASSERT_TRUE(gui()->CreateFolderOp(Id(row.parent), QStringLiteral("新しいフォルダ"),
                                          row.colour, QStringLiteral("メモ"), row.dataBox,
                                          &created));
        EXPECT_TRUE(gui()->treeNeedsReload());
        EXPECT_EQ(created, Id(row.parent + QStringLiteral("/新しいフォルダ")));
        EXPECT_EQ(StoredStyle(created), row.onService);
        EXPECT_EQ(folders()->list().FindById(created)->folderStyle, row.colour);

        // A refused create is shown and marks the tree as well.
        gui()->ClearTreeReload();
        messages.clear();
        EXPECT_FALSE(gui()->CreateFolderOp(Id(row.parent), QStringLiteral("新しいフォルダ"),
                                           row.colour, {}, row.dataBox));
        EXPECT_TRUE(gui()->treeNeedsReload());
        ASSERT_EQ(messages.size(), 1);
        EXPECT_TRUE(messages.first().startsWith(LoadString(17961)))
            << messages.first().toStdString();
    }
}

TEST_F(FolderOperations, AFileOutForEditingBelowStopsRenameAndMoveButNotAColourChange)
{
    // suzuki's seed lock in 経理/2024; one of this very client in 給与/2024年度.
    server->hook(QStringLiteral("lock"), {{"folderPath", "給与/2024年度"},
                                          {"path", "/給与台帳.xlsx"},
                                          {"clientKey", login()->clientKey()}});
    const QString groups[] = {QStringLiteral("経理"), QStringLiteral("給与")};
    for (const QString &group : groups) {
        SCOPED_TRACE(group.toStdString());
        const qint32 id = Id(group);
        server->clearRequestLog();
        messages.clear();
        EXPECT_FALSE(gui()->RenameFolderOp(id, QStringLiteral("改名"), 0, {}, false, false, false));
        EXPECT_FALSE(gui()->MoveFolderOp(id, Id(QStringLiteral("共有")), false));
        EXPECT_EQ(messages, QStringList(2, LoadString(17966)));
        EXPECT_TRUE(ChangeRequests().isEmpty()) << ChangeRequests().join(u'|').toStdString();
        EXPECT_EQ(Id(group), id);

        // The name stays: colour and comment change, for the folders below too.
        ASSERT_TRUE(gui()->RenameFolderOp(id, group, 7, QStringLiteral("新しいコメント"), true,
                                          true, false));
        EXPECT_EQ(StoredStyle(id), QStringLiteral("7"));
        EXPECT_EQ(StoredStyle(folders()->Children(id).first()->id), QStringLiteral("7"));
        EXPECT_EQ(server->callCount(QStringLiteral("file/count")), 2);
    }
}

TEST_F(FolderOperations, PlacementIsCheckedBeforeAnyRequestAsTheServiceWouldJudgeIt)
{
    struct Row
    {
        QString folder, destination;
        bool copy;
        QString refusal; // empty: allowed
    };
    const QString tooDeep = detail::ComposeMessage(18242, 3);
    // Three levels at most: a folder group has depth 1.
    const Row rows[] = {
        {QStringLiteral("給与/2024年度"), QStringLiteral("経理/2024/01月"), false, tooDeep},
        {QStringLiteral("経理/2024"), QStringLiteral("給与/2024年度"), true, tooDeep},
        {QStringLiteral("給与"), QStringLiteral("給与/2024年度"), false, kBelowItself},
        {QStringLiteral("経理/2024"), QStringLiteral("経理/2024/01月"), true, kBelowItself},
        {QStringLiteral("経理/2024"), QStringLiteral("給与"), true, {}},
        {QStringLiteral("給与/2024年度"), QStringLiteral("経理/2024"), false, {}},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(
            QString(row.folder + (row.copy ? u" copied to " : u" moved to ") + row.destination)
                .toStdString());
        const qint32 folder = Id(row.folder);
        const qint32 destination = Id(row.destination);
        server->clearRequestLog();
        messages.clear();
        const bool allowed = gui()->CheckFolderPlacement(folder, destination, row.copy);
        EXPECT_EQ(allowed, row.refusal.isEmpty());
        EXPECT_EQ(messages, row.refusal.isEmpty() ? QStringList() : QStringList{row.refusal});
        EXPECT_TRUE(server->requestLog().isEmpty())
            << server->requestLog().join(u'|').toStdString();

        // The service agrees: what the check lets through it carries out, the rest it refuses.
        const QString name = folders()->list().FindById(folder)->name;
        const bool done = row.copy ? gui()->CopyFoldersOp(folder, destination, name)
                                   : gui()->MoveFolderOp(folder, destination, false);
        EXPECT_EQ(done, allowed);
        Reload();
    }
    EXPECT_GT(Id(QStringLiteral("給与/2024/03月")), 0);
    EXPECT_GT(Id(QStringLiteral("経理/2024/2024年度")), 0);
}

TEST_F(FolderOperations, AMoveWhoseMirrorPathWouldPassTheLocalLimitIsRefused)
{
    const qint32 moved = Id(QStringLiteral("共有/テンプレート"));
    const qint32 destination = Id(QStringLiteral("給与"));
    const QString destinationDir
        = mirror()->LocalFolderPath(folders()->list().FindById(destination));
    ASSERT_FALSE(destinationDir.isEmpty());
    struct Row
    {
        int length; // of the folder's new mirror path
        bool copy;
        bool allowed;
    };
    const Row rows[] = {{250, false, true}, {251, false, false}, {251, true, true}};
    for (const Row &row : rows) {
        SCOPED_TRACE(row.length);
        // The directory: destination + "/" + eight hex digits + the name.
        const QString name(row.length - int(destinationDir.size()) - 1 - 8, u'n');
        ASSERT_GT(name.size(), 0);
        server->hook(QStringLiteral("folder/rename"),
                     {{"workspaceId", QString::number(moved)}, {"name", name}});
        Reload();
        server->clearRequestLog();
        messages.clear();
        EXPECT_EQ(gui()->CheckFolderPlacement(moved, destination, row.copy), row.allowed);
        const QString path = destinationDir + u'/' + EncodeIdName(moved, name);
        ASSERT_EQ(path.size(), row.length);
        EXPECT_EQ(messages, row.allowed
                                ? QStringList()
                                : QStringList{detail::ComposeMessage(18240, path, 251, 250)});
        EXPECT_TRUE(server->requestLog().isEmpty());
    }
}

TEST_F(FolderOperations, CopiedFoldersKeepTheStructureWithoutFiles)
{
    const qint32 source = Id(QStringLiteral("経理/2024"));
    const qint32 sourceFiles = FileCount(source);
    ASSERT_GT(sourceFiles, 10);
    qint32 copy = 0;
    ASSERT_TRUE(gui()->CopyFoldersOp(source, Id(QStringLiteral("共有")), QStringLiteral("2024写し"),
                                     &copy));
    EXPECT_TRUE(gui()->treeNeedsReload());
    Reload();
    ASSERT_EQ(copy, Id(QStringLiteral("共有/2024写し")));
    QStringList below;
    for (const CWorkspaceRecord *r : folders()->Children(copy))
        below << r->name;
    EXPECT_EQ(below, QStringList({"01月", "02月", "03月"}));
    EXPECT_EQ(FileCount(copy), 0);
    EXPECT_EQ(FileCount(source), sourceFiles);
}

TEST_F(FolderOperations, ADeletedFolderTakesItsMirrorAndCachedCopiesAlong)
{
    const qint32 group = Id(QStringLiteral("給与"));
    const qint32 year = Id(QStringLiteral("給与/2024年度"));
    const QString copy = Cached(year, QStringLiteral("/給与台帳.xlsx"));
    ASSERT_NE(cache()->FindLocal(year, QStringLiteral("給与台帳.xlsx")), nullptr);
    const QString groupDir = mirror()->LocalFolderPath(mirror()->list().FindById(group));
    ASSERT_TRUE(QFileInfo(groupDir).isDir());

    ASSERT_TRUE(gui()->DeleteFolderOp(group, false));
    EXPECT_EQ(Id(QStringLiteral("給与")), -1);
    EXPECT_FALSE(QFileInfo::exists(groupDir));
    EXPECT_FALSE(QFileInfo::exists(copy));
    EXPECT_EQ(cache()->FindLocal(year, QStringLiteral("給与台帳.xlsx")), nullptr);
    EXPECT_EQ(mirror()->list().FindById(year), nullptr);
    EXPECT_TRUE(messages.isEmpty()) << messages.join(u'|').toStdString();
}

TEST_F(FolderOperations, AMovedFolderTakesItsCachedCopiesAlongAndLeavesNoRecordBehind)
{
    struct Row
    {
        QString folder, file, destination;
        QString destinationName; // given behind the client's back; one no directory can have
    };
    const Row rows[] = {
        {QStringLiteral("給与/2024年度"),
         QStringLiteral("/給与台帳.xlsx"),
         QStringLiteral("共有"),
         {}},
        {QStringLiteral("経理/2023"), QStringLiteral("/売上集計_2023.xlsx"),
         QStringLiteral("共有/テンプレート"), QStringLiteral("テン:プレート")},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.folder.toStdString());
        const qint32 moved = Id(row.folder);
        const qint32 destination = Id(row.destination);
        const QString before = Cached(moved, row.file);
        const QByteArray content = ReadFile(before);
        ASSERT_NE(mirror()->list().FindById(moved), nullptr);
        if (!row.destinationName.isEmpty()) {
            server->hook(
                QStringLiteral("folder/rename"),
                {{"workspaceId", QString::number(destination)}, {"name", row.destinationName}});
            Reload();
        }

        ASSERT_TRUE(gui()->MoveFolderOp(moved, destination, false));
        const CWorkspaceRecord *stale = mirror()->list().FindById(moved);
        EXPECT_TRUE(!stale || stale->ParentId() == destination);
        Reload();
        if (row.destinationName.isEmpty()) {
            const QString after = cache()->CachePath(moved, row.file.mid(1));
            EXPECT_NE(after, before);
            EXPECT_EQ(ReadFile(after), content);
            EXPECT_FALSE(QFileInfo::exists(before));
        }
    }
    EXPECT_TRUE(messages.isEmpty()) << messages.join(u'|').toStdString();
}

TEST_F(FolderOperations, FromTheFavouritesAFolderGoneMeanwhileStopsTheOperation)
{
    // A favourite still there passes the check.
    const qint32 year = Id(QStringLiteral("経理/2024"));
    server->clearRequestLog();
    ASSERT_TRUE(gui()->RenameFolderOp(year, QStringLiteral("2024"), 2, {}, false, true, true));
    EXPECT_EQ(server->callCount(QStringLiteral("favorite/info")), 1);

    const qint32 invoices = Id(QStringLiteral("電子帳簿/請求書"));
    server->hook(QStringLiteral("folder/delete"), {{"workspaceId", QString::number(invoices)}});
    const std::function<bool()> operations[] = {
        [&] {
            return gui()->RenameFolderOp(invoices, QStringLiteral("改名"), 0, {}, false, false,
                                         true);
        },
        [&] { return gui()->MoveFolderOp(invoices, Id(QStringLiteral("共有")), true); },
        [&] { return gui()->DeleteFolderOp(invoices, true); },
    };
    for (const auto &operation : operations) {
        server->clearRequestLog();
        messages.clear();
        gui()->ClearTreeReload();
        EXPECT_FALSE(operation());
        ASSERT_EQ(messages.size(), 1);
        EXPECT_TRUE(messages.first().startsWith(LoadString(17960)))
            << messages.first().toStdString();
        EXPECT_EQ(server->callCount(QStringLiteral("favorite/info")), 1);
        EXPECT_EQ(server->callCount(QStringLiteral("file/count")), 0);
        EXPECT_TRUE(ChangeRequests().isEmpty());
        EXPECT_TRUE(gui()->treeNeedsReload());
    }
}

TEST_F(FolderOperations, TheDeleteQuestionNamesTheKindWhoseFilesStay)
{
    struct Row
    {
        bool fileDelete, dataBoxFileDelete;
        QStringList selection;
        QString expected;
        int answer;
    };
    const QStringList both{QStringLiteral("経理"), QStringLiteral("電子帳簿")};
    const Row rows[] = {
        {true, true, both, detail::ComposeMessage(18253, QStringLiteral("2件")), IDYES},
        {false, true, both,
         detail::ComposeMessage(18252, QStringLiteral("2件"), QStringLiteral("フォルダ")), IDNO},
        {true, false, both,
         detail::ComposeMessage(18252, QStringLiteral("2件"), QStringLiteral("電子フォルダ")),
         IDYES},
        {false, false, both,
         detail::ComposeMessage(18252, QStringLiteral("2件"),
                                QStringLiteral("フォルダと電子フォルダ")),
         IDYES},
        // Only the kinds the selection holds count.
        {true,
         false,
         {QStringLiteral("経理")},
         detail::ComposeMessage(18253, QStringLiteral("経理")),
         IDNO},
        {true,
         false,
         {QStringLiteral("電子帳簿")},
         detail::ComposeMessage(18252, QStringLiteral("電子帳簿"), QStringLiteral("電子フォルダ")),
         IDYES},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.expected.toStdString());
        SetUser({{"privFileDelete", row.fileDelete ? "1" : "0"},
                 {"privFileDeleteDataBox", row.dataBoxFileDelete ? "1" : "0"}});
        SignIn();
        QList<qint32> ids;
        for (const QString &path : row.selection)
            ids << Id(path);
        messages.clear();
        installation.answers = {row.answer};
        EXPECT_EQ(gui()->ConfirmDeleteFolders(ids), row.answer == IDYES);
        EXPECT_EQ(messages, QStringList{row.expected});
    }
}
