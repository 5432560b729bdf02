#include "FileRequests.h"

#include "FileRecord.h"
#include "FilesLog.h"

#include "store/DateTimeValue.h"

namespace {

void setFlag(CBizWinHttpClient &client, const char *name, bool value)
{
    client.SetParameter(QString::fromLatin1(name), CRequest::BoolParam(value));
}

void setIfSet(CBizWinHttpClient &client, const char *name, const QString &value)
{
    if (!value.isEmpty())
        client.SetParameter(QString::fromLatin1(name), value);
}

void setSort(CBizWinHttpClient &client, const SFileListOptions &o)
{
    if (o.sortIndex > 0)
        client.SetParameter(QStringLiteral("sort"), FileSortValue(o.sortIndex));
    client.SetParameter(QStringLiteral("dir"),
                        o.descending ? QStringLiteral("desc") : QStringLiteral("asc"));
}

// The element under the response, or null.
CBizXmlElement childOf(CBizXmlElement response, const QString &name)
{
    return response.IsNull() ? CBizXmlElement() : response.FindChild(name);
}

// 1 when the answer carries its file element (read into record, when given), else 0.
int readFileElement(const CBizXmlElement &response, CSharedFileRecord *record)
{
    const CBizXmlElement file = childOf(response, QStringLiteral("file"));
    if (file.IsNull())
        return 0;
    if (record)
        ParseFile(file, record);
    return 1;
}

} // namespace

QString FileSortValue(int sortIndex)
{
    static const char *const values[] = {"name",
                                         "updateName",
                                         "updateTime",
                                         "folderName",
                                         "ext",
                                         "status",
                                         "comment",
                                         "fileSize",
                                         "transactionDate",
                                         "transactionName",
                                         "transactionAmount"};
    if (sortIndex <= 0 || sortIndex > 10)
        return {};
    return QString::fromLatin1(values[sortIndex]);
}

// --- list, count, offset ---

CFileListRequest::CFileListRequest(const QString &accessKey, qint32 workspaceId,
                                   const SFileListOptions &options, CSharedFileList *list,
                                   CBizProgressHandler *progress)
    : CWorkspaceRequest(QStringLiteral("file/list"), accessKey, workspaceId, progress)
    , m_options(options)
    , m_list(list)
{}

void CFileListRequest::PrepareParams(CBizWinHttpClient &client)
{
    CWorkspaceRequest::PrepareParams(client);
    setFlag(client, "recursive", m_options.recursive);
    setFlag(client, "lockonly", m_options.lockOnly);
    if (m_options.limit > 0)
        client.SetParameter(QStringLiteral("limit"), QString::number(m_options.limit));
    client.SetParameter(QStringLiteral("offset"), QString::number(m_options.offset));
    setSort(client, m_options);
    setIfSet(client, "pattern", m_options.pattern);
    setIfSet(client, "ext", m_options.ext);
    if (m_options.search)
        m_options.search->AddParams(client);
}

int CFileListRequest::ParseResponse(CBizWinHttpClient &client, int)
{
    // A folder page holds up to thousands of files: a streaming read, not a document.
    QString body;
    if (!client.ReadText(&body))
        return 0;
    const bool found = ParseFileListAnswer(
        body,
        [this](std::unique_ptr<CSharedFileRecord> record) {
            if (m_list)
                m_list->Replace(std::move(record));
            ++m_read;
            return ProgressContinue();
        },
        &m_cutShort);
    if (!found)
        return 0;
    qCDebug(lcFileRecords) << "file list:" << m_read << "entries";
    return 1;
}

CFileCountRequest::CFileCountRequest(const QString &accessKey, qint32 workspaceId,
                                     const SFileListOptions &options, CBizProgressHandler *progress)
    : CWorkspaceRequest(QStringLiteral("file/count"), accessKey, workspaceId, progress)
    , m_options(options)
{}

