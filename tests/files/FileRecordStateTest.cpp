#include "files/FileCommentRecord.h"
#include "files/FilePrepare.h"
#include "files/FileRecord.h"
#include "files/FileTypeRecord.h"
#include "files/SharedFileManager.h"

#include "account/UserRecord.h"
#include "folders/WorkspaceRecord.h"

#include <gtest/gtest.h>

namespace {

const QString kMyKey = QStringLiteral("client-key-of-this-pc");

struct SStateCase
{
    const char *name;
    const char *path;
    const char *lockKey;
    const char *lockDispName;
    const char *status;
    bool lockedByMe;
    bool readOnlyView;
    bool viewOnlyType;
};

class FileRecordStateTest : public ::testing::TestWithParam<SStateCase>
{
protected:
    FileRecordStateTest()
    {
        auto xlsx = std::make_unique<CFileTypeRecord>();
        xlsx->id = 1;
        xlsx->ext = CFileTypeRecord::NormalizeExtension(QStringLiteral("XLSX"));
        xlsx->name = QStringLiteral("Excel");
        m_types.Replace(std::move(xlsx));
        auto pdf = std::make_unique<CFileTypeRecord>();
        pdf->id = 2;
        pdf->ext = QStringLiteral(".pdf");
        pdf->name = QStringLiteral("PDF");
        pdf->accessType = CFileTypeRecord::ViewOnlyAccess;
        m_types.Replace(std::move(pdf));
        m_folder.id = 7;
        m_folder.name = QStringLiteral("2024");
        m_folder.pathIds = {3, 7};
        m_folder.pathNames = {QStringLiteral("経理"), QStringLiteral("2024")};
    }

    SFilePrepareContext context()
    {
        SFilePrepareContext c;
        c.fileTypes = &m_types;
        c.clientKey = kMyKey;
        c.user = &m_user;
        c.findFolder = [this](qint32 id) { return id == m_folder.id ? &m_folder : nullptr; };
        return c;
    }

    CFileTypeList m_types;
    CWorkspaceRecord m_folder;
    CUserRecord m_user;
};

} // namespace

TEST_P(FileRecordStateTest, DerivesStateAndStatusText)
{
    const SStateCase &c = GetParam();
    CSharedFileRecord record;
    record.workspaceId = 7;
    record.path = QString::fromUtf8(c.path);
    record.lockKey = QString::fromUtf8(c.lockKey);
    record.lockDispName = QString::fromUtf8(c.lockDispName);
    PrepareSharedFileRecord(record, context());

    EXPECT_EQ(record.statusText, QString::fromUtf8(c.status));
    EXPECT_EQ(record.lockedByMe, c.lockedByMe);
    EXPECT_EQ(record.readOnlyView, c.readOnlyView);
    EXPECT_EQ(record.viewOnlyType, c.viewOnlyType);
    EXPECT_EQ(record.folder, &m_folder);
    EXPECT_EQ(record.folderPath, QStringLiteral("経理/2024"));
}

INSTANTIATE_TEST_SUITE_P(
    Locks, FileRecordStateTest,
    ::testing::Values(SStateCase{"Free", "/a.xlsx", "", "", "", false, false, false},
                      SStateCase{"OwnLock", "/a.xlsx", "client-key-of-this-pc", "山田 太郎",
                                 "未送信", true, false, false},
                      SStateCase{"OtherWithName", "/a.xlsx", "other-key", "鈴木 花子",
                                 "使用中（鈴木 花子）", false, true, false},
                      SStateCase{"OtherWithoutName", "/a.xlsx", "other-key", "", "使用中", false,
                                 true, false},
                      // A key that differs in letter case only is somebody else's.
                      SStateCase{"KeyCaseMatters", "/a.xlsx", "CLIENT-KEY-OF-THIS-PC", "", "使用中",
                                 false, true, false},
                      SStateCase{"ViewOnlyTypeFree", "/報告.PDF", "", "", "", false, true, true},
                      SStateCase{"NoExtension", "/README", "", "", "", false, false, false}),
    [](const ::testing::TestParamInfo<SStateCase> &info) { return std::string(info.param.name); });

