// The layout rules of the dialogs: share groups grow in proportion to their designed widths,
// and a hidden footer button leaves no gap.

#include "ui/toolkit/LayoutRules.h"

#include <QDialog>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

namespace {

TEST(LayoutRules, ShareGroupSplitsTheGrowthByTheDesignedWidths)
{
    QWidget window;
    auto *row = new QHBoxLayout(&window);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(0);
    auto *title = new QLineEdit(&window);
    auto *edit = new QLineEdit(&window);
    AddShareGroup(*row, {title, edit}, {240, 90});
    window.resize(330, 30);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    EXPECT_EQ(title->width(), 240);
    EXPECT_EQ(edit->width(), 90);

    window.resize(330 + 33, 30);
    QCoreApplication::processEvents();
    EXPECT_NEAR(title->width() - 240, 24, 1);
    EXPECT_NEAR(edit->width() - 90, 9, 1);
    EXPECT_EQ(title->width() + edit->width(), 363);
}

TEST(LayoutRules, HiddenFooterButtonLeavesNoGap)
{
    QDialog dialog;
    auto *footer = new QHBoxLayout(&dialog);
    footer->addStretch(1);
    auto *ok = new QPushButton(QStringLiteral("OK"), &dialog);
    auto *cancel = new QPushButton(QStringLiteral("キャンセル"), &dialog);
    footer->addWidget(ok);
    footer->addWidget(cancel);
    dialog.resize(400, 60);
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    const int cancelRight = cancel->geometry().right();

    // The cancel button hidden: OK moves into its place at the right edge.
    cancel->hide();
    QCoreApplication::processEvents();
    dialog.layout()->activate();
    EXPECT_EQ(ok->geometry().right(), cancelRight);
}

} // namespace
