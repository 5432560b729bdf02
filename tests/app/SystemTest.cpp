#include "AppFixture.h"

#include "account/AutoUpdateManager.h"
#include "account/InformationManager.h"
#include "account/LoginManager.h"
#include "app/LogManager.h"
#include "app/System.h"
#include "bulk/BulkDownloadManager.h"
#include "core/BizException.h"
#include "core/BizProgress.h"
#include "core/Messages.h"
#include "core/Paths.h"
#include "files/FileCommentManager.h"
#include "files/FileTypeManager.h"
#include "files/LocalFileManager.h"
#include "files/SharedFileManager.h"
#include "folders/LocalWorkspaceManager.h"
#include "folders/SharedWorkspaceManager.h"
#include "store/Archive.h"

#include <QFileInfo>

#include <gtest/gtest.h>

namespace {

// A manager that writes its building and deletion into a shared log.
class CProbeManager : public CManager
{
public:
    CProbeManager(QString name, QStringList *log)
        : m_name(std::move(name))
        , m_log(log)
    {
        m_log->append(u"build " + m_name);
    }
    ~CProbeManager() override { m_log->append(u"delete " + m_name); }

private:
    QString m_name;
    QStringList *m_log;
};

class CProbeInstanceManager : public CInstanceManager
{
public:
    explicit CProbeInstanceManager(QStringList *log)
        : m_log(log)
    {
        m_log->append(u"build instance"_qs);
    }
    ~CProbeInstanceManager() override { m_log->append(u"delete instance"_qs); }

private:
    QStringList *m_log;
};

SManagerFactory ProbeFactory(QStringList *log)
{
    auto maker = [log](const char *name) {
        return [log, name](CSystem &) -> std::unique_ptr<CManager> {
            return std::make_unique<CProbeManager>(QString::fromLatin1(name), log);
        };
    };
    SManagerFactory f;
    f.instance = [log] { return std::make_unique<CProbeInstanceManager>(log); };
    f.login = [log](CLoginManager *&) -> std::unique_ptr<CManager> {
        return std::make_unique<CProbeManager>(u"login"_qs, log);
    };
    f.autoUpdate = maker("autoUpdate");
    f.bulkDownload = maker("bulkDownload");
    f.errorLog = maker("errorLog");
    f.localFolders = maker("localFolders");
    f.localFileTypes = maker("localFileTypes");
    f.localComments = maker("localComments");
    f.localFiles = maker("localFiles");
    f.sharedFolders = maker("sharedFolders");
    f.sharedFileTypes = maker("sharedFileTypes");
    f.sharedComments = maker("sharedComments");
    f.sharedFiles = maker("sharedFiles");
    f.notices = maker("notices");
    return f;
}

TEST(SystemObjectsTest, BuildAndTeardownOrder)
{
    QStringList log;
    {
        CSystemObjects systems(ProbeFactory(&log));
        EXPECT_EQ(log, (QStringList{u"build instance"_qs, u"build login"_qs, u"build autoUpdate"_qs,
                                    u"build bulkDownload"_qs, u"build errorLog"_qs,
                                    u"build localFolders"_qs, u"build localFileTypes"_qs,
                                    u"build localComments"_qs, u"build localFiles"_qs,
                                    u"build sharedFolders"_qs, u"build sharedFileTypes"_qs,
                                    u"build sharedComments"_qs, u"build sharedFiles"_qs,
                                    u"build notices"_qs}));
        // Cross references.
        EXPECT_EQ(systems.shared()->localSystem(), systems.local());
        EXPECT_EQ(systems.shared()->mainSystem(), systems.main());
        EXPECT_EQ(systems.local()->mainSystem(), systems.main());
        EXPECT_EQ(systems.local()->logManager(), systems.main()->logManager());
        EXPECT_NE(systems.shared()->logManager(), nullptr);
        // Every manager starts without a progress handler.
        EXPECT_EQ(systems.shared()->fileManager()->progress(), nullptr);
        log.clear();
    }
    // Shared, then local, then main; within each, dependents before what they refer to.
    EXPECT_EQ(log, (QStringList{u"delete notices"_qs, u"delete sharedFiles"_qs,
                                u"delete sharedComments"_qs, u"delete sharedFileTypes"_qs,
                                u"delete sharedFolders"_qs, u"delete localFiles"_qs,
                                u"delete localComments"_qs, u"delete localFileTypes"_qs,
                                u"delete localFolders"_qs, u"delete errorLog"_qs,
                                u"delete bulkDownload"_qs, u"delete autoUpdate"_qs,
                                u"delete login"_qs, u"delete instance"_qs}));
}

TEST(SystemObjectsTest, FailedBuildDestroysWhatWasBuilt)
{
    QStringList log;
    SManagerFactory f = ProbeFactory(&log);
    f.bulkDownload = [](CSystem &) -> std::unique_ptr<CManager> { throw std::bad_alloc(); };
    EXPECT_THROW(CMainSystem main(f), std::bad_alloc);
    // Everything built before the failure is gone again.
    EXPECT_EQ(log.filter(u"build"_qs).size(), log.filter(u"delete"_qs).size());
    EXPECT_TRUE(log.contains(u"delete login"_qs));
    EXPECT_TRUE(log.contains(u"delete instance"_qs));
}

// The default factory with a temporary installation: the real managers of this build.
class DefaultSystemsTest : public AppFixture
{
protected:
    // logins.vqr as an earlier run left it: two saved logins.
    QByteArray SavedLoginsBytes(CLoginList &list)
    {
        list.Add(CLoginRecord::MakeKey(u"demo"_qs, u"yamada"_qs),
                 std::make_unique<CLoginRecord>(u"demo"_qs, u"yamada"_qs, u"ck-yamada"_qs));
        list.Add(CLoginRecord::MakeKey(u"demo"_qs, u"suzuki"_qs),
                 std::make_unique<CLoginRecord>(u"demo"_qs, u"suzuki"_qs, u"ck-suzuki"_qs));
        CBizArchiveWriter ar;
        list.Serialize(ar);
        return ar.data();
    }
};

TEST_F(DefaultSystemsTest, BuildsTheManagersThatExistAndWiresThem)
{
    CSystemObjects systems;
    CMainSystem *main = systems.main();
    CLocalSystem *local = systems.local();
    CSharedSystem *shared = systems.shared();
    CLoginManager *login = main->loginManager();
    ASSERT_NE(login, nullptr);
    EXPECT_EQ(main->loginManagerSlot(), static_cast<CManager *>(login));
    EXPECT_NE(main->instanceManager(), nullptr);
    EXPECT_EQ(local->loginManager(), login);
    EXPECT_EQ(shared->loginManager(), login);

    ASSERT_NE(local->localWorkspaces(), nullptr);
    ASSERT_NE(local->localFileTypes(), nullptr);
    ASSERT_NE(shared->sharedWorkspaces(), nullptr);
    ASSERT_NE(shared->sharedFileTypes(), nullptr);
    EXPECT_EQ(local->localWorkspaces()->loginManager(), login);
    EXPECT_EQ(local->localFileTypes()->loginManager(), login);
    EXPECT_EQ(shared->sharedWorkspaces()->loginManager(), login);
    EXPECT_EQ(shared->sharedFileTypes()->loginManager(), login);
    // Service changes reach the cache's folder tree.
    EXPECT_EQ(shared->sharedWorkspaces()->mirror(), local->localWorkspaces());
    // The file managers: the cache on the mirror and the cached types, the service's list on
    // the service's tree and types, with the cache beside it.
    ASSERT_NE(local->localFiles(), nullptr);
    ASSERT_NE(shared->sharedFiles(), nullptr);
    EXPECT_EQ(local->localFiles()->folders(), local->localWorkspaces());
    EXPECT_EQ(local->localFiles()->fileTypes(), local->localFileTypes());
    EXPECT_EQ(shared->sharedFiles()->folders(), shared->sharedWorkspaces());
    EXPECT_EQ(shared->sharedFiles()->fileTypes(), shared->sharedFileTypes());
    EXPECT_EQ(shared->sharedFiles()->local(), local->localFiles());
    EXPECT_EQ(shared->sharedFiles()->loginManager(), login);

    // The error log works for the one login manager.
    ASSERT_NE(main->errorLog(), nullptr);
    EXPECT_EQ(main->errorLog()->loginManager(), login);
    EXPECT_EQ(shared->logManager(), main->logManager());

    // The update and the bulk download work for the one login manager.
    ASSERT_NE(main->autoUpdate(), nullptr);
    EXPECT_EQ(main->autoUpdate()->loginManager(), login);
    ASSERT_NE(main->bulkDownload(), nullptr);
    EXPECT_EQ(main->bulkDownload()->loginManager(), login);
    // The online comment manager registers the edits the local one keeps.
    ASSERT_NE(shared->sharedComments(), nullptr);
    EXPECT_EQ(shared->sharedComments()->local(), local->localComments());
    EXPECT_EQ(shared->sharedFiles()->comments(), shared->sharedComments());
    ASSERT_NE(shared->information(), nullptr);
    EXPECT_EQ(shared->information()->loginManager(), login);

    local->AttachShared(shared);
    EXPECT_EQ(local->sharedSystem(), shared);
    EXPECT_EQ(local->localWorkspaces()->shared(), shared->sharedWorkspaces());
    EXPECT_EQ(local->localFiles()->shared(), shared->sharedFiles());

    // A first run without a sign-in: nothing saved yet, every step succeeds, nothing is
    // shown and no type cache appears.
    EXPECT_TRUE(main->StartReportingErrors());
    EXPECT_TRUE(local->Start());
    EXPECT_TRUE(shared->Start());
    EXPECT_TRUE(shared->Finish());
    EXPECT_TRUE(messages.isEmpty()) << messages.front().toStdString();
    EXPECT_EQ(login->savedLogins().GetCount(), 0);
    EXPECT_TRUE(QDir(DataPath()).entryList({u"fileTypes.vqr"_qs}, QDir::Files).isEmpty());
}

TEST_F(DefaultSystemsTest, SharedTeardownDetachesTheLocalSystem)
{
    CMainSystem main;
    CLocalSystem local(&main);
    auto shared = std::make_unique<CSharedSystem>(&main, &local);
    local.AttachShared(shared.get());
    shared.reset();
    // The local system lives on: no pointer into the deleted shared system may remain.
    EXPECT_EQ(local.sharedSystem(), nullptr);
    EXPECT_EQ(local.localWorkspaces()->shared(), nullptr);
}

TEST_F(DefaultSystemsTest, MainStartLoadsTheSavedLoginsWrittenBefore)
{
    CLoginList written;
    SaveArchiveFile(CLoginManager::LoginsFilePath(), SavedLoginsBytes(written));

    CMainSystem main;
    ASSERT_TRUE(main.StartReportingErrors());
    const CLoginManager &login = *main.loginManager();
    ASSERT_EQ(login.savedLogins().GetCount(), 2);
    for (const CLoginRecord *record : written) {
        const CLoginRecord *loaded = login.savedLogins().Lookup(record->Key());
        ASSERT_NE(loaded, nullptr) << record->Key().toStdString();
        EXPECT_EQ(loaded->clientKey, record->clientKey);
    }
    // The first saved login is the current one, ready for the sign-in window.
    ASSERT_NE(login.currentLogin(), nullptr);
    EXPECT_EQ(login.currentLogin()->Key(), written.GetHead()->Key());
    EXPECT_FALSE(login.IsSignedIn());
    EXPECT_TRUE(messages.isEmpty());
}

TEST_F(DefaultSystemsTest, DamagedSavedLoginsAreReportedOnceAndTheStartGoesOn)
{
    CLoginList written;
    const QByteArray bytes = SavedLoginsBytes(written);
    const QString path = CLoginManager::LoginsFilePath();
    SaveArchiveFile(path, bytes.left(bytes.size() - 3)); // the second record is cut

    CMainSystem main;
    EXPECT_TRUE(main.StartReportingErrors());
    ASSERT_EQ(messages.size(), 1);
    EXPECT_TRUE(messages[0].contains(u"logins.vqr"_qs)) << messages[0].toStdString();
    EXPECT_FALSE(QFileInfo::exists(path));
    // What was read before the damage is kept.
    ASSERT_EQ(main.loginManager()->savedLogins().GetCount(), 1);
    EXPECT_EQ(main.loginManager()->currentLogin()->Key(), written.GetHead()->Key());
}

// The shared system with its steps recorded and optionally failing, and two forwarding
// operations on the file manager of which one calls the other.
class CProbeSharedSystem : public CSharedSystem
{
public:
    using CSharedSystem::CSharedSystem;

