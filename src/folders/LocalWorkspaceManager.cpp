#include "LocalWorkspaceManager.h"

#include "FoldersLog.h"
#include "SharedWorkspaceManager.h"

#include "account/LoginManager.h"
#include "core/BizException.h"
#include "core/BizFormat.h"
#include "core/FileSystem.h"
#include "core/Messages.h"
#include "store/BizProps.h"
#include "store/Convert.h"
#include "store/IdPath.h"
#include "store/NameCheck.h"
#include "store/NameCompare.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QSet>

#include <vector>

namespace {

constexpr int MsgConvertFailed = 18332;

// Trees written by clients up to this version keep folders outside their parents.
constexpr quint32 ConvertedFromMs = (1u << 16) | 1u;
constexpr quint32 ConvertedFromLs = (6u << 16) | 6u;

bool VersionAboveThreshold(quint32 ms, quint32 ls)
{
    return ms > ConvertedFromMs || (ms == ConvertedFromMs && ls > ConvertedFromLs);
}

// A chain may name directories only when every level has a positive id and a name that is
// one path component: anything else could leave the folder root.
bool IsMirrorableChain(const QList<qint32> &ids, const QStringList &names)
{
    if (ids.isEmpty() || ids.size() != names.size())
        return false;
    for (qsizetype i = 0; i < ids.size(); ++i) {
        if (ids.at(i) <= 0 || !IsValidPathComponent(names.at(i)))
            return false;
    }
    return true;
}

bool IsHexDigit(QChar c)
{
    const char16_t u = c.unicode();
    return (u >= u'0' && u <= u'9') || (u >= u'a' && u <= u'f') || (u >= u'A' && u <= u'F');
}

// A folder directory: exactly EncodeIdName of a positive id and a valid name, so the
// directory found is the directory the record names again.
bool ParseFolderDirName(const QString &dirName, qint32 *id, QString *name)
{
    if (dirName.size() < 9)
        return false;
    for (int i = 0; i < 8; ++i) {
        if (!IsHexDigit(dirName.at(i)))
            return false;
    }
    const qint32 value = DecodeIdName(dirName, name);
    if (value <= 0 || !IsValidPathComponent(*name))
        return false;
    if (EncodeIdName(value, *name) != dirName)
        return false;
    *id = value;
    return true;
}

QString ParentPath(const QString &path)
{
    const qsizetype slash = path.lastIndexOf(u'/');
    return slash > 0 ? path.left(slash) : QString();
}

bool StartsWith(const QList<qint32> &chain, const QList<qint32> &prefix)
{
    return chain.size() >= prefix.size()
           && std::equal(prefix.cbegin(), prefix.cend(), chain.cbegin());
}

} // namespace

struct CLocalWorkspaceManager::SScanned
{
    std::unique_ptr<CWorkspaceRecord> record;
    QString path;
    QDateTime lastWrite;
};

CLocalWorkspaceManager::CLocalWorkspaceManager(CLoginManager *loginManager)
    : CWorkspaceManager(loginManager)
{}

CLocalWorkspaceManager::~CLocalWorkspaceManager() = default;

QString CLocalWorkspaceManager::FolderRoot() const
{
    if (!m_loginManager)
        return {};
    try {
        return QDir::cleanPath(ToNativeSeparators(m_loginManager->UserDataPath()));
    } catch (const CBizException &) {
        return {};
    }
}

QString CLocalWorkspaceManager::LocalFolderPath(const QList<qint32> &ids,
                                                const QStringList &names) const
{
    if (!IsMirrorableChain(ids, names))
        return {};
    const QString root = FolderRoot();
    if (root.isEmpty())
        return {};
    return root + u'/' + EncodeIdPath(ids, names);
}

QString CLocalWorkspaceManager::LocalFolderPath(const CWorkspaceRecord *record) const
{
    return record ? LocalFolderPath(record->pathIds, record->pathNames) : QString();
}

