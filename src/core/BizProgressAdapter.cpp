#include "BizProgressAdapter.h"

#include "AppState.h"
#include "Threads.h"

namespace {

// Lives for the hold and signals its end, so the UI thread can wait with its idle step.
class CHoldTimer : public CBizTimerThread
{
public:
    explicit CHoldTimer(int ms)
        : CBizTimerThread(QString(), ms)
    {}
    ~CHoldTimer() override { Stop(0); }
    CBizEvent done;

protected:
    int Run() override
    {
        const int r = CBizTimerThread::Run();
        done.Set();
        return r;
    }
};

} // namespace

CBizProgressAdapter::CBizProgressAdapter(IProgressView *view, bool keepCancelState)
    : CBizProgressHandler(false)
    , m_view(view)
    , m_keepCancelState(keepCancelState)
{}

void CBizProgressAdapter::OnBegin(qint32 total, qint32 position)
{
    m_marqueeOn = false;
    m_view->SetMarquee(false);
    m_view->SetRange(total);
    m_view->SetPosition(std::min(position, total));
    m_view->SetBarState(IProgressView::Normal);
    m_view->ShowProgress();
}

void CBizProgressAdapter::OnBeginMarquee(qint32)
{
    m_marqueeOn = true;
    m_view->SetMarquee(true);
    m_view->SetBarState(IProgressView::Normal);
    m_view->ShowProgress();
}

bool CBizProgressAdapter::OnStep(qint32 position)
{
    m_view->SetPosition(std::min(position, m_total));
    if (AppState::IsSupportMode() && m_total < 10000)
        m_view->SetProgressText(
            QStringLiteral("%1 (%2/%3)").arg(m_text).arg(position).arg(m_total));
    return true;
}

void CBizProgressAdapter::OnEnd(qint32 result)
{
    const bool controlCancel = !m_keepCancelState && m_cancelEnabled;
    if (controlCancel)
        m_view->SetCancelEnabled(false);
    if (result > 0) {
        m_view->SetMarquee(false);
        m_view->SetRange(std::max(result, m_total));
        m_view->SetPosition(std::max(result, m_total));
        if (m_holdMs > 0) {
            CHoldTimer hold(m_holdMs);
            if (hold.Start())
                WaitWithIdle(hold.done, -1);
        }
    }
    m_marqueeOn = false;
    if (controlCancel)
        m_view->SetCancelEnabled(true);
}

void CBizProgressAdapter::OnSuspend(qint32 state)
{
    m_view->SetBarState(state);
    if (!m_keepCancelState)
        m_view->SetCancelEnabled(false);
}

void CBizProgressAdapter::OnResume()
{
    m_view->SetBarState(IProgressView::Normal);
    if (!m_keepCancelState)
        m_view->SetCancelEnabled(true);
}

void CBizProgressAdapter::OnEnableCancel(bool enabled)
{
    if (!m_keepCancelState)
        m_view->SetCancelEnabled(enabled);
}

void CBizProgressAdapter::OnSetText(const QString &text)
{
    m_view->SetProgressText(text);
}
