#pragma once

#include <QByteArray>
#include <QCryptographicHash>
#include <QString>

#include <optional>

// The MD5 digest of the transfers, fed chunk by chunk. The result is 32 lower-case
// hexadecimal characters.
class CBizCryptMessageDigest
{
public:
    void BeginDigest();
    void AddToDigest(const char *bytes, qint64 length);
    void AddToDigest(const QByteArray &bytes) { AddToDigest(bytes.constData(), bytes.size()); }
    // False (text untouched) when no digest was begun.
    bool FinishDigest(QString *hex);
    bool IsBegun() const { return m_hash.has_value(); }

private:
    std::optional<QCryptographicHash> m_hash;
};

// MD5 of bytes / of a whole file (empty text when the file cannot be read).
QString Md5Hex(const QByteArray &bytes);
QString Md5HexOfFile(const QString &path);
// Digests compare without regard to case.
bool DigestEquals(const QString &a, const QString &b);
