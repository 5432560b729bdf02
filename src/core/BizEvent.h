#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>

#include <QtGlobal>

// The one wake-up of the waits on several events (CBizObjectWaiter): every Set of any
// event counts up the generation and wakes them, so such a wait sleeps instead of polling.
namespace BizEventWake {
inline std::mutex &Mutex()
{
    static std::mutex mutex;
    return mutex;
}
inline std::condition_variable &Cond()
{
    static std::condition_variable cond;
    return cond;
}
// Guarded by Mutex().
inline quint64 &Generation()
{
    static quint64 generation = 0;
    return generation;
}
} // namespace BizEventWake

// A manual-reset event shared between threads (the platform event of the waits).
class CBizEvent
{
public:
    explicit CBizEvent(bool signalled = false)
        : m_signalled(signalled)
    {}

    void Set()
    {
        {
            std::lock_guard lock(m_mutex);
            m_signalled = true;
        }
        m_cond.notify_all();
        {
            std::lock_guard wake(BizEventWake::Mutex());
            ++BizEventWake::Generation();
        }
        BizEventWake::Cond().notify_all();
    }
    void Reset()
    {
        std::lock_guard lock(m_mutex);
        m_signalled = false;
    }
    bool IsSet() const
    {
        std::lock_guard lock(m_mutex);
        return m_signalled;
    }
    // Waits up to timeoutMs (negative: without limit); answers whether the event is set.
    bool Wait(int timeoutMs)
    {
        std::unique_lock lock(m_mutex);
        if (timeoutMs < 0) {
            m_cond.wait(lock, [this] { return m_signalled; });
            return true;
        }
        return m_cond.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                               [this] { return m_signalled; });
    }

private:
    mutable std::mutex m_mutex;
    std::condition_variable m_cond;
    bool m_signalled;
};
