#include "AppFixture.h"

#include "app/CommandLine.h"
#include "core/BizException.h"
#include "core/ExitCodes.h"
#include "core/Paths.h"
#include "store/Scramble.h"

namespace {

QStringList argv(std::initializer_list<const char *> args)
{
    QStringList list{QStringLiteral("velquor")};
    for (const char *a : args)
        list << QString::fromUtf8(a);
    return list;
}

const QStringList kAllowed
    = {QStringLiteral("no_ui"), QStringLiteral("accfirm_id"), QStringLiteral("login_id"),
       QStringLiteral("pwd"),   QStringLiteral("src_dir"),    QStringLiteral("dst_dir"),
       QStringLiteral("pp")};

} // namespace

TEST(CommandLineInfo, ValueFormsAndPendingSwitches)
{
    CBizCommandLineInfo info;
    EXPECT_EQ(info.Parse(argv({"/login_id=abc", "/pwd", "x", "plain1", "plain2"}), kAllowed), 5);
    EXPECT_EQ(info.Value(QStringLiteral("login_id")), QStringLiteral("abc"));
    EXPECT_EQ(info.Value(QStringLiteral("pwd")), QStringLiteral("x"));
    EXPECT_EQ(info.firstPlain(), QStringLiteral("plain1"));

    info.Parse(argv({"/login_id", "abc"}), kAllowed);
    EXPECT_EQ(info.Value(QStringLiteral("login_id")), QStringLiteral("abc"));
    EXPECT_TRUE(info.firstPlain().isNull());

    info.Parse(argv({"/login_id", "/pwd", "x"}), kAllowed);
    EXPECT_TRUE(info.HasSwitch(QStringLiteral("login_id")));
    EXPECT_EQ(info.Value(QStringLiteral("login_id")), QString());
    EXPECT_EQ(info.Value(QStringLiteral("pwd")), QStringLiteral("x"));

    // An absolute path is the value of a pending switch.
    info.Parse(argv({"/dst_dir", "/home/u/out", "/src_dir=経理/2024"}), kAllowed);
    EXPECT_EQ(info.Value(QStringLiteral("dst_dir")), QStringLiteral("/home/u/out"));
    EXPECT_EQ(info.Value(QStringLiteral("src_dir")), QStringLiteral("経理/2024"));

    info.Parse(argv({"/pwd=a=b", "/pwd=c", "/login_id="}), kAllowed);
    EXPECT_EQ(info.Value(QStringLiteral("pwd")), QStringLiteral("c")) << "the later one wins";
    EXPECT_TRUE(info.HasSwitch(QStringLiteral("login_id")));
    EXPECT_EQ(info.Value(QStringLiteral("login_id")), QString());

    info.Parse(argv({"/=x"}), kAllowed);
    EXPECT_TRUE(info.HasSwitch(QStringLiteral("=x")));
}

TEST(CommandLineInfo, NoUiDetectionBeforeTheApplicationExists)
{
    EXPECT_TRUE(CommandLineAsksNoUi(argv({"/no_ui"})));
    EXPECT_TRUE(CommandLineAsksNoUi(argv({"/login_id", "/no_ui"})));
    EXPECT_FALSE(CommandLineAsksNoUi(argv({"/NO_UI"})));
    EXPECT_FALSE(CommandLineAsksNoUi(argv({})));
}

struct SStartCase
{
    const char *name;
    QStringList args;
    bool startsSession; // the interactive program starts
    QString message;    // the error shown, empty for none
    qint32 exitCode;
};

const QString kBad = QStringLiteral("コマンド引数が間違っています。\r\n※起動できません");
const QString kWrong = QStringLiteral("起動するプログラムが異なっています。\r\n※起動できません");

class StartTable : public AppFixture, public ::testing::WithParamInterface<SStartCase>
{};

TEST_P(StartTable, CommandLineDecidesTheStart)
{
    const SStartCase &c = GetParam();
    CTestApp app;
    CScriptedSessionUi ui({});
    app.SetSessionUi(&ui);
    EXPECT_EQ(app.Run(c.args), c.exitCode);
    EXPECT_EQ(ui.modes.size(), c.startsSession ? 1u : 0u);
    if (c.message.isEmpty()) {
        EXPECT_TRUE(messages.isEmpty()) << messages.front().toStdString();
    } else {
        ASSERT_EQ(messages.size(), 1);
        EXPECT_EQ(messages[0], c.message);
        EXPECT_EQ(shown[0].icon, MsgIcon::Error);
    }
    EXPECT_TRUE(app.console.isEmpty());
}

