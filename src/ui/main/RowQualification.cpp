#include "RowQualification.h"

#include "files/FileRecord.h"
#include "folders/WorkspaceRecord.h"

namespace RowQualification {

namespace {

constexpr int kGroupChildDepth = 2;

bool isDataBox(const CWorkspaceRecord *folder)
{
    return folder && folder->isDataBox != 0;
}

bool isReadOnly(const CWorkspaceRecord *folder)
{
    return folder && folder->readOnly != 0;
}

bool localStateAllows(const CSharedFileRecord &row, const SLocalProbe *probe, bool needsLock)
{
    // The lock first: the probes look at the disk.
    if (needsLock && !row.lockedByMe)
        return false;
    if (!probe)
        return true;
    if (probe->storedInUse && probe->storedInUse(row))
        return false;
    const bool working = probe->workingExists && probe->workingExists(row);
    if (working && probe->workingInUse && probe->workingInUse(row))
        return false;
    if (needsLock)
        return true;
    // Without a working copy a file this client holds has nothing to open again.
    return working || !row.lockedByMe;
}

} // namespace

const CWorkspaceRecord *FolderOf(const CSharedFileRecord &row)
{
    return row.IsFolderEntry() ? row.folderItem : row.folder;
}

bool HoldsRight(const CWorkspaceRecord *folder, const SWindowRights &rights, const bool *r,
                const bool *d1, const bool *d2, bool readOnlyTest)
{
    if (isDataBox(folder)) {
        if ((d1 && !*d1) || (d2 && !*d2))
            return false;
        return !readOnlyTest || !isReadOnly(folder) || rights.privReadonlyCreateDataBox;
    }
    if (r && !*r)
        return false;
    return !readOnlyTest || !isReadOnly(folder) || rights.privReadonlyCreate;
}

bool IsBelowGroupChild(const CWorkspaceRecord *folder)
{
    return folder && folder->Depth() > kGroupChildDepth;
}

bool IsWithoutLock(const CSharedFileRecord &row)
{
    return row.lockKey.isEmpty() && !row.lockedByMe;
}

bool Qualifies(ERowSet set, const CSharedFileRecord &row, const SWindowRights &rights,
               EOpenRightTest openTest, const SLocalProbe *probe)
{
    const SWindowRights &u = rights;
    const bool file = !row.IsFolderEntry();
    const CWorkspaceRecord *folder = FolderOf(row);
    switch (set) {
    case ERowSet::Openable:
        if (!file || !localStateAllows(row, probe, false))
            return false;
        return openTest == EOpenRightTest::None
               || HoldsRight(folder, u, nullptr, &u.privDataBox, &u.privEditDataBox,
                             openTest == EOpenRightTest::RightAndReadOnly);
    case ERowSet::Sendable:
        return file && localStateAllows(row, probe, true);
    case ERowSet::ReadOnlyOpenable:
        return file;
    case ERowSet::Downloadable:
        if (!file && !IsBelowGroupChild(folder))
            return false;
        return HoldsRight(folder, u, &u.privFileDownload, nullptr, &u.privFileDownloadDataBox,
                          false);
    case ERowSet::CopyableFiles:
        return file
               && HoldsRight(folder, u, &u.privFileCreate, &u.privDataBox, &u.privFileCreateDataBox,
                             true);
    case ERowSet::MovableFiles:
        return file && IsWithoutLock(row)
               && HoldsRight(folder, u, &u.privFileMove, &u.privDataBox, &u.privFileMoveDataBox,
                             true);
    case ERowSet::DeletableFiles:
        return file && IsWithoutLock(row)
               && HoldsRight(folder, u, &u.privFileDelete, &u.privEditDataBox,
                             &u.privFileDeleteDataBox, true);
    case ERowSet::RenamableFile:
        return file && IsWithoutLock(row)
               && HoldsRight(folder, u, &u.privFileRename, &u.privDataBox, &u.privFileRenameDataBox,
                             true);
    case ERowSet::CopyableFolders:
    case ERowSet::RenamableFolder:
        return !file && IsBelowGroupChild(folder)
               && HoldsRight(folder, u, &u.privFolderCreate, &u.privDataBox,
                             &u.privFolderCreateDataBox, true);
    case ERowSet::MovableFolders:
        return !file && IsBelowGroupChild(folder)
               && HoldsRight(folder, u, &u.privFolderMove, &u.privDataBox, &u.privFolderMoveDataBox,
                             true);
    case ERowSet::DeletableFolders:
        return !file && IsBelowGroupChild(folder)
               && HoldsRight(folder, u, &u.privFolderDelete, &u.privEditDataBox,
                             &u.privFolderDeleteDataBox, true);
    case ERowSet::DeletableMixed:
        return Qualifies(file ? ERowSet::DeletableFiles : ERowSet::DeletableFolders, row, u);
    }
    return false;
}

QList<CSharedFileRecord *> Collect(ERowSet set, const QList<CSharedFileRecord *> &rows,
                                   const SWindowRights &rights, EOpenRightTest openTest,
                                   const SLocalProbe *probe)
{
    // The sets whose rows must share their folder (files) or their parent (folders): both
    // are the listing folder the row came from.
    const bool oneFolder = set == ERowSet::MovableFiles || set == ERowSet::CopyableFolders
                           || set == ERowSet::MovableFolders;
    for (const CSharedFileRecord *row : rows) {
        if (!row || !Qualifies(set, *row, rights, openTest, probe))
            return {};
        if (oneFolder && row->workspaceId != rows.first()->workspaceId)
            return {};
    }
    return rows;
}

bool MayEditIn(const CWorkspaceRecord *folder, const SWindowRights &rights)
{
    return HoldsRight(folder, rights, nullptr, &rights.privDataBox, &rights.privEditDataBox, true);
}

bool MayEditComment(const CSharedFileRecord &row, const SWindowRights &rights)
{
    if (row.IsFolderEntry())
        return false;
    if (!HoldsRight(row.folder, rights, nullptr, &rights.privDataBox,
                    &rights.privFileCommentEditDataBox, true))
        return false;
    return row.lockedByMe || row.lockKey.isEmpty();
}

bool MayAddFiles(const CWorkspaceRecord *folder, const SWindowRights &rights)
{
    if (!folder || folder->Depth() < kGroupChildDepth)
        return false;
    return HoldsRight(folder, rights, &rights.privFileCreate, &rights.privDataBox,
                      &rights.privFileCreateDataBox, true);
}

bool MayCreateFolder(const CWorkspaceRecord *folder, const SWindowRights &rights)
{
    return folder && folder->Depth() >= kGroupChildDepth && rights.privFolderCreate
           && !isDataBox(folder);
}

bool MayCreateDataBoxFolder(const CWorkspaceRecord *folder, const SWindowRights &rights,
                            bool mayHoldDataBox)
{
    return folder && rights.privDataBox && rights.privFolderCreateDataBox && mayHoldDataBox;
}

} // namespace RowQualification