bool CLocalWorkspaceManager::IsInsideRoot(const QString &path) const
{
    const QString root = FolderRoot();
    if (root.isEmpty() || path.isEmpty())
        return false;
    const QString clean = QDir::cleanPath(path);
    if (!clean.startsWith(root + u'/'))
        return false;
    const QString canonicalRoot = QFileInfo(root).canonicalFilePath();
    if (canonicalRoot.isEmpty())
        return true; // nothing of the store exists yet: no link to escape through
    // The nearest existing level decides: a link inside the store to somewhere else makes
    // everything below it foreign.
    QString probe = clean;
    while (probe.size() > root.size()) {
        const QFileInfo info(probe);
        if (info.exists() || info.isSymLink())
            break;
        probe = ParentPath(probe);
    }
    const QString canonical = QFileInfo(probe).canonicalFilePath();
    if (canonical.isEmpty())
        return false;
    return canonical == canonicalRoot || canonical.startsWith(canonicalRoot + u'/');
}

bool CLocalWorkspaceManager::MoveDirectory(const QString &from, const QString &to)
{
    if (!IsInsideRoot(from) || !IsInsideRoot(to)) {
        qCWarning(lcFolders) << "refused to move a directory outside the folder root";
        return false;
    }
    try {
        return MoveFileTo(from, to, 0, true);
    } catch (const CBizException &e) {
        qCWarning(lcFolders) << "directory move failed:" << e.ErrorMessage();
        return false;
    }
}

bool CLocalWorkspaceManager::ScanDisk(const QString &root, std::vector<SScanned> &found) const
{
    struct SLevel
    {
        QString path;
        QList<qint32> ids;
        QStringList names;
    };
    std::vector<SLevel> pending{{root, {}, {}}};
    while (!pending.empty()) {
        SLevel level = std::move(pending.back());
        pending.pop_back();
        if (!ProgressContinue())
            return false;
        const QFileInfoList entries = QDir(level.path)
                                          .entryInfoList(QDir::Dirs | QDir::NoDotAndDotDot
                                                             | QDir::Hidden | QDir::NoSymLinks,
                                                         QDir::Name);
        std::vector<SLevel> children;
        for (const QFileInfo &entry : entries) {
            qint32 id = 0;
            QString name;
            if (!ParseFolderDirName(entry.fileName(), &id, &name))
                continue;
            SLevel child{entry.filePath(), level.ids, level.names};
            child.ids.append(id);
            child.names.append(name);
            found.push_back({std::make_unique<CWorkspaceRecord>(child.ids, child.names, false),
                             child.path, entry.lastModified()});
            if (child.ids.size() < MaxScanDepth)
                children.push_back(std::move(child));
        }
        // Reversed onto the stack, so that the directories are entered in name order.
        for (auto it = children.rbegin(); it != children.rend(); ++it)
            pending.push_back(std::move(*it));
    }
    return true;
}

bool CLocalWorkspaceManager::Load()
{
    const QString root = FolderRoot();
    if (root.isEmpty())
        return false;
    std::vector<SScanned> found;
    if (!ScanDisk(root, found))
        return false;

    // Two directories of one folder (one left behind by a move): the one written last.
    QHash<qint32, size_t> chosen;
    for (size_t i = 0; i < found.size(); ++i) {
        const qint32 id = found[i].record->id;
        const auto it = chosen.constFind(id);
        if (it == chosen.cend() || found[i].lastWrite > found[*it].lastWrite)
            chosen.insert(id, i);
    }
    m_list.RemoveAll();
    for (size_t i = 0; i < found.size(); ++i) {
        if (chosen.value(found[i].record->id) == i)
            m_list.Add(std::move(found[i].record));
    }
    qCInfo(lcFolders) << "local folder tree read:" << m_list.size() << "folders";

    if (m_shared)
        SynchronizeWith(*m_shared);
    m_list.SortByName();
    m_list.NumberRecords();
    return true;
}

