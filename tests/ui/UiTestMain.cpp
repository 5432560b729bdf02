// The main of the user-interface suite: a QApplication (offscreen unless a display is asked
// for) with the application's name and fonts, so that dialogs lay out as they do for users.
#include "core/AppState.h"
#include "ui/toolkit/AppIcon.h"
#include "ui/toolkit/BizDialog.h"
#include "ui/toolkit/QtTranslations.h"

#include <QApplication>
#include <QFont>
#include <gtest/gtest.h>

int main(int argc, char **argv)
{
    qputenv("LANG", "C.UTF-8");
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR"))
        qputenv("XDG_RUNTIME_DIR", "/tmp");
    QApplication app(argc, argv);
    AppState::SetAppName(QStringLiteral("VELQUOR"));
    AppState::SetHasDisplay(true);
    // As the program sets them.
    QApplication::setFont(DialogFont());
    QApplication::setWindowIcon(ApplicationIcon());
    InstallQtTranslations();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
