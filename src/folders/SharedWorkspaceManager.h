#pragma once

#include "WorkspaceManager.h"
#include "WorkspaceRequests.h"

#include <QString>

class CBizExceptHandler;
class CLocalWorkspaceManager;

// The folder tree of the service for the signed-in user (CLoginManager: the access key).
//
// Load fetches the whole tree with one request; lookups then work on the list. Every
// operation that sends a request reports a failure itself (the fault message through an
// exception handler, CExceptHandler) and answers false; none throws. Operations with a
// `held` argument keep the failure in that handler instead of showing it (pass a
// CExceptHandler so a service fault is classified): the command-line download turns it
// into its exit code.
//
// After each successful change the list is kept consistent and the local mirror (not owned,
// may be absent) follows: folder directories are created, renamed, moved and deleted with
// the service's tree. Failures of the mirror never fail the shared operation.
//
// Used on the user-interface thread only; long requests report through the attached
// progress handler and may be cancelled there.
class CSharedWorkspaceManager : public CWorkspaceManager
{
public:
    CSharedWorkspaceManager(CLoginManager *loginManager, CLocalWorkspaceManager *mirror);
    ~CSharedWorkspaceManager() override;

    CLocalWorkspaceManager *mirror() const { return m_mirror; }
    void SetMirror(CLocalWorkspaceManager *mirror) { m_mirror = mirror; }

    // Fetches the whole tree (recursive list from the top) into a new list that replaces the
    // old one, arranged in tree order with the chain names refreshed, then synchronises the
    // mirror. On failure the manager is left with an empty tree and answers false.
    //
    // A tree whose walk was cut short (a malformed element, the user's cancel) is kept and
    // shown, but IsTreeComplete() stays false and the mirror deletes nothing against it.
    bool Load() override;
    // The last Load succeeded and read every folder of the answer.
    bool IsTreeComplete() const { return m_complete; }

    // Creates a folder below parentId (0: a folder group). folderStyle is the service's
    // form of the colour (FolderStyleToService). The new folder joins the list as the last
    // child of its parent and its directory is mirrored.
    bool CreateFolder(qint32 parentId, const QString &name, qint32 folderStyle,
                      const QString &comment, bool dataBox, qint32 *newId = nullptr);
    // Copies the folder structure (no files) of id below dstParentId as newName. The list is
    // not changed: the caller reloads.
    bool CopyFolders(qint32 id, qint32 dstParentId, const QString &newName,
                     qint32 *newId = nullptr);
    // Moves the folder below dstParentId (0: top level). The moved subtree takes its new
    // chain in the list, and its mirror directory (with the cached files) moves along.
    bool MoveFolder(qint32 id, qint32 dstParentId);
    // Deletes the folder and its subtree on the service, from the list and from the mirror
    // (its directory with every cached file below it).
    bool DeleteFolder(qint32 id);
    // Name, colour (service form) and comment; applyBelow gives the folders below the colour
    // too. The subtree's chains take the new name and the mirror directory is renamed.
    bool UpdateFolder(qint32 id, const QString &name, qint32 folderStyle, const QString &comment,
                      bool applyBelow);

    // The folder's record from the service.
    bool GetInfo(qint32 id, CWorkspaceRecord &record, CBizExceptHandler *held = nullptr);
    // Checks that the folder still exists for this user. A folder deleted or disabled
    // ("30002") or out of reach ("30003") silently becomes 0 (the all-folders root) and the
    // answer is true; other failures are reported and answer false. Ids <= 0 need no check.
    bool CheckFolder(qint32 &id);
    // Finds the nearest folder that still exists: while the service answers "30002" or
    // "30003", goes on with the parent (from the mirror, else from the list). Ends with 0
    // when no ancestor is known or left. Other failures are reported and answer false.
    bool ResolveFolder(qint32 &id);
    // Number of folders of the listing (paging).
    bool CountItems(qint32 folderId, bool recursive, const QString &pattern, qint32 &count,
                    CBizExceptHandler *held = nullptr);
    // Position of targetId in the sorted listing (paging).
    bool FindOffset(qint32 targetId, qint32 folderId, const SWorkspaceListOptions &options,
                    qint32 &offset, CBizExceptHandler *held = nullptr);
    // Fills the caller's list with a listing (the folders of a file-list page).
    bool ListInto(qint32 folderId, const SWorkspaceListOptions &options, CWorkspaceList &list,
                  CBizExceptHandler *held = nullptr);
    // The folder at path: names from the top joined with "/" ("経理/2024"). Asks the service;
    // needs no loaded tree.
    bool FindByPath(const QString &path, CWorkspaceRecord &record,
                    CBizExceptHandler *held = nullptr);

private:
    CLocalWorkspaceManager *m_mirror;
    bool m_complete = false;
};
