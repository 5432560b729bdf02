#include "WorkspaceRequests.h"

#include "FoldersLog.h"

#include "store/Convert.h"

#include <QDomNode>

namespace {

QString Str(const char16_t *s)
{
    return QString::fromUtf16(s);
}

// The chain of "parents": the parent at node position i sets element i.
bool ParseParents(const CBizXmlElement &parents, QList<qint32> &pathIds)
{
    pathIds.clear();
    const QList<QDomNode> nodes = parents.ChildNodes();
    for (qsizetype i = 0; i < nodes.size(); ++i) {
        const QDomNode &node = nodes.at(i);
        if (!node.isElement()
            || node.nodeName().compare(QLatin1String("parent"), Qt::CaseInsensitive) != 0)
            continue;
        CBizXmlElement parent(node.toElement());
        qint32 parentId = 0;
        if (!parent.ChildInt(QStringLiteral("id"), &parentId))
            return false;
        if (parentId == 0)
            continue;
        if (pathIds.size() <= i)
            pathIds.resize(i + 1, 0);
        pathIds[i] = parentId;
    }
    return true;
}

// Shared by the requests whose answer is one "workspace" under the response element.
int ParseOneWorkspace(CBizXmlElement response, const QString &childName, CWorkspaceRecord *record)
{
    CBizXmlElement workspace = response.FindChild(childName);
    if (workspace.IsNull())
        return 0;
    return ParseWorkspace(workspace, record) ? 1 : 0;
}

} // namespace

bool ParseWorkspace(CBizXmlElement element, CWorkspaceRecord *record)
{
    if (element.IsNull())
        return false;
    // Filled on a copy: a failed element leaves the caller's record as it was.
    CWorkspaceRecord parsed = record ? *record : CWorkspaceRecord();

    element.ChildText(QStringLiteral("comment"), &parsed.comment);
    qint32 style = 0;
    if (element.ChildInt(QStringLiteral("folderStyle"), &style))
        parsed.folderStyle = FolderStyleFromService(style);
    bool flag = false;
    if (!element.ChildInt(QStringLiteral("id"), &parsed.id))
        return false;
    if (!element.ChildFlag(QStringLiteral("isDataBox"), &flag))
        return false;
    parsed.isDataBox = flag ? 1 : 0;
    if (element.ChildFlag(QStringLiteral("isFavorite"), &flag))
        parsed.isFavorite = flag ? 1 : 0;
    QString name;
    if (!element.ChildText(QStringLiteral("name"), &name))
        return false;
    parsed.SetName(name);
    CBizXmlElement parents = element.FindChild(QStringLiteral("parents"));
    if (parents.IsNull() || !ParseParents(parents, parsed.pathIds))
        return false;
    if (!element.ChildFlag(QStringLiteral("readOnly"), &flag))
        return false;
    parsed.readOnly = flag ? 1 : 0;
    if (!element.ChildText(QStringLiteral("updateName"), &parsed.updateName))
        return false;
    QString time;
    if (!element.ChildText(QStringLiteral("updateTime"), &time))
        return false;
    parsed.updateTime = ParseDateTime(time);

    // No parent with an id gives the chain [id]; a chain that stops above the folder gets
    // the folder appended, so it always ends with the folder itself.
    parsed.NormalizePath();
    if (record)
        *record = std::move(parsed);
    return true;
}

std::optional<QString> WorkspaceSortValue(int sortIndex)
{
    static const char16_t *const table[] = {
        u"name",
        u"updateName",
        u"updateTime",
        u"folderName",
        u"ext",
        u"status",
        u"comment",
        u"fileSize",
        u"transactionDate",
        u"transactionName",
        u"transactionAmount",
    };
    if (sortIndex <= 0)
        return std::nullopt;
    if (sortIndex > 10)
        return QString();
    return Str(table[sortIndex]);
}

