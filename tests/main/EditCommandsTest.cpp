// The edit cycle from the online window, as a user works it with the keyboard: Enter opens
// a file in the desktop's application (a fake one registered as a desktop does it: an entry
// under the test's XDG data home, the default of the types in mimeapps.list, which appends
// a line to the file it is given), Shift+Enter sends, force release and read-only opens ask
// first, a run of sends goes on past a file that fails, and a selection with one row that
// does not qualify does nothing.

#include "MainWindowFixture.h"
#include "support/FakeApplication.h"

#include "core/Strings.h"
#include "files/LocalFileManager.h"
#include "files/SharedFileManager.h"
#include "service/MessageDigest.h"
#include "ui/dialogs/SharedFileOpenWithDialog.h"
#include "ui/main/FileListColumns.h"
#include "ui/toolkit/CompleteDialogs.h"
#include "ui/toolkit/Pickers.h"

#include <QClipboard>
#include <QDir>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QThread>
#include <QTimer>

namespace {

using W = CSharedFileListDialog;

const QString kYear = QStringLiteral("経理/2024");

class EditCommandsTest : public MainWindowTest
{
protected:
    void SetUp() override
    {
        MainWindowTest::SetUp();
        if (HasFatalFailure())
            return;
        m_log = installation.path(QStringLiteral("fakeapp.log"));
        installation.SetEnv("FAKEAPP_LOG", m_log.toUtf8());
        ASSERT_FALSE(RegisterFakeApplication(installation,
                                             "#!/bin/sh\necho \"open $1\" >> \"$FAKEAPP_LOG\"\n"
                                             "printf 'appended by the application\\n' >> \"$1\"\n"
                                             "echo done >> \"$FAKEAPP_LOG\"\n")
                         .isEmpty());
        // The file types' applications are looked up at the sign-in.
        SignIn(QStringLiteral("yamada"));
    }

    qint32 Year() const { return server->folderId(kYear); }
    CLocalFileManager *Cache() const { return gui()->sharedFiles()->local(); }
    QStringList Fields(const QString &name) const { return server->fileFields(kYear, u'/' + name); }
    bool WaitForLog(const QString &line, int count = 1) const
    {
        QElapsedTimer timer;
        timer.start();
        while (timer.elapsed() < 10000) {
            if (QString::fromUtf8(ReadFile(m_log)).split(u'\n').count(line) >= count)
                return true;
            QThread::msleep(20);
        }
        return false;
    }
    QString Status(W &w, const QString &name) const
    {
        return Cell(w, RowOf(w, name), ColumnKind::Status);
    }
    // Opened for editing here without an application, with an edit in its working copy.
    void OpenAndEdit(const QString &name, const QByteArray &edit)
    {
        QString working;
        ASSERT_TRUE(gui()->OpenForEditing(Year(), u'/' + name, nullptr, true, nullptr, &working))
            << messages.join(u'|').toStdString();
        ASSERT_TRUE(WriteFile(working, edit));
    }

    QString m_log;
};

} // namespace

TEST_F(EditCommandsTest, EnterOpensTheFileAndShiftEnterSendsIt)
{
    const QString name = QStringLiteral("予算計画.xlsx");
    const QString working = Cache()->WorkingCopyPath(Year(), name);
    QByteArray edited;
    Run([&](W &w) {
        ChooseFolder(w, kYear);
        SelectRows(w, {name});
        EXPECT_TRUE(Ctl<QWidget>(w, MainId::Open)->isEnabled());
        EXPECT_FALSE(Ctl<QWidget>(w, MainId::Send)->isEnabled());
        Key(w, w.list(), Qt::Key_Return);
        ASSERT_TRUE(WaitForLog(QStringLiteral("done")));
        EXPECT_TRUE(
            QString::fromUtf8(ReadFile(m_log)).startsWith(QStringLiteral("open ") + working));
        edited = ReadFile(working);
        EXPECT_TRUE(edited.endsWith("appended by the application\n"));
        Settle(w);
        EXPECT_EQ(Status(w, name), QStringLiteral("未送信"));
        EXPECT_EQ(Fields(name).value(3), gui()->loginManager()->clientKey());

        SelectRows(w, {name});
        EXPECT_TRUE(Ctl<QWidget>(w, MainId::Send)->isEnabled());
        Key(w, w.list(), Qt::Key_Return, Qt::ShiftModifier);
        Settle(w);
        EXPECT_TRUE(Status(w, name).isEmpty()) << Status(w, name).toStdString();
    });
    EXPECT_TRUE(messages.isEmpty()) << messages.join(u'|').toStdString();
    EXPECT_EQ(Fields(name).value(2), Md5Hex(edited)) << "the service holds the edit";
    EXPECT_TRUE(Fields(name).value(3).isEmpty());
    QStringList history;
    EXPECT_EQ(Cache()->ListHistory(Cache()->HistoryDirOf(Year(), name), name, history), 1);
}

