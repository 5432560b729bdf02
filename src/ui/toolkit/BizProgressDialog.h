#pragma once

#include "BizDialog.h"

#include "core/BizProgressAdapter.h"

#include <QList>
#include <QPointer>
#include <QString>

#include <memory>

class QLabel;
class QMenu;
class QProgressBar;
class QPushButton;

// The adapter of the progress window that is busy now (the innermost one), or nullptr.
// The application's idle step dispatches the pending events while there is one.
CBizProgressAdapter *CurrentProgressTarget();

// A dialog that shows the progress of a long operation inside itself: the message line
// 20739, the bar 20738 and the cancel button 20740 "中止" (the last two only while busy).
// BeginProgress/EndProgress nest; while busy the dialog's controls are locked (edits
// read-only, tree combos locked, the rest disabled), its system-menu items listed with
// SetBusyDisabledSystemMenuIds are disabled, Esc and the close button do nothing and the
// wait cursor is shown. Callers attach progressHandler() to the systems they call.
//
// Derived dialogs make the three controls with CreateProgressControls (or give their own
// controls those ids) and place them; the constructor without a command string builds the
// dialog on its own (a message line over the bar and the cancel button).
class CBizProgressDialog : public CBizDialog, public IProgressView
{
    Q_OBJECT

public:
    static constexpr int MessageId = 20739;
    static constexpr int BarId = 20738;
    static constexpr int CancelId = 20740;

    // The progress dialog on its own ("進行状況").
    explicit CBizProgressDialog(QWidget *parent = nullptr);
    explicit CBizProgressDialog(int commandStringId, QWidget *parent = nullptr);
    ~CBizProgressDialog() override;

    CBizProgressAdapter *progressHandler() const { return m_adapter.get(); }

    // Which control gets the focus back at the end of the outermost run.
    enum class Refocus { Focused, None };

    // total: the bar's range; -1 stands for 100.
    void BeginProgress(const QString &message, qint32 total = -1,
                       Refocus refocus = Refocus::Focused);
    void BeginProgress(const QString &message, qint32 total, QWidget *refocus);
    void BeginProgress(int messageId, qint32 total = -1, Refocus refocus = Refocus::Focused);
    // failed: the bar is not shown complete.
    void EndProgress(bool failed = false);
    void SetProgressMessage(const QString &text);

    bool IsBusy() const override { return m_busy > 0; }
    int busyLevel() const { return m_busy; }

    // The text of the message line while idle.
    void SetIdleText(const QString &text);
    QString idleText() const;

    // The system-menu items (QAction::data ids) that are disabled while busy.
    void SetBusyDisabledSystemMenuIds(const QList<int> &ids) { m_busyMenuIds = ids; }
    // Derived dialogs that add items call this (or SystemMenuBusy) after adding them.
    void PrepareSystemMenu(QMenu &menu) override;

    // IProgressView
    void ShowProgress() override;
    void SetRange(qint32 total) override;
    void SetPosition(qint32 position) override;
    void SetMarquee(bool on) override;
    void SetBarState(int state) override;
    void SetProgressText(const QString &text) override;
    void SetCancelEnabled(bool enabled) override;
    bool IsCancelEnabled() const override;

    QLabel *messageLabel() const;
    QProgressBar *progressBar() const;
    QPushButton *cancelButton() const;

protected:
    struct SProgressControls
    {
        QLabel *message = nullptr;
        QProgressBar *bar = nullptr;
        QPushButton *cancel = nullptr;
    };
    // Makes the three controls (bar and button hidden) as children of this dialog.
    SProgressControls CreateProgressControls(bool withCancel = true);

    // on: locks every enabled control and remembers it; off: unlocks exactly those.
    virtual void DisableControls(bool on);
    virtual void SystemMenuBusy(QMenu &menu, bool busy);
    virtual void OnBusyBegin() {}
    virtual void OnBusyEnd() {}
    virtual void OnCancelPressed();

    void showEvent(QShowEvent *event) override;

private:
    enum class LockKind { Disabled, ReadOnly, Locked };
    struct SLockedControl
    {
        QPointer<QWidget> widget;
        LockKind kind;
    };

    void BeginProgressAt(const QString &message, qint32 total, QWidget *refocus, bool keepFocus);
    void LockTree(QWidget *parent);
    bool IsProgressControl(const QWidget *widget) const;
    void ShowBusyControls(bool busy);
    void BuildOwnTemplate();
    void Bind();

    std::unique_ptr<CBizProgressAdapter> m_adapter;
    int m_busy = 0;
    QString m_idleText;
    bool m_idleTextSaved = false;
    QPointer<QWidget> m_refocus;
    QList<SLockedControl> m_locked;
    QList<int> m_busyMenuIds;
    qint32 m_range = 100;
    CBizProgressAdapter *m_previousTarget = nullptr;
    bool m_registered = false;
    bool m_cursorShown = false;
    mutable QPointer<QLabel> m_message;
    mutable QPointer<QProgressBar> m_bar;
    mutable QPointer<QPushButton> m_cancel;
    QPointer<QPushButton> m_connectedCancel;
};
