#include "Paths.h"

#include "AppState.h"
#include "BizException.h"
#include "FileSystem.h"
#include "Messages.h"
#include "Strings.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QStandardPaths>

#include <sys/stat.h>

Q_LOGGING_CATEGORY(lcPaths, "velquor.paths")

namespace {

constexpr int kRegistryKeyId = 17664; // "KDW"
constexpr int kProfileNameId = 17665; // "VELQUOR.V2"

QString checked(const QString &path)
{
    // A cut path could name another file or a parent folder: refuse instead.
    if (path.size() > MaxPath)
        throw CBizOsException(OsError::FilenameExcedRange, path.left(MaxPath));
    return path;
}

QString build(const QString &root, const QString &area, const QString &sub, const QString &file)
{
    QString path = JoinPath(root, area);
    path = JoinPath(path, sub);
    path = JoinPath(path, file);
    return checked(path);
}

QString ensureFolders(const QString &folder)
{
    CreateFolders(folder, false);
    return folder;
}

QString buildCreated(const QString &root, const QString &area, const QString &sub,
                     const QString &file)
{
    // Check the whole result first so that nothing is created for a path that is refused.
    const QString full = build(root, area, sub, file);
    ensureFolders(build(root, area, sub, {}));
    return full;
}

// The saved passwords and keys below the data folder are the user's alone, also where an
// older version created the folder readable by every local user.
void RestrictToOwner(const QString &folder)
{
    struct stat st;
    const QByteArray name = QFile::encodeName(folder);
    if (::stat(name.constData(), &st) == 0 && (st.st_mode & 077)
        && ::chmod(name.constData(), st.st_mode & 0700) != 0)
        qCWarning(lcPaths) << "cannot restrict the data folder to its owner";
}

QString documentsRoot()
{
    QString docs = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (docs.isEmpty())
        docs = QDir::homePath() + QStringLiteral("/Documents");
    return JoinPath(JoinPath(docs, LoadString(kRegistryKeyId)), LoadString(kProfileNameId));
}

} // namespace

QString JoinPath(const QString &a, const QString &b)
{
    QString right = ToNativeSeparators(b);
    if (right.isEmpty())
        return ToNativeSeparators(a);
    QString left = ToNativeSeparators(a);
    if (left.isEmpty())
        return right;
    while (left.size() > 1 && left.endsWith(u'/'))
        left.chop(1);
    while (right.startsWith(u'/'))
        right.remove(0, 1);
    if (right.isEmpty())
        return left;
    if (left.endsWith(u'/'))
        return left + right;
    return left + u'/' + right;
}

namespace {
QString &executableFolderOverride()
{
    static QString folder;
    return folder;
}
} // namespace

void SetExecutableFolderOverride(const QString &folder)
{
    executableFolderOverride() = folder;
}

QString InstallationBase()
{
    if (AppState::IsNoUiMode())
        return QDir::currentPath();
    if (!executableFolderOverride().isEmpty())
        return executableFolderOverride();
    if (QCoreApplication::instance())
        return QCoreApplication::applicationDirPath();
    return QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath().section(u'/', 0, -2);
}

QString DataPath(const QString &sub, const QString &file)
{
    return build(InstallationBase(), QStringLiteral("vqrdata"), sub, file);
}

QString SetupPath(const QString &sub, const QString &file)
{
    return build(InstallationBase(), QStringLiteral("vqrsetup"), sub, file);
}

QString UserDocumentsPath(const QString &sub, const QString &file)
{
    return buildCreated(documentsRoot(), {}, sub, file);
}

QString EditPath(const QString &sub, const QString &file)
{
    return buildCreated(documentsRoot(), QStringLiteral("vqredit"), sub, file);
}

QString HistoryPath(const QString &sub, const QString &file)
{
    return buildCreated(documentsRoot(), QStringLiteral("vqrhistory"), sub, file);
}

QString TempPath(const QString &sub, const QString &file)
{
    return buildCreated(documentsRoot(), QStringLiteral("vqrtemp"), sub, file);
}

QString DownloadsPath(const QString &sub, const QString &file)
{
    QString downloads = QStandardPaths::writableLocation(QStandardPaths::DownloadLocation);
    if (downloads.isEmpty())
        downloads = QDir::homePath() + QStringLiteral("/Downloads");
    return buildCreated(downloads, {}, sub, file);
}

bool EnsureDataFolder()
{
    try {
        const QString folder = DataPath();
        if (IsFolder(folder)) {
            RestrictToOwner(folder);
            return true;
        }
        if (CreateFolders(folder, false, FolderAccess::Private) && IsFolder(folder))
            return true;
    } catch (const CBizException &e) {
        qCWarning(lcPaths) << "data folder unusable:" << e.ErrorMessage();
    }
    ShowErrorMessage(17955);
    return false;
}
