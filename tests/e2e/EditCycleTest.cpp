// The edit cycle as a user goes through it, against the devserver's demo office as yamada:
// open for editing in the desktop's application, change, send; reopen, send unchanged,
// force release; the lock taken or released behind the client's back; files other users
// hold; applications that hold the file or do not exist; failed transfers; a client killed
// while it sends. The application is a fake one: a script with a desktop entry under the
// test's HOME, the default for spreadsheets, CSV and text, which records its arguments and
// does what the test asks (change the file, hold an flock on it while "open").

#include "EditCycleFixture.h"

#include "core/AppState.h"
#include "core/BizException.h"
#include "core/Messages.h"
#include "core/Paths.h"
#include "core/Strings.h"
#include "files/AppAssociation.h"
#include "files/FileRequests.h"
#include "service/MessageDigest.h"
#include "store/Convert.h"
#include "store/IdPath.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QThread>

#include <csignal>
#include <cstdio>

TEST_F(EditCycle, OpenChangeAndSendASpreadsheet)
{
    const qint32 year = Year();
    const QString before = ServiceDigest(kBudget);
    ASSERT_TRUE(Open(kBudget));
    EXPECT_EQ(LockKey(kBudget), login()->clientKey());
    EXPECT_TRUE(QFileInfo::exists(Edit(kBudget)));
    EXPECT_TRUE(QFileInfo::exists(Working(kBudget)));
    ASSERT_TRUE(WaitForLog(QStringLiteral("done")));
    EXPECT_EQ(LogLines().first(), QStringLiteral("open ") + Working(kBudget))
        << "the application got the working copy";
    EXPECT_EQ(ReadFile(Working(kBudget)), "edited by the application");

    int sent = 0;
    server->clearRequestLog();
    ASSERT_TRUE(Send(kBudget, &sent));
    EXPECT_EQ(sent, 1);
    const QString digest = Md5Hex("edited by the application");
    EXPECT_EQ(ServiceDigest(kBudget), digest);
    EXPECT_NE(digest, before);
    EXPECT_EQ(Fields(kBudget).value(1), QStringLiteral("25"));
    EXPECT_TRUE(LockKey(kBudget).isEmpty()) << "free again";
    EXPECT_EQ(ReadFile(Cached(kBudget)), "edited by the application");
    EXPECT_FALSE(QFileInfo::exists(Edit(kBudget)));
    EXPECT_FALSE(QFileInfo::exists(QFileInfo(Working(kBudget)).absolutePath()))
        << "the working directory is gone";
    // One history copy, named after the sending minute.
    QStringList history;
    ASSERT_EQ(cache()->ListHistory(cache()->HistoryDirOf(year, nameOf(kBudget)), nameOf(kBudget),
                                   history),
              1);
    EXPECT_TRUE(
        QRegularExpression(QStringLiteral("^予算計画\\.\\d\\d-\\d\\d-\\d\\d_\\d\\d-\\d\\d\\.xlsx$"))
            .match(history.first())
            .hasMatch())
        << history.first().toStdString();
    EXPECT_EQ(server->callCount(QStringLiteral("file/update")), 1);
    EXPECT_EQ(server->callCount(QStringLiteral("file/unlock")), 1);
    EXPECT_TRUE(messages.isEmpty()) << messages.join(u'\n').toStdString();
}

