// Paging of a long folder: the label, the link markup and its disabled links, and the arrow
// keys of the list moving between the pages.

#include "MainWindowFixture.h"

#include "ui/toolkit/LinkCtrl.h"

namespace {

using W = CSharedFileListDialog;

class PagingTest : public MainWindowTest
{
protected:
    QStringList ServerArgs() const override
    {
        return {"--seed", "page:subfolders=0,files=1234", "--test-hooks"};
    }
    void SetUp() override
    {
        MainWindowTest::SetUp();
        app->WriteProfileInt(QStringLiteral("FileListDialog"), QStringLiteral("pagiLimit"), 500);
    }
    static QString Label(const W &w) { return Ctl<QLabel>(w, W::PagerLabel)->text(); }
};

const QString kAllLinks = QStringLiteral(
    "<A ID=\"first\">《</A>\u3000<A ID=\"prev\">〈</A>\u3000<A ID=\"1\">1</A>\u3000<A "
    "ID=\"2\">2</A>"
    "\u3000<A ID=\"3\">3</A>\u3000<A ID=\"next\">〉</A>\u3000<A ID=\"last\">》</A>");

TEST_F(PagingTest, PageThreeOfThreeShowsItsLabelLinksAndRows)
{
    Run([&](W &w) {
        ChooseFolder(w, QStringLiteral("ページ"));
        EXPECT_EQ(Label(w), QStringLiteral("1－500 / 1,234 件（1 / 3 頁）"));
        EXPECT_EQ(w.list()->rows().size(), 500);
        w.FollowPageLink(QStringLiteral("3"));
        Settle(w);
        EXPECT_EQ(Label(w), QStringLiteral("1,001－1,234 / 1,234 件（3 / 3 頁）"));
        auto *links = Ctl<CBizLinkCtrl>(w, W::PagerLinks);
        ASSERT_TRUE(links);
        EXPECT_EQ(links->linkText(), kAllLinks);
        QStringList disabled = links->disabledLinks();
        disabled.sort();
        EXPECT_EQ(disabled, (QStringList{"3", "last", "next"}));
        const QStringList names = RowNames(w);
        ASSERT_EQ(names.size(), 234);
        EXPECT_EQ(names.first(), QStringLiteral("d01001.txt"));
        EXPECT_EQ(names.last(), QStringLiteral("d01234.txt"));
    });
}

TEST_F(PagingTest, ArrowKeysInTheListMoveBetweenPages)
{
    Run([&](W &w) {
        ChooseFolder(w, QStringLiteral("ページ"));
        struct SStep
        {
            Qt::Key key;
            Qt::KeyboardModifiers modifiers;
            const char *label;
            const char *firstRow;
        };
        const SStep steps[] = {
            {Qt::Key_Right, Qt::NoModifier, "501－1,000 / 1,234 件（2 / 3 頁）", "d00501.txt"},
            {Qt::Key_Right, Qt::NoModifier, "1,001－1,234 / 1,234 件（3 / 3 頁）", "d01001.txt"},
            {Qt::Key_Right, Qt::NoModifier, "1,001－1,234 / 1,234 件（3 / 3 頁）", "d01001.txt"},
            {Qt::Key_Left, Qt::NoModifier, "501－1,000 / 1,234 件（2 / 3 頁）", "d00501.txt"},
            {Qt::Key_Left, Qt::ControlModifier, "1－500 / 1,234 件（1 / 3 頁）", "d00001.txt"},
            {Qt::Key_Left, Qt::NoModifier, "1－500 / 1,234 件（1 / 3 頁）", "d00001.txt"},
            {Qt::Key_Right, Qt::ControlModifier, "1,001－1,234 / 1,234 件（3 / 3 頁）",
             "d01001.txt"},
        };
        for (const SStep &step : steps) {
            SCOPED_TRACE(std::string(step.label) + (step.key == Qt::Key_Left ? " left" : " right"));
            Key(w, w.list(), step.key, step.modifiers);
            EXPECT_EQ(Label(w), QString::fromUtf8(step.label));
            EXPECT_EQ(RowNames(w).value(0), QString::fromUtf8(step.firstRow));
            EXPECT_EQ(QApplication::focusWidget(), w.list());
        }
    });
}

} // namespace
