#include "orn/cron_calendar_view.h"

#include <cstdio>

#include "orn/schedule_times.h"

namespace orn {
namespace {

constexpr int kCellWidth = 4;
constexpr int kGridWidth = 7 * kCellWidth;
const char* const kMonthNames[12] = {"January",   "February", "March",    "April",
                                     "May",       "June",     "July",     "August",
                                     "September", "October",  "November", "December"};

void EndLine(std::string& text) {
  while (!text.empty() && text.back() == ' ') text.pop_back();
  text += '\n';
}

}  // namespace

std::string MonthGrid(int year, int month, uint32_t marked) {
  const int64_t firstDay = DaysFromCivil(year, month, 1);
  const int64_t nextFirst =
      month == 12 ? DaysFromCivil(year + 1, 1, 1) : DaysFromCivil(year, month + 1, 1);
  const int days = static_cast<int>(nextFirst - firstDay);
  // 1970-01-01 was a Thursday, day 4 of the week counted from Sunday.
  const int firstWeekday = static_cast<int>(((firstDay + 4) % 7 + 7) % 7);

  char title[64];
  std::snprintf(title, sizeof title, "%s %d", kMonthNames[month - 1], year);
  const int titleLength = static_cast<int>(std::string(title).size());
  std::string text(static_cast<size_t>((kGridWidth - titleLength) / 2), ' ');
  text += title;
  EndLine(text);
  text += " Su  Mo  Tu  We  Th  Fr  Sa";
  EndLine(text);

  std::string week(static_cast<size_t>(firstWeekday * kCellWidth), ' ');
  for (int day = 1; day <= days; ++day) {
    char cell[16];
    const bool due = (marked >> day) & 1u;
    if (due)
      std::snprintf(cell, sizeof cell, day < 10 ? " [%d]" : "[%d]", day);
    else
      std::snprintf(cell, sizeof cell, " %2d ", day);
    week += cell;
    if ((firstWeekday + day) % 7 == 0 || day == days) {
      text += week;
      EndLine(text);
      week.clear();
    }
  }
  return text;
}

}  // namespace orn
