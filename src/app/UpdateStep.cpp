#include "UpdateStep.h"

#include "System.h"

#include "core/BizException.h"
#include "core/Messages.h"
#include "core/Strings.h"
#include "service/RequestException.h"
#include "store/Convert.h"

#include <QLoggingCategory>

Q_LOGGING_CATEGORY(lcUpdateStep, "velquor.update")

namespace {

struct SCheck
{
    bool ok = false;
    int newer = 0;
    QString fileName;
    QString fileDigest;
    quint32 versionMs = 0;
    quint32 versionLs = 0;
};

// The check with every fault reported; ok is false when it raised or gave no answer.
SCheck Check(CMainSystem &main)
{
    SCheck check;
    CExceptHandler handler;
    try {
        check.ok = main.CheckForUpdate(check.newer, &check.fileName, &check.fileDigest, nullptr,
                                       &check.versionMs, &check.versionLs);
    } catch (const CBizException &e) {
        handler.Set(e);
    }
    if (handler.HasException()) {
        check.ok = false;
        check.newer = 0;
        handler.ShowError();
    }
    return check;
}

} // namespace

EUpdateStepResult RunUpdateStep(CMainSystem &main, CBizProgressHandler *progress)
{
    // Without a handler of its own the step keeps the one the system has.
    if (!progress)
        progress = main.progress();
    CBizProgressAttach attach(main, progress);
    const SCheck check = Check(main);
    if (!check.ok)
        return EUpdateStepResult::Stop;
    if (!check.newer)
        return EUpdateStepResult::Continue;

    ShowInfoMessage(18189, FormatVersion(check.versionMs, check.versionLs));
    if (progress)
        progress->SetText(LoadString(18190));
    CExceptHandler handler;
    try {
        if (main.DownloadAndStart(check.fileName, check.fileDigest))
            return EUpdateStepResult::CloseApplication;
    } catch (const CBizException &e) {
        handler.Set(e);
    }
    if (handler.HasException()) {
        // The package could not be installed (a wrong digest, a name that is no file name):
        // the running version still serves.
        handler.ShowError();
        qCWarning(lcUpdateStep) << "update failed, signing in on the running version";
        return EUpdateStepResult::Continue;
    }
    // Cancelled, or the installer could not be executed.
    ShowErrorMessage(18191);
    return EUpdateStepResult::Stop;
}

EUpdateCheckResult CheckForNewerVersion(CMainSystem &main, CBizProgressHandler *progress)
{
    // Without a handler of its own the step keeps the one the system has.
    if (!progress)
        progress = main.progress();
    CBizProgressAttach attach(main, progress);
    if (progress)
        progress->SetText(QStringLiteral("更新プログラムをチェックしています..."));
    const SCheck check = Check(main);
    if (!check.ok)
        return EUpdateCheckResult::Failed;
    if (!check.newer)
        return EUpdateCheckResult::UpToDate;
    ShowWarningMessage(18362, FormatVersion(check.versionMs, check.versionLs));
    return EUpdateCheckResult::NewerFound;
}