void CFileCountRequest::PrepareParams(CBizWinHttpClient &client)
{
    CWorkspaceRequest::PrepareParams(client);
    setFlag(client, "recursive", m_options.recursive);
    setFlag(client, "lockonly", m_options.lockOnly);
    setFlag(client, "lockbyMe", m_options.lockByMe);
    setIfSet(client, "pattern", m_options.pattern);
    setIfSet(client, "ext", m_options.ext);
    if (m_options.search)
        m_options.search->AddParams(client);
}

int CFileCountRequest::ParseResponse(CBizWinHttpClient &client, int)
{
    CBizXmlDocument doc;
    CBizXmlElement response = ReadResponseElement(client, QStringLiteral("countResponse"), doc);
    qint32 id = 0;
    return !response.IsNull() && response.ChildInt(QStringLiteral("count"), &m_count)
           && response.ChildInt(QStringLiteral("workspaceId"), &id);
}

CFileOffsetRequest::CFileOffsetRequest(const QString &accessKey, qint32 workspaceId,
                                       const QString &targetPath, const SFileListOptions &options,
                                       CBizProgressHandler *progress)
    : CWorkspaceRequest(QStringLiteral("file/offset"), accessKey, workspaceId, progress)
    , m_target(targetPath)
    , m_options(options)
{}

void CFileOffsetRequest::PrepareParams(CBizWinHttpClient &client)
{
    CWorkspaceRequest::PrepareParams(client);
    client.SetParameter(QStringLiteral("path"), m_target);
    setFlag(client, "recursive", m_options.recursive);
    setFlag(client, "lockonly", m_options.lockOnly);
    setSort(client, m_options);
    setIfSet(client, "pattern", m_options.pattern);
    setIfSet(client, "ext", m_options.ext);
}

int CFileOffsetRequest::ParseResponse(CBizWinHttpClient &client, int)
{
    CBizXmlDocument doc;
    CBizXmlElement response = ReadResponseElement(client, QStringLiteral("offsetResponse"), doc);
    return !response.IsNull() && response.ChildInt(QStringLiteral("offset"), &m_offset);
}

// --- info and get, with the fault details ---

void CFileDetailsRequest::HandleErrorStatus(CBizWinHttpClient &client, int status)
{
    try {
        CPathRequest::HandleErrorStatus(client, status);
    } catch (const CRequestException &e) {
        if (m_details && AbsorbFault(e)) {
            qCInfo(lcFileRecords) << operation() << "fault" << e.code() << "taken as details";
            return;
        }
        throw;
    }
}

CFileInfoRequest::CFileInfoRequest(const QString &accessKey, qint32 workspaceId,
                                   const QString &path, CSharedFileRecord *record,
                                   CBizProgressHandler *progress)
    : CFileDetailsRequest(QStringLiteral("file/info"), accessKey, workspaceId, path, progress)
    , m_record(record)
{}

int CFileInfoRequest::ParseResponse(CBizWinHttpClient &client, int)
{
    CBizXmlDocument doc;
    const CBizXmlElement file = childOf(
        ReadResponseElement(client, QStringLiteral("infoResponse"), doc), QStringLiteral("file"));
    return ParseFile(file, m_record);
}

bool CFileInfoRequest::AbsorbFault(const CRequestException &e)
{
    const QString code = e.code();
    if (code == u"40007" || code == u"40002") {
        ScanDeleteDetails(e.message(), *m_details);
        return true;
    }
    if (code == u"30014" || code == u"40013") {
        m_details->insert(QStringLiteral("lockedFolder"), QString::number(m_workspaceId));
        return true;
    }
    return false;
}

CFileGetRequest::CFileGetRequest(const QString &accessKey, qint32 workspaceId, const QString &path,
                                 const QString &expectedDigest, const QString &localPath,
                                 quint32 bytesPresent, CBizProgressHandler *progress)
    : CFileDetailsRequest(QStringLiteral("file/get"), accessKey, workspaceId, path, progress)
    , m_expected(expectedDigest)
    , m_localPath(localPath)
    , m_present(bytesPresent)
{}

