#include "FileParsers.h"

#include "FileCommentRecord.h"
#include "FileRecord.h"
#include "FileTypeRecord.h"

#include "core/BizException.h"
#include "folders/WorkspaceRecord.h"
#include "service/WinHttpClient.h"
#include "service/XmlDocument.h"
#include "store/Convert.h"

#include <QXmlStreamReader>

namespace {

// Reads one required child; false when it is absent.
bool readText(CBizXmlElement &e, const char *name, QString &out)
{
    return e.ChildText(QString::fromLatin1(name), &out);
}

bool readInt(CBizXmlElement &e, const char *name, qint32 &out)
{
    return e.ChildInt(QString::fromLatin1(name), &out);
}

bool readTime(CBizXmlElement &e, const char *name, CDateTimeValue &out)
{
    QString text;
    if (!e.ChildText(QString::fromLatin1(name), &text))
        return false;
    out = ParseDateTime(text);
    return true;
}

bool readAmount(CBizXmlElement &e, CSharedFileRecord &r)
{
    QString text;
    if (!e.ChildText(QStringLiteral("transactionAmount"), &text))
        return false;
    if (text.trimmed().isEmpty()) {
        r.amountBlank = true;
    } else {
        r.transactionAmount = ParseInt64(text);
        r.amountBlank = false;
    }
    return true;
}

bool readSize(CBizXmlElement &e, quint32 &out)
{
    qint64 value = 0;
    if (!e.ChildInt64(QStringLiteral("size"), &value))
        return false;
    // The service's size is unsigned 32-bit; read wider so 2-4 GiB do not saturate.
    out = quint32(value);
    return true;
}

// The children shared by the "file" element and the file form of "favorite".
bool readFileHead(CBizXmlElement &e, CSharedFileRecord &r)
{
    return readText(e, "comment", r.comment)
           && readText(e, "commentUpdateDispName", r.commentUpdateDispName)
           && readInt(e, "commentUpdateId", r.commentUpdateId)
           && readTime(e, "commentUpdateTime", r.commentUpdateTime)
           && readText(e, "digest", r.digest);
}

} // namespace

namespace {

// The children of "file" in the service's order; isFavorite is the only optional one.
enum EFileField {
    FComment,
    FCommentUpdateDispName,
    FCommentUpdateId,
    FCommentUpdateTime,
    FDigest,
    FIsFavorite,
    FLockDispName,
    FLockId,
    FLockKey,
    FPath,
    FSize,
    FUpdateDispName,
    FUpdateId,
    FUpdateName,
    FUpdateTime,
    FTransactionAmount,
    FTransactionDate,
    FTransactionName,
    FWorkspaceId,
    FFieldCount
};

const char *const kFileFieldNames[FFieldCount] = {"comment",
                                                  "commentUpdateDispName",
                                                  "commentUpdateId",
                                                  "commentUpdateTime",
                                                  "digest",
                                                  "isFavorite",
                                                  "lockDispName",
                                                  "lockId",
                                                  "lockKey",
                                                  "path",
                                                  "size",
                                                  "updateDispName",
                                                  "updateId",
                                                  "updateName",
                                                  "updateTime",
                                                  "transactionAmount",
                                                  "transactionDate",
                                                  "transactionName",
                                                  "workspaceId"};

struct SFileFields
{
    QString text[FFieldCount];
    bool present[FFieldCount] = {};
};

// expected: the field the service sends next, tried first.
int fileFieldIndex(QStringView name, int expected)
{
    if (expected >= 0 && expected < FFieldCount && name == QLatin1String(kFileFieldNames[expected]))
        return expected;
    for (int i = 0; i < FFieldCount; ++i) {
        if (name == QLatin1String(kFileFieldNames[i]))
            return i;
    }
    return -1;
}

// Applies the fields in order; stops at the first missing required one (false), so the
// fields before the gap keep their values.
bool applyFileFields(const SFileFields &f, CSharedFileRecord &r)
{
    for (int i = 0; i < FFieldCount; ++i) {
        if (!f.present[i]) {
            if (i == FIsFavorite)
                continue;
            return false;
        }
        const QString &t = f.text[i];
        switch (EFileField(i)) {
        case FComment:
            r.comment = t;
            break;
        case FCommentUpdateDispName:
            r.commentUpdateDispName = t;
            break;
        case FCommentUpdateId:
            r.commentUpdateId = ParseInt(t);
            break;
        case FCommentUpdateTime:
            r.commentUpdateTime = ParseDateTime(t);
            break;
        case FDigest:
            r.digest = t;
            break;
        case FIsFavorite:
            r.isFavorite = ParseInt(t) != 0;
            break;
        case FLockDispName:
            r.lockDispName = t;
            break;
        case FLockId:
            r.lockId = ParseInt(t);
            break;
        case FLockKey:
            r.lockKey = t;
            break;
        case FPath:
            r.path = t;
            break;
        // Unsigned 32-bit on the service's side: read wider so 2-4 GiB do not saturate.
        case FSize:
            r.size = quint32(ParseInt64(t));
            break;
        case FUpdateDispName:
            r.updateDispName = t;
            break;
        case FUpdateId:
            r.updateId = ParseInt(t);
            break;
        case FUpdateName:
            r.updateName = t;
            break;
        case FUpdateTime:
            r.updateTime = ParseDateTime(t);
            break;
        case FTransactionAmount:
            if (t.trimmed().isEmpty()) {
                r.amountBlank = true;
            } else {
                r.transactionAmount = ParseInt64(t);
                r.amountBlank = false;
            }
            break;
        case FTransactionDate:
            r.transactionDate = ParseDateTime(t);
            break;
        case FTransactionName:
            r.transactionName = t;
            break;
        case FWorkspaceId:
            r.workspaceId = ParseInt(t);
            break;
        case FFieldCount:
            break;
        }
    }
    return true;
}

[[noreturn]] void throwStreamError(const QXmlStreamReader &reader, quint32 code)
{
    throw CBizXmlDomException(code, reader.errorString(), int(reader.lineNumber()),
                              int(reader.columnNumber()));
}

} // namespace

