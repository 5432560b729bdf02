// The system objects of the program with their real managers against the devserver: an
// online session that loads the file types saves them at its end, one whose reload failed
// leaves the cache of the previous session as it was.

#include "support/DevServer.h"
#include "support/Files.h"
#include "support/TempInstallation.h"

#include "account/LoginManager.h"
#include "app/System.h"
#include "core/BizException.h"
#include "core/Paths.h"
#include "files/FileTypeManager.h"
#include "files/SharedFileManager.h"
#include "folders/LocalWorkspaceManager.h"
#include "folders/SharedWorkspaceManager.h"

#include <QFileInfo>

#include <gtest/gtest.h>

namespace {

class SystemSession : public InstallationTest<>
{
protected:
    void SetUp() override
    {
        InstallationTest::SetUp();
        server = DevServer::StartFor(installation);
        ASSERT_TRUE(server);
        folder = server->folderId(QStringLiteral("経理/2024"));
        ASSERT_GT(folder, 0);
    }

    // A program start followed by an online sign-in, as the sign-in window runs it.
    std::unique_ptr<CSystemObjects> SignIn()
    {
        auto systems = std::make_unique<CSystemObjects>();
        EXPECT_TRUE(systems->main()->StartReportingErrors());
        CLoginManager *login = systems->main()->loginManager();
        EXPECT_TRUE(login->SignIn(QStringLiteral("demo"), QStringLiteral("yamada"),
                                  QStringLiteral("yamada-pass"), true));
        EXPECT_TRUE(login->SaveSavedLogins());
        EXPECT_TRUE(systems->shared()->Start());
        systems->local()->AttachShared(systems->shared());
        return systems;
    }
    static QString CacheFile(const CSystemObjects &systems)
    {
        return systems.main()->loginManager()->UserDataFile(QStringLiteral("fileTypes.vqr"));
    }

    std::unique_ptr<DevServer> server;
    qint32 folder = 0;
};

} // namespace

TEST_F(SystemSession, OnlineSessionSavesTheTypesItLoaded)
{
    auto systems = SignIn();
    ASSERT_FALSE(HasFailure());
    CSharedSystem *shared = systems->shared();
    CLocalSystem *local = systems->local();
    const QString cache = CacheFile(*systems);

    ASSERT_TRUE(shared->OpenFolder(true, true, folder));
    EXPECT_EQ(server->callCount(QStringLiteral("filetype/list")), 1);
    // The tree, then the subfolders of the folder's page.
    EXPECT_EQ(server->callCount(QStringLiteral("workspace/list")), 2);
    EXPECT_EQ(server->callCount(QStringLiteral("file/list")), 1);
    EXPECT_GT(shared->sharedFiles()->list().size(), 0);
    const qsizetype typeCount = shared->sharedFileTypes()->rawList().GetCount();
    ASSERT_GT(typeCount, 0);
    EXPECT_NE(shared->sharedWorkspaces()->FindById(folder), nullptr);
    // Nothing is written before the session ends.
    EXPECT_FALSE(QFileInfo::exists(cache));

    // The cache view follows the folder; before the first save it has no types, which does
    // not keep it from opening.
    ASSERT_TRUE(shared->AttachShared(folder));
    EXPECT_EQ(local->sharedSystem(), shared);
    EXPECT_EQ(local->localWorkspaces()->shared(), shared->sharedWorkspaces());
    EXPECT_EQ(local->localFileTypes()->rawList().GetCount(), 0);

    ASSERT_TRUE(shared->Finish());
    ASSERT_TRUE(QFileInfo::exists(cache));

    // The offline side reads back exactly what the service published.
    ASSERT_TRUE(local->Start());
    const CFileTypeList &cached = local->localFileTypes()->rawList();
    ASSERT_EQ(cached.GetCount(), typeCount);
    for (const CFileTypeRecord *t : shared->sharedFileTypes()->rawList()) {
        const CFileTypeRecord *c = cached.FindById(t->id);
        ASSERT_NE(c, nullptr);
        EXPECT_EQ(c->ext, t->ext);
        EXPECT_EQ(c->name, t->name);
    }
    EXPECT_TRUE(messages.isEmpty()) << messages.join(u'\n').toStdString();
}

// How the file type list request fails: an empty 500 answer (the load answers false) or a
// service fault (the load raises).
class FailedTypeReload : public SystemSession, public ::testing::WithParamInterface<const char *>
{};

TEST_P(FailedTypeReload, KeepsThePreviousCacheByteIdentical)
{
    QByteArray good;
    {
        auto first = SignIn();
        ASSERT_FALSE(HasFailure());
        ASSERT_TRUE(first->shared()->OpenFolder(true, false, folder));
        ASSERT_TRUE(first->shared()->Finish());
        good = ReadFile(CacheFile(*first));
    }
    ASSERT_FALSE(good.isEmpty());

    // The next run: the types load once, then a reload fails.
    auto systems = SignIn();
    ASSERT_FALSE(HasFailure());
    CSharedSystem *shared = systems->shared();
    ASSERT_TRUE(shared->OpenFolder(true, false, folder));
    const QString mode = QString::fromLatin1(GetParam());
    QList<QPair<QString, QString>> fail{{QStringLiteral("op"), QStringLiteral("filetype/list")},
                                        {QStringLiteral("mode"), mode}};
    if (mode == u"fault")
        fail.append({QStringLiteral("code"), QStringLiteral("10004")});
    else
        fail.append({QStringLiteral("status"), QStringLiteral("500")});
    server->hook(QStringLiteral("fail"), fail);
    server->clearRequestLog();

    bool opened = true;
    try {
        opened = shared->OpenFolder(true, true, folder);
    } catch (const CBizException &) {
        opened = false;
        // The attachment ends with the call.
        EXPECT_EQ(shared->sharedFileTypes()->progress(), nullptr);
        EXPECT_EQ(shared->sharedFileTypes()->attachDepth(), 0);
    }
    EXPECT_FALSE(opened);
    ASSERT_EQ(server->callCount(QStringLiteral("filetype/list")), 1);
    // The folder reload is not attempted after the failed type reload.
    EXPECT_EQ(server->callCount(QStringLiteral("workspace/list")), 0);
    EXPECT_EQ(shared->sharedFileTypes()->rawList().GetCount(), 0);

    EXPECT_TRUE(shared->Finish());
    EXPECT_EQ(ReadFile(CacheFile(*systems)), good);
    // The offline view still has the types of the last good session.
    ASSERT_TRUE(systems->local()->Start());
    EXPECT_GT(systems->local()->localFileTypes()->rawList().GetCount(), 0);
}

INSTANTIATE_TEST_SUITE_P(Modes, FailedTypeReload, ::testing::Values("empty", "fault"),
                         [](const auto &info) { return std::string(info.param); });
