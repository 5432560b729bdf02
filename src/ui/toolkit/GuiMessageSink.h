#pragma once

#include "core/Messages.h"

// The message sink of a run with a display: a QMessageBox titled with the application
// name, owned by the active window and brought to the front.
int ShowGuiMessage(const QString &text, MsgIcon icon, MsgButtons buttons);
void InstallGuiMessageSink();
