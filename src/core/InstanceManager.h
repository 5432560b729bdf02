#pragma once

#include "Manager.h"

#include <QString>

// The identity of one installation: a braced upper-case GUID kept in vqrdata/instance.vqr
// (UTF-16LE with byte-order mark, one line without line end). Settings and the
// single-instance lock of an installation are keyed by it.
class CInstanceManager : public CManager
{
public:
    static QString FileName() { return QStringLiteral("instance.vqr"); }

    // Ensures the data folder and reads instance.vqr. An unreadable or empty file is
    // reported (17956), deleted and replaced by a new identity. False when the data folder
    // or the file cannot be written; the start-up then ends.
    bool Initialize();
    // Writes instance.vqr again (restores a file deleted while running); false silently
    // when it cannot.
    bool Save() const;

    QString instanceId() const { return m_instanceId; }

    // Reads the identity of an instance file; empty when the file holds none.
    static QString ReadInstanceFile(const QString &path, bool *readable = nullptr);
    // Writes the identity atomically (temporary file, then rename).
    static bool WriteInstanceFile(const QString &path, const QString &instanceId);

private:
    QString m_instanceId;
};
