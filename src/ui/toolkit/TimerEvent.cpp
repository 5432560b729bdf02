#include "TimerEvent.h"

#include <QTimer>

CBizTimerEvent::CBizTimerEvent(Handler handler)
    : m_handler(std::move(handler))
{}

CBizTimerEvent::~CBizTimerEvent() = default;

void CBizTimerEvent::SetTimerEvent(int id, int milliseconds)
{
    std::shared_ptr<QTimer> &timer = m_timers[id];
    if (!timer) {
        timer = std::make_shared<QTimer>();
        timer->setSingleShot(true);
        QObject::connect(timer.get(), &QTimer::timeout, timer.get(), [this, id] { Fire(id); });
    }
    // start() on an active timer stops it first: never two pending for one id.
    timer->start(qMax(0, milliseconds));
}

void CBizTimerEvent::KillTimerEvent(int id)
{
    const auto found = m_timers.constFind(id);
    if (found != m_timers.constEnd())
        (*found)->stop();
}

void CBizTimerEvent::KillAllTimerEvents()
{
    for (const std::shared_ptr<QTimer> &timer : std::as_const(m_timers))
        timer->stop();
}

bool CBizTimerEvent::isTimerEventArmed(int id) const
{
    const auto found = m_timers.constFind(id);
    return found != m_timers.constEnd() && (*found)->isActive();
}

void CBizTimerEvent::OnTimerEvent(int id)
{
    if (m_handler)
        m_handler(id);
}

void CBizTimerEvent::Fire(int id)
{
    // A single-shot QTimer is inactive by now: the handler sees the id disarmed.
    OnTimerEvent(id);
}
