#include "AppFixture.h"

#include "app/SingleInstance.h"
#include "app/WindowPlacement.h"
#include "core/BizException.h"
#include "core/ExitCodes.h"
#include "core/InstanceManager.h"

#include <QCoreApplication>
#include <QSettings>

namespace {
const QStringList kNoArgs = {QStringLiteral("velquor")};
}

class SessionLoopTest : public AppFixture
{};

TEST_F(SessionLoopTest, ModeResultsShowTheDialogAgainInTheirMode)
{
    CTestApp app;
    CScriptedSessionUi ui({LoginResult::ModeTyped, LoginResult::ModeChosen,
                           LoginResult::ModeOmitted, LoginResult::Cancelled});
    app.SetSessionUi(&ui);
    EXPECT_EQ(app.Run(kNoArgs), 0);
    EXPECT_EQ(ui.modes, (std::vector<int>{0, 1, 2, 0}));
    EXPECT_EQ(ui.online + ui.offline, 0);
    EXPECT_EQ(app.systemStarted, 1);
    EXPECT_EQ(app.systemTerminated, 1);
}

TEST_F(SessionLoopTest, ClosingAMainWindowEndsTheProgram)
{
    CTestApp app;
    CScriptedSessionUi ui({LoginResult::SignedIn, LoginResult::SignedIn});
    app.SetSessionUi(&ui);
    EXPECT_EQ(app.Run(kNoArgs), 0);
    EXPECT_EQ(ui.modes.size(), 1u) << "the login dialog does not come back";
    EXPECT_EQ(ui.online, 1);

    CScriptedSessionUi offline({LoginResult::ModeChosen, LoginResult::OfflineWork});
    EXPECT_EQ(app.RunSessionLoop(offline), LoginResult::OfflineWork);
    EXPECT_EQ(offline.modes, (std::vector<int>{0, 2}));
    EXPECT_EQ(offline.offline, 1);
    EXPECT_EQ(offline.online, 0);

    CScriptedSessionUi closed({LoginResult::Closed});
    EXPECT_EQ(app.RunSessionLoop(closed), LoginResult::Closed);
    EXPECT_EQ(closed.online + closed.offline, 0);
}

TEST_F(SessionLoopTest, FailingStartsEndWithTheirCodes)
{
    {
        CTestApp app;
        app.osOk = false;
        CScriptedSessionUi ui({});
        app.SetSessionUi(&ui);
        EXPECT_EQ(app.Run(kNoArgs), ExitCode::UnsupportedOs);
        ASSERT_EQ(messages.size(), 1);
        EXPECT_EQ(messages[0],
                  QStringLiteral("VELQUOR を動作させるにはWindows XP以上のOSが必要です。"));
        EXPECT_TRUE(ui.modes.empty());
    }
    messages.clear();
    {
        CTestApp app;
        app.systemStarts = false;
        CScriptedSessionUi ui({});
        app.SetSessionUi(&ui);
        EXPECT_EQ(app.Run(kNoArgs), ExitCode::SystemStartFailed);
        EXPECT_TRUE(ui.modes.empty());
    }
    {
        CTestApp app; // no display: no session windows
        EXPECT_EQ(app.Run(kNoArgs), ExitCode::NoDisplay);
    }
}

TEST_F(SessionLoopTest, MainSystemStartFailures)
{
    {
        // Damaged saved logins: reported, and the session still starts.
        CTestApp app;
        app.startBody = []() -> bool {
            throw CBizArchiveException(CBizArchiveException::EndOfFile, QStringLiteral("x"));
        };
        CScriptedSessionUi ui({});
        app.SetSessionUi(&ui);
        EXPECT_EQ(app.Run(kNoArgs), 0);
        ASSERT_EQ(messages.size(), 1);
        EXPECT_EQ(messages[0], LoadString(18331));
        EXPECT_EQ(ui.modes.size(), 1u);
    }
    messages.clear();
    {
        CTestApp app;
        app.startBody = []() -> bool { throw CBizOsException(5, QStringLiteral("/p")); };
        CScriptedSessionUi ui({});
        app.SetSessionUi(&ui);
        EXPECT_EQ(app.Run(kNoArgs), ExitCode::SystemStartFailed);
        ASSERT_EQ(messages.size(), 1);
        EXPECT_TRUE(messages[0].endsWith(QStringLiteral("［エラーコード］5")));
        EXPECT_TRUE(ui.modes.empty());
    }
}

TEST_F(SessionLoopTest, UnusableDataFolderEndsTheStart)
{
    QFile f(install() + QStringLiteral("/vqrdata"));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.close();
    CTestApp app;
    CScriptedSessionUi ui({});
    app.SetSessionUi(&ui);
    EXPECT_EQ(app.Run(kNoArgs), ExitCode::InstanceFailed);
    ASSERT_EQ(messages.size(), 2);
    EXPECT_EQ(messages[0], LoadString(17955));
    EXPECT_EQ(messages[1], QStringLiteral("インスタンスマネージャの初期化に失敗しました。"));
}

