#include "core/Threads.h"
#include "core/OsUtils.h"

#include <QCoreApplication>
#include <QThread>
#include <QTimer>
#include <gtest/gtest.h>

#include <mutex>
#include <vector>

TEST(TickSpan, WrapsModulo32Bits)
{
    EXPECT_EQ(TickSpan(4294967290u, 5u), 11u);
    EXPECT_EQ(TickSpan(5u, 10u), 5u);
    EXPECT_EQ(TickSpan(7u, 7u), 0u);
}

namespace {

class RecordingTimer : public CBizTimerThread
{
public:
    using CBizTimerThread::CBizTimerThread;
    ~RecordingTimer() override { Stop(0); }
    std::vector<quint32> ticks()
    {
        std::lock_guard lock(m_mutex);
        return m_ticks;
    }

protected:
    void OnTick(int, quint32 elapsed) override
    {
        std::lock_guard lock(m_mutex);
        m_ticks.push_back(elapsed);
    }

private:
    std::mutex m_mutex;
    std::vector<quint32> m_ticks;
};

class CountingWorker : public CBizWorkerThread
{
public:
    explicit CountingWorker(int code)
        : m_code(code)
    {}
    ~CountingWorker() override { Stop(0); }
    CBizEvent release;

protected:
    int Run() override
    {
        CBizObjectWaiter waiter(&stopEvent());
        waiter.Add(&release);
        waiter.Wait(CBizObjectWaiter::Infinite);
        return m_code;
    }

private:
    int m_code;
};

} // namespace

TEST(TimerThread, ShortTimerTicksOnceAtZeroAndEndsByItself)
{
    RecordingTimer timer(QStringLiteral("vqr.test"), 560);
    ASSERT_TRUE(timer.Start());
    const quint32 start = TickCount();
    while (timer.IsRunning() && TickSpan(start, TickCount()) < 5000)
        QThread::msleep(10);
    EXPECT_FALSE(timer.IsRunning());
    EXPECT_EQ(timer.ticks(), std::vector<quint32>{0});
    int code = 99;
    EXPECT_TRUE(timer.GetExitCode(code));
    EXPECT_EQ(code, 0);
}

TEST(TimerThread, LongTimerReportsAboutOnceASecond)
{
    RecordingTimer timer(QStringLiteral("vqr.test"), 3500);
    ASSERT_TRUE(timer.Start());
    EXPECT_FALSE(timer.Start()) << "a running timer is not started twice";
    const quint32 start = TickCount();
    while (timer.IsRunning() && TickSpan(start, TickCount()) < 15000)
        QThread::msleep(10);
    EXPECT_FALSE(timer.IsRunning());
    // 0, then about 1000, 2000, 3000 (a loaded machine may drift past the last one).
    const std::vector<quint32> ticks = timer.ticks();
    ASSERT_GE(ticks.size(), 3u);
    ASSERT_LE(ticks.size(), 4u);
    EXPECT_EQ(ticks[0], 0u);
    for (size_t i = 1; i < ticks.size(); ++i) {
        EXPECT_GE(ticks[i], ticks[i - 1] + 1000u);
        EXPECT_LT(ticks[i], 3500u);
    }
}

TEST(TimerThread, StopEndsItEarly)
{
    RecordingTimer timer(QStringLiteral("vqr.test"), 60000);
    ASSERT_TRUE(timer.Start());
    EXPECT_EQ(timer.Stop(5000), 0);
    EXPECT_FALSE(timer.IsRunning());
}

TEST(WorkerThread, StopCodes)
{
    CountingWorker never(5);
    EXPECT_EQ(never.Stop(0), 0) << "never started";

    CountingWorker stopped(0);
    ASSERT_TRUE(stopped.Start());
    EXPECT_TRUE(stopped.IsRunning());
    EXPECT_EQ(stopped.Stop(0), 0);
    EXPECT_EQ(stopped.Stop(0), -1) << "exit code 0 after a stop request reads -1";

    CountingWorker finished(7);
    ASSERT_TRUE(finished.Start());
    finished.release.Set();
    const quint32 start = TickCount();
    while (finished.IsRunning() && TickSpan(start, TickCount()) < 5000)
        QThread::msleep(5);
    EXPECT_EQ(finished.Stop(0), 7);
    // A new run after the end.
    finished.release.Reset();
    EXPECT_TRUE(finished.Start());
    EXPECT_EQ(finished.Stop(1000), 0);
}

TEST(ObjectWaiter, TimesOutReportsTheSignalledEventAndWaitsForAll)
{
    CBizEvent a, b;
    CBizObjectWaiter empty;
    EXPECT_FALSE(empty.Wait(100)) << "no events: no wait";

    CBizObjectWaiter waiter(&a);
    waiter.Add(nullptr);
    waiter.Add(&b);
    EXPECT_TRUE(waiter.Wait(20));
    b.Set();
    EXPECT_FALSE(waiter.Wait(1000));
    EXPECT_EQ(waiter.signalled(), &b);
    EXPECT_TRUE(waiter.Wait(20, true)) << "a is not set";
    a.Set();
    EXPECT_FALSE(waiter.Wait(20, true));
    EXPECT_TRUE(waiter.Remove(&a));
    EXPECT_FALSE(waiter.Remove(&a));
}

TEST(ObjectWaiter, WaitWithIdleKeepsTheEventLoopRunning)
{
    CBizEvent done;
    bool timerFired = false;
    QTimer::singleShot(20, [&] {
        timerFired = true;
        done.Set();
    });
    EXPECT_TRUE(WaitWithIdle(done, 5000));
    EXPECT_TRUE(timerFired);
}

TEST(ObjectWaiter, WaitWithIdleSeesAnotherThreadsEvent)
{
    CBizEvent done;
    std::thread t([&] {
        QThread::msleep(30);
        done.Set();
    });
    CBizObjectWaiter waiter(&done);
    EXPECT_FALSE(waiter.WaitWithIdle(5000));
    t.join();
}
