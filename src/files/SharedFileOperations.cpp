// The file operations of the shared file manager: add, download, move, copy, delete and
// the transaction information, one file each.

#include "SharedFileManager.h"

#include "FilesLog.h"
#include "LocalFileManager.h"

#include "account/LoginManager.h"
#include "account/UserRecord.h"
#include "core/FileStates.h"
#include "core/FileSystem.h"
#include "folders/SharedWorkspaceManager.h"
#include "service/MessageDigest.h"
#include "store/NameCheck.h"

#include <QFileInfo>

namespace {

void requireFree(const QString &path)
{
    if (!path.isEmpty() && QFileInfo(path).isFile() && IsFileInUse(path))
        throw CBizOsException(OsError::SharingViolation, path);
}

// A file out for editing here keeps its edit and working copies where the next send looks
// for them: moving, renaming, deleting or overwriting it would lose the edit.
void requireNotOutForEditing(const CLocalFileRecord *local, const QString &name)
{
    if (local && local->lockedByMe)
        throw CBizOsException(OsError::LockViolation, name);
}

// The same for a file the operation would replace (a name that cannot be a local name has
// no edit copy).
void requireNoEditAt(CLocalFileManager *cache, qint32 folderId, const QString &name)
{
    SFileStates edit;
    if (cache && cache->QueryEditCopy(folderId, name, SFileStates::Exists, edit) && edit.exists)
        throw CBizOsException(OsError::LockViolation, name);
}

QString nameOfPath(const QString &path)
{
    return path.startsWith(u'/') ? path.mid(1) : path;
}

} // namespace

bool CSharedFileManager::AddFile(qint32 folderId, const QString &localPath, const QString &name,
                                 CSharedFileRecord &stored, bool *skipped)
{
    if (skipped)
        *skipped = false;
    if (!m_loginManager)
        return false;
    const CUserRecord *user = m_loginManager->currentUser();
    const CWorkspaceRecord *folder
        = sharedFolders() ? sharedFolders()->FindById(folderId) : nullptr;
    const bool overwrite = user
                           && (folder && folder->isDataBox ? user->privFileOverwriteDataBox
                                                           : user->privFileOverwrite);
    const QString path = u'/' + name;
    if (overwrite) {
        // The same content under the same name needs no upload. The list only says where
        // to look; the service's record decides, so a file deleted meanwhile is sent again.
        const auto *listed = dynamic_cast<const CSharedFileRecord *>(list().Find(folderId, path));
        if (listed && !listed->digest.isEmpty()
            && DigestEquals(Md5HexOfFile(localPath), listed->digest)) {
            CExceptHandler held;
            CSharedFileRecord current;
            if (GetFileInfo(folderId, path, current, &held)
                && DigestEquals(current.digest, listed->digest)) {
                stored = current;
                if (skipped)
                    *skipped = true;
                return true;
            }
        }
    }
    requireFree(localPath);
    CFileCreateRequest create(m_loginManager->accessKey(), folderId, path, localPath, &stored, 0,
                              progress());
    if (!create.ExecutePost())
        return false;
    if (!m_local)
        return true;
    // The added content is what the service holds now: the cache keeps it, except over an
    // edit of this client, which stays for its own send.
    const QString storedName = stored.FileName();
    try {
        CBizProgressAttach attach(*m_local, nullptr);
        const CLocalFileRecord *local = m_local->EnsureRecord(folderId, storedName);
        if (local && local->lockedByMe)
            return true;
        m_local->AddOrReplaceLocal(folderId, storedName, localPath, std::nullopt,
                                   m_local->CachePath(folderId, storedName), nullptr);
        m_local->KeepHistory(folderId, storedName, m_local->CachePath(folderId, storedName));
        if (m_loginManager->deleteCache())
            m_local->DeleteLocal(folderId, storedName);
    } catch (const CBizException &e) {
        qCInfo(lcFileRecords) << "added file not cached, kind" << e.Kind();
    }
    return true;
}

