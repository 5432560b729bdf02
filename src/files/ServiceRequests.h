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

// Favourites, file types and file comments (the notice counters and the application update
// are the account layer's: account/UpdateRequests.h).

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
