// The controls of the toolkit, driven with keys and clicks on the offscreen platform.
#include "ui/toolkit/BizMenu.h"
#include "ui/toolkit/DateTimeCtrl.h"
#include "ui/toolkit/EditAmount.h"
#include "ui/toolkit/FlatButton.h"
#include "ui/toolkit/ImageList.h"
#include "ui/toolkit/LinkCtrl.h"
#include "ui/toolkit/TimerEvent.h"
#include "ui/toolkit/TreeComboBox.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QCalendarWidget>
#include <QClipboard>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QMenu>
#include <QSignalSpy>
#include <QStandardItemModel>
#include <QTest>
#include <QTimer>
#include <QTreeView>
#include <QVBoxLayout>
#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <vector>

namespace {

// A shown, active window with a plain edit to move the focus to.
class CHost
{
public:
    CHost()
    {
        window.setLayout(new QVBoxLayout);
        other = new QLineEdit(&window);
        window.layout()->addWidget(other);
    }
    template<typename T>
    T *Add(T *widget)
    {
        window.layout()->addWidget(widget);
        return widget;
    }
    bool Show()
    {
        window.resize(320, 200);
        window.show();
        window.activateWindow();
        return QTest::qWaitForWindowActive(&window);
    }
    void FocusOther()
    {
        other->setFocus(Qt::OtherFocusReason);
        QCoreApplication::processEvents();
    }