namespace {

void AddListingParams(CBizWinHttpClient &client, const SWorkspaceListOptions &options,
                      bool withPaging)
{
    client.SetParameter(QStringLiteral("recursive"), CRequest::BoolParam(options.recursive));
    if (withPaging) {
        if (options.limit > 0)
            client.SetParameter(QStringLiteral("limit"), QString::number(options.limit));
        client.SetParameter(QStringLiteral("offset"), QString::number(options.offset));
    }
    if (const auto sort = WorkspaceSortValue(options.sortIndex))
        client.SetParameter(QStringLiteral("sort"), *sort);
    client.SetParameter(QStringLiteral("dir"),
                        options.descending ? QStringLiteral("desc") : QStringLiteral("asc"));
    if (!options.pattern.isEmpty())
        client.SetParameter(QStringLiteral("pattern"), options.pattern);
}

} // namespace

// --- list ---

CWorkspaceListRequest::CWorkspaceListRequest(const IAccessKeySource &key, qint32 workspaceId,
                                             const SWorkspaceListOptions &options,
                                             CWorkspaceList *list, CBizProgressHandler *progress)
    : CAccessKeyRequest(QStringLiteral("workspace/list"), key, progress)
    , m_workspaceId(workspaceId)
    , m_options(options)
    , m_list(list)
{}

void CWorkspaceListRequest::PrepareParams(CBizWinHttpClient &client)
{
    CAccessKeyRequest::PrepareParams(client);
    if (m_workspaceId != 0)
        client.SetParameter(QStringLiteral("workspaceId"), QString::number(m_workspaceId));
    AddListingParams(client, m_options, true);
}

int CWorkspaceListRequest::ParseResponse(CBizWinHttpClient &client, int)
{
    m_complete = false;
    m_read = 0;
    CBizXmlDocument doc;
    CBizXmlElement response = ReadResponseElement(client, QStringLiteral("listResponse"), doc);
    CBizXmlElement workspaces = response.FindChild(QStringLiteral("workspaces"));
    if (workspaces.IsNull())
        return 0;
    const QList<CBizXmlElement> items = workspaces.Items(QStringLiteral("workspace"));
    for (const CBizXmlElement &item : items) {
        auto record = std::make_unique<CWorkspaceRecord>();
        if (!ParseWorkspace(item, record.get())) {
            qCWarning(lcFolders) << "folder list: element" << m_read + 1
                                 << "malformed, walk stopped";
            return 1;
        }
        if (m_list)
            m_list->Add(std::move(record));
        ++m_read;
        if (!ProgressContinue()) {
            qCInfo(lcFolders) << "folder list: cancelled after" << m_read;
            return 1;
        }
    }
    m_complete = true;
    return 1;
}

// --- count ---

CWorkspaceCountRequest::CWorkspaceCountRequest(const IAccessKeySource &key, qint32 workspaceId,
                                               bool recursive, const QString &pattern,
                                               CBizProgressHandler *progress)
    : CAccessKeyRequest(QStringLiteral("workspace/count"), key, progress)
    , m_workspaceId(workspaceId)
    , m_recursive(recursive)
    , m_pattern(pattern)
{}

void CWorkspaceCountRequest::PrepareParams(CBizWinHttpClient &client)
{
    CAccessKeyRequest::PrepareParams(client);
    if (m_workspaceId != 0)
        client.SetParameter(QStringLiteral("workspaceId"), QString::number(m_workspaceId));
    client.SetParameter(QStringLiteral("recursive"), BoolParam(m_recursive));
    if (!m_pattern.isEmpty())
        client.SetParameter(QStringLiteral("pattern"), m_pattern);
}

int CWorkspaceCountRequest::ParseResponse(CBizWinHttpClient &client, int)
{
    CBizXmlDocument doc;
    CBizXmlElement response = ReadResponseElement(client, QStringLiteral("countResponse"), doc);
    qint32 unused = 0;
    return response.ChildInt(QStringLiteral("count"), &m_count)
           && response.ChildInt(QStringLiteral("workspaceId"), &unused);
}

// --- offset ---

CWorkspaceOffsetRequest::CWorkspaceOffsetRequest(const IAccessKeySource &key, qint32 targetId,
                                                 qint32 workspaceId,
                                                 const SWorkspaceListOptions &options,
                                                 CBizProgressHandler *progress)
    : CAccessKeyRequest(QStringLiteral("workspace/offset"), key, progress)
    , m_targetId(targetId)
    , m_workspaceId(workspaceId)
    , m_options(options)
{}