TEST_F(EditCycle, ReopenSendUnchangedAndNothingTwice)
{
    SetMode(QStringLiteral("none"));
    ASSERT_TRUE(Open(kJournal));
    ASSERT_TRUE(WaitForLog(QStringLiteral("done")));
    const QByteArray content = ReadFile(Working(kJournal));
    ASSERT_FALSE(content.isEmpty());
    ASSERT_TRUE(WriteFile(Working(kJournal), content + "my line\r\n"));

    // Unsent already: no lock request, the same working copy.
    server->clearRequestLog();
    ASSERT_TRUE(Open(kJournal));
    ASSERT_TRUE(WaitForLog(QStringLiteral("done"), 2));
    EXPECT_EQ(server->callCount(QStringLiteral("file/lock")), 0);
    EXPECT_EQ(server->callCount(QStringLiteral("file/get")), 0);
    EXPECT_EQ(ReadFile(Working(kJournal)), content + "my line\r\n");
    ASSERT_TRUE(Send(kJournal));

    // The cache is current now: opening downloads nothing; sending unchanged uploads
    // nothing, keeps no history and still unlocks.
    const QString historyDir = cache()->HistoryDirOf(Year(), nameOf(kJournal));
    QStringList history;
    const int copies = cache()->ListHistory(historyDir, nameOf(kJournal), history);
    server->clearRequestLog();
    ASSERT_TRUE(Open(kJournal));
    EXPECT_EQ(server->callCount(QStringLiteral("file/lock")), 1);
    EXPECT_EQ(server->callCount(QStringLiteral("file/get")), 0);
    int sent = -1;
    ASSERT_TRUE(Send(kJournal, &sent));
    EXPECT_EQ(sent, 0);
    EXPECT_EQ(server->callCount(QStringLiteral("file/update")), 0);
    EXPECT_EQ(server->callCount(QStringLiteral("file/unlock")), 1);
    EXPECT_EQ(cache()->ListHistory(historyDir, nameOf(kJournal), history), copies);
    EXPECT_TRUE(LockKey(kJournal).isEmpty());
    EXPECT_TRUE(messages.isEmpty()) << messages.join(u'\n').toStdString();
}

TEST_F(EditCycle, ASendKeepsTheDataTheApplicationWroteBeside)
{
    // A data file of a known type stays until it is added; the application's own temporary
    // files go with the working copy.
    installation.SetEnv("FAKEAPP_BESIDE", "明細.csv ~$予算計画.xlsx");
    SetMode(QStringLiteral("edit"), "with details");
    ASSERT_TRUE(Open(kBudget));
    ASSERT_TRUE(WaitForLog(QStringLiteral("done")));
    const QString dir = QFileInfo(Working(kBudget)).absolutePath();
    ASSERT_TRUE(QFileInfo::exists(dir + QStringLiteral("/明細.csv")));
    ASSERT_TRUE(Send(kBudget));
    EXPECT_EQ(ServiceDigest(kBudget), Md5Hex("with details"));
    EXPECT_FALSE(QFileInfo::exists(Working(kBudget)));
    EXPECT_EQ(ReadFile(dir + QStringLiteral("/明細.csv")), "data\n");
    EXPECT_FALSE(QFileInfo::exists(dir + QStringLiteral("/~$予算計画.xlsx")));
}

TEST_F(EditCycle, AnApplicationHoldingTheFileBlocksSendAndRelease)
{
    SetMode(QStringLiteral("hold"));
    ASSERT_TRUE(Open(kBudget));
    ASSERT_TRUE(WaitForLog(QStringLiteral("open ") + Working(kBudget)));
    SFileStates states;
    for (int i = 0; i < 200 && !states.inUse; ++i) {
        QThread::msleep(20);
        cache()->QueryWorkingCopy(Year(), nameOf(kBudget), SFileStates::InUse, states);
    }
    ASSERT_TRUE(states.inUse);
    const QList<SUnsentFile> unsent = gui()->ListUnsent();
    ASSERT_EQ(unsent.size(), 1);
    EXPECT_EQ(unsent.first().name, nameOf(kBudget));
    EXPECT_TRUE(unsent.first().inUse);
    EXPECT_EQ(gui()->CountUnsent(), 1);

    const QString expected = BizFormat(LoadString(18327), {nameOf(kBudget)});
    EXPECT_FALSE(Send(kBudget));
    ASSERT_EQ(messages.size(), 1);
    EXPECT_EQ(messages.last(), expected);
    EXPECT_FALSE(gui()->ForceReleaseFile(Year(), kBudget));
    ASSERT_EQ(messages.size(), 2);
    EXPECT_EQ(messages.last(), expected);
    EXPECT_EQ(LockKey(kBudget), login()->clientKey()) << "still unsent";
    EXPECT_TRUE(QFileInfo::exists(Working(kBudget)));

    ReleaseHolder();
    for (int i = 0; i < 200 && states.inUse; ++i) {
        QThread::msleep(20);
        cache()->QueryWorkingCopy(Year(), nameOf(kBudget), SFileStates::InUse, states);
    }
    ASSERT_TRUE(Send(kBudget));
    EXPECT_TRUE(LockKey(kBudget).isEmpty());
    EXPECT_EQ(gui()->CountUnsent(), 0);
}

