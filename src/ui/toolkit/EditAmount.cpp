#include "EditAmount.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMenu>

namespace {

bool IsAmountChar(QChar c)
{
    return c == QLatin1Char('-') || (c >= QLatin1Char('0') && c <= QLatin1Char('9'));
}

bool AllAmountChars(const QString &text)
{
    for (QChar c : text) {
        if (!IsAmountChar(c))
            return false;
    }
    return true;
}

} // namespace

CBizEditAmount::CBizEditAmount(QWidget *parent)
    : QLineEdit(parent)
{
    setAcceptDrops(false);
}

QString CBizEditAmount::rawText() const
{
    return m_showsGrouped ? m_raw : text();
}

std::optional<qint64> CBizEditAmount::rawValue() const
{
    const QString raw = rawText();
    if (!IsValidAmount(raw))
        return std::nullopt;
    bool ok = false;
    const qint64 value = raw.toLongLong(&ok);
    if (!ok)
        return std::nullopt;
    return value;
}

void CBizEditAmount::SetRawText(const QString &text)
{
    m_raw = IsValidAmount(text) ? text : QString();
    if (hasFocus()) {
        m_showsGrouped = false;
        RestoreLimit();
        setText(m_raw);
    } else {
        ShowGrouped();
    }
}

bool CBizEditAmount::IsValidAmount(const QString &text)
{
    if (text.isEmpty() || !AllAmountChars(text))
        return false;
    const bool negative = text.front() == QLatin1Char('-');
    const QString digits = negative ? text.mid(1) : text;
    if (digits.isEmpty() || digits.contains(QLatin1Char('-')))
        return false;
    if (digits.front() == QLatin1Char('0'))
        return !negative && digits.size() == 1;
    return true;
}

QString CBizEditAmount::Grouped(const QString &raw)
{
    const bool negative = raw.startsWith(QLatin1Char('-'));
    const QString digits = negative ? raw.mid(1) : raw;
    QString out;
    out.reserve(digits.size() + digits.size() / 3 + 1);
    for (qsizetype i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0)
            out += QLatin1Char(',');
        out += digits.at(i);
    }
    return negative ? QLatin1Char('-') + out : out;
}

bool CBizEditAmount::IsAcceptedPaste(const QString &pasted)
{
    QString text = pasted;
    text.remove(QLatin1Char(','));
    return !text.isEmpty() && AllAmountChars(text);
}

void CBizEditAmount::Paste(const QString &clipboardText)
{
    if (isReadOnly() || !IsAcceptedPaste(clipboardText))
        return;
    QString text = clipboardText;
    text.remove(QLatin1Char(','));
    insert(text);
}

void CBizEditAmount::keyPressEvent(QKeyEvent *event)
{
    if (event->matches(QKeySequence::Paste)) {
        Paste(QApplication::clipboard()->text());
        event->accept();
        return;
    }
    if (event->modifiers() & Qt::ControlModifier) {
        QLineEdit::keyPressEvent(event);
        return;
    }
    const QString typed = event->text();
    // Keys that type nothing (arrows, Delete, Backspace, Enter) keep their meaning.
    const bool printable = !typed.isEmpty() && typed.front().isPrint();
    if (printable && !AllAmountChars(typed)) {
        event->accept();
        return;
    }
    QLineEdit::keyPressEvent(event);
}

void CBizEditAmount::inputMethodEvent(QInputMethodEvent *event)
{
    if (!event->commitString().isEmpty() && !AllAmountChars(event->commitString())) {
        QInputMethodEvent without(event->preeditString(), event->attributes());
        QLineEdit::inputMethodEvent(&without);
        return;
    }
    QLineEdit::inputMethodEvent(event);
}

void CBizEditAmount::mouseReleaseEvent(QMouseEvent *event)
{
    // The middle button pastes the selection on X11: the same rule as any paste.
    if (event->button() == Qt::MiddleButton) {
        const QClipboard *clipboard = QApplication::clipboard();
        if (clipboard->supportsSelection()) {
            Paste(clipboard->text(QClipboard::Selection));
            event->accept();
            return;
        }
    }
    QLineEdit::mouseReleaseEvent(event);
}

void CBizEditAmount::contextMenuEvent(QContextMenuEvent *event)
{
    QMenu *menu = createStandardContextMenu();
    menu->setAttribute(Qt::WA_DeleteOnClose);
    if (QAction *paste = menu->findChild<QAction *>(QStringLiteral("edit-paste"))) {
        disconnect(paste, &QAction::triggered, nullptr, nullptr);
        connect(paste, &QAction::triggered, this,
                [this] { Paste(QApplication::clipboard()->text()); });
    }
    menu->popup(event->globalPos());
}

void CBizEditAmount::focusInEvent(QFocusEvent *event)
{
    if (m_showsGrouped) {
        m_showsGrouped = false;
        RestoreLimit();
        setText(m_raw);
    }
    QLineEdit::focusInEvent(event);
}

void CBizEditAmount::focusOutEvent(QFocusEvent *event)
{
    QLineEdit::focusOutEvent(event);
    // A context menu of the edit is not leaving it.
    if (event->reason() == Qt::PopupFocusReason)
        return;
    m_raw = IsValidAmount(text()) ? text() : QString();
    ShowGrouped();
}

void CBizEditAmount::ShowGrouped()
{
    // The limit counts what the user types; the separators must not cut the value short.
    const QString grouped = Grouped(m_raw);
    if (grouped.size() > maxLength()) {
        if (m_limitWhileGrouped < 0)
            m_limitWhileGrouped = maxLength();
        setMaxLength(int(grouped.size()));
    }
    m_showsGrouped = true;
    setText(grouped);
}

void CBizEditAmount::RestoreLimit()
{
    if (m_limitWhileGrouped >= 0) {
        setMaxLength(m_limitWhileGrouped);
        m_limitWhileGrouped = -1;
    }
}
