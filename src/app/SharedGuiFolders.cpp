// The folder operations of the online view: create, rename and recolour, move, copy the
// structure, delete, the question before a delete and the placement check of the move and
// copy dialogs. The shared folder manager runs the requests and keeps the mirror in step;
// here are the checks before them and what the cache must forget afterwards.

#include "SharedGuiSystem.h"

#include "account/LoginManager.h"
#include "account/UserRecord.h"
#include "core/BizFormat.h"
#include "core/Messages.h"
#include "files/FavoriteManager.h"
#include "files/FileRecord.h"
#include "files/LocalFileManager.h"
#include "files/SharedFileManager.h"
#include "folders/LocalWorkspaceManager.h"
#include "folders/SharedWorkspaceManager.h"
#include "folders/WorkspaceRecord.h"
#include "service/RequestException.h"
#include "service/RequestGuard.h"
#include "store/IdPath.h"
#include "store/NameCheck.h"

#include <QLoggingCategory>

Q_DECLARE_LOGGING_CATEGORY(lcSystem)

namespace {

const QString kBelowItself
    = QStringLiteral("移動するフォルダ自身の下へ、移動することはできません。");

// The kinds named by 18252.
const QString kKindFolder = QStringLiteral("フォルダ");
const QString kKindDataBox = QStringLiteral("電子フォルダ");
const QString kKindBoth = QStringLiteral("フォルダと電子フォルダ");

// The ids of the folder and everything below it that the list knows.
void CollectSubtree(const CWorkspaceList &list, qint32 folderId, QList<qint32> &ids)
{
    for (const CWorkspaceRecord *r : list) {
        if (r->HasInPath(folderId) && !ids.contains(r->id))
            ids.append(r->id);
    }
}

} // namespace

template<typename F>
bool CSharedGuiSystem::FolderBoundary(F &&run)
{
    CExceptHandler handler;
    bool ok = false;
    try {
        ok = run();
    } catch (const CBizException &e) {
        handler.Set(e);
    }
    // The window shows the service's tree after any attempt, whatever became of it.
    m_treeReload = true;
    if (!handler.HasException())
        return ok;
    if (IsUserCancel(*handler.Exception(), progress()))
        qCInfo(lcSystem) << "folder operation cancelled by the user";
    else
        handler.ShowError();
    return false;
}

bool CSharedGuiSystem::RefetchFavoriteFolder(qint32 folderId)
{
    CSharedFileManager *files = sharedFiles();
    if (!files)
        return false;
    // A favourite folder is named by its id alone.
    CSharedFileRecord record;
    return Forward(files->favorites(), [&](CFavoriteManager &m) {
        return m.GetFavoriteInfo(folderId, QString(), record);
    });
}

bool CSharedGuiSystem::CheckNoLockedFiles(qint32 folderId)
{
    CSharedFileManager *files = sharedFiles();
    if (!files)
        return false;
    qint32 count = 0;
    // Every lock counts, this client's too: an edit not yet sent must not lose its place.
    if (!Forward(*files, [&](CSharedFileManager &m) {
            return m.CountFiles(folderId, true, true, QString(), nullptr, count);
        }))
        return false;
    if (count > 0) {
        qCInfo(lcSystem) << "folder" << folderId << "holds" << count << "locked files";
        ShowErrorMessage(17966);
        return false;
    }
    return true;
}

bool CSharedGuiSystem::CreateFolderOp(qint32 parentId, const QString &name, int colour,
                                      const QString &comment, bool dataBox, qint32 *newId)
{
    return FolderBoundary([&] {
        CSharedWorkspaceManager *folders = sharedWorkspaces();
        return folders && Forward(*folders, [&](CSharedWorkspaceManager &m) {
                   return m.CreateFolder(parentId, name, FolderStyleToService(colour), comment,
                                         dataBox, newId);
               });
    });
}

bool CSharedGuiSystem::RenameFolderOp(qint32 folderId, const QString &name, int colour,
                                      const QString &comment, bool applyBelow, bool nameUnchanged,
                                      bool fromFavorites)
{
    return FolderBoundary([&] {
        CSharedWorkspaceManager *folders = sharedWorkspaces();
        if (!folders)
            return false;
        if (fromFavorites && !RefetchFavoriteFolder(folderId))
            return false;
        // A new name moves the mirror directory that holds the edits; colour and comment
        // touch nothing local.
        if (!nameUnchanged && !CheckNoLockedFiles(folderId))
            return false;
        return Forward(*folders, [&](CSharedWorkspaceManager &m) {
            return m.UpdateFolder(folderId, name, FolderStyleToService(colour), comment,
                                  applyBelow);
        });
    });
}

bool CSharedGuiSystem::MoveFolderOp(qint32 folderId, qint32 dstParentId, bool fromFavorites)
{
    return FolderBoundary([&] {
        CSharedWorkspaceManager *folders = sharedWorkspaces();
        if (!folders)
            return false;
        if (fromFavorites && !RefetchFavoriteFolder(folderId))
            return false;
        if (!CheckNoLockedFiles(folderId))
            return false;
        if (!Forward(*folders, [&](CSharedWorkspaceManager &m) {
                return m.MoveFolder(folderId, dstParentId);
            }))
            return false;
        // The mirror moved the directory and dropped the records when it could; a record
        // still there names the old place and must not be found again.
        CLocalWorkspaceManager *mirror = folders->mirror();
        if (mirror && mirror->list().FindById(folderId)) {
            qCInfo(lcSystem) << "mirror record of moved folder" << folderId << "dropped";
            mirror->list().RemoveSubtree(folderId);
        }
        return true;
    });
}