TEST_F(SessionLoopTest, SecondStartOfTheSameInstallationIsRefusedAndActivatesTheFirst)
{
    CTestApp first;
    CScriptedSessionUi firstUi({});
    first.SetSessionUi(&firstUi);
    // Hold the installation as the running copy does.
    CInstanceManager ids;
    ASSERT_TRUE(ids.Initialize());
    CSingleInstance running;
    const QString name = QStringLiteral("KDW.VELQUOR.V2.window.class.") + ids.instanceId();
    ASSERT_TRUE(running.Acquire(install() + QStringLiteral("/vqrdata/instance.lock"), name));
    int activations = 0;
    QObject::connect(&running, &CSingleInstance::activationRequested, [&] { ++activations; });

    std::thread second([&] {
        // Another process would do this; a thread of its own keeps our event loop free.
        EXPECT_TRUE(CSingleInstance::RequestActivation(name, 5000));
    });
    EXPECT_EQ(first.Run(kNoArgs), ExitCode::AlreadyRunning);
    ASSERT_FALSE(messages.isEmpty());
    EXPECT_EQ(messages.back(),
              QStringLiteral("VELQUOR は既に起動されています。\r同時に起動することはできません。"));
    EXPECT_EQ(shown.back().icon, MsgIcon::Warning);
    EXPECT_TRUE(firstUi.modes.empty());
    for (int i = 0; i < 200 && activations < 2; ++i)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    second.join();
    EXPECT_EQ(activations, 2) << "the thread's request and the refused start's own";
}

TEST_F(SessionLoopTest, AnotherInstallationStartsNormally)
{
    CInstanceManager ids;
    ASSERT_TRUE(ids.Initialize());
    CSingleInstance running;
    ASSERT_TRUE(running.Acquire(install() + QStringLiteral("/vqrdata/instance.lock"),
                                QStringLiteral("KDW.VELQUOR.V2.window.class.") + ids.instanceId()));
    SetExecutableFolderOverride(root() + QStringLiteral("/second-install"));
    CTestApp other;
    CScriptedSessionUi ui({});
    other.SetSessionUi(&ui);
    EXPECT_EQ(other.Run(kNoArgs), 0);
    EXPECT_EQ(ui.modes.size(), 1u);
    EXPECT_NE(other.instanceId(), ids.instanceId());
}

TEST_F(SessionLoopTest, SettingsAreKeptPerInstallation)
{
    QString firstId;
    {
        CTestApp app;
        CScriptedSessionUi ui({});
        app.SetSessionUi(&ui);
        app.Run(kNoArgs);
        firstId = app.instanceId();
        EXPECT_TRUE(app.WriteProfileInt(QStringLiteral("Login"), QStringLiteral("n"), 7));
        EXPECT_TRUE(app.WriteProfileString(QStringLiteral("Main\\List"), QStringLiteral("s"),
                                           QStringLiteral("値")));
        EXPECT_TRUE(app.WriteProfileBinary({}, QStringLiteral("b"), QByteArray("\0\1\2", 3)));
        app.SaveWindowPlacement(QStringLiteral("Login"), WindowPlacement::StyleMaximized | 0x10,
                                QRect(10, 20, 300, 200));
        app.SyncProfile();
        EXPECT_EQ(app.GetProfileInt(QStringLiteral("Login"), QStringLiteral("n"), 0), 7);
    }
    QSettings raw(home() + QStringLiteral("/.config/KDW/VELQUOR.V2.conf"), QSettings::IniFormat);
    EXPECT_EQ(raw.value(firstId + QStringLiteral("/Login/n")).toInt(), 7);
    EXPECT_EQ(raw.value(firstId + QStringLiteral("/Main/List/s")).toString(), QStringLiteral("値"));
    EXPECT_EQ(raw.value(firstId + QStringLiteral("/b")).toByteArray(), QByteArray("\0\1\2", 3));
    EXPECT_EQ(raw.value(firstId + QStringLiteral("/Login/rect")).toString(),
              QStringLiteral("10,20,310,220"));
    EXPECT_EQ(raw.value(firstId + QStringLiteral("/Login/style")).toInt(),
              WindowPlacement::StyleMaximized);

    {
        CTestApp again;
        CScriptedSessionUi ui({});
        again.SetSessionUi(&ui);
        again.Run(kNoArgs);
        int style = 0;
        QRect rect;
        EXPECT_TRUE(again.ReadWindowPlacement(QStringLiteral("Login"), style, rect));
        EXPECT_EQ(rect, QRect(10, 20, 300, 200));
        EXPECT_EQ(style, WindowPlacement::StyleMaximized);
        QByteArray bin;
        EXPECT_TRUE(again.GetProfileBinary({}, QStringLiteral("b"), bin));
        EXPECT_FALSE(again.GetProfileBinary({}, QStringLiteral("none"), bin));
        EXPECT_EQ(again.GetProfileInt(QStringLiteral("X"), QStringLiteral("missing"), -3), -3);
    }
    // Another installation does not see these settings.
    SetExecutableFolderOverride(root() + QStringLiteral("/other"));
    CTestApp other;
    CScriptedSessionUi ui2({});
    other.SetSessionUi(&ui2);
    other.Run(kNoArgs);
    EXPECT_EQ(other.GetProfileInt(QStringLiteral("Login"), QStringLiteral("n"), 0), 0);
}

