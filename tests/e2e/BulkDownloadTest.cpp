// Bulk download runs as yamada starts them from the online window, against the devserver's
// demo office: every file into the run folder by its folder path, the run's CSV log and the
// job on the service, the cache serving unchanged files on the next run, another client's
// run, refused starts, files gone during the run, a cut connection, pages answered with an
// empty error, files changed on the service while the walk pages through them, names that
// cannot be local names, dated run folders and the wait for the schedule.

#include "SignedInSession.h"

#include "bulk/BulkDownloadManager.h"
#include "bulk/BulkDownloadRun.h"
#include "bulk/BulkDownloadWaitThread.h"
#include "core/AppState.h"
#include "core/BizProgress.h"
#include "store/AnsiCodec.h"
#include "store/DateTimeValue.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QStringDecoder>
#include <QTimer>

#include <algorithm>
#include <map>

namespace {

// One file of the office as the service holds it.
struct SServiceFile
{
    QString folderPath;
    QString name;
    QString digest;
    QString updateTime;
    qint64 size = 0;
    QString RelativePath() const { return folderPath + u'/' + name; }
};

// One bulk job as the service recorded it.
struct SJob
{
    int id = 0;
    int status = 0;
    QString startTime;
    QString endTime;
    int allCount = 0;
    int failedCount = 0;
};

class BulkDownload : public SignedInSession
{
protected:
    void SetUp() override
    {
        SignedInSession::SetUp();
        if (HasFatalFailure())
            return;
        CBulkDownloadConfigRecord config;
        config.destinationRoot = Root();
        ASSERT_TRUE(bulk()->SaveBulkSettings(config));
        installation.CaptureLog();
    }

    CBulkDownloadManager *bulk() const { return systems->main()->bulkDownload(); }
    QString Root() const { return installation.path(QStringLiteral("bulk")); }
    QString RunFolder() const { return Root() + QStringLiteral("/download.vqr"); }

    SBulkRunResult Run(const std::function<void(const SBulkRunRow &)> &onRow = {})
    {
        CBizProgressAttach attach(*gui(), &progress);
        return gui()->RunBulkDownload(onRow);
    }

    std::vector<SServiceFile> ServiceFiles() const
    {
        std::vector<SServiceFile> files;
        for (const QString &line : QString::fromUtf8(server->hook(QStringLiteral("files")))
                                       .split(u'\n', Qt::SkipEmptyParts)) {
            const QStringList f = line.split(u'\t');
            if (f.size() >= 5)
                files.push_back({f.at(0), f.at(1), f.at(2), f.at(4), f.at(3).toLongLong()});
        }
        return files;
    }
    std::vector<SJob> Jobs() const
    {
        std::vector<SJob> jobs;
        for (const QString &line : QString::fromUtf8(server->hook(QStringLiteral("bulk/jobs")))
                                       .split(u'\n', Qt::SkipEmptyParts)) {
            const QStringList f = line.split(u'\t');
            if (f.size() >= 6)
                jobs.push_back({f.at(0).toInt(), f.at(1).toInt(), f.at(2), f.at(3), f.at(4).toInt(),
                                f.at(5).toInt()});
        }
        return jobs;
    }
    // The log files of a run folder.
    static QStringList Logs(const QString &folder)
    {
        return QDir(folder).entryList({QStringLiteral("*.csv")}, QDir::Files, QDir::Name);
    }
    // The lines of a log, decoded from CP932; each must end in CR LF.
    static QStringList LogLines(const QString &path)
    {
        const QByteArray bytes = ReadFile(path);
        EXPECT_TRUE(bytes.endsWith("\r\n"));
        EXPECT_EQ(bytes.count("\n"), bytes.count("\r\n")) << "every line ends in CR LF";
        QStringList lines = FromAnsi(bytes).split(QStringLiteral("\r\n"));
        if (!lines.isEmpty() && lines.last().isEmpty())
            lines.removeLast();
        return lines;
    }
    // The status column of the log line of a file.
    static QString StatusOf(const QStringList &lines, const QString &name)
    {
        for (const QString &line : lines) {
            const QStringList f = line.split(u',');
            if (f.size() >= 4 && f.at(2) == u'/' + name)
                return f.at(3);
        }
        return QStringLiteral("<no line>");
    }
    QString Today() const
    {
        return QDate::currentDate().toString(QStringLiteral("yyyyMMdd")) + QStringLiteral(".vqr");
    }
    QString UpdatedTimeText() const
    {
        const QByteArray bytes = ReadFile(bulk()->UpdatedTimePath());
        EXPECT_TRUE(bytes.startsWith("\xff\xfe")) << "UTF-16LE with its byte-order mark";
        return QString(QStringDecoder(QStringDecoder::Utf16LE)(bytes.mid(2))).trimmed();
    }
    QString NewestUpdate(const std::vector<SServiceFile> &files) const
    {
        QString newest;
        for (const SServiceFile &f : files)
            newest = std::max(newest, f.updateTime);
        return newest;
    }

