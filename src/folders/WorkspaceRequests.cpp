#include "WorkspaceRequests.h"

#include "FoldersLog.h"

#include "store/Convert.h"

#include <QDomNode>
#include <QXmlStreamReader>

#include <vector>

namespace {

QString Str(const char16_t *s)
{
    return QString::fromUtf16(s);
}

// The children of one "workspace" as read, whichever way the answer was parsed; the rules
// that make a record of them live in one place (ApplyWorkspace).
struct SWorkspaceFields
{
    std::optional<QString> comment, folderStyle, id, isDataBox, isFavorite, name, readOnly,
        updateName, updateTime;
    bool hasParents = false;
    bool parentsOk = true;
    QList<qint32> parentIds; // by node position; 0 where no parent gave an id
};

// A parent at node position i with a non-zero id sets element i.
void SetParentAt(QList<qint32> &ids, qsizetype position, const QString &idText)
{
    const qint32 parentId = ParseInt(idText);
    if (parentId == 0)
        return;
    if (ids.size() <= position)
        ids.resize(position + 1, 0);
    ids[position] = parentId;
}

bool ApplyWorkspace(const SWorkspaceFields &f, CWorkspaceRecord *record)
{
    if (!f.id || !f.isDataBox || !f.name || !f.hasParents || !f.parentsOk || !f.readOnly
        || !f.updateName || !f.updateTime)
        return false;
    if (!record)
        return true;
    // Optional fields absent from the answer keep the record's values.
    CWorkspaceRecord parsed = *record;
    if (f.comment)
        parsed.comment = *f.comment;
    if (f.folderStyle)
        parsed.folderStyle = FolderStyleFromService(ParseInt(*f.folderStyle));
    parsed.id = ParseInt(*f.id);
    parsed.isDataBox = ParseInt(*f.isDataBox) != 0 ? 1 : 0;
    if (f.isFavorite)
        parsed.isFavorite = ParseInt(*f.isFavorite) != 0 ? 1 : 0;
    parsed.SetName(*f.name);
    parsed.pathIds = f.parentIds;
    parsed.readOnly = ParseInt(*f.readOnly) != 0 ? 1 : 0;
    parsed.updateName = *f.updateName;
    parsed.updateTime = ParseDateTime(*f.updateTime);
    // No parent with an id gives the chain [id]; a chain that stops above the folder gets
    // the folder appended, so it always ends with the folder itself.
    parsed.NormalizePath();
    *record = std::move(parsed);
    return true;
}

// --- from a parsed document ---

std::optional<QString> DomChild(CBizXmlElement &element, const QString &name)
{
    QString text;
    if (!element.ChildText(name, &text))
        return std::nullopt;
    return text;
}

void ReadParents(const CBizXmlElement &parents, SWorkspaceFields &f)
{
    const QList<QDomNode> nodes = parents.ChildNodes();
    for (qsizetype i = 0; i < nodes.size(); ++i) {
        const QDomNode &node = nodes.at(i);
        if (!node.isElement()
            || node.nodeName().compare(QLatin1String("parent"), Qt::CaseInsensitive) != 0)
            continue;
        CBizXmlElement parent(node.toElement());
        QString idText;
        if (!parent.ChildText(QStringLiteral("id"), &idText)) {
            f.parentsOk = false;
            return;
        }
        SetParentAt(f.parentIds, i, idText);
    }
}

// --- from the stream (the tree answer: thousands of elements, no document built) ---

std::optional<QString> *StreamField(SWorkspaceFields &f, QStringView name)
{
    if (name == u"comment")
        return &f.comment;
    if (name == u"folderStyle")
        return &f.folderStyle;
    if (name == u"id")
        return &f.id;
    if (name == u"isDataBox")
        return &f.isDataBox;
    if (name == u"isFavorite")
        return &f.isFavorite;
    if (name == u"name")
        return &f.name;
    if (name == u"readOnly")
        return &f.readOnly;
    if (name == u"updateName")
        return &f.updateName;
    if (name == u"updateTime")
        return &f.updateTime;
    return nullptr;
}

// At the start of "parents": walks its child nodes by position (white-space-only text is
// no node) up to its end.
template<typename Reader>
void StreamParents(Reader &xml, SWorkspaceFields &f)
{
    qsizetype position = -1;
    while (!xml.atEnd()) {
        const QXmlStreamReader::TokenType token = xml.readNext();
        if (token == QXmlStreamReader::EndElement)
            return;
        if (token == QXmlStreamReader::Characters) {
            if (!xml.isWhitespace())
                ++position;
            continue;
        }
        if (token == QXmlStreamReader::Comment
            || token == QXmlStreamReader::ProcessingInstruction) {
            ++position;
            continue;
        }
        if (token != QXmlStreamReader::StartElement)
            continue;
        ++position;
        if (xml.name().compare(QLatin1String("parent"), Qt::CaseInsensitive) != 0) {
            xml.skipCurrentElement();
            continue;
        }
        std::optional<QString> idText;
        while (xml.readNextStartElement()) {
            if (!idText && xml.name() == u"id")
                idText = xml.readElementText(QXmlStreamReader::IncludeChildElements);
            else
                xml.skipCurrentElement();
        }
        if (!idText)
            f.parentsOk = false;
        else
            SetParentAt(f.parentIds, position, *idText);
    }
}

// At the start of a "workspace": reads it up to its end.
template<typename Reader>
bool StreamWorkspace(Reader &xml, CWorkspaceRecord *record)
{
    SWorkspaceFields f;
    while (xml.readNextStartElement()) {
        const QStringView name = xml.name();
        if (name == u"parents" && !f.hasParents) {
            f.hasParents = true;
            StreamParents(xml, f);
            continue;
        }
        std::optional<QString> *field = StreamField(f, name);
        if (field && !*field)
            *field = xml.readElementText(QXmlStreamReader::IncludeChildElements);
        else
            xml.skipCurrentElement();
    }
    return ApplyWorkspace(f, record);
}

// The tree answer as the service writes it (no declarations beyond the XML one, no
// attributes, entities, comments or CDATA), checked for well-formedness in one pass and
// replayed with the calls of QXmlStreamReader the walk uses. QXmlStreamReader costs most of
// the load for thousands of folders; any other document goes to it.
class CPlainXmlReader
{
public:
    using TokenType = QXmlStreamReader::TokenType;

