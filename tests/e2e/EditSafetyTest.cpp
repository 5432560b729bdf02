// Nothing a user wrote is lost: the paths of the edit cycle where an edit could vanish or a
// failure read as success. Each test says where the user's bytes are afterwards.
//   read-only open of an unsent file   edit and working copy untouched; the send uploads them
//   application that does not start   files beside the working copy stay where they were
//   working copy vanished               18326; the edit copy stays, the file stays unsent
//   failed move into the cache          shown; working copy kept; the next send finishes
//   move, rename, delete, copy over     refused before any request; both copies in place
//   office suite holding the document  18327 for send and release; the saved bytes sent later
//   upload answered 502 without a body  shown; edit and working copy kept, still unsent

#include "EditCycleFixture.h"

#include "core/BizException.h"
#include "core/Messages.h"
#include "store/Convert.h"

#include <QDir>
#include <QProcess>
#include <QScopeGuard>
#include <QStandardPaths>

namespace {

const QString kReport = QStringLiteral("/月次報告_1月.docx"); // free

class EditSafety : public EditCycle
{
protected:
    // Opens the file for editing with the fake application writing content into it.
    void OpenEdited(const QString &path, const QByteArray &content)
    {
        SetMode(QStringLiteral("edit"), content);
        const int before = int(LogLines().count(QStringLiteral("done")));
        ASSERT_TRUE(Open(path)) << messages.join(u'|').toStdString();
        ASSERT_TRUE(WaitForLog(QStringLiteral("done"), before + 1));
        ASSERT_EQ(ReadFile(Working(path)), content);
    }
    // The next `count` uploads fail with an error status and the given mode.
    void FailUploads(const char *mode, int count = 1)
    {
        server->hook(QStringLiteral("fail"), {{QStringLiteral("op"), QStringLiteral("file/update")},
                                              {QStringLiteral("mode"), QString::fromLatin1(mode)},
                                              {QStringLiteral("code"), QStringLiteral("40014")},
                                              {QStringLiteral("status"), QStringLiteral("502")},
                                              {QStringLiteral("count"), QString::number(count)}});
    }
    QString Message(int id, const QString &arg) const { return BizFormat(LoadString(id), {arg}); }
};

// With and without the user's deleteCache rule.
class ReadOnlyOfUnsent : public EditSafety, public ::testing::WithParamInterface<bool>
{};

} // namespace

TEST_P(ReadOnlyOfUnsent, LeavesTheEditForTheSend)
{
    if (GetParam()) {
        server->hook(QStringLiteral("user"),
                     {{QStringLiteral("loginId"), QStringLiteral("yamada")},
                      {QStringLiteral("deleteCache"), QStringLiteral("1")}});
        SignIn(); // the profile is read at sign-in
    }
    ASSERT_EQ(login()->deleteCache(), GetParam());
    const QString atService = ServiceDigest(kBudget);
    OpenEdited(kBudget, "the unsent edit");
    // A failed send: the edit copy holds the edit now, which the service does not have.
    FailUploads("fault");
    EXPECT_FALSE(Send(kBudget));
    ASSERT_EQ(ReadFile(Edit(kBudget)), "the unsent edit");

    SetMode(QStringLiteral("none"));
    messages.clear();
    ASSERT_TRUE(gui()->OpenReadOnly(Year(), kBudget)) << messages.join(u'|').toStdString();
    const QString view = cache()->ViewCopyPath(nameOf(kBudget));
    EXPECT_EQ(Md5Hex(ReadFile(view)), atService) << "the view shows the service's content";
    EXPECT_EQ(ReadFile(Edit(kBudget)), "the unsent edit");
    EXPECT_EQ(ReadFile(Working(kBudget)), "the unsent edit");
    EXPECT_EQ(gui()->CountUnsent(), 1);

    server->clearRequestLog();
    int sent = 0;
    ASSERT_TRUE(Send(kBudget, &sent)) << messages.join(u'|').toStdString();
    EXPECT_EQ(sent, 1);
    EXPECT_EQ(server->callCount(QStringLiteral("file/update")), 1);
    EXPECT_EQ(ServiceDigest(kBudget), Md5Hex("the unsent edit"));

    // An edit whose copies still equal the service's: the read-only open drops no edit copy.
    SetMode(QStringLiteral("none"));
    ASSERT_TRUE(Open(kJournal));
    const QByteArray atOpen = ReadFile(Edit(kJournal));
    ASSERT_FALSE(atOpen.isEmpty());
    ASSERT_TRUE(gui()->OpenReadOnly(Year(), kJournal));
    EXPECT_EQ(ReadFile(Edit(kJournal)), atOpen);
    EXPECT_EQ(LockKey(kJournal), login()->clientKey());
    ASSERT_TRUE(WriteFile(Working(kJournal), atOpen + "a line typed after the view\r\n"));
    ASSERT_TRUE(Send(kJournal));
    EXPECT_EQ(ServiceDigest(kJournal), Md5Hex(atOpen + "a line typed after the view\r\n"));
}