TEST_F(EditCommandsTest, ARunOfSendsGoesOnPastAFileThatFails)
{
    const QStringList names{QStringLiteral("予算計画.xlsx"), QStringLiteral("仕訳帳.csv"),
                            QStringLiteral("議事録_経理会議.txt")};
    for (const QString &name : names)
        OpenAndEdit(name, "edit of " + name.toUtf8());
    Run([&](W &w) {
        ChooseFolder(w, kYear);
        SelectRows(w, names);
        // The second one's lock goes to another user behind the client's back, after the
        // list showed all three as this client's.
        const QList<QPair<QString, QString>> second{{QStringLiteral("folderPath"), kYear},
                                                    {QStringLiteral("path"), u'/' + names[1]}};
        server->hook(QStringLiteral("unlock"), second);
        server->hook(QStringLiteral("lock"), second);
        w.OnCommand(W::SendCommand);
        Settle(w);
    });
    ASSERT_EQ(messages.size(), 1) << messages.join(u'|').toStdString();
    EXPECT_EQ(messages.first(), LoadString(18329));
    EXPECT_EQ(Fields(names[0]).value(2), Md5Hex("edit of " + names[0].toUtf8()));
    EXPECT_EQ(Fields(names[2]).value(2), Md5Hex("edit of " + names[2].toUtf8()))
        << "the third is sent after the second failed";
    EXPECT_EQ(ReadFile(Cache()->WorkingCopyPath(Year(), names[1])), "edit of " + names[1].toUtf8())
        << "the failed one keeps its edit";
    EXPECT_EQ(gui()->CountUnsent(), 1);
}

TEST_F(EditCommandsTest, ForceReleaseAndReadOnlyOpenAskFirst)
{
    const QString name = QStringLiteral("仕訳帳.csv");
    OpenAndEdit(name, "thrown away");
    installation.answers = {IDNO, IDYES};
    Run([&](W &w) {
        ChooseFolder(w, kYear);
        SelectRows(w, {name});
        w.OnCommand(W::ForceReleaseCommand); // no: nothing happens
        Settle(w);
        EXPECT_EQ(Status(w, name), QStringLiteral("未送信"));
        SelectRows(w, {name});
        w.OnCommand(W::ForceReleaseCommand);
        Settle(w);
        EXPECT_TRUE(Status(w, name).isEmpty());
    });
    ASSERT_EQ(messages.size(), 2);
    EXPECT_EQ(messages.at(0), LoadString(18262));
    EXPECT_TRUE(Fields(name).value(3).isEmpty());
    EXPECT_EQ(server->callCount(QStringLiteral("file/update")), 0);

    // A file another user holds: read-only after the question, the application gets a view.
    const QString held = QStringLiteral("売上集計_2024.xlsx");
    messages.clear();
    installation.answers = {IDYES};
    Run([&](W &w) {
        ChooseFolder(w, kYear);
        SelectRows(w, {held});
        Key(w, w.list(), Qt::Key_Return);
        ASSERT_TRUE(WaitForLog(QStringLiteral("done")));
    });
    ASSERT_FALSE(messages.isEmpty());
    EXPECT_EQ(messages.first(), BizFormat(LoadString(18248), {QStringLiteral("鈴木 花子")}));
    EXPECT_TRUE(QString::fromUtf8(ReadFile(m_log))
                    .startsWith(QStringLiteral("open ") + Cache()->ViewCopyPath(held)));
    EXPECT_NE(Fields(held).value(3), gui()->loginManager()->clientKey());
}

