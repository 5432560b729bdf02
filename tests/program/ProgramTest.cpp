// The whole program, started as a process the way a user or a scheduler starts it.
#include "support/Files.h"
#include "support/TempInstallation.h"

#include "core/Strings.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QThread>

#include <sys/stat.h>
#include <unistd.h>

namespace {

const QString kBad = QStringLiteral("コマンド引数が間違っています。\r\n※起動できません");
const QString kWrong = QStringLiteral("起動するプログラムが異なっています。\r\n※起動できません");
const QString kRunning
    = QStringLiteral("VELQUOR は既に起動されています。\r同時に起動することはできません。");

struct SRun
{
    int status = -1;
    QString out;
    QString err;
};

class ProgramTest : public InstallationTest<>
{
protected:
    // A fresh installation: the executable in a folder of its own (a relative name is
    // taken below the test's temporary folder).
    QString install(const QString &name = QStringLiteral("install"))
    {
        const QString folder = QDir::isAbsolutePath(name) ? name : path(name);
        QDir().mkpath(folder);
        const QString exe = folder + QStringLiteral("/velquor");
        // A hard link keeps the executable's own folder (symbolic links are resolved).
        if (!QFile::exists(exe)
            && ::link(VELQUOR_EXE_PATH, QFile::encodeName(exe).constData()) != 0) {
            EXPECT_TRUE(QFile::copy(QStringLiteral(VELQUOR_EXE_PATH), exe));
        }
        return folder;
    }

    QProcessEnvironment environment(bool display) const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove(QStringLiteral("DISPLAY"));
        env.remove(QStringLiteral("WAYLAND_DISPLAY"));
        env.remove(QStringLiteral("QT_QPA_PLATFORM"));
        env.remove(QStringLiteral("VELQUOR_SUPPORT_MODE"));
        env.remove(QStringLiteral("VELQUOR_BENCH_EXIT_BEFORE_LOGIN"));
        if (display)
            env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        const QString home = installation.home();
        env.insert(QStringLiteral("HOME"), home);
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), home + QStringLiteral("/.config"));
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), home);
        env.insert(QStringLiteral("LANG"), QStringLiteral("C.UTF-8"));
        return env;
    }

    // prefix: a program that starts the executable (e.g. to run it as another user).
    void start(QProcess &p, const QString &folder, const QStringList &args,
               const QProcessEnvironment &env, const QString &cwd = {},
               const QStringList &prefix = {})
    {
        p.setProcessEnvironment(env);
        p.setWorkingDirectory(cwd.isEmpty() ? folder : cwd);
        const QString exe = folder + QStringLiteral("/velquor");
        if (prefix.isEmpty())
            p.start(exe, args);
        else
            p.start(prefix.first(), prefix.mid(1) + QStringList{exe} + args);
        ASSERT_TRUE(p.waitForStarted(10000));
    }

    SRun run(const QString &folder, const QStringList &args, const QProcessEnvironment &env,
             const QString &cwd = {}, const QStringList &prefix = {})
    {
        QProcess p;
        start(p, folder, args, env, cwd, prefix);
        SRun r;
        EXPECT_TRUE(p.waitForFinished(60000));
        EXPECT_EQ(p.exitStatus(), QProcess::NormalExit);
        r.status = p.exitCode();
        r.out = QString::fromUtf8(p.readAllStandardOutput());
        r.err = QString::fromUtf8(p.readAllStandardError());
        return r;
    }

    QString path(const QString &rel) const { return installation.path(rel); }
};

QString readInstanceId(const QString &file)
{
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    QByteArray b = f.readAll();
    if (!b.startsWith("\xff\xfe"))
        return QStringLiteral("<no BOM>");
    b.remove(0, 2);
    return QString::fromUtf16(reinterpret_cast<const char16_t *>(b.constData()), b.size() / 2);
}

bool waitForText(QProcess &p, QString &seen, const QString &text, int ms)
{
    for (int waited = 0; waited < ms; waited += 50) {
        p.waitForReadyRead(50);
        seen += QString::fromUtf8(p.readAllStandardError());
        if (seen.contains(text))
            return true;
        if (p.state() == QProcess::NotRunning)
            return false;
    }
    return false;
}

} // namespace

TEST_F(ProgramTest, NoUiAloneIsRefusedOnStandardErrorWithoutADisplay)
{
    const QString folder = install();
    const SRun r = run(folder, {QStringLiteral("/no_ui")}, environment(false));
    EXPECT_TRUE(r.err.contains(kBad)) << r.err.toStdString();
    EXPECT_NE(r.status, 0);
    EXPECT_EQ(r.status, 254);
    EXPECT_TRUE(r.out.isEmpty());
    EXPECT_FALSE(QFile::exists(folder + QStringLiteral("/vqrdata")));
}

