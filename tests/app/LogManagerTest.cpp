// The error log of operations on many items: the CSV file on the desktop (CP932, header,
// one line per entry, the cleaned message, quoting of fields that need it, the
// classification), its replacement, the failures of the write, and the end of an operation
// that offers the file.

#include "support/Files.h"
#include "support/TempInstallation.h"

#include "app/LogManager.h"
#include "app/System.h"
#include "core/FileStates.h"
#include "core/Messages.h"
#include "store/AnsiCodec.h"

#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QThread>

#include <gtest/gtest.h>

namespace {

const QString kHeader = QStringLiteral("ログ出力日時,操作,操作元ファイル/フォルダ,"
                                       "操作後ファイル/フォルダ,エラーの分類,エラーの内容");

class LogManagerTest : public InstallationTest<>
{
protected:
    QString Desktop() const { return installation.home() + QStringLiteral("/Desktop"); }
    // The lines of a written log, decoded from CP932.
    static QStringList Lines(const QString &path)
    {
        QStringList lines = FromAnsi(ReadFile(path)).split(u'\n');
        // The last line ends with LF like every other.
        EXPECT_EQ(lines.value(lines.size() - 1), QString());
        lines.removeLast();
        return lines;
    }
    // A file on the desktop not in use: the log's own, never a temporary one left behind.
    QStringList DesktopFiles() const
    {
        return QDir(Desktop()).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot);
    }

    CLogManager log;
};

TEST_F(LogManagerTest, WritesHeaderAndEntriesInOrderAsCp932OnTheDesktop)
{
    const QDateTime before = QDateTime::currentDateTime().addSecs(-1);
    log.AddEntry(QStringLiteral("追加"), QStringLiteral("/home/u/請求書.pdf"),
                 QStringLiteral("経理/2024"), QStringLiteral("ファイル名重複"));
    log.AddEntry(QStringLiteral("移動"), QStringLiteral("経理/2024/予算.xlsx"), QString(),
                 QStringLiteral("禁止文字（\\/:*?\"<>|）エラー"));
    log.AddEntry(QStringLiteral("コピー"), QStringLiteral("給与/明細.csv"),
                 QStringLiteral("共有/テンプレート"), QStringLiteral("ファイル数上限エラー(1000)"));
    ASSERT_EQ(log.Count(), 3);
    QStringList times;
    for (const CLogManager::SFilePath &entry : log.entries()) {
        times << FormatDateTime(entry.time);
        const QDateTime at = entry.time.ToQDateTime();
        EXPECT_GE(at, before);
        EXPECT_LE(at, QDateTime::currentDateTime());
    }
    EXPECT_TRUE(times.first().contains(
        QRegularExpression(QStringLiteral("^\\d{4}/\\d\\d/\\d\\d \\d\\d:\\d\\d:\\d\\d$"))))
        << times.first().toStdString();

    const QString path = log.Write();
    EXPECT_EQ(log.Count(), 0);
    EXPECT_TRUE(messages.isEmpty()) << messages.value(0).toStdString();
    EXPECT_EQ(QFileInfo(path).absolutePath(), Desktop());
    EXPECT_TRUE(QFileInfo(path).fileName().contains(
        QRegularExpression(QStringLiteral("^VQRエラーログ\\d{12}\\.csv$"))));

    const QByteArray bytes = ReadFile(path);
    // No byte-order mark, the header's CP932 bytes ("ログ出力日時" first), LF line ends.
    EXPECT_TRUE(bytes.startsWith(QByteArray::fromHex("838d834f8f6f97cd93fa8e9e2c")));
    EXPECT_FALSE(bytes.contains('\r'));
    EXPECT_EQ(Lines(path),
              (QStringList{kHeader,
                           times[0]
                               + QStringLiteral(",追加,/home/u/請求書.pdf,経理/2024,ファイル,"
                                                "ファイル名重複"),
                           times[1]
                               + QStringLiteral(",移動,経理/2024/予算.xlsx,,ファイル,"
                                                "\"禁止文字（\\/:*?\"\"<>|）エラー\""),
                           times[2]
                               + QStringLiteral(",コピー,給与/明細.csv,共有/テンプレート,"
                                                "ファイル,ファイル数上限エラー(1000)")}));
    EXPECT_EQ(DesktopFiles(), QStringList{QFileInfo(path).fileName()});
}

