#pragma once

#include "core/InstanceManager.h"
#include "core/Manager.h"

#include <functional>
#include <memory>

class CAutoUpdateManager;
class CBulkDownloadManager;
class CFileManager;
class CLocalFileCommentManager;
class CSharedFileCommentManager;
class CFileTypeManager;
class CInformationManager;
class CLocalFileManager;
class CLocalFileTypeManager;
class CSharedFileManager;
class CLocalWorkspaceManager;
class CLoginManager;
class CSharedFileTypeManager;
class CSharedWorkspaceManager;
class CWorkspaceManager;
class CSystem;
class CMainSystem;
class CSharedSystem;
class CSharedGuiSystem;
class CLocalSystem;
class CLogManager;

// The system objects: the layer between the windows (and the command-line download) and the
// managers. The main system holds what does not depend on a folder view (instance identity,
// login state, auto-update, bulk download, error log); the shared system serves the online
// view, the local system the offline view of the cache. Each owns the managers of its side.
//
// Progress: a forwarding operation attaches the system's current handler to the manager
// that does the work for exactly the duration of the call (CBizProgressAttach, also when
// the call ends by an exception); windows attach their handler to the system the same way.
//
// Failures are not reported here: manager exceptions pass through unchanged after the
// attachment has been undone.
//
// Plugging in a manager (when its issue lands):
//  1. create it in SManagerFactory::Default() (System.cpp), from the owner's already built
//     managers (the factory receives the owner; the login manager is built first, so
//     owner.loginManager() is set for every later manager);
//  2. add a typed accessor next to the slot (defined in System.cpp: the downcast needs the
//     manager's header, this one only declares the class). The slot stays
//     std::unique_ptr<CManager>: deletion goes through the virtual destructor. An accessor
//     answers null for an empty slot and for a slot holding another kind of manager (the
//     tests' probes), and the steps that use it then do nothing;
//  3. fill the step of Start/Finish/OpenFolder that names it (ReloadFileTypes, ...).
//

// Paging arguments of the file list of a folder.
struct SFileListPage
{
    qint32 page = 1;
    qint32 pageSize = 500;
};

// How the system objects create their managers; every entry is called in the build order
// and an empty entry leaves its slot empty. Tests pass recording managers.
struct SManagerFactory
{
    using Maker = std::function<std::unique_ptr<CManager>(CSystem &owner)>;

    // Main system: instance, login, auto-update, bulk download, error log.
    std::function<std::unique_ptr<CInstanceManager>()> instance;
    // Sets typed to the created manager when it is a CLoginManager.
    std::function<std::unique_ptr<CManager>(CLoginManager *&typed)> login;
    Maker autoUpdate, bulkDownload, errorLog;
    // Local system: folder mirror, cached file types, pending comments, local file cache.
    Maker localFolders, localFileTypes, localComments, localFiles;
    // Shared system: service folders, file types, comments, files, notices.
    Maker sharedFolders, sharedFileTypes, sharedComments, sharedFiles, notices;

    // The managers that exist in this build.
    static SManagerFactory Default();
};

class CSystem : public CBizHasProgress
{
public:
    ~CSystem() override;
    CSystem(const CSystem &) = delete;
    CSystem &operator=(const CSystem &) = delete;

    // The one login manager (owned by the main system).
    CLoginManager *loginManager() const { return m_loginManager; }

    CManager *folderManager() const { return m_folderManager.get(); }
    CManager *fileTypeManager() const { return m_fileTypeManager.get(); }
    CManager *commentManager() const { return m_commentManager.get(); }
    CManager *fileManager() const { return m_fileManager.get(); }

    // The slots' managers by their common bases (null when empty or of another kind).
    CWorkspaceManager *workspaces() const;
    CFileTypeManager *fileTypes() const;
    CFileManager *files() const;

    // Reloads the file types (reloadTypes) and the folder list (reloadFolders), stopping
    // with false at the first failure, then loads the file list of the folder.
    virtual bool OpenFolder(bool reloadTypes, bool reloadFolders, qint32 folderId,
                            const SFileListPage &page = {});
    // Loads what the system keeps in files (see the subclasses).
    virtual bool Start();
    // Saves what the system keeps in files (see the subclasses).
    virtual bool Finish();

