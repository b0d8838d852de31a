#include <liborn2/cron.h>

#include <cstdint>
#include <cstring>
#include <ctime>

#include "port/clock.h"
#include "schedule/cron_calendar.h"
#include "schedule/cron_clock.h"
#include "schedule/cron_fields.h"
#include "schedule/cron_search.h"

namespace {

using orn2::schedule::CronSets;
using orn2::schedule::MatchField;

constexpr int kMinute = 0;
constexpr int kHour = 1;
constexpr int kDayOfMonth = 2;
constexpr int kMonth = 3;
constexpr int kDayOfWeek = 4;

// The values each field matches. firstMonth is the number the field gives
// January: 0 for the next start, 1 for the last start.
CronSets MatchedSets(char* const* fields, int firstMonth) {
  using orn2::schedule::MatchedValues;
  CronSets sets;
  sets.minutes = MatchedValues(fields[kMinute], 0, 59);
  sets.hours = static_cast<uint32_t>(MatchedValues(fields[kHour], 0, 23));
  sets.days = static_cast<uint32_t>(MatchedValues(fields[kDayOfMonth], 1, 31));
  sets.months = static_cast<uint32_t>(MatchedValues(fields[kMonth], firstMonth, firstMonth + 11) >>
                                      firstMonth);
  sets.weekdays = static_cast<uint32_t>(MatchedValues(fields[kDayOfWeek], 0, 6));
  return sets;
}

// Results are handed out as the low 32 bits of the time.
unsigned long Low32(int64_t seconds) {
  return static_cast<unsigned long>(static_cast<uint32_t>(seconds));
}

}  // namespace

CronParser::CronParser()
    : minute_{},
      hour_{},
      dayOfMonth_{},
      month_{},
      dayOfWeek_{},
      fields_{minute_, hour_, dayOfMonth_, month_, dayOfWeek_} {}

CronParser::CronParser(const CronParser& other) : CronParser() { *this = other; }

CronParser& CronParser::operator=(const CronParser& other) {
  if (this != &other) {
    for (int i = 0; i < kFieldCount; ++i) memcpy(fields_[i], other.fields_[i], kFieldSize);
  }
  return *this;
}

char* CronParser::scanner(char* field, char* text) {
  // The line is the caller's own writable text; only positions in it come back.
  return const_cast<char*>(orn2::schedule::ScanField(field, kFieldSize, text));
}

int CronParser::match(char* field, int value) { return MatchField(field, value); }

int CronParser::chkToken(char* field, int low, int high) {
  return orn2::schedule::CheckField(field, low, high);
}

int CronParser::parseline(char* line) {
  if (line == nullptr) return 0;
  char* position = line;
  for (char* field : fields_) {
    position = scanner(field, position);
    if (position == nullptr) return 0;
  }
  return 1;
}

int CronParser::eval(char* line) {
  return parseline(line) && chkToken(minute_, 0, 59) && chkToken(hour_, 0, 23) &&
                 chkToken(dayOfMonth_, 1, 31) && chkToken(month_, 0, 11) &&
                 chkToken(dayOfWeek_, 0, 7)
             ? 1
             : 0;
}

int CronParser::evalToday(char* line) {
  std::tm today;
  if (!orn2::port::LocalTime(orn2::schedule::CronNow(), &today)) return 0;
  if (!parseline(line) || !chkToken(dayOfMonth_, 1, 31) || !chkToken(month_, 0, 11) ||
      !chkToken(dayOfWeek_, 0, 7))
    return 0;
  if (!match(dayOfMonth_, today.tm_mday) || !match(month_, today.tm_mon)) return 0;
  // Sunday is day 0 of the clock, and a day of week of 7 names it as well.
  if (today.tm_wday == 0) return match(dayOfWeek_, 0) || match(dayOfWeek_, 7) ? 1 : 0;
  return match(dayOfWeek_, today.tm_wday);
}

unsigned long CronParser::getStartTime(char* line) {
  return Low32(getStartTimeAfter(line, orn2::schedule::CronNow()));
}

long long CronParser::getStartTimeAfter(char* line, long long instant) {
  // Checked first so that adding the minute cannot overflow.
  if (instant < orn2::schedule::kFirstSearchInstant - 60 ||
      instant > orn2::schedule::kLastSearchInstant)
    return 0;
  // The first candidate is one minute on, with the second kept.
  const int64_t first = instant + 60;
  if (!parseline(line)) return 0;
  int64_t found = 0;
  if (!orn2::schedule::FindNextStart(MatchedSets(fields_, 0), first, &found)) return 0;
  return found;
}

unsigned long CronParser::getLastStartTime(char* line, int count) {
  const int64_t now = orn2::schedule::CronNow();
  if (count == 0 || !parseline(line)) return 0;
  // A negative count sets no bound: the search runs back to 1970.
  const int64_t lowest =
      count > 0 ? now - int64_t{count - 1} * 60 : orn2::schedule::kFirstSearchInstant;
  int64_t found = 0;
  if (!orn2::schedule::FindLastStart(MatchedSets(fields_, 1), now, lowest, &found)) return 0;
  return Low32(found);
}
