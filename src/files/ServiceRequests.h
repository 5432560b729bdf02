#pragma once

#include "FileParsers.h"

#include "service/Request.h"

#include <QString>

#include <functional>

class CSharedFileList;
class CSharedFileRecord;
class CFileTypeList;
class CFileCommentRecord;
class CWorkspaceRecord;

// Favourites, file types, file comments, notice counters and the application update.

// GET favorite/count.
class CFavoriteCountRequest : public CAccessKeyRequest
{
public:
    explicit CFavoriteCountRequest(const QString &accessKey,
                                   CBizProgressHandler *progress = nullptr)
        : CAccessKeyRequest(QStringLiteral("favorite/count"), accessKey, progress)
    {}
    qint32 count() const { return m_count; }

protected:
    int ParseResponse(CBizWinHttpClient &client, int status) override;

private:
    qint32 m_count = 0;
};

// GET favorite/list: one record per usable favourite, entered into list under its key (an
// entry with the same key is replaced and the new one goes to the end). Folder favourites
// need their folder from findFolder.
class CFavoriteListRequest : public CAccessKeyRequest
{
public:
    using FolderLookup = std::function<CWorkspaceRecord *(qint32)>;
    CFavoriteListRequest(const QString &accessKey, int sortIndex, bool descending,
                         CSharedFileList *list, FolderLookup findFolder,
                         CBizProgressHandler *progress = nullptr);

protected:
    void PrepareParams(CBizWinHttpClient &client) override;
    int ParseResponse(CBizWinHttpClient &client, int status) override;

private:
    int m_sortIndex;
    bool m_descending;
    CSharedFileList *m_list;
    FolderLookup m_findFolder;
};

// GET favorite/info for a folder (path empty) or a file. Without a record the answer is not
// read. With a details table: 70006 fills deleteTime/deleteName, 70002 deletedFolder, 70005
// lockedFolder, and the request answers 0.
class CFavoriteInfoRequest : public CPathRequest
{
public:
    CFavoriteInfoRequest(const QString &accessKey, qint32 workspaceId, const QString &path,
                         CSharedFileRecord *record,
                         CFavoriteListRequest::FolderLookup findFolder = {},
                         CBizProgressHandler *progress = nullptr);
    void SetFaultDetails(CFaultDetails *details) { m_details = details; }

protected:
    void HandleErrorStatus(CBizWinHttpClient &client, int status) override;
    int ParseResponse(CBizWinHttpClient &client, int status) override;

private:
    CSharedFileRecord *m_record;
    CFavoriteListRequest::FolderLookup m_findFolder;
    CFaultDetails *m_details = nullptr;
};

// POST favorite/create and favorite/delete: a folder (path empty) or a file.
class CFavoriteChangeRequest : public CPathRequest
{
public:
    CFavoriteChangeRequest(bool create, const QString &accessKey, qint32 workspaceId,
                           const QString &path, CBizProgressHandler *progress = nullptr);

protected:
    int ParseResponse(CBizWinHttpClient &client, int status) override;

private:
    bool m_create;
};

class CFavoriteCreateRequest : public CFavoriteChangeRequest
{
public:
    CFavoriteCreateRequest(const QString &accessKey, qint32 workspaceId, const QString &path = {},
                           CBizProgressHandler *progress = nullptr)
        : CFavoriteChangeRequest(true, accessKey, workspaceId, path, progress)
    {}
};

class CFavoriteDeleteRequest : public CFavoriteChangeRequest
{
public:
    CFavoriteDeleteRequest(const QString &accessKey, qint32 workspaceId, const QString &path = {},
                           CBizProgressHandler *progress = nullptr)
        : CFavoriteChangeRequest(false, accessKey, workspaceId, path, progress)
    {}
};

// GET filetype/count.
class CFileTypeCountRequest : public CAccessKeyRequest
{
public:
    explicit CFileTypeCountRequest(const QString &accessKey,
                                   CBizProgressHandler *progress = nullptr)
        : CAccessKeyRequest(QStringLiteral("filetype/count"), accessKey, progress)
    {}
    qint32 count() const { return m_count; }

protected:
    int ParseResponse(CBizWinHttpClient &client, int status) override;

private:
    qint32 m_count = 0;
};

// GET filetype/list: one record per "fileType", id = its position from 1, appended to list.
// An incomplete entry fails the request (a type list with holes would misnumber the ids).
class CFileTypeListRequest : public CAccessKeyRequest
{
public:
    CFileTypeListRequest(const QString &accessKey, CFileTypeList *list,
                         CBizProgressHandler *progress = nullptr);

protected:
    int ParseResponse(CBizWinHttpClient &client, int status) override;

private:
    CFileTypeList *m_list;
};

// POST file/comment/create: the stored comment comes back into record.
class CFileCommentCreateRequest : public CPathRequest
{
public:
    CFileCommentCreateRequest(const QString &accessKey, qint32 workspaceId, const QString &path,
                              const QString &comment, CFileCommentRecord *record,
                              CBizProgressHandler *progress = nullptr);

protected:
    void PrepareParams(CBizWinHttpClient &client) override;
    int ParseResponse(CBizWinHttpClient &client, int status) override;

private:
    QString m_comment;
    CFileCommentRecord *m_record;
};

// GET information/count.
class CInformationCountRequest : public CAccessKeyRequest
{
public:
    explicit CInformationCountRequest(const QString &accessKey,
                                      CBizProgressHandler *progress = nullptr)
        : CAccessKeyRequest(QStringLiteral("information/count"), accessKey, progress)
    {}
    qint32 allCount() const { return m_all; }
    qint32 unreadCount() const { return m_unread; }
    qint32 unreadPopupCount() const { return m_unreadPopup; }

protected:
    int ParseResponse(CBizWinHttpClient &client, int status) override;

private:
    qint32 m_all = 0;
    qint32 m_unread = 0;
    qint32 m_unreadPopup = 0;
};

// GET version (update prefix): the newest package. Each output keeps the caller's value
// until its element is read; a missing child ends the reading without failure.
class CAutoUpdateVersionRequest : public CAutoUpdateRequest
{
public:
    struct SVersion
    {
        QString fileDigest;
        QString fileName;
        qint32 fileSize = 0;
        quint32 versionMs = 0;
        quint32 versionLs = 0;
    };
    CAutoUpdateVersionRequest(const QString &accessKey, SVersion *version,
                              CBizProgressHandler *progress = nullptr);

protected:
    int ParseResponse(CBizWinHttpClient &client, int status) override;

private:
    SVersion *m_version;
};

// GET get (update prefix): the package into destination, checked against expectedDigest
// ignoring case. A failed write or a wrong digest leaves no file and answers 0 (fault
// "00002").
class CAutoUpdateGetRequest : public CAutoUpdateRequest
{
public:
    CAutoUpdateGetRequest(const QString &accessKey, const QString &destination,
                          const QString &expectedDigest, CBizProgressHandler *progress = nullptr);

protected:
    int ParseResponse(CBizWinHttpClient &client, int status) override;

private:
    QString m_destination;
    QString m_expected;
};
