#pragma once

#include "store/DateTimeValue.h"
#include "store/Record.h"
#include "store/TypedLists.h"

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

// Folder ids of the user interface that are not folders of the service.
namespace FolderId {
// The root node "<全てのフォルダ>": no record, never found in a list.
constexpr qint32 AllFolders = 0;
// The favourites view "お気に入り".
constexpr qint32 Favorites = -1;
} // namespace FolderId

// Display names of the two pseudo-folders.
QString AllFoldersName(); // "<全てのフォルダ>"
QString FavoritesName();  // "お気に入り"

// Colour index of a folder as the service sends it and back: 200..209 are the DataBox
// colours (stored 20..29), 100..109 an older range (stored 10..19).
qint32 FolderStyleFromService(qint32 value);
qint32 FolderStyleToService(qint32 stored);

// One folder of the service ("workspace"), or of the local mirror.
//
// Besides its own attributes it carries the chain of folders from the top-level folder down
// to itself, so that depth, ancestry and the local directory follow without walking the
// tree. Invariants kept by the setters and the parsers: pathIds ends with id, pathNames has
// the same length and ends with name.
class CWorkspaceRecord : public CRecord
{
public:
    CWorkspaceRecord() = default;
    // From a chain (top level first): id and name are its last elements (0 and empty for an
    // empty chain). readOnly is 0 for records built from the disk.
    CWorkspaceRecord(const QList<qint32> &ids, const QStringList &names, bool readOnly);
    // The chain of another record.
    CWorkspaceRecord(const CWorkspaceRecord &pathOf, bool readOnly);
    CWorkspaceRecord(const CWorkspaceRecord &) = default;
    CWorkspaceRecord &operator=(const CWorkspaceRecord &) = default;
    ~CWorkspaceRecord() override = default;

    bool IsEmpty() const override { return id == 0; }
    void Clear() override;

    // Sets name and the last element of pathNames.
    void SetName(const QString &newName);
    // Makes the chain end with id and pathNames match pathIds in length (the last name is
    // name). A chain that does not end with the folder itself gets it appended; an empty one
    // becomes [id].
    void NormalizePath();

    // Number of elements of pathIds; a top-level folder has depth 1.
    int Depth() const { return int(pathIds.size()); }
    // The id of the parent folder, 0 for a top-level folder.
    qint32 ParentId() const { return pathIds.size() >= 2 ? pathIds.at(pathIds.size() - 2) : 0; }
    // A top-level folder (フォルダグループ): its own id is the first of its chain.
    bool IsFolderGroup() const { return !pathIds.isEmpty() && pathIds.first() == id; }
    // True when id is this folder or one of its ancestors.
    bool HasInPath(qint32 folderId) const { return pathIds.contains(folderId); }
    // pathNames joined with "/" (no leading "/"): "経理/2024".
    QString DisplayPath() const;

    qint32 id = 0;
    QString name;
    qint32 folderStyle = 0;
    qint32 isDataBox = 0;
    qint32 isFavorite = 0;
    qint32 readOnly = 0;
    QString updateName;
    CDateTimeValue updateTime;
    QString comment;
    QList<qint32> pathIds;
    QStringList pathNames;
    qint32 sortIndex = -1;
};

// A non-owning list of folders (search results, the folder lists of dialogs).
class CWorkspaceRefList : public CBizTypedPtrRefList<CWorkspaceRecord>
{};

// The owning folder list of one login, keyed by folder id, in tree pre-order: every folder
// follows its parent and a folder's whole subtree follows it before its next sibling.
// Clearing or destroying the list deletes its records.
//
// Tree walks rely on the order and on consistent chains; ArrangeTreeOrder establishes both
// after a load. Records whose parent is not in the list (a tree cut short) are kept at the
// end, found by id but outside every walk.
class CWorkspaceList : public CBizTypedPtrMapList<qint32, CWorkspaceRecord>
{
    using Base = CBizTypedPtrMapList<qint32, CWorkspaceRecord>;

public:
    CWorkspaceList()
        : Base(true)
    {}

    CWorkspaceRecord *FindById(qint32 id) const;
    // Appends the record and indexes it under its id; an existing record of that id is
    // removed (and deleted) first, so the list never holds two records of one id.
    CWorkspaceRecord *Add(std::unique_ptr<CWorkspaceRecord> record);
    // Add for a tree that is kept in tree order: the record is appended now and the list
    // arranged (ArrangeTreeOrder) before the next walk, so that adding many folders one by
    // one costs one arrangement.
    CWorkspaceRecord *AddInTree(std::unique_ptr<CWorkspaceRecord> record);
    // Unlinks and deletes the record of that id (its subtree stays). False when absent.
    bool RemoveById(qint32 id);
    // Removes the record and every record of its subtree. Answers how many went.
    int RemoveSubtree(qint32 id);

    // id <= 0: the first record (the first top-level folder). Otherwise the record after the
    // folder when it is one level deeper and a child of it; none for a folder without
    // children.
    CWorkspaceRecord *FirstChild(qint32 id) const;
    // The next record of the same depth with the same parent, past the record's
    // descendants; none at the first shallower record or a record of another parent.
    CWorkspaceRecord *NextSibling(const CWorkspaceRecord *record) const;
    // The direct children of a folder (id <= 0: the top-level folders) in list order.
    QList<CWorkspaceRecord *> Children(qint32 id) const;
    // The direct child of the folder whose name equals name ignoring letter case only.
    CWorkspaceRecord *ChildByName(qint32 id, const QString &name) const;
    // The largest (depth - 1) over the records whose chain holds id; 0 when none.
    int SubtreeDepth(qint32 id) const;
    bool IsFolderGroup(const CWorkspaceRecord *record) const
    {
        return record && record->IsFolderGroup();
    }
    // Sets, in the folder and every record of its subtree, the name at the folder's
    // position of the chain.
    void PropagateName(qint32 id, const QString &newName);
    // Refreshes every pathNames from the names of the folders in the list: the last element
    // from the record's own name, earlier ones from the listed ancestors (others stay).
    void RefreshPathNames();
    // Fills the chain names of one record from the listed ancestors.
    void RefreshPathNames(CWorkspaceRecord *record) const;

    // Fills result (cleared first):
    //  id 0, empty text: every record;
    //  id given, empty text: the folder's ancestors, then its subtree;
    //  text given: the records of that scope whose chain names contain the text (loose
    //  comparison) each add the folders of their chain from the matched position on, once.
    void Search(qint32 id, const QString &text, CWorkspaceRefList &result) const;

    // Stable pre-order: each folder directly followed by its subtree, siblings in their
    // current relative order. A record joins its parent only when the parent is listed one
    // level higher with the same chain prefix; the others go to the end in their order.
    void ArrangeTreeOrder();
    // The local mirror's order: names along the chains under the loose comparison, then
    // ids, ancestors first; records that both carry a sortIndex keep that order. Stable.
    void SortByName();
    // sortIndex = 0, 1, 2, ... in list order.
    void NumberRecords();

    // Position of the record in the list, -1 when absent. Constant time after the first
    // call following a change.
    qsizetype PositionOf(const CWorkspaceRecord *record) const;

private:
    // Arranges a list that AddInTree left out of order.
    void EnsureTreeOrder() const;

    mutable QHash<const CWorkspaceRecord *, qsizetype> m_positions;
    bool m_orderPending = false;
};
