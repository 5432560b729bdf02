// The dialog base and the one modal run of the toolkit, driven with QTest keys and clicks.
#include "ui/toolkit/BizDialog.h"
#include "app/BizApp.h"
#include "core/AppState.h"
#include "core/Messages.h"
#include "support/TempInstallation.h"
#include "ui/toolkit/GuiMessageSink.h"
#include "ui/toolkit/ModalRun.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPointer>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

#include <gtest/gtest.h>

#include <optional>
#include <vector>

namespace {

constexpr int kLoginCommandString = 5121;
constexpr int kVersionCommandString = 5122;
constexpr int kMissingCommandString = 1;
constexpr int kVersionItem = 16;
constexpr int kOptionItem = 32;

// A dialog with two labelled edits that records what the base hands to its hooks.
class CTestDialog : public CBizDialog
{
public:
    explicit CTestDialog(int commandStringId = kLoginCommandString, QWidget *parent = nullptr)
        : CBizDialog(commandStringId, parent)
    {
        auto *layout = new QVBoxLayout(this);
        for (int id : {21262, 21263}) {
            auto *label = new QLabel(QStringLiteral("項目%1(&%2):").arg(id).arg(id % 10), this);
            auto *edit = new QLineEdit(this);
            edit->setObjectName(QString::number(id));
            label->setBuddy(edit);
            edit->setAccessibleName(label->text().remove(u'&'));
            layout->addWidget(label);
            layout->addWidget(edit);
        }
    }

    bool IsBusy() const override { return busy; }
    void OnCommand(int command) override { commands.push_back(command); }
    void UpdateCommandStates() override { ++stateRuns; }
    void PrepareSystemMenu(QMenu &menu) override
    {
        ++menuPreparations;
        menu.addAction(QStringLiteral("バージョン情報(&A)"))->setData(kVersionItem);
        QAction *option = menu.addAction(QStringLiteral("オプション(&O)"));
        option->setData(kOptionItem);
        option->setEnabled(optionAllowed);
    }

    QLineEdit *edit(int id) const { return controlAs<QLineEdit>(id); }

    bool busy = false;
    bool optionAllowed = false;
    std::optional<bool> elevated;
    std::vector<int> commands;
    int stateRuns = 0;
    int menuPreparations = 0;

protected:
    bool RunsElevated() const override { return elevated ? *elevated : CBizDialog::RunsElevated(); }
};

class BizDialogTest : public InstallationTest<>
{
protected:
    void SetUp() override
    {
        InstallationTest::SetUp();
        m_oldDriver = SetModalDriver({});
        m_oldName = AppState::AppName();
        AppState::SetAppName(QStringLiteral("VELQUOR"));
    }
    void TearDown() override
    {
        SetModalDriver(m_oldDriver);
        AppState::SetAppName(m_oldName);
    }

    static void ShowActive(QWidget &dialog)
    {
        dialog.show();
        dialog.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&dialog));
    }
    static void FocusEdit(QLineEdit *edit)
    {
        ASSERT_NE(edit, nullptr);
        edit->setFocus(Qt::OtherFocusReason);
        ASSERT_EQ(QApplication::focusWidget(), edit);
    }
    // Lets the queued work of the event loop (0 ms timers, posted events) run.
    static void Spin()
    {
        for (int i = 0; i < 3; ++i)
            QCoreApplication::processEvents();
    }

private:
    ModalDriver m_oldDriver;
    QString m_oldName;
};

// --- command string and title ---

struct SCommandCase
{
    int id;
    QString prompt;
    QString menuText;
    QString section;
};

class CommandStringTest : public ::testing::TestWithParam<SCommandCase>
{};

TEST_P(CommandStringTest, SplitsIntoPromptMenuTextAndSection)
{
    const SCommandCase &c = GetParam();
    const SCommandString parts = SCommandString::FromId(c.id);
    EXPECT_EQ(parts.prompt, c.prompt);
    EXPECT_EQ(parts.menuText, c.menuText);
    EXPECT_EQ(parts.section, c.section);
}

