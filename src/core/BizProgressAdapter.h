#pragma once

#include "BizProgress.h"

#include <QString>

// What a progress window offers to its handler. The UI toolkit implements it with the
// window's bar, text and cancel button.
class IProgressView
{
public:
    enum BarState { Normal = 1, Error = 2, Paused = 3 };
    virtual ~IProgressView() = default;
    virtual void ShowProgress() = 0;
    virtual void SetRange(qint32 total) = 0;
    virtual void SetPosition(qint32 position) = 0;
    virtual void SetMarquee(bool on) = 0;
    virtual void SetBarState(int state) = 0;
    virtual void SetProgressText(const QString &text) = 0;
    virtual void SetCancelEnabled(bool enabled) = 0;
    virtual bool IsCancelEnabled() const = 0;
};

// The handler bound to a progress window: moves the bar, shows the text (with counts in
// support mode), drives the cancel button, and holds a completed bar full for a moment
// (HoldMs) while the UI keeps running.
class CBizProgressAdapter : public CBizProgressHandler
{
public:
    static constexpr int HoldMs = 560;

    // keepCancelState: the cancel button's state is not this handler's to change.
    explicit CBizProgressAdapter(IProgressView *view, bool keepCancelState = false);

    void SetHoldMs(int ms) { m_holdMs = ms; } // tests shorten the hold
    IProgressView *view() const { return m_view; }

protected:
    void OnBegin(qint32 total, qint32 position) override;
    void OnBeginMarquee(qint32 argument) override;
    bool OnStep(qint32 position) override;
    void OnEnd(qint32 result) override;
    void OnSuspend(qint32 state) override;
    void OnResume() override;
    void OnEnableCancel(bool enabled) override;
    void OnSetText(const QString &text) override;

private:
    IProgressView *m_view;
    bool m_keepCancelState;
    bool m_marqueeOn = false;
    int m_holdMs = HoldMs;
};
