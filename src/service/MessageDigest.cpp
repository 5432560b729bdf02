#include "MessageDigest.h"

#include "store/Convert.h"

#include <QFile>

void CBizCryptMessageDigest::BeginDigest()
{
    m_hash.emplace(QCryptographicHash::Md5);
}

void CBizCryptMessageDigest::AddToDigest(const char *bytes, qint64 length)
{
    if (m_hash && length > 0)
        m_hash->addData(QByteArrayView(bytes, length));
}

bool CBizCryptMessageDigest::FinishDigest(QString *hex)
{
    if (!m_hash)
        return false;
    if (hex)
        *hex = HexString(m_hash->result());
    m_hash.reset();
    return true;
}

QString Md5Hex(const QByteArray &bytes)
{
    return HexString(QCryptographicHash::hash(bytes, QCryptographicHash::Md5));
}

QString Md5HexOfFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QCryptographicHash hash(QCryptographicHash::Md5);
    if (!hash.addData(&file))
        return {};
    return HexString(hash.result());
}

bool DigestEquals(const QString &a, const QString &b)
{
    return !a.isEmpty() && a.compare(b, Qt::CaseInsensitive) == 0;
}