void CLocalWorkspaceManager::SynchronizeWith(const CSharedWorkspaceManager &shared)
{
    // Deleting against a tree that may lack folders, or against a local tree still in an
    // older layout, would throw away cached files of folders that exist.
    const bool mayDelete = shared.IsTreeComplete() && !NeedsConversion();
    QList<qint32> ids;
    ids.reserve(m_list.size());
    for (const CWorkspaceRecord *r : std::as_const(m_list))
        ids.append(r->id);

    int renamed = 0;
    int deleted = 0;
    for (qint32 id : std::as_const(ids)) {
        CWorkspaceRecord *local = m_list.FindById(id);
        if (!local)
            continue; // went with a deleted ancestor
        const CWorkspaceRecord *remote = shared.list().FindById(id);
        if (!remote || remote->pathIds != local->pathIds) {
            if (mayDelete) {
                try {
                    if (DeleteLocalFolder(id))
                        ++deleted;
                } catch (const CBizException &e) {
                    qCWarning(lcFolders) << "mirror: delete of" << id << "failed:" << e.Kind();
                }
            }
            continue;
        }
        local->isDataBox = remote->isDataBox;
        if (EqualNamesIgnoreCase(local->name, remote->name)) {
            local->folderStyle = remote->folderStyle;
            continue;
        }
        try {
            if (PropagateName(id, remote->name, FolderStyleToService(remote->folderStyle)))
                ++renamed;
        } catch (const CBizException &e) {
            qCWarning(lcFolders) << "mirror: rename of" << id << "failed:" << e.Kind();
        }
    }
    qCInfo(lcFolders) << "mirror synchronised:" << renamed << "renamed," << deleted << "deleted"
                      << (mayDelete ? "" : "(deletions held back)");
}

CWorkspaceRecord *CLocalWorkspaceManager::FindById(qint32 id)
{
    if (CWorkspaceRecord *record = m_list.FindById(id))
        return record;
    if (!m_shared || id <= 0)
        return nullptr;
    const CWorkspaceRecord *remote = m_shared->list().FindById(id);
    if (!remote)
        return nullptr;
    try {
        CWorkspaceRecord *mirrored = MirrorPath(remote->pathIds, remote->pathNames,
                                                FolderStyleToService(remote->folderStyle));
        if (mirrored)
            mirrored->isDataBox = remote->isDataBox;
        return mirrored;
    } catch (const CBizException &e) {
        qCWarning(lcFolders) << "mirror of folder" << id << "failed:" << e.ErrorMessage();
        return nullptr;
    }
}

bool CLocalWorkspaceManager::PropagateName(qint32 id, const QString &newName,
                                           std::optional<qint32> folderStyle)
{
    CWorkspaceRecord *record = m_list.FindById(id);
    if (!record)
        return false;
    if (folderStyle)
        record->folderStyle = FolderStyleFromService(*folderStyle);
    if (record->name == newName)
        return true;
    if (!IsValidPathComponent(newName)) {
        qCWarning(lcFolders) << "folder" << id << "has a name that cannot name a directory";
        return false;
    }
    const QString from = LocalFolderPath(record);
    QStringList names = record->pathNames;
    names.last() = newName;
    const QString to = LocalFolderPath(record->pathIds, names);
    if (from.isEmpty() || to.isEmpty())
        return false;
    if (PathExists(from) && !MoveDirectory(from, to))
        return false;
    m_list.PropagateName(id, newName);
    return true;
}

void CLocalWorkspaceManager::RebaseSubtree(CWorkspaceRecord *record, const QList<qint32> &ids,
                                           const QStringList &names)
{
    const QList<qint32> oldIds = record->pathIds;
    const qsizetype d = oldIds.size();
    for (CWorkspaceRecord *r : m_list) {
        if (StartsWith(r->pathIds, oldIds)) {
            r->pathIds = ids + r->pathIds.mid(d);
            r->pathNames = names + r->pathNames.mid(d);
        }
    }
}

