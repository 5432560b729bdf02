#include "FilesServiceFixture.h"

#include "account/LoginManager.h"
#include "core/Messages.h"
#include "files/FileTypeManager.h"

#include <QFile>

namespace {

class FileTypeManagerTest : public FilesServiceFixture
{
protected:
    void SetUp() override
    {
        FilesServiceFixture::SetUp();
        if (HasFatalFailure())
            return;
        ASSERT_TRUE(m_login.LoadSavedLogins());
        ASSERT_TRUE(m_login.SignIn(QStringLiteral("demo"), QStringLiteral("yamada"),
                                   QStringLiteral("yamada-pass"), false));
    }
    QByteArray cacheBytes() const
    {
        return ReadFile(m_login.UserDataFile(QStringLiteral("fileTypes.vqr")));
    }

    CLoginManager m_login;
};

} // namespace

TEST_F(FileTypeManagerTest, OnlineLoadSavesAndOfflineReadsTheSameTypes)
{
    CSharedFileTypeManager online(&m_login);
    ASSERT_TRUE(online.Load());
    ASSERT_GT(online.rawList().GetCount(), 0);
    EXPECT_EQ(online.Count(), online.rawList().GetCount());
    const CFileTypeRecord *xlsx = online.FindByExtension(QStringLiteral(".XLSX"));
    ASSERT_NE(xlsx, nullptr);
    // Types the desktop knows (xlsx has a MIME type) are usable.
    EXPECT_NE(online.usableList().FindById(xlsx->id), nullptr);
    EXPECT_TRUE(online.SaveIfLoaded());

    CLocalFileTypeManager offline(&m_login);
    ASSERT_TRUE(offline.Load());
    ASSERT_EQ(offline.rawList().GetCount(), online.rawList().GetCount());
    for (const CFileTypeRecord *t : online.rawList()) {
        const CFileTypeRecord *o = offline.FindById(t->id);
        ASSERT_NE(o, nullptr);
        EXPECT_EQ(o->ext, t->ext);
        EXPECT_EQ(o->name, t->name);
        EXPECT_EQ(o->accessType, t->accessType);
    }
    EXPECT_TRUE(messages.isEmpty());
}

TEST_F(FileTypeManagerTest, FailedReloadNeverReplacesAGoodCache)
{
    {
        CSharedFileTypeManager first(&m_login);
        ASSERT_TRUE(first.Load());
        ASSERT_TRUE(first.SaveIfLoaded());
    }
    const QByteArray good = cacheBytes();
    ASSERT_FALSE(good.isEmpty());

    hook(QStringLiteral("fail"), {{QStringLiteral("op"), QStringLiteral("filetype/list")},
                                  {QStringLiteral("mode"), QStringLiteral("empty")},
                                  {QStringLiteral("status"), QStringLiteral("500")}});
    CSharedFileTypeManager second(&m_login);
    EXPECT_FALSE(second.Load());
    EXPECT_EQ(second.rawList().GetCount(), 0);
    EXPECT_EQ(second.FindByExtension(QStringLiteral(".xlsx")), nullptr);
    EXPECT_FALSE(second.SaveIfLoaded());
    EXPECT_EQ(cacheBytes(), good);
}

TEST_F(FileTypeManagerTest, DamagedCacheIsReportedDeletedAndEmpty)
{
    const QString path = m_login.UserDataFile(QStringLiteral("fileTypes.vqr"));
    QDir().mkpath(QFileInfo(path).absolutePath());
    {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(QByteArray::fromHex("0300"
                                       "01000000"
                                       "fffeff05"));
    }
    CLocalFileTypeManager offline(&m_login);
    EXPECT_FALSE(offline.Load());
    EXPECT_EQ(offline.rawList().GetCount(), 0);
    EXPECT_FALSE(QFile::exists(path));
    ASSERT_EQ(messages.size(), 1);
    EXPECT_EQ(messages.at(0),
              QStringLiteral("システムファイル（fileTypes.vqr）が不正です。\r\n削除しました。"));

    // No cache at all: empty, and nothing to report.
    CLocalFileTypeManager none(&m_login);
    EXPECT_FALSE(none.Load());
    EXPECT_EQ(messages.size(), 1);
}
