#include "GuiMessageSink.h"

#include "ModalRun.h"
#include "core/AppState.h"

#include <QApplication>
#include <QMessageBox>

int ShowGuiMessage(const QString &text, MsgIcon icon, MsgButtons buttons)
{
    QMessageBox box(QApplication::activeWindow());
    box.setWindowTitle(AppState::AppName());
    box.setText(
        QString(text).replace(QStringLiteral("\r\n"), QStringLiteral("\n")).replace(u'\r', u'\n'));
    switch (icon) {
    case MsgIcon::Error:
        box.setIcon(QMessageBox::Critical);
        break;
    case MsgIcon::Warning:
        box.setIcon(QMessageBox::Warning);
        break;
    case MsgIcon::Information:
        box.setIcon(QMessageBox::Information);
        break;
    case MsgIcon::Question:
        box.setIcon(QMessageBox::Question);
        break;
    }
    switch (buttons) {
    case MsgButtons::Ok:
        box.setStandardButtons(QMessageBox::Ok);
        break;
    case MsgButtons::YesNo:
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box.setDefaultButton(QMessageBox::Yes);
        break;
    case MsgButtons::YesNoCancel:
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
        box.setDefaultButton(QMessageBox::Yes);
        break;
    case MsgButtons::YesNoDefaultNo:
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box.setDefaultButton(QMessageBox::No);
        break;
    }
    box.raise();
    box.activateWindow();
    // Through the one modal run: the modal state is counted and tests can answer the box.
    switch (RunModal(box)) {
    case QMessageBox::Yes:
        return IDYES;
    case QMessageBox::No:
        return IDNO;
    case QMessageBox::Cancel:
        return IDCANCEL;
    default:
        // Closing the box answers what Escape would.
        return buttons == MsgButtons::Ok            ? IDOK
               : buttons == MsgButtons::YesNoCancel ? IDCANCEL
                                                    : IDNO;
    }
}

void InstallGuiMessageSink()
{
    SetMessageSink(&ShowGuiMessage);
}
