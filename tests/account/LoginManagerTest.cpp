#include "AccountFixture.h"

#include "account/LoginManager.h"
#include "core/Paths.h"
#include "service/RequestException.h"
#include "store/Archive.h"
#include "store/Scramble.h"

#include <QFileInfo>
#include <QHash>
#include <QSet>

#include <csignal>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// The service as the sign-in sees it: users with passwords, client keys per login, faults.
class CFakeServiceLoginManager : public CLoginManager
{
public:
    struct SUser
    {
        QString password;
        qint32 type = 1;
        QString officeName;
    };

    void AddUser(const QString &office, const QString &login, const QString &password,
                 qint32 type = 1, const QString &officeName = {})
    {
        users.insert(CLoginRecord::MakeKey(office, login), {password, type, officeName});
    }
    void ExpireClientKey(const QString &clientKey) { expiredClientKeys.insert(clientKey); }

    QHash<QString, SUser> users;
    QHash<QString, QString> clientKeys; // client key -> login key
    QSet<QString> expiredClientKeys;
    QSet<QString> liveAccessKeys;
    QString loginFault;  // raised by the next login when set
    QString logoutFault; // raised by logout when set
    quint32 counter = 0;
    int registerCalls = 0;
    int loginCalls = 0;
    int logoutCalls = 0;
    int serial = 0;

protected:
    bool Register(const QString &officeId, const QString &loginId, QString &clientKey) override
    {
        ++registerCalls;
        clientKey = QStringLiteral("CLIENTKEY-%1").arg(++serial);
        clientKeys.insert(clientKey, CLoginRecord::MakeKey(officeId, loginId));
        return true;
    }
    bool Login(const QString &clientKey, const QString &password, QString &accessKey,
               CUserRecord *user) override
    {
        ++loginCalls;
        if (!loginFault.isEmpty())
            throw CRequestException(std::exchange(loginFault, QString()), "refused");
        if (expiredClientKeys.contains(clientKey))
            throw CRequestException("10003", "client key expired");
        const auto who = clientKeys.constFind(clientKey);
        if (who == clientKeys.cend())
            throw CRequestException("20203", "unknown client");
        const auto u = users.constFind(*who);
        if (u == users.cend() || u->password != password)
            throw CRequestException("20103", "wrong login");
        accessKey = QStringLiteral("ACCESSKEY-%1").arg(++serial);
        liveAccessKeys.insert(accessKey);
        if (user) {
            user->type = u->type;
            user->customerLoginDispName = u->officeName;
            user->maxFileSize = 1234;
        }
        return true;
    }
    bool Logout(const QString &accessKey) override
    {
        ++logoutCalls;
        if (!logoutFault.isEmpty())
            throw CRequestException(logoutFault, "no");
        return liveAccessKeys.remove(accessKey);
    }
    bool QueryUpdateCounter(const QString &accessKey, quint32 &value) override
    {
        if (!liveAccessKeys.contains(accessKey))
            throw CRequestException("10002", "unknown key");
        value = counter;
        return true;
    }
};

class LoginManagerTest : public AccountFixture
{
protected:
    void SetUp() override
    {
        AccountFixture::SetUp();
        m.AddUser("demo", "yamada", "yamada-pass", 1, "デモ会計事務所");
        m.AddUser("demo", "suzuki", "suzuki-pass", 20, "デモ会計事務所");
        m.AddUser("other", "tanaka", "tanaka-pass", 1, "他の事務所");
        m.AddUser("plain", "sato", "sato-pass", 1, "");
    }

    QStringList Keys(const CLoginList &list) const
    {
        QStringList keys;
        for (const CLoginRecord *r : list)
            keys << r->Key();
        return keys;
    }

    CFakeServiceLoginManager m;
};

QString FaultCodeOf(const std::function<void()> &f)
{
    try {
        f();
    } catch (const CRequestException &e) {
        return e.code();
    }
    return {};
}

} // namespace