TEST_F(EditCommandsTest, ASelectionWithARowThatDoesNotQualifyDoesNothing)
{
    const QString mine = QStringLiteral("仕訳帳.csv");
    const QString free = QStringLiteral("予算計画.xlsx");
    OpenAndEdit(mine, "mine");
    Run([&](W &w) {
        ChooseFolder(w, kYear);
        SelectRows(w, {mine, free});
        EXPECT_FALSE(Ctl<QWidget>(w, MainId::Send)->isEnabled());
        w.OnCommand(W::SendCommand);
        Settle(w);
        EXPECT_EQ(Status(w, mine), QStringLiteral("未送信"));
    });
    EXPECT_TRUE(messages.isEmpty()) << messages.join(u'|').toStdString();
    EXPECT_EQ(server->callCount(QStringLiteral("file/update")), 0);
    EXPECT_EQ(server->callCount(QStringLiteral("file/unlock")), 0);
}

// The context menus in their order, by the keyboard (Shift+F10, the menu key) and with the
// items' enabling of that moment.
TEST_F(EditCommandsTest, ContextMenusInTheirOrder)
{
    const QString mine = QStringLiteral("仕訳帳.csv");
    OpenAndEdit(mine, "mine");
    // The items as "text" or "(text)" for a disabled one, "-" for a separator.
    const auto items = [](QMenu &menu) {
        QStringList out;
        for (const QAction *action : menu.actions())
            out << (action->isSeparator() ? QStringLiteral("-")
                    : action->isEnabled() ? action->text()
                                          : u'(' + action->text() + u')');
        return out;
    };
    Run([&](W &w) {
        ChooseFolder(w, kYear);
        QStringList seen;
        w.SetMenuChooser([&](QMenu &menu) -> QAction * {
            seen = items(menu);
            return nullptr;
        });
        SelectRows(w, {mine});
        Key(w, w.list(), Qt::Key_F10, Qt::ShiftModifier);
        EXPECT_EQ(seen, (QStringList{"開く", "プログラムを指定して開く", "読取専用で開く", "送信",
                                     "ダウンロード", "-", "お気に入りに追加", "パス名をコピー", "-",
                                     "強制解除", "-", "未送信一覧へ", "-", "(履歴を表示)"}))
            << seen.join(u'|').toStdString();
        seen.clear();
        SelectRows(w, {QStringLiteral("予算計画.xlsx")});
        Key(w, w.list(), Qt::Key_Menu);
        EXPECT_EQ(seen.mid(0, 4),
                  (QStringList{"開く", "プログラムを指定して開く", "読取専用で開く", "(送信)"}))
            << seen.join(u'|').toStdString();
        EXPECT_TRUE(seen.contains(QStringLiteral("(強制解除)")));

        // Choosing an item runs its command: send from the menu.
        SelectRows(w, {mine});
        w.SetMenuChooser([](QMenu &menu) { return FindAction(menu, QStringLiteral("送信")); });
        Key(w, w.list(), Qt::Key_F10, Qt::ShiftModifier);
        Settle(w);
        EXPECT_TRUE(Status(w, mine).isEmpty());
        w.SetMenuChooser([&](QMenu &menu) -> QAction * {
            seen = items(menu);
            return nullptr;
        });

        // Nothing selected, and a subfolder.
        w.NavigateToFolder(server->folderId(QStringLiteral("経理")));
        Settle(w);
        w.list()->clearSelection();
        Settle(w);
        Key(w, w.list(), Qt::Key_F10, Qt::ShiftModifier);
        EXPECT_EQ(seen, QStringList{"未送信一覧へ"}) << seen.join(u'|').toStdString();
        SelectRows(w, {QStringLiteral("2024")});
        Key(w, w.list(), Qt::Key_F10, Qt::ShiftModifier);
        EXPECT_EQ(seen.value(0), QStringLiteral("開く"));
        EXPECT_EQ(seen.value(seen.size() - 1), QStringLiteral("パス名をコピー"));
        // Copy path of the subfolder.
        w.SetMenuChooser(
            [](QMenu &menu) { return FindAction(menu, QStringLiteral("パス名をコピー")); });
        Key(w, w.list(), Qt::Key_F10, Qt::ShiftModifier);
        Settle(w);
        EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("経理/2024"));
    });
}

