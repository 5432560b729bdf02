#pragma once

// A signed-in online session of the program's own system objects against a devserver with
// the demo office: yamada signed in as the sign-in window does it, the folder tree and the
// file types loaded, the cache view attached.

#include "support/DevServer.h"
#include "support/Files.h"
#include "support/TempInstallation.h"

#include "account/AccountRequests.h"
#include "account/LoginManager.h"
#include "app/SharedGuiSystem.h"
#include "app/System.h"
#include "files/FileTypeManager.h"
#include "files/LocalFileManager.h"
#include "files/SharedFileManager.h"
#include "folders/LocalWorkspaceManager.h"
#include "folders/SharedWorkspaceManager.h"

#include <gtest/gtest.h>

#include <memory>

class SignedInSession : public InstallationTest<>
{
protected:
    virtual QStringList ServerArgs() const { return DevServer::DemoArgs(); }
    // What the desktop must look like before the program starts (applications, settings).
    virtual void BeforeSignIn() {}
    void SetUp() override
    {
        InstallationTest::SetUp();
        BeforeSignIn();
        if (HasFatalFailure())
            return;
        server = DevServer::StartFor(installation, ServerArgs());
        ASSERT_TRUE(server);
        SignIn();
    }
    void TearDown() override { systems.reset(); }

    // A program start followed by an online sign-in (a demo user whose password is the
    // login ID + "-pass"), as the sign-in window runs it: the tree and the types loaded,
    // the cache view attached.
    void SignIn(const QString &loginId = QStringLiteral("yamada"))
    {
        systems.reset();
        systems = std::make_unique<CSystemObjects>();
        ASSERT_TRUE(systems->main()->StartReportingErrors());
        ASSERT_TRUE(login()->SignIn(QStringLiteral("demo"), loginId,
                                    loginId + QStringLiteral("-pass"), true));
        // Saved as the sign-in window saves it: the next start is the same installation's
        // client, whose key the service's locks carry.
        ASSERT_TRUE(login()->SaveSavedLogins());
        ASSERT_TRUE(shared()->Start());
        systems->local()->AttachShared(shared());
        ASSERT_TRUE(shared()->sharedWorkspaces()->Load());
        ASSERT_TRUE(shared()->sharedFileTypes()->Load());
    }
    CLoginManager *login() const { return systems->main()->loginManager(); }
    CSharedSystem *shared() const { return systems->shared(); }
    CSharedGuiSystem *gui() const { return systems->sharedGui(); }
    CSharedFileManager *files() const { return systems->shared()->sharedFiles(); }
    CLocalFileManager *cache() const { return systems->local()->localFiles(); }
    qint32 Id(const QString &path) const { return server->folderId(path); }

    // A page of the folder (the folder id may change: a folder gone goes to the root).
    bool Page(qint32 &folderId, qint32 pageSize = 500, qint32 offset = 0)
    {
        SFilePageQuery query;
        query.folderId = folderId;
        query.pageSize = pageSize;
        query.offset = offset;
        const bool ok = files()->LoadPage(query);
        folderId = query.folderId;
        return ok;
    }
    // The cache view follows the folder: its scan compares with the page's records.
    void Follow(qint32 folderId) { ASSERT_TRUE(shared()->AttachShared(folderId)); }
    CSharedFileRecord *Entry(qint32 folderId, const QString &path) const
    {
        return dynamic_cast<CSharedFileRecord *>(files()->list().Find(folderId, path));
    }
    QStringList EntryNames() const
    {
        QStringList names;
        for (const CFileRecord *r : files()->list())
            names << (r->IsFolderEntry() ? u'[' + r->folderItem->name + u']' : r->FileName());
        return names;
    }
    // An access key of another user (suzuki), for changes behind yamada's back.
    QString OtherUsersKey() const
    {
        CRegisterRequest registration(QStringLiteral("demo"), QStringLiteral("suzuki"));
        EXPECT_TRUE(registration.ExecutePost());
        CLoginRequest other(registration.clientKey(), QStringLiteral("suzuki-pass"), nullptr);
        EXPECT_TRUE(other.ExecutePost());
        return other.accessKey();
    }

    std::unique_ptr<DevServer> server;
    std::unique_ptr<CSystemObjects> systems;
};
