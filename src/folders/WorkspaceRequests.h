#pragma once

#include "WorkspaceRecord.h"

#include "service/Request.h"

#include <QString>

#include <optional>

// The folder ("workspace") operations of the service. Each request runs once with the method
// noted (ExecuteGet / ExecutePost) and is then read for its results. Faults raise
// CRequestException; a success answer that lacks a required element raises fault "00002".

// Reads one "workspace" element into record (none: the element is only checked). Required:
// id, isDataBox, name, parents (each parent with its id), readOnly, updateName, updateTime;
// comment, folderStyle (mapped with FolderStyleFromService) and isFavorite leave the field
// as it was when absent. The chain comes from the parents walked by position; it always ends
// with the folder itself. False when something required is missing; the record is then left
// exactly as it was.
bool ParseWorkspace(CBizXmlElement element, CWorkspaceRecord *record);

// The "sort" parameter of a sort index: none for 0 (the service's order by name), the table
// value for 1..10, and the empty value above.
std::optional<QString> WorkspaceSortValue(int sortIndex);

// What a folder list, count or offset covers.
struct SWorkspaceListOptions
{
    bool recursive = false;
    qint32 limit = 0;   // 0: no limit (not sent)
    quint32 offset = 0; // always sent
    int sortIndex = 0;
    bool descending = false;
    QString pattern; // the service's name filter, passed through
};

// GET workspace/list. Appends one record per "workspace" to list, in the service's order; a
// record of an id already listed replaces it. A "workspace" that fails to parse ends the
// walk, and so does a cancel through the progress handler: the records read before stay and
// the request still succeeds, but walkComplete() tells the caller the tree is cut short.
class CWorkspaceListRequest : public CAccessKeyRequest
{
public:
    CWorkspaceListRequest(const IAccessKeySource &key, qint32 workspaceId,
                          const SWorkspaceListOptions &options, CWorkspaceList *list,
                          CBizProgressHandler *progress = nullptr);
    // Every "workspace" of the answer was read.
    bool walkComplete() const { return m_complete; }
    int readCount() const { return m_read; }

protected:
    void PrepareParams(CBizWinHttpClient &client) override;
    int ParseResponse(CBizWinHttpClient &client, int status) override;

private:
    qint32 m_workspaceId;
    SWorkspaceListOptions m_options;
    CWorkspaceList *m_list;
    bool m_complete = false;
    int m_read = 0;
};

// GET workspace/count: the number of folders of the listing (paging).
class CWorkspaceCountRequest : public CAccessKeyRequest
{
public:
    CWorkspaceCountRequest(const IAccessKeySource &key, qint32 workspaceId, bool recursive,
                           const QString &pattern = {}, CBizProgressHandler *progress = nullptr);
    qint32 count() const { return m_count; }

protected:
    void PrepareParams(CBizWinHttpClient &client) override;
    int ParseResponse(CBizWinHttpClient &client, int status) override;

private:
    qint32 m_workspaceId;
    bool m_recursive;
    QString m_pattern;
    qint32 m_count = 0;
};

// GET workspace/offset: the position of targetId in the sorted listing.
class CWorkspaceOffsetRequest : public CAccessKeyRequest
{
public:
    CWorkspaceOffsetRequest(const IAccessKeySource &key, qint32 targetId, qint32 workspaceId,
                            const SWorkspaceListOptions &options,
                            CBizProgressHandler *progress = nullptr);
    qint32 offset() const { return m_offset; }

protected:
    void PrepareParams(CBizWinHttpClient &client) override;
    int ParseResponse(CBizWinHttpClient &client, int status) override;

private:
    qint32 m_targetId;
    qint32 m_workspaceId;
    SWorkspaceListOptions m_options;
    qint32 m_offset = 0;
};

// GET workspace/info: the folder's record.
class CWorkspaceInfoRequest : public CWorkspaceRequest
{
public:
    CWorkspaceInfoRequest(const IAccessKeySource &key, qint32 workspaceId, CWorkspaceRecord *record,
                          CBizProgressHandler *progress = nullptr);

protected:
    int ParseResponse(CBizWinHttpClient &client, int status) override;

private:
    CWorkspaceRecord *m_record;
};