    QWidget window;
    QLineEdit *other = nullptr;
};

// --- amount edit -------------------------------------------------------------------------

struct SAmountStep
{
    enum Kind { Type, Paste, SelectAll } kind;
    QString text;
};

struct SAmountCase
{
    const char *name;
    std::vector<SAmountStep> steps;
    int maxLength; // 0: the edit's default
    QString shownAfterLeaving;
    std::optional<qint64> value;
    QString rawText;
};

class AmountEditTest : public ::testing::TestWithParam<SAmountCase>
{};

TEST_P(AmountEditTest, KeepsOnlyValidAmounts)
{
    const SAmountCase &c = GetParam();
    CHost host;
    auto *edit = host.Add(new CBizEditAmount);
    if (c.maxLength > 0)
        edit->setMaxLength(c.maxLength);
    const int limit = edit->maxLength();
    ASSERT_TRUE(host.Show());
    edit->setFocus(Qt::OtherFocusReason);
    QCoreApplication::processEvents();
    ASSERT_TRUE(edit->hasFocus());

    for (const SAmountStep &step : c.steps) {
        switch (step.kind) {
        case SAmountStep::Type:
            QTest::keyClicks(edit, step.text);
            break;
        case SAmountStep::Paste:
            QApplication::clipboard()->setText(step.text);
            QTest::keyClick(edit, Qt::Key_V, Qt::ControlModifier);
            break;
        case SAmountStep::SelectAll:
            QTest::keyClick(edit, Qt::Key_A, Qt::ControlModifier);
            break;
        }
    }
    // While focused the text is never grouped.
    EXPECT_FALSE(edit->text().contains(QLatin1Char(',')));

    host.FocusOther();
    EXPECT_EQ(edit->text(), c.shownAfterLeaving);
    EXPECT_EQ(edit->rawValue(), c.value);
    EXPECT_EQ(edit->rawText(), c.rawText);

    // Back in the field the raw value shows, with the caller's limit.
    edit->setFocus(Qt::OtherFocusReason);
    QCoreApplication::processEvents();
    EXPECT_EQ(edit->text(), c.rawText);
    EXPECT_EQ(edit->maxLength(), limit);
}

using S = SAmountStep;
INSTANTIATE_TEST_SUITE_P(
    Controls, AmountEditTest,
    ::testing::Values(
        SAmountCase{
            "PasteDropsCommas", {{S::Paste, "1,234,567"}}, 0, "1,234,567", 1234567, "1234567"},
        SAmountCase{"LeadingZeroClears", {{S::Type, "0123"}}, 0, "", std::nullopt, ""},
        SAmountCase{"InnerMinusClears", {{S::Type, "1-2"}}, 0, "", std::nullopt, ""},
        SAmountCase{"NegativeKept", {{S::Type, "-5"}}, 0, "-5", -5, "-5"},
        SAmountCase{"MinusZeroClears", {{S::Type, "-0"}}, 0, "", std::nullopt, ""},
        SAmountCase{"ZeroKept", {{S::Type, "0"}}, 0, "0", 0, "0"},
        SAmountCase{"DoubleMinusClears", {{S::Type, "--5"}}, 0, "", std::nullopt, ""},
        SAmountCase{"LettersRefused", {{S::Type, "1a2,b3 "}}, 0, "123", 123, "123"},
        SAmountCase{"PasteWithLettersRefused", {{S::Type, "5"}, {S::Paste, "12x"}}, 0, "5", 5, "5"},
        SAmountCase{
            "CtrlAPasses", {{S::Type, "123"}, {S::SelectAll, {}}, {S::Type, "9"}}, 0, "9", 9, "9"},
        SAmountCase{
            "NegativeGrouped", {{S::Type, "-1234567"}}, 0, "-1,234,567", -1234567, "-1234567"},
        SAmountCase{"LimitCountsDigitsOnly",
                    {{S::Type, "-12345678901"}},
                    11,
                    "-1,234,567,890",
                    -1234567890,
                    "-1234567890"}),
    [](const auto &info) { return std::string(info.param.name); });

// --- date control ------------------------------------------------------------------------

struct SDateCase
{
    const char *name;
    QString text;
    QDate expected; // invalid: today
};

class DateCtrlFocusTest : public ::testing::TestWithParam<SDateCase>
{};

TEST_P(DateCtrlFocusTest, CalendarFollowsTextOnLeaving)
{
    const SDateCase &c = GetParam();
    CHost host;
    auto *date = host.Add(new CBizDateTimeCtrl);
    date->calendar()->setSelectedDate(QDate(2001, 1, 1));
    ASSERT_TRUE(host.Show());
    date->edit()->setFocus(Qt::OtherFocusReason);
    QCoreApplication::processEvents();
    date->edit()->insert(c.text); // as an input method commits it
    EXPECT_EQ(date->grab().toImage().pixelColor(0, date->height() / 2),
              CBizDateTimeCtrl::FocusedBorderColour());

    host.FocusOther();
    EXPECT_EQ(date->text(), c.text);
    const QDate expected = c.expected.isValid() ? c.expected : QDate::currentDate();
    EXPECT_EQ(date->calendar()->selectedDate(), expected);
    EXPECT_EQ(date->grab().toImage().pixelColor(0, date->height() / 2),
              CBizDateTimeCtrl::BorderColour());
}

INSTANTIATE_TEST_SUITE_P(Controls, DateCtrlFocusTest,
                         ::testing::Values(SDateCase{"ShortForm", "2023/04/05", QDate(2023, 4, 5)},
                                           SDateCase{"WithoutZeros", "2023/4/5", QDate(2023, 4, 5)},
                                           SDateCase{"NotADate", "らいしゅう", QDate()},
                                           SDateCase{"NoSuchDay", "2023/02/30", QDate()},
                                           SDateCase{"Empty", "", QDate()}),
                         [](const auto &info) { return std::string(info.param.name); });

TEST(Controls, DateCtrlOpensOnTodayBelowItsLeftEdgeAndKeepsNonDateText)
{
    CHost host;
    auto *date = host.Add(new CBizDateTimeCtrl);
    date->calendar()->setSelectedDate(QDate(2001, 1, 1));
    date->SetMaxLength(10);
    ASSERT_TRUE(host.Show());
    date->edit()->setFocus(Qt::OtherFocusReason);
    date->edit()->insert(QStringLiteral("末日ごろまでに"));
    ASSERT_EQ(date->text(), QStringLiteral("末日ごろまでに"));
    QTest::keyClicks(date->edit(), QStringLiteral("1234"));
    EXPECT_EQ(date->text().size(), 10);
    const QString typed = date->text();

    CBizFlatButton *button = date->calendarButton();
    EXPECT_EQ(button->objectName(), QStringLiteral("21628"));
    EXPECT_EQ(button->toolTip(), QStringLiteral("カレンダー"));
    EXPECT_EQ(button->accessibleName(), QStringLiteral("カレンダー"));
    EXPECT_EQ(button->iconSize(), QSize(12, 12));
    QTest::mouseClick(button, Qt::LeftButton);
    ASSERT_TRUE(date->isCalendarOpen());
    EXPECT_EQ(date->calendar()->selectedDate(), QDate::currentDate());
    EXPECT_EQ(date->calendar()->pos(), date->mapToGlobal(QPoint(0, date->height())));
    EXPECT_EQ(date->text(), typed);
    date->calendar()->hide();
}

// Two date fields side by side: each calendar button says whose it is and is reached with
// Tab, so the calendars are not for mouse users only.
TEST(Controls, EachDateFieldsCalendarIsNamedAfterItAndReachedByTab)
{
    CHost host;
    auto *from = host.Add(new CBizDateTimeCtrl);
    auto *to = host.Add(new CBizDateTimeCtrl);
    from->setAccessibleName(QStringLiteral("取引日（開始）"));
    to->setAccessibleName(QStringLiteral("取引日（終了）"));
    ASSERT_TRUE(host.Show());
    EXPECT_EQ(from->calendarButton()->accessibleName(),
              QStringLiteral("取引日（開始）のカレンダー"));
    EXPECT_EQ(to->calendarButton()->accessibleName(), QStringLiteral("取引日（終了）のカレンダー"));
    EXPECT_EQ(from->calendar()->accessibleName(), QStringLiteral("取引日（開始）のカレンダー"));
    EXPECT_EQ(from->edit()->accessibleName(), QStringLiteral("取引日（開始）"));
    from->edit()->setFocus(Qt::OtherFocusReason);
    QCoreApplication::processEvents();
    QTest::keyClick(from->edit(), Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), from->calendarButton());
    QTest::keyClick(from->calendarButton(), Qt::Key_Space);
    EXPECT_TRUE(from->isCalendarOpen());
    from->calendar()->hide();
}

