#include "FileManager.h"

#include "FilePrepare.h"
#include "FileTypeManager.h"

CFileManager::CFileManager(CLoginManager *loginManager, CWorkspaceManager *folders,
                           CFileTypeManager *fileTypes)
    : CHasLoginManager(loginManager)
    , m_folders(folders)
    , m_fileTypes(fileTypes)
    , m_list(std::make_unique<CFileList>(true))
{}

CFileManager::~CFileManager() = default;

void CFileManager::Prepare(CFileRecord &record, bool)
{
    record.Derive();
    ApplyFileType(record, m_fileTypes ? &m_fileTypes->rawList() : nullptr);
}

void CFileManager::ReplaceList(std::unique_ptr<CFileList> list, bool withHistory)
{
    m_list = std::move(list);
    AfterLoad(withHistory);
}

void CFileManager::AfterLoad(bool withHistory)
{
    m_filesPerFolder.clear();
    CBizProgressHandler *handler = progress();
    const bool ranged = handler && handler->total() > 0;
    for (CFileRecord *record : *m_list) {
        Prepare(*record, withHistory);
        if (!record->IsFolderEntry())
            m_filesPerFolder[record->workspaceId] += 1;
        if (ranged)
            ProgressStep();
        else
            ProgressContinue();
    }
}
