// The login dialog against the devserver's demo office, driven by keys, clicks and its
// system menu through the modal run: the first sign-in, refused and invalid input, the
// modes and their templates, the office choices, offline work and the system menu.

#include "support/DevServer.h"
#include "support/TempInstallation.h"

#include "ui/dialogs/LoginDialog.h"
#include "ui/dialogs/VersionInfoDialog.h"
#include "ui/main/SessionWindows.h"
#include "ui/toolkit/KeyboardState.h"
#include "ui/toolkit/ModalRun.h"

#include "account/LoginManager.h"
#include "app/SessionUi.h"
#include "app/System.h"
#include "core/AppState.h"
#include "core/Messages.h"
#include "core/Paths.h"
#include "folders/SharedWorkspaceManager.h"
#include "support/Files.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <functional>
#include <memory>
#include <ostream>
#include <vector>

namespace {

constexpr int kOfficeEdit = 21259;
constexpr int kOfficeCombo = 21260;
constexpr int kLoginEdit = 21262;
constexpr int kPasswordEdit = 21264;
constexpr int kSavePassword = 21266;
constexpr int kStillOpen = -99;

const QString kDemoOfficeName = QStringLiteral("デモ会計事務所（本社）");
const QString kOtherOfficeName = QStringLiteral("ほか商事");

struct SSavedLogin
{
    const char *officeId;
    const char *loginId;
};

class LoginDialogTest : public InstallationTest<>
{
protected:
    void SetUp() override
    {
        InstallationTest::SetUp();
        m_oldDriver = SetModalDriver({});
        m_oldQuery = SetHeldModifiersQuery([this] { return held; });
        server = DevServer::StartFor(installation);
        ASSERT_TRUE(server);
        Restart();
    }
    void TearDown() override
    {
        systems.reset();
        SetHeldModifiersQuery(m_oldQuery);
        SetModalDriver(m_oldDriver);
        AppState::SetSupportMode(false);
    }

    // A new start of the program on this installation: the saved logins read again.
    void Restart()
    {
        systems.reset();
        systems = std::make_unique<CSystemObjects>();
        ASSERT_TRUE(systems->main()->StartReportingErrors());
    }
    // Earlier sessions of these users (the last one is the current saved login), each signed
    // in online and saved, then a new start.
    void SaveLogins(const std::vector<SSavedLogin> &logins, bool savePassword = true)
    {
        for (const SSavedLogin &l : logins) {
            const QString loginId = QString::fromUtf8(l.loginId);
            ASSERT_TRUE(login()->SignIn(QString::fromUtf8(l.officeId), loginId,
                                        loginId + QStringLiteral("-pass"), savePassword));
            ASSERT_TRUE(login()->SaveSavedLogins());
        }
        Restart();
        server->clearRequestLog();
    }
    CLoginManager *login() const { return systems->main()->loginManager(); }

    // Runs the dialog modally; the script runs inside its event loop. A dialog the script
    // leaves open is closed with kStillOpen.
    int Run(CLoginDialog &dialog, const std::function<void(CLoginDialog &)> &script)
    {
        SetModalDriver([this, &dialog, script](QDialog &shown) {
            if (&shown != &dialog) {
                // A dialog opened from the login dialog (the version dialog).
                opened.push_back(shown.metaObject()->className());
                QTimer::singleShot(0, &shown, [&shown] { shown.accept(); });
                return;
            }
            QTimer::singleShot(0, &dialog, [&dialog, script] {
                script(dialog);
                if (dialog.isVisible())
                    static_cast<QDialog &>(dialog).done(kStillOpen);
            });
        });
        return RunModal(dialog);
    }

    static QLineEdit *Edit(const CLoginDialog &dialog, int id)
    {
        return dialog.controlAs<QLineEdit>(id);
    }
    static void Type(const CLoginDialog &dialog, int id, const QString &text)
    {
        QLineEdit *edit = Edit(dialog, id);
        ASSERT_NE(edit, nullptr) << id;
        QTest::keyClicks(edit, text);
    }
    static void Retype(const CLoginDialog &dialog, int id, const QString &text)
    {
        QLineEdit *edit = Edit(dialog, id);
        ASSERT_NE(edit, nullptr) << id;
        edit->selectAll();
        QTest::keyClick(edit, Qt::Key_Backspace);
        QTest::keyClicks(edit, text);
    }
    // Lets the coalesced command-state update run.
    static void Spin()
    {
        for (int i = 0; i < 3; ++i)
            QCoreApplication::processEvents();
    }
    static bool OkEnabled(const CLoginDialog &dialog)
    {
        Spin();
        return dialog.controlAs<QPushButton>(1)->isEnabled();
    }
    // The ids of the system menu as it opens now, with their enabled and checked states.
    struct SMenuItem
    {
        int id;
        bool enabled;
        bool checked;
    };
    static std::vector<SMenuItem> MenuItems(CLoginDialog &dialog)
    {
        std::vector<SMenuItem> items;
        dialog.OpenSystemMenu([&items](QMenu &menu) -> QAction * {
            for (QAction *action : menu.actions()) {
                if (!action->isSeparator())
                    items.push_back(
                        {action->data().toInt(), action->isEnabled(), action->isChecked()});
            }
            return nullptr;
        });
        return items;
    }
    static std::vector<int> MenuIds(CLoginDialog &dialog)
    {
        std::vector<int> ids;
        for (const SMenuItem &item : MenuItems(dialog))
            ids.push_back(item.id);
        return ids;
    }
    static void Choose(CLoginDialog &dialog, int menuId)
    {
        dialog.OpenSystemMenu([menuId](QMenu &menu) -> QAction * {
            for (QAction *action : menu.actions()) {
                if (!action->isSeparator() && action->data().toInt() == menuId)
                    return action;
            }
            ADD_FAILURE() << "no system menu item " << menuId;
            return nullptr;
        });
    }