// Ctrl+W: one file is saved under the name the user picks, with the completion dialog; several
// go into a picked folder, and one deleted behind the client's back is counted by the error
// log's question while the others arrive whole.
TEST_F(EditCommandsTest, DownloadsOneFileOrSeveralIntoAFolder)
{
    const QString out = installation.path(QStringLiteral("out"));
    ASSERT_TRUE(QDir().mkpath(out));
    const QString saved = out + QStringLiteral("/予算.xlsx");
    QStringList asked;
    const auto previousFile = CBizFileDialog::SetHook([&](const CBizFileDialog &request) {
        asked << request.defaultName() + u'|' + request.filter();
        return QStringList{saved};
    });
    const auto previousFolder = CBizFolderDialog::SetHook([&](const CBizFolderDialog &request) {
        asked << request.prompt();
        return out;
    });
    QStringList completions;
    onOther = [&](QDialog &shown) {
        if (auto *done = dynamic_cast<CBizDownloadCompleteDialog *>(&shown))
            completions << done->folder() + u'|' + QFileInfo(done->file()).fileName();
        QTimer::singleShot(0, &shown, [&shown] { shown.reject(); });
    };
    const QString budget = QStringLiteral("予算計画.xlsx");
    const QStringList several{QStringLiteral("仕訳帳.csv"), QStringLiteral("議事録_経理会議.txt"),
                              budget};
    Run([&](W &w) {
        ChooseFolder(w, kYear);
        SelectRows(w, {budget});
        EXPECT_TRUE(Ctl<QWidget>(w, MainId::Download)->isEnabled());
        Key(w, w.list(), Qt::Key_W, Qt::ControlModifier);
        SelectRows(w, several);
        // The second one goes on the service meanwhile.
        server->hook(QStringLiteral("file/delete"), {{QStringLiteral("folderPath"), kYear},
                                                     {QStringLiteral("path"), u'/' + several[1]}});
        // (The completion dialog took the activation; the command is the key's.)
        w.OnCommand(W::DownloadCommand);
        Settle(w);
    });
    CBizFileDialog::SetHook(previousFile);
    CBizFolderDialog::SetHook(previousFolder);
    ASSERT_EQ(asked.size(), 2) << messages.join(u'|').toStdString();
    EXPECT_TRUE(asked.at(0).startsWith(budget + u'|')) << asked.at(0).toStdString();
    EXPECT_TRUE(asked.at(0).contains(QStringLiteral("*.xlsx"))) << asked.at(0).toStdString();
    EXPECT_EQ(asked.at(1), QStringLiteral("ダウンロード先のフォルダを選択してください"));
    EXPECT_EQ(Md5Hex(ReadFile(saved)), Fields(budget).value(2));
    EXPECT_EQ(completions, QStringList{out + QStringLiteral("|予算.xlsx")})
        << completions.join(u'\n').toStdString();
    EXPECT_EQ(Md5Hex(ReadFile(out + u'/' + several[0])), Fields(several[0]).value(2));
    EXPECT_EQ(Md5Hex(ReadFile(out + u'/' + budget)), Fields(budget).value(2));
    EXPECT_FALSE(QFileInfo::exists(out + u'/' + several[1]));
    EXPECT_TRUE(messages.contains(
        QStringLiteral("1件の項目でエラーが発生しました。\r\nエラーログを表示しますか？")))
        << messages.join(u'|').toStdString();
    // The chosen folders are remembered for the next downloads.
    EXPECT_EQ(app->GetProfileString(QStringLiteral("FileListDialog"), QStringLiteral("extractDir")),
              out);
    EXPECT_EQ(
        app->GetProfileString(QStringLiteral("FileListDialog"), QStringLiteral("extractAllDir")),
        out);
}

