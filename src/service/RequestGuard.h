#pragma once

#include "RequestException.h"
#include "ServiceLog.h"

#include "core/BizException.h"
#include "core/BizProgress.h"

// Whether a failure is the user's own cancel, which needs no message.
bool IsUserCancel(const CBizException &e, const CBizProgressHandler *progress);

// Runs one operation that sends requests: a failure is kept in held when there is one;
// otherwise it is shown with the fault's message (the user's cancel only logged). The answer
// is false after a failure, else run's.
template<typename F>
bool RunReported(CBizExceptHandler *held, const CBizProgressHandler *progress, F &&run)
{
    try {
        return run();
    } catch (const CBizException &e) {
        qCInfo(lcService) << "operation failed, kind" << e.Kind();
        if (held) {
            held->Set(e);
        } else if (IsUserCancel(e, progress)) {
            qCInfo(lcService) << "operation cancelled by the user";
        } else {
            CExceptHandler handler;
            handler.Set(e);
            handler.ShowError();
        }
        return false;
    }
}
