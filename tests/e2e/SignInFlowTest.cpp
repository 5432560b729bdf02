// The login window's work against the devserver's demo office, as a user starts the program:
// the checks of the fields, the online sign-in with the first data loaded, wrong passwords,
// offline work on the cache, the office choices of the saved logins, and a sign-in stopped
// while the folder tree loads.

#include "support/DevServer.h"
#include "support/Files.h"
#include "support/TempInstallation.h"

#include "account/LoginManager.h"
#include "account/LoginRecord.h"
#include "app/SharedGuiSystem.h"
#include "app/SignInFlow.h"
#include "app/System.h"
#include "core/BizProgress.h"
#include "core/Messages.h"
#include "files/SharedFileManager.h"
#include "folders/LocalWorkspaceManager.h"
#include "folders/SharedWorkspaceManager.h"

#include <QDir>
#include <QTimer>

#include <gtest/gtest.h>

namespace {

class SignInFlow : public InstallationTest<>
{
protected:
    void SetUp() override
    {
        InstallationTest::SetUp();
        server = DevServer::StartFor(installation, DevServer::DemoArgs());
        ASSERT_TRUE(server);
        Start();
    }
    void TearDown() override { systems.reset(); }

    // A program start: the saved logins read, nobody signed in.
    void Start()
    {
        systems.reset();
        systems = std::make_unique<CSystemObjects>();
        ASSERT_TRUE(systems->main()->StartReportingErrors());
        flow = std::make_unique<CSignInFlow>(*systems);
    }
    CLoginManager *login() const { return systems->main()->loginManager(); }
    static SLoginFields Fields(const QString &office, const QString &loginId,
                               const QString &password, bool save = false)
    {
        return SLoginFields{office, loginId, password, save};
    }

