#include "Threads.h"

#include "BizProgress.h"
#include "OsUtils.h"

#include <QLoggingCategory>

#include <algorithm>

Q_LOGGING_CATEGORY(lcThreads, "velquor.threads")

namespace {
// Slice of a wait with the idle step: input for the windows wakes no event.
constexpr int kSliceMs = 2;
} // namespace

CBizObjectWaiter::CBizObjectWaiter(CBizEvent *event)
{
    if (event)
        m_events.push_back(event);
}

int CBizObjectWaiter::Add(CBizEvent *event)
{
    m_events.push_back(event);
    return int(m_events.size()) - 1;
}

bool CBizObjectWaiter::Remove(CBizEvent *event)
{
    const auto it = std::find(m_events.begin(), m_events.end(), event);
    if (it == m_events.end())
        return false;
    m_events.erase(it);
    return true;
}

void CBizObjectWaiter::Clear()
{
    m_events.clear();
}

bool CBizObjectWaiter::IsReady(bool waitAll)
{
    bool all = true;
    for (CBizEvent *e : m_events) {
        if (!e)
            continue;
        if (e->IsSet()) {
            if (!waitAll) {
                m_signalled = e;
                return true;
            }
        } else {
            all = false;
        }
    }
    if (waitAll && all) {
        m_signalled = nullptr;
        for (CBizEvent *e : m_events)
            if (e && !m_signalled)
                m_signalled = e;
        return true;
    }
    return false;
}

bool CBizObjectWaiter::WaitFor(int timeoutMs, bool waitAll, bool idle)
{
    m_signalled = nullptr;
    m_timedOut = false;
    std::vector<CBizEvent *> live;
    for (CBizEvent *e : m_events)
        if (e)
            live.push_back(e);
    if (live.empty())
        return false;
    const quint32 start = TickCount();
    for (;;) {
        if (idle)
            RunIdleStep();
        if (IsReady(waitAll))
            return false;
        int remaining = kSliceMs;
        if (timeoutMs >= 0) {
            const quint32 spent = TickSpan(start, TickCount());
            if (spent >= quint32(timeoutMs)) {
                m_timedOut = true;
                return true;
            }
            remaining = int(std::min<quint32>(quint32(timeoutMs) - spent, kSliceMs));
        }
        // A single event can be waited for directly; otherwise poll in short slices.
        if (live.size() == 1 && !idle) {
            const quint32 spent = TickSpan(start, TickCount());
            const int ms = timeoutMs < 0
                               ? -1
                               : int(quint32(timeoutMs) - std::min(spent, quint32(timeoutMs)));
            if (live.front()->Wait(ms)) {
                m_signalled = live.front();
                return false;
            }
            continue;
        }
        if (!idle) {
            // Several events: sleep until any event of the process is set (or the time is up)
            // and look again. The readiness is tested under the wake-up's lock, so a Set
            // between the test and the sleep still wakes it.
            std::unique_lock lock(BizEventWake::Mutex());
            const quint64 generation = BizEventWake::Generation();
            if (IsReady(waitAll))
                return false;
            const auto changed = [generation] { return BizEventWake::Generation() != generation; };
            if (timeoutMs < 0) {
                BizEventWake::Cond().wait(lock, changed);
            } else {
                const quint32 spent = TickSpan(start, TickCount());
                const quint32 left = quint32(timeoutMs) - std::min(spent, quint32(timeoutMs));
                BizEventWake::Cond().wait_for(lock, std::chrono::milliseconds(left), changed);
            }
            continue;
        }
        CBizEvent *first = nullptr;
        for (CBizEvent *e : live)
            if (!e->IsSet()) {
                first = e;
                break;
            }
        if (first)
            first->Wait(remaining);
    }
}

bool CBizObjectWaiter::Wait(int timeoutMs, bool waitAll)
{
    return WaitFor(timeoutMs, waitAll, false);
}

bool CBizObjectWaiter::WaitWithIdle(int timeoutMs, bool waitAll)
{
    return WaitFor(timeoutMs, waitAll, true);
}

bool WaitWithIdle(CBizEvent &event, int timeoutMs)
{
    CBizObjectWaiter waiter(&event);
    return !waiter.WaitWithIdle(timeoutMs);
}

CBizWorkerThread::CBizWorkerThread() = default;