CWorkspaceRecord *CLocalWorkspaceManager::MirrorPath(const QList<qint32> &ids,
                                                     const QStringList &names,
                                                     std::optional<qint32> folderStyle)
{
    if (!IsMirrorableChain(ids, names)) {
        qCWarning(lcFolders) << "chain of folder" << (ids.isEmpty() ? 0 : ids.last())
                             << "cannot be mirrored";
        return nullptr;
    }
    if (FolderRoot().isEmpty())
        return nullptr;

    CWorkspaceRecord *record = nullptr;
    QList<qint32> chainIds;
    // The names of the levels as they stand on disk: a local name that differs from the
    // service's in letter case only stays.
    QStringList localNames;
    for (qsizetype i = 0; i < ids.size(); ++i) {
        chainIds.append(ids.at(i));
        record = m_list.FindById(ids.at(i));
        if (record && record->pathIds != chainIds) {
            // Listed at another place: its directory moves into the chain's place.
            const QString from = LocalFolderPath(record);
            const QStringList targetNames = localNames + QStringList{record->name};
            const QString to = LocalFolderPath(chainIds, targetNames);
            if (to.isEmpty() || (PathExists(from) && !MoveDirectory(from, to)))
                return nullptr;
            RebaseSubtree(record, chainIds, targetNames);
            m_list.ArrangeTreeOrder();
        }
        if (record && !EqualNamesIgnoreCase(record->name, names.at(i))
            && !PropagateName(ids.at(i), names.at(i)))
            return nullptr;
        if (!record) {
            auto fresh = std::make_unique<CWorkspaceRecord>(
                chainIds, localNames + QStringList{names.at(i)}, false);
            const QString path = LocalFolderPath(fresh.get());
            // The mirror lies in the data folder: its levels, the login's folder among them,
            // are the user's alone.
            if (path.isEmpty() || !IsInsideRoot(path)
                || !CreateFolders(path, false, FolderAccess::Private))
                return nullptr;
            record = m_list.AddInTree(std::move(fresh));
        }
        localNames.append(record->name);
    }

    // The directory may have gone behind the list's back.
    const QString path = LocalFolderPath(record);
    if (!IsFolder(path)
        && (!IsInsideRoot(path) || !CreateFolders(path, false, FolderAccess::Private)))
        return nullptr;
    if (folderStyle)
        record->folderStyle = FolderStyleFromService(*folderStyle);
    return record;
}

bool CLocalWorkspaceManager::DeleteLocalFolder(qint32 id)
{
    const CWorkspaceRecord *record = m_list.FindById(id);
    QString path = LocalFolderPath(record);
    if (!record && m_shared) {
        if (const CWorkspaceRecord *remote = m_shared->list().FindById(id))
            path = LocalFolderPath(remote);
    }
    if (path.isEmpty())
        return false;
    if (!IsInsideRoot(path)) {
        qCWarning(lcFolders) << "refused to delete a directory outside the folder root";
        return false;
    }
    int result = 0;
    try {
        result = DeleteTree(path, false, progress());
    } catch (const CBizException &e) {
        qCWarning(lcFolders) << "delete of folder" << id << "failed:" << e.ErrorMessage();
        return false;
    }
    if (result < 0)
        return false;
    if (record)
        m_list.RemoveSubtree(id);
    return true;
}

bool CLocalWorkspaceManager::MoveLocalFolder(qint32 id, qint32 dstId)
{
    const CWorkspaceRecord *source = m_list.FindById(id);
    if (!source)
        return false;
    QString destinationDir;
    if (dstId > 0) {
        const CWorkspaceRecord *destination = m_list.FindById(dstId);
        if (!destination || destination->HasInPath(id))
            return false;
        destinationDir = LocalFolderPath(destination);
    } else {
        destinationDir = FolderRoot();
    }
    const QString from = LocalFolderPath(source);
    if (from.isEmpty() || destinationDir.isEmpty())
        return false;
    const QString to = destinationDir + u'/' + EncodeIdName(id, source->name);
    if (PathExists(from) && !MoveDirectory(from, to))
        return false;
    m_list.RemoveSubtree(id);
    return true;
}

bool CLocalWorkspaceManager::NeedsConversion() const
{
    const QString root = FolderRoot();
    if (root.isEmpty())
        return true;
    const QString path = root + u'/' + VersionFileName();
    if (!QFileInfo::exists(path))
        return true;
    CBizProps props(path);
    try {
        props.Load();
    } catch (const CBizException &) {
        return true; // unreadable counts as missing
    }
    if (!props.Contains(QStringLiteral("version")))
        return true;
    quint32 ls = 0;
    const quint32 ms = props.GetVersion(QStringLiteral("version"), &ls);
    return !VersionAboveThreshold(ms, ls);
}