TEST_F(LogManagerTest, FileNameIsTheWritingTime)
{
    EXPECT_EQ(CLogManager::FileNameFor(QDateTime(QDate(2024, 1, 31), QTime(10, 5, 9))),
              QStringLiteral("VQRエラーログ240131100509.csv"));
    EXPECT_EQ(CLogManager::FileNameFor(QDateTime(QDate(2009, 12, 1), QTime(0, 0, 0))),
              QStringLiteral("VQRエラーログ091201000000.csv"));
}

struct SFieldCase
{
    const char *name;
    QString source;
    QString message;
    QStringList fields; // what a CSV reader gets for source, classification and message
};

void PrintTo(const SFieldCase &c, std::ostream *os)
{
    *os << c.name;
}

class LogLineTest : public LogManagerTest, public ::testing::WithParamInterface<SFieldCase>
{};

// A minimal RFC 4180 reader of one line.
QStringList ParseCsvLine(const QString &line)
{
    QStringList fields;
    QString field;
    bool quoted = false;
    for (qsizetype i = 0; i < line.size(); ++i) {
        const QChar c = line.at(i);
        if (quoted) {
            if (c == u'"' && i + 1 < line.size() && line.at(i + 1) == u'"') {
                field += u'"';
                ++i;
            } else if (c == u'"') {
                quoted = false;
            } else {
                field += c;
            }
        } else if (c == u'"') {
            quoted = true;
        } else if (c == u',') {
            fields << field;
            field.clear();
        } else {
            field += c;
        }
    }
    fields << field;
    return fields;
}

TEST_P(LogLineTest, SixFieldsWithTheMessageCleaned)
{
    const SFieldCase &c = GetParam();
    log.AddEntry(QStringLiteral("追加"), c.source, QStringLiteral("経理"), c.message);
    const QString path = log.Write();
    const QStringList lines = Lines(path);
    ASSERT_EQ(lines.size(), 2);
    const QStringList fields = ParseCsvLine(lines[1]);
    ASSERT_EQ(fields.size(), 6) << lines[1].toStdString();
    EXPECT_EQ(fields[1], QStringLiteral("追加"));
    EXPECT_EQ(fields[3], QStringLiteral("経理"));
    EXPECT_EQ((QStringList{fields[2], fields[4], fields[5]}), c.fields) << lines[1].toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Table, LogLineTest,
    ::testing::Values(
        // A validation text, a comma, a line break and an error-type line: one line, the
        // comma a full stop.
        SFieldCase{
            "MessageOnOneLine",
            QStringLiteral("/tmp/a.txt"),
            QStringLiteral("通信エラー,再試行してください\r\n\r\n［エラータイプ］サーバー関連"),
            {QStringLiteral("/tmp/a.txt"), QStringLiteral("ファイル"),
             QStringLiteral("通信エラー.再試行してください［エラータイプ］サーバー関連")}},
        SFieldCase{
            "LoneLineFeedsAndReturns",
            QStringLiteral("/tmp/a.txt"),
            QStringLiteral("a\nb\rc,,d"),
            {QStringLiteral("/tmp/a.txt"), QStringLiteral("ファイル"), QStringLiteral("abc..d")}},
        // A comma in a path is quoted instead of shifting the columns.
        SFieldCase{"CommaInSource",
                   QStringLiteral("/home/u/見積,最終版.xlsx"),
                   QStringLiteral("ファイル名重複"),
                   {QStringLiteral("/home/u/見積,最終版.xlsx"), QStringLiteral("ファイル"),
                    QStringLiteral("ファイル名重複")}},
        SFieldCase{"QuotesDoubled",
                   QStringLiteral("/home/u/\"案\".docx"),
                   QStringLiteral("「\"x\"」は見つかりません。"),
                   {QStringLiteral("/home/u/\"案\".docx"), QStringLiteral("ファイル"),
                    QStringLiteral("「\"x\"」は見つかりません。")}},
        // What CP932 cannot hold is a question mark, the rest stays.
        SFieldCase{"NotInCp932",
                   QStringLiteral("/tmp/café😀.txt"),
                   QStringLiteral("한국 ①〒"),
                   {QStringLiteral("/tmp/caf??.txt"), QStringLiteral("ファイル"),
                    QStringLiteral("?? ①〒")}}),
    [](const ::testing::TestParamInfo<SFieldCase> &info) { return std::string(info.param.name); });

