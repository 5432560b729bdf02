// The online window as a user browses the demo office: the first opening, the folder combo,
// going up with Backspace, and the rows as the list shows them.

#include "MainWindowFixture.h"

#include "ui/main/FileListColumns.h"
#include "ui/main/SessionWindows.h"

#include <QGuiApplication>
#include <QScreen>

namespace {

class BrowseTest : public MainWindowTest
{};

TEST_F(BrowseTest, FirstOpeningIsTheDefaultSizeCentredAndTheNextRestoresThePlacement)
{
    QRect first;
    Run([&](CSharedFileListDialog &w) {
        EXPECT_EQ(w.size(), QSize(970, 630));
        const QRect area = w.screen()->availableGeometry();
        const QPoint centre = w.frameGeometry().center();
        EXPECT_LE(std::abs(centre.x() - area.center().x()), 2);
        EXPECT_LE(std::abs(centre.y() - area.center().y()), 2);
        w.resize(1000, 700);
        w.move(area.topLeft() + QPoint(40, 30));
        QCoreApplication::processEvents();
        first = w.geometry();
        QTest::keyClick(&w, Qt::Key_F4, Qt::AltModifier);
    });
    Run([&](CSharedFileListDialog &w) { EXPECT_EQ(w.geometry().size(), first.size()); });
}

TEST_F(BrowseTest, ThroughTheFolderComboToAFolderAndBackspaceGoesUpSelectingIt)
{
    Run([&](CSharedFileListDialog &w) {
        ChooseFolder(w, QStringLiteral("経理/2024"));
        EXPECT_EQ(w.currentFolderId(), server->folderId(QStringLiteral("経理/2024")));
        const QStringList names = RowNames(w);
        EXPECT_GE(names.size(), 10);
        // Subfolders first, then the files.
        EXPECT_EQ(names.mid(0, 3), (QStringList{"01月", "02月", "03月"}));
        const int row = RowOf(w, QStringLiteral("売上集計_2024.xlsx"));
        ASSERT_GE(row, 0);
        EXPECT_EQ(Cell(w, row, ColumnKind::Status), QStringLiteral("使用中（鈴木 花子）"));
        Key(w, w.list(), Qt::Key_Backspace);
        EXPECT_EQ(w.currentFolderId(), server->folderId(QStringLiteral("経理")));
        const QList<int> selected = w.list()->selectedRowNumbers();
        ASSERT_EQ(selected.size(), 1);
        EXPECT_EQ(RowNames(w).value(selected.first()), QStringLiteral("2024"));
    });
}

} // namespace

namespace {

TEST_F(BrowseTest, TheSessionRunsTheOnlineWindowAndASecondStartRaisesIt)
{
    CSessionWindows windows(*systems);
    bool wasShown = false;
    SetModalDriver([&](QDialog &shown) {
        auto *window = qobject_cast<CSharedFileListDialog *>(&shown);
        ASSERT_NE(window, nullptr);
        WhenIdle(*window, [&, window] {
            windows.ActivateMainWindow();
            wasShown = window->isVisible();
            QTest::mouseClick(window->control(MainId::Close), Qt::LeftButton);
        });
    });
    EXPECT_EQ(windows.RunOnlineMainWindow(), 2);
    EXPECT_TRUE(wasShown);
}

} // namespace
