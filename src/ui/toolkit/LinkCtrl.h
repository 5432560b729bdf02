#pragma once

#include <QLabel>
#include <QString>

// A text with links. The text is written in the link markup of the dialogs:
// <A ID="x">text</A> (or HREF="x"; a link without either is known by its position, "0",
// "1", ...); everything else is plain text, line breaks kept. A click on a link (or Enter on
// it) reports its id.
class CBizLinkCtrl : public QLabel
{
    Q_OBJECT

public:
    explicit CBizLinkCtrl(QWidget *parent = nullptr);

    // Sets the text from the link markup.
    void SetLinkText(const QString &markup);
    QString linkText() const { return m_markup; }

    // The markup as rich text: each link becomes <a href="id">text</a>, the rest is escaped.
    static QString ToRichText(const QString &markup);

Q_SIGNALS:
    void linkClicked(const QString &id);

private:
    QString m_markup;
};
