#include "BizProgressDialog.h"

#include "core/Messages.h"
#include "core/Strings.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QGridLayout>
#include <QLabel>
#include <QLoggingCategory>
#include <QMenu>
#include <QPalette>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTextEdit>
#include <QToolButton>

#include <algorithm>

Q_LOGGING_CATEGORY(lcProgressDialog, "velquor.ui.progress")

namespace {

constexpr int kOwnCommandId = 4608;
constexpr int kOwnTemplateTitleId = 20992;
constexpr int kCancelTextId = 20740;
constexpr int kCancelQuestionId = 17687;
const char *const kLockableProperty = "bizLockable";
const char *const kLockedProperty = "bizLocked";
const char *const kBarStateProperty = "barState";

CBizProgressAdapter *g_currentTarget = nullptr;

// A widget the user works with, as opposed to a container whose children are the controls.
bool IsControl(const QWidget *widget)
{
    return qobject_cast<const QAbstractButton *>(widget) || widget->focusPolicy() != Qt::NoFocus;
}

} // namespace

CBizProgressAdapter *CurrentProgressTarget()
{
    return g_currentTarget;
}

CBizProgressDialog::CBizProgressDialog(QWidget *parent)
    : CBizProgressDialog(kOwnCommandId, parent)
{
    BuildOwnTemplate();
}

CBizProgressDialog::CBizProgressDialog(int commandStringId, QWidget *parent)
    : CBizDialog(commandStringId, parent)
    , m_adapter(std::make_unique<CBizProgressAdapter>(this))
{}

CBizProgressDialog::~CBizProgressDialog()
{
    // A dialog destroyed in the middle of a run leaves neither the cursor nor itself behind.
    if (m_cursorShown)
        QApplication::restoreOverrideCursor();
    if (m_registered && g_currentTarget == m_adapter.get())
        g_currentTarget = m_previousTarget;
}

void CBizProgressDialog::BuildOwnTemplate()
{
    setWindowTitle(LoadString(kOwnTemplateTitleId));
    const SProgressControls controls = CreateProgressControls();
    const QSize margin = DialogUnitsToPixels(font(), QSize(7, 7));
    const QSize gap = DialogUnitsToPixels(font(), QSize(3, 0));
    auto *grid = new QGridLayout(this);
    grid->setContentsMargins(margin.width(), margin.height(), margin.width(), margin.height());
    grid->setHorizontalSpacing(gap.width());
    grid->setVerticalSpacing(0);
    // The message and the bar keep to the bottom when the dialog grows.
    grid->setRowStretch(0, 1);
    grid->addWidget(controls.message, 1, 0, 1, 2);
    grid->addWidget(controls.bar, 2, 0);
    grid->addWidget(controls.cancel, 2, 1);
    grid->setColumnStretch(0, 1);
    SetDesignedSize(QSize(242, 50), true);
}

CBizProgressDialog::SProgressControls CBizProgressDialog::CreateProgressControls(bool withCancel)
{
    SProgressControls controls;
    controls.message = new QLabel(this);
    controls.message->setObjectName(QString::number(MessageId));
    controls.bar = new QProgressBar(this);
    controls.bar->setObjectName(QString::number(BarId));
    controls.bar->setAccessibleName(LoadString(kOwnTemplateTitleId));
    controls.bar->setTextVisible(false);
    controls.bar->hide();
    if (withCancel) {
        controls.cancel = new QPushButton(LoadString(kCancelTextId), this);
        controls.cancel->setObjectName(QString::number(CancelId));
        controls.cancel->setAccessibleName(LoadString(kCancelTextId));
        controls.cancel->hide();
    }
    m_message = controls.message;
    m_bar = controls.bar;
    m_cancel = controls.cancel;
    Bind();
    return controls;
}

QLabel *CBizProgressDialog::messageLabel() const
{
    if (!m_message)
        m_message = controlAs<QLabel>(MessageId);
    return m_message;
}

QProgressBar *CBizProgressDialog::progressBar() const
{
    if (!m_bar)
        m_bar = controlAs<QProgressBar>(BarId);
    return m_bar;
}

QPushButton *CBizProgressDialog::cancelButton() const
{
    if (!m_cancel)
        m_cancel = controlAs<QPushButton>(CancelId);
    return m_cancel;
}

void CBizProgressDialog::Bind()
{
    QPushButton *cancel = cancelButton();
    if (!cancel || cancel == m_connectedCancel)
        return;
    // Enter in an edit must never press 中止.
    cancel->setAutoDefault(false);
    cancel->setDefault(false);
    connect(cancel, &QPushButton::clicked, this, [this] { OnCancelPressed(); });
    m_connectedCancel = cancel;
}

