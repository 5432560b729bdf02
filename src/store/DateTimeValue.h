#pragma once

#include <QDateTime>
#include <QString>

// The date-time value of every record: the automation date (days since 1899-12-30 00:00;
// the whole part counts days, the fraction is the time of day) with a status.
//
// Negative values count the days back from 1899-12-30, while the fraction is still the time
// of that day: -1.25 is 1899-12-29 06:00. Values split into calendar fields from
// 0100-01-01 (-657434) to 9999-12-31 23:59:59 (2958465.99999); the time is rounded to the
// nearest second. Outside that range (or for NaN) the value cannot be split.
//
// A valid value of exactly 0.0 means "no date set": FormatDate/FormatDateTime give the
// empty text for it.
class CDateTimeValue
{
public:
    enum Status { Valid = 0, Invalid = 1, Null = 2 };

    CDateTimeValue() = default;
    constexpr CDateTimeValue(double v, int s = Valid)
        : value(v)
        , status(s)
    {}

    // From calendar fields (local time); invalid when a field is out of range.
    static CDateTimeValue FromFields(int year, int month, int day, int hour = 0, int minute = 0,
                                     int second = 0);
    // From a QDateTime, taken in local time; an invalid QDateTime gives status Invalid.
    static CDateTimeValue FromQDateTime(const QDateTime &dateTime);
    static CDateTimeValue Now();
    static CDateTimeValue NullValue() { return CDateTimeValue(0.0, Null); }

    bool isValid() const { return status == Valid; }
    bool isNull() const { return status == Null; }
    bool isZero() const { return value == 0.0; }

    // Local QDateTime; an invalid QDateTime when not valid or not splittable.
    QDateTime ToQDateTime() const;

    // Calendar fields; -1 when the status is not valid or the value cannot be split.
    int Year() const;
    int Month() const;
    int Day() const;
    int Hour() const;
    int Minute() const;
    int Second() const;
    int DayOfWeek() const; // 0 Sunday .. 6 Saturday, -1 as above
    int DayOfYear() const; // 1 .. 366, -1 as above

    // Fields of a splittable valid value; false otherwise.
    struct SFields
    {
        int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    };
    bool Split(SFields *fields) const;

    friend bool operator==(const CDateTimeValue &a, const CDateTimeValue &b)
    {
        return a.status == b.status && a.value == b.value;
    }

    double value = 0.0;
    int status = Valid;
};

// The automation date of calendar fields / the fields of an automation date, as above.
bool FieldsToAutomationDate(const CDateTimeValue::SFields &fields, double *value);
bool AutomationDateToFields(double value, CDateTimeValue::SFields *fields);

// Accepts the forms the service and the local files use: "2024/01/31 10:00:00",
// "2024/01/31 10:00", "2024/01/31", "2024-01-31T10:00:00" (optionally with fractional
// seconds), "2024-01-31 10:00:00", "2024-01-31"; one-digit month, day and hour are
// accepted. Surrounding white space is ignored.
// Empty text: 0.0, valid. Not a date: 0.0, invalid. A date form whose fields are out of
// range (2024/02/30, 25:00): -1.0, invalid.
CDateTimeValue ParseDateTime(const QString &text);

// strftime pattern applied to the fields: %Y %y %m %d %H %I %M %S %p %j %w %a %A %b %B
// %c %x %X %%, with the '#' flag dropping leading zeros (%#m). Unknown conversions are
// copied. Null gives the empty text; invalid or unsplittable gives "Invalid DateTime".
// The result is at most 256 characters.
QString FormatDateTimeValue(const CDateTimeValue &value, const QString &pattern);

// Empty for the value 0.0; otherwise "%y/%m/%d" (shortYear) or "%Y/%m/%d".
QString FormatDate(const CDateTimeValue &value, bool shortYear = false);
// Empty for the value 0.0; noSeconds: "%y/%m/%d %H:%M"; otherwise "%y/%m/%d %H:%M:%S"
// (shortYear) or "%Y/%m/%d %H:%M:%S".
QString FormatDateTime(const CDateTimeValue &value, bool shortYear = false, bool noSeconds = false);

// 1 when a is later, 0 when equal, -1 when earlier; compares the accessors' results, so a
// value that is not valid sorts before every valid one.
int CompareDate(const CDateTimeValue &a, const CDateTimeValue &b);
int CompareDateTime(const CDateTimeValue &a, const CDateTimeValue &b);