TEST_F(LogManagerTest, ClassificationLooksAtTheLocalDiskWhenWriting)
{
    const QString folder = installation.path(QStringLiteral("追加元"));
    const QString file = folder + QStringLiteral("/a.txt");
    ASSERT_TRUE(WriteFile(file, "x"));
    const QString gone = installation.path(QStringLiteral("消えるフォルダ"));
    ASSERT_TRUE(QDir().mkpath(gone));
    // A service path that happens to name a folder below the working directory.
    ASSERT_TRUE(QDir().mkpath(installation.workingDirectory() + QStringLiteral("/経理/2024")));
    for (const QString &source : {folder, file, gone, QStringLiteral("経理/2024"), QString()})
        log.AddEntry(QStringLiteral("追加"), source, {}, QStringLiteral("x"));
    ASSERT_TRUE(QDir(gone).removeRecursively());

    QStringList kinds;
    for (const QString &line : Lines(log.Write()).mid(1))
        kinds << ParseCsvLine(line).value(4);
    EXPECT_EQ(kinds, (QStringList{QStringLiteral("フォルダ"), QStringLiteral("ファイル"),
                                  QStringLiteral("ファイル"), QStringLiteral("ファイル"),
                                  QStringLiteral("ファイル")}));
}

TEST_F(LogManagerTest, TwoWritesInOneSecondReplaceTheFile)
{
    QString first;
    QString second;
    // The second write must fall into the same second; try again when it did not.
    for (int attempt = 0; attempt < 5 && (first.isEmpty() || first != second); ++attempt) {
        QDir(Desktop()).removeRecursively();
        log.AddEntry(QStringLiteral("追加"), QStringLiteral("/tmp/first.txt"), {},
                     QStringLiteral("一回目"));
        first = log.Write();
        log.AddEntry(QStringLiteral("移動"), QStringLiteral("/tmp/second.txt"), {},
                     QStringLiteral("二回目"));
        log.AddEntry(QStringLiteral("移動"), QStringLiteral("/tmp/third.txt"), {},
                     QStringLiteral("二回目"));
        second = log.Write();
    }
    ASSERT_EQ(first, second);
    const QStringList lines = Lines(second);
    ASSERT_EQ(lines.size(), 3);
    EXPECT_TRUE(lines[1].endsWith(QStringLiteral(",移動,/tmp/second.txt,,ファイル,二回目")));
    EXPECT_TRUE(lines[2].endsWith(QStringLiteral(",移動,/tmp/third.txt,,ファイル,二回目")));
    EXPECT_TRUE(messages.isEmpty());
    EXPECT_EQ(DesktopFiles(), QStringList{QFileInfo(second).fileName()});
}

TEST_F(LogManagerTest, DesktopFollowsTheUserDirectoriesAndIsCreated)
{
    ASSERT_TRUE(WriteFile(installation.home() + QStringLiteral("/.config/user-dirs.dirs"),
                          "XDG_DESKTOP_DIR=\"$HOME/デスクトップ\"\n"));
    const QString desktop = installation.home() + QStringLiteral("/デスクトップ");
    ASSERT_FALSE(QFileInfo::exists(desktop));
    log.AddEntry(QStringLiteral("追加"), QStringLiteral("/tmp/a.txt"), {}, QStringLiteral("x"));
    const QString path = log.Write();
    EXPECT_EQ(QFileInfo(path).absolutePath(), desktop);
    EXPECT_EQ(Lines(path).size(), 2);
    EXPECT_TRUE(messages.isEmpty());
}

