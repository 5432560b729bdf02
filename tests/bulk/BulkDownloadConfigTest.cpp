#include "bulk/BulkDownloadConfig.h"

#include "core/BizException.h"
#include "store/Archive.h"

#include <QDateTime>

#include <gtest/gtest.h>

#include <initializer_list>

namespace {

using Config = CBulkDownloadConfigRecord;

// Every field a different value, so a swapped or skipped field shows.
Config DistinctConfig()
{
    Config config;
    config.destinationRoot = QStringLiteral("/home/yamada/一括");
    config.datedFolders = 1;
    config.timerEnabled = 2;
    config.hour = 3;
    config.minute = 4;
    config.second = 5;
    config.repeat = 6;
    config.repeatKind = 7;
    config.dayOfMonth = 8;
    config.weekdays = {9, 10, 11, 12, 13, 14, 15};
    return config;
}

enum Day { Sun, Mon, Tue, Wed, Thu, Fri, Sat };

Config Timer(int hour, int minute = 0, int second = 0)
{
    Config config;
    config.timerEnabled = 1;
    config.hour = hour;
    config.minute = minute;
    config.second = second;
    return config;
}

Config Monthly(int day, int hour = 3)
{
    Config config = Timer(hour);
    config.repeat = 1;
    config.repeatKind = Config::Monthly;
    config.dayOfMonth = day;
    return config;
}

Config Weekly(std::initializer_list<Day> days, int hour = 3, int minute = 0)
{
    Config config = Timer(hour, minute);
    config.repeat = 1;
    config.repeatKind = Config::Weekly;
    for (Day day : days)
        config.weekdays[size_t(day)] = 1;
    return config;
}

Config Off(Config config)
{
    config.timerEnabled = 0;
    return config;
}

QDateTime At(const char *text)
{
    const QDateTime value = QDateTime::fromString(QString::fromLatin1(text), Qt::ISODateWithMs);
    EXPECT_TRUE(value.isValid()) << text;
    return value;
}

} // namespace

TEST(BulkDownloadConfig, DefaultsAndClear)
{
    const Config defaults;
    EXPECT_TRUE(defaults.IsEmpty());
    EXPECT_EQ(defaults.repeatKind, Config::Monthly);
    EXPECT_EQ(defaults.dayOfMonth, 1);
    EXPECT_EQ(defaults.timerEnabled, 0);

    Config config = DistinctConfig();
    EXPECT_FALSE(config.IsEmpty());
    config.Clear();
    EXPECT_EQ(config, defaults);
}

TEST(BulkDownloadConfig, ArchiveHoldsTheTextThenFifteenIntegers)
{
    const Config config = DistinctConfig();
    CBizArchiveWriter writer;
    config.Serialize(writer);

    CBizArchiveWriter expected;
    expected.WriteText(config.destinationRoot);
    for (qint32 value : {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15})
        expected.WriteInt32(value);
    EXPECT_EQ(writer.data().toHex(), expected.data().toHex());

    CBizArchiveWriter text;
    text.WriteText(config.destinationRoot);
    EXPECT_EQ(writer.size(), text.size() + 15 * 4);

    // Reading the hand-built bytes gives every field back in its place.
    CBizArchiveReader reader(expected.data());
    Config read;
    read.Deserialize(reader);
    EXPECT_TRUE(reader.atEnd());
    EXPECT_EQ(read, config);
}

TEST(BulkDownloadConfig, RoundTripKeepsEveryField)
{
    for (const Config &config : {Config(), DistinctConfig(), Weekly({Sun, Sat}, 23, 59),
                                 Monthly(Config::LastDayOfMonth)}) {
        CBizArchiveWriter writer;
        config.Serialize(writer);
        CBizArchiveReader reader(writer.data());
        Config read = DistinctConfig();
        read.destinationRoot = QStringLiteral("other");
        read.Deserialize(reader);
        EXPECT_TRUE(reader.atEnd());
        EXPECT_EQ(read, config);
    }
}

TEST(BulkDownloadConfig, TruncatedArchiveEndsInEndOfFileAndKeepsTheRecord)
{
    CBizArchiveWriter writer;
    DistinctConfig().Serialize(writer);
    const QByteArray whole = writer.data();
    for (qsizetype length = 0; length < whole.size(); ++length) {
        CBizArchiveReader reader(whole.left(length));
        Config config = Weekly({Tue});
        const Config before = config;
        try {
            config.Deserialize(reader);
            ADD_FAILURE() << "no exception at length " << length;
        } catch (const CBizArchiveException &e) {
            EXPECT_EQ(e.cause(), CBizArchiveException::EndOfFile) << "length " << length;
        }
        EXPECT_EQ(config, before) << "length " << length;
    }
}

