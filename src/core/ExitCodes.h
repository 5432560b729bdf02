#pragma once

#include <QtGlobal>

// Exit codes of the program. The full 32-bit code is what the no-UI run prints on standard
// output; the process exit status can only carry 8 bits (ProcessExitStatus).
namespace ExitCode {
constexpr qint32 Success = 0;
constexpr qint32 UnsupportedOs = -1;      // the start-up's operating-system check failed
constexpr qint32 BadArguments = -2;       // command line refused
constexpr qint32 InstanceFailed = -3;     // data folder or instance.vqr unusable
constexpr qint32 AlreadyRunning = -4;     // this installation runs already
constexpr qint32 SystemStartFailed = -5;  // the main system could not start
constexpr qint32 NotAvailable = -6;       // the no-UI download is not part of this build yet
constexpr qint32 NoDisplay = -7;          // interactive start without a display
constexpr qint32 DownloadIncomplete = -8; // no-UI download stopped without an error code
} // namespace ExitCode

// The process exit status for a code: 0 exactly when the code is 0, otherwise the code's
// low 8 bits, or 255 when those are 0 (a failure must never read as success).
constexpr int ProcessExitStatus(qint32 code)
{
    if (code == 0)
        return 0;
    const int low = int(quint32(code) & 0xFFu);
    return low == 0 ? 255 : low;
}
