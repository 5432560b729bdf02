#pragma once

#include "store/Record.h"

#include <QDateTime>
#include <QString>

#include <array>

// The bulk download settings of one user (bulkDownload.vqr): where runs go, how their
// folders are named and when the timer starts them.
class CBulkDownloadConfigRecord : public CRecord
{
public:
    enum RepeatKind { Monthly = 1, Weekly = 2 };
    static constexpr qint32 LastDayOfMonth = 99;

    // An empty destination means "not set".
    bool IsEmpty() const override { return destinationRoot.isEmpty(); }
    // Back to the defaults.
    void Clear() override;
    // The text, then the 15 integers datedFolders … dayOfMonth and the seven weekdays.
    void Serialize(CBizArchiveWriter &writer) const override;
    void Deserialize(CBizArchiveReader &reader) override;

    // Field by field (the base has no comparison to default to).
    bool operator==(const CBulkDownloadConfigRecord &other) const;

    QString destinationRoot;
    qint32 datedFolders = 0; // 1: a run folder "%04d%02d%02d.vqr" per run date
    qint32 timerEnabled = 0;
    qint32 hour = 0;
    qint32 minute = 0;
    qint32 second = 0;
    qint32 repeat = 0;
    qint32 repeatKind = Monthly;
    qint32 dayOfMonth = 1;            // LastDayOfMonth: the last day of each month
    std::array<qint32, 7> weekdays{}; // Sunday … Saturday
};

// "【開始時刻：03時】　【繰り返し：毎週 月、木曜日】"; empty without the timer. supportMode shows
// minutes and seconds.
QString BulkScheduleText(const CBulkDownloadConfigRecord &config, bool supportMode);

// Whether a start time of the schedule lies in (previous, now]: a timer that ticks about once
// a second then fires exactly once per occurrence, also when a tick skips the exact second.
// Without repeat every day at the start time counts; weekly the flagged weekdays; monthly
// the day of the month (the last day, leap years counted, for LastDayOfMonth). Local times;
// previous not earlier than now answers false.
bool IsScheduledBetween(const CBulkDownloadConfigRecord &config, const QDateTime &previous,
                        const QDateTime &now);

// The hours of the local day in which the service forbids a bulk download: the user's two
// periods of the login answer ([from, to), see IsHourInForbiddenPeriod), copied so that the
// wait thread never reads the user record. The default forbids nothing.
struct SBulkForbiddenHours
{
    qint32 from1 = 0;
    qint32 to1 = 0;
    qint32 from2 = 0;
    qint32 to2 = 0;
    bool Forbids(const QDateTime &time) const;
};

// Whether the schedule starts a run now: a start time lies in (previous, now] and the hour
// of now is not forbidden. A start missed while the machine slept or skipped by a clock jump
// is made up when the machine is back, but never inside the forbidden hours: then it lapses
// and the next occurrence starts the run.
bool IsScheduledStart(const CBulkDownloadConfigRecord &config, const SBulkForbiddenHours &forbidden,
                      const QDateTime &previous, const QDateTime &now);