bool ParseFile(CBizXmlElement element, CSharedFileRecord *record)
{
    if (element.IsNull())
        return false;
    SFileFields fields;
    for (int i = 0; i < FFieldCount; ++i)
        fields.present[i] = element.ChildText(QLatin1String(kFileFieldNames[i]), &fields.text[i]);
    CSharedFileRecord scratch;
    return applyFileFields(fields, record ? *record : scratch);
}

bool ParseFileListAnswer(const QString &body,
                         const std::function<bool(std::unique_ptr<CSharedFileRecord>)> &onFile,
                         bool *cutShort)
{
    if (cutShort)
        *cutShort = false;
    QXmlStreamReader reader(body);
    // depth 1: root, 2: listResponse, 3: files, 4: file, 5: a field of the file
    int depth = 0;
    bool inResponse = false;
    bool inFiles = false;
    bool sawFiles = false;
    bool walking = true;
    SFileFields fields;
    int nextField = 0;
    while (!reader.atEnd()) {
        const QXmlStreamReader::TokenType token = reader.readNext();
        if (token == QXmlStreamReader::DTD)
            throw CBizXmlDomException(XmlError::DtdRefused, QStringLiteral("DTD refused"),
                                      int(reader.lineNumber()), int(reader.columnNumber()));
        if (token == QXmlStreamReader::StartElement) {
            ++depth;
            const QStringView name = reader.name();
            if (depth == 2) {
                inResponse = name == u"listResponse";
            } else if (depth == 3 && inResponse && !sawFiles) {
                inFiles = name == u"files";
                sawFiles = inFiles;
            } else if (depth == 4 && inFiles && walking) {
                if (name.compare(u"file", Qt::CaseInsensitive) == 0) {
                    fields = SFileFields();
                    nextField = 0;
                }
            } else if (depth == 5 && inFiles && walking) {
                const int index = fileFieldIndex(name, nextField);
                if (index >= 0)
                    nextField = index + 1;
                if (index >= 0 && !fields.present[index]) {
                    fields.present[index] = true;
                    fields.text[index]
                        = reader.readElementText(QXmlStreamReader::IncludeChildElements);
                    --depth; // readElementText consumed the end element
                }
            }
        } else if (token == QXmlStreamReader::EndElement) {
            if (depth == 4 && inFiles && walking
                && reader.name().compare(u"file", Qt::CaseInsensitive) == 0) {
                auto record = std::make_unique<CSharedFileRecord>();
                // An incomplete entry ends the walk; what was read stays.
                const bool complete = applyFileFields(fields, *record);
                if (!complete && cutShort)
                    *cutShort = true;
                walking = complete && onFile(std::move(record));
            } else if (depth == 3) {
                inFiles = false;
            } else if (depth == 2) {
                inResponse = false;
            }
            --depth;
        }
    }
    if (reader.hasError())
        throwStreamError(reader,
                         body.trimmed().startsWith(u'<') ? XmlError::Malformed : XmlError::NotXml);
    return sawFiles;
}

bool ParseFileVoucher(CBizXmlElement element, CSharedFileRecord *record)
{
    if (element.IsNull())
        return false;
    CSharedFileRecord scratch;
    CSharedFileRecord &r = record ? *record : scratch;
    QString voucherId;
    if (!readTime(element, "date", r.transactionDate))
        return false;
    QString amount;
    if (!readText(element, "amount", amount))
        return false;
    r.amountBlank = amount.trimmed().isEmpty();
    if (!r.amountBlank)
        r.transactionAmount = ParseInt64(amount);
    return readText(element, "name", r.transactionName) && readText(element, "voucherId", voucherId)
           && readText(element, "path", r.path)
           && readText(element, "updateDispName", r.updateDispName)
           && readInt(element, "updateId", r.updateId)
           && readText(element, "updateName", r.updateName)
           && readTime(element, "updateTime", r.updateTime);
}