TEST_F(EditCycle, ALockReleasedOrTakenBehindTheClientsBackLosesNothing)
{
    SetMode(QStringLiteral("edit"), "my edit");
    ASSERT_TRUE(Open(kBudget));
    ASSERT_TRUE(WaitForLog(QStringLiteral("done")));
    ASSERT_EQ(ReadFile(Working(kBudget)), "my edit");

    server->hook(QStringLiteral("unlock"),
                 {{QStringLiteral("folderPath"), kYear}, {QStringLiteral("path"), kBudget}});
    EXPECT_FALSE(Send(kBudget));
    ASSERT_EQ(messages.size(), 1);
    EXPECT_EQ(messages.last(), LoadString(18328));
    server->hook(QStringLiteral("lock"),
                 {{QStringLiteral("folderPath"), kYear}, {QStringLiteral("path"), kBudget}});
    EXPECT_FALSE(Send(kBudget));
    ASSERT_EQ(messages.size(), 2);
    EXPECT_EQ(messages.last(), LoadString(18329));
    EXPECT_EQ(ReadFile(Working(kBudget)), "my edit") << "nothing is lost";

    // Free again: the next open keeps the edit aside and says where.
    server->hook(QStringLiteral("unlock"),
                 {{QStringLiteral("folderPath"), kYear}, {QStringLiteral("path"), kBudget}});
    SetMode(QStringLiteral("none"));
    ASSERT_TRUE(Open(kBudget));
    ASSERT_EQ(messages.size(), 3);
    const QString kept = messages.last().section(QStringLiteral("\r\n"), 1);
    EXPECT_TRUE(messages.last().startsWith(
        BizFormat(LoadString(90001), {nameOf(kBudget), QString()}).trimmed()))
        << messages.last().toStdString();
    EXPECT_EQ(ReadFile(kept), "my edit");
    EXPECT_EQ(ReadFile(Working(kBudget)), ReadFile(Edit(kBudget))) << "a fresh working copy";
}

TEST_F(EditCycle, AFileAnotherUserHoldsOpensOnlyForViewing)
{
    // suzuki holds it (with a display name).
    installation.answer = IDNO;
    EXPECT_FALSE(Open(kSales));
    ASSERT_EQ(messages.size(), 1);
    EXPECT_EQ(messages.last(), BizFormat(LoadString(18248), {QStringLiteral("鈴木 花子")}));
    EXPECT_EQ(server->callCount(QStringLiteral("file/lock")), 0);

    installation.answer = IDYES;
    SetMode(QStringLiteral("none"));
    ASSERT_TRUE(Open(kSales));
    ASSERT_TRUE(WaitForLog(QStringLiteral("done")));
    const QString view = cache()->ViewCopyPath(nameOf(kSales));
    EXPECT_EQ(LogLines().first(), QStringLiteral("open ") + view) << "a view copy";
    EXPECT_EQ(server->callCount(QStringLiteral("file/lock")), 0);
    EXPECT_NE(LockKey(kSales), login()->clientKey());

    EXPECT_FALSE(Open(kSales, true));
    EXPECT_EQ(messages.last(), BizFormat(LoadString(18271), {QStringLiteral("鈴木 花子")}));

    // A holder without a display name.
    server->hook(QStringLiteral("user"), {{QStringLiteral("loginId"), QStringLiteral("suzuki")},
                                          {QStringLiteral("dispName"), QString()}});
    server->hook(QStringLiteral("unlock"),
                 {{QStringLiteral("folderPath"), kYear}, {QStringLiteral("path"), kSales}});
    server->hook(QStringLiteral("lock"),
                 {{QStringLiteral("folderPath"), kYear}, {QStringLiteral("path"), kSales}});
    installation.answer = IDNO;
    EXPECT_FALSE(Open(kSales));
    EXPECT_EQ(messages.last(), LoadString(18249));
    EXPECT_FALSE(Open(kSales, true));
    EXPECT_EQ(messages.last(), LoadString(18272));
}

