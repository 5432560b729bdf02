#include "System.h"

#include "app/core/ExceptHandler.h"
#include "app/core/Messages.h"

#include <QLoggingCategory>

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
    // The managers of the account, folders, files and bulk issues are added here as they
    // land (see System.h).
    return f;
}

// --- CSystem ----------------------------------------------------------------------------

CSystem::CSystem(CLoginManager *loginManager)
    : m_loginManager(loginManager)
{}

CSystem::~CSystem() = default;

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
    return WithManager(m_fileTypeManager.get(), [](CManager &) { return true; });
}

bool CSystem::ReloadFolders()
{
    return WithManager(m_folderManager.get(), [](CManager &) { return true; });
}

bool CSystem::LoadFileList(qint32, const SFileListPage &)
{
    return WithManager(m_fileManager.get(), [](CManager &) { return true; });
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
    // The login manager's LoadSavedLogins runs here once the account issue plugs it in.
    return WithManager(m_loginSlot.get(), [](CManager &) { return true; });
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

bool CLocalSystem::Start()
{
    return LoadCachedFileTypes();
}

void CLocalSystem::AttachShared(CSharedSystem *shared)
{
    m_sharedSystem = shared;
    // The local folder, file type and file managers receive their shared counterparts here
    // as they land.
}

bool CLocalSystem::LoadCachedFileTypes()
{
    return WithManager(m_fileTypeManager.get(), [](CManager &) { return true; });
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
    m_extraManager.reset();
    m_fileManager.reset();
    m_commentManager.reset();
    m_fileTypeManager.reset();
    m_folderManager.reset();
}

bool CSharedSystem::Start()
{
    return LoadPendingComments();
}

bool CSharedSystem::Finish()
{
    // Both are attempted: a failure to save the types must not lose the comment edits.
    const bool typesSaved = SaveFileTypes();
    const bool commentsSaved = SavePendingComments();
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
    return WithManager(m_commentManager.get(), [](CManager &) { return true; });
}

bool CSharedSystem::SaveFileTypes()
{
    return WithManager(m_fileTypeManager.get(), [](CManager &) { return true; });
}

bool CSharedSystem::SavePendingComments()
{
    return WithManager(m_commentManager.get(), [](CManager &) { return true; });
}

bool CSharedSystem::AttachCommentEdits()
{
    return WithManager(m_commentManager.get(), [](CManager &) { return true; });
}

bool CSharedSystem::RefreshNoticeCount()
{
    return WithManager(m_extraManager.get(), [](CManager &) { return true; });
}

// --- CSystemObjects ---------------------------------------------------------------------

CSystemObjects::CSystemObjects(const SManagerFactory &factory)
{
    m_main = std::make_unique<CMainSystem>(factory);
    m_local = std::make_unique<CLocalSystem>(m_main.get(), factory);
    m_shared = std::make_unique<CSharedSystem>(m_main.get(), m_local.get(), factory);
}

CSystemObjects::~CSystemObjects()
{
    m_shared.reset();
    m_local.reset();
    m_main.reset();
}
