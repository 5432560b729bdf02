#include "System.h"

#include "LogManager.h"
#include "SharedGuiSystem.h"

#include "account/AutoUpdateManager.h"
#include "account/InformationManager.h"
#include "account/LoginManager.h"
#include "bulk/BulkDownloadManager.h"
#include "core/ExceptHandler.h"
#include "core/Messages.h"
#include "files/AppLauncher.h"
#include "files/FileCommentManager.h"
#include "files/FileTypeManager.h"
#include "files/LocalFileManager.h"
#include "files/SharedFileManager.h"
#include "folders/LocalWorkspaceManager.h"
#include "folders/SharedWorkspaceManager.h"

#include <QFileInfo>
#include <QLoggingCategory>

#include <exception>

Q_LOGGING_CATEGORY(lcSystem, "velquor.system")

namespace {

std::unique_ptr<CManager> Make(const SManagerFactory::Maker &maker, CSystem &owner)
{
    return maker ? maker(owner) : nullptr;
}

} // namespace

SManagerFactory SManagerFactory::Default()
{
    SManagerFactory f;
    f.instance = [] { return std::make_unique<CInstanceManager>(); };
    f.login = [](CLoginManager *&typed) -> std::unique_ptr<CManager> {
        auto manager = std::make_unique<CLoginManager>();
        typed = manager.get();
        return manager;
    };
    f.localFolders = [](CSystem &owner) -> std::unique_ptr<CManager> {
        return std::make_unique<CLocalWorkspaceManager>(owner.loginManager());
    };
    f.localFileTypes = [](CSystem &owner) -> std::unique_ptr<CManager> {
        return std::make_unique<CLocalFileTypeManager>(owner.loginManager());
    };
    f.localComments = [](CSystem &owner) -> std::unique_ptr<CManager> {
        return std::make_unique<CLocalFileCommentManager>(owner.loginManager());
    };
    f.sharedComments = [](CSystem &owner) -> std::unique_ptr<CManager> {
        // The pending edits live on the local side: they outlast an online session.
        const auto *shared = dynamic_cast<CSharedSystem *>(&owner);
        CLocalFileCommentManager *pending
            = shared && shared->localSystem() ? shared->localSystem()->localComments() : nullptr;
        return std::make_unique<CSharedFileCommentManager>(owner.loginManager(), pending);
    };
    f.sharedFolders = [](CSystem &owner) -> std::unique_ptr<CManager> {
        // Every change on the service updates the cache's folder tree: the local system is
        // built before the shared one.
        const auto *shared = dynamic_cast<CSharedSystem *>(&owner);
        CLocalWorkspaceManager *mirror
            = shared && shared->localSystem() ? shared->localSystem()->localWorkspaces() : nullptr;
        return std::make_unique<CSharedWorkspaceManager>(owner.loginManager(), mirror);
    };
    f.sharedFileTypes = [](CSystem &owner) -> std::unique_ptr<CManager> {
        return std::make_unique<CSharedFileTypeManager>(owner.loginManager());
    };
    f.localFiles = [](CSystem &owner) -> std::unique_ptr<CManager> {
        const auto *local = dynamic_cast<CLocalSystem *>(&owner);
        return std::make_unique<CLocalFileManager>(owner.loginManager(),
                                                   local ? local->localWorkspaces() : nullptr,
                                                   local ? local->localFileTypes() : nullptr);
    };
    f.sharedFiles = [](CSystem &owner) -> std::unique_ptr<CManager> {
        const auto *shared = dynamic_cast<CSharedSystem *>(&owner);
        CLocalFileManager *cache
            = shared && shared->localSystem() ? shared->localSystem()->localFiles() : nullptr;
        return std::make_unique<CSharedFileManager>(
            owner.loginManager(), shared ? shared->sharedWorkspaces() : nullptr,
            shared ? shared->sharedFileTypes() : nullptr, cache,
            shared ? shared->sharedComments() : nullptr);
    };
    f.errorLog = [](CSystem &owner) -> std::unique_ptr<CManager> {
        return std::make_unique<CLogManager>(owner.loginManager());
    };
    f.autoUpdate = [](CSystem &owner) -> std::unique_ptr<CManager> {
        return std::make_unique<CAutoUpdateManager>(owner.loginManager());
    };
    f.notices = [](CSystem &owner) -> std::unique_ptr<CManager> {
        return std::make_unique<CInformationManager>(owner.loginManager());
    };
    f.bulkDownload = [](CSystem &owner) -> std::unique_ptr<CManager> {
        return std::make_unique<CBulkDownloadManager>(owner.loginManager());
    };
    return f;
}