    std::unique_ptr<DevServer> server;
    std::unique_ptr<CSystemObjects> systems;
    Qt::KeyboardModifiers held = Qt::NoModifier;
    std::vector<QString> opened;

private:
    ModalDriver m_oldDriver;
    std::function<Qt::KeyboardModifiers()> m_oldQuery;
};

// --- the first sign-in and refused input ---

TEST_F(LoginDialogTest, FirstSignInByTypingEndsSignedInWithTheFolderTreeLoaded)
{
    CLoginDialog dialog(*systems, 0);
    bool okBeforePassword = true;
    QWidget *firstFocus = nullptr;
    const int result = Run(dialog, [&](CLoginDialog &d) {
        firstFocus = d.focusWidget();
        Type(d, kOfficeEdit, QStringLiteral("demo"));
        Type(d, kLoginEdit, QStringLiteral("yamada"));
        okBeforePassword = OkEnabled(d);
        Type(d, kPasswordEdit, QStringLiteral("yamada-pass"));
        ASSERT_TRUE(OkEnabled(d));
        QTest::keyClick(Edit(d, kPasswordEdit), Qt::Key_Return);
    });

    EXPECT_EQ(result, LoginResult::SignedIn);
    EXPECT_EQ(dialog.templateId(), CLoginDialog::OfficeTemplateId);
    EXPECT_EQ(firstFocus, dialog.control(kOfficeEdit));
    EXPECT_FALSE(okBeforePassword);
    EXPECT_TRUE(messages.isEmpty()) << messages.join(u'|').toStdString();
    ASSERT_TRUE(login()->IsOnline());
    EXPECT_EQ(login()->loginId(), QStringLiteral("yamada"));
    EXPECT_GT(systems->shared()->sharedWorkspaces()->list().GetCount(), 0);
    EXPECT_EQ(server->callCount(QStringLiteral("login")), 1);
    ASSERT_EQ(login()->savedLogins().GetCount(), 1);
    EXPECT_EQ(login()->savedLogins().GetHead()->customerLoginDispName, kDemoOfficeName);
}

TEST_F(LoginDialogTest, WrongPasswordShowsTheRefusalAndKeepsTheDialogAsItWas)
{
    CLoginDialog dialog(*systems, 1);
    const int result = Run(dialog, [&](CLoginDialog &d) {
        Type(d, kOfficeEdit, QStringLiteral("demo"));
        Type(d, kLoginEdit, QStringLiteral("yamada"));
        Type(d, kPasswordEdit, QStringLiteral("wrong-pass"));
        QTest::keyClick(Edit(d, kPasswordEdit), Qt::Key_Return);

        EXPECT_EQ(messages, QStringList{detail::ComposeMessage(18193)});
        EXPECT_TRUE(d.isVisible());
        EXPECT_FALSE(d.IsBusy());
        EXPECT_TRUE(d.progressBar()->isHidden());
        EXPECT_TRUE(d.cancelButton()->isHidden());
        // Nothing typed is lost and the controls work again.
        EXPECT_EQ(d.fields().officeId, QStringLiteral("demo"));
        EXPECT_EQ(d.fields().loginId, QStringLiteral("yamada"));
        EXPECT_EQ(d.fields().password, QStringLiteral("wrong-pass"));
        EXPECT_FALSE(Edit(d, kPasswordEdit)->isReadOnly());
        EXPECT_TRUE(OkEnabled(d));
        QTest::keyClick(Edit(d, kPasswordEdit), Qt::Key_Escape);
    });
    EXPECT_EQ(result, LoginResult::Cancelled);
    EXPECT_FALSE(login()->IsSignedIn());
}

struct SFieldCase
{
    const char *name;
    int id;
    int limit;
    QString label;
};

void PrintTo(const SFieldCase &c, std::ostream *os)
{
    *os << c.name;
}

class LoginFieldLimitTest : public LoginDialogTest, public ::testing::WithParamInterface<SFieldCase>
{};

TEST_P(LoginFieldLimitTest, ALongerValueIsKeptWholeAndRefused)
{
    const SFieldCase &c = GetParam();
    CLoginDialog dialog(*systems, 1);
    const QString tooLong(c.limit + 1, u'x');
    int typedLength = -1;
    QWidget *focusAfter = nullptr;
    const int result = Run(dialog, [&](CLoginDialog &d) {
        Type(d, kOfficeEdit, QStringLiteral("demo"));
        Type(d, kLoginEdit, QStringLiteral("yamada"));
        Type(d, kPasswordEdit, QStringLiteral("yamada-pass"));
        // Typed, or pasted by another program: nothing is cut, the check names the limit.
        Retype(d, c.id, tooLong);
        typedLength = int(Edit(d, c.id)->text().size());
        QTest::mouseClick(d.controlAs<QPushButton>(1), Qt::LeftButton);
        focusAfter = d.focusWidget();
    });
    EXPECT_EQ(result, kStillOpen);
    EXPECT_EQ(typedLength, c.limit + 1);
    EXPECT_EQ(messages, QStringList{detail::ComposeMessage(17677, c.label, c.limit)});
    EXPECT_EQ(focusAfter, dialog.control(c.id));
    EXPECT_EQ(server->callCount(QStringLiteral("register")), 0);
    EXPECT_EQ(server->callCount(QStringLiteral("login")), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Fields, LoginFieldLimitTest,
    ::testing::Values(SFieldCase{"officeId", kOfficeEdit, 32, QStringLiteral("事業所ID")},
                      SFieldCase{"loginId", kLoginEdit, 64, QStringLiteral("ログインID")},
                      SFieldCase{"password", kPasswordEdit, 16, QStringLiteral("パスワード")}),
    [](const auto &info) { return std::string(info.param.name); });

class LoginEmptyFieldTest : public LoginDialogTest, public ::testing::WithParamInterface<SFieldCase>
{};

// OK stays disabled while a field is empty; offline work (always offered) names it.
TEST_P(LoginEmptyFieldTest, AnEmptyFieldDisablesOkAndIsNamedByOfflineWork)
{
    const SFieldCase &c = GetParam();
    CLoginDialog dialog(*systems, 1);
    bool okWhenFilled = false;
    bool okWhenEmpty = true;
    QWidget *focusAfter = nullptr;
    const int result = Run(dialog, [&](CLoginDialog &d) {
        Type(d, kOfficeEdit, QStringLiteral("demo"));
        Type(d, kLoginEdit, QStringLiteral("yamada"));
        Type(d, kPasswordEdit, QStringLiteral("yamada-pass"));
        okWhenFilled = OkEnabled(d);
        Edit(d, c.id)->setFocus(Qt::OtherFocusReason);
        Edit(d, c.id)->selectAll();
        QTest::keyClick(Edit(d, c.id), Qt::Key_Backspace);
        okWhenEmpty = OkEnabled(d);
        // Enter with OK disabled does nothing.
        QTest::keyClick(Edit(d, c.id), Qt::Key_Return);
        EXPECT_TRUE(messages.isEmpty());
        d.control(kSavePassword)->setFocus(Qt::OtherFocusReason);
        Choose(d, CLoginDialog::MenuOffline);
        focusAfter = d.focusWidget();
    });
    EXPECT_EQ(result, kStillOpen);
    EXPECT_TRUE(okWhenFilled);
    EXPECT_FALSE(okWhenEmpty);
    EXPECT_EQ(messages, QStringList{detail::ComposeMessage(17676, c.label)});
    EXPECT_EQ(focusAfter, dialog.control(c.id));
    EXPECT_FALSE(login()->IsSignedIn());
}

INSTANTIATE_TEST_SUITE_P(
    Fields, LoginEmptyFieldTest,
    ::testing::Values(SFieldCase{"officeId", kOfficeEdit, 32, QStringLiteral("事業所ID")},
                      SFieldCase{"loginId", kLoginEdit, 64, QStringLiteral("ログインID")},
                      SFieldCase{"password", kPasswordEdit, 16, QStringLiteral("パスワード")}),
    [](const auto &info) { return std::string(info.param.name); });

// --- templates, initial values and focus ---

struct SOpeningCase
{
    const char *name;
    bool saved;        // yamada signed in before
    bool savePassword; // ... with the password remembered
    bool support;
    int mode;
    int templateId;
    QString officeId; // shown in the office edit ("-" for no edit)
    QString loginId;
    bool passwordFilled;
    int focusId;
};

void PrintTo(const SOpeningCase &c, std::ostream *os)
{
    *os << c.name;
}

class LoginOpeningTest : public LoginDialogTest, public ::testing::WithParamInterface<SOpeningCase>
{};

TEST_P(LoginOpeningTest, TemplateValuesAndFocusFollowTheModeAndTheSavedLogin)
{
    const SOpeningCase &c = GetParam();
    if (c.saved)
        SaveLogins({{"demo", "yamada"}}, c.savePassword);
    AppState::SetSupportMode(c.support);
    CLoginDialog dialog(*systems, c.mode);
    QWidget *focus = nullptr;
    Run(dialog, [&](CLoginDialog &d) { focus = d.focusWidget(); });

    EXPECT_EQ(dialog.templateId(), c.templateId);
    QLineEdit *office = Edit(dialog, kOfficeEdit);
    if (c.officeId == u"-") {
        EXPECT_EQ(office, nullptr);
    } else {
        ASSERT_NE(office, nullptr);
        EXPECT_EQ(office->text(), c.officeId);
    }
    EXPECT_EQ(Edit(dialog, kLoginEdit)->text(), c.loginId);
    EXPECT_EQ(Edit(dialog, kPasswordEdit)->text(),
              c.passwordFilled ? QStringLiteral("yamada-pass") : QString());
    EXPECT_EQ(dialog.controlAs<QCheckBox>(kSavePassword)->isChecked(), c.saved && c.savePassword);
    ASSERT_NE(focus, nullptr);
    EXPECT_EQ(focus->objectName(), QString::number(c.focusId));
}

INSTANTIATE_TEST_SUITE_P(
    Modes, LoginOpeningTest,
    ::testing::Values(
        SOpeningCase{"firstStart", false, false, false, 0, 21760, {}, {}, false, kOfficeEdit},
        SOpeningCase{"omittedWithSavedPassword", true, true, false, 0, 21761, QStringLiteral("-"),
                     QStringLiteral("yamada"), true, 1},
        SOpeningCase{"omittedWithoutSavedPassword", true, false, false, 0, 21761,
                     QStringLiteral("-"), QStringLiteral("yamada"), false, kPasswordEdit},
        SOpeningCase{"omittedInSupportMode", true, true, true, 0, 21760, QStringLiteral("demo"),
                     QStringLiteral("yamada"), true, 1},
        SOpeningCase{"typedIn", true, true, false, 1, 21760, {}, {}, false, kOfficeEdit},
        SOpeningCase{"chosen",
                     true,
                     false,
                     false,
                     2,
                     21760,
                     {},
                     QStringLiteral("yamada"),
                     false,
                     kPasswordEdit}),
    [](const auto &info) { return std::string(info.param.name); });

TEST_F(LoginDialogTest, ControlsCarryTheirNamesCueTextsAndLimits)
{
    CLoginDialog dialog(*systems, 1);
    struct SEditCase
    {
        int id;
        int labelId;
        QString label;
        QString name;
        QString cue;
        int limit;
    };
    const SEditCase edits[] = {
        {kOfficeEdit, 21258, QStringLiteral("事業所ID(&K):"), QStringLiteral("事業所ID"),
         QStringLiteral("<事業所ID>"), 32},
        {kLoginEdit, 21261, QStringLiteral("ログインID(&L):"), QStringLiteral("ログインID"),
         QStringLiteral("<ログインID>"), 64},
        {kPasswordEdit, 21263, QStringLiteral("パスワード(&P):"), QStringLiteral("パスワード"),
         QStringLiteral("<パスワード>"), 16},
    };
    for (const SEditCase &e : edits) {
        SCOPED_TRACE(e.id);
        QLineEdit *edit = Edit(dialog, e.id);
        auto *label = dialog.controlAs<QLabel>(e.labelId);
        ASSERT_NE(edit, nullptr);
        ASSERT_NE(label, nullptr);
        EXPECT_EQ(label->text(), e.label);
        EXPECT_EQ(label->buddy(), edit);
        EXPECT_EQ(edit->accessibleName(), e.name);
        EXPECT_EQ(edit->placeholderText(), e.cue);
        EXPECT_GT(edit->maxLength(), e.limit) << "the field cuts nothing at the limit";
    }
    EXPECT_EQ(Edit(dialog, kPasswordEdit)->echoMode(), QLineEdit::Password);
    auto *save = dialog.controlAs<QCheckBox>(kSavePassword);
    EXPECT_EQ(save->text(), QStringLiteral("パスワードを保存する(&S)"));
    EXPECT_EQ(save->accessibleName(), QStringLiteral("パスワードを保存する"));
    EXPECT_EQ(dialog.controlAs<QPushButton>(1)->text(), QStringLiteral("OK"));
    EXPECT_EQ(dialog.controlAs<QPushButton>(2)->text(), QStringLiteral("キャンセル"));
    EXPECT_EQ(dialog.controlAs<QPushButton>(20740)->text(), QStringLiteral("中止"));
    for (int id : {20737, 20738, 20739})
        EXPECT_NE(dialog.control(id), nullptr) << id;
    EXPECT_EQ(dialog.GetTitle().left(7), QStringLiteral("VELQUOR"));
}

struct SCloseCase
{
    const char *name;
    std::function<void(CLoginDialog &)> close;
};

void PrintTo(const SCloseCase &c, std::ostream *os)
{
    *os << c.name;
}

class LoginCloseTest : public LoginDialogTest, public ::testing::WithParamInterface<SCloseCase>
{};

TEST_P(LoginCloseTest, CancelAndEscapeAnswerCancelled)
{
    CLoginDialog dialog(*systems, 1);
    EXPECT_EQ(Run(dialog, GetParam().close), LoginResult::Cancelled);
    EXPECT_EQ(server->callCount(QStringLiteral("register")), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Ways, LoginCloseTest,
    ::testing::Values(SCloseCase{"cancelButton",
                                 [](CLoginDialog &d) {
                                     QTest::mouseClick(d.controlAs<QPushButton>(2), Qt::LeftButton);
                                 }},
                      SCloseCase{"escape",
                                 [](CLoginDialog &d) {
                                     QTest::keyClick(d.controlAs<QLineEdit>(kLoginEdit),
                                                     Qt::Key_Escape);
                                 }}),
    [](const auto &info) { return std::string(info.param.name); });

// --- office choices (mode 2) ---

TEST_F(LoginDialogTest, ChoosingListsEachOfficeNameOnceAndFillsTheFields)
{
    SaveLogins({{"other", "tanaka"}, {"demo", "suzuki"}, {"demo", "yamada"}});
    ASSERT_EQ(login()->officeList().GetCount(), 3);
    CLoginDialog dialog(*systems, 2);
    QStringList names;
    QString chosenAtStart;
    SLoginFields afterChoice;
    SLoginFields afterBack;
    const int result = Run(dialog, [&](CLoginDialog &d) {
        auto *combo = d.controlAs<QComboBox>(kOfficeCombo);
        ASSERT_NE(combo, nullptr);
        EXPECT_FALSE(combo->isHidden());
        EXPECT_TRUE(d.control(kOfficeEdit)->isHidden());
        EXPECT_EQ(combo->accessibleName(), QStringLiteral("事業所ID"));
        for (int i = 0; i < combo->count(); ++i)
            names << combo->itemText(i);
        chosenAtStart = combo->currentText();
        combo->setFocus(Qt::OtherFocusReason);
        QTest::keyClick(combo, Qt::Key_Down);
        afterChoice = d.fields();
        QTest::keyClick(combo, Qt::Key_Up);
        afterBack = d.fields();
        QTest::keyClick(combo, Qt::Key_Return);
    });
    // The most recent login of a name stands for it.
    EXPECT_EQ(names, (QStringList{kDemoOfficeName, kOtherOfficeName}));
    EXPECT_EQ(chosenAtStart, kDemoOfficeName);
    EXPECT_EQ(afterChoice.officeId, QStringLiteral("other"));
    EXPECT_EQ(afterChoice.loginId, QStringLiteral("tanaka"));
    EXPECT_EQ(afterChoice.password, QStringLiteral("tanaka-pass"));
    EXPECT_TRUE(afterChoice.savePassword);
    EXPECT_EQ(afterBack.officeId, QStringLiteral("demo"));
    EXPECT_EQ(afterBack.loginId, QStringLiteral("yamada"));
    // Enter signs in with the chosen office.
    EXPECT_EQ(result, LoginResult::SignedIn);
    EXPECT_EQ(login()->loginId(), QStringLiteral("yamada"));
}

TEST_F(LoginDialogTest, DeletingAnOfficeChoosesTheNextAndTheLastEndsTheDialog)
{
    SaveLogins({{"other", "tanaka"}, {"demo", "suzuki"}, {"demo", "yamada"}});
    CLoginDialog dialog(*systems, 2);
    installation.answers = {IDNO, IDYES, IDYES};
    QStringList namesAfterNo;
    QStringList namesAfterDelete;
    SLoginFields fieldsAfterDelete;
    const int result = Run(dialog, [&](CLoginDialog &d) {
        auto *combo = d.controlAs<QComboBox>(kOfficeCombo);
        Choose(d, CLoginDialog::MenuDeleteOffice); // declined
        for (int i = 0; i < combo->count(); ++i)
            namesAfterNo << combo->itemText(i);
        Choose(d, CLoginDialog::MenuDeleteOffice);
        for (int i = 0; i < combo->count(); ++i)
            namesAfterDelete << combo->itemText(i);
        fieldsAfterDelete = d.fields();
        Choose(d, CLoginDialog::MenuDeleteOffice);
    });
    EXPECT_EQ(messages, QStringList(3, detail::ComposeMessage(18194)));
    EXPECT_EQ(namesAfterNo, (QStringList{kDemoOfficeName, kOtherOfficeName}));
    EXPECT_EQ(namesAfterDelete, QStringList{kOtherOfficeName});
    EXPECT_EQ(fieldsAfterDelete.officeId, QStringLiteral("other"));
    EXPECT_EQ(fieldsAfterDelete.loginId, QStringLiteral("tanaka"));
    EXPECT_EQ(result, LoginResult::ModeOmitted);
    EXPECT_TRUE(login()->officeList().IsEmpty());
    // The saved file says the same at the next start, and the dialog shown in mode 0 then
    // has the office-ID row: no client key is left, and without the row nobody could sign in.
    Restart();
    EXPECT_TRUE(login()->officeList().IsEmpty());
    CLoginDialog next(*systems, 0);
    EXPECT_EQ(next.templateId(), CLoginDialog::OfficeTemplateId);
    ASSERT_NE(Edit(next, kOfficeEdit), nullptr);
    EXPECT_FALSE(Edit(next, kOfficeEdit)->isHidden());
}

// --- offline work ---

TEST_F(LoginDialogTest, OfflineWorkNeedsTheRememberedPassword)
{
    SaveLogins({{"demo", "yamada"}});
    CLoginDialog dialog(*systems, 0);
    const int result = Run(dialog, [&](CLoginDialog &d) {
        Retype(d, kPasswordEdit, QStringLiteral("other-pass"));
        Choose(d, CLoginDialog::MenuOffline);
        EXPECT_EQ(messages, QStringList{detail::ComposeMessage(18193)});
        EXPECT_TRUE(d.isVisible());
        EXPECT_TRUE(d.progressBar()->isHidden());
        EXPECT_FALSE(login()->IsSignedIn());
        Retype(d, kPasswordEdit, QStringLiteral("yamada-pass"));
        Choose(d, CLoginDialog::MenuOffline);
    });
    EXPECT_EQ(result, LoginResult::OfflineWork);
    EXPECT_EQ(messages.size(), 1);
    EXPECT_TRUE(login()->IsSignedIn());
    EXPECT_FALSE(login()->IsOnline());
    // Offline work never asks the service.
    EXPECT_EQ(server->callCount(QStringLiteral("login")), 0);
}

// --- the system menu ---

struct SMenuCase
{
    const char *name;
    bool saved;
    bool savePassword;
    bool support;
    Qt::KeyboardModifiers keys;
    int mode;
    std::vector<int> ids;
};

void PrintTo(const SMenuCase &c, std::ostream *os)
{
    *os << c.name;
}

class LoginMenuTest : public LoginDialogTest, public ::testing::WithParamInterface<SMenuCase>
{};

TEST_P(LoginMenuTest, ItemsFollowTheModeTheSavedLoginsAndTheKeys)
{
    const SMenuCase &c = GetParam();
    if (c.saved)
        SaveLogins({{"demo", "yamada"}}, c.savePassword);
    AppState::SetSupportMode(c.support);
    held = c.keys;
    CLoginDialog dialog(*systems, c.mode);
    std::vector<int> ids;
    Run(dialog, [&](CLoginDialog &d) { ids = MenuIds(d); });
    EXPECT_EQ(ids, c.ids);
}

constexpr Qt::KeyboardModifiers kShiftCtrl = Qt::ShiftModifier | Qt::ControlModifier;

INSTANTIATE_TEST_SUITE_P(
    Modes, LoginMenuTest,
    ::testing::Values(
        SMenuCase{"firstStart", false, false, false, {}, 0, {128, 16}},
        SMenuCase{"firstStartTyped", false, false, false, {}, 1, {128, 16}},
        SMenuCase{"omitted", true, true, false, {}, 0, {128, 256, 512, 16}},
        SMenuCase{"typed", true, true, false, {}, 1, {128, 512, 16}},
        SMenuCase{"chosen", true, true, false, {}, 2, {128, 1024, 256, 16}},
        SMenuCase{"keysWithSavedPassword", true, true, false, kShiftCtrl, 0, {128, 256, 512, 16}},
        SMenuCase{"keysWithoutSavedPassword",
                  true,
                  false,
                  false,
                  kShiftCtrl,
                  0,
                  {128, 256, 512, 192, 16}},
        SMenuCase{"onlyShiftWithoutSavedPassword",
                  true,
                  false,
                  false,
                  Qt::ShiftModifier,
                  0,
                  {128, 256, 512, 16}},
        SMenuCase{"supportWithSavedPassword", true, true, true, {}, 0, {128, 512, 192, 16}}),
    [](const auto &info) { return std::string(info.param.name); });

struct SSwitchCase
{
    const char *name;
    int mode;
    int menuId;
    int result;
};

void PrintTo(const SSwitchCase &c, std::ostream *os)
{
    *os << c.name;
}

class LoginModeSwitchTest :
    public LoginDialogTest,
    public ::testing::WithParamInterface<SSwitchCase>
{};

TEST_P(LoginModeSwitchTest, TheModeItemsEndTheDialogWithTheirMode)
{
    const SSwitchCase &c = GetParam();
    SaveLogins({{"demo", "yamada"}});
    CLoginDialog dialog(*systems, c.mode);
    EXPECT_EQ(Run(dialog, [&](CLoginDialog &d) { Choose(d, c.menuId); }), c.result);
}

INSTANTIATE_TEST_SUITE_P(
    Items, LoginModeSwitchTest,
    ::testing::Values(SSwitchCase{"omittedToTyped", 0, 256, LoginResult::ModeTyped},
                      SSwitchCase{"chosenToTyped", 2, 256, LoginResult::ModeTyped},
                      SSwitchCase{"typedToChosen", 1, 512, LoginResult::ModeChosen},
                      SSwitchCase{"omittedToChosen", 0, 512, LoginResult::ModeChosen}),
    [](const auto &info) { return std::string(info.param.name); });

TEST_F(LoginDialogTest, ShowPasswordVersionDialogAndTheBusyState)
{
    SaveLogins({{"demo", "yamada"}}, false);
    held = kShiftCtrl;
    CLoginDialog dialog(*systems, 2);
    bool deleteEnabled = false;
    bool deleteEnabledWithoutChoice = true;
    QLineEdit::EchoMode shownMode = QLineEdit::Password;
    bool checkedWhileShown = false;
    bool offeredWhileShownWithoutKeys = false;
    QLineEdit::EchoMode hiddenAgain = QLineEdit::Normal;
    std::vector<SMenuItem> busyItems;
    const int result = Run(dialog, [&](CLoginDialog &d) {
        for (const SMenuItem &item : MenuItems(d)) {
            if (item.id == CLoginDialog::MenuDeleteOffice)
                deleteEnabled = item.enabled;
        }
        Choose(d, CLoginDialog::MenuShowPassword);
        shownMode = Edit(d, kPasswordEdit)->echoMode();
        held = Qt::NoModifier;
        for (const SMenuItem &item : MenuItems(d)) {
            if (item.id == CLoginDialog::MenuShowPassword) {
                offeredWhileShownWithoutKeys = true;
                checkedWhileShown = item.checked;
            }
        }
        Choose(d, CLoginDialog::MenuShowPassword);
        hiddenAgain = Edit(d, kPasswordEdit)->echoMode();

        Choose(d, CLoginDialog::MenuVersion);

        d.BeginProgress(QStringLiteral("…"));
        busyItems = MenuItems(d);
        d.EndProgress();

        d.controlAs<QComboBox>(kOfficeCombo)->setCurrentIndex(-1);
        for (const SMenuItem &item : MenuItems(d)) {
            if (item.id == CLoginDialog::MenuDeleteOffice)
                deleteEnabledWithoutChoice = item.enabled;
        }
        EXPECT_FALSE(OkEnabled(d));
    });
    EXPECT_EQ(result, kStillOpen);
    EXPECT_TRUE(deleteEnabled);
    EXPECT_FALSE(deleteEnabledWithoutChoice);
    EXPECT_EQ(shownMode, QLineEdit::Normal);
    EXPECT_TRUE(offeredWhileShownWithoutKeys);
    EXPECT_TRUE(checkedWhileShown);
    EXPECT_EQ(hiddenAgain, QLineEdit::Password);
    EXPECT_EQ(opened, std::vector<QString>{QStringLiteral("CVersionInfoDialog")});
    ASSERT_FALSE(busyItems.empty());
    for (const SMenuItem &item : busyItems) {
        const bool disabledWhileBusy
            = item.id == CLoginDialog::MenuOffline || item.id == CLoginDialog::MenuVersion;
        EXPECT_EQ(item.enabled, !disabledWhileBusy) << item.id;
    }
}

// --- the session's windows ---

TEST_F(LoginDialogTest, SessionWindowsRunTheLoginDialogAndThePendingOfflineWindow)
{
    SaveLogins({{"demo", "yamada"}});
    CSessionWindows windows(*systems);
    int shownMode = -1;
    int shownTemplate = -1;
    SetModalDriver([&](QDialog &shown) {
        auto *dialog = qobject_cast<CLoginDialog *>(&shown);
        ASSERT_NE(dialog, nullptr);
        shownMode = dialog->mode();
        shownTemplate = dialog->templateId();
        QTimer::singleShot(0, dialog, [dialog, &windows] {
            // A second start raises the open dialog and leaves it as it is.
            windows.ActivateMainWindow();
            EXPECT_TRUE(dialog->isVisible());
            Choose(*dialog, CLoginDialog::MenuChooseOffice);
        });
    });
    EXPECT_EQ(windows.RunLoginDialog(0), LoginResult::ModeChosen);
    EXPECT_EQ(shownMode, 0);
    EXPECT_EQ(shownTemplate, CLoginDialog::NoOfficeTemplateId);

    // The offline window is the pending window for now: closing it ends the session.
    QString text;
    QTimer::singleShot(0, [&text] {
        for (QWidget *top : QApplication::topLevelWidgets()) {
            if (!top->isVisible())
                continue;
            for (const QLabel *label : top->findChildren<QLabel *>())
                text += label->text();
            top->close();
        }
    });
    EXPECT_EQ(windows.RunOfflineMainWindow(), LoginResult::Cancelled);
    EXPECT_TRUE(text.endsWith(QStringLiteral("メイン画面はまだ組み込まれていません。")))
        << text.toStdString();
}

} // namespace

namespace {

// --- the update step and 中止 during the sign-in ---

TEST_F(LoginDialogTest, PublishedUpdateIsFetchedStartedAndEndsTheDialog)
{
    // The "installer" is a script that leaves a mark where it ran.
    server->hook(QStringLiteral("update"),
                 {{"version", "9.9.9.9"},
                  {"fileName", "setup.sh"},
                  {"content", "#!/bin/sh\necho started > started.txt\n"}});
    CLoginDialog dialog(*systems, 1);
    const int result = Run(dialog, [&](CLoginDialog &d) {
        Type(d, kOfficeEdit, QStringLiteral("demo"));
        Type(d, kLoginEdit, QStringLiteral("yamada"));
        Type(d, kPasswordEdit, QStringLiteral("yamada-pass"));
        QTest::keyClick(Edit(d, kPasswordEdit), Qt::Key_Return);
    });
    EXPECT_EQ(result, LoginResult::Cancelled);
    ASSERT_EQ(messages.size(), 1);
    EXPECT_EQ(messages.first(), detail::ComposeMessage(18189, QStringLiteral("9.9.9.9")));
    EXPECT_TRUE(QFileInfo::exists(SetupPath({}, QStringLiteral("setup.sh"))));
    // The folder tree was never asked for: the program closes for the installer.
    EXPECT_EQ(server->callCount(QStringLiteral("workspace/list")), 0);
}

TEST_F(LoginDialogTest, CancelledPackageDownloadSaysTheUpdateIsNeededAndStays)
{
    server->hook(QStringLiteral("update"), {{"version", "9.9.9.9"}, {"fileName", "setup.sh"}});
    server->hook(QStringLiteral("fail"),
                 {{"op", "autoupdate/get"}, {"mode", "delay"}, {"ms", "1500"}});
    installation.answers = {IDOK, IDYES}; // the announcement, then "中止しますか？"
    CLoginDialog dialog(*systems, 1);
    const int result = Run(dialog, [&](CLoginDialog &d) {
        Type(d, kOfficeEdit, QStringLiteral("demo"));
        Type(d, kLoginEdit, QStringLiteral("yamada"));
        Type(d, kPasswordEdit, QStringLiteral("yamada-pass"));
        QTimer::singleShot(400, &d, [&d] { QTest::mouseClick(d.cancelButton(), Qt::LeftButton); });
        QTest::keyClick(Edit(d, kPasswordEdit), Qt::Key_Return);
        EXPECT_TRUE(d.isVisible());
        EXPECT_FALSE(d.IsBusy());
    });
    EXPECT_EQ(result, kStillOpen);
    ASSERT_EQ(messages.size(), 3) << messages.join(u'|').toStdString();
    EXPECT_EQ(messages.at(1), detail::ComposeMessage(17687));
    EXPECT_EQ(messages.at(2), detail::ComposeMessage(18191));
    EXPECT_FALSE(QFileInfo::exists(SetupPath({}, QStringLiteral("setup.sh"))));
}

struct SStopCase
{
    const char *name;
    int answer; // to "中止しますか？"
    int result;
};

class LoginStopTest : public LoginDialogTest, public ::testing::WithParamInterface<SStopCase>
{};

TEST_P(LoginStopTest, StopDuringASlowTreeLoadAsksAndDeletesNothingLocal)
{
    // An earlier session left folders in the cache.
    ASSERT_TRUE(login()->SignIn(QStringLiteral("demo"), QStringLiteral("yamada"),
                                QStringLiteral("yamada-pass"), true));
    ASSERT_TRUE(login()->SaveSavedLogins());
    const QString folderRoot = login()->UserDataPath();
    ASSERT_TRUE(QDir().mkpath(folderRoot + QStringLiteral("/00000001経理")));
    Restart();
    const QStringList before = Listing(installation.dataFolder());

    server->hook(QStringLiteral("fail"),
                 {{"op", "workspace/list"}, {"mode", "delay"}, {"ms", "1200"}});
    installation.answers = {GetParam().answer};
    CLoginDialog dialog(*systems, 1);
    const int result = Run(dialog, [&](CLoginDialog &d) {
        Retype(d, kOfficeEdit, QStringLiteral("demo"));
        Retype(d, kLoginEdit, QStringLiteral("yamada"));
        Retype(d, kPasswordEdit, QStringLiteral("yamada-pass"));
        QTimer::singleShot(400, &d, [&d] { QTest::mouseClick(d.cancelButton(), Qt::LeftButton); });
        QTest::keyClick(Edit(d, kPasswordEdit), Qt::Key_Return);
    });
    EXPECT_EQ(result, GetParam().result);
    ASSERT_FALSE(messages.isEmpty());
    EXPECT_EQ(messages.first(), detail::ComposeMessage(17687));
    for (const QString &entry : before)
        EXPECT_TRUE(Listing(installation.dataFolder()).contains(entry)) << qPrintable(entry);
}

INSTANTIATE_TEST_SUITE_P(Answers, LoginStopTest,
                         ::testing::Values(SStopCase{"NoGoesOn", IDNO, LoginResult::SignedIn},
                                           SStopCase{"YesStops", IDYES, kStillOpen}),
                         [](const auto &info) { return std::string(info.param.name); });

} // namespace