INSTANTIATE_TEST_SUITE_P(Cache, ReadOnlyOfUnsent, ::testing::Bool(),
                         [](const auto &info) { return info.param ? "NoCache" : "Cached"; });

TEST_F(EditSafety, AnApplicationThatDoesNotStartDeletesNothing)
{
    // The desktop's handler of .docx is a program that is not there.
    const QString home = installation.home();
    ASSERT_TRUE(WriteFile(home + QStringLiteral("/.local/share/applications/broken.desktop"),
                          "[Desktop Entry]\nType=Application\nName=Broken\nExec="
                              + installation.path(QStringLiteral("bin/not-installed")).toUtf8()
                              + " %f\n"));
    QByteArray list = ReadFile(home + QStringLiteral("/.config/mimeapps.list"));
    list += "application/vnd.openxmlformats-officedocument.wordprocessingml.document="
            "broken.desktop\n";
    ASSERT_TRUE(WriteFile(home + QStringLiteral("/.config/mimeapps.list"), list));

    // Left beside the working copy by an earlier edit: data and a folder of the user.
    const QString dir = QFileInfo(Working(kReport)).absolutePath();
    ASSERT_TRUE(WriteFile(dir + QStringLiteral("/明細.csv"), "carried over"));
    ASSERT_TRUE(WriteFile(dir + QStringLiteral("/notes.tmpx"), "notes"));
    ASSERT_TRUE(WriteFile(dir + QStringLiteral("/下書き/案.txt"), "draft"));
    EXPECT_FALSE(Open(kReport));
    EXPECT_TRUE(LockKey(kReport).isEmpty()) << "handed back";
    EXPECT_EQ(server->callCount(QStringLiteral("file/update")), 0);
    EXPECT_FALSE(QFileInfo::exists(Working(kReport)));
    EXPECT_EQ(ReadFile(dir + QStringLiteral("/明細.csv")), "carried over");
    EXPECT_EQ(ReadFile(dir + QStringLiteral("/notes.tmpx")), "notes");
    EXPECT_EQ(ReadFile(dir + QStringLiteral("/下書き/案.txt")), "draft");
    EXPECT_EQ(gui()->CountUnsent(), 0);

    // A send deletes only what was uploaded and the application's own lock and temporary
    // files.
    installation.SetEnv("FAKEAPP_BESIDE", ".~lock.予算計画.xlsx# ~$予算計画.xlsx 予算計画.xlsx~ "
                                          "scratch.tmpx");
    OpenEdited(kBudget, "sent");
    const QString budgetDir = QFileInfo(Working(kBudget)).absolutePath();
    ASSERT_TRUE(Send(kBudget));
    EXPECT_EQ(Listing(budgetDir), QStringList{QStringLiteral("scratch.tmpx")});
    EXPECT_EQ(ReadFile(budgetDir + QStringLiteral("/scratch.tmpx")), "data\n");
}

TEST_F(EditSafety, AVanishedWorkingCopyStaysUnsent)
{
    OpenEdited(kJournal, "written, then the file was deleted");
    const QByteArray atOpen = ReadFile(Edit(kJournal));
    ASSERT_TRUE(QFile::remove(Working(kJournal)));
    server->clearRequestLog();
    // Nothing related beside it: nothing to send the edit copy for.
    EXPECT_FALSE(gui()->SendWithRelatedData(Year(), kJournal, false, false));
    ASSERT_EQ(messages.size(), 1) << messages.join(u'|').toStdString();
    EXPECT_EQ(messages.last(), Message(18326, nameOf(kJournal)));
    EXPECT_EQ(server->callCount(QStringLiteral("file/unlock")), 0);
    EXPECT_EQ(LockKey(kJournal), login()->clientKey());
    EXPECT_EQ(ReadFile(Edit(kJournal)), atOpen);
    EXPECT_EQ(gui()->CountUnsent(), 1);
}

