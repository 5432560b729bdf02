// The bulk download commands of the online window: the checks, the run, the wait.
#include "SharedGuiSystem.h"

#include "UpdateStep.h"

#include "bulk/BulkDownloadManager.h"
#include "bulk/BulkDownloadRequests.h"
#include "bulk/BulkDownloadWaitThread.h"
#include "core/AppState.h"
#include "core/BizProgress.h"
#include "core/Messages.h"
#include "files/SharedFileManager.h"

#include <QEventLoop>
#include <QLoggingCategory>
#include <QTimer>

Q_LOGGING_CATEGORY(lcBulkRun, "velquor.bulk.run")

namespace {

constexpr int kWaitSliceMs = 30;

// Clears a flag when the scope ends.
class CFlagScope
{
public:
    explicit CFlagScope(bool &flag)
        : m_flag(flag)
    {
        m_flag = true;
    }
    ~CFlagScope() { m_flag = false; }
    CFlagScope(const CFlagScope &) = delete;
    CFlagScope &operator=(const CFlagScope &) = delete;

private:
    bool &m_flag;
};

} // namespace

CSharedGuiSystem::CSharedGuiSystem(CMainSystem *mainSystem, CLocalSystem *localSystem,
                                   const SManagerFactory &factory)
    : CSharedSystem(mainSystem, localSystem, factory)
{}

CSharedGuiSystem::~CSharedGuiSystem()
{
    StopBulkWait();
}

bool CSharedGuiSystem::CheckBeforeBulkDownload()
{
    CBulkDownloadManager *bulk = mainSystem() ? mainSystem()->bulkDownload() : nullptr;
    if (!bulk)
        return false;
    if (CheckForNewerVersion(*mainSystem(), progress()) != EUpdateCheckResult::UpToDate)
        return false;
    SetProgressText(QStringLiteral("一括ダウンロードの多重起動をチェックしています..."));
    SBulkJobInfo job;
    if (!Forward(*bulk,
                 [&](CBulkDownloadManager &manager) { return manager.CheckRunningJob(job); }))
        return false;
    if (job.status == BulkJobStatus::Running) {
        qCInfo(lcBulkRun) << "another client runs bulk download job" << job.jobId;
        ShowWarningMessage(18361, FormatDateTime(job.startTime), QString::number(job.jobId));
        return false;
    }
    return true;
}

SBulkRunResult
CSharedGuiSystem::RunBulkDownload(const std::function<void(const SBulkRunRow &)> &onRow)
{
    SBulkRunResult result;
    CBulkDownloadManager *bulk = mainSystem() ? mainSystem()->bulkDownload() : nullptr;
    CSharedFileManager *files = sharedFiles();
    if (!bulk || !files || m_bulkRunning)
        return result;
    CFlagScope running(m_bulkRunning);
    if (!CheckBeforeBulkDownload())
        return result;
    // Every folder of the tree: the files of the walk are placed by their folder's names.
    SetProgressText(18207);
    if (!ReloadFolders())
        return result;
    CBulkDownloadRun run(*bulk, *files);
    run.SetRowCallback(onRow);
    result = Forward(*files, [&](CSharedFileManager &) { return run.Run(!IsSupportMode()); });
    if (result.ending == EBulkRunEnding::Failed)
        ShowErrorMessage(18360);
    return result;
}

EBulkWaitResult CSharedGuiSystem::WaitForBulkDownload()
{
    CBulkDownloadManager *bulk = mainSystem() ? mainSystem()->bulkDownload() : nullptr;
    if (!bulk || m_bulkRunning || m_bulkWait || !CheckBeforeBulkDownload())
        return EBulkWaitResult::Stopped;
    SetProgressText(QStringLiteral("一括ダウンロードの開始を待っています...") + u'\u3000'
                    + bulk->ScheduleText());
    m_bulkWait = std::make_unique<CBulkDownloadWaitThread>(
        bulk->settings(), [bulk] { return bulk->Now(); }, bulk->ForbiddenHours());
    if (!m_bulkWait->Start()) {
        m_bulkWait.reset();
        return EBulkWaitResult::Stopped;
    }
    // The window's events flow in a local loop; a short timer looks at the thread and at
    // the progress's cancel.
    CBizProgressHandler *handler = progress();
    bool cancelled = false;
    QEventLoop loop;
    QTimer slice;
    slice.setInterval(kWaitSliceMs);
    QObject::connect(&slice, &QTimer::timeout, &loop, [&] {
        if (!m_bulkWait->IsRunning()) {
            loop.quit();
        } else if (handler && !handler->Continue()) {
            cancelled = true;
            m_bulkWait->Stop(0);
            loop.quit();
        }
    });
    slice.start();
    loop.exec();
    int exitCode = -1;
    if (!cancelled)
        m_bulkWait->GetExitCode(exitCode);
    m_bulkWait.reset();
    qCInfo(lcBulkRun) << "bulk download wait ended with" << exitCode;
    return exitCode == 0 ? EBulkWaitResult::Run : EBulkWaitResult::Settings;
}

void CSharedGuiSystem::StopBulkWait()
{
    if (m_bulkWait)
        m_bulkWait->Stop(0);
}