void CWorkspaceOffsetRequest::PrepareParams(CBizWinHttpClient &client)
{
    CAccessKeyRequest::PrepareParams(client);
    client.SetParameter(QStringLiteral("targetId"), QString::number(m_targetId));
    if (m_workspaceId != 0)
        client.SetParameter(QStringLiteral("workspaceId"), QString::number(m_workspaceId));
    AddListingParams(client, m_options, false);
}

int CWorkspaceOffsetRequest::ParseResponse(CBizWinHttpClient &client, int)
{
    CBizXmlDocument doc;
    return ReadResponseElement(client, QStringLiteral("offsetResponse"), doc)
        .ChildInt(QStringLiteral("offset"), &m_offset);
}

// --- info ---

CWorkspaceInfoRequest::CWorkspaceInfoRequest(const IAccessKeySource &key, qint32 workspaceId,
                                             CWorkspaceRecord *record,
                                             CBizProgressHandler *progress)
    : CWorkspaceRequest(QStringLiteral("workspace/info"), key, workspaceId, progress)
    , m_record(record)
{}

int CWorkspaceInfoRequest::ParseResponse(CBizWinHttpClient &client, int)
{
    CBizXmlDocument doc;
    return ParseOneWorkspace(ReadResponseElement(client, QStringLiteral("infoResponse"), doc),
                             QStringLiteral("workspace"), m_record);
}

// --- create ---

CWorkspaceCreateRequest::CWorkspaceCreateRequest(const IAccessKeySource &key, qint32 parentId,
                                                 const QString &name, qint32 folderStyle,
                                                 const QString &comment, bool dataBox,
                                                 CWorkspaceRecord *record,
                                                 CBizProgressHandler *progress)
    : CAccessKeyRequest(QStringLiteral("workspace/create"), key, progress)
    , m_parentId(parentId)
    , m_name(name)
    , m_folderStyle(folderStyle)
    , m_comment(comment)
    , m_dataBox(dataBox)
    , m_record(record)
{}

void CWorkspaceCreateRequest::PrepareParams(CBizWinHttpClient &client)
{
    CAccessKeyRequest::PrepareParams(client);
    client.SetParameter(QStringLiteral("workspaceId"), QString::number(m_parentId));
    client.SetParameter(QStringLiteral("name"), m_name);
    client.SetParameter(QStringLiteral("folderStyle"), QString::number(m_folderStyle));
    client.SetParameter(QStringLiteral("comment"), m_comment);
    client.SetParameter(QStringLiteral("databox"), BoolParam(m_dataBox));
}

int CWorkspaceCreateRequest::ParseResponse(CBizWinHttpClient &client, int)
{
    CBizXmlDocument doc;
    return ParseOneWorkspace(ReadResponseElement(client, QStringLiteral("createResponse"), doc),
                             QStringLiteral("workspace"), m_record);
}

// --- update ---

CWorkspaceUpdateRequest::CWorkspaceUpdateRequest(const IAccessKeySource &key, qint32 workspaceId,
                                                 const QString &name, qint32 folderStyle,
                                                 const QString &comment, bool recursive,
                                                 CWorkspaceRecord *record,
                                                 CBizProgressHandler *progress)
    : CWorkspaceRequest(QStringLiteral("workspace/update"), key, workspaceId, progress)
    , m_name(name)
    , m_folderStyle(folderStyle)
    , m_comment(comment)
    , m_recursive(recursive)
    , m_record(record)
{}

void CWorkspaceUpdateRequest::PrepareParams(CBizWinHttpClient &client)
{
    CWorkspaceRequest::PrepareParams(client);
    client.SetParameter(QStringLiteral("name"), m_name);
    client.SetParameter(QStringLiteral("folderStyle"), QString::number(m_folderStyle));
    client.SetParameter(QStringLiteral("comment"), m_comment);
    client.SetParameter(QStringLiteral("recursive"), BoolParam(m_recursive));
}

int CWorkspaceUpdateRequest::ParseResponse(CBizWinHttpClient &client, int)
{
    CBizXmlDocument doc;
    return ParseOneWorkspace(ReadResponseElement(client, QStringLiteral("updateResponse"), doc),
                             QStringLiteral("workspace"), m_record);
}

// --- delete ---

