#include "LocalFileManager.h"

#include "FileTypeManager.h"
#include "FilesLog.h"
#include "SharedFileManager.h"

#include "account/LoginManager.h"
#include "core/BizException.h"
#include "core/FileStates.h"
#include "core/FileSystem.h"
#include "core/Paths.h"
#include "folders/LocalWorkspaceManager.h"
#include "service/MessageDigest.h"
#include "service/RequestException.h"
#include "store/IdPath.h"
#include "store/NameCheck.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QString kCacheSuffix = QStringLiteral(".vqrca");
const QString kEditSuffix = QStringLiteral(".vqred");
const QString kDownloadSuffix = QStringLiteral(".vqrdl");
constexpr qint64 kDigestBlock = 8192;

QString hex8(qint32 id)
{
    return QStringLiteral("%1").arg(quint32(id), 8, 16, QLatin1Char('0'));
}

bool hasCacheSuffix(const QString &name)
{
    return name.endsWith(kCacheSuffix) || name.endsWith(kEditSuffix)
           || name.endsWith(kDownloadSuffix);
}

QString withoutCacheSuffix(const QString &name)
{
    return hasCacheSuffix(name) ? name.left(name.size() - kCacheSuffix.size()) : name;
}

qint64 modifiedNsOf(const struct stat &st)
{
    return qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
}

QString parentOf(const QString &path)
{
    return QFileInfo(path).absolutePath();
}

// Deletes quietly: clean-up never fails the operation it follows.
void removeQuietly(const QString &path)
{
    try {
        DeleteFileIfExists(path);
    } catch (const CBizException &e) {
        qCInfo(lcFileRecords) << "clean-up: cannot delete" << path << e.Kind();
    }
}

// The root of one of the user's areas; empty when it cannot be made.
QString areaRoot(QString (*builder)(const QString &, const QString &), const char *area)
{
    try {
        return builder({}, {});
    } catch (const CBizException &e) {
        qCWarning(lcFileRecords) << area << "area unusable:" << e.Kind();
        return {};
    }
}

void removeEmptyDir(const QString &path)
{
    if (!path.isEmpty() && IsFolderEmpty(path))
        QDir().rmdir(path);
}

} // namespace

CLocalFileManager::CLocalFileManager(CLoginManager *loginManager, CLocalWorkspaceManager *folders,
                                     CFileTypeManager *fileTypes)
    : CFileManager(loginManager, folders, fileTypes)
{}

CLocalFileManager::~CLocalFileManager() = default;

CLocalWorkspaceManager *CLocalFileManager::localFolders() const
{
    return static_cast<CLocalWorkspaceManager *>(m_folders);
}

// --- paths --------------------------------------------------------------------------------

CLocalFileManager::CRootsMemo::CRootsMemo(const CLocalFileManager &manager)
    : m_manager(manager)
{
    ++m_manager.m_memoDepth;
}

CLocalFileManager::CRootsMemo::~CRootsMemo()
{
    if (--m_manager.m_memoDepth == 0)
        m_manager.m_roots = SRoots();
}

QString CLocalFileManager::Remembered(std::optional<QString> SRoots::*slot,
                                      const std::function<QString()> &compute) const
{
    if (m_memoDepth == 0)
        return compute();
    std::optional<QString> &value = m_roots.*slot;
    if (!value)
        value = compute();
    return *value;
}

QString CLocalFileManager::StoreRoot() const
{
    return Remembered(&SRoots::store,
                      [this] { return localFolders() ? localFolders()->FolderRoot() : QString(); });
}

CWorkspaceRecord *CLocalFileManager::FolderOf(qint32 folderId) const
{
    return folderId > 0 && localFolders() ? localFolders()->FindById(folderId) : nullptr;
}

QString CLocalFileManager::FolderDir(qint32 folderId) const
{
    if (m_memoDepth > 0) {
        if (const auto known = m_roots.folderDirs.constFind(folderId);
            known != m_roots.folderDirs.constEnd())
            return *known;
    }
    const CWorkspaceRecord *folder = FolderOf(folderId);
    const QString dir = folder ? DirOf(*folder) : QString();
    if (m_memoDepth > 0)
        m_roots.folderDirs.insert(folderId, dir);
    return dir;
}

QString CLocalFileManager::DirOf(const CWorkspaceRecord &folder) const
{
    // The local tree holds only chains that can name a directory.
    const QString root = StoreRoot();
    return root.isEmpty() ? QString()
                          : root + u'/' + EncodeIdPath(folder.pathIds, folder.pathNames);
}

QString CLocalFileManager::CachePath(qint32 folderId, const QString &name) const
{
    if (!IsValidPathComponent(name))
        return {};
    const QString dir = FolderDir(folderId);
    return dir.isEmpty() ? QString() : dir + u'/' + name + kCacheSuffix;
}

QString CLocalFileManager::EditCopyPath(qint32 folderId, const QString &name) const
{
    if (!IsValidPathComponent(name))
        return {};
    const QString dir = FolderDir(folderId);
    return dir.isEmpty() ? QString() : dir + u'/' + name + kEditSuffix;
}