INSTANTIATE_TEST_SUITE_P(
    StringTable, CommandStringTest,
    ::testing::Values(
        SCommandCase{kVersionCommandString, QStringLiteral("バージョン情報"),
                     QStringLiteral("バージョン情報(&A)"), QStringLiteral("versionInfoDialog")},
        SCommandCase{4608, QStringLiteral("進行状況"), {}, QStringLiteral("progressDialog")},
        SCommandCase{kMissingCommandString, {}, {}, {}}));

TEST(CommandStringText, ShortTextsLeaveTheMissingPartsEmpty)
{
    const SCommandString promptOnly = SCommandString::FromText(QStringLiteral("確認"));
    EXPECT_EQ(promptOnly.prompt, QStringLiteral("確認"));
    EXPECT_TRUE(promptOnly.menuText.isEmpty());
    EXPECT_TRUE(promptOnly.section.isEmpty());
    const SCommandString noPrompt = SCommandString::FromText(QStringLiteral("\n\nメニュー"));
    EXPECT_TRUE(noPrompt.prompt.isEmpty());
    EXPECT_EQ(noPrompt.menuText, QStringLiteral("メニュー"));
    EXPECT_TRUE(noPrompt.section.isEmpty());
}

struct STitleCase
{
    int commandStringId;
    bool elevated;
    QString title;
};

class DialogTitleTest : public BizDialogTest, public ::testing::WithParamInterface<STitleCase>
{};

TEST_P(DialogTitleTest, ShowsProductPromptAndRootSuffix)
{
    const STitleCase &c = GetParam();
    CTestDialog dialog(c.commandStringId);
    dialog.elevated = c.elevated;
    EXPECT_EQ(dialog.GetTitle(), c.title);
    dialog.show();
    EXPECT_EQ(dialog.windowTitle(), c.title);
}

INSTANTIATE_TEST_SUITE_P(
    Titles, DialogTitleTest,
    ::testing::Values(STitleCase{kLoginCommandString, false, QStringLiteral("VELQUOR - ログイン")},
                      STitleCase{kMissingCommandString, false, QStringLiteral("VELQUOR")},
                      STitleCase{kLoginCommandString, true,
                                 QStringLiteral("VELQUOR - ログイン（管理者として実行）")},
                      STitleCase{kMissingCommandString, true,
                                 QStringLiteral("VELQUOR（管理者として実行）")}));

TEST_F(BizDialogTest, TitleCarriesTheApplicationNameWithItsSuffixes)
{
    AppState::SetAppName(QStringLiteral("VELQUOR.scrt（PR）"));
    CTestDialog dialog(kVersionCommandString);
    dialog.elevated = false;
    EXPECT_EQ(dialog.GetTitle(), QStringLiteral("VELQUOR.scrt（PR） - バージョン情報"));
}

// --- size, font and colours ---

