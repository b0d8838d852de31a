// CronParser against a clock that the tests set: the line syntax and its odd
// corners, the due-today test, and the next and last start times, in zones with
// and without daylight saving; then the fast searches against a literal
// minute-by-minute reference on thousands of random lines.

#include <gtest/gtest.h>
#include <liborn2/cron.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstring>
#include <ctime>
#include <random>
#include <string>
#include <vector>

#include "port/clock.h"
#include "support/cron_reference.h"
#include "support/system.h"

namespace {

using orn2::testing::CronClock;
using orn2::testing::CronReference;
using orn2::testing::DaylightSavingAt;
using orn2::testing::Utc;

// A writable copy of a line for one call, made in the middle of a strtok walk
// of the caller's own: the call may disturb neither the walk nor the line.
struct Line {
  explicit Line(std::string s) : text(s), copy(s) { EXPECT_STREQ(strtok(walk, ","), "a") << text; }
  ~Line() {
    EXPECT_STREQ(strtok(nullptr, ","), "b") << "the caller's walk, after a call on " << text;
    EXPECT_EQ(copy, text) << "the line after a call";
  }
  operator char*() { return &copy[0]; }
  char walk[4] = "a,b";
  std::string text, copy;
};
unsigned long U32(int64_t t) { return static_cast<uint32_t>(t); }

TEST(CronEval, LinesFieldsAndValidatorQuirks) {
  // Blanks are spaces and tabs; a leading blank leaves an empty minute field;
  // a line end stays in the fifth field; a field holds up to 63 characters.
  // The validator accepts a field as soon as it meets a star, a step or a range
  // (5-10,99 passes, 99,5-10 fails), and a zero range step defers to the later
  // items. Names are not recognised. Outcome 0: the line does not parse; 1: it
  // parses and fails the check; 2: it passes.
  const std::string field63 = std::string(62, ',') + "1";
  const std::pair<int, std::vector<std::string>> groups[] = {
      {0, {"* * * *", "", " 0 3 *", "* * * * ," + field63}},
      {2, {"* * * * " + field63, "0 3 * * 1 backup --full", "0-59 0-23 1-31 0-11 0-7"}},
      {2,
       {"30 2 * * *", "0\t3  *\t * 1", "0 3 * * 1\n", " 0 3 * *", "59 23 31 11 7", "0 0 1 0 0",
        "0-59/0 * * * *", "1-10/3 * * * *", "5-10,99 * * * *", "*/15 * * * *", "/15 * * * *",
        "7/15 * * * *", "* * * * mon", "*,99 * * * *", ",,5,, * * * *", "1-5x,7 * * * *",
        "0-59/* * * * *"}},
      {1, {"60 * * * *",     "* 24 * * *",    "* * 0 * *",           "* * 32 * *",
           "* * * 12 *",     "* * * * 8",     "* * 0-5 * *",         "* * * * 0-8",
           "0-60/5 * * * *", "10-5 * * * *",  "99999999999 * * * *", "99,5-10 * * * *",
           "*/0 * * * *",    "/0 * * * *",    "*/ * * * *",          "/ * * * *",
           "*x,99 * * * *",  "5x,99 * * * *", "1-5x,99 * * * *",     "0-59/0,99 * * * *"}},
  };
  for (const auto& g : groups)
    for (const std::string& line : g.second) {
      EXPECT_EQ(CronParser().parseline(Line(line)), g.first > 0 ? 1 : 0) << line;
      EXPECT_EQ(CronParser().eval(Line(line)), g.first == 2 ? 1 : 0) << line;
    }
  EXPECT_EQ(CronParser().parseline(nullptr), 0);
  EXPECT_EQ(CronParser().eval(nullptr), 0);
}

TEST(CronEvalToday, AWeekOfLocalDates) {
  // Five hours behind UTC: the last second of a local day is the next day in UTC.
  CronClock clock("EST5");
  // Monday 10 June 2024 to Sunday 16 June, then Monday 1 July; one mark per day.
  const int dates[][2] = {{6, 10}, {6, 11}, {6, 12}, {6, 13}, {6, 14}, {6, 15}, {6, 16}, {7, 1}};
  // Months count from 0; minute and hour play no part; day of month and day of
  // week must both match; digits before a lone star are ignored.
  const std::pair<const char*, const char*> cases[] = {
      {"* * 3* * *", "11111111"},  {"* * * * 0", "00000010"},   {"* * * * 7", "00000010"},
      {"* * * * 1-5", "11111001"}, {"* * * * 1,7", "10000011"}, {"0 0 1,15 * *", "00000101"},
      {"* * * 5 *", "11111110"},   {"* * 1 6 1", "00000001"},   {"99 99 * * *", "11111111"},
      {"* * 16 * 1", "00000000"},  {"* * * * 8", "00000000"},   {"* * * 12 *", "00000000"},
      {"* * 0 * *", "00000000"},   {"* * * * mon", "00000000"}, {"* * * *", "00000000"},
  };
  for (int i = 0; i < 16; ++i) {
    const int d = i / 2;  // each day at its first and its last second
    clock.Set(Utc(2024, dates[d][0], dates[d][1], 5) + i % 2 * 86399);
    for (const auto& c : cases)
      EXPECT_EQ(CronParser().evalToday(Line(c.first)), c.second[d] - '0') << c.first << " " << i;
  }
}

constexpr int kNext = INT_MIN;  // a row for getStartTime, not getLastStartTime

struct TimeCase {
  const char* tz;
  const char* line;
  int64_t now, expected;  // expected 0: never
  int count = kNext;
};

void CheckTimes(const std::vector<TimeCase>& cases) {
  CronClock clock(cases[0].tz);
  for (const TimeCase& c : cases) {
    SCOPED_TRACE(testing::Message()
                 << c.tz << " '" << c.line << "' at " << c.now << " " << c.count);
    orn2::testing::SetTimeZone(c.tz);
    clock.Set(c.now);
    CronParser parser;
    EXPECT_EQ(c.count == kNext ? parser.getStartTime(Line(c.line))
                               : parser.getLastStartTime(Line(c.line), c.count),
              U32(c.expected));
    // The same start asked for the instant, in full.
    if (c.count == kNext) {
      EXPECT_EQ(parser.getStartTimeAfter(Line(c.line), c.now), c.expected);
    }
  }
}

TEST(CronTimes, NextAndLastStartsWithoutDaylightSaving) {
  const int64_t now = Utc(2024, 11, 20, 10, 7, 42);
  CheckTimes({
      // The next start: months 0-11, the second kept; cases out of the reach of
      // CronSearchAgainstReference (years away, never, the ends of the range).
      {"UTC0", "* * * 0 *", Utc(2024, 2, 3, 4, 5, 6), Utc(2025, 1, 1, 0, 0, 6)},
      {"UTC0", "0 12 13 * 5", Utc(2024, 1, 1), Utc(2024, 9, 13, 12)},  // Friday the 13th
      {"UTC0", "0 0 30 1 *", Utc(2024, 1, 1), 0},                      // 30 February
      {"UTC0", "* * * * 1\n", Utc(2024, 1, 1), 0},  // the line end stays in the field
      {"UTC0", "* * * *", Utc(2024, 1, 1), 0},
      {"UTC0", " * * * *", Utc(2024, 1, 1), 0},  // the empty minute field never matches
      // The searched range ends with the year 3000.
      {"UTC0", "59 23 31 11 *", Utc(3000, 12, 31, 23, 58, 59), Utc(3000, 12, 31, 23, 59, 59)},
      {"UTC0", "* * * * *", -59, 1},  // and begins with 1970
      {"UTC0", "* * * * *", -61, 0},
      {"UTC0", "* * * * *", INT64_MAX, 0},
      // The last start: a window of `count` minutes back from now, months 1-12.
      {"UTC0", "* * * * *", now, 0, 0},
      {"UTC0", "* * * 11 *", now, now, 1},  // November counts as 11 here
      {"UTC0", "* * * 10 *", now, Utc(2024, 10, 31, 23, 59, 42), 100000},
      {"UTC0", "30 0,1 * * *", Utc(2024, 1, 2, 1, 10), Utc(2024, 1, 2, 0, 30), 100},  // hour 0
      {"UTC0", "0 0 1 1 *", now, Utc(2024, 1, 1, 0, 0, 42), -1},  // no bound: back to 1970
      {"UTC0", "* * * 0 *", now, 0, -1},
      {"UTC0", "0 0 * * 7", now, 0, -1},
  });
}

TEST(CronTimes, DaylightSavingGapsAndRepeatedHours) {
  // Wine's runtime drops daylight saving for good once a process has set a zone
  // without it; each test runs in a process of its own, so these cases run
  // there too unless a zone without daylight saving came first.
  orn2::testing::SetTimeZone("EST5EDT");
  if (!DaylightSavingAt(Utc(2024, 7, 1, 12))) GTEST_SKIP() << "no daylight saving in this runtime";
  CheckTimes({
      // Cases out of the reach of CronSearchAgainstReference, which checks the
      // gaps and repeated hours near each change. 2024-03-10 02:00 EST jumps to
      // 03:00 EDT; 2025-03-09 at 07:00 UTC.
      {"EST5EDT", "* 2 10 2 *", Utc(2024, 3, 10, 6, 59, 30), Utc(2025, 3, 10, 6, 0, 30)},
      {"EST5EDT", "30 2 10 3 *", Utc(2024, 5, 1), Utc(2023, 3, 10, 7, 30), -1},
      {"EST5EDT", "30 1 9 3 *", Utc(2025, 3, 12), Utc(2025, 3, 9, 6, 30), -1},
  });
  if (!orn2::testing::ZoneRulesSupported()) return;  // the Windows runtime has fixed rules
  const char* cet = "CET-1CEST,M3.5.0,M10.5.0/3";
  CheckTimes({
      // 02:30 on a Sunday 31 March always falls in the gap of central Europe.
      {cet, "30 2 31 2 0", Utc(2024, 1, 1), 0},
      // Sydney, southern summer time: 2024-10-06 02:00 AEST jumps to 03:00 AEDT.
      {"AEST-10AEDT,M10.1.0,M4.1.0/3", "30 2 6 9 *", Utc(2024, 1, 1), Utc(2025, 10, 5, 15, 30)},
      // Chile: 2024-09-08 00:00 -04 jumps to 01:00 -03, so midnight is missing.
      {"<-04>4<-03>,M9.1.6/24,M4.1.6/24", "0 0 8 8 *", Utc(2024, 1, 1), Utc(2025, 9, 8, 3)},
  });
}

TEST(CronParser, CopiesKeepBuffersOfTheirOwn) {
  CronClock clock("UTC0");
  clock.Set(Utc(2024, 1, 1, 0, 1));
  CronParser* source = new CronParser;
  ASSERT_EQ(source->parseline(Line("*/5 * * * *")), 1);
  CronParser copy(*source), assigned;
  assigned = *source;
  delete source;  // the copies work on once the source is gone
  EXPECT_EQ(copy.getStartTime(Line("*/5 * * * *")), U32(Utc(2024, 1, 1, 0, 5)));
  EXPECT_EQ(assigned.getStartTime(Line("0 0 * * *")), U32(Utc(2024, 1, 2)));
}

// ---- The fast searches against their definition. ----

// Random lines with every item form, the quirky ones included, leaning to lines
// that fall due often enough for the reference to reach them.
struct Random {
  std::mt19937 rng;
  int Int(int low, int high) { return std::uniform_int_distribution<int>(low, high)(rng); }
  bool Chance(int percent) { return Int(1, 100) <= percent; }
  // Values a little outside the range now and then, as lines in use carry.
  int Value(int low, int high) { return Chance(8) ? Int(0, high + 3) : Int(low, high); }
  std::string Item(int low, int high) {
    int a = Value(low, high), b = Value(low, high);
    if (a > b && Chance(85)) std::swap(a, b);
    const std::string A = std::to_string(a), range = A + "-" + std::to_string(b);
    const std::string n = std::to_string(Chance(5) ? 0 : Int(1, 12));
    const char* const kOdd[] = {"mon", "4.5", "*x", "3*", "-2",          "1-2x", "7/",
                                "*/",  "1-",  "+1", "/",  "99999999999", "3/0x"};
    const int form = Int(0, 13);
    if (form < 3) return A;
    if (form < 7) return form < 5 ? range : range + "/" + n;
    if (form < 9) return "*/" + n;
    if (form == 9) return (Chance(50) ? "" : A) + "/" + n;
    if (form == 10) return range + "/*";
    if (form == 11) return kOdd[Int(0, 12)];
    if (form == 12) return range + "," + std::to_string(high + Int(1, 50));  // 5-10,99
    return std::to_string(Int(low, high)) + "," + range;
  }
  std::string Field(int low, int high, int starPercent) {
    if (Chance(starPercent)) return "*";
    std::string field = Item(low, high);
    while (Chance(25)) field += (Chance(10) ? ",," : ",") + Item(low, high);
    return Chance(3) ? "," + field + "," : field;
  }
  std::string Schedule() {
    // Hours that daylight-saving changes skip or repeat somewhere.
    static const char* const kHours[] = {"0", "1", "2", "3", "23", "1-3", "0,2", "2-2/2", "*/2"};
    const std::string hour = Chance(30) ? kHours[Int(0, 8)] : Field(0, 23, 35);
    std::string line = Field(0, 59, 25) + " " + hour + " " + Field(1, 31, 60) + " " +
                       Field(0, 11, 70) + " " + Field(0, 7, 65);
    if (Chance(5)) line += " command --with args";
    return Chance(2) ? line + "\n" : line;
  }
};

using CronSearchAgainstReference = ::testing::TestWithParam<int>;

TEST_P(CronSearchAgainstReference, NextAndLastStart) {
  // Rule zones: the southern hemisphere, half-hour offsets and daylight saving,
  // changes at midnight, a whole day skipped and repeated across the date
  // line. The Windows runtime reads only a name, an offset and a
  // daylight-saving name, and applies fixed rules of its own.
  const std::vector<const char*> zones =
      orn2::testing::ZoneRulesSupported()
          ? std::vector<const char*>{"UTC0",
                                     "CET-1CEST,M3.5.0,M10.5.0/3",
                                     "EST5EDT",
                                     "AEST-10AEDT,M10.1.0,M4.1.0/3",
                                     "ACST-9:30ACDT,M10.1.0,M4.1.0/3",
                                     "LHST-10:30LHDT-11,M10.1.0,M4.1.0",
                                     "<-04>4<-03>,M9.1.6/24,M4.1.6/24",
                                     "<-10>10<+14>-14,M3.2.0,M11.1.0"}
          : std::vector<const char*>{"UTC0", "EST5EDT", "CET-1CEST", "NST3:30NDT", "IST-5:30"};
  if (GetParam() >= static_cast<int>(zones.size())) GTEST_SKIP() << "no such zone here";
  CronClock clock(zones[GetParam()]);
  // The minutes at which daylight saving starts or ends, 1995 to 2060 (changes
  // lie more than a day apart).
  const int64_t from = Utc(1995, 1, 1), to = Utc(2060, 1, 1);
  std::vector<int64_t> changes;
  for (int64_t t = from; t < to; t += 86400) {
    if (DaylightSavingAt(t) == DaylightSavingAt(t + 86400)) continue;
    int64_t a = t, b = t + 86400;
    while (b - a > 60) {
      const int64_t mid = a + (b - a) / 120 * 60;
      (DaylightSavingAt(mid) == DaylightSavingAt(t) ? a : b) = mid;
    }
    changes.push_back(b);
  }
  Random random{std::mt19937(1000u + GetParam())};
  // Half the instants lie near a change (before it for the next start, after
  // it for the last one): within a day, or beyond the search's one-day probe
  // up to twenty days; the rest anywhere from 1995 to 2060.
  auto instant = [&](int side) {
    if (!changes.empty() && random.Chance(50))
      return changes[random.Int(0, static_cast<int>(changes.size()) - 1)] +
             side * random.Int(0, random.Chance(50) ? 26 * 3600 : 20 * 86400);
    return from + random.Int(0, 1000000000) + random.Int(0, 1000000000);
  };
  const int64_t kSteps = 30000;  // three weeks of minutes
  int compared = 0, found = 0;
  for (int i = 0; i < 350; ++i) {
    std::string line = random.Schedule();
    const int64_t now = instant(-1), then = instant(1);
    const int count = random.Chance(20) ? random.Int(1, 90) : random.Int(1, 30000);
    SCOPED_TRACE("'" + line + "' next from " + std::to_string(now) + ", last from " +
                 std::to_string(then) + " count " + std::to_string(count));
    clock.Set(now);
    const int64_t next = CronParser().getStartTime(&line[0]);
    const int64_t expected = CronReference(line, now + 60, 60, kSteps, 0);
    compared += expected >= 0;
    // Where the reference finds no match, the search finds none within its reach.
    ASSERT_EQ(next, expected >= 0 ? expected : next > now + 60 * kSteps ? next : 0);
    clock.Set(then);
    const int64_t last = CronParser().getLastStartTime(&line[0], count);
    ASSERT_EQ(last, std::max<int64_t>(0, CronReference(line, then, -60, count, 1)));
    // Asked for an instant, the search leaves the clock (now at `then`) alone.
    ASSERT_EQ(CronParser().getStartTimeAfter(&line[0], now), next);
    found += last != 0;
  }
  // Most lines fall due within the reference's reach.
  EXPECT_GT(compared, 140);
  EXPECT_GT(found, 100);
}

INSTANTIATE_TEST_SUITE_P(Zones, CronSearchAgainstReference, ::testing::Range(0, 8));

}  // namespace
