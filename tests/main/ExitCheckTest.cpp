// The check for unsent files when the online window closes: the question, keeping them for
// the next opening's send mode, sending them, and a working copy still open in its
// application.

#include "MainWindowFixture.h"

#include "files/LocalFileManager.h"
#include "files/SharedFileManager.h"
#include "ui/main/FileListColumns.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace {

using W = CSharedFileListDialog;

const QString kUnsentQuestion
    = QStringLiteral("「未送信」のデータがあります。\r\n終了する前に［送信］しますか？\r\n※［送信］"
                     "しないと変更は反映されません。");

class ExitCheckTest : public MainWindowTest
{
protected:
    // 予算計画.xlsx out for editing: locked on the service, its working copy on the disk.
    void SetUp() override
    {
        MainWindowTest::SetUp();
        bool refresh = false;
        ASSERT_TRUE(gui()->OpenForEditing(server->folderId(QStringLiteral("経理/2024")),
                                          QStringLiteral("/予算計画.xlsx"), nullptr, true, &refresh,
                                          &workingCopy))
            << messages.join(u'|').toStdString();
        ASSERT_EQ(gui()->CountUnsent(), 1);
        ASSERT_FALSE(workingCopy.isEmpty());
    }
    void SetConfirm(bool on)
    {
        app->WriteProfileInt(QStringLiteral("FileListDialog"), QStringLiteral("confirmOnExit"),
                             on ? 1 : 0);
    }
    QString workingCopy;
};

TEST_F(ExitCheckTest, AnsweringNoClosesAndTheNextOpeningStartsInSendMode)
{
    SetConfirm(true);
    installation.answers = {IDNO};
    const int result = Run([&](W &w) {
        EXPECT_TRUE(w.confirmOnExit());
        QTest::mouseClick(Ctl(w, MainId::Close), Qt::LeftButton);
    });
    EXPECT_EQ(result, 2);
    EXPECT_EQ(messages.count(kUnsentQuestion), 1) << messages.join(u'|').toStdString();
    EXPECT_EQ(gui()->CountUnsent(), 1);
    Run([&](W &w) {
        EXPECT_TRUE(w.isSendMode());
        EXPECT_TRUE(w.windowTitle().endsWith(QStringLiteral(" 【送信モード】")))
            << w.windowTitle().toStdString();
        EXPECT_EQ(RowNames(w), QStringList{QStringLiteral("予算計画.xlsx")});
    });
}

TEST_F(ExitCheckTest, CancelKeepsTheWindowOpen)
{
    SetConfirm(true);
    installation.answers = {IDCANCEL};
    const int result = Run([&](W &w) {
        QTest::mouseClick(Ctl(w, MainId::Close), Qt::LeftButton);
        Settle(w);
        EXPECT_TRUE(w.isVisible());
    });
    EXPECT_EQ(result, kStillOpen);
    EXPECT_EQ(messages.count(kUnsentQuestion), 1);
    EXPECT_EQ(gui()->CountUnsent(), 1);
}

// Without the question, or answering yes: the files are sent and the window closes.
class ExitSendTest : public ExitCheckTest, public ::testing::WithParamInterface<bool>
{};

TEST_P(ExitSendTest, ClosingSendsTheFileAndCloses)
{
    const bool confirm = GetParam();
    SetConfirm(confirm);
    installation.answers = {IDYES};
    const int result = Run([&](W &w) { QTest::mouseClick(Ctl(w, MainId::Close), Qt::LeftButton); });
    EXPECT_EQ(result, 2);
    EXPECT_EQ(messages.count(kUnsentQuestion), confirm ? 1 : 0)
        << messages.join(u'|').toStdString();
    EXPECT_EQ(gui()->CountUnsent(), 0);
    // The service no longer shows the file locked, and the next opening is a normal one.
    Run([&](W &w) {
        EXPECT_FALSE(w.isSendMode());
        ChooseFolder(w, QStringLiteral("経理/2024"));
        const int row = RowOf(w, QStringLiteral("予算計画.xlsx"));
        ASSERT_GE(row, 0);
        EXPECT_TRUE(Cell(w, row, ColumnKind::Status).isEmpty())
            << Cell(w, row, ColumnKind::Status).toStdString();
    });
}

INSTANTIATE_TEST_SUITE_P(ConfirmOffOrYes, ExitSendTest, ::testing::Bool(), [](const auto &info) {
    return info.param ? "AnsweredYes" : "NoQuestion";
});

