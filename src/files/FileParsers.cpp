#include "FileParsers.h"

#include "FileCommentRecord.h"
#include "FileRecord.h"
#include "FileTypeRecord.h"

#include "folders/WorkspaceRecord.h"
#include "service/WinHttpClient.h"
#include "service/XmlDocument.h"
#include "store/Convert.h"

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

bool ParseFile(CBizXmlElement element, CSharedFileRecord *record)
{
    if (element.IsNull())
        return false;
    CSharedFileRecord scratch;
    CSharedFileRecord &r = record ? *record : scratch;
    if (!readFileHead(element, r))
        return false;
    // Optional: older services do not send it.
    element.ChildFlag(QStringLiteral("isFavorite"), &r.isFavorite);
    return readText(element, "lockDispName", r.lockDispName) && readInt(element, "lockId", r.lockId)
           && readText(element, "lockKey", r.lockKey) && readText(element, "path", r.path)
           && readSize(element, r.size) && readText(element, "updateDispName", r.updateDispName)
           && readInt(element, "updateId", r.updateId)
           && readText(element, "updateName", r.updateName)
           && readTime(element, "updateTime", r.updateTime) && readAmount(element, r)
           && readTime(element, "transactionDate", r.transactionDate)
           && readText(element, "transactionName", r.transactionName)
           && readInt(element, "workspaceId", r.workspaceId);
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