// --- CSystem ----------------------------------------------------------------------------

CSystem::CSystem(CLoginManager *loginManager)
    : m_loginManager(loginManager)
{}

CSystem::~CSystem() = default;

CWorkspaceManager *CSystem::workspaces() const
{
    return dynamic_cast<CWorkspaceManager *>(m_folderManager.get());
}

CFileTypeManager *CSystem::fileTypes() const
{
    return dynamic_cast<CFileTypeManager *>(m_fileTypeManager.get());
}

CFileManager *CSystem::files() const
{
    return dynamic_cast<CFileManager *>(m_fileManager.get());
}

bool CSystem::OpenFolder(bool reloadTypes, bool reloadFolders, qint32 folderId,
                         const SFileListPage &page)
{
    if (reloadTypes && !ReloadFileTypes())
        return false;
    if (reloadFolders && !ReloadFolders())
        return false;
    return LoadFileList(folderId, page);
}

bool CSystem::Start()
{
    return true;
}

bool CSystem::Finish()
{
    return true;
}

bool CSystem::ReloadFileTypes()
{
    // Online from the service, offline from fileTypes.vqr.
    CFileTypeManager *types = fileTypes();
    return WithManager(types, [types](CManager &) { return types->Load(); });
}

bool CSystem::ReloadFolders()
{
    CWorkspaceManager *folders = workspaces();
    return WithManager(folders, [folders](CManager &) { return folders->Load(); });
}

bool CSystem::LoadFileList(qint32 folderId, const SFileListPage &)
{
    CFileManager *manager = files();
    return WithManager(manager, [manager, folderId](CManager &) {
        qint32 id = folderId;
        return manager->LoadList(id, false, false);
    });
}

// --- CMainSystem ------------------------------------------------------------------------

CMainSystem::CMainSystem(const SManagerFactory &factory)
    : CSystem(nullptr)
{
    if (factory.instance)
        m_instanceManager = factory.instance();
    if (factory.login)
        m_loginSlot = factory.login(m_loginManager);
    m_autoUpdateManager = Make(factory.autoUpdate, *this);
    m_bulkDownloadManager = Make(factory.bulkDownload, *this);
    m_logManager = Make(factory.errorLog, *this);
}

CMainSystem::~CMainSystem()
{
    m_logManager.reset();
    m_bulkDownloadManager.reset();
    m_autoUpdateManager.reset();
    m_loginManager = nullptr;
    m_loginSlot.reset();
    m_instanceManager.reset();
}

CLogManager *CMainSystem::errorLog() const
{
    return dynamic_cast<CLogManager *>(m_logManager.get());
}

CBulkDownloadManager *CMainSystem::bulkDownload() const
{
    return dynamic_cast<CBulkDownloadManager *>(m_bulkDownloadManager.get());
}

CAutoUpdateManager *CMainSystem::autoUpdate() const
{
    return dynamic_cast<CAutoUpdateManager *>(m_autoUpdateManager.get());
}

bool CMainSystem::CheckForUpdate(int &newer, QString *fileName, QString *fileDigest,
                                 qint32 *fileSize, quint32 *versionMs, quint32 *versionLs)
{
    newer = 0;
    CAutoUpdateManager *manager = autoUpdate();
    return WithManager(manager, [&](CManager &) {
        return manager->CheckForUpdate(newer, fileName, fileDigest, fileSize, versionMs, versionLs);
    });
}

