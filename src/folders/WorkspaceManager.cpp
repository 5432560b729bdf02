#include "WorkspaceManager.h"

#include "FoldersLog.h"

Q_LOGGING_CATEGORY(lcFolders, "velquor.folders")

CWorkspaceManager::CWorkspaceManager(CLoginManager *loginManager)
    : CHasLoginManager(loginManager)
{}

CWorkspaceManager::~CWorkspaceManager() = default;

CWorkspaceRecord *CWorkspaceManager::FindById(qint32 id)
{
    return m_list.FindById(id);
}

bool CWorkspaceManager::PropagateName(qint32 id, const QString &newName,
                                      std::optional<qint32> folderStyle)
{
    CWorkspaceRecord *record = m_list.FindById(id);
    if (!record)
        return false;
    if (folderStyle)
        record->folderStyle = FolderStyleFromService(*folderStyle);
    m_list.PropagateName(id, newName);
    return true;
}
