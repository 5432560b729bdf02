#include "FileKey.h"

QString FileKey(qint32 folderId, const QString &path)
{
    // Built by hand: keys are made for every record of every list.
    static constexpr char16_t digits[] = u"0123456789abcdef";
    QString key(8 + path.size(), Qt::Uninitialized);
    char16_t *out = reinterpret_cast<char16_t *>(key.data());
    quint32 value = quint32(folderId);
    for (int i = 7; i >= 0; --i, value >>= 4)
        out[i] = digits[value & 0xF];
    std::copy(path.cbegin(), path.cend(), reinterpret_cast<QChar *>(out + 8));
    return key;
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
