// Pictures of the windows as a user sees them, for people to look at: written only when
// VELQUOR_SCREENSHOT_DIR names a folder (scripts/screenshots runs them under Xvfb), skipped
// otherwise. Each checks that the picture holds the window it is meant to show.

#include "support/DevServer.h"
#include "support/TempInstallation.h"

#include "ui/dialogs/LoginDialog.h"
#include "ui/dialogs/VersionInfoDialog.h"
#include "ui/toolkit/ModalRun.h"

#include "account/LoginManager.h"
#include "app/System.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QLineEdit>
#include <QMenu>
#include <QPixmap>
#include <QTest>
#include <QTimer>

#include <functional>
#include <memory>

namespace {

class Screenshots : public InstallationTest<>
{
protected:
    void SetUp() override
    {
        folder = qEnvironmentVariable("VELQUOR_SCREENSHOT_DIR");
        if (folder.isEmpty())
            GTEST_SKIP() << "VELQUOR_SCREENSHOT_DIR is not set";
        InstallationTest::SetUp();
        QDir().mkpath(folder);
        previous = SetModalDriver({});
        server = DevServer::StartFor(installation);
        ASSERT_TRUE(server);
        systems = std::make_unique<CSystemObjects>();
        ASSERT_TRUE(systems->main()->StartReportingErrors());
    }
    void TearDown() override
    {
        if (folder.isEmpty())
            return;
        systems.reset();
        SetModalDriver(previous);
    }
    // Saves what the widget shows now (after pending paints) as <name>.png.
    void Save(QWidget &widget, const QString &name)
    {
        QCoreApplication::processEvents();
        const QPixmap picture = widget.grab();
        ASSERT_FALSE(picture.isNull());
        EXPECT_GT(picture.width(), 50);
        EXPECT_TRUE(picture.save(folder + u'/' + name + QStringLiteral(".png")));
    }
    // Runs the dialog modally with script inside its event loop, then closes it.
    void Run(QDialog &dialog, const std::function<void(QDialog &)> &script)
    {
        SetModalDriver([&dialog, script](QDialog &shown) {
            if (&shown != &dialog)
                return;
            QTimer::singleShot(200, &dialog, [&dialog, script] {
                script(dialog);
                if (dialog.isVisible())
                    dialog.reject();
            });
        });
        RunModal(dialog);
    }

    QString folder;
    ModalDriver previous;
    std::unique_ptr<DevServer> server;
    std::unique_ptr<CSystemObjects> systems;
};

TEST_F(Screenshots, LoginDialogItsProgressAndItsSystemMenu)
{
    CLoginDialog dialog(*systems, 0);
    Run(dialog, [&](QDialog &) {
        QTest::keyClicks(dialog.controlAs<QLineEdit>(21259), QStringLiteral("demo"));
        QTest::keyClicks(dialog.controlAs<QLineEdit>(21262), QStringLiteral("yamada"));
        QTest::keyClicks(dialog.controlAs<QLineEdit>(21264), QStringLiteral("yamada-pass"));
        Save(dialog, QStringLiteral("login"));
        dialog.OpenSystemMenu([&](QMenu &menu) -> QAction * {
            menu.popup(dialog.mapToGlobal(QPoint(dialog.width() - 10, 20)));
            QTest::qWait(200);
            Save(menu, QStringLiteral("login-system-menu"));
            menu.hide();
            return nullptr;
        });
        // The sign-in's progress while the folder tree is slow to come.
        server->hook(QStringLiteral("fail"),
                     {{"op", "workspace/list"}, {"mode", "delay"}, {"ms", "1500"}});
        QTimer::singleShot(700, &dialog, [&] { Save(dialog, QStringLiteral("login-progress")); });
        QTest::keyClick(dialog.controlAs<QLineEdit>(21264), Qt::Key_Return);
    });
    EXPECT_TRUE(QFile::exists(folder + QStringLiteral("/login-progress.png")));
}

TEST_F(Screenshots, VersionDialogSignedIn)
{
    ASSERT_TRUE(systems->main()->loginManager()->SignIn(
        QStringLiteral("demo"), QStringLiteral("yamada"), QStringLiteral("yamada-pass"), false));
    CVersionInfoDialog dialog(systems->main());
    Run(dialog, [&](QDialog &) { Save(dialog, QStringLiteral("version")); });
    EXPECT_TRUE(QFile::exists(folder + QStringLiteral("/version.png")));
}

} // namespace
