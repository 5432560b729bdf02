#pragma once

#include <QList>

#include <functional>

class CSharedFileRecord;
class CWorkspaceRecord;

// The rights and limits the online window reads, copied from the user record when the
// window is built.
struct SWindowRights
{
    bool privWeb = false, privFileCreate = false, privFileOverwrite = false, privFileRename = false,
         privFileMove = false, privFileDelete = false, privFileDownload = false,
         privFolderCreate = false, privBulkUpload = false, privFolderMove = false,
         privFolderDelete = false, privBulkDownload = false, privReadonlyCreate = false;
    bool privBulkUploadDataBox = false, privDataBox = false, privEditDataBox = false,
         privFileCommentEditDataBox = false, privFileCreateDataBox = false,
         privFileDeleteDataBox = false, privFileDownloadDataBox = false,
         privFileMoveDataBox = false, privFileOverwriteDataBox = false,
         privFileRenameDataBox = false, privFolderCreateDataBox = false,
         privFolderDeleteDataBox = false, privFolderMoveDataBox = false,
         privReadonlyCreateDataBox = false;
    qint32 maxFileCreate = 500, maxFileCopy = 500, maxFileMove = 1000, maxFileCommentLength = 5000,
           maxFavoriteCount = 500;
};

// The collections of selected rows an operation of the online window takes. A collection
// is all-or-nothing: when any row does not qualify it is empty.
enum class ERowSet {
    Openable,         // file rows; the local state below; the right test as asked
    Sendable,         // file rows locked by this client whose copies are not in use
    ReadOnlyOpenable, // file rows
    Downloadable,     // file rows and subfolder rows at depth 3 or more
    CopyableFiles,    // file rows
    MovableFiles,     // file rows without any lock, all in one folder
    DeletableFiles,   // file rows without any lock
    RenamableFile,    // file rows without any lock
    CopyableFolders,  // subfolder rows at depth 3 or more, all with the same parent
    MovableFolders,   // the same
    RenamableFolder,  // subfolder rows at depth 3 or more
    DeletableFolders, // the same
    DeletableMixed,   // files without any lock and subfolders, each by its own rights
};

// How the right test of the openable rows applies: the open button asks it with the
// read-only test, the context menu without, the command itself not at all.
enum class EOpenRightTest { None, Right, RightAndReadOnly };

// What the window finds out about a row's local copies (the disk; tests give their own).
struct SLocalProbe
{
    std::function<bool(const CSharedFileRecord &)> storedInUse;   // the stored copy is in use
    std::function<bool(const CSharedFileRecord &)> workingExists; // the working copy exists
    std::function<bool(const CSharedFileRecord &)> workingInUse;  // ... and is in use
};

namespace RowQualification {

// The folder a row stands for: the file's folder, or the subfolder itself.
const CWorkspaceRecord *FolderOf(const CSharedFileRecord &row);

// The generic right test: in a DataBox folder the user holds d1 and d2 (a null pointer is a
// right not asked), elsewhere r; with the read-only test a read-only folder also needs the
// read-only create right of its kind.
bool HoldsRight(const CWorkspaceRecord *folder, const SWindowRights &rights, const bool *r,
                const bool *d1, const bool *d2, bool readOnlyTest);

// Folder operations apply only to folders at depth 3 or more: folder groups and their
// direct children stay as they are.
bool IsBelowGroupChild(const CWorkspaceRecord *folder);

// The file is locked by nobody: no lock key and not locked by this client.
bool IsWithoutLock(const CSharedFileRecord &row);

// Whether one row qualifies for the set (the set's conditions on the whole selection, one
// folder or one parent, are Collect's).
bool Qualifies(ERowSet set, const CSharedFileRecord &row, const SWindowRights &rights,
               EOpenRightTest openTest = EOpenRightTest::None, const SLocalProbe *probe = nullptr);

// The qualifying rows of the selection, in its order; empty when any row does not qualify.
QList<CSharedFileRecord *> Collect(ERowSet set, const QList<CSharedFileRecord *> &rows,
                                   const SWindowRights &rights,
                                   EOpenRightTest openTest = EOpenRightTest::None,
                                   const SLocalProbe *probe = nullptr);

// Whether the user may change files of the row's folder (else 18250 and a read-only open):
// normal folder: not read-only, or the read-only create right; DataBox folder: privDataBox
// and privEditDataBox, and not read-only or the DataBox read-only create right.
bool MayEditIn(const CWorkspaceRecord *folder, const SWindowRights &rights);

// The comment of the row's file may be edited: its folder's comment right, and the file is
// locked by this client or by nobody.
bool MayEditComment(const CSharedFileRecord &row, const SWindowRights &rights);

// The current-folder tests of the add commands. folder: the current folder (null at the
// root and in the favourites view).
bool MayAddFiles(const CWorkspaceRecord *folder, const SWindowRights &rights);
bool MayCreateFolder(const CWorkspaceRecord *folder, const SWindowRights &rights);
// mayHoldDataBox: the folder may hold a DataBox folder (the folder operations' rule).
bool MayCreateDataBoxFolder(const CWorkspaceRecord *folder, const SWindowRights &rights,
                            bool mayHoldDataBox);

} // namespace RowQualification