TEST_F(LogManagerTest, DesktopThatCannotBeWrittenIsReportedAndTheEntriesDiscarded)
{
    // A file where the desktop folder should be.
    ASSERT_TRUE(WriteFile(Desktop(), "not a folder"));
    log.AddEntry(QStringLiteral("追加"), QStringLiteral("/tmp/a.txt"), {}, QStringLiteral("x"));
    log.AddEntry(QStringLiteral("追加"), QStringLiteral("/tmp/b.txt"), {}, QStringLiteral("y"));
    const QString path = log.Write();
    EXPECT_EQ(QFileInfo(path).absolutePath(), Desktop());
    EXPECT_TRUE(QFileInfo(path).fileName().startsWith(QStringLiteral("VQRエラーログ")));
    EXPECT_EQ(log.Count(), 0);
    ASSERT_EQ(installation.shown.size(), 1u);
    EXPECT_EQ(installation.shown[0].icon, MsgIcon::Error);
    // The handler's message names what failed, with its error type.
    EXPECT_TRUE(messages[0].contains(Desktop())) << messages[0].toStdString();
    EXPECT_TRUE(messages[0].contains(QStringLiteral("［エラータイプ］")))
        << messages[0].toStdString();
    EXPECT_EQ(ReadFile(Desktop()), QByteArray("not a folder"));
}

TEST_F(LogManagerTest, LogHeldByAnotherProgramIsInUseAndKept)
{
    // The name depends on the second of the write: hold the names of the next few seconds.
    ASSERT_TRUE(QDir().mkpath(Desktop()));
    const QDateTime now = QDateTime::currentDateTime();
    QStringList held;
    for (int s = 0; s < 5; ++s) {
        held << Desktop() + u'/' + CLogManager::FileNameFor(now.addSecs(s));
        ASSERT_TRUE(WriteFile(held.last(), "opened in a spreadsheet"));
    }
    QProcess holder;
    holder.start(QStringLiteral("/bin/sh"),
                 QStringList{QStringLiteral("-c"),
                             QStringLiteral("exec 3<\"$1\" 4<\"$2\" 5<\"$3\" 6<\"$4\" 7<\"$5\"; "
                                            "flock 3 && flock 4 && flock 5 && flock 6 && flock 7 "
                                            "&& echo locked && exec sleep 60"),
                             QStringLiteral("sh")}
                     + held);
    ASSERT_TRUE(holder.waitForReadyRead(10000));
    ASSERT_EQ(holder.readAll(), QByteArray("locked\n"));
    ASSERT_TRUE(IsFileInUse(held.first()));

    log.AddEntry(QStringLiteral("追加"), QStringLiteral("/tmp/a.txt"), {}, QStringLiteral("x"));
    const QString path = log.Write();
    holder.kill();
    holder.waitForFinished();
    ASSERT_TRUE(held.contains(path)) << path.toStdString();
    EXPECT_EQ(log.Count(), 0);
    EXPECT_EQ(messages, QStringList{detail::ComposeMessage(18327, path)});
    EXPECT_EQ(ReadFile(path), QByteArray("opened in a spreadsheet"));
    EXPECT_EQ(DesktopFiles().size(), held.size());
}

