#include "LinkCtrl.h"

#include <QEvent>
#include <QGuiApplication>
#include <QPalette>
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
    Render();
    QString plain = markup;
    plain.remove(QRegularExpression(QStringLiteral("</?a\\b[^>]*>"),
                                    QRegularExpression::CaseInsensitiveOption));
    if (accessibleName().isEmpty())
        setAccessibleDescription(plain);
}

void CBizLinkCtrl::SetDisabledLinks(const QStringList &ids)
{
    m_disabled = ids;
    Render();
}

void CBizLinkCtrl::changeEvent(QEvent *event)
{
    QLabel::changeEvent(event);
    // The grey of the disabled links is baked into the rich text: a new palette redraws it.
    if (event->type() == QEvent::PaletteChange && !m_disabled.isEmpty())
        Render();
}

void CBizLinkCtrl::Render()
{
    if (m_disabled.isEmpty())
        setText(ToRichText(m_markup));
    else
        setText(
            ToRichText(m_markup, m_disabled, palette().color(QPalette::Disabled, QPalette::Text)));
}

QString CBizLinkCtrl::ToRichText(const QString &markup)
{
    return ToRichText(markup, QStringList());
}

QString CBizLinkCtrl::ToRichText(const QString &markup, const QStringList &disabledIds,
                                 const QColor &disabledColour)
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
    // A disabled link is a span, not an anchor: the label then neither reports it nor stops
    // on it with Tab.
    bool openDisabled = false;
    const QColor grey = disabledColour.isValid()
                            ? disabledColour
                            : QGuiApplication::palette().color(QPalette::Disabled, QPalette::Text);
    const QString closeLink = QStringLiteral("</a>");
    const QString closeSpan = QStringLiteral("</span>");
    auto matches = tag.globalMatch(markup);
    while (matches.hasNext()) {
        const QRegularExpressionMatch match = matches.next();
        out += EscapedText(markup.mid(position, match.capturedStart() - position));
        position = match.capturedEnd();
        const bool closing = match.captured(0).startsWith(QLatin1String("</"));
        if (closing) {
            if (open)
                out += openDisabled ? closeSpan : closeLink;
            open = false;
            continue;
        }
        if (open)
            out += openDisabled ? closeSpan : closeLink; // links do not nest
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
        openDisabled = disabledIds.contains(id);
        if (openDisabled)
            out += QLatin1String("<span style=\"color:") + grey.name() + QLatin1String("\">");
        else
            out += QLatin1String("<a href=\"") + id.toHtmlEscaped() + QLatin1String("\">");
        open = true;
    }
    out += EscapedText(markup.mid(position));
    if (open)
        out += openDisabled ? closeSpan : closeLink;
    return out;
}