struct STextCase
{
    const char *name;
    Config config;
    bool supportMode;
    const char *expected; // UTF-8
};

class BulkScheduleTextTest : public ::testing::TestWithParam<STextCase>
{};

TEST_P(BulkScheduleTextTest, ComposesTheScheduleText)
{
    const STextCase &c = GetParam();
    EXPECT_EQ(BulkScheduleText(c.config, c.supportMode), QString::fromUtf8(c.expected));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, BulkScheduleTextTest,
    ::testing::Values(
        STextCase{"WeeklyMondayThursday", Weekly({Thu, Mon}), false,
                  "【開始時刻：03時】　【繰り返し：毎週 月、木曜日】"},
        STextCase{"WeeklySundayComesLast", Weekly({Sun, Tue, Sat}, 22), false,
                  "【開始時刻：22時】　【繰り返し：毎週 火、土、日曜日】"},
        STextCase{"WeeklyWithoutDay", Weekly({}), false, "【開始時刻：03時】　【繰り返し：毎週】"},
        STextCase{"MonthlyLastDay", Monthly(Config::LastDayOfMonth, 1), false,
                  "【開始時刻：01時】　【繰り返し：毎月 末日】"},
        STextCase{"MonthlyPadsOneDigitDay", Monthly(5), false,
                  "【開始時刻：03時】　【繰り返し：毎月  5日】"},
        STextCase{"MonthlyTwoDigitDay", Monthly(25), false,
                  "【開始時刻：03時】　【繰り返し：毎月 25日】"},
        STextCase{"SupportModeShowsSeconds", Timer(3, 7, 9), true, "【開始時刻：03:07:09】"},
        STextCase{"SupportModeWithRepeat", Weekly({Fri}, 4, 30), true,
                  "【開始時刻：04:30:00】　【繰り返し：毎週 金曜日】"},
        STextCase{"HourOnlyOutsideSupportMode", Timer(3, 7, 9), false, "【開始時刻：03時】"},
        STextCase{"TimerOff", Off(Weekly({Mon})), true, ""}),
    [](const ::testing::TestParamInfo<STextCase> &info) { return info.param.name; });

struct SDueCase
{
    const char *name;
    Config config;
    const char *previous; // local time
    const char *now;
    bool due;
};

class BulkScheduleDueTest : public ::testing::TestWithParam<SDueCase>
{};

TEST_P(BulkScheduleDueTest, AnswersWhetherAStartLiesInTheInterval)
{
    const SDueCase &c = GetParam();
    EXPECT_EQ(IsScheduledBetween(c.config, At(c.previous), At(c.now)), c.due);
}

