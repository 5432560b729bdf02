// Which selected rows an operation of the online window takes: the right tests of normal and
// DataBox folders, read-only folders, the depth rule of folder operations, locks, the local
// state of openable and sendable rows, and the all-or-nothing rule of a selection.
#include "ui/main/RowQualification.h"

#include "files/FileRecord.h"
#include "folders/WorkspaceRecord.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace {

using namespace RowQualification;

// A folder at depth (1 = a folder group) below 経理 ...
std::unique_ptr<CWorkspaceRecord> Folder(int depth, bool dataBox = false, bool readOnly = false)
{
    QList<qint32> ids;
    QStringList names;
    for (int i = 1; i <= depth; ++i) {
        ids << i * 10;
        names << QStringLiteral("f%1").arg(i);
    }
    auto folder = std::make_unique<CWorkspaceRecord>(ids, names, readOnly);
    folder->isDataBox = dataBox ? 1 : 0;
    return folder;
}

struct SFixtureRows
{
    std::vector<std::unique_ptr<CWorkspaceRecord>> folders;
    std::vector<std::unique_ptr<CSharedFileRecord>> rows;

    CSharedFileRecord *File(CWorkspaceRecord *folder, const QString &lockKey = {},
                            bool mine = false)
    {
        auto row = std::make_unique<CSharedFileRecord>();
        row->path = QStringLiteral("/a%1.xlsx").arg(rows.size());
        row->SetFolder(folder);
        row->lockKey = lockKey;
        row->lockedByMe = mine;
        rows.push_back(std::move(row));
        return rows.back().get();
    }
    CSharedFileRecord *Sub(CWorkspaceRecord *parent, CWorkspaceRecord *child)
    {
        auto row = std::make_unique<CSharedFileRecord>();
        row->workspaceId = parent ? parent->id : 0;
        row->SetFolderItem(child);
        rows.push_back(std::move(row));
        return rows.back().get();
    }
    CWorkspaceRecord *Add(std::unique_ptr<CWorkspaceRecord> folder)
    {
        folders.push_back(std::move(folder));
        return folders.back().get();
    }
};

SWindowRights AllRights()
{
    SWindowRights r;
    for (bool *b : {&r.privFileCreate,
                    &r.privFileRename,
                    &r.privFileMove,
                    &r.privFileDelete,
                    &r.privFileDownload,
                    &r.privFolderCreate,
                    &r.privFolderMove,
                    &r.privFolderDelete,
                    &r.privReadonlyCreate,
                    &r.privDataBox,
                    &r.privEditDataBox,
                    &r.privFileCommentEditDataBox,
                    &r.privFileCreateDataBox,
                    &r.privFileDeleteDataBox,
                    &r.privFileDownloadDataBox,
                    &r.privFileMoveDataBox,
                    &r.privFileRenameDataBox,
                    &r.privFolderCreateDataBox,
                    &r.privFolderDeleteDataBox,
                    &r.privFolderMoveDataBox,
                    &r.privReadonlyCreateDataBox})
        *b = true;
    return r;
}

enum class ERow { File, LockedFile, MineFile, Group1Child, Depth3Sub };

struct SCase
{
    const char *name;
    ERowSet set;
    ERow row;
    bool dataBox;
    bool readOnly;
    bool SWindowRights::*missing; // a right the user lacks (null: all held)
    bool qualifies;
};

void PrintTo(const SCase &c, std::ostream *os)
{
    *os << c.name;
}

class Qualification : public ::testing::TestWithParam<SCase>
{};

TEST_P(Qualification, OneRow)
{
    const SCase c = GetParam();
    SFixtureRows f;
    CWorkspaceRecord *folder = f.Add(Folder(3, c.dataBox, c.readOnly));
    CWorkspaceRecord *groupChild = f.Add(Folder(2, c.dataBox, c.readOnly));
    CWorkspaceRecord *deep = f.Add(Folder(4, c.dataBox, c.readOnly));
    CSharedFileRecord *row = nullptr;
    switch (c.row) {
    case ERow::File:
        row = f.File(folder);
        break;
    case ERow::LockedFile:
        row = f.File(folder, QStringLiteral("other-client"));
        break;
    case ERow::MineFile:
        row = f.File(folder, QStringLiteral("this-client"), true);
        break;
    case ERow::Group1Child:
        row = f.Sub(f.Add(Folder(1, c.dataBox)), groupChild);
        break;
    case ERow::Depth3Sub:
        row = f.Sub(folder, deep);
        break;
    }
    SWindowRights rights = AllRights();
    if (c.missing)
        rights.*(c.missing) = false;
    EXPECT_EQ(Qualifies(c.set, *row, rights, EOpenRightTest::RightAndReadOnly), c.qualifies);
}

