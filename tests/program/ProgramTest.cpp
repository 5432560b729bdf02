// The whole program, started as a process the way a user or a scheduler starts it.
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QThread>
#include <gtest/gtest.h>

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

class ProgramTest : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(m_dir.isValid()); }

    // A fresh installation: the executable in a folder of its own.
    QString install(const QString &name = QStringLiteral("install"))
    {
        const QString folder = m_dir.path() + u'/' + name;
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
        const QString home = m_dir.path() + QStringLiteral("/home");
        QDir().mkpath(home);
        env.insert(QStringLiteral("HOME"), home);
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), home + QStringLiteral("/.config"));
        env.insert(QStringLiteral("LANG"), QStringLiteral("C.UTF-8"));
        return env;
    }

    void start(QProcess &p, const QString &folder, const QStringList &args,
               const QProcessEnvironment &env, const QString &cwd = {})
    {
        p.setProcessEnvironment(env);
        p.setWorkingDirectory(cwd.isEmpty() ? folder : cwd);
        p.start(folder + QStringLiteral("/velquor"), args);
        ASSERT_TRUE(p.waitForStarted(10000));
    }

    SRun run(const QString &folder, const QStringList &args, const QProcessEnvironment &env,
             const QString &cwd = {})
    {
        QProcess p;
        start(p, folder, args, env, cwd);
        SRun r;
        EXPECT_TRUE(p.waitForFinished(60000));
        EXPECT_EQ(p.exitStatus(), QProcess::NormalExit);
        r.status = p.exitCode();
        r.out = QString::fromUtf8(p.readAllStandardOutput());
        r.err = QString::fromUtf8(p.readAllStandardError());
        return r;
    }

    QString path(const QString &rel) const { return m_dir.path() + u'/' + rel; }

private:
    QTemporaryDir m_dir;
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
    QFile settings(work + QStringLiteral("/vqrdata/server.vqr"));
    ASSERT_TRUE(settings.open(QIODevice::WriteOnly));
    const QString text = QStringLiteral("hostName=127.0.0.1\r\nsecure=0\r\nhttpPort=1\r\n");
    settings.write("\xff\xfe", 2);
    settings.write(reinterpret_cast<const char *>(text.utf16()), text.size() * 2);
    settings.close();
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