bool CBizProgressDialog::IsProgressControl(const QWidget *widget) const
{
    return widget == m_message || widget == m_bar || widget == m_cancel;
}

void CBizProgressDialog::BeginProgress(const QString &message, qint32 total, Refocus refocus)
{
    BeginProgressAt(message, total, nullptr, refocus == Refocus::Focused);
}

void CBizProgressDialog::BeginProgress(const QString &message, qint32 total, QWidget *refocus)
{
    BeginProgressAt(message, total, refocus, true);
}

void CBizProgressDialog::BeginProgress(int messageId, qint32 total, Refocus refocus)
{
    BeginProgress(LoadString(messageId), total, refocus);
}

void CBizProgressDialog::BeginProgressAt(const QString &message, qint32 total, QWidget *refocus,
                                         bool keepFocus)
{
    if (++m_busy > 1)
        return;
    Bind();
    messageLabel();
    progressBar();
    cancelButton();
    m_idleText = m_message ? m_message->text() : QString();
    m_refocus = keepFocus ? (refocus ? refocus : focusWidget()) : nullptr;
    DisableControls(true);
    ShowBusyControls(true);
    OnBusyBegin();
    m_adapter->SetText(message);
    m_previousTarget = g_currentTarget;
    g_currentTarget = m_adapter.get();
    m_registered = true;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    m_cursorShown = true;
    qCDebug(lcProgressDialog) << "busy" << objectName() << message;
    // A new run: the range is set and a cancel request of the previous run is forgotten.
    m_adapter->Begin(total < 0 ? 100 : total);
}

void CBizProgressDialog::EndProgress(bool failed)
{
    if (m_busy == 1) {
        // A failed run is not shown complete (End(0) skips the full bar and its hold).
        m_adapter->End(failed ? 0 : -1);
        ShowBusyControls(false);
        OnBusyEnd();
        if (m_message)
            m_message->setText(m_idleText);
        DisableControls(false);
        if (m_refocus && m_refocus->isEnabled())
            m_refocus->setFocus();
        m_refocus = nullptr;
        if (m_cursorShown) {
            QApplication::restoreOverrideCursor();
            m_cursorShown = false;
        }
        if (m_registered) {
            if (g_currentTarget == m_adapter.get())
                g_currentTarget = m_previousTarget;
            m_registered = false;
        }
        qCDebug(lcProgressDialog) << "idle" << objectName();
    }
    if (m_busy > 0)
        --m_busy;
}

void CBizProgressDialog::SetProgressMessage(const QString &text)
{
    m_adapter->SetText(text);
}

void CBizProgressDialog::SetIdleText(const QString &text)
{
    if (IsBusy()) {
        m_idleText = text;
        return;
    }
    if (QLabel *label = messageLabel())
        label->setText(text);
}

QString CBizProgressDialog::idleText() const
{
    if (IsBusy())
        return m_idleText;
    const QLabel *label = messageLabel();
    return label ? label->text() : QString();
}

void CBizProgressDialog::ShowBusyControls(bool busy)
{
    if (QProgressBar *bar = progressBar())
        bar->setVisible(busy);
    if (QPushButton *cancel = cancelButton())
        cancel->setVisible(busy);
}

void CBizProgressDialog::DisableControls(bool on)
{
    if (on) {
        m_locked.clear();
        LockTree(this);
        return;
    }
    // Back in reverse order, so a control locked inside another comes back last-in first-out.
    for (auto it = m_locked.crbegin(); it != m_locked.crend(); ++it) {
        QWidget *widget = it->widget;
        if (!widget)
            continue;
        switch (it->kind) {
        case LockKind::Disabled:
            widget->setEnabled(true);
            break;
        case LockKind::ReadOnly:
            if (auto *line = qobject_cast<QLineEdit *>(widget))
                line->setReadOnly(false);
            else if (auto *plain = qobject_cast<QPlainTextEdit *>(widget))
                plain->setReadOnly(false);
            else if (auto *text = qobject_cast<QTextEdit *>(widget))
                text->setReadOnly(false);
            break;
        case LockKind::Locked:
            widget->setProperty(kLockedProperty, false);
            break;
        }
    }
    m_locked.clear();
}

