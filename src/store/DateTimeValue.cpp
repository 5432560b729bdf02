#include "DateTimeValue.h"

#include <QDate>
#include <QTime>

#include <cmath>

namespace {

constexpr qint64 JulianDayOfEpoch = 2415019;           // 1899-12-30
constexpr double MinAutomationDate = -657434.0;        // 0100-01-01
constexpr double MaxAutomationDate = 2958465.99999999; // 9999-12-31 23:59:59.999...
constexpr int SecondsPerDay = 86400;

const QString &InvalidText()
{
    static const QString text = QStringLiteral("Invalid DateTime");
    return text;
}

} // namespace

bool AutomationDateToFields(double value, CDateTimeValue::SFields *fields)
{
    // Also false for NaN: every comparison with it fails.
    if (!(value >= MinAutomationDate && value <= MaxAutomationDate))
        return false;
    double wholePart = 0.0;
    const double fraction = std::fabs(std::modf(value, &wholePart));
    qint64 days = qint64(wholePart);
    qint64 seconds = std::llround(fraction * SecondsPerDay);
    if (seconds >= SecondsPerDay) { // rounded up to the next midnight
        seconds -= SecondsPerDay;
        ++days;
    }
    const QDate date = QDate::fromJulianDay(JulianDayOfEpoch + days);
    if (!date.isValid() || date.year() > 9999 || date.year() < 100)
        return false;
    if (fields) {
        fields->year = date.year();
        fields->month = date.month();
        fields->day = date.day();
        fields->hour = int(seconds / 3600);
        fields->minute = int(seconds / 60 % 60);
        fields->second = int(seconds % 60);
    }
    return true;
}

bool FieldsToAutomationDate(const CDateTimeValue::SFields &f, double *value)
{
    if (f.year < 100 || f.year > 9999 || f.hour < 0 || f.hour > 23 || f.minute < 0 || f.minute > 59
        || f.second < 0 || f.second > 59)
        return false;
    const QDate date(f.year, f.month, f.day);
    if (!date.isValid())
        return false;
    const qint64 days = date.toJulianDay() - JulianDayOfEpoch;
    const double fraction = double(f.hour * 3600 + f.minute * 60 + f.second) / SecondsPerDay;
    // Before the epoch the fraction still runs forward within the day: 1899-12-29 06:00 is
    // -1.25, not -0.75.
    const double result = days >= 0 ? double(days) + fraction : double(days) - fraction;
    if (value)
        *value = result;
    return true;
}

CDateTimeValue CDateTimeValue::FromFields(int year, int month, int day, int hour, int minute,
                                          int second)
{
    double v = 0.0;
    if (!FieldsToAutomationDate({year, month, day, hour, minute, second}, &v))
        return CDateTimeValue(0.0, Invalid);
    return CDateTimeValue(v, Valid);
}

CDateTimeValue CDateTimeValue::FromQDateTime(const QDateTime &dateTime)
{
    if (!dateTime.isValid())
        return CDateTimeValue(0.0, Invalid);
    const QDateTime local = dateTime.toLocalTime();
    const QDate d = local.date();
    const QTime t = local.time();
    return FromFields(d.year(), d.month(), d.day(), t.hour(), t.minute(), t.second());
}

CDateTimeValue CDateTimeValue::Now()
{
    return FromQDateTime(QDateTime::currentDateTime());
}

bool CDateTimeValue::Split(SFields *fields) const
{
    return status == Valid && AutomationDateToFields(value, fields);
}

QDateTime CDateTimeValue::ToQDateTime() const
{
    SFields f;
    if (!Split(&f))
        return {};
    return QDateTime(QDate(f.year, f.month, f.day), QTime(f.hour, f.minute, f.second),
                     Qt::LocalTime);
}

int CDateTimeValue::Year() const
{
    SFields f;
    return Split(&f) ? f.year : -1;
}

int CDateTimeValue::Month() const
{
    SFields f;
    return Split(&f) ? f.month : -1;
}

int CDateTimeValue::Day() const
{
    SFields f;
    return Split(&f) ? f.day : -1;
}

int CDateTimeValue::Hour() const
{
    SFields f;
    return Split(&f) ? f.hour : -1;
}

int CDateTimeValue::Minute() const
{
    SFields f;
    return Split(&f) ? f.minute : -1;
}

