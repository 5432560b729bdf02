// The file search, the folder search and the product filter of the online window, typed and
// chosen as a user does.

#include "MainWindowFixture.h"

#include "ui/main/FileListColumns.h"

namespace {

const QString kFileSearching = QStringLiteral(" 【ファイル検索中】");
const QString kFolderSearching = QStringLiteral(" 【フォルダ検索中】");

class SearchTest : public MainWindowTest
{};

TEST_F(SearchTest, FileSearchShowsTheFolderColumnAndEscEndsIt)
{
    Run([&](CSharedFileListDialog &w) {
        const QString baseTitle = w.windowTitle();
        EXPECT_FALSE(ColumnTitles(w).contains(QStringLiteral("フォルダ名")));
        TypeInto(w, Ctl(w, MainId::FileSearchEdit), QStringLiteral("予算"));
        Key(w, nullptr, Qt::Key_Return);
        EXPECT_TRUE(w.isSearchMode());
        EXPECT_EQ(w.windowTitle(), baseTitle + kFileSearching);
        EXPECT_TRUE(ColumnTitles(w).contains(QStringLiteral("フォルダ名")));
        EXPECT_TRUE(ColumnTitles(w).contains(QStringLiteral("ファイル名")));
        const QStringList names = RowNames(w);
        EXPECT_TRUE(names.contains(QStringLiteral("予算計画.xlsx")))
            << names.join(u',').toStdString();
        for (const QString &name : names)
            EXPECT_TRUE(name.contains(QStringLiteral("予算"))) << name.toStdString();
        const int row = RowOf(w, QStringLiteral("予算計画.xlsx"));
        ASSERT_GE(row, 0);
        EXPECT_TRUE(Cell(w, row, ColumnKind::FolderName).contains(QStringLiteral("2024")));

        Key(w, nullptr, Qt::Key_Escape);
        EXPECT_FALSE(w.isSearchMode());
        EXPECT_EQ(w.windowTitle(), baseTitle);
        EXPECT_FALSE(ColumnTitles(w).contains(QStringLiteral("フォルダ名")));
        EXPECT_TRUE(Ctl<QLineEdit>(w, MainId::FileSearchEdit)->text().isEmpty());
        EXPECT_TRUE(messages.isEmpty()) << messages.join(u'|').toStdString();
    });
}

// The folder search started by Enter in its box or by its button.
class FolderSearchTest : public MainWindowTest, public ::testing::WithParamInterface<bool>
{};

TEST_P(FolderSearchTest, ShowsOnlyMatchingFoldersAndEscEndsIt)
{
    const bool byButton = GetParam();
    Run([&](CSharedFileListDialog &w) {
        const QString baseTitle = w.windowTitle();
        ASSERT_TRUE(ComboNames(w).contains(QStringLiteral("決算書類")));
        auto *box = Ctl(w, MainId::FolderSearchEdit);
        TypeInto(w, box, QStringLiteral("2024"));
        if (byButton)
            QTest::mouseClick(Ctl(w, MainId::FolderSearchToggle), Qt::LeftButton);
        else
            QTest::keyClick(box, Qt::Key_Return);
        Settle(w);
        EXPECT_TRUE(w.isFolderSearchActive());
        EXPECT_EQ(w.windowTitle(), baseTitle + kFolderSearching);
        const QStringList names = ComboNames(w);
        EXPECT_TRUE(names.contains(QStringLiteral("経理/2024"))) << names.join(u',').toStdString();
        EXPECT_TRUE(names.contains(QStringLiteral("給与/2024年度")))
            << names.join(u',').toStdString();
        for (const char *other :
             {"決算書類", "電子帳簿", "請求書", "共有", "テンプレート", "2023", "01月"})
            EXPECT_FALSE(names.contains(QString::fromUtf8(other))) << other;

        Key(w, nullptr, Qt::Key_Escape);
        EXPECT_FALSE(w.isFolderSearchActive());
        EXPECT_EQ(w.windowTitle(), baseTitle);
        EXPECT_TRUE(ComboNames(w).contains(QStringLiteral("決算書類")));
        EXPECT_TRUE(messages.isEmpty()) << messages.join(u'|').toStdString();
    });
}

INSTANTIATE_TEST_SUITE_P(EnterOrButton, FolderSearchTest, ::testing::Bool(),
                         [](const auto &info) { return info.param ? "Button" : "Enter"; });

struct SProductCase
{
    const char *product;
    const char *suffix;
};

class ProductFilterTest : public MainWindowTest, public ::testing::WithParamInterface<SProductCase>
{};

TEST_P(ProductFilterTest, KeepsOnlyThatProductAndTheSubfolders)
{
    const QString product = QString::fromUtf8(GetParam().product);
    const QString suffix = QString::fromUtf8(GetParam().suffix);
    Run([&](CSharedFileListDialog &w) {
        ChooseFolder(w, QStringLiteral("経理/2024"));
        const int before = int(RowNames(w).size());
        w.OpenProductFilter([&](QMenu &menu) { return FindAction(menu, product); });
        Settle(w);
        const QStringList names = RowNames(w);
        EXPECT_LT(names.size(), before);
        int files = 0;
        for (const CFileRecord *row : w.list()->rows()) {
            if (row->folderItem)
                continue;
            ++files;
            EXPECT_TRUE(row->FileName().endsWith(suffix)) << row->FileName().toStdString();
        }
        EXPECT_GE(files, 1);
        for (const char *folder : {"01月", "02月", "03月"})
            EXPECT_TRUE(names.contains(QString::fromUtf8(folder))) << folder;
        EXPECT_TRUE(Ctl(w, MainId::ProductFilter)
                        ->toolTip()
                        .endsWith(QStringLiteral("（%1を選択中）").arg(product)))
            << Ctl(w, MainId::ProductFilter)->toolTip().toStdString();

        // Back to every product.
        w.OpenProductFilter(
            [&](QMenu &menu) { return FindAction(menu, QStringLiteral("<全ての製品>")); });
        Settle(w);
        EXPECT_EQ(RowNames(w).size(), before);
        EXPECT_FALSE(Ctl(w, MainId::ProductFilter)->toolTip().contains(QStringLiteral("を選択中")));
    });
}

INSTANTIATE_TEST_SUITE_P(Products, ProductFilterTest,
                         ::testing::Values(SProductCase{"Microsoft Word", ".docx"},
                                           SProductCase{"CSV ファイル", ".csv"},
                                           SProductCase{"Microsoft Excel", ".xlsx"}));

} // namespace