    QStringList steps;
    QStringList failing;
    QStringList throwing;
    std::function<void(CManager &)> inner;

    void OuterOperation()
    {
        Forward(*fileManager(), [this](CManager &m) {
            InnerOperation();
            seenAfterInner = m.progress();
            depthAfterInner = m.attachDepth();
        });
    }
    void InnerOperation()
    {
        Forward(*fileManager(), [this](CManager &m) {
            depthInside = m.attachDepth();
            if (inner)
                inner(m);
        });
    }

    CBizProgressHandler *seenAfterInner = nullptr;
    int depthAfterInner = -1;
    int depthInside = -1;

protected:
    bool Step(const QString &name)
    {
        steps.append(name);
        if (throwing.contains(name))
            throw CBizFileException(CBizFileException::DiskFull, u"/x"_qs);
        return !failing.contains(name);
    }
    bool ReloadFileTypes() override { return Step(u"types"_qs); }
    bool ReloadFolders() override { return Step(u"folders"_qs); }
    bool LoadFileList(qint32 folderId, const SFileListPage &page) override
    {
        return Step(u"files %1 %2"_qs.arg(folderId).arg(page.page));
    }
    bool LoadPendingComments() override { return Step(u"loadComments"_qs); }
    bool SaveFileTypes() override { return Step(u"saveTypes"_qs); }
    bool SavePendingComments() override { return Step(u"saveComments"_qs); }
    bool AttachCommentEdits() override { return Step(u"attachEdits"_qs); }
    bool RefreshNoticeCount() override { return Step(u"notices"_qs); }
};

class CProbeLocalSystem : public CLocalSystem
{
public:
    using CLocalSystem::CLocalSystem;
    QStringList steps;
    bool startResult = true;

