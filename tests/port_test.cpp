// The platform layer's own pieces that every family leans on: local time under
// an explicit zone, thread ids, and child processes with their exit codes.
#include <gtest/gtest.h>

#include <thread>

#include "port/clock.h"
#include "port/process.h"
#include "support/child.h"

namespace {

using orn2::testing::ChildProcess;

ORN2_CHILD(ExitWith) { return std::stoi(args.at(0)); }

ORN2_CHILD(EchoArgs) {
  // Arguments survive the command line unchanged, blanks and quotes included.
  return (args.size() == 3 && args[0] == "a b" && args[1] == "q\"uote" && args[2] == "tail\\") ? 0
                                                                                               : 1;
}

ORN2_CHILD(Forever) {
  for (;;) orn2::port::SleepMs(1000);
}

TEST(PortClock, LocalTimeFollowsTheZoneSet) {
  struct Case {
    const char* tz;
    int64_t instant;
    int year, month, day, hour, minute, isdst;
  };
  const Case cases[] = {
      {"UTC0", 0, 1970, 0, 1, 0, 0, 0},
      {"CET-1CEST,M3.5.0,M10.5.0/3", 1719835200, 2024, 6, 1, 14, 0, 1},  // 2024-07-01 12:00Z
      {"CET-1CEST,M3.5.0,M10.5.0/3", 1704110400, 2024, 0, 1, 13, 0, 0},  // 2024-01-01 12:00Z
      {"EST5EDT", 1719835200, 2024, 6, 1, 8, 0, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.tz);
    orn2::port::SetTimeZone(c.tz);
    std::tm tm{};
    ASSERT_TRUE(orn2::port::LocalTime(c.instant, &tm));
    EXPECT_EQ(tm.tm_year + 1900, c.year);
    EXPECT_EQ(tm.tm_mon, c.month);
    EXPECT_EQ(tm.tm_mday, c.day);
    EXPECT_EQ(tm.tm_hour, c.hour);
    EXPECT_EQ(tm.tm_min, c.minute);
    EXPECT_EQ(tm.tm_isdst > 0 ? 1 : 0, c.isdst);
  }
  orn2::port::SetTimeZone(nullptr);
}

TEST(PortProcess, ThreadIdsDifferBetweenThreads) {
  unsigned long mine = orn2::port::CurrentThreadId();
  unsigned long other = 0;
  std::thread([&] { other = orn2::port::CurrentThreadId(); }).join();
  EXPECT_NE(mine, 0u);
  EXPECT_NE(mine, other);
  EXPECT_EQ(mine, orn2::port::CurrentThreadId());
}

TEST(PortProcess, ChildExitCodesAndArguments) {
  for (int code : {0, 3, 42}) {
    ChildProcess child("ExitWith", {std::to_string(code)});
    ASSERT_TRUE(child.Started());
    int got = -1;
    ASSERT_TRUE(child.Wait(30000, &got));
    EXPECT_EQ(got, code);
  }
  ChildProcess echo("EchoArgs", {"a b", "q\"uote", "tail\\"});
  int got = -1;
  ASSERT_TRUE(echo.Wait(30000, &got));
  EXPECT_EQ(got, 0);
}

TEST(PortProcess, KillEndsAChildThatNeverReturns) {
  ChildProcess child("Forever");
  ASSERT_TRUE(child.Started());
  EXPECT_FALSE(child.Wait(200, nullptr));
  child.Kill();
  int got = 0;
  ASSERT_TRUE(child.Wait(30000, &got));
  EXPECT_NE(got, 0);
}

}  // namespace
