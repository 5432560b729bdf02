// The program: the application object decides between the no-UI run and the session.
#include "app/CommandLine.h"
#include "app/MainApp.h"
#include "core/AppState.h"
#include "core/ExitCodes.h"
#include "ui/main/SessionWindows.h"
#include "ui/toolkit/AppIcon.h"
#include "ui/toolkit/BizDialog.h"
#include "ui/toolkit/GuiMessageSink.h"
#include "ui/toolkit/QtTranslations.h"

#include <QApplication>
#include <QCoreApplication>
#include <QLoggingCategory>
#include <QWidget>

#include <cstdio>
#include <exception>
#include <memory>

namespace {

bool displayAvailable()
{
    return !qEnvironmentVariableIsEmpty("DISPLAY")
           || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")
           || !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM");
}

// The window hooks of the application object.
class CGuiMainApp : public CMainApp
{
protected:
    QObject *ActiveWindow() const override { return QApplication::activeWindow(); }
    void ActivateWindow(QObject *window) override
    {
        if (auto *w = qobject_cast<QWidget *>(window)) {
            w->raise();
            w->activateWindow();
        }
    }
};

int RunProgram(int argc, char **argv)
{
    // Our own informational logging stays quiet unless QT_LOGGING_RULES asks for it.
    QLoggingCategory::setFilterRules(QStringLiteral("velquor.*.info=false\nvelquor.*.debug=false"));
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);

    // The no-UI run must work without any display: no QApplication there.
    const bool gui = !CommandLineAsksNoUi(arguments) && displayAvailable();
    std::unique_ptr<QCoreApplication> qtApp;
    if (gui)
        qtApp = std::make_unique<QApplication>(argc, argv);
    else
        qtApp = std::make_unique<QCoreApplication>(argc, argv);
    AppState::SetHasDisplay(gui);

    CGuiMainApp app;
    CSessionWindows sessionUi(app.systems());
    if (gui) {
        // Japanese text in its own glyph forms in every window and message box, and the
        // program's icon on its windows.
        QApplication::setFont(DialogFont());
        QApplication::setWindowIcon(ApplicationIcon());
        InstallQtTranslations();
        InstallGuiMessageSink();
        const Qt::KeyboardModifiers keys = QGuiApplication::queryKeyboardModifiers();
        app.SetSupportModeKeysHeld(keys.testFlag(Qt::ShiftModifier)
                                   && keys.testFlag(Qt::ControlModifier));
        app.SetSessionUi(&sessionUi);
    }
    const qint32 code = app.Run(arguments);
    SetMessageSink({});
    return ProcessExitStatus(code);
}

} // namespace

int main(int argc, char **argv)
{
    // Run has its own boundary; this one only catches what the construction of the objects
    // around it might throw, so that no exception ever ends the process with an abort.
    try {
        return RunProgram(argc, argv);
    } catch (const std::exception &e) {
        std::fprintf(stderr, "VELQUOR: %s\n", e.what());
    } catch (...) {
        std::fputs("VELQUOR: unexpected failure\n", stderr);
    }
    return ProcessExitStatus(ExitCode::SystemStartFailed);
}
