// The progress display inside a dialog: nesting, the controls locked while busy and given
// back exactly, the cancel question, the keys and the close button while busy.
#include "ui/toolkit/BizProgressDialog.h"

#include "core/Messages.h"
#include "core/Strings.h"
#include "support/TempInstallation.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QVBoxLayout>

#include <gtest/gtest.h>

namespace {

constexpr int kLoginMenuId = 128;
constexpr int kCloseMenuId = 16;
constexpr int kOtherMenuId = 32;

// A dialog with one control of every kind the lock treats differently.
class CLockTestDialog : public CBizProgressDialog
{
public:
    CLockTestDialog()
        : CBizProgressDialog(4608, nullptr)
    {
        auto *layout = new QVBoxLayout(this);
        label = new QLabel(QStringLiteral("事業所ID(&K):"), this);
        edit = new QLineEdit(this);
        label->setBuddy(edit);
        readOnlyEdit = new QLineEdit(this);
        readOnlyEdit->setReadOnly(true);
        notes = new QPlainTextEdit(this);
        okButton = new QPushButton(QStringLiteral("OK"), this);
        disabledButton = new QPushButton(QStringLiteral("削除"), this);
        disabledButton->setEnabled(false);
        group = new QGroupBox(this);
        check = new QCheckBox(QStringLiteral("保存"), group);
        (new QVBoxLayout(group))->addWidget(check);
        lockable = new QWidget(this);
        lockable->setFocusPolicy(Qt::StrongFocus);
        lockable->setProperty("bizLockable", true);
        for (QWidget *w : std::initializer_list<QWidget *>{
                 label, edit, readOnlyEdit, notes, okButton, disabledButton, group, lockable})
            layout->addWidget(w);
        const SProgressControls controls = CreateProgressControls();
        layout->addWidget(controls.message);
        layout->addWidget(controls.bar);
        layout->addWidget(controls.cancel);
        SetBusyDisabledSystemMenuIds({kLoginMenuId, kCloseMenuId});
        progressHandler()->SetHoldMs(0);
    }

    void PrepareSystemMenu(QMenu &menu) override
    {
        for (int id : {kLoginMenuId, kCloseMenuId, kOtherMenuId})
            menu.addAction(QString::number(id))->setData(id);
        CBizProgressDialog::PrepareSystemMenu(menu);
    }

    QLabel *label;
    QLineEdit *edit;
    QLineEdit *readOnlyEdit;
    QPlainTextEdit *notes;
    QPushButton *okButton;
    QPushButton *disabledButton;
    QGroupBox *group;
    QCheckBox *check;
    QWidget *lockable;
    int busyBegins = 0;
    int busyEnds = 0;

protected:
    void OnBusyBegin() override { ++busyBegins; }
    void OnBusyEnd() override { ++busyEnds; }
};

// What the user can do with each control.
struct SControlState
{
    bool editEnabled, editReadOnly, readOnlyEditReadOnly, notesEnabled, notesReadOnly;
    bool okEnabled, disabledEnabled, checkEnabled, lockableEnabled, lockableLocked;
    bool labelEnabled;
    bool operator==(const SControlState &) const = default;
};

SControlState StateOf(const CLockTestDialog &d)
{
    return {d.edit->isEnabled(),           d.edit->isReadOnly(),
            d.readOnlyEdit->isReadOnly(),  d.notes->isEnabled(),
            d.notes->isReadOnly(),         d.okButton->isEnabled(),
            d.disabledButton->isEnabled(), d.check->isEnabled(),
            d.lockable->isEnabled(),       d.lockable->property("bizLocked").toBool(),
            d.label->isEnabled()};
}

void ExpectLocked(const CLockTestDialog &d)
{
    EXPECT_TRUE(d.IsBusy());
    // Edits stay enabled and become read-only; the tree combo is locked, not disabled.
    EXPECT_TRUE(d.edit->isEnabled());
    EXPECT_TRUE(d.edit->isReadOnly());
    EXPECT_TRUE(d.notes->isEnabled());
    EXPECT_TRUE(d.notes->isReadOnly());
    EXPECT_TRUE(d.readOnlyEdit->isReadOnly());
    EXPECT_FALSE(d.okButton->isEnabled());
    EXPECT_FALSE(d.disabledButton->isEnabled());
    EXPECT_FALSE(d.check->isEnabled());
    EXPECT_TRUE(d.lockable->isEnabled());
    EXPECT_TRUE(d.lockable->property("bizLocked").toBool());
    EXPECT_TRUE(d.label->isEnabled());
    // The progress controls stay usable.
    EXPECT_TRUE(d.cancelButton()->isEnabled());
    EXPECT_FALSE(d.cancelButton()->isHidden());
    EXPECT_FALSE(d.progressBar()->isHidden());
    ASSERT_NE(QApplication::overrideCursor(), nullptr);
    EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
    EXPECT_EQ(CurrentProgressTarget(), d.progressHandler());
}

// Restores the message sink of the test's installation at the end.
class CSinkScope
{
public:
    explicit CSinkScope(MessageSink sink)
        : m_previous(SetMessageSink(std::move(sink)))
    {}
    ~CSinkScope() { SetMessageSink(m_previous); }

private:
    MessageSink m_previous;
};

class ProgressDialogTest : public InstallationTest<>
{
protected:
    void SetUp() override
    {
        InstallationTest::SetUp();
        dialog.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    }