TEST(Controls, DateChosenInCalendarIsWrittenInShortForm)
{
    CHost host;
    auto *date = host.Add(new CBizDateTimeCtrl);
    date->SetText(QStringLiteral("2020/01/15"));
    ASSERT_TRUE(host.Show());
    QSignalSpy chosen(date, &CBizDateTimeCtrl::dateChosen);
    date->OpenCalendar();
    ASSERT_TRUE(date->isCalendarOpen());
    EXPECT_EQ(date->calendar()->selectedDate(), QDate(2020, 1, 15));

    const QDate pick(2024, 3, 9);
    date->calendar()->setSelectedDate(pick);
    auto *days = date->calendar()->findChild<QAbstractItemView *>();
    ASSERT_NE(days, nullptr);
    QTest::keyClick(days, Qt::Key_Return);

    EXPECT_FALSE(date->isCalendarOpen());
    EXPECT_EQ(date->text(), pick.toString(QStringLiteral("yyyy/MM/dd")));
    ASSERT_EQ(chosen.count(), 1);
    EXPECT_EQ(chosen.at(0).at(0).toDate(), pick);
}

// --- tree combo ----------------------------------------------------------------------------

// 全社 > (営業部 > 東京, 大阪), 経理部
struct STreeCombo
{
    explicit STreeCombo(CHost &host)
        : combo(host.Add(new CBizTreeComboBox))
    {
        QStandardItem *all = combo->AddItem(QStringLiteral("全社"));
        sales = combo->AddItem(QStringLiteral("営業部"), all);
        tokyo = combo->AddItem(QStringLiteral("東京"), sales);
        combo->AddItem(QStringLiteral("大阪"), sales);
        combo->AddItem(QStringLiteral("経理部"), all);
        combo->treeView()->expandAll();
        combo->SelectItem(sales->index());
    }
    CBizTreeComboBox *combo;
    QStandardItem *sales;
    QStandardItem *tokyo;
};

struct SOpenKey
{
    const char *name;
    Qt::Key key;
    Qt::KeyboardModifiers modifiers;
};

class TreeComboKeyTest : public ::testing::TestWithParam<SOpenKey>
{};

TEST_P(TreeComboKeyTest, KeyOpensDropDownOnCurrentItem)
{
    CHost host;
    STreeCombo tree(host);
    ASSERT_TRUE(host.Show());
    tree.combo->setFocus(Qt::OtherFocusReason);
    ASSERT_EQ(tree.combo->currentText(), QStringLiteral("営業部"));

    QTest::keyClick(tree.combo, GetParam().key, GetParam().modifiers);
    ASSERT_TRUE(tree.combo->isPopupOpen());
    EXPECT_TRUE(tree.combo->view()->isVisible());
    EXPECT_EQ(CBizTreeComboBox::openTreeCombo(), tree.combo);
    EXPECT_EQ(tree.combo->view()->currentIndex(), tree.sales->index());

    tree.combo->hidePopup();
    EXPECT_FALSE(tree.combo->isPopupOpen());
    EXPECT_EQ(CBizTreeComboBox::openTreeCombo(), nullptr);
    EXPECT_EQ(tree.combo->currentModelIndex(), tree.sales->index());
}

