#include "LinkCtrl.h"

#include <QRegularExpression>

namespace {

QString EscapedText(const QString &text)
{
    QString escaped = text.toHtmlEscaped();
    escaped.replace(QLatin1String("\r\n"), QLatin1String("<br>"));
    escaped.replace(QLatin1Char('\n'), QLatin1String("<br>"));
    escaped.remove(QLatin1Char('\r'));
    return escaped;
}

} // namespace

CBizLinkCtrl::CBizLinkCtrl(QWidget *parent)
    : QLabel(parent)
{
    setTextFormat(Qt::RichText);
    setOpenExternalLinks(false);
    setTextInteractionFlags(Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard);
    setFocusPolicy(Qt::StrongFocus);
    connect(this, &QLabel::linkActivated, this, &CBizLinkCtrl::linkClicked);
}

void CBizLinkCtrl::SetLinkText(const QString &markup)
{
    m_markup = markup;
    setText(ToRichText(markup));
    QString plain = markup;
    plain.remove(QRegularExpression(QStringLiteral("</?a\\b[^>]*>"),
                                    QRegularExpression::CaseInsensitiveOption));
    if (accessibleName().isEmpty())
        setAccessibleDescription(plain);
}

QString CBizLinkCtrl::ToRichText(const QString &markup)
{
    static const QRegularExpression tag(QStringLiteral("<a(\\s[^>]*)?>|</a\\s*>"),
                                        QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression attribute(
        QStringLiteral("\\b(id|href)\\s*=\\s*(\"([^\"]*)\"|'([^']*)'|([^\\s\"'>]+))"),
        QRegularExpression::CaseInsensitiveOption);

    QString out;
    qsizetype position = 0;
    int links = 0;
    bool open = false;
    auto matches = tag.globalMatch(markup);
    while (matches.hasNext()) {
        const QRegularExpressionMatch match = matches.next();
        out += EscapedText(markup.mid(position, match.capturedStart() - position));
        position = match.capturedEnd();
        const bool closing = match.captured(0).startsWith(QLatin1String("</"));
        if (closing) {
            if (open)
                out += QLatin1String("</a>");
            open = false;
            continue;
        }
        if (open)
            out += QLatin1String("</a>"); // links do not nest
        // The ID names the link; HREF only when there is no ID.
        QString id;
        QString href;
        auto attributes = attribute.globalMatch(match.captured(1));
        while (attributes.hasNext()) {
            const QRegularExpressionMatch a = attributes.next();
            QString value = a.captured(3);
            if (value.isEmpty())
                value = a.captured(4);
            if (value.isEmpty())
                value = a.captured(5);
            if (a.captured(1).compare(QLatin1String("id"), Qt::CaseInsensitive) == 0)
                id = value;
            else
                href = value;
        }
        if (id.isEmpty())
            id = href.isEmpty() ? QString::number(links) : href;
        ++links;
        out += QLatin1String("<a href=\"") + id.toHtmlEscaped() + QLatin1String("\">");
        open = true;
    }
    out += EscapedText(markup.mid(position));
    if (open)
        out += QLatin1String("</a>");
    return out;
}
