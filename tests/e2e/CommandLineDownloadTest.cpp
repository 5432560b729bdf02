// The no-UI download, run as the real program: what lands in the destination and which exit
// code it prints and returns.
#include "CommandLineFixture.h"

#include <QFile>
#include <QFileInfo>

#include <sys/stat.h>

namespace {

const QString kMonth = QStringLiteral("経理/2024/01月"); // three files in the demo seed

int statusOf(qint32 code)
{
    if (code == 0)
        return 0;
    const int low = int(quint32(code) & 0xFFu);
    return low == 0 ? 255 : low;
}

} // namespace

class CommandLineDownloadTest : public CommandLineFixture
{
protected:
    void expectCode(const SProgramRun &run, qint32 code)
    {
        EXPECT_TRUE(run.finished) << run.err.toStdString();
        EXPECT_EQ(run.out, QString::number(code)) << run.err.toStdString();
        EXPECT_EQ(run.status, statusOf(code));
    }
    // No temporary copy of a download is left behind.
    void expectNoLeftovers()
    {
        for (const QString &name : filesIn(destination(), true))
            EXPECT_FALSE(name.endsWith(QStringLiteral(".vqrtmp"))) << name.toStdString();
    }
};

TEST_F(CommandLineDownloadTest, DownloadsEveryFileByteIdenticalAndSignsOut)
{
    const QStringList expected = serviceListOrder(kMonth);
    ASSERT_EQ(expected.size(), 3);
    m_server->clearRequestLog();

    const SProgramRun run = runProgram(downloadArgs(kMonth, destination()));
    expectCode(run, 0);
    QStringList sorted = expected;
    sorted.sort();
    EXPECT_EQ(filesIn(destination(), true), sorted);
    for (const QString &name : expected)
        EXPECT_EQ(Md5Of(destination() + u'/' + name), serverDigest(kMonth, name))
            << name.toStdString();
    EXPECT_EQ(m_server->callCount(QStringLiteral("file/get")), 3);
    EXPECT_EQ(m_server->callCount(QStringLiteral("logout")), 1);
    // The password never appears in what the program writes.
    EXPECT_FALSE(run.err.contains(QStringLiteral("yamada-pass")));
    EXPECT_FALSE(run.out.contains(QStringLiteral("yamada-pass")));
}

TEST_F(CommandLineDownloadTest, FileDeletedMidRunStopsWithNonZeroCodeAndKeepsEarlierFiles)
{
    const QStringList order = serviceListOrder(kMonth);
    ASSERT_EQ(order.size(), 3);
    const QString first = destination() + u'/' + order.at(0);
    bool deleted = false;
    const SProgramRun run = runProgram(downloadArgs(kMonth, destination()), [&] {
        // The run pauses a second after each file: delete the second file meanwhile.
        if (!QFileInfo::exists(first))
            return true;
        m_server->hook(
            QStringLiteral("file/delete"),
            {{QStringLiteral("folderPath"), kMonth}, {QStringLiteral("path"), u'/' + order.at(1)}});
        deleted = true;
        return false;
    });
    ASSERT_TRUE(deleted);
    expectCode(run, -8);
    EXPECT_EQ(filesIn(destination(), true), QStringList{order.at(0)});
    EXPECT_EQ(Md5Of(first), serverDigest(kMonth, order.at(0)));
    // Stopped at the gone file: the third was never asked for; signed out all the same.
    EXPECT_EQ(m_server->callCount(QStringLiteral("file/get")), 2);
    EXPECT_EQ(m_server->callCount(QStringLiteral("logout")), 1);
}

TEST_F(CommandLineDownloadTest, EmptyFolderWritesNothingAndSucceeds)
{
    // 経理 holds only subfolders.
    const SProgramRun run = runProgram(downloadArgs(QStringLiteral("経理"), destination()));
    expectCode(run, 0);
    EXPECT_TRUE(filesIn(destination(), true).isEmpty());
    EXPECT_EQ(m_server->callCount(QStringLiteral("login")), 1);
    EXPECT_EQ(m_server->callCount(QStringLiteral("logout")), 1);
}

TEST_F(CommandLineDownloadTest, WrongPasswordPrintsTheLoginFault)
{
    const SProgramRun run = runProgram(
        downloadArgs(kMonth, destination(), QStringLiteral("yamada"), QStringLiteral("wrong")));
    expectCode(run, faultCode(20103));
    EXPECT_EQ(run.out, QStringLiteral("536891015"));
    EXPECT_TRUE(filesIn(destination(), true).isEmpty());
    EXPECT_EQ(m_server->callCount(QStringLiteral("file/list")), 0);
}

TEST_F(CommandLineDownloadTest, UnknownFolderEndsWithTheFindFault)
{
    const SProgramRun run = runProgram(downloadArgs(QStringLiteral("経理/1999"), destination()));
    expectCode(run, faultCode(30017));
    EXPECT_EQ(m_server->callCount(QStringLiteral("logout")), 1);
}

TEST_F(CommandLineDownloadTest, MissingDestinationFailsWithPathNotFound)
{
    const QString missing = root() + QStringLiteral("/no/such/folder");
    const SProgramRun run = runProgram(downloadArgs(kMonth, missing));
    expectCode(run, 3);
    EXPECT_FALSE(QFileInfo::exists(missing));
    EXPECT_EQ(m_server->callCount(QStringLiteral("file/get")), 0);
    EXPECT_EQ(m_server->callCount(QStringLiteral("logout")), 1);
}