TEST_F(FileRecordStateTest, TypeAndNamesOfTheEntry)
{
    CSharedFileRecord record;
    record.workspaceId = 7;
    record.path = QStringLiteral("/売上.2024.XLSX");
    PrepareSharedFileRecord(record, context());
    EXPECT_EQ(record.baseName, QStringLiteral("売上.2024"));
    EXPECT_EQ(record.extension, QStringLiteral(".XLSX"));
    EXPECT_EQ(record.fileTypeId, 1);
    EXPECT_EQ(record.productName, QStringLiteral("Excel"));
    EXPECT_EQ(record.Key(), QStringLiteral("00000007/売上.2024.XLSX"));

    CSharedFileRecord bare;
    bare.workspaceId = 7;
    bare.path = QStringLiteral("/.profile");
    PrepareSharedFileRecord(bare, context());
    EXPECT_TRUE(bare.extension.isEmpty());
    EXPECT_TRUE(bare.productName.isEmpty());
    EXPECT_EQ(bare.fileTypeId, 0);
}

TEST_F(FileRecordStateTest, FolderRightsDecideReadOnlyView)
{
    struct SRights
    {
        bool dataBox, readOnly, privDataBox, privReadonlyCreateDataBox, privReadonlyCreate;
        bool expectReadOnly;
    };
    const SRights cases[] = {
        {false, false, false, false, false, false},
        {false, true, false, false, false, true},
        {false, true, false, false, true, false},
        {true, false, false, false, false, true}, // DataBox needs privDataBox
        {true, false, true, false, false, false},
        {true, true, true, false, true, true}, // read-only DataBox: its own right
        {true, true, true, true, false, false},
    };
    for (const SRights &c : cases) {
        m_folder.isDataBox = c.dataBox;
        m_folder.readOnly = c.readOnly;
        m_user.privDataBox = c.privDataBox;
        m_user.privReadonlyCreateDataBox = c.privReadonlyCreateDataBox;
        m_user.privReadonlyCreate = c.privReadonlyCreate;
        CSharedFileRecord record;
        record.workspaceId = 7;
        record.path = QStringLiteral("/a.xlsx");
        PrepareSharedFileRecord(record, context());
        EXPECT_EQ(record.readOnlyView, c.expectReadOnly)
            << c.dataBox << c.readOnly << c.privDataBox << c.privReadonlyCreateDataBox
            << c.privReadonlyCreate;
    }
}

TEST_F(FileRecordStateTest, OwnLockTakesTheEditCopySizeAndSkipsHistory)
{
    SFilePrepareContext c = context();
    c.withHistory = true;
    int historyLookups = 0;
    c.hasHistory = [&](const CSharedFileRecord &) {
        ++historyLookups;
        return true;
    };
    c.editCopySize = [](const CSharedFileRecord &) { return std::optional<quint32>(4321); };

    CSharedFileRecord mine;
    mine.workspaceId = 7;
    mine.path = QStringLiteral("/a.xlsx");
    mine.size = 10;
    mine.lockKey = kMyKey;
    PrepareSharedFileRecord(mine, c);
    EXPECT_EQ(mine.size, 4321u);
    EXPECT_FALSE(mine.hasHistory);
    EXPECT_EQ(historyLookups, 0);

    CSharedFileRecord free;
    free.workspaceId = 7;
    free.path = QStringLiteral("/b.xlsx");
    free.size = 10;
    PrepareSharedFileRecord(free, c);
    EXPECT_EQ(free.size, 10u);
    EXPECT_TRUE(free.hasHistory);
}

TEST(LocalFileRecordTest, OfflineStatus)
{
    CLocalFileRecord cached;
    cached.path = QStringLiteral("/a.txt");
    cached.Derive();
    EXPECT_EQ(cached.statusText, QStringLiteral("閲覧のみ"));
    EXPECT_TRUE(cached.readOnlyView);

    CLocalFileRecord unsent;
    unsent.path = QStringLiteral("/a.txt");
    unsent.lockedByMe = true;
    unsent.Derive();
    EXPECT_EQ(unsent.statusText, QStringLiteral("未送信"));
    EXPECT_FALSE(unsent.readOnlyView);

    CWorkspaceRecord sub;
    sub.id = 0x1f;
    sub.name = QStringLiteral("01月");
    CLocalFileRecord entry;
    entry.SetFolderItem(&sub);
    entry.Derive();
    EXPECT_EQ(entry.path, QStringLiteral("0000001f"));
    EXPECT_EQ(entry.baseName, QStringLiteral("01月"));
    EXPECT_TRUE(entry.statusText.isEmpty());
    EXPECT_FALSE(entry.readOnlyView);
}

