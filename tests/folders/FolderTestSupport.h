#pragma once

// Helpers of the folder tests: a temporary installation with a current login, a signed-in
// session against the devserver, folder records built from short chains, the XML of folder
// answers (for the answers the service never sends, served by CannedServer) and a progress
// handler that cancels on cue.

#include "support/CannedServer.h"
#include "support/DevServer.h"
#include "support/Files.h"
#include "support/TempInstallation.h"

#include "account/LoginManager.h"
#include "account/LoginRecord.h"
#include "core/BizProgress.h"
#include "folders/LocalWorkspaceManager.h"
#include "folders/SharedWorkspaceManager.h"
#include "folders/WorkspaceRecord.h"

#include <QByteArray>
#include <QDir>

#include <functional>
#include <memory>

namespace FolderTest {

// A record for the chain "id:name/id:name/..." (top level first).
inline std::unique_ptr<CWorkspaceRecord> Folder(const QList<qint32> &ids, const QStringList &names)
{
    return std::make_unique<CWorkspaceRecord>(ids, names, false);
}

// A temporary installation of the no-UI layout with a login manager whose current login is
// demo/yamada, so the login's store is <installation>/vqrdata/demo/yamada.
class Installation : public InstallationTest<>
{
protected:
    void SetUp() override
    {
        InstallationTest::SetUp();
        QDir().mkpath(installation.dataFolder());
        login = std::make_unique<CLoginManager>();
        m_record = std::make_unique<CLoginRecord>(QStringLiteral("demo"), QStringLiteral("yamada"),
                                                  QString());
        login->SelectCurrent(m_record.get(), false);
    }
    void TearDown() override { login.reset(); }

    // The temporary folder holding the installation and HOME.
    QString dir() const { return installation.root(); }
    // The login's store (folder root of the local mirror).
    QString store() const { return installation.dataFolder() + QStringLiteral("/demo/yamada"); }
    // Makes a directory below the store and answers its path.
    QString MakeDir(const QString &relative)
    {
        const QString path = store() + u'/' + relative;
        EXPECT_TRUE(QDir().mkpath(path)) << qPrintable(path);
        return path;
    }

    std::unique_ptr<CLoginManager> login;

private:
    std::unique_ptr<CLoginRecord> m_record;
};

// The folder managers of a signed-in session against a devserver with the demo office:
// yamada signed in, the local mirror prepared as the online main window prepares it.
class SignedInFolders : public InstallationTest<>
{
protected:
    // The devserver's arguments: a fixture that needs another seed says so here.
    virtual QStringList ServerArgs() const { return DevServer::DemoArgs(); }
    void SetUp() override
    {
        InstallationTest::SetUp();
        server = DevServer::StartFor(installation, ServerArgs());
        ASSERT_TRUE(server);
        login = std::make_unique<CLoginManager>();
        ASSERT_TRUE(login->LoadSavedLogins());
        ASSERT_TRUE(login->SignIn(QStringLiteral("demo"), QStringLiteral("yamada"),
                                  QStringLiteral("yamada-pass"), false));
        local = std::make_unique<CLocalWorkspaceManager>(login.get());
        shared = std::make_unique<CSharedWorkspaceManager>(login.get(), local.get());
        local->AttachShared(shared.get());
        // What the online main window does when it starts.
        if (local->NeedsConversion()) {
            ASSERT_TRUE(local->ConvertLayout());
        }
        ASSERT_TRUE(local->WriteVersion());
        ASSERT_TRUE(local->Load());
    }
    void TearDown() override
    {
        shared.reset();
        local.reset();
        login.reset();
        server.reset();
    }

    // The login's store (folder root of the local mirror).
    QString store() const { return installation.dataFolder() + QStringLiteral("/demo/yamada"); }
    qint32 Id(const char *path) const { return server->folderId(QString::fromUtf8(path)); }
    QString LocalDir(qint32 id) { return local->LocalFolderPath(local->FindById(id)); }
    // Mirrors every folder of the service tree, as browsing them all would.
    void MirrorAll()
    {
        for (const CWorkspaceRecord *r : shared->list())
            ASSERT_NE(local->FindById(r->id), nullptr) << qPrintable(r->DisplayPath());
    }

    std::unique_ptr<DevServer> server;
    std::unique_ptr<CLoginManager> login;
    std::unique_ptr<CLocalWorkspaceManager> local;
    std::unique_ptr<CSharedWorkspaceManager> shared;
};

// Cancels (as the user's cancel button would) at the n-th poll after armed() turns true.
class CancelOnCue : public CBizProgressHandler
{
public:
    CancelOnCue(std::function<bool()> armed, int afterPolls)
        : m_armed(std::move(armed))
        , m_after(afterPolls)
    {}
    int polls() const { return m_polls; }

protected:
    bool IsContinue() override
    {
        if (m_armed && m_armed() && ++m_polls >= m_after && !isCancelled())
            Cancel(-1);
        return !isCancelled();
    }

private:
    std::function<bool()> m_armed;
    int m_after;
    int m_polls = 0;
};

// The XML of one "workspace" element with the children in the service's order.
inline QByteArray WorkspaceXml(qint32 id, const QString &name, const QList<qint32> &parents,
                               bool readOnly = false, const QString &skip = {})
{
    auto el = [&](const char *tag, const QByteArray &value) -> QByteArray {
        if (skip == QLatin1String(tag))
            return {};
        return QByteArray("<") + tag + ">" + value + "</" + tag + ">";
    };
    QByteArray parentsXml;
    for (qint32 p : parents)
        parentsXml += "<parent><id>" + QByteArray::number(p) + "</id></parent>";
    return "<workspace>" + el("comment", "c") + el("folderStyle", "0")
           + el("id", QByteArray::number(id)) + el("isDataBox", "false") + el("isFavorite", "false")
           + el("name", name.toUtf8()) + el("parents", parentsXml)
           + el("readOnly", readOnly ? "true" : "false") + el("updateName", "山田")
           + el("updateTime", "2024/05/01 10:00:00") + "</workspace>";
}

inline QByteArray ListAnswer(const QList<QByteArray> &workspaces)
{
    QByteArray body
        = "<?xml version=\"1.0\" encoding=\"UTF-8\"?><velquor><listResponse><workspaces>";
    for (const QByteArray &w : workspaces)
        body += w;
    return body + "</workspaces></listResponse></velquor>";
}

} // namespace FolderTest
