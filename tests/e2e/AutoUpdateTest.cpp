// The update after sign-in and the notice counters against the devserver: the version
// comparison, the package stored in the setup folder and started, the ways it can fail, and
// the counters of every shared refresh.

#include "SignedInSession.h"

#include "account/AutoUpdateManager.h"
#include "account/InformationManager.h"
#include "app/UpdateStep.h"
#include "core/BizProgress.h"
#include "core/Paths.h"
#include "core/Strings.h"
#include "store/Convert.h"

#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QThread>

namespace {

QString ReferenceMd5(const QByteArray &bytes)
{
    return QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Md5).toHex());
}

// Stops the transfer (as the progress window's cancel button would) at the first poll once
// bytes of the package have arrived (the step announces the download with its progress
// text).
class CancelTheDownload : public CBizProgressHandler
{
protected:
    bool IsContinue() override
    {
        if (text() == LoadString(18190) && position() > 0 && !isCancelled())
            Cancel(-1);
        return !isCancelled();
    }
};

} // namespace

class AutoUpdate : public SignedInSession
{
protected:
    void SetUp() override
    {
        SignedInSession::SetUp();
        if (HasFatalFailure())
            return;
        Run("1.2.0.9");
        argsFile = installation.path(QStringLiteral("args.txt"));
    }

    CMainSystem &main() const { return *systems->main(); }
    // The version this client takes itself for.
    void Run(const QString &version)
    {
        quint32 ls = 0;
        const quint32 ms = ParseVersion(version, &ls);
        main().autoUpdate()->SetRunningVersion(ms, ls);
    }
    void Publish(const QList<QPair<QString, QString>> &params)
    {
        ASSERT_EQ(server->hookStatus(QStringLiteral("update"), params), 200);
    }
    // An installer that records how it was started: its arguments and working folder.
    QByteArray RecordingInstaller() const
    {
        return "#!/bin/sh\nprintf '%s\\n' \"$#\" \"$@\" \"$(pwd)\" > '" + argsFile.toUtf8()
               + ".part'\nmv '" + argsFile.toUtf8() + ".part' '" + argsFile.toUtf8() + "'\n";
    }
    // The started installer runs on its own: wait for its record (none within 20 s: empty).
    QByteArray WaitForRecord() const
    {
        QDeadlineTimer deadline(20000);
        while (!QFile::exists(argsFile) && !deadline.hasExpired())
            QThread::msleep(20);
        return ReadFile(argsFile);
    }
    QString Setup() const { return QDir::cleanPath(SetupPath()); }

    QString argsFile;
};

// --- The comparison ---------------------------------------------------------------------

struct SVersionCase
{
    const char *service;
    const char *running;
    int newer;
};

class VersionComparison : public AutoUpdate, public ::testing::WithParamInterface<SVersionCase>
{};

TEST_P(VersionComparison, ComparesBothPairsAsUnsignedNumbers)
{
    const SVersionCase &c = GetParam();
    const QByteArray content = "package of " + QByteArray(c.service);
    Publish({{"version", c.service}, {"fileName", "setup.sh"}, {"content", content}});
    Run(QString::fromLatin1(c.running));

    int newer = -1;
    QString fileName, digest;
    qint32 size = -1;
    quint32 ms = 0, ls = 0;
    ASSERT_TRUE(main().CheckForUpdate(newer, &fileName, &digest, &size, &ms, &ls));
    EXPECT_EQ(newer, c.newer) << c.service << " against " << c.running;
    EXPECT_EQ(fileName, u"setup.sh"_qs);
    EXPECT_EQ(digest, ReferenceMd5(content));
    EXPECT_EQ(size, content.size());
    EXPECT_EQ(FormatVersion(ms, ls), QString::fromLatin1(c.service));

    // The outputs are optional, the answer the same.
    int alone = -1;
    ASSERT_TRUE(main().CheckForUpdate(alone));
    EXPECT_EQ(alone, c.newer);
    EXPECT_TRUE(messages.isEmpty()) << messages.join(u'\n').toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Versions, VersionComparison,
    ::testing::Values(SVersionCase{"1.2.0.9", "1.2.0.9", 0}, SVersionCase{"1.2.0.10", "1.2.0.9", 1},
                      SVersionCase{"1.2.0.8", "1.2.0.9", 0}, SVersionCase{"1.3.0.0", "1.2.9.9", 1},
                      SVersionCase{"1.1.9.9", "1.2.0.0", 0}, SVersionCase{"1.10.0.0", "1.9.0.0", 1},
                      // The high bit of a word is no sign.
                      SVersionCase{"32768.0.0.0", "1.0.0.0", 1},
                      SVersionCase{"1.0.0.0", "32768.0.0.0", 0},
                      SVersionCase{"2.0.40000.0", "2.0.1.0", 1}));

