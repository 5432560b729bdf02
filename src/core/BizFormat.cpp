#include "BizFormat.h"

namespace {

QString pad(QString body, int width, bool left, QChar fill)
{
    if (width <= body.size())
        return body;
    if (left)
        return body + QString(width - body.size(), QLatin1Char(' '));
    if (fill == QLatin1Char('0') && !body.isEmpty() && (body[0] == u'-' || body[0] == u'+'))
        return body[0] + QString(width - body.size(), fill) + body.mid(1);
    return QString(width - body.size(), fill) + body;
}

} // namespace

QString BizFormat(const QString &format, std::initializer_list<QVariant> args)
{
    return BizFormat(format, QVariantList(args));
}

QString BizFormat(const QString &format, const QVariantList &args)
{
    QString out;
    out.reserve(format.size() + 32);
    qsizetype next = 0;
    const qsizetype n = format.size();
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = format[i];
        if (c != u'%') {
            out += c;
            continue;
        }
        const qsizetype start = i;
        ++i;
        if (i >= n) {
            out += c;
            break;
        }
        if (format[i] == u'%') {
            out += u'%';
            continue;
        }
        bool left = false;
        QChar fill = QLatin1Char(' ');
        while (i < n
               && (format[i] == u'-' || format[i] == u'0' || format[i] == u'+' || format[i] == u' '
                   || format[i] == u'#')) {
            if (format[i] == u'-')
                left = true;
            else if (format[i] == u'0')
                fill = QLatin1Char('0');
            ++i;
        }
        int width = 0;
        while (i < n && format[i].isDigit() && width < 1000)
            width = width * 10 + format[i++].digitValue();
        int precision = -1;
        if (i < n && format[i] == u'.') {
            ++i;
            precision = 0;
            while (i < n && format[i].isDigit() && precision < 1000)
                precision = precision * 10 + format[i++].digitValue();
        }
        while (i < n
               && (format[i] == u'l' || format[i] == u'h' || format[i] == u'I' || format[i] == u'6'
                   || format[i] == u'4' || format[i] == u'z'))
            ++i;
        if (i >= n) {
            out += format.mid(start);
            break;
        }
        const QChar conv = format[i];
        const QVariant arg = next < args.size() ? args[next] : QVariant();
        QString body;
        switch (conv.unicode()) {
        case 's':
        case 'S':
            body = arg.toString();
            if (precision >= 0)
                body.truncate(precision);
            fill = QLatin1Char(' ');
            break;
        case 'd':
        case 'i':
            body = QString::number(arg.toLongLong());
            break;
        case 'u':
            body = QString::number(arg.metaType().id() == QMetaType::Int
                                       ? qulonglong(quint32(arg.toInt()))
                                       : arg.toULongLong());
            break;
        case 'x':
        case 'X': {
            qulonglong v = arg.toULongLong();
            if (arg.metaType().id() == QMetaType::Int)
                v = quint32(arg.toInt());
            body = QString::number(v, 16);
            if (conv == u'X')
                body = body.toUpper();
            break;
        }
        case 'c': {
            if (arg.metaType().id() == QMetaType::QString)
                body = arg.toString().left(1);
            else if (arg.metaType().id() == QMetaType::QChar)
                body = arg.toChar();
            else
                body = QChar(char16_t(arg.toUInt()));
            break;
        }
        case 'f':
            body = QString::number(arg.toDouble(), 'f', precision < 0 ? 6 : precision);
            break;
        default:
            // Not a conversion we know: copy it as it stands, consume nothing.
            out += format.mid(start, i - start + 1);
            continue;
        }
        ++next;
        out += pad(body, width, left, fill);
    }
    return out;
}
