#pragma once

#include "WorkspaceRecord.h"

#include "account/HasLoginManager.h"

#include <QString>

#include <optional>

// What the service's folder manager and the local mirror have in common: the owned folder
// list of one login, its lookups and tree walks. The shared side fills the list from the
// service, the local side from the disk.
//
// Used on the user-interface thread only.
class CWorkspaceManager : public CHasLoginManager
{
public:
    explicit CWorkspaceManager(CLoginManager *loginManager);
    ~CWorkspaceManager() override;

    // The folder of that id, or none. The local manager mirrors a folder the service knows
    // on demand.
    virtual CWorkspaceRecord *FindById(qint32 id);
    // Gives the folder a new name in the list (the record and the chains of its subtree).
    // folderStyle, when given, is the service's form of the colour (FolderStyleToService).
    // The local manager renames the folder's directory as well. False when the folder is
    // unknown or the rename failed.
    virtual bool PropagateName(qint32 id, const QString &newName,
                               std::optional<qint32> folderStyle = std::nullopt);
    // Replaces the list: from the service or from the disk.
    virtual bool Load() = 0;

    // The list (tree pre-order). The object stays the same for the manager's life; its
    // records are replaced by each Load, so pointers into it last until the next Load.
    CWorkspaceList &list() { return m_list; }
    const CWorkspaceList &list() const { return m_list; }

    // Lookups of the list (see CWorkspaceList).
    CWorkspaceRecord *FirstChild(qint32 id) const { return m_list.FirstChild(id); }
    CWorkspaceRecord *NextSibling(const CWorkspaceRecord *record) const
    {
        return m_list.NextSibling(record);
    }
    QList<CWorkspaceRecord *> Children(qint32 id) const { return m_list.Children(id); }
    CWorkspaceRecord *ChildByName(qint32 id, const QString &name) const
    {
        return m_list.ChildByName(id, name);
    }
    int SubtreeDepth(qint32 id) const { return m_list.SubtreeDepth(id); }
    bool IsFolderGroup(const CWorkspaceRecord *record) const
    {
        return m_list.IsFolderGroup(record);
    }
    void Search(qint32 id, const QString &text, CWorkspaceRefList &result) const
    {
        m_list.Search(id, text, result);
    }

protected:
    CWorkspaceList m_list;
};
