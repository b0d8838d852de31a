// getStartTime against the minute-by-minute definition it replaces: a yearly
// line evaluated on 2 January (about a year to search), a quarter-hourly line,
// and a line that never falls due. Each benchmark times the fast search; the
// counters give one run of the stepping reference, measured in the same run, and
// the ratio between the two. getStartTimeAfter is timed beside the yearly line.

#include <benchmark/benchmark.h>
#include <liborn2/cron.h>

#include <chrono>
#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

#include "port/clock.h"
#include "schedule/cron_clock.h"
#include "schedule/cron_fields.h"
#include "schedule/cron_search.h"
#include "support/system.h"

namespace {

constexpr int64_t kSecondJanuary2024 = 1704153600 + 3600 * 9 + 17;  // 2024-01-02 09:00:17 UTC
constexpr int64_t kMinutesPerYear = 525600;

// The definition: one local-time conversion and one parse per candidate minute.
int64_t ReferenceStart(const char* line, int64_t now, int64_t maxSteps) {
  constexpr int kSize = CronParser::kFieldSize;
  for (int64_t t = now + 60; t <= now + 60 * maxSteps; t += 60) {
    std::tm local;
    if (!orn2::port::LocalTime(t, &local)) return 0;
    char fields[5][kSize];
    const char* position = line;
    bool parsed = true;
    for (auto& field : fields) {
      position = orn2::schedule::ScanField(field, kSize, position);
      if (position == nullptr) {
        parsed = false;
        break;
      }
    }
    using orn2::schedule::MatchField;
    if (parsed && MatchField(fields[0], local.tm_min) && MatchField(fields[1], local.tm_hour) &&
        MatchField(fields[2], local.tm_mday) && MatchField(fields[3], local.tm_mon) &&
        MatchField(fields[4], local.tm_wday))
      return t;
  }
  return 0;
}

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
  int64_t expected = ReferenceStart(text, kSecondJanuary2024, steps);
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
