#include "ExeCmdManager.h"

#include "MainApp.h"

#include "account/LoginManager.h"
#include "core/BizException.h"
#include "core/ExitCodes.h"
#include "core/Paths.h"
#include "files/FileParsers.h"
#include "files/FileRecord.h"
#include "files/FileRequests.h"
#include "folders/SharedWorkspaceManager.h"
#include "folders/WorkspaceRecord.h"
#include "service/RequestException.h"
#include "store/NameCheck.h"

#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QTimer>

Q_LOGGING_CATEGORY(lcExeCmd, "velquor.files.cmdline")

CExeCmdManager::CExeCmdManager(const QString &officeId, const QString &loginId,
                               const QString &password)
    : m_officeId(officeId)
    , m_loginId(loginId)
    , m_password(password)
    , m_loginManager(std::make_unique<CLoginManager>())
{}

CExeCmdManager::~CExeCmdManager() = default;

bool CExeCmdManager::RunDownload(const QString &sourcePath, const QString &destination)
{
    m_downloaded = 0;
    m_failureReason.clear();
    // Exceptions of the sign-in leave at once: nothing is signed in yet.
    if (!m_loginManager->LoadSavedLogins()) {
        m_failureReason = QStringLiteral("the saved logins could not be loaded");
        return false;
    }
    if (!m_loginManager->SignIn(m_officeId, m_loginId, m_password, false)) {
        m_failureReason = QStringLiteral("sign-in answered nothing (empty or unusable values)");
        return false;
    }

    CExceptHandler held;
    bool result = false;
    try {
        result = RunSignedIn(sourcePath, destination);
    } catch (const CBizException &e) {
        held.Set(e);
    }

    if (m_loginManager->IsSignedIn()) {
        // The files are in place by now: a failing sign-out or save is logged, and does
        // not hide the run's own outcome.
        try {
            m_loginManager->SignOut();
        } catch (const CBizException &e) {
            qCWarning(lcExeCmd) << "sign-out failed:" << e.ErrorMessage();
        }
        try {
            if (!m_loginManager->SaveSavedLogins())
                qCWarning(lcExeCmd) << "the saved logins could not be written";
        } catch (const CBizException &e) {
            qCWarning(lcExeCmd) << "saving the saved logins failed:" << e.ErrorMessage();
        }
    }
    held.RethrowPending();
    return result;
}

bool CExeCmdManager::RunSignedIn(const QString &sourcePath, const QString &destination)
{
    qint32 folderId = 0;
    {
        CSharedWorkspaceManager folders(m_loginManager.get(), nullptr);
        CWorkspaceRecord folder;
        CExceptHandler findFailure;
        if (!folders.FindByPath(sourcePath, folder, &findFailure)) {
            findFailure.RethrowPending();
            m_failureReason = QStringLiteral("the folder find answered nothing");
            return false;
        }
        folderId = folder.id;
    }

    CSharedFileList list(true);
    {
        CFileListRequest request(m_loginManager->accessKey(), folderId, SFileListOptions(), &list);
        if (!request.ExecuteGet()) {
            m_failureReason = QStringLiteral("the file list answered nothing");
            return false;
        }
    }
    qCInfo(lcExeCmd) << "folder" << folderId << "holds" << list.GetCount() << "files";

    for (CFileRecord *entry : list) {
        const auto *record = static_cast<const CSharedFileRecord *>(entry);
        if (!DownloadFile(folderId, *record, destination)) {
            m_failureReason = QStringLiteral("a file is gone on the service: %1").arg(record->path);
            return false;
        }
        ++m_downloaded;
        PauseAfterFile(PauseBetweenFilesMs);
    }
    return true;
}

bool CExeCmdManager::DownloadFile(qint32 folderId, const CSharedFileRecord &record,
                                  const QString &destination)
{
    const QFileInfo folder(destination);
    if (!folder.isDir())
        throw CBizOsException(OsError::PathNotFound, destination);
    if (!folder.isWritable())
        throw CBizOsException(OsError::AccessDenied, destination);
    // The service path is "/" + name; anything else, or a name that is not one path
    // component ("..", "a/b", control characters), never becomes a local name.
    const QString name = record.path.startsWith(u'/') ? record.path.mid(1) : QString();
    if (!IsValidPathComponent(name))
        throw CBizOsException(OsError::InvalidName, record.path);
    const QString localPath = JoinPath(destination, name);

    CFaultDetails details;
    CFileGetRequest request(m_loginManager->accessKey(), folderId, record.path, record.digest,
                            localPath);
    request.SetFaultDetails(&details);
    if (!request.ExecuteGet()) {
        qCWarning(lcExeCmd) << "not downloaded:" << record.path << details;
        return false;
    }
    qCInfo(lcExeCmd) << "downloaded" << record.path << request.fileLength() << "bytes";
    return true;
}

void CExeCmdManager::PauseAfterFile(int ms)
{
    // An event loop, not a sleep: queued work of the transport still runs meanwhile.
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// The no-UI run of the program.
bool CMainApp::RunCommandLine(qint32 &exitCode)
{
    if (!StartMainSystem()) {
        // Nothing was downloaded: the start's own message has been shown.
        exitCode = ExitCode::SystemStartFailed;
        return true;
    }
    CExceptHandler handler;
    exitCode = ExitCode::Success;
    try {
        CExeCmdManager executor(m_accfirmId, m_loginId, m_password);
        if (!executor.RunDownload(m_srcDir, m_dstDir)) {
            qCWarning(lcExeCmd) << "the download stopped:" << executor.failureReason() << "after"
                                << executor.downloadedCount() << "files";
            exitCode = ExitCode::DownloadIncomplete;
        }
    } catch (const CBizException &e) {
        handler.Set(e);
        exitCode = handler.Code();
        qCWarning(lcExeCmd).noquote()
            << "the download failed:" << handler.KindName() << handler.CodeText();
    }
    TerminateMainSystem();
    return true;
}
