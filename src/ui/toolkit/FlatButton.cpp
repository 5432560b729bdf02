#include "FlatButton.h"

#include "ImageList.h"

#include <QEvent>
#include <QStyleOptionToolButton>
#include <QStylePainter>

CBizFlatButton::CBizFlatButton(QWidget *parent)
    : QToolButton(parent)
{
    setAutoRaise(true);
    setIconSize(QSize(16, 16));
    setCursor(Qt::PointingHandCursor);
    setToolButtonStyle(Qt::ToolButtonIconOnly);
}

void CBizFlatButton::SetIconId(int iconId, int size)
{
    m_iconId = iconId;
    setIconSize(QSize(size, size));
    setIcon(CBizImageList::Instance().Icon(iconId));
}

QColor CBizFlatButton::faceColour() const
{
    // The active group: a palette's disabled group holds the platform grey.
    const QWidget *source = parentWidget() ? parentWidget() : this;
    return source->palette().color(QPalette::Active, QPalette::Window);
}

void CBizFlatButton::paintEvent(QPaintEvent *)
{
    QStylePainter painter(this);
    QStyleOptionToolButton option;
    initStyleOption(&option);
    const bool raised
        = isEnabled()
          && (option.state & (QStyle::State_MouseOver | QStyle::State_Sunken | QStyle::State_On));
    if (!raised) {
        painter.fillRect(rect(), faceColour());
        // Without the hover and press flags the style draws no panel, only the icon.
        option.state &= ~(QStyle::State_MouseOver | QStyle::State_Raised);
    }
    painter.drawComplexControl(QStyle::CC_ToolButton, option);
}

bool CBizFlatButton::event(QEvent *event)
{
    // An icon-only button is known to assistive tools by its tooltip.
    if (event->type() == QEvent::ToolTipChange && text().isEmpty())
        setAccessibleName(toolTip());
    return QToolButton::event(event);
}
