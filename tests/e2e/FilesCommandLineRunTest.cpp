// CExeCmdManager in this process (also under the sanitizers, where the program itself is not
// built): the walk, its pacing, and what each failure leaves behind.
#include "support/DevServer.h"
#include "support/Files.h"
#include "support/TempInstallation.h"

#include "account/LoginManager.h"
#include "app/ExeCmdManager.h"
#include "core/BizException.h"
#include "core/Paths.h"
#include "files/FileRecord.h"
#include "service/RequestException.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

namespace {

const QString kMonth = QStringLiteral("経理/2024/01月");

// Records the pauses instead of waiting; can act before a given file.
class CRecordingExeCmd : public CExeCmdManager
{
public:
    using CExeCmdManager::CExeCmdManager;
    std::function<void(int index, const CSharedFileRecord &)> beforeFile;
    QList<int> pauses;
    int files = 0;

protected:
    bool DownloadFile(qint32 folderId, const CSharedFileRecord &record,
                      const QString &destination) override
    {
        if (beforeFile)
            beforeFile(files, record);
        ++files;
        return CExeCmdManager::DownloadFile(folderId, record, destination);
    }
    void PauseAfterFile(int ms) override { pauses << ms; }
};

class FilesCommandLineRunTest : public InstallationTest<TempInstallation::Base::ExecutableFolder>
{
protected:
    void SetUp() override
    {
        InstallationTest::SetUp();
        m_server = DevServer::StartFor(installation);
        ASSERT_TRUE(m_server);
        ASSERT_TRUE(QDir().mkpath(dest()));
    }
    QString dest() const { return installation.path(QStringLiteral("dest")); }
    QStringList arrived() const { return QDir(dest()).entryList(QDir::Files | QDir::Hidden); }

    std::unique_ptr<DevServer> m_server;
};

} // namespace

TEST_F(FilesCommandLineRunTest, PausesAfterEveryFileAndSignsOut)
{
    CRecordingExeCmd run(QStringLiteral("demo"), QStringLiteral("yamada"),
                         QStringLiteral("yamada-pass"));
    ASSERT_TRUE(run.RunDownload(kMonth, dest()));
    EXPECT_EQ(run.downloadedCount(), 3);
    EXPECT_EQ(run.pauses, (QList<int>{1000, 1000, 1000}));
    EXPECT_EQ(arrived().size(), 3);
    EXPECT_FALSE(run.loginManager().IsSignedIn());
    EXPECT_EQ(m_server->callCount(QStringLiteral("logout")), 1);
    // Its own sign-in saved nothing secret: the password is not kept.
    EXPECT_TRUE(run.loginManager().password().isEmpty());
}

TEST_F(FilesCommandLineRunTest, GoneFileStopsAfterTheFirstPause)
{
    CRecordingExeCmd run(QStringLiteral("demo"), QStringLiteral("yamada"),
                         QStringLiteral("yamada-pass"));
    run.beforeFile = [this](int index, const CSharedFileRecord &record) {
        if (index == 1)
            m_server->hook(QStringLiteral("file/delete"), {{QStringLiteral("folderPath"), kMonth},
                                                           {QStringLiteral("path"), record.path}});
    };
    EXPECT_FALSE(run.RunDownload(kMonth, dest()));
    EXPECT_EQ(run.downloadedCount(), 1);
    EXPECT_EQ(run.pauses, QList<int>{1000});
    EXPECT_EQ(arrived().size(), 1);
    EXPECT_EQ(m_server->callCount(QStringLiteral("logout")), 1);
}

TEST_F(FilesCommandLineRunTest, FailuresComeOutAsExceptionsAfterTheSignOut)
{
    // The names of the folder, from a run that works.
    QString name;
    {
        CRecordingExeCmd probe(QStringLiteral("demo"), QStringLiteral("yamada"),
                               QStringLiteral("yamada-pass"));
        ASSERT_TRUE(probe.RunDownload(kMonth, dest()));
        ASSERT_FALSE(arrived().isEmpty());
        name = u'/' + arrived().constFirst();
        for (const QString &f : arrived())
            QFile::remove(dest() + u'/' + f);
    }
    struct SCase
    {
        const char *name;
        std::function<void()> prepare;
        QString destination;
        qint32 code;
    };
    const SCase cases[] = {
        {"digest",
         [this, name] {
             m_server->hook(
                 QStringLiteral("file/wrongdigest"),
                 {{QStringLiteral("folderPath"), kMonth}, {QStringLiteral("path"), name}});
         },
         dest(), qint32(0x20000000 | 3)},
        {"hostile name",
         [this, name] {
             m_server->hook(QStringLiteral("file/wrongdigest"),
                            {{QStringLiteral("folderPath"), kMonth},
                             {QStringLiteral("path"), name},
                             {QStringLiteral("clear"), QStringLiteral("1")}});
             m_server->hook(QStringLiteral("file/rename"),
                            {{QStringLiteral("folderPath"), kMonth},
                             {QStringLiteral("path"), name},
                             {QStringLiteral("name"), QStringLiteral("a\\..\\..\\b.txt")}});
         },
         dest(), 123},
        {"missing destination", [] {}, installation.root() + QStringLiteral("/missing"), 3},
    };
    for (const SCase &c : cases) {
        SCOPED_TRACE(c.name);
        c.prepare();
        m_server->clearRequestLog();
        CRecordingExeCmd run(QStringLiteral("demo"), QStringLiteral("yamada"),
                             QStringLiteral("yamada-pass"));
        CExceptHandler handler;
        try {
            run.RunDownload(kMonth, c.destination);
            ADD_FAILURE() << "no exception";
        } catch (const CBizException &e) {
            handler.Set(e);
        }
        EXPECT_EQ(handler.Code(), c.code);
        EXPECT_FALSE(run.loginManager().IsSignedIn());
        EXPECT_EQ(m_server->callCount(QStringLiteral("logout")), 1);
        for (const QString &name : arrived())
            EXPECT_FALSE(name.endsWith(QStringLiteral(".vqrtmp"))) << name.toStdString();
        EXPECT_FALSE(QFile::exists(installation.root() + QStringLiteral("/b.txt")));
    }
}

TEST_F(FilesCommandLineRunTest, EmptyValuesAnswerFalseWithoutARequest)
{
    CRecordingExeCmd run(QStringLiteral("demo"), QStringLiteral("yamada"), QString());
    EXPECT_FALSE(run.RunDownload(kMonth, dest()));
    EXPECT_EQ(m_server->callCount(QStringLiteral("login")), 0);
    EXPECT_TRUE(arrived().isEmpty());
}
