#pragma once

#include "FileKey.h"
#include "store/DateTimeValue.h"
#include "store/Record.h"
#include "store/TypedLists.h"

#include <QString>

#include <optional>

class CWorkspaceRecord;
class CFileCommentRecord;

// Column kinds of the file list whose order a record may decide (the numbers are the list
// control's column kinds).
enum class EFileCompareHook {
    FolderName = 0,
    FileName = 1,
    AppName = 2,
    Status = 3,
    UpdateTime = 7,
    UpdateName = 8,
    FileComment = 9,
};

// Status texts of a file entry.
namespace FileStatusText {
QString Unsent();                         // "未送信": locked by this client's key
QString InUse(const QString &holderName); // "使用中（%s）", or "使用中" without a name
QString ViewOnly();                       // "閲覧のみ": a cached file seen offline
// The status of a shared file: empty when free, Unsent for this client's key (exact
// comparison), otherwise InUse with the holder's display name.
QString ForLock(const QString &lockKey, const QString &lockDispName, const QString &clientKey);
} // namespace FileStatusText

// One entry of a file list: a file, or a subfolder entry (folderItem set, path = the
// folder id as "%08x"). Service attributes plus what the client derives from them.
class CFileRecord : public CRecord
{
public:
    CFileRecord() = default;
    ~CFileRecord() override = default;

    bool IsEmpty() const override { return path.isEmpty(); }
    void Clear() override { path.clear(); }

    // Column comparison hooks: negative, 0 or positive when decided, nullopt when the list
    // control has to compare the two entries by their own fields. The base decides nothing.
    virtual std::optional<int> CompareHook(EFileCompareHook hook, const CFileRecord &other) const;

    // baseName and extension from path (a subfolder entry: the folder's name, no extension).
    virtual void Derive();
    // Copies every field of a record of the same kind.
    virtual void CopyFrom(const CFileRecord &other);

    QString Key() const { return FileKey(workspaceId, path); }
    bool IsFolderEntry() const { return folderItem != nullptr; }
    // The name as the service knows it: path without the leading "/".
    QString FileName() const;

    // Attaches the folder that holds the file: workspaceId and folderPath follow it.
    void SetFolder(CWorkspaceRecord *record);
    // Makes this a subfolder entry for record (none: an empty entry).
    void SetFolderItem(CWorkspaceRecord *record);

    CWorkspaceRecord *folder = nullptr; // not owned
    QString folderPath;
    CWorkspaceRecord *folderItem = nullptr; // not owned
    qint32 workspaceId = 0;
    QString path;
    quint32 size = 0;
    qint32 pathLength = 0;
    bool isFavorite = false;
    qint32 reserved = 0; // free for a per-row value of the user interface
    QString baseName;
    QString extension;
    qint32 fileTypeId = 0;
    QString productName;
    QString statusText;
    bool lockedByMe = false;
    bool readOnlyView = false;
    bool hasHistory = false;
    bool viewOnlyType = false;
};

// What a scan of the local cache found about the file's cached copy.
enum class ELocalCopy {
    Unchecked, // not compared (no cache copy, not verified)
    Current,   // the cached copy's digest is the service's
    Stale,     // the service has newer content
};

// A file of the service.
class CSharedFileRecord : public CFileRecord
{
public:
    std::optional<int> CompareHook(EFileCompareHook hook, const CFileRecord &other) const override;
    void CopyFrom(const CFileRecord &other) override;

    // The comment shown and sorted: the pending local edit when one is attached.
    QString DisplayComment() const;

    QString digest;
    qint32 updateId = 0;
    QString updateName;
    QString updateDispName;
    CDateTimeValue updateTime;
    QString lockKey;
    qint32 lockId = 0;
    QString lockDispName;
    CDateTimeValue transactionDate;
    QString transactionName;
    qint64 transactionAmount = 0;
    bool amountBlank = true;
    QString comment;
    qint32 commentUpdateId = 0;
    QString commentUpdateDispName;
    CDateTimeValue commentUpdateTime;
    CFileCommentRecord *pendingComment = nullptr; // not owned
    ELocalCopy localCopy = ELocalCopy::Unchecked; // set by the scan of the cache
};

// A file of the local cache seen offline.
class CLocalFileRecord : public CFileRecord
{
public:
    // The base derivation, then the offline status: "未送信" for an unsent edit
    // (lockedByMe), otherwise "閲覧のみ" and read-only; subfolder entries get neither.
    void Derive() override;
    void CopyFrom(const CFileRecord &other) override;

    QString storedPath; // the ".vqrca" cache copy, or the ".vqred" edit copy while out
};

// Lists keyed by FileKey. The managers' lists own their records.
class CFileList : public CBizTypedPtrMapList<QString, CFileRecord>
{
public:
    explicit CFileList(bool ownsElements = true)
        : CBizTypedPtrMapList(ownsElements)
    {}
    // Appends record under its key; an entry with the same key is removed first (deleted
    // when the list owns it).
    CFileRecord *Replace(CFileRecord *record);
    CFileRecord *Replace(std::unique_ptr<CFileRecord> record);
    CFileRecord *Find(qint32 folderId, const QString &path) const
    {
        return Lookup(FileKey(folderId, path));
    }
};

class CSharedFileList : public CFileList
{
public:
    using CFileList::CFileList;
    CSharedFileRecord *SharedAt(qsizetype index) const
    {
        return static_cast<CSharedFileRecord *>(At(index));
    }
};

class CLocalFileList : public CFileList
{
public:
    using CFileList::CFileList;
};

using CFileRefList = CBizTypedPtrRefList<CFileRecord>;

// The column order of two entries: the record's hook first; then subfolder entries ahead
// of files (in folder order) whatever the column; then the entries' own fields
// (names under the loose name comparison, sizes as unsigned numbers, times as times).
// Answers 0 for kinds the list does not sort by.
int CompareFileColumn(const CFileRecord &a, const CFileRecord &b, int columnKind);

// "path" split into name without extension and extension with its dot ("" for none). A
// leading dot alone (".profile") is a name, not an extension.
void SplitFileName(const QString &path, QString *baseName, QString *extension);
