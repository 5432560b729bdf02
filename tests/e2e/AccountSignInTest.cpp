// Sign-in, sign-out and saved logins against the devserver.
#include "account/AccountFixture.h"
#include "support/DevServer.h"

#include "account/AccountRequests.h"
#include "account/LoginManager.h"
#include "account/UpdateRequests.h"
#include "core/OsUtils.h"
#include "core/Paths.h"
#include "service/RequestException.h"
#include "store/Archive.h"

namespace {

class AccountSignInTest : public AccountFixture
{
protected:
    void SetUp() override
    {
        AccountFixture::SetUp();
        server = DevServer::StartFor(installation);
        ASSERT_TRUE(server);
    }

    // A fresh manager as at program start: reads logins.vqr.
    std::unique_ptr<CLoginManager> StartManager()
    {
        auto m = std::make_unique<CLoginManager>();
        EXPECT_TRUE(m->LoadSavedLogins());
        return m;
    }

    QString FaultOf(const std::function<void()> &f)
    {
        try {
            f();
        } catch (const CRequestException &e) {
            lastFaultText = FaultText(e);
            return e.code();
        }
        return {};
    }

    std::unique_ptr<DevServer> server;
    QString lastFaultText;
};

} // namespace

TEST_F(AccountSignInTest, FirstSignInRegistersThenLogsIn)
{
    auto m = StartManager();
    ASSERT_TRUE(m->SignIn("demo", "yamada", "yamada-pass", true));
    EXPECT_EQ(server->callCount("register"), 1);
    EXPECT_EQ(server->callCount("login"), 1);
    ASSERT_NE(m->currentUser(), nullptr);
    const CUserRecord &u = *m->currentUser();
    EXPECT_EQ(u.name, "山田 太郎");
    EXPECT_EQ(u.type, 1);
    EXPECT_TRUE(u.privBulkDownload);
    EXPECT_FALSE(u.customerLoginDispName.isEmpty());
    EXPECT_EQ(m->officeFlag(), 1);
    QString pcName;
    ComputerName(pcName);
    EXPECT_EQ(u.pcName, pcName); // the service echoes the name the login sent
    EXPECT_FALSE(m->accessKey().isEmpty());
    EXPECT_FALSE(m->clientKey().isEmpty());
    EXPECT_TRUE(m->IsOnline());

    // The access key works for the next operation.
    bool changed = false;
    EXPECT_TRUE(m->CheckUpdateCounter(changed));

    ASSERT_TRUE(m->SaveSavedLogins());
    CLoginList list;
    CBizArchiveReader ar(ReadFile(loginsFile()));
    list.Deserialize(ar);
    EXPECT_TRUE(ar.atEnd());
    ASSERT_EQ(list.GetCount(), 1);
    EXPECT_EQ(list.GetHead()->Key(), "demo.yamada");
    EXPECT_EQ(list.GetHead()->clientKey, m->clientKey());
    EXPECT_EQ(list.GetHead()->customerLoginDispName, u.customerLoginDispName);
}

TEST_F(AccountSignInTest, SecondSignInReusesTheSavedClientKey)
{
    {
        auto m = StartManager();
        ASSERT_TRUE(m->SignIn("demo", "yamada", "yamada-pass", true));
        ASSERT_TRUE(m->SaveSavedLogins());
    }
    server->clearRequestLog();
    auto m = StartManager();
    const QString savedKey = m->clientKey();
    ASSERT_TRUE(m->SignIn("demo", "yamada", "yamada-pass", true));
    EXPECT_EQ(server->callCount("register"), 0);
    EXPECT_EQ(server->callCount("login"), 1);
    EXPECT_EQ(m->clientKey(), savedKey);
}

