#include "IdPath.h"

namespace {

// The id of a component as ParseInt("0x" + first eight characters) reads it, without
// building that text: hexadecimal digits from the start, as far as they go.
qint32 HexIdOf(const QChar *p)
{
    quint32 value = 0;
    for (int i = 0; i < 8; ++i) {
        const char16_t u = p[i].unicode();
        int d;
        if (u >= '0' && u <= '9')
            d = u - '0';
        else if (u >= 'a' && u <= 'f')
            d = u - 'a' + 10;
        else if (u >= 'A' && u <= 'F')
            d = u - 'A' + 10;
        else
            break;
        value = (value << 4) | quint32(d);
    }
    return qint32(value);
}

inline bool IsSeparator(QChar c)
{
    return c == u'/' || c == u'\\';
}

} // namespace

QString EncodeIdName(qint32 id, const QString &name)
{
    return QStringLiteral("%1").arg(quint32(id), 8, 16, QLatin1Char('0')) + name;
}

QString EncodeIdPath(const QList<qint32> &ids, const QStringList &names)
{
    const qsizetype n = std::min(ids.size(), names.size());
    QString path;
    for (qsizetype i = 0; i < n; ++i) {
        if (i > 0)
            path += QChar(IdPathSeparator);
        path += EncodeIdName(ids.at(i), names.at(i));
    }
    return path;
}

int DecodeIdPath(const QString &path, QList<qint32> *ids, QStringList *names)
{
    if (ids)
        ids->clear();
    if (names)
        names->clear();
    int count = 0;
    const QChar *data = path.constData();
    const qsizetype size = path.size();
    qsizetype i = 0;
    while (i < size) {
        while (i < size && IsSeparator(data[i]))
            ++i;
        const qsizetype begin = i;
        while (i < size && !IsSeparator(data[i]))
            ++i;
        const qsizetype length = i - begin;
        if (length < 8)
            continue;
        const qint32 id = HexIdOf(data + begin);
        if (id <= 0)
            continue;
        if (ids)
            ids->append(id);
        if (names)
            names->append(QString(data + begin + 8, length - 8));
        ++count;
    }
    return count;
}

qint32 DecodeIdName(const QString &component, QString *name)
{
    if (component.size() < 8) {
        if (name)
            name->clear();
        return 0;
    }
    if (name)
        *name = component.mid(8);
    return HexIdOf(component.constData());
}
