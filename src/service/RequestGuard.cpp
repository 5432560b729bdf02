#include "RequestGuard.h"

#include "WinHttpClient.h"

bool IsUserCancel(const CBizException &e, const CBizProgressHandler *progress)
{
    if (progress && progress->isCancelled())
        return true;
    const auto *http = dynamic_cast<const CBizWinHttpException *>(&e);
    return http && http->errorNumber() == HttpError::Cancelled;
}
