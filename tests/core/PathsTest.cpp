#include "CoreFixture.h"

#include "core/BizException.h"
#include "core/FileSystem.h"
#include "core/InstanceManager.h"
#include "core/Paths.h"

#include <QRegularExpression>

class PathsTest : public CoreFixture
{};

TEST_F(PathsTest, JoinPathUsesSingleSeparators)
{
    EXPECT_EQ(JoinPath(QStringLiteral("/a/"), QStringLiteral("/b")), QStringLiteral("/a/b"));
    EXPECT_EQ(JoinPath(QStringLiteral("/a"), QStringLiteral("b\\c")), QStringLiteral("/a/b/c"));
    EXPECT_EQ(JoinPath(QStringLiteral("/"), QStringLiteral("x")), QStringLiteral("/x"));
    EXPECT_EQ(JoinPath(QStringLiteral("/a"), QString()), QStringLiteral("/a"));
    EXPECT_EQ(JoinPath(QString(), QStringLiteral("b")), QStringLiteral("b"));
}

TEST_F(PathsTest, DataAndSetupPathsFollowTheNoUiBaseAndCreateNothing)
{
    EXPECT_EQ(DataPath(), base() + QStringLiteral("/vqrdata"));
    EXPECT_EQ(DataPath(QStringLiteral("A001\\user"), QStringLiteral("x.vqr")),
              base() + QStringLiteral("/vqrdata/A001/user/x.vqr"));
    EXPECT_EQ(SetupPath({}, QStringLiteral("setup.exe")),
              base() + QStringLiteral("/vqrsetup/setup.exe"));
    EXPECT_FALSE(PathExists(DataPath()));
    EXPECT_FALSE(PathExists(SetupPath()));

    // Another current directory is another installation in the no-UI run.
    const QString other = root() + QStringLiteral("/other");
    QDir().mkpath(other);
    QDir::setCurrent(other);
    EXPECT_EQ(DataPath(), other + QStringLiteral("/vqrdata"));
}

TEST_F(PathsTest, UserAreasAreUnderDocumentsAndCreateTheirFolders)
{
    const QString docs = home() + QStringLiteral("/Documents/KDW/VELQUOR.V2");
    const QString edit = EditPath(QStringLiteral("a/b"), QStringLiteral("f.txt"));
    EXPECT_EQ(edit, docs + QStringLiteral("/vqredit/a/b/f.txt"));
    EXPECT_TRUE(IsFolder(docs + QStringLiteral("/vqredit/a/b")));
    EXPECT_FALSE(PathExists(edit));
    EXPECT_EQ(HistoryPath(), docs + QStringLiteral("/vqrhistory"));
    EXPECT_EQ(TempPath(), docs + QStringLiteral("/vqrtemp"));
    EXPECT_TRUE(IsFolder(docs + QStringLiteral("/vqrtemp")));
    EXPECT_EQ(UserDocumentsPath(), docs);
    EXPECT_EQ(DownloadsPath({}, QStringLiteral("d.pdf")),
              home() + QStringLiteral("/Downloads/d.pdf"));
    EXPECT_TRUE(IsFolder(home() + QStringLiteral("/Downloads")));

    // The user areas do not depend on the installation base.
    QDir::setCurrent(root());
    EXPECT_EQ(TempPath(), docs + QStringLiteral("/vqrtemp"));
}

TEST_F(PathsTest, TooLongPathIsRefusedNeverCut)
{
    const QString longName(300, u'x');
    try {
        DataPath({}, longName);
        FAIL() << "no exception";
    } catch (const CBizOsException &e) {
        EXPECT_EQ(e.errorNumber(), OsError::FilenameExcedRange);
    }
    // Nothing is created for a refused path.
    EXPECT_THROW(EditPath(longName, QStringLiteral("f")), CBizOsException);
    EXPECT_FALSE(PathExists(home() + QStringLiteral("/Documents/KDW/VELQUOR.V2/vqredit")));
}

