// The file list's logic without widgets: columns, cell texts and colours, the order of the
// rows and the pager of long folder lists.
#include "ui/main/FileListCells.h"
#include "ui/main/FileListColumns.h"
#include "ui/main/Pager.h"

#include "core/Strings.h"
#include "files/FileCommentRecord.h"
#include "files/FileRecord.h"
#include "folders/WorkspaceRecord.h"
#include "store/DateTimeValue.h"

#include <QHash>
#include <gtest/gtest.h>

#include <functional>
#include <limits>
#include <memory>
#include <numeric>
#include <optional>
#include <vector>

namespace {

// A row together with what its record points at.
struct SRow
{
    std::unique_ptr<CWorkspaceRecord> folder;
    std::unique_ptr<CFileCommentRecord> pending;
    std::unique_ptr<CFileRecord> record;
};

using RowSetup = std::function<void(CSharedFileRecord &)>;

SRow SharedFile(const RowSetup &setup = {})
{
    SRow row;
    auto record = std::make_unique<CSharedFileRecord>();
    record->workspaceId = 7;
    record->path = QStringLiteral("/見積書.xlsx");
    record->folderPath = QStringLiteral("経理/2024");
    if (setup)
        setup(*record);
    row.record = std::move(record);
    return row;
}

SRow LocalFile(const std::function<void(CLocalFileRecord &)> &setup = {})
{
    SRow row;
    auto record = std::make_unique<CLocalFileRecord>();
    record->path = QStringLiteral("/手順.docx");
    record->folderPath = QStringLiteral("総務");
    record->size = 2048;
    if (setup)
        setup(*record);
    row.record = std::move(record);
    return row;
}

SRow WithPendingComment(SRow row, const QString &text)
{
    row.pending = std::make_unique<CFileCommentRecord>();
    row.pending->text = text;
    static_cast<CSharedFileRecord &>(*row.record).pendingComment = row.pending.get();
    return row;
}

// A subfolder entry; the record's own file fields are filled in so that a cell that took
// them instead of staying empty would show.
SRow Subfolder(const std::function<void(CWorkspaceRecord &)> &setup = {})
{
    SRow row;
    row.folder = std::make_unique<CWorkspaceRecord>(
        QList<qint32>{3, 9}, QStringList{QStringLiteral("経理"), QStringLiteral("請求")}, false);
    row.folder->updateName = QStringLiteral("佐藤");
    row.folder->updateTime = CDateTimeValue::FromFields(2023, 12, 1, 8, 5);
    row.folder->comment = QStringLiteral("月末締め\n[23/12/01 佐藤] 追記");
    if (setup)
        setup(*row.folder);
    auto record = std::make_unique<CSharedFileRecord>();
    record->SetFolderItem(row.folder.get());
    record->folderPath = QStringLiteral("経理");
    record->size = 4096;
    record->pathLength = 40;
    record->transactionDate = CDateTimeValue::FromFields(2024, 1, 2);
    record->transactionName = QStringLiteral("取引先");
    record->transactionAmount = 500;
    record->amountBlank = false;
    record->updateDispName = QStringLiteral("ファイルの更新者");
    record->comment = QStringLiteral("ファイルのコメント");
    row.record = std::move(record);
    return row;
}

// --- cell texts ----------------------------------------------------------------------------

struct SCellCase
{
    const char *name;
    std::function<SRow()> make;
    int kind;
    QString text;
};

class FileCellTextTest : public ::testing::TestWithParam<SCellCase>
{};

TEST_P(FileCellTextTest, ShowsText)
{
    const SRow row = GetParam().make();
    EXPECT_EQ(CellText(*row.record, GetParam().kind), GetParam().text);
}

RowSetup Amount(qint64 amount)
{
    return [amount](CSharedFileRecord &r) {
        r.transactionAmount = amount;
        r.amountBlank = false;
    };
}

RowSetup Comment(const QString &text)
{
    return [text](CSharedFileRecord &r) { r.comment = text; };
}

INSTANTIATE_TEST_SUITE_P(
    FileListLogic, FileCellTextTest,
    ::testing::Values(
        SCellCase{"AmountNegativeGrouped", [] { return SharedFile(Amount(-1234567)); },
                  ColumnKind::TransacAmount, QStringLiteral("-1,234,567")},
        SCellCase{"AmountNoSeparatorAfterSign", [] { return SharedFile(Amount(-123456)); },
                  ColumnKind::TransacAmount, QStringLiteral("-123,456")},
        SCellCase{"AmountLargest",
                  [] { return SharedFile(Amount(std::numeric_limits<qint64>::max())); },
                  ColumnKind::TransacAmount, QStringLiteral("9,223,372,036,854,775,807")},
        SCellCase{"AmountZeroShown", [] { return SharedFile(Amount(0)); },
                  ColumnKind::TransacAmount, QStringLiteral("0")},
        SCellCase{"AmountBlank", [] { return SharedFile(); }, ColumnKind::TransacAmount, QString()},
        SCellCase{"TransacDateTwoDigitYear",
                  [] {
                      return SharedFile([](CSharedFileRecord &r) {
                          r.transactionDate = CDateTimeValue::FromFields(2024, 3, 5);
                      });
                  },
                  ColumnKind::TransacDate, QStringLiteral("24/03/05")},
        SCellCase{"TransacDateZeroEmpty", [] { return SharedFile(); }, ColumnKind::TransacDate,
                  QString()},
        SCellCase{"TransacDateInvalidEmpty",
                  [] {
                      return SharedFile([](CSharedFileRecord &r) {
                          r.transactionDate = CDateTimeValue(45000.0, CDateTimeValue::Invalid);
                      });
                  },
                  ColumnKind::TransacDate, QString()},
        SCellCase{"TransacDateNullEmpty",
                  [] {
                      return SharedFile([](CSharedFileRecord &r) {
                          r.transactionDate = CDateTimeValue::NullValue();
                      });
                  },
                  ColumnKind::TransacDate, QString()},
        SCellCase{"UpdateTimeMinutes",
                  [] {
                      return SharedFile([](CSharedFileRecord &r) {
                          r.updateTime = CDateTimeValue::FromFields(2024, 3, 5, 9, 7, 59);
                      });
                  },
                  ColumnKind::UpdateTime, QStringLiteral("24/03/05 09:07")},
        SCellCase{"UpdateTimeZeroEmpty", [] { return SharedFile(); }, ColumnKind::UpdateTime,
                  QString()},
        SCellCase{"UpdateNameDisplayName",
                  [] {
                      return SharedFile([](CSharedFileRecord &r) {
                          r.updateName = QStringLiteral("yamada");
                          r.updateDispName = QStringLiteral("山田 太郎");
                      });
                  },
                  ColumnKind::UpdateName, QStringLiteral("山田 太郎")},
        SCellCase{"CommentHeaderOfLastLineRemoved",
                  [] {
                      return SharedFile(Comment(
                          QStringLiteral("初版です\r\n[24/03/05 10:00 山田] 確認済み\r\n")));
                  },
                  ColumnKind::FileComment, QStringLiteral(" 確認済み")},
        SCellCase{"CommentTrailingEmptyLinesSkipped",
                  [] { return SharedFile(Comment(QStringLiteral("一行目\n二行目\n\n\r\n"))); },
                  ColumnKind::FileComment, QStringLiteral("二行目")},
        SCellCase{"CommentCloseBeforeOpenKept",
                  [] { return SharedFile(Comment(QStringLiteral("a]b[c]d]e"))); },
                  ColumnKind::FileComment, QStringLiteral("d]e")},
        SCellCase{"CommentUnclosedBracketKept",
                  [] { return SharedFile(Comment(QStringLiteral("[未完 の行"))); },
                  ColumnKind::FileComment, QStringLiteral("[未完 の行")},
        SCellCase{"CommentPendingEditShown",
                  [] {
                      return WithPendingComment(SharedFile(Comment(QStringLiteral("古い"))),
                                                QStringLiteral("[24/04/01 私] 新しい"));
                  },
                  ColumnKind::FileComment, QStringLiteral(" 新しい")},
        SCellCase{"SizeShortForm",
                  [] { return SharedFile([](CSharedFileRecord &r) { r.size = 1240; }); },
                  ColumnKind::FileSize, QStringLiteral("1.21 KB")},
        SCellCase{"PathLenUngrouped",
                  [] { return SharedFile([](CSharedFileRecord &r) { r.pathLength = 1234; }); },
                  ColumnKind::PathLen, QStringLiteral("1234")},
        SCellCase{"FileNameWithoutSlash", [] { return SharedFile(); }, ColumnKind::FileName,
                  QStringLiteral("見積書.xlsx")},
        SCellCase{"FavoriteCellIsName", [] { return SharedFile(); }, ColumnKind::Favorite,
                  QStringLiteral("見積書.xlsx")},
        SCellCase{"FolderNameIsPath", [] { return SharedFile(); }, ColumnKind::FolderName,
                  QStringLiteral("経理/2024")},
        SCellCase{"LocalFileHasNoUpdateTime", [] { return LocalFile(); }, ColumnKind::UpdateTime,
                  QString()},
        SCellCase{"LocalFileSize", [] { return LocalFile(); }, ColumnKind::FileSize,
                  QStringLiteral("2.00 KB")},
        SCellCase{"SubfolderName", [] { return Subfolder(); }, ColumnKind::FileName,
                  QStringLiteral("請求")},
        SCellCase{"SubfolderFolderNameIsRecordPath", [] { return Subfolder(); },
                  ColumnKind::FolderName, QStringLiteral("経理")},
        SCellCase{"SubfolderTransacDateEmpty", [] { return Subfolder(); }, ColumnKind::TransacDate,
                  QString()},
        SCellCase{"SubfolderTransacClientEmpty", [] { return Subfolder(); },
                  ColumnKind::TransacClient, QString()},
        SCellCase{"SubfolderAmountEmpty", [] { return Subfolder(); }, ColumnKind::TransacAmount,
                  QString()},
        SCellCase{"SubfolderSizeEmpty", [] { return Subfolder(); }, ColumnKind::FileSize,
                  QString()},
        SCellCase{"SubfolderPathLenEmpty", [] { return Subfolder(); }, ColumnKind::PathLen,
                  QString()},
        SCellCase{"SubfolderUpdateTimeOfFolder", [] { return Subfolder(); }, ColumnKind::UpdateTime,
                  QStringLiteral("23/12/01 08:05")},
        SCellCase{"SubfolderUpdateNameOfFolder", [] { return Subfolder(); }, ColumnKind::UpdateName,
                  QStringLiteral("佐藤")},
        SCellCase{"SubfolderCommentWhole", [] { return Subfolder(); }, ColumnKind::FileComment,
                  QStringLiteral("月末締め\n[23/12/01 佐藤] 追記")}),
    [](const auto &info) { return std::string(info.param.name); });

struct SSizeCase
{
    const char *name;
    quint64 bytes;
    QString text;
};

class ShortByteSizeTest : public ::testing::TestWithParam<SSizeCase>
{};

TEST_P(ShortByteSizeTest, ThreeSignificantDigits)
{
    EXPECT_EQ(ShortByteSize(GetParam().bytes), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    FileListLogic, ShortByteSizeTest,
    ::testing::Values(SSizeCase{"Zero", 0, QStringLiteral("0 bytes")},
                      SSizeCase{"BelowKilo", 1023, QStringLiteral("1023 bytes")},
                      SSizeCase{"OneKilo", 1024, QStringLiteral("1.00 KB")},
                      SSizeCase{"TruncatedNotRounded", 1239, QStringLiteral("1.20 KB")},
                      SSizeCase{"Hundredths", 1240, QStringLiteral("1.21 KB")},
                      SSizeCase{"Tenths", 12600, QStringLiteral("12.3 KB")},
                      SSizeCase{"Whole", 125952, QStringLiteral("123 KB")},
                      SSizeCase{"NineHundredNinetyNineKilo", 999 * 1024 + 1023,
                                QStringLiteral("999 KB")},
                      SSizeCase{"ThousandKiloIsMega", 1000 * 1024, QStringLiteral("0.97 MB")},
                      SSizeCase{"JustBelowMega", 1024 * 1024 - 1, QStringLiteral("0.99 MB")},
                      SSizeCase{"Giga", 5ull << 30, QStringLiteral("5.00 GB")},
                      SSizeCase{"LargestUnitGrows", 2000ull << 30, QStringLiteral("2000 GB")}),
    [](const auto &info) { return std::string(info.param.name); });

struct SCountCase
{
    const char *name;
    std::vector<quint32> sizes;
    bool supportMode;
    QString text;
};

class CountLabelTest : public ::testing::TestWithParam<SCountCase>
{};

TEST_P(CountLabelTest, CountsRows)
{
    std::vector<SRow> rows;
    QList<CFileRecord *> pointers;
    for (quint32 size : GetParam().sizes) {
        rows.push_back(SharedFile([size](CSharedFileRecord &r) { r.size = size; }));
        pointers.append(rows.back().record.get());
    }
    EXPECT_EQ(CountLabelText(pointers, GetParam().supportMode), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    FileListLogic, CountLabelTest,
    ::testing::Values(
        SCountCase{"Plain", {1, 2, 3}, false, QStringLiteral("3件の項目")},
        SCountCase{"SupportWithSizeTotal", {1024, 216}, true, QStringLiteral("2件 (1.21 KB)")},
        SCountCase{"SupportTotalPastFourGiga",
                   {4000000000u, 4000000000u},
                   true,
                   QStringLiteral("2件 (7.45 GB)")},
        SCountCase{"SupportEmpty", {}, true, QStringLiteral("0件 (0 bytes)")}),
    [](const auto &info) { return std::string(info.param.name); });

// --- colours -------------------------------------------------------------------------------

const QColor kListBackground(250, 250, 240);

struct SColourCase
{
    const char *name;
    std::function<SRow()> make;
    int kind;
    bool online;
    bool selected;
    SAdditionRights rights;
    std::optional<QColor> text;
    std::optional<QColor> background;
};

class FileCellColourTest : public ::testing::TestWithParam<SColourCase>
{};

TEST_P(FileCellColourTest, Colours)
{
    const SColourCase &c = GetParam();
    const SRow row = c.make();
    const SCellColours colours
        = c.online ? OnlineCellColours(*row.record, c.kind, c.selected, c.rights, kListBackground)
                   : BaseCellColours(*row.record, c.kind);
    EXPECT_EQ(colours.text, c.text);
    EXPECT_EQ(colours.background, c.background);
}

RowSetup LockedByMe()
{
    return [](CSharedFileRecord &r) {
        r.lockKey = QStringLiteral("this-pc");
        r.lockedByMe = true;
        r.statusText = QStringLiteral("未送信");
    };
}

RowSetup LockedByOther()
{
    return [](CSharedFileRecord &r) {
        r.lockKey = QStringLiteral("other-pc");
        r.readOnlyView = true;
        r.statusText = QStringLiteral("使用中（山田）");
    };
}

RowSetup ReadOnly()
{
    return [](CSharedFileRecord &r) { r.readOnlyView = true; };
}

std::function<SRow()> FolderRow(bool dataBox, bool readOnly)
{
    return [dataBox, readOnly] {
        return Subfolder([dataBox, readOnly](CWorkspaceRecord &f) {
            f.isDataBox = dataBox;
            f.readOnly = readOnly;
        });
    };
}

std::function<SRow()> File(RowSetup setup = {})
{
    return [setup] { return SharedFile(setup); };
}

constexpr SAdditionRights kNoRights{};
constexpr SAdditionRights kReadonlyCreate{true, false, false};
constexpr SAdditionRights kDataBox{false, true, false};
constexpr SAdditionRights kDataBoxReadonly{false, true, true};
constexpr SAdditionRights kAllButDataBox{true, false, true};

INSTANTIATE_TEST_SUITE_P(
    FileListLogic, FileCellColourTest,
    ::testing::Values(
        // Both windows' rule.
        SColourCase{"BaseNameLockedByMeBlue", File(LockedByMe()), ColumnKind::FileName, false,
                    false, kNoRights, ListColour::Blue(), std::nullopt},
        SColourCase{"BaseNameLockedBeatsReadOnly", File([](CSharedFileRecord &r) {
                        LockedByMe()(r);
                        r.readOnlyView = true;
                    }),
                    ColumnKind::FileName, false, false, kNoRights, ListColour::Blue(),
                    std::nullopt},
        SColourCase{"BaseNameReadOnlyDarkGrey", File(ReadOnly()), ColumnKind::FileName, false,
                    false, kNoRights, ListColour::DarkGrey(), std::nullopt},
        SColourCase{"BaseNamePlainDefault", File(), ColumnKind::FileName, false, false, kNoRights,
                    ListColour::Default(), std::nullopt},
        SColourCase{"BaseAppReadOnlyGrey", File(ReadOnly()), ColumnKind::AppName, false, false,
                    kNoRights, ListColour::Grey(), std::nullopt},
        SColourCase{"BaseAppPlainDefault", File(), ColumnKind::AppName, false, false, kNoRights,
                    ListColour::Default(), std::nullopt},
        SColourCase{"BaseStatusLockedByMeBlue", File(LockedByMe()), ColumnKind::Status, false,
                    false, kNoRights, ListColour::Blue(), std::nullopt},
        SColourCase{"BaseStatusLockedByOtherDefault", File(LockedByOther()), ColumnKind::Status,
                    false, false, kNoRights, ListColour::Default(), std::nullopt},
        SColourCase{"BaseFolderNameReadOnlyDefault", File(ReadOnly()), ColumnKind::FolderName,
                    false, false, kNoRights, ListColour::Default(), std::nullopt},
        SColourCase{"BaseOtherKindGrey", File(LockedByMe()), ColumnKind::UpdateTime, false, false,
                    kNoRights, ListColour::Grey(), std::nullopt},
        SColourCase{"BaseSubfolderDefault", FolderRow(false, true), ColumnKind::UpdateTime, false,
                    false, kNoRights, ListColour::Default(), std::nullopt},
        // The online window's files.
        SColourCase{"OnlineNameLockedByOtherRed", File(LockedByOther()), ColumnKind::FileName, true,
                    false, kNoRights, ListColour::Red(), std::nullopt},
        SColourCase{"OnlineStatusLockedByOtherRed", File(LockedByOther()), ColumnKind::Status, true,
                    false, kNoRights, ListColour::Red(), std::nullopt},
        SColourCase{"OnlineNameLockedByMeBlue", File(LockedByMe()), ColumnKind::FileName, true,
                    false, kNoRights, ListColour::Blue(), std::nullopt},
        SColourCase{"OnlineStatusLockedByMeDefault", File(LockedByMe()), ColumnKind::Status, true,
                    false, kNoRights, ListColour::Default(), std::nullopt},
        SColourCase{"OnlineNameReadOnlyGrey", File(ReadOnly()), ColumnKind::FileName, true, false,
                    kNoRights, ListColour::Grey(), std::nullopt},
        SColourCase{"OnlineFolderNameReadOnlyDarkGrey", File(ReadOnly()), ColumnKind::FolderName,
                    true, false, kNoRights, ListColour::DarkGrey(), std::nullopt},
        SColourCase{"OnlineFolderNamePlainDefault", File(), ColumnKind::FolderName, true, false,
                    kNoRights, ListColour::Default(), std::nullopt},
        SColourCase{"OnlineCommentUnsentBlue",
                    [] { return WithPendingComment(SharedFile(), QStringLiteral("編集中")); },
                    ColumnKind::FileComment, true, false, kNoRights, ListColour::Blue(),
                    std::nullopt},
        SColourCase{"OnlineCommentSentGrey", File(Comment(QStringLiteral("送信済み"))),
                    ColumnKind::FileComment, true, false, kNoRights, ListColour::Grey(),
                    std::nullopt},
        SColourCase{"OnlineAppNameGrey", File(), ColumnKind::AppName, true, false, kNoRights,
                    ListColour::Grey(), std::nullopt},
        SColourCase{"OnlineStarSelected", File(), ColumnKind::Favorite, true, true, kNoRights,
                    std::nullopt, ListColour::FavoriteSelected()},
        SColourCase{"OnlineStarNotSelected", File(), ColumnKind::Favorite, true, false, kNoRights,
                    std::nullopt, kListBackground},
        // The online window's subfolders: grey where the user cannot add.
        SColourCase{"FolderWritable", FolderRow(false, false), ColumnKind::FileName, true, false,
                    kNoRights, ListColour::Default(), std::nullopt},
        SColourCase{"FolderReadOnlyGrey", FolderRow(false, true), ColumnKind::FileName, true, false,
                    kNoRights, ListColour::Grey(), std::nullopt},
        SColourCase{"FolderReadOnlyWithRight", FolderRow(false, true), ColumnKind::UpdateTime, true,
                    false, kReadonlyCreate, ListColour::Default(), std::nullopt},
        SColourCase{"FolderReadOnlyDataBoxRightNotEnough", FolderRow(false, true),
                    ColumnKind::FolderName, true, false, kDataBoxReadonly, ListColour::Grey(),
                    std::nullopt},
        SColourCase{"DataBoxWithoutRightGrey", FolderRow(true, false), ColumnKind::FileName, true,
                    false, kAllButDataBox, ListColour::Grey(), std::nullopt},
        SColourCase{"DataBoxWithRight", FolderRow(true, false), ColumnKind::FileName, true, false,
                    kDataBox, ListColour::Default(), std::nullopt},
        SColourCase{"DataBoxReadOnlyNormalRightNotEnough", FolderRow(true, true),
                    ColumnKind::FileName, true, false, SAdditionRights{true, true, false},
                    ListColour::Grey(), std::nullopt},
        SColourCase{"DataBoxReadOnlyWithRight", FolderRow(true, true), ColumnKind::FileName, true,
                    false, kDataBoxReadonly, ListColour::Default(), std::nullopt},
        SColourCase{"FolderStarSelected", FolderRow(false, true), ColumnKind::Favorite, true, true,
                    kNoRights, std::nullopt, ListColour::FavoriteSelected()}),
    [](const auto &info) { return std::string(info.param.name); });

// --- columns -------------------------------------------------------------------------------

SColumnContext Context(EListView view, const std::function<void(SColumnContext &)> &setup = {})
{
    SColumnContext context;
    context.view = view;
    context.officeUser = true;
    if (setup)
        setup(context);
    return context;
}

struct SShownCase
{
    const char *name;
    SColumnContext context;
    int kind;
    bool shown;
};

class ColumnShownTest : public ::testing::TestWithParam<SShownCase>
{};

TEST_P(ColumnShownTest, Rule)
{
    EXPECT_EQ(IsColumnShown(GetParam().kind, GetParam().context), GetParam().shown);
}

SColumnContext DataBox(EListView view, bool showTransacInfo)
{
    return Context(view, [showTransacInfo](SColumnContext &c) {
        c.dataBoxFolder = true;
        c.options.showTransacInfo = showTransacInfo;
    });
}

SColumnContext AllOptionsOff(EListView view)
{
    return Context(view, [](SColumnContext &c) {
        c.options = SDisplayOptions{false, false, false, false, false, false, false};
    });
}

INSTANTIATE_TEST_SUITE_P(
    FileListLogic, ColumnShownTest,
    ::testing::Values(
        SShownCase{"FolderNameNotInFolderView", Context(EListView::Folder), ColumnKind::FolderName,
                   false},
        SShownCase{"FolderNameInSearchView", Context(EListView::Search), ColumnKind::FolderName,
                   true},
        SShownCase{
            "TransacNeverOutsideDataBox",
            Context(EListView::Search, [](SColumnContext &c) { c.options.showTransacInfo = true; }),
            ColumnKind::TransacDate, false},
        SShownCase{"TransacDataBoxOptionOn", DataBox(EListView::Folder, true),
                   ColumnKind::TransacClient, true},
        SShownCase{"TransacDataBoxOptionOffFolderView", DataBox(EListView::Folder, false),
                   ColumnKind::TransacAmount, false},
        SShownCase{"TransacDataBoxOptionOffSearchView", DataBox(EListView::Search, false),
                   ColumnKind::TransacAmount, true},
        SShownCase{
            "UpdateNameOfficeUser",
            Context(EListView::Folder, [](SColumnContext &c) { c.options.showUpdateName = true; }),
            ColumnKind::UpdateName, true},
        SShownCase{"UpdateNameNeverForOtherUser",
                   Context(EListView::Folder,
                           [](SColumnContext &c) {
                               c.options.showUpdateName = true;
                               c.officeUser = false;
                           }),
                   ColumnKind::UpdateName, false},
        SShownCase{"PathLenSupportMode",
                   Context(EListView::Folder,
                           [](SColumnContext &c) {
                               c.supportMode = true;
                               c.options.showPathLen = true;
                           }),
                   ColumnKind::PathLen, true},
        SShownCase{
            "PathLenNotOutsideSupportMode",
            Context(EListView::Folder, [](SColumnContext &c) { c.options.showPathLen = true; }),
            ColumnKind::PathLen, false},
        SShownCase{"PathLenSupportModeOptionOff",
                   Context(EListView::Folder, [](SColumnContext &c) { c.supportMode = true; }),
                   ColumnKind::PathLen, false},
        SShownCase{"FavoriteInFolderView", Context(EListView::Folder), ColumnKind::Favorite, true},
        SShownCase{"FavoriteNotInFavoritesView", Context(EListView::Favorites),
                   ColumnKind::Favorite, false},
        SShownCase{"FavoriteNotInSendMode",
                   Context(EListView::Search, [](SColumnContext &c) { c.sendMode = true; }),
                   ColumnKind::Favorite, false},
        SShownCase{"StatusAlways", AllOptionsOff(EListView::Favorites), ColumnKind::Status, true},
        SShownCase{"FileNameAlways", AllOptionsOff(EListView::Folder), ColumnKind::FileName, true},
        SShownCase{"AppNameByOption", AllOptionsOff(EListView::Search), ColumnKind::AppName, false},
        SShownCase{"UpdateTimeByOption", AllOptionsOff(EListView::Search), ColumnKind::UpdateTime,
                   false},
        SShownCase{"CommentByOption", AllOptionsOff(EListView::Search), ColumnKind::FileComment,
                   false},
        SShownCase{
            "SizeByOption",
            Context(EListView::Folder, [](SColumnContext &c) { c.options.showFileSize = true; }),
            ColumnKind::FileSize, true}),
    [](const auto &info) { return std::string(info.param.name); });

QList<int> Kinds(const QList<SColumnDef> &columns)
{
    QList<int> kinds;
    for (const SColumnDef &c : columns)
        kinds.append(c.kind);
    return kinds;
}

struct SVisibleCase
{
    const char *name;
    bool offline;
    SColumnContext context;
    QList<int> kinds;
    QString fileNameTitle;
};

class VisibleColumnsTest : public ::testing::TestWithParam<SVisibleCase>
{};

TEST_P(VisibleColumnsTest, InTableOrderWithTitleByView)
{
    const SVisibleCase &c = GetParam();
    const QList<SColumnDef> &table = c.offline ? OfflineColumnTable() : OnlineColumnTable();
    const QList<SColumnDef> visible = VisibleColumns(table, c.context);
    EXPECT_EQ(Kinds(visible), c.kinds);
    for (const SColumnDef &column : visible) {
        if (column.kind == ColumnKind::FileName) {
            EXPECT_EQ(LoadString(column.titleId), c.fileNameTitle);
        } else { // the other titles stay those of the table
            EXPECT_TRUE(table.contains(column));
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    FileListLogic, VisibleColumnsTest,
    ::testing::Values(SVisibleCase{"OnlineFolderDefaults",
                                   false,
                                   Context(EListView::Folder),
                                   {14, 1, 3, 7, 9},
                                   QStringLiteral("名前")},
                      SVisibleCase{"OnlineSearchDataBox",
                                   false,
                                   DataBox(EListView::Search, false),
                                   {14, 0, 1, 3, 4, 5, 6, 7, 9},
                                   QStringLiteral("ファイル名")},
                      SVisibleCase{"OnlineFavoritesEverything",
                                   false,
                                   Context(EListView::Favorites,
                                           [](SColumnContext &c) {
                                               c.supportMode = true;
                                               c.options = SDisplayOptions{true, true, true, true,
                                                                           true, true, true};
                                           }),
                                   {1, 3, 2, 7, 10, 8, 9, 11},
                                   QStringLiteral("名前")},
                      SVisibleCase{"OfflineSearch",
                                   true,
                                   Context(EListView::Search,
                                           [](SColumnContext &c) { c.options.showAppName = true; }),
                                   {0, 1, 3, 2},
                                   QStringLiteral("ファイル名")},
                      SVisibleCase{"OfflineFolderRenamesFileName",
                                   true,
                                   Context(EListView::Folder),
                                   {1, 3},
                                   QStringLiteral("名前")}),
    [](const auto &info) { return std::string(info.param.name); });

TEST(FileListLogic, ColumnTablesAsDesigned)
{
    EXPECT_EQ(OnlineColumnTable().size(), 13);
    EXPECT_EQ(Kinds(OfflineColumnTable()), (QList<int>{0, 1, 3, 2, 11}));
    // Only the star keeps its width in the fit; amounts, sizes and lengths are right-aligned.
    for (const SColumnDef &c : OnlineColumnTable()) {
        SCOPED_TRACE(c.kind);
        EXPECT_EQ(c.fixedWidth, c.kind == ColumnKind::Favorite);
        EXPECT_EQ(c.rightAligned,
                  c.kind == ColumnKind::Favorite || c.kind == ColumnKind::TransacAmount
                      || c.kind == ColumnKind::FileSize || c.kind == ColumnKind::PathLen);
        if (c.kind != ColumnKind::Favorite) {
            EXPECT_FALSE(LoadString(c.titleId).isEmpty());
        }
    }
}

struct SFallbackCase
{
    const char *name;
    int sortKind;
    SColumnContext context;
    int expected;
};

class SortFallbackTest : public ::testing::TestWithParam<SFallbackCase>
{};

TEST_P(SortFallbackTest, HiddenKindFallsBack)
{
    const SFallbackCase &c = GetParam();
    const QList<SColumnDef> visible = VisibleColumns(OnlineColumnTable(), c.context);
    EXPECT_EQ(SortKindFallback(c.sortKind, visible, c.context.view), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    FileListLogic, SortFallbackTest,
    ::testing::Values(SFallbackCase{"HiddenInFolderView", ColumnKind::AppName,
                                    Context(EListView::Folder), ColumnKind::FileName},
                      SFallbackCase{"HiddenInSearchView", ColumnKind::AppName,
                                    Context(EListView::Search), ColumnKind::FolderName},
                      SFallbackCase{"HiddenInFavoritesView", ColumnKind::TransacDate,
                                    Context(EListView::Favorites), ColumnKind::FileName},
                      SFallbackCase{"FolderNameHiddenOutsideSearch", ColumnKind::FolderName,
                                    Context(EListView::Folder), ColumnKind::FileName},
                      SFallbackCase{"VisibleKept", ColumnKind::UpdateTime,
                                    Context(EListView::Search), ColumnKind::UpdateTime},
                      SFallbackCase{"StatusKept", ColumnKind::Status, Context(EListView::Folder),
                                    ColumnKind::Status}),
    [](const auto &info) { return std::string(info.param.name); });

struct SKindCase
{
    int kind;
    bool sortable;
    int serverKey;
    bool localComparison;
};

TEST(FileListLogic, SortingByKind)
{
    const SKindCase cases[] = {
        {ColumnKind::FolderName, true, 3, true},      {ColumnKind::FileName, true, 0, true},
        {ColumnKind::Status, true, 5, true},          {ColumnKind::TransacDate, true, 8, false},
        {ColumnKind::TransacAmount, true, 10, false}, {ColumnKind::UpdateName, true, 1, true},
        {ColumnKind::FileSize, true, 7, true},        {ColumnKind::PathLen, true, -1, false},
        {ColumnKind::Unused, false, -1, false},       {ColumnKind::Favorite, false, -1, false},
    };
    for (const SKindCase &c : cases) {
        SCOPED_TRACE(c.kind);
        EXPECT_EQ(IsSortableKind(c.kind), c.sortable);
        EXPECT_EQ(ServerSortKey(c.kind), c.serverKey);
        EXPECT_EQ(HasLocalComparison(c.kind), c.localComparison);
    }
}

// --- profile keys --------------------------------------------------------------------------

struct SWidthKeyCase
{
    const char *name;
    int kind;
    EListView view;
    bool offline;
    QString key;
};

class WidthKeyTest : public ::testing::TestWithParam<SWidthKeyCase>
{};

TEST_P(WidthKeyTest, Key)
{
    EXPECT_EQ(WidthKey(GetParam().kind, GetParam().view, GetParam().offline), GetParam().key);
}

INSTANTIATE_TEST_SUITE_P(
    FileListLogic, WidthKeyTest,
    ::testing::Values(
        SWidthKeyCase{"Folder", ColumnKind::FileName, EListView::Folder, false,
                      QStringLiteral("cxFileName")},
        SWidthKeyCase{"Search", ColumnKind::FileName, EListView::Search, false,
                      QStringLiteral("cxFileNameSm")},
        SWidthKeyCase{"Favorites", ColumnKind::UpdateTime, EListView::Favorites, false,
                      QStringLiteral("cxUpdateTimeFav")},
        SWidthKeyCase{"TransacInSearch", ColumnKind::TransacClient, EListView::Search, false,
                      QStringLiteral("cxTransacClientSm")},
        SWidthKeyCase{"NoTransacInFavorites", ColumnKind::TransacDate, EListView::Favorites, false,
                      QString()},
        SWidthKeyCase{"NoStarKey", ColumnKind::Favorite, EListView::Folder, false, QString()},
        SWidthKeyCase{"NoUnusedKey", ColumnKind::Unused, EListView::Folder, false, QString()},
        SWidthKeyCase{"OfflineFolder", ColumnKind::FolderName, EListView::Folder, true,
                      QStringLiteral("cxFolderNameOff")},
        SWidthKeyCase{"OfflineSearch", ColumnKind::PathLen, EListView::Search, true,
                      QStringLiteral("cxPathLenOffSm")},
        SWidthKeyCase{"OfflineSizeKept", ColumnKind::FileSize, EListView::Folder, true,
                      QStringLiteral("cxFileSizeOff")},
        SWidthKeyCase{"OfflineNoUpdateTime", ColumnKind::UpdateTime, EListView::Folder, true,
                      QString()},
        SWidthKeyCase{"OfflineNoComment", ColumnKind::FileComment, EListView::Search, true,
                      QString()},
        SWidthKeyCase{"OfflineNoTransac", ColumnKind::TransacAmount, EListView::Folder, true,
                      QString()}),
    [](const auto &info) { return std::string(info.param.name); });

TEST(FileListLogic, SortKeysByView)
{
    EXPECT_EQ(SortColumnKey(EListView::Folder), QStringLiteral("sortColumn"));
    EXPECT_EQ(SortColumnKey(EListView::Search), QStringLiteral("sortColumnSm"));
    EXPECT_EQ(SortDownsKey(EListView::Favorites), QStringLiteral("sortDownsFav"));
    EXPECT_EQ(SortDownsKey(EListView::Search), QStringLiteral("sortDownsSm"));
}

TEST(FileListLogic, DirectionsRoundTrip)
{
    QList<bool> flags(ColumnKind::Count, false);
    flags[ColumnKind::FolderName] = true;
    flags[ColumnKind::Status] = true;
    flags[ColumnKind::UpdateTime] = true;
    flags[ColumnKind::FileComment] = true; // beyond the eight the profile keeps
    const QString text = DirectionsText(flags);
    EXPECT_EQ(text, QStringLiteral("1,0,0,1,0,0,0,1"));

    QList<bool> expected = flags;
    expected[ColumnKind::FileComment] = false;
    EXPECT_EQ(ParseDirections(text), expected);
    // A short list is written as if the missing flags were off.
    EXPECT_EQ(DirectionsText({false, true}), QStringLiteral("0,1,0,0,0,0,0,0"));
}

TEST(FileListLogic, MalformedDirectionsAllAscending)
{
    const QList<bool> allFalse(ColumnKind::Count, false);
    const QString texts[] = {QString(),
                             QStringLiteral("1,0,1"),
                             QStringLiteral("1,1,1,1,1,1,1,x"),
                             QStringLiteral("1,1,1,1,1,1,1,1,1"),
                             QStringLiteral("1;1;1;1;1;1;1;1"),
                             QStringLiteral("1,1,1,1,,1,1,1")};
    for (const QString &text : texts) {
        SCOPED_TRACE(text.toStdString());
        EXPECT_EQ(ParseDirections(text), allFalse);
    }
}

// --- proportional layout ---------------------------------------------------------------------

const SColumnDef kStar{ColumnKind::Favorite, 18187, 27, true, true};

SColumnDef Proportional(int kind, int weight)
{
    return SColumnDef{kind, 0, weight, false, false};
}

struct SLayoutCase
{
    const char *name;
    QList<SColumnDef> columns;
    QList<int> widths;
    int clientWidth;
    QList<int> expected;
};

class ProportionalWidthsTest : public ::testing::TestWithParam<SLayoutCase>
{};

TEST_P(ProportionalWidthsTest, Widths)
{
    const SLayoutCase &c = GetParam();
    const QList<int> widths = ProportionalWidths(c.columns, c.widths, c.clientWidth);
    EXPECT_EQ(widths, c.expected);
    EXPECT_EQ(std::accumulate(widths.cbegin(), widths.cend(), 0), c.clientWidth);
}

const QList<SColumnDef> kThree
    = {kStar, Proportional(1, 1), Proportional(3, 1), Proportional(9, 8)};

INSTANTIATE_TEST_SUITE_P(
    FileListLogic, ProportionalWidthsTest,
    ::testing::Values(
        // 96 pixels for three columns: no room for 32 each, the weights alone decide.
        SLayoutCase{"NoRoomAtTheLimit", kThree, {27, 0, 0, 0}, 27 + 96, {27, 11, 9, 76}},
        SLayoutCase{"NoRoomNarrow", kThree, {27, 50, 50, 50}, 27 + 60, {27, 6, 6, 48}},
        // One pixel more: the light columns are raised to 32 and the heavy one gives way.
        SLayoutCase{"RoomRaisesToMinimum", kThree, {27, 0, 0, 0}, 27 + 97, {27, 32, 32, 33}},
        SLayoutCase{"LeftoverToFirstNonFixed",
                    {kStar, Proportional(1, 3), Proportional(3, 3), Proportional(7, 3)},
                    {27, 10, 10, 10},
                    127,
                    {27, 34, 33, 33}},
        SLayoutCase{"FixedKeepsItsWidth",
                    {Proportional(1, 1), kStar, Proportional(7, 1)},
                    {5, 40, 5},
                    300,
                    {130, 40, 130}}),
    [](const auto &info) { return std::string(info.param.name); });

TEST(FileListLogic, WithRoomNoColumnBelowMinimum)
{
    const QList<SColumnDef> columns
        = {kStar, Proportional(1, 1), Proportional(3, 2), Proportional(9, 30), Proportional(10, 1)};
    const QList<int> current = {27, 0, 0, 0, 0};
    for (int width = 27 + 4 * 32 + 1; width < 1200; width += 7) {
        SCOPED_TRACE(width);
        const QList<int> widths = ProportionalWidths(columns, current, width);
        EXPECT_EQ(widths.at(0), 27);
        EXPECT_EQ(std::accumulate(widths.cbegin(), widths.cend(), 0), width);
        for (qsizetype i = 1; i < widths.size(); ++i)
            EXPECT_GE(widths.at(i), 32) << "column " << i;
    }
}

// --- sorting -------------------------------------------------------------------------------

struct SSortCase
{
    const char *name;
    int kind;
    bool descending;
    QStringList order;
};

class SortFileRowsTest : public ::testing::TestWithParam<SSortCase>
{
protected:
    // Rows out of order: files and subfolders mixed, two files of the same name that only
    // a stable sort keeps in their order.
    SortFileRowsTest()
    {
        AddFile(QStringLiteral("b"), QStringLiteral("/b"), QString(), 5);
        AddFolder(QStringLiteral("F2"), 2);
        AddFile(QStringLiteral("a1"), QStringLiteral("/a"), QStringLiteral("未送信"), 3000000000u);
        AddFolder(QStringLiteral("F1"), 1);
        AddFile(QStringLiteral("a2"), QStringLiteral("/a"), QString(), 5);
    }

    void AddFile(const QString &label, const QString &path, const QString &status, quint32 size)
    {
        auto record = std::make_unique<CSharedFileRecord>();
        record->workspaceId = int(m_rows.size()) + 1;
        record->path = path;
        record->statusText = status;
        record->size = size;
        m_labels.insert(record.get(), label);
        m_rows.push_back(SRow{nullptr, nullptr, std::move(record)});
    }

    void AddFolder(const QString &label, int sortIndex)
    {
        SRow row = Subfolder();
        row.folder->sortIndex = sortIndex;
        m_labels.insert(row.record.get(), label);
        m_rows.push_back(std::move(row));
    }

    QStringList Labels(const QList<CFileRecord *> &rows) const
    {
        QStringList labels;
        for (const CFileRecord *row : rows)
            labels.append(m_labels.value(row));
        return labels;
    }

    QList<CFileRecord *> Rows() const
    {
        QList<CFileRecord *> rows;
        for (const SRow &row : m_rows)
            rows.append(row.record.get());
        return rows;
    }

    std::vector<SRow> m_rows;
    QHash<const CFileRecord *, QString> m_labels;
};

TEST_P(SortFileRowsTest, Order)
{
    QList<CFileRecord *> rows = Rows();
    SortFileRows(rows, GetParam().kind, GetParam().descending);
    EXPECT_EQ(Labels(rows), GetParam().order);
}

const QStringList kUnsorted = {"b", "F2", "a1", "F1", "a2"};

INSTANTIATE_TEST_SUITE_P(
    FileListLogic, SortFileRowsTest,
    ::testing::Values(
        SSortCase{"NameAscending", ColumnKind::FileName, false, {"F1", "F2", "a1", "a2", "b"}},
        SSortCase{"NameDescendingFoldersStayFirst",
                  ColumnKind::FileName,
                  true,
                  {"F2", "F1", "b", "a1", "a2"}},
        SSortCase{"StatusDescending", ColumnKind::Status, true, {"F2", "F1", "a1", "b", "a2"}},
        SSortCase{"StatusAscending", ColumnKind::Status, false, {"F2", "F1", "b", "a2", "a1"}},
        SSortCase{
            "SizeAscendingUnsigned", ColumnKind::FileSize, false, {"F1", "F2", "b", "a2", "a1"}},
        SSortCase{"SizeDescending", ColumnKind::FileSize, true, {"F2", "F1", "a1", "b", "a2"}},
        SSortCase{"AmountUnchanged", ColumnKind::TransacAmount, true, kUnsorted},
        SSortCase{"PathLenUnchanged", ColumnKind::PathLen, false, kUnsorted},
        SSortCase{"StarUnchanged", ColumnKind::Favorite, false, kUnsorted},
        SSortCase{"UnusedUnchanged", ColumnKind::Unused, true, kUnsorted}),
    [](const auto &info) { return std::string(info.param.name); });

// --- pager ---------------------------------------------------------------------------------

const QChar kGap(0x3000);

QString PageLinks(int first, int count)
{
    QString links;
    for (int n = 1; n <= count; ++n)
        links += kGap + QStringLiteral("<A ID=\"%1\">%2</A>").arg(n).arg(first + n - 1);
    return links;
}

QString FullMarkup(int first, int count)
{
    return QStringLiteral("<A ID=\"first\">《</A>") + kGap + QStringLiteral("<A ID=\"prev\">〈</A>")
           + PageLinks(first, count) + kGap + QStringLiteral("<A ID=\"next\">〉</A>") + kGap
           + QStringLiteral("<A ID=\"last\">》</A>");
}

struct SPagerCase
{
    const char *name;
    int pageSize;
    int total;
    int page;
    int current;
    int firstShown;
    QString label;
    QString markup;
    QStringList disabled;
};

class PagerArithmeticTest : public ::testing::TestWithParam<SPagerCase>
{};

TEST_P(PagerArithmeticTest, LabelAndLinks)
{
    const SPagerCase &c = GetParam();
    CPager pager;
    pager.SetPageSize(c.pageSize);
    pager.SetTotal(c.total);
    pager.GoToPage(c.page);
    EXPECT_EQ(pager.current(), c.current);
    EXPECT_EQ(pager.firstShown(), c.firstShown);
    EXPECT_EQ(pager.LabelText(), c.label);
    EXPECT_EQ(pager.LinkMarkup(), c.markup);
    EXPECT_EQ(pager.DisabledLinks(), c.disabled);
}

INSTANTIATE_TEST_SUITE_P(
    FileListLogic, PagerArithmeticTest,
    ::testing::Values(SPagerCase{"LastOfThreePages",
                                 500,
                                 1234,
                                 3,
                                 3,
                                 1,
                                 QStringLiteral("1,001－1,234 / 1,234 件（3 / 3 頁）"),
                                 FullMarkup(1, 3),
                                 {"3", "next", "last"}},
                      SPagerCase{"FirstOfThreePages",
                                 500,
                                 1234,
                                 1,
                                 1,
                                 1,
                                 QStringLiteral("1－500 / 1,234 件（1 / 3 頁）"),
                                 FullMarkup(1, 3),
                                 {"first", "prev", "1"}},
                      SPagerCase{"MiddlePageOnlyItsLink",
                                 500,
                                 1234,
                                 2,
                                 2,
                                 1,
                                 QStringLiteral("501－1,000 / 1,234 件（2 / 3 頁）"),
                                 FullMarkup(1, 3),
                                 {"2"}},
                      SPagerCase{"TwoPagesStartWithGap",
                                 500,
                                 600,
                                 2,
                                 2,
                                 1,
                                 QStringLiteral("501－600 / 600 件（2 / 2 頁）"),
                                 kGap + QStringLiteral("<A ID=\"prev\">〈</A>") + PageLinks(1, 2)
                                     + kGap + QStringLiteral("<A ID=\"next\">〉</A>"),
                                 {"2", "next"}},
                      SPagerCase{"OnePageNoLinks",
                                 500,
                                 10,
                                 1,
                                 1,
                                 1,
                                 QStringLiteral("1－10 / 10 件（1 / 1 頁）"),
                                 QString(),
                                 {}},
                      SPagerCase{"PastTheEndClamped",
                                 500,
                                 1234,
                                 9,
                                 3,
                                 1,
                                 QStringLiteral("1,001－1,234 / 1,234 件（3 / 3 頁）"),
                                 FullMarkup(1, 3),
                                 {"3", "next", "last"}},
                      SPagerCase{"WindowCentred",
                                 100,
                                 10000,
                                 50,
                                 50,
                                 48,
                                 QStringLiteral("4,901－5,000 / 10,000 件（50 / 100 頁）"),
                                 FullMarkup(48, 5),
                                 {"3"}},
                      SPagerCase{"WindowPulledBackAtEnd",
                                 100,
                                 10000,
                                 99,
                                 99,
                                 96,
                                 QStringLiteral("9,801－9,900 / 10,000 件（99 / 100 頁）"),
                                 FullMarkup(96, 5),
                                 {"4"}},
                      SPagerCase{"WindowAtStart",
                                 100,
                                 10000,
                                 2,
                                 2,
                                 1,
                                 QStringLiteral("101－200 / 10,000 件（2 / 100 頁）"),
                                 FullMarkup(1, 5),
                                 {"2"}},
                      SPagerCase{"WindowWhenPagesFitLinks",
                                 100,
                                 450,
                                 5,
                                 5,
                                 1,
                                 QStringLiteral("401－450 / 450 件（5 / 5 頁）"),
                                 FullMarkup(1, 5),
                                 {"5", "next", "last"}}),
    [](const auto &info) { return std::string(info.param.name); });

TEST(FileListLogic, PagerMoves)
{
    CPager pager;
    EXPECT_EQ(pager.pageSize(), 500);
    pager.SetTotal(10000);
    pager.SetPageSize(100);
    pager.GoToPage(1);

    struct SStep
    {
        const char *move;
        bool changed;
        int current;
        int firstShown;
    };
    const SStep steps[] = {
        {"prev", false, 1, 1},   {"first", false, 1, 1},   {"next", true, 2, 1},
        {"5", true, 5, 3},       {"5", true, 7, 5},        {"1", true, 5, 3},
        {"last", true, 100, 96}, {"next", false, 100, 96}, {"last", false, 100, 96},
        {"prev", true, 99, 96},  {"first", true, 1, 1},    {"0", false, 1, 1},
        {"x", false, 1, 1},      {"3", true, 3, 1},
    };
    for (const SStep &step : steps) {
        SCOPED_TRACE(step.move);
        EXPECT_EQ(pager.Follow(QString::fromLatin1(step.move)), step.changed);
        EXPECT_EQ(pager.current(), step.current);
        EXPECT_EQ(pager.firstShown(), step.firstShown);
    }

    // The named moves are the links' moves.
    EXPECT_TRUE(pager.Previous());
    EXPECT_TRUE(pager.Last());
    EXPECT_FALSE(pager.Next());
    EXPECT_TRUE(pager.First());
    EXPECT_EQ(pager.current(), 1);

    pager.Reset();
    EXPECT_EQ(pager.total(), 0);
    EXPECT_EQ(pager.current(), 1);
    EXPECT_EQ(pager.PageCount(), 0);
    EXPECT_EQ(pager.LinksShown(), 0);
    EXPECT_FALSE(pager.Next());
    // No items: no page, no links.
    pager.GoToPage(3);
    EXPECT_EQ(pager.current(), 0);
    EXPECT_TRUE(pager.LinkMarkup().isEmpty());
    EXPECT_TRUE(pager.DisabledLinks().isEmpty());

    pager.SetPageSize(0);
    EXPECT_EQ(pager.pageSize(), 1);
}

TEST(FileListLogic, PageCountRoundsUp)
{
    const struct
    {
        int total, pageSize, pages;
    } cases[]
        = {{0, 500, 0}, {-3, 500, 0}, {1, 500, 1}, {500, 500, 1}, {501, 500, 2}, {1234, 500, 3}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.total);
        CPager pager;
        pager.SetPageSize(c.pageSize);
        pager.SetTotal(c.total);
        EXPECT_EQ(pager.PageCount(), c.pages);
    }
}

} // namespace
