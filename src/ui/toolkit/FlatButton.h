#pragma once

#include <QColor>
#include <QToolButton>

// A flat icon button: it shows the dialog's theme colour (its parent's window colour) until
// the mouse is over it or it is pressed, and also while it is disabled, instead of the
// platform's grey. Hand cursor; the icon comes from the application's image list.
class CBizFlatButton : public QToolButton
{
    Q_OBJECT

public:
    explicit CBizFlatButton(QWidget *parent = nullptr);

    // The icon of a resource id of the image list, drawn at the given size.
    void SetIconId(int iconId, int size = 16);
    int iconId() const { return m_iconId; }

    // The colour of the face when it is flat: the parent's window colour of its active group.
    QColor faceColour() const;

protected:
    void paintEvent(QPaintEvent *event) override;
    bool event(QEvent *event) override;

private:
    int m_iconId = 0;
};
