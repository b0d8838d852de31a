// CronParser against a clock that the tests set: the line syntax and its odd
// corners, the due-today test, and the next and last start times, in zones with
// and without daylight saving.
#include <gtest/gtest.h>
#include <liborn2/cron.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "port/clock.h"
#include "schedule/cron_clock.h"
#include "schedule/cron_fields.h"

namespace {

// Seconds since the epoch of a UTC date and time (month 1-12).
int64_t Utc(int year, int month, int day, int hour = 0, int minute = 0, int second = 0) {
  static const int kMonthDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  auto leap = [](int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; };
  int64_t days = 0;
  for (int y = 1970; y < year; ++y) days += leap(y) ? 366 : 365;
  for (int m = 1; m < month; ++m) days += kMonthDays[m - 1] + (m == 2 && leap(year) ? 1 : 0);
  days += day - 1;
  return days * 86400 + hour * 3600 + minute * 60 + second;
}

// Fixes the zone and "now" for one test and restores both afterwards.
class Clock {
 public:
  explicit Clock(const char* tz) { orn2::port::SetTimeZone(tz); }
  ~Clock() {
    orn2::schedule::ClearCronNowForTesting();
    orn2::port::SetTimeZone(nullptr);
  }
  void Set(int64_t now) { orn2::schedule::SetCronNowForTesting(now); }
};

// The public methods take writable lines; each call gets its own copy.
struct Line {
  explicit Line(const std::string& text) : buffer(text.begin(), text.end()) {
    buffer.push_back('\0');
  }
  char* get() { return buffer.data(); }
  std::vector<char> buffer;
};

int Eval(const std::string& line) { return CronParser().eval(Line(line).get()); }
int EvalToday(const std::string& line) { return CronParser().evalToday(Line(line).get()); }
unsigned long Next(const std::string& line) { return CronParser().getStartTime(Line(line).get()); }
unsigned long Last(const std::string& line, int count) {
  return CronParser().getLastStartTime(Line(line).get(), count);
}

unsigned long U32(int64_t t) { return static_cast<unsigned long>(static_cast<uint32_t>(t)); }

TEST(CronParse, FieldsAndLineEnds) {
  struct Case {
    const char* line;
    int parses;
    int valid;
  };
  const std::string long63 = "* * * * " + std::string(62, ',') + "1";
  const std::string long64 = "* * * * " + std::string(63, ',') + "1";
  const Case cases[] = {
      {"30 2 * * *", 1, 1},
      {"* * * *", 0, 0},
      {"", 0, 0},
      {"0 3 * * 1 backup --full", 1, 1},
      {"0\t3  *\t * 1", 1, 1},
      {"0 3 * * 1\n", 1, 1},
      {" 0 3 * *", 1, 1},  // an empty minute field, the rest shifted
      {" 0 3 *", 0, 0},
      {"* * * * 1 ", 1, 1},
      {long63.c_str(), 1, 1},
      {long64.c_str(), 0, 0},  // never cut: the line is refused
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    CronParser parser;
    EXPECT_EQ(parser.parseline(Line(c.line).get()), c.parses);
    EXPECT_EQ(parser.eval(Line(c.line).get()), c.valid);
  }
  EXPECT_EQ(CronParser().parseline(nullptr), 0);
  EXPECT_EQ(CronParser().eval(nullptr), 0);
}

TEST(CronEval, RangesAndValidatorQuirks) {
  struct Case {
    const char* line;
    int valid;
  };
  const Case cases[] = {
      {"59 23 31 11 7", 1},     {"0 0 1 0 0", 1},           {"60 * * * *", 0},
      {"* 24 * * *", 0},        {"* * 0 * *", 0},           {"* * 32 * *", 0},
      {"* * * 12 *", 0},        {"* * * * 8", 0},           {"* * * 0 *", 1},
      {"* * * * 7", 1},         {"1-10/3 * * * *", 1},      {"5-10,99 * * * *", 1},
      {"99,5-10 * * * *", 0},   {"10-5 * * * *", 0},        {"*/0 * * * *", 0},
      {"/0 * * * *", 0},        {"*/ * * * *", 0},          {"/ * * * *", 0},
      {"*/x * * * *", 0},       {"*/15 * * * *", 1},        {"/15 * * * *", 1},
      {"7/15 * * * *", 1},      {"* * * * mon", 1},         {"* * * jan *", 1},
      {"0-59/0 * * * *", 1},                            // a zero range step defers to later items
      {"0-59/0,99 * * * *", 0}, {"0-59/* * * * *", 1},  // a star after the range step is accepted
      {"0-60/5 * * * *", 0},    {"1-5x,99 * * * *", 0},     {"1-5x,7 * * * *", 1},
      {",,5,, * * * *", 1},     {"5x,99 * * * *", 0},       {"*x,99 * * * *", 0},
      {"*,99 * * * *", 1},      {"* * 1-31 0-11 0-7", 1},   {"* * * * 0-8", 0},
      {"* * 1-32 * *", 0},      {"99999999999 * * * *", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    EXPECT_EQ(Eval(c.line), c.valid);
  }
}

// Which minutes of an hour a minute field matches, seen through the last start
// time with a window of one minute (the current minute only).
std::vector<int> MinutesMatched(const std::string& field) {
  Clock clock("UTC0");
  std::vector<int> minutes;
  for (int m = 0; m < 60; ++m) {
    int64_t now = Utc(2024, 5, 14, 10, m, 30);
    clock.Set(now);
    unsigned long got = Last(field + " * * * *", 1);
    if (got != 0) {
      EXPECT_EQ(got, U32(now));
      minutes.push_back(m);
    }
  }
  return minutes;
}

TEST(CronMatch, ItemForms) {
  struct Case {
    const char* field;
    std::vector<int> minutes;
  };
  std::vector<int> every;
  for (int m = 0; m < 60; ++m) every.push_back(m);
  const Case cases[] = {
      {"1-10/3", {3, 6, 9}},  // the step tests the value itself
      {"5", {5}},
      {"5,7,,9,", {5, 7, 9}},
      {"*/15", {0, 15, 30, 45}},
      {"/20", {0, 20, 40}},
      {"7/20", {0, 20, 40}},
      {"3*", every},  // digits before a lone star are ignored
      {"50-", {}},
      {"58-59", {58, 59}},
      {"58-59x", {}},
      {"10-5,30", {}},  // a reversed range fails the whole field for values past its start
      {"30,10-5", {30}},
      {"10-20/0", {}},
      {"10-20/*", {}},
      {"*/0", {}},
      {"*/", {}},
      {"/0", {}},
      {"*x,4", {4}},
      {"5-10,99", {5, 6, 7, 8, 9, 10}},
      {"mon", {}},
      {"4.5", {}},
      {"-3", {0, 1, 2, 3}},
      {"99999999999", {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.field);
    EXPECT_EQ(MinutesMatched(c.field), c.minutes);
  }
}

TEST(CronMatch, FieldsNeverDivideByZero) {
  for (const char* field : {"*/0", "/0", "0-59/0", "0-59/*", "*/", "/", "3/0x"}) {
    SCOPED_TRACE(field);
    for (int v = 0; v < 60; ++v) EXPECT_EQ(orn2::schedule::MatchField(field, v), 0);
  }
}

TEST(CronEvalToday, DateFieldsAndSundays) {
  Clock clock("UTC0");
  // Monday 2024-06-10 to Sunday 2024-06-16, and the 1st of July (a Monday).
  struct Day {
    int month, day, weekday;
  };
  const Day days[] = {{6, 10, 1}, {6, 11, 2}, {6, 12, 3}, {6, 13, 4},
                      {6, 14, 5}, {6, 15, 6}, {6, 16, 0}, {7, 1, 1}};
  struct Case {
    const char* line;
    bool (*due)(const Day&);
  };
  const Case cases[] = {
      {"0 0 * * *", [](const Day&) { return true; }},
      {"0 0 * * 0", [](const Day& d) { return d.weekday == 0; }},
      {"0 0 * * 7", [](const Day& d) { return d.weekday == 0; }},
      {"0 0 * * 1-5", [](const Day& d) { return d.weekday >= 1 && d.weekday <= 5; }},
      {"0 0 * * 6-7", [](const Day& d) { return d.weekday == 6 || d.weekday == 0; }},
      {"0 0 1,15 * *", [](const Day& d) { return d.day == 1 || d.day == 15; }},
      {"0 0 * 5 *", [](const Day& d) { return d.month == 6; }},  // months count from 0
      {"0 0 * 6 *", [](const Day& d) { return d.month == 7; }},
      {"0 0 1 6 1", [](const Day& d) { return d.month == 7 && d.day == 1; }},
      {"0 0 16 * 1", [](const Day&) { return false; }},  // both must match
      {"99 99 * * *", [](const Day&) { return true; }},  // minute and hour play no part
      {"0 0 * * 8", [](const Day&) { return false; }},
      {"0 0 * 12 *", [](const Day&) { return false; }},
      {"0 0 0 * *", [](const Day&) { return false; }},
      {"0 0 * * mon", [](const Day&) { return false; }},
      {"0 0 * *", [](const Day&) { return false; }},
  };
  for (const Day& d : days) {
    clock.Set(Utc(2024, d.month, d.day, 23, 59, 59));
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(c.line) + " on " + std::to_string(d.month) + "/" +
                   std::to_string(d.day));
      EXPECT_EQ(EvalToday(c.line), c.due(d) ? 1 : 0);
    }
  }
}

TEST(CronEvalToday, FollowsTheLocalDate) {
  Clock clock("EST5EDT");
  // 2024-06-16 02:00 UTC is still Saturday the 15th in New York.
  clock.Set(Utc(2024, 6, 16, 2, 0, 0));
  EXPECT_EQ(EvalToday("* * 15 * 6"), 1);
  EXPECT_EQ(EvalToday("* * 16 * 0"), 0);
  clock.Set(Utc(2024, 6, 16, 5, 0, 0));
  EXPECT_EQ(EvalToday("* * 16 * 7"), 1);
}

struct StartCase {
  const char* tz;
  const char* line;
  int64_t now;
  int64_t expected;  // 0: never
};

void CheckStarts(const StartCase* cases, size_t n) {
  for (size_t i = 0; i < n; ++i) {
    const StartCase& c = cases[i];
    SCOPED_TRACE(std::string(c.tz) + " '" + c.line + "' at " + std::to_string(c.now));
    Clock clock(c.tz);
    clock.Set(c.now);
    EXPECT_EQ(Next(c.line), U32(c.expected));
  }
}

TEST(CronStartTime, NextMinuteStrictlyAfterNowWithTheSecondKept) {
  const StartCase cases[] = {
      {"UTC0", "30 2 * * *", Utc(2024, 1, 10, 2, 29, 59), Utc(2024, 1, 10, 2, 30, 59)},
      {"UTC0", "30 2 * * *", Utc(2024, 1, 10, 2, 30, 0), Utc(2024, 1, 11, 2, 30, 0)},
      {"UTC0", "30 2 * * *", Utc(2024, 12, 31, 3, 0, 7), Utc(2025, 1, 1, 2, 30, 7)},
      {"UTC0", "*/15 * * * *", Utc(2024, 1, 10, 10, 14, 5), Utc(2024, 1, 10, 10, 15, 5)},
      {"UTC0", "*/15 * * * *", Utc(2024, 1, 10, 10, 15, 5), Utc(2024, 1, 10, 10, 30, 5)},
      {"UTC0", "*/15 * * * *", Utc(2024, 1, 10, 23, 59, 0), Utc(2024, 1, 11, 0, 0, 0)},
      {"UTC0", "1-10/3 * * * *", Utc(2024, 1, 10, 10, 6, 0), Utc(2024, 1, 10, 10, 9, 0)},
      {"UTC0", "1-10/3 * * * *", Utc(2024, 1, 10, 10, 9, 0), Utc(2024, 1, 10, 11, 3, 0)},
      {"UTC0", "* * * 0 *", Utc(2024, 2, 3, 4, 5, 6), Utc(2025, 1, 1, 0, 0, 6)},
      {"UTC0", "* * * 11 *", Utc(2024, 2, 3, 4, 5, 6), Utc(2024, 12, 1, 0, 0, 6)},
      {"UTC0", "0 0 1 0 *", Utc(2024, 1, 2, 0, 0, 0), Utc(2025, 1, 1)},
      {"UTC0", "0 0 29 1 *", Utc(2024, 3, 1), Utc(2028, 2, 29)},       // leap days only
      {"UTC0", "0 12 13 * 5", Utc(2024, 1, 1), Utc(2024, 9, 13, 12)},  // Friday the 13th
      {"UTC0", "0 12 31 * *", Utc(2024, 4, 1), Utc(2024, 5, 31, 12)},
      {"UTC0", "* * * * 7", Utc(2024, 1, 1), 0},   // days of week run 0-6 here
      {"UTC0", "0 0 30 1 *", Utc(2024, 1, 1), 0},  // 30 February
      {"UTC0", "0 0 31 3,5,8,10 *", Utc(2024, 1, 1), 0},
      {"UTC0", "* * * * 1\n", Utc(2024, 1, 1), 0},  // the line end stays in the field
      {"UTC0", "* * * *", Utc(2024, 1, 1), 0},
      {"UTC0", " * * * *", Utc(2024, 1, 1), 0},  // the empty minute field never matches
      {"UTC0", "*/0 * * * *", Utc(2024, 1, 1), 0},
      {"UTC0", "0 0 * * mon", Utc(2024, 1, 1), 0},
      {"UTC0", "0 0 1 1 *", Utc(3000, 6, 1), 0},  // nothing is searched past the year 3000
      {"UTC0", "59 23 31 11 *", Utc(3000, 12, 31, 23, 58, 59), Utc(3000, 12, 31, 23, 59, 59)},
      // Local time: 02:30 in New York is 07:30 UTC in winter, 06:30 in summer.
      {"EST5EDT", "30 2 * * *", Utc(2024, 1, 10), Utc(2024, 1, 10, 7, 30)},
      {"EST5EDT", "30 2 * * *", Utc(2024, 7, 10, 12), Utc(2024, 7, 11, 6, 30)},
      // 2024-03-10 02:30 does not exist (02:00 EST jumps to 03:00 EDT).
      {"EST5EDT", "30 2 * * *", Utc(2024, 3, 9, 12), Utc(2024, 3, 11, 6, 30)},
      {"EST5EDT", "30 2 10 2 *", Utc(2024, 3, 1), Utc(2025, 3, 10, 6, 30)},
      {"EST5EDT", "* 2 10 2 *", Utc(2024, 3, 10, 6, 59, 30), Utc(2025, 3, 10, 6, 0, 30)},
      // 2024-11-03 01:30 happens twice: 05:30 UTC (EDT) and 06:30 UTC (EST).
      {"EST5EDT", "30 1 * * *", Utc(2024, 11, 3, 5, 10), Utc(2024, 11, 3, 5, 30)},
      {"EST5EDT", "30 1 * * *", Utc(2024, 11, 3, 5, 40), Utc(2024, 11, 3, 6, 30)},
      {"EST5EDT", "30 1 * * *", Utc(2024, 11, 3, 6, 40), Utc(2024, 11, 4, 6, 30)},
      {"EST5EDT", "0 0 1 0 *", Utc(2024, 1, 2), Utc(2025, 1, 1, 5)},
      {"EST5EDT", "0 0 1 6 *", Utc(2024, 1, 2), Utc(2024, 7, 1, 4)},
      {"IST-5:30", "0 0 * * *", Utc(2024, 1, 1, 18, 29, 59), Utc(2024, 1, 1, 18, 30, 59)},
  };
  CheckStarts(cases, sizeof cases / sizeof cases[0]);
}

TEST(CronStartTime, RuleZones) {
  if (!orn2::port::ZoneRulesSupported()) GTEST_SKIP() << "the runtime applies its own rules";
  const StartCase cases[] = {
      // Central Europe, 2024-03-31: 02:00 CET jumps to 03:00 CEST (01:00 UTC).
      {"CET-1CEST,M3.5.0,M10.5.0/3", "30 2 * * *", Utc(2024, 3, 30, 12), Utc(2024, 4, 1, 0, 30)},
      // 31 March at 02:30 on a Sunday always falls in that gap: never due.
      {"CET-1CEST,M3.5.0,M10.5.0/3", "30 2 31 2 0", Utc(2024, 1, 1), 0},
      // 2024-10-27: 02:30 happens at 00:30 and at 01:30 UTC.
      {"CET-1CEST,M3.5.0,M10.5.0/3", "30 2 * * *", Utc(2024, 10, 27, 0, 40),
       Utc(2024, 10, 27, 1, 30)},
      // Sydney: southern summer time, 2024-10-06 02:00 AEST jumps to 03:00 AEDT.
      {"AEST-10AEDT,M10.1.0,M4.1.0/3", "30 2 6 9 *", Utc(2024, 1, 1), Utc(2025, 10, 5, 15, 30)},
      {"AEST-10AEDT,M10.1.0,M4.1.0/3", "0 12 * 0 *", Utc(2024, 6, 1), Utc(2025, 1, 1, 1)},
      // Chile: 2024-09-08 00:00 -04 jumps to 01:00 -03, so midnight is missing.
      {"<-04>4<-03>,M9.1.6/24,M4.1.6/24", "0 0 8 8 *", Utc(2024, 1, 1), Utc(2025, 9, 8, 3)},
  };
  CheckStarts(cases, sizeof cases / sizeof cases[0]);
}

TEST(CronLastStartTime, Windows) {
  struct Case {
    const char* tz;
    const char* line;
    int count;
    int64_t now;
    int64_t expected;
  };
  const int64_t now = Utc(2024, 11, 20, 10, 7, 42);
  const Case cases[] = {
      {"UTC0", "*/15 * * * *", 15, Utc(2024, 11, 20, 10, 14, 59), Utc(2024, 11, 20, 10, 0, 59)},
      {"UTC0", "*/15 * * * *", 14, Utc(2024, 11, 20, 10, 14, 59), 0},
      {"UTC0", "*/15 * * * *", 1, Utc(2024, 11, 20, 10, 15, 0), Utc(2024, 11, 20, 10, 15, 0)},
      {"UTC0", "* * * * *", 0, now, 0},
      {"UTC0", "* * * * *", 1, now, now},
      {"UTC0", "* * * 11 *", 1, now, now},  // November counts as 11 here
      {"UTC0", "* * * 10 *", 100000, now, Utc(2024, 10, 31, 23, 59, 42)},
      {"UTC0", "* * * 0 *", -1, now, 0},  // months run 1-12: never
      {"UTC0", "0 0 1 1 *", -1, now, Utc(2024, 1, 1, 0, 0, 42)},
      // The window reaches 1 January 00:00:42 exactly, or falls one minute short.
      {"UTC0", "0 0 1 1 *", static_cast<int>((now - Utc(2024, 1, 1, 0, 0, 42)) / 60 + 1), now,
       Utc(2024, 1, 1, 0, 0, 42)},
      {"UTC0", "0 0 1 1 *", static_cast<int>((now - Utc(2024, 1, 1, 0, 0, 42)) / 60), now, 0},
      {"UTC0", "0 0 * * 3", 10 * 60 + 8, now, Utc(2024, 11, 20, 0, 0, 42)},
      {"UTC0", "0 0 * * 3", 10 * 60 + 7, now, 0},
      {"UTC0", "0 0 * * 7", -1, now, 0},
      {"UTC0", "0 0 30 2 *", -1, now, 0},
      {"UTC0", "0 0 * *", 5, now, 0},
      // 2024-11-03 01:30 New York, twice: the later one counts first.
      {"EST5EDT", "30 1 * * *", 120, Utc(2024, 11, 3, 7), Utc(2024, 11, 3, 6, 30)},
      {"EST5EDT", "30 1 * * *", 60, Utc(2024, 11, 3, 6, 20), Utc(2024, 11, 3, 5, 30)},
      {"EST5EDT", "30 2 10 3 *", -1, Utc(2024, 5, 1), Utc(2023, 3, 10, 7, 30)},
      // 2024-03-10 02:30 does not exist; the day before is 33 hours back.
      {"EST5EDT", "30 2 * * *", 60 * 24, Utc(2024, 3, 10, 12), 0},
      {"EST5EDT", "30 2 * * *", 2000, Utc(2024, 3, 10, 12), Utc(2024, 3, 9, 7, 30)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.tz) + " '" + c.line + "' count " + std::to_string(c.count));
    Clock clock(c.tz);
    clock.Set(c.now);
    EXPECT_EQ(Last(c.line, c.count), U32(c.expected));
  }
}

