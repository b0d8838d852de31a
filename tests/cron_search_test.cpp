// The next and last start searches against their definition: a literal
// reference that steps one minute at a time and parses the line afresh for
// every candidate, compared on thousands of random lines at random instants,
// many of them next to daylight-saving changes, in several time zones.
#include <gtest/gtest.h>
#include <liborn2/cron.h>

#include <cstdint>
#include <ctime>
#include <random>
#include <string>
#include <vector>

#include "port/clock.h"
#include "schedule/cron_clock.h"
#include "schedule/cron_fields.h"

namespace {

using orn2::schedule::MatchField;
using orn2::schedule::ScanField;

constexpr int kFieldSize = CronParser::kFieldSize;

// ---- The reference: the definition, candidate by candidate. ----

bool MatchesAt(const std::string& line, const std::tm& local, int firstMonth) {
  char fields[5][kFieldSize];
  const char* position = line.c_str();
  for (auto& field : fields) {
    position = ScanField(field, kFieldSize, position);
    if (position == nullptr) return false;
  }
  return MatchField(fields[0], local.tm_min) && MatchField(fields[1], local.tm_hour) &&
         MatchField(fields[2], local.tm_mday) && MatchField(fields[3], local.tm_mon + firstMonth) &&
         MatchField(fields[4], local.tm_wday);
}

struct Outcome {
  bool finished;   // false: no match within the steps allowed
  int64_t result;  // 0: none
};

Outcome ReferenceStart(const std::string& line, int64_t now, int64_t maxSteps) {
  for (int64_t t = now + 60; t <= now + 60 * maxSteps; t += 60) {
    std::tm local;
    if (!orn2::port::LocalTime(t, &local)) return {true, 0};
    if (MatchesAt(line, local, 0)) return {true, t};
  }
  return {false, 0};
}

Outcome ReferenceLast(const std::string& line, int64_t now, int count) {
  int64_t t = now;
  for (int tried = 0; tried < count; ++tried, t -= 60) {
    std::tm local;
    if (!orn2::port::LocalTime(t, &local)) return {true, 0};
    if (MatchesAt(line, local, 1)) return {true, t};
  }
  return {true, 0};
}

// ---- Random lines: every item form, quirks included, leaning to lines that
// fall due often enough for the reference to reach them. ----

class LineMaker {
 public:
  explicit LineMaker(uint32_t seed) : rng_(seed) {}

  int Int(int low, int high) { return std::uniform_int_distribution<int>(low, high)(rng_); }
  bool Chance(int percent) { return Int(1, 100) <= percent; }

  std::string Field(int low, int high, int starPercent) {
    if (Chance(starPercent)) return "*";
    std::string field = Item(low, high);
    while (Chance(25)) field += (Chance(10) ? ",," : ",") + Item(low, high);
    if (Chance(3)) field = "," + field + ",";
    return field;
  }

  std::string Line() {
    std::string hour = Chance(30) ? HourNearChanges() : Field(0, 23, 35);
    std::string line = Field(0, 59, 25) + " " + hour + " " + Field(1, 31, 60) + " " +
                       Field(0, 11, 70) + " " + Field(0, 7, 65);
    if (Chance(5)) line += " command --with args";
    if (Chance(2)) line += "\n";
    return line;
  }

  std::mt19937& rng() { return rng_; }

 private:
  // Values a little outside the range now and then, as lines in use carry.
  int Value(int low, int high) { return Chance(8) ? Int(0, high + 3) : Int(low, high); }

  std::string Item(int low, int high) {
    int a = Value(low, high);
    int b = Value(low, high);
    if (a > b && Chance(85)) std::swap(a, b);
    const std::string A = std::to_string(a), B = std::to_string(b);
    const std::string n = std::to_string(Chance(5) ? 0 : Int(1, 12));
    switch (Int(0, 13)) {
      case 0:
      case 1:
      case 2:
        return A;
      case 3:
      case 4:
        return A + "-" + B;
      case 5:
      case 6:
        return A + "-" + B + "/" + n;
      case 7:
      case 8:
        return "*/" + n;
      case 9:
        return (Chance(50) ? "" : A) + "/" + n;
      case 10:
        return A + "-" + B + "/*";
      case 11: {
        static const char* const kOdd[] = {"mon",  "jan", "4.5", "x",  "*x", "3*", "-2",
                                           "1-2x", "7/",  "*/",  "1-", "L",  "+1"};
        return kOdd[Int(0, 12)];
      }
      case 12:
        return A + "-" + B + "," + std::to_string(high + Int(1, 50));  // 5-10,99
      default:
        return std::to_string(Int(low, high)) + "," + A + "-" + B;
    }
  }

  // Hours that daylight-saving changes skip or repeat somewhere.
  std::string HourNearChanges() {
    static const char* const kHours[] = {"0", "1", "2", "3", "23", "1-3", "0,2", "2-2/2", "*/2"};
    return kHours[Int(0, 8)];
  }

