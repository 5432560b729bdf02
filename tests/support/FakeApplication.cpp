#include "FakeApplication.h"

#include "Files.h"

#include <QFile>

QString RegisterFakeApplication(TempInstallation &installation, const QByteArray &script)
{
    const QString home = installation.home();
    installation.SetEnv("XDG_DATA_DIRS", (home + QStringLiteral("/sys:/usr/share")).toUtf8());
    installation.SetEnv("XDG_CONFIG_DIRS", (home + QStringLiteral("/etc")).toUtf8());
    const QString program = installation.path(QStringLiteral("bin/fakeapp"));
    const bool written
        = WriteFile(program, script)
          && QFile::setPermissions(program, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner)
          && WriteFile(home + QStringLiteral("/.local/share/applications/fakeapp.desktop"),
                       "[Desktop Entry]\nType=Application\nName=Fake Office\n"
                       "MimeType=text/csv;text/plain;\nExec="
                           + program.toUtf8() + " %f\n")
          && WriteFile(home + QStringLiteral("/.config/mimeapps.list"),
                       "[Default Applications]\n"
                       "application/vnd.openxmlformats-officedocument.spreadsheetml.sheet="
                       "fakeapp.desktop\n"
                       "text/csv=fakeapp.desktop\ntext/plain=fakeapp.desktop\n");
    return written ? program : QString();
}
