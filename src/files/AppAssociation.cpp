#include "AppAssociation.h"

#include "FilesLog.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMimeDatabase>
#include <QStandardPaths>
#include <QUrl>

namespace {

QString homeDir()
{
    return QDir::homePath();
}

QStringList envDirs(const char *name, const QString &fallback)
{
    QString value = qEnvironmentVariable(name);
    if (value.isEmpty())
        value = fallback;
    QStringList dirs;
    for (const QString &dir : value.split(u':', Qt::SkipEmptyParts))
        dirs << dir;
    return dirs;
}

QString configHome()
{
    const QString value = qEnvironmentVariable("XDG_CONFIG_HOME");
    return value.isEmpty() ? homeDir() + QStringLiteral("/.config") : value;
}

QString dataHome()
{
    const QString value = qEnvironmentVariable("XDG_DATA_HOME");
    return value.isEmpty() ? homeDir() + QStringLiteral("/.local/share") : value;
}

// Application folders in XDG order: the user's first.
QStringList applicationDirs()
{
    QStringList dirs{dataHome() + QStringLiteral("/applications")};
    for (const QString &dir :
         envDirs("XDG_DATA_DIRS", QStringLiteral("/usr/local/share:/usr/share")))
        dirs << dir + QStringLiteral("/applications");
    return dirs;
}

// A key file group read as key -> value (no locale folding; the caller picks keys).
QHash<QString, QString> readGroup(const QString &path, const QString &group)
{
    QHash<QString, QString> values;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return values;
    bool inGroup = false;
    while (!file.atEnd()) {
        const QString line = QString::fromUtf8(file.readLine()).trimmed();
        if (line.isEmpty() || line.startsWith(u'#'))
            continue;
        if (line.startsWith(u'[')) {
            inGroup = line == u'[' + group + u']';
            continue;
        }
        if (!inGroup)
            continue;
        const qsizetype eq = line.indexOf(u'=');
        if (eq <= 0)
            continue;
        const QString key = line.left(eq).trimmed();
        if (!values.contains(key))
            values.insert(key, line.mid(eq + 1).trimmed());
    }
    return values;
}

QString findDesktopFile(const QString &desktopId)
{
    if (desktopId.isEmpty() || desktopId.contains(QLatin1String("..")))
        return {};
    const QStringList dirs = applicationDirs();
    for (const QString &dir : dirs) {
        const QString direct = dir + u'/' + desktopId;
        if (QFileInfo(direct).isFile())
            return direct;
        // "kde-foo.desktop" may live as kde/foo.desktop.
        QString nested = desktopId;
        nested.replace(u'-', u'/');
        if (nested != desktopId && QFileInfo(dir + u'/' + nested).isFile())
            return dir + u'/' + nested;
    }
    return {};
}

// The default application's desktop id for one MIME name, or empty.
QString defaultDesktopId(const QStringList &mimeNames)
{
    struct SList
    {
        QString path;
        QString group;
    };
    QList<SList> lists;
    lists << SList{configHome() + QStringLiteral("/mimeapps.list"),
                   QStringLiteral("Default Applications")};
    for (const QString &dir : envDirs("XDG_CONFIG_DIRS", QStringLiteral("/etc/xdg")))
        lists << SList{dir + QStringLiteral("/mimeapps.list"),
                       QStringLiteral("Default Applications")};
    const QStringList appDirs = applicationDirs();
    for (const QString &dir : appDirs)
        lists << SList{dir + QStringLiteral("/mimeapps.list"),
                       QStringLiteral("Default Applications")};
    for (const QString &dir : appDirs)
        lists << SList{dir + QStringLiteral("/defaults.list"),
                       QStringLiteral("Default Applications")};
    for (const QString &dir : appDirs)
        lists << SList{dir + QStringLiteral("/mimeinfo.cache"), QStringLiteral("MIME Cache")};

    for (const SList &list : std::as_const(lists)) {
        if (!QFileInfo::exists(list.path))
            continue;
        const QHash<QString, QString> group = readGroup(list.path, list.group);
        for (const QString &mime : mimeNames) {
            const QString value = group.value(mime);
            for (const QString &id : value.split(u';', Qt::SkipEmptyParts)) {
                if (!findDesktopFile(id.trimmed()).isEmpty())
                    return id.trimmed();
            }
        }
    }
    return {};
}

QString normalizedSuffix(const QString &extension)
{
    QString suffix = extension.trimmed();
    while (suffix.startsWith(u'.'))
        suffix.remove(0, 1);
    return suffix;
}

} // namespace