void CFileGetRequest::PrepareHeaders(CBizWinHttpClient &client)
{
    CFileDetailsRequest::PrepareHeaders(client);
    if (m_present > 0)
        client.SetHeader(QStringLiteral("Range"), QStringLiteral("-%1").arg(m_present));
}

int CFileGetRequest::ParseResponse(CBizWinHttpClient &client, int)
{
    m_digest.clear();
    if (!m_downloadCopy.isEmpty())
        client.SetDownloadCopy(m_downloadCopy);
    const bool done
        = client.DownloadToFile(m_localPath, m_present > 0, &m_digest, &m_length, m_expected);
    if (done)
        return 1;
    // The transport never renames a copy whose digest differs: the target is untouched
    // and nothing of the bad bytes remains.
    if (!m_expected.isEmpty() && !m_digest.isEmpty()
        && m_digest.compare(m_expected, Qt::CaseInsensitive) != 0) {
        qCWarning(lcFileRecords) << "digest mismatch for" << m_path;
        throw CRequestException(QString::fromUtf16(FaultCode::DigestMismatch), m_path);
    }
    return 0;
}

bool CFileGetRequest::AbsorbFault(const CRequestException &e)
{
    if (e.code() != u"40007")
        return false;
    ScanDeleteDetails(e.message(), *m_details);
    return true;
}

// --- uploads ---

CFileCreateRequest::CFileCreateRequest(const QString &accessKey, qint32 workspaceId,
                                       const QString &path, const QString &localFile,
                                       CSharedFileRecord *record, qint64 fileSize,
                                       CBizProgressHandler *progress)
    : CFileCreateRequest(QStringLiteral("file/create"), QStringLiteral("createResponse"), accessKey,
                         workspaceId, path, localFile, record, fileSize, progress)
{}

CFileCreateRequest::CFileCreateRequest(const QString &operation, const QString &responseName,
                                       const QString &accessKey, qint32 workspaceId,
                                       const QString &path, const QString &localFile,
                                       CSharedFileRecord *record, qint64 fileSize,
                                       CBizProgressHandler *progress)
    : CUploadRequest(operation, CFixedAccessKey(accessKey), workspaceId, path, localFile, fileSize,
                     progress)
    , m_responseName(responseName)
    , m_record(record)
{}

int CFileCreateRequest::ParseResponse(CBizWinHttpClient &client, int)
{
    CBizXmlDocument doc;
    return readFileElement(ReadResponseElement(client, m_responseName, doc), m_record);
}

CFileUpdateRequest::CFileUpdateRequest(const QString &accessKey, qint32 workspaceId,
                                       const QString &path, const QString &localFile,
                                       CSharedFileRecord *record, qint64 fileSize,
                                       CBizProgressHandler *progress)
    : CFileCreateRequest(QStringLiteral("file/update"), QStringLiteral("updateResponse"), accessKey,
                         workspaceId, path, localFile, record, fileSize, progress)
{}

// --- delete, lock, unlock ---

namespace {
QString singleOperation(CFileSingleRequest::Operation op)
{
    switch (op) {
    case CFileSingleRequest::Delete:
        return QStringLiteral("file/delete");
    case CFileSingleRequest::Lock:
        return QStringLiteral("file/lock");
    case CFileSingleRequest::Unlock:
        break;
    }
    return QStringLiteral("file/unlock");
}
QString singleResponse(CFileSingleRequest::Operation op)
{
    switch (op) {
    case CFileSingleRequest::Delete:
        return QStringLiteral("deleteResponse");
    case CFileSingleRequest::Lock:
        return QStringLiteral("lockResponse");
    case CFileSingleRequest::Unlock:
        break;
    }
    return QStringLiteral("unlockResponse");
}
} // namespace