QString CLocalFileManager::DownloadCopyPath(qint32 folderId, const QString &name) const
{
    if (!IsValidPathComponent(name))
        return {};
    const QString dir = FolderDir(folderId);
    return dir.isEmpty() ? QString() : dir + u'/' + name + kDownloadSuffix;
}

QString CLocalFileManager::EditRoot() const
{
    return Remembered(&SRoots::edit, [] { return areaRoot(EditPath, "edit"); });
}

QString CLocalFileManager::HistoryRoot() const
{
    return Remembered(&SRoots::history, [] { return areaRoot(HistoryPath, "history"); });
}

QString CLocalFileManager::TempRoot() const
{
    return Remembered(&SRoots::temp, [] { return areaRoot(TempPath, "temp"); });
}

QString CLocalFileManager::FolderEditDir(qint32 folderId) const
{
    const QString root = EditRoot();
    return root.isEmpty() || folderId <= 0 ? QString() : root + u'/' + hex8(folderId);
}

QString CLocalFileManager::WorkingCopyPath(qint32 folderId, const QString &name) const
{
    if (!IsValidPathComponent(name))
        return {};
    const QString dir = FolderEditDir(folderId);
    return dir.isEmpty() ? QString() : dir + u'/' + name + u'/' + name;
}

QString CLocalFileManager::ViewCopyPath(const QString &name) const
{
    const QString plain = withoutCacheSuffix(name);
    if (!IsValidPathComponent(plain))
        return {};
    const QString root = TempRoot();
    return root.isEmpty() ? QString() : root + u'/' + plain;
}

QString CLocalFileManager::HistoryDir(const QString &idPath, const QString &name) const
{
    if (!IsValidPathComponent(name) || idPath.isEmpty())
        return {};
    for (const QString &level : idPath.split(u'/')) {
        if (!IsValidPathComponent(level))
            return {};
    }
    const QString root = HistoryRoot();
    return root.isEmpty() ? QString() : root + u'/' + idPath + u'/' + name;
}

QString CLocalFileManager::HistoryDirOf(qint32 folderId, const QString &name) const
{
    const CWorkspaceRecord *folder = FolderOf(folderId);
    return folder ? HistoryDir(EncodeIdPath(folder->pathIds, folder->pathNames), name) : QString();
}

// --- lengths ------------------------------------------------------------------------------

int CLocalFileManager::CacheLength(qint32 folderId, int nameLength, int copies) const
{
    const QString dir = FolderDir(folderId);
    if (dir.isEmpty())
        return -1;
    // <folder directory>/<name>.vqrca; a name made unique by a copy grows by 8 per copy.
    const int extra = copies >= 2 ? 8 * (copies - 1) : 0;
    return int(dir.size()) + 1 + nameLength + extra + int(kCacheSuffix.size());
}

int CLocalFileManager::WorkingLength(int nameLength) const
{
    // <edit area>/<%08x>/<name>/<name>
    return int(EditRoot().size()) + 2 * nameLength + 11;
}

bool CLocalFileManager::CheckCacheLength(qint32 folderId, int nameLength, int copies,
                                         int *length) const
{
    const int len = CacheLength(folderId, nameLength, copies);
    if (length)
        *length = len;
    return len < 0 || CheckLength(len); // an unknown folder has no path to refuse
}

bool CLocalFileManager::CheckWorkingLength(qint32, int nameLength, int *length) const
{
    const int len = WorkingLength(nameLength);
    if (length)
        *length = len;
    return CheckLength(len);
}

// --- queries ------------------------------------------------------------------------------

CLocalFileRecord *CLocalFileManager::FindLocal(qint32 folderId, const QString &name) const
{
    CFileRecord *record = m_list->Find(folderId, u'/' + name);
    return record && !record->IsFolderEntry() ? dynamic_cast<CLocalFileRecord *>(record) : nullptr;
}

QString CLocalFileManager::Digest(const QString &path)
{
    struct stat st;
    if (::stat(QFile::encodeName(path).constData(), &st) != 0 || !S_ISREG(st.st_mode))
        return {};
    return DigestOf(path, qint64(st.st_size), modifiedNsOf(st));
}

QString CLocalFileManager::DigestOf(const QString &path, qint64 size, qint64 modifiedNs)
{
    const auto cached = m_digests.constFind(path);
    if (cached != m_digests.constEnd() && cached->size == size && cached->modifiedNs == modifiedNs)
        return cached->digest;
    // Plain reads: the scan digests thousands of small files, where a QFile's own set-up
    // costs as much as hashing one.
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return {};
    QCryptographicHash hash(QCryptographicHash::Md5);
    char block[kDigestBlock];
    for (;;) {
        const ssize_t n = ::read(fd, block, kDigestBlock);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            ::close(fd);
            return {};
        }
        if (n == 0)
            break;
        hash.addData(QByteArrayView(block, n));
        ProgressStep();
    }
    ::close(fd);
    const QString digest = QString::fromLatin1(hash.result().toHex());
    m_digests.insert(path, {size, modifiedNs, digest});
    return digest;
}