TEST_F(EditCycle, NoApplicationOrATooLongPathHandsTheFileBack)
{
    const QString report = QStringLiteral("/月次報告_1月.docx");
    if (LookupAppAssociation(QStringLiteral(".docx")).hasApplication())
        GTEST_SKIP() << "this machine opens .docx files";
    ASSERT_FALSE(Open(report));
    EXPECT_TRUE(LockKey(report).isEmpty()) << "released at once";
    EXPECT_FALSE(QFileInfo::exists(Working(report)));
    EXPECT_EQ(server->callCount(QStringLiteral("file/update")), 0);

    // The shortest name that makes the working copy path longer than 250 characters (the
    // name is in it twice: 251 or 252).
    const int nameLength = (251 - 11 - int(EditPath().size()) + 1) / 2;
    const QString name = QString(nameLength - 4, u'n') + QStringLiteral(".csv");
    const int length = cache()->WorkingLength(nameLength);
    ASSERT_GT(length, 250);
    ASSERT_LE(cache()->WorkingLength(nameLength - 1), 250);
    server->hook(QStringLiteral("file/rename"), {{QStringLiteral("folderPath"), kYear},
                                                 {QStringLiteral("path"), kJournal},
                                                 {QStringLiteral("name"), name}});
    server->clearRequestLog();
    EXPECT_FALSE(Open(u'/' + name));
    EXPECT_EQ(messages.last(),
              BizFormat(LoadString(18241), {cache()->WorkingCopyPath(Year(), name), length, 250}));
    EXPECT_EQ(server->callCount(QStringLiteral("file/lock")), 0);
}

TEST_F(EditCycle, FailedTransfersReleaseTheLockOrKeepTheEdit)
{
    // A cached copy first, then a newer content on the service.
    SetMode(QStringLiteral("none"));
    ASSERT_TRUE(Open(kBudget));
    ASSERT_TRUE(gui()->ForceReleaseFile(Year(), kBudget));
    const QByteArray cached = ReadFile(Cached(kBudget));
    ASSERT_FALSE(cached.isEmpty());

    // A download that breaks every time after the lock: the lock goes again, no partial
    // copy stays, the cache copy is as it was.
    server->hook(QStringLiteral("file/content"),
                 {{QStringLiteral("folderPath"), kYear},
                  {QStringLiteral("path"), kBudget},
                  {QStringLiteral("content"), QString(100000, u'b')}});
    server->hook(QStringLiteral("fail"), {{QStringLiteral("op"), QStringLiteral("file/get")},
                                          {QStringLiteral("mode"), QStringLiteral("cut")},
                                          {QStringLiteral("count"), QStringLiteral("1000")}});
    EXPECT_FALSE(Open(kBudget));
    EXPECT_FALSE(messages.isEmpty());
    EXPECT_TRUE(LockKey(kBudget).isEmpty());
    EXPECT_FALSE(QFileInfo::exists(cache()->DownloadCopyPath(Year(), nameOf(kBudget))));
    EXPECT_FALSE(QFileInfo::exists(Working(kBudget)));
    EXPECT_EQ(ReadFile(Cached(kBudget)), cached);
    server->hook(QStringLiteral("fail/clear"));

    // Bytes that do not match the digest: the same.
    server->hook(QStringLiteral("fail"), {{QStringLiteral("op"), QStringLiteral("file/get")},
                                          {QStringLiteral("mode"), QStringLiteral("wrongbytes")}});
    messages.clear();
    EXPECT_FALSE(Open(kBudget));
    ASSERT_FALSE(messages.isEmpty());
    EXPECT_TRUE(messages.last().startsWith(BizFormat(LoadString(17933), {kBudget})))
        << messages.last().toStdString();
    EXPECT_TRUE(LockKey(kBudget).isEmpty());
    EXPECT_EQ(ReadFile(Cached(kBudget)), cached);
    // Viewing goes the same way: the view copy is not made of the wrong bytes.
    server->hook(QStringLiteral("fail"), {{QStringLiteral("op"), QStringLiteral("file/get")},
                                          {QStringLiteral("mode"), QStringLiteral("wrongbytes")}});
    EXPECT_FALSE(gui()->OpenReadOnly(Year(), kBudget));
    EXPECT_EQ(ReadFile(Cached(kBudget)), cached);
    EXPECT_FALSE(QFileInfo::exists(cache()->ViewCopyPath(nameOf(kBudget))));

    // A refused upload and one cut short keep both copies and the lock for the next try.
    SetMode(QStringLiteral("edit"), "the edit to keep");
    ASSERT_TRUE(Open(kBudget));
    ASSERT_TRUE(WaitForLog(QStringLiteral("done")));
    const QString before = ServiceDigest(kBudget);
    for (const char *mode : {"fault", "cut"}) {
        SCOPED_TRACE(mode);
        server->hook(QStringLiteral("fail"), {{QStringLiteral("op"), QStringLiteral("file/update")},
                                              {QStringLiteral("mode"), QString::fromLatin1(mode)},
                                              {QStringLiteral("code"), QStringLiteral("40014")},
                                              {QStringLiteral("status"), QStringLiteral("403")},
                                              {QStringLiteral("count"), QStringLiteral("10")}});
        messages.clear();
        EXPECT_FALSE(Send(kBudget));
        EXPECT_FALSE(messages.isEmpty());
        server->hook(QStringLiteral("fail/clear"));
        EXPECT_EQ(ReadFile(Working(kBudget)), "the edit to keep");
        EXPECT_EQ(ReadFile(Edit(kBudget)), "the edit to keep") << "the copy being sent";
        EXPECT_EQ(LockKey(kBudget), login()->clientKey());
        if (std::string(mode) == "fault") {
            EXPECT_EQ(ServiceDigest(kBudget), before);
        }
        // (cut: the service took the bytes, only the answer was lost; sending again is safe)
        EXPECT_EQ(gui()->CountUnsent(), 1);
    }
    ASSERT_TRUE(Send(kBudget));
    EXPECT_EQ(ServiceDigest(kBudget), Md5Hex("the edit to keep"));
    EXPECT_TRUE(LockKey(kBudget).isEmpty());
}

