// The time searches of CronParser: the first matching minute from a start
// instant on, or the last one back to a lower bound, over the local clock.
#ifndef ORN2_SCHEDULE_CRON_SEARCH_H
#define ORN2_SCHEDULE_CRON_SEARCH_H

#include <cstdint>

#include "schedule/cron_calendar.h"

namespace orn2::schedule {

// The searched instants: from 1970-01-01 00:00:00 UTC to 3000-12-31 23:59:59
// UTC, the range of the Windows runtime's local-time conversion.
constexpr int64_t kFirstSearchInstant = 0;
constexpr int64_t kLastSearchInstant = 32535215999;

// The candidates are first, first + 60, first + 120 ...; the result is the first
// one whose local time matches the sets. False when none does up to the end of
// the searched range or when a local-time conversion fails.
bool FindNextStart(const CronSets& sets, int64_t first, int64_t* found);

// The candidates are last, last - 60, ... down to `lowest`; the result is the
// first one whose local time matches the sets.
bool FindLastStart(const CronSets& sets, int64_t last, int64_t lowest, int64_t* found);

}  // namespace orn2::schedule

#endif  // ORN2_SCHEDULE_CRON_SEARCH_H
