#include "BulkDownloadConfig.h"

#include "account/UserRecord.h"
#include "core/OsUtils.h"
#include "store/Archive.h"

#include <QDate>
#include <QTime>

namespace {

// Weekday flags are stored Sunday first; the schedule text lists Monday first.
constexpr int kTextDayOrder[7] = {1, 2, 3, 4, 5, 6, 0};
constexpr char16_t kDayNames[7] = {u'日', u'月', u'火', u'水', u'木', u'金', u'土'};

// A sleeping machine may wake after weeks: only the recent past can still start a run.
constexpr qint64 kMaxLookBackDays = 62;

bool OccursOn(const CBulkDownloadConfigRecord &config, const QDate &date)
{
    if (!config.repeat)
        return true;
    switch (config.repeatKind) {
    case CBulkDownloadConfigRecord::Weekly:
        // Qt counts Monday 1 … Sunday 7; the flags count Sunday 0 … Saturday 6.
        return config.weekdays[size_t(date.dayOfWeek() % 7)] != 0;
    case CBulkDownloadConfigRecord::Monthly:
        if (config.dayOfMonth == CBulkDownloadConfigRecord::LastDayOfMonth)
            return date.day() == DaysInMonth(date.year(), date.month());
        return date.day() == config.dayOfMonth;
    default:
        return false;
    }
}

} // namespace

void CBulkDownloadConfigRecord::Clear()
{
    *this = CBulkDownloadConfigRecord();
}

bool CBulkDownloadConfigRecord::operator==(const CBulkDownloadConfigRecord &other) const
{
    return destinationRoot == other.destinationRoot && datedFolders == other.datedFolders
           && timerEnabled == other.timerEnabled && hour == other.hour && minute == other.minute
           && second == other.second && repeat == other.repeat && repeatKind == other.repeatKind
           && dayOfMonth == other.dayOfMonth && weekdays == other.weekdays;
}

void CBulkDownloadConfigRecord::Serialize(CBizArchiveWriter &writer) const
{
    writer.WriteText(destinationRoot);
    for (qint32 value :
         {datedFolders, timerEnabled, hour, minute, second, repeat, repeatKind, dayOfMonth})
        writer.WriteInt32(value);
    for (qint32 flag : weekdays)
        writer.WriteInt32(flag);
}

void CBulkDownloadConfigRecord::Deserialize(CBizArchiveReader &reader)
{
    // Read into a copy so that a damaged file leaves the current settings untouched.
    CBulkDownloadConfigRecord read;
    read.destinationRoot = reader.ReadText();
    for (qint32 *field : {&read.datedFolders, &read.timerEnabled, &read.hour, &read.minute,
                          &read.second, &read.repeat, &read.repeatKind, &read.dayOfMonth})
        *field = reader.ReadInt32();
    for (qint32 &flag : read.weekdays)
        flag = reader.ReadInt32();
    *this = read;
}

QString BulkScheduleText(const CBulkDownloadConfigRecord &config, bool supportMode)
{
    if (!config.timerEnabled)
        return {};
    QString text = supportMode ? QString::asprintf("【開始時刻：%02d:%02d:%02d】", config.hour,
                                                   config.minute, config.second)
                               : QString::asprintf("【開始時刻：%02d時】", config.hour);
    if (!config.repeat)
        return text;
    text += u"　【繰り返し：";
    if (config.repeatKind == CBulkDownloadConfigRecord::Monthly) {
        if (config.dayOfMonth == CBulkDownloadConfigRecord::LastDayOfMonth)
            text += u"毎月 末日";
        else
            text += QString::asprintf("毎月 %2d日", config.dayOfMonth);
    } else if (config.repeatKind == CBulkDownloadConfigRecord::Weekly) {
        text += u"毎週";
        bool first = true;
        for (int day : kTextDayOrder) {
            if (!config.weekdays[size_t(day)])
                continue;
            text += first ? u' ' : u'、';
            text += QChar(kDayNames[day]);
            first = false;
        }
        if (!first)
            text += u"曜日";
    }
    text += u'】';
    return text;
}

bool IsScheduledBetween(const CBulkDownloadConfigRecord &config, const QDateTime &previous,
                        const QDateTime &now)
{
    if (!config.timerEnabled || !previous.isValid() || !now.isValid() || previous >= now)
        return false;
    const QTime startTime(config.hour, config.minute, config.second);
    if (!startTime.isValid())
        return false;
    const QDateTime from = previous.toLocalTime();
    const QDateTime to = now.toLocalTime();
    const QDate last = to.date();
    QDate date = std::max(from.date(), last.addDays(-kMaxLookBackDays));
    for (; date <= last; date = date.addDays(1)) {
        if (!OccursOn(config, date))
            continue;
        const QDateTime start(date, startTime, Qt::LocalTime);
        if (start.isValid() && start > from && start <= to)
            return true;
    }
    return false;
}

bool SBulkForbiddenHours::Forbids(const QDateTime &time) const
{
    const int hour = time.toLocalTime().time().hour();
    return IsHourInForbiddenPeriod(hour, from1, to1) || IsHourInForbiddenPeriod(hour, from2, to2);
}

bool IsScheduledStart(const CBulkDownloadConfigRecord &config, const SBulkForbiddenHours &forbidden,
                      const QDateTime &previous, const QDateTime &now)
{
    return IsScheduledBetween(config, previous, now) && !forbidden.Forbids(now);
}
