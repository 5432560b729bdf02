#pragma once

#include "BulkDownloadConfig.h"

#include "core/Threads.h"

#include <QDateTime>

#include <atomic>
#include <functional>

// Waits for the scheduled start of a bulk download. A timer thread ("vqr.bulk.download",
// 1000 ms) ticks; at each tick the schedule is evaluated for the time since the previous
// evaluation (IsScheduledStart). The exit code is 0 when the run is to start (the schedule
// was due outside the forbidden hours while the window was not busy, or the window asked for
// an immediate start), -1 when the thread was stopped (the user cancelled the wait).
//
// The thread works on its own copy of the settings; the flags are the only state it shares
// with the window.
class CBulkDownloadWaitThread : public CBizWorkerThread
{
public:
    static constexpr int TimerPeriodMs = 1000;
    static constexpr int WaitSliceMs = 200;

    // clock: the local time now (tests pass their own); default the system clock.
    // forbidden: the service's forbidden hours, in which no start is made.
    explicit CBulkDownloadWaitThread(const CBulkDownloadConfigRecord &config,
                                     std::function<QDateTime()> clock = {},
                                     const SBulkForbiddenHours &forbidden = {});
    ~CBulkDownloadWaitThread() override;

    void RequestImmediateStart() { m_immediateStart = true; }
    // While busy a due schedule is let pass.
    void SetBusy(bool busy) { m_busy = busy; }
    bool isBusy() const { return m_busy; }

protected:
    int Run() override;

private:
    CBulkDownloadConfigRecord m_config;
    SBulkForbiddenHours m_forbidden;
    std::function<QDateTime()> m_clock;
    std::atomic_bool m_immediateStart = false;
    std::atomic_bool m_busy = false;
};
