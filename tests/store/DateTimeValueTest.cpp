#include "store/DateTimeValue.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

struct SAutomationCase
{
    double value;
    int year, month, day, hour, minute, second;
};

class AutomationDateTest : public ::testing::TestWithParam<SAutomationCase>
{};

// The automation-date definition: whole part days from 1899-12-30, fraction the time of day
// (also before the epoch, where the whole part counts back).
TEST_P(AutomationDateTest, SplitsIntoCalendarFields)
{
    const SAutomationCase &c = GetParam();
    const CDateTimeValue v(c.value);
    EXPECT_EQ(v.Year(), c.year);
    EXPECT_EQ(v.Month(), c.month);
    EXPECT_EQ(v.Day(), c.day);
    EXPECT_EQ(v.Hour(), c.hour);
    EXPECT_EQ(v.Minute(), c.minute);
    EXPECT_EQ(v.Second(), c.second);
}

TEST_P(AutomationDateTest, ComposesFromCalendarFields)
{
    const SAutomationCase &c = GetParam();
    const CDateTimeValue v
        = CDateTimeValue::FromFields(c.year, c.month, c.day, c.hour, c.minute, c.second);
    ASSERT_EQ(v.status, CDateTimeValue::Valid);
    // Whole seconds: the composed value is within half a second of the definition.
    EXPECT_NEAR(v.value, c.value, 0.5 / 86400.0);
}

INSTANTIATE_TEST_SUITE_P(Definition, AutomationDateTest,
                         ::testing::Values(SAutomationCase{0.0, 1899, 12, 30, 0, 0, 0},
                                           SAutomationCase{1.0, 1899, 12, 31, 0, 0, 0},
                                           SAutomationCase{2.5, 1900, 1, 1, 12, 0, 0},
                                           SAutomationCase{-1.25, 1899, 12, 29, 6, 0, 0},
                                           SAutomationCase{-1.75, 1899, 12, 29, 18, 0, 0},
                                           SAutomationCase{-700.5, 1898, 1, 29, 12, 0, 0},
                                           SAutomationCase{36526.0, 2000, 1, 1, 0, 0, 0},
                                           SAutomationCase{45322.5, 2024, 1, 31, 12, 0, 0},
                                           SAutomationCase{45322.0 + 10.0 / 24.0, 2024, 1, 31, 10,
                                                           0, 0},
                                           SAutomationCase{60.0, 1900, 2, 28, 0, 0, 0},
                                           SAutomationCase{61.0, 1900, 3, 1, 0, 0, 0},
                                           SAutomationCase{2958465.99999, 9999, 12, 31, 23, 59, 59},
                                           SAutomationCase{-657434.0, 100, 1, 1, 0, 0, 0}));

TEST(DateTimeValueTest, RoundsToTheNearestSecondAcrossMidnight)
{
    // 23:59:59.9 rounds into the next day, not to 24:00:00 of the same day.
    const CDateTimeValue v(1.0 - 0.1 / 86400.0);
    EXPECT_EQ(v.Day(), 31);
    EXPECT_EQ(v.Hour(), 0);
    EXPECT_EQ(v.Second(), 0);
}

TEST(DateTimeValueTest, UnsplittableValuesGiveMinusOne)
{
    for (double bad : {2958466.0, -657435.0, 1e300, -1e300, std::nan(""),
                       std::numeric_limits<double>::infinity()}) {
        const CDateTimeValue v(bad);
        EXPECT_EQ(v.Year(), -1) << bad;
        EXPECT_EQ(v.Second(), -1) << bad;
        EXPECT_EQ(FormatDateTimeValue(v, u"%Y"_qs), u"Invalid DateTime");
        EXPECT_FALSE(v.ToQDateTime().isValid());
    }
    EXPECT_EQ(CDateTimeValue(45322.5, CDateTimeValue::Invalid).Year(), -1);
    EXPECT_EQ(CDateTimeValue(45322.5, CDateTimeValue::Null).Day(), -1);
    EXPECT_EQ(CDateTimeValue::FromFields(2024, 2, 30).status, CDateTimeValue::Invalid);
    EXPECT_EQ(CDateTimeValue::FromFields(2024, 1, 1, 24).status, CDateTimeValue::Invalid);
}

struct SParseCase
{
    const char16_t *text;
    int status;
    double value;
};

class ParseDateTimeTest : public ::testing::TestWithParam<SParseCase>
{};

TEST_P(ParseDateTimeTest, AcceptsTheServiceForms)
{
    const SParseCase &c = GetParam();
    const CDateTimeValue v = ParseDateTime(QString::fromUtf16(c.text));
    EXPECT_EQ(v.status, c.status);
    EXPECT_NEAR(v.value, c.value, 0.5 / 86400.0);
}

const double Jan31Ten = 45322.0 + 10.0 / 24.0;

