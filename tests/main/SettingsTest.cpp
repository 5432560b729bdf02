// What the online window keeps from one opening to the next (sort, widths, theme colour),
// what a user outside the office sees, and the important-notice question once a day.

#include "MainWindowFixture.h"

#include "ui/main/FileListColumns.h"

#include <QDate>

namespace {

using W = CSharedFileListDialog;

class SettingsTest : public MainWindowTest
{};

TEST_F(SettingsTest, SortingByStatusStartsDescendingEvenAfterAscending)
{
    Run([&](W &w) {
        ChooseFolder(w, QStringLiteral("経理/2024"));
        ClickHeader(w, ColumnKind::Status);
        EXPECT_EQ(w.sortKind(EListView::Folder), ColumnKind::Status);
        EXPECT_TRUE(w.sortDown(EListView::Folder, ColumnKind::Status));
        ClickHeader(w, ColumnKind::Status);
        EXPECT_FALSE(w.sortDown(EListView::Folder, ColumnKind::Status));
        ClickHeader(w, ColumnKind::FileName);
        EXPECT_EQ(w.sortKind(EListView::Folder), ColumnKind::FileName);
        ClickHeader(w, ColumnKind::Status);
        EXPECT_EQ(w.sortKind(EListView::Folder), ColumnKind::Status);
        EXPECT_TRUE(w.sortDown(EListView::Folder, ColumnKind::Status));
        // Descending by status: the one file with a status text comes first among the files.
        const QList<CFileRecord *> rows = w.list()->rows();
        int firstFile = 0;
        while (firstFile < rows.size() && rows.at(firstFile)->folderItem)
            ++firstFile;
        EXPECT_EQ(RowNames(w).value(firstFile), QStringLiteral("売上集計_2024.xlsx"));
        // The star header does not sort.
        ClickHeader(w, ColumnKind::Favorite);
        EXPECT_EQ(w.sortKind(EListView::Folder), ColumnKind::Status);
        EXPECT_TRUE(w.sortDown(EListView::Folder, ColumnKind::Status));
    });
}

// Closed by Alt+F4 or by the button 1.
class KeptSettingsTest : public MainWindowTest, public ::testing::WithParamInterface<bool>
{};

TEST_P(KeptSettingsTest, SortWidthsAndThemeSurviveClosingAndReopening)
{
    const bool byButton = GetParam();
    const QColor pink(247, 235, 247);
    int nameWidth = 0;
    int statusWidth = 0;
    const int result = Run([&](W &w) {
        ChooseFolder(w, QStringLiteral("経理/2024"));
        ClickHeader(w, ColumnKind::Status);
        ASSERT_TRUE(w.sortDown(EListView::Folder, ColumnKind::Status));
        CFileListCtrl *list = w.list();
        const int column = list->ColumnOfKind(ColumnKind::FileName);
        const int before = list->columnWidth(column);
        list->RecordUserWidth(column, before + 120);
        list->RunLayout();
        Settle(w);
        nameWidth = list->columnWidth(column);
        statusWidth = list->columnWidth(list->ColumnOfKind(ColumnKind::Status));
        EXPECT_GT(nameWidth, before);
        w.OpenMainMenu([&](QMenu &menu) { return FindAction(menu, QStringLiteral("ピンク")); });
        Settle(w);
        EXPECT_EQ(w.themeColour(), pink);
        if (byButton)
            QTest::mouseClick(Ctl(w, MainId::Close), Qt::LeftButton);
        else
            QTest::keyClick(&w, Qt::Key_F4, Qt::AltModifier);
    });
    EXPECT_EQ(result, 2);
    Run([&](W &w) {
        EXPECT_EQ(w.currentFolderId(), server->folderId(QStringLiteral("経理/2024")));
        EXPECT_EQ(w.sortKind(EListView::Folder), ColumnKind::Status);
        EXPECT_TRUE(w.sortDown(EListView::Folder, ColumnKind::Status));
        EXPECT_EQ(w.themeColour(), pink);
        w.list()->RunLayout();
        Settle(w);
        EXPECT_NEAR(w.list()->columnWidth(w.list()->ColumnOfKind(ColumnKind::FileName)), nameWidth,
                    2);
        EXPECT_NEAR(w.list()->columnWidth(w.list()->ColumnOfKind(ColumnKind::Status)), statusWidth,
                    2);
    });
    EXPECT_EQ(app->GetProfileString(QString(), QStringLiteral("backgroundColor"), {}),
              QStringLiteral("247,235,247"));
}

INSTANTIATE_TEST_SUITE_P(AltF4OrButton, KeptSettingsTest, ::testing::Bool(),
                         [](const auto &info) { return info.param ? "Button" : "AltF4"; });

TEST_F(SettingsTest, UserOutsideTheOfficeStartsInTheFirstFolderWithoutRootOrUpdater)
{
    SignIn(QStringLiteral("suzuki"));
    app->WriteProfileInt(QStringLiteral("FileListDialog"), QStringLiteral("showUpdateName"), 1);
    Run([&](W &w) {
        EXPECT_GT(w.currentFolderId(), 0);
        const QStandardItemModel *model = w.folderCombo()->itemModel();
        ASSERT_GT(model->rowCount(), 0);
        const QStandardItem *root = model->item(0);
        EXPECT_EQ(root->text(), QStringLiteral("<全てのフォルダ>"));
        EXPECT_FALSE(root->flags() & Qt::ItemIsSelectable);
        ASSERT_GT(root->rowCount(), 0);
        EXPECT_EQ(w.currentFolderId(), root->child(0)->data(Qt::UserRole + 1).toInt())
            << root->child(0)->text().toStdString();
        EXPECT_FALSE(ColumnTitles(w).contains(QStringLiteral("更新者")));
        EXPECT_LT(w.list()->ColumnOfKind(ColumnKind::UpdateName), 0);
    });
}

const QString kNotice = QStringLiteral("重要なお知らせがあります。確認しますか？");

class NoticeTest : public MainWindowTest, public ::testing::WithParamInterface<int>
{};

TEST_P(NoticeTest, AskedOnTheFirstOpeningOfADayOnly)
{
    const int answer = GetParam();
    // A new installation: the question was never answered.
    app->WriteProfileString(QStringLiteral("FileListDialog"), QStringLiteral("lastPopupDate"), {});
    installation.answers = {answer};
    Run([](W &) {});
    EXPECT_EQ(messages.count(kNotice), 1) << messages.join(u'|').toStdString();
    int popups = 0;
    for (const QString &url : openedUrls)
        popups += url.contains(QStringLiteral("command=popup"));
    EXPECT_EQ(popups, answer == IDYES ? 1 : 0) << openedUrls.join(u' ').toStdString();

    Run([](W &) {});
    EXPECT_EQ(messages.count(kNotice), 1);

    app->WriteProfileString(
        QStringLiteral("FileListDialog"), QStringLiteral("lastPopupDate"),
        QDate::currentDate().addDays(-1).toString(QStringLiteral("yyyy/MM/dd")));
    installation.answers = {IDNO};
    Run([](W &) {});
    EXPECT_EQ(messages.count(kNotice), 2);
    EXPECT_EQ(app->GetProfileString(QStringLiteral("FileListDialog"),
                                    QStringLiteral("lastPopupDate"), {}),
              QDate::currentDate().toString(QStringLiteral("yyyy/MM/dd")));
}

INSTANTIATE_TEST_SUITE_P(YesOrNo, NoticeTest, ::testing::Values(int(IDYES), int(IDNO)),
                         [](const auto &info) { return info.param == IDYES ? "Yes" : "No"; });

} // namespace