// POST workspace/create below parentId (0: a top-level folder). folderStyle is sent as given
// (the service's form, FolderStyleToService). record receives the new folder.
class CWorkspaceCreateRequest : public CAccessKeyRequest
{
public:
    CWorkspaceCreateRequest(const IAccessKeySource &key, qint32 parentId, const QString &name,
                            qint32 folderStyle, const QString &comment, bool dataBox,
                            CWorkspaceRecord *record, CBizProgressHandler *progress = nullptr);

protected:
    void PrepareParams(CBizWinHttpClient &client) override;
    int ParseResponse(CBizWinHttpClient &client, int status) override;

private:
    qint32 m_parentId;
    QString m_name;
    qint32 m_folderStyle;
    QString m_comment;
    bool m_dataBox;
    CWorkspaceRecord *m_record;
};

// POST workspace/update: name, colour (service form) and comment; recursive applies the
// colour to the folders below.
class CWorkspaceUpdateRequest : public CWorkspaceRequest
{
public:
    CWorkspaceUpdateRequest(const IAccessKeySource &key, qint32 workspaceId, const QString &name,
                            qint32 folderStyle, const QString &comment, bool recursive,
                            CWorkspaceRecord *record, CBizProgressHandler *progress = nullptr);

protected:
    void PrepareParams(CBizWinHttpClient &client) override;
    int ParseResponse(CBizWinHttpClient &client, int status) override;

private:
    QString m_name;
    qint32 m_folderStyle;
    QString m_comment;
    bool m_recursive;
    CWorkspaceRecord *m_record;
};

// POST workspace/delete: the folder and its subtree; record receives the deleted folder.
class CWorkspaceDeleteRequest : public CWorkspaceRequest
{
public:
    CWorkspaceDeleteRequest(const IAccessKeySource &key, qint32 workspaceId,
                            CWorkspaceRecord *record, CBizProgressHandler *progress = nullptr);

protected:
    int ParseResponse(CBizWinHttpClient &client, int status) override;

private:
    CWorkspaceRecord *m_record;
};

// POST workspace/move of srcId below dstId (0: top level). The answer's first "dstWorkspace"
// fills moved, the next one destination; an answer with only one fills both with it.
class CWorkspaceMoveRequest : public CAccessKeyRequest
{
public:
    CWorkspaceMoveRequest(const IAccessKeySource &key, qint32 srcId, qint32 dstId,
                          CWorkspaceRecord *moved, CWorkspaceRecord *destination,
                          CBizProgressHandler *progress = nullptr);

protected:
    void PrepareParams(CBizWinHttpClient &client) override;
    int ParseResponse(CBizWinHttpClient &client, int status) override;

private:
    qint32 m_srcId;
    qint32 m_dstId;
    CWorkspaceRecord *m_moved;
    CWorkspaceRecord *m_destination;
};

// POST workspace/copy: the folder structure of srcId (no files) below dstId as dstName.
class CWorkspaceCopyRequest : public CAccessKeyRequest
{
public:
    CWorkspaceCopyRequest(const IAccessKeySource &key, qint32 srcId, qint32 dstId,
                          const QString &dstName, CBizProgressHandler *progress = nullptr);
    // The id of the new top folder of the copy.
    qint32 newId() const { return m_newId; }

protected:
    void PrepareParams(CBizWinHttpClient &client) override;
    int ParseResponse(CBizWinHttpClient &client, int status) override;

private:
    qint32 m_srcId;
    qint32 m_dstId;
    QString m_dstName;
    qint32 m_newId = 0;
};

// POST workspace/find: the folder at path (names from the top joined with "/").
class CWorkspaceFindRequest : public CAccessKeyRequest
{
public:
    CWorkspaceFindRequest(const IAccessKeySource &key, const QString &path,
                          CWorkspaceRecord *record, CBizProgressHandler *progress = nullptr);

protected:
    void PrepareParams(CBizWinHttpClient &client) override;
    int ParseResponse(CBizWinHttpClient &client, int status) override;

private:
    QString m_path;
    CWorkspaceRecord *m_record;
};
