// The schedule questions of 'orn cron' that go beyond the current minute, asked
// through CronParser's public interface, and local times printed with their UTC
// offset.
#ifndef ORN_TOOLS_SCHEDULE_TIMES_H
#define ORN_TOOLS_SCHEDULE_TIMES_H

#include <cstdint>
#include <string>

namespace orn {

// The start that CronParser::getStartTime returns when the clock reads `now`
// (CronParser::getStartTimeAfter): the first minute after the current one (the
// second kept) whose local time matches all five fields, months counted 0-11
// and days of week 0-6. False when the line does not parse or never falls due
// before the end of the year 3000.
bool NextStartAfter(const std::string& line, int64_t now, int64_t& start);

// Seconds since 1970 now.
int64_t CurrentTime();

// The days of a calendar month (year, month 1-12) on which the line has at
// least one start as NextStartAfter finds them, as bit d for day d.
uint32_t DaysWithStarts(const std::string& line, int year, int month);

// "2026-10-25T02:30:00+01:00": the local time of the process's time zone with
// the offset from UTC that applies at that instant, so that the two passes of
// a repeated hour differ. "?" when the instant has no local time.
std::string FormatLocalTime(int64_t seconds);

// The local year and month (1-12) of the current instant; false when the
// clock has no local time.
bool CurrentMonth(int& year, int& month);

// Days since 1970-01-01 of a date of the proleptic Gregorian calendar (month
// 1-12, day 1-31).
int64_t DaysFromCivil(int64_t year, int month, int day);

}  // namespace orn

#endif  // ORN_TOOLS_SCHEDULE_TIMES_H
