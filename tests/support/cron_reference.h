// CronParser's tests and benchmark: UTC dates as seconds, a zone and "now" set
// for one test, and the minute-by-minute definition the fast searches replace.
#ifndef ORN2_TESTS_SUPPORT_CRON_REFERENCE_H
#define ORN2_TESTS_SUPPORT_CRON_REFERENCE_H

#include <cstdint>
#include <string>

#include "schedule/cron_clock.h"
#include "support/system.h"

namespace orn2::testing {

// Seconds since the epoch of a UTC date and time (month 1-12).
int64_t Utc(int year, int month, int day, int hour = 0, int minute = 0, int second = 0);

// True when the local time at `t` is daylight-saving time.
bool DaylightSavingAt(int64_t t);

// Fixes the zone (and, through Set, CronParser's "now") for one test and
// restores both afterwards.
struct CronClock {
  explicit CronClock(const char* tz) { SetTimeZone(tz); }
  ~CronClock() {
    schedule::ClearCronNowForTesting();
    SetTimeZone(nullptr);
  }
  CronClock(const CronClock&) = delete;
  CronClock& operator=(const CronClock&) = delete;
  void Set(int64_t now) { schedule::SetCronNowForTesting(now); }
};

// The definition of a search: the candidates first, first + step ... (at most
// `steps` of them) in local time, the line parsed afresh for each, months
// counted from firstMonth. -1 when none of the candidates matches, 0 when a
// candidate has no local time.
int64_t CronReference(const std::string& line, int64_t first, int64_t step, int64_t steps,
                      int firstMonth);

}  // namespace orn2::testing

#endif  // ORN2_TESTS_SUPPORT_CRON_REFERENCE_H