QStringList SplitDesktopExec(const QString &exec)
{
    QStringList args;
    QString current;
    bool inQuotes = false;
    bool hasToken = false;
    for (qsizetype i = 0; i < exec.size(); ++i) {
        const QChar c = exec.at(i);
        if (inQuotes) {
            if (c == u'\\' && i + 1 < exec.size()) {
                current += exec.at(++i);
            } else if (c == u'"') {
                inQuotes = false;
            } else {
                current += c;
            }
        } else if (c == u'"') {
            inQuotes = true;
            hasToken = true;
        } else if (c == u' ' || c == u'\t') {
            if (hasToken || !current.isEmpty())
                args << current;
            current.clear();
            hasToken = false;
        } else {
            current += c;
        }
    }
    if (hasToken || !current.isEmpty())
        args << current;
    return args;
}

QStringList ExpandDesktopExec(const QStringList &exec, const QString &filePath)
{
    QStringList out;
    bool usedFile = false;
    for (const QString &arg : exec) {
        if (arg == u"%f" || arg == u"%F") {
            out << filePath;
            usedFile = true;
            continue;
        }
        if (arg == u"%u" || arg == u"%U") {
            out << QUrl::fromLocalFile(filePath).toString();
            usedFile = true;
            continue;
        }
        QString expanded;
        bool dropped = false;
        for (qsizetype i = 0; i < arg.size(); ++i) {
            if (arg.at(i) == u'%' && i + 1 < arg.size()) {
                const QChar code = arg.at(++i);
                if (code == u'%') {
                    expanded += u'%';
                } else if (code == u'f' || code == u'F') {
                    expanded += filePath;
                    usedFile = true;
                } else if (code == u'u' || code == u'U') {
                    expanded += QUrl::fromLocalFile(filePath).toString();
                    usedFile = true;
                } else {
                    dropped = true; // %i %c %k and the deprecated codes
                }
                continue;
            }
            expanded += arg.at(i);
        }
        if (!(dropped && expanded.isEmpty()))
            out << expanded;
    }
    if (!usedFile)
        out << filePath;
    return out;
}

namespace {

// The default application of a MIME type (and its aliases) into result.
void FillDefaultApplication(SAppAssociation &result, const QStringList &names)
{
    result.desktopId = defaultDesktopId(names);
    if (result.desktopId.isEmpty())
        return;
    result.desktopFile = findDesktopFile(result.desktopId);
    const QHash<QString, QString> entry
        = readGroup(result.desktopFile, QStringLiteral("Desktop Entry"));
    result.appName = entry.value(QStringLiteral("Name[ja]"), entry.value(QStringLiteral("Name")));
    result.exec = SplitDesktopExec(entry.value(QStringLiteral("Exec")));
    if (!result.exec.isEmpty()) {
        const QString program = result.exec.constFirst();
        const QString found
            = QFileInfo(program).isAbsolute() ? program : QStandardPaths::findExecutable(program);
        result.appPath = found.isEmpty() ? program : found;
    }
}

} // namespace

SAppAssociation LookupAppAssociation(const QString &extension)
{
    SAppAssociation result;
    const QString suffix = normalizedSuffix(extension).toLower();
    QMimeDatabase db;
    const QMimeType mime
        = suffix.isEmpty()
              ? db.mimeTypeForName(QStringLiteral("application/octet-stream"))
              : db.mimeTypeForFile(QStringLiteral("file.") + suffix, QMimeDatabase::MatchExtension);
    result.mimeType = mime.name();
    if (suffix.isEmpty() || !mime.isValid())
        return result;
    QStringList names{mime.name()};
    names << mime.aliases();
    FillDefaultApplication(result, names);
    qCDebug(lcFileRecords) << "association of" << suffix << result.mimeType << result.desktopId;
    return result;
}

SAppAssociation LookupMimeAssociation(const QString &mimeType)
{
    SAppAssociation result;
    result.mimeType = mimeType;
    FillDefaultApplication(result, {mimeType});
    return result;
}

bool IsExtensionRegistered(const QString &extension)
{
    const SAppAssociation association = LookupAppAssociation(extension);
    return (!association.mimeType.isEmpty() && association.mimeType != u"application/octet-stream")
           || association.hasApplication();
}