// Open with a chosen program (Ctrl+Enter): the program list preselects the type's program,
// 開く starts it, and the second dialog's 送信 sends what it saved once it is closed.
TEST_F(EditCommandsTest, OpenWithAChosenProgramThenSendFromTheSecondDialog)
{
    const QString name = QStringLiteral("仕訳帳.csv");
    const QString working = Cache()->WorkingCopyPath(Year(), name);
    QStringList steps;
    onOther = [&](QDialog &shown) {
        auto *dialog = dynamic_cast<CSharedFileOpenWithDialog *>(&shown);
        if (!dialog) {
            QTimer::singleShot(0, &shown, [&shown] { shown.reject(); });
            return;
        }
        QTimer::singleShot(0, dialog, [&, dialog] {
            auto *programs = dialog->controlAs<QListWidget>(CSharedFileOpenWithDialog::ProgramsId);
            steps << dialog->windowTitle() + u'|'
                         + dialog->controlAs<QLineEdit>(CSharedFileOpenWithDialog::FolderId)->text()
                         + u'|' + programs->currentItem()->text();
            if (dialog->step() == CSharedFileOpenWithDialog::EStep::SendAfter) {
                EXPECT_TRUE(WaitForLog(QStringLiteral("done")));
            }
            QTest::mouseClick(dialog->controlAs<QPushButton>(CSharedFileOpenWithDialog::OkId),
                              Qt::LeftButton);
        });
    };
    QByteArray edited;
    Run([&](W &w) {
        ChooseFolder(w, kYear);
        SelectRows(w, {name});
        held = Qt::ControlModifier;
        Key(w, w.list(), Qt::Key_Return);
        held = Qt::NoModifier;
        Settle(w);
    });
    ASSERT_EQ(steps.size(), 2) << messages.join(u'|').toStdString();
    EXPECT_TRUE(steps.at(0).endsWith(QStringLiteral("|経理/2024|Fake Office")))
        << steps.at(0).toStdString();
    EXPECT_TRUE(steps.at(1).endsWith(QStringLiteral("|経理/2024|Fake Office")))
        << steps.at(1).toStdString();
    // The choice, then the send.
    EXPECT_TRUE(steps.at(0).contains(QStringLiteral("アプリを指定して開く")))
        << steps.at(0).toStdString();
    EXPECT_TRUE(steps.at(1).contains(QStringLiteral("指定したアプリを終了して送信")))
        << steps.at(1).toStdString();
    EXPECT_TRUE(messages.isEmpty()) << messages.join(u'|').toStdString();
    EXPECT_TRUE(Fields(name).value(3).isEmpty()) << "sent and released";
    EXPECT_FALSE(QFileInfo::exists(working));
    QStringList history;
    ASSERT_EQ(Cache()->ListHistory(Cache()->HistoryDirOf(Year(), name), name, history), 1);
}

// A type that may only be viewed is saved, not opened: Enter offers the save dialog.
TEST_F(EditCommandsTest, AViewOnlyTypeOffersTheSaveDialog)
{
    const QString pdf = QStringLiteral("試算表_2024Q1.pdf");
    const QString saved = installation.path(QStringLiteral("試算表.pdf"));
    QStringList asked;
    const auto previous = CBizFileDialog::SetHook([&](const CBizFileDialog &request) {
        asked << request.defaultName();
        return QStringList{saved};
    });
    Run([&](W &w) {
        ChooseFolder(w, kYear);
        SelectRows(w, {pdf});
        server->clearRequestLog();
        Key(w, w.list(), Qt::Key_Return);
    });
    CBizFileDialog::SetHook(previous);
    EXPECT_EQ(asked, QStringList{pdf});
    EXPECT_EQ(Md5Hex(ReadFile(saved)), Fields(pdf).value(2));
    EXPECT_EQ(server->callCount(QStringLiteral("file/lock")), 0) << "not opened for editing";
    EXPECT_TRUE(ReadFile(m_log).isEmpty()) << "no application started";
}