    CBizProgressHandler progress;
};

TEST_F(BulkDownload, FirstRunStoresEveryFileByFolderPathWithItsLogAndJob)
{
    const std::vector<SServiceFile> files = ServiceFiles();
    ASSERT_GT(files.size(), 20u);
    QStringList rows;
    const SBulkRunResult result = Run([&](const SBulkRunRow &row) {
        rows << row.record->FileName();
        EXPECT_EQ(row.counterText, QStringLiteral("%1 / %2件").arg(row.number).arg(row.total));
        EXPECT_TRUE(row.progressText.startsWith(u'「')) << qPrintable(row.progressText);
    });

    EXPECT_EQ(result.ending, EBulkRunEnding::Completed);
    EXPECT_EQ(result.succeeded, int(files.size()));
    EXPECT_EQ(result.failed, 0);
    EXPECT_EQ(result.destination, RunFolder());
    EXPECT_EQ(rows.size(), int(files.size()));
    for (const SServiceFile &f : files)
        EXPECT_EQ(Md5Of(RunFolder() + u'/' + f.RelativePath()), f.digest)
            << qPrintable(f.RelativePath());
    // Oldest first: the walk's order is the service's update order.
    EXPECT_EQ(rows.first(), files.front().name);

    const QString logName = Today() + QStringLiteral(".log.%1.0.csv").arg(files.size());
    EXPECT_EQ(Logs(RunFolder()), QStringList{logName});
    EXPECT_EQ(result.logPath, RunFolder() + u'/' + logName);
    const QStringList lines = LogLines(result.logPath);
    ASSERT_EQ(lines.size(), int(files.size()) + 1);
    EXPECT_EQ(
        lines.first(),
        QStringLiteral("ダウンロード日時,フォルダ名,ファイル名,状態,最終更新日時,最終更新者"));
    const QStringList first = lines.at(1).split(u',');
    ASSERT_EQ(first.size(), 6);
    EXPECT_EQ(first.at(1), files.front().folderPath);
    EXPECT_EQ(first.at(2), u'/' + files.front().name);
    EXPECT_EQ(first.at(4), files.front().updateTime);
    EXPECT_TRUE(ParseDateTime(first.at(0)).isValid());

    const std::vector<SJob> jobs = Jobs();
    ASSERT_EQ(jobs.size(), 1u);
    EXPECT_EQ(jobs.front().status, 9);
    EXPECT_EQ(jobs.front().allCount, int(files.size()));
    EXPECT_EQ(jobs.front().failedCount, 0);
    EXPECT_EQ(server->requestLog(QStringLiteral("bulkdownload/start")).size(), 1);
    EXPECT_EQ(server->requestLog(QStringLiteral("bulkdownload/end")).size(), 1);
    EXPECT_EQ(bulk()->jobId(), 0);

    EXPECT_EQ(UpdatedTimeText(), NewestUpdate(files));

    // The history finds the run under its counts.
    ASSERT_TRUE(bulk()->logManager().LoadLogs(Root()));
    ASSERT_EQ(bulk()->logManager().logs().size(), 1);
    EXPECT_EQ(bulk()->logManager().logs().GetHead()->succeeded, int(files.size()));
}

TEST_F(BulkDownload, SecondRunCopiesCurrentCacheCopiesAndFetchesTheOthers)
{
    ASSERT_EQ(Run().ending, EBulkRunEnding::Completed);
    const std::vector<SServiceFile> files = ServiceFiles();
    const qint32 year = Id(QStringLiteral("経理/2024"));
    // A cache copy changed on disk since, and a file out for editing here whose edit holds
    // changes nobody sent.
    const QString altered = QStringLiteral("仕訳帳.csv");
    const QString edited = QStringLiteral("総勘定元帳.csv");
    ASSERT_TRUE(WriteFile(cache()->CachePath(year, altered), "changed on disk"));
    QString working;
    ASSERT_TRUE(gui()->OpenForEditing(year, u'/' + edited, nullptr, true, nullptr, &working));
    const QString editCopy = cache()->EditCopyPath(year, edited);
    ASSERT_TRUE(WriteFile(editCopy, "an edit nobody sent"));
    server->clearRequestLog();
    installation.log.clear();

    const SBulkRunResult result = Run();
    EXPECT_EQ(result.ending, EBulkRunEnding::Completed);
    EXPECT_EQ(result.succeeded, int(files.size()));
    // Only those two came over the network.
    EXPECT_EQ(server->callCount(QStringLiteral("file/get")), 2);
    EXPECT_GT(installation.log.filter(QStringLiteral("copied from the cache")).size(), 20);
    for (const SServiceFile &f : files)
        EXPECT_EQ(Md5Of(RunFolder() + u'/' + f.RelativePath()), f.digest)
            << qPrintable(f.RelativePath());
    EXPECT_EQ(ReadFile(editCopy), QByteArray("an edit nobody sent"));
    EXPECT_TRUE(QFileInfo::exists(working));
}

TEST_F(BulkDownload, AnotherClientsRunStopsTheRunBeforeAnythingIsWritten)
{
    const QString jobId = QString::fromUtf8(server->hook(
        QStringLiteral("bulk/start"), {{"startTime", QStringLiteral("2025/03/05 02:00:00")}}));
    const SBulkRunResult result = Run();
    EXPECT_EQ(result.ending, EBulkRunEnding::NotStarted);
    ASSERT_EQ(installation.messages.size(), 1);
    EXPECT_TRUE(
        installation.messages.first().contains(QStringLiteral("・開始日（2025/03/05 02:00:00）")))
        << qPrintable(installation.messages.first());
    EXPECT_TRUE(
        installation.messages.first().contains(QStringLiteral("・ジョブID（%1）").arg(jobId)));
    EXPECT_FALSE(QFileInfo::exists(Root()));
    EXPECT_EQ(server->callCount(QStringLiteral("bulkdownload/start")), 0);
}

TEST_F(BulkDownload, RefusedStartLeavesAnEmptyLogAndSendsNoEnd)
{
    server->hook(
        QStringLiteral("fail"),
        {{"op", "bulkdownload/start"}, {"mode", "fault"}, {"code", "60001"}, {"status", "409"}});
    const SBulkRunResult result = Run();
    EXPECT_EQ(result.ending, EBulkRunEnding::NotStarted);
    EXPECT_EQ(Logs(RunFolder()), QStringList{Today() + QStringLiteral(".log.0.0.csv")});
    EXPECT_EQ(LogLines(RunFolder() + u'/' + Logs(RunFolder()).value(0)).size(), 1); // the header
    EXPECT_EQ(server->callCount(QStringLiteral("bulkdownload/end")), 0);
    EXPECT_EQ(installation.messages.size(), 1); // the refusal
    EXPECT_EQ(server->callCount(QStringLiteral("file/get")), 0);
}

TEST_F(BulkDownload, FileDeletedDuringTheRunIsLoggedAndTheRunGoesOn)
{
    const QString gone = QStringLiteral("予算計画.xlsx");
    const SBulkRunResult result = Run([&](const SBulkRunRow &row) {
        if (row.record->FileName() == gone)
            server->hook(QStringLiteral("file/delete"),
                         {{"folderPath", "経理/2024"}, {"path", u'/' + gone}});
    });
    EXPECT_EQ(result.ending, EBulkRunEnding::Completed);
    EXPECT_EQ(result.failed, 1);
    EXPECT_GT(result.succeeded, 20);
    EXPECT_EQ(StatusOf(LogLines(result.logPath), gone), QStringLiteral("※エラー（移動、削除）"));
    EXPECT_TRUE(result.logPath.endsWith(QStringLiteral(".log.%1.1.csv").arg(result.succeeded)))
        << qPrintable(result.logPath);
    ASSERT_EQ(Jobs().size(), 1u);
    EXPECT_EQ(Jobs().front().status, 9);
    EXPECT_EQ(Jobs().front().failedCount, 1);
    EXPECT_TRUE(installation.messages.isEmpty()) << qPrintable(installation.messages.join(u'|'));
}

TEST_F(BulkDownload, CutConnectionEndsTheRunAsFailed)
{
    // Every download breaks (the transport tries a broken GET once more by itself).
    server->hook(QStringLiteral("fail"), {{"op", "file/get"}, {"mode", "cut"}, {"count", "1000"}});
    const SBulkRunResult result = Run();
    EXPECT_EQ(result.ending, EBulkRunEnding::Failed);
    EXPECT_LT(result.result, 0);
    EXPECT_EQ(result.failed, 1);
    EXPECT_EQ(result.succeeded, 0);
    ASSERT_FALSE(installation.messages.isEmpty());
    EXPECT_EQ(installation.messages.last(), detail::ComposeMessage(18360));
    ASSERT_EQ(Jobs().size(), 1u);
    EXPECT_EQ(Jobs().front().status, 99);
    EXPECT_EQ(Jobs().front().allCount, 1);
    EXPECT_EQ(StatusOf(LogLines(result.logPath), ServiceFiles().front().name),
              QStringLiteral("※エラー（予期せぬ）"));
}

TEST_F(BulkDownload, NamesThatCannotBeLocalNamesAreLoggedAndNothingLeavesTheRunFolder)
{
    server->hook(
        QStringLiteral("file/rename"),
        {{"folderPath", "経理/2024"}, {"path", "/readme.txt"}, {"name", "../../escape.txt"}});
    server->hook(QStringLiteral("folder/rename"),
                 {{"folderPath", "共有/テンプレート"}, {"name", ".."}});
    const SBulkRunResult result = Run();
    EXPECT_EQ(result.ending, EBulkRunEnding::Completed);
    EXPECT_EQ(result.failed, 4); // the renamed file and the three templates
    const QStringList lines = LogLines(result.logPath);
    EXPECT_EQ(StatusOf(lines, QStringLiteral("../../escape.txt")),
              QStringLiteral("※エラー（予期せぬ）"));
    EXPECT_EQ(StatusOf(lines, QStringLiteral("送付状.docx")),
              QStringLiteral("※エラー（予期せぬ）"));
    // Nothing next to the run folder or above it.
    EXPECT_EQ(QDir(Root()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
              QStringList{QStringLiteral("download.vqr")});
    EXPECT_FALSE(QFileInfo::exists(installation.path(QStringLiteral("escape.txt"))));
    EXPECT_FALSE(QFileInfo::exists(Root() + QStringLiteral("/escape.txt")));
    EXPECT_EQ(Jobs().front().status, 9);
}

TEST_F(BulkDownload, DatedRunFolderAndLogTakeTheRunsDate)
{
    CBulkDownloadConfigRecord config = bulk()->settings();
    config.datedFolders = 1;
    ASSERT_TRUE(bulk()->SaveBulkSettings(config));
    bulk()->SetClock([] { return QDateTime(QDate(2025, 3, 5), QTime(3, 0)); });
    const SBulkRunResult result = Run();
    EXPECT_EQ(result.ending, EBulkRunEnding::Completed);
    EXPECT_EQ(result.destination, Root() + QStringLiteral("/20250305.vqr"));
    EXPECT_EQ(Logs(result.destination),
              QStringList{QStringLiteral("20250305.vqr.log.%1.0.csv").arg(result.succeeded)});
    EXPECT_TRUE(QFileInfo::exists(result.destination + QStringLiteral("/経理/2024/readme.txt")));
}

TEST_F(BulkDownload, CancelEndsTheWalkAndClosesTheJobWithWhatWasHandled)
{
    const SBulkRunResult result = Run([&](const SBulkRunRow &row) {
        if (row.number == 4)
            progress.Cancel();
    });
    EXPECT_TRUE(result.cancelled);
    EXPECT_EQ(result.succeeded, 3);
    ASSERT_EQ(Jobs().size(), 1u);
    EXPECT_EQ(Jobs().front().status, 9);
    EXPECT_EQ(Jobs().front().allCount, 3);
    EXPECT_TRUE(result.logPath.endsWith(QStringLiteral(".log.3.0.csv")));
}

TEST_F(BulkDownload, WaitEndsInTheRunWhenTheTimeComesAndInTheSettingsOnCancel)
{
    CBulkDownloadConfigRecord config = bulk()->settings();
    config.timerEnabled = 1;
    const QTime due = QTime::currentTime().addSecs(2);
    config.hour = due.hour();
    config.minute = due.minute();
    config.second = due.second();
    ASSERT_TRUE(bulk()->SaveBulkSettings(config));
    CBizProgressAttach attach(*gui(), &progress);
    EXPECT_EQ(gui()->WaitForBulkDownload(), EBulkWaitResult::Run);
    EXPECT_EQ(gui()->bulkWaitThread(), nullptr);

    // A wait far from its time, cancelled from the window.
    config.hour = (due.hour() + 12) % 24;
    ASSERT_TRUE(bulk()->SaveBulkSettings(config));
    QTimer::singleShot(300, [&] { progress.Cancel(); });
    EXPECT_EQ(gui()->WaitForBulkDownload(), EBulkWaitResult::Settings);
    EXPECT_TRUE(installation.messages.isEmpty()) << qPrintable(installation.messages.join(u'|'));
}

} // namespace

namespace {

TEST_F(BulkDownload, SettingsAreTheUsersAndSurviveDamage)
{
    CBulkDownloadConfigRecord config = bulk()->settings();
    config.timerEnabled = 1;
    config.hour = 3;
    config.repeat = 1;
    config.repeatKind = CBulkDownloadConfigRecord::Weekly;
    config.weekdays[1] = config.weekdays[4] = 1;
    ASSERT_TRUE(bulk()->SaveBulkSettings(config));
    const QString path = bulk()->SettingsPath();
    ASSERT_TRUE(path.startsWith(installation.dataFolder())) << qPrintable(path);
    EXPECT_EQ(FileMode(path), 0600);

    SignIn();
    EXPECT_EQ(bulk()->settings(), config);
    EXPECT_EQ(bulk()->ScheduleText(),
              QStringLiteral("【開始時刻：03時】　【繰り返し：毎週 月、木曜日】"));
    EXPECT_TRUE(bulk()->IsRepeating());

    // Cut short: the defaults, without a word.
    const QByteArray bytes = ReadFile(path);
    ASSERT_TRUE(WriteFile(path, bytes.left(bytes.size() - 6)));
    EXPECT_TRUE(bulk()->LoadBulkSettings());
    EXPECT_EQ(bulk()->settings(), CBulkDownloadConfigRecord());
    EXPECT_TRUE(installation.messages.isEmpty());

    // A settings file that cannot be read or written: said, and the settings in force stay.
    ASSERT_TRUE(bulk()->SaveBulkSettings(config));
    ASSERT_TRUE(QFile::remove(path));
    ASSERT_TRUE(QDir().mkpath(path));
    EXPECT_FALSE(bulk()->LoadBulkSettings());
    EXPECT_EQ(installation.messages.size(), 1);
    CBulkDownloadConfigRecord other = config;
    other.destinationRoot = installation.path(QStringLiteral("elsewhere"));
    EXPECT_FALSE(bulk()->SaveBulkSettings(other));
    EXPECT_EQ(bulk()->settings(), config);
    EXPECT_EQ(installation.messages.size(), 2);
}

TEST_F(BulkDownload, DamagedUpdatedTimeCountsAsHeldButNeverLetsTheCacheServe)
{
    ASSERT_EQ(Run().ending, EBulkRunEnding::Completed);
    const int files = int(ServiceFiles().size());
    ASSERT_TRUE(WriteFile(bulk()->UpdatedTimePath(), QByteArray("\xff\xfe"
                                                                "n\0o\0t\0",
                                                                8)));
    server->clearRequestLog();
    const SBulkRunResult result = Run();
    EXPECT_EQ(result.ending, EBulkRunEnding::Completed);
    EXPECT_TRUE(bulk()->HasUpdatedTime());
    EXPECT_FALSE(bulk()->LastUpdatedTime().isValid());
    // Every file is the service's again: the cache copies are current, so the downloads
    // are copies out of the cache after their digest check, none from the cache rule.
    EXPECT_EQ(installation.log.filter(QStringLiteral("copied from the cache")).size(), 0);
    EXPECT_EQ(result.succeeded, files);
    // The finished run put a good time back.
    EXPECT_EQ(UpdatedTimeText(), NewestUpdate(ServiceFiles()));
}

TEST_F(BulkDownload, ClearingTheRunFolderNeverFollowsALink)
{
    const QString outside = installation.path(QStringLiteral("outside"));
    ASSERT_TRUE(WriteFile(outside + QStringLiteral("/keep.txt"), "mine"));
    ASSERT_TRUE(QDir().mkpath(RunFolder()));
    ASSERT_TRUE(QFile::link(outside, RunFolder() + QStringLiteral("/link")));
    ASSERT_TRUE(WriteFile(RunFolder() + QStringLiteral("/old.txt"), "an earlier run"));
    ASSERT_EQ(Run().ending, EBulkRunEnding::Completed);
    EXPECT_EQ(ReadFile(outside + QStringLiteral("/keep.txt")), QByteArray("mine"));
    EXPECT_FALSE(QFileInfo::exists(RunFolder() + QStringLiteral("/old.txt")));
    EXPECT_FALSE(QFileInfo(RunFolder() + QStringLiteral("/link")).isSymLink());
}

TEST_F(BulkDownload, SupportModeKeepsTheRunFolderAndLogsSizes)
{
    AppState::SetSupportMode(true);
    ASSERT_TRUE(WriteFile(RunFolder() + QStringLiteral("/old.txt"), "an earlier run"));
    const SBulkRunResult result = Run();
    AppState::SetSupportMode(false);
    EXPECT_EQ(result.ending, EBulkRunEnding::Completed);
    EXPECT_TRUE(QFileInfo::exists(RunFolder() + QStringLiteral("/old.txt")));
    EXPECT_GT(result.totalBytes, 0u);
    EXPECT_TRUE(result.logPath.endsWith(
        QStringLiteral(".log.%1.0.%2.csv").arg(result.succeeded).arg(result.totalBytes)))
        << qPrintable(result.logPath);
    const QStringList lines = LogLines(result.logPath);
    EXPECT_TRUE(lines.first().endsWith(QStringLiteral(",サイズ")));
    EXPECT_EQ(lines.at(1).split(u',').last(), QString::number(ServiceFiles().front().size));
}

TEST_F(BulkDownload, FailedEndIsShownAndTheJobIsLetGo)
{
    server->hook(
        QStringLiteral("fail"),
        {{"op", "bulkdownload/end"}, {"mode", "fault"}, {"code", "10004"}, {"status", "404"}});
    const SBulkRunResult result = Run();
    EXPECT_EQ(result.ending, EBulkRunEnding::Completed);
    EXPECT_EQ(installation.messages.size(), 1);
    EXPECT_EQ(bulk()->jobId(), 0);
    // The log has its final name all the same.
    EXPECT_TRUE(result.logPath.endsWith(QStringLiteral(".log.%1.0.csv").arg(result.succeeded)));
    // The service still sees the job running: the next run is refused until it ends there.
    installation.messages.clear();
    EXPECT_EQ(Run().ending, EBulkRunEnding::NotStarted);
    ASSERT_EQ(installation.messages.size(), 1);
    EXPECT_TRUE(installation.messages.first().startsWith(
        QStringLiteral("他のクライアントにより一括ダウンロードを実行中です。")));
}

TEST_F(BulkDownload, PageCutShortByABadEntryFailsTheRun)
{
    // The tenth file of the page comes without its digest: the entries after it would be
    // left out without a trace.
    server->hook(
        QStringLiteral("fail"),
        {{"op", "file/list"}, {"mode", "dropchild"}, {"child", "digest"}, {"index", "10"}});
    const SBulkRunResult result = Run();
    EXPECT_EQ(result.ending, EBulkRunEnding::Failed);
    EXPECT_LT(result.result, 0);
    EXPECT_EQ(result.succeeded, 9);
    ASSERT_EQ(Jobs().size(), 1u);
    EXPECT_EQ(Jobs().front().status, 99);
    ASSERT_FALSE(installation.messages.isEmpty());
    EXPECT_EQ(installation.messages.last(), detail::ComposeMessage(18360));
}

} // namespace

namespace {

// A page that cannot be listed, answered with an error status and no body at all (as a
// proxy or an overloaded server may give it): the run cannot know which files it missed.
class BulkDownloadUnlistedPage :
    public BulkDownload,
    public ::testing::WithParamInterface<const char *>
{};

TEST_P(BulkDownloadUnlistedPage, EndsTheRunAsFailedAndKeepsTheUpdatedTime)
{
    // The time of an earlier run: a failed run must not move it.
    const QString earlier = QStringLiteral("2020/01/02 03:04:05");
    QByteArray bytes("\xff\xfe", 2);
    for (const QChar c : earlier)
        bytes.append(char(c.unicode() & 0xff)).append(char(c.unicode() >> 8));
    ASSERT_TRUE(WriteFile(bulk()->UpdatedTimePath(), bytes));
    ASSERT_EQ(server->hookStatus(
                  QStringLiteral("fail"),
                  {{"op", QString::fromLatin1(GetParam())}, {"mode", "empty"}, {"status", "502"}}),
              200);

    const SBulkRunResult result = Run();
    EXPECT_EQ(result.ending, EBulkRunEnding::Failed);
    EXPECT_LT(result.result, 0);
    EXPECT_EQ(result.succeeded + result.failed, 0);
    EXPECT_EQ(server->callCount(QStringLiteral("file/get")), 0);
    ASSERT_FALSE(installation.messages.isEmpty());
    EXPECT_EQ(installation.messages.last(), detail::ComposeMessage(18360));
    ASSERT_EQ(Jobs().size(), 1u);
    EXPECT_EQ(Jobs().front().status, 99);
    EXPECT_EQ(Jobs().front().allCount, 0);
    EXPECT_TRUE(result.logPath.endsWith(QStringLiteral(".log.0.0.csv")))
        << qPrintable(result.logPath);
    EXPECT_EQ(UpdatedTimeText(), earlier);
}

INSTANTIATE_TEST_SUITE_P(
    EmptyErrorAnswer, BulkDownloadUnlistedPage, ::testing::Values("file/count", "file/list"),
    [](const ::testing::TestParamInfo<const char *> &info) {
        return QString::fromLatin1(info.param).replace(u'/', u'_').toStdString();
    });

// Two pages of files (520, one folder, no two with the same update time) for a walk in which
// the service changes under the client.
class BulkDownloadWhileFilesChange : public BulkDownload
{
protected:
    QStringList ServerArgs() const override
    {
        return {QStringLiteral("--seed"), QStringLiteral("page:subfolders=0,files=520"),
                QStringLiteral("--test-hooks")};
    }
    // The service's files, oldest update first.
    std::vector<SServiceFile> ByUpdate() const
    {
        std::vector<SServiceFile> files = ServiceFiles();
        std::sort(files.begin(), files.end(), [](const SServiceFile &a, const SServiceFile &b) {
            return a.updateTime < b.updateTime;
        });
        return files;
    }
    // Every file of the service is in the run folder with the service's bytes.
    void ExpectEveryFileAsTheServiceHasIt(const QString &folder)
    {
        int missing = 0;
        for (const SServiceFile &f : ServiceFiles())
            if (Md5Of(folder + u'/' + f.RelativePath()) != f.digest.toLatin1() && ++missing <= 5)
                ADD_FAILURE() << "not as the service has it: " << qPrintable(f.RelativePath());
        EXPECT_EQ(missing, 0);
    }
};

TEST_F(BulkDownloadWhileFilesChange, AFileUpdatedOnAnEarlierPageLetsNoFileBeSkipped)
{
    const std::vector<SServiceFile> before = ByUpdate();
    ASSERT_EQ(before.size(), 520u);
    ASSERT_EQ(before.front().folderPath, QStringLiteral("ページ"));
    // The oldest file, stored from the first page, gets new bytes once that page has been
    // listed: it moves to the end of the update order, and every later file up a place.
    const SServiceFile &changed = before.front();
    ASSERT_EQ(server->hookStatus(QStringLiteral("touch"), {{"folderPath", changed.folderPath},
                                                           {"path", u'/' + changed.name},
                                                           {"op", "file/list"},
                                                           {"after", "1"},
                                                           {"content", "changed during the run"}}),
              200);
    QStringList rows;
    const SBulkRunResult result = Run([&](const SBulkRunRow &row) {
        rows << row.record->FileName();
        EXPECT_LE(row.number, row.total);
    });

    EXPECT_EQ(result.ending, EBulkRunEnding::Completed);
    ASSERT_NE(ByUpdate().back().digest, changed.digest) << "the change landed";
    ExpectEveryFileAsTheServiceHasIt(result.destination);
    // Each file once, the changed one a second time with its new bytes; nothing fetched
    // that was already stored as it is.
    EXPECT_EQ(result.failed, 0);
    EXPECT_EQ(result.succeeded, 521);
    EXPECT_EQ(rows.size(), 521);
    EXPECT_EQ(rows.count(changed.name), 2);
    EXPECT_EQ(rows.removeDuplicates(), 1);
    EXPECT_EQ(server->callCount(QStringLiteral("file/get")), 521);
    // The log, the job and the updated time tell the same story.
    EXPECT_EQ(LogLines(result.logPath).size(), 522);
    EXPECT_TRUE(result.logPath.endsWith(QStringLiteral(".log.521.0.csv")))
        << qPrintable(result.logPath);
    ASSERT_EQ(Jobs().size(), 1u);
    EXPECT_EQ(Jobs().front().status, 9);
    EXPECT_EQ(Jobs().front().allCount, 521);
    EXPECT_EQ(UpdatedTimeText(), NewestUpdate(ServiceFiles()));
}

TEST_F(BulkDownloadWhileFilesChange, AFileDeletedOnAnEarlierPageLetsNoFileBeSkipped)
{
    const std::vector<SServiceFile> before = ByUpdate();
    ASSERT_EQ(before.size(), 520u);
    // Deleted right after it was stored: every later file moves down a place.
    const QString gone = before.at(10).name;
    const SBulkRunResult result = Run([&](const SBulkRunRow &row) {
        if (row.number == 12)
            server->hook(QStringLiteral("file/delete"),
                         {{"folderPath", "ページ"}, {"path", u'/' + gone}});
    });

    EXPECT_EQ(result.ending, EBulkRunEnding::Completed);
    EXPECT_EQ(ServiceFiles().size(), 519u);
    ExpectEveryFileAsTheServiceHasIt(result.destination);
    EXPECT_EQ(result.succeeded, 520);
    EXPECT_EQ(result.failed, 0);
    EXPECT_EQ(server->callCount(QStringLiteral("file/get")), 520);
    EXPECT_EQ(Jobs().front().allCount, 520);
}

} // namespace
