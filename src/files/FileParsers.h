#pragma once

#include <QMap>
#include <QString>

#include <functional>
#include <memory>

class CBizXmlElement;
class CBizWinHttpClient;
class CSharedFileRecord;
class CFileTypeRecord;
class CFileCommentRecord;
class CWorkspaceRecord;

// Details of certain faults that some callers take instead of an exception: "deleteTime",
// "deleteName" (a file that is gone), "lockedFolder", "deletedFolder" (folder ids, "%d").
using CFaultDetails = QMap<QString, QString>;

// Reads a "file" element into record (nullptr: only checks it). The children are read in
// the service's order; every one is required except "isFavorite". Reading stops at the
// first missing one (the fields read before keep their values) and the answer is false.
bool ParseFile(CBizXmlElement element, CSharedFileRecord *record);

// Reads the body of a file list answer (listResponse/files/file*) with a streaming reader:
// every "file" becomes a record handed to onFile (which answers false to stop). A "file"
// that fails to parse ends the walk and sets cutShort. False when the answer has no "files".
// A body that is not well-formed XML raises CBizXmlDomException (a DTD is refused).
bool ParseFileListAnswer(const QString &body,
                         const std::function<bool(std::unique_ptr<CSharedFileRecord>)> &onFile,
                         bool *cutShort = nullptr);

// Reads a "fileVoucher" element (date, amount, name, voucherId, path and the updater);
// all children required.
bool ParseFileVoucher(CBizXmlElement element, CSharedFileRecord *record);

// Reads a "fileType" element: id = position (from 1), ext = "." + ext in lower case, name
// = the product name. False when a child is missing.
bool ParseFileType(CBizXmlElement element, qint32 position, CFileTypeRecord *record);

// Reads a "fileComment" element (comment, path, updater, time, folder); all required.
bool ParseFileComment(CBizXmlElement element, CFileCommentRecord *record);

// Reads a "favorite" element into record. Answers false for an entry that is not usable
// (not accessible, unknown kind, or incomplete). A folder favourite becomes a subfolder
// entry of the folder findFolder gives for its id (none: the entry is not usable); the
// folder record is marked favourite too.
bool ParseFavorite(CBizXmlElement element, CSharedFileRecord *record,
                   const std::function<CWorkspaceRecord *(qint32)> &findFolder);

// Scans a fault message for "key=value" (value up to the next "," or ")") and stores a
// non-empty value under key: deleteTime, then deleteName.
void ScanDeleteDetails(const QString &message, CFaultDetails &details);

// The transaction-info search of the file list and count.
class CTransactionSearchQuery
{
public:
    // Adds the search parameters in the service's order; a blank search leaves out the
    // range it replaces, empty bounds are not sent.
    void AddParams(CBizWinHttpClient &client) const;

    QString dateFrom;
    QString dateTo;
    QString name;
    QString amountFrom;
    QString amountTo;
    bool searchBlankDate = false;
    bool searchBlankName = false;
    bool searchBlankAmount = false;
};