CWorkspaceDeleteRequest::CWorkspaceDeleteRequest(const IAccessKeySource &key, qint32 workspaceId,
                                                 CWorkspaceRecord *record,
                                                 CBizProgressHandler *progress)
    : CWorkspaceRequest(QStringLiteral("workspace/delete"), key, workspaceId, progress)
    , m_record(record)
{}

int CWorkspaceDeleteRequest::ParseResponse(CBizWinHttpClient &client, int)
{
    CBizXmlDocument doc;
    return ParseOneWorkspace(ReadResponseElement(client, QStringLiteral("deleteResponse"), doc),
                             QStringLiteral("workspace"), m_record);
}

// --- move ---

CWorkspaceMoveRequest::CWorkspaceMoveRequest(const IAccessKeySource &key, qint32 srcId,
                                             qint32 dstId, CWorkspaceRecord *moved,
                                             CWorkspaceRecord *destination,
                                             CBizProgressHandler *progress)
    : CAccessKeyRequest(QStringLiteral("workspace/move"), key, progress)
    , m_srcId(srcId)
    , m_dstId(dstId)
    , m_moved(moved)
    , m_destination(destination)
{}

void CWorkspaceMoveRequest::PrepareParams(CBizWinHttpClient &client)
{
    CAccessKeyRequest::PrepareParams(client);
    client.SetParameter(QStringLiteral("srcWorkspaceId"), QString::number(m_srcId));
    client.SetParameter(QStringLiteral("dstWorkspaceId"), QString::number(m_dstId));
}

int CWorkspaceMoveRequest::ParseResponse(CBizWinHttpClient &client, int)
{
    CBizXmlDocument doc;
    CBizXmlElement response = ReadResponseElement(client, QStringLiteral("moveResponse"), doc);
    CBizXmlElement first = response.FindChild(QStringLiteral("dstWorkspace"));
    if (first.IsNull() || !ParseWorkspace(first, m_moved))
        return 0;
    CBizXmlElement second = CBizXmlElement::NextSibling(first, QStringLiteral("dstWorkspace"));
    if (second.IsNull())
        second = first;
    return ParseWorkspace(second, m_destination) ? 1 : 0;
}

// --- copy ---

CWorkspaceCopyRequest::CWorkspaceCopyRequest(const IAccessKeySource &key, qint32 srcId,
                                             qint32 dstId, const QString &dstName,
                                             CBizProgressHandler *progress)
    : CAccessKeyRequest(QStringLiteral("workspace/copy"), key, progress)
    , m_srcId(srcId)
    , m_dstId(dstId)
    , m_dstName(dstName)
{}

void CWorkspaceCopyRequest::PrepareParams(CBizWinHttpClient &client)
{
    CAccessKeyRequest::PrepareParams(client);
    client.SetParameter(QStringLiteral("srcWorkspaceId"), QString::number(m_srcId));
    client.SetParameter(QStringLiteral("dstWorkspaceId"), QString::number(m_dstId));
    client.SetParameter(QStringLiteral("dstName"), m_dstName);
}

int CWorkspaceCopyRequest::ParseResponse(CBizWinHttpClient &client, int)
{
    CBizXmlDocument doc;
    return ReadResponseElement(client, QStringLiteral("copyResponse"), doc)
        .FindPath({QStringLiteral("dstWorkspace")})
        .ChildInt(QStringLiteral("id"), &m_newId);
}

// --- find ---

CWorkspaceFindRequest::CWorkspaceFindRequest(const IAccessKeySource &key, const QString &path,
                                             CWorkspaceRecord *record,
                                             CBizProgressHandler *progress)
    : CAccessKeyRequest(QStringLiteral("workspace/find"), key, progress)
    , m_path(path)
    , m_record(record)
{}

void CWorkspaceFindRequest::PrepareParams(CBizWinHttpClient &client)
{
    CAccessKeyRequest::PrepareParams(client);
    client.SetParameter(QStringLiteral("path"), m_path);
}

int CWorkspaceFindRequest::ParseResponse(CBizWinHttpClient &client, int)
{
    CBizXmlDocument doc;
    return ParseOneWorkspace(ReadResponseElement(client, QStringLiteral("findResponse"), doc),
                             QStringLiteral("workspace"), m_record);
}
