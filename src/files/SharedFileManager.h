#pragma once

#include "FileManager.h"
#include "FileParsers.h"
#include "FileRequests.h"

#include <QString>

#include <memory>

class CBizExceptHandler;
class CFavoriteManager;
class CLocalFileManager;
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
                       CSharedFileTypeManager *fileTypes, CLocalFileManager *local);
    ~CSharedFileManager() override;

    CSharedWorkspaceManager *sharedFolders() const;
    CLocalFileManager *local() const { return m_local; }
    CFavoriteManager &favorites() { return *m_favorites; }

    void Prepare(CFileRecord &record, bool withHistory) override;
    // Folder id -1: the favourites; otherwise the folder's files and (not recursive) its
    // subfolders. A folder the service calls gone or out of reach ("40002", "40003") sends
    // the list to the root (folderId becomes 0) without a message.
    bool LoadList(qint32 &folderId, bool recursive, bool withHistory) override;
    // Fills list with the folder's files (attached to their folders) and, not recursive, a
    // subfolder entry per direct child in folder-list order. Faults raise.
    void ListFolder(qint32 folderId, bool recursive, CSharedFileList &list);
    // One page: favourites, a file search, a folder search (pattern without search mode) or
    // the folder's page split by SplitPage between subfolders and files.
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

private:
    void AppendFolderEntries(qint32 folderId, CSharedFileList &list) const;
    void TakeList(std::unique_ptr<CSharedFileList> list, bool withHistory);
    std::unique_ptr<CSharedFileRecord> FolderEntry(qint32 parentId, CWorkspaceRecord *child) const;

    CLocalFileManager *m_local; // not owned
    std::unique_ptr<CFavoriteManager> m_favorites;
};