TEST_F(AutoUpdate, TheRunningVersionIsTheBuildsOwn)
{
    CAutoUpdateManager fresh(login());
    quint32 ls = 0;
    const quint32 ms = ParseVersion(QStringLiteral(VELQUOR_VERSION_TEXT), &ls);
    EXPECT_EQ(fresh.runningVersionMs(), ms);
    EXPECT_EQ(fresh.runningVersionLs(), ls);

    int newer = -1;
    Publish({{"version", VELQUOR_VERSION_TEXT}});
    ASSERT_TRUE(fresh.CheckForUpdate(newer));
    EXPECT_EQ(newer, 0);
    Publish({{"version", FormatVersion(ms, ls + 1)}});
    ASSERT_TRUE(fresh.CheckForUpdate(newer));
    EXPECT_EQ(newer, 1);
}

TEST_F(AutoUpdate, AnAnswerWithoutFileSizeStillUpdates)
{
    const QByteArray content = RecordingInstaller();
    Publish({{"version", "1.2.0.10"},
             {"fileName", "setup.sh"},
             {"content", content},
             {"omit", "fileSize"}});
    int newer = -1;
    QString fileName, digest;
    qint32 size = -7;
    quint32 ms = 11, ls = 12;
    ASSERT_TRUE(main().CheckForUpdate(newer, &fileName, &digest, &size, &ms, &ls));
    EXPECT_EQ(fileName, u"setup.sh"_qs);
    EXPECT_EQ(digest, ReferenceMd5(content));
    // Only the missing element keeps the caller's value; the version after it is read.
    EXPECT_EQ(size, -7);
    EXPECT_EQ(FormatVersion(ms, ls), u"1.2.0.10"_qs);
    EXPECT_EQ(newer, 1);
    EXPECT_EQ(RunUpdateStep(main()), EUpdateStepResult::CloseApplication);
    EXPECT_EQ(ReadFile(Setup() + u"/setup.sh"_qs), content);
}

// --- The step after sign-in -------------------------------------------------------------

TEST_F(AutoUpdate, AnEqualVersionLetsTheSignInGoOn)
{
    Publish({{"version", "1.2.0.9"}, {"content", RecordingInstaller()}});
    EXPECT_EQ(RunUpdateStep(main()), EUpdateStepResult::Continue);
    EXPECT_TRUE(messages.isEmpty());
    EXPECT_EQ(server->callCount(QStringLiteral("autoupdate/get")), 0);
    EXPECT_FALSE(QFileInfo::exists(Setup()));
}

TEST_F(AutoUpdate, ANewerPackageIsStoredStartedAndClosesTheApplication)
{
    const QByteArray content = RecordingInstaller();
    Publish({{"version", "1.2.0.10"}, {"fileName", "VELQUOR_Setup.sh"}, {"content", content}});
    CBizProgressHandler progress;

    EXPECT_EQ(RunUpdateStep(main(), &progress), EUpdateStepResult::CloseApplication);
    EXPECT_EQ(messages, QStringList{LoadString(18189).replace(u"%s"_qs, u"1.2.0.10"_qs)});
    ASSERT_EQ(installation.shown.size(), 1u);
    EXPECT_EQ(installation.shown[0].icon, MsgIcon::Information);
    EXPECT_EQ(progress.text(), LoadString(18190));

    const QString package = Setup() + u"/VELQUOR_Setup.sh"_qs;
    EXPECT_EQ(ReadFile(package), content);
    EXPECT_EQ(FileMode(package) & 0100, 0100) << "executable for the owner";
    EXPECT_EQ(Listing(Setup()), QStringList{u"VELQUOR_Setup.sh"_qs}) << "no temporary left";
    // One argument, in the setup folder.
    EXPECT_EQ(WaitForRecord(), "1\n/auto.update\n" + Setup().toUtf8() + "\n");
}

