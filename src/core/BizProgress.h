#pragma once

#include <QString>

#include <functional>
#include <memory>

class CBizEvent;

// The progress protocol of every long operation. The non-virtual operations implement the
// run's arithmetic in terms of the On... hooks; a progress window (UI toolkit) overrides the
// hooks. Used on the UI thread only.
class CBizProgressHandler
{
public:
    // withCancelEvent: create the event that a cancellation signals (waits of other
    // threads use it); the window-bound handler has none.
    explicit CBizProgressHandler(bool withCancelEvent = false);
    virtual ~CBizProgressHandler();
    CBizProgressHandler(const CBizProgressHandler &) = delete;
    CBizProgressHandler &operator=(const CBizProgressHandler &) = delete;

    void Begin(qint32 total, qint32 position = 0, bool keep = false);
    void BeginMarquee(qint32 argument = 0);
    bool StepTo(qint32 position = -1);
    bool StepBy(qint32 delta = 1);
    void SetText(const QString &text);
    bool EnableCancel(bool enabled);
    // result -1 means "completed": 0 when cancelled, otherwise the total.
    void End(qint32 result = -1);
    void Cancel(qint32 code = -1);
    void Suspend(qint32 state);
    void Resume();
    bool Continue();

    qint32 total() const { return m_total; }
    qint32 position() const { return m_position; }
    qint32 cancelCode() const { return m_cancelCode; }
    bool isCancelled() const { return m_cancelCode != 0; }
    bool isActive() const { return m_active; }
    bool isSuspended() const { return m_suspended; }
    bool isCancelEnabled() const { return m_cancelEnabled; }
    QString text() const { return m_text; }
    CBizEvent *cancelEvent() const { return m_cancelEvent.get(); }

protected:
    virtual void OnBegin(qint32 total, qint32 position);
    virtual void OnBeginMarquee(qint32 argument);
    virtual bool OnStep(qint32 position);
    virtual void OnEnd(qint32 result);
    virtual void OnSuspend(qint32 state);
    virtual void OnResume();
    virtual void OnEnableCancel(bool enabled);
    virtual void OnSetText(const QString &text);
    // Keeps the UI alive (idle step / event wait) and answers false once cancelled.
    virtual bool IsContinue();

    qint32 m_total = 0;
    qint32 m_marquee = 0;
    qint32 m_position = 0;
    qint32 m_cancelCode = 0;
    bool m_suspended = false;
    bool m_active = false;
    bool m_cancelEnabled = true;
    bool m_ending = false;
    QString m_text;
    std::unique_ptr<CBizEvent> m_cancelEvent;
};

// The application's idle step: by default it processes pending Qt events. Replaceable so
// the UI layer can restrict it while a progress window is busy.
using IdleStep = std::function<void()>;
IdleStep SetIdleStep(IdleStep step);
void RunIdleStep();

// Base of every manager and system object: an attachable progress handler with depth.
class CBizHasProgress
{
public:
    virtual ~CBizHasProgress() = default;

    void Attach(CBizProgressHandler *handler);
    void Detach();
    CBizProgressHandler *progress() const { return m_progress; }
    int attachDepth() const { return m_attachDepth; }

    // Sets the text of the attached handler, if any.
    void SetProgressText(const QString &text) const;
    void SetProgressText(int stringId) const;

    // Progress calls that are no-ops without a handler (and "continue" then).
    bool ProgressStep(qint32 position = -1) const;
    bool ProgressContinue() const;

private:
    CBizProgressHandler *m_progress = nullptr;
    int m_attachDepth = 0;
};

// Scoped attachment: attaches the handler for the lifetime of the object, also when the
// scope is left by an exception.
class CBizProgressAttach
{
public:
    CBizProgressAttach(CBizHasProgress &target, CBizProgressHandler *handler)
        : m_target(target)
    {
        m_target.Attach(handler);
    }
    ~CBizProgressAttach() { m_target.Detach(); }
    CBizProgressAttach(const CBizProgressAttach &) = delete;
    CBizProgressAttach &operator=(const CBizProgressAttach &) = delete;

private:
    CBizHasProgress &m_target;
};
