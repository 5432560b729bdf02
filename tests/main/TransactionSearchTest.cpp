// The transaction search of a DataBox folder: its fields and columns, Enter through the
// fields into the search, the amount range against the seed's vouchers, the cell formats.

#include "MainWindowFixture.h"

#include "ui/main/FileListColumns.h"

namespace {

using W = CSharedFileListDialog;

class TransactionSearchTest : public MainWindowTest
{};

TEST_F(TransactionSearchTest, FieldsAndColumnsShowOnlyInADataBoxFolder)
{
    Run([&](W &w) {
        const QList<int> fields{W::DateFrom, W::DateTo, W::ClientName, W::AmountFrom, W::AmountTo};
        const QStringList columns{"取引日", "取引先名", "取引金額"};
        struct SStep
        {
            const char *folder;
            bool dataBox;
        };
        for (const SStep &step : {SStep{"経理/2024", false}, SStep{"電子帳簿", true},
                                  SStep{"電子帳簿/請求書", true}, SStep{"共有", false}}) {
            SCOPED_TRACE(step.folder);
            ChooseFolder(w, QString::fromUtf8(step.folder));
            for (int id : fields)
                EXPECT_EQ(Ctl(w, id)->isVisible(), step.dataBox) << id;
            for (const QString &title : columns)
                EXPECT_EQ(ColumnTitles(w).contains(title), step.dataBox) << title.toStdString();
        }
    });
}

TEST_F(TransactionSearchTest, AmountRangeThroughEnterFindsTheMatchingVouchersOfTheSubtree)
{
    Run([&](W &w) {
        ChooseFolder(w, QStringLiteral("電子帳簿"));
        QWidget *from = Ctl(w, W::AmountFrom);
        QWidget *to = Ctl(w, W::AmountTo);
        TypeInto(w, from, QStringLiteral("10000"));
        Key(w, from, Qt::Key_Return);
        EXPECT_EQ(QApplication::focusWidget(), to);
        EXPECT_TRUE(w.isVisible());
        QTest::keyClicks(to, QStringLiteral("60000"));
        Key(w, to, Qt::Key_Return);
        EXPECT_EQ(QApplication::focusWidget(), Ctl(w, MainId::FileSearchEdit));
        EXPECT_FALSE(w.isSearchMode());
        Key(w, nullptr, Qt::Key_Return);
        ASSERT_TRUE(w.isVisible());
        EXPECT_TRUE(w.isSearchMode());
        QStringList names = RowNames(w);
        names.sort();
        QStringList expected{"請求書_C物産_202403.pdf", "請求書_D企画_202405.pdf",
                             "領収書_会議室_0415.pdf"};
        expected.sort();
        EXPECT_EQ(names, expected);
        const int row = RowOf(w, QStringLiteral("請求書_D企画_202405.pdf"));
        ASSERT_GE(row, 0);
        EXPECT_EQ(Cell(w, row, ColumnKind::TransacAmount), QStringLiteral("55,000"));
        EXPECT_EQ(Cell(w, row, ColumnKind::TransacClient), QStringLiteral("D企画"));
        EXPECT_EQ(Cell(w, row, ColumnKind::TransacDate), QStringLiteral("24/05/31"));
        EXPECT_TRUE(messages.isEmpty()) << messages.join(u'|').toStdString();
    });
}

TEST_F(TransactionSearchTest, EnterMovesThroughEveryFieldWithoutClosing)
{
    Run([&](W &w) {
        ChooseFolder(w, QStringLiteral("電子帳簿"));
        auto *dateFrom = Ctl(w, W::DateFrom)->findChild<QLineEdit *>();
        auto *dateTo = Ctl(w, W::DateTo)->findChild<QLineEdit *>();
        ASSERT_TRUE(dateFrom && dateTo);
        const QList<QWidget *> chain{dateFrom,
                                     dateTo,
                                     Ctl(w, W::ClientName),
                                     Ctl(w, W::AmountFrom),
                                     Ctl(w, W::AmountTo),
                                     Ctl(w, MainId::FileSearchEdit)};
        chain.first()->setFocus();
        for (int i = 0; i + 1 < chain.size(); ++i) {
            SCOPED_TRACE(i);
            Key(w, chain.at(i), Qt::Key_Return);
            ASSERT_TRUE(w.isVisible());
            EXPECT_EQ(QApplication::focusWidget(), chain.at(i + 1));
        }
        EXPECT_FALSE(w.isSearchMode());
    });
}

TEST_F(TransactionSearchTest, CellsShowGroupedAmountsTwoDigitYearsAndBlanks)
{
    Run([&](W &w) {
        ChooseFolder(w, QStringLiteral("電子帳簿/請求書"));
        struct SRow
        {
            const char *name, *date, *client, *amount;
        };
        for (const SRow &r :
             {SRow{"請求書_A商事_202401.pdf", "24/01/31", "A商事株式会社", "110,000"},
              SRow{"請求書_B工業_202402.pdf", "24/02/29", "B工業株式会社", "275,000"},
              SRow{"請求書_未登録.pdf", "", "", ""}}) {
            SCOPED_TRACE(r.name);
            const int row = RowOf(w, QString::fromUtf8(r.name));
            ASSERT_GE(row, 0);
            EXPECT_EQ(Cell(w, row, ColumnKind::TransacDate), QString::fromUtf8(r.date));
            EXPECT_EQ(Cell(w, row, ColumnKind::TransacClient), QString::fromUtf8(r.client));
            EXPECT_EQ(Cell(w, row, ColumnKind::TransacAmount), QString::fromUtf8(r.amount));
        }
    });
}

} // namespace