TEST_F(CommandLineDownloadTest, DigestMismatchLeavesNoFileAndPrintsFault3)
{
    const QStringList order = serviceListOrder(kMonth);
    ASSERT_FALSE(order.isEmpty());
    m_server->hook(
        QStringLiteral("file/wrongdigest"),
        {{QStringLiteral("folderPath"), kMonth}, {QStringLiteral("path"), u'/' + order.at(0)}});
    const SProgramRun run = runProgram(downloadArgs(kMonth, destination()));
    expectCode(run, faultCode(3));
    EXPECT_EQ(run.out, QStringLiteral("536870915"));
    EXPECT_TRUE(filesIn(destination(), true).isEmpty());
    EXPECT_EQ(m_server->callCount(QStringLiteral("logout")), 1);
}

TEST_F(CommandLineDownloadTest, DigestMismatchKeepsAnExistingFileIntact)
{
    const QStringList order = serviceListOrder(kMonth);
    ASSERT_FALSE(order.isEmpty());
    const QString target = destination() + u'/' + order.at(0);
    {
        QFile old(target);
        ASSERT_TRUE(old.open(QIODevice::WriteOnly));
        old.write("the copy from last week");
    }
    m_server->hook(
        QStringLiteral("file/wrongdigest"),
        {{QStringLiteral("folderPath"), kMonth}, {QStringLiteral("path"), u'/' + order.at(0)}});
    const SProgramRun run = runProgram(downloadArgs(kMonth, destination()));
    expectCode(run, faultCode(3));
    QFile old(target);
    ASSERT_TRUE(old.open(QIODevice::ReadOnly));
    EXPECT_EQ(old.readAll(), QByteArray("the copy from last week"));
    expectNoLeftovers();
}

TEST_F(CommandLineDownloadTest, ExistingFileIsReplacedNotResumed)
{
    const QStringList order = serviceListOrder(kMonth);
    ASSERT_EQ(order.size(), 3);
    const QString target = destination() + u'/' + order.at(2);
    {
        QFile old(target);
        ASSERT_TRUE(old.open(QIODevice::WriteOnly));
        old.write(QByteArray(100000, 'x'));
    }
    const SProgramRun run = runProgram(downloadArgs(kMonth, destination()));
    expectCode(run, 0);
    EXPECT_EQ(Md5Of(target), serverDigest(kMonth, order.at(2)));
    EXPECT_LT(QFileInfo(target).size(), 100000);
    expectNoLeftovers();
}

TEST_F(CommandLineDownloadTest, HostileFileNameFailsThatFileWithInvalidName)
{
    const QStringList order = serviceListOrder(kMonth);
    ASSERT_EQ(order.size(), 3);
    // A name that would climb out of the destination.
    m_server->hook(QStringLiteral("file/rename"),
                   {{QStringLiteral("folderPath"), kMonth},
                    {QStringLiteral("path"), u'/' + order.at(0)},
                    {QStringLiteral("name"), QStringLiteral("../escaped.txt")}});
    const SProgramRun run = runProgram(downloadArgs(kMonth, destination()));
    expectCode(run, 123);
    EXPECT_FALSE(QFileInfo::exists(root() + QStringLiteral("/escaped.txt")));
    EXPECT_FALSE(QFileInfo::exists(installFolder() + QStringLiteral("/escaped.txt")));
    for (const QString &name : filesIn(destination(), true))
        EXPECT_FALSE(name.contains(QStringLiteral("escaped"))) << name.toStdString();
    // The name was refused before anything was asked for it: no refused request.
    for (const QString &line : m_server->requestLog(QStringLiteral("file/get")))
        EXPECT_FALSE(line.endsWith(QStringLiteral(" 400"))) << line.toStdString();
}

TEST_F(CommandLineDownloadTest, SecretsAreTheUsersAloneAndDownloadsAreOrdinaryFiles)
{
    // The data folder as an older version left it: readable by every local user.
    const QString data = installation.dataFolder();
    ASSERT_TRUE(QFile::setPermissions(data, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner
                                                | QFile::ReadGroup | QFile::ExeGroup
                                                | QFile::ReadOther | QFile::ExeOther));
    const mode_t oldMask = ::umask(022);
    const SProgramRun run = runProgram(downloadArgs(kMonth, destination()));
    ::umask(oldMask);
    expectCode(run, 0);

    EXPECT_EQ(FileMode(data), 0700);
    EXPECT_EQ(FileMode(data + QStringLiteral("/logins.vqr")), 0600);
    EXPECT_EQ(FileMode(data + QStringLiteral("/instance.vqr")), 0600);
    // Everything the run created below the data folder: folders 0700, files 0600.
    for (const QString &entry : Listing(data)) {
        if (entry == QLatin1String("server.vqr")) // written by the test, not the program
            continue;
        EXPECT_EQ(FileMode(data + u'/' + entry), entry.endsWith(u'/') ? 0700 : 0600)
            << entry.toStdString();
    }
    const QStringList files = filesIn(destination(), true);
    ASSERT_EQ(files.size(), 3);
    for (const QString &name : files)
        EXPECT_EQ(FileMode(destination() + u'/' + name), 0644) << name.toStdString();
}