TEST_F(EditCycle, AnEditOverTheUploadLimitStaysUnsent)
{
    SetMode(QStringLiteral("edit"), "twenty-six bytes of edits!");
    ASSERT_TRUE(Open(kJournal));
    ASSERT_TRUE(WaitForLog(QStringLiteral("done")));
    auto limit = [&](const char *bytes) {
        server->hook(QStringLiteral("user"),
                     {{QStringLiteral("loginId"), QStringLiteral("yamada")},
                      {QStringLiteral("maxFileSize"), QString::fromLatin1(bytes)}});
        SignIn(); // the profile is read at sign-in
    };
    limit("25");
    server->clearRequestLog();
    EXPECT_FALSE(Send(kJournal));
    ASSERT_EQ(messages.size(), 1);
    EXPECT_EQ(messages.last(), BizFormat(LoadString(18237), {nameOf(kJournal), FormatByteSize(26),
                                                             FormatByteSize(25)}));
    EXPECT_EQ(server->callCount(QStringLiteral("file/update")), 0);
    EXPECT_EQ(ReadFile(Working(kJournal)), "twenty-six bytes of edits!");
    EXPECT_EQ(LockKey(kJournal), login()->clientKey());

    limit("26"); // the limit itself is allowed
    ASSERT_TRUE(Send(kJournal));
    EXPECT_EQ(ServiceDigest(kJournal), Md5Hex("twenty-six bytes of edits!"));
}

TEST_F(EditCycle, ForceReleaseThrowsTheEditAway)
{
    SetMode(QStringLiteral("edit"), "thrown away");
    ASSERT_TRUE(Open(kBudget));
    ASSERT_TRUE(WaitForLog(QStringLiteral("done")));
    const QByteArray atOpen = ReadFile(Edit(kBudget));
    ASSERT_FALSE(atOpen.isEmpty());
    ASSERT_TRUE(gui()->ForceReleaseFile(Year(), kBudget));
    EXPECT_EQ(ReadFile(Cached(kBudget)), atOpen);
    EXPECT_FALSE(QFileInfo::exists(Working(kBudget)));
    EXPECT_TRUE(LockKey(kBudget).isEmpty());
    EXPECT_EQ(server->callCount(QStringLiteral("file/update")), 0);
}

TEST_F(EditCycle, OpenWithAChosenApplicationThenSend)
{
    // The fake application opens spreadsheets, CSV and text: it is listed once.
    int preselected = -2;
    const QList<SAppChoice> choices
        = gui()->AppChoices(installation.path(QStringLiteral("bin/fakeapp")), &preselected);
    const QString fake = installation.path(QStringLiteral("bin/fakeapp"));
    ASSERT_EQ(std::count_if(choices.begin(), choices.end(),
                            [&](const SAppChoice &c) { return c.appPath == fake; }),
              1);
    ASSERT_GE(preselected, 0);
    EXPECT_EQ(choices.at(preselected).appPath, fake);

    SetMode(QStringLiteral("edit"), "opened with the chosen one");
    ASSERT_TRUE(gui()->OpenForEditing(Year(), kJournal, &choices.at(preselected), false));
    ASSERT_TRUE(WaitForLog(QStringLiteral("done")));
    EXPECT_EQ(LogLines().first(), QStringLiteral("open ") + Working(kJournal))
        << "the copy's path is its one argument";
    ASSERT_TRUE(Send(kJournal));
    EXPECT_EQ(ServiceDigest(kJournal), Md5Hex("opened with the chosen one"));
}