CFileSingleRequest::CFileSingleRequest(Operation operation, const QString &accessKey,
                                       qint32 workspaceId, const QString &path,
                                       CSharedFileRecord *record, CBizProgressHandler *progress)
    : CPathRequest(singleOperation(operation), accessKey, workspaceId, path, progress)
    , m_responseName(singleResponse(operation))
    , m_record(record)
{}

int CFileSingleRequest::ParseResponse(CBizWinHttpClient &client, int)
{
    CBizXmlDocument doc;
    return readFileElement(ReadResponseElement(client, m_responseName, doc), m_record);
}

// --- move and copy ---

CFileTransferRequest::CFileTransferRequest(bool copy, const QString &accessKey,
                                           qint32 srcWorkspaceId, const QString &srcPath,
                                           qint32 dstWorkspaceId, const QString &dstPath,
                                           CSharedFileRecord *dstRecord,
                                           CSharedFileRecord *srcRecord,
                                           CBizProgressHandler *progress)
    : CPathRequest(copy ? QStringLiteral("file/copy") : QStringLiteral("file/move"), accessKey,
                   srcWorkspaceId, srcPath, progress)
    , m_copy(copy)
    , m_dstWorkspaceId(dstWorkspaceId)
    , m_dstPath(dstPath)
    , m_dstRecord(dstRecord)
    , m_srcRecord(srcRecord)
{}

void CFileTransferRequest::PrepareParams(CBizWinHttpClient &client)
{
    CPathRequest::PrepareParams(client);
    client.SetParameter(QStringLiteral("srcWorkspaceId"), QString::number(m_workspaceId));
    client.SetParameter(QStringLiteral("srcPath"), m_path);
    client.SetParameter(QStringLiteral("dstWorkspaceId"), QString::number(m_dstWorkspaceId));
    client.SetParameter(QStringLiteral("dstPath"), m_dstPath);
}

int CFileTransferRequest::ParseResponse(CBizWinHttpClient &client, int)
{
    CBizXmlDocument doc;
    CBizXmlElement response = ReadResponseElement(
        client, m_copy ? QStringLiteral("copyResponse") : QStringLiteral("moveResponse"), doc);
    const CBizXmlElement dst = childOf(response, QStringLiteral("dstFile"));
    if (dst.IsNull())
        return 0;
    if (m_dstRecord)
        ParseFile(dst, m_dstRecord);
    if (m_srcRecord) {
        const CBizXmlElement src = response.FindChild(QStringLiteral("srcFile"));
        if (src.IsNull())
            return 0;
        ParseFile(src, m_srcRecord);
    }
    return 1;
}

// --- voucher ---

CFileVoucherCreateRequest::CFileVoucherCreateRequest(const QString &accessKey, qint32 workspaceId,
                                                     const QString &path,
                                                     const CDateTimeValue &date,
                                                     std::optional<qint64> amount,
                                                     const QString &name, CSharedFileRecord *record,
                                                     CBizProgressHandler *progress)
    : CPathRequest(QStringLiteral("file/voucher/create"), accessKey, workspaceId, path, progress)
    , m_date(date)
    , m_amount(amount)
    , m_name(name)
    , m_record(record)
{}

void CFileVoucherCreateRequest::PrepareParams(CBizWinHttpClient &client)
{
    CPathRequest::PrepareParams(client);
    const bool hasDate = m_date.isValid() && !m_date.isZero();
    client.SetParameter(QStringLiteral("date"),
                        hasDate ? FormatDateTimeValue(m_date, QStringLiteral("%Y/%m/%d"))
                                : QString());
    client.SetParameter(QStringLiteral("amount"),
                        m_amount ? QString::number(*m_amount) : QString());
    client.SetParameter(QStringLiteral("name"), m_name);
}

int CFileVoucherCreateRequest::ParseResponse(CBizWinHttpClient &client, int)
{
    CBizXmlDocument doc;
    const CBizXmlElement voucher
        = childOf(ReadResponseElement(client, QStringLiteral("createResponse"), doc),
                  QStringLiteral("fileVoucher"));
    return ParseFileVoucher(voucher, m_record);
}