TEST_F(ProgramTest, ADocumentAsArgumentIsTheWrongProgram)
{
    const QString folder = install();
    const SRun r = run(folder, {QStringLiteral("report.xlsx")}, environment(false));
    EXPECT_TRUE(r.err.contains(kWrong)) << r.err.toStdString();
    EXPECT_NE(r.status, 0);
}

TEST_F(ProgramTest, FirstStartCreatesTheInstanceFileAndStopsBeforeTheLogin)
{
    const QString folder = install();
    QProcessEnvironment env = environment(true);
    env.insert(QStringLiteral("VELQUOR_BENCH_EXIT_BEFORE_LOGIN"), QStringLiteral("1"));
    const SRun r = run(folder, {}, env);
    EXPECT_EQ(r.status, 0) << r.err.toStdString();
    const QString id = readInstanceId(folder + QStringLiteral("/vqrdata/instance.vqr"));
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^\\{[0-9A-F-]{36}\\}$")).match(id).hasMatch())
        << id.toStdString();
    // The same identity at the next start.
    EXPECT_EQ(run(folder, {}, env).status, 0);
    EXPECT_EQ(readInstanceId(folder + QStringLiteral("/vqrdata/instance.vqr")), id);
}

TEST_F(ProgramTest, SecondStartIsRefusedAndRaisesTheFirstWhileAnotherInstallationRuns)
{
    const QString folder = install();
    QProcessEnvironment env = environment(true);
    env.insert(QStringLiteral("QT_LOGGING_RULES"), QStringLiteral("velquor.*.info=true"));
    QProcess first;
    start(first, folder, {}, env);
    QString firstErr;
    ASSERT_TRUE(waitForText(first, firstErr, QStringLiteral("login window shown"), 30000))
        << firstErr.toStdString();

    const SRun second = run(folder, {}, environment(false));
    EXPECT_TRUE(second.err.contains(kRunning)) << second.err.toStdString();
    EXPECT_NE(second.status, 0);
    EXPECT_TRUE(
        waitForText(first, firstErr, QStringLiteral("window raised for a second start"), 10000))
        << firstErr.toStdString();

    // Another installation starts normally meanwhile.
    QProcessEnvironment bench = environment(true);
    bench.insert(QStringLiteral("VELQUOR_BENCH_EXIT_BEFORE_LOGIN"), QStringLiteral("1"));
    const SRun other = run(install(QStringLiteral("other")), {}, bench);
    EXPECT_EQ(other.status, 0) << other.err.toStdString();

    first.terminate();
    ASSERT_TRUE(first.waitForFinished(10000));

    // A lock left by a process that is gone does not block the installation.
    const SRun after = run(folder, {}, bench);
    EXPECT_EQ(after.status, 0) << after.err.toStdString();
}

TEST_F(ProgramTest, NoUiRunUsesTheCurrentFolderAndPrintsItsCode)
{
    const QString folder = install();
    const QString work = path(QStringLiteral("work"));
    QDir().mkpath(work + QStringLiteral("/vqrdata"));
    // The run's own server settings point at a closed local port: the download fails fast
    // with the transport's "connection refused", and that code is what the run reports.
    ASSERT_TRUE(WriteServerVqr(work + QStringLiteral("/vqrdata"),
                               {{QStringLiteral("hostName"), QStringLiteral("127.0.0.1")},
                                {QStringLiteral("secure"), QStringLiteral("0")},
                                {QStringLiteral("httpPort"), QStringLiteral("1")}}));
    const SRun r
        = run(folder,
              {QStringLiteral("/no_ui"), QStringLiteral("/accfirm_id"), QStringLiteral("A1"),
               QStringLiteral("/login_id=u"), QStringLiteral("/pwd=p"), QStringLiteral("/pp"),
               QStringLiteral("/src_dir=経理/2024"), QStringLiteral("/dst_dir"), work},
              environment(false), work);
    EXPECT_EQ(r.out, QStringLiteral("12029"));
    EXPECT_EQ(r.status, 12029 & 0xFF);
    EXPECT_TRUE(QFile::exists(work + QStringLiteral("/vqrdata/instance.vqr")));
    EXPECT_FALSE(QFile::exists(folder + QStringLiteral("/vqrdata")));
}

