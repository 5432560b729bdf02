#include "bulk/BulkDownloadWaitThread.h"

#include "core/OsUtils.h"

#include <QDateTime>

#include <gtest/gtest.h>

#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

namespace {

// Far above a second's tick: only a hang exceeds it.
constexpr quint32 kHangBoundMs = 15000;
constexpr quint32 kStopBoundMs = 3000;

// Answers the given local times one call after the other (the last one from then on) and
// may clear the thread's busy flag when a given call is made.
class CScriptedClock
{
public:
    CScriptedClock(std::vector<QDateTime> times, int clearBusyAtCall)
        : m_times(std::move(times))
        , m_clearBusyAtCall(clearBusyAtCall)
    {}

    void SetThread(CBulkDownloadWaitThread *thread) { m_thread = thread; }

    QDateTime Now()
    {
        std::lock_guard lock(m_mutex);
        ++m_calls;
        if (m_calls == m_clearBusyAtCall && m_thread)
            m_thread->SetBusy(false);
        return m_times[std::min(size_t(m_calls), m_times.size()) - 1];
    }
    int calls()
    {
        std::lock_guard lock(m_mutex);
        return m_calls;
    }

private:
    std::mutex m_mutex;
    std::vector<QDateTime> m_times;
    int m_clearBusyAtCall;
    int m_calls = 0;
    CBulkDownloadWaitThread *m_thread = nullptr;
};

QDateTime At(const char *text)
{
    return QDateTime::fromString(QString::fromLatin1(text), Qt::ISODateWithMs);
}

CBulkDownloadConfigRecord DailyAtThree()
{
    CBulkDownloadConfigRecord config;
    config.timerEnabled = 1;
    config.hour = 3;
    return config;
}

template<typename Condition>
bool WaitUntil(Condition condition, quint32 boundMs)
{
    const quint32 start = TickCount();
    while (!condition()) {
        if (TickSpan(start, TickCount()) > boundMs)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

} // namespace

TEST(BulkDownloadWaitThread, StopEndsTheWaitAtOnceWithMinusOne)
{
    // Never due: the thread evaluates tick after tick until it is stopped.
    CScriptedClock clock({At("2024-03-05T04:00:00"), At("2024-03-05T05:00:00")}, 0);
    CBulkDownloadWaitThread thread(DailyAtThree(), [&clock] { return clock.Now(); });
    ASSERT_TRUE(thread.Start());
    ASSERT_TRUE(WaitUntil([&clock] { return clock.calls() >= 3; }, kHangBoundMs));
    EXPECT_TRUE(thread.IsRunning());

    const quint32 start = TickCount();
    EXPECT_EQ(thread.Stop(0), 0);
    EXPECT_LT(TickSpan(start, TickCount()), kStopBoundMs);
    EXPECT_FALSE(thread.IsRunning());
    int code = 0;
    ASSERT_TRUE(thread.GetExitCode(code));
    EXPECT_EQ(code, -1);
}

TEST(BulkDownloadWaitThread, DestructionStopsARunningWait)
{
    CScriptedClock clock({At("2024-03-05T04:00:00")}, 0);
    const quint32 start = TickCount();
    {
        CBulkDownloadWaitThread thread(DailyAtThree(), [&clock] { return clock.Now(); });
        ASSERT_TRUE(thread.Start());
        ASSERT_TRUE(WaitUntil([&clock] { return clock.calls() >= 1; }, kHangBoundMs));
    }
    EXPECT_LT(TickSpan(start, TickCount()), kStopBoundMs);
}

struct SStartCase
{
    const char *name;
    CBulkDownloadConfigRecord config;
    std::vector<const char *> times; // the clock's answers: at the start, then at each tick
    bool busy;
    int clearBusyAtCall; // 0: never
    bool immediate;
    int endsAtCall; // the clock call whose evaluation starts the run
};

class BulkDownloadWaitStartTest : public ::testing::TestWithParam<SStartCase>
{};

TEST_P(BulkDownloadWaitStartTest, EndsWithZeroAtTheRightTick)
{
    const SStartCase &c = GetParam();
    std::vector<QDateTime> times;
    for (const char *text : c.times)
        times.push_back(At(text));
    CScriptedClock clock(times, c.clearBusyAtCall);
    CBulkDownloadWaitThread thread(c.config, [&clock] { return clock.Now(); });
    clock.SetThread(&thread);
    thread.SetBusy(c.busy);
    if (c.immediate)
        thread.RequestImmediateStart();
    ASSERT_TRUE(thread.Start());

    ASSERT_TRUE(WaitUntil([&thread] { return !thread.IsRunning(); }, kHangBoundMs));
    int code = -2;
    ASSERT_TRUE(thread.GetExitCode(code));
    EXPECT_EQ(code, 0);
    EXPECT_EQ(clock.calls(), c.endsAtCall);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, BulkDownloadWaitStartTest,
    ::testing::Values(
        SStartCase{"ImmediateStartWithoutTimer",
                   CBulkDownloadConfigRecord(),
                   {"2024-03-05T04:00:00"},
                   false,
                   0,
                   true,
                   2},
        SStartCase{
            "ImmediateStartWhileBusy", DailyAtThree(), {"2024-03-05T04:00:00"}, true, 0, true, 2},
        // The ticks straddle 03:00:00 without meeting it.
        SStartCase{
            "ScheduleDue",
            DailyAtThree(),
            {"2024-03-05T02:59:58.900", "2024-03-05T02:59:59.900", "2024-03-05T03:00:01.100"},
            false,
            0,
            false,
            3},
        // Busy at the first 03:00; the start is let pass, not made up for once the window
        // is free again, and the next day's 03:00 starts the run.
        SStartCase{"BusyLetsTheStartPass",
                   DailyAtThree(),
                   {"2024-03-05T02:00:00", "2024-03-05T04:00:00", "2024-03-05T05:00:00",
                    "2024-03-06T03:30:00"},
                   true,
                   3,
                   false,
                   4}),
    [](const ::testing::TestParamInfo<SStartCase> &info) { return info.param.name; });

// A start missed while the machine slept (or skipped by a clock jump) is made up at the
// first tick after it, unless that tick falls in the service's forbidden hours: then the
// missed start lapses and the next allowed occurrence starts the run.
namespace {

CBulkDownloadConfigRecord DailyAtSix()
{
    CBulkDownloadConfigRecord config = DailyAtThree();
    config.hour = 6;
    return config;
}

struct SForbiddenCase
{
    const char *name;
    CBulkDownloadConfigRecord config;
    SBulkForbiddenHours forbidden;
    std::vector<const char *> times; // the clock's answers: at the start, then at each tick
    int endsAtCall;                  // the clock call whose evaluation starts the run
};

class BulkDownloadWaitForbiddenTest : public ::testing::TestWithParam<SForbiddenCase>
{};

} // namespace

TEST_P(BulkDownloadWaitForbiddenTest, MissedStartNeverRunsInTheForbiddenHours)
{
    const SForbiddenCase &c = GetParam();
    std::vector<QDateTime> times;
    for (const char *text : c.times)
        times.push_back(At(text));
    CScriptedClock clock(times, 0);
    CBulkDownloadWaitThread thread(
        c.config, [&clock] { return clock.Now(); }, c.forbidden);
    ASSERT_TRUE(thread.Start());

    ASSERT_TRUE(WaitUntil([&thread] { return !thread.IsRunning(); }, kHangBoundMs));
    int code = -2;
    ASSERT_TRUE(thread.GetExitCode(code));
    EXPECT_EQ(code, 0);
    EXPECT_EQ(clock.calls(), c.endsAtCall);
    // The schedule's own evaluation agrees at the moment the run started.
    EXPECT_FALSE(c.forbidden.Forbids(times[size_t(c.endsAtCall) - 1]));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, BulkDownloadWaitForbiddenTest,
    ::testing::Values(
        // Asleep over 03:00, awake at 10:00 inside 09-11: nothing that day; an allowed hour
        // without a start time does not make up for it either; the next 03:00 does.
        SForbiddenCase{"WakingInTheForbiddenHoursWaitsForTheNextDay",
                       DailyAtThree(),
                       {9, 11, 0, 0},
                       {"2024-03-05T02:00:00", "2024-03-05T10:00:00", "2024-03-05T12:00:00",
                        "2024-03-06T03:00:00.500"},
                       4},
        // The clock jumps over 06:00 to 01:00 of the next day, inside a second period that
        // runs past midnight (22-05): the start lapses; the next 06:00 starts the run.
        SForbiddenCase{"ClockJumpIntoAPeriodPastMidnight",
                       DailyAtSix(),
                       {9, 11, 22, 5},
                       {"2024-03-05T05:59:59", "2024-03-06T01:00:00", "2024-03-06T05:00:00",
                        "2024-03-06T06:00:00.500"},
                       4}),
    [](const ::testing::TestParamInfo<SForbiddenCase> &info) { return info.param.name; });