int CDateTimeValue::Second() const
{
    SFields f;
    return Split(&f) ? f.second : -1;
}

int CDateTimeValue::DayOfWeek() const
{
    SFields f;
    return Split(&f) ? QDate(f.year, f.month, f.day).dayOfWeek() % 7 : -1;
}

int CDateTimeValue::DayOfYear() const
{
    SFields f;
    return Split(&f) ? QDate(f.year, f.month, f.day).dayOfYear() : -1;
}

namespace {

// Reads 1..maxDigits decimal digits at *pos.
bool ReadNumber(const QString &s, qsizetype *pos, int minDigits, int maxDigits, int *out)
{
    int value = 0;
    int digits = 0;
    while (*pos < s.size() && digits < maxDigits && s[*pos] >= u'0' && s[*pos] <= u'9') {
        value = value * 10 + (s[*pos].unicode() - '0');
        ++*pos;
        ++digits;
    }
    if (digits < minDigits)
        return false;
    *out = value;
    return true;
}

bool Expect(const QString &s, qsizetype *pos, QChar c)
{
    if (*pos < s.size() && s[*pos] == c) {
        ++*pos;
        return true;
    }
    return false;
}

} // namespace

CDateTimeValue ParseDateTime(const QString &input)
{
    const QString text = input.trimmed();
    if (text.isEmpty())
        return CDateTimeValue(0.0, CDateTimeValue::Valid);
    const CDateTimeValue notADate(0.0, CDateTimeValue::Invalid);

    CDateTimeValue::SFields f;
    qsizetype pos = 0;
    if (!ReadNumber(text, &pos, 4, 4, &f.year))
        return notADate;
    const QChar dateSep = pos < text.size() ? text[pos] : QChar();
    if (dateSep != u'/' && dateSep != u'-')
        return notADate;
    ++pos;
    if (!ReadNumber(text, &pos, 1, 2, &f.month) || !Expect(text, &pos, dateSep)
        || !ReadNumber(text, &pos, 1, 2, &f.day))
        return notADate;
    if (pos < text.size()) {
        if (!Expect(text, &pos, u'T') && !Expect(text, &pos, u' '))
            return notADate;
        while (pos < text.size() && text[pos] == u' ')
            ++pos;
        if (!ReadNumber(text, &pos, 1, 2, &f.hour) || !Expect(text, &pos, u':')
            || !ReadNumber(text, &pos, 2, 2, &f.minute))
            return notADate;
        if (Expect(text, &pos, u':')) {
            if (!ReadNumber(text, &pos, 2, 2, &f.second))
                return notADate;
            // Fractions of a second are dropped (the value keeps whole seconds).
            if (Expect(text, &pos, u'.')) {
                int ignored = 0;
                if (!ReadNumber(text, &pos, 1, 9, &ignored))
                    return notADate;
            }
        }
        if (pos != text.size())
            return notADate;
    }
    double value = 0.0;
    if (!FieldsToAutomationDate(f, &value))
        return CDateTimeValue(-1.0, CDateTimeValue::Invalid);
    return CDateTimeValue(value, CDateTimeValue::Valid);
}