using R = SWindowRights;
const SCase kCases[] = {
    // files: the normal right, or both DataBox rights in a DataBox folder
    {"MoveFile", ERowSet::MovableFiles, ERow::File, false, false, nullptr, true},
    {"MoveFileNoRight", ERowSet::MovableFiles, ERow::File, false, false, &R::privFileMove, false},
    {"MoveFileDataBoxIgnoresNormalRight", ERowSet::MovableFiles, ERow::File, true, false,
     &R::privFileMove, true},
    {"MoveFileDataBoxNeedsD1", ERowSet::MovableFiles, ERow::File, true, false, &R::privDataBox,
     false},
    {"MoveFileDataBoxNeedsD2", ERowSet::MovableFiles, ERow::File, true, false,
     &R::privFileMoveDataBox, false},
    {"MoveLockedFile", ERowSet::MovableFiles, ERow::LockedFile, false, false, nullptr, false},
    {"MoveOwnUnsentFile", ERowSet::MovableFiles, ERow::MineFile, false, false, nullptr, false},
    {"DeleteReadOnlyWithCreateRight", ERowSet::DeletableFiles, ERow::File, false, true, nullptr,
     true},
    {"DeleteReadOnlyWithout", ERowSet::DeletableFiles, ERow::File, false, true,
     &R::privReadonlyCreate, false},
    {"DeleteReadOnlyDataBoxWithout", ERowSet::DeletableFiles, ERow::File, true, true,
     &R::privReadonlyCreateDataBox, false},
    {"DeleteDataBoxNeedsEditRight", ERowSet::DeletableFiles, ERow::File, true, false,
     &R::privEditDataBox, false},
    {"RenameFile", ERowSet::RenamableFile, ERow::File, false, false, nullptr, true},
    {"RenameLocked", ERowSet::RenamableFile, ERow::LockedFile, false, false, nullptr, false},
    {"CopyLockedFile", ERowSet::CopyableFiles, ERow::LockedFile, false, false, nullptr, true},
    {"CopyNoCreateRight", ERowSet::CopyableFiles, ERow::File, false, false, &R::privFileCreate,
     false},
    // downloads: files and deep subfolders; DataBox needs only its download right
    {"DownloadFile", ERowSet::Downloadable, ERow::File, false, false, nullptr, true},
    {"DownloadDataBoxWithoutDataBoxRight", ERowSet::Downloadable, ERow::File, true, false,
     &R::privDataBox, true},
    {"DownloadDataBoxWithoutItsRight", ERowSet::Downloadable, ERow::File, true, false,
     &R::privFileDownloadDataBox, false},
    {"DownloadDeepFolder", ERowSet::Downloadable, ERow::Depth3Sub, false, false, nullptr, true},
    {"DownloadGroupChild", ERowSet::Downloadable, ERow::Group1Child, false, false, nullptr, false},
    {"DownloadReadOnlyFolder", ERowSet::Downloadable, ERow::File, false, true,
     &R::privReadonlyCreate, true},
    // folders: the depth rule
    {"MoveDeepFolder", ERowSet::MovableFolders, ERow::Depth3Sub, false, false, nullptr, true},
    {"MoveGroupChild", ERowSet::MovableFolders, ERow::Group1Child, false, false, nullptr, false},
    {"DeleteGroupChild", ERowSet::DeletableFolders, ERow::Group1Child, false, false, nullptr,
     false},
    {"RenameDeepFolderNoCreate", ERowSet::RenamableFolder, ERow::Depth3Sub, false, false,
     &R::privFolderCreate, false},
    {"CopyDeepDataBoxFolder", ERowSet::CopyableFolders, ERow::Depth3Sub, true, false, nullptr,
     true},
    {"FileIsNoFolder", ERowSet::MovableFolders, ERow::File, false, false, nullptr, false},
    {"FolderIsNoFile", ERowSet::MovableFiles, ERow::Depth3Sub, false, false, nullptr, false},
    {"MixedDeletesFolder", ERowSet::DeletableMixed, ERow::Depth3Sub, false, false, nullptr, true},
    {"MixedDeletesFreeFile", ERowSet::DeletableMixed, ERow::File, false, false, nullptr, true},
    {"MixedNotLockedFile", ERowSet::DeletableMixed, ERow::LockedFile, false, false, nullptr, false},
    // opening: the DataBox rights with the read-only test (the button's test)
    {"OpenFile", ERowSet::Openable, ERow::File, false, false, nullptr, true},
    {"OpenReadOnlyFolder", ERowSet::Openable, ERow::File, false, true, &R::privReadonlyCreate,
     false},
    {"OpenDataBoxWithoutEdit", ERowSet::Openable, ERow::File, true, false, &R::privEditDataBox,
     false},
    {"OpenFolderRow", ERowSet::Openable, ERow::Depth3Sub, false, false, nullptr, false},
    {"ReadOnlyOpenLockedFile", ERowSet::ReadOnlyOpenable, ERow::LockedFile, false, false, nullptr,
     true},
    {"SendOwn", ERowSet::Sendable, ERow::MineFile, false, false, nullptr, true},
    {"SendOthers", ERowSet::Sendable, ERow::LockedFile, false, false, nullptr, false},
    {"SendFree", ERowSet::Sendable, ERow::File, false, false, nullptr, false},
};

