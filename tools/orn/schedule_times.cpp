#include "tools/orn/schedule_times.h"

#include <cstdio>
#include <ctime>

#include "port/clock.h"
#include "schedule/cron_calendar.h"
#include "schedule/cron_fields.h"
#include "schedule/cron_search.h"

namespace orn {
namespace {

using orn2::schedule::CronSets;

constexpr size_t kFieldSize = 64;  // CronParser::kFieldSize
constexpr int kFieldCount = 5;
constexpr int64_t kSecondsPerDay = 86400;

// Splits the line as CronParser::parseline does and reads the values each
// field matches as getStartTime does (months 0-11, days of week 0-6).
bool ParseLine(const std::string& line, CronSets& sets) {
  char fields[kFieldCount][kFieldSize] = {};
  const char* position = line.c_str();
  for (char* field : fields) {
    position = orn2::schedule::ScanField(field, kFieldSize, position);
    if (position == nullptr) return false;
  }
  using orn2::schedule::MatchedValues;
  sets.minutes = MatchedValues(fields[0], 0, 59);
  sets.hours = static_cast<uint32_t>(MatchedValues(fields[1], 0, 23));
  sets.days = static_cast<uint32_t>(MatchedValues(fields[2], 1, 31));
  sets.months = static_cast<uint32_t>(MatchedValues(fields[3], 0, 11));
  sets.weekdays = static_cast<uint32_t>(MatchedValues(fields[4], 0, 6));
  return true;
}

}  // namespace

bool NextStartAfter(const std::string& line, int64_t now, int64_t& start) {
  CronSets sets;
  if (!ParseLine(line, sets)) return false;
  return orn2::schedule::FindNextStart(sets, now + 60, &start);
}

int64_t CurrentTime() { return orn2::port::NowSeconds(); }

int64_t WidenStart(unsigned long low32, int64_t notBefore) {
  const uint32_t distance = static_cast<uint32_t>(low32) - static_cast<uint32_t>(notBefore);
  return notBefore + distance;
}

uint32_t DaysWithStarts(const std::string& line, int year, int month) {
  CronSets sets;
  if (!ParseLine(line, sets)) return 0;
  // Only starts in the asked month count; each day found is then taken out of
  // the day set, so that the next search goes straight to another day, and no
  // more than 31 searches are needed.
  sets.months &= 1u << (month - 1);
  // Two days before the month begins in UTC lies before its first local
  // minute in every time zone.
  int64_t from =
      orn2::schedule::DaysFromCivil(year, month, 1) * kSecondsPerDay - 2 * kSecondsPerDay;
  if (from < orn2::schedule::kFirstSearchInstant) from = orn2::schedule::kFirstSearchInstant;
  uint32_t due = 0;
  int64_t found = 0;
  while (orn2::schedule::FindNextStart(sets, from, &found)) {
    std::tm local;
    if (!orn2::port::LocalTime(found, &local) || local.tm_year + 1900 != year) break;
    due |= 1u << local.tm_mday;
    sets.days &= ~(1u << local.tm_mday);
    from = found + 60;
  }
  return due;
}

std::string FormatLocalTime(int64_t seconds) {
  std::tm local;
  if (!orn2::port::LocalTime(seconds, &local)) return "?";
  // The offset is the local calendar time read as if it were UTC, less the
  // instant itself (which is what the UTC calendar time reads as): computed
  // here rather than taken from strftime's %z, which the Windows runtime
  // fills with a zone name instead of an offset.
  const int64_t offset = orn2::schedule::LinearSeconds(local) - seconds;
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
  if (!orn2::port::LocalTime(orn2::port::NowSeconds(), &local)) return false;
  year = local.tm_year + 1900;
  month = local.tm_mon + 1;
  return true;
}

}  // namespace orn