INSTANTIATE_TEST_SUITE_P(
    Table, StartTable,
    ::testing::Values(
        SStartCase{"NoArguments", argv({}), true, {}, 0},
        SStartCase{"NoUiAlone", argv({"/no_ui"}), false, kBad, ExitCode::BadArguments},
        SStartCase{"AllSwitchesWithoutNoUi",
                   argv({"/accfirm_id", "A1", "/login_id", "u", "/pwd", "p", "/src_dir", "s",
                         "/dst_dir", "/tmp"}),
                   true,
                   {},
                   0},
        SStartCase{"EmptyValuesAreValues",
                   argv({"/accfirm_id", "/login_id", "/pwd", "/src_dir", "/dst_dir"}),
                   true,
                   {},
                   0},
        SStartCase{"OneValueMissing",
                   argv({"/accfirm_id", "A1", "/login_id", "u", "/pwd", "p", "/src_dir", "s"}),
                   false, kBad, ExitCode::BadArguments},
        SStartCase{"UpperCaseSwitch", argv({"/NO_UI"}), false, kBad, ExitCode::BadArguments},
        SStartCase{"Document", argv({"report.xlsx"}), false, kWrong, ExitCode::BadArguments},
        SStartCase{"PlainWithoutExtension", argv({"report"}), false, kBad, ExitCode::BadArguments},
        SStartCase{"TwoDocuments", argv({"a.xlsx", "b.xlsx"}), false, kBad, ExitCode::BadArguments},
        SStartCase{"UnknownSwitch", argv({"/foo"}), false, kBad, ExitCode::BadArguments}),
    [](const auto &info) { return std::string(info.param.name); });

TEST_F(AppFixture, AbsoluteDocumentPathIsAlsoADocument)
{
    const QString doc = root() + QStringLiteral("/report.xlsx");
    QFile f(doc);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.close();
    CTestApp app;
    EXPECT_EQ(app.Run({QStringLiteral("velquor"), doc}), ExitCode::BadArguments);
    ASSERT_EQ(messages.size(), 1);
    EXPECT_EQ(messages[0], kWrong);
}

TEST_F(AppFixture, DownloadSwitchesAreKeptAndThePasswordUnscrambled)
{
    const QString scrambled = ScrambleText(QStringLiteral("secret"), CommandLineScrambleKey);
    CTestApp app;
    CScriptedSessionUi ui({});
    app.SetSessionUi(&ui);
    app.Run({QStringLiteral("velquor"), QStringLiteral("/accfirm_id=A1"),
             QStringLiteral("/login_id=user"), QStringLiteral("/pwd=") + scrambled,
             QStringLiteral("/src_dir=経理/2024"), QStringLiteral("/dst_dir"),
             QStringLiteral("/home/u/out")});
    EXPECT_EQ(app.accfirmId(), QStringLiteral("A1"));
    EXPECT_EQ(app.loginId(), QStringLiteral("user"));
    EXPECT_EQ(app.password(), QStringLiteral("secret"));
    EXPECT_EQ(app.srcDir(), QStringLiteral("経理/2024"));
    EXPECT_EQ(app.dstDir(), QStringLiteral("/home/u/out"));
}

TEST_F(AppFixture, PlainPasswordWithPp)
{
    CTestApp app;
    CScriptedSessionUi ui({});
    app.SetSessionUi(&ui);
    app.Run({QStringLiteral("velquor"), QStringLiteral("/accfirm_id=A1"),
             QStringLiteral("/login_id=user"), QStringLiteral("/pwd=secret"), QStringLiteral("/pp"),
             QStringLiteral("/src_dir=s"), QStringLiteral("/dst_dir=d")});
    EXPECT_EQ(app.password(), QStringLiteral("secret"));
}

TEST_F(AppFixture, NoUiRunNotHandledNeverReportsSuccess)
{
    CTestApp app;
    app.commandLine = [](qint32 &code) {
        code = 0;
        return false;
    };
    const qint32 code = app.Run({QStringLiteral("velquor"), QStringLiteral("/no_ui"),
                                 QStringLiteral("/accfirm_id=A"), QStringLiteral("/login_id=u"),
                                 QStringLiteral("/pwd=p"), QStringLiteral("/pp"),
                                 QStringLiteral("/src_dir=s"), QStringLiteral("/dst_dir=d")});
    EXPECT_EQ(code, ExitCode::NotAvailable);
    EXPECT_EQ(app.console, QString::number(ExitCode::NotAvailable));
    EXPECT_TRUE(app.isNoUiMode());
    EXPECT_EQ(app.systemStarted, 0);
    // The no-UI installation is the current directory.
    EXPECT_TRUE(QFile::exists(cwd() + QStringLiteral("/vqrdata/instance.vqr")));
    EXPECT_FALSE(QFile::exists(install() + QStringLiteral("/vqrdata")));
}

