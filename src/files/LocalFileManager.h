#pragma once

#include "FileManager.h"

#include <QDateTime>
#include <QHash>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

class CLocalWorkspaceManager;
class CSharedFileManager;
class CSharedFileRecord;
class CWorkspaceRecord;

// The requested states of one local file (SFileStates::Want bits); all false for a missing
// file, and for a name that cannot be a local name.
struct SFileStates
{
    enum Want : unsigned {
        Exists = 0x1,
        InUse = 0x2,    // another process holds an advisory lock on it
        Readable = 0x4, // it opens for reading
        Size = 0x8,
        Digest = 0x10,
    };
    QString path;
    bool exists = false;
    bool inUse = false;
    bool readable = false;
    bool sizeKnown = false; // false also for a file of 4 GiB or more
    quint32 size = 0;
    QString digest;           // lower-case MD5
    bool digestEqual = false; // equal to the expected digest (letter case ignored)
};

// A file out for editing on this client (its edit copy is in the store).
struct SUnsentFile
{
    qint32 folderId = 0;
    QString name;
    QString workingCopy;
    bool inUse = false; // an application holds its working copy (or its edit copy)
};

// The local file cache of the signed-in login: where every copy of a service file lives,
// the list of the cached files of a folder (read from the disk), and the copy, move and
// delete operations the edit cycle, the file operations and the offline window stand on.
//
// Copies of the file "name" of the folder `id` (folder directory: the local folder
// manager's, below the login's store):
//   cache copy     <folder directory>/<name>.vqrca      what was last received or sent
//   edit copy      <folder directory>/<name>.vqred      while out for editing here
//   download copy  <folder directory>/<name>.vqrdl      a download on its way in
//   working copy   <edit area>/<%08x id>/<name>/<name>  what the application opens
//   view copy      <temp area>/<name>                   read-only viewing
//   history copy   <history area>/<id path>/<name>/<base>.yy-mm-dd_hh-mm<ext>
// The stored copy is the cache or the edit copy the local record points at.
//
// Safety rules every operation keeps: a name becomes part of a local path only when it is
// one valid path component (IsValidPathComponent); otherwise the file has no local copy:
// queries answer "absent" and changes raise CBizOsException 123. Nothing outside the
// login's store and the edit, history and temp areas is created, moved or deleted.
//
// Failures raise CBizOsException: 2 (record or copy missing), 32 (a copy in use),
// 183 (a record exists already), 123 (not a valid local name); expected outcomes answer
// bool. Every change checks the progress handler at its end: a cancel turns success into
// false. User-interface thread only.
class CLocalFileManager : public CFileManager
{
public:
    // No stored copy path and no working copy path may be longer than this.
    static constexpr int MaxLocalPath = 250;

    CLocalFileManager(CLoginManager *loginManager, CLocalWorkspaceManager *folders,
                      CFileTypeManager *fileTypes);
    ~CLocalFileManager() override;

    // While one lives, the roots of the store and of the edit, history and temp areas are
    // worked out once: a load derives thousands of entries, each of which would otherwise
    // build them anew.
    class CRootsMemo
    {
    public:
        explicit CRootsMemo(const CLocalFileManager &manager);
        ~CRootsMemo();
        CRootsMemo(const CRootsMemo &) = delete;
        CRootsMemo &operator=(const CRootsMemo &) = delete;

    private:
        const CLocalFileManager &m_manager;
    };

    // The online view whose records the scan compares with (null: offline).
    void AttachShared(CSharedFileManager *shared) { m_shared = shared; }
    CSharedFileManager *shared() const { return m_shared; }
    CLocalWorkspaceManager *localFolders() const;

    // --- paths (nothing is created; empty when the folder or the name cannot name one) ---
    QString StoreRoot() const;
    QString FolderDir(qint32 folderId) const;
    QString CachePath(qint32 folderId, const QString &name) const;
    QString EditCopyPath(qint32 folderId, const QString &name) const;
    QString DownloadCopyPath(qint32 folderId, const QString &name) const;
    QString WorkingCopyPath(qint32 folderId, const QString &name) const;
    QString FolderEditDir(qint32 folderId) const;
    // name with a trailing ".vqrca", ".vqred" or ".vqrdl" removed.
    QString ViewCopyPath(const QString &name) const;
    // idPath: EncodeIdPath of the folder's chain.
    QString HistoryDir(const QString &idPath, const QString &name) const;
    QString HistoryDirOf(qint32 folderId, const QString &name) const;