struct SFailedPackage
{
    const char *name;
    QList<QPair<QString, QString>> publish; // besides version 1.2.0.10
    bool cancel;
    EUpdateStepResult result;
    // The second message: a reported fault (with this text) or 18191.
    const char *faultText;
};

class FailedPackage : public AutoUpdate, public ::testing::WithParamInterface<SFailedPackage>
{};

TEST_P(FailedPackage, NothingIsStartedAndTheStepSaysHowToGoOn)
{
    const SFailedPackage &c = GetParam();
    QList<QPair<QString, QString>> publish{{"version", "1.2.0.10"},
                                           {"content", QString::fromUtf8(RecordingInstaller())}};
    publish += c.publish;
    Publish(publish);
    CancelTheDownload progress;

    EXPECT_EQ(RunUpdateStep(main(), c.cancel ? &progress : nullptr), c.result);
    ASSERT_EQ(messages.size(), 2) << messages.join(u'\n').toStdString();
    EXPECT_EQ(messages[0], LoadString(18189).replace(u"%s"_qs, u"1.2.0.10"_qs));
    if (c.faultText)
        EXPECT_TRUE(messages[1].contains(QString::fromUtf8(c.faultText)))
            << messages[1].toStdString();
    else
        EXPECT_EQ(messages[1], LoadString(18191));

    // Nothing in the setup folder or next to it, nothing ran.
    EXPECT_EQ(Listing(Setup()), QStringList{});
    EXPECT_FALSE(QFileInfo::exists(Setup() + u"/../x"_qs));
    QThread::msleep(200);
    EXPECT_FALSE(QFile::exists(argsFile));
}

INSTANTIATE_TEST_SUITE_P(
    Packages, FailedPackage,
    ::testing::Values(
        // The running version serves on after a reported fault.
        SFailedPackage{"WrongDigest",
                       {{"fileName", "setup.sh"}, {"digest", QString(32, u'0')}},
                       false,
                       EUpdateStepResult::Continue,
                       "00002"},
        // An answer that announces no digest gives nothing to check the package against.
        SFailedPackage{"NoDigest",
                       {{"fileName", "setup.sh"}, {"omit", "fileDigest"}},
                       false,
                       EUpdateStepResult::Continue,
                       "00002"},
        SFailedPackage{"EmptyDigest",
                       {{"fileName", "setup.sh"}, {"digest", ""}},
                       false,
                       EUpdateStepResult::Continue,
                       "00002"},
        SFailedPackage{"NameLeavesTheFolder",
                       {{"fileName", "../x"}},
                       false,
                       EUpdateStepResult::Continue,
                       "123"},
        SFailedPackage{"NameWithSeparator",
                       {{"fileName", "a/setup.sh"}},
                       false,
                       EUpdateStepResult::Continue,
                       "123"},
        // Not installed without a fault: the sign-in stops with 18191.
        SFailedPackage{"Cancelled",
                       {{"fileName", "setup.sh"}, {"size", "8000000"}},
                       true,
                       EUpdateStepResult::Stop,
                       nullptr}),
    [](const ::testing::TestParamInfo<SFailedPackage> &info) { return info.param.name; });

TEST_F(AutoUpdate, APackageThatCannotBeExecutedStopsTheSignIn)
{
    // Not a program of any kind: stored, but never started.
    Publish({{"version", "1.2.0.10"}, {"fileName", "setup.exe"}, {"content", "MZ not for here"}});
    EXPECT_EQ(RunUpdateStep(main()), EUpdateStepResult::Stop);
    EXPECT_EQ(messages, (QStringList{LoadString(18189).replace(u"%s"_qs, u"1.2.0.10"_qs),
                                     LoadString(18191)}));
}

TEST_F(AutoUpdate, AFailedCheckStopsWithItsFaultOnly)
{
    Publish({{"version", "1.2.0.10"}, {"content", RecordingInstaller()}});
    ASSERT_EQ(server->hookStatus(QStringLiteral("fail"), {{"op", "autoupdate/version"},
                                                          {"mode", "fault"},
                                                          {"code", "99999"},
                                                          {"message", "版の確認に失敗"}}),
              200);
    EXPECT_EQ(RunUpdateStep(main()), EUpdateStepResult::Stop);
    ASSERT_EQ(messages.size(), 1) << messages.join(u'\n').toStdString();
    EXPECT_TRUE(messages[0].contains(u"版の確認に失敗"_qs)) << messages[0].toStdString();
    EXPECT_EQ(server->callCount(QStringLiteral("autoupdate/get")), 0);
}