TEST_F(EditCycle, KilledWhileSendingLosesNothing)
{
    SetMode(QStringLiteral("edit"), "the edit of a killed client");
    ASSERT_TRUE(Open(kBudget));
    ASSERT_TRUE(WaitForLog(QStringLiteral("done")));
    const QByteArray edit = ReadFile(Working(kBudget));
    const QString working = Working(kBudget);
    const qint32 year = Year();
    // The service takes its time over the upload; the client is killed meanwhile. This
    // client goes first: one program at a time owns the installation's state files.
    server->hook(QStringLiteral("fail"), {{QStringLiteral("op"), QStringLiteral("file/update")},
                                          {QStringLiteral("mode"), QStringLiteral("delay")},
                                          {QStringLiteral("ms"), QStringLiteral("3000")}});
    systems.reset();

    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("VELQUOR_TEST_SEND_CHILD"), QString::number(year));
    child.setProcessEnvironment(env);
    child.setWorkingDirectory(QDir::currentPath());
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.start(QCoreApplication::applicationFilePath(),
                {QStringLiteral("--gtest_filter=EditCycleChild.SendsUntilKilled")});
    ASSERT_TRUE(child.waitForStarted());
    QByteArray output;
    QElapsedTimer timer;
    timer.start();
    while (!output.contains("sending\n") && timer.elapsed() < 20000
           && child.state() == QProcess::Running) {
        child.waitForReadyRead(100);
        output += child.readAll();
    }
    ASSERT_TRUE(output.contains("sending\n")) << output.toStdString();
    QThread::msleep(500);
    ::kill(pid_t(child.processId()), SIGKILL);
    ASSERT_TRUE(child.waitForFinished(5000));
    output += child.readAll();
    ASSERT_EQ(child.exitStatus(), QProcess::CrashExit) << output.toStdString();
    EXPECT_FALSE(output.contains("not killed")) << output.toStdString();

    // The next start finds the edit unsent, whole, and still locked by this client.
    SignIn();
    EXPECT_EQ(ReadFile(working), edit);
    const QList<SUnsentFile> unsent = gui()->ListUnsent();
    ASSERT_EQ(unsent.size(), 1) << "found on the disk, the folder not visited yet";
    EXPECT_EQ(unsent.first().name, nameOf(kBudget));
    EXPECT_EQ(LockKey(kBudget), login()->clientKey());
    ASSERT_TRUE(Send(kBudget));
    EXPECT_EQ(ServiceDigest(kBudget), Md5Hex(edit));
    EXPECT_TRUE(LockKey(kBudget).isEmpty());
    EXPECT_EQ(gui()->CountUnsent(), 0);
}

// The client the previous test kills: the same installation (its HOME, working directory
// and saved sign-in), which sends the unsent file. It runs only as that test's child.
TEST(EditCycleChild, SendsUntilKilled)
{
    const QByteArray folder = qgetenv("VELQUOR_TEST_SEND_CHILD");
    if (folder.isEmpty())
        GTEST_SKIP() << "run by EditCycle.KilledWhileSendingLosesNothing";
    AppState::SetNoUiMode(true);
    SetMessageSink([](const QString &text, MsgIcon, MsgButtons) {
        std::fprintf(stdout, "message: %s\n", text.toUtf8().constData());
        std::fflush(stdout);
        return IDOK;
    });
    CSystemObjects systems;
    ASSERT_TRUE(systems.main()->StartReportingErrors());
    ASSERT_TRUE(systems.main()->loginManager()->SignIn(
        QStringLiteral("demo"), QStringLiteral("yamada"), QStringLiteral("yamada-pass"), true));
    ASSERT_TRUE(systems.shared()->Start());
    systems.local()->AttachShared(systems.shared());
    ASSERT_TRUE(systems.shared()->sharedWorkspaces()->Load());
    std::fprintf(stdout, "sending\n");
    std::fflush(stdout);
    systems.sharedGui()->SendFile(folder.toInt(), kBudget, false, nullptr);
    std::fprintf(stdout, "not killed\n");
}