CBizWorkerThread::~CBizWorkerThread()
{
    // Never leave a thread running on a destroyed object.
    if (m_thread && m_running) {
        m_stopping = true;
        m_stopEvent.Set();
    }
    Join();
}

void CBizWorkerThread::Join()
{
    // The joined thread object stays: Stop and GetExitCode still report its exit code.
    if (m_thread && m_thread->joinable())
        m_thread->join();
}

bool CBizWorkerThread::Start()
{
    if (m_thread) {
        if (m_running)
            return false;
        Join();
    }
    m_stopEvent.Reset();
    m_finished.Reset();
    m_stopping = false;
    m_suspendCount = 0;
    m_exitCode = StillActive;
    m_running = true;
    m_thread = std::make_unique<std::thread>([this] {
        int code = 0;
        try {
            code = Run();
        } catch (...) {
            qCWarning(lcThreads) << "worker thread ended by an exception";
            code = -1;
        }
        m_exitCode = code;
        m_running = false;
        m_finished.Set();
    });
    return true;
}

bool CBizWorkerThread::IsRunning() const
{
    return m_thread && m_running;
}

bool CBizWorkerThread::GetExitCode(int &code) const
{
    if (!m_thread)
        return false;
    code = m_exitCode;
    if (!m_running && code == 0 && m_stopping)
        code = -1;
    return true;
}

int CBizWorkerThread::Stop(int timeoutMs)
{
    if (!m_thread)
        return 0;
    if (!m_running || m_stopping) {
        int code = 0;
        GetExitCode(code);
        return code;
    }
    m_stopping = true;
    m_stopEvent.Set();
    m_suspendCount = 0;
    if (!m_finished.Wait(timeoutMs == 0 ? -1 : timeoutMs))
        return WaitTimeout;
    Join();
    return 0;
}

int CBizWorkerThread::Suspend()
{
    if (!m_thread)
        return 0;
    return m_suspendCount++;
}

int CBizWorkerThread::Resume()
{
    if (!m_thread)
        return 0;
    int previous = m_suspendCount;
    while (previous > 0 && !m_suspendCount.compare_exchange_weak(previous, previous - 1)) {
    }
    return previous;
}

bool CBizWorkerThread::WaitWhileSuspended()
{
    while (m_suspendCount > 0 && !m_stopping)
        m_stopEvent.Wait(10);
    return !m_stopping;
}

CBizTimerThread::CBizTimerThread(const QString &name, int durationMs)
    : m_name(name)
    , m_durationMs(durationMs)
{}

CBizTimerThread::~CBizTimerThread()
{
    Stop(0);
}

int CBizTimerThread::Stop(int timeoutMs)
{
    CancelTimer();
    return CBizWorkerThread::Stop(timeoutMs);
}

bool CBizTimerThread::StartTimer()
{
    m_timerCancelled.Reset();
    const quint32 now = TickCount();
    m_startTick = now ? now : 1;
    m_currentTick = m_startTick.load();
    m_lastReport = m_startTick.load();
    m_timerStarted = true;
    OnTick(m_durationMs, 0);
    return true;
}

bool CBizTimerThread::CancelTimer()
{
    if (m_timerStarted)
        m_timerCancelled.Set();
    return true;
}

void CBizTimerThread::ResetTicks()
{
    m_startTick = 0;
    m_currentTick = 0;
    m_lastReport = 0;
}

void CBizTimerThread::OnWaitTimeout()
{
    const quint32 now = TickCount();
    m_currentTick = now;
    if (TickSpan(m_lastReport, now) < 1000)
        return;
    m_lastReport = now;
    OnTick(m_durationMs, TickSpan(m_startTick, now));
}

void CBizTimerThread::OnTick(int, quint32) {}

int CBizTimerThread::Run()
{
    ResetTicks();
    if (!StartTimer())
        return 0;
    const quint32 start = m_startTick;
    for (;;) {
        const quint32 spent = TickSpan(start, TickCount());
        if (spent >= quint32(m_durationMs) || m_timerCancelled.IsSet())
            break;
        // Slices of 250 ms; the last one ends when the timer is due.
        const int slice = int(std::min<quint32>(250, quint32(m_durationMs) - spent));
        if (stopEvent().Wait(slice))
            break;
        if (TickSpan(start, TickCount()) >= quint32(m_durationMs))
            break;
        OnWaitTimeout();
    }
    m_timerStarted = false;
    ResetTicks();
    return 0;
}
