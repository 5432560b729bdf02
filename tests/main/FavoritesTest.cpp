// The favourites view of the online window: F7 in and out, the list of the user's
// favourites, and every search field back as it was.

#include "MainWindowFixture.h"

#include "core/BizFormat.h"
#include "core/Strings.h"
#include "files/FavoriteManager.h"
#include "ui/main/FileListColumns.h"
#include "ui/toolkit/DateTimeCtrl.h"
#include "ui/toolkit/EditAmount.h"

namespace {

class FavoritesTest : public MainWindowTest
{
protected:
    static bool IsFavoriteRow(const CSharedFileListDialog &w, const QString &name)
    {
        const CFileRecord *record = w.list()->RecordAt(RowOf(w, name));
        return record && record->isFavorite;
    }
};

TEST_F(FavoritesTest, F7ShowsYamadasFavouritesWithoutTheStarColumn)
{
    Run([&](CSharedFileListDialog &w) {
        const QString baseTitle = w.windowTitle();
        EXPECT_GE(w.list()->ColumnOfKind(ColumnKind::Favorite), 0);
        Key(w, w.list(), Qt::Key_F7);
        ASSERT_TRUE(w.isFavoritesView());
        EXPECT_EQ(w.windowTitle(), baseTitle + QStringLiteral(" 【お気に入り】"));
        EXPECT_LT(w.list()->ColumnOfKind(ColumnKind::Favorite), 0);
        QStringList names = RowNames(w);
        names.sort();
        QStringList expected{"2024", "予算計画.xlsx", "請求書テンプレート.xlsx", "請求書"};
        expected.sort();
        EXPECT_EQ(names, expected);
        // Another user's favourite is not listed.
        EXPECT_FALSE(names.contains(QStringLiteral("経費精算_2024.xlsx")));

        Key(w, w.list(), Qt::Key_F7);
        EXPECT_FALSE(w.isFavoritesView());
        EXPECT_EQ(w.windowTitle(), baseTitle);
        EXPECT_GE(w.list()->ColumnOfKind(ColumnKind::Favorite), 0);
    });
}

TEST_F(FavoritesTest, LeavingRestoresTheFileSearchAndTheTransactionFields)
{
    Run([&](CSharedFileListDialog &w) {
        ChooseFolder(w, QStringLiteral("電子帳簿"));
        TypeInto(w, Ctl(w, CSharedFileListDialog::ClientName), QStringLiteral("A商事"));
        TypeInto(w, Ctl(w, CSharedFileListDialog::AmountFrom), QStringLiteral("10000"));
        TypeInto(w, Ctl(w, CSharedFileListDialog::AmountTo), QStringLiteral("200000"));
        Ctl<CBizDateTimeCtrl>(w, CSharedFileListDialog::DateFrom)
            ->SetText(QStringLiteral("2024/01/01"));
        TypeInto(w, Ctl(w, MainId::FileSearchEdit), QStringLiteral("請求"));
        Key(w, nullptr, Qt::Key_Return);
        ASSERT_TRUE(w.isSearchMode());
        const QStringList found = RowNames(w);

        Key(w, w.list(), Qt::Key_F7);
        ASSERT_TRUE(w.isFavoritesView());
        EXPECT_TRUE(Ctl<QLineEdit>(w, MainId::FileSearchEdit)->text().isEmpty());
        Key(w, w.list(), Qt::Key_F7);
        ASSERT_FALSE(w.isFavoritesView());

        EXPECT_EQ(w.currentFolderId(), server->folderId(QStringLiteral("電子帳簿")));
        EXPECT_TRUE(w.isSearchMode());
        EXPECT_EQ(Ctl<QLineEdit>(w, MainId::FileSearchEdit)->text(), QStringLiteral("請求"));
        EXPECT_EQ(Ctl<QLineEdit>(w, CSharedFileListDialog::ClientName)->text(),
                  QStringLiteral("A商事"));
        EXPECT_EQ(Ctl<CBizEditAmount>(w, CSharedFileListDialog::AmountFrom)->rawText(),
                  QStringLiteral("10000"));
        EXPECT_EQ(Ctl<CBizEditAmount>(w, CSharedFileListDialog::AmountTo)->rawText(),
                  QStringLiteral("200000"));
        EXPECT_EQ(Ctl<CBizDateTimeCtrl>(w, CSharedFileListDialog::DateFrom)->text(),
                  QStringLiteral("2024/01/01"));
        EXPECT_TRUE(Ctl(w, CSharedFileListDialog::AmountFrom)->isVisible());
        EXPECT_EQ(RowNames(w), found);
    });
}

TEST_F(FavoritesTest, LeavingRestoresTheFolderSearch)
{
    Run([&](CSharedFileListDialog &w) {
        TypeInto(w, Ctl(w, MainId::FolderSearchEdit), QStringLiteral("2024"));
        QTest::keyClick(Ctl(w, MainId::FolderSearchEdit), Qt::Key_Return);
        Settle(w);
        ASSERT_TRUE(w.isFolderSearchActive());
        const QStringList combo = ComboNames(w);

        Key(w, w.list(), Qt::Key_F7);
        ASSERT_TRUE(w.isFavoritesView());
        Key(w, w.list(), Qt::Key_F7);
        ASSERT_FALSE(w.isFavoritesView());

        EXPECT_TRUE(w.isFolderSearchActive());
        EXPECT_EQ(Ctl<QLineEdit>(w, MainId::FolderSearchEdit)->text(), QStringLiteral("2024"));
        EXPECT_TRUE(w.windowTitle().endsWith(QStringLiteral(" 【フォルダ検索中】")));
        EXPECT_EQ(ComboNames(w), combo);
    });
}

} // namespace

