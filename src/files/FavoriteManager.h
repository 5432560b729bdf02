#pragma once

#include "FileParsers.h"

#include "account/HasLoginManager.h"

#include <QString>

#include <functional>

class CBizProgressHandler;
class CFileList;
class CSharedFileList;
class CSharedFileRecord;
class CWorkspaceRecord;

// The user's favourite folders and files on the service. A favourite is a folder id and a
// path: the id alone (empty path) names a folder. In the favourites view every favourite is
// a shared file record: a file entry, or a subfolder entry of the favourite folder.
//
// Owned by the shared file manager, which hands it the folder tree lookup and its current
// list (both not owned). Faults raise CRequestException unless said otherwise.
class CFavoriteManager : public CHasLoginManager
{
public:
    using FolderLookup = std::function<CWorkspaceRecord *(qint32)>;
    // The list shown now: the shared file manager replaces it with every load.
    using CurrentList = std::function<CFileList *()>;

    CFavoriteManager(CLoginManager *loginManager, FolderLookup findFolder, CurrentList currentList);

    bool AddFavorite(qint32 folderId, const QString &path);
    bool RemoveFavorite(qint32 folderId, const QString &path);
    // The number of favourites; any failure, fault included, answers 0 without a message.
    qint32 CountFavorites(CBizProgressHandler *progress = nullptr);
    qint32 lastCount() const { return m_count; }
    // The favourite's record; with a details table the faults 70006, 70002 and 70005 fill
    // it instead of raising.
    bool GetFavoriteInfo(qint32 folderId, const QString &path, CSharedFileRecord &record,
                         CFaultDetails *details = nullptr);
    // Empties the list, then fills it with the favourites in the given order.
    bool ListFavorites(int sortIndex, bool descending, CSharedFileList &list);

    // Adds or removes the favourite, then marks it in the current list (or, without an
    // entry, on its folder record): a file by its key, a folder by its subfolder entry under
    // its parent (0 for a top-level folder).
    bool ChangeAndMark(qint32 folderId, const QString &path, bool add);

    // Whether rows more favourites stay within the user's limit (maxFavoriteCount, counted
    // on the service); otherwise 18243 is shown with the limit and the answer is false.
    bool CheckLimit(int rows, CBizProgressHandler *progress = nullptr);

private:
    void Mark(qint32 folderId, const QString &path, bool value);

    FolderLookup m_findFolder;
    CurrentList m_currentList;
    qint32 m_count = 0;
};
