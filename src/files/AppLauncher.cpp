#include "AppLauncher.h"

// GIO before anything of ours (see AppAssociation.cpp).
#include <gio/gdesktopappinfo.h>
#include <gio/gio.h>

#include "AppAssociation.h"
#include "FileTypeRecord.h"
#include "FilesLog.h"

#include "core/BizProgress.h"

#include <QFile>
#include <QFileInfo>

#include <unistd.h>

namespace {

// In the child between fork and exec: only async-signal-safe calls. A folder that cannot be
// entered leaves the application where the client is.
void EnterFolder(gpointer folder)
{
    const int failed = ::chdir(static_cast<const char *>(folder));
    static_cast<void>(failed);
}

void KeepPid(GDesktopAppInfo *, GPid pid, gpointer target)
{
    *static_cast<qint64 *>(target) = pid;
}

// Launches the installed entry desktopId with one URI; folder (may be empty) is where an
// entry without a Path key starts.
int LaunchEntry(const QString &desktopId, const QByteArray &uri, const QString &folder, qint64 *pid)
{
    if (desktopId.isEmpty())
        return LaunchCode::NoAssociation;
    // The lookup also hands a moved HOME or XDG folder on to GIO.
    if (!LookupDesktopEntry(desktopId).hasApplication())
        return LaunchCode::StartFailed;
    GDesktopAppInfo *app = g_desktop_app_info_new(desktopId.toUtf8().constData());
    if (!app)
        return LaunchCode::StartFailed;
    QByteArray uriText = uri;
    GList uris{uriText.data(), nullptr, nullptr};
    const QByteArray where = QFile::encodeName(folder);
    const bool enter = !where.isEmpty() && !g_desktop_app_info_has_key(app, "Path");
    qint64 started = 0;
    GError *error = nullptr;
    const gboolean ok = g_desktop_app_info_launch_uris_as_manager(
        app, &uris, nullptr,
        // The application is the desktop's, not a part of this process: it gets none of our
        // output channels (a pipe it held open would keep whoever reads ours waiting).
        GSpawnFlags(G_SPAWN_SEARCH_PATH | G_SPAWN_STDOUT_TO_DEV_NULL | G_SPAWN_STDERR_TO_DEV_NULL),
        enter ? EnterFolder : nullptr, enter ? const_cast<char *>(where.constData()) : nullptr,
        KeepPid, &started, &error);
    g_object_unref(app);
    if (!ok) {
        qCWarning(lcFileRecords) << "the application could not be started:"
                                 << (error ? error->message : "");
        if (error)
            g_error_free(error);
        return LaunchCode::StartFailed;
    }
    if (pid)
        *pid = started;
    qCInfo(lcFileRecords) << "application" << desktopId << "started, pid" << started;
    return LaunchCode::Started;
}

} // namespace

int LaunchFile(const QString &path, const SAppChoice *chosen, qint64 *pid,
               CBizProgressHandler *progress)
{
    QString desktopId;
    if (chosen) {
        desktopId = chosen->desktopId;
    } else {
        desktopId = LookupAppAssociation(QFileInfo(path).suffix()).desktopId;
    }
    if (desktopId.isEmpty())
        return LaunchCode::NoAssociation;
    const QFileInfo file(path);
    gchar *uri = g_filename_to_uri(QFile::encodeName(file.absoluteFilePath()).constData(), nullptr,
                                   nullptr);
    if (!uri)
        return LaunchCode::StartFailed;
    const QByteArray uriText(uri);
    g_free(uri);
    if (progress)
        progress->Continue();
    return LaunchEntry(desktopId, uriText, file.absolutePath(), pid);
}

int LaunchUri(const SAppAssociation &application, const QString &uri, qint64 *pid)
{
    return LaunchEntry(application.desktopId, uri.toUtf8(), {}, pid);
}

QList<SAppChoice> ListAppChoices(const CFileTypeList &types, const QString &wanted,
                                 int *preselected)
{
    QList<SAppChoice> choices;
    for (const CFileTypeRecord *type : types) {
        if (type->desktopId.isEmpty())
            continue;
        SAppChoice choice{type->desktopId, type->appPath, type->appName, type->desktopFile,
                          type->ext};
        if (!choices.contains(choice))
            choices << choice;
    }
    if (preselected) {
        *preselected = -1;
        for (qsizetype i = 0; i < choices.size() && !wanted.isEmpty(); ++i) {
            if (choices.at(i).desktopId == wanted) {
                *preselected = int(i);
                break;
            }
            if (*preselected < 0 && choices.at(i).appPath == wanted)
                *preselected = int(i);
        }
    }
    return choices;
}
