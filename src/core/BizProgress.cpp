#include "BizProgress.h"

#include "BizEvent.h"
#include "Strings.h"

#include <QCoreApplication>
#include <QThread>

namespace {

IdleStep &idleStep()
{
    static IdleStep step;
    return step;
}

} // namespace

IdleStep SetIdleStep(IdleStep step)
{
    IdleStep previous = idleStep();
    idleStep() = std::move(step);
    return previous;
}

void RunIdleStep()
{
    if (idleStep()) {
        idleStep()();
        return;
    }
    if (QCoreApplication::instance() && QThread::currentThread() == qApp->thread())
        QCoreApplication::processEvents();
}

CBizProgressHandler::CBizProgressHandler(bool withCancelEvent)
{
    if (withCancelEvent)
        m_cancelEvent = std::make_unique<CBizEvent>();
}

CBizProgressHandler::~CBizProgressHandler() = default;

void CBizProgressHandler::Begin(qint32 total, qint32 position, bool keep)
{
    if (!keep)
        End(0);
    m_active = true;
    if (m_total < total)
        m_total = total + m_position;
    if (position < 0)
        m_position = std::min(m_position, m_total);
    else
        m_position = position;
    OnBegin(m_total, m_position);
    m_cancelCode = 0;
    m_suspended = false;
    if (m_cancelEvent)
        m_cancelEvent->Reset();
    OnEnableCancel(m_cancelEnabled);
    StepBy(1);
}

void CBizProgressHandler::BeginMarquee(qint32 argument)
{
    End(0);
    m_active = true;
    m_total = 0;
    m_position = 0;
    m_marquee = argument;
    OnBeginMarquee(argument);
    m_cancelCode = 0;
    m_suspended = false;
    if (m_cancelEvent)
        m_cancelEvent->Reset();
    OnEnableCancel(m_cancelEnabled);
}

bool CBizProgressHandler::StepTo(qint32 position)
{
    if (position < 0)
        position = m_position + 1;
    if (m_cancelCode != 0)
        return false;
    m_suspended = false;
    if (!m_active)
        Begin(100, 0, true);
    // Begin stepped by one already; the requested position still applies.
    const bool stepOk = OnStep(position);
    const bool goOn = IsContinue();
    if (stepOk && goOn)
        m_position = position;
    return m_cancelCode == 0 && stepOk && goOn;
}

bool CBizProgressHandler::StepBy(qint32 delta)
{
    if (delta < 0)
        delta = 1;
    return StepTo(m_position + delta);
}

void CBizProgressHandler::SetText(const QString &text)
{
    m_text = text;
    OnSetText(text);
}

bool CBizProgressHandler::EnableCancel(bool enabled)
{
    const bool previous = m_cancelEnabled;
    m_cancelEnabled = enabled;
    OnEnableCancel(enabled);
    if (!m_ending)
        IsContinue();
    return previous;
}

void CBizProgressHandler::End(qint32 result)
{
    m_ending = true;
    if (m_active) {
        if (result == -1) {
            if (m_cancelCode != 0) {
                result = 0;
            } else {
                if (qint64(m_total) - qint64(m_position) > 10000)
                    m_total = m_position + 10000;
                result = m_total;
            }
        }
        OnEnd(result);
    }
    m_total = 0;
    m_position = 0;
    m_marquee = 0;
    m_suspended = false;
    m_active = false;
    m_ending = false;
}

void CBizProgressHandler::Cancel(qint32 code)
{
    m_cancelCode = code;
    if (m_cancelEvent)
        m_cancelEvent->Set();
    End(0);
}

void CBizProgressHandler::Suspend(qint32 state)
{
    if (!m_suspended) {
        OnSuspend(state);
        m_suspended = true;
    }
}

void CBizProgressHandler::Resume()
{
    if (m_suspended) {
        OnResume();
        m_suspended = false;
    }
}

bool CBizProgressHandler::Continue()
{
    if (m_cancelCode != 0)
        return false;
    return IsContinue();
}

void CBizProgressHandler::OnBegin(qint32, qint32) {}
void CBizProgressHandler::OnBeginMarquee(qint32) {}
bool CBizProgressHandler::OnStep(qint32)
{
    return true;
}
void CBizProgressHandler::OnEnd(qint32) {}
void CBizProgressHandler::OnSuspend(qint32) {}
void CBizProgressHandler::OnResume() {}
void CBizProgressHandler::OnEnableCancel(bool) {}
void CBizProgressHandler::OnSetText(const QString &) {}

bool CBizProgressHandler::IsContinue()
{
    for (;;) {
        if (m_cancelEvent) {
            RunIdleStep();
            if (m_cancelEvent->Wait(m_ending ? 0 : 1))
                return false;
        } else {
            RunIdleStep();
            if (m_cancelCode != 0)
                return false;
        }
        if (!m_suspended)
            return true;
        QThread::msleep(5);
    }
}

void CBizHasProgress::Attach(CBizProgressHandler *handler)
{
    ++m_attachDepth;
    m_progress = handler;
}

void CBizHasProgress::Detach()
{
    if (m_attachDepth > 0 && --m_attachDepth == 0)
        m_progress = nullptr;
    if (m_attachDepth <= 0) {
        m_attachDepth = 0;
        m_progress = nullptr;
    }
}

void CBizHasProgress::SetProgressText(const QString &text) const
{
    if (m_progress)
        m_progress->SetText(text);
}

void CBizHasProgress::SetProgressText(int stringId) const
{
    SetProgressText(LoadString(stringId));
}

bool CBizHasProgress::ProgressStep(qint32 position) const
{
    return m_progress ? m_progress->StepTo(position) : true;
}

bool CBizHasProgress::ProgressContinue() const
{
    return m_progress ? m_progress->Continue() : true;
}