INSTANTIATE_TEST_SUITE_P(
    Forms, ParseDateTimeTest,
    ::testing::Values(
        SParseCase{u"2024/01/31 10:00:00", 0, Jan31Ten},
        SParseCase{u"2024-01-31T10:00:00", 0, Jan31Ten},
        SParseCase{u"2024-01-31T10:00:00.250", 0, Jan31Ten},
        SParseCase{u"2024-01-31 10:00:00", 0, Jan31Ten},
        SParseCase{u"2024/01/31 10:00", 0, Jan31Ten},
        SParseCase{u" 2024/1/31 10:00:00 ", 0, Jan31Ten}, SParseCase{u"2024/01/31", 0, 45322.0},
        SParseCase{u"1899/12/29 06:00:00", 0, -1.25}, SParseCase{u"", 0, 0.0},
        SParseCase{u"   ", 0, 0.0}, SParseCase{u"abc", 1, 0.0}, SParseCase{u"2024/01", 1, 0.0},
        SParseCase{u"2024/01-31", 1, 0.0}, SParseCase{u"2024/01/31 10", 1, 0.0},
        SParseCase{u"2024/01/31 10:00:00 extra", 1, 0.0},
        // A date form with impossible fields: the parser's other error.
        SParseCase{u"2024/02/30", 1, -1.0}, SParseCase{u"2024/13/01", 1, -1.0},
        SParseCase{u"2024/01/31 25:00:00", 1, -1.0}, SParseCase{u"0000/01/01", 1, -1.0}));

TEST(FormatDateTimeTest, EmptyForZeroAndNullInvalidTextForInvalid)
{
    EXPECT_EQ(FormatDate(CDateTimeValue(0.0)), u"");
    EXPECT_EQ(FormatDate(CDateTimeValue::NullValue()), u"");
    EXPECT_EQ(FormatDate(CDateTimeValue(45322.5, CDateTimeValue::Null)), u"");
    EXPECT_EQ(FormatDate(CDateTimeValue(45322.5, CDateTimeValue::Invalid)), u"Invalid DateTime");
    EXPECT_EQ(FormatDateTime(CDateTimeValue(0.0)), u"");
    EXPECT_EQ(FormatDateTime(CDateTimeValue(-1.0, CDateTimeValue::Invalid)), u"Invalid DateTime");
}

TEST(FormatDateTimeTest, PatternsOfTheLists)
{
    const CDateTimeValue v = CDateTimeValue::FromFields(2024, 3, 5, 14, 7, 9);
    EXPECT_EQ(FormatDate(v), u"2024/03/05");
    EXPECT_EQ(FormatDate(v, true), u"24/03/05");
    EXPECT_EQ(FormatDateTime(v), u"2024/03/05 14:07:09");
    EXPECT_EQ(FormatDateTime(v, true), u"24/03/05 14:07:09");
    EXPECT_EQ(FormatDateTime(v, false, true), u"24/03/05 14:07"); // always two-digit year
    EXPECT_EQ(FormatDateTimeValue(v, u"%Y年%#m月%#d日 %I:%M %p (%a) %j %%"_qs),
              u"2024年3月5日 02:07 PM (Tue) 065 %");
    EXPECT_EQ(FormatDateTimeValue(v, u"%q %"_qs), u"%q %"); // unknown copied
    EXPECT_EQ(FormatDateTimeValue(v, QString(300, u'x')).size(), 256);
    EXPECT_EQ(FormatDateTimeValue(CDateTimeValue::NullValue(), u"%Y"_qs), u"");
}

TEST(CompareDateTest, OrdersByFieldsInvalidFirst)
{
    const CDateTimeValue a = CDateTimeValue::FromFields(2024, 1, 31, 10, 0, 0);
    const CDateTimeValue sameDayLater = CDateTimeValue::FromFields(2024, 1, 31, 10, 0, 1);
    const CDateTimeValue nextDay = CDateTimeValue::FromFields(2024, 2, 1);
    const CDateTimeValue invalid(45322.0, CDateTimeValue::Invalid);
    const CDateTimeValue null = CDateTimeValue::NullValue();

    EXPECT_EQ(CompareDate(a, sameDayLater), 0);
    EXPECT_EQ(CompareDateTime(a, sameDayLater), -1);
    EXPECT_EQ(CompareDateTime(sameDayLater, a), 1);
    EXPECT_EQ(CompareDate(nextDay, a), 1);
    EXPECT_EQ(CompareDate(invalid, a), -1);
    EXPECT_EQ(CompareDateTime(a, null), 1);
    EXPECT_EQ(CompareDateTime(invalid, null), 0);
    // Before the epoch the fraction is still forward time: 06:00 < 18:00 on 1899-12-29.
    EXPECT_EQ(CompareDateTime(CDateTimeValue(-1.25), CDateTimeValue(-1.75)), -1);
}

TEST(DateTimeValueTest, ConvertsToAndFromLocalQDateTime)
{
    const QDateTime local(QDate(2024, 1, 31), QTime(10, 0, 0), Qt::LocalTime);
    const CDateTimeValue v = CDateTimeValue::FromQDateTime(local);
    EXPECT_EQ(v.status, CDateTimeValue::Valid);
    EXPECT_NEAR(v.value, Jan31Ten, 0.5 / 86400.0);
    EXPECT_EQ(v.ToQDateTime(), local);
    // A UTC time is taken in local time.
    EXPECT_EQ(CDateTimeValue::FromQDateTime(local.toUTC()).ToQDateTime(), local);
    EXPECT_EQ(CDateTimeValue::FromQDateTime(QDateTime()).status, CDateTimeValue::Invalid);
    EXPECT_FALSE(CDateTimeValue::NullValue().ToQDateTime().isValid());
}

} // namespace