  std::mt19937 rng_;
};

// ---- Zones and instants. ----

// The Windows runtime understands only a name, an offset and a daylight-saving
// name, and applies fixed rules of its own.
std::vector<std::string> Zones() {
  if (orn2::port::ZoneRulesSupported())
    return {"UTC0",
            "CET-1CEST,M3.5.0,M10.5.0/3",
            "EST5EDT",
            "AEST-10AEDT,M10.1.0,M4.1.0/3",      // southern hemisphere
            "ACST-9:30ACDT,M10.1.0,M4.1.0/3",    // half-hour offset
            "LHST-10:30LHDT-11,M10.1.0,M4.1.0",  // half-hour daylight saving
            "<-04>4<-03>,M9.1.6/24,M4.1.6/24"};  // changes at midnight
  return {"UTC0", "EST5EDT", "CET-1CEST", "NST3:30NDT", "IST-5:30"};
}

int64_t OffsetAt(int64_t t) {
  std::tm local;
  if (!orn2::port::LocalTime(t, &local)) return 0;
  // Seconds of the local calendar fields, counted like UTC ones (days from a
  // fixed year suffice: only differences matter).
  int64_t days = 0;
  for (int y = 1970; y < local.tm_year + 1900; ++y)
    days += (y % 4 == 0 && y % 100 != 0) || y % 400 == 0 ? 366 : 365;
  days += local.tm_yday;
  return days * 86400 + local.tm_hour * 3600 + local.tm_min * 60 + local.tm_sec - t;
}

// The instants (to the minute) at which the offset changes during one year.
std::vector<int64_t> Changes(int year) {
  const int64_t start = (static_cast<int64_t>(year) - 1970) * 31556952;  // about 1 January
  std::vector<int64_t> changes;
  int64_t previous = OffsetAt(start);
  for (int64_t t = start + 3600; t < start + 366 * 86400; t += 3600) {
    int64_t offset = OffsetAt(t);
    if (offset == previous) continue;
    int64_t at = t - 3600;
    while (OffsetAt(at) == previous) at += 60;
    changes.push_back(at);
    previous = offset;
  }
  return changes;
}

class CronSearchAgainstReference : public ::testing::TestWithParam<int> {
 protected:
  void SetUp() override {
    const std::vector<std::string> zones = Zones();
    if (GetParam() >= static_cast<int>(zones.size())) GTEST_SKIP() << "no such zone here";
    zone_ = zones[GetParam()];
    orn2::port::SetTimeZone(zone_.c_str());
  }
  void TearDown() override {
    orn2::schedule::ClearCronNowForTesting();
    orn2::port::SetTimeZone(nullptr);
  }

  // Half the instants lie within a day of a daylight-saving change (before it
  // for the forward search, after it for the backward one), the rest anywhere
  // between 1995 and 2060.
  int64_t Instant(LineMaker& maker, bool beforeChange) {
    if (maker.Chance(50)) {
      std::vector<int64_t> changes = Changes(maker.Int(1995, 2055));
      if (!changes.empty()) {
        int64_t change = changes[maker.Int(0, static_cast<int>(changes.size()) - 1)];
        int64_t shift = maker.Int(0, 26 * 3600);
        return beforeChange ? change - shift : change + shift;
      }
    }
    return maker.Int(788918400, 2000000000) + int64_t{maker.Int(0, 840000000)};
  }

  std::string zone_;
};

TEST_P(CronSearchAgainstReference, NextStart) {
  LineMaker maker(1000u + GetParam());
  const int64_t kMaxSteps = 40000;  // four weeks of minutes
  int compared = 0;
  for (int i = 0; i < 500; ++i) {
    const std::string line = maker.Line();
    const int64_t now = Instant(maker, true);
    SCOPED_TRACE(zone_ + " '" + line + "' at " + std::to_string(now));
    orn2::schedule::SetCronNowForTesting(now);
    std::vector<char> text(line.begin(), line.end());
    text.push_back('\0');
    const int64_t fast = static_cast<int64_t>(CronParser().getStartTime(text.data()));
    const Outcome reference = ReferenceStart(line, now, kMaxSteps);
    if (reference.finished) {
      ++compared;
      ASSERT_EQ(fast, reference.result);
    } else {
      // No match within the steps taken: the search must find none there either.
      ASSERT_TRUE(fast == 0 || fast > now + 60 * kMaxSteps) << fast;
    }
  }
  // Most lines fall due within the reference's reach.
  EXPECT_GT(compared, 250);
}

TEST_P(CronSearchAgainstReference, LastStart) {
  LineMaker maker(2000u + GetParam());
  int found = 0;
  for (int i = 0; i < 500; ++i) {
    const std::string line = maker.Line();
    const int64_t now = Instant(maker, false);
    const int count = maker.Chance(20) ? maker.Int(1, 90) : maker.Int(1, 40000);
    SCOPED_TRACE(zone_ + " '" + line + "' at " + std::to_string(now) + " count " +
                 std::to_string(count));
    orn2::schedule::SetCronNowForTesting(now);
    std::vector<char> text(line.begin(), line.end());
    text.push_back('\0');
    const int64_t fast = static_cast<int64_t>(CronParser().getLastStartTime(text.data(), count));
    const Outcome reference = ReferenceLast(line, now, count);
    ASSERT_EQ(fast, reference.result);
    if (fast != 0) ++found;
  }
  EXPECT_GT(found, 150);
}

// The searches read each field once into a set of values; the set must hold
// exactly the values that matching them one by one accepts.
TEST(CronFieldSets, AgreeWithMatchingValueByValue) {
  LineMaker maker(77u);
  struct Range {
    int low, high;
  };
  const Range ranges[] = {{0, 59}, {0, 23}, {1, 31}, {0, 11}, {1, 12}, {0, 6}};
  for (int i = 0; i < 20000; ++i) {
    const Range r = ranges[i % 6];
    const std::string field = maker.Field(r.low, r.high, 5);
    SCOPED_TRACE(field);
    const uint64_t set = orn2::schedule::MatchedValues(field.c_str(), r.low, r.high);
    for (int v = r.low; v <= r.high; ++v)
      ASSERT_EQ((set >> v) & 1, static_cast<uint64_t>(MatchField(field.c_str(), v))) << v;
  }
}

INSTANTIATE_TEST_SUITE_P(Zones, CronSearchAgainstReference, ::testing::Range(0, 7));

}  // namespace