bool CMainSystem::DownloadAndStart(const QString &fileName, const QString &fileDigest)
{
    CAutoUpdateManager *manager = autoUpdate();
    return manager && Forward(*manager, [&](CAutoUpdateManager &m) {
               return m.DownloadAndStart(fileName, fileDigest);
           });
}

void CMainSystem::AddErrorLogEntry(const QString &operation, const QString &source,
                                   const QString &destination, const QString &message)
{
    if (CLogManager *log = errorLog())
        log->AddEntry(operation, source, destination, message);
}

int CMainSystem::ErrorLogCount() const
{
    const CLogManager *log = errorLog();
    return log ? log->Count() : 0;
}

QString CMainSystem::WriteErrorLog()
{
    CLogManager *log = errorLog();
    if (!log)
        return {};
    CBizProgressAttach attach(*log, progress());
    return log->Write();
}

int CMainSystem::FinishErrorLog()
{
    const int count = ErrorLogCount();
    if (count <= 0)
        return 0;
    const QString path = WriteErrorLog();
    if (AskYesNoDefaultNo(
            QStringLiteral("%d件の項目でエラーが発生しました。\r\nエラーログを表示しますか？"),
            count)
        == IDYES) {
        // A log that could not be written has been reported already: opening it fails
        // without a further message (and starts no application on a missing file).
        const int code = QFileInfo::exists(path) ? LaunchFile(path) : LaunchCode::StartFailed;
        if (code <= 32)
            qCInfo(lcSystem) << "the error log was not opened, code" << code;
    }
    return count;
}

bool CMainSystem::Start()
{
    return LoadSavedLogins();
}

bool CMainSystem::StartReportingErrors()
{
    try {
        return Start();
    } catch (const CBizArchiveException &) {
        ShowErrorMessage(18331);
        return true;
    } catch (const CBizException &e) {
        CBizExceptHandler handler;
        handler.Set(e);
        handler.ShowError();
        return false;
    }
}

void CMainSystem::Terminate()
{
    // Nothing of the main system outlives the session but the attachment bookkeeping.
    while (attachDepth() > 0)
        Detach();
}

bool CMainSystem::LoadSavedLogins()
{
    CLoginManager *login = m_loginManager;
    return WithManager(login, [login](CManager &) { return login->LoadSavedLogins(); });
}

// --- CHasMainSystem ---------------------------------------------------------------------

CHasMainSystem::CHasMainSystem(CMainSystem *mainSystem)
    : CSystem(mainSystem ? mainSystem->loginManager() : nullptr)
    , m_mainSystem(mainSystem)
    , m_logManager(mainSystem ? mainSystem->logManager() : nullptr)
{}

// --- CLocalSystem -----------------------------------------------------------------------

CLocalSystem::CLocalSystem(CMainSystem *mainSystem, const SManagerFactory &factory)
    : CHasMainSystem(mainSystem)
{
    m_folderManager = Make(factory.localFolders, *this);
    m_fileTypeManager = Make(factory.localFileTypes, *this);
    m_commentManager = Make(factory.localComments, *this);
    m_fileManager = Make(factory.localFiles, *this);
}

CLocalSystem::~CLocalSystem()
{
    m_fileManager.reset();
    m_commentManager.reset();
    m_fileTypeManager.reset();
    m_folderManager.reset();
}

CLocalWorkspaceManager *CLocalSystem::localWorkspaces() const
{
    return dynamic_cast<CLocalWorkspaceManager *>(m_folderManager.get());
}

CLocalFileTypeManager *CLocalSystem::localFileTypes() const
{
    return dynamic_cast<CLocalFileTypeManager *>(m_fileTypeManager.get());
}

CLocalFileManager *CLocalSystem::localFiles() const
{
    return dynamic_cast<CLocalFileManager *>(m_fileManager.get());
}

CLocalFileCommentManager *CLocalSystem::localComments() const
{
    return dynamic_cast<CLocalFileCommentManager *>(m_commentManager.get());
}