INSTANTIATE_TEST_SUITE_P(Controls, TreeComboKeyTest,
                         ::testing::Values(SOpenKey{"Backspace", Qt::Key_Backspace, {}},
                                           SOpenKey{"AltUp", Qt::Key_Up, Qt::AltModifier},
                                           SOpenKey{"AltDown", Qt::Key_Down, Qt::AltModifier}),
                         [](const auto &info) { return std::string(info.param.name); });

TEST(Controls, TreeComboOpeningOneClosesTheOther)
{
    CHost host;
    STreeCombo first(host);
    STreeCombo second(host);
    ASSERT_TRUE(host.Show());

    first.combo->showPopup();
    ASSERT_TRUE(first.combo->isPopupOpen());
    second.combo->showPopup();
    EXPECT_TRUE(second.combo->isPopupOpen());
    EXPECT_FALSE(first.combo->isPopupOpen());
    EXPECT_FALSE(first.combo->view()->isVisible());
    EXPECT_EQ(CBizTreeComboBox::openTreeCombo(), second.combo);
    // The closed one is back on its item.
    EXPECT_EQ(first.combo->currentText(), QStringLiteral("営業部"));
    EXPECT_EQ(first.combo->currentModelIndex(), first.sales->index());

    second.combo->hidePopup();
    EXPECT_EQ(CBizTreeComboBox::openTreeCombo(), nullptr);
}

TEST(Controls, TreeComboLockedStaysClosedAndIgnoresKeys)
{
    CHost host;
    STreeCombo tree(host);
    ASSERT_TRUE(host.Show());
    EXPECT_TRUE(tree.combo->property("bizLockable").toBool());
    tree.combo->setProperty("bizLocked", true);
    tree.combo->setFocus(Qt::OtherFocusReason);

    QTest::keyClick(tree.combo, Qt::Key_Down, Qt::AltModifier);
    QTest::keyClick(tree.combo, Qt::Key_Backspace);
    QTest::keyClick(tree.combo, Qt::Key_F4);
    QTest::mouseClick(tree.combo, Qt::LeftButton);
    tree.combo->showPopup();
    EXPECT_FALSE(tree.combo->isPopupOpen());
    EXPECT_FALSE(tree.combo->view()->isVisible());
    EXPECT_EQ(tree.combo->currentModelIndex(), tree.sales->index());

    tree.combo->setProperty("bizLocked", false);
    QTest::keyClick(tree.combo, Qt::Key_Down, Qt::AltModifier);
    EXPECT_TRUE(tree.combo->isPopupOpen());
    tree.combo->hidePopup();
}

TEST(Controls, TreeComboEnterChoosesDeepItemAndEscapeKeepsTheOld)
{
    CHost host;
    STreeCombo tree(host);
    ASSERT_TRUE(host.Show());
    QSignalSpy chosen(tree.combo, &CBizTreeComboBox::itemChosen);

    tree.combo->showPopup();
    QTest::keyClick(tree.combo->view(), Qt::Key_Down);
    QTest::keyClick(tree.combo->view(), Qt::Key_Escape);
    EXPECT_FALSE(tree.combo->isPopupOpen());
    EXPECT_EQ(chosen.count(), 0);
    EXPECT_EQ(tree.combo->currentModelIndex(), tree.sales->index());

    tree.combo->showPopup();
    QTest::keyClick(tree.combo->view(), Qt::Key_Down);
    QTest::keyClick(tree.combo->view(), Qt::Key_Return);
    EXPECT_FALSE(tree.combo->isPopupOpen());
    ASSERT_EQ(chosen.count(), 1);
    EXPECT_EQ(chosen.at(0).at(0).toModelIndex(), tree.tokyo->index());
    EXPECT_EQ(tree.combo->currentModelIndex(), tree.tokyo->index());
    EXPECT_EQ(tree.combo->currentText(), QStringLiteral("東京"));
}

