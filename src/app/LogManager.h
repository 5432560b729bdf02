#pragma once

#include "account/HasLoginManager.h"
#include "store/DateTimeValue.h"

#include <QDateTime>
#include <QList>
#include <QString>

#include <memory>

// The error log of an operation on many items: each failed item is recorded, the operation
// goes on, and at its end the entries are written as a CSV file on the user's desktop, in
// the users' ANSI code page (CP932), LF line ends, no byte-order mark.
//
// User-interface thread only.
class CLogManager : public CHasLoginManager
{
public:
    struct SFilePath
    {
        CDateTimeValue time; // local time of recording, to the second
        QString operation;   // "追加", "移動", "コピー", "ファイル名変更", ...
        QString source;      // a local path, or folder path names and file name joined by "/"
        QString destination; // may be empty
        QString message;     // a short text of the checks, or the fault's full message
    };

    explicit CLogManager(CLoginManager *loginManager = nullptr);
    ~CLogManager() override;

    void AddEntry(const QString &operation, const QString &source, const QString &destination,
                  const QString &message);
    int Count() const { return int(m_entries.size()); }
    const QList<SFilePath> &entries() const { return m_entries; }

    // Writes the CSV file named after the writing time into the desktop folder (created
    // when missing; an existing file of the name is replaced) and empties the collection,
    // also when the write failed. A failed write has been shown (18327 in use, 18326 not
    // found, else the handler's message); the path is answered in every case.
    QString Write();

    // The CSV bytes of the collection as Write writes them (the classification looks at
    // the local disk now).
    QByteArray CsvBytes() const;
    // One field of a line: enclosed in double quotes (inner ones doubled) only when it
    // holds ",", a double quote, CR or LF.
    static QString CsvField(const QString &text);
    // The message column: CR and LF removed, "," turned into ".".
    static QString CleanMessage(const QString &message);
    // "VQRエラーログ%y%m%d%H%M%S.csv" of the time.
    static QString FileNameFor(const QDateTime &time);
    // The desktop folder (it follows the user's XDG user directories).
    static QString DesktopFolder();

private:
    QList<SFilePath> m_entries;
};
