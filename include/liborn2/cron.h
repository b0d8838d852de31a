// CronParser: five-field cron-style schedule lines checked and evaluated
// against the local clock.
#ifndef LIBORN2_CRON_H
#define LIBORN2_CRON_H

#include <liborn2/export.h>

/// Checks five-field cron-style schedule lines ("minute hour day-of-month month
/// day-of-week", e.g. `*/15 8-17 * * 1-5`) and evaluates them against the local
/// clock: is the line well formed, is it due today, when does it next fall due,
/// when did it last fall due within a look-back window.
///
/// Fields are separated by blanks (spaces or tabs); text after the fifth field
/// is ignored, but a line feed left on the line stays part of the fifth field
/// (which then never matches). Each field is a comma list of items: `A`, `*`,
/// `*/N`, `/N`, `A-B` or `A-B/N`; a step matches values divisible by N
/// (`1-10/3` gives 3, 6, 9). Names such as "mon" are not recognised. Results
/// are 1 or 0, or a time (0 for none); nothing is printed or thrown.
///
/// Thread contract: the line is passed again with every call and is never
/// modified; nothing but scratch text is kept between calls, so one object can
/// evaluate any number of lines in turn. Used by one thread at a time;
/// different objects may be used on different threads. The caller's own strtok
/// position is left alone.
class ORN2_API CronParser {
 public:
  /// A field holds at most kFieldSize - 1 characters; a longer field makes the
  /// whole line fail to parse.
  static constexpr int kFieldSize = 64;
  static constexpr int kFieldCount = 5;  ///< minute, hour, day of month, month, day of week

  /// Empty fields; no other state.
  CronParser();
  /// Copies the field texts; the field table always points at the object's own
  /// buffers.
  CronParser(const CronParser& other);
  /// Copies the field texts, as the copy constructor does.
  CronParser& operator=(const CronParser& other);

  /// 1 when the line holds five blank-separated fields, else 0 (a null line,
  /// fewer fields, or a field of kFieldSize characters or more).
  int parseline(char* line);
  /// 1 when the line parses and every field passes its syntax and range check
  /// (minute 0-59, hour 0-23, day 1-31, month 0-11, day of week 0-7), else 0.
  /// A field passes at its first star, step or range, so `5-10,99` passes while
  /// `99,5-10` and `10-5` fail; `*/0` and `*/` fail.
  int eval(char* line);
  /// 1 when the day of month, month (0-11) and day of week (0-7) are valid and
  /// match the current local date, else 0; a Sunday matches a day of week of 0
  /// or 7. Minute and hour play no part.
  int evalToday(char* line);
  /// The first minute after the current one whose local time matches all five
  /// fields (months 0-11, days of week 0-6, so 7 never matches), with the
  /// current second kept; the low 32 bits of the time. 0 when the line does not
  /// parse or does not fall due before the end of the year 3000.
  unsigned long getStartTime(char* line);
  /// The start that getStartTime would return if the clock read `instant`
  /// (seconds since 1970-01-01 00:00:00 UTC), as the full 64-bit time rather
  /// than its low 32 bits: the first minute after the one holding `instant`
  /// whose local time matches all five fields, the second of `instant` kept
  /// (months 0-11, days of week 0-6). The clock itself is not read, so a
  /// program can chain starts (each the first after the one before) or ask
  /// about any day. 0 when the line does not parse or does not fall due
  /// after `instant` before the end of the year 3000, and when `instant` + 60
  /// lies before 1970 (the searches cover 1970 to 3000 only); a start at
  /// 1970-01-01 00:00:00 UTC itself reads as 0 as well, as in getStartTime.
  long long getStartTimeAfter(char* line, long long instant);
  /// The latest minute among the current one and the count - 1 before it (the
  /// current second kept) whose local time matches all five fields, with months
  /// numbered 1-12 here and days of week 0-6; the low 32 bits of the time. 0 when
  /// none does, the line does not parse or count is 0; a negative count searches
  /// back to 1970.
  unsigned long getLastStartTime(char* line, int count);

 private:
  char* scanner(char* field, char* text);
  int match(char* field, int value);
  int chkToken(char* field, int low, int high);

  char minute_[kFieldSize];
  char hour_[kFieldSize];
  char dayOfMonth_[kFieldSize];
  char month_[kFieldSize];
  char dayOfWeek_[kFieldSize];
  char* fields_[kFieldCount];
};

#endif  // LIBORN2_CRON_H
