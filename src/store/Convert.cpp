#include "Convert.h"

#include "NameCompare.h"
#include "StoreLog.h"

#include <cmath>
#include <limits>

Q_LOGGING_CATEGORY(lcStore, "velquor.store")

namespace {

int HexDigit(QChar c)
{
    const char16_t u = c.unicode();
    if (u >= '0' && u <= '9')
        return u - '0';
    if (u >= 'a' && u <= 'f')
        return u - 'a' + 10;
    if (u >= 'A' && u <= 'F')
        return u - 'A' + 10;
    return -1;
}

// Reads the number of ParseInt/ParseInt64. Hexadecimal values saturate at the unsigned
// maximum of the target width, decimal ones at its signed range (as the C library does).
template<typename Signed>
Signed ParseNumber(const QString &input)
{
    using Unsigned = std::make_unsigned_t<Signed>;
    const QString text = input.trimmed();
    if (text.isEmpty())
        return 0;
    if (text.compare(u"true", Qt::CaseInsensitive) == 0
        || text.compare(u"yes", Qt::CaseInsensitive) == 0)
        return 1;
    if (text.compare(u"false", Qt::CaseInsensitive) == 0
        || text.compare(u"no", Qt::CaseInsensitive) == 0)
        return 0;

    qsizetype i = 0;
    bool negative = false;
    if (text[i] == u'-' || text[i] == u'+') {
        negative = text[i] == u'-';
        ++i;
    }
    if (i + 1 < text.size() && text[i] == u'0' && (text[i + 1] == u'x' || text[i + 1] == u'X')) {
        Unsigned value = 0;
        bool saturated = false;
        for (i += 2; i < text.size(); ++i) {
            const int d = HexDigit(text[i]);
            if (d < 0)
                break;
            if (value > (std::numeric_limits<Unsigned>::max() >> 4))
                saturated = true;
            value = Unsigned(value << 4) | Unsigned(d);
        }
        if (saturated)
            value = std::numeric_limits<Unsigned>::max();
        if (negative)
            value = Unsigned(0) - value;
        return static_cast<Signed>(value);
    }

    // Accumulate the magnitude unsigned; the negative limit is one larger than the positive.
    const Unsigned limit = negative ? Unsigned(std::numeric_limits<Signed>::max()) + 1u
                                    : Unsigned(std::numeric_limits<Signed>::max());
    Unsigned value = 0;
    for (; i < text.size(); ++i) {
        const char16_t u = text[i].unicode();
        if (u < '0' || u > '9')
            break;
        const Unsigned d = u - '0';
        if (value > (limit - d) / 10) {
            value = limit;
            break;
        }
        value = value * 10 + d;
    }
    if (negative)
        return value == limit ? std::numeric_limits<Signed>::min() : -static_cast<Signed>(value);
    return static_cast<Signed>(value);
}

QString GroupDigits(const QString &digits)
{
    qsizetype start = (digits.startsWith(u'-') ? 1 : 0);
    QString result = digits;
    for (qsizetype pos = result.size() - 3; pos > start; pos -= 3)
        result.insert(pos, u',');
    return result;
}

} // namespace

qint32 ParseInt(const QString &text)
{
    return ParseNumber<qint32>(text);
}

qint64 ParseInt64(const QString &text)
{
    return ParseNumber<qint64>(text);
}

QString FormatBool(bool flag)
{
    return flag ? QStringLiteral("true") : QStringLiteral("false");
}

QString FormatInt(qint32 value, bool group)
{
    const QString text = QString::number(value);
    return group ? GroupDigits(text) : text;
}

QString FormatUInt(quint32 value, bool group)
{
    const QString text = QString::number(value);
    return group ? GroupDigits(text) : text;
}

QString FormatInt64(qint64 value, bool group)
{
    const QString text = QString::number(value);
    return group ? GroupDigits(text) : text;
}

QString FormatVersion(quint32 ms, quint32 ls)
{
    return QStringLiteral("%1.%2.%3.%4")
        .arg(ms >> 16)
        .arg(ms & 0xFFFF)
        .arg(ls >> 16)
        .arg(ls & 0xFFFF);
}

quint32 ParseVersion(const QString &text, quint32 *ls)
{
    if (text.isEmpty())
        return 0;
    quint32 runs[4] = {0, 0, 0, 0};
    int count = 0;
    qsizetype i = 0;
    while (i < text.size() && count < 4) {
        while (i < text.size() && (text[i] < u'0' || text[i] > u'9'))
            ++i;
        const qsizetype begin = i;
        while (i < text.size() && text[i] >= u'0' && text[i] <= u'9')
            ++i;
        if (i > begin)
            runs[count++] = quint32(ParseInt(text.mid(begin, i - begin)));
    }
    if (ls)
        *ls = (runs[2] << 16) | (runs[3] & 0xFFFF);
    return (runs[0] << 16) | (runs[1] & 0xFFFF);
}

QString HexString(const QByteArray &bytes)
{
    return QString::fromLatin1(bytes.toHex());
}

QString FormatByteSize(qint64 bytes)
{
    if (bytes < 0)
        bytes = 0;
    if (bytes < 1024)
        return QStringLiteral("%1 バイト").arg(bytes);
    static const char *const units[] = {"KB", "MB", "GB", "TB", "PB", "EB"};
    int unit = 0;
    double value = double(bytes) / 1024.0;
    while (value >= 1000.0 && unit < 5) {
        value /= 1024.0;
        ++unit;
    }
    // Truncate, never round up: 1023.9 KB must not read as "1.00 MB" or "1024 KB".
    int decimals = value < 10.0 ? 2 : (value < 100.0 ? 1 : 0);
    const double scale = decimals == 2 ? 100.0 : (decimals == 1 ? 10.0 : 1.0);
    const double truncated = std::floor(value * scale) / scale;
    return QString::number(truncated, 'f', decimals) + u' ' + QLatin1String(units[unit]);
}

QString JoinStrings(const QStringList &parts, QChar separator, int start, bool skipLeading)
{
    if (start < 0 || start >= parts.size())
        return {};
    QString result = parts.at(start);
    for (qsizetype i = start + 1; i < parts.size(); ++i) {
        const QString &part = parts.at(i);
        if (part.isEmpty())
            continue;
        if (!separator.isNull() && !(skipLeading && result.isEmpty()))
            result += separator;
        result += part;
    }
    return result;
}

int FindStringLoose(const QStringList &parts, const QString &text, int start)
{
    for (qsizetype i = std::max(start, 0); i < parts.size(); ++i) {
        const QString &part = parts.at(i);
        if (part.isEmpty())
            continue;
        if (text.isEmpty() || ContainsNameLoose(part, text))
            return int(i);
    }
    return -1;
}

QString CsvField(const QString &text)
{
    bool quote = false;
    for (const QChar c : text) {
        if (c == u',' || c == u'"' || c == u'\r' || c == u'\n') {
            quote = true;
            break;
        }
    }
    if (!quote)
        return text;
    QString quoted = text;
    quoted.replace(u'"', QStringLiteral("\"\""));
    return u'"' + quoted + u'"';
}