TEST_F(LoginManagerTest, FirstSignInRegistersThenLogsIn)
{
    ASSERT_TRUE(m.SignIn("demo", "yamada", "yamada-pass", true));
    EXPECT_EQ(m.registerCalls, 1);
    EXPECT_EQ(m.loginCalls, 1);
    EXPECT_TRUE(m.IsSignedIn());
    EXPECT_TRUE(m.IsOnline());
    EXPECT_EQ(m.officeId(), "demo");
    EXPECT_EQ(m.loginId(), "yamada");
    EXPECT_EQ(m.clientKey(), "CLIENTKEY-1");
    EXPECT_TRUE(m.accessKey().startsWith("ACCESSKEY-"));
    EXPECT_EQ(m.password(), "yamada-pass");
    EXPECT_TRUE(m.savePassword());
    EXPECT_EQ(m.officeFlag(), 1);
    ASSERT_NE(m.currentUser(), nullptr);
    EXPECT_EQ(m.currentUser()->maxFileSize, 1234);
    ASSERT_EQ(m.savedLogins().GetCount(), 1);
    const CLoginRecord *r = m.savedLogins().GetHead();
    EXPECT_EQ(r, m.currentLogin());
    EXPECT_EQ(r->clientKey, "CLIENTKEY-1");
    EXPECT_EQ(r->customerLoginDispName, "デモ会計事務所");
    EXPECT_EQ(Keys(m.officeList()), QStringList{"demo.yamada"});
}

TEST_F(LoginManagerTest, LaterSignInReusesTheSavedClientKeyAndMovesToFront)
{
    ASSERT_TRUE(m.SignIn("demo", "yamada", "yamada-pass", true));
    ASSERT_TRUE(m.SignIn("demo", "suzuki", "suzuki-pass", false));
    EXPECT_EQ(Keys(m.savedLogins()), (QStringList{"demo.suzuki", "demo.yamada"}));
    EXPECT_EQ(m.officeFlag(), 0); // type 20
    EXPECT_FALSE(m.savePassword());

    m.registerCalls = 0;
    ASSERT_TRUE(m.SignIn("demo", "yamada", "yamada-pass", true));
    EXPECT_EQ(m.registerCalls, 0);
    EXPECT_EQ(m.clientKey(), "CLIENTKEY-1");
    EXPECT_EQ(Keys(m.savedLogins()), (QStringList{"demo.yamada", "demo.suzuki"}));
}

TEST_F(LoginManagerTest, ExpiredClientKeyRegistersOnceAndKeepsTheRecord)
{
    ASSERT_TRUE(m.SignIn("demo", "yamada", "yamada-pass", true));
    ASSERT_TRUE(m.SignIn("other", "tanaka", "tanaka-pass", true));
    CLoginRecord *yamada = m.savedLogins().Lookup("demo.yamada");
    const QString oldKey = yamada->clientKey;
    m.ExpireClientKey(oldKey);
    m.registerCalls = 0;

    ASSERT_TRUE(m.SignIn("demo", "yamada", "yamada-pass", true));
    EXPECT_EQ(m.registerCalls, 1);
    EXPECT_EQ(m.savedLogins().GetCount(), 2);
    EXPECT_EQ(m.savedLogins().Lookup("demo.yamada"), yamada); // the same record, no copy
    EXPECT_NE(yamada->clientKey, oldKey);
    EXPECT_EQ(m.clientKey(), yamada->clientKey);
    EXPECT_EQ(m.savedLogins().GetHead(), yamada);
}

TEST_F(LoginManagerTest, RejectedLoginRaisesAndChangesNothing)
{
    ASSERT_TRUE(m.SignIn("demo", "yamada", "yamada-pass", true));
    m.SignOut();
    const QString code = FaultCodeOf([&] { m.SignIn("demo", "yamada", "WRONG-pass", true); });
    EXPECT_EQ(code, "20103");
    EXPECT_TRUE(CLoginManager::IsLoginRejected(code));
    EXPECT_TRUE(CLoginManager::IsLoginRejected("20203"));
    EXPECT_FALSE(CLoginManager::IsLoginRejected("10003"));
    EXPECT_FALSE(m.IsSignedIn());
    EXPECT_EQ(m.currentUser(), nullptr);

    // A new login that the service refuses is not remembered (no stray client key).
    EXPECT_EQ(FaultCodeOf([&] { m.SignIn("demo", "suzuki", "nope", true); }), "20103");
    EXPECT_EQ(Keys(m.savedLogins()), QStringList{"demo.yamada"});
    ExpectNoSecret("WRONG-pass");
    ExpectNoSecret("yamada-pass");
}