// --- link -----------------------------------------------------------------------------------

struct SLinkCase
{
    const char *name;
    QString markup;
    QString richText;
};

class LinkMarkupTest : public ::testing::TestWithParam<SLinkCase>
{};

TEST_P(LinkMarkupTest, BecomesRichText)
{
    EXPECT_EQ(CBizLinkCtrl::ToRichText(GetParam().markup), GetParam().richText);
}

INSTANTIATE_TEST_SUITE_P(
    Controls, LinkMarkupTest,
    ::testing::Values(SLinkCase{"IdLink", R"(<A ID="x">text</A>)", R"(<a href="x">text</a>)"},
                      SLinkCase{"TextAround", R"(前 <a id="21300">詳細</a> 後)",
                                R"(前 <a href="21300">詳細</a> 後)"},
                      SLinkCase{"HrefLink", R"(<A HREF="https://e.example/">web</A>)",
                                R"(<a href="https://e.example/">web</a>)"},
                      SLinkCase{"SingleQuotes", "<A ID='s'>x</A>", R"(<a href="s">x</a>)"},
                      SLinkCase{"PlainTextEscaped", "a & b < c", "a &amp; b &lt; c"},
                      SLinkCase{"LineBreaks", "1行目\r\n<A ID=\"a\">x</A>\n3",
                                R"(1行目<br><a href="a">x</a><br>3)"},
                      SLinkCase{"LinksWithoutIdByPosition", "<A>one</A><A>two</A>",
                                R"(<a href="0">one</a><a href="1">two</a>)"},
                      SLinkCase{"UnclosedLinkClosed", R"(<A ID="u">open)",
                                R"(<a href="u">open</a>)"}),
    [](const auto &info) { return std::string(info.param.name); });

TEST(Controls, LinkClickReportsId)
{
    CHost host;
    auto *link = host.Add(new CBizLinkCtrl);
    link->SetLinkText(QStringLiteral(R"(<A ID="notice">お知らせがあります</A>)"));
    link->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    ASSERT_TRUE(host.Show());
    QSignalSpy clicked(link, &CBizLinkCtrl::linkClicked);
    QTest::mouseClick(link, Qt::LeftButton, {}, QPoint(4, link->height() / 2));
    ASSERT_EQ(clicked.count(), 1);
    EXPECT_EQ(clicked.at(0).at(0).toString(), QStringLiteral("notice"));
}

struct SDisabledLinkCase
{
    const char *name;
    QString markup;
    QStringList disabled;
    QString richText;
};

class DisabledLinkMarkupTest : public ::testing::TestWithParam<SDisabledLinkCase>
{};

TEST_P(DisabledLinkMarkupTest, BecomesGreyText)
{
    EXPECT_EQ(
        CBizLinkCtrl::ToRichText(GetParam().markup, GetParam().disabled, QColor(120, 121, 122)),
        GetParam().richText);
}

INSTANTIATE_TEST_SUITE_P(
    Controls, DisabledLinkMarkupTest,
    ::testing::Values(
        SDisabledLinkCase{"OneOfTwo",
                          R"(<A ID="prev">〈</A> <A ID="2">2</A>)",
                          {"prev"},
                          R"(<span style="color:#78797a">〈</span> <a href="2">2</a>)"},
        SDisabledLinkCase{
            "UnknownIdChangesNothing", R"(<A ID="a">x</A>)", {"b"}, R"(<a href="a">x</a>)"},
        SDisabledLinkCase{"PositionalId",
                          "<A>one</A><A>two</A>",
                          {"1"},
                          R"(<a href="0">one</a><span style="color:#78797a">two</span>)"},
        SDisabledLinkCase{"TextEscapedUnclosed",
                          R"(<A ID="n">a & b)",
                          {"n"},
                          R"(<span style="color:#78797a">a &amp; b</span>)"}),
    [](const auto &info) { return std::string(info.param.name); });

TEST(Controls, DisabledLinkNotClickable)
{
    CHost host;
    auto *link = host.Add(new CBizLinkCtrl);
    link->SetDisabledLinks({QStringLiteral("next")});
    link->SetLinkText(QStringLiteral(R"(<A ID="next">次のページへ進む</A>)"));
    link->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    ASSERT_TRUE(host.Show());
    EXPECT_EQ(link->disabledLinks(), QStringList{QStringLiteral("next")});
    // Drawn in the palette's disabled text colour.
    EXPECT_TRUE(
        link->text().contains(link->palette().color(QPalette::Disabled, QPalette::Text).name()));
    QSignalSpy clicked(link, &CBizLinkCtrl::linkClicked);
    const QPoint onText(4, link->height() / 2);
    QTest::mouseClick(link, Qt::LeftButton, {}, onText);
    EXPECT_EQ(clicked.count(), 0);

    // Enabled again, the same place reports the link.
    link->SetDisabledLinks({});
    QTest::mouseClick(link, Qt::LeftButton, {}, onText);
    ASSERT_EQ(clicked.count(), 1);
    EXPECT_EQ(clicked.at(0).at(0).toString(), QStringLiteral("next"));
}

TEST(Controls, DisabledLinkSkippedByKeyboard)
{
    CHost host;
    auto *link = host.Add(new CBizLinkCtrl);
    link->SetLinkText(QStringLiteral(R"(<A ID="first">《</A>　<A ID="2">2</A>)"));
    link->SetDisabledLinks({QStringLiteral("first")});
    ASSERT_TRUE(host.Show());
    host.FocusOther();
    QSignalSpy clicked(link, &CBizLinkCtrl::linkClicked);
    // The first Tab enters the label, the next one stops on its first usable link.
    QTest::keyClick(host.other, Qt::Key_Tab);
    ASSERT_TRUE(link->hasFocus());
    QTest::keyClick(link, Qt::Key_Tab);
    ASSERT_TRUE(link->hasFocus());
    QTest::keyClick(link, Qt::Key_Return);
    ASSERT_EQ(clicked.count(), 1);
    EXPECT_EQ(clicked.at(0).at(0).toString(), QStringLiteral("2"));
    // Back from there passes the disabled link by and leaves the label.
    QTest::keyClick(link, Qt::Key_Backtab, Qt::ShiftModifier);
    EXPECT_FALSE(link->hasFocus());
    EXPECT_EQ(clicked.count(), 1);
}

// --- menu -----------------------------------------------------------------------------------

struct SMenuCase
{
    const char *name;
    std::vector<Qt::Key> keys;
    int command;
};

class MenuTest : public ::testing::TestWithParam<SMenuCase>
{};

TEST_P(MenuTest, ReturnsCommandOfChosenItem)
{
    CHost host;
    ASSERT_TRUE(host.Show());
    CBizMenu menu(&host.window);
    QAction *download = menu.AddItem(QStringLiteral("ダウンロード"), 5141, BizIcon::Download);
    menu.AddSeparator();
    menu.AddItem(QStringLiteral("名前の変更"), 5142);
    menu.AddItem(QStringLiteral("削除"), 5143, BizIcon::Delete, false);
    QAction *favorites = menu.AddCheckItem(QStringLiteral("お気に入り"), 5144, true);
    EXPECT_FALSE(download->icon().isNull());
    EXPECT_TRUE(favorites->isCheckable());
    EXPECT_TRUE(favorites->isChecked());
    EXPECT_EQ(menu.action(5142)->text(), QStringLiteral("名前の変更"));

    const std::vector<Qt::Key> keys = GetParam().keys;
    QTimer::singleShot(0, menu.menu(), [&menu, keys] {
        for (Qt::Key key : keys)
            QTest::keyClick(menu.menu(), key);
    });
    EXPECT_EQ(menu.Exec(host.window.mapToGlobal(QPoint(10, 10))), GetParam().command);
    EXPECT_FALSE(menu.menu()->isVisible());
}

INSTANTIATE_TEST_SUITE_P(
    Controls, MenuTest,
    ::testing::Values(
        SMenuCase{"First", {Qt::Key_Down, Qt::Key_Return}, 5141},
        SMenuCase{"AfterSeparator", {Qt::Key_Down, Qt::Key_Down, Qt::Key_Return}, 5142},
        SMenuCase{
            "DisabledSkipped", {Qt::Key_Down, Qt::Key_Down, Qt::Key_Down, Qt::Key_Return}, 5144},
        SMenuCase{"Escape", {Qt::Key_Escape}, 0}),
    [](const auto &info) { return std::string(info.param.name); });

// --- timers ---------------------------------------------------------------------------------

class CCountingOwner : public CBizTimerEvent
{
public:
    std::map<int, int> fired;
    int rearmOnce = 0; // an id the handler arms again on its first run

protected:
    void OnTimerEvent(int id) override
    {
        EXPECT_FALSE(isTimerEventArmed(id));
        if (++fired[id] == 1 && id == rearmOnce)
            SetTimerEvent(id, 1);
    }
};

TEST(Controls, TimerEventFiresOncePerArming)
{
    CCountingOwner owner;
    owner.SetTimerEvent(1, 5);
    owner.SetTimerEvent(1, 5); // re-armed: still one pending
    owner.SetTimerEvent(2, 5);
    owner.SetTimerEvent(3, 5);
    owner.KillTimerEvent(3);
    EXPECT_TRUE(owner.isTimerEventArmed(1));
    EXPECT_FALSE(owner.isTimerEventArmed(3));

    ASSERT_TRUE(QTest::qWaitFor([&] { return owner.fired[1] && owner.fired[2]; }, 5000));
    QTest::qWait(50);
    EXPECT_EQ(owner.fired[1], 1);
    EXPECT_EQ(owner.fired[2], 1);
    EXPECT_EQ(owner.fired[3], 0);
    EXPECT_FALSE(owner.isTimerEventArmed(1));
}

TEST(Controls, TimerEventHandlerMayArmAgain)
{
    std::vector<int> calls;
    CBizTimerEvent timers([&calls](int id) { calls.push_back(id); });
    timers.SetTimerEvent(7, 1);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !calls.empty(); }, 5000));

    CCountingOwner owner;
    owner.rearmOnce = 4;
    owner.SetTimerEvent(4, 1);
    ASSERT_TRUE(QTest::qWaitFor([&] { return owner.fired[4] == 2; }, 5000));
    QTest::qWait(50);
    EXPECT_EQ(owner.fired[4], 2);
    EXPECT_EQ(calls, std::vector<int>{7});
}

// --- flat button ----------------------------------------------------------------------------

class FlatButtonFaceTest : public ::testing::TestWithParam<bool>
{};

TEST_P(FlatButtonFaceTest, FaceIsThemeColour)
{
    const QColor theme(228, 235, 247);
    const QColor platformGrey(128, 128, 128);
    QWidget dialog;
    QPalette palette = dialog.palette();
    palette.setColor(QPalette::Active, QPalette::Window, theme);
    palette.setColor(QPalette::Inactive, QPalette::Window, theme);
    palette.setColor(QPalette::Disabled, QPalette::Window, platformGrey);
    dialog.setPalette(palette);
    auto *button = new CBizFlatButton(&dialog);
    button->SetIconId(BizIcon::Refresh);
    button->setToolTip(QStringLiteral("最新の情報に更新"));
    button->setGeometry(10, 10, 28, 28);
    button->setEnabled(GetParam());
    dialog.resize(60, 60);
    dialog.show();

    EXPECT_EQ(button->cursor().shape(), Qt::PointingHandCursor);
    EXPECT_EQ(button->accessibleName(), QStringLiteral("最新の情報に更新"));
    const QImage face = button->grab().toImage();
    for (const QPoint &corner :
         {QPoint(1, 1), QPoint(face.width() - 2, 1), QPoint(1, face.height() - 2),
          QPoint(face.width() - 2, face.height() - 2)}) {
        EXPECT_EQ(face.pixelColor(corner), theme) << corner.x() << "," << corner.y();
    }
    // The icon is drawn in the middle: its centred 16 x 16 square shows more than the face (a
    // pictogram may be hollow at its very centre).
    const QRect iconArea(face.width() / 2 - 8, face.height() / 2 - 8, 16, 16);
    int drawn = 0;
    for (int y = iconArea.top(); y <= iconArea.bottom(); ++y) {
        for (int x = iconArea.left(); x <= iconArea.right(); ++x)
            drawn += face.pixelColor(x, y) != theme;
    }
    EXPECT_GT(drawn, 0);
}

INSTANTIATE_TEST_SUITE_P(Controls, FlatButtonFaceTest, ::testing::Values(true, false),
                         [](const auto &info) {
                             return std::string(info.param ? "Enabled" : "Disabled");
                         });

// --- image list -----------------------------------------------------------------------------

QImage ImageOf(const QIcon &icon)
{
    return icon.pixmap(16, 16).toImage().convertToFormat(QImage::Format_ARGB32);
}

void ExpectDistinct(const std::vector<std::pair<int, QIcon>> &icons)
{
    for (size_t i = 0; i < icons.size(); ++i) {
        ASSERT_FALSE(icons[i].second.isNull()) << icons[i].first;
        const QImage image = ImageOf(icons[i].second);
        ASSERT_FALSE(image.isNull()) << icons[i].first;
        for (size_t j = 0; j < i; ++j)
            EXPECT_NE(image, ImageOf(icons[j].second)) << icons[i].first << " " << icons[j].first;
    }
}

TEST(Controls, ImageListGivesDistinctIconsForKnownIds)
{
    CBizImageList &images = CBizImageList::Instance();
    std::vector<std::pair<int, QIcon>> byId;
    const int ids[]
        = {BizIcon::Open,         BizIcon::Edit,       BizIcon::Send,         BizIcon::Release,
           BizIcon::Download,     BizIcon::Add,        BizIcon::Rename,       BizIcon::Move,
           BizIcon::Copy,         BizIcon::Delete,     BizIcon::Refresh,      BizIcon::Search,
           BizIcon::Comment,      BizIcon::Properties, BizIcon::FolderCreate, BizIcon::FolderOpen,
           BizIcon::Folder,       BizIcon::View,       BizIcon::History,      BizIcon::Transaction,
           BizIcon::BulkDownload, BizIcon::Notice,     BizIcon::Help,         BizIcon::Settings,
           BizIcon::Logout,       BizIcon::FavoriteOn, BizIcon::FavoriteOff,  BizIcon::Calendar,
           BizIcon::Menu,         BizIcon::Close,      BizIcon::First + 40,   BizIcon::First + 41};
    for (int id : ids) {
        byId.emplace_back(id, images.Icon(id));
    }
    ExpectDistinct(byId);
    EXPECT_TRUE(images.Icon(BizIcon::First - 1).isNull());
    EXPECT_TRUE(images.Icon(BizIcon::Last + 1).isNull());
    EXPECT_EQ(images.MenuPixmap(BizIcon::Send).cacheKey(),
              images.MenuPixmap(BizIcon::Send).cacheKey());
    EXPECT_EQ(images.MenuPixmap(BizIcon::Send).size(), QSize(16, 16));

    std::vector<std::pair<int, QIcon>> folders;
    for (int colour = 0; colour < CBizImageList::FolderColourCount; ++colour) {
        folders.emplace_back(colour, images.FolderIcon(colour));
        // A DataBox folder stores its colour 20 higher.
        EXPECT_EQ(ImageOf(images.FolderIcon(colour + 20)), ImageOf(folders.back().second));
    }
    ExpectDistinct(folders);

    for (const char *extension : {"xlsx", ".PDF", "txt", "nosuchtype"})
        EXPECT_FALSE(images.FileTypeIcon(QLatin1String(extension)).isNull()) << extension;
}

TEST(Controls, ImageListDrawsEveryIdVisiblyAtMenuAndButtonSizes)
{
    CBizImageList &images = CBizImageList::Instance();
    for (int id = BizIcon::First; id <= BizIcon::Last; ++id) {
        SCOPED_TRACE(id);
        const QPixmap menu = images.MenuPixmap(id);
        ASSERT_FALSE(menu.isNull());
        EXPECT_EQ(menu.size(), QSize(16, 16));
        for (int size : {16, 24}) {
            SCOPED_TRACE(size);
            const QImage image = images.Icon(id)
                                     .pixmap(size, size)
                                     .toImage()
                                     .convertToFormat(QImage::Format_ARGB32);
            ASSERT_EQ(image.size(), QSize(size, size));
            // Something is drawn, and it has a shape: not blank, not one flat colour.
            int visible = 0;
            bool uniform = true;
            for (int y = 0; y < size; ++y) {
                for (int x = 0; x < size; ++x) {
                    visible += qAlpha(image.pixel(x, y)) > 0;
                    uniform = uniform && image.pixel(x, y) == image.pixel(0, 0);
                }
            }
            EXPECT_GT(visible, 0);
            EXPECT_FALSE(uniform);
        }
    }
}

} // namespace
