#pragma once

#include "FileManager.h"
#include "FileParsers.h"
#include "FileRequests.h"
#include "LocalFileManager.h"

#include <QString>

#include <memory>

class CBizExceptHandler;
class CFavoriteManager;
class CLocalFileManager;
class CSharedFileCommentManager;
class CSharedFileTypeManager;
class CSharedWorkspaceManager;

// One page of the file list: which entries, and (out) how many there are.
struct SFilePageQuery
{
    qint32 folderId = 0;     // in/out: a folder gone on the service becomes 0 (the root)
    bool searchMode = false; // a file search over the folder's subtree
    qint32 offset = 0;       // of the first entry of the page in the whole listing
    qint32 pageSize = 500;
    int sortIndex = 0; // the service's sort table (FileSortValue)
    bool descending = false;
    QString pattern; // file names (search) or folder names (folder search)
    const CTransactionSearchQuery *search = nullptr; // search mode only; not owned
    bool withHistory = true;                         // look for history copies of each file
    // out
    qint32 folderCount = 0;
    qint32 fileCount = 0;
    bool cutShort = false; // an incomplete entry ended the file list early
};

// What opening a file for editing brought about.
struct SOpenResult
{
    QString path;          // the working copy, or the view copy of a file another user holds
    bool readOnly = false; // another user holds the lock: a view copy, no lock taken
    bool tookLock = false; // this open locked the file (it was free)
    QString unsentCopy;    // an edit nobody had sent, kept in the history before the open
};

// How a page of n entries splits between the subfolders (listed first) and the files of a
// folder. Offsets of -1 and counts of 0: that part is not on the page.
struct SPageSplit
{
    qint32 folderOffset = -1;
    qint32 fileOffset = -1;
    qint32 folders = 0;
    qint32 files = 0;
    bool HasPage() const { return folders > 0 || files > 0; }
    bool operator==(const SPageSplit &) const = default;
};

// The file list of the online view: one page of a folder (subfolder entries first), the
// result of a search, or the favourites (folder id -1). Entries come from the service; the
// local cache contributes only derived fields (own lock, the edit copy's size, history,
// path length, the stored path of the local record for the folder's current place).
//
// Every request runs under an exception handler that shows the fault message and makes
// the operation answer false, unless said otherwise. User-interface thread only.
class CSharedFileManager : public CFileManager
{
public:
    CSharedFileManager(CLoginManager *loginManager, CSharedWorkspaceManager *folders,
                       CSharedFileTypeManager *fileTypes, CLocalFileManager *local,
                       CSharedFileCommentManager *comments = nullptr);
    ~CSharedFileManager() override;

    CSharedWorkspaceManager *sharedFolders() const;
    CLocalFileManager *local() const { return m_local; }
    CFavoriteManager &favorites() { return *m_favorites; }
    CSharedFileCommentManager *comments() const { return m_comments; }

    // Points the current list's entries at their pending comments (after every load).
    int AttachPendingComments();
    // Sends the file's pending comment; the list entry takes what the service stored and
    // lets go of the pending one. None pending: false, nothing sent. Faults raise and the
    // comment stays pending.
    bool SendPendingComment(qint32 folderId, const QString &path);

    void Prepare(CFileRecord &record, bool withHistory) override;
    // Folder id -1: the favourites; otherwise the folder's files and (not recursive) its
    // subfolders. A folder the service calls gone or out of reach ("40002", "40003") sends
    // the list to the root (folderId becomes 0) without a message.
    bool LoadList(qint32 &folderId, bool recursive, bool withHistory) override;
    // Fills list with the folder's files (attached to their folders) and, not recursive, a
    // subfolder entry per direct child in folder-list order. Faults raise.
    void ListFolder(qint32 folderId, bool recursive, CSharedFileList &list);
    // One page: favourites, a file search, a folder search (pattern without search mode) or
    // the folder's page split by SplitPage between subfolders and files. False when a count
    // or list request failed, also without a fault (an error answer without a body, a cancel):
    // the list then keeps its previous entries.
    bool LoadPage(SFilePageQuery &query);
    static SPageSplit SplitPage(qint32 pageSize, qint32 folders, qint32 files, qint32 offset);

    bool CountFiles(qint32 folderId, bool recursive, bool lockOnly, const QString &pattern,
                    const CTransactionSearchQuery *search, qint32 &count,
                    CBizExceptHandler *held = nullptr);
    bool FindFileOffset(qint32 folderId, const QString &path, const SFileListOptions &options,
                        qint32 &offset);
    bool GetFileInfo(qint32 folderId, const QString &path, CSharedFileRecord &record,
                     CBizExceptHandler *held = nullptr);

    // F5: the progress range from the work ahead (local records, favourites, the folder's
    // files, folders and file types), then the optional reloads of the tree and the types,
    // then the page.
    bool Refresh(SFilePageQuery &query, bool reloadTree, bool reloadTypes);

    // Adds or removes a favourite and marks it in the current list (faults are shown).
    bool ChangeFavorite(qint32 folderId, const QString &path, bool add);

    // Brings the file's content into the cache: nothing when the stored copy has the
    // record's digest, otherwise a download into the download copy, checked and renamed
    // over the cache copy. Faults raise (a digest mismatch as "00003").
    bool BringIntoCache(const CSharedFileRecord &record);

