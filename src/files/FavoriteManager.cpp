#include "FavoriteManager.h"

#include "FileRecord.h"
#include "FilesLog.h"
#include "ServiceRequests.h"

#include "account/LoginManager.h"
#include "core/Messages.h"
#include "folders/WorkspaceRecord.h"

CFavoriteManager::CFavoriteManager(CLoginManager *loginManager, FolderLookup findFolder,
                                   CurrentList currentList)
    : CHasLoginManager(loginManager)
    , m_findFolder(std::move(findFolder))
    , m_currentList(std::move(currentList))
{}

bool CFavoriteManager::AddFavorite(qint32 folderId, const QString &path)
{
    CFavoriteCreateRequest request(m_loginManager->accessKey(), folderId, path, progress());
    return request.ExecutePost() != 0;
}

bool CFavoriteManager::RemoveFavorite(qint32 folderId, const QString &path)
{
    CFavoriteDeleteRequest request(m_loginManager->accessKey(), folderId, path, progress());
    return request.ExecutePost() != 0;
}

qint32 CFavoriteManager::CountFavorites(CBizProgressHandler *handler)
{
    CBizProgressAttach attach(*this, handler);
    m_count = 0;
    try {
        CFavoriteCountRequest request(m_loginManager->accessKey(), progress());
        if (request.ExecuteGet())
            m_count = request.count();
    } catch (const CBizException &e) {
        // The count only sizes a progress range and guards the limit: no message for it.
        qCInfo(lcFileRecords) << "favourite count failed, kind" << e.Kind();
        m_count = 0;
    }
    return m_count;
}

bool CFavoriteManager::GetFavoriteInfo(qint32 folderId, const QString &path,
                                       CSharedFileRecord &record, CFaultDetails *details)
{
    CFavoriteInfoRequest request(m_loginManager->accessKey(), folderId, path, &record, m_findFolder,
                                 progress());
    if (details)
        request.SetFaultDetails(details);
    return request.ExecuteGet() != 0;
}

bool CFavoriteManager::ListFavorites(int sortIndex, bool descending, CSharedFileList &list)
{
    list.RemoveAll();
    CFavoriteListRequest request(m_loginManager->accessKey(), sortIndex, descending, &list,
                                 m_findFolder, progress());
    return request.ExecuteGet() != 0;
}

bool CFavoriteManager::ChangeAndMark(qint32 folderId, const QString &path, bool add)
{
    if (!(add ? AddFavorite(folderId, path) : RemoveFavorite(folderId, path)))
        return false;
    Mark(folderId, path, add);
    return true;
}

void CFavoriteManager::Mark(qint32 folderId, const QString &path, bool value)
{
    CWorkspaceRecord *folder = m_findFolder ? m_findFolder(folderId) : nullptr;
    QString key;
    if (!path.isEmpty()) {
        key = FileKey(folderId, path);
    } else {
        // A folder's entry is the subfolder entry under its parent.
        const qint32 parent = folder && folder->pathIds.size() >= 2
                                  ? folder->pathIds.at(folder->pathIds.size() - 2)
                                  : 0;
        key = FileKey(parent, QStringLiteral("%1").arg(quint32(folderId), 8, 16, QLatin1Char('0')));
    }
    CFileList *list = m_currentList ? m_currentList() : nullptr;
    CFileRecord *entry = list ? list->Lookup(key) : nullptr;
    // A subfolder entry shows its own mark (its star) and keeps the folder's in step.
    if (entry) {
        entry->isFavorite = value;
        if (entry->IsFolderEntry())
            entry->folderItem->isFavorite = value;
    } else if (folder) {
        folder->isFavorite = value;
    }
}

bool CFavoriteManager::CheckLimit(int rows, CBizProgressHandler *handler)
{
    const CUserRecord *user = m_loginManager ? m_loginManager->currentUser() : nullptr;
    const qint32 limit = user ? user->maxFavoriteCount : CUserRecord().maxFavoriteCount;
    if (qint64(rows) + CountFavorites(handler) <= limit)
        return true;
    ShowErrorMessage(18243, limit);
    return false;
}