TEST_F(AccountSignInTest, ExpiredClientKeyRegistersOnceAndKeepsTheSavedLogin)
{
    auto m = StartManager();
    ASSERT_TRUE(m->SignIn("demo", "yamada", "yamada-pass", true));
    ASSERT_TRUE(m->SignIn("demo", "suzuki", "suzuki-pass", true));
    ASSERT_TRUE(m->SaveSavedLogins());
    CLoginRecord *yamada = m->savedLogins().Lookup("demo.yamada");
    const QString oldKey = yamada->clientKey;
    server->hook("expire", {{"clientKey", oldKey}});
    server->clearRequestLog();

    ASSERT_TRUE(m->SignIn("demo", "yamada", "yamada-pass", true));
    EXPECT_EQ(server->callCount("register"), 1);
    EXPECT_EQ(server->callCount("login"), 2); // the refused one and the new one
    EXPECT_EQ(m->savedLogins().GetCount(), 2);
    EXPECT_EQ(m->savedLogins().Lookup("demo.yamada"), yamada);
    EXPECT_NE(yamada->clientKey, oldKey);
    EXPECT_TRUE(m->IsOnline());

    ASSERT_TRUE(m->SaveSavedLogins());
    auto again = StartManager();
    EXPECT_EQ(again->savedLogins().Lookup("demo.yamada")->clientKey, yamada->clientKey);
    ExpectNoSecret(oldKey);
}

TEST_F(AccountSignInTest, WrongPasswordIsFault20103)
{
    auto m = StartManager();
    EXPECT_EQ(FaultOf([&] { m->SignIn("demo", "yamada", "not-the-pass", true); }), "20103");
    EXPECT_TRUE(CLoginManager::IsLoginRejected("20103"));
    EXPECT_FALSE(m->IsSignedIn());
    EXPECT_TRUE(m->savedLogins().IsEmpty());
    EXPECT_FALSE(lastFaultText.contains("not-the-pass"));
    ExpectNoSecret("not-the-pass");
}

TEST_F(AccountSignInTest, SignOutEndsTheKeyAndForgetsThePassword)
{
    auto m = StartManager();
    ASSERT_TRUE(m->SignIn("demo", "yamada", "yamada-pass", true));
    const QString key = m->accessKey();
    ASSERT_TRUE(m->SignOut());
    EXPECT_EQ(server->callCount("logout"), 1);
    EXPECT_FALSE(m->IsSignedIn());
    const CLoginRecord *r = m->savedLogins().Lookup("demo.yamada");
    EXPECT_TRUE(r->password.isEmpty());
    EXPECT_TRUE(r->accessKey.isEmpty());

    // The service no longer knows the key.
    CUpdateCounterRequest request(key);
    EXPECT_EQ(FaultOf([&] { request.ExecuteGet(); }), "10002");

    // The cleared password reaches the file with the next save.
    ASSERT_TRUE(m->SaveSavedLogins());
    auto again = StartManager();
    EXPECT_TRUE(again->savedLogins().Lookup("demo.yamada")->password.isEmpty());
    EXPECT_FALSE(again->SignInOffline("demo", "yamada", "yamada-pass", true));
}

TEST_F(AccountSignInTest, OfflineSignInWithTheRememberedPassword)
{
    {
        auto m = StartManager();
        ASSERT_TRUE(m->SignIn("demo", "suzuki", "suzuki-pass", true));
        ASSERT_TRUE(m->SaveSavedLogins());
    } // the program ended without signing out (for example the service was unreachable)
    server->clearRequestLog();

    auto m = StartManager();
    EXPECT_FALSE(m->SignInOffline("demo", "suzuki", "Suzuki-pass", true));
    EXPECT_FALSE(m->SignInOffline("demo", "suzuki", "other", true));
    ASSERT_TRUE(m->SignInOffline("demo", "suzuki", "suzuki-pass", true));
    EXPECT_TRUE(m->IsSignedIn());
    EXPECT_FALSE(m->IsOnline());
    EXPECT_EQ(m->officeFlag(), 0); // suzuki is of type 20
    EXPECT_EQ(m->UserDataPath(), DataPath("demo/suzuki"));
    EXPECT_TRUE(server->requestLog().isEmpty());
}