QStringList CLocalFileManager::FileNamesOf(const QString &dir) const
{
    struct stat st;
    if (::stat(QFile::encodeName(dir).constData(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        m_listings.remove(dir);
        return {};
    }
    // An entry added, removed or renamed moves the directory's modification time.
    const qint64 modifiedNs = modifiedNsOf(st);
    SDirListing &listing = m_listings[dir];
    if (listing.modifiedNs != modifiedNs || listing.names.isEmpty()) {
        listing.modifiedNs = modifiedNs;
        listing.names = QDir(dir).entryList(QDir::Files | QDir::Hidden, QDir::Name);
    }
    return listing.names;
}

bool CLocalFileManager::QueryFile(const QString &path, unsigned want, SFileStates &out,
                                  const QString &expectedDigest)
{
    out = SFileStates();
    out.path = path;
    if (path.isEmpty())
        return false;
    const QFileInfo info(path);
    if (!info.isFile())
        return true;
    out.exists = true;
    if (want & SFileStates::InUse)
        out.inUse = IsFileInUse(path);
    if (want & SFileStates::Readable)
        out.readable = IsFileReadable(path);
    if (want & SFileStates::Size) {
        out.sizeKnown = info.size() <= qint64(0xFFFFFFFFu);
        out.size = out.sizeKnown ? quint32(info.size()) : 0;
    }
    if (want & SFileStates::Digest) {
        out.digest = Digest(path);
        out.digestEqual = DigestEquals(out.digest, expectedDigest);
    }
    return true;
}

bool CLocalFileManager::QueryCache(qint32 folderId, const QString &name, unsigned want,
                                   SFileStates &out)
{
    out = SFileStates();
    if (!CheckCacheLength(folderId, int(name.size()), 1, nullptr))
        return false;
    return QueryFile(CachePath(folderId, name), want, out);
}

bool CLocalFileManager::QueryEditCopy(qint32 folderId, const QString &name, unsigned want,
                                      SFileStates &out)
{
    out = SFileStates();
    if (!CheckCacheLength(folderId, int(name.size()), 1, nullptr))
        return false;
    return QueryFile(EditCopyPath(folderId, name), want, out);
}

bool CLocalFileManager::QueryWorkingCopy(qint32 folderId, const QString &name, unsigned want,
                                         SFileStates &out)
{
    out = SFileStates();
    if (FolderOf(folderId) && !CheckWorkingLength(folderId, int(name.size()), nullptr))
        return false;
    return QueryFile(WorkingCopyPath(folderId, name), want, out);
}

bool CLocalFileManager::QueryStored(qint32 folderId, const QString &name, unsigned want,
                                    const QString &expectedDigest, SFileStates &out)
{
    out = SFileStates();
    const CLocalFileRecord *record = FindLocal(folderId, name);
    if (!record)
        return false;
    return QueryFile(record->storedPath, want, out, expectedDigest);
}

CLocalFileRecord *CLocalFileManager::EnsureRecord(qint32 folderId, const QString &name)
{
    RequireName(name);
    CLocalFileRecord *record = FindLocal(folderId, name);
    if (record && QFileInfo(record->storedPath).isFile())
        return record;
    const QString edit = EditCopyPath(folderId, name);
    const QString cache = CachePath(folderId, name);
    const bool hasEdit = !edit.isEmpty() && QFileInfo(edit).isFile();
    if (!hasEdit && (cache.isEmpty() || !QFileInfo(cache).isFile()))
        return record;
    const QString stored = hasEdit ? edit : cache;
    const quint32 size = quint32(std::min<qint64>(QFileInfo(stored).size(), 0xFFFFFFFF));
    if (!record)
        return AddRecord(folderId, name, stored, size, hasEdit);
    record->storedPath = stored;
    record->size = size;
    record->lockedByMe = hasEdit;
    Prepare(*record, false);
    return record;
}

QList<SUnsentFile> CLocalFileManager::ListUnsent(bool withInUse)
{
    // From the disk, not the folder records: after a restart the mirror holds only the
    // folders visited since, and an edit left in any other one must still be found.
    QList<SUnsentFile> unsent;
    const QString root = localFolders() ? localFolders()->FolderRoot() : QString();
    if (root.isEmpty())
        return unsent;
    QStringList pending{root};
    QSet<QPair<qint32, QString>> seen; // a folder's directory left twice by a broken move
    while (!pending.isEmpty()) {
        const QString dir = pending.takeLast();
        const QDir listing(dir);
        for (const QFileInfo &sub : listing.entryInfoList(QDir::Dirs | QDir::NoDotAndDotDot)) {
            if (!sub.isSymLink() && DecodeIdName(sub.fileName()) > 0)
                pending << sub.filePath();
        }
        const qint32 folderId = dir == root ? 0 : DecodeIdName(QFileInfo(dir).fileName());
        if (folderId <= 0)
            continue;
        for (const QFileInfo &copy : listing.entryInfoList({u'*' + kEditSuffix}, QDir::Files)) {
            SUnsentFile file;
            file.folderId = folderId;
            file.name = withoutCacheSuffix(copy.fileName());
            if (copy.isSymLink() || !IsValidPathComponent(file.name)
                || seen.contains({folderId, file.name}))
                continue;
            seen.insert({folderId, file.name});
            file.workingCopy = WorkingCopyPath(folderId, file.name);
            if (withInUse)
                file.inUse = IsFileInUse(file.workingCopy) || IsFileInUse(copy.filePath());
            unsent << file;
        }
    }
    return unsent;
}

// --- guards -------------------------------------------------------------------------------

void CLocalFileManager::RequireName(const QString &name) const
{
    if (!IsValidPathComponent(name))
        throw CBizOsException(OsError::InvalidName, name);
}

CLocalFileRecord *CLocalFileManager::RequireRecord(qint32 folderId, const QString &name) const
{
    RequireName(name);
    CLocalFileRecord *record = FindLocal(folderId, name);
    if (!record)
        throw CBizOsException(OsError::FileNotFound, name);
    return record;
}

void CLocalFileManager::RequireNotInUse(const QString &path) const
{
    if (IsFileInUse(path))
        throw CBizOsException(OsError::SharingViolation, path);
}

bool CLocalFileManager::Finished() const
{
    return ProgressContinue();
}

CLocalFileRecord *CLocalFileManager::AddRecord(qint32 folderId, const QString &name,
                                               const QString &storedPath, quint32 size,
                                               bool outForEditing)
{
    auto record = std::make_unique<CLocalFileRecord>();
    record->workspaceId = folderId;
    record->SetFolder(FolderOf(folderId));
    record->path = u'/' + name;
    record->size = size;
    record->storedPath = storedPath;
    record->lockedByMe = outForEditing;
    Prepare(*record, false);
    return static_cast<CLocalFileRecord *>(m_list->Replace(std::move(record)));
}

// --- changes ------------------------------------------------------------------------------

bool CLocalFileManager::TransferFile(const QString &source, const QString &target)
{
    // Names on disk compare exactly: the file systems are case-sensitive.
    if (source == target)
        return false;
    if (parentOf(source) == parentOf(target)) {
        MoveFileTo(source, target, MoveReplaceExisting);
        return true;
    }
    CopyFileTo(source, target);
    return false;
}

bool CLocalFileManager::AddLocal(qint32 folderId, const QString &name, const QString &target,
                                 std::optional<quint32> size, const QString &source,
                                 QString *storedPath)
{
    RequireName(name);
    if (FindLocal(folderId, name))
        throw CBizOsException(OsError::AlreadyExists, name);
    if (!size) {
        SFileStates states;
        QueryFile(source, SFileStates::Size, states);
        if (!states.exists || !states.sizeKnown)
            throw CBizOsException(OsError::FileNotFound, source.isEmpty() ? name : source);
        size = states.size;
    }
    const CUserRecord *user = m_loginManager ? m_loginManager->currentUser() : nullptr;
    if (*size == 0 && !(user && user->privEmptyFileUpload))
        return false;
    if (!FolderOf(folderId))
        return false;
    const QString stored = target.isEmpty() ? CachePath(folderId, name) : target;
    if (stored.isEmpty())
        return false;
    // The record only for a copy that is in place: a failed transfer leaves nothing.
    if (!source.isEmpty()) {
        try {
            TransferFile(source, stored);
        } catch (const CBizOsException &e) {
            qCWarning(lcFileRecords) << "add: transfer failed" << e.errorNumber();
            return false;
        }
        ClearReadOnly(stored);
    }
    AddRecord(folderId, name, stored, *size, stored.endsWith(kEditSuffix));
    if (storedPath)
        *storedPath = stored;
    return Finished();
}

bool CLocalFileManager::ReplaceLocal(qint32 folderId, const QString &name, const QString &source,
                                     std::optional<quint32> size, const QString &target,
                                     QString *storedPath)
{
    CLocalFileRecord *record = RequireRecord(folderId, name);
    const QString from = source.isEmpty() ? record->storedPath : source;
    const QString to = target.isEmpty() ? record->storedPath : target;
    if (!size) {
        SFileStates states;
        QueryFile(from, SFileStates::Size, states);
        if (!states.exists || !states.sizeKnown)
            throw CBizOsException(OsError::FileNotFound, from);
        size = states.size;
    }
    const CUserRecord *user = m_loginManager ? m_loginManager->currentUser() : nullptr;
    if (*size == 0 && !(user && user->privEmptyFileUpload))
        return false;
    TransferFile(from, to);
    ClearReadOnly(to);
    record->size = *size;
    record->storedPath = to;
    record->lockedByMe = to.endsWith(kEditSuffix);
    Prepare(*record, false);
    if (storedPath)
        *storedPath = to;
    return Finished();
}

bool CLocalFileManager::AddOrReplaceLocal(qint32 folderId, const QString &name,
                                          const QString &source, std::optional<quint32> size,
                                          const QString &target, QString *storedPath)
{
    if (FindLocal(folderId, name))
        return ReplaceLocal(folderId, name, source, size, target, storedPath);
    return AddLocal(folderId, name, target, size, source, storedPath);
}

QString CLocalFileManager::KeepUnsent(qint32 folderId, const QString &name, const QString &source)
{
    const QString dir = HistoryDirOf(folderId, name);
    if (dir.isEmpty())
        throw CBizOsException(OsError::PathNotFound, source);
    QString base;
    QString ext;
    SplitFileName(name, &base, &ext);
    const QString stem = dir + u'/' + base + QStringLiteral(".unsent")
                         + HistoryStamp(QDateTime::currentDateTime());
    QString target = stem + ext;
    for (int n = 2; QFileInfo::exists(target); ++n)
        target = stem + u'-' + QString::number(n) + ext;
    MoveFileTo(source, target, MoveCopyAllowed, true);
    qCInfo(lcFileRecords) << "an unsent edit was kept in the history";
    return target;
}

bool CLocalFileManager::PrepareWorkingCopy(qint32 folderId, const QString &name,
                                           QString *workingPath, QString *unsentCopy)
{
    const CLocalFileRecord *record = RequireRecord(folderId, name);
    const QString working = WorkingCopyPath(folderId, name);
    if (working.isEmpty())
        throw CBizOsException(OsError::PathNotFound, name);
    if (unsentCopy)
        unsentCopy->clear();
    if (QFileInfo(working).isFile()) {
        RequireNotInUse(working);
        const QString stored = Digest(record->storedPath);
        const QString current = Digest(working);
        if (current.isEmpty() || !DigestEquals(current, stored)) {
            // An edit nobody sent: it goes into the history, never away.
            const QString kept = KeepUnsent(folderId, name, working);
            if (unsentCopy)
                *unsentCopy = kept;
        }
    }
    CopyFileTo(record->storedPath, working);
    ClearReadOnly(working);
    if (workingPath)
        *workingPath = working;
    return Finished();
}

bool CLocalFileManager::CommitWorkingCopy(qint32 folderId, const QString &name, bool keep,
                                          quint32 *size)
{
    CLocalFileRecord *record = RequireRecord(folderId, name);
    const QString working = WorkingCopyPath(folderId, name);
    SFileStates states;
    QueryFile(working, SFileStates::Size, states);
    if (states.exists) {
        RequireNotInUse(working);
        if (size)
            *size = states.size;
        if (!keep) {
            TransferFile(working, record->storedPath);
            record->size = states.size;
        }
    }
    return Finished();
}

bool CLocalFileManager::DiscardWorkingCopy(qint32 folderId, const QString &name, EDiscard mode,
                                           QString *unsentCopy)
{
    RequireRecord(folderId, name);
    if (unsentCopy)
        unsentCopy->clear();
    const QString working = WorkingCopyPath(folderId, name);
    if (working.isEmpty())
        return Finished();
    if (QFileInfo(working).isFile()) {
        RequireNotInUse(working);
        const CLocalFileRecord *record = FindLocal(folderId, name);
        if (mode == EDiscard::HandBack
            && !DigestEquals(Digest(working), record ? Digest(record->storedPath) : QString())) {
            // Nothing was sent: a working copy that differs is somebody's edit.
            const QString kept = KeepUnsent(folderId, name, working);
            if (unsentCopy)
                *unsentCopy = kept;
        } else {
            DeleteFileIfExists(working);
        }
    }
    const QString dir = parentOf(working);
    try {
        if (mode == EDiscard::ForceRelease) {
            // The user agreed to throw the edit away, with whatever was written beside it.
            DeleteTree(dir, false);
        } else {
            // Only the application's own lock and temporary files go; whatever else the
            // application or the user put beside the working copy stays until it is added
            // or removed by the user.
            const QFileInfoList entries
                = QDir(dir).entryInfoList(QDir::Files | QDir::Hidden | QDir::System);
            for (const QFileInfo &entry : entries) {
                if (IsHiddenOrTemporaryName(entry.fileName()) && !IsFileInUse(entry.filePath()))
                    DeleteFileIfExists(entry.filePath());
            }
            removeEmptyDir(dir);
        }
    } catch (const CBizException &e) {
        qCInfo(lcFileRecords) << "clean-up of the working copy's directory failed:" << e.Kind();
    }
    removeEmptyDir(FolderEditDir(folderId));
    return Finished();
}

bool CLocalFileManager::OpenPath(qint32 folderId, const QString &name, bool forEditing,
                                 QString *path)
{
    const CLocalFileRecord *record = RequireRecord(folderId, name);
    if (!QFileInfo(record->storedPath).isFile())
        throw CBizOsException(OsError::FileNotFound, record->storedPath);
    RequireNotInUse(record->storedPath);
    if (!forEditing)
        return MakeViewCopy(folderId, name, path);
    QString answer = record->storedPath;
    if (!FolderOf(folderId) || CheckWorkingLength(folderId, int(name.size()), nullptr)) {
        answer = WorkingCopyPath(folderId, name);
        if (QFileInfo(answer).isFile())
            RequireNotInUse(answer);
    }
    if (path)
        *path = answer;
    return Finished();
}

bool CLocalFileManager::MakeViewCopy(qint32 folderId, const QString &name, QString *path)
{
    RequireName(name);
    const CLocalFileRecord *record = FindLocal(folderId, name);
    if (!record || !QFileInfo(record->storedPath).isFile())
        return false;
    const QString view = ViewCopyPath(name);
    if (view.isEmpty())
        return false;
    CopyFileTo(record->storedPath, view);
    if (path)
        *path = view;
    return Finished();
}

bool CLocalFileManager::CopyOut(qint32 folderId, const QString &name, const QString &destination)
{
    const CLocalFileRecord *record = RequireRecord(folderId, name);
    if (!QFileInfo(record->storedPath).isFile())
        throw CBizOsException(OsError::FileNotFound, record->storedPath);
    // Always a copy: a destination beside the stored copy must not take it away.
    CopyFileTo(record->storedPath, destination);
    return Finished();
}

bool CLocalFileManager::Relocate(qint32 folderId, const QString &name, const QString &newStoredPath,
                                 bool outForEditing)
{
    RequireName(name);
    CLocalFileRecord *record = FindLocal(folderId, name);
    if (!record)
        return false;
    if (QFileInfo(record->storedPath).isFile()) {
        RequireNotInUse(record->storedPath);
        TransferFile(record->storedPath, newStoredPath);
    }
    record->storedPath = newStoredPath;
    record->lockedByMe = outForEditing;
    Prepare(*record, false);
    return Finished();
}

bool CLocalFileManager::MoveLocal(qint32 folderId, const QString &name, qint32 newFolderId,
                                  const QString &newName)
{
    CLocalFileRecord *record = RequireRecord(folderId, name);
    if (!newName.isEmpty())
        RequireName(newName);
    RequireNotInUse(record->storedPath);
    const QString dir = FolderDir(newFolderId);
    if (dir.isEmpty())
        return false;
    const QString fileName
        = newName.isEmpty() ? QFileInfo(record->storedPath).fileName() : newName + kCacheSuffix;
    const QString target = dir + u'/' + fileName;
    MoveFileTo(record->storedPath, target, MoveReplaceExisting | MoveCopyAllowed, true);
    record->SetFolder(FolderOf(newFolderId));
    record->workspaceId = newFolderId;
    if (!newName.isEmpty())
        record->path = u'/' + newName;
    record->storedPath = target;
    record->lockedByMe = target.endsWith(kEditSuffix);
    // An entry already under the new key goes: the moved file replaces it.
    if (CFileRecord *old = m_list->Lookup(record->Key()); old && old != record)
        m_list->Remove(old);
    m_list->SetKey(record, record->Key());
    Prepare(*record, false);
    return Finished();
}

bool CLocalFileManager::DeleteLocal(qint32 folderId, const QString &name)
{
    RequireName(name);
    CLocalFileRecord *record = FindLocal(folderId, name);
    if (!record)
        return Finished();
    if (QFileInfo(record->storedPath).isFile()) {
        if (IsFileInUse(record->storedPath))
            return false;
        DeleteFileIfExists(record->storedPath);
    }
    m_list->Remove(record);
    return Finished();
}

bool CLocalFileManager::DeleteFolderLocals(qint32 folderId)
{
    QStringList names;
    for (const CFileRecord *record : *m_list) {
        if (!record->IsFolderEntry() && record->workspaceId == folderId)
            names << record->FileName();
    }
    bool all = true;
    for (const QString &name : std::as_const(names))
        all = DeleteLocal(folderId, name) && all;
    return all;
}

bool CLocalFileManager::IsKnownType(const QString &extension) const
{
    if (extension.isEmpty())
        return false;
    if (m_shared && m_shared->fileTypes())
        return m_shared->fileTypes()->FindByExtension(extension) != nullptr;
    return m_fileTypes && m_fileTypes->FindByExtension(extension) != nullptr;
}

int CLocalFileManager::ListRelatedFiles(qint32 folderId, const QString &subDirectory,
                                        QStringList &files)
{
    files.clear();
    if (!m_shared)
        return 0;
    return CollectRelated(folderId, subDirectory, files);
}

int CLocalFileManager::CollectRelated(qint32 folderId, const QString &subDirectory,
                                      QStringList &files) const
{
    files.clear();
    if (!IsValidPathComponent(subDirectory))
        return 0;
    const QString base = FolderEditDir(folderId);
    if (base.isEmpty())
        return 0;
    const QFileInfoList entries
        = QDir(base + u'/' + subDirectory)
              .entryInfoList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
    for (const QFileInfo &entry : entries) {
        const QString fileName = entry.fileName();
        if (fileName == subDirectory || IsHiddenOrTemporaryName(fileName)
            || hasCacheSuffix(fileName) || entry.isSymLink())
            continue;
        QString stem;
        QString ext;
        SplitFileName(fileName, &stem, &ext);
        if (!IsKnownType(ext))
            continue;
        if (m_shared && m_shared->list().Find(folderId, u'/' + fileName))
            continue;
        files << fileName;
    }
    return int(files.size());
}

bool CLocalFileManager::DownloadIntoCache(
    qint32 folderId, const QString &name,
    const std::function<bool(const QString &, const QString &)> &download)
{
    RequireName(name);
    const QString cache = CachePath(folderId, name);
    const QString copy = DownloadCopyPath(folderId, name);
    if (cache.isEmpty() || copy.isEmpty())
        throw CBizOsException(OsError::PathNotFound, name);
    CreateFolders(cache, true, FolderAccess::Private);
    bool done = false;
    try {
        done = download(copy, cache);
    } catch (...) {
        removeQuietly(copy);
        throw;
    }
    removeQuietly(copy);
    return done && RecordCacheCopy(folderId, name);
}

bool CLocalFileManager::RecordCacheCopy(qint32 folderId, const QString &name)
{
    RequireName(name);
    const QString cache = CachePath(folderId, name);
    SFileStates states;
    QueryFile(cache, SFileStates::Size, states);
    if (!states.exists)
        return false;
    if (CLocalFileRecord *record = FindLocal(folderId, name)) {
        record->storedPath = cache;
        record->size = states.size;
        record->lockedByMe = false;
        Prepare(*record, false);
    } else {
        AddRecord(folderId, name, cache, states.size, false);
    }
    return Finished();
}

// --- history ------------------------------------------------------------------------------

QString CLocalFileManager::HistoryStamp(const QDateTime &time)
{
    const QDate d = time.date();
    const QTime t = time.time();
    return QString::asprintf(".%02d-%02d-%02d_%02d-%02d", d.year() % 100, d.month(), d.day(),
                             t.hour(), t.minute());
}

bool CLocalFileManager::StoreHistory(const QString &idPath, const QString &name,
                                     const QString &source)
{
    const QString dir = HistoryDir(idPath, name);
    if (dir.isEmpty())
        return false;
    QString base;
    QString ext;
    SplitFileName(name, &base, &ext);
    CopyFileTo(source, dir + u'/' + base + HistoryStamp(QDateTime::currentDateTime()) + ext);
    return Finished();
}

int CLocalFileManager::ListHistory(const QString &historyDir, const QString &name,
                                   QStringList &names) const
{
    names.clear();
    if (historyDir.isEmpty())
        return 0;
    QString base;
    QString ext;
    SplitFileName(name, &base, &ext);
    // <base>.yy-mm-dd_hh-mm<ext>: any characters at the digits' places, as a "?" pattern.
    constexpr qsizetype kStamp = 15;
    const auto isHistoryName = [&](const QString &entry) {
        if (entry.size() != base.size() + kStamp + ext.size() || !entry.startsWith(base)
            || !entry.endsWith(ext))
            return false;
        const QStringView stamp = QStringView(entry).mid(base.size(), kStamp);
        return stamp[0] == u'.' && stamp[3] == u'-' && stamp[6] == u'-' && stamp[9] == u'_'
               && stamp[12] == u'-';
    };
    for (const QString &entry : FileNamesOf(historyDir)) {
        if (isHistoryName(entry))
            names << entry;
    }
    return int(names.size());
}

bool CLocalFileManager::PruneHistory(const QString &idPath, const QString &name, int keep)
{
    const QString dir = HistoryDir(idPath, name);
    QStringList names;
    ListHistory(dir, name, names);
    while (names.size() > std::max(0, keep)) {
        qsizetype oldest = 0;
        std::optional<QDateTime> oldestTime;
        for (qsizetype i = 0; i < names.size(); ++i) {
            const std::optional<QDateTime> time = FileCreationTime(dir + u'/' + names.at(i));
            if (time && (!oldestTime || *time < *oldestTime)) {
                oldest = i;
                oldestTime = time;
            }
        }
        DeleteFileIfExists(dir + u'/' + names.at(oldest));
        names.removeAt(oldest);
    }
    return Finished();
}

void CLocalFileManager::KeepHistory(qint32 folderId, const QString &name, const QString &source)
{
    const CWorkspaceRecord *folder = FolderOf(folderId);
    if (!folder || !m_loginManager)
        return;
    const QString idPath = EncodeIdPath(folder->pathIds, folder->pathNames);
    const bool deleteCache = m_loginManager->deleteCache();
    const int generations = m_loginManager->generationNum();
    if (!deleteCache && generations > 0)
        StoreHistory(idPath, name, source);
    PruneHistory(idPath, name, deleteCache ? 0 : generations);
}

bool CLocalFileManager::HasHistory(const CSharedFileRecord &record)
{
    if (record.digest.isEmpty())
        return false;
    const QString dir = HistoryDirOf(record.workspaceId, record.FileName());
    QStringList names;
    ListHistory(dir, record.FileName(), names);
    for (const QString &entry : std::as_const(names)) {
        if (DigestEquals(Digest(dir + u'/' + entry), record.digest))
            return true;
    }
    return false;
}

int CLocalFileManager::ClearTempArea()
{
    const QString root = TempRoot();
    if (root.isEmpty())
        return 0;
    int attempted = 0;
    const QFileInfoList entries
        = QDir(root).entryInfoList(QDir::Files | QDir::Hidden | QDir::System);
    for (const QFileInfo &entry : entries) {
        if (IsHiddenOrTemporaryName(entry.fileName()))
            continue;
        ++attempted;
        removeQuietly(entry.filePath());
    }
    return attempted;
}

// --- the list -----------------------------------------------------------------------------

bool CLocalFileManager::ScanFolder(const CWorkspaceRecord &folder, bool verify, CFileList &list)
{
    const QString dir = DirOf(folder);
    if (dir.isEmpty() || !QFileInfo(dir).isDir())
        return true;
    const bool deleteCache = m_loginManager && m_loginManager->deleteCache();
    const QString clientKey = m_loginManager ? m_loginManager->clientKey() : QString();
    const QStringList entries
        = QDir(dir).entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
    for (const QString &entryName : entries) {
        if (IsHiddenOrTemporaryName(entryName))
            continue;
        const QString entryPath = dir + u'/' + entryName;
        // One status per entry: its kind, size and time serve the digest as well.
        struct stat st;
        if (::lstat(QFile::encodeName(entryPath).constData(), &st) != 0 || !S_ISREG(st.st_mode))
            continue; // a link is never followed out of the store
        if (entryName.endsWith(kDownloadSuffix)) {
            // A download that never finished: nothing refers to it.
            removeQuietly(entryPath);
            continue;
        }
        const bool isCache = entryName.endsWith(kCacheSuffix);
        const bool isEdit = entryName.endsWith(kEditSuffix);
        const QString name = withoutCacheSuffix(entryName);
        QString stem;
        QString ext;
        SplitFileName(name, &stem, &ext);
        if (!IsKnownType(ext) || !IsValidPathComponent(name))
            continue;
        quint32 size = quint32(std::min<qint64>(st.st_size, 0xFFFFFFFF));
        if (isEdit) {
            QFile working(WorkingCopyPath(folder.id, name));
            if (working.open(QIODevice::ReadOnly))
                size = quint32(std::min<qint64>(working.size(), 0xFFFFFFFF));
        }
        auto *service
            = m_shared
                  ? dynamic_cast<CSharedFileRecord *>(m_shared->list().Find(folder.id, u'/' + name))
                  : nullptr;
        bool listed = isCache || isEdit;
        if (service) {
            const bool mine = !service->lockKey.isEmpty() && service->lockKey == clientKey;
            if (isCache) {
                if (deleteCache) {
                    removeQuietly(entryPath);
                    listed = false;
                } else if (verify) {
                    // An unreadable copy has no digest and stays unchecked.
                    const QString digest
                        = DigestOf(entryPath, qint64(st.st_size), modifiedNsOf(st));
                    if (!digest.isEmpty())
                        service->localCopy = DigestEquals(digest, service->digest)
                                                 ? ELocalCopy::Current
                                                 : ELocalCopy::Stale;
                }
            } else if (isEdit) {
                if (!mine) {
                    // The lock went elsewhere (released on the service): the content is
                    // only a cached copy now.
                    try {
                        MoveFileTo(entryPath, dir + u'/' + name + kCacheSuffix,
                                   MoveReplaceExisting);
                    } catch (const CBizOsException &e) {
                        qCWarning(lcFileRecords) << "edit copy not renamed:" << e.errorNumber();
                    }
                    listed = false;
                } else {
                    service->size = size;
                }
            }
        }
        if (!listed)
            continue;
        auto record = std::make_unique<CLocalFileRecord>();
        record->SetFolder(const_cast<CWorkspaceRecord *>(&folder));
        record->path = u'/' + name;
        record->size = size;
        record->storedPath = entryPath;
        record->lockedByMe = isEdit;
        list.Replace(std::move(record));
        if (!ProgressStep())
            return false;
    }
    return true;
}

bool CLocalFileManager::LoadList(qint32 &folderId, bool recursive, bool verify)
{
    if (!localFolders())
        return false;
    const CRootsMemo memo(*this);
    auto fresh = std::make_unique<CFileList>(true);
    try {
        for (const CWorkspaceRecord *folder : localFolders()->list()) {
            const bool take = recursive ? (folderId <= 0 || folder->pathIds.contains(folderId))
                                        : folder->id == folderId;
            if (take && !ScanFolder(*folder, verify, *fresh))
                return false;
        }
        if (!recursive) {
            for (CWorkspaceRecord *child : localFolders()->Children(folderId)) {
                auto entry = std::make_unique<CLocalFileRecord>();
                entry->workspaceId = folderId;
                entry->SetFolder(FolderOf(folderId));
                entry->SetFolderItem(child);
                fresh->Replace(std::move(entry));
            }
        }
    } catch (const CBizException &e) {
        CExceptHandler handler;
        handler.Set(e);
        handler.ShowError();
        return false;
    }
    ReplaceList(std::move(fresh), false);
    if (m_loginManager && m_loginManager->deleteCache())
        ClearTempArea();
    return true;
}

void CLocalFileManager::Prepare(CFileRecord &record, bool withHistory)
{
    CFileManager::Prepare(record, withHistory);
    if (!record.IsFolderEntry())
        record.pathLength = PathLengthOf(record);
}

void CLocalFileManager::NormalizeStoredPath(CLocalFileRecord &record) const
{
    const QString name = record.FileName();
    const QString path = record.storedPath.endsWith(kEditSuffix)
                             ? EditCopyPath(record.workspaceId, name)
                             : CachePath(record.workspaceId, name);
    if (!path.isEmpty())
        record.storedPath = path;
}

int CLocalFileManager::PathLengthOf(const CFileRecord &record) const
{
    const QString name = record.FileName();
    return IsValidPathComponent(name) ? CacheLength(record.workspaceId, int(name.size())) : -1;
}

std::optional<quint32> CLocalFileManager::EditCopySize(qint32 folderId, const QString &name)
{
    // What a send would upload: the working copy, else the edit copy.
    for (const QString &path : {WorkingCopyPath(folderId, name), EditCopyPath(folderId, name)}) {
        SFileStates states;
        QueryFile(path, SFileStates::Readable | SFileStates::Size, states);
        if (states.exists && states.readable && states.sizeKnown)
            return states.size;
    }
    return std::nullopt;
}
