#include "ServiceRequests.h"

#include "FileCommentRecord.h"
#include "FileRecord.h"
#include "FileRequests.h"
#include "FileTypeRecord.h"
#include "FilesLog.h"

#include "store/Convert.h"

#include <QFile>

namespace {

CBizXmlElement childOf(CBizXmlElement response, const QString &name)
{
    return response.IsNull() ? CBizXmlElement() : response.FindChild(name);
}

} // namespace

int CFavoriteCountRequest::ParseResponse(CBizWinHttpClient &client, int)
{
    CBizXmlDocument doc;
    CBizXmlElement response = ReadResponseElement(client, QStringLiteral("countResponse"), doc);
    const bool ok = !response.IsNull() && response.ChildInt(QStringLiteral("count"), &m_count);
    ProgressContinue();
    return ok;
}

CFavoriteListRequest::CFavoriteListRequest(const QString &accessKey, int sortIndex, bool descending,
                                           CSharedFileList *list, FolderLookup findFolder,
                                           CBizProgressHandler *progress)
    : CAccessKeyRequest(QStringLiteral("favorite/list"), accessKey, progress)
    , m_sortIndex(sortIndex)
    , m_descending(descending)
    , m_list(list)
    , m_findFolder(std::move(findFolder))
{}

void CFavoriteListRequest::PrepareParams(CBizWinHttpClient &client)
{
    CAccessKeyRequest::PrepareParams(client);
    if (m_sortIndex > 0)
        client.SetParameter(QStringLiteral("sort"), FileSortValue(m_sortIndex));
    client.SetParameter(QStringLiteral("dir"),
                        m_descending ? QStringLiteral("desc") : QStringLiteral("asc"));
}

int CFavoriteListRequest::ParseResponse(CBizWinHttpClient &client, int)
{
    CBizXmlDocument doc;
    const CBizXmlElement favorites
        = childOf(ReadResponseElement(client, QStringLiteral("listResponse"), doc),
                  QStringLiteral("favorites"));
    if (favorites.IsNull())
        return 0;
    const QList<CBizXmlElement> items = favorites.Items(QStringLiteral("favorite"));
    for (const CBizXmlElement &item : items) {
        auto record = std::make_unique<CSharedFileRecord>();
        if (!ParseFavorite(item, record.get(), m_findFolder))
            continue;
        if (m_list)
            m_list->Replace(std::move(record));
    }
    ProgressContinue();
    return 1;
}

CFavoriteInfoRequest::CFavoriteInfoRequest(const QString &accessKey, qint32 workspaceId,
                                           const QString &path, CSharedFileRecord *record,
                                           CFavoriteListRequest::FolderLookup findFolder,
                                           CBizProgressHandler *progress)
    : CPathRequest(QStringLiteral("favorite/info"), accessKey, workspaceId, path, progress)
    , m_record(record)
    , m_findFolder(std::move(findFolder))
{}

void CFavoriteInfoRequest::HandleErrorStatus(CBizWinHttpClient &client, int status)
{
    try {
        CPathRequest::HandleErrorStatus(client, status);
    } catch (const CRequestException &e) {
        if (!m_details)
            throw;
        const QString code = e.code();
        if (code == u"70006")
            ScanDeleteDetails(e.message(), *m_details);
        else if (code == u"70002")
            m_details->insert(QStringLiteral("deletedFolder"), QString::number(m_workspaceId));
        else if (code == u"70005")
            m_details->insert(QStringLiteral("lockedFolder"), QString::number(m_workspaceId));
        else
            throw;
    }
}

int CFavoriteInfoRequest::ParseResponse(CBizWinHttpClient &client, int)
{
    if (!m_record)
        return 1;
    CBizXmlDocument doc;
    const CBizXmlElement favorite
        = childOf(ReadResponseElement(client, QStringLiteral("infoResponse"), doc),
                  QStringLiteral("favorite"));
    return ParseFavorite(favorite, m_record, m_findFolder);
}

CFavoriteChangeRequest::CFavoriteChangeRequest(bool create, const QString &accessKey,
                                               qint32 workspaceId, const QString &path,
                                               CBizProgressHandler *progress)
    : CPathRequest(create ? QStringLiteral("favorite/create") : QStringLiteral("favorite/delete"),
                   accessKey, workspaceId, path, progress)
    , m_create(create)
{}

int CFavoriteChangeRequest::ParseResponse(CBizWinHttpClient &client, int)
{
    CBizXmlDocument doc;
    const CBizXmlElement response = ReadResponseElement(
        client, m_create ? QStringLiteral("createResponse") : QStringLiteral("deleteResponse"),
        doc);
    ProgressContinue();
    return !response.IsNull();
}

int CFileTypeCountRequest::ParseResponse(CBizWinHttpClient &client, int)
{
    CBizXmlDocument doc;
    CBizXmlElement response = ReadResponseElement(client, QStringLiteral("countResponse"), doc);
    const bool ok = !response.IsNull() && response.ChildInt(QStringLiteral("count"), &m_count);
    ProgressContinue();
    return ok;
}

CFileTypeListRequest::CFileTypeListRequest(const QString &accessKey, CFileTypeList *list,
                                           CBizProgressHandler *progress)
    : CAccessKeyRequest(QStringLiteral("filetype/list"), accessKey, progress)
    , m_list(list)
{}

int CFileTypeListRequest::ParseResponse(CBizWinHttpClient &client, int)
{
    CBizXmlDocument doc;
    const CBizXmlElement types
        = childOf(ReadResponseElement(client, QStringLiteral("listResponse"), doc),
                  QStringLiteral("fileTypes"));
    if (types.IsNull())
        return 0;
    const QList<CBizXmlElement> items = types.Items(QStringLiteral("fileType"));
    qint32 position = 0;
    for (const CBizXmlElement &item : items) {
        auto record = std::make_unique<CFileTypeRecord>();
        if (!ParseFileType(item, ++position, record.get()))
            return 0;
        if (m_list)
            m_list->Replace(std::move(record));
    }
    ProgressContinue();
    return 1;
}

CFileCommentCreateRequest::CFileCommentCreateRequest(const QString &accessKey, qint32 workspaceId,
                                                     const QString &path, const QString &comment,
                                                     CFileCommentRecord *record,
                                                     CBizProgressHandler *progress)
    : CPathRequest(QStringLiteral("file/comment/create"), accessKey, workspaceId, path, progress)
    , m_comment(comment)
    , m_record(record)
{}

void CFileCommentCreateRequest::PrepareParams(CBizWinHttpClient &client)
{
    CPathRequest::PrepareParams(client);
    client.SetParameter(QStringLiteral("comment"), m_comment);
}

int CFileCommentCreateRequest::ParseResponse(CBizWinHttpClient &client, int)
{
    CBizXmlDocument doc;
    const CBizXmlElement comment
        = childOf(ReadResponseElement(client, QStringLiteral("createResponse"), doc),
                  QStringLiteral("fileComment"));
    const bool ok = ParseFileComment(comment, m_record);
    ProgressContinue();
    return ok;
}
