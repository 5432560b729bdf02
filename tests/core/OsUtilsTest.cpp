#include "CoreFixture.h"

#include "core/FileSystem.h"
#include "core/OsUtils.h"

#include <QRegularExpression>
#include <QThread>

TEST(OsUtils, GuidTextForms)
{
    const QString braced = NewGuidText();
    EXPECT_EQ(braced.size(), 38);
    EXPECT_TRUE(braced.startsWith(u'{') && braced.endsWith(u'}'));
    EXPECT_EQ(braced, braced.toUpper());
    const QString bare = NewGuidText(true);
    EXPECT_EQ(bare.size(), 36);
    EXPECT_NE(NewGuidText(), NewGuidText());
}

TEST(OsUtils, DaysInMonthGregorian)
{
    const std::pair<std::pair<int, int>, int> cases[]
        = {{{2024, 2}, 29}, {{2023, 2}, 28},  {{1900, 2}, 28}, {{2000, 2}, 29}, {{2025, 1}, 31},
           {{2025, 4}, 30}, {{2025, 12}, 31}, {{2025, 13}, 0}, {{2025, 0}, 0}};
    for (const auto &[ym, days] : cases)
        EXPECT_EQ(DaysInMonth(ym.first, ym.second), days) << ym.first << "-" << ym.second;
}

TEST(OsUtils, OsCheckAndTexts)
{
    EXPECT_TRUE(IsSupportedOs());
    QString name, version, sp, build;
    OsInfoText(&name, &version, &sp, &build);
    EXPECT_FALSE(name.isEmpty());
    EXPECT_TRUE(
        QRegularExpression(QStringLiteral("^\\d+\\.\\d+\\.\\d+$")).match(version).hasMatch())
        << version.toStdString();
    EXPECT_EQ(sp, QStringLiteral("<none>"));
    EXPECT_GE(build.size(), 4);
    QString host;
    EXPECT_TRUE(ComputerName(host));
    EXPECT_FALSE(host.isEmpty());
}

TEST(OsUtils, ProgramVersionWords)
{
    quint32 high = 0, low = 0;
    ASSERT_TRUE(GetProgramVersion(high, low));
    EXPECT_EQ(ProgramVersionText(), QStringLiteral(VELQUOR_VERSION_TEXT));
    EXPECT_TRUE(ParseVersionWords(QStringLiteral("1.1.6.6"), high, low));
    EXPECT_EQ(high, 0x00010001u);
    EXPECT_EQ(low, 0x00060006u);
    EXPECT_FALSE(ParseVersionWords(QStringLiteral("1.2.3"), high, low));
    EXPECT_FALSE(ParseVersionWords(QStringLiteral("1.2.3.70000"), high, low));
}

class ProcessTest : public CoreFixture
{
protected:
    // A fake program on PATH that logs its arguments.
    QString fakeTool(const QString &name, const QString &body)
    {
        const QString bin = root() + QStringLiteral("/bin");
        QDir().mkpath(bin);
        const QString path = bin + u'/' + name;
        EXPECT_TRUE(WriteFile(path, (QStringLiteral("#!/bin/sh\n") + body + u'\n').toUtf8()));
        QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        return path;
    }
};

TEST_F(ProcessTest, RunAndWaitReturnsTheExitCodeAndNeverZeroForAFailedStart)
{
    const QString tool = fakeTool(QStringLiteral("exit7"), QStringLiteral("pwd > out.txt; exit 7"));
    bool started = false;
    EXPECT_EQ(RunAndWait(tool, {}, root(), &started), 7);
    EXPECT_TRUE(started);
    EXPECT_EQ(ReadFile(root() + QStringLiteral("/out.txt")).trimmed(), root().toUtf8());
    EXPECT_EQ(RunAndWait(root() + QStringLiteral("/no-such-program"), {}, {}, &started), -1);
    EXPECT_FALSE(started);
    const QString crash = fakeTool(QStringLiteral("crash"), QStringLiteral("kill -9 $$"));
    EXPECT_EQ(RunAndWait(crash, {}), -1);
}

TEST_F(ProcessTest, ShowInExplorerOpensTheFolderOrTheFilesFolder)
{
    const QString log = root() + QStringLiteral("/opened.txt");
    fakeTool(QStringLiteral("xdg-open"), QStringLiteral("echo \"$1\" >> '") + log + u'\'');
    // Only the fake tools: without dbus-send the file's folder is opened.
    installation.SetEnv("PATH", (root() + QStringLiteral("/bin:/bin-none")).toUtf8());
    const QString folder = root() + QStringLiteral("/docs");
    QDir().mkpath(folder);
    ASSERT_TRUE(WriteFile(folder + QStringLiteral("/a.txt"), "x"));
    EXPECT_TRUE(ShowInExplorer(folder, true));
    EXPECT_TRUE(ShowInExplorer(folder + QStringLiteral("/a.txt"), false));
    EXPECT_FALSE(ShowInExplorer(folder + QStringLiteral("/missing"), true));
    const quint32 start = TickCount();
    while (ReadFile(log).count('\n') < 2 && TickSpan(start, TickCount()) < 5000)
        QThread::msleep(20);
    EXPECT_EQ(ReadFile(log), (folder + u'\n' + folder + u'\n').toUtf8());
}
