#include "support/cron_reference.h"

#include <liborn2/cron.h>

#include <ctime>

#include "port/clock.h"
#include "schedule/cron_fields.h"

namespace orn2::testing {

int64_t Utc(int year, int month, int day, int hour, int minute, int second) {
  static const int kMonthDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  auto leap = [](int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; };
  int64_t days = day - 1;
  for (int y = 1970; y < year; ++y) days += leap(y) ? 366 : 365;
  for (int m = 1; m < month; ++m) days += kMonthDays[m - 1] + (m == 2 && leap(year) ? 1 : 0);
  return days * 86400 + hour * 3600 + minute * 60 + second;
}

bool DaylightSavingAt(int64_t t) {
  std::tm tm;
  return port::LocalTime(t, &tm) && tm.tm_isdst > 0;
}

int64_t CronReference(const std::string& line, int64_t first, int64_t step, int64_t steps,
                      int firstMonth) {
  using schedule::MatchField;
  for (int64_t t = first; steps-- > 0; t += step) {
    std::tm tm;
    if (!port::LocalTime(t, &tm)) return 0;
    char f[5][CronParser::kFieldSize];
    const char* at = line.c_str();
    for (auto& field : f) at = at ? schedule::ScanField(field, sizeof field, at) : nullptr;
    if (at && MatchField(f[0], tm.tm_min) && MatchField(f[1], tm.tm_hour) &&
        MatchField(f[2], tm.tm_mday) && MatchField(f[3], tm.tm_mon + firstMonth) &&
        MatchField(f[4], tm.tm_wday))
      return t;
  }
  return -1;
}

}  // namespace orn2::testing