    // Runs call(manager) with the system's handler attached to the manager.
    template<typename M, typename F>
    decltype(auto) Forward(M &manager, F &&call)
    {
        CBizProgressAttach attach(manager, progress());
        return std::forward<F>(call)(manager);
    }

protected:
    explicit CSystem(CLoginManager *loginManager);

    // Steps of OpenFolder, each working through its slot's manager with the progress rule.
    // An empty slot (its manager has not landed) has nothing to load and succeeds.
    virtual bool ReloadFileTypes();
    virtual bool ReloadFolders();
    virtual bool LoadFileList(qint32 folderId, const SFileListPage &page);

    // Attaches the system's handler to manager (when there is one) for the call.
    template<typename F>
    bool WithManager(CManager *manager, F &&call)
    {
        if (!manager)
            return true;
        CBizProgressAttach attach(*manager, progress());
        return std::forward<F>(call)(*manager);
    }

    CLoginManager *m_loginManager;
    // The slots of the folder view sides (shared and local).
    std::unique_ptr<CManager> m_folderManager;
    std::unique_ptr<CManager> m_fileTypeManager;
    std::unique_ptr<CManager> m_commentManager;
    std::unique_ptr<CManager> m_fileManager;
    std::unique_ptr<CManager> m_extraManager; // shared: notices
};

class CMainSystem : public CSystem
{
public:
    // Builds the instance, login, auto-update, bulk-download and error-log managers, in
    // this order.
    explicit CMainSystem(const SManagerFactory &factory = SManagerFactory::Default());
    // Deletes the error-log, bulk-download, auto-update, login and instance managers, in
    // this order: the managers that refer to the login manager go before it.
    ~CMainSystem() override;

    CInstanceManager *instanceManager() const { return m_instanceManager.get(); }
    CManager *loginManagerSlot() const { return m_loginSlot.get(); }
    CManager *autoUpdateManager() const { return m_autoUpdateManager.get(); }
    CAutoUpdateManager *autoUpdate() const;
    CManager *bulkDownloadManager() const { return m_bulkDownloadManager.get(); }
    CBulkDownloadManager *bulkDownload() const;
    CManager *logManager() const { return m_logManager.get(); }
    CLogManager *errorLog() const;

    // The auto-update manager's operations with the progress rule. Without the manager
    // there is nothing newer (the check succeeds with newer 0) and nothing is started.
    bool CheckForUpdate(int &newer, QString *fileName = nullptr, QString *fileDigest = nullptr,
                        qint32 *fileSize = nullptr, quint32 *versionMs = nullptr,
                        quint32 *versionLs = nullptr);
    bool DownloadAndStart(const QString &fileName, const QString &fileDigest);

    // The error log of a multi-item operation (nothing is recorded while the slot is empty).
    void AddErrorLogEntry(const QString &operation, const QString &source,
                          const QString &destination, const QString &message);
    int ErrorLogCount() const;
    // Writes the CSV file and empties the log; the path also when the write failed.
    QString WriteErrorLog();
    // The end of a multi-item operation: with entries, writes the log and asks
    // "%d件の項目でエラーが発生しました。…" (No preselected); Yes opens the CSV file in its
    // associated application. Answers the number of entries there were.
    int FinishErrorLog();

    // Loads the saved logins.
    bool Start() override;
    // Start as the start-up sequence runs it: an archive exception is reported with 18331
    // and the start still counts as done; any other failure of the family is shown with
    // the handler's ShowError and the start fails.
    bool StartReportingErrors();
    // The terminate step after the session loop: only the progress bookkeeping.
    void Terminate();

protected:
    virtual bool LoadSavedLogins();

private:
    std::unique_ptr<CInstanceManager> m_instanceManager;
    std::unique_ptr<CManager> m_loginSlot;
    std::unique_ptr<CManager> m_autoUpdateManager;
    std::unique_ptr<CManager> m_bulkDownloadManager;
    std::unique_ptr<CManager> m_logManager;
};

// A system that belongs to a main system.
class CHasMainSystem : public CSystem
{
public:
    CMainSystem *mainSystem() const { return m_mainSystem; }
    // The main system's error-log manager (copied at construction).
    CManager *logManager() const { return m_logManager; }

protected:
    explicit CHasMainSystem(CMainSystem *mainSystem);

    CMainSystem *m_mainSystem;
    CManager *m_logManager;
};