TEST_F(BizDialogTest, DesignedSizeIsTheMinimumInDialogUnitsOfTheFont)
{
    if (QFontDatabase::families().contains(QStringLiteral("Noto Sans CJK JP"))) {
        EXPECT_EQ(DialogFont().family(), QStringLiteral("Noto Sans CJK JP"));
    }
    for (const bool resizable : {true, false}) {
        SCOPED_TRACE(resizable);
        CTestDialog dialog;
        dialog.SetDesignedSize(QSize(242, 50), resizable);
        const QFontMetrics metrics(dialog.font());
        // Dialog units measure the Latin letters, never the font's full-width glyphs.
        const int letters = metrics.horizontalAdvance(
            QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
        const int average = (letters / 26 + 1) / 2;
        EXPECT_EQ(CBizDialog::AverageCharWidth(dialog.font()), average);
        EXPECT_LT(average, metrics.horizontalAdvance(QStringLiteral("事")));
        const QSize expected(qRound(242 * average / 4.0), qRound(50 * metrics.height() / 8.0));
        EXPECT_EQ(dialog.designedPixelSize(), expected);
        EXPECT_EQ(CBizDialog::DialogUnitsToPixels(dialog.font(), QSize(242, 50)), expected);
        EXPECT_EQ(dialog.minimumSize(), expected);
        dialog.show();
        dialog.resize(expected / 2);
        EXPECT_EQ(dialog.size(), expected);
        dialog.resize(expected * 2);
        EXPECT_EQ(dialog.size(), resizable ? expected * 2 : expected);
    }
}

TEST_F(BizDialogTest, DesignedSizeFollowsAFontChange)
{
    CTestDialog dialog;
    dialog.SetDesignedSize(QSize(200, 100), true);
    QFont bigger = dialog.font();
    bigger.setPointSize(bigger.pointSize() * 2);
    dialog.setFont(bigger);
    const QSize expected = CBizDialog::DialogUnitsToPixels(bigger, QSize(200, 100));
    EXPECT_GT(expected.width(), CBizDialog::DialogUnitsToPixels(DialogFont(), {200, 100}).width());
    EXPECT_EQ(dialog.minimumSize(), expected);
}

struct SThemeCase
{
    bool withApp;
    std::optional<QString> stored;
    QColor expected;
};

class DialogThemeTest : public BizDialogTest, public ::testing::WithParamInterface<SThemeCase>
{};

TEST_P(DialogThemeTest, BackgroundComesFromTheProfile)
{
    const SThemeCase &c = GetParam();
    std::optional<CBizApp> app;
    if (c.withApp) {
        app.emplace();
        if (c.stored) {
            ASSERT_TRUE(app->WriteProfileString({}, QStringLiteral("backgroundColor"), *c.stored));
        }
    }
    CTestDialog dialog;
    dialog.show();
    EXPECT_EQ(dialog.themeColour(), c.expected);
    EXPECT_EQ(dialog.palette().color(QPalette::Window), c.expected);
    EXPECT_TRUE(dialog.autoFillBackground());
    // The labels are drawn on the dialog's background.
    EXPECT_EQ(dialog.findChild<QLabel *>()->palette().color(QPalette::Window), c.expected);

    dialog.SetThemeColour(QColor(250, 240, 230));
    EXPECT_EQ(dialog.palette().color(QPalette::Window), QColor(250, 240, 230));
}

INSTANTIATE_TEST_SUITE_P(
    Profiles, DialogThemeTest,
    ::testing::Values(SThemeCase{false, std::nullopt, CBizDialog::DefaultThemeColour()},
                      SThemeCase{true, std::nullopt, CBizDialog::DefaultThemeColour()},
                      SThemeCase{true, QStringLiteral("10,20,30"), QColor(10, 20, 30)},
                      SThemeCase{true, QStringLiteral("10,20"), CBizDialog::DefaultThemeColour()},
                      SThemeCase{true, QStringLiteral("10,20,300"),
                                 CBizDialog::DefaultThemeColour()}));

TEST_F(BizDialogTest, FocusedEditIsHighlightedOnlyWhenAsked)
{
    for (const bool highlight : {true, false}) {
        SCOPED_TRACE(highlight);
        CTestDialog dialog;
        dialog.SetFocusHighlight(highlight);
        ShowActive(dialog);
        QLineEdit *first = dialog.edit(21262);
        QLineEdit *second = dialog.edit(21263);
        const QColor plain = second->palette().color(QPalette::Base);
        ASSERT_NE(plain, CBizDialog::FocusedEditColour());
        const QColor focused = highlight ? CBizDialog::FocusedEditColour() : plain;

        FocusEdit(first);
        EXPECT_EQ(first->palette().color(QPalette::Base), focused);
        EXPECT_EQ(second->palette().color(QPalette::Base), plain);
        QTest::keyClick(first, Qt::Key_Tab);
        ASSERT_EQ(QApplication::focusWidget(), second);
        EXPECT_EQ(first->palette().color(QPalette::Base), plain);
        EXPECT_EQ(second->palette().color(QPalette::Base), focused);
        // A read-only edit is drawn like a static text.
        first->setReadOnly(true);
        FocusEdit(first);
        EXPECT_EQ(first->palette().color(QPalette::Base), plain);
        EXPECT_EQ(second->palette().color(QPalette::Base), plain);
    }
}

// --- keyboard ---

struct SAcceleratorCase
{
    QKeyCombination key;
    int command;
};

class AcceleratorTest : public BizDialogTest, public ::testing::WithParamInterface<SAcceleratorCase>
{};

// Keys that a focused edit would otherwise take for itself.
TEST_P(AcceleratorTest, RunsBeforeTheFocusedEdit)
{
    const SAcceleratorCase &c = GetParam();
    CTestDialog dialog;
    dialog.AddAccelerator(QKeySequence(c.key), c.command);
    dialog.AddAccelerator(QKeySequence(Qt::Key_F5), 1);
    ShowActive(dialog);
    QLineEdit *edit = dialog.edit(21262);
    FocusEdit(edit);
    edit->setText(QStringLiteral("abc"));
    edit->setCursorPosition(1);

    QTest::keyClick(edit, c.key.key(), c.key.keyboardModifiers());
    EXPECT_EQ(dialog.commands, std::vector<int>{c.command});
    EXPECT_EQ(edit->text(), QStringLiteral("abc"));
    EXPECT_EQ(edit->cursorPosition(), 1);
    EXPECT_FALSE(edit->hasSelectedText());

    // Every other key still belongs to the edit.
    QTest::keyClicks(edit, QStringLiteral("xy"));
    QTest::keyClick(edit, Qt::Key_Backspace);
    EXPECT_EQ(edit->text(), QStringLiteral("axbc"));
    EXPECT_EQ(dialog.commands, std::vector<int>{c.command});
}

INSTANTIATE_TEST_SUITE_P(Keys, AcceleratorTest,
                         ::testing::Values(SAcceleratorCase{Qt::ControlModifier | Qt::Key_A, 5142},
                                           SAcceleratorCase{QKeyCombination(Qt::Key_Delete), 5145},
                                           SAcceleratorCase{Qt::ShiftModifier | Qt::Key_Return,
                                                            5143},
                                           SAcceleratorCase{Qt::ControlModifier | Qt::Key_C, 5150},
                                           SAcceleratorCase{QKeyCombination(Qt::Key_F2), 5144}));

struct SEscapeCase
{
    const char *name;
    bool busy;
    bool confirm;
    int answer;
    bool closes;
};

class EscapeTest : public BizDialogTest, public ::testing::WithParamInterface<SEscapeCase>
{};

TEST_P(EscapeTest, ClosesOrStaysAsTheDialogAsks)
{
    const SEscapeCase &c = GetParam();
    installation.answer = c.answer;
    CTestDialog dialog;
    dialog.elevated = false;
    dialog.busy = c.busy;
    dialog.SetCloseConfirmation(c.confirm);
    ShowActive(dialog);
    FocusEdit(dialog.edit(21262));
    QTest::keyClick(dialog.edit(21262), Qt::Key_Escape);

    EXPECT_EQ(dialog.isVisible(), !c.closes);
    EXPECT_EQ(dialog.result(), c.closes ? int(QDialog::Rejected) : 0);
    const QStringList asked
        = c.confirm && !c.busy
              ? QStringList{detail::ComposeMessage(17691, QStringLiteral("VELQUOR - ログイン"))}
              : QStringList{};
    EXPECT_EQ(messages, asked);
    if (!asked.isEmpty()) {
        EXPECT_EQ(messages.front(),
                  QStringLiteral("「VELQUOR - ログイン」を閉じます。\r\nよろしいですか？"));
    }
    // The close button obeys the busy state as Esc does.
    if (!c.closes && !c.confirm) {
        dialog.close();
        EXPECT_EQ(dialog.isVisible(), c.busy);
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, EscapeTest,
                         ::testing::Values(SEscapeCase{"plain", false, false, IDOK, true},
                                           SEscapeCase{"busy", true, false, IDOK, false},
                                           SEscapeCase{"busyConfirm", true, true, IDYES, false},
                                           SEscapeCase{"confirmNo", false, true, IDNO, false},
                                           SEscapeCase{"confirmYes", false, true, IDYES, true}),
                         [](const auto &info) { return std::string(info.param.name); });

// --- system menu ---

TEST_F(BizDialogTest, SystemMenuButtonOnlyWhenEnabled)
{
    CTestDialog dialog;
    dialog.resize(400, 300);
    dialog.show();
    EXPECT_EQ(dialog.systemMenuButton(), nullptr);
    EXPECT_EQ(dialog.findChild<QToolButton *>(QStringLiteral("sysmenu")), nullptr);
    // Without the menu a right click opens nothing.
    QTest::mouseClick(dialog.windowHandle(), Qt::RightButton, {}, QPoint(200, 290));
    EXPECT_EQ(dialog.menuPreparations, 0);

    dialog.EnableSystemMenu(true);
    auto *button = dialog.findChild<QToolButton *>(QStringLiteral("sysmenu"));
    ASSERT_NE(button, nullptr);
    EXPECT_EQ(dialog.systemMenuButton(), button);
    EXPECT_TRUE(button->isVisible());
    EXPECT_EQ(button->toolTip(), QStringLiteral("システムメニュー"));
    EXPECT_EQ(button->accessibleName(), QStringLiteral("システムメニュー"));
    EXPECT_FALSE(button->icon().isNull());
    // Top right, and it stays there when the dialog grows.
    EXPECT_GT(button->geometry().left(), dialog.width() / 2);
    EXPECT_LT(button->geometry().top(), dialog.height() / 4);
    dialog.resize(600, 300);
    EXPECT_GT(button->geometry().left(), 400);
    EXPECT_LE(button->geometry().right(), dialog.width());

    dialog.EnableSystemMenu(false);
    EXPECT_EQ(dialog.systemMenuButton(), nullptr);
    EXPECT_EQ(dialog.findChild<QToolButton *>(QStringLiteral("sysmenu")), nullptr);
}

TEST_F(BizDialogTest, SystemMenuItemsAreBuiltAtEachOpening)
{
    CTestDialog dialog;
    dialog.EnableSystemMenu(true);
    dialog.show();
    const auto pick = [](int id) {
        return [id](QMenu &menu) -> QAction * {
            for (QAction *action : menu.actions()) {
                if (action->data().toInt() == id)
                    return action;
            }
            return nullptr;
        };
    };
    dialog.OpenSystemMenu(pick(kVersionItem));
    EXPECT_EQ(dialog.commands, std::vector<int>{kVersionItem});
    // A disabled item does nothing.
    dialog.OpenSystemMenu(pick(kOptionItem));
    EXPECT_EQ(dialog.commands, std::vector<int>{kVersionItem});
    dialog.optionAllowed = true;
    dialog.OpenSystemMenu(pick(kOptionItem));
    EXPECT_EQ(dialog.commands, (std::vector<int>{kVersionItem, kOptionItem}));
    dialog.OpenSystemMenu([](QMenu &) { return nullptr; });
    EXPECT_EQ(dialog.commands.size(), 2u);
    EXPECT_EQ(dialog.menuPreparations, 4);
}

class SystemMenuOpenTest : public BizDialogTest, public ::testing::WithParamInterface<bool>
{};

// The user's ways to the menu: a click on the button, a right click on the background.
TEST_P(SystemMenuOpenTest, ChosenItemRunsItsCommand)
{
    const bool byButton = GetParam();
    CTestDialog dialog;
    dialog.EnableSystemMenu(true);
    dialog.resize(400, 300);
    ShowActive(dialog);

    QStringList seen;
    QTimer::singleShot(0, &dialog, [&seen] {
        auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
        if (!menu)
            return;
        QAction *target = nullptr;
        for (QAction *action : menu->actions()) {
            seen << action->text();
            if (action->data().toInt() == kVersionItem)
                target = action;
        }
        if (target)
            QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(target).center());
        // Never leave the menu's loop running.
        if (menu->isVisible())
            menu->close();
    });
    if (byButton)
        QTest::mouseClick(dialog.systemMenuButton(), Qt::LeftButton);
    else
        QTest::mouseClick(dialog.windowHandle(), Qt::RightButton, {}, QPoint(200, 290));

    EXPECT_EQ(seen, (QStringList{QStringLiteral("バージョン情報(&A)"),
                                 QStringLiteral("オプション(&O)")}));
    EXPECT_EQ(dialog.commands, std::vector<int>{kVersionItem});
}

INSTANTIATE_TEST_SUITE_P(Openers, SystemMenuOpenTest, ::testing::Values(true, false),
                         [](const auto &info) {
                             return std::string(info.param ? "button" : "rightClick");
                         });

// --- command states ---

TEST_F(BizDialogTest, CommandStatesRunOnceAfterChangesAndNeverByThemselves)
{
    CTestDialog dialog;
    ShowActive(dialog);
    FocusEdit(dialog.edit(21262));
    Spin();
    const int afterOpening = dialog.stateRuns;
    EXPECT_GE(afterOpening, 1);
    Spin();
    EXPECT_EQ(dialog.stateRuns, afterOpening);

    dialog.RequestCommandStates();
    QTest::keyClicks(dialog.edit(21262), QStringLiteral("abc"));
    QTest::keyClick(dialog.edit(21262), Qt::Key_Tab);
    dialog.RequestCommandStates();
    EXPECT_EQ(dialog.stateRuns, afterOpening);
    Spin();
    EXPECT_EQ(dialog.stateRuns, afterOpening + 1);
    Spin();
    EXPECT_EQ(dialog.stateRuns, afterOpening + 1);

    // Input in another window is not this dialog's business.
    CTestDialog other;
    ShowActive(other);
    Spin();
    const int before = dialog.stateRuns;
    QTest::keyClicks(other.edit(21262), QStringLiteral("x"));
    Spin();
    EXPECT_EQ(dialog.stateRuns, before);
}

// --- modal runs ---

class ModalRunTest : public BizDialogTest, public ::testing::WithParamInterface<bool>
{};

TEST_P(ModalRunTest, CountsNestedRunsAndHandsEachDialogToTheDriver)
{
    const bool closeAtOnce = GetParam();
    CBizApp app;
    CTestDialog outer;
    CTestDialog inner(kVersionCommandString, &outer);
    std::vector<QDialog *> driven;
    std::vector<int> depths;
    std::vector<int> appDepths;
    int innerResult = -1;

    SetModalDriver([&](QDialog &dialog) {
        driven.push_back(&dialog);
        depths.push_back(ModalDepth());
        appDepths.push_back(app.modalDepth());
        EXPECT_TRUE(dialog.isVisible());
        EXPECT_TRUE(dialog.isModal());
        const int code = &dialog == &inner ? 5 : 7;
        const auto finish = [&dialog, &inner, &innerResult, code] {
            if (&dialog != &inner)
                innerResult = inner.RunModalDialog();
            dialog.done(code);
        };
        if (closeAtOnce)
            finish();
        else
            QTimer::singleShot(0, &dialog, finish);
    });
    EXPECT_EQ(outer.RunModalDialog(), 7);
    EXPECT_EQ(innerResult, 5);
    EXPECT_EQ(driven, (std::vector<QDialog *>{&outer, &inner}));
    EXPECT_EQ(depths, (std::vector<int>{1, 2}));
    EXPECT_EQ(appDepths, (std::vector<int>{1, 2}));
    EXPECT_EQ(ModalDepth(), 0);
    EXPECT_EQ(app.modalDepth(), 0);
    EXPECT_FALSE(outer.isVisible());
}

INSTANTIATE_TEST_SUITE_P(Drivers, ModalRunTest, ::testing::Values(false, true),
                         [](const auto &info) {
                             return std::string(info.param ? "closesAtOnce" : "closesQueued");
                         });

TEST_F(BizDialogTest, ModalRunWithoutAnApplicationObject)
{
    ASSERT_EQ(CBizApp::instance(), nullptr);
    CTestDialog dialog;
    int depth = 0;
    SetModalDriver([&depth](QDialog &d) {
        depth = ModalDepth();
        QTimer::singleShot(0, &d, [&d] { QTest::keyClick(&d, Qt::Key_Escape); });
    });
    EXPECT_EQ(dialog.RunModalDialog(), int(QDialog::Rejected));
    EXPECT_EQ(depth, 1);
    EXPECT_EQ(ModalDepth(), 0);
}

TEST_F(BizDialogTest, ClosingSavesThePlacementOfTheSection)
{
    CBizApp app;
    QRect saved;
    {
        CTestDialog dialog(kVersionCommandString);
        dialog.SetDesignedSize(QSize(100, 60), true);
        dialog.show();
        dialog.setGeometry(QRect(40, 50, 420, 330));
        saved = dialog.geometry();
        dialog.accept();
    }
    int style = -1;
    QRect stored;
    ASSERT_TRUE(app.ReadWindowPlacement(QStringLiteral("versionInfoDialog"), style, stored));
    EXPECT_EQ(stored, saved);

    CTestDialog again(kVersionCommandString);
    again.SetDesignedSize(QSize(100, 60), true);
    again.show();
    EXPECT_EQ(again.size(), saved.size());
}

struct SBoxCase
{
    const char *name;
    QMessageBox::StandardButton click;
    int answer;
};

class GuiMessageModalTest : public BizDialogTest, public ::testing::WithParamInterface<SBoxCase>
{};

TEST_P(GuiMessageModalTest, MessageBoxesRunThroughTheModalRun)
{
    const SBoxCase &c = GetParam();
    const MessageSink previous = SetMessageSink(&ShowGuiMessage);
    QString text;
    QString title;
    int depth = 0;
    SetModalDriver([&](QDialog &dialog) {
        auto *box = qobject_cast<QMessageBox *>(&dialog);
        ASSERT_NE(box, nullptr);
        text = box->text();
        title = box->windowTitle();
        depth = ModalDepth();
        QAbstractButton *button = box->button(c.click);
        ASSERT_NE(button, nullptr);
        QTimer::singleShot(0, button, [button] { QTest::mouseClick(button, Qt::LeftButton); });
    });
    const int answer = AskYesNo(17691, QStringLiteral("一覧"));
    SetMessageSink(previous);

    EXPECT_EQ(answer, c.answer);
    EXPECT_EQ(text, QStringLiteral("「一覧」を閉じます。\nよろしいですか？"));
    EXPECT_EQ(title, QStringLiteral("VELQUOR"));
    EXPECT_EQ(depth, 1);
    EXPECT_EQ(ModalDepth(), 0);
}

INSTANTIATE_TEST_SUITE_P(Buttons, GuiMessageModalTest,
                         ::testing::Values(SBoxCase{"yes", QMessageBox::Yes, IDYES},
                                           SBoxCase{"no", QMessageBox::No, IDNO}),
                         [](const auto &info) { return std::string(info.param.name); });

} // namespace
