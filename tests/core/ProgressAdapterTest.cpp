#include "core/AppState.h"
#include "core/BizProgressAdapter.h"

#include <QTimer>
#include <gtest/gtest.h>

namespace {

// Records what the window is told, in order.
class RecordingView : public IProgressView
{
public:
    QStringList calls;
    bool cancelEnabled = true;
    void ShowProgress() override { calls << QStringLiteral("show"); }
    void SetRange(qint32 total) override { calls << QStringLiteral("range %1").arg(total); }
    void SetPosition(qint32 p) override { calls << QStringLiteral("pos %1").arg(p); }
    void SetMarquee(bool on) override { calls << QStringLiteral("marquee %1").arg(on); }
    void SetBarState(int s) override { calls << QStringLiteral("state %1").arg(s); }
    void SetProgressText(const QString &t) override { calls << QStringLiteral("text ") + t; }
    void SetCancelEnabled(bool e) override
    {
        cancelEnabled = e;
        calls << QStringLiteral("cancel %1").arg(e);
    }
    bool IsCancelEnabled() const override { return cancelEnabled; }
};

} // namespace

TEST(ProgressAdapter, BarFollowsTheRunAndIsHeldFullWhileEventsRun)
{
    RecordingView view;
    CBizProgressAdapter progress(&view);
    progress.SetHoldMs(100);
    progress.Begin(10);
    progress.StepTo(20); // the bar never passes the total
    EXPECT_TRUE(view.calls.contains(QStringLiteral("pos 10")));
    view.calls.clear();
    bool eventRan = false;
    QTimer::singleShot(0, [&] { eventRan = true; });
    progress.End(-1);
    EXPECT_TRUE(eventRan) << "the hold keeps the event loop running";
    EXPECT_EQ(view.calls.first(), QStringLiteral("cancel 0"));
    EXPECT_TRUE(view.calls.contains(QStringLiteral("pos 10"))) << "completed: the full bar";
    EXPECT_EQ(view.calls.last(), QStringLiteral("cancel 1"));
}

TEST(ProgressAdapter, CancelledRunIsNotHeldAndSuspendPausesTheBar)
{
    RecordingView view;
    CBizProgressAdapter progress(&view);
    progress.SetHoldMs(60000); // would hang the test if a cancelled run were held
    progress.Begin(10);
    progress.Suspend(IProgressView::Paused);
    EXPECT_TRUE(view.calls.contains(QStringLiteral("state 3")));
    EXPECT_FALSE(view.cancelEnabled);
    progress.Resume();
    EXPECT_TRUE(view.cancelEnabled);
    progress.Cancel(-1);
    EXPECT_EQ(progress.cancelCode(), -1);
}

TEST(ProgressAdapter, SupportModeShowsCountsBelow10000Steps)
{
    RecordingView view;
    CBizProgressAdapter progress(&view, true);
    AppState::SetSupportMode(true);
    progress.SetText(QStringLiteral("送信しています..."));
    progress.Begin(5);
    progress.StepTo(3);
    AppState::SetSupportMode(false);
    EXPECT_EQ(view.calls.filter(QStringLiteral("text ")).last(),
              QStringLiteral("text 送信しています... (3/5)"));
    EXPECT_TRUE(view.calls.filter(QStringLiteral("cancel")).isEmpty())
        << "the cancel state is kept out of this handler's control";
    progress.SetHoldMs(0);
}
