// CronParser checks five-field cron-style schedule lines ("minute hour
// day-of-month month day-of-week", e.g. "*/15 8-17 * * 1-5") and evaluates them
// against the local clock: is the line well formed, is it due today, when does
// it next fall due, when did it last fall due within a look-back window.
//
// The line is passed again with every call; nothing but scratch text is kept
// between calls, so one object can evaluate any number of lines in turn. Used by
// one thread at a time; different objects may be used on different threads.
#ifndef LIBORN2_CRON_H
#define LIBORN2_CRON_H

#include <liborn2/export.h>

class ORN2_API CronParser {
 public:
  // A field holds at most kFieldSize - 1 characters; a longer field makes the
  // whole line fail to parse.
  static const int kFieldSize = 64;
  static const int kFieldCount = 5;

  CronParser();
  // Copies the field texts; the field table always points at the object's own
  // buffers.
  CronParser(const CronParser& other);
  CronParser& operator=(const CronParser& other);

  // 1 when the line holds five blank-separated fields, else 0.
  int parseline(char* line);
  // 1 when the line parses and every field passes its syntax and range check.
  int eval(char* line);
  // 1 when the day of month, month and day of week are valid and match the
  // current local date; a Sunday matches a day of week of 0 or 7.
  int evalToday(char* line);
  // The first minute after the current one whose local time matches all five
  // fields (months 0-11, days of week 0-6), with the current second kept; the
  // low 32 bits of the time, or 0 when the line never falls due.
  unsigned long getStartTime(char* line);
  // The latest minute among the current one and the count - 1 before it whose
  // local time matches all five fields (months 1-12); 0 when none does.
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