    // The edit cycle, for a file whose current record the caller has just fetched. Local
    // failures raise CBizOsException (32: a copy in use, 2: a copy missing), service faults
    // CRequestException; a refused lock is shown and answers false.
    //
    // Open for editing: the file's own unsent edit opens again without any request; a free
    // file is locked, its content brought into the cache, the stored copy becomes the edit
    // copy and a working copy is made; a file another user holds gives a view copy. Any
    // failure after the lock, exceptions included, releases the lock again.
    bool OpenForEdit(const CSharedFileRecord &current, SOpenResult &result);
    // A view copy of the current content, no lock; with deleteCache nothing stays cached.
    bool OpenReadOnly(const CSharedFileRecord &current, QString *viewPath);
    // The working copy goes onto the edit copy; when its digest differs from the service's
    // (or force), it is uploaded and a history copy kept. Then the working copy goes, the
    // edit copy becomes the cache copy and the lock is released. A failed upload leaves the
    // edit and working copies where they are, for a later send. workingGone: the
    // application removed the working copy (its data went into related files the user
    // agreed to add), so the edit copy is sent as it is.
    bool Send(const CSharedFileRecord &current, bool force, int *sentCount = nullptr,
              bool workingGone = false);
    // Throws the edit away: the working copy and its directory go, the edit copy (the
    // content at open) becomes the cache copy, the lock is released. Nothing is uploaded.
    bool ForceRelease(qint32 folderId, const QString &path);
    // The hand-back after an application that did not start: as ForceRelease, but nothing
    // anybody wrote is deleted. A working copy that differs from the edit copy is kept in
    // the history (unsentCopy tells where), every other file beside it stays.
    bool HandBack(qint32 folderId, const QString &path, QString *unsentCopy = nullptr);
    // An edit that can no longer be sent (the lock is gone, the file is gone, the working
    // copy vanished): its newest content is kept in the history as an ".unsent" copy
    // (keptCopy tells where), and the file is no longer out for editing here. unlock: the
    // lock is still this client's and is released.
    bool SetAside(const CSharedFileRecord &current, bool unlock, QString *keptCopy);
    // Releases the lock without any local change (the hand-back after a failed open).
    bool Unlock(qint32 folderId, const QString &path);

    // The file operations, each for one file. Nothing is shown: local failures raise
    // CBizOsException (32: a local copy in use; 33: the file, or the file a move or copy
    // would replace, is out for editing here, before any request), service faults
    // CRequestException; the store follows a change of the service, its own failures
    // ignored.
    //
    // Adds a local file to the folder as name. A file of that name with the same content
    // is left as it is under the overwrite right (skipped set, nothing sent). The stored
    // content becomes the file's cache copy (with a history copy by the user's settings),
    // unless the file is out for editing here: an edit is never replaced.
    bool AddFile(qint32 folderId, const QString &localPath, const QString &name,
                 CSharedFileRecord &stored, bool *skipped = nullptr);
    // The file's content to destination (a file path). A stored copy with the record's
    // digest is copied out; otherwise the content is downloaded into the cache and copied
    // out, or, when the stored copy is an edit copy, straight to the destination, never over
    // the edit. The destination is replaced only by complete, verified content. Without
    // fromEditCopy an edit copy is never copied out, even one with the record's digest.
    bool DownloadFile(const CSharedFileRecord &record, const QString &destination,
                      bool fromEditCopy = true);
    // A move into dstFolderId as dstName (a rename within the folder); the local copy
    // follows.
    bool MoveFile(const CSharedFileRecord &current, qint32 dstFolderId, const QString &dstName,
                  CSharedFileRecord &moved);
    bool CopyFile(const CSharedFileRecord &current, qint32 dstFolderId, const QString &dstName,
                  CSharedFileRecord &copied);
    // Deletes the file on the service, then its local record and copy.
    bool DeleteFile(const CSharedFileRecord &current);
    bool EditTransaction(const CSharedFileRecord &current, const CDateTimeValue &date,
                         std::optional<qint64> amount, const QString &counterparty);

private:
    // A view copy of the service's current content. A file out for editing here is
    // downloaded straight into the view: its edit and working copies stay as they are.
    bool MakeServiceView(const CSharedFileRecord &current, QString *viewPath);
    bool Release(qint32 folderId, const QString &path, CLocalFileManager::EDiscard mode,
                 QString *unsentCopy);
    // The end of an edit or a view: the stored copy back to the cache copy (relocate), and
    // the local copy dropped when the user keeps no cache.
    bool ReturnToCache(qint32 folderId, const QString &name, bool relocate);
    // Drops the file's local record and cache copy (never an edit copy); a copy that cannot
    // go now goes with the next scan, so a failure is only logged.
    void DropLocal(qint32 folderId, const QString &name);
    void AppendFolderEntries(qint32 folderId, CSharedFileList &list) const;
    void TakeList(std::unique_ptr<CSharedFileList> list, bool withHistory);
    std::unique_ptr<CSharedFileRecord> FolderEntry(qint32 parentId, CWorkspaceRecord *child) const;

    CLocalFileManager *m_local; // not owned
    std::unique_ptr<CFavoriteManager> m_favorites;
    CSharedFileCommentManager *m_comments; // not owned
};
