#pragma once

#include <functional>

class QDialog;

// Every modal run of the user interface (dialogs, the message sink's boxes, pickers) goes
// through RunModal: it counts the application's modal state around the run and, before the
// dialog's event loop starts, hands the shown dialog to the test driver when one is set, so
// tests without a display drive every modal with QTest (the driver typically queues its
// keys and clicks with a 0 ms timer and lets exec() run).
//
// User-interface thread only.
using ModalDriver = std::function<void(QDialog &dialog)>;

// Runs dialog.exec() inside the modal state; answers its result.
int RunModal(QDialog &dialog);

// Replaces the driver (empty: none); answers the previous one.
ModalDriver SetModalDriver(ModalDriver driver);

// The number of modal runs under way (nested runs count each).
int ModalDepth();
