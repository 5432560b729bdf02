#pragma once

#include "FileParsers.h"

#include "service/Request.h"
#include "store/DateTimeValue.h"

#include <QString>

#include <optional>

class CSharedFileList;
class CSharedFileRecord;

// The file operations of the service. Each request runs once (ExecuteGet or ExecutePost as
// noted) and is then read for its results.

// What a file list, count or offset covers.
struct SFileListOptions
{
    bool recursive = false;
    bool lockOnly = false;
    bool lockByMe = false; // count only
    qint32 limit = 0;      // 0: no limit
    quint32 offset = 0;
    int sortIndex = 0; // the service's sort table; 0 = by name (not sent)
    bool descending = false;
    QString pattern;
    QString ext;
    const CTransactionSearchQuery *search = nullptr; // not owned
};

// "sort" value of a sort index: empty for 0 (not sent) and for unknown indexes.
QString FileSortValue(int sortIndex);

// GET file/list: appends one record per "file" to list under its FileKey (an entry with the
// same key is replaced). A "file" that fails to parse ends the walk; what was read stays and
// the request still succeeds. A cancel through the progress handler ends it the same way.
class CFileListRequest : public CWorkspaceRequest
{
public:
    CFileListRequest(const QString &accessKey, qint32 workspaceId, const SFileListOptions &options,
                     CSharedFileList *list, CBizProgressHandler *progress = nullptr);
    int readCount() const { return m_read; }
    // An incomplete entry ended the answer early: the list holds the entries before it.
    bool cutShort() const { return m_cutShort; }

protected:
    void PrepareParams(CBizWinHttpClient &client) override;
    int ParseResponse(CBizWinHttpClient &client, int status) override;

private:
    SFileListOptions m_options;
    CSharedFileList *m_list;
    int m_read = 0;
    bool m_cutShort = false;
};

// GET file/count.
class CFileCountRequest : public CWorkspaceRequest
{
public:
    CFileCountRequest(const QString &accessKey, qint32 workspaceId, const SFileListOptions &options,
                      CBizProgressHandler *progress = nullptr);
    qint32 count() const { return m_count; }

protected:
    void PrepareParams(CBizWinHttpClient &client) override;
    int ParseResponse(CBizWinHttpClient &client, int status) override;

private:
    SFileListOptions m_options;
    qint32 m_count = 0;
};

// GET file/offset: the position of targetPath in the sorted listing (-1: not in it).
class CFileOffsetRequest : public CWorkspaceRequest
{
public:
    CFileOffsetRequest(const QString &accessKey, qint32 workspaceId, const QString &targetPath,
                       const SFileListOptions &options, CBizProgressHandler *progress = nullptr);
    qint32 offset() const { return m_offset; }

protected:
    void PrepareParams(CBizWinHttpClient &client) override;
    int ParseResponse(CBizWinHttpClient &client, int status) override;

private:
    QString m_target;
    SFileListOptions m_options;
    qint32 m_offset = 0;
};

// Base of the requests that accept a fault details table: the faults the table takes
// answer 0 instead of raising.
class CFileDetailsRequest : public CPathRequest
{
public:
    using CPathRequest::CPathRequest;
    void SetFaultDetails(CFaultDetails *details) { m_details = details; }

protected:
    void HandleErrorStatus(CBizWinHttpClient &client, int status) override;
    // Whether the table takes the fault (and fills it).
    virtual bool AbsorbFault(const CRequestException &e) = 0;
    CFaultDetails *m_details = nullptr;
};

// GET file/info. With a details table: 40007 and 40002 fill deleteTime/deleteName, 30014
// and 40013 fill lockedFolder; those answer 0.
class CFileInfoRequest : public CFileDetailsRequest
{
public:
    CFileInfoRequest(const QString &accessKey, qint32 workspaceId, const QString &path,
                     CSharedFileRecord *record, CBizProgressHandler *progress = nullptr);

protected:
    int ParseResponse(CBizWinHttpClient &client, int status) override;
    bool AbsorbFault(const CRequestException &e) override;

private:
    CSharedFileRecord *m_record;
};

// GET file/get into localPath. The body goes to a temporary sibling, its MD5 is checked
// against expectedDigest (ignoring case) and only then it replaces localPath; a mismatch
// raises fault "00003" with the service path as message and leaves localPath as it was.
// bytesPresent > 0 resumes (header Range: -N, the local part is kept and re-read for the
// digest). With a details table, 40007 fills deleteTime/deleteName and answers 0.
class CFileGetRequest : public CFileDetailsRequest
{
public:
    CFileGetRequest(const QString &accessKey, qint32 workspaceId, const QString &path,
                    const QString &expectedDigest, const QString &localPath,
                    quint32 bytesPresent = 0, CBizProgressHandler *progress = nullptr);
    qint64 fileLength() const { return m_length; }
    QString digest() const { return m_digest; }
    // Writes (and resumes) this file instead of a temporary sibling of localPath; it is
    // renamed over localPath once complete and checked.
    void SetDownloadCopy(const QString &path) { m_downloadCopy = path; }

protected:
    void PrepareHeaders(CBizWinHttpClient &client) override;
    int ParseResponse(CBizWinHttpClient &client, int status) override;
    bool AbsorbFault(const CRequestException &e) override;

private:
    QString m_expected;
    QString m_localPath;
    quint32 m_present;
    qint64 m_length = 0;
    QString m_digest;
    QString m_downloadCopy;
};