TEST_F(LoginManagerTest, OtherFaultsOfTheSavedKeyPropagateWithoutRegistering)
{
    ASSERT_TRUE(m.SignIn("demo", "yamada", "yamada-pass", true));
    m.registerCalls = 0;
    m.loginFault = "10002";
    EXPECT_EQ(FaultCodeOf([&] { m.SignIn("demo", "yamada", "yamada-pass", true); }), "10002");
    EXPECT_EQ(m.registerCalls, 0);
}

TEST_F(LoginManagerTest, IncompleteInputOrUnsafeIdsDoNotReachTheService)
{
    const QStringList bad[] = {{"", "yamada", "p"},   {"demo", "", "p"}, {"demo", "yamada", ""},
                               {"..", "yamada", "p"}, {"a/b", "x", "p"}, {"demo", "../x", "p"},
                               {"demo", "a\\b", "p"}};
    for (const QStringList &in : bad) {
        EXPECT_FALSE(m.SignIn(in[0], in[1], in[2], true)) << in.join('|').toStdString();
    }
    EXPECT_EQ(m.registerCalls + m.loginCalls, 0);
    EXPECT_FALSE(m.IsSignedIn());
}

TEST_F(LoginManagerTest, OfficeNameReachesEveryLoginOfTheOffice)
{
    m.AddUser("DEMO", "suzuki", "suzuki-pass", 20, "古い名前");
    ASSERT_TRUE(m.SignIn("demo", "yamada", "yamada-pass", true));
    ASSERT_TRUE(m.SignIn("DEMO", "suzuki", "suzuki-pass", true)); // office ID typed otherwise
    m.users["demo.yamada"].officeName = "新しい名前";
    ASSERT_TRUE(m.SignIn("demo", "yamada", "yamada-pass", true));
    EXPECT_EQ(m.savedLogins().Lookup("DEMO.suzuki")->customerLoginDispName, "新しい名前");
    EXPECT_EQ(m.officeList().GetCount(), 2);
}

TEST_F(LoginManagerTest, SignOutLogsOutAndForgetsPasswordAndAccessKey)
{
    ASSERT_TRUE(m.SignIn("demo", "yamada", "yamada-pass", true));
    const QString key = m.accessKey();
    ASSERT_TRUE(m.SignOut());
    EXPECT_EQ(m.logoutCalls, 1);
    EXPECT_FALSE(m.liveAccessKeys.contains(key));
    EXPECT_FALSE(m.IsSignedIn());
    EXPECT_TRUE(m.accessKey().isEmpty());
    const CLoginRecord *r = m.savedLogins().Lookup("demo.yamada");
    EXPECT_TRUE(r->password.isEmpty());
    EXPECT_TRUE(r->accessKey.isEmpty());
    EXPECT_EQ(r->clientKey, "CLIENTKEY-1"); // the registration stays

    // Signing out again needs no request.
    EXPECT_TRUE(m.SignOut());
    EXPECT_EQ(m.logoutCalls, 1);
}

TEST_F(LoginManagerTest, FailedLogoutStillEndsTheSignIn)
{
    ASSERT_TRUE(m.SignIn("demo", "yamada", "yamada-pass", true));
    m.logoutFault = "10004";
    EXPECT_THROW(m.SignOut(), CRequestException);
    EXPECT_FALSE(m.IsSignedIn());
    EXPECT_FALSE(m.IsOnline());
    // The password stays remembered: offline work is still possible.
    EXPECT_EQ(m.savedLogins().Lookup("demo.yamada")->password, "yamada-pass");
}

