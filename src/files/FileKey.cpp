#include "FileKey.h"

QString FileKey(qint32 folderId, const QString &path)
{
    return QStringLiteral("%1").arg(quint32(folderId), 8, 16, QLatin1Char('0')) + path;
}

QString FileKeyParseFailureText()
{
    return QStringLiteral("※WorkspaceIdとPathの解析に失敗しました");
}

namespace {
int hexDigit(QChar c)
{
    const char16_t u = c.unicode();
    if (u >= u'0' && u <= u'9')
        return u - u'0';
    if (u >= u'a' && u <= u'f')
        return u - u'a' + 10;
    if (u >= u'A' && u <= u'F')
        return u - u'A' + 10;
    return -1;
}
} // namespace

bool ParseFileKey(const QString &key, qint32 &folderId, QString &path)
{
    if (key.size() < 8)
        return false;
    // Digits are read as far as they go (like the id-path decoding); a key without a
    // readable id counts as unparsable.
    quint32 value = 0;
    for (int i = 0; i < 8; ++i) {
        const int digit = hexDigit(key.at(i));
        if (digit < 0)
            break;
        value = value * 16 + quint32(digit);
    }
    folderId = qint32(value);
    if (folderId == 0) {
        path = FileKeyParseFailureText();
        return false;
    }
    path = key.mid(8);
    return true;
}
