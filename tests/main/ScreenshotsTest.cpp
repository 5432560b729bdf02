// Pictures of the online window as a user sees it, for people to look at: written only when
// VELQUOR_SCREENSHOT_DIR names a folder (scripts/screenshots runs them under Xvfb), skipped
// otherwise.

#include "MainWindowFixture.h"

#include <QDir>
#include <QLineEdit>
#include <QMenu>
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

} // namespace