bool CSharedGuiSystem::CopyFoldersOp(qint32 sourceId, qint32 dstParentId, const QString &newName,
                                     qint32 *newId)
{
    return FolderBoundary([&] {
        CSharedWorkspaceManager *folders = sharedWorkspaces();
        return folders && Forward(*folders, [&](CSharedWorkspaceManager &m) {
                   return m.CopyFolders(sourceId, dstParentId, newName, newId);
               });
    });
}

bool CSharedGuiSystem::DeleteFolderOp(qint32 folderId, bool fromFavorites)
{
    return FolderBoundary([&] {
        CSharedWorkspaceManager *folders = sharedWorkspaces();
        if (!folders)
            return false;
        if (fromFavorites && !RefetchFavoriteFolder(folderId))
            return false;
        // The subtree as known before the delete takes it from the lists.
        QList<qint32> ids{folderId};
        CollectSubtree(folders->list(), folderId, ids);
        if (CLocalWorkspaceManager *mirror = folders->mirror())
            CollectSubtree(mirror->list(), folderId, ids);
        if (!Forward(*folders,
                     [&](CSharedWorkspaceManager &m) { return m.DeleteFolder(folderId); }))
            return false;
        // The mirror directory went with its copies; the cache's records of them go too.
        CSharedFileManager *files = sharedFiles();
        if (CLocalFileManager *cache = files ? files->local() : nullptr) {
            for (qint32 id : std::as_const(ids)) {
                try {
                    cache->DeleteFolderLocals(id);
                } catch (const CBizException &e) {
                    qCWarning(lcSystem)
                        << "cache records of folder" << id << "not dropped, kind" << e.Kind();
                }
            }
        }
        return true;
    });
}

bool CSharedGuiSystem::ConfirmDeleteFolders(const QList<qint32> &folderIds)
{
    if (folderIds.isEmpty())
        return false;
    const CUserRecord *user = m_loginManager ? m_loginManager->currentUser() : nullptr;
    const bool mayDeleteFiles = user && user->privFileDelete;
    const bool mayDeleteDataBoxFiles = user && user->privFileDeleteDataBox;
    CSharedWorkspaceManager *folders = sharedWorkspaces();
    // The kinds of folder the selection takes with it, subfolders included.
    bool ordinary = false;
    bool dataBox = false;
    for (qint32 id : folderIds) {
        if (!folders)
            break;
        for (const CWorkspaceRecord *r : folders->list()) {
            if (r->HasInPath(id))
                (r->isDataBox ? dataBox : ordinary) = true;
        }
    }
    const bool keepsFiles = ordinary && !mayDeleteFiles;
    const bool keepsDataBoxFiles = dataBox && !mayDeleteDataBoxFiles;

    QString name;
    if (folderIds.size() > 1) {
        name = BizFormat(QStringLiteral("%d件"), {int(folderIds.size())});
    } else if (const CWorkspaceRecord *folder
               = folders ? folders->list().FindById(folderIds.first()) : nullptr) {
        name = folder->name;
    }
    int answer = IDNO;
    if (!keepsFiles && !keepsDataBoxFiles)
        answer = AskYesNo(18253, name);
    else
        answer = AskYesNo(18252, name,
                          keepsFiles && keepsDataBoxFiles ? kKindBoth
                          : keepsFiles                    ? kKindFolder
                                                          : kKindDataBox);
    return answer == IDYES;
}

bool CSharedGuiSystem::CheckFolderPlacement(qint32 folderId, qint32 dstParentId, bool copy)
{
    CSharedWorkspaceManager *folders = sharedWorkspaces();
    const CWorkspaceRecord *folder = folders ? folders->list().FindById(folderId) : nullptr;
    const CWorkspaceRecord *destination
        = folders && dstParentId > 0 ? folders->list().FindById(dstParentId) : nullptr;
    if (!folder || (dstParentId > 0 && !destination)) {
        ShowErrorMessage(18232);
        return false;
    }
    if (dstParentId == folderId || (destination && destination->HasInPath(folderId))) {
        ShowErrorMessage(kBelowItself);
        return false;
    }

    // The deepest folder of the subtree at its new place must stay within the limit, as
    // the service counts it (a folder group has depth 1); a copy takes the whole subtree
    // along just as a move does.
    const CUserRecord *user = m_loginManager ? m_loginManager->currentUser() : nullptr;
    const int limit = user ? user->maxFolderDepth : CUserRecord().maxFolderDepth;
    const int destinationDepth = destination ? destination->Depth() : 0;
    const int levelsBelow = folders->SubtreeDepth(folderId) - (folder->Depth() - 1);
    if (limit - 1 < destinationDepth + levelsBelow) {
        ShowErrorMessage(18242, limit);
        return false;
    }
    if (copy)
        return true;

    // The directory the mirror would move the folder to, built as the mirror builds it.
    CLocalWorkspaceManager *mirror = folders->mirror();
    if (!mirror)
        return true;
    const CWorkspaceRecord *localFolder = mirror->list().FindById(folderId);
    const QString folderName = localFolder ? localFolder->name : folder->name;
    QString destinationDir;
    if (destination) {
        const CWorkspaceRecord *localDestination = mirror->list().FindById(dstParentId);
        destinationDir = mirror->LocalFolderPath(localDestination ? localDestination : destination);
    } else {
        destinationDir = mirror->FolderRoot();
    }
    if (destinationDir.isEmpty() || !IsValidPathComponent(folderName))
        return true; // nothing of it can be mirrored: no local path to keep short
    const QString path = destinationDir + u'/' + EncodeIdName(folderId, folderName);
    if (path.size() > CLocalFileManager::MaxLocalPath) {
        ShowErrorMessage(18240, path, int(path.size()), CLocalFileManager::MaxLocalPath);
        return false;
    }
    return true;
}