    // --- lengths: what a copy's path is (or would be) long ---
    // The cache copy of a name of nameLength characters; with copies >= 2 the name made
    // unique by a copy counts 8 × (copies − 1) more. -1 when the folder is unknown.
    int CacheLength(qint32 folderId, int nameLength, int copies = 1) const;
    int WorkingLength(int nameLength) const;
    bool CheckCacheLength(qint32 folderId, int nameLength, int copies, int *length) const;
    bool CheckWorkingLength(qint32 folderId, int nameLength, int *length) const;
    static bool CheckLength(int length) { return length >= 0 && length <= MaxLocalPath; }

    // --- queries ---
    CLocalFileRecord *FindLocal(qint32 folderId, const QString &name) const;
    // States (SFileStates::Want) of one copy. The first three answer false with nothing set
    // when the folder is known and the copy's estimated path is longer than MaxLocalPath.
    bool QueryCache(qint32 folderId, const QString &name, unsigned want, SFileStates &out);
    bool QueryEditCopy(qint32 folderId, const QString &name, unsigned want, SFileStates &out);
    bool QueryWorkingCopy(qint32 folderId, const QString &name, unsigned want, SFileStates &out);
    // The record's stored copy, its digest compared with expectedDigest. False: no record.
    bool QueryStored(qint32 folderId, const QString &name, unsigned want,
                     const QString &expectedDigest, SFileStates &out);
    bool QueryFile(const QString &path, unsigned want, SFileStates &out,
                   const QString &expectedDigest = {});
    // The MD5 of a file (8192-byte blocks, a progress step each); remembered by path, size
    // and modification time, so an unchanged file is read once. Empty when unreadable.
    QString Digest(const QString &path);

    // The file's record for the copies on disk: made when there is none, pointed at the
    // edit copy (else the cache copy) when its stored copy is gone. None without a copy.
    CLocalFileRecord *EnsureRecord(qint32 folderId, const QString &name);
    // Every file out for editing in the store (all folders of the local tree), with whether
    // an application holds it (the exit checks).
    QList<SUnsentFile> ListUnsent(bool withInUse = true);

    // --- changes ---
    // A new record (and stored copy, target by default the cache copy) for the file; the
    // source, when given, is transferred to the target. size unknown: the source's. An
    // empty file needs the empty-file upload right (else false, nothing created).
    bool AddLocal(qint32 folderId, const QString &name, const QString &target,
                  std::optional<quint32> size, const QString &source, QString *storedPath);
    // An existing record (else 2): the source (default: the stored copy) goes to the target
    // (default: the stored copy), the record takes the size and the target.
    bool ReplaceLocal(qint32 folderId, const QString &name, const QString &source,
                      std::optional<quint32> size, const QString &target, QString *storedPath);
    bool AddOrReplaceLocal(qint32 folderId, const QString &name, const QString &source,
                           std::optional<quint32> size, const QString &target, QString *storedPath);
    // Copies the stored copy over the working copy and answers its path. An existing
    // working copy that differs from the stored copy is an edit nobody sent: it is moved
    // into the file's history directory as <base>.unsent<stamp><ext> first (unsentCopy
    // tells where) and never deleted.
    bool PrepareWorkingCopy(qint32 folderId, const QString &name, QString *workingPath,
                            QString *unsentCopy = nullptr);
    // The working copy's size; unless keep, its content goes onto the stored copy.
    bool CommitWorkingCopy(qint32 folderId, const QString &name, bool keep, quint32 *size);
    // How a working copy ends.
    enum class EDiscard {
        AfterSend,   // its content went to the service
        HandBack,    // nothing was sent: a working copy that differs from the stored copy is
                     // kept in the history as an ".unsent" copy (unsentCopy tells where)
        ForceRelease // the user threw the edit away: the directory goes with everything in it
    };
    // Ends the working copy. Except for a force release only the application's own lock and
    // temporary files (IsHiddenOrTemporaryName, not in use) go from its directory; every
    // other file stays, and the directory goes only when empty. The folder's edit directory
    // goes when empty.
    bool DiscardWorkingCopy(qint32 folderId, const QString &name, EDiscard mode,
                            QString *unsentCopy = nullptr);
    // Moves source (the working or edit copy of an edit that cannot be sent) into the file's
    // history directory as <base>.unsent<stamp><ext> and answers the new path.
    QString KeepUnsent(qint32 folderId, const QString &name, const QString &source);
    // For editing: the working copy path (the stored path when the working copy's would be
    // too long); for viewing: a fresh view copy.
    bool OpenPath(qint32 folderId, const QString &name, bool forEditing, QString *path);
    bool MakeViewCopy(qint32 folderId, const QString &name, QString *path);
    bool CopyOut(qint32 folderId, const QString &name, const QString &destination);
    // Moves the stored copy to newStoredPath (a missing copy is no error) and records it.
    // A copy in use raises 32, a failed move its error; the record is then unchanged.
    bool Relocate(qint32 folderId, const QString &name, const QString &newStoredPath,
                  bool outForEditing);
    bool MoveLocal(qint32 folderId, const QString &name, qint32 newFolderId,
                   const QString &newName = {});
    bool DeleteLocal(qint32 folderId, const QString &name);
    bool DeleteFolderLocals(qint32 folderId);
    // Files the application left beside the working copy that are not registered in the
    // folder (needs the online view): not directories, hidden or temporary files, of a
    // known file type, without a cache suffix.
    int ListRelatedFiles(qint32 folderId, const QString &subDirectory, QStringList &files);