TEST(CronParser, CopiesAndTheCallersTokenizer) {
  CronParser first;
  Line line("*/5 * * * *");
  ASSERT_EQ(first.parseline(line.get()), 1);
  CronParser second(first);
  CronParser third;
  third = second;
  EXPECT_EQ(&(third = third), &third);
  Clock clock("UTC0");
  clock.Set(Utc(2024, 1, 1, 0, 1));
  for (CronParser* p : {&first, &second, &third}) {
    EXPECT_EQ(p->getStartTime(Line("*/5 * * * *").get()), U32(Utc(2024, 1, 1, 0, 5)));
    EXPECT_EQ(p->getStartTime(Line("0 0 * * *").get()), U32(Utc(2024, 1, 2)));
  }
  // A caller in the middle of its own strtok walk keeps its place.
  char text[] = "a,b,c";
  char* token = strtok(text, ",");
  ASSERT_STREQ(token, "a");
  EXPECT_EQ(first.eval(Line("1,2,3 4,5 * * *").get()), 1);
  EXPECT_EQ(first.evalToday(Line("1,2 * 1,2 0,1 *").get()), 1);
  EXPECT_NE(first.getStartTime(Line("1,2 * * * *").get()), 0u);
  EXPECT_NE(first.getLastStartTime(Line("1,2 * * * *").get(), 60), 0u);
  EXPECT_STREQ(strtok(nullptr, ","), "b");
  // The line itself is left as it was.
  Line kept("1,2,3 4-5/2 * * * tail");
  const std::vector<char> before = kept.buffer;
  first.eval(kept.get());
  first.getStartTime(kept.get());
  EXPECT_EQ(kept.buffer, before);
}

}  // namespace