TEST_F(LoginManagerTest, OfflineSignInNeedsTheRememberedPasswordExactly)
{
    ASSERT_TRUE(m.SignIn("demo", "yamada", "yamada-pass", true));
    ASSERT_TRUE(m.SignIn("demo", "suzuki", "suzuki-pass", true));

    EXPECT_FALSE(m.SignInOffline("demo", "yamada", "Yamada-pass", true));
    EXPECT_FALSE(m.SignInOffline("demo", "yamada", "", true));
    EXPECT_FALSE(m.SignInOffline("demo", "nobody", "yamada-pass", true));
    ASSERT_TRUE(m.SignInOffline("demo", "yamada", "yamada-pass", false));
    EXPECT_TRUE(m.IsSignedIn());
    EXPECT_FALSE(m.IsOnline());
    EXPECT_TRUE(m.accessKey().isEmpty());
    EXPECT_FALSE(m.savePassword());
    EXPECT_EQ(m.savedLogins().GetHead()->Key(), "demo.yamada");
    EXPECT_EQ(m.savedLogins().GetHead()->savePassword, 0);
    EXPECT_EQ(m.loginCalls, 2); // no service involved

    // Offline sign-out sends nothing.
    EXPECT_TRUE(m.SignOut());
    EXPECT_EQ(m.logoutCalls, 0);
}

TEST_F(LoginManagerTest, AfterSignOutNoPasswordSignsInOffline)
{
    ASSERT_TRUE(m.SignIn("demo", "yamada", "yamada-pass", true));
    ASSERT_TRUE(m.SignOut());
    EXPECT_FALSE(m.SignInOffline("demo", "yamada", "yamada-pass", true));
    EXPECT_FALSE(m.SignInOffline("demo", "yamada", "", true)); // cleared is not "empty password"
}

TEST_F(LoginManagerTest, SaveAndLoadRoundTrip)
{
    ASSERT_TRUE(m.SignIn("demo", "yamada", "yamada-pass", true));
    ASSERT_TRUE(m.SignIn("plain", "sato", "sato-pass", false));
    ASSERT_TRUE(m.SaveSavedLogins());
    const QByteArray bytes = ReadFile(loginsFile());
    ASSERT_FALSE(bytes.isEmpty());

    // The file as the archive reader sees it.
    CLoginList list;
    CBizArchiveReader ar(bytes);
    list.Deserialize(ar);
    EXPECT_TRUE(ar.atEnd());
    EXPECT_EQ(Keys(list), (QStringList{"plain.sato", "demo.yamada"}));
    EXPECT_TRUE(list.At(0)->accessKey.isEmpty());

    CFakeServiceLoginManager fresh;
    ASSERT_TRUE(fresh.LoadSavedLogins());
    EXPECT_TRUE(messages.isEmpty());
    EXPECT_EQ(Keys(fresh.savedLogins()), (QStringList{"plain.sato", "demo.yamada"}));
    EXPECT_EQ(fresh.currentLogin(), fresh.savedLogins().GetHead());
    EXPECT_EQ(fresh.officeId(), "plain");
    EXPECT_EQ(fresh.password(), "sato-pass");
    EXPECT_FALSE(fresh.savePassword());
    EXPECT_FALSE(fresh.IsSignedIn());
    EXPECT_EQ(Keys(fresh.officeList()), QStringList{"demo.yamada"}); // only named offices
    EXPECT_TRUE(fresh.SignInOffline("demo", "yamada", "yamada-pass", true));
    ExpectNoSecret("CLIENTKEY-1");
}

TEST_F(LoginManagerTest, MissingFileStartsEmptyAndMakesTheDataFolder)
{
    ASSERT_TRUE(m.LoadSavedLogins());
    EXPECT_TRUE(m.savedLogins().IsEmpty());
    EXPECT_EQ(m.currentLogin(), nullptr);
    EXPECT_TRUE(QFileInfo(dataFolder()).isDir());
    EXPECT_TRUE(messages.isEmpty());
}

struct SDamage
{
    const char *name;
    int cutFromEnd; // of a valid three-record file
    int keepFirst;  // bytes kept from the start; 0: all
    bool garbage;
    int expectedRecords;
};

class LoginsDamage : public LoginManagerTest, public ::testing::WithParamInterface<SDamage>
{};