TEST_F(SessionLoopTest, AppNameCarriesSupportModeAndServerSuffix)
{
    installation.SetEnv("VELQUOR_SUPPORT_MODE", "1");
    {
        CTestApp app;
        CScriptedSessionUi ui({});
        app.SetSessionUi(&ui);
        app.Run(kNoArgs);
        EXPECT_EQ(AppState::AppName(), QStringLiteral("VELQUOR.scrt"));
        EXPECT_TRUE(AppState::IsSupportMode());
    }
    qunsetenv("VELQUOR_SUPPORT_MODE");

    auto writeServer = [&](const QString &text) {
        ASSERT_TRUE(
            WriteFile(install() + QStringLiteral("/vqrdata/server.vqr"), Utf16LeWithBom(text)));
    };
    writeServer(QStringLiteral("secure=0\r\n"));
    {
        CTestApp app;
        app.SetSupportModeKeysHeld(true);
        CScriptedSessionUi ui({});
        app.SetSessionUi(&ui);
        app.Run(kNoArgs);
        EXPECT_EQ(AppState::AppName(), QStringLiteral("VELQUOR.scrt（PR）"));
    }
    writeServer(QStringLiteral(" hostName = test.example \r\n"));
    {
        CTestApp app;
        CScriptedSessionUi ui({});
        app.SetSessionUi(&ui);
        app.Run(kNoArgs);
        EXPECT_EQ(AppState::AppName(), QStringLiteral("VELQUOR（test.example）"));
        EXPECT_FALSE(AppState::IsSupportMode());
    }
}

namespace {
class CModalApp : public CTestApp
{
public:
    std::vector<std::pair<int, int>> begins; // depth, argument
    std::vector<int> ends;                   // old depth
    std::vector<QObject *> activated;
    QObject *active = nullptr;

protected:
    void OnModalBegin(QObject *, int argument, int depth) override
    {
        begins.push_back({depth, argument});
    }
    void OnModalEnd(QObject *, int, int oldDepth, bool) override { ends.push_back(oldDepth); }
    QObject *ActiveWindow() const override { return active; }
    void ActivateWindow(QObject *w) override { activated.push_back(w); }
};
} // namespace

TEST_F(AppFixture, ModalStateNestsAndActivatesTheOwnerAtTheEnd)
{
    CModalApp app;
    QObject owner, active;
    app.active = &active;
    app.BeginModalState(&owner, 5);
    app.BeginModalState(); // nested: owner and argument stay
    EXPECT_EQ(app.modalDepth(), 2);
    app.EndModalState();
    EXPECT_TRUE(app.activated.empty());
    app.EndModalState(true);
    EXPECT_EQ(app.modalDepth(), 0);
    EXPECT_EQ(app.activated, std::vector<QObject *>{&owner});
    EXPECT_EQ(app.begins, (std::vector<std::pair<int, int>>{{1, 5}, {2, 5}}));
    EXPECT_EQ(app.ends, (std::vector<int>{2, 1}));
    app.EndModalState(true); // never below 0
    EXPECT_EQ(app.modalDepth(), 0);

    app.BeginModalState(); // no owner given: the active window
    app.EndModalState(false);
    EXPECT_EQ(app.activated.size(), 1u);
    app.BeginModalState();
    app.EndModalState(true);
    EXPECT_EQ(app.activated.back(), &active);
}

TEST(WindowPlacementFit, MovesIntoTheUsableAreaKeepingTheSize)
{
    using namespace WindowPlacement;
    const QRect screen(0, 0, 1000, 800);
    const SCornerAreas one{screen, screen, screen, screen};
    EXPECT_EQ(FitIntoUsableArea(QRect(900, 700, 200, 150), one), QRect(800, 650, 200, 150));
    EXPECT_EQ(FitIntoUsableArea(QRect(-50, -20, 200, 150), one), QRect(0, 0, 200, 150));
    EXPECT_EQ(FitIntoUsableArea(QRect(100, 100, 200, 150), one), QRect(100, 100, 200, 150));
    EXPECT_EQ(FitIntoUsableArea(QRect(-10, 10, 1200, 100), one), QRect(0, 10, 1000, 100));
    // Two screens side by side, the window across the border: both count.
    const QRect right(1000, 0, 1000, 600);
    const SCornerAreas two{screen, right, screen, right};
    EXPECT_EQ(FitIntoUsableArea(QRect(900, 550, 300, 100), two), QRect(900, 500, 300, 100));
    EXPECT_EQ(ParseRectText(RectText(QRect(1, 2, 3, 4))), QRect(1, 2, 3, 4));
    EXPECT_TRUE(ParseRectText(QStringLiteral("1,2,x,4")).isEmpty());
    EXPECT_TRUE(ParseRectText(QStringLiteral("5,5,5,9")).isEmpty());
}