    bool Start() override
    {
        steps.append(u"start"_qs);
        return startResult;
    }
    void AttachShared(CSharedSystem *shared) override
    {
        steps.append(u"attach"_qs);
        CLocalSystem::AttachShared(shared);
    }

protected:
    bool ReloadFileTypes() override
    {
        steps.append(u"types"_qs);
        return true;
    }
    bool ReloadFolders() override
    {
        steps.append(u"folders"_qs);
        return true;
    }
    bool LoadFileList(qint32 folderId, const SFileListPage &) override
    {
        steps.append(u"files %1"_qs.arg(folderId));
        return true;
    }
};

class SharedSystemTest : public ::testing::Test
{
protected:
    QStringList log;
    SManagerFactory factory = ProbeFactory(&log);
    CMainSystem main{factory};
    CProbeLocalSystem local{&main, factory};
    CProbeSharedSystem shared{&main, &local, factory};
    CBizProgressHandler handler;
};

TEST_F(SharedSystemTest, OpenFolderRunsOnlyTheRequestedReloads)
{
    EXPECT_TRUE(shared.OpenFolder(false, false, 7, {2, 500}));
    EXPECT_EQ(shared.steps, (QStringList{u"files 7 2"_qs, u"attachEdits"_qs, u"notices"_qs}));
    shared.steps.clear();
    EXPECT_TRUE(shared.OpenFolder(true, true, 7));
    EXPECT_EQ(shared.steps, (QStringList{u"types"_qs, u"folders"_qs, u"files 7 1"_qs,
                                         u"attachEdits"_qs, u"notices"_qs}));
}

TEST_F(SharedSystemTest, OpenFolderStopsAtTheFirstFailure)
{
    shared.failing = {u"types"_qs};
    EXPECT_FALSE(shared.OpenFolder(true, true, 7));
    EXPECT_EQ(shared.steps, QStringList{u"types"_qs});
    shared.steps.clear();
    shared.failing = {u"files 7 1"_qs};
    EXPECT_FALSE(shared.OpenFolder(false, true, 7));
    EXPECT_EQ(shared.steps, (QStringList{u"folders"_qs, u"files 7 1"_qs}));
}

TEST_F(SharedSystemTest, FinishSavesCommentsEvenWhenTypesFail)
{
    shared.failing = {u"saveTypes"_qs};
    EXPECT_FALSE(shared.Finish());
    EXPECT_EQ(shared.steps, (QStringList{u"saveTypes"_qs, u"saveComments"_qs}));
    shared.steps.clear();
    // A save that raises still lets the comment edits be saved, then propagates.
    shared.failing.clear();
    shared.throwing = {u"saveTypes"_qs};
    EXPECT_THROW(shared.Finish(), CBizFileException);
    EXPECT_EQ(shared.steps, (QStringList{u"saveTypes"_qs, u"saveComments"_qs}));
    shared.throwing.clear();
    shared.steps.clear();
    shared.failing = {u"saveComments"_qs};
    EXPECT_FALSE(shared.Finish());
    shared.failing.clear();
    EXPECT_TRUE(shared.Finish());
    EXPECT_TRUE(shared.Start());
    EXPECT_EQ(shared.steps.last(), u"loadComments");
}

TEST_F(SharedSystemTest, AttachSharedStartsAndOpensTheLocalFolder)
{
    EXPECT_TRUE(shared.AttachShared(42));
    EXPECT_EQ(local.sharedSystem(), &shared);
    EXPECT_EQ(local.steps, (QStringList{u"attach"_qs, u"start"_qs, u"folders"_qs, u"files 42"_qs}));

    local.steps.clear();
    local.startResult = false;
    EXPECT_FALSE(shared.AttachShared(43));
    EXPECT_EQ(local.steps, (QStringList{u"attach"_qs, u"start"_qs}));
}

TEST_F(SharedSystemTest, NestedForwardKeepsTheHandlerUntilTheOuterCallEnds)
{
    CBizProgressAttach window(shared, &handler); // as the user-interface layer does
    shared.OuterOperation();
    EXPECT_EQ(shared.depthInside, 2);
    EXPECT_EQ(shared.seenAfterInner, &handler);
    EXPECT_EQ(shared.depthAfterInner, 1);
    EXPECT_EQ(shared.fileManager()->progress(), nullptr);
    EXPECT_EQ(shared.fileManager()->attachDepth(), 0);
    EXPECT_EQ(shared.progress(), &handler); // the system keeps the window's handler
}

TEST_F(SharedSystemTest, ExceptionInForwardedCallLeavesNoHandler)
{
    CBizProgressAttach window(shared, &handler);
    shared.inner = [](CManager &) { throw CBizArchiveException(CBizArchiveException::EndOfFile); };
    EXPECT_THROW(shared.OuterOperation(), CBizArchiveException);
    EXPECT_EQ(shared.fileManager()->progress(), nullptr);
    EXPECT_EQ(shared.fileManager()->attachDepth(), 0);
}

class CFailingMainSystem : public CMainSystem
{
public:
    using CMainSystem::CMainSystem;
    std::function<void()> failure;

protected:
    bool LoadSavedLogins() override
    {
        if (failure)
            failure();
        return true;
    }
};

TEST(MainSystemTest, StartReportsArchiveDamageAndGoesOn)
{
    TempInstallation installation;
    const QStringList &shown = installation.messages;
    CFailingMainSystem main(SManagerFactory{});
    main.failure = [] { throw CBizArchiveException(CBizArchiveException::EndOfFile); };
    EXPECT_TRUE(main.StartReportingErrors());
    ASSERT_EQ(shown.size(), 1);
    EXPECT_EQ(shown[0], LoadString(18331));

    installation.messages.clear();
    main.failure = [] { throw CBizFileException(CBizFileException::AccessDenied, u"/x"_qs); };
    EXPECT_FALSE(main.StartReportingErrors());
    ASSERT_EQ(shown.size(), 1);
    EXPECT_TRUE(shown[0].contains(u"ファイル関連"_qs)) << shown[0].toStdString();
}

TEST_F(SharedSystemTest, TerminateClearsTheMainSystemAttachment)
{
    main.Attach(&handler);
    main.Attach(&handler);
    main.Terminate();
    EXPECT_EQ(main.progress(), nullptr);
    EXPECT_EQ(main.attachDepth(), 0);
}

} // namespace
