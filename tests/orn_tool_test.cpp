// The orn tool's own pieces: local times with their UTC offset, the days of a
// month on which a schedule line falls due, the month grid of
// 'orn cron calendar' and the JSON text of the --json options.

#include <gtest/gtest.h>
#include <liborn2/cron.h>

#include <cstdint>
#include <string>
#include <vector>

#include "support/cron_reference.h"
#include "support/system.h"
#include "tools/orn/cron_calendar_view.h"
#include "tools/orn/json.h"
#include "tools/orn/schedule_times.h"

namespace {

using orn2::testing::CronClock;
using orn2::testing::Utc;

struct TimeCase {
  const char* tz;
  int64_t instant;
  const char* expected;
};

void CheckFormat(const std::vector<TimeCase>& cases) {
  for (const TimeCase& c : cases) {
    CronClock clock(c.tz);
    SCOPED_TRACE(std::string(c.tz) + " at " + std::to_string(c.instant));
    EXPECT_EQ(orn::FormatLocalTime(c.instant), c.expected);
  }
}

TEST(OrnLocalTime, CarriesTheOffsetOfEachInstant) {
  // Zones with daylight saving come first: Wine's runtime drops daylight saving
  // for good once a process has set a zone without it.
  {
    CronClock probe("EST5EDT");
    if (orn2::testing::DaylightSavingAt(Utc(2024, 7, 1, 12))) {
      // 2024-11-03 01:30 local time happens twice, 05:30 UTC (EDT) and 06:30 UTC (EST).
      CheckFormat({
          {"EST5EDT", Utc(2024, 11, 3, 5, 30), "2024-11-03T01:30:00-04:00"},
          {"EST5EDT", Utc(2024, 11, 3, 6, 30), "2024-11-03T01:30:00-05:00"},
      });
    }
  }
  if (orn2::testing::ZoneRulesSupported()) {  // the Windows runtime has fixed rules
    CheckFormat({
        {"CET-1CEST,M3.5.0,M10.5.0/3", Utc(2026, 10, 25, 0, 30), "2026-10-25T02:30:00+02:00"},
        {"CET-1CEST,M3.5.0,M10.5.0/3", Utc(2026, 10, 25, 1, 30), "2026-10-25T02:30:00+01:00"},
        {"ACST-9:30ACDT,M10.1.0,M4.1.0/3", Utc(2026, 1, 1), "2026-01-01T10:30:00+10:30"},
    });
  }
  CheckFormat({
      {"UTC0", 0, "1970-01-01T00:00:00+00:00"},
      {"UTC0", Utc(2026, 10, 25, 1, 30, 7), "2026-10-25T01:30:07+00:00"},
      {"IST-5:30", Utc(2026, 1, 2, 20, 0), "2026-01-03T01:30:00+05:30"},
      {"NST3:30", Utc(2026, 1, 1, 2, 0), "2025-12-31T22:30:00-03:30"},
  });
}

TEST(OrnSchedule, CalendarDaysAreTheDaysOfTheLibrarysStarts) {
  struct Case {
    const char* tz;
    const char* line;
    int year;
    int month;  // 1-12
    uint32_t expected;
  };
  const uint32_t kAllOfOctober = 0xFFFFFFFEu;  // days 1-31
  const uint32_t kAllOfSeptember = 0x7FFFFFFEu;
  std::vector<Case> cases = {
      // The line counts months from 0, the calendar from 1: 9 is October.
      {"UTC0", "0 3 * 9 *", 2026, 10, kAllOfOctober},
      {"UTC0", "0 3 * 9 *", 2026, 9, 0},
      {"UTC0", "0 3 * 8 *", 2026, 9, kAllOfSeptember},
      // 2026-10: Sundays 4, 11, 18, 25; a 7 never falls due in the searches.
      {"UTC0", "0 12 * * 0", 2026, 10, (1u << 4) | (1u << 11) | (1u << 18) | (1u << 25)},
      {"UTC0", "0 12 * * 7", 2026, 10, 0},
      {"UTC0", "0 0 29 1 *", 2028, 2, 1u << 29},
      {"UTC0", "0 0 29 1 *", 2026, 2, 0},
      {"UTC0", "0 0 31 * *", 2026, 4, 0},
      {"UTC0", "0 1 1 0 *", 1970, 1, 1u << 1},
      {"UTC0", "0 0 * * *", 1970, 1, 0xFFFFFFFEu},  // the first start is at 0 s
      {"UTC0", "59 23 31 11 *", 3000, 12, 1u << 31},
      {"IST-5:30", "0 0 1 * *", 2026, 3, 1u << 1},
  };
  if (orn2::testing::ZoneRulesSupported()) {
    // 2026-03-29 02:30 does not exist in central Europe.
    cases.push_back(
        {"CET-1CEST,M3.5.0,M10.5.0/3", "30 2 * * *", 2026, 3, 0xFFFFFFFEu & ~(1u << 29)});
    cases.push_back({"CET-1CEST,M3.5.0,M10.5.0/3", "30 2 29 2 *", 2026, 3, 0});
    // Chile: 2024-09-08 begins at 01:00, its midnight is missing.
    const char* chile = "<-04>4<-03>,M9.1.6/24,M4.1.6/24";
    cases.push_back({chile, "0 0 * * *", 2024, 9, 0x7FFFFFFEu & ~(1u << 8)});
    cases.push_back({chile, "* 1 * * *", 2024, 9, 0x7FFFFFFEu});
  }
  for (const Case& c : cases) {
    CronClock clock(c.tz);
    SCOPED_TRACE(std::string(c.tz) + " '" + c.line + "' " + std::to_string(c.year) + "-" +
                 std::to_string(c.month));
    EXPECT_EQ(orn::DaysWithStarts(c.line, c.year, c.month), c.expected);
  }
}

TEST(OrnCalendarView, LaysOutMonthsLikeCal) {
  struct Case {
    int year;
    int month;
    uint32_t marked;
    const char* expected;
  };
  // orn_cli lays out October 2026 with days 1 and 15 marked.
  const Case cases[] = {
      // Starts on a Sunday and fills four weeks exactly.
      {2015, 2, 1u << 28,
       "       February 2015\n"
       " Su  Mo  Tu  We  Th  Fr  Sa\n"
       "  1   2   3   4   5   6   7\n"
       "  8   9  10  11  12  13  14\n"
       " 15  16  17  18  19  20  21\n"
       " 22  23  24  25  26  27 [28]\n"},
      // Starts on a Saturday and spreads over six weeks; a leap February.
      {2026, 8, 0,
       "        August 2026\n"
       " Su  Mo  Tu  We  Th  Fr  Sa\n"
       "                          1\n"
       "  2   3   4   5   6   7   8\n"
       "  9  10  11  12  13  14  15\n"
       " 16  17  18  19  20  21  22\n"
       " 23  24  25  26  27  28  29\n"
       " 30  31\n"},
      {2028, 2, (1u << 29) | (1u << 9),
       "       February 2028\n"
       " Su  Mo  Tu  We  Th  Fr  Sa\n"
       "          1   2   3   4   5\n"
       "  6   7   8  [9] 10  11  12\n"
       " 13  14  15  16  17  18  19\n"
       " 20  21  22  23  24  25  26\n"
       " 27  28 [29]\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.year) + "-" + std::to_string(c.month));
    EXPECT_EQ(orn::MonthGrid(c.year, c.month, c.marked), c.expected);
  }
}

TEST(OrnJson, StringsAreEscapedAndAlwaysValid) {
  struct Case {
    std::string text;
    std::string expected;
  };
  const Case cases[] = {
      {"plain", "\"plain\""},
      {"", "\"\""},
      {"a\"b\\c/d", "\"a\\\"b\\\\c/d\""},
      {"tab\tline\nreturn\r", "\"tab\\tline\\nreturn\\r\""},
      {std::string("nul\0x", 5), "\"nul\\u0000x\""},
      {"\x01\x1f\x7f", "\"\\u0001\\u001f\\u007f\""},
      // Valid UTF-8 passes through.
      {"caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x98\x80",
       "\"caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x98\x80\""},
      // Other bytes from 0x80 up are read as Latin-1.
      {"caf\xe9", "\"caf\\u00e9\""},
      {"\xc3", "\"\\u00c3\""},                                   // a sequence cut short
      {"\xc0\x80", "\"\\u00c0\\u0080\""},                        // an overlong form
      {"\xed\xa0\x80", "\"\\u00ed\\u00a0\\u0080\""},             // a surrogate
      {"\xf4\x90\x80\x80", "\"\\u00f4\\u0090\\u0080\\u0080\""},  // beyond U+10FFFF
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("text '" + c.text + "'");
    EXPECT_EQ(orn::JsonString(c.text), c.expected);
  }
  EXPECT_EQ(orn::JsonStrings({}), "[]");
  EXPECT_EQ(orn::JsonStrings({"a", "b\""}), "[\"a\",\"b\\\"\"]");
}

}  // namespace