QString FormatDateTimeValue(const CDateTimeValue &value, const QString &pattern)
{
    if (value.status == CDateTimeValue::Null)
        return {};
    CDateTimeValue::SFields f;
    if (!value.Split(&f))
        return InvalidText();

    static const char *const weekdays[]
        = {"Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday"};
    static const char *const months[]
        = {"January", "February", "March",     "April",   "May",      "June",
           "July",    "August",   "September", "October", "November", "December"};
    const QDate date(f.year, f.month, f.day);
    const int weekday = date.dayOfWeek() % 7;
    const int hour12 = f.hour % 12 == 0 ? 12 : f.hour % 12;

    QString out;
    for (qsizetype i = 0; i < pattern.size(); ++i) {
        const QChar c = pattern[i];
        if (c != u'%' || i + 1 >= pattern.size()) {
            out += c;
            continue;
        }
        qsizetype j = i + 1;
        const bool noPad = pattern[j] == u'#';
        if (noPad && j + 1 < pattern.size())
            ++j;
        auto num = [noPad](int v, int width) {
            return noPad ? QString::number(v)
                         : QStringLiteral("%1").arg(v, width, 10, QLatin1Char('0'));
        };
        const char16_t conv = pattern[j].unicode();
        QString piece;
        switch (conv) {
        case 'Y':
            piece = num(f.year, 4);
            break;
        case 'y':
            piece = num(f.year % 100, 2);
            break;
        case 'm':
            piece = num(f.month, 2);
            break;
        case 'd':
            piece = num(f.day, 2);
            break;
        case 'H':
            piece = num(f.hour, 2);
            break;
        case 'I':
            piece = num(hour12, 2);
            break;
        case 'M':
            piece = num(f.minute, 2);
            break;
        case 'S':
            piece = num(f.second, 2);
            break;
        case 'j':
            piece = num(date.dayOfYear(), 3);
            break;
        case 'w':
            piece = QString::number(weekday);
            break;
        case 'p':
            piece = f.hour < 12 ? QStringLiteral("AM") : QStringLiteral("PM");
            break;
        case 'a':
            piece = QString::fromLatin1(weekdays[weekday], 3);
            break;
        case 'A':
            piece = QString::fromLatin1(weekdays[weekday]);
            break;
        case 'b':
            piece = QString::fromLatin1(months[f.month - 1], 3);
            break;
        case 'B':
            piece = QString::fromLatin1(months[f.month - 1]);
            break;
        case 'x':
            piece = num(f.year, 4) + u'/' + num(f.month, 2) + u'/' + num(f.day, 2);
            break;
        case 'X':
            piece = num(f.hour, 2) + u':' + num(f.minute, 2) + u':' + num(f.second, 2);
            break;
        case 'c':
            piece = num(f.year, 4) + u'/' + num(f.month, 2) + u'/' + num(f.day, 2) + u' '
                    + num(f.hour, 2) + u':' + num(f.minute, 2) + u':' + num(f.second, 2);
            break;
        case '%':
            piece = QStringLiteral("%");
            break;
        default:
            piece = pattern.mid(i, j - i + 1); // unknown: copied as it is
            break;
        }
        out += piece;
        i = j;
    }
    if (out.size() > 256)
        out.truncate(256);
    return out;
}

QString FormatDate(const CDateTimeValue &value, bool shortYear)
{
    if (value.value == 0.0)
        return {};
    return FormatDateTimeValue(value,
                               shortYear ? QStringLiteral("%y/%m/%d") : QStringLiteral("%Y/%m/%d"));
}

QString FormatDateTime(const CDateTimeValue &value, bool shortYear, bool noSeconds)
{
    if (value.value == 0.0)
        return {};
    if (noSeconds)
        return FormatDateTimeValue(value, QStringLiteral("%y/%m/%d %H:%M"));
    return FormatDateTimeValue(value, shortYear ? QStringLiteral("%y/%m/%d %H:%M:%S")
                                                : QStringLiteral("%Y/%m/%d %H:%M:%S"));
}

namespace {

int Cmp(int a, int b)
{
    return a > b ? 1 : (a < b ? -1 : 0);
}

void FieldsOrUnset(const CDateTimeValue &v, CDateTimeValue::SFields *f)
{
    if (!v.Split(f))
        *f = {-1, -1, -1, -1, -1, -1};
}

int CompareDateFields(const CDateTimeValue::SFields &a, const CDateTimeValue::SFields &b)
{
    if (int c = Cmp(a.year, b.year))
        return c;
    if (int c = Cmp(a.month, b.month))
        return c;
    return Cmp(a.day, b.day);
}

} // namespace

int CompareDate(const CDateTimeValue &a, const CDateTimeValue &b)
{
    CDateTimeValue::SFields fa, fb;
    FieldsOrUnset(a, &fa);
    FieldsOrUnset(b, &fb);
    return CompareDateFields(fa, fb);
}

int CompareDateTime(const CDateTimeValue &a, const CDateTimeValue &b)
{
    CDateTimeValue::SFields fa, fb;
    FieldsOrUnset(a, &fa);
    FieldsOrUnset(b, &fb);
    if (int c = CompareDateFields(fa, fb))
        return c;
    if (int c = Cmp(fa.hour, fb.hour))
        return c;
    if (int c = Cmp(fa.minute, fb.minute))
        return c;
    return Cmp(fa.second, fb.second);
}
