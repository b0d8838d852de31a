// getStartTime against the minute-by-minute definition it replaces: a yearly
// line evaluated on 2 January (about a year to search), a quarter-hourly line,
// and a line that never falls due. Each benchmark times the fast search; the
// counters give one run of the stepping reference, measured in the same run, and
// the ratio between the two. getStartTimeAfter is timed beside the yearly line.

#include <benchmark/benchmark.h>
#include <liborn2/cron.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "schedule/cron_clock.h"
#include "schedule/cron_search.h"
#include "support/cron_reference.h"
#include "support/system.h"

namespace {

constexpr int64_t kSecondJanuary2024 = 1704153600 + 3600 * 9 + 17;  // 2024-01-02 09:00:17 UTC
constexpr int64_t kMinutesPerYear = 525600;

void RunStart(benchmark::State& state, const char* text, bool neverDue) {
  orn2::testing::SetTimeZone(orn2::testing::ZoneRulesSupported() ? "CET-1CEST,M3.5.0,M10.5.0/3"
                                                                 : "CET-1CEST");
  orn2::schedule::SetCronNowForTesting(kSecondJanuary2024);
  std::vector<char> line(text, text + std::string(text).size() + 1);

  // The reference once. A never-due line would keep it stepping until the year
  // 3000: it is timed over one year and the whole is extrapolated.
  const int64_t steps =
      neverDue ? kMinutesPerYear : (orn2::schedule::kLastSearchInstant - kSecondJanuary2024) / 60;
  auto begin = std::chrono::steady_clock::now();
  // One local-time conversion and one parse per candidate minute; 0 for none.
  const int64_t expected = std::max<int64_t>(
      0, orn2::testing::CronReference(text, kSecondJanuary2024 + 60, 60, steps, 0));
  double referenceUs =
      std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - begin).count();
  if (neverDue)
    referenceUs *= static_cast<double>(orn2::schedule::kLastSearchInstant - kSecondJanuary2024) /
                   (60.0 * kMinutesPerYear);

  CronParser parser;
  unsigned long got = 0;
  auto fastBegin = std::chrono::steady_clock::now();
  int64_t iterations = 0;
  for (auto _ : state) {
    got = parser.getStartTime(line.data());
    benchmark::DoNotOptimize(got);
    ++iterations;
  }
  double fastUs =
      std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - fastBegin)
          .count() /
      static_cast<double>(iterations > 0 ? iterations : 1);
  if (got != static_cast<unsigned long>(static_cast<uint32_t>(expected)))
    state.SkipWithError("the search and the reference disagree");
  state.counters["reference_us"] = referenceUs;
  state.counters["reference_ratio"] = referenceUs / fastUs;
  orn2::schedule::ClearCronNowForTesting();
  orn2::testing::SetTimeZone(nullptr);
}

// getStartTimeAfter asked for the same instant: the same search without the
// clock, so it should cost what BM_StartYearly does.
void BM_StartAfterYearly(benchmark::State& state) {
  orn2::testing::SetTimeZone(orn2::testing::ZoneRulesSupported() ? "CET-1CEST,M3.5.0,M10.5.0/3"
                                                                 : "CET-1CEST");
  orn2::schedule::SetCronNowForTesting(kSecondJanuary2024);
  char line[] = "0 0 1 0 *";
  CronParser parser;
  const long long expected = parser.getStartTime(line);
  long long got = 0;
  for (auto _ : state) {
    got = parser.getStartTimeAfter(line, kSecondJanuary2024);
    benchmark::DoNotOptimize(got);
  }
  if (got != expected) state.SkipWithError("getStartTimeAfter and getStartTime disagree");
  orn2::schedule::ClearCronNowForTesting();
  orn2::testing::SetTimeZone(nullptr);
}

void BM_StartYearly(benchmark::State& state) { RunStart(state, "0 0 1 0 *", false); }
void BM_StartQuarterHourly(benchmark::State& state) { RunStart(state, "*/15 * * * *", false); }
void BM_StartNeverDue(benchmark::State& state) { RunStart(state, "0 0 30 1 *", true); }

BENCHMARK(BM_StartYearly)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_StartAfterYearly)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_StartQuarterHourly)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_StartNeverDue)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
