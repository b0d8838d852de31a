// The schedule questions that CronParser answers only against the current clock,
// asked here for any instant, and local times printed with their UTC offset.
//
// The tool compiles the library's own schedule search (schedule/ and the clock
// of port/) into itself, because the library's interface has no way to start a
// search anywhere but at the current minute. The code is the library's, so the
// answers are the library's: the tests compare them with CronParser.
#ifndef ORN_TOOLS_SCHEDULE_TIMES_H
#define ORN_TOOLS_SCHEDULE_TIMES_H

#include <cstdint>
#include <string>

namespace orn {

// The start that CronParser::getStartTime returns when the clock reads `now`:
// the first minute after the current one (the second kept) whose local time
// matches all five fields, months counted 0-11 and days of week 0-6. False when
// the line does not parse or never falls due before the end of the year 3000.
bool NextStartAfter(const std::string& line, int64_t now, int64_t& start);

// Seconds since 1970 now, from the clock that the library reads.
int64_t CurrentTime();

// getStartTime hands out the low 32 bits of a start. Starts of one line lie
// less than 2^32 seconds (136 years) apart, so the start is the first instant
// from `notBefore` on (the clock read before the call, plus 60) with those bits.
int64_t WidenStart(unsigned long low32, int64_t notBefore);

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

}  // namespace orn

#endif  // ORN_TOOLS_SCHEDULE_TIMES_H