bool CSharedFileManager::DownloadFile(const CSharedFileRecord &record, const QString &destination,
                                      bool fromEditCopy)
{
    if (!m_loginManager || !m_local)
        return false;
    const qint32 folderId = record.workspaceId;
    const QString name = record.FileName();
    CBizProgressAttach attach(*m_local, progress());
    const CLocalFileRecord *local = m_local->EnsureRecord(folderId, name);
    SFileStates stored;
    if (local) {
        m_local->QueryFile(local->storedPath, SFileStates::InUse | SFileStates::Digest, stored,
                           record.digest);
        if (stored.exists && stored.inUse)
            throw CBizOsException(OsError::SharingViolation, stored.path);
    }
    if (stored.exists && stored.digestEqual && (fromEditCopy || !local->lockedByMe))
        return m_local->CopyOut(folderId, name, destination);
    if (local && local->lockedByMe) {
        // The stored copy is this client's edit: the service's content goes to the
        // destination only (into a folder made as a copy-out would make it).
        CreateFolders(destination, true);
        CFileGetRequest get(m_loginManager->accessKey(), folderId, record.path, record.digest,
                            destination, 0, progress());
        return get.ExecuteGet() != 0;
    }
    if (!BringIntoCache(record) || !m_local->CopyOut(folderId, name, destination))
        return false;
    if (m_loginManager->deleteCache())
        DropLocal(folderId, name);
    return true;
}

bool CSharedFileManager::MoveFile(const CSharedFileRecord &current, qint32 dstFolderId,
                                  const QString &dstName, CSharedFileRecord &moved)
{
    if (!m_loginManager)
        return false;
    const qint32 folderId = current.workspaceId;
    const QString name = current.FileName();
    const CLocalFileRecord *local = m_local ? m_local->EnsureRecord(folderId, name) : nullptr;
    requireNotOutForEditing(local, name);
    if (dstFolderId != folderId || dstName != name)
        requireNoEditAt(m_local, dstFolderId, dstName);
    if (local)
        requireFree(local->storedPath);
    CFileMoveRequest move(m_loginManager->accessKey(), folderId, current.path, dstFolderId,
                          u'/' + dstName, &moved, nullptr, progress());
    if (!move.ExecutePost())
        return false;
    if (local) {
        // The copy follows the file; one that cannot is found stale by the next scan.
        try {
            const QString newName = nameOfPath(moved.path);
            m_local->MoveLocal(folderId, name, dstFolderId, newName == name ? QString() : newName);
        } catch (const CBizException &e) {
            qCInfo(lcFileRecords) << "local copy did not follow the move, kind" << e.Kind();
        }
    }
    return true;
}

bool CSharedFileManager::CopyFile(const CSharedFileRecord &current, qint32 dstFolderId,
                                  const QString &dstName, CSharedFileRecord &copied)
{
    if (!m_loginManager)
        return false;
    requireNoEditAt(m_local, dstFolderId, dstName);
    CFileCopyRequest copy(m_loginManager->accessKey(), current.workspaceId, current.path,
                          dstFolderId, u'/' + dstName, &copied, nullptr, progress());
    return copy.ExecutePost() != 0;
}

bool CSharedFileManager::DeleteFile(const CSharedFileRecord &current)
{
    if (!m_loginManager)
        return false;
    const qint32 folderId = current.workspaceId;
    const QString name = current.FileName();
    const CLocalFileRecord *local = m_local ? m_local->EnsureRecord(folderId, name) : nullptr;
    requireNotOutForEditing(local, name);
    if (local)
        requireFree(local->storedPath);
    CFileDeleteRequest remove(m_loginManager->accessKey(), folderId, current.path, nullptr,
                              progress());
    if (!remove.ExecutePost())
        return false;
    if (local)
        DropLocal(folderId, name);
    return true;
}

bool CSharedFileManager::EditTransaction(const CSharedFileRecord &current,
                                         const CDateTimeValue &date, std::optional<qint64> amount,
                                         const QString &counterparty)
{
    if (!m_loginManager)
        return false;
    CFileVoucherCreateRequest voucher(m_loginManager->accessKey(), current.workspaceId,
                                      current.path, date, amount, counterparty, nullptr,
                                      progress());
    return voucher.ExecutePost() != 0;
}
