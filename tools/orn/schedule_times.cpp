#include "orn/schedule_times.h"

#include <liborn2/cron.h>

#include <cstdio>
#include <ctime>
#include <vector>

#include "common/local_time.h"

namespace orn {
namespace {

constexpr int64_t kSecondsPerDay = 86400;

// The local calendar time of an instant; false when the runtime has none.
bool ToLocal(int64_t seconds, std::tm& local) { return orn2::local_time::ToLocal(seconds, &local); }

// CronParser takes the line as a writable C string (and never changes it).
std::vector<char> Writable(const std::string& line) {
  std::vector<char> text(line.begin(), line.end());
  text.push_back('\0');
  return text;
}

}  // namespace

bool NextStartAfter(const std::string& line, int64_t now, int64_t& start) {
  std::vector<char> text = Writable(line);
  start = CronParser().getStartTimeAfter(text.data(), now);
  return start != 0;
}

int64_t CurrentTime() { return static_cast<int64_t>(std::time(nullptr)); }

int64_t DaysFromCivil(int64_t year, int month, int day) {
  // Years counted from March, so that the leap day ends its year.
  year -= month <= 2 ? 1 : 0;
  const int64_t era = (year >= 0 ? year : year - 399) / 400;
  const int64_t yearOfEra = year - era * 400;
  const int64_t dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  const int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
  return era * 146097 + dayOfEra - 719468;
}

uint32_t DaysWithStarts(const std::string& line, int year, int month) {
  std::vector<char> text = Writable(line);
  CronParser cron;
  const int days = static_cast<int>(
      (month == 12 ? DaysFromCivil(year + 1, 1, 1) : DaysFromCivil(year, month + 1, 1)) -
      DaysFromCivil(year, month, 1));
  uint32_t due = 0;
  // One search per day, from the day's first minute: the day has a start when
  // the first start from there falls on it.
  for (int day = 1; day <= days; ++day) {
    std::tm midnight{};
    midnight.tm_year = year - 1900;
    midnight.tm_mon = month - 1;
    midnight.tm_mday = day;
    midnight.tm_isdst = -1;
    // Where the runtime cannot place midnight (before 1970 on Windows), two
    // days before the UTC date lies before it in every zone.
    int64_t from = 0;
    if (!orn2::local_time::FromLocal(&midnight, &from))
      from = DaysFromCivil(year, month, day) * kSecondsPerDay - 2 * kSecondsPerDay;
    // Searches begin in 1970 at the earliest.
    if (from < 0) from = 0;
    long long start = cron.getStartTimeAfter(text.data(), from - 60);
    // A start at the very first second of 1970 reads as 0 as well; it is one
    // when a search from that second on finds another start.
    bool found = start != 0 || (from == 0 && cron.getStartTimeAfter(text.data(), 0) != 0);
    std::tm local;
    // Where a daylight-saving change moves midnight, the runtime may place it on
    // the day before: starts found there do not count for this day.
    while (found && ToLocal(start, local) &&
           DaysFromCivil(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday) <
               DaysFromCivil(year, month, day)) {
      start = cron.getStartTimeAfter(text.data(), start);
      found = start != 0;
    }
    if (found && ToLocal(start, local) && local.tm_year + 1900 == year &&
        local.tm_mon + 1 == month && local.tm_mday == day)
      due |= 1u << day;
  }
  return due;
}

std::string FormatLocalTime(int64_t seconds) {
  std::tm local;
  if (!ToLocal(seconds, local)) return "?";
  // The offset is the local calendar time read as if it were UTC, less the
  // instant itself (which is what the UTC calendar time reads as): computed
  // here rather than taken from strftime's %z, which the Windows runtime
  // fills with a zone name instead of an offset.
  const int64_t localSeconds =
      DaysFromCivil(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday) * kSecondsPerDay +
      local.tm_hour * 3600 + local.tm_min * 60 + local.tm_sec;
  const int64_t offset = localSeconds - seconds;
  const int64_t magnitude = offset < 0 ? -offset : offset;
  char text[48];
  std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d%c%02d:%02d", local.tm_year + 1900,
                local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec,
                offset < 0 ? '-' : '+', static_cast<int>(magnitude / 3600),
                static_cast<int>(magnitude / 60 % 60));
  return text;
}

bool CurrentMonth(int& year, int& month) {
  std::tm local;
  if (!ToLocal(CurrentTime(), local)) return false;
  year = local.tm_year + 1900;
  month = local.tm_mon + 1;
  return true;
}

}  // namespace orn