bool CLocalSystem::Start()
{
    return LoadCachedFileTypes();
}

void CLocalSystem::AttachShared(CSharedSystem *shared)
{
    m_sharedSystem = shared;
    // The mirror follows the service's tree (renames, and deletions against a complete
    // tree); the cache's scan compares with the service's records. The local file type
    // manager takes no counterpart.
    if (CLocalWorkspaceManager *folders = localWorkspaces())
        folders->AttachShared(shared ? shared->sharedWorkspaces() : nullptr);
    if (CLocalFileManager *cache = localFiles())
        cache->AttachShared(shared ? shared->sharedFiles() : nullptr);
}

bool CLocalSystem::LoadFileList(qint32 folderId, const SFileListPage &)
{
    CLocalFileManager *cache = localFiles();
    const bool online = m_sharedSystem != nullptr;
    return WithManager(cache, [cache, folderId, online](CManager &) {
        qint32 id = folderId;
        return cache->LoadList(id, false, online);
    });
}

bool CLocalSystem::ReloadFileTypes()
{
    return LoadCachedFileTypes();
}

bool CLocalSystem::LoadCachedFileTypes()
{
    CLocalFileTypeManager *types = localFileTypes();
    return WithManager(types, [types](CManager &) {
        // Before an online session has saved types there is no cache: the list is empty,
        // which must not keep the offline view from opening.
        const QString path = types->CachePath();
        const bool cached = !path.isEmpty() && QFileInfo::exists(path);
        const bool read = types->Load();
        return read || !cached;
    });
}

// --- CSharedSystem ----------------------------------------------------------------------

CSharedSystem::CSharedSystem(CMainSystem *mainSystem, CLocalSystem *localSystem,
                             const SManagerFactory &factory)
    : CHasMainSystem(mainSystem)
    , m_localSystem(localSystem)
{
    m_folderManager = Make(factory.sharedFolders, *this);
    m_fileTypeManager = Make(factory.sharedFileTypes, *this);
    m_commentManager = Make(factory.sharedComments, *this);
    m_fileManager = Make(factory.sharedFiles, *this);
    m_extraManager = Make(factory.notices, *this);
}

CSharedSystem::~CSharedSystem()
{
    // The local system outlives this one: it must not keep pointers into it.
    if (m_localSystem && m_localSystem->sharedSystem() == this)
        m_localSystem->AttachShared(nullptr);
    m_extraManager.reset();
    m_fileManager.reset();
    m_commentManager.reset();
    m_fileTypeManager.reset();
    m_folderManager.reset();
}

bool CSharedSystem::Start()
{
    const bool comments = LoadPendingComments();
    // The bulk download settings belong to the signed-in user; damage has been shown and the
    // defaults stay.
    if (m_mainSystem)
        if (CBulkDownloadManager *bulk = m_mainSystem->bulkDownload())
            Forward(*bulk,
                    [](CBulkDownloadManager &manager) { return manager.LoadBulkSettings(); });
    return comments;
}

CSharedWorkspaceManager *CSharedSystem::sharedWorkspaces() const
{
    return dynamic_cast<CSharedWorkspaceManager *>(m_folderManager.get());
}

CSharedFileTypeManager *CSharedSystem::sharedFileTypes() const
{
    return dynamic_cast<CSharedFileTypeManager *>(m_fileTypeManager.get());
}

CSharedFileManager *CSharedSystem::sharedFiles() const
{
    return dynamic_cast<CSharedFileManager *>(m_fileManager.get());
}

CSharedFileCommentManager *CSharedSystem::sharedComments() const
{
    return dynamic_cast<CSharedFileCommentManager *>(m_commentManager.get());
}

bool CSharedSystem::LoadFileList(qint32 folderId, const SFileListPage &page)
{
    CSharedFileManager *files = sharedFiles();
    return WithManager(files, [files, folderId, &page](CManager &) {
        SFilePageQuery query;
        query.folderId = folderId;
        query.pageSize = page.pageSize;
        query.offset = std::max(0, page.page - 1) * page.pageSize;
        return files->LoadPage(query);
    });
}