TEST_F(EditSafety, AFailedMoveIntoTheCacheIsShownAndTheNextSendFinishes)
{
    OpenEdited(kBudget, "uploaded, then the cache move failed");
    // Something stands where the cache copy goes: the rename over it fails.
    ASSERT_TRUE(QDir().mkpath(Cached(kBudget)));
    ASSERT_TRUE(WriteFile(Cached(kBudget) + QStringLiteral("/blocker"), "x"));
    server->clearRequestLog();
    EXPECT_FALSE(Send(kBudget));
    EXPECT_EQ(messages.size(), 1) << "shown, not silent";
    EXPECT_EQ(ServiceDigest(kBudget), Md5Hex("uploaded, then the cache move failed"));
    EXPECT_EQ(ReadFile(Working(kBudget)), "uploaded, then the cache move failed");
    EXPECT_EQ(ReadFile(Edit(kBudget)), "uploaded, then the cache move failed");
    EXPECT_EQ(LockKey(kBudget), login()->clientKey());

    ASSERT_TRUE(QDir(Cached(kBudget)).removeRecursively());
    ASSERT_TRUE(Send(kBudget)) << messages.join(u'|').toStdString();
    EXPECT_EQ(server->callCount(QStringLiteral("file/update")), 1) << "uploaded once";
    EXPECT_TRUE(LockKey(kBudget).isEmpty());
    EXPECT_EQ(ReadFile(Cached(kBudget)), "uploaded, then the cache move failed");
    EXPECT_FALSE(QFileInfo::exists(Working(kBudget)));
}

TEST_F(EditSafety, AFileOutForEditingIsNeitherMovedRenamedDeletedNorCopiedOver)
{
    OpenEdited(kBudget, "the edit in progress");
    const qint32 year = Year();
    const qint32 other = Id(QStringLiteral("経理"));
    const QString refused = Message(90002, nameOf(kBudget));
    const auto check = [&](const char *what, const std::function<SOperationResult()> &run) {
        SCOPED_TRACE(what);
        messages.clear();
        server->clearRequestLog();
        const SOperationResult result = run();
        EXPECT_EQ(result.succeeded, 0);
        ASSERT_EQ(messages.size(), 1) << messages.join(u'|').toStdString();
        EXPECT_EQ(messages.last(), refused);
        for (const char *op : {"file/move", "file/delete", "file/copy"})
            EXPECT_EQ(server->callCount(QString::fromLatin1(op)), 0) << op;
        EXPECT_EQ(ReadFile(Working(kBudget)), "the edit in progress");
        EXPECT_TRUE(QFileInfo::exists(Edit(kBudget)));
        EXPECT_FALSE(Fields(kBudget).value(0).isEmpty()) << "still on the service";
    };
    const SItemRef budget{year, kBudget, false};
    check("move", [&] { return gui()->MoveFiles({budget}, other, {}, false); });
    check("rename", [&] {
        return gui()->MoveFiles({budget}, year, QStringLiteral("予算計画_改.xlsx"), false);
    });
    check("delete", [&] { return gui()->DeleteFiles({budget}, false, false); });
    // Another file copied or moved over it.
    ASSERT_TRUE(server
                    ->hook(QStringLiteral("samename"),
                           {{QStringLiteral("rule"), QStringLiteral("overwrite")}})
                    .startsWith("ok"));
    check("copy over", [&] {
        return gui()->CopyFiles({SItemRef{year, kJournal, false}}, year, nameOf(kBudget));
    });
    check("move over", [&] {
        return gui()->MoveFiles({SItemRef{year, kJournal, false}}, year, nameOf(kBudget), false);
    });
    EXPECT_EQ(gui()->CountUnsent(), 1);
    ASSERT_TRUE(Send(kBudget));
    EXPECT_EQ(ServiceDigest(kBudget), Md5Hex("the edit in progress"));
}

TEST_F(EditSafety, AnOfficeSuiteHoldingTheDocumentBlocksSendAndRelease)
{
    // Holds the document open with ".~lock.<name>#" beside it, saves by renaming a new file
    // over it, takes no advisory lock.
    SetMode(QStringLiteral("office"), "saved in the suite");
    ASSERT_TRUE(Open(kBudget));
    ASSERT_TRUE(WaitForLog(QStringLiteral("saved")));
    const QString lockFile = QFileInfo(Working(kBudget)).absolutePath() + QStringLiteral("/.~lock.")
                             + nameOf(kBudget) + u'#';
    ASSERT_TRUE(QFileInfo::exists(lockFile));
    const QString inUse = Message(18327, nameOf(kBudget));
    EXPECT_FALSE(Send(kBudget));
    EXPECT_EQ(messages.last(), inUse);
    EXPECT_FALSE(gui()->ForceReleaseFile(Year(), kBudget));
    EXPECT_EQ(messages.last(), inUse);
    const QList<SUnsentFile> unsent = gui()->ListUnsent();
    ASSERT_EQ(unsent.size(), 1);
    EXPECT_TRUE(unsent.first().inUse);
    EXPECT_EQ(server->callCount(QStringLiteral("file/update")), 0);
    EXPECT_EQ(ReadFile(Working(kBudget)), "saved in the suite");
    EXPECT_EQ(LockKey(kBudget), login()->clientKey());

    // The suite ends without removing its lock file (as after a crash): that alone blocks
    // nothing.
    ReleaseHolder();
    bool free = false;
    for (int i = 0; i < 250 && !free; ++i) {
        QThread::msleep(20);
        free = !gui()->ListUnsent().value(0).inUse;
    }
    ASSERT_TRUE(free);
    ASSERT_TRUE(QFileInfo::exists(lockFile));
    ASSERT_TRUE(Send(kBudget)) << messages.join(u'|').toStdString();
    EXPECT_EQ(ServiceDigest(kBudget), Md5Hex("saved in the suite"));
    EXPECT_FALSE(QFileInfo::exists(lockFile)) << "the suite's own file goes with the send";
}