    CLockTestDialog dialog;
};

class ProgressNestingTest : public ProgressDialogTest, public ::testing::WithParamInterface<int>
{};

TEST_P(ProgressNestingTest, ControlsStayLockedUntilTheOutermostEndAndComeBackExactly)
{
    const int depth = GetParam();
    dialog.okButton->setFocus();
    const SControlState before = StateOf(dialog);
    ASSERT_EQ(QApplication::overrideCursor(), nullptr);

    for (int i = 0; i < depth; ++i)
        dialog.BeginProgress(QStringLiteral("処理しています... %1").arg(i));
    ExpectLocked(dialog);
    // Only the outermost level works the controls and shows its message.
    EXPECT_EQ(dialog.messageLabel()->text(), QStringLiteral("処理しています... 0"));
    EXPECT_EQ(dialog.busyLevel(), depth);
    for (int i = 1; i < depth; ++i) {
        dialog.EndProgress();
        ExpectLocked(dialog);
    }
    EXPECT_EQ(dialog.busyBegins, 1);
    EXPECT_EQ(dialog.busyEnds, 0);

    dialog.EndProgress();
    EXPECT_FALSE(dialog.IsBusy());
    EXPECT_EQ(StateOf(dialog), before);
    EXPECT_EQ(dialog.busyEnds, 1);
    EXPECT_EQ(dialog.focusWidget(), dialog.okButton);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    EXPECT_EQ(CurrentProgressTarget(), nullptr);

    // An End too many leaves the count at 0: the next Begin is one level again.
    dialog.EndProgress();
    EXPECT_EQ(dialog.busyLevel(), 0);
    dialog.BeginProgress(QStringLiteral("again"));
    ExpectLocked(dialog);
    dialog.EndProgress(true);
    EXPECT_FALSE(dialog.IsBusy());
    EXPECT_EQ(StateOf(dialog), before);
}

INSTANTIATE_TEST_SUITE_P(Depths, ProgressNestingTest, ::testing::Values(1, 2, 3));

TEST_F(ProgressDialogTest, FocusGoesBackToTheRememberedControlOnly)
{
    dialog.okButton->setFocus();
    dialog.BeginProgress(QStringLiteral("a"), -1, dialog.notes);
    dialog.EndProgress();
    EXPECT_EQ(dialog.focusWidget(), dialog.notes);

    dialog.okButton->setFocus();
    dialog.BeginProgress(QStringLiteral("b"), -1, CBizProgressDialog::Refocus::None);
    // Disabling the focused button moved the focus on; nothing brings it back.
    QWidget *movedTo = dialog.focusWidget();
    EXPECT_NE(movedTo, dialog.okButton);
    dialog.EndProgress();
    EXPECT_EQ(dialog.focusWidget(), movedTo);
}

struct SMessageCase
{
    const char *name;
    bool byId;
};

class ProgressMessageTest :
    public ProgressDialogTest,
    public ::testing::WithParamInterface<SMessageCase>
{};

TEST_P(ProgressMessageTest, BarAndCancelOnlyWhileBusyAndTheIdleTextComesBack)
{
    const QString idle = QStringLiteral("フォルダを選択してください。");
    dialog.SetIdleText(idle);
    EXPECT_TRUE(dialog.progressBar()->isHidden());
    EXPECT_TRUE(dialog.cancelButton()->isHidden());
    EXPECT_EQ(dialog.messageLabel()->text(), idle);

    const int messageId = 18374;
    const QString message = LoadString(messageId);
    ASSERT_FALSE(message.isEmpty());
    if (GetParam().byId)
        dialog.BeginProgress(messageId, 40);
    else
        dialog.BeginProgress(message, 40);
    EXPECT_EQ(dialog.messageLabel()->text(), message);
    EXPECT_FALSE(dialog.progressBar()->isHidden());
    EXPECT_FALSE(dialog.cancelButton()->isHidden());
    EXPECT_EQ(dialog.progressBar()->maximum(), 40);
    EXPECT_EQ(dialog.cancelButton()->text(), QStringLiteral("中止"));

    // The handler drives the display.
    dialog.progressHandler()->SetText(QStringLiteral("2件目"));
    EXPECT_TRUE(dialog.progressHandler()->StepTo(25));
    EXPECT_EQ(dialog.messageLabel()->text(), QStringLiteral("2件目"));
    EXPECT_EQ(dialog.progressBar()->value(), 25);

    // A new idle text while busy waits for the end.
    const QString newIdle = QStringLiteral("完了");
    dialog.SetIdleText(newIdle);
    EXPECT_EQ(dialog.messageLabel()->text(), QStringLiteral("2件目"));
    EXPECT_EQ(dialog.idleText(), newIdle);

    dialog.EndProgress();
    EXPECT_EQ(dialog.messageLabel()->text(), newIdle);
    EXPECT_TRUE(dialog.progressBar()->isHidden());
    EXPECT_TRUE(dialog.cancelButton()->isHidden());
}

INSTANTIATE_TEST_SUITE_P(Messages, ProgressMessageTest,
                         ::testing::Values(SMessageCase{"text", false}, SMessageCase{"id", true}),
                         [](const auto &info) { return std::string(info.param.name); });

struct SCancelCase
{
    const char *name;
    int answer;
    bool cancelled;
};

class ProgressCancelTest :
    public ProgressDialogTest,
    public ::testing::WithParamInterface<SCancelCase>
{};

TEST_P(ProgressCancelTest, CancelAsksWithTheOperationPaused)
{
    dialog.BeginProgress(QStringLiteral("送信しています..."), 10);
    CBizProgressAdapter *handler = dialog.progressHandler();

    int asked = 0;
    CSinkScope sink([&](const QString &text, MsgIcon icon, MsgButtons buttons) {
        ++asked;
        EXPECT_EQ(text, LoadString(17687));
        EXPECT_EQ(icon, MsgIcon::Warning);
        EXPECT_EQ(buttons, MsgButtons::YesNoDefaultNo);
        // Asked with the dialog disabled and the run paused.
        EXPECT_FALSE(dialog.isEnabled());
        EXPECT_TRUE(handler->isSuspended());
        EXPECT_EQ(dialog.progressBar()->property("barState").toInt(), IProgressView::Paused);
        EXPECT_FALSE(dialog.cancelButton()->isEnabledTo(&dialog));
        return GetParam().answer;
    });
    QTest::mouseClick(dialog.cancelButton(), Qt::LeftButton);

    EXPECT_EQ(asked, 1);
    EXPECT_TRUE(dialog.isEnabled());
    EXPECT_TRUE(dialog.IsBusy());
    EXPECT_FALSE(handler->isSuspended());
    EXPECT_EQ(handler->isCancelled(), GetParam().cancelled);
    // The operation learns it at its next step.
    EXPECT_EQ(handler->StepTo(), !GetParam().cancelled);
    dialog.EndProgress(GetParam().cancelled);
    EXPECT_FALSE(dialog.IsBusy());

    // The next run starts without the old request.
    dialog.BeginProgress(QStringLiteral("next"));
    EXPECT_FALSE(handler->isCancelled());
    EXPECT_TRUE(handler->StepTo());
    dialog.EndProgress();
}

INSTANTIATE_TEST_SUITE_P(Answers, ProgressCancelTest,
                         ::testing::Values(SCancelCase{"No", IDNO, false},
                                           SCancelCase{"Yes", IDYES, true}),
                         [](const auto &info) { return std::string(info.param.name); });

struct SCloseCase
{
    const char *name;
    void (*close)(QDialog &);
};

class ProgressCloseTest :
    public ProgressDialogTest,
    public ::testing::WithParamInterface<SCloseCase>
{};

TEST_P(ProgressCloseTest, IgnoredWhileBusyOnlyAndTheSystemMenuFollows)
{
    dialog.BeginProgress(QStringLiteral("busy"));
    GetParam().close(dialog);
    EXPECT_TRUE(dialog.isVisible());

    // The system menu of a busy dialog has its listed items disabled, the others not.
    QMap<int, bool> enabled;
    const auto record = [&](QMenu &menu) -> QAction * {
        for (QAction *action : menu.actions())
            enabled[action->data().toInt()] = action->isEnabled();
        return nullptr;
    };
    dialog.OpenSystemMenu(record);
    EXPECT_EQ(enabled, (QMap<int, bool>{
                           {kLoginMenuId, false}, {kCloseMenuId, false}, {kOtherMenuId, true}}));

    dialog.EndProgress();
    dialog.OpenSystemMenu(record);
    EXPECT_EQ(enabled,
              (QMap<int, bool>{{kLoginMenuId, true}, {kCloseMenuId, true}, {kOtherMenuId, true}}));
    GetParam().close(dialog);
    EXPECT_FALSE(dialog.isVisible());
}

INSTANTIATE_TEST_SUITE_P(
    Ways, ProgressCloseTest,
    ::testing::Values(SCloseCase{"Escape", [](QDialog &d) { QTest::keyClick(&d, Qt::Key_Escape); }},
                      SCloseCase{"CloseButton", [](QDialog &d) { d.close(); }}),
    [](const auto &info) { return std::string(info.param.name); });

TEST(ProgressDialogOnItsOwn, HasTheThreeProgressControls)
{
    TempInstallation installation;
    ASSERT_TRUE(installation.isValid());
    CBizProgressDialog dialog;
    dialog.progressHandler()->SetHoldMs(0);
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));

    EXPECT_EQ(dialog.windowTitle(), dialog.GetTitle());
    EXPECT_TRUE(dialog.GetTitle().startsWith(QStringLiteral("VELQUOR - 進行状況")));
    ASSERT_NE(dialog.controlAs<QLabel>(CBizProgressDialog::MessageId), nullptr);
    ASSERT_NE(dialog.controlAs<QProgressBar>(CBizProgressDialog::BarId), nullptr);
    auto *cancel = dialog.controlAs<QPushButton>(CBizProgressDialog::CancelId);
    ASSERT_NE(cancel, nullptr);
    EXPECT_EQ(cancel->text(), QStringLiteral("中止"));
    EXPECT_EQ(cancel->accessibleName(), QStringLiteral("中止"));
    EXPECT_FALSE(dialog.progressBar()->accessibleName().isEmpty());
    EXPECT_TRUE(cancel->isHidden());
    EXPECT_TRUE(dialog.progressBar()->isHidden());
    // The message and the bar keep to the bottom edge, the button to the right of the bar.
    dialog.BeginProgress(QStringLiteral("読み込んでいます..."));
    dialog.resize(dialog.width() + 80, dialog.height() + 60);
    QTest::qWait(0);
    const QRect bar = dialog.progressBar()->geometry();
    EXPECT_LT(bar.right(), cancel->geometry().left());
    EXPECT_GT(dialog.messageLabel()->geometry().top(), dialog.height() / 2);
    EXPECT_EQ(dialog.messageLabel()->text(), QStringLiteral("読み込んでいます..."));
    dialog.EndProgress();
    EXPECT_TRUE(cancel->isHidden());
}

} // namespace
