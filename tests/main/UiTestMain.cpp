// The main of the main-window suite: a QApplication (offscreen unless a display is asked
// for) with the application's name and fonts, so that dialogs lay out as they do for users.
#include "core/AppState.h"
#include "ui/toolkit/AppIcon.h"
#include "ui/toolkit/BizDialog.h"
#include "ui/toolkit/QtTranslations.h"

#include <QApplication>
#include <QFile>
#include <QFont>
#include <QTemporaryDir>
#include <gtest/gtest.h>

int main(int argc, char **argv)
{
    qputenv("LANG", "C.UTF-8");
    // The main windows open at 970 × 630 within the screen: the offscreen screen is made as
    // large as a desktop's (its default of 800 pixels would cut the window).
    QTemporaryDir screens;
    const QByteArray platform = qgetenv("QT_QPA_PLATFORM");
    if (platform.isEmpty() || platform == "offscreen") {
        const QString config = screens.filePath(QStringLiteral("screens.json"));
        QFile file(config);
        if (file.open(QIODevice::WriteOnly)) {
            file.write(R"({"screens": [{"name": "desktop", "x": 0, "y": 0, "width": 1600,)"
                       R"( "height": 1000, "logicalDpi": 96, "logicalBaseDpi": 96, "dpr": 1}]})");
            file.close();
            qputenv("QT_QPA_PLATFORM", ("offscreen:configfile=" + config).toLocal8Bit());
        } else {
            qputenv("QT_QPA_PLATFORM", "offscreen");
        }
    }
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