    // False when the text is not in the plain form (it may still be well-formed XML).
    bool Scan(QStringView s);

    bool atEnd() const { return m_atEnd; }
    TokenType readNext()
    {
        if (m_pos >= m_tokens.size()) {
            m_atEnd = true;
            m_current = QXmlStreamReader::EndDocument;
            return m_current;
        }
        const SToken &t = m_tokens[m_pos++];
        m_current = t.type;
        m_text = t.text;
        m_whitespace = t.whitespace;
        return m_current;
    }
    QStringView name() const { return m_text; }
    bool isWhitespace() const { return m_current == QXmlStreamReader::Characters && m_whitespace; }
    bool readNextStartElement()
    {
        while (readNext() != QXmlStreamReader::EndDocument) {
            if (m_current == QXmlStreamReader::EndElement)
                return false;
            if (m_current == QXmlStreamReader::StartElement)
                return true;
        }
        return false;
    }
    void skipCurrentElement()
    {
        int depth = 1;
        while (depth > 0 && readNext() != QXmlStreamReader::EndDocument) {
            if (m_current == QXmlStreamReader::StartElement)
                ++depth;
            else if (m_current == QXmlStreamReader::EndElement)
                --depth;
        }
    }
    QString readElementText(QXmlStreamReader::ReadElementTextBehaviour)
    {
        QString result;
        int depth = 1;
        while (readNext() != QXmlStreamReader::EndDocument) {
            if (m_current == QXmlStreamReader::StartElement) {
                ++depth;
            } else if (m_current == QXmlStreamReader::EndElement) {
                if (--depth == 0)
                    break;
            } else if (m_current == QXmlStreamReader::Characters) {
                if (result.isEmpty())
                    result = m_text.toString();
                else
                    result.append(m_text);
            }
        }
        return result;
    }

private:
    struct SToken
    {
        TokenType type;
        QStringView text;
        bool whitespace;
    };
    std::vector<SToken> m_tokens;
    size_t m_pos = 0;
    TokenType m_current = QXmlStreamReader::NoToken;
    QStringView m_text;
    bool m_whitespace = false;
    bool m_atEnd = false;
};

bool IsXmlSpace(char16_t c)
{
    return c == u' ' || c == u'\t' || c == u'\n';
}

bool IsNameStart(char16_t c)
{
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || c == u'_';
}

bool IsNameChar(char16_t c)
{
    return IsNameStart(c) || (c >= u'0' && c <= u'9') || c == u'-' || c == u'.';
}

bool CPlainXmlReader::Scan(QStringView s)
{
    const qsizetype n = s.size();
    qsizetype i = 0;
    if (s.startsWith(u"<?")) {
        static const char16_t *const declarations[] = {
            u"<?xml version=\"1.0\" encoding=\"UTF-8\"?>",
            u"<?xml version=\"1.0\" encoding=\"utf-8\"?>",
            u"<?xml version=\"1.0\"?>",
            u"<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>",
        };
        bool known = false;
        for (const char16_t *d : declarations) {
            const QStringView decl(d);
            if (s.startsWith(decl)) {
                i = decl.size();
                known = true;
                break;
            }
        }
        if (!known)
            return false;
    }
    m_tokens.reserve(size_t(n / 12));
    std::vector<QStringView> open;
    bool rootDone = false;
    while (i < n) {
        const char16_t c = s[i].unicode();
        if (c == u'<') {
            if (rootDone || i + 1 >= n)
                return false;
            const bool closing = s[i + 1] == u'/';
            qsizetype j = i + (closing ? 2 : 1);
            if (j >= n || !IsNameStart(s[j].unicode()))
                return false;
            const qsizetype start = j;
            while (j < n && IsNameChar(s[j].unicode()))
                ++j;
            if (j >= n)
                return false;
            const QStringView name = s.sliced(start, j - start);
            if (closing) {
                if (s[j] != u'>' || open.empty() || open.back() != name)
                    return false;
                open.pop_back();
                m_tokens.push_back({QXmlStreamReader::EndElement, name, false});
                rootDone = open.empty();
                i = j + 1;
            } else if (s[j] == u'>') {
                m_tokens.push_back({QXmlStreamReader::StartElement, name, false});
                open.push_back(name);
                i = j + 1;
            } else if (s[j] == u'/' && j + 1 < n && s[j + 1] == u'>') {
                m_tokens.push_back({QXmlStreamReader::StartElement, name, false});
                m_tokens.push_back({QXmlStreamReader::EndElement, name, false});
                rootDone = open.empty();
                i = j + 2;
            } else {
                return false;
            }
            continue;
        }
        const qsizetype start = i;
        bool whitespace = true;
        for (; i < n; ++i) {
            const char16_t u = s[i].unicode();
            if (u == u'<')
                break;
            if (IsXmlSpace(u))
                continue;
            whitespace = false;
            // Entities, line ends to normalise and what only the full reader checks.
            if (u < 0x20 || u == u'&' || u == u'\r' || u >= 0xfffe)
                return false;
            if (u == u'>' && i >= 2 && s[i - 1] == u']' && s[i - 2] == u']')
                return false;
            if (QChar::isHighSurrogate(u)) {
                if (i + 1 >= n || !QChar::isLowSurrogate(s[i + 1].unicode()))
                    return false;
                ++i;
            } else if (QChar::isLowSurrogate(u)) {
                return false;
            }
        }
        if (open.empty()) {
            if (!whitespace)
                return false;
            continue;
        }
        m_tokens.push_back({QXmlStreamReader::Characters, s.sliced(start, i - start), whitespace});
    }
    return rootDone;
}

// At the root element: the records of the first "workspaces" of the first "listResponse".
template<typename Reader>
void WalkTree(Reader &xml, std::vector<std::unique_ptr<CWorkspaceRecord>> &parsed, bool &container,
              bool &stopped)
{
    bool inResponse = false;
    while (xml.readNextStartElement()) {
        if (inResponse || xml.name() != u"listResponse") {
            xml.skipCurrentElement();
            continue;
        }
        inResponse = true;
        while (xml.readNextStartElement()) {
            if (container || xml.name() != u"workspaces") {
                xml.skipCurrentElement();
                continue;
            }
            container = true;
            while (xml.readNextStartElement()) {
                if (stopped
                    || xml.name().compare(QLatin1String("workspace"), Qt::CaseInsensitive) != 0) {
                    xml.skipCurrentElement();
                    continue;
                }
                auto record = std::make_unique<CWorkspaceRecord>();
                if (StreamWorkspace(xml, record.get())) {
                    parsed.push_back(std::move(record));
                } else {
                    qCWarning(lcFolders)
                        << "folder list: element" << parsed.size() + 1 << "malformed, walk stopped";
                    stopped = true;
                }
            }
        }
    }
}

[[noreturn]] void RaiseXml(const QXmlStreamReader &xml, quint32 code)
{
    throw CBizXmlDomException(code, xml.errorString(), int(xml.lineNumber()),
                              int(xml.columnNumber()));
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
    SWorkspaceFields f;
    f.comment = DomChild(element, QStringLiteral("comment"));
    f.folderStyle = DomChild(element, QStringLiteral("folderStyle"));
    f.id = DomChild(element, QStringLiteral("id"));
    f.isDataBox = DomChild(element, QStringLiteral("isDataBox"));
    f.isFavorite = DomChild(element, QStringLiteral("isFavorite"));
    f.name = DomChild(element, QStringLiteral("name"));
    CBizXmlElement parents = element.FindChild(QStringLiteral("parents"));
    if (!parents.IsNull()) {
        f.hasParents = true;
        ReadParents(parents, f);
    }
    f.readOnly = DomChild(element, QStringLiteral("readOnly"));
    f.updateName = DomChild(element, QStringLiteral("updateName"));
    f.updateTime = DomChild(element, QStringLiteral("updateTime"));
    return ApplyWorkspace(f, record);
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
    QString text;
    if (!client.ReadText(&text))
        return 0;

    std::vector<std::unique_ptr<CWorkspaceRecord>> parsed;
    bool container = false;
    bool stopped = false;
    CPlainXmlReader plain;
    if (plain.Scan(text)) {
        plain.readNext(); // the root element
        WalkTree(plain, parsed, container, stopped);
    } else {
        // The same document rules as every other answer (no document type, well-formed
        // throughout), read as a stream: the whole tree comes in one answer.
        QXmlStreamReader xml(text);
        xml.setNamespaceProcessing(false); // answers use no namespaces
        bool atRoot = false;
        while (!atRoot && !xml.atEnd()) {
            switch (xml.readNext()) {
            case QXmlStreamReader::DTD:
                RaiseXml(xml, XmlError::DtdRefused);
            case QXmlStreamReader::Invalid:
                RaiseXml(xml, XmlError::NotXml);
            case QXmlStreamReader::StartElement:
                atRoot = true;
                break;
            default:
                break;
            }
        }
        if (atRoot)
            WalkTree(xml, parsed, container, stopped);
        while (!xml.atEnd())
            xml.readNext();
        if (xml.hasError())
            RaiseXml(xml, atRoot ? XmlError::Malformed : XmlError::NotXml);
    }
    if (!container)
        return 0;

    for (auto &record : parsed) {
        if (m_list)
            m_list->Add(std::move(record));
        ++m_read;
        if (!ProgressContinue()) {
            qCInfo(lcFolders) << "folder list: cancelled after" << m_read;
            return 1;
        }
    }
    m_complete = !stopped;
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
