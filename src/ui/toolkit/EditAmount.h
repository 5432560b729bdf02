#pragma once

#include <QLineEdit>
#include <QString>

#include <optional>

class QClipboard;

// An integer amount. Only "-", digits and Backspace can be typed (keys with Ctrl pass: copy,
// paste, select all); a paste is taken only when its text without "," is all "-" and digits.
// While focused the edit shows the raw value; on leaving it the text is checked (at most one
// "-", in front; no leading "0" except "0" itself; no "-0"), an invalid text clears the value,
// and the value is shown with a "," every three digits.
class CBizEditAmount : public QLineEdit
{
    Q_OBJECT

public:
    explicit CBizEditAmount(QWidget *parent = nullptr);

    // The value without separators; empty when there is none.
    QString rawText() const;
    // The value as a number; none when empty or out of range.
    std::optional<qint64> rawValue() const;
    // Sets the value (checked like a typed one) and shows it as the focus state wants.
    void SetRawText(const QString &text);

    static bool IsValidAmount(const QString &text);
    static QString Grouped(const QString &raw);
    static bool IsAcceptedPaste(const QString &pasted);

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void inputMethodEvent(QInputMethodEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;

private:
    void Paste(const QString &clipboardText);
    void ShowGrouped();
    void RestoreLimit();

    QString m_raw;
    bool m_showsGrouped = false;
    // The caller's length limit while the separators need more room; -1 when not widened.
    int m_limitWhileGrouped = -1;
};