TEST_F(ExitCheckTest, AWorkingCopyOpenInAnApplicationBlocksTheExit)
{
    SetConfirm(false);
    // An office suite holds an advisory lock on the file it edits.
    const int fd = ::open(QFile::encodeName(workingCopy).constData(), O_RDWR);
    ASSERT_GE(fd, 0) << workingCopy.toStdString();
    ASSERT_EQ(::flock(fd, LOCK_EX | LOCK_NB), 0);
    const int result = Run([&](W &w) {
        QTest::mouseClick(Ctl(w, MainId::Close), Qt::LeftButton);
        Settle(w);
        EXPECT_TRUE(w.isVisible());
        EXPECT_TRUE(w.isSendMode());
    });
    ::flock(fd, LOCK_UN);
    ::close(fd);
    EXPECT_EQ(result, kStillOpen);
    ASSERT_EQ(messages.size(), 1) << messages.join(u'|').toStdString();
    EXPECT_EQ(messages.first(),
              QStringLiteral("「予算計画.xlsx」を使用中のアプリが開いています。\r\nアプリを終了して"
                             "ください。\r\n※アプリを終了しないと［送信］できません。"));
    EXPECT_EQ(gui()->CountUnsent(), 1);
}

// An edit that can no longer be sent keeps nothing from closing: it goes into the history
// and the message says where.
struct SUnsendable
{
    const char *name;
    const char *hook; // what happens on the service; null: the working copy is deleted
    int reason;       // the message that begins the text (0: the service's fault message)
};

class ExitUnsendableTest : public ExitCheckTest, public ::testing::WithParamInterface<SUnsendable>
{};

TEST_P(ExitUnsendableTest, TheEditIsKeptAsideAndTheWindowCloses)
{
    const SUnsendable c = GetParam();
    SetConfirm(false);
    const QString name = QStringLiteral("予算計画.xlsx");
    const QList<QPair<QString, QString>> file{
        {QStringLiteral("folderPath"), QStringLiteral("経理/2024")},
        {QStringLiteral("path"), u'/' + name}};
    QByteArray edit = "the edit that cannot go";
    ASSERT_TRUE(WriteFile(workingCopy, edit));
    if (c.hook) {
        server->hook(QString::fromLatin1(c.hook), file);
    } else {
        // Gone with the working copy: what is kept is the edit copy's content.
        edit = ReadFile(gui()->sharedFiles()->local()->EditCopyPath(
            server->folderId(QStringLiteral("経理/2024")), name));
        ASSERT_TRUE(QFile::remove(workingCopy));
    }
    const int result = Run([&](W &w) { QTest::mouseClick(Ctl(w, MainId::Close), Qt::LeftButton); });
    EXPECT_EQ(result, 2);
    ASSERT_EQ(messages.size(), 1) << messages.join(u'|').toStdString();
    const QString text = messages.first();
    if (c.reason) {
        EXPECT_TRUE(
            text.startsWith(BizFormat(LoadString(c.reason), {name}) + QStringLiteral("\r\n\r\n")))
            << text.toStdString();
    }
    const QString kept = text.section(QStringLiteral("\r\n"), -1);
    EXPECT_TRUE(text.endsWith(BizFormat(LoadString(90003), {name, kept}))) << text.toStdString();
    EXPECT_EQ(ReadFile(kept), edit) << kept.toStdString();
    EXPECT_EQ(gui()->CountUnsent(), 0);
    EXPECT_FALSE(QFileInfo::exists(workingCopy));
}

INSTANTIATE_TEST_SUITE_P(Cases, ExitUnsendableTest,
                         ::testing::Values(SUnsendable{"LockReleased", "unlock", 18328},
                                           SUnsendable{"LockedByAnother", "lock", 18329},
                                           SUnsendable{"FileDeleted", "file/delete", 0},
                                           SUnsendable{"WorkingCopyGone", nullptr, 18326}),
                         [](const auto &info) { return std::string(info.param.name); });

TEST_F(ExitCheckTest, AServiceOutOfReachDoesNotKeepTheWindowOpen)
{
    SetConfirm(false);
    ASSERT_TRUE(WriteFile(workingCopy, "sent another day"));
    server->hook(QStringLiteral("fail"), {{QStringLiteral("op"), QStringLiteral("file/info")},
                                          {QStringLiteral("mode"), QStringLiteral("html")},
                                          {QStringLiteral("status"), QStringLiteral("503")},
                                          {QStringLiteral("count"), QStringLiteral("5")}});
    const int result = Run([&](W &w) { QTest::mouseClick(Ctl(w, MainId::Close), Qt::LeftButton); });
    EXPECT_EQ(result, 2);
    EXPECT_EQ(messages.size(), 1) << "the failure is shown";
    EXPECT_EQ(gui()->CountUnsent(), 1);
    EXPECT_EQ(ReadFile(workingCopy), "sent another day");
    server->hook(QStringLiteral("fail/clear"));
    Run([&](W &w) { EXPECT_TRUE(w.isSendMode()); });
}

} // namespace