    // --- download into the cache ---
    // Writes the file's content into the ".vqrdl" download copy with download, then renames
    // it over the cache copy. Every failure, exceptions included, removes the download copy
    // and leaves the previous cache copy as it was.
    bool DownloadIntoCache(
        qint32 folderId, const QString &name,
        const std::function<bool(const QString &downloadCopy, const QString &cachePath)> &download);
    // Points the file's record (made when there is none) at its cache copy on disk, with
    // that copy's size. False when there is no cache copy.
    bool RecordCacheCopy(qint32 folderId, const QString &name);

    // --- history ---
    static QString HistoryStamp(const QDateTime &time);
    bool StoreHistory(const QString &idPath, const QString &name, const QString &source);
    int ListHistory(const QString &historyDir, const QString &name, QStringList &names) const;
    bool PruneHistory(const QString &idPath, const QString &name, int keep);
    // After a send or an add: unless deleteCache, a history copy when generationNum > 0;
    // then pruned to generationNum (0 with deleteCache).
    void KeepHistory(qint32 folderId, const QString &name, const QString &source);
    // A history copy of the file with this digest exists.
    bool HasHistory(const CSharedFileRecord &record);
    int ClearTempArea();

    // Same path: nothing; same directory: rename; otherwise a copy (into a temporary
    // sibling, renamed into place). Answers whether a rename happened.
    static bool TransferFile(const QString &source, const QString &target);

    // --- the list ---
    // The cached files of the folder (subtree: of every folder below it, folderId <= 0:
    // all), then its subfolders. verify: compare cache copies with the service's digests.
    bool LoadList(qint32 &folderId, bool recursive, bool verify) override;
    void Prepare(CFileRecord &record, bool withHistory) override;
    // The stored path of a record for its folder's current place (the folder was renamed or
    // moved), keeping whether it is an edit copy.
    void NormalizeStoredPath(CLocalFileRecord &record) const;
    // The current cache copy length of a record's file (real path length).
    int PathLengthOf(const CFileRecord &record) const;
    // The size of the edit copy's working copy (else the edit copy) while out for editing.
    std::optional<quint32> EditCopySize(qint32 folderId, const QString &name);

private:
    struct SDigestEntry
    {
        qint64 size = 0;
        qint64 modifiedNs = 0;
        QString digest;
    };

    CWorkspaceRecord *FolderOf(qint32 folderId) const;
    QString DirOf(const CWorkspaceRecord &folder) const;
    QString EditRoot() const;
    QString HistoryRoot() const;
    QString TempRoot() const;
    void RequireName(const QString &name) const;
    CLocalFileRecord *RequireRecord(qint32 folderId, const QString &name) const;
    void RequireNotInUse(const QString &path) const;
    bool Finished() const;
    bool ScanFolder(const CWorkspaceRecord &folder, bool verify, CFileList &list);
    // The candidates of ListRelatedFiles; without the online view none counts as registered.
    int CollectRelated(qint32 folderId, const QString &subDirectory, QStringList &files) const;
    bool IsKnownType(const QString &extension) const;
    CLocalFileRecord *AddRecord(qint32 folderId, const QString &name, const QString &storedPath,
                                quint32 size, bool outForEditing);

    struct SRoots
    {
        std::optional<QString> store, edit, history, temp;
        QHash<qint32, QString> folderDirs;
    };
    struct SDirListing
    {
        qint64 modifiedNs = 0;
        QStringList names;
    };
    // Remembers value while a CRootsMemo lives.
    QString Remembered(std::optional<QString> SRoots::*slot,
                       const std::function<QString()> &compute) const;

    // The digest of a file whose status came with its listing.
    QString DigestOf(const QString &path, qint64 size, qint64 modifiedNs);
    // The file names of a directory, listed again only when the directory changed.
    QStringList FileNamesOf(const QString &dir) const;

    CSharedFileManager *m_shared = nullptr;
    QHash<QString, SDigestEntry> m_digests;
    mutable QHash<QString, SDirListing> m_listings;
    mutable int m_memoDepth = 0;
    mutable SRoots m_roots;
};