bool CSharedSystem::Finish()
{
    // Both are attempted: a failure to save the types must not lose the comment edits, also
    // when it is an exception (it propagates once the edits are saved).
    bool typesSaved = false;
    std::exception_ptr typesFailure;
    try {
        typesSaved = SaveFileTypes();
    } catch (...) {
        typesFailure = std::current_exception();
    }
    const bool commentsSaved = SavePendingComments();
    if (typesFailure)
        std::rethrow_exception(typesFailure);
    if (!typesSaved || !commentsSaved)
        qCWarning(lcSystem) << "finish: types saved" << typesSaved << "comments saved"
                            << commentsSaved;
    return typesSaved && commentsSaved;
}

bool CSharedSystem::OpenFolder(bool reloadTypes, bool reloadFolders, qint32 folderId,
                               const SFileListPage &page)
{
    if (!CSystem::OpenFolder(reloadTypes, reloadFolders, folderId, page))
        return false;
    AttachCommentEdits();
    // A notice count that cannot be refreshed does not make the folder fail to open.
    RefreshNoticeCount();
    return true;
}

bool CSharedSystem::AttachShared(qint32 folderId, const SFileListPage &page)
{
    if (!m_localSystem)
        return false;
    m_localSystem->AttachShared(this);
    CBizProgressAttach attach(*m_localSystem, progress());
    if (!m_localSystem->Start())
        return false;
    return m_localSystem->OpenFolder(false, true, folderId, page);
}

bool CSharedSystem::LoadPendingComments()
{
    // A damaged comments.vqr has been reported and removed: the session starts with none.
    CLocalFileCommentManager *pending = sharedComments() ? sharedComments()->local() : nullptr;
    return WithManager(pending, [pending](CManager &) {
        pending->Load();
        return true;
    });
}

bool CSharedSystem::SaveFileTypes()
{
    CSharedFileTypeManager *types = sharedFileTypes();
    return WithManager(types, [types](CManager &) {
        // Types not loaded in this session (or whose last reload failed) are not written, so
        // the previous cache stays for the offline view; that is no failure of Finish.
        types->SaveIfLoaded();
        return true;
    });
}

bool CSharedSystem::SavePendingComments()
{
    CLocalFileCommentManager *pending = sharedComments() ? sharedComments()->local() : nullptr;
    return WithManager(pending, [pending](CManager &) { return pending->Save(); });
}

bool CSharedSystem::AttachCommentEdits()
{
    CSharedFileManager *files = sharedFiles();
    return WithManager(files, [files](CManager &) {
        files->AttachPendingComments();
        return true;
    });
}

bool CSharedSystem::RefreshNoticeCount()
{
    CInformationManager *notices = information();
    return WithManager(notices, [notices](CManager &) {
        // The counters are a side show of the refresh: a fault keeps the previous values and
        // is no failure of the folder.
        try {
            return notices->RefreshCounts();
        } catch (const CBizException &e) {
            qCWarning(lcSystem) << "notice count not refreshed:" << e.ErrorMessage();
            return false;
        }
    });
}

CInformationManager *CSharedSystem::information() const
{
    return dynamic_cast<CInformationManager *>(m_extraManager.get());
}

// --- CSystemObjects ---------------------------------------------------------------------

CSystemObjects::CSystemObjects(const SManagerFactory &factory)
{
    m_main = std::make_unique<CMainSystem>(factory);
    m_local = std::make_unique<CLocalSystem>(m_main.get(), factory);
    m_shared = std::make_unique<CSharedGuiSystem>(m_main.get(), m_local.get(), factory);
}

CSharedSystem *CSystemObjects::shared() const
{
    return m_shared.get();
}

CSystemObjects::~CSystemObjects()
{
    m_shared.reset();
    m_local.reset();
    m_main.reset();
}
