#include "BulkDownloadWaitThread.h"

#include "core/BizEvent.h"

#include <QLoggingCategory>

#include <cerrno>

namespace {

Q_LOGGING_CATEGORY(lcBulkWait, "velquor.bulk.wait")

// One period of the schedule's timer; it signals its end so that the wait thread can sleep
// on an event instead of polling the clock.
class CBulkTimer : public CBizTimerThread
{
public:
    explicit CBulkTimer(CBizEvent &due)
        : CBizTimerThread(QStringLiteral("vqr.bulk.download"),
                          CBulkDownloadWaitThread::TimerPeriodMs)
        , m_due(due)
    {}
    ~CBulkTimer() override { Stop(0); }

    // Collects the ended period and starts the next one.
    bool Rearm()
    {
        CBizTimerThread::Stop(0);
        m_due.Reset();
        return Start();
    }

protected:
    int Run() override
    {
        const int code = CBizTimerThread::Run();
        m_due.Set();
        return code;
    }

private:
    CBizEvent &m_due;
};

} // namespace

CBulkDownloadWaitThread::CBulkDownloadWaitThread(const CBulkDownloadConfigRecord &config,
                                                 std::function<QDateTime()> clock,
                                                 const SBulkForbiddenHours &forbidden)
    : m_config(config)
    , m_forbidden(forbidden)
    , m_clock(clock ? std::move(clock) : std::function<QDateTime()>(&QDateTime::currentDateTime))
{}

CBulkDownloadWaitThread::~CBulkDownloadWaitThread()
{
    Stop(0);
}

int CBulkDownloadWaitThread::Run()
{
    CBizEvent due;
    CBulkTimer timer(due);
    QDateTime previous = m_clock();
    if (!timer.Start()) {
        qCWarning(lcBulkWait) << "the schedule timer did not start";
        return EAGAIN;
    }
    CBizObjectWaiter waiter(&stopEvent());
    waiter.Add(&due);
    for (;;) {
        if (waiter.Wait(WaitSliceMs))
            continue;
        CBizEvent *const signalled = waiter.signalled();
        if (signalled == &stopEvent())
            return -1;
        if (signalled != &due) {
            qCWarning(lcBulkWait) << "waiting for the schedule failed";
            return EINVAL;
        }
        const QDateTime now = m_clock();
        if (m_immediateStart || (!m_busy && IsScheduledStart(m_config, m_forbidden, previous, now)))
            return 0;
        // A start time that passed while busy, or that would be made up inside the forbidden
        // hours, is not made up for later.
        previous = now;
        if (!timer.Rearm()) {
            qCWarning(lcBulkWait) << "the schedule timer did not restart";
            return EAGAIN;
        }
    }
}
