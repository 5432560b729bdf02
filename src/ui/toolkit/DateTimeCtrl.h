#pragma once

#include <QColor>
#include <QDate>
#include <QWidget>

class CBizFlatButton;
class QCalendarWidget;
class QLineEdit;

// A date input: an edit (three quarters of the width) beside a calendar button that opens a
// month calendar just below the control's left edge. A date chosen there is written in the
// Japanese short form ("yyyy/MM/dd"); a typed text that is not a date stays as typed, and the
// calendar then opens on today. The border shows whether the edit has the focus.
class CBizDateTimeCtrl : public QWidget
{
    Q_OBJECT

public:
    static constexpr int CalendarIconId = 21628;
    static const QColor &FocusedBorderColour(); // 30, 143, 255
    static const QColor &BorderColour();        // 148, 148, 148

    explicit CBizDateTimeCtrl(QWidget *parent = nullptr);

    QString text() const;
    void SetText(const QString &text);
    void SetMaxLength(int length);
    void SetCalendarIcon(int iconId, int size = 12);

    // The date of a text in the forms a user types ("2024/03/05", "2024/3/5", "2024-03-05").
    static QDate ParseDate(const QString &text);
    static QString FormatDate(const QDate &date);

    // The colour the border is drawn in now.
    QColor borderColour() const;

    QLineEdit *edit() const { return m_edit; }
    CBizFlatButton *calendarButton() const { return m_button; }
    QCalendarWidget *calendar() const { return m_calendar; }
    bool isCalendarOpen() const;

    QSize sizeHint() const override;

public Q_SLOTS:
    void OpenCalendar();

Q_SIGNALS:
    // A date was chosen in the calendar and written into the edit.
    void dateChosen(const QDate &date);
    void textChanged(const QString &text);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    void SyncCalendarToText();
    void OnDateChosen(const QDate &date);
    void LayOut();

    QLineEdit *m_edit = nullptr;
    CBizFlatButton *m_button = nullptr;
    QCalendarWidget *m_calendar = nullptr;
};