TEST(FileListTest, SameKeyReplacesAndOwnsRecords)
{
    CSharedFileList list(true);
    auto first = std::make_unique<CSharedFileRecord>();
    first->workspaceId = 1;
    first->path = QStringLiteral("/a.txt");
    first->size = 1;
    list.Replace(std::move(first));
    auto other = std::make_unique<CSharedFileRecord>();
    other->workspaceId = 2;
    other->path = QStringLiteral("/a.txt");
    list.Replace(std::move(other));
    auto again = std::make_unique<CSharedFileRecord>();
    again->workspaceId = 1;
    again->path = QStringLiteral("/a.txt");
    again->size = 2;
    list.Replace(std::move(again));

    ASSERT_EQ(list.GetCount(), 2);
    EXPECT_EQ(list.Find(1, QStringLiteral("/a.txt"))->size, 2u);
    // The replacement goes to the end.
    EXPECT_EQ(list.At(1), list.Find(1, QStringLiteral("/a.txt")));
}

TEST(FileColumnTest, SubfolderEntriesFirstThenOwnFields)
{
    CWorkspaceRecord folderA;
    folderA.id = 10;
    folderA.name = QStringLiteral("B");
    folderA.sortIndex = 2;
    folderA.comment = QStringLiteral("z");
    CWorkspaceRecord folderB;
    folderB.id = 11;
    folderB.name = QStringLiteral("A");
    folderB.sortIndex = 1;
    CSharedFileRecord subA, subB, small, big, commented, silent;
    subA.SetFolderItem(&folderA);
    subB.SetFolderItem(&folderB);
    small.path = QStringLiteral("/あ1.txt");
    small.size = 5;
    big.path = QStringLiteral("/ア2.txt");
    big.size = 4000000000u; // above 2^31: sizes compare unsigned
    commented.path = QStringLiteral("/c.txt");
    commented.comment = QStringLiteral("見ました");
    silent.path = QStringLiteral("/d.txt");

    for (int kind : {0, 1, 2, 3, 7, 8, 9, 10}) {
        EXPECT_LT(CompareFileColumn(subA, small, kind), 0) << kind;
        EXPECT_GT(CompareFileColumn(big, subB, kind), 0) << kind;
    }
    EXPECT_GT(CompareFileColumn(subA, subB, 1), 0); // folder order, not the name
    EXPECT_GT(CompareFileColumn(subA, subB, 9), 0); // folder comment
    EXPECT_LT(CompareFileColumn(small, big, 10), 0);
    EXPECT_LT(CompareFileColumn(small, big, 1), 0);        // あ / ア fold, then 1 < 2
    EXPECT_LT(CompareFileColumn(silent, commented, 9), 0); // no comment first

    // A pending local edit stands for the comment.
    CFileCommentRecord pending;
    pending.text = QStringLiteral("編集中");
    silent.pendingComment = &pending;
    EXPECT_EQ(silent.DisplayComment(), QStringLiteral("編集中"));
    silent.commentUpdateTime = CDateTimeValue::FromFields(2024, 1, 2);
    commented.commentUpdateTime = CDateTimeValue::FromFields(2024, 1, 1);
    EXPECT_GT(CompareFileColumn(silent, commented, 9), 0);
}

struct SSplitCase
{
    qint32 pageSize, folders, files, offset;
    SPageSplit expected;
};

class SplitPageTest : public ::testing::TestWithParam<SSplitCase>
{};

TEST_P(SplitPageTest, DividesAPageBetweenFoldersAndFiles)
{
    const SSplitCase &c = GetParam();
    EXPECT_EQ(CSharedFileManager::SplitPage(c.pageSize, c.folders, c.files, c.offset), c.expected);
}

// {folder offset, file offset, folders, files}
INSTANTIATE_TEST_SUITE_P(
    Pages, SplitPageTest,
    ::testing::Values(SSplitCase{10, 25, 7, 0, {0, -1, 10, 0}},   // folders only
                      SSplitCase{10, 25, 7, 10, {10, -1, 10, 0}}, //
                      SSplitCase{10, 25, 7, 20, {20, 0, 5, 5}},   // where folders end
                      SSplitCase{10, 25, 7, 30, {-1, 5, 0, 2}},   // the last page
                      SSplitCase{10, 20, 7, 20, {-1, 0, 0, 7}},   // files only, shortfall 3
                      SSplitCase{10, 20, 7, 10, {10, 0, 10, 0}},  // folders fill the page
                      SSplitCase{10, 0, 7, 0, {-1, 0, 0, 7}},     // no folders
                      SSplitCase{10, 3, 4, 7, {-1, -1, 0, 0}},    // past the end
                      SSplitCase{0, 3, 4, 0, {-1, -1, 0, 0}},     // no page size
                      SSplitCase{10, 0, 0, 0, {-1, -1, 0, 0}},    // nothing to show
                      SSplitCase{10, 3, 4, -1, {-1, -1, 0, 0}})); // before the start
