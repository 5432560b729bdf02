#include "bulk/BulkDownloadLog.h"

#include "core/AppState.h"
#include "core/FileStates.h"
#include "files/FileRecord.h"
#include "folders/WorkspaceRecord.h"
#include "store/AnsiCodec.h"
#include "store/DateTimeValue.h"

#include "support/Files.h"
#include "support/TempInstallation.h"

#include <QDate>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QThread>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>

namespace {

using Manager = CBulkDownloadLogManager;

qint64 LocalSeconds(int year, int month, int day, int hour, int minute, int second)
{
    return QDateTime(QDate(year, month, day), QTime(hour, minute, second)).toSecsSinceEpoch();
}

qint64 MTime(const QString &path)
{
    struct stat st;
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? qint64(st.st_mtim.tv_sec) : -1;
}

bool SetMTime(const QString &path, qint64 seconds)
{
    struct timespec times[2];
    times[0].tv_sec = seconds;
    times[0].tv_nsec = 0;
    times[1] = times[0];
    return ::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, 0) == 0;
}

qint64 BirthSeconds(const QString &path)
{
    const std::optional<QDateTime> birth = FileCreationTime(path);
    return birth ? birth->toSecsSinceEpoch() : -1;
}

// A file of the service in folder 経理/2024 (or in none).
CSharedFileRecord FileIn(CWorkspaceRecord *folder, const QString &path, const QString &status,
                         const CDateTimeValue &updateTime, const QString &updateName, quint32 size)
{
    CSharedFileRecord record;
    record.folder = folder;
    record.path = path;
    record.statusText = status;
    record.updateTime = updateTime;
    record.updateName = updateName;
    record.size = size;
    return record;
}

class BulkLogTest : public InstallationTest<>
{
protected:
    void SetUp() override
    {
        InstallationTest::SetUp();
        destination = installation.path(QStringLiteral("root/20250305.vqr"));
        ASSERT_TRUE(QDir().mkpath(destination));
    }

    QString destination;
    Manager manager{[this] { return destination; }};
};

// ---------------------------------------------------------------------------------------
// The line of one file

struct SLineCase
{
    const char *name;
    bool supportMode;
    bool inFolder;
    QString path;
    QString status;
    CDateTimeValue updateTime;
    QString updateName;
    quint32 size;
    QString expected;
};

class BulkLogLineTest : public ::testing::TestWithParam<SLineCase>
{};