// --- The check of the version dialog and before a bulk download -------------------------

struct SCheckCase
{
    const char *service;
    EUpdateCheckResult result;
};

class NewerVersionCheck : public AutoUpdate, public ::testing::WithParamInterface<SCheckCase>
{};

TEST_P(NewerVersionCheck, ShowsTheVersionOnlyWhenNewer)
{
    Publish({{"version", GetParam().service}});
    CBizProgressHandler progress;
    EXPECT_EQ(CheckForNewerVersion(main(), &progress), GetParam().result);
    EXPECT_EQ(progress.text(), u"更新プログラムをチェックしています..."_qs);
    if (GetParam().result == EUpdateCheckResult::NewerFound)
        EXPECT_EQ(messages, QStringList{LoadString(18362).replace(
                                u"%s"_qs, QString::fromLatin1(GetParam().service))});
    else
        EXPECT_TRUE(messages.isEmpty());
    EXPECT_EQ(server->callCount(QStringLiteral("autoupdate/get")), 0) << "nothing downloaded";
}

INSTANTIATE_TEST_SUITE_P(Check, NewerVersionCheck,
                         ::testing::Values(SCheckCase{"1.2.0.9", EUpdateCheckResult::UpToDate},
                                           SCheckCase{"1.2.0.10", EUpdateCheckResult::NewerFound},
                                           SCheckCase{"3.0.0.0", EUpdateCheckResult::NewerFound}));

// --- Notices ----------------------------------------------------------------------------

class Notices : public AutoUpdate
{
protected:
    CInformationManager &counters() const { return *shared()->information(); }
    void Refresh() { ASSERT_TRUE(shared()->OpenFolder(false, false, 0)); }
    QList<qint32> Counts() const
    {
        return {counters().allInformationCount(), counters().unreadInformationCount(),
                counters().unreadPopupInformationCount()};
    }
};

TEST_F(Notices, EveryRefreshCountsTheNotices)
{
    EXPECT_EQ(Counts(), (QList<qint32>{0, 0, 0})) << "nothing before the first refresh";
    Refresh();
    const QList<qint32> before = Counts();
    ASSERT_EQ(server->hookStatus(QStringLiteral("notice"), {{"title", "定期"}}), 200);
    ASSERT_EQ(server->hookStatus(QStringLiteral("notice"), {{"title", "重要"}, {"popup", "1"}}),
              200);
    Refresh();
    EXPECT_EQ(Counts(), (QList<qint32>{before[0] + 2, before[1] + 2, before[2] + 1}));
    EXPECT_GE(server->callCount(QStringLiteral("information/count")), 2);
}

class FailingCount : public Notices, public ::testing::WithParamInterface<const char *>
{};

TEST_P(FailingCount, KeepsThePreviousCounters)
{
    ASSERT_EQ(server->hookStatus(QStringLiteral("notice"), {{"title", "重要"}, {"popup", "1"}}),
              200);
    Refresh();
    const QList<qint32> before = Counts();
    ASSERT_GE(before[2], 1);
    ASSERT_EQ(server->hookStatus(QStringLiteral("notice"), {{"title", "次"}, {"popup", "1"}}), 200);
    ASSERT_EQ(server->hookStatus(QStringLiteral("fail"), {{"op", "information/count"},
                                                          {"mode", GetParam()},
                                                          {"code", "99999"},
                                                          {"status", "500"}}),
              200);

    // The folder still opens; the counters stay as they were.
    Refresh();
    EXPECT_EQ(Counts(), before);
    EXPECT_TRUE(messages.isEmpty()) << messages.join(u'\n').toStdString();
    // The next refresh counts again.
    Refresh();
    EXPECT_EQ(Counts(), (QList<qint32>{before[0] + 1, before[1] + 1, before[2] + 1}));
}

INSTANTIATE_TEST_SUITE_P(Modes, FailingCount, ::testing::Values("fault", "noelement", "empty"));
