#pragma once

#include <QDomDocument>
#include <QDomElement>
#include <QList>
#include <QString>

#include <initializer_list>

// Result codes of CBizXmlDomException raised by LoadXml.
namespace XmlError {
// The text is not XML at all (no markup, an HTML page with its document type, ...).
constexpr quint32 NotXml = 0xC00CE584;
// Well begun but malformed.
constexpr quint32 Malformed = 0xC00CE556;
// A document type declaration: refused, answers never carry one and it is the door to
// entity expansion.
constexpr quint32 DtdRefused = 0xC00CE55D;
} // namespace XmlError

// One element of an answer. Remembers the child found last, so that a parser reading the
// children in the order the service writes them advances by one sibling per lookup; an
// element out of order is still found by name. A null element answers null children and
// empty texts. Copies share the document (QDomElement semantics) but not the memory.
class CBizXmlElement
{
public:
    CBizXmlElement() = default;
    explicit CBizXmlElement(const QDomElement &element)
        : m_element(element)
    {}

    bool IsNull() const { return m_element.isNull(); }
    QString Name() const { return m_element.tagName(); }
    // The element's text content.
    QString Text() const { return m_element.text(); }
    const QDomElement &dom() const { return m_element; }

    // The child element named `name`: the sibling after the one found last when it has the
    // name, otherwise the first child of that name. Null when absent.
    CBizXmlElement FindChild(const QString &name);
    // A chain of FindChild steps, e.g. FindPath({"listResponse", "files"}).
    CBizXmlElement FindPath(std::initializer_list<QString> names);
    // The next sibling element after `from` whose name is `name` (ignoring case).
    static CBizXmlElement NextSibling(const CBizXmlElement &from, const QString &name);

    // Texts of children; false (output untouched) when the child is absent.
    bool ChildText(const QString &name, QString *text);
    bool ChildInt(const QString &name, qint32 *value);   // ParseInt
    bool ChildInt64(const QString &name, qint64 *value); // ParseInt64
    bool ChildFlag(const QString &name, bool *value);    // ParseInt != 0

    // Child nodes in order (white-space-only text never counts); use for position walks.
    QList<QDomNode> ChildNodes() const;
    // Child elements whose name equals itemName ignoring case, in order.
    QList<CBizXmlElement> Items(const QString &itemName) const;

private:
    QDomElement m_element;
    QDomElement m_last;
};

// A parsed answer document.
class CBizXmlDocument
{
public:
    // Parses the whole text. Throws CBizXmlDomException (line, column, reason) on failure.
    void Load(const QString &text);
    // The first element child of the document (a declaration or processing instruction
    // before it is passed over).
    CBizXmlElement Root() const;
    bool IsEmpty() const { return m_doc.documentElement().isNull(); }
    const QDomDocument &dom() const { return m_doc; }

private:
    QDomDocument m_doc;
};

// Convenience: a document from text (throws like Load).
CBizXmlDocument LoadXml(const QString &text);
