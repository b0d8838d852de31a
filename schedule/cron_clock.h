// Where CronParser reads "now": the system clock, unless a test has fixed it.
#ifndef ORN2_SCHEDULE_CRON_CLOCK_H
#define ORN2_SCHEDULE_CRON_CLOCK_H

#include <cstdint>

namespace orn2::schedule {

// Seconds since 1970-01-01 00:00:00 UTC.
int64_t CronNow();

// Makes CronNow return the given instant until ClearCronNowForTesting.
void SetCronNowForTesting(int64_t seconds);
void ClearCronNowForTesting();

}  // namespace orn2::schedule

#endif  // ORN2_SCHEDULE_CRON_CLOCK_H
