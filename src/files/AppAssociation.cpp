#include "AppAssociation.h"

// GIO before anything of ours; Qt's `signals` keyword is off (QT_NO_KEYWORDS), so GDBus's
// struct member of that name compiles.
#include <gio/gdesktopappinfo.h>
#include <gio/gio.h>

#include "FilesLog.h"

#include <QByteArray>
#include <QFile>
#include <QMimeDatabase>

#include <memory>

// Exported by GLib since 2.60 for its own test isolation: sets the directories that GLib
// otherwise reads once per process from HOME and the XDG variables.
extern "C" void g_set_user_dirs(const gchar *first_dir_type, ...) __attribute__((weak));

namespace {

struct SUnref
{
    void operator()(gpointer object) const { g_object_unref(object); }
};
using AppInfoPtr = std::unique_ptr<GAppInfo, SUnref>;

struct SKeyFileFree
{
    void operator()(GKeyFile *file) const { g_key_file_free(file); }
};

QByteArray EnvOr(const char *name, const QByteArray &fallback)
{
    const QByteArray value = qgetenv(name);
    return value.isEmpty() ? fallback : value;
}

QByteArray Joined(const gchar *const *dirs)
{
    QByteArrayList parts;
    for (; dirs && *dirs; ++dirs)
        parts << QByteArray(*dirs);
    return parts.join(':');
}

// GLib takes HOME and the XDG folders once per process; a process that moves them (each test
// case moves them to a folder of its own) hands the new ones on before the next lookup. A
// process that never moves them never calls this past the comparison.
void FollowXdgEnvironment()
{
    static QList<QByteArray> known;
    if (known.isEmpty())
        known = {g_get_home_dir(),
                 g_get_user_config_dir(),
                 g_get_user_data_dir(),
                 g_get_user_cache_dir(),
                 Joined(g_get_system_data_dirs()),
                 Joined(g_get_system_config_dirs())};
    const QByteArray home = EnvOr("HOME", g_get_home_dir());
    const QList<QByteArray> now{
        home,
        EnvOr("XDG_CONFIG_HOME", home + "/.config"),
        EnvOr("XDG_DATA_HOME", home + "/.local/share"),
        EnvOr("XDG_CACHE_HOME", home + "/.cache"),
        EnvOr("XDG_DATA_DIRS", "/usr/local/share/:/usr/share/"),
        EnvOr("XDG_CONFIG_DIRS", "/etc/xdg"),
    };
    if (known == now || !g_set_user_dirs)
        return;
    known = now;
    const QList<QByteArray> dataDirs = now.at(4).split(':');
    const QList<QByteArray> configDirs = now.at(5).split(':');
    std::vector<const char *> data, config;
    for (const QByteArray &dir : dataDirs)
        data.push_back(dir.constData());
    data.push_back(nullptr);
    for (const QByteArray &dir : configDirs)
        config.push_back(dir.constData());
    config.push_back(nullptr);
    g_set_user_dirs("HOME", now.at(0).constData(), "XDG_CONFIG_HOME", now.at(1).constData(),
                    "XDG_DATA_HOME", now.at(2).constData(), "XDG_CACHE_HOME", now.at(3).constData(),
                    "XDG_DATA_DIRS", data.data(), "XDG_CONFIG_DIRS", config.data(), nullptr);
}

// The user interface is Japanese: its name for the application is Name[ja] where the entry
// has one, whatever the process locale.
QString JapaneseName(GAppInfo *app, const char *filename)
{
    std::unique_ptr<GKeyFile, SKeyFileFree> file(g_key_file_new());
    if (g_key_file_load_from_file(file.get(), filename, G_KEY_FILE_KEEP_TRANSLATIONS, nullptr)) {
        gchar *name = g_key_file_get_locale_string(file.get(), G_KEY_FILE_DESKTOP_GROUP,
                                                   G_KEY_FILE_DESKTOP_KEY_NAME, "ja", nullptr);
        if (name) {
            const QString text = QString::fromUtf8(name);
            g_free(name);
            return text;
        }
    }
    return QString::fromUtf8(g_app_info_get_name(app));
}

void Fill(SAppAssociation &result, GAppInfo *app)
{
    if (!app || !G_IS_DESKTOP_APP_INFO(app))
        return;
    const char *id = g_app_info_get_id(app);
    const char *filename = g_desktop_app_info_get_filename(G_DESKTOP_APP_INFO(app));
    if (!id || !filename)
        return;
    result.desktopId = QString::fromUtf8(id);
    result.desktopFile = QFile::decodeName(filename);
    result.appName = JapaneseName(app, filename);
    if (const char *program = g_app_info_get_executable(app)) {
        gchar *found = g_find_program_in_path(program);
        result.appPath = QFile::decodeName(found ? found : program);
        g_free(found);
    }
}

QString NormalizedSuffix(const QString &extension)
{
    QString suffix = extension.trimmed();
    while (suffix.startsWith(u'.'))
        suffix.remove(0, 1);
    return suffix;
}

} // namespace

SAppAssociation LookupMimeAssociation(const QString &mimeType)
{
    SAppAssociation result;
    result.mimeType = mimeType;
    if (mimeType.isEmpty())
        return result;
    FollowXdgEnvironment();
    const AppInfoPtr app(g_app_info_get_default_for_type(mimeType.toUtf8().constData(), FALSE));
    Fill(result, app.get());
    return result;
}

SAppAssociation LookupAppAssociation(const QString &extension)
{
    const QString suffix = NormalizedSuffix(extension).toLower();
    QMimeDatabase db;
    const QMimeType mime
        = suffix.isEmpty()
              ? db.mimeTypeForName(QStringLiteral("application/octet-stream"))
              : db.mimeTypeForFile(QStringLiteral("file.") + suffix, QMimeDatabase::MatchExtension);
    if (suffix.isEmpty() || !mime.isValid()) {
        SAppAssociation result;
        result.mimeType = mime.name();
        return result;
    }
    SAppAssociation result = LookupMimeAssociation(mime.name());
    qCDebug(lcFileRecords) << "association of" << suffix << result.mimeType << result.desktopId;
    return result;
}

SAppAssociation LookupDesktopEntry(const QString &desktopId)
{
    SAppAssociation result;
    if (desktopId.isEmpty())
        return result;
    FollowXdgEnvironment();
    const AppInfoPtr app(
        reinterpret_cast<GAppInfo *>(g_desktop_app_info_new(desktopId.toUtf8().constData())));
    Fill(result, app.get());
    return result;
}

bool IsExtensionRegistered(const QString &extension)
{
    const SAppAssociation association = LookupAppAssociation(extension);
    return (!association.mimeType.isEmpty() && association.mimeType != u"application/octet-stream")
           || association.hasApplication();
}
