// The version dialog before a sign-in and while signed in as an office user and as a
// client-business user, against the devserver's demo office.

#include "e2e/SignedInSession.h"

#include "ui/dialogs/VersionInfoDialog.h"
#include "ui/toolkit/KeyboardState.h"

#include "core/AppState.h"
#include "core/OsUtils.h"
#include "core/Paths.h"

#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>

namespace {

class VersionDialog : public SignedInSession
{
protected:
    void SetUp() override
    {
        SignedInSession::SetUp();
        previousQuery = SetHeldModifiersQuery([this] { return held; });
    }
    void TearDown() override
    {
        SetHeldModifiersQuery(previousQuery);
        SignedInSession::TearDown();
    }
    static QString Text(const CVersionInfoDialog &dialog, int id)
    {
        auto *label = dialog.controlAs<QLabel>(id);
        return label ? label->text() : QStringLiteral("<none>");
    }
    static bool Visible(const CVersionInfoDialog &dialog, int id)
    {
        QWidget *control = dialog.control(id);
        return control && !control->isHidden();
    }

    Qt::KeyboardModifiers held = Qt::NoModifier;
    std::function<Qt::KeyboardModifiers()> previousQuery;
};

TEST_F(VersionDialog, BeforeSignInAsksNothingAndHidesTheLoginLine)
{
    login()->SignOut();
    server->clearRequestLog();
    CVersionInfoDialog dialog(systems->main());
    EXPECT_EQ(Text(dialog, 21272), ProgramVersionText());
    EXPECT_EQ(Text(dialog, 21273), QString());
    EXPECT_EQ(Text(dialog, 21262), QStringLiteral("※ログインしていません"));
    EXPECT_FALSE(Visible(dialog, 21262));
    EXPECT_FALSE(Visible(dialog, 21276));
    EXPECT_EQ(server->callCount(QStringLiteral("autoupdate/version")), 0);

    // Shift+Ctrl while the dialog is built shows the line.
    held = Qt::ShiftModifier | Qt::ControlModifier;
    CVersionInfoDialog withKeys(systems->main());
    EXPECT_TRUE(Visible(withKeys, 21262));
    EXPECT_TRUE(Visible(withKeys, 21276));
}

TEST_F(VersionDialog, SignedInShowsTheNewestVersionRemarkAndTheUser)
{
    {
        CVersionInfoDialog dialog(systems->main());
        EXPECT_EQ(Text(dialog, 21273), QStringLiteral("（最新版です）"));
        EXPECT_EQ(Text(dialog, 21262), login()->currentUser()->name);
        EXPECT_TRUE(Visible(dialog, 21262)); // an office user
    }
    server->hook(QStringLiteral("update"), {{"version", "9.8.7.6"}});
    CVersionInfoDialog dialog(systems->main());
    EXPECT_EQ(Text(dialog, 21273), QStringLiteral("（最新版:9.8.7.6 を利用可能です）"));
    dialog.show();
    auto *environment = dialog.controlAs<QPlainTextEdit>(21275);
    ASSERT_NE(environment, nullptr);
    const QStringList lines = environment->toPlainText().split(u'\n');
    ASSERT_EQ(lines.size(), 4);
    EXPECT_TRUE(lines.at(0).startsWith(QStringLiteral("［OS］")));
    EXPECT_TRUE(lines.at(2).startsWith(QStringLiteral("［サービスパック］")));
    EXPECT_EQ(lines.at(3), QStringLiteral("［PC名］") + login()->currentUser()->pcName);
    EXPECT_TRUE(environment->isReadOnly());
    EXPECT_TRUE(dialog.controlAs<QPushButton>(1)->hasFocus() || !dialog.isActiveWindow());
}

TEST_F(VersionDialog, ClientBusinessUserKeepsTheLoginLineHidden)
{
    SignIn(QStringLiteral("suzuki"));
    CVersionInfoDialog dialog(systems->main());
    EXPECT_EQ(Text(dialog, 21262), login()->currentUser()->name);
    EXPECT_FALSE(Visible(dialog, 21262));
    EXPECT_FALSE(Visible(dialog, 21276));
}

TEST_F(VersionDialog, SupportModeAddsTheFoldersAndTheClientKey)
{
    AppState::SetSupportMode(true);
    const QString text = CVersionInfoDialog::EnvironmentText(systems->main(), true);
    AppState::SetSupportMode(false);
    const QStringList lines = text.split(QStringLiteral("\r\n"));
    ASSERT_EQ(lines.size(), 7);
    EXPECT_EQ(lines.at(4), QDir::currentPath());
    EXPECT_EQ(lines.at(5), DataPath());
    EXPECT_EQ(lines.at(6), login()->clientKey());
}

} // namespace