TEST_F(ProgramTest, InteractiveStartWithoutADisplayEndsNonZero)
{
    const SRun r = run(install(), {}, environment(false));
    EXPECT_NE(r.status, 0);
    EXPECT_FALSE(r.err.isEmpty());
}

namespace {

const QString kInstanceFailed = QStringLiteral("インスタンスマネージャの初期化に失敗しました。");

struct SUnusableCase
{
    const char *name;
    int depth; // the length of the folder's path; 0: a read-only folder
    bool noUi; // the folder is the working directory of a no-UI run (else the program's own)
};

// An installation folder the data folder cannot live in ends the start with the instance
// message and -3: never with an exception, and nothing is left behind.
class UnusableInstallation : public ProgramTest, public ::testing::WithParamInterface<SUnusableCase>
{
protected:
    // A folder whose absolute path is exactly `length` characters long.
    QString deepFolder(int length)
    {
        QString folder = path(QStringLiteral("deep"));
        while (folder.size() < length) {
            const int room = length - int(folder.size()) - 1;
            folder += u'/' + QString(std::min(room, 40), u'd');
        }
        EXPECT_TRUE(QDir().mkpath(folder));
        return folder;
    }
};

} // namespace

TEST_P(UnusableInstallation, EndsWithTheInstanceMessage)
{
    const SUnusableCase &c = GetParam();
    const bool deep = c.depth > 0;
    const QString folder = deep ? deepFolder(c.depth) : path(QStringLiteral("readonly"));
    if (deep) {
        ASSERT_EQ(folder.size(), c.depth);
    }
    if (!c.noUi)
        install(folder);
    QStringList prefix;
    if (!deep) {
        ASSERT_TRUE(QDir().mkpath(folder));
        ASSERT_TRUE(QFile::setPermissions(folder, QFile::ReadOwner | QFile::ExeOwner
                                                      | QFile::ReadGroup | QFile::ExeGroup
                                                      | QFile::ReadOther | QFile::ExeOther));
        if (::geteuid() == 0) {
            // The superuser writes anywhere: the program runs as an ordinary user instead,
            // who needs to reach the executable and a home of its own.
            if (!QFile::exists(QStringLiteral("/usr/bin/setpriv")))
                GTEST_SKIP() << "running as root without setpriv";
            prefix = {QStringLiteral("/usr/bin/setpriv"), QStringLiteral("--reuid=65534"),
                      QStringLiteral("--regid=65534"), QStringLiteral("--clear-groups")};
            QFile::setPermissions(installation.root(), QFile::permissions(installation.root())
                                                           | QFile::ReadOther | QFile::ExeOther);
            ASSERT_EQ(::chown(QFile::encodeName(installation.home()).constData(), 65534, 65534), 0);
        }
    }
    const QString program = c.noUi ? install() : folder;
    if (!prefix.isEmpty())
        QFile::setPermissions(program,
                              QFile::permissions(program) | QFile::ReadOther | QFile::ExeOther);
    const QStringList before = Listing(folder);
    QStringList args;
    if (c.noUi)
        args = {QStringLiteral("/no_ui"),           QStringLiteral("/accfirm_id=demo"),
                QStringLiteral("/login_id=yamada"), QStringLiteral("/pp"),
                QStringLiteral("/pwd=yamada-pass"), QStringLiteral("/src_dir=経理/2024"),
                QStringLiteral("/dst_dir"),         path(QStringLiteral("dest"))};
    const SRun r = run(program, args, environment(false), folder, prefix);
    EXPECT_EQ(r.status, 253) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains(LoadString(17955))) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains(kInstanceFailed)) << r.err.toStdString();
    EXPECT_FALSE(r.err.contains(QStringLiteral("terminate"))) << r.err.toStdString();
    EXPECT_TRUE(r.out.isEmpty()) << r.out.toStdString();
    EXPECT_EQ(Listing(folder), before) << "nothing of a data folder is left behind";
    QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

INSTANTIATE_TEST_SUITE_P(Folders, UnusableInstallation,
                         // 240: the identity's path passes the limit of 260; 239: only the lock's
                         ::testing::Values(SUnusableCase{"deep", 240, false},
                                           SUnusableCase{"deepNoUi", 240, true},
                                           SUnusableCase{"deepForTheLock", 239, false},
                                           SUnusableCase{"deepForTheLockNoUi", 239, true},
                                           SUnusableCase{"readOnly", 0, false},
                                           SUnusableCase{"readOnlyNoUi", 0, true}),
                         [](const auto &info) { return std::string(info.param.name); });