TEST_F(AccountSignInTest, UpdateCounterSeesChangesOfOthers)
{
    auto m = StartManager();
    ASSERT_TRUE(m->SignIn("demo", "yamada", "yamada-pass", true));
    bool changed = false;
    ASSERT_TRUE(m->CheckUpdateCounter(changed));
    ASSERT_TRUE(m->CheckUpdateCounter(changed));
    EXPECT_FALSE(changed);
    int edits = 0;
    const auto changeSomething = [&] {
        server->hook("file/content", {{"folderPath", "経理/2024"},
                                      {"path", "/売上集計_2024.xlsx"},
                                      {"content", QString::number(++edits)}});
    };
    // A change made elsewhere is seen.
    changeSomething();
    ASSERT_TRUE(m->CheckUpdateCounter(changed));
    EXPECT_TRUE(changed);
    const quint32 seen = m->lastUpdateCounter();

    // A change counted as our own is not.
    changeSomething();
    ASSERT_TRUE(m->CheckUpdateCounterAfterOwnChanges(changed, 1));
    EXPECT_FALSE(changed);
    EXPECT_EQ(m->lastUpdateCounter(), seen + 1);

    // Ours plus somebody else's is.
    changeSomething();
    changeSomething();
    ASSERT_TRUE(m->CheckUpdateCounterAfterOwnChanges(changed, 1));
    EXPECT_TRUE(changed);
    EXPECT_EQ(m->lastUpdateCounter(), seen + 2); // the fetched value is not taken over
}

TEST_F(AccountSignInTest, NoticeCountersAndTheUpdatePackage)
{
    auto m = StartManager();
    ASSERT_TRUE(m->SignIn("demo", "yamada", "yamada-pass", false));
    const QString key = m->accessKey();
    CInformationCountRequest notices(key);
    ASSERT_TRUE(notices.ExecuteGet());
    EXPECT_GE(notices.unreadPopupCount(), 1);

    CAutoUpdateVersionRequest::SVersion version;
    CAutoUpdateVersionRequest versionRequest(key, &version);
    ASSERT_TRUE(versionRequest.ExecuteGet());
    EXPECT_FALSE(version.fileName.isEmpty());
    const QString package = base() + QStringLiteral("/package.bin");
    CAutoUpdateGetRequest get(key, package, version.fileDigest.toUpper());
    ASSERT_TRUE(get.ExecuteGet());
    EXPECT_EQ(Md5Of(package), version.fileDigest.toLower().toLatin1());
    QFile::remove(package);
    CAutoUpdateGetRequest wrong(key, package, QString(32, u'0'));
    EXPECT_THROW(wrong.ExecuteGet(), CRequestException); // 00002
    EXPECT_FALSE(QFile::exists(package));
}

TEST_F(AccountSignInTest, IncompleteLoginAnswerIsFault00002)
{
    auto m = StartManager();
    server->hook("fail", {{"op", "login"}, {"mode", "noelement"}});
    EXPECT_EQ(FaultOf([&] { m->SignIn("demo", "yamada", "yamada-pass", true); }), "00002");
    EXPECT_FALSE(m->IsSignedIn());
}

TEST_F(AccountSignInTest, NoSecretInAnyLogLineOrText)
{
    auto m = StartManager();
    ASSERT_TRUE(m->SignIn("demo", "yamada", "yamada-pass", true));
    const QString clientKey = m->clientKey();
    const QString accessKey = m->accessKey();
    server->hook("expire", {{"clientKey", clientKey}});
    ASSERT_TRUE(m->SignIn("demo", "yamada", "yamada-pass", true));
    const QString accessKey2 = m->accessKey();
    FaultOf([&] { m->SignIn("demo", "suzuki", "wrong-secret", true); });
    ASSERT_TRUE(m->SignIn("demo", "yamada", "yamada-pass", true));
    ASSERT_TRUE(m->SaveSavedLogins());
    ASSERT_TRUE(m->SignOut());
    ASSERT_FALSE(log.isEmpty());
    for (const QString &secret : {QString("yamada-pass"), QString("wrong-secret"), clientKey,
                                  accessKey, accessKey2, m->clientKey()})
        ExpectNoSecret(secret);
}
