// The checks of names, places and limits against the demo office as yamada, with the limits
// and rights the service's login gave: file and folder names (each check as a message and
// as the short text of the error log), the short texts of service faults, where files may
// be added and how many at once, the local path limit and the dialog fields' texts.

#include "SignedInSession.h"

#include "account/UserRecord.h"
#include "core/BizFormat.h"
#include "core/Strings.h"

#include <QDir>

namespace {

const QString kFileSet = QStringLiteral("\\/:*?\"<>|");
const QString kFolderSet = QStringLiteral("\\/:*?\"<>| ");

// yamada's limits for these tests, given by the service's login.
const QList<QPair<QString, QString>> kLimits = {
    {QStringLiteral("loginId"), QStringLiteral("yamada")},
    {QStringLiteral("maxFileNameLength"), QStringLiteral("20")},
    {QStringLiteral("maxFileSize"), QStringLiteral("1000")},
    {QStringLiteral("maxSubFolderLength"), QStringLiteral("8")},
    {QStringLiteral("maxFolderDepth"), QStringLiteral("3")},
    {QStringLiteral("maxFileNum"), QStringLiteral("777")},
    {QStringLiteral("maxFileCreate"), QStringLiteral("500")},
};

class Checks : public SignedInSession
{
protected:
    void SetUp() override
    {
        SignedInSession::SetUp();
        if (HasFatalFailure())
            return;
        ChangeUser(kLimits);
    }
    // Changes yamada on the service and signs in again, so the client has the new values.
    void ChangeUser(const QList<QPair<QString, QString>> &values)
    {
        server->hook(QStringLiteral("user"), values);
        SignIn();
        ASSERT_NE(login()->currentUser(), nullptr);
    }
    // A local file of that many bytes (none for a negative size).
    QString LocalFile(const QString &name, int size)
    {
        const QString path = installation.path(QStringLiteral("local/") + name);
        if (size >= 0) {
            EXPECT_TRUE(WriteFile(path, QByteArray(size, 'x')));
        }
        return path;
    }
};

// A check's outcome in both modes: the message without an error text, the short text with.
struct SCheckCase
{
    const char *name = "";
    QString folder = QStringLiteral("経理/2024"); // the folder (the parent for folder names)
    QString input = {};                           // a new name, or a local file's name
    QString result = {}; // passes: the target name (files) or the trimmed name (folders)
    int messageId = 0;   // fails: the message and its arguments, and the short text
    QVariantList args = {};
    QString shortText = {};
    int addSize = -2; // adding a local file of that many bytes (-1: there is none); -2 a new name
};

void PrintTo(const SCheckCase &c, std::ostream *os)
{
    *os << c.name;
}

std::string CaseName(const ::testing::TestParamInfo<SCheckCase> &info)
{
    return info.param.name;
}

QString Message(const SCheckCase &c)
{
    return BizFormat(LoadString(c.messageId), c.args);
}

const QString kYear = QStringLiteral("経理/2024");
const QString kInvoices = QStringLiteral("電子帳簿/請求書"); // a DataBox folder
const QString kForbiddenFile = u"禁止文字（" + kFileSet + u"）エラー";
const QString kForbiddenFolder = u"禁止文字（" + kFolderSet + u"）エラー";

class FileNameCheck : public Checks, public ::testing::WithParamInterface<SCheckCase>
{};

TEST_P(FileNameCheck, ShowsTheMessageOrWritesTheShortText)
{
    const SCheckCase &c = GetParam();
    qint32 folderId = Id(c.folder);
    ASSERT_GT(folderId, 0);
    // The current list is the folder's, as when the window shows it.
    ASSERT_TRUE(Page(folderId));
    const bool nameOnly = c.addSize == -2;
    const QString input = nameOnly ? c.input : LocalFile(c.input, c.addSize);
    const bool passes = c.messageId == 0;

    QString folderPath;
    QString target;
    EXPECT_EQ(gui()->CheckFileName(folderId, &folderPath, &target, input, nameOnly), passes);
    if (passes) {
        EXPECT_TRUE(messages.isEmpty()) << messages.value(0).toStdString();
        EXPECT_EQ(folderPath, c.folder);
        EXPECT_EQ(target, c.result);
    } else {
        EXPECT_EQ(messages, QStringList{Message(c)});
    }

    messages.clear();
    QString error;
    EXPECT_EQ(gui()->CheckFileName(folderId, nullptr, nullptr, input, nameOnly, {}, &error),
              passes);
    EXPECT_EQ(error, c.shortText);
    EXPECT_TRUE(messages.isEmpty()) << messages.value(0).toStdString();
}

const QString kLong = QStringLiteral("abcdefghijklmnopq.txt"); // 21 characters

INSTANTIATE_TEST_SUITE_P(
    Table, FileNameCheck,
    ::testing::Values(
        // The name with its extension against maxFileNameLength 20.
        SCheckCase{.name = "ExactLengthPasses",
                   .input = u"abcdefghijklmnop.txt"_qs,
                   .result = u"abcdefghijklmnop.txt"_qs},
        SCheckCase{.name = "OneMoreIsTooLong",
                   .input = kLong,
                   .messageId = 18239,
                   .args = {kLong, 21, 20},
                   .shortText = u"ファイル名長エラー（21/20）"_qs},
        SCheckCase{.name = "JapaneseCountsCharacters",
                   .input = u"月次報告書_第一四半期_確定版改.xlsx"_qs,
                   .messageId = 18239,
                   .args = {u"月次報告書_第一四半期_確定版改.xlsx"_qs, 21, 20},
                   .shortText = u"ファイル名長エラー（21/20）"_qs},
        // The length is looked at before the leading space and the characters.
        SCheckCase{.name = "TooLongBeforeLeadingSpace",
                   .input = u" abcdefghijklmnop.txt"_qs,
                   .messageId = 18239,
                   .args = {u" abcdefghijklmnop.txt"_qs, 21, 20},
                   .shortText = u"ファイル名長エラー（21/20）"_qs},
        SCheckCase{.name = "LeadingSpace",
                   .input = u" 予算.txt"_qs,
                   .messageId = 18373,
                   .shortText = u"禁止文字（ファイル名先頭の半角スペース）エラー"_qs},
        SCheckCase{
            .name = "InnerSpacePasses", .input = u"予算 改.txt"_qs, .result = u"予算 改.txt"_qs},
        SCheckCase{.name = "ForbiddenCharacter",
                   .input = u"予算?.txt"_qs,
                   .messageId = 18247,
                   .args = {u"予算?.txt"_qs, kFileSet},
                   .shortText = kForbiddenFile},
        // A new name is one name: a slash in it is a character, not a folder.
        SCheckCase{.name = "SlashInANewName",
                   .input = u"a/b.txt"_qs,
                   .messageId = 18247,
                   .args = {u"a/b.txt"_qs, kFileSet},
                   .shortText = kForbiddenFile},
        // No extension fails before the length and the characters.
        SCheckCase{.name = "NoExtensionFirst",
                   .input = u" 予算:計画:二〇二四年度:確定版:最終報告"_qs,
                   .messageId = 18233,
                   .shortText = u"拡張子エラー"_qs},
        SCheckCase{.name = "UnknownExtension",
                   .input = u"setup.exe"_qs,
                   .messageId = 18234,
                   .args = {u".exe"_qs},
                   .shortText = u"ファイルタイプエラー"_qs},
        SCheckCase{
            .name = "CapitalExtensionMatches", .input = u"予算.TXT"_qs, .result = u"予算.TXT"_qs},
        // A name of the folder's list, ignoring letter case.
        SCheckCase{.name = "DuplicateInTheList",
                   .input = u"README.TXT"_qs,
                   .messageId = 18235,
                   .args = {kYear, u"README.TXT"_qs},
                   .shortText = u"ファイル名重複"_qs},
        SCheckCase{.name = "DuplicateJapanese",
                   .input = u"仕訳帳.csv"_qs,
                   .messageId = 18235,
                   .args = {kYear, u"仕訳帳.csv"_qs},
                   .shortText = u"ファイル名重複"_qs},
        // A DataBox folder keeps files of the same name apart itself.
        SCheckCase{.name = "DuplicateInDataBoxPasses",
                   .folder = kInvoices,
                   .input = u"請求書_A商事_202401.pdf"_qs,
                   .result = u"請求書_A商事_202401.pdf"_qs},
        // Adding a local file: it must exist and fit maxFileSize 1000 bytes; a name already
        // there is the service's to decide (overwrite).
        SCheckCase{.name = "AddExactSizePasses",
                   .input = u"仕訳帳.csv"_qs,
                   .result = u"仕訳帳.csv"_qs,
                   .addSize = 1000},
        SCheckCase{.name = "AddTooLarge",
                   .input = u"見積.txt"_qs,
                   .messageId = 18237,
                   .args = {u"見積.txt"_qs, u"1001 バイト"_qs, u"1000 バイト"_qs},
                   .shortText = u"ファイルサイズエラー（上限超過）"_qs,
                   .addSize = 1001},
        SCheckCase{.name = "AddMissing",
                   .input = u"無い.txt"_qs,
                   .messageId = 18236,
                   .args = {u"無い.txt"_qs},
                   .shortText = u"ファイル未存在エラー"_qs,
                   .addSize = -1},
        SCheckCase{.name = "AddNameTooLong",
                   .input = kLong,
                   .messageId = 18239,
                   .args = {kLong, 21, 20},
                   .shortText = u"ファイル名長エラー（21/20）"_qs,
                   .addSize = 1},
        SCheckCase{.name = "AddToDataBox",
                   .folder = kInvoices,
                   .input = u"領収書.pdf"_qs,
                   .result = u"領収書.pdf"_qs,
                   .addSize = 10}),
    CaseName);

class FolderNameCheck : public Checks, public ::testing::WithParamInterface<SCheckCase>
{};

TEST_P(FolderNameCheck, ShowsTheMessageOrWritesTheShortText)
{
    const SCheckCase &c = GetParam();
    const qint32 parentId = Id(c.folder);
    ASSERT_GT(parentId, 0);
    const bool passes = !c.result.isEmpty();

    QString trimmed;
    EXPECT_EQ(gui()->CheckFolderName(parentId, c.input, nullptr, &trimmed), passes);
    EXPECT_EQ(messages, c.messageId ? QStringList{Message(c)} : QStringList{});
    if (passes) {
        EXPECT_EQ(trimmed, c.result);
    }

    messages.clear();
    QString error = QStringLiteral("before");
    EXPECT_EQ(gui()->CheckFolderName(parentId, c.input, &error), passes);
    EXPECT_EQ(error, passes ? QStringLiteral("before") : c.shortText);
    EXPECT_TRUE(messages.isEmpty()) << messages.value(0).toStdString();
}

INSTANTIATE_TEST_SUITE_P(Table, FolderNameCheck,
                         ::testing::Values(
                             // maxSubFolderLength 8 and maxFolderDepth 3; 経理/2024 has depth 2.
                             SCheckCase{.name = "ExactLengthPasses",
                                        .input = u"四半期決算資料一"_qs,
                                        .result = u"四半期決算資料一"_qs},
                             SCheckCase{.name = "OneMoreIsTooLong",
                                        .input = u"四半期決算資料一式"_qs,
                                        .messageId = 18240,
                                        .args = {u"四半期決算資料一式"_qs, 9, 8},
                                        .shortText = u"フォルダ名長エラー（9/8）"_qs},
                             // White space around the name goes before the length counts.
                             SCheckCase{.name = "TrimmedName",
                                        .input = u"  四半期決算資料一\t "_qs,
                                        .result = u"四半期決算資料一"_qs},
                             SCheckCase{.name = "InnerSpace",
                                        .input = u"04 月"_qs,
                                        .messageId = 18247,
                                        .args = {u"04 月"_qs, kFolderSet},
                                        .shortText = kForbiddenFolder},
                             SCheckCase{.name = "ForbiddenCharacter",
                                        .input = u"04|05月"_qs,
                                        .messageId = 18247,
                                        .args = {u"04|05月"_qs, kFolderSet},
                                        .shortText = kForbiddenFolder},
                             // Nothing but spaces: refused, with nothing to tell.
                             SCheckCase{.name = "OnlySpaces", .input = u"   "_qs},
                             SCheckCase{.name = "DuplicateChild",
                                        .input = u"02月"_qs,
                                        .messageId = 18334,
                                        .args = {u"02月"_qs},
                                        .shortText = u"フォルダ名重複"_qs},
                             SCheckCase{.name = "SameNameElsewherePasses",
                                        .folder = u"経理/2023"_qs,
                                        .input = u"02月"_qs,
                                        .result = u"02月"_qs},
                             // A parent at maxFolderDepth takes no subfolder.
                             SCheckCase{.name = "ParentAtMaxDepth",
                                        .folder = u"経理/2024/01月"_qs,
                                        .input = u"上旬"_qs,
                                        .messageId = 18242,
                                        .args = {3},
                                        .shortText = u"フォルダ階層数エラー（3）"_qs},
                             SCheckCase{.name = "DataBoxParent",
                                        .folder = u"電子帳簿"_qs,
                                        .input = u"契約書"_qs,
                                        .result = u"契約書"_qs}),
                         CaseName);

TEST_F(Checks, FolderOfTheNameMustBeKnown)
{
    for (const qint32 id : {FolderId::AllFolders, qint32(987654)}) {
        SCOPED_TRACE(id);
        messages.clear();
        EXPECT_FALSE(gui()->CheckFileName(id, nullptr, nullptr, QStringLiteral("a.txt"), true));
        EXPECT_FALSE(gui()->CheckFolderName(id, QStringLiteral("新規")));
        EXPECT_EQ(messages, QStringList(2, LoadString(18232)));
        QString fileError;
        QString folderError;
        EXPECT_FALSE(gui()->CheckFileName(id, nullptr, nullptr, QStringLiteral("a.txt"), true, {},
                                          &fileError));
        EXPECT_FALSE(gui()->CheckFolderName(id, QStringLiteral("新規"), &folderError));
        EXPECT_EQ(fileError, QStringLiteral("フォルダエラー"));
        EXPECT_EQ(folderError, QStringLiteral("フォルダエラー"));
    }

    // A negative id skips the folder and its right: only the name is checked.
    QString folderPath = QStringLiteral("before");
    QString target;
    messages.clear();
    EXPECT_TRUE(gui()->CheckFileName(FolderId::Favorites, &folderPath, &target,
                                     LocalFile(QStringLiteral("a.txt"), 1), false));
    EXPECT_TRUE(folderPath.isEmpty());
    EXPECT_EQ(target, QStringLiteral("a.txt"));
    EXPECT_TRUE(messages.isEmpty());
}

TEST_F(Checks, SubfolderPathExtendsTheFolderPathAndSkipsTheDuplicateCheck)
{
    qint32 year = Id(kYear);
    ASSERT_TRUE(Page(year));
    QString folderPath;
    QString target;
    // readme.txt is in the folder's list, but the name goes into the subfolder 01月.
    EXPECT_TRUE(gui()->CheckFileName(year, &folderPath, &target, QStringLiteral("readme.txt"), true,
                                     QStringLiteral("01月")));
    EXPECT_EQ(folderPath, QStringLiteral("経理/2024/01月"));
    EXPECT_EQ(target, QStringLiteral("readme.txt"));
    EXPECT_TRUE(messages.isEmpty());
}

TEST_F(Checks, RightsFollowTheKindOfFolder)
{
    ChangeUser({{QStringLiteral("loginId"), QStringLiteral("yamada")},
                {QStringLiteral("privFileCreate"), QStringLiteral("0")},
                {QStringLiteral("privFolderCreateDataBox"), QStringLiteral("0")}});
    const QString local = LocalFile(QStringLiteral("領収書.pdf"), 10);
    const qint32 year = Id(kYear);
    const qint32 invoices = Id(QStringLiteral("電子帳簿/請求書"));

    // Files: no add right in an ordinary folder, the DataBox right in a DataBox folder; a new
    // name of a file already there needs no add right.
    EXPECT_FALSE(gui()->CheckFileName(year, nullptr, nullptr, local, false));
    EXPECT_TRUE(gui()->CheckFileName(invoices, nullptr, nullptr, local, false));
    EXPECT_TRUE(gui()->CheckFileName(year, nullptr, nullptr, QStringLiteral("新.pdf"), true));
    // Folders: the other way round.
    EXPECT_FALSE(gui()->CheckFolderName(invoices, QStringLiteral("新規")));
    EXPECT_TRUE(gui()->CheckFolderName(year, QStringLiteral("新規")));
    EXPECT_EQ(messages, (QStringList{LoadString(18366), LoadString(18365)}));

    messages.clear();
    QString fileError;
    QString folderError;
    EXPECT_FALSE(gui()->CheckFileName(year, nullptr, nullptr, local, false, {}, &fileError));
    EXPECT_FALSE(gui()->CheckFolderName(invoices, QStringLiteral("新規"), &folderError));
    EXPECT_EQ(fileError, QStringLiteral("ファイル追加権限なし"));
    EXPECT_EQ(folderError, QStringLiteral("フォルダ作成権限なし"));
    EXPECT_TRUE(messages.isEmpty());
}

TEST_F(Checks, LocalPathLimitIs250)
{
    const QString name = QStringLiteral("/home/u/ドキュメント/請求書.xlsx");
    EXPECT_TRUE(gui()->CheckLocalPathLength(250, name));
    EXPECT_FALSE(gui()->CheckLocalPathLength(251, name));
    EXPECT_EQ(messages, QStringList{detail::ComposeMessage(18241, name, 251, 250)});
    QString error;
    EXPECT_FALSE(gui()->CheckLocalPathLength(300, name, &error));
    EXPECT_EQ(error, QStringLiteral("パス名長エラー(300/250)"));
    EXPECT_EQ(messages.size(), 1);
}

struct SFaultCase
{
    const char *name;
    QString code;
    ELogOperation kind;
    QString text;
};

class FaultText : public Checks, public ::testing::WithParamInterface<SFaultCase>
{};

TEST_P(FaultText, IsTheShortTextOfTheOperation)
{
    const SFaultCase &c = GetParam();
    EXPECT_EQ(gui()->FaultLogText(c.code, c.kind, nullptr), c.text);
    EXPECT_TRUE(messages.isEmpty());
}

INSTANTIATE_TEST_SUITE_P(
    Table, FaultText,
    ::testing::Values(
        SFaultCase{"EmptyFileAdd", QStringLiteral("10009"), ELogOperation::Add,
                   QStringLiteral("ファイルサイズエラー（空）")},
        SFaultCase{"EmptyFileCopy", QStringLiteral("10009"), ELogOperation::Copy, QString()},
        SFaultCase{"NoFolderRightAdd", QStringLiteral("30004"), ELogOperation::Add,
                   QStringLiteral("フォルダ作成権限なし")},
        SFaultCase{"NoFolderRightMove", QStringLiteral("30004"), ELogOperation::Move, QString()},
        SFaultCase{"FolderDepthAdd", QStringLiteral("30007"), ELogOperation::Add,
                   QStringLiteral("フォルダ階層数エラー")},
        SFaultCase{"LockedAdd", QStringLiteral("40008"), ELogOperation::Add,
                   QStringLiteral("上書き先ファイルエラー(使用中)")},
        SFaultCase{"LockedCopy", QStringLiteral("40008"), ELogOperation::Copy,
                   QStringLiteral("コピー元ファイルエラー(使用中)")},
        SFaultCase{"LockedMove", QStringLiteral("40008"), ELogOperation::Move,
                   QStringLiteral("移動元ファイルエラー(使用中)")},
        // maxFileNum of the login (777 here).
        SFaultCase{"FolderFullAdd", QStringLiteral("40012"), ELogOperation::Add,
                   QStringLiteral("ファイル数上限エラー(777)")},
        SFaultCase{"FolderFullCopy", QStringLiteral("40012"), ELogOperation::Copy,
                   QStringLiteral("ファイル数上限エラー(777)")},
        SFaultCase{"FolderFullMove", QStringLiteral("40012"), ELogOperation::Move,
                   QStringLiteral("ファイル数上限エラー(777)")},
        SFaultCase{"NoAddRightAdd", QStringLiteral("40014"), ELogOperation::Add,
                   QStringLiteral("ファイル追加権限なし")},
        SFaultCase{"NoAddRightCopy", QStringLiteral("40014"), ELogOperation::Copy, QString()},
        SFaultCase{"CapacityAdd", QStringLiteral("40017"), ELogOperation::Add,
                   QStringLiteral("容量制限エラー")},
        SFaultCase{"CapacityMove", QStringLiteral("40017"), ELogOperation::Move, QString()},
        SFaultCase{"OtherFault", QStringLiteral("40006"), ELogOperation::Add, QString()}),
    [](const ::testing::TestParamInfo<SFaultCase> &info) { return std::string(info.param.name); });

TEST_F(Checks, LockedFaultNamesTheHolderOfTheRecord)
{
    qint32 year = Id(kYear);
    const QString sales = QStringLiteral("/売上集計_2024.xlsx"); // suzuki holds it
    // A record of the list carries its status text; one fetched for the item has only the
    // lock, which gives the same text.
    ASSERT_TRUE(Page(year));
    const CSharedFileRecord *listed = Entry(year, sales);
    ASSERT_NE(listed, nullptr);
    CSharedFileRecord fetched;
    ASSERT_TRUE(files()->GetFileInfo(year, sales, fetched));
    ASSERT_TRUE(fetched.statusText.isEmpty());
    for (const CSharedFileRecord *record :
         {listed, static_cast<const CSharedFileRecord *>(&fetched)}) {
        EXPECT_EQ(gui()->FaultLogText(QStringLiteral("40008"), ELogOperation::Move, record),
                  QStringLiteral("移動元ファイルエラー(使用中（鈴木 花子）)"));
        EXPECT_EQ(gui()->FaultLogText(QStringLiteral("40008"), ELogOperation::Add, record),
                  QStringLiteral("上書き先ファイルエラー(使用中（鈴木 花子）)"));
    }
    // A free file's record has no status text.
    const CSharedFileRecord *free = Entry(year, QStringLiteral("/仕訳帳.csv"));
    ASSERT_NE(free, nullptr);
    EXPECT_EQ(gui()->FaultLogText(QStringLiteral("40008"), ELogOperation::Copy, free),
              QStringLiteral("コピー元ファイルエラー(使用中)"));
}

TEST_F(Checks, AddTargetMustBeAnOrdinaryFolder)
{
    EXPECT_FALSE(gui()->CheckAddTarget(FolderId::Favorites));
    EXPECT_FALSE(gui()->CheckAddTarget(FolderId::AllFolders));
    EXPECT_FALSE(gui()->CheckAddTarget(Id(QStringLiteral("経理"))));
    EXPECT_EQ(messages, (QStringList{LoadString(18244), LoadString(18245), LoadString(18246)}));
    messages.clear();
    EXPECT_TRUE(gui()->CheckAddTarget(Id(kYear)));
    EXPECT_TRUE(gui()->CheckAddTarget(Id(QStringLiteral("電子帳簿/請求書"))));
    EXPECT_TRUE(messages.isEmpty());
}

TEST_F(Checks, AddCountIsLimitedToMaxFileCreateWithoutDirectories)
{
    ASSERT_EQ(login()->currentUser()->maxFileCreate, 500);
    QStringList paths;
    for (int i = 1; i <= 500; ++i)
        paths << LocalFile(QStringLiteral("f%1.txt").arg(i), 0);
    for (const QString &dir : {QStringLiteral("子フォルダ1"), QStringLiteral("子フォルダ2")}) {
        paths << installation.path(QStringLiteral("local/") + dir);
        ASSERT_TRUE(QDir().mkpath(paths.last()));
    }
    // 500 files and two folders: within the limit.
    EXPECT_TRUE(gui()->CheckAddCount(paths));
    EXPECT_TRUE(messages.isEmpty());

    paths << LocalFile(QStringLiteral("f501.txt"), 0);
    EXPECT_FALSE(gui()->CheckAddCount(paths));
    EXPECT_EQ(messages, QStringList{detail::ComposeMessage(18338, 501, 500)});
    EXPECT_TRUE(messages.value(0).contains(QStringLiteral("（501件）")));
    EXPECT_TRUE(messages.value(0).contains(QStringLiteral("最大 500件")));
}

TEST(DialogFieldTexts, ComposeTheLabelLimitAndCharacterSet)
{
    EXPECT_EQ(
        CSharedGuiSystem::FieldMissingText(QStringLiteral("フォルダ名")),
        QStringLiteral("「フォルダ名」が未入力です。\r\n省略はできません。入力してください。"));
    EXPECT_EQ(CSharedGuiSystem::FieldTooLongText(QStringLiteral("コメント"), 500),
              QStringLiteral("「コメント」は最大文字数 500 で入力してください。"));
    EXPECT_EQ(CSharedGuiSystem::FieldForbiddenText(QStringLiteral("ファイル名"), false),
              u"「ファイル名」に使用できない文字（" + kFileSet
                  + u"）が含まれています。\r\n他の文字を入力してください。");
    EXPECT_EQ(CSharedGuiSystem::FieldForbiddenText(QStringLiteral("フォルダ名"), true),
              u"「フォルダ名」に使用できない文字（" + kFolderSet
                  + u"）が含まれています。\r\n他の文字を入力してください。");
    EXPECT_EQ(CSharedGuiSystem::FileNameForbidden(), kFileSet);
    EXPECT_EQ(CSharedGuiSystem::FolderNameForbidden(), kFolderSet);
}

} // namespace