TEST_F(FavoritesTest, AddingChecksTheWholeSelectionAgainstTheLimitFirst)
{
    // yamada has four favourites; one more is allowed.
    server->hook(QStringLiteral("user"),
                 {{QStringLiteral("loginId"), QStringLiteral("yamada")},
                  {QStringLiteral("maxFavoriteCount"), QStringLiteral("5")}});
    SignIn(QStringLiteral("yamada"));
    const QString journal = QStringLiteral("仕訳帳.csv");
    const QString minutes = QStringLiteral("議事録_経理会議.txt");
    Run([&](CSharedFileListDialog &w) {
        ChooseFolder(w, QStringLiteral("経理/2024"));
        server->clearRequestLog();
        SelectRows(w, {journal, minutes});
        Key(w, w.list(), Qt::Key_D, Qt::ControlModifier);
        EXPECT_EQ(server->callCount(QStringLiteral("favorite/create")), 0) << "nothing added";
        EXPECT_FALSE(IsFavoriteRow(w, journal));
        EXPECT_FALSE(IsFavoriteRow(w, minutes));

        SelectRows(w, {journal});
        Key(w, w.list(), Qt::Key_D, Qt::ControlModifier);
        EXPECT_TRUE(IsFavoriteRow(w, journal));
    });
    ASSERT_EQ(messages.size(), 1) << messages.join(u'|').toStdString();
    EXPECT_EQ(messages.first(), BizFormat(LoadString(18243), {5}));
    EXPECT_EQ(gui()->sharedFiles()->favorites().CountFavorites(), 5);
}

TEST_F(FavoritesTest, TheStarOfASubfolderFollowsItsFavourite)
{
    installation.answers = {IDYES};
    Run([&](CSharedFileListDialog &w) {
        ChooseFolder(w, QStringLiteral("経理"));
        ASSERT_TRUE(IsFavoriteRow(w, QStringLiteral("2024")));
        SelectRows(w, {QStringLiteral("2024")});
        Key(w, w.list(), Qt::Key_D, Qt::ControlModifier | Qt::ShiftModifier);
        EXPECT_FALSE(IsFavoriteRow(w, QStringLiteral("2024")));
        // Back again: the second change is a change, not a repeated one the service refuses.
        SelectRows(w, {QStringLiteral("2024")});
        Key(w, w.list(), Qt::Key_D, Qt::ControlModifier);
        EXPECT_TRUE(IsFavoriteRow(w, QStringLiteral("2024")));
        Key(w, w.list(), Qt::Key_F7);
        EXPECT_TRUE(RowNames(w).contains(QStringLiteral("2024")));
    });
    ASSERT_EQ(messages.size(), 1) << messages.join(u'|').toStdString();
    EXPECT_EQ(messages.first(), BizFormat(LoadString(18256), {QStringLiteral("2024")}));
}