// 2024-03-04 is a Monday; 2024 is a leap year.
INSTANTIATE_TEST_SUITE_P(
    Cases, BulkScheduleDueTest,
    ::testing::Values(SDueCase{"TickBeforeAndAfterTheSecond", Timer(3), "2024-03-05T02:59:59.900",
                               "2024-03-05T03:00:01.100", true},
                      SDueCase{"NextTickDoesNotFireAgain", Timer(3), "2024-03-05T03:00:01.100",
                               "2024-03-05T03:00:02.100", false},
                      SDueCase{"PreviousExactlyAtStart", Timer(3), "2024-03-05T03:00:00.000",
                               "2024-03-05T03:00:01.000", false},
                      SDueCase{"NowExactlyAtStart", Timer(3), "2024-03-05T02:59:59.000",
                               "2024-03-05T03:00:00.000", true},
                      SDueCase{"BeforeTheStart", Timer(3), "2024-03-05T02:59:58.000",
                               "2024-03-05T02:59:59.999", false},
                      SDueCase{"SecondsCount", Timer(3, 15, 30), "2024-03-05T03:15:29.500",
                               "2024-03-05T03:15:30.500", true},
                      SDueCase{"SecondsCountBefore", Timer(3, 15, 30), "2024-03-05T03:15:28.500",
                               "2024-03-05T03:15:29.500", false},
                      SDueCase{"EmptyInterval", Timer(3), "2024-03-05T03:00:00.000",
                               "2024-03-05T03:00:00.000", false},
                      SDueCase{"BackwardsInterval", Timer(3), "2024-03-05T03:00:01.000",
                               "2024-03-05T02:59:59.000", false},
                      SDueCase{"TimerOff", Off(Timer(3)), "2024-03-05T02:59:59.900",
                               "2024-03-05T03:00:01.100", false},
                      SDueCase{"AcrossMidnightStartOnLaterDay", Timer(0), "2024-03-04T23:59:59.500",
                               "2024-03-05T00:00:00.500", true},
                      SDueCase{"AcrossMidnightStartOnEarlierDay", Timer(23, 59, 59),
                               "2024-03-04T23:59:58.900", "2024-03-05T00:00:00.100", true},
                      SDueCase{"AcrossMidnightWeeklyDayBefore", Weekly({Mon}, 23, 30),
                               "2024-03-04T23:00:00", "2024-03-05T01:00:00", true},
                      SDueCase{"AcrossMidnightWeeklyOtherDay", Weekly({Tue}, 23, 30),
                               "2024-03-04T23:00:00", "2024-03-05T01:00:00", false},
                      SDueCase{"LongSleepStillSeesTheStart", Timer(3), "2024-02-01T04:00:00",
                               "2024-03-05T02:00:00", true},
                      SDueCase{"WeeklyMonday", Weekly({Mon, Thu}), "2024-03-04T02:59:59.900",
                               "2024-03-04T03:00:01.100", true},
                      SDueCase{"WeeklyThursday", Weekly({Mon, Thu}), "2024-03-07T02:59:59.900",
                               "2024-03-07T03:00:01.100", true},
                      SDueCase{"WeeklyTuesdayNot", Weekly({Mon, Thu}), "2024-03-05T02:59:59.900",
                               "2024-03-05T03:00:01.100", false},
                      SDueCase{"WeeklySundayNot", Weekly({Mon, Thu}), "2024-03-10T02:59:59.900",
                               "2024-03-10T03:00:01.100", false},
                      SDueCase{"WeeklySunday", Weekly({Sun}), "2024-03-10T02:59:59.900",
                               "2024-03-10T03:00:01.100", true},
                      SDueCase{"WeeklySaturday", Weekly({Sat}), "2024-03-09T02:59:59.900",
                               "2024-03-09T03:00:01.100", true},
                      SDueCase{"WeeklyWithoutDay", Weekly({}), "2024-03-04T00:00:00",
                               "2024-03-11T00:00:00", false},
                      SDueCase{"LastDayLeapYear", Monthly(Config::LastDayOfMonth),
                               "2024-02-29T02:59:59.900", "2024-02-29T03:00:01.100", true},
                      SDueCase{"LastDayCommonYear", Monthly(Config::LastDayOfMonth),
                               "2025-02-28T02:59:59.900", "2025-02-28T03:00:01.100", true},
                      SDueCase{"LastDayNotTheDayBeforeInLeapYear", Monthly(Config::LastDayOfMonth),
                               "2024-02-28T02:59:59.900", "2024-02-28T03:00:01.100", false},
                      SDueCase{"LastDayOfApril", Monthly(Config::LastDayOfMonth),
                               "2024-04-30T02:59:59.900", "2024-04-30T03:00:01.100", true},
                      SDueCase{"LastDayOfDecember", Monthly(Config::LastDayOfMonth),
                               "2024-12-31T02:59:59.900", "2024-12-31T03:00:01.100", true},
                      SDueCase{"DayOfMonth", Monthly(15), "2024-03-15T02:59:59.900",
                               "2024-03-15T03:00:01.100", true},
                      SDueCase{"OtherDayOfMonth", Monthly(15), "2024-03-14T02:59:59.900",
                               "2024-03-14T03:00:01.100", false},
                      SDueCase{"DayThirtyOneInMarch", Monthly(31), "2024-03-31T02:00:00",
                               "2024-04-01T04:00:00", true},
                      SDueCase{"DayThirtyOneMissingInApril", Monthly(31), "2024-04-30T02:00:00",
                               "2024-05-01T04:00:00", false},
                      SDueCase{"DayThirtyMissingInFebruary", Monthly(30), "2024-02-28T00:00:00",
                               "2024-03-01T23:00:00", false}),
    [](const ::testing::TestParamInfo<SDueCase> &info) { return info.param.name; });

class BulkScheduleTickTest : public ::testing::TestWithParam<int>
{};

// A timer that ticks about once a second, late or early, still starts the run exactly once.
TEST_P(BulkScheduleTickTest, FiresOncePerStartWhateverTheTickLength)
{
    const int stepMs = GetParam();
    const Config config = Timer(0, 0, 0);
    QDateTime previous = At("2024-03-04T23:59:50.000").addMSecs(stepMs / 3);
    const QDateTime end = At("2024-03-05T00:00:10.000");
    int fired = 0;
    while (previous < end) {
        const QDateTime now = previous.addMSecs(stepMs);
        if (IsScheduledBetween(config, previous, now))
            ++fired;
        previous = now;
    }
    EXPECT_EQ(fired, 1);
}

INSTANTIATE_TEST_SUITE_P(TickLengths, BulkScheduleTickTest,
                         ::testing::Values(250, 999, 1000, 1001, 1100, 1999, 3000));