bool CLocalWorkspaceManager::WriteVersion()
{
    const QString root = FolderRoot();
    if (root.isEmpty())
        return false;
    CBizProps props(root + u'/' + VersionFileName());
    try {
        if (props.Exists())
            props.Load();
    } catch (const CBizException &) {
        props.Clear();
    }
    if (props.Contains(QStringLiteral("version"))) {
        quint32 ls = 0;
        const quint32 ms = props.GetVersion(QStringLiteral("version"), &ls);
        if (VersionAboveThreshold(ms, ls))
            return true;
    }
    quint32 ls = 0;
    const quint32 ms = ParseVersion(QStringLiteral(VELQUOR_VERSION_TEXT), &ls);
    props.SetVersion(QStringLiteral("version"), ms, ls);
    try {
        return props.Save();
    } catch (const CBizException &e) {
        qCWarning(lcFolders) << "version file not written:" << e.ErrorMessage();
        return false;
    }
}

bool CLocalWorkspaceManager::ConvertLayout()
{
    if (!m_shared)
        return true;
    const QString root = FolderRoot();
    if (root.isEmpty())
        return false;

    QSet<qint32> failedIds;
    QStringList failedNames;
    // One misplaced directory per round, the shallowest first, so that a folder moves only
    // after its parent has found its place; a rescan follows each move because a moved
    // directory carries its subdirectories along.
    for (int round = 0; round < 100000; ++round) {
        std::vector<SScanned> found;
        if (!ScanDisk(root, found))
            return false;
        const SScanned *misplaced = nullptr;
        const CWorkspaceRecord *misplacedRemote = nullptr;
        for (const SScanned &s : found) {
            const CWorkspaceRecord *remote = m_shared->list().FindById(s.record->id);
            if (!remote || failedIds.contains(s.record->id) || remote->pathIds == s.record->pathIds)
                continue;
            if (!misplacedRemote || remote->Depth() < misplacedRemote->Depth()) {
                misplaced = &s;
                misplacedRemote = remote;
            }
        }
        if (!misplaced)
            break;

        const qint32 id = misplaced->record->id;
        const QString name = misplaced->record->name;
        SetProgressText(BizFormat(QStringLiteral("’%s’フォルダを変換しています..."), {name}));
        ProgressStep();

        // The parent's directory: where it stands in place, else the service's chain.
        QString parentDir = root;
        const qint32 parentId = misplacedRemote->ParentId();
        if (parentId > 0) {
            const CWorkspaceRecord *remoteParent = m_shared->list().FindById(parentId);
            parentDir.clear();
            for (const SScanned &s : found) {
                if (remoteParent && s.record->id == parentId
                    && s.record->pathIds == remoteParent->pathIds) {
                    parentDir = s.path;
                    break;
                }
            }
            if (parentDir.isEmpty() && remoteParent)
                parentDir = LocalFolderPath(remoteParent);
        }
        const QString from = misplaced->path;
        const QString to
            = parentDir.isEmpty() ? QString() : parentDir + u'/' + EncodeIdName(id, name);
        bool moved = false;
        if (!to.isEmpty() && IsInsideRoot(from) && IsInsideRoot(to)) {
            if (!PathExists(to)) {
                moved = MoveDirectory(from, to);
            } else if (IsFolder(to)) {
                try {
                    // Both hold files of the same folder: merge, then drop the empty source.
                    moved = MoveTree(from, to, progress()) >= 0 && IsFolderEmpty(from)
                            && QDir().rmdir(from);
                } catch (const CBizException &e) {
                    qCWarning(lcFolders) << "conversion merge failed:" << e.ErrorMessage();
                }
            }
        }
        if (!moved) {
            failedIds.insert(id);
            failedNames.append(name);
        }
    }

    Load();
    if (!failedNames.isEmpty()) {
        qCWarning(lcFolders) << "conversion failed for" << failedNames.size() << "folders";
        ShowErrorMessage(MsgConvertFailed, failedNames.join(u','));
        return false;
    }
    return true;
}
