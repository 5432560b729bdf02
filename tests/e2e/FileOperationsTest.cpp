// File operations on a selection as a user goes through them, against the devserver's demo
// office: adding local files (checks, the error log on the desktop, the same-content skip,
// names the service chose), rights taken away, files other clients hold, moves whose cached
// copies follow, downloads into a folder, pasted paths, and the related data an application
// leaves when it replaces the working copy.

#include "SignedInSession.h"

#include "app/LogManager.h"
#include "core/BizException.h"
#include "core/Messages.h"
#include "store/AnsiCodec.h"
#include "store/DateTimeValue.h"

#include <QDir>
#include <QFileInfo>

namespace {

const QString kYear = QStringLiteral("経理/2024");
const QString kReadme = QStringLiteral("/readme.txt");
const QString kSales = QStringLiteral("/売上集計_2024.xlsx"); // suzuki holds it

class FileOperations : public SignedInSession
{
protected:
    // A local file in the test's own folder.
    QString Local(const QString &name, const QByteArray &bytes)
    {
        const QString path = installation.path(QStringLiteral("local/") + name);
        EXPECT_TRUE(WriteFile(path, bytes));
        return path;
    }
    void SetUser(const QList<QPair<QString, QString>> &settings, const QString &loginId = "yamada")
    {
        QList<QPair<QString, QString>> params{{"loginId", loginId}};
        params += settings;
        server->hook(QStringLiteral("user"), params);
    }
    QString ServiceDigest(qint32 folderId, const QString &path) const
    {
        const QList<QByteArray> fields
            = server
                  ->hook(QStringLiteral("file"),
                         {{"workspaceId", QString::number(folderId)}, {"path", path}})
                  .split(' ');
        return fields.size() > 2 ? QString::fromLatin1(fields.at(2)) : QString();
    }
    bool OnService(qint32 folderId, const QString &path) const
    {
        return server->hookStatus(QStringLiteral("file"),
                                  {{"workspaceId", QString::number(folderId)}, {"path", path}})
               == 200;
    }
    // The error log files on the desktop.
    QStringList DesktopLogs() const
    {
        return QDir(installation.home() + QStringLiteral("/Desktop"))
            .entryList({QStringLiteral("VQRエラーログ*.csv")}, QDir::Files);
    }
    QStringList LogLines(const QString &file) const
    {
        const QString text
            = FromAnsi(ReadFile(installation.home() + QStringLiteral("/Desktop/") + file));
        return text.split(u'\n', Qt::SkipEmptyParts);
    }
    // The fields of one CSV line (RFC 4180 quoting).
    static QStringList CsvFields(const QString &line)
    {
        QStringList fields{QString()};
        bool quoted = false;
        for (int i = 0; i < line.size(); ++i) {
            const QChar c = line.at(i);
            if (quoted && c == u'"' && i + 1 < line.size() && line.at(i + 1) == u'"') {
                fields.last() += c;
                ++i;
            } else if (c == u'"') {
                quoted = !quoted;
            } else if (c == u',' && !quoted) {
                fields << QString();
            } else {
                fields.last() += c;
            }
        }
        return fields;
    }
    int CountIn(const QString &needle) const
    {
        int n = 0;
        for (const QString &m : messages)
            n += m.contains(needle) ? 1 : 0;
        return n;
    }
};

TEST_F(FileOperations, AddingThreeFilesLogsTheTwoRefusedOnTheDesktop)
{
    SetUser({{"maxFileSize", "1000"}});
    SignIn();
    const qint32 year = Id(kYear);
    // A refused file's source path has a comma: the log's columns must stay six.
    const QString good = Local(QStringLiteral("新しい資料.txt"), "fresh content");
    const QStringList paths{Local(QStringLiteral("a,b/拡張子なし"), "x"),
                            Local(QStringLiteral("大きい.txt"), QByteArray(2000, 'z')), good};
    installation.answers = {IDYES, IDNO};

    const SOperationResult result = gui()->AddFiles(year, paths);

    EXPECT_EQ(result.succeeded, 1);
    EXPECT_EQ(result.failed, 2);
    EXPECT_EQ(server->callCount(QStringLiteral("file/create")), 1);
    EXPECT_EQ(ServiceDigest(year, QStringLiteral("/新しい資料.txt")),
              QString::fromLatin1(Md5Of(good)));
    SFileStates cached;
    cache()->QueryCache(year, QStringLiteral("新しい資料.txt"), SFileStates::Size, cached);
    EXPECT_TRUE(cached.exists);
    QStringList history;
    EXPECT_EQ(cache()->ListHistory(cache()->HistoryDirOf(year, QStringLiteral("新しい資料.txt")),
                                   QStringLiteral("新しい資料.txt"), history),
              1);
    ASSERT_FALSE(messages.isEmpty());
    EXPECT_TRUE(messages.first().contains(QStringLiteral("3件の項目")))
        << (messages.first()).toStdString();
    EXPECT_EQ(messages.last(),
              QStringLiteral("2件の項目でエラーが発生しました。\r\nエラーログを表示しますか？"));
    EXPECT_EQ(installation.shown.back().buttons, MsgButtons::YesNoDefaultNo);

    const QStringList logs = DesktopLogs();
    ASSERT_EQ(logs.size(), 1);
    const QStringList lines = LogLines(logs.first());
    ASSERT_EQ(lines.size(), 3);
    EXPECT_EQ(lines.at(0), QStringLiteral("ログ出力日時,操作,操作元ファイル/フォルダ,"
                                          "操作後ファイル/フォルダ,エラーの分類,エラーの内容"));
    EXPECT_TRUE(lines.at(1).endsWith(QStringLiteral(",拡張子エラー")))
        << (lines.at(1)).toStdString();
    EXPECT_TRUE(lines.at(2).endsWith(QStringLiteral(",ファイルサイズエラー（上限超過）")))
        << (lines.at(2)).toStdString();
    for (const QString &line : lines.mid(1)) {
        const QStringList fields = CsvFields(line);
        ASSERT_EQ(fields.size(), 6) << line.toStdString();
        EXPECT_EQ(fields.at(1), QStringLiteral("追加"));
        EXPECT_EQ(fields.at(3), QStringLiteral("経理/2024"));
        EXPECT_EQ(fields.at(4), QStringLiteral("ファイル"));
    }
    EXPECT_EQ(CsvFields(lines.at(1)).at(2), paths.first());
}

TEST_F(FileOperations, OneFailedFileShowsItsMessageAndWritesNoLog)
{
    const qint32 year = Id(kYear);
    installation.answers = {IDYES};
    const SOperationResult result
        = gui()->AddFiles(year, {Local(QStringLiteral("拡張子なし"), "x")});
    EXPECT_EQ(result.failed, 1);
    EXPECT_EQ(messages.last(), LoadString(18233));
    EXPECT_TRUE(DesktopLogs().isEmpty());
}

TEST_F(FileOperations, AddingTheSameContentUnderTheOverwriteRightSendsNothing)
{
    qint32 year = Id(kYear);
    ASSERT_TRUE(Page(year));
    const QString same = Local(QStringLiteral("readme.txt"), "Files of the 2024 fiscal year.\r\n");
    server->clearRequestLog();

    const SOperationResult result = gui()->AddFiles(year, {same}, false);

    EXPECT_EQ(result.succeeded, 1);
    EXPECT_EQ(server->callCount(QStringLiteral("file/create")), 0);
    EXPECT_TRUE(messages.isEmpty()) << (messages.join(u'|')).toStdString();
}

TEST_F(FileOperations, ANameTheServiceChoseIsReportedOnlyUnderTheOverwriteRight)
{
    const qint32 year = Id(kYear);
    // Without the right the service keeps both: nothing to report.
    SetUser({{"privFileOverwrite", "0"}});
    SignIn();
    SOperationResult result
        = gui()->AddFiles(year, {Local(QStringLiteral("readme.txt"), "another text")}, false);
    ASSERT_EQ(result.succeeded, 1);
    EXPECT_EQ(result.names, QStringList{QStringLiteral("readme(1).txt")});
    EXPECT_EQ(CountIn(QStringLiteral("同名ファイルが存在するため")), 0);

    // With it, a service that still chose another name is reported by that name.
    SetUser({{"privFileOverwrite", "1"}});
    SignIn();
    server->hook(QStringLiteral("samename"), {{"rule", "unique"}});
    result = gui()->AddFiles(year, {Local(QStringLiteral("readme.txt"), "a third text")}, false);
    ASSERT_EQ(result.succeeded, 1);
    ASSERT_EQ(result.names.size(), 1);
    EXPECT_NE(result.names.first(), QStringLiteral("readme.txt"));
    EXPECT_EQ(messages.last(), detail::ComposeMessage(18371, result.names.first()));
}

TEST_F(FileOperations, RightsTakenAwayStopAddingAndCreatingFolders)
{
    SetUser({{"privFileCreate", "0"}, {"privFolderCreate", "0"}}, QStringLiteral("suzuki"));
    SignIn(QStringLiteral("suzuki"));
    const qint32 year = Id(kYear);

    installation.answers = {IDYES};
    const SOperationResult added
        = gui()->AddFiles(year, {Local(QStringLiteral("メモ.txt"), "memo")});
    EXPECT_EQ(added.succeeded, 0);
    EXPECT_TRUE(messages.contains(LoadString(18366))) << (messages.join(u'|')).toStdString();
    EXPECT_FALSE(gui()->CheckFolderName(year, QStringLiteral("新しいフォルダ")));
    EXPECT_EQ(messages.last(), LoadString(18365));
    EXPECT_EQ(server->callCount(QStringLiteral("file/create")), 0);
}

TEST_F(FileOperations, AFileAnotherClientHoldsIsNotDeleted)
{
    const qint32 year = Id(kYear);
    server->clearRequestLog();
    const SOperationResult result = gui()->DeleteFiles({SItemRef{year, kSales}}, false, false);
    EXPECT_EQ(result.succeeded, 0);
    EXPECT_EQ(messages.last(), detail::ComposeMessage(18260, QStringLiteral("売上集計_2024.xlsx"),
                                                      QStringLiteral("鈴木 花子")));
    EXPECT_EQ(server->callCount(QStringLiteral("file/delete")), 0);
    EXPECT_TRUE(OnService(year, kSales));
}

TEST_F(FileOperations, DeletingAFileDropsItsCachedCopy)
{
    qint32 year = Id(kYear);
    ASSERT_TRUE(Page(year));
    CSharedFileRecord record;
    ASSERT_TRUE(files()->GetFileInfo(year, kReadme, record));
    ASSERT_TRUE(files()->BringIntoCache(record));
    installation.answers = {IDYES};
    const SOperationResult result = gui()->DeleteFiles({SItemRef{year, kReadme}}, false);
    EXPECT_EQ(result.succeeded, 1);
    EXPECT_EQ(messages.first(), detail::ComposeMessage(18251, QStringLiteral("readme.txt")));
    EXPECT_FALSE(OnService(year, kReadme));
    EXPECT_FALSE(QFileInfo::exists(cache()->CachePath(year, QStringLiteral("readme.txt"))));
}

TEST_F(FileOperations, TheFolderAndFilesViewDeletesSubfolderEntriesAsFolders)
{
    const qint32 year = Id(kYear);
    const qint32 march = Id(kYear + QStringLiteral("/03月"));
    installation.answers = {IDYES};
    const SOperationResult result
        = gui()->DeleteFiles({SItemRef{march, {}, true}, SItemRef{year, kReadme}}, true);
    EXPECT_EQ(result.succeeded, 2);
    EXPECT_EQ(messages.first(), detail::ComposeMessage(18254, QStringLiteral("2件")));
    EXPECT_EQ(server->callCount(QStringLiteral("workspace/delete")), 1);
    EXPECT_EQ(server->folderId(kYear + QStringLiteral("/03月")), -1);
    EXPECT_FALSE(OnService(year, kReadme));
    EXPECT_TRUE(gui()->treeNeedsReload());
}

TEST_F(FileOperations, TransactionInformationAndANewNameReachTheService)
{
    const qint32 invoices = Id(QStringLiteral("電子帳簿/請求書"));
    const SItemRef item{invoices, QStringLiteral("/請求書_D企画_202405.pdf")};
    bool refresh = false;
    ASSERT_TRUE(gui()->EditTransactionInfo(item, QStringLiteral("請求書_D企画_202406.pdf"),
                                           ParseDateTime(QStringLiteral("2024/06/30 00:00:00")),
                                           66000, QStringLiteral("D企画株式会社"), &refresh))
        << messages.join(u'|').toStdString();
    EXPECT_TRUE(refresh);
    CSharedFileRecord record;
    ASSERT_TRUE(files()->GetFileInfo(invoices, QStringLiteral("/請求書_D企画_202406.pdf"), record));
    EXPECT_EQ(record.transactionName, QStringLiteral("D企画株式会社"));
    EXPECT_EQ(record.transactionAmount, 66000);
    EXPECT_EQ(FormatDateTimeValue(record.transactionDate, QStringLiteral("%Y/%m/%d")),
              QStringLiteral("2024/06/30"));
    EXPECT_FALSE(OnService(invoices, item.path));
}

TEST_F(FileOperations, ADownloadedNameThatIsNoFileNameFailsThatFileOnly)
{
    const qint32 year = Id(kYear);
    server->hook(QStringLiteral("file/rename"), {{"workspaceId", QString::number(year)},
                                                 {"path", kReadme},
                                                 {"name", QStringLiteral("..")}});
    const QString dest = installation.path(QStringLiteral("downloads/inner"));
    ASSERT_TRUE(QDir().mkpath(dest));
    installation.answers = {IDNO};
    const SOperationResult result = gui()->DownloadFiles(
        {SItemRef{year, QStringLiteral("/..")}, SItemRef{year, QStringLiteral("/仕訳帳.csv")}},
        dest);
    EXPECT_EQ(result.succeeded, 1);
    EXPECT_EQ(result.failed, 1);
    EXPECT_EQ(QDir(dest).entryList(QDir::Files), QStringList{QStringLiteral("仕訳帳.csv")});
    EXPECT_EQ(QDir(installation.path(QStringLiteral("downloads"))).entryList(QDir::Files),
              QStringList());
    const QStringList logs = DesktopLogs();
    ASSERT_EQ(logs.size(), 1);
    EXPECT_TRUE(LogLines(logs.first()).at(1).contains(OsMessageText(OsError::InvalidName)))
        << LogLines(logs.first()).at(1).toStdString();
}

TEST_F(FileOperations, ADownloadNeverReplacesAnEditThatWasNotSent)
{
    qint32 year = Id(kYear);
    ASSERT_TRUE(Page(year));
    const QString budget = QStringLiteral("/予算計画.xlsx");
    ASSERT_TRUE(gui()->OpenForEditing(year, budget, nullptr, true));
    // A send that failed after the edit copy took the working copy's content.
    const QString editCopy = cache()->EditCopyPath(year, QStringLiteral("予算計画.xlsx"));
    ASSERT_TRUE(WriteFile(editCopy, "the edit nobody sent yet"));
    ASSERT_TRUE(QDir().mkpath(installation.path(QStringLiteral("downloads"))));
    const QString dest = installation.path(QStringLiteral("downloads/予算計画.xlsx"));

    const SOperationResult result = gui()->DownloadFiles({SItemRef{year, budget}}, dest);

    EXPECT_EQ(result.succeeded, 1) << messages.join(u'|').toStdString();
    EXPECT_EQ(QString::fromLatin1(Md5Of(dest)), ServiceDigest(year, budget));
    EXPECT_EQ(ReadFile(editCopy), "the edit nobody sent yet");
}

TEST_F(FileOperations, MovingTenFilesOfWhichThreeAreHeldMovesSevenWithTheirCachedCopies)
{
    qint32 year = Id(kYear);
    const qint32 march = Id(kYear + QStringLiteral("/03月"));
    ASSERT_TRUE(Page(year));
    QList<SItemRef> items;
    for (const CFileRecord *r : files()->list()) {
        if (!r->IsFolderEntry() && items.size() < 10)
            items << SItemRef{year, r->path};
    }
    ASSERT_EQ(items.size(), 10);
    // Three held by suzuki (one of them already was); the others cached.
    QList<CSharedFileRecord> records(items.size());
    int held = 0;
    for (int i = 0; i < items.size(); ++i) {
        ASSERT_TRUE(files()->GetFileInfo(year, items.at(i).path, records[i]));
        held += records.at(i).lockKey.isEmpty() ? 0 : 1;
    }
    for (int i = 0; i < items.size(); ++i) {
        if (!records.at(i).lockKey.isEmpty())
            continue;
        if (held < 3) {
            server->hook(QStringLiteral("lock"),
                         {{"workspaceId", QString::number(year)}, {"path", items.at(i).path}});
            ++held;
        } else {
            ASSERT_TRUE(files()->BringIntoCache(records.at(i)));
        }
    }
    ASSERT_EQ(held, 3);
    installation.answers = {IDYES, IDNO};

    const SOperationResult result = gui()->MoveFiles(items, march);

    EXPECT_EQ(result.succeeded, 7);
    EXPECT_EQ(result.failed, 3);
    EXPECT_EQ(server->callCount(QStringLiteral("file/move")), 7);
    const QStringList logs = DesktopLogs();
    ASSERT_EQ(logs.size(), 1);
    const QStringList lines = LogLines(logs.first());
    ASSERT_EQ(lines.size(), 4);
    for (const QString &line : lines.mid(1)) {
        EXPECT_TRUE(line.contains(QStringLiteral(",移動,"))) << (line).toStdString();
        EXPECT_TRUE(line.contains(QStringLiteral(",移動元ファイルエラー(")))
            << (line).toStdString();
    }
    // The moved files' cached copies are in the new folder's directory.
    for (const QString &moved : result.names) {
        EXPECT_TRUE(OnService(march, u'/' + moved)) << (moved).toStdString();
        EXPECT_TRUE(QFileInfo::exists(cache()->CachePath(march, moved))) << (moved).toStdString();
        EXPECT_FALSE(QFileInfo::exists(cache()->CachePath(year, moved))) << (moved).toStdString();
    }
}

TEST_F(FileOperations, DownloadingFiveFilesIntoAFolderNeverLeavesAPartialFile)
{
    const qint32 year = Id(kYear);
    const QString dest = installation.path(QStringLiteral("downloads"));
    const QStringList names{QStringLiteral("readme.txt"), QStringLiteral("仕訳帳.csv"),
                            QStringLiteral("予算計画.xlsx"), QStringLiteral("総勘定元帳.csv"),
                            QStringLiteral("銀行明細_2024.csv")};
    QList<SItemRef> items;
    for (const QString &n : names)
        items << SItemRef{year, u'/' + n};
    // One is there already with other bytes; one is served with a wrong digest and has a
    // file of its name there that must stay.
    ASSERT_TRUE(WriteFile(dest + QStringLiteral("/readme.txt"), "old bytes"));
    ASSERT_TRUE(WriteFile(dest + QStringLiteral("/仕訳帳.csv"), "keep me"));
    server->hook(QStringLiteral("file/wrongdigest"),
                 {{"workspaceId", QString::number(year)}, {"path", QStringLiteral("/仕訳帳.csv")}});
    installation.answers = {IDNO};

    const SOperationResult result = gui()->DownloadFiles(items, dest);

    EXPECT_EQ(result.succeeded, 4);
    EXPECT_EQ(result.failed, 1);
    EXPECT_EQ(ReadFile(dest + QStringLiteral("/仕訳帳.csv")), "keep me");
    for (const QString &n : names) {
        if (n == QStringLiteral("仕訳帳.csv"))
            continue;
        EXPECT_EQ(QString::fromLatin1(Md5Of(dest + u'/' + n)), ServiceDigest(year, u'/' + n))
            << (n).toStdString();
    }
    // Nothing half-written stays beside them.
    EXPECT_EQ(QDir(dest).entryList(QDir::Files | QDir::Hidden).size(), 5)
        << QDir(dest).entryList(QDir::Files | QDir::Hidden).join(u',').toStdString();
    EXPECT_EQ(DesktopLogs().size(), 1);
}

TEST_F(FileOperations, APastedPathOpensThePageThatHoldsTheFile)
{
    const qint32 year = Id(kYear);
    SPasteTarget target;
    ASSERT_TRUE(gui()->ResolvePastePath(QStringLiteral("経理/2024/銀行明細_2024.csv"), 5, target));
    EXPECT_EQ(target.folderId, year);
    EXPECT_EQ(target.fileName, QStringLiteral("銀行明細_2024.csv"));
    qint32 folder = target.folderId;
    ASSERT_TRUE(Page(folder, 5, (target.page - 1) * 5));
    EXPECT_TRUE(EntryNames().contains(QStringLiteral("銀行明細_2024.csv")))
        << "page " << target.page << ": " << EntryNames().join(u',').toStdString();

    ASSERT_TRUE(gui()->ResolvePastePath(QStringLiteral("/経理//2024/"), 5, target));
    EXPECT_EQ(target.folderId, year);
    EXPECT_TRUE(target.fileName.isEmpty());

    messages.clear();
    EXPECT_FALSE(gui()->ResolvePastePath(QStringLiteral("経理/ない/readme.txt"), 5, target));
    EXPECT_EQ(messages,
              QStringList{detail::ComposeMessage(18370, QStringLiteral("経理/ない/readme.txt"))});
    EXPECT_FALSE(gui()->ResolvePastePath(QString(), 5, target));
    EXPECT_EQ(messages.last(), LoadString(18369));
    EXPECT_EQ(gui()->PathText(year, kReadme), QStringLiteral("経理/2024/readme.txt"));
}

// The application replaced the working copy by a new spreadsheet beside it (a carry-over).
class RelatedData : public FileOperations
{
protected:
    void SetUp() override
    {
        FileOperations::SetUp();
        if (HasFatalFailure())
            return;
        year = Id(kYear);
        ASSERT_TRUE(Page(year));
        QString working;
        ASSERT_TRUE(gui()->OpenForEditing(year, kBudget, nullptr, true, nullptr, &working));
        ASSERT_TRUE(WriteFile(QFileInfo(working).path() + QStringLiteral("/予算計画_2025.xlsx"),
                              "next year's plan"));
        ASSERT_TRUE(QFile::remove(working));
        messages.clear();
    }
    QString Prompt() const
    {
        const QString name = QStringLiteral("予算計画.xlsx");
        return detail::ComposeMessage(18264, name) + QStringLiteral("予算計画_2025.xlsx")
               + detail::ComposeMessage(18265, name) + LoadString(18266);
    }
    const QString kBudget = QStringLiteral("/予算計画.xlsx");
    qint32 year = 0;
};

TEST_F(RelatedData, YesAddsTheNewFileAndDeletesTheOldOneAfterTheSend)
{
    installation.answers = {IDYES};
    EXPECT_TRUE(gui()->SendWithRelatedData(year, kBudget, false, false));
    ASSERT_FALSE(messages.isEmpty());
    EXPECT_EQ(messages.first(), Prompt());
    EXPECT_TRUE(OnService(year, QStringLiteral("/予算計画_2025.xlsx")));
    EXPECT_FALSE(OnService(year, kBudget));
    EXPECT_TRUE(gui()->ListUnsent().isEmpty());
}

TEST_F(RelatedData, NoKeepsTheFileUnsent)
{
    installation.answers = {IDNO};
    EXPECT_FALSE(gui()->SendWithRelatedData(year, kBudget, false, false));
    EXPECT_EQ(messages.first(), Prompt());
    EXPECT_EQ(messages.last(), detail::ComposeMessage(18354, QStringLiteral("予算計画.xlsx")));
    EXPECT_FALSE(OnService(year, QStringLiteral("/予算計画_2025.xlsx")));
    EXPECT_TRUE(OnService(year, kBudget));
    EXPECT_EQ(gui()->CountUnsent(), 1);
}

} // namespace
