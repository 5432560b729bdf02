#pragma once

#include "FileCommentRecord.h"

#include "account/HasLoginManager.h"

#include <QString>

#include <memory>

class CFileList;
class CSharedFileRecord;

// The comments of files: what both sides share (the texts the editors and the information
// line show); the local side keeps the pending edits, the online side registers them.
class CFileCommentManager : public CHasLoginManager
{
public:
    explicit CFileCommentManager(CLoginManager *loginManager);
    ~CFileCommentManager() override;

    // "コメント(%s)" with the update time as "%y/%m/%d %H:%M"; the updater's display name
    // follows when the updater is not the signed-in user (userId). A pending edit shows its
    // own time and updater.
    static QString InfoLabel(const CSharedFileRecord &record, qint32 userId);
    // "コメント(%d行)": the lines of the text (an empty text has none).
    static QString LineCountLabel(const QString &text);
    // "コメント残り%d文字(%d/%d)": what is left of limit, the length, the limit.
    static QString RemainingLabel(const QString &text, int limit);
    // The signed-in user's maxFileCommentLength (the default without a user).
    int maxLength() const;
};

// The pending comment edits of the signed-in login, kept in comments.vqr until the service
// has them. The list owns its records; file entries point at them (pendingComment), so a
// record keeps its address while it is pending: storing again changes it in place.
class CLocalFileCommentManager : public CFileCommentManager
{
public:
    explicit CLocalFileCommentManager(CLoginManager *loginManager);
    ~CLocalFileCommentManager() override;

    // Stores record as the pending comment of its file (replacing the text and updater of one
    // already pending). Answers the stored record.
    CFileCommentRecord *StorePending(const CFileCommentRecord &record);
    CFileCommentRecord *FindPending(qint32 folderId, const QString &path) const;
    // Removes (and deletes) the pending comment; false when there was none. Entries that point
    // at it must have let go of it.
    bool RemovePending(qint32 folderId, const QString &path);
    const CFileCommentList &pending() const { return *m_pending; }

    // comments.vqr of the signed-in login; empty without a sign-in. A path set with
    // SetStatePath wins.
    QString StatePath() const;
    void SetStatePath(const QString &path) { m_statePath = path; }

    // Reads comments.vqr into the pending list (replacing it). No file: an empty list, true.
    // A damaged file shows 17956, is deleted and leaves the list empty (false).
    bool Load();
    // Writes the pending list to comments.vqr through a temporary file renamed into place,
    // so a failed or interrupted write keeps the previous file. Nothing pending removes the
    // file. Raises CBizFileException when it cannot be written.
    bool Save() const;

    // The archive form: the count, then per record the file key, text, updater id, name,
    // display name and update time.
    QByteArray Encode() const;
    // Raises CBizArchiveException for malformed data (the list is left untouched then).
    void Decode(const QByteArray &data, const QString &path = {});

private:
    std::unique_ptr<CFileCommentList> m_pending;
    QString m_statePath;
};

// The online side: registers pending comments with the service.
class CSharedFileCommentManager : public CFileCommentManager
{
public:
    CSharedFileCommentManager(CLoginManager *loginManager, CLocalFileCommentManager *local);
    ~CSharedFileCommentManager() override;

    CLocalFileCommentManager *local() const { return m_local; }

    // A pending comment of the file from the text the user confirmed, updated by the
    // signed-in user now.
    CFileCommentRecord *StorePending(qint32 folderId, const QString &path, const QString &text);
    // Sends the file's pending comment with the comment create request. None pending: false,
    // nothing sent. Sent: the pending one is removed and answered holds what the service
    // stored. A refusal raises its fault and the comment stays pending.
    bool SendPending(qint32 folderId, const QString &path, CFileCommentRecord &answered);
    // Points every file entry of list that has a pending comment at it (and the others at
    // none). Answers the number attached.
    int AttachPending(CFileList &list) const;

private:
    CLocalFileCommentManager *m_local; // not owned
};