TEST_F(PathsTest, EnsureDataFolderCreatesOrReports17955)
{
    EXPECT_TRUE(EnsureDataFolder());
    EXPECT_TRUE(IsFolder(DataPath()));
    EXPECT_TRUE(EnsureDataFolder());
    EXPECT_TRUE(messages.isEmpty());

    // A file in the way of the data folder.
    const QString blocked = root() + QStringLiteral("/blocked");
    QDir().mkpath(blocked);
    ASSERT_TRUE(WriteFile(blocked + QStringLiteral("/vqrdata"), "x"));
    QDir::setCurrent(blocked);
    EXPECT_FALSE(EnsureDataFolder());
    ASSERT_EQ(messages.size(), 1);
    EXPECT_EQ(shown[0].text, LoadString(17955));
    EXPECT_EQ(shown[0].icon, MsgIcon::Error);
}

class InstanceManagerTest : public CoreFixture
{
protected:
    QString instanceFile() const { return base() + QStringLiteral("/vqrdata/instance.vqr"); }
};

TEST_F(InstanceManagerTest, FirstStartWritesABracedGuidInUtf16WithBom)
{
    CInstanceManager manager;
    ASSERT_TRUE(manager.Initialize());
    EXPECT_TRUE(messages.isEmpty());
    const QString id = manager.instanceId();
    EXPECT_TRUE(
        QRegularExpression(QStringLiteral("^\\{[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-"
                                          "[0-9A-F]{12}\\}$"))
            .match(id)
            .hasMatch())
        << id.toStdString();
    EXPECT_EQ(ReadFile(instanceFile()), Utf16LeWithBom(id));

    // The next start reads the same identity.
    CInstanceManager again;
    ASSERT_TRUE(again.Initialize());
    EXPECT_EQ(again.instanceId(), id);
}

TEST_F(InstanceManagerTest, OnlyTheTrimmedFirstLineCounts)
{
    QDir().mkpath(DataPath());
    ASSERT_TRUE(
        WriteFile(instanceFile(), Utf16LeWithBom(QStringLiteral("  {ABC}  \r\nsecond line\r\n"))));
    CInstanceManager manager;
    ASSERT_TRUE(manager.Initialize());
    EXPECT_EQ(manager.instanceId(), QStringLiteral("{ABC}"));
    EXPECT_TRUE(messages.isEmpty());
}

class InstanceRecoveryTest :
    public InstanceManagerTest,
    public ::testing::WithParamInterface<QByteArray>
{};

TEST_P(InstanceRecoveryTest, UnusableFileIsReportedDeletedAndReplaced)
{
    QDir().mkpath(DataPath());
    ASSERT_TRUE(WriteFile(instanceFile(), GetParam()));
    CInstanceManager manager;
    ASSERT_TRUE(manager.Initialize());
    ASSERT_EQ(messages.size(), 1);
    EXPECT_EQ(shown[0].text,
              QStringLiteral("システムファイル（instance.vqr）が不正です。\r\n削除しました。"));
    EXPECT_EQ(shown[0].icon, MsgIcon::Warning);
    EXPECT_EQ(manager.instanceId().size(), 38);
    EXPECT_EQ(ReadFile(instanceFile()), Utf16LeWithBom(manager.instanceId()));
}

INSTANTIATE_TEST_SUITE_P(Contents, InstanceRecoveryTest,
                         ::testing::Values(QByteArray(), QByteArray("\xff\xfe", 2),
                                           Utf16LeWithBom(QStringLiteral("   \r\n\t\r\n")),
                                           Utf16LeWithBom(QStringLiteral("\r\n{ABC}"))));

TEST_F(InstanceManagerTest, SaveRestoresADeletedFileAndKeepsNoTemporaries)
{
    CInstanceManager manager;
    ASSERT_TRUE(manager.Initialize());
    QFile::remove(instanceFile());
    EXPECT_TRUE(manager.Save());
    EXPECT_EQ(CInstanceManager::ReadInstanceFile(instanceFile()), manager.instanceId());
    EXPECT_EQ(QDir(DataPath()).entryList(QDir::Files | QDir::Hidden),
              QStringList{QStringLiteral("instance.vqr")});
}

TEST_F(InstanceManagerTest, UnwritableDataFolderFailsAndKeepsTheOldFile)
{
    if (::geteuid() == 0)
        GTEST_SKIP() << "permissions do not bind root";
    CInstanceManager manager;
    ASSERT_TRUE(manager.Initialize());
    const QByteArray before = ReadFile(instanceFile());
    QFile::setPermissions(DataPath(), QFile::ReadOwner | QFile::ExeOwner);
    EXPECT_FALSE(manager.Save());
    QFile::setPermissions(DataPath(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    EXPECT_EQ(ReadFile(instanceFile()), before);
}