// The end of an operation on several items: the question with the count; No leaves the
// file, Yes opens it in the desktop's application for CSV; a log that could not be written
// opens nothing and adds no message.
TEST_F(LogManagerTest, FinishAsksAndOpensTheLogOnYes)
{
    const QString home = installation.home();
    installation.SetEnv("XDG_DATA_DIRS", (home + QStringLiteral("/sys:/usr/share")).toUtf8());
    installation.SetEnv("XDG_CONFIG_DIRS", (home + QStringLiteral("/etc")).toUtf8());
    const QString appLog = installation.path(QStringLiteral("viewer.log"));
    const QString script = installation.path(QStringLiteral("bin/viewer"));
    ASSERT_TRUE(WriteFile(script, "#!/bin/sh\necho \"open $1\" >> \"" + appLog.toUtf8() + "\"\n"));
    ASSERT_TRUE(
        QFile::setPermissions(script, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    ASSERT_TRUE(WriteFile(home + QStringLiteral("/.local/share/applications/viewer.desktop"),
                          "[Desktop Entry]\nType=Application\nName=Viewer\nMimeType=text/csv;\n"
                          "Exec="
                              + script.toUtf8() + " %f\n"));
    ASSERT_TRUE(WriteFile(home + QStringLiteral("/.config/mimeapps.list"),
                          "[Default Applications]\ntext/csv=viewer.desktop\n"));
    const auto opened
        = [&] { return QString::fromUtf8(ReadFile(appLog)).split(u'\n', Qt::SkipEmptyParts); };

    CMainSystem main;
    ASSERT_NE(main.errorLog(), nullptr);
    EXPECT_EQ(main.FinishErrorLog(), 0); // nothing failed: no file, no question
    EXPECT_TRUE(messages.isEmpty());

    for (const char *name : {"a.txt", "b.txt", "c.txt"})
        main.AddErrorLogEntry(QStringLiteral("追加"), QStringLiteral("/tmp/") + name, {},
                              QStringLiteral("ファイル名重複"));
    EXPECT_EQ(main.ErrorLogCount(), 3);
    installation.answers = {IDNO};
    EXPECT_EQ(main.FinishErrorLog(), 3);
    EXPECT_EQ(main.ErrorLogCount(), 0);
    const QString question
        = QStringLiteral("3件の項目でエラーが発生しました。\r\nエラーログを表示しますか？");
    ASSERT_EQ(messages, QStringList{question});
    EXPECT_EQ(installation.shown[0].icon, MsgIcon::Warning);
    EXPECT_EQ(installation.shown[0].buttons, MsgButtons::YesNoDefaultNo);
    const QStringList files = QDir(Desktop()).entryList({QStringLiteral("*.csv")});
    ASSERT_EQ(files.size(), 1);
    const QString first = Desktop() + u'/' + files[0];
    EXPECT_EQ(FromAnsi(ReadFile(first)).count(u'\n'), 4);

    // Yes: the application gets the file's path.
    ASSERT_TRUE(QFile::remove(first));
    main.AddErrorLogEntry(QStringLiteral("移動"), QStringLiteral("/tmp/d.txt"), {},
                          QStringLiteral("x"));
    installation.answers = {IDYES};
    EXPECT_EQ(main.FinishErrorLog(), 1);
    const QStringList written = QDir(Desktop()).entryList({QStringLiteral("*.csv")});
    ASSERT_EQ(written.size(), 1);
    QElapsedTimer timer;
    timer.start();
    while (opened().isEmpty() && timer.elapsed() < 10000)
        QThread::msleep(20);
    EXPECT_EQ(opened(), QStringList{QStringLiteral("open ") + Desktop() + u'/' + written[0]});
    EXPECT_EQ(messages.size(), 2);

    // A log that could not be written: its failure, the question, and nothing opens.
    ASSERT_TRUE(QDir(Desktop()).removeRecursively());
    ASSERT_TRUE(WriteFile(Desktop(), "not a folder"));
    main.AddErrorLogEntry(QStringLiteral("移動"), QStringLiteral("/tmp/e.txt"), {},
                          QStringLiteral("x"));
    installation.answers = {IDOK, IDYES};
    EXPECT_EQ(main.FinishErrorLog(), 1);
    ASSERT_EQ(messages.size(), 4);
    EXPECT_EQ(installation.shown[2].icon, MsgIcon::Error);
    EXPECT_EQ(messages[3],
              QStringLiteral("1件の項目でエラーが発生しました。\r\nエラーログを表示しますか？"));
    QThread::msleep(200);
    EXPECT_EQ(opened().size(), 1);
}

} // namespace
