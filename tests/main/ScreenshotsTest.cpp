// Pictures of the online window as a user sees it, for people to look at: written only when
// VELQUOR_SCREENSHOT_DIR names a folder (scripts/screenshots runs them under Xvfb), skipped
// otherwise.

#include "MainWindowFixture.h"

#include "support/FakeApplication.h"
#include "ui/dialogs/SharedFileOpenWithDialog.h"

#include <QDir>
#include <QLineEdit>
#include <QMenu>
#include <QPainter>
#include <QPixmap>

namespace {

class MainScreenshots : public MainWindowTest
{
protected:
    void SetUp() override
    {
        folder = qEnvironmentVariable("VELQUOR_SCREENSHOT_DIR");
        if (folder.isEmpty())
            GTEST_SKIP() << "VELQUOR_SCREENSHOT_DIR is not set";
        QDir().mkpath(folder);
        MainWindowTest::SetUp();
    }
    void Save(QWidget &widget, const QString &name)
    {
        for (int i = 0; i < 5; ++i)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 30);
        const QPixmap picture = widget.grab();
        ASSERT_FALSE(picture.isNull());
        EXPECT_GT(picture.width(), 400);
        EXPECT_TRUE(picture.save(folder + u'/' + name + QStringLiteral(".png")));
    }
    void Type(CFileListDialog &w, int id, const QString &text)
    {
        auto *edit = w.controlAs<QLineEdit>(id);
        ASSERT_NE(edit, nullptr) << id;
        edit->setFocus();
        // Japanese comes through the input method: its commit inserts the text.
        edit->selectAll();
        edit->insert(text);
        Settle(w);
        Key(w, edit, Qt::Key_Return);
    }

    QString folder;
};

TEST_F(MainScreenshots, YamadaBrowsesSearchesAndLooksAtFavouritesAndTheDataBox)
{
    Run([&](CSharedFileListDialog &w) {
        Save(w, QStringLiteral("main-1-root"));
        ChooseFolder(w, QStringLiteral("経理/2024"));
        Save(w, QStringLiteral("main-2-keiri-2024"));
        Type(w, MainId::FileSearchEdit, QStringLiteral("報告"));
        EXPECT_TRUE(w.isSearchMode());
        Save(w, QStringLiteral("main-3-file-search"));
        Key(w, w.list(), Qt::Key_Escape);
        Key(w, w.list(), Qt::Key_F7);
        Save(w, QStringLiteral("main-4-favourites"));
        Key(w, w.list(), Qt::Key_F7);
        ChooseFolder(w, QStringLiteral("電子帳簿/請求書"));
        Save(w, QStringLiteral("main-5-databox"));
        w.OpenMainMenu([](QMenu &menu) -> QAction * {
            for (QAction *a : menu.actions())
                if (a->menu())
                    for (QAction *b : a->menu()->actions())
                        if (b->text() == QStringLiteral("ピンク"))
                            return b;
            return nullptr;
        });
        Settle(w);
        Save(w, QStringLiteral("main-6-pink"));
    });
}

TEST_F(MainScreenshots, SuzukiStartsInTheFirstFolder)
{
    SignIn(QStringLiteral("suzuki"));
    Run([&](CSharedFileListDialog &w) { Save(w, QStringLiteral("main-7-suzuki")); });
}

TEST_F(MainScreenshots, AFileOutForEditingAndItsContextMenu)
{
    const QString name = QStringLiteral("予算計画.xlsx");
    ASSERT_TRUE(gui()->OpenForEditing(server->folderId(QStringLiteral("経理/2024")), u'/' + name,
                                      nullptr, true));
    Run([&](CSharedFileListDialog &w) {
        ChooseFolder(w, QStringLiteral("経理/2024"));
        SelectRows(w, {name});
        Save(w, QStringLiteral("main-8-unsent"));
        w.SetMenuChooser([&](QMenu &menu) -> QAction * {
            const int row = RowOf(w, name);
            const QRect cell = w.list()->visualRect(w.list()->model()->index(row, 1));
            menu.popup(w.list()->viewport()->mapToGlobal(cell.bottomLeft()));
            for (int i = 0; i < 5; ++i)
                QCoreApplication::processEvents(QEventLoop::AllEvents, 30);
            // The window with its menu over it, as the user sees both (the menu may reach
            // past the window's edge).
            const QRect window(w.mapToGlobal(QPoint(0, 0)), w.size());
            const QRect both = window.united(menu.geometry());
            QPixmap picture(both.size());
            picture.fill(Qt::darkGray);
            QPainter painter(&picture);
            painter.drawPixmap(window.topLeft() - both.topLeft(), w.grab());
            painter.drawPixmap(menu.geometry().topLeft() - both.topLeft(), menu.grab());
            painter.end();
            EXPECT_TRUE(picture.save(folder + QStringLiteral("/main-9-context-menu.png")));
            menu.close();
            return nullptr;
        });
        Key(w, w.list(), Qt::Key_F10, Qt::ShiftModifier);
        w.SetMenuChooser({});
    });
}

TEST_F(MainScreenshots, OpenWithItsTwoDialogs)
{
    // A program the desktop offers for spreadsheets, known from the sign-in on.
    ASSERT_FALSE(RegisterFakeApplication(installation, "#!/bin/sh\n").isEmpty());
    SignIn(QStringLiteral("yamada"));
    int preselected = -1;
    const QList<SAppChoice> choices = gui()->AppChoices({}, &preselected);
    using D = CSharedFileOpenWithDialog;
    D choose(D::EStep::Choose, QStringLiteral("経理/2024"), QStringLiteral("予算計画.xlsx"),
             choices, choices.isEmpty() ? -1 : 0);
    choose.show();
    Save(choose, QStringLiteral("main-10-open-with"));
    choose.close();
    D send(D::EStep::SendAfter, QStringLiteral("経理/2024"), QStringLiteral("予算計画.xlsx"),
           choices.mid(0, 1), 0);
    send.show();
    Save(send, QStringLiteral("main-11-open-with-send"));
    send.close();
}

} // namespace