TEST_P(LoginsDamage, ReportsRemovesAndKeepsWhatWasRead)
{
    ASSERT_TRUE(m.SignIn("other", "tanaka", "tanaka-pass", true));
    ASSERT_TRUE(m.SignIn("demo", "suzuki", "suzuki-pass", true));
    ASSERT_TRUE(m.SignIn("demo", "yamada", "yamada-pass", true));
    ASSERT_TRUE(m.SaveSavedLogins());
    QByteArray bytes = ReadFile(loginsFile());
    const SDamage d = GetParam();
    bytes.chop(d.cutFromEnd);
    if (d.keepFirst > 0)
        bytes.truncate(d.keepFirst);
    if (d.garbage)
        bytes = QByteArray("\x66\x00\xff\xff\xff\xff\xff\x7f garbage", 17);
    ASSERT_TRUE(WriteFile(loginsFile(), bytes));

    CFakeServiceLoginManager fresh;
    EXPECT_TRUE(fresh.LoadSavedLogins());
    ASSERT_EQ(messages.size(), 1);
    EXPECT_EQ(messages[0], "システムファイル（logins.vqr）が不正です。\r\n削除しました。");
    EXPECT_FALSE(QFileInfo::exists(loginsFile()));
    EXPECT_EQ(fresh.savedLogins().GetCount(), d.expectedRecords);
    if (d.expectedRecords > 0) {
        EXPECT_EQ(fresh.currentLogin(), fresh.savedLogins().GetHead());
    }
    ExpectNoSecret("yamada-pass");
}

INSTANTIATE_TEST_SUITE_P(, LoginsDamage,
                         ::testing::Values(SDamage{"lastRecordCut", 3, 0, false, 2},
                                           SDamage{"onlyVersionWord", 0, 2, false, 0},
                                           SDamage{"garbage", 0, 0, true, 0}),
                         [](const auto &info) { return std::string(info.param.name); });

TEST_F(LoginManagerTest, Version101FileIsRewrittenAs102)
{
    CBizArchiveWriter w;
    w.WriteWord(101);
    w.WriteCount(1);
    w.WriteText("demo");
    w.WriteText("yamada");
    w.WriteText(ScrambleText("CLIENTKEY-OLD", 0));
    w.WriteText(ScrambleText("yamada-pass", 0));
    w.WriteInt32(1);
    w.WriteInt32(1);
    ASSERT_TRUE(WriteFile(loginsFile(), w.data()));

    ASSERT_TRUE(m.LoadSavedLogins());
    ASSERT_EQ(m.savedLogins().GetCount(), 1);
    EXPECT_TRUE(m.savedLogins().GetHead()->customerLoginDispName.isEmpty());
    EXPECT_TRUE(m.officeList().IsEmpty());
    EXPECT_EQ(m.clientKey(), "CLIENTKEY-OLD");
    ASSERT_TRUE(m.SaveSavedLogins());
    const QByteArray bytes = ReadFile(loginsFile());
    ASSERT_GE(bytes.size(), 2);
    EXPECT_EQ(quint8(bytes[0]), 102);
    EXPECT_EQ(quint8(bytes[1]), 0);
}

TEST_F(LoginManagerTest, RemoveOfficeOfTheCurrentLoginChoosesTheNextNamedOne)
{
    ASSERT_TRUE(m.SignIn("plain", "sato", "sato-pass", true));     // no name
    ASSERT_TRUE(m.SignIn("other", "tanaka", "tanaka-pass", true)); // 他の事務所
    ASSERT_TRUE(m.SignIn("demo", "suzuki", "suzuki-pass", true));
    ASSERT_TRUE(m.SignIn("demo", "yamada", "yamada-pass", true));
    // demo.yamada, demo.suzuki, other.tanaka, plain.sato
    m.SignOut();
    ASSERT_TRUE(m.RemoveOffice("デモ会計事務所"));
    EXPECT_EQ(Keys(m.savedLogins()), (QStringList{"other.tanaka", "plain.sato"}));
    EXPECT_EQ(m.currentLogin()->Key(), "other.tanaka");
    EXPECT_EQ(m.officeId(), "other");
    EXPECT_EQ(Keys(m.officeList()), QStringList{"other.tanaka"});

    CFakeServiceLoginManager fresh;
    ASSERT_TRUE(fresh.LoadSavedLogins());
    EXPECT_EQ(Keys(fresh.savedLogins()), (QStringList{"other.tanaka", "plain.sato"}));
}

