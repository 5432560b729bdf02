#pragma once

#include <QColor>
#include <QLabel>
#include <QString>
#include <QStringList>

// A text with links. The text is written in the link markup of the dialogs:
// <A ID="x">text</A> (or HREF="x"; a link without either is known by its position, "0",
// "1", ...); everything else is plain text, line breaks kept. A click on a link (or Enter on
// it) reports its id. Disabled links show as grey plain text: no click, no Tab stop.
class CBizLinkCtrl : public QLabel
{
    Q_OBJECT

public:
    explicit CBizLinkCtrl(QWidget *parent = nullptr);

    // Sets the text from the link markup.
    void SetLinkText(const QString &markup);
    QString linkText() const { return m_markup; }
    // The ids of the links drawn disabled (kept across SetLinkText).
    void SetDisabledLinks(const QStringList &ids);
    QStringList disabledLinks() const { return m_disabled; }

    // The markup as rich text: each link becomes <a href="id">text</a>, the rest is escaped.
    static QString ToRichText(const QString &markup);
    // As above, but the links of disabledIds become plain text in disabledColour (invalid:
    // the application palette's disabled text colour).
    static QString ToRichText(const QString &markup, const QStringList &disabledIds,
                              const QColor &disabledColour = QColor());

protected:
    void changeEvent(QEvent *event) override;

Q_SIGNALS:
    void linkClicked(const QString &id);

private:
    void Render();

    QString m_markup;
    QStringList m_disabled;
};
