// The month grid of 'orn cron calendar', laid out like cal(1).
#ifndef ORN_TOOLS_CRON_CALENDAR_VIEW_H
#define ORN_TOOLS_CRON_CALENDAR_VIEW_H

#include <cstdint>
#include <string>

namespace orn {

// The month (1-12) of the year as a title line, a line of weekday names from
// Sunday on, and one line per week; each day takes four columns, and a day
// whose bit is set in `marked` (bit d for day d) stands in brackets, "[15]" or
// " [5]", so that the grid reads without colour. Lines end without blanks.
std::string MonthGrid(int year, int month, uint32_t marked);

}  // namespace orn

#endif  // ORN_TOOLS_CRON_CALENDAR_VIEW_H
