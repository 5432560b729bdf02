#pragma once

#include "FileRecord.h"

#include "account/HasLoginManager.h"

#include <QHash>

#include <memory>

class CFileTypeManager;
class CWorkspaceManager;

// What the service's file list and the local cache have in common: the current list of one
// view (owned, replaced as a whole by each load), the derivation of every entry's client
// fields, and the number of files per folder of the last load.
//
// Used on the user-interface thread only.
class CFileManager : public CHasLoginManager
{
public:
    CFileManager(CLoginManager *loginManager, CWorkspaceManager *folders,
                 CFileTypeManager *fileTypes);
    ~CFileManager() override;

    // Derives the record's client fields. The base: names and extension, the file type.
    virtual void Prepare(CFileRecord &record, bool withHistory);
    // Replaces the list by the folder's (or, recursive, the subtree's) entries and derives
    // them. folderId may change: the service sends a folder that went to the root.
    virtual bool LoadList(qint32 &folderId, bool recursive, bool verify) = 0;

    CFileList &list() { return *m_list; }
    const CFileList &list() const { return *m_list; }
    CWorkspaceManager *folders() const { return m_folders; }
    CFileTypeManager *fileTypes() const { return m_fileTypes; }
    // Files (not subfolder entries) of a folder in the current list.
    int FileCountOf(qint32 folderId) const { return m_filesPerFolder.value(folderId); }

protected:
    // Takes a freshly loaded list, then re-derives it: clears the per-folder counts, runs
    // Prepare on every entry, counts the files per folder and steps the progress once per
    // entry (or only keeps the window alive when no range is set).
    void ReplaceList(std::unique_ptr<CFileList> list, bool withHistory);
    void AfterLoad(bool withHistory);

    CWorkspaceManager *m_folders;  // not owned
    CFileTypeManager *m_fileTypes; // not owned
    std::unique_ptr<CFileList> m_list;
    QHash<qint32, int> m_filesPerFolder;
};