TEST_F(LoginManagerTest, RemoveLastNamedOfficeKeepsTheUnnamedLogins)
{
    ASSERT_TRUE(m.SignIn("plain", "sato", "sato-pass", true));
    ASSERT_TRUE(m.SignIn("demo", "yamada", "yamada-pass", true));
    ASSERT_TRUE(m.RemoveOffice("デモ会計事務所"));
    EXPECT_EQ(m.currentLogin(), nullptr);
    EXPECT_TRUE(m.officeId().isEmpty());
    EXPECT_EQ(Keys(m.savedLogins()), QStringList{"plain.sato"});
    EXPECT_TRUE(m.officeList().IsEmpty());
}

TEST_F(LoginManagerTest, RemoveAnotherOfficeKeepsTheCurrentLogin)
{
    ASSERT_TRUE(m.SignIn("other", "tanaka", "tanaka-pass", true));
    ASSERT_TRUE(m.SignIn("demo", "yamada", "yamada-pass", true));
    ASSERT_TRUE(m.RemoveOffice("他の事務所"));
    EXPECT_EQ(m.currentLogin()->Key(), "demo.yamada");
    EXPECT_EQ(Keys(m.savedLogins()), QStringList{"demo.yamada"});
}

TEST_F(LoginManagerTest, UserDataPathIsBelowOfficeAndLogin)
{
    EXPECT_THROW(m.UserDataPath(), CBizOsException);
    ASSERT_TRUE(m.SignIn("demo", "yamada", "yamada-pass", true));
    const QString root = DataPath("demo/yamada");
    EXPECT_EQ(m.UserDataPath(), root);
    EXPECT_EQ(m.UserDataPath("sub/deeper", "f.vqr"), root + "/sub/deeper/f.vqr");
    EXPECT_EQ(m.UserDataFile("version.vqr"), root + "/version.vqr");
    EXPECT_EQ(m.UserDataPathLength(), DataPath().size() + 4 + 6 + 2);
}

TEST_F(LoginManagerTest, EditedSavedLoginCannotLeaveTheDataFolder)
{
    CBizArchiveWriter w;
    w.WriteWord(102);
    w.WriteCount(1);
    w.WriteText("..");
    w.WriteText("x");
    w.WriteText(ScrambleText("CK", 0));
    w.WriteText(ScrambleText("pw", 0));
    w.WriteInt32(1);
    w.WriteInt32(1);
    w.WriteText("");
    ASSERT_TRUE(WriteFile(loginsFile(), w.data()));
    ASSERT_TRUE(m.LoadSavedLogins());
    EXPECT_THROW(m.UserDataPath(), CBizOsException);
}

TEST_F(LoginManagerTest, UpdateCounterChecks)
{
    ASSERT_TRUE(m.SignIn("demo", "yamada", "yamada-pass", true));
    m.counter = 7;
    bool changed = false;
    ASSERT_TRUE(m.CheckUpdateCounter(changed));
    EXPECT_TRUE(changed);
    ASSERT_TRUE(m.CheckUpdateCounter(changed));
    EXPECT_FALSE(changed);
    EXPECT_EQ(m.lastUpdateCounter(), 7u);

    // Two own changes and nobody else: no change seen.
    m.counter = 9;
    ASSERT_TRUE(m.CheckUpdateCounterAfterOwnChanges(changed, 2));
    EXPECT_FALSE(changed);
    EXPECT_EQ(m.lastUpdateCounter(), 9u);
    // One own change, but two happened: somebody else changed something.
    m.counter = 11;
    ASSERT_TRUE(m.CheckUpdateCounterAfterOwnChanges(changed, 1));
    EXPECT_TRUE(changed);
    EXPECT_EQ(m.lastUpdateCounter(), 10u); // the fetched value is not kept
    // No own changes: the last counter stays.
    ASSERT_TRUE(m.CheckUpdateCounterAfterOwnChanges(changed, 0));
    EXPECT_TRUE(changed);
    EXPECT_EQ(m.lastUpdateCounter(), 10u);
}

