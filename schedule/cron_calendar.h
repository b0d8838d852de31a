// Calendar arithmetic for schedule searches: the values a line matches held as
// bit sets, and the next or previous matching minute of a clock that runs
// without daylight-saving changes.
#ifndef ORN2_SCHEDULE_CRON_CALENDAR_H
#define ORN2_SCHEDULE_CRON_CALENDAR_H

#include <cstdint>
#include <ctime>

namespace orn2::schedule {

// One bit per value that the line's field matches.
struct CronSets {
  uint64_t minutes = 0;   // bit m: minute m, 0-59
  uint32_t hours = 0;     // bit h: hour h, 0-23
  uint32_t days = 0;      // bit d: day of month d, 1-31
  uint32_t months = 0;    // bit m: calendar month m, 0 (January) to 11
  uint32_t weekdays = 0;  // bit w: day of week w, 0 (Sunday) to 6
};

// True when some date and time of the calendar matches all five sets (a day that
// no matching month has, such as 30 February, or an empty set make it false).
bool CanFallDue(const CronSets& sets);

bool MatchesTime(const CronSets& sets, const std::tm& local);

// Days since 1970-01-01 of a proleptic Gregorian date (month 1-12).
int64_t DaysFromCivil(int64_t year, int month, int day);

// The calendar fields of a local time as seconds counted like UTC ones.
int64_t LinearSeconds(const std::tm& local);

int64_t FloorDiv(int64_t a, int64_t b);

// Minutes are counted from 1970-01-01 00:00 of an unchanging clock. NextMatch
// finds the smallest matching minute after `from` and not after `limit`;
// PrevMatch the largest one before `from` and not before `limit`.
bool NextMatch(const CronSets& sets, int64_t from, int64_t limit, int64_t* found);
bool PrevMatch(const CronSets& sets, int64_t from, int64_t limit, int64_t* found);

}  // namespace orn2::schedule

#endif  // ORN2_SCHEDULE_CRON_CALENDAR_H