INSTANTIATE_TEST_SUITE_P(, Qualification, ::testing::ValuesIn(kCases),
                         [](const auto &info) { return std::string(info.param.name); });

TEST(RowQualificationTest, ASelectionIsAllOrNothingAndOneFolderWhereAsked)
{
    SFixtureRows f;
    CWorkspaceRecord *a = f.Add(Folder(3));
    auto otherFolder = Folder(3);
    otherFolder->id = 99;
    CWorkspaceRecord *b = f.Add(std::move(otherFolder));
    const SWindowRights rights = AllRights();
    CSharedFileRecord *free1 = f.File(a);
    CSharedFileRecord *free2 = f.File(a);
    CSharedFileRecord *locked = f.File(a, QStringLiteral("other"));
    CSharedFileRecord *elsewhere = f.File(b);
    EXPECT_EQ(Collect(ERowSet::DeletableFiles, {free1, free2}, rights).size(), 2);
    EXPECT_TRUE(Collect(ERowSet::DeletableFiles, {free1, locked, free2}, rights).isEmpty())
        << "one row that does not qualify empties the collection";
    EXPECT_EQ(Collect(ERowSet::DeletableFiles, {free1, elsewhere}, rights).size(), 2);
    EXPECT_TRUE(Collect(ERowSet::MovableFiles, {free1, elsewhere}, rights).isEmpty())
        << "moves take the rows of one folder";
    EXPECT_TRUE(Collect(ERowSet::DeletableFiles, {}, rights).isEmpty());
}

TEST(RowQualificationTest, OpenableAndSendableFollowTheLocalCopies)
{
    SFixtureRows f;
    CWorkspaceRecord *folder = f.Add(Folder(3));
    CSharedFileRecord *mine = f.File(folder, QStringLiteral("me"), true);
    CSharedFileRecord *free = f.File(folder);
    bool storedInUse = false, workingExists = true, workingInUse = false;
    SLocalProbe probe;
    probe.storedInUse = [&](const CSharedFileRecord &) { return storedInUse; };
    probe.workingExists = [&](const CSharedFileRecord &) { return workingExists; };
    probe.workingInUse = [&](const CSharedFileRecord &) { return workingInUse; };
    const SWindowRights rights = AllRights();
    const auto open = [&](CSharedFileRecord *row) {
        return Qualifies(ERowSet::Openable, *row, rights, EOpenRightTest::None, &probe);
    };
    const auto send = [&](CSharedFileRecord *row) {
        return Qualifies(ERowSet::Sendable, *row, rights, EOpenRightTest::None, &probe);
    };
    EXPECT_TRUE(open(mine));
    EXPECT_TRUE(send(mine));
    EXPECT_FALSE(send(free));
    workingInUse = true;
    EXPECT_FALSE(open(mine)) << "the application holds the working copy";
    EXPECT_FALSE(send(mine));
    workingInUse = false;
    workingExists = false;
    EXPECT_FALSE(open(mine)) << "an unsent file without its working copy";
    EXPECT_TRUE(open(free));
    EXPECT_TRUE(send(mine)) << "the send runs the related-data step";
    storedInUse = true;
    EXPECT_FALSE(open(free));
    EXPECT_FALSE(send(mine));
}

TEST(RowQualificationTest, CurrentFolderTestsOfTheAddCommands)
{
    const SWindowRights all = AllRights();
    const auto group = Folder(1);
    const auto normal = Folder(2);
    const auto readOnly = Folder(2, false, true);
    const auto dataBox = Folder(3, true);
    EXPECT_FALSE(MayAddFiles(nullptr, all)) << "the root and the favourites";
    EXPECT_FALSE(MayAddFiles(group.get(), all)) << "a folder group";
    EXPECT_TRUE(MayAddFiles(normal.get(), all));
    SWindowRights noReadOnly = all;
    noReadOnly.privReadonlyCreate = false;
    EXPECT_FALSE(MayAddFiles(readOnly.get(), noReadOnly));
    SWindowRights noDataBoxCreate = all;
    noDataBoxCreate.privFileCreateDataBox = false;
    EXPECT_FALSE(MayAddFiles(dataBox.get(), noDataBoxCreate));
    EXPECT_TRUE(MayAddFiles(dataBox.get(), all));
    EXPECT_TRUE(MayCreateFolder(normal.get(), all));
    EXPECT_FALSE(MayCreateFolder(dataBox.get(), all)) << "a DataBox folder holds DataBox folders";
    EXPECT_FALSE(MayCreateFolder(group.get(), all));
    EXPECT_TRUE(MayCreateDataBoxFolder(normal.get(), all, true));
    EXPECT_FALSE(MayCreateDataBoxFolder(normal.get(), all, false));
}

} // namespace