bool ParseFileType(CBizXmlElement element, qint32 position, CFileTypeRecord *record)
{
    if (element.IsNull())
        return false;
    CFileTypeRecord scratch;
    CFileTypeRecord &r = record ? *record : scratch;
    QString ext;
    if (!readInt(element, "accessType", r.accessType) || !readText(element, "ext", ext)
        || !readText(element, "name", r.name))
        return false;
    r.id = position;
    r.ext = CFileTypeRecord::NormalizeExtension(ext.trimmed());
    return true;
}

bool ParseFileComment(CBizXmlElement element, CFileCommentRecord *record)
{
    if (element.IsNull())
        return false;
    CFileCommentRecord scratch;
    CFileCommentRecord &r = record ? *record : scratch;
    return readText(element, "comment", r.text) && readText(element, "path", r.path)
           && readText(element, "updateDispName", r.updateDispName)
           && readInt(element, "updateId", r.updateId)
           && readText(element, "updateName", r.updateName)
           && readTime(element, "updateTime", r.updateTime)
           && readInt(element, "workspaceId", r.workspaceId);
}

bool ParseFavorite(CBizXmlElement element, CSharedFileRecord *record,
                   const std::function<CWorkspaceRecord *(qint32)> &findFolder)
{
    if (element.IsNull() || !record)
        return false;
    qint32 accessible = 0;
    if (!readInt(element, "accessible", accessible) || accessible == 0)
        return false;
    qint32 kind = 0;
    if (!readInt(element, "as", kind))
        return false;
    CSharedFileRecord &r = *record;
    if (kind == 1) {
        QString comment;
        QString style;
        qint32 id = 0;
        if (!readText(element, "comment", comment))
            return false;
        readText(element, "folderStyle", style);
        if (!readInt(element, "id", id))
            return false;
        CWorkspaceRecord *folder = findFolder ? findFolder(id) : nullptr;
        if (!folder)
            return false;
        folder->isFavorite = true;
        r.SetFolderItem(folder);
        r.comment = comment;
        r.isFavorite = true;
        return true;
    }
    if (kind != 2)
        return false;
    if (!readFileHead(element, r))
        return false;
    const bool read
        = readText(element, "lockDispName", r.lockDispName) && readInt(element, "lockId", r.lockId)
          && readText(element, "lockKey", r.lockKey) && readText(element, "path", r.path)
          && readSize(element, r.size) && readAmount(element, r)
          && readTime(element, "transactionDate", r.transactionDate)
          && readText(element, "transactionName", r.transactionName)
          && readText(element, "updateDispName", r.updateDispName)
          && readInt(element, "updateId", r.updateId)
          && readText(element, "updateName", r.updateName)
          && readTime(element, "updateTime", r.updateTime)
          && readInt(element, "workspaceId", r.workspaceId);
    if (read)
        r.isFavorite = true;
    return read;
}

void ScanDeleteDetails(const QString &message, CFaultDetails &details)
{
    for (const char *key : {"deleteTime", "deleteName"}) {
        const QString name = QString::fromLatin1(key);
        const qsizetype at = message.indexOf(name);
        if (at < 0)
            continue;
        const qsizetype eq = message.indexOf(u'=', at + name.size());
        if (eq < 0)
            continue;
        qsizetype start = eq + 1;
        while (start < message.size() && (message.at(start) == u',' || message.at(start) == u')'))
            ++start;
        qsizetype end = start;
        while (end < message.size() && message.at(end) != u',' && message.at(end) != u')')
            ++end;
        const QString value = message.mid(start, end - start);
        if (!value.isEmpty())
            details.insert(name, value);
    }
}

void CTransactionSearchQuery::AddParams(CBizWinHttpClient &client) const
{
    auto flag = [](bool on) { return on ? QStringLiteral("true") : QStringLiteral("false"); };
    auto addIfSet = [&client](const char *name, const QString &value) {
        if (!value.isEmpty())
            client.SetParameter(QString::fromLatin1(name), value);
    };
    client.SetParameter(QStringLiteral("searchTransactionDateBlankValue"), flag(searchBlankDate));
    if (!searchBlankDate) {
        addIfSet("transactionDateFrom", dateFrom);
        addIfSet("transactionDateTo", dateTo);
    }
    client.SetParameter(QStringLiteral("searchTransactionNameBlankValue"), flag(searchBlankName));
    if (!searchBlankName)
        addIfSet("transactionName", name);
    client.SetParameter(QStringLiteral("searchTransactionAmountBlankValue"),
                        flag(searchBlankAmount));
    if (!searchBlankAmount) {
        addIfSet("transactionAmountFrom", amountFrom);
        addIfSet("transactionAmountTo", amountTo);
    }
}