TEST_F(EditSafety, AnUploadAnsweredWithAnEmptyErrorKeepsEverything)
{
    OpenEdited(kBudget, "behind a proxy");
    const QString before = ServiceDigest(kBudget);
    FailUploads("empty");
    int sent = -1;
    EXPECT_FALSE(Send(kBudget, &sent));
    EXPECT_EQ(sent, 0);
    ASSERT_EQ(messages.size(), 1) << "the failure is shown";
    EXPECT_TRUE(messages.last().startsWith(BizFormat(LoadString(17931), {QStringLiteral("502")})))
        << messages.last().toStdString();
    EXPECT_EQ(ServiceDigest(kBudget), before);
    EXPECT_EQ(ReadFile(Working(kBudget)), "behind a proxy");
    EXPECT_EQ(ReadFile(Edit(kBudget)), "behind a proxy");
    EXPECT_EQ(LockKey(kBudget), login()->clientKey());
    EXPECT_EQ(gui()->CountUnsent(), 1);
    ASSERT_TRUE(Send(kBudget));
    EXPECT_EQ(ServiceDigest(kBudget), Md5Hex("behind a proxy"));
}

// The real suite where this machine has it (libreoffice-calc-nogui and python3-uno), driven
// over UNO: the document open in LibreOffice blocks the send until the suite closes it; what
// the suite saved is what the service gets.
TEST_F(EditSafety, LibreOfficeHoldingTheDocumentBlocksTheSend)
{
    const QString python = QStringLiteral("/usr/bin/python3");
    if (QStandardPaths::findExecutable(QStringLiteral("soffice")).isEmpty()
        || QProcess::execute(python, {QStringLiteral("-c"), QStringLiteral("import uno")}) != 0)
        GTEST_SKIP() << "LibreOffice with its Python bridge is not installed";
    ASSERT_TRUE(Open(kJournal, true));
    const QString working = Working(kJournal);
    const QByteArray atOpen = ReadFile(working);
    QProcess office;
    office.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    office.start(python, {QStringLiteral(VELQUOR_SOURCE_DIR "/tests/e2e/office_driver.py"), working,
                          installation.path(QStringLiteral("office-profile"))});
    ASSERT_TRUE(office.waitForStarted());
    QByteArray said;
    const auto waitFor = [&](const QByteArray &line) {
        QElapsedTimer timer;
        timer.start();
        while (!said.contains(QByteArray(line + '\n')) && !said.contains("error")
               && timer.elapsed() < 120000 && office.state() == QProcess::Running) {
            office.waitForReadyRead(200);
            said += office.readAllStandardOutput();
        }
        return said.contains(QByteArray(line + '\n'));
    };
    const auto cleanup = qScopeGuard([&] {
        office.write("quit\n");
        if (!office.waitForFinished(30000))
            office.kill();
    });
    ASSERT_TRUE(waitFor("opened")) << said.toStdString();
    EXPECT_TRUE(QFileInfo::exists(QFileInfo(working).absolutePath() + QStringLiteral("/.~lock.")
                                  + nameOf(kJournal) + u'#'));
    const QString inUse = Message(18327, nameOf(kJournal));
    EXPECT_FALSE(Send(kJournal));
    EXPECT_EQ(messages.value(messages.size() - 1), inUse);

    office.write("edit 送信前の変更\n");
    ASSERT_TRUE(waitFor("saved")) << said.toStdString();
    const QByteArray saved = ReadFile(working);
    EXPECT_NE(saved, atOpen);
    EXPECT_FALSE(Send(kJournal)) << "still open in the suite";
    EXPECT_EQ(messages.value(messages.size() - 1), inUse);

    office.write("close\n");
    ASSERT_TRUE(waitFor("closed")) << said.toStdString();
    bool free = false;
    for (int i = 0; i < 250 && !free; ++i) {
        free = !gui()->ListUnsent().value(0).inUse;
        if (!free)
            QThread::msleep(20);
    }
    ASSERT_TRUE(free);
    ASSERT_TRUE(Send(kJournal)) << messages.join(u'|').toStdString();
    EXPECT_EQ(ServiceDigest(kJournal), Md5Hex(saved));
}
