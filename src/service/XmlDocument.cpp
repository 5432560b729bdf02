#include "XmlDocument.h"

#include "core/BizException.h"
#include "store/Convert.h"

#include <QXmlStreamReader>

CBizXmlElement CBizXmlElement::FindChild(const QString &name)
{
    if (m_element.isNull())
        return {};
    QDomElement found;
    if (!m_last.isNull()) {
        const QDomElement next = m_last.nextSiblingElement();
        if (!next.isNull() && next.tagName() == name)
            found = next;
    }
    if (found.isNull())
        found = m_element.firstChildElement(name);
    if (!found.isNull())
        m_last = found;
    return CBizXmlElement(found);
}

CBizXmlElement CBizXmlElement::FindPath(std::initializer_list<QString> names)
{
    CBizXmlElement current = *this;
    bool first = true;
    for (const QString &name : names) {
        // The first step goes through this object so that its memory advances.
        current = first ? FindChild(name) : current.FindChild(name);
        first = false;
        if (current.IsNull())
            return {};
    }
    return current;
}

CBizXmlElement CBizXmlElement::NextSibling(const CBizXmlElement &from, const QString &name)
{
    for (QDomElement e = from.m_element.nextSiblingElement(); !e.isNull();
         e = e.nextSiblingElement()) {
        if (e.tagName().compare(name, Qt::CaseInsensitive) == 0)
            return CBizXmlElement(e);
    }
    return {};
}

bool CBizXmlElement::ChildText(const QString &name, QString *text)
{
    const CBizXmlElement child = FindChild(name);
    if (child.IsNull())
        return false;
    if (text)
        *text = child.Text();
    return true;
}

bool CBizXmlElement::ChildInt(const QString &name, qint32 *value)
{
    QString text;
    if (!ChildText(name, &text))
        return false;
    if (value)
        *value = ParseInt(text);
    return true;
}

bool CBizXmlElement::ChildInt64(const QString &name, qint64 *value)
{
    QString text;
    if (!ChildText(name, &text))
        return false;
    if (value)
        *value = ParseInt64(text);
    return true;
}

bool CBizXmlElement::ChildFlag(const QString &name, bool *value)
{
    QString text;
    if (!ChildText(name, &text))
        return false;
    if (value)
        *value = ParseInt(text) != 0;
    return true;
}

QList<QDomNode> CBizXmlElement::ChildNodes() const
{
    QList<QDomNode> nodes;
    for (QDomNode n = m_element.firstChild(); !n.isNull(); n = n.nextSibling()) {
        if (n.isText() && n.nodeValue().trimmed().isEmpty())
            continue;
        nodes.append(n);
    }
    return nodes;
}

QList<CBizXmlElement> CBizXmlElement::Items(const QString &itemName) const
{
    QList<CBizXmlElement> items;
    for (QDomElement e = m_element.firstChildElement(); !e.isNull(); e = e.nextSiblingElement()) {
        if (e.tagName().compare(itemName, Qt::CaseInsensitive) == 0)
            items.append(CBizXmlElement(e));
    }
    return items;
}

namespace {

[[noreturn]] void raise(quint32 code, const QString &reason, qint64 line, qint64 column)
{
    throw CBizXmlDomException(code, reason, int(line), int(column));
}

// Looks at the prolog only: refuses a document type declaration before the DOM parser can
// expand any entity, and tells "not XML at all" from "malformed XML".
void checkProlog(const QString &text)
{
    QXmlStreamReader reader(text);
    while (!reader.atEnd()) {
        const QXmlStreamReader::TokenType token = reader.readNext();
        switch (token) {
        case QXmlStreamReader::DTD:
            raise(reader.text().contains(QLatin1String("html"), Qt::CaseInsensitive)
                      ? XmlError::NotXml
                      : XmlError::DtdRefused,
                  QStringLiteral("DTD は使用できません"), reader.lineNumber(),
                  reader.columnNumber());
        case QXmlStreamReader::StartElement:
            return;
        case QXmlStreamReader::Invalid:
            raise(XmlError::NotXml, reader.errorString(), reader.lineNumber(),
                  reader.columnNumber());
        default:
            break;
        }
    }
}

} // namespace

void CBizXmlDocument::Load(const QString &text)
{
    m_doc = QDomDocument();
    checkProlog(text);
    QDomDocument doc;
    QString error;
    int line = 0;
    int column = 0;
    if (!doc.setContent(text, false, &error, &line, &column))
        raise(XmlError::Malformed, error, line, column);
    m_doc = doc;
}

CBizXmlElement CBizXmlDocument::Root() const
{
    return CBizXmlElement(m_doc.documentElement());
}

CBizXmlDocument LoadXml(const QString &text)
{
    CBizXmlDocument doc;
    doc.Load(text);
    return doc;
}
