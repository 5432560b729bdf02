#pragma once

#include "WorkspaceManager.h"

#include <QString>
#include <QStringList>

class CSharedWorkspaceManager;

// The folder tree as it exists on disk, in the login's store (CLoginManager::UserDataPath):
// one directory per folder, named EncodeIdName(id, name) ("0000002a見積"), nested like the
// folders. The local file cache keeps its copies in these directories.
//
// Offline this tree is the only one. Online it mirrors the service's tree
// (CSharedWorkspaceManager): directories are created on demand and renamed, moved or
// deleted when the service's tree changes.
//
// Safety rules every operation keeps:
//  - a directory name is built only from positive ids and names that are one valid path
//    component (IsValidPathComponent); a folder with another name is not mirrored;
//  - nothing outside the folder root is created, renamed, moved or deleted (symbolic links
//    are neither followed by the scan nor by a deletion);
//  - deletions of the synchronisation need a complete tree of the service (see
//    SynchronizeWith) and a tree in the current layout (no pending conversion).
//
// Used on the user-interface thread only.
class CLocalWorkspaceManager : public CWorkspaceManager
{
public:
    // Folder levels the scan reads below the folder root.
    static constexpr int MaxScanDepth = 9;

    explicit CLocalWorkspaceManager(CLoginManager *loginManager);
    ~CLocalWorkspaceManager() override;

    CSharedWorkspaceManager *shared() const { return m_shared; }
    void AttachShared(CSharedWorkspaceManager *shared) { m_shared = shared; }

    // The local record; when there is none and the attached service tree knows the folder,
    // its chain is mirrored (directories created) and the new record answered.
    CWorkspaceRecord *FindById(qint32 id) override;
    // Renames the folder's directory to EncodeIdName(id, newName), then the record and the
    // chains of its subtree; folderStyle (service form) sets the colour. A name that is not a
    // valid path component renames nothing (false).
    bool PropagateName(qint32 id, const QString &newName,
                       std::optional<qint32> folderStyle = std::nullopt) override;
    // Rebuilds the list from the disk: every directory of the folder root (up to
    // MaxScanDepth levels) whose name is EncodeIdName of a positive id and a valid name.
    // Of two directories of one id the one written last stays. Then synchronises with the
    // attached service tree, sorts by name and numbers the records. False when the folder
    // root cannot be named or the scan was cancelled (the old list stays then).
    bool Load() override;

    // Makes the local tree follow the service's: a folder renamed there (ignoring letter
    // case) is renamed here. Only against a complete tree (shared.IsTreeComplete()) of a
    // local tree that needs no conversion, folders the service no longer has, or has
    // elsewhere, are deleted with their directories. Failures of single folders are
    // skipped.
    void SynchronizeWith(const CSharedWorkspaceManager &shared);

    // Ensures the directories and records of a chain of the service (ids and names top
    // level first). An existing record of another name is renamed, one found at another
    // place is moved into the chain's place. folderStyle (service form) colours the last
    // level. Answers the record of the last level; none when the chain cannot be mirrored
    // (an invalid name or id, a directory that cannot be made).
    CWorkspaceRecord *MirrorPath(const QList<qint32> &ids, const QStringList &names,
                                 std::optional<qint32> folderStyle = std::nullopt);
    // Deletes the folder's directory with everything below it and the records of its
    // subtree. Without a local record the directory of the service's chain is deleted
    // when there is one. Answers whether the removal succeeded (false: nothing known).
    bool DeleteLocalFolder(qint32 id);
    // Moves the folder's directory into the destination's directory (dstId 0: the folder
    // root) and drops the records of the moved subtree (FindById mirrors them again). False
    // when one of the two is unknown or the move failed.
    bool MoveLocalFolder(qint32 id, qint32 dstId);

    // The folder root: the login's store. Empty when there is no current login.
    QString FolderRoot() const;
    // Folder root + the record's id path; empty for no record or a chain that cannot name a
    // directory.
    QString LocalFolderPath(const CWorkspaceRecord *record) const;
    // The same for a chain.
    QString LocalFolderPath(const QList<qint32> &ids, const QStringList &names) const;

    // version.vqr is missing, unreadable, has no "version" or one not above 1.1.6.6.
    bool NeedsConversion() const;
    // Moves every folder directory that is not inside its parent's directory (parents from
    // the attached service tree) into it, reporting "’%s’フォルダを変換しています..." on the
    // progress. Folders whose move fails are shown with 18332 and answer false. Needs the
    // service tree; without it nothing moves.
    bool ConvertLayout();
    // Writes the running client's version into version.vqr, unless it holds one above
    // 1.1.6.6 already.
    bool WriteVersion();
    static QString VersionFileName() { return QStringLiteral("version.vqr"); }

private:
    struct SScanned;
    bool ScanDisk(const QString &root, std::vector<SScanned> &found) const;
    bool IsInsideRoot(const QString &path) const;
    // Re-roots the record's subtree onto a new chain of the record itself.
    void RebaseSubtree(CWorkspaceRecord *record, const QList<qint32> &ids,
                       const QStringList &names);
    bool MoveDirectory(const QString &from, const QString &to);

    CSharedWorkspaceManager *m_shared = nullptr;
};
