#include "DateTimeCtrl.h"

#include "FlatButton.h"

#include <QCalendarWidget>
#include <QEvent>
#include <QFocusEvent>
#include <QLineEdit>
#include <QLocale>
#include <QPainter>

namespace {

constexpr int Inset = 3;

} // namespace

const QColor &CBizDateTimeCtrl::FocusedBorderColour()
{
    static const QColor colour(30, 143, 255);
    return colour;
}

const QColor &CBizDateTimeCtrl::BorderColour()
{
    static const QColor colour(148, 148, 148);
    return colour;
}

CBizDateTimeCtrl::CBizDateTimeCtrl(QWidget *parent)
    : QWidget(parent)
    , m_edit(new QLineEdit(this))
    , m_button(new CBizFlatButton(this))
    , m_calendar(new QCalendarWidget(this))
{
    m_edit->setFrame(false);
    m_edit->installEventFilter(this);
    setFocusProxy(m_edit);
    setFocusPolicy(m_edit->focusPolicy());

    m_button->setObjectName(QString::number(CalendarIconId));
    m_button->setToolTip(QStringLiteral("カレンダー"));
    m_button->setAccessibleName(QStringLiteral("カレンダー"));
    // Reachable by Tab like any button: the calendar is not for mouse users only.
    m_button->setFocusPolicy(Qt::TabFocus);
    m_button->SetIconId(CalendarIconId, 12);

    m_calendar->setWindowFlags(Qt::Popup);
    m_calendar->setLocale(QLocale(QLocale::Japanese));
    m_calendar->setVerticalHeaderFormat(QCalendarWidget::NoVerticalHeader);
    m_calendar->hide();

    connect(m_button, &QToolButton::clicked, this, &CBizDateTimeCtrl::OpenCalendar);
    connect(m_calendar, &QCalendarWidget::clicked, this, &CBizDateTimeCtrl::OnDateChosen);
    connect(m_calendar, &QCalendarWidget::activated, this, &CBizDateTimeCtrl::OnDateChosen);
    connect(m_edit, &QLineEdit::textChanged, this, &CBizDateTimeCtrl::textChanged);
}

QString CBizDateTimeCtrl::text() const
{
    return m_edit->text();
}

void CBizDateTimeCtrl::SetText(const QString &text)
{
    m_edit->setText(text);
}

void CBizDateTimeCtrl::SetMaxLength(int length)
{
    m_edit->setMaxLength(length);
}

void CBizDateTimeCtrl::SetCalendarIcon(int iconId, int size)
{
    m_button->setObjectName(QString::number(iconId));
    m_button->SetIconId(iconId, size);
}

QDate CBizDateTimeCtrl::ParseDate(const QString &text)
{
    const QString trimmed = text.trimmed();
    const QLocale japanese(QLocale::Japanese);
    QDate date = japanese.toDate(trimmed, QLocale::ShortFormat);
    for (const char *format : {"yyyy/M/d", "yyyy-M-d", "yyyy.M.d"}) {
        if (date.isValid())
            break;
        date = QDate::fromString(trimmed, QLatin1String(format));
    }
    return date;
}

QString CBizDateTimeCtrl::FormatDate(const QDate &date)
{
    return QLocale(QLocale::Japanese).toString(date, QLocale::ShortFormat);
}

QColor CBizDateTimeCtrl::borderColour() const
{
    return m_edit->hasFocus() ? FocusedBorderColour() : BorderColour();
}

bool CBizDateTimeCtrl::isCalendarOpen() const
{
    return m_calendar->isVisible();
}

QSize CBizDateTimeCtrl::sizeHint() const
{
    const QFontMetrics metrics(m_edit->font());
    const int editWidth = metrics.horizontalAdvance(QStringLiteral("0000/00/00")) + 8;
    const int height = qMax(m_edit->sizeHint().height(), 16) + 2 * Inset;
    // The edit takes three quarters of the width.
    return QSize((editWidth + 2 * Inset) * 4 / 3, height);
}

void CBizDateTimeCtrl::SyncCalendarToText()
{
    const QDate date = ParseDate(m_edit->text());
    m_calendar->setSelectedDate(date.isValid() ? date : QDate::currentDate());
}

void CBizDateTimeCtrl::OpenCalendar()
{
    if (!isEnabled())
        return;
    SyncCalendarToText();
    m_calendar->adjustSize();
    // The native window first: a window placed before it exists lands off by its frame.
    m_calendar->winId();
    m_calendar->move(mapToGlobal(QPoint(0, height())));
    m_calendar->show();
    m_calendar->setFocus(Qt::PopupFocusReason);
}

void CBizDateTimeCtrl::OnDateChosen(const QDate &date)
{
    // A double click reports the date twice: the first closes the calendar.
    if (!date.isValid() || !m_calendar->isVisible())
        return;
    m_calendar->hide();
    m_edit->setText(FormatDate(date));
    m_edit->setFocus(Qt::OtherFocusReason);
    Q_EMIT dateChosen(date);
}

bool CBizDateTimeCtrl::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_edit) {
        if (event->type() == QEvent::FocusOut) {
            // The calendar follows the text; the text itself stays as typed.
            SyncCalendarToText();
            update();
        } else if (event->type() == QEvent::FocusIn) {
            update();
        }
    }
    return QWidget::eventFilter(watched, event);
}

void CBizDateTimeCtrl::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    const QRect frame = rect().adjusted(0, 0, -1, -1);
    painter.fillRect(rect(), palette().color(QPalette::Window));
    painter.fillRect(rect().adjusted(1, 1, -1, -1), Qt::white);
    painter.setPen(borderColour());
    painter.drawRect(frame);
}

void CBizDateTimeCtrl::LayOut()
{
    const int editRight = width() * 3 / 4;
    m_edit->setGeometry(Inset, Inset, qMax(0, editRight - 2 * Inset),
                        qMax(0, height() - 2 * Inset));
    m_button->setGeometry(editRight, 1, qMax(0, width() - editRight - 1), qMax(0, height() - 2));
}

void CBizDateTimeCtrl::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    LayOut();
}

void CBizDateTimeCtrl::showEvent(QShowEvent *event)
{
    // The dialog names the control after its label; the edit inside answers to that name,
    // and its calendar button and pop-up say whose calendar they are (two date fields must
    // not both offer a "カレンダー").
    if (!accessibleName().isEmpty()) {
        if (m_edit->accessibleName().isEmpty())
            m_edit->setAccessibleName(accessibleName());
        const QString calendar = accessibleName() + QStringLiteral("のカレンダー");
        m_button->setAccessibleName(calendar);
        m_calendar->setAccessibleName(calendar);
    }
    QWidget::showEvent(event);
}