TEST_F(AppFixture, NoUiRunPrintsTheCodeOfTheDownload)
{
    CTestApp app;
    app.commandLine = [](qint32 &code) {
        code = 0x20009C45;
        return true;
    };
    const qint32 code = app.Run({QStringLiteral("velquor"), QStringLiteral("/no_ui"),
                                 QStringLiteral("/accfirm_id=A"), QStringLiteral("/login_id=u"),
                                 QStringLiteral("/pwd=p"), QStringLiteral("/src_dir=s"),
                                 QStringLiteral("/dst_dir=d")});
    EXPECT_EQ(code, 0x20009C45);
    EXPECT_EQ(app.console, QStringLiteral("536910917"));
    EXPECT_EQ(ProcessExitStatus(code), 0x45);
}

TEST(ExitStatus, EightBitsNeverZeroForAFailure)
{
    EXPECT_EQ(ProcessExitStatus(0), 0);
    EXPECT_EQ(ProcessExitStatus(3), 3);
    EXPECT_EQ(ProcessExitStatus(-1), 255);
    EXPECT_EQ(ProcessExitStatus(0x20000000), 255);
    EXPECT_EQ(ProcessExitStatus(256), 255);
    EXPECT_EQ(ProcessExitStatus(12029), 12029 & 0xFF);
    EXPECT_EQ(ProcessExitStatus(0x20000003), 3);
}

TEST(Scramble, SymmetricKeysAndZeroCodeUnits)
{
    const QString texts[]
        = {QStringLiteral("p@ss wörd 日本語"), QString(QChar(0x2B5D)), QStringLiteral("x")};
    for (const QString &t : texts) {
        for (quint16 key :
             {quint16(0), SavedLoginsScrambleKey, CommandLineScrambleKey, quint16(0xFFFF)}) {
            const QString s = ScrambleText(t, key);
            EXPECT_EQ(s.size(), t.size());
            EXPECT_EQ(ScrambleText(s, key), t);
        }
    }
    EXPECT_EQ(ScrambleText(QStringLiteral("abc"), 0),
              ScrambleText(QStringLiteral("abc"), SavedLoginsScrambleKey));
    EXPECT_NE(ScrambleText(QStringLiteral("abc"), CommandLineScrambleKey),
              ScrambleText(QStringLiteral("abc"), SavedLoginsScrambleKey));
    const QString zero = ScrambleText(QString(QChar(0x2B5D)) + u'a', 0);
    ASSERT_EQ(zero.size(), 2);
    EXPECT_EQ(zero[0].unicode(), 0);
    EXPECT_EQ(ScrambleText(QStringLiteral("A"), 0)[0].unicode(), 0x41 ^ 0x2B5D);
    EXPECT_TRUE(ScrambleText(QString(), CommandLineScrambleKey).isEmpty());
}

// Whatever a step of the run lets escape ends in the outermost boundary: its message, a
// failure code, the exit steps still done, no exception out of Run.
TEST_F(AppFixture, AnEscapingExceptionEndsTheRunWithItsMessage)
{
    struct SCase
    {
        const char *name;
        bool (*body)(qint32 &);
        QString message;
    };
    const SCase cases[] = {
        {"product exception",
         [](qint32 &) -> bool {
             QFile::remove(DataPath({}, u"instance.vqr"_qs));
             throw CBizOsException(OsError::FilenameExcedRange, u"/x"_qs);
         },
         QString()},
        {"other exception",
         [](qint32 &) -> bool {
             QFile::remove(DataPath({}, u"instance.vqr"_qs));
             throw std::runtime_error("boom");
         },
         u"予期しないエラーのため終了します。"_qs},
    };
    for (const SCase &c : cases) {
        SCOPED_TRACE(c.name);
        installation.messages.clear();
        CTestApp app;
        app.commandLine = c.body;
        qint32 code = 0;
        EXPECT_NO_THROW(
            code = app.Run({u"velquor"_qs, u"/no_ui"_qs, u"/accfirm_id=A"_qs, u"/login_id=u"_qs,
                            u"/pwd=p"_qs, u"/pp"_qs, u"/src_dir=s"_qs, u"/dst_dir=d"_qs}));
        EXPECT_EQ(code, ExitCode::SystemStartFailed);
        ASSERT_EQ(messages.size(), 1);
        if (c.message.isEmpty())
            EXPECT_TRUE(messages[0].startsWith(
                CBizOsException(OsError::FilenameExcedRange, u"/x"_qs).ErrorMessage()))
                << messages[0].toStdString();
        else
            EXPECT_EQ(messages[0], c.message);
        // The exit steps ran: the identity the step removed is saved again.
        EXPECT_TRUE(QFile::exists(cwd() + u"/vqrdata/instance.vqr"_qs));
    }
}
