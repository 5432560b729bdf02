#include "files/AppAssociation.h"

#include "support/Files.h"
#include "support/TempInstallation.h"

namespace {

// A temporary HOME with its own XDG folders; the system folders stay out of the search.
class AppAssociationTest : public InstallationTest<>
{
protected:
    void SetUp() override
    {
        InstallationTest::SetUp();
        // The shared MIME database stays visible; applications come from the temporary folders.
        installation.SetEnv("XDG_DATA_DIRS", (home() + "/sys:/usr/share").toUtf8());
        installation.SetEnv("XDG_CONFIG_DIRS", (home() + "/etc").toUtf8());
    }
    QString home() const { return installation.home(); }
    void write(const QString &relative, const QByteArray &text)
    {
        ASSERT_TRUE(WriteFile(home() + u'/' + relative, text));
    }
};

} // namespace

TEST_F(AppAssociationTest, DefaultApplicationFromUserMimeapps)
{
    write(".local/share/applications/fakeviewer.desktop",
          "[Desktop Entry]\nType=Application\nName=Fake Viewer\nName[ja]=偽ビューア\n"
          "Exec=/bin/true --open %f\n"
          "[Desktop Action other]\nName=Wrong\nExec=/bin/false\n");
    write(".config/mimeapps.list",
          "[Added Associations]\napplication/pdf=other.desktop;\n"
          "[Default Applications]\napplication/pdf=missing.desktop;fakeviewer.desktop;\n");

    const SAppAssociation pdf = LookupAppAssociation(QStringLiteral(".PDF"));
    EXPECT_EQ(pdf.mimeType, QStringLiteral("application/pdf"));
    // A listed entry that does not exist is passed over.
    EXPECT_EQ(pdf.desktopId, QStringLiteral("fakeviewer.desktop"));
    EXPECT_EQ(pdf.appPath, QStringLiteral("/bin/true"));
    EXPECT_EQ(pdf.appName, QStringLiteral("偽ビューア"));
    EXPECT_EQ(ExpandDesktopExec(pdf.exec, QStringLiteral("/tmp/a b.pdf")),
              (QStringList{"/bin/true", "--open", "/tmp/a b.pdf"}));
    EXPECT_TRUE(IsExtensionRegistered(QStringLiteral("pdf")));
}

TEST_F(AppAssociationTest, SystemCacheIsTheLastResort)
{
    write("sys/applications/sysview.desktop",
          "[Desktop Entry]\nName=System Viewer\nExec=sysview %U\n");
    write("sys/applications/mimeinfo.cache", "[MIME Cache]\ntext/csv=sysview.desktop;\n");
    const SAppAssociation csv = LookupAppAssociation(QStringLiteral("csv"));
    EXPECT_EQ(csv.desktopId, QStringLiteral("sysview.desktop"));
    EXPECT_EQ(csv.appName, QStringLiteral("System Viewer"));
    // Not on PATH: the program name stays as written.
    EXPECT_EQ(csv.appPath, QStringLiteral("sysview"));
}

TEST_F(AppAssociationTest, UnknownOrMissingGivesEmptyApplication)
{
    const SAppAssociation none = LookupAppAssociation(QStringLiteral(".zzqqx"));
    EXPECT_EQ(none.mimeType, QStringLiteral("application/octet-stream"));
    EXPECT_FALSE(none.hasApplication());
    EXPECT_TRUE(none.appPath.isEmpty());
    EXPECT_FALSE(IsExtensionRegistered(QStringLiteral(".zzqqx")));
    EXPECT_FALSE(IsExtensionRegistered(QString()));
    // A known MIME type without an application still counts as registered.
    EXPECT_FALSE(LookupAppAssociation(QStringLiteral(".docx")).hasApplication());
    EXPECT_TRUE(IsExtensionRegistered(QStringLiteral(".docx")));
}

TEST(DesktopExecTest, SplitAndExpand)
{
    EXPECT_EQ(SplitDesktopExec(QStringLiteral("\"/opt/My App/run\" -a \"x \\\"y\\\"\" %F")),
              (QStringList{"/opt/My App/run", "-a", "x \"y\"", "%F"}));
    EXPECT_EQ(ExpandDesktopExec({"app", "%i", "--name=%c", "100%%", "%u"}, "/t/f.txt"),
              (QStringList{"app", "--name=", "100%", "file:///t/f.txt"}));
    // No file code: the path goes last.
    EXPECT_EQ(ExpandDesktopExec({"app", "-x"}, "/t/f.txt"), (QStringList{"app", "-x", "/t/f.txt"}));
}