TEST_F(LoginManagerTest, BulkDownloadQueriesNeedASignedInUser)
{
    EXPECT_FALSE(m.IsBulkDownloadAllowedNow());
    EXPECT_TRUE(m.BulkDownloadForbiddenText1().isEmpty());
    ASSERT_TRUE(m.SignIn("demo", "yamada", "yamada-pass", true));
    EXPECT_EQ(m.BulkDownloadForbiddenText1(), QStringLiteral("09:00 ー 11:00"));
    EXPECT_TRUE(m.BulkDownloadForbiddenText2().isEmpty());
    const int hour = QTime::currentTime().hour();
    // Read the hour again in case it turned meanwhile.
    const bool allowed = m.IsBulkDownloadAllowedNow();
    if (hour == QTime::currentTime().hour()) {
        EXPECT_EQ(allowed, hour < 9 || hour >= 11);
    }
}

TEST_F(LoginManagerTest, UserKindsAndLimitAccessors)
{
    EXPECT_FALSE(m.deleteCache());
    EXPECT_FALSE(m.IsUserType20());
    ASSERT_TRUE(m.SignIn("demo", "suzuki", "suzuki-pass", true));
    EXPECT_TRUE(m.IsUserType20());
    EXPECT_FALSE(m.IsUserType1());
    ASSERT_TRUE(m.SignIn("demo", "yamada", "yamada-pass", true));
    EXPECT_TRUE(m.IsUserType1());
}

// A process killed while writing logins.vqr again and again leaves a whole file: the old
// one or the new one, never a torn mix.
TEST_F(LoginManagerTest, CrashWhileSavingLeavesACompleteFile)
{
    ASSERT_TRUE(m.SignIn("demo", "yamada", "yamada-pass", true));
    ASSERT_TRUE(m.SaveSavedLogins());
    const QByteArray before = ReadFile(loginsFile());

    fflush(nullptr);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // Big lists make each write take a while, so the kill lands inside one.
        CFakeServiceLoginManager writer;
        writer.LoadSavedLogins();
        for (int round = 0;; ++round) {
            auto *self = const_cast<CLoginList *>(&writer.savedLogins());
            for (int i = 0; i < 500; ++i) {
                const QString id = QStringLiteral("r%1-%2").arg(round).arg(i);
                self->Add(CLoginRecord::MakeKey("bulk", id),
                          std::make_unique<CLoginRecord>("bulk", id, QString(200, 'k')));
            }
            writer.SaveSavedLogins();
        }
    }
    usleep(300 * 1000);
    kill(child, SIGKILL);
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status));

    CFakeServiceLoginManager reader;
    ASSERT_TRUE(reader.LoadSavedLogins());
    EXPECT_TRUE(messages.isEmpty()) << "the file was torn";
    ASSERT_GE(reader.savedLogins().GetCount(), 1);
    EXPECT_EQ(reader.savedLogins().GetHead()->Key(), "demo.yamada");
    EXPECT_EQ(reader.savedLogins().GetCount() % 500, 1);
    EXPECT_FALSE(before.isEmpty());
}

TEST_F(LoginManagerTest, NoSecretInLogOrMessages)
{
    ASSERT_TRUE(m.SignIn("demo", "yamada", "yamada-pass", true));
    const QString clientKey = m.clientKey();
    const QString accessKey = m.accessKey();
    m.ExpireClientKey(clientKey);
    ASSERT_TRUE(m.SignIn("demo", "yamada", "yamada-pass", true));
    ASSERT_TRUE(m.SaveSavedLogins());
    m.SignOut();
    ASSERT_FALSE(log.isEmpty()); // logging was on
    for (const QString &secret : {QString("yamada-pass"), clientKey, accessKey, m.clientKey()})
        ExpectNoSecret(secret);
}
