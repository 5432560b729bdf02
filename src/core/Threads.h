#pragma once

#include "BizEvent.h"

#include <QString>

#include <atomic>
#include <memory>
#include <thread>
#include <vector>

// Waits on several events (the "handles" of the client's waits).
//
//     CBizObjectWaiter waiter(&stopEvent);
//     waiter.Add(&doneEvent);
//     if (!waiter.WaitWithIdle(1000)) { /* waiter.signalled() names the event */ }
class CBizObjectWaiter
{
public:
    static constexpr int Infinite = -1;

    explicit CBizObjectWaiter(CBizEvent *event = nullptr);

    int Add(CBizEvent *event); // answers its index
    bool Remove(CBizEvent *event);
    void Clear();
    int count() const { return int(m_events.size()); }

    // Answers true when the time ran out. With no events it answers false at once.
    // Otherwise false once one event is set (waitAll: all of them); signalled() names it.
    bool Wait(int timeoutMs, bool waitAll = false);
    // The same while the application's idle step (pending Qt events) keeps running, so a
    // wait on the UI thread keeps the windows responsive.
    bool WaitWithIdle(int timeoutMs, bool waitAll = false);

    CBizEvent *signalled() const { return m_signalled; }
    bool timedOut() const { return m_timedOut; }

private:
    bool WaitFor(int timeoutMs, bool waitAll, bool idle);
    bool IsReady(bool waitAll);

    std::vector<CBizEvent *> m_events;
    CBizEvent *m_signalled = nullptr;
    bool m_timedOut = false;
};

// Convenience: waits for one event with the idle step running; true when it was set.
bool WaitWithIdle(CBizEvent &event, int timeoutMs);

// A thread with a stop event. Run is the body; its result is the exit code. Derived
// classes call Stop() in their destructor: the base destructor stops and joins too, but by
// then the derived part is gone.
class CBizWorkerThread
{
public:
    static constexpr int StillActive = 259;
    static constexpr int WaitTimeout = 258;

    CBizWorkerThread();
    virtual ~CBizWorkerThread();
    CBizWorkerThread(const CBizWorkerThread &) = delete;
    CBizWorkerThread &operator=(const CBizWorkerThread &) = delete;

    // False while a previous run is still active (that run goes on).
    virtual bool Start();
    // 0 without a thread; the exit code when the thread has ended (-1 for an exit code of 0
    // after a stop request) or StillActive when a stop is already pending; otherwise
    // requests the stop and waits: 0 when it ended, WaitTimeout when not within
    // timeoutMs (0: without limit).
    virtual int Stop(int timeoutMs);
    // Cooperative: Run implementations that care call WaitWhileSuspended(). Answer the
    // previous suspend count (0 without a thread).
    virtual int Suspend();
    virtual int Resume();

    bool IsRunning() const;
    bool GetExitCode(int &code) const;
    bool isStopping() const { return m_stopping; }
    CBizEvent &stopEvent() { return m_stopEvent; }

protected:
    virtual int Run() = 0;
    // Blocks while suspended; answers false when a stop was requested meanwhile.
    bool WaitWhileSuspended();

private:
    void Join();

    std::unique_ptr<std::thread> m_thread;
    CBizEvent m_stopEvent;
    CBizEvent m_finished;
    std::atomic_bool m_stopping = false;
    std::atomic_bool m_running = false;
    std::atomic_int m_exitCode = 0;
    std::atomic_int m_suspendCount = 0;
};

// A thread that lives for a given duration (or until stopped) and reports about once a
// second through OnTick (at 0, then after about 1000, 2000, ... ms).
class CBizTimerThread : public CBizWorkerThread
{
public:
    CBizTimerThread(const QString &name, int durationMs);
    ~CBizTimerThread() override;

    int Stop(int timeoutMs) override;
    QString name() const { return m_name; }
    int duration() const { return m_durationMs; }

protected:
    int Run() override;
    virtual bool StartTimer();
    virtual bool CancelTimer();
    virtual void ResetTicks();
    virtual void OnWaitTimeout();
    // Called on the timer thread.
    virtual void OnTick(int durationMs, quint32 elapsedMs);

private:
    QString m_name;
    int m_durationMs;
    std::atomic<quint32> m_startTick = 0;
    std::atomic<quint32> m_currentTick = 0;
    std::atomic<quint32> m_lastReport = 0;
    std::atomic_bool m_timerStarted = false;
    CBizEvent m_timerCancelled;
};