void CBizProgressDialog::LockTree(QWidget *parent)
{
    for (QObject *child : parent->children()) {
        auto *widget = qobject_cast<QWidget *>(child);
        // A control that is disabled already (or inside a disabled container) is left as is.
        if (!widget || widget->isWindow() || !widget->isEnabled() || IsProgressControl(widget)
            || qobject_cast<QLabel *>(widget) || widget == systemMenuButton())
            continue;
        if (widget->property(kLockableProperty).toBool()) {
            if (!widget->property(kLockedProperty).toBool()) {
                widget->setProperty(kLockedProperty, true);
                m_locked.append({widget, LockKind::Locked});
            }
            continue;
        }
        // Edits stay readable and selectable: read-only rather than disabled.
        bool readOnly = false;
        bool isEdit = true;
        if (auto *line = qobject_cast<QLineEdit *>(widget)) {
            readOnly = line->isReadOnly();
            line->setReadOnly(true);
        } else if (auto *plain = qobject_cast<QPlainTextEdit *>(widget)) {
            readOnly = plain->isReadOnly();
            plain->setReadOnly(true);
        } else if (auto *text = qobject_cast<QTextEdit *>(widget)) {
            readOnly = text->isReadOnly();
            text->setReadOnly(true);
        } else {
            isEdit = false;
        }
        if (isEdit) {
            if (!readOnly)
                m_locked.append({widget, LockKind::ReadOnly});
            continue;
        }
        if (IsControl(widget)) {
            widget->setEnabled(false);
            m_locked.append({widget, LockKind::Disabled});
            continue;
        }
        LockTree(widget);
    }
}

void CBizProgressDialog::PrepareSystemMenu(QMenu &menu)
{
    CBizDialog::PrepareSystemMenu(menu);
    SystemMenuBusy(menu, IsBusy());
}

void CBizProgressDialog::SystemMenuBusy(QMenu &menu, bool busy)
{
    // The menu is built afresh each time it opens: only the busy state needs applying.
    if (!busy)
        return;
    for (QAction *action : menu.actions()) {
        bool ok = false;
        const int id = action->data().toInt(&ok);
        if (ok && m_busyMenuIds.contains(id))
            action->setEnabled(false);
    }
}

void CBizProgressDialog::OnCancelPressed()
{
    if (!IsBusy())
        return;
    setEnabled(false);
    m_adapter->Suspend(IProgressView::Paused);
    // The question is answered with the normal pointer, not the wait cursor.
    QApplication::setOverrideCursor(Qt::ArrowCursor);
    const int answer = AskYesNoDefaultNo(kCancelQuestionId);
    QApplication::restoreOverrideCursor();
    if (answer == IDYES) {
        qCInfo(lcProgressDialog) << "cancelled by the user";
        m_adapter->Cancel(-1);
    } else {
        m_adapter->Resume();
    }
    setEnabled(true);
}

void CBizProgressDialog::showEvent(QShowEvent *event)
{
    Bind();
    if (!IsBusy())
        ShowBusyControls(false);
    CBizDialog::showEvent(event);
}

void CBizProgressDialog::ShowProgress()
{
    // Bar and button belong to a busy dialog only: idle, the message line stands alone.
    if (IsBusy())
        ShowBusyControls(true);
}

void CBizProgressDialog::SetRange(qint32 total)
{
    m_range = std::max(total, 0);
    if (QProgressBar *bar = progressBar())
        bar->setRange(0, m_range);
}

void CBizProgressDialog::SetPosition(qint32 position)
{
    if (QProgressBar *bar = progressBar())
        bar->setValue(std::clamp(position, bar->minimum(), bar->maximum()));
}

void CBizProgressDialog::SetMarquee(bool on)
{
    // A range of 0..0 is Qt's moving bar.
    if (QProgressBar *bar = progressBar())
        bar->setRange(0, on ? 0 : m_range);
}

void CBizProgressDialog::SetBarState(int state)
{
    QProgressBar *bar = progressBar();
    if (!bar)
        return;
    bar->setProperty(kBarStateProperty, state);
    // Only the bar colour is set; everything else keeps following the dialog's palette.
    QPalette palette;
    switch (state) {
    case Paused:
        palette.setColor(QPalette::Highlight, QColor(218, 203, 38));
        break;
    case Error:
        palette.setColor(QPalette::Highlight, QColor(218, 38, 38));
        break;
    default:
        break;
    }
    bar->setPalette(palette);
}

void CBizProgressDialog::SetProgressText(const QString &text)
{
    if (QLabel *label = messageLabel())
        label->setText(text);
}

void CBizProgressDialog::SetCancelEnabled(bool enabled)
{
    if (QPushButton *cancel = cancelButton())
        cancel->setEnabled(enabled);
}

bool CBizProgressDialog::IsCancelEnabled() const
{
    const QPushButton *cancel = cancelButton();
    return cancel && cancel->isEnabledTo(this);
}
