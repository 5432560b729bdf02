#pragma once

#include <QHash>

#include <functional>
#include <memory>

class QTimer;

// One-shot timers of one owner, keyed by id. Arming an id that is armed starts it again
// with the new period; when a timer fires it is disarmed first and the owner's handler
// runs once with the id (it may arm the id again). The timers die with the owner.
// User-interface thread only.
class CBizTimerEvent
{
public:
    using Handler = std::function<void(int id)>;

    // Without a handler, a derived owner overrides OnTimerEvent.
    explicit CBizTimerEvent(Handler handler = {});
    virtual ~CBizTimerEvent();

    CBizTimerEvent(const CBizTimerEvent &) = delete;
    CBizTimerEvent &operator=(const CBizTimerEvent &) = delete;

    void SetTimerEvent(int id, int milliseconds);
    void KillTimerEvent(int id);
    void KillAllTimerEvents();
    bool isTimerEventArmed(int id) const;

protected:
    virtual void OnTimerEvent(int id);

private:
    void Fire(int id);

    Handler m_handler;
    QHash<int, std::shared_ptr<QTimer>> m_timers;
};
