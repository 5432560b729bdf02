#pragma once

#include <QString>

// The key of a file in every file list: the folder id as eight lower-case hexadecimal digits
// ("%08x") immediately followed by the service path ("/" + name).
QString FileKey(qint32 folderId, const QString &path);

// The text used as the path when a key cannot be parsed (it names the entry in error logs).
QString FileKeyParseFailureText();

// Splits a key made by FileKey. Fails for a key shorter than eight characters, and for a
// folder id of 0 (then folderId is 0 and path is FileKeyParseFailureText()).
bool ParseFileKey(const QString &key, qint32 &folderId, QString &path);