TEST_P(BulkLogLineTest, FormatsTheColumns)
{
    const SLineCase &c = GetParam();
    CWorkspaceRecord folder({7, 8}, {QStringLiteral("経理"), QStringLiteral("2024")}, false);
    const CSharedFileRecord record = FileIn(c.inFolder ? &folder : nullptr, c.path, c.status,
                                            c.updateTime, c.updateName, c.size);
    const QDateTime now(QDate(2025, 3, 5), QTime(2, 0, 1));
    EXPECT_EQ(Manager::FormatLogLine(record, c.supportMode, now), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, BulkLogLineTest,
    ::testing::Values(
        SLineCase{"InFolder", false, true, QStringLiteral("/請求書.xlsx"), QStringLiteral("済"),
                  CDateTimeValue::FromFields(2025, 3, 4, 10, 20, 30), QStringLiteral("yamada"),
                  1234,
                  QStringLiteral("2025/03/05 02:00:01,経理/2024,/請求書.xlsx,済,"
                                 "2025/03/04 10:20:30,yamada\n")},
        SLineCase{"NoFolderZeroTime", false, false, QStringLiteral("/a.txt"),
                  QStringLiteral("※エラー（予期せぬ）"), CDateTimeValue(0.0), QString(), 0,
                  QStringLiteral("2025/03/05 02:00:01,,/a.txt,※エラー（予期せぬ）,,\n")},
        SLineCase{"CommaAndQuoteAreQuoted", false, true, QStringLiteral("/a,b \"c\".txt"),
                  QStringLiteral("済"), CDateTimeValue(0.0), QStringLiteral("山田, 太郎"), 5,
                  QStringLiteral("2025/03/05 02:00:01,経理/2024,\"/a,b \"\"c\"\".txt\",済,,"
                                 "\"山田, 太郎\"\n")},
        SLineCase{"SupportModeAddsTheSize", true, true, QStringLiteral("/big.bin"),
                  QStringLiteral("済"), CDateTimeValue::FromFields(2024, 12, 31, 23, 59, 59),
                  QStringLiteral("sato"), 4000000000u,
                  QStringLiteral("2025/03/05 02:00:01,経理/2024,/big.bin,済,"
                                 "2024/12/31 23:59:59,sato,4000000000\n")}),
    [](const auto &info) { return std::string(info.param.name); });

TEST(BulkLogHeader, ColumnsAndSupportModeSize)
{
    EXPECT_EQ(
        Manager::HeaderLine(false),
        QStringLiteral("ダウンロード日時,フォルダ名,ファイル名,状態,最終更新日時,最終更新者\n"));
    EXPECT_EQ(Manager::HeaderLine(true),
              QStringLiteral(
                  "ダウンロード日時,フォルダ名,ファイル名,状態,最終更新日時,最終更新者,サイズ\n"));
}

// ---------------------------------------------------------------------------------------
// Create, append, finish

class BulkLogCycleTest : public BulkLogTest, public ::testing::WithParamInterface<bool>
{};

TEST_P(BulkLogCycleTest, WritesCp932LinesWithCrLfAndRenamesWithTheCounts)
{
    const bool support = GetParam();
    AppState::SetSupportMode(support);
    manager.SetRunName(QStringLiteral("20250305.vqr"));
    const QString first = destination + QStringLiteral("/20250305.vqr.log.0.0.csv");
    // A log left by a run stopped earlier is replaced.
    ASSERT_TRUE(WriteFile(first, "stale line\r\n"));

    const qint64 before = QDateTime::currentSecsSinceEpoch();
    qint64 start = -1;
    ASSERT_TRUE(manager.CreateLog(&start));
    const qint64 after = QDateTime::currentSecsSinceEpoch();
    EXPECT_EQ(manager.logPath(), first);
    EXPECT_EQ(start, BirthSeconds(first));
    EXPECT_GE(start, before);
    EXPECT_LE(start, after);

    // "ダウンロード日時," in CP932, as a reader on Windows sees it.
    const QByteArray headerStart(
        "\x83\x5f\x83\x45\x83\x93\x83\x8d\x81\x5b\x83\x68\x93\xfa\x8e\x9e,");
    EXPECT_TRUE(ReadFile(first).startsWith(headerStart));

    CWorkspaceRecord folder({7, 8}, {QStringLiteral("経理"), QStringLiteral("2024")}, false);
    ASSERT_TRUE(manager.AddLogLine(FileIn(
        &folder, QStringLiteral("/見積,最終.xlsx"), QStringLiteral("済"),
        CDateTimeValue::FromFields(2025, 3, 4, 10, 20, 30), QStringLiteral("김yamada"), 2048)));
    ASSERT_TRUE(manager.AddLogLine(FileIn(nullptr, QStringLiteral("/memo.txt"),
                                          QStringLiteral("※エラー（パス名の長さ）"),
                                          CDateTimeValue(0.0), QString(), 7)));
    const qint64 written = QDateTime::currentSecsSinceEpoch();

    const QByteArray bytes = ReadFile(first);
    EXPECT_EQ(bytes.count('\n'), 3);
    EXPECT_EQ(bytes.count("\r\n"), 3);
    EXPECT_FALSE(bytes.contains("\r\r"));

    const QStringList lines = FromAnsi(bytes).split(QStringLiteral("\r\n"));
    ASSERT_EQ(lines.size(), 4);
    EXPECT_EQ(lines.at(0) + u'\n', Manager::HeaderLine(support));
    EXPECT_EQ(lines.at(3), QString());
    const QString sizeOf2048 = support ? QStringLiteral(",2048") : QString();
    const QString sizeOf7 = support ? QStringLiteral(",7") : QString();
    EXPECT_EQ(lines.at(1).section(u',', 1),
              QStringLiteral("経理/2024,\"/見積,最終.xlsx\",済,2025/03/04 10:20:30,?yamada")
                  + sizeOf2048);
    EXPECT_EQ(lines.at(2).section(u',', 1),
              QStringLiteral(",/memo.txt,※エラー（パス名の長さ）,,") + sizeOf7);
    for (int i = 1; i <= 2; ++i) {
        const QDateTime at = ParseDateTime(lines.at(i).section(u',', 0, 0)).ToQDateTime();
        ASSERT_TRUE(at.isValid()) << lines.at(i).toStdString();
        EXPECT_GE(at.toSecsSinceEpoch(), before);
        EXPECT_LE(at.toSecsSinceEpoch(), written);
    }

    qint64 end = -1;
    QString finalPath;
    const quint32 bytesTotal = support ? 2055 : 0;
    ASSERT_TRUE(manager.FinishLog(&end, 1, 1, bytesTotal, &finalPath));
    const QString expectedName = support ? QStringLiteral("20250305.vqr.log.1.1.2055.csv")
                                         : QStringLiteral("20250305.vqr.log.1.1.csv");
    EXPECT_EQ(finalPath, destination + u'/' + expectedName);
    EXPECT_EQ(Listing(destination), QStringList{expectedName});
    EXPECT_EQ(ReadFile(finalPath), bytes);
    EXPECT_EQ(end, MTime(finalPath));
    EXPECT_TRUE(manager.logPath().isEmpty());
    // Closed: nothing more is written.
    EXPECT_FALSE(manager.AppendLogLine(QStringLiteral("late\n")));
    EXPECT_EQ(ReadFile(finalPath), bytes);
    EXPECT_TRUE(messages.isEmpty()) << messages.join(u'|').toStdString();
}

INSTANTIATE_TEST_SUITE_P(Modes, BulkLogCycleTest, ::testing::Values(false, true),
                         [](const auto &info) {
                             return std::string(info.param ? "SupportMode" : "Normal");
                         });

struct SFinalNameCase
{
    const char *name;
    QString runName; // empty: today's run
    qint32 succeeded;
    qint32 failed;
    quint32 totalBytes;
    const char *countsPart;
};

class BulkLogFinalNameTest :
    public BulkLogTest,
    public ::testing::WithParamInterface<SFinalNameCase>
{};

TEST_P(BulkLogFinalNameTest, CarriesTheCountsAndReplacesTheTarget)
{
    const SFinalNameCase &c = GetParam();
    const QString today = QDate::currentDate().toString(QStringLiteral("yyyyMMdd"));
    manager.SetRunName(c.runName);
    qint64 start = 0;
    ASSERT_TRUE(manager.CreateLog(&start));
    const QString tomorrow = QDate::currentDate().toString(QStringLiteral("yyyyMMdd"));

    const auto nameOn = [&](const QString &day) -> QString {
        const QString run = c.runName.isEmpty() ? day + QStringLiteral(".vqr") : c.runName;
        return run + QLatin1String(c.countsPart);
    };
    EXPECT_EQ(Manager::LogFileName(c.runName.isEmpty() ? today + QStringLiteral(".vqr") : c.runName,
                                   c.succeeded, c.failed, c.totalBytes),
              nameOn(today));
    // An earlier run's final log of the same name gives way.
    const QString logPath = manager.logPath();
    for (const QString &day : {today, tomorrow}) {
        const QString earlier = destination + u'/' + nameOn(day);
        if (earlier != logPath) {
            ASSERT_TRUE(WriteFile(earlier, "earlier run\r\n"));
        }
    }

    qint64 end = -1;
    QString finalPath;
    ASSERT_TRUE(manager.FinishLog(&end, c.succeeded, c.failed, c.totalBytes, &finalPath));
    const QString finalName = QFileInfo(finalPath).fileName();
    EXPECT_TRUE(finalName == nameOn(today) || finalName == nameOn(tomorrow))
        << finalName.toStdString();
    EXPECT_TRUE(Listing(destination).contains(finalName));
    EXPECT_EQ(QFile::exists(logPath), logPath == finalPath);
    EXPECT_TRUE(manager.logPath().isEmpty());
    EXPECT_EQ(ReadFile(finalPath), ToAnsi(Manager::HeaderLine(false)).replace("\n", "\r\n"));
    EXPECT_TRUE(messages.isEmpty()) << messages.join(u'|').toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Names, BulkLogFinalNameTest,
    ::testing::Values(SFinalNameCase{"TwoCounts", QStringLiteral("20250305.vqr"), 120, 3, 0,
                                     ".log.120.3.csv"},
                      SFinalNameCase{"ThirdCount", QStringLiteral("download.vqr"), 5, 0,
                                     4000000000u, ".log.5.0.4000000000.csv"},
                      SFinalNameCase{"ZeroCountsKeepTheName", QStringLiteral("20250305.vqr"), 0, 0,
                                     0, ".log.0.0.csv"},
                      SFinalNameCase{"TodayWithoutRunName", QString(), 9, 1, 0, ".log.9.1.csv"}),
    [](const auto &info) { return std::string(info.param.name); });

TEST_F(BulkLogTest, FinishWithoutOpenLogDoesNothing)
{
    manager.SetRunName(QStringLiteral("20250305.vqr"));
    qint64 end = 42;
    QString finalPath = QStringLiteral("untouched");
    EXPECT_TRUE(manager.FinishLog(&end, 3, 1, 100, &finalPath));
    EXPECT_EQ(end, 42);
    EXPECT_EQ(finalPath, QStringLiteral("untouched"));
    EXPECT_TRUE(Listing(destination).isEmpty());
    EXPECT_FALSE(manager.AddLogLine(CSharedFileRecord()));
    EXPECT_TRUE(Listing(destination).isEmpty());
    EXPECT_TRUE(messages.isEmpty());
}

TEST_F(BulkLogTest, FailuresAreShownAndCloseTheLog)
{
    manager.SetRunName(QStringLiteral("20250305.vqr"));
    const QString kept = destination;
    destination = installation.path(QStringLiteral("missing/20250305.vqr"));
    qint64 start = 7;
    EXPECT_FALSE(manager.CreateLog(&start));
    EXPECT_EQ(start, 7);
    EXPECT_TRUE(manager.logPath().isEmpty());
    EXPECT_EQ(messages.size(), 1);
    EXPECT_FALSE(QDir(destination).exists());

    destination = kept;
    ASSERT_TRUE(manager.CreateLog(&start));
    ASSERT_TRUE(QFile::remove(manager.logPath()));
    qint64 end = 42;
    QString finalPath = QStringLiteral("untouched");
    EXPECT_FALSE(manager.FinishLog(&end, 1, 0, 0, &finalPath));
    EXPECT_EQ(end, 42);
    EXPECT_EQ(finalPath, QStringLiteral("untouched"));
    EXPECT_TRUE(manager.logPath().isEmpty());
    EXPECT_EQ(messages.size(), 2);
    EXPECT_TRUE(Listing(destination).isEmpty());
}

TEST_F(BulkLogTest, LinesThatCannotBeWrittenAreShownOncePerLog)
{
    manager.SetRunName(QStringLiteral("20250305.vqr"));
    qint64 start = 0;
    ASSERT_TRUE(manager.CreateLog(&start));
    // The log's place taken by a folder: every later line fails, as on a full disk.
    ASSERT_TRUE(QFile::remove(manager.logPath()));
    ASSERT_TRUE(QDir().mkpath(manager.logPath()));
    const CSharedFileRecord record = FileIn(nullptr, QStringLiteral("/a.txt"), {}, {}, {}, 1);
    EXPECT_FALSE(manager.AddLogLine(record));
    EXPECT_FALSE(manager.AddLogLine(record));
    EXPECT_FALSE(manager.AddLogLine(record));
    EXPECT_EQ(messages.size(), 1);
    ASSERT_TRUE(QDir(manager.logPath()).removeRecursively());

    // The next log is a new start: its first failure is shown again.
    ASSERT_TRUE(manager.CreateLog(&start));
    ASSERT_TRUE(QFile::remove(manager.logPath()));
    ASSERT_TRUE(QDir().mkpath(manager.logPath()));
    EXPECT_FALSE(manager.AddLogLine(record));
    EXPECT_EQ(messages.size(), 2);
}

// ---------------------------------------------------------------------------------------
// The history

struct SAcceptCase
{
    const char *name;
    QString folder;
    QString file;
    bool fileIsFolder;
    bool accepted;
    qint32 succeeded;
    qint32 failed;
    quint32 totalBytes;
};

class BulkLogAcceptTest : public BulkLogTest, public ::testing::WithParamInterface<SAcceptCase>
{};

TEST_P(BulkLogAcceptTest, TakesOnlyRunFoldersAndLogNames)
{
    const SAcceptCase &c = GetParam();
    const QString root = installation.path(QStringLiteral("history"));
    const QString path = root + u'/' + c.folder + u'/' + c.file;
    if (c.fileIsFolder)
        ASSERT_TRUE(QDir().mkpath(path));
    else
        ASSERT_TRUE(WriteFile(path, ToAnsi(Manager::HeaderLine(false))));

    EXPECT_TRUE(manager.LoadLogs(root));
    CBulkDownloadLogList &logs = manager.logs();
    if (!c.accepted) {
        EXPECT_TRUE(logs.IsEmpty());
        return;
    }
    ASSERT_EQ(logs.size(), 1);
    const CBulkDownloadLogRecord *run = logs.GetHead();
    EXPECT_EQ(run->path, path);
    EXPECT_EQ(run->succeeded, c.succeeded);
    EXPECT_EQ(run->failed, c.failed);
    EXPECT_EQ(run->totalBytes, c.totalBytes);
    EXPECT_EQ(run->startTime, BirthSeconds(path));
    EXPECT_EQ(run->endTime, MTime(path));
    EXPECT_EQ(logs.Lookup(run->Key()), run);
}

INSTANTIATE_TEST_SUITE_P(
    Names, BulkLogAcceptTest,
    ::testing::Values(
        SAcceptCase{"UpperCase", "DOWNLOAD.VQR", "x.VQR.LOG.1.0.CSV", false, true, 1, 0, 0},
        SAcceptCase{"ThirdCount", "20250305.vqr", "20250305.vqr.log.120.3.4096.csv", false, true,
                    120, 3, 4096},
        SAcceptCase{"SomethingAfterVqr", "a.vqr.old", "a.vqr.log.1.1.csv", false, false, 0, 0, 0},
        SAcceptCase{"NoBaseFolder", ".vqr", "a.vqr.log.1.1.csv", false, false, 0, 0, 0},
        SAcceptCase{"OtherFolder", "download", "a.vqr.log.1.1.csv", false, false, 0, 0, 0},
        SAcceptCase{"OneCount", "download.vqr", "a.vqr.log.1.csv", false, false, 0, 0, 0},
        SAcceptCase{"EmptyCount", "download.vqr", "a.vqr.log..1.csv", false, false, 0, 0, 0},
        SAcceptCase{"EmptyThirdCount", "download.vqr", "a.vqr.log.1.1..csv", false, false, 0, 0, 0},
        SAcceptCase{"FourCounts", "download.vqr", "a.vqr.log.1.1.1.1.csv", false, false, 0, 0, 0},
        SAcceptCase{"NoBase", "download.vqr", ".vqr.log.1.1.csv", false, false, 0, 0, 0},
        SAcceptCase{"NotVqr", "download.vqr", "a.txt.log.1.1.csv", false, false, 0, 0, 0},
        SAcceptCase{"NotLog", "download.vqr", "a.vqr.txt.1.1.csv", false, false, 0, 0, 0},
        SAcceptCase{"NotCsv", "download.vqr", "a.vqr.log.1.1.txt", false, false, 0, 0, 0},
        SAcceptCase{"FolderNamedLikeALog", "download.vqr", "a.vqr.log.1.1.csv", true, false, 0, 0,
                    0}),
    [](const auto &info) { return std::string(info.param.name); });

TEST_F(BulkLogTest, MissingRootGivesAnEmptyHistory)
{
    const QString root = installation.path(QStringLiteral("history"));
    ASSERT_TRUE(WriteFile(root + QStringLiteral("/download.vqr/download.vqr.log.1.0.csv"), "x"));
    ASSERT_TRUE(manager.LoadLogs(root));
    ASSERT_EQ(manager.logs().size(), 1);

    EXPECT_TRUE(manager.LoadLogs(installation.path(QStringLiteral("nowhere"))));
    EXPECT_TRUE(manager.logs().IsEmpty());
    EXPECT_TRUE(manager.logs().index().isEmpty());
    EXPECT_TRUE(messages.isEmpty());
}

// Two files born in the same second (retried until they are).
bool CreateInOneSecond(const QString &a, const QString &b)
{
    for (int attempt = 0; attempt < 5; ++attempt) {
        QFile::remove(a);
        QFile::remove(b);
        if (!WriteFile(a, "a\r\n") || !WriteFile(b, "b\r\n"))
            return false;
        if (BirthSeconds(a) == BirthSeconds(b))
            return true;
    }
    return false;
}

TEST_F(BulkLogTest, LogFoundLaterWithTheSameStartSecondReplacesTheEarlier)
{
    const QString root = installation.path(QStringLiteral("history"));
    const QString earlier = root + QStringLiteral("/download.vqr/a.vqr.log.1.0.csv");
    const QString later = root + QStringLiteral("/download.vqr/b.vqr.log.2.0.csv");
    ASSERT_TRUE(CreateInOneSecond(earlier, later));

    ASSERT_TRUE(manager.LoadLogs(root));
    CBulkDownloadLogList &logs = manager.logs();
    ASSERT_EQ(logs.size(), 1);
    EXPECT_EQ(logs.GetHead()->path, later);
    EXPECT_EQ(logs.GetHead()->succeeded, 2);
    EXPECT_EQ(logs.index().size(), 1);
}

TEST_F(BulkLogTest, NewestFirstWithAStoppedRunCountedZero)
{
    const QString root = installation.path(QStringLiteral("history"));
    const QString finished = root + QStringLiteral("/20250304.vqr/20250304.vqr.log.120.3.csv");
    ASSERT_TRUE(WriteFile(finished, "header\r\n"));
    ASSERT_TRUE(SetMTime(finished, LocalSeconds(2025, 3, 4, 2, 14, 9)));

    // The run that stopped: its log still has the zero counts, with the lines written so far.
    destination = root + QStringLiteral("/20250305.vqr");
    ASSERT_TRUE(QDir().mkpath(destination));
    manager.SetRunName(QStringLiteral("20250305.vqr"));
    qint64 start = 0;
    for (int attempt = 0; attempt < 30 && start <= BirthSeconds(finished); ++attempt) {
        QThread::msleep(100);
        ASSERT_TRUE(manager.CreateLog(&start));
    }
    ASSERT_GT(start, BirthSeconds(finished));
    ASSERT_TRUE(manager.AddLogLine(
        FileIn(nullptr, QStringLiteral("/a.txt"), QStringLiteral("済"), {}, {}, 1)));
    const QString stopped = manager.logPath();
    ASSERT_TRUE(SetMTime(stopped, LocalSeconds(2025, 3, 5, 3, 0, 0)));

    ASSERT_TRUE(manager.LoadLogs(root));
    CBulkDownloadLogList &logs = manager.logs();
    ASSERT_EQ(logs.size(), 2);
    const CBulkDownloadLogRecord *newest = logs.At(0);
    EXPECT_EQ(newest->path, stopped);
    EXPECT_EQ(newest->startTime, start);
    EXPECT_EQ(newest->endTime, LocalSeconds(2025, 3, 5, 3, 0, 0));
    EXPECT_EQ(newest->succeeded, 0);
    EXPECT_EQ(newest->failed, 0);
    const CBulkDownloadLogRecord *older = logs.At(1);
    EXPECT_EQ(older->path, finished);
    EXPECT_EQ(older->endTime, LocalSeconds(2025, 3, 4, 2, 14, 9));
    EXPECT_EQ(older->succeeded, 120);
    EXPECT_EQ(older->failed, 3);
}

// ---------------------------------------------------------------------------------------
// The list's replacement and order, with start times a file system cannot be given

struct SOrderCase
{
    const char *name;
    std::vector<std::pair<qint64, qint32>> runs; // start, tag (kept in succeeded)
    std::vector<qint32> expected;                // tags, newest first
};

class BulkLogOrderTest : public ::testing::TestWithParam<SOrderCase>
{};

TEST_P(BulkLogOrderTest, ReplacesSameSecondAndOrdersNewestFirst)
{
    const SOrderCase &c = GetParam();
    CBulkDownloadLogList list;
    for (const auto &[start, tag] : c.runs) {
        auto run = std::make_unique<CBulkDownloadLogRecord>();
        run->startTime = start;
        run->succeeded = tag;
        list.AddRun(std::move(run));
    }
    list.OrderNewestFirst();
    std::vector<qint32> tags;
    for (const CBulkDownloadLogRecord *run : list) {
        tags.push_back(run->succeeded);
        EXPECT_EQ(list.Lookup(run->Key()), run);
    }
    EXPECT_EQ(tags, c.expected);
    EXPECT_EQ(list.index().size(), qsizetype(c.expected.size()));
}

const qint64 kBase = 1741140000; // 2025-03-05 02:00 UTC

INSTANTIATE_TEST_SUITE_P(
    Lists, BulkLogOrderTest,
    ::testing::Values(SOrderCase{"OldestFirstIsReversed",
                                 {{kBase, 1}, {kBase + 60, 2}, {kBase + 7200, 3}},
                                 {3, 2, 1}},
                      SOrderCase{"Mixed",
                                 {{kBase + 60, 1}, {kBase + 7200, 2}, {kBase, 3}, {kBase + 120, 4}},
                                 {2, 4, 1, 3}},
                      SOrderCase{"SameSecondLaterWins",
                                 {{kBase, 1}, {kBase + 60, 2}, {kBase, 3}, {kBase + 60, 4}},
                                 {4, 3}},
                      SOrderCase{"Empty", {}, {}}),
    [](const auto &info) { return std::string(info.param.name); });

TEST(BulkLogList, EqualStartTimesKeepTheirOrder)
{
    // Two runs of one second can only meet under different keys (added by hand here).
    CBulkDownloadLogList list;
    for (qint32 tag = 1; tag <= 3; ++tag) {
        auto run = std::make_unique<CBulkDownloadLogRecord>();
        run->startTime = tag == 2 ? kBase + 10 : kBase;
        run->succeeded = tag;
        list.Add(QString::number(tag), std::move(run));
    }
    list.OrderNewestFirst();
    ASSERT_EQ(list.size(), 3);
    EXPECT_EQ(list.At(0)->succeeded, 2);
    EXPECT_EQ(list.At(1)->succeeded, 1);
    EXPECT_EQ(list.At(2)->succeeded, 3);
}

// ---------------------------------------------------------------------------------------
// The start where no birth time is kept

struct SFallbackCase
{
    const char *name;
    QByteArray content; // null: no file
    qint64 expected;    // -1: the last change
};

class BulkLogFallbackTest : public BulkLogTest, public ::testing::WithParamInterface<SFallbackCase>
{};

TEST_P(BulkLogFallbackTest, TakesTheFirstLineOrTheLastChange)
{
    const SFallbackCase &c = GetParam();
    const QString path = destination + QStringLiteral("/20250305.vqr.log.0.0.csv");
    if (!c.content.isNull()) {
        ASSERT_TRUE(WriteFile(path, c.content));
    }
    const qint64 lastChange = LocalSeconds(2025, 3, 6, 1, 2, 3);
    EXPECT_EQ(Manager::StartTimeFromLines(path, lastChange),
              c.expected < 0 ? lastChange : c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Logs, BulkLogFallbackTest,
    ::testing::Values(SFallbackCase{"FirstLine",
                                    ToAnsi(QStringLiteral("ダウンロード日時,フォルダ名\r\n"
                                                          "2025/03/05 02:00:07,経理,/a.txt\r\n"
                                                          "2025/03/05 02:09:00,経理,/b.txt\r\n")),
                                    LocalSeconds(2025, 3, 5, 2, 0, 7)},
                      SFallbackCase{"HeaderOnly",
                                    ToAnsi(QStringLiteral("ダウンロード日時,フォルダ名\r\n")), -1},
                      SFallbackCase{"NotADate", QByteArray("header\r\nsomething,else\r\n"), -1},
                      SFallbackCase{"NoFile", QByteArray(), -1}),
    [](const auto &info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------------------
// The history line

struct SDisplayCase
{
    const char *name;
    bool supportMode;
    qint64 start;
    qint64 end;
    qint32 succeeded;
    qint32 failed;
    quint32 totalBytes;
    QString expected;
};

class BulkLogDisplayTest : public ::testing::TestWithParam<SDisplayCase>
{};

TEST_P(BulkLogDisplayTest, ShowsTimesCountsAndFailures)
{
    const SDisplayCase &c = GetParam();
    CBulkDownloadLogRecord run;
    run.startTime = c.start;
    run.endTime = c.end;
    run.succeeded = c.succeeded;
    run.failed = c.failed;
    run.totalBytes = c.totalBytes;
    EXPECT_EQ(run.DisplayText(c.supportMode), c.expected);
    EXPECT_EQ(run.Key(), c.expected.left(19));
}

INSTANTIATE_TEST_SUITE_P(
    Texts, BulkLogDisplayTest,
    ::testing::Values(
        SDisplayCase{"Failed", false, LocalSeconds(2025, 3, 5, 2, 0, 0),
                     LocalSeconds(2025, 3, 5, 2, 14, 9), 120, 3, 0,
                     QStringLiteral("2025/03/05 02:00:00 - 02:14:09     120件\u3000失敗(3)")},
        SDisplayCase{"NormalIgnoresBytes", false, LocalSeconds(2025, 3, 5, 2, 0, 0),
                     LocalSeconds(2025, 3, 5, 2, 14, 9), 120, 0, 1536,
                     QStringLiteral("2025/03/05 02:00:00 - 02:14:09     120件")},
        SDisplayCase{"SupportWithBytes", true, LocalSeconds(2025, 3, 5, 2, 0, 0),
                     LocalSeconds(2025, 3, 5, 2, 14, 9), 120, 3, 1536,
                     QStringLiteral("2025/03/05 02:00:00 - 02:14:09 (00:14:09)    120件 (1.50 "
                                    "KB)\u3000失敗(3)")},
        SDisplayCase{"SupportLongerThanADay", true, LocalSeconds(2025, 3, 5, 2, 0, 0),
                     LocalSeconds(2025, 3, 6, 4, 3, 4), 1234567, 0, 0,
                     QStringLiteral("2025/03/05 02:00:00 - 04:03:04 (02:03:04)1234567件")},
        SDisplayCase{"StoppedRun", false, LocalSeconds(2025, 12, 31, 23, 59, 58),
                     LocalSeconds(2026, 1, 1, 0, 0, 5), 0, 0, 0,
                     QStringLiteral("2025/12/31 23:59:58 - 00:00:05       0件")}),
    [](const auto &info) { return std::string(info.param.name); });

} // namespace