class CLocalSystem : public CHasMainSystem
{
public:
    // Builds the local folder, file type, comment and file managers, in this order.
    explicit CLocalSystem(CMainSystem *mainSystem,
                          const SManagerFactory &factory = SManagerFactory::Default());
    // Deletes the file, comment, file type and folder managers, in this order: the local
    // file manager refers to the other three and goes first.
    ~CLocalSystem() override;

    CLocalWorkspaceManager *localWorkspaces() const;
    CLocalFileTypeManager *localFileTypes() const;
    CLocalFileManager *localFiles() const;
    CLocalFileCommentManager *localComments() const;

    // Loads the cached file-type list (fileTypes.vqr). No cache yet (or no current login)
    // is an empty list, not a failure; a damaged cache has been reported and deleted by the
    // manager and answers false.
    bool Start() override;

    // Gives the local system and its folder and file managers their references to the
    // shared system and its corresponding managers (null detaches); the local file type
    // manager takes none.
    virtual void AttachShared(CSharedSystem *shared);
    CSharedSystem *sharedSystem() const { return m_sharedSystem; }

protected:
    // Re-reads the cache with the rule of Start.
    bool ReloadFileTypes() override;
    // The cached files of the folder and its subfolders; online (attached) the cache copies
    // are compared with the service's digests.
    bool LoadFileList(qint32 folderId, const SFileListPage &page) override;
    virtual bool LoadCachedFileTypes();

    CSharedSystem *m_sharedSystem = nullptr;
};

class CSharedSystem : public CHasMainSystem
{
public:
    // Builds the shared folder, file type, comment, file and notices managers, in this
    // order.
    CSharedSystem(CMainSystem *mainSystem, CLocalSystem *localSystem,
                  const SManagerFactory &factory = SManagerFactory::Default());
    // Detaches the local system when it still refers to this one, then deletes the notices,
    // file, comment, file type and folder managers, in this order.
    ~CSharedSystem() override;

    CLocalSystem *localSystem() const { return m_localSystem; }
    CManager *noticesManager() const { return m_extraManager.get(); }
    CInformationManager *information() const;
    CSharedWorkspaceManager *sharedWorkspaces() const;
    CSharedFileTypeManager *sharedFileTypes() const;
    CSharedFileManager *sharedFiles() const;
    CSharedFileCommentManager *sharedComments() const;

    // Loads the pending comment edits (comments.vqr) and the user's bulk download settings
    // (bulkDownload.vqr). A damaged file has been reported (comments.vqr also removed): the
    // session starts without it and the start still succeeds.
    bool Start() override;
    // Saves the file types, then the pending comment edits; both are attempted (also when
    // the first raises: its exception propagates after the second), true only when both
    // succeed. The types are written only when they were loaded successfully in this
    // session; skipping the write is not a failure.
    bool Finish() override;
    // As CSystem, then attaches the comment edits to the loaded files and refreshes the
    // notice count.
    bool OpenFolder(bool reloadTypes, bool reloadFolders, qint32 folderId,
                    const SFileListPage &page = {}) override;

    // The local system follows the folder just opened online: AttachShared on it, then its
    // Start and, when that succeeds, its OpenFolder (folders reloaded, types not).
    bool AttachShared(qint32 folderId, const SFileListPage &page = {});

protected:
    // The page of the folder (page numbers from 1).
    bool LoadFileList(qint32 folderId, const SFileListPage &page) override;
    virtual bool LoadPendingComments();
    virtual bool SaveFileTypes();
    virtual bool SavePendingComments();
    virtual bool AttachCommentEdits();
    virtual bool RefreshNoticeCount();

    CLocalSystem *m_localSystem;
};

// The three system objects for the life of the program: built main, local, shared; torn
// down shared, local, main.
class CSystemObjects
{
public:
    explicit CSystemObjects(const SManagerFactory &factory = SManagerFactory::Default());
    ~CSystemObjects();
    CSystemObjects(const CSystemObjects &) = delete;
    CSystemObjects &operator=(const CSystemObjects &) = delete;

    CMainSystem *main() const { return m_main.get(); }
    CLocalSystem *local() const { return m_local.get(); }
    CSharedSystem *shared() const;
    // The same object, with the operations the windows call.
    CSharedGuiSystem *sharedGui() const { return m_shared.get(); }

private:
    std::unique_ptr<CMainSystem> m_main;
    std::unique_ptr<CLocalSystem> m_local;
    std::unique_ptr<CSharedGuiSystem> m_shared;
};