// POST file/create and file/update: the local file as part "file"; the answer's record.
// uploadDigest() is the MD5 of what was sent, for the caller to compare with the record's.
class CFileCreateRequest : public CUploadRequest
{
public:
    CFileCreateRequest(const QString &accessKey, qint32 workspaceId, const QString &path,
                       const QString &localFile, CSharedFileRecord *record, qint64 fileSize = 0,
                       CBizProgressHandler *progress = nullptr);

protected:
    CFileCreateRequest(const QString &operation, const QString &responseName,
                       const QString &accessKey, qint32 workspaceId, const QString &path,
                       const QString &localFile, CSharedFileRecord *record, qint64 fileSize,
                       CBizProgressHandler *progress);
    int ParseResponse(CBizWinHttpClient &client, int status) override;

private:
    QString m_responseName;
    CSharedFileRecord *m_record;
};

class CFileUpdateRequest : public CFileCreateRequest
{
public:
    CFileUpdateRequest(const QString &accessKey, qint32 workspaceId, const QString &path,
                       const QString &localFile, CSharedFileRecord *record, qint64 fileSize = 0,
                       CBizProgressHandler *progress = nullptr);
};

// POST file/delete, file/lock, file/unlock: the answer's "file" must be present; the
// record (optional) is filled when it parses.
class CFileSingleRequest : public CPathRequest
{
public:
    enum Operation { Delete, Lock, Unlock };
    CFileSingleRequest(Operation operation, const QString &accessKey, qint32 workspaceId,
                       const QString &path, CSharedFileRecord *record,
                       CBizProgressHandler *progress = nullptr);

protected:
    int ParseResponse(CBizWinHttpClient &client, int status) override;

private:
    QString m_responseName;
    CSharedFileRecord *m_record;
};

class CFileDeleteRequest : public CFileSingleRequest
{
public:
    CFileDeleteRequest(const QString &accessKey, qint32 workspaceId, const QString &path,
                       CSharedFileRecord *record = nullptr, CBizProgressHandler *progress = nullptr)
        : CFileSingleRequest(Delete, accessKey, workspaceId, path, record, progress)
    {}
};

class CFileLockRequest : public CFileSingleRequest
{
public:
    CFileLockRequest(const QString &accessKey, qint32 workspaceId, const QString &path,
                     CSharedFileRecord *record = nullptr, CBizProgressHandler *progress = nullptr)
        : CFileSingleRequest(Lock, accessKey, workspaceId, path, record, progress)
    {}
};

class CFileUnlockRequest : public CFileSingleRequest
{
public:
    CFileUnlockRequest(const QString &accessKey, qint32 workspaceId, const QString &path,
                       CSharedFileRecord *record = nullptr, CBizProgressHandler *progress = nullptr)
        : CFileSingleRequest(Unlock, accessKey, workspaceId, path, record, progress)
    {}
};

// POST file/move and file/copy: the source as workspaceId/path and srcWorkspaceId/srcPath,
// the destination as dstWorkspaceId/dstPath. "dstFile" fills dstRecord, "srcFile" srcRecord
// when the caller wants it.
class CFileTransferRequest : public CPathRequest
{
public:
    CFileTransferRequest(bool copy, const QString &accessKey, qint32 srcWorkspaceId,
                         const QString &srcPath, qint32 dstWorkspaceId, const QString &dstPath,
                         CSharedFileRecord *dstRecord, CSharedFileRecord *srcRecord = nullptr,
                         CBizProgressHandler *progress = nullptr);

protected:
    void PrepareParams(CBizWinHttpClient &client) override;
    int ParseResponse(CBizWinHttpClient &client, int status) override;

private:
    bool m_copy;
    qint32 m_dstWorkspaceId;
    QString m_dstPath;
    CSharedFileRecord *m_dstRecord;
    CSharedFileRecord *m_srcRecord;
};

class CFileMoveRequest : public CFileTransferRequest
{
public:
    CFileMoveRequest(const QString &accessKey, qint32 srcWorkspaceId, const QString &srcPath,
                     qint32 dstWorkspaceId, const QString &dstPath, CSharedFileRecord *dstRecord,
                     CSharedFileRecord *srcRecord = nullptr,
                     CBizProgressHandler *progress = nullptr)
        : CFileTransferRequest(false, accessKey, srcWorkspaceId, srcPath, dstWorkspaceId, dstPath,
                               dstRecord, srcRecord, progress)
    {}
};

class CFileCopyRequest : public CFileTransferRequest
{
public:
    CFileCopyRequest(const QString &accessKey, qint32 srcWorkspaceId, const QString &srcPath,
                     qint32 dstWorkspaceId, const QString &dstPath, CSharedFileRecord *dstRecord,
                     CSharedFileRecord *srcRecord = nullptr,
                     CBizProgressHandler *progress = nullptr)
        : CFileTransferRequest(true, accessKey, srcWorkspaceId, srcPath, dstWorkspaceId, dstPath,
                               dstRecord, srcRecord, progress)
    {}
};

// POST file/voucher/create: the transaction info of a DataBox file. Empty texts clear a
// field; date is sent "%Y/%m/%d", amount "%lld".
class CFileVoucherCreateRequest : public CPathRequest
{
public:
    CFileVoucherCreateRequest(const QString &accessKey, qint32 workspaceId, const QString &path,
                              const CDateTimeValue &date, std::optional<qint64> amount,
                              const QString &name, CSharedFileRecord *record,
                              CBizProgressHandler *progress = nullptr);

protected:
    void PrepareParams(CBizWinHttpClient &client) override;
    int ParseResponse(CBizWinHttpClient &client, int status) override;

private:
    CDateTimeValue m_date;
    std::optional<qint64> m_amount;
    QString m_name;
    CSharedFileRecord *m_record;
};
