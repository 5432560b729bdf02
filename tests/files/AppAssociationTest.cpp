#include "files/AppAssociation.h"
#include "files/AppLauncher.h"
#include "files/FileTypeManager.h"

#include "support/Files.h"
#include "support/TempInstallation.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QThread>

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
    // An executable script under home.
    void writeProgram(const QString &relative, const QByteArray &text)
    {
        write(relative, text);
        ASSERT_TRUE(QFile::setPermissions(home() + u'/' + relative,
                                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    }
};

// The file types of the tests: the extensions given, in order.
class CTypesOf : public CFileTypeManager
{
public:
    explicit CTypesOf(const QStringList &extensions)
        : CFileTypeManager(nullptr)
    {
        auto list = std::make_unique<CFileTypeList>(true);
        qint32 id = 0;
        for (const QString &ext : extensions) {
            auto record = std::make_unique<CFileTypeRecord>();
            record->id = ++id;
            record->name = ext;
            record->ext = ext;
            list->Replace(std::move(record));
        }
        SetRawList(std::move(list));
    }
    bool Load() override { return true; }
};

// Applications that record how they were started, one line per start in log.txt under HOME:
// "rec FOO=<FOO> <arguments>" and the fake Flatpak launcher "flatpak FOO=<FOO> <arguments>";
// each is the default of one type.
class AppLaunchTest : public AppAssociationTest
{
protected:
    void SetUp() override
    {
        AppAssociationTest::SetUp();
        // Only the test's applications: the system's MIME database without its applications.
        ASSERT_TRUE(QDir().mkpath(home() + QStringLiteral("/share")));
        ASSERT_TRUE(
            QFile::link(QStringLiteral("/usr/share/mime"), home() + QStringLiteral("/share/mime")));
        installation.SetEnv("XDG_DATA_DIRS", (home() + QStringLiteral("/share")).toUtf8());
        const QByteArray recorder = "#!/bin/sh\necho \"$(basename \"$0\") FOO=$FOO $*\" >> \""
                                    + (home() + QStringLiteral("/log.txt")).toUtf8() + "\"\n";
        writeProgram(QStringLiteral("bin/rec"), recorder);
        writeProgram(QStringLiteral("bin/flatpak"), recorder);
    }
    QByteArray bin() const { return (home() + QStringLiteral("/bin")).toUtf8(); }
    // Desktop entries by id and the default of each MIME type, all before the first lookup.
    void install(const QList<QPair<QByteArray, QByteArray>> &entries,
                 const QList<QPair<QByteArray, QByteArray>> &defaults)
    {
        for (const auto &[id, body] : entries)
            write(QStringLiteral(".local/share/applications/") + QString::fromUtf8(id),
                  "[Desktop Entry]\nType=Application\n" + body + "\n");
        QByteArray list = "[Default Applications]\n";
        for (const auto &[mime, id] : defaults)
            list += mime + '=' + id + '\n';
        write(QStringLiteral(".config/mimeapps.list"), list);
    }
    QString document(const QString &name)
    {
        const QString path = home() + QStringLiteral("/docs/") + name;
        EXPECT_TRUE(WriteFile(path, "data"));
        return path;
    }
    // Waits until the applications wrote count lines (they run detached); all lines.
    QStringList waitForLines(int count) const
    {
        QElapsedTimer timer;
        timer.start();
        QStringList lines;
        do {
            lines = QString::fromUtf8(ReadFile(home() + QStringLiteral("/log.txt")))
                        .split(u'\n', Qt::SkipEmptyParts);
            if (lines.size() >= count)
                break;
            QThread::msleep(10);
        } while (timer.elapsed() < 10000);
        return lines;
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
    EXPECT_EQ(pdf.desktopFile,
              home() + QStringLiteral("/.local/share/applications/fakeviewer.desktop"));
    EXPECT_EQ(pdf.appPath, QStringLiteral("/bin/true"));
    EXPECT_EQ(pdf.appName, QStringLiteral("偽ビューア"));
    EXPECT_TRUE(IsExtensionRegistered(QStringLiteral("pdf")));
}

TEST_F(AppAssociationTest, SystemCacheIsTheLastResort)
{
    // The entry names its program without a folder: it is found on PATH.
    writeProgram("sys/bin/sysview", "#!/bin/sh\n");
    installation.SetEnv("PATH", (home() + "/sys/bin:" + qEnvironmentVariable("PATH")).toUtf8());
    write("sys/applications/sysview.desktop",
          "[Desktop Entry]\nType=Application\nName=System Viewer\nExec=sysview %U\n");
    write("sys/applications/mimeinfo.cache", "[MIME Cache]\ntext/csv=sysview.desktop;\n");
    const SAppAssociation csv = LookupAppAssociation(QStringLiteral("csv"));
    EXPECT_EQ(csv.desktopId, QStringLiteral("sysview.desktop"));
    EXPECT_EQ(csv.appName, QStringLiteral("System Viewer"));
    EXPECT_EQ(csv.appPath, home() + QStringLiteral("/sys/bin/sysview"));
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

// Entries whose Exec line starts another program first (env, Flatpak's launcher) open the
// file, whether the application is the type's default or chosen from the list; the file is
// its argument as the entry's field code says.
TEST_F(AppLaunchTest, WrappedProgramsOpenTheFile)
{
    install({{"plain.desktop", "Name=Plain\nExec=" + bin() + "/rec --open %f"},
             {"envapp.desktop", "Name=Env\nExec=env FOO=1 " + bin() + "/rec %f"},
             {"org.example.App.desktop",
              "Name=Flat\nExec=" + bin()
                  + "/flatpak run --command=x org.example.App %f\nX-Flatpak=org.example.App"}},
            {{"text/plain", "plain.desktop"},
             {"text/csv", "envapp.desktop"},
             {"application/pdf", "org.example.App.desktop"}});
    const struct
    {
        QString ext;
        QString desktopId;
        QString started; // the recorded line before the file's path
    } cases[] = {
        {QStringLiteral(".txt"), QStringLiteral("plain.desktop"),
         QStringLiteral("rec FOO= --open")},
        {QStringLiteral(".csv"), QStringLiteral("envapp.desktop"), QStringLiteral("rec FOO=1")},
        {QStringLiteral(".pdf"), QStringLiteral("org.example.App.desktop"),
         QStringLiteral("flatpak FOO= run --command=x org.example.App")},
    };
    const CTypesOf types({QStringLiteral(".txt"), QStringLiteral(".csv"), QStringLiteral(".pdf")});
    int lines = 0;
    for (const auto &c : cases) {
        SCOPED_TRACE(c.desktopId.toStdString());
        const QString file = document(QStringLiteral("帳簿 1") + c.ext);
        const QString expected = c.started + u' ' + file;
        qint64 pid = 0;
        EXPECT_EQ(LaunchFile(file, nullptr, &pid), LaunchCode::Started);
        EXPECT_GT(pid, 0);
        ++lines;
        EXPECT_EQ(waitForLines(lines).value(lines - 1), expected) << "as the default";

        int preselected = -1;
        const QList<SAppChoice> choices
            = ListAppChoices(types.usableList(), c.desktopId, &preselected);
        ASSERT_GE(preselected, 0);
        EXPECT_EQ(LaunchFile(file, &choices.at(preselected)), LaunchCode::Started);
        ++lines;
        EXPECT_EQ(waitForLines(lines).value(lines - 1), expected) << "as the chosen application";
    }
}

// Two Flatpak applications both run the launcher: the list offers both, and each chosen one
// is the one that starts.
TEST_F(AppLaunchTest, EntriesOfOneProgramAreDistinctChoices)
{
    install(
        {{"org.example.A.desktop",
          "Name=App A\nExec=" + bin() + "/flatpak run org.example.A %f\nX-Flatpak=org.example.A"},
         {"org.example.B.desktop",
          "Name=App B\nExec=" + bin() + "/flatpak run org.example.B %f\nX-Flatpak=org.example.B"}},
        {{"text/csv", "org.example.A.desktop"}, {"application/pdf", "org.example.B.desktop"}});
    const CTypesOf types({QStringLiteral(".csv"), QStringLiteral(".pdf")});
    int preselected = -1;
    const QList<SAppChoice> choices
        = ListAppChoices(types.usableList(), QStringLiteral("org.example.B.desktop"), &preselected);
    ASSERT_EQ(choices.size(), 2);
    EXPECT_EQ(choices.at(0).appName, QStringLiteral("App A"));
    EXPECT_EQ(choices.at(1).appName, QStringLiteral("App B"));
    EXPECT_EQ(choices.at(0).appPath, choices.at(1).appPath);
    ASSERT_EQ(preselected, 1);
    // B opens a CSV file when chosen, although A is the default for CSV.
    const QString file = document(QStringLiteral("仕訳.csv"));
    EXPECT_EQ(LaunchFile(file, &choices.at(preselected)), LaunchCode::Started);
    EXPECT_EQ(waitForLines(1).value(0), QStringLiteral("flatpak FOO= run org.example.B ") + file);
}

// An entry whose program is not installed opens nothing: it is no application, the launch
// code says the start failed (so the edit cycle hands the lock back) and the list skips it.
TEST_F(AppLaunchTest, EntryWithoutItsProgramStartsNothing)
{
    install({{"gone.desktop", "Name=Gone\nExec=" + bin() + "/uninstalled --open %f"},
             {"offpath.desktop", "Name=Off PATH\nExec=velquor-no-such-program %f"},
             {"tried.desktop",
              "Name=Tried\nTryExec=" + bin() + "/uninstalled\nExec=" + bin() + "/rec %f"}},
            {{"text/plain", "gone.desktop"},
             {"text/csv", "offpath.desktop"},
             {"application/pdf", "tried.desktop"}});
    const QStringList extensions{QStringLiteral(".txt"), QStringLiteral(".csv"),
                                 QStringLiteral(".pdf")};
    for (const QString &ext : extensions) {
        SCOPED_TRACE(ext.toStdString());
        EXPECT_FALSE(LookupAppAssociation(ext).hasApplication());
        EXPECT_LE(LaunchFile(document(QStringLiteral("a") + ext)), 32);
    }
    EXPECT_TRUE(ListAppChoices(CTypesOf(extensions).usableList()).isEmpty());
    EXPECT_FALSE(QFile::exists(home() + QStringLiteral("/log.txt")));
}