    std::unique_ptr<DevServer> server;
    std::unique_ptr<CSystemObjects> systems;
    std::unique_ptr<CSignInFlow> flow;
    CBizProgressHandler progress;
};

struct SFieldCase
{
    const char *name;
    SLoginFields fields;
    bool withOfficeId;
    ELoginField failing;
    QString message;
};

class SignInFields : public SignInFlow, public ::testing::WithParamInterface<SFieldCase>
{};

TEST_P(SignInFields, AreCheckedInControlOrder)
{
    const SFieldCase &c = GetParam();
    EXPECT_EQ(flow->Validate(c.fields, c.withOfficeId), c.failing);
    if (c.message.isEmpty())
        EXPECT_TRUE(messages.isEmpty());
    else
        EXPECT_EQ(messages, QStringList{c.message});
}

INSTANTIATE_TEST_SUITE_P(
    Fields, SignInFields,
    ::testing::Values(
        SFieldCase{"AllGiven", {"demo", "yamada", "pw"}, true, ELoginField::None, {}},
        SFieldCase{
            "OfficeMissing",
            {"", "", ""},
            true,
            ELoginField::OfficeId,
            QStringLiteral("「事業所ID」が未入力です。\r\n省略はできません。入力してください。")},
        SFieldCase{"OfficeNotAskedFor", {"", "yamada", "pw"}, false, ELoginField::None, {}},
        SFieldCase{"OfficeTooLong",
                   {QString(33, u'a'), "yamada", "pw"},
                   true,
                   ELoginField::OfficeId,
                   QStringLiteral("「事業所ID」は最大文字数 32 で入力してください。")},
        SFieldCase{
            "LoginMissing",
            {"demo", "", "pw"},
            true,
            ELoginField::LoginId,
            QStringLiteral("「ログインID」が未入力です。\r\n省略はできません。入力してください。")},
        SFieldCase{"PasswordOf17",
                   {"demo", "yamada", QString(17, u'p')},
                   true,
                   ELoginField::Password,
                   QStringLiteral("「パスワード」は最大文字数 16 で入力してください。")},
        SFieldCase{
            "PasswordOf16", {"demo", "yamada", QString(16, u'p')}, true, ELoginField::None, {}}),
    [](const auto &info) { return std::string(info.param.name); });

TEST_F(SignInFlow, OnlineSignInLoadsTheTreeThePageAndTheCache)
{
    EXPECT_EQ(flow->SignInOnline(Fields("demo", "yamada", "yamada-pass", true), &progress), 1);
    EXPECT_TRUE(messages.isEmpty()) << qPrintable(messages.join(u'|'));
    EXPECT_TRUE(login()->IsOnline());
    EXPECT_GT(systems->shared()->sharedWorkspaces()->list().size(), 10);
    // The root's page: the top folders as entries.
    EXPECT_GT(systems->shared()->sharedFiles()->list().size(), 3);
    // The cache follows the service's tree (a folder visited gets its directory) and the
    // saved login remembers the password.
    EXPECT_EQ(systems->local()->sharedSystem(), systems->shared());
    EXPECT_EQ(systems->local()->localWorkspaces()->shared(), systems->shared()->sharedWorkspaces());
    EXPECT_NE(systems->local()->localWorkspaces()->FindById(server->folderId("経理/2024")),
              nullptr);
    EXPECT_EQ(flow->openedFolderId(), 0);
    Start();
    ASSERT_NE(login()->currentLogin(), nullptr);
    EXPECT_EQ(login()->currentLogin()->loginId, QStringLiteral("yamada"));
    EXPECT_EQ(login()->currentLogin()->password, QStringLiteral("yamada-pass"));
}

TEST_F(SignInFlow, WrongPasswordStaysWithOneMessage)
{
    EXPECT_EQ(flow->SignInOnline(Fields("demo", "yamada", "wrong"), &progress), 0);
    EXPECT_EQ(messages, QStringList{detail::ComposeMessage(18193)});
    EXPECT_FALSE(login()->IsSignedIn());
}

TEST_F(SignInFlow, OfflineWorkNeedsTheRememberedPassword)
{
    ASSERT_EQ(flow->SignInOnline(Fields("demo", "yamada", "yamada-pass", true), &progress), 1);
    Start();
    EXPECT_EQ(flow->StartOfflineWork(Fields("demo", "yamada", "another"), &progress), 0);
    EXPECT_EQ(messages, QStringList{detail::ComposeMessage(18193)});
    messages.clear();
    EXPECT_EQ(flow->StartOfflineWork(Fields("demo", "yamada", "yamada-pass", true), &progress),
              21265);
    EXPECT_TRUE(messages.isEmpty()) << qPrintable(messages.join(u'|'));
    EXPECT_TRUE(login()->IsSignedIn());
    EXPECT_FALSE(login()->IsOnline());
    EXPECT_EQ(systems->local()->sharedSystem(), nullptr);
}

TEST_F(SignInFlow, OfficeChoicesListEachOfficeOnceAndDeleteAfterAsking)
{
    ASSERT_EQ(flow->SignInOnline(Fields("demo", "yamada", "yamada-pass")), 1);
    ASSERT_EQ(flow->SignInOnline(Fields("demo", "suzuki", "suzuki-pass")), 1);
    Start();
    ASSERT_EQ(login()->savedLogins().size(), 2);
    const QList<CLoginRecord *> choices = flow->OfficeChoices();
    ASSERT_EQ(choices.size(), 1);
    EXPECT_FALSE(choices.first()->customerLoginDispName.isEmpty());
    EXPECT_EQ(CSignInFlow::ChoiceOf(choices, QStringLiteral("Demo")), 0);
    EXPECT_EQ(CSignInFlow::ChoiceOf(choices, QString()), -1);
    const SLoginFields filled = CSignInFlow::FieldsOf(*choices.first());
    EXPECT_EQ(filled.loginId, choices.first()->loginId);
    EXPECT_TRUE(filled.password.isEmpty()); // not saved

    installation.answers = {IDNO};
    EXPECT_FALSE(flow->DeleteOffice(*choices.first()));
    EXPECT_EQ(login()->savedLogins().size(), 2);
    installation.answers = {IDYES};
    EXPECT_TRUE(flow->DeleteOffice(*choices.first()));
    EXPECT_EQ(login()->savedLogins().size(), 0);
    EXPECT_TRUE(flow->OfficeChoices().isEmpty());
    EXPECT_EQ(messages.count(detail::ComposeMessage(18194)), 2);
}

TEST_F(SignInFlow, SignInStoppedWhileTheTreeLoadsDeletesNothingLocal)
{
    ASSERT_EQ(flow->SignInOnline(Fields("demo", "yamada", "yamada-pass", true), &progress), 1);
    for (const char *path : {"経理/2024", "給与/2024年度", "共有/テンプレート"})
        ASSERT_NE(systems->local()->localWorkspaces()->FindById(server->folderId(path)), nullptr);
    const qsizetype mirrored = systems->local()->localWorkspaces()->list().size();
    const QStringList before = Listing(installation.dataFolder());
    Start();
    server->hook(QStringLiteral("fail"),
                 {{"op", "workspace/list"}, {"mode", "delay"}, {"ms", "1500"}});
    QTimer::singleShot(300, [this] { progress.Cancel(); });
    EXPECT_EQ(flow->SignInOnline(Fields("demo", "yamada", "yamada-pass", true), &progress), 0);
    EXPECT_TRUE(messages.isEmpty()) << qPrintable(messages.join(u'|'));
    EXPECT_EQ(Listing(installation.dataFolder()), before);
    Start();
    CBizProgressHandler fresh;
    EXPECT_EQ(flow->StartOfflineWork(Fields("demo", "yamada", "yamada-pass", true), &fresh), 21265);
    EXPECT_EQ(systems->local()->localWorkspaces()->list().size(), mirrored);
}

TEST_F(SignInFlow, TreeAnswerCutShortDeletesNothingLocal)
{
    ASSERT_EQ(flow->SignInOnline(Fields("demo", "yamada", "yamada-pass", true), &progress), 1);
    for (const char *path : {"経理/2024", "給与/2024年度"})
        ASSERT_NE(systems->local()->localWorkspaces()->FindById(server->folderId(path)), nullptr);
    const QStringList before = Listing(installation.dataFolder());
    Start();
    // The tree's answer breaks off halfway, every time (the transport retries once).
    server->hook(QStringLiteral("fail"),
                 {{"op", "workspace/list"}, {"mode", "cut"}, {"count", "5"}});
    EXPECT_EQ(flow->SignInOnline(Fields("demo", "yamada", "yamada-pass", true), &progress), 0);
    EXPECT_FALSE(messages.isEmpty());
    for (const QString &entry : before)
        EXPECT_TRUE(Listing(installation.dataFolder()).contains(entry)) << qPrintable(entry);
}

} // namespace
