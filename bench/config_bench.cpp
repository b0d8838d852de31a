// Configuration store: lookups at the start, middle and end of a 10,000-key
// file against a bare stat() of the same file (each lookup reads the file's
// status once, so a stat is its floor), loading against a minimal INI parser
// that fills a hash map, and saving a small and a large store. The ratios are
// printed after the table.
#include <benchmark/benchmark.h>
#include <liborn2/config.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <unordered_map>

#include "port/fs.h"

namespace {

constexpr int kSections = 200;
constexpr int kKeysPerSection = 50;

const std::string& ConfigPath() {
  static const std::string path = [] {
    std::filesystem::path file = std::filesystem::temp_directory_path() / "orn2-config-bench.cfg";
    std::FILE* out = std::fopen(file.string().c_str(), "wt");
    for (int s = 0; s < kSections; ++s) {
      std::fprintf(out, "\n[section%03d]\n", s);
      for (int k = 0; k < kKeysPerSection; ++k)
        std::fprintf(out, "    key%02d=value-%d-%d\n", k, s, k);
    }
    std::fclose(out);
    return file.string();
  }();
  return path;
}

void BM_Stat(benchmark::State& state) {
  const char* path = ConfigPath().c_str();
  orn2::port::FileStatus status{};
  for (auto _ : state) {
    benchmark::DoNotOptimize(orn2::port::StatFile(path, &status));
  }
}
BENCHMARK(BM_Stat);

void Lookup(benchmark::State& state, const char* section, const char* key) {
  Config config(ConfigPath().c_str());
  char buffer[Config::kValueSize];
  for (auto _ : state) {
    benchmark::DoNotOptimize(config.GetString(key, buffer, sizeof buffer, section));
  }
  if (std::strncmp(buffer, "value-", 6) != 0) state.SkipWithError("key not found");
}
BENCHMARK_CAPTURE(Lookup, start, "section000", "key00");
BENCHMARK_CAPTURE(Lookup, middle, "section100", "key25");
BENCHMARK_CAPTURE(Lookup, end, "section199", "key49");

void BM_Load(benchmark::State& state) {
  for (auto _ : state) {
    Config config(ConfigPath().c_str());
    benchmark::DoNotOptimize(config.IsConfigLoadedOk());
  }
}
BENCHMARK(BM_Load)->Unit(benchmark::kMicrosecond);

// The yardstick: the least an INI parser does, into a hash map keyed by
// "section/key". Case, comments and the other rules of the store are ignored.
std::unordered_map<std::string, std::string> ParseMinimalIni(const char* path) {
  std::unordered_map<std::string, std::string> map;
  std::FILE* in = std::fopen(path, "rt");
  if (in == nullptr) return map;
  char line[1024];
  std::string section;
  while (std::fgets(line, sizeof line, in) != nullptr) {
    char* p = line;
    while (*p == ' ' || *p == '\t') ++p;
    if (*p == '[') {
      char* end = std::strchr(p, ']');
      section.assign(p + 1, end != nullptr ? end : p + std::strlen(p));
      continue;
    }
    char* eq = std::strchr(p, '=');
    if (eq == nullptr) continue;
    char* end = eq + std::strcspn(eq, "\r\n");
    map[section + "/" + std::string(p, eq)] = std::string(eq + 1, end);
  }
  std::fclose(in);
  return map;
}

void BM_MinimalIniLoad(benchmark::State& state) {
  for (auto _ : state) {
    auto map = ParseMinimalIni(ConfigPath().c_str());
    benchmark::DoNotOptimize(map.size());
  }
}
BENCHMARK(BM_MinimalIniLoad)->Unit(benchmark::kMicrosecond);

// A save of a store of state.range(0) keys in sections of 50, to a file of
// its own beside which the ".New", ".Prev" and ".Save" names come and go: the
// whole protocol, the flush to disk included.
void BM_Save(benchmark::State& state) {
  const std::string path =
      (std::filesystem::temp_directory_path() / "orn2-config-bench-save.cfg").string();
  Config config;
  for (int k = 0; k < state.range(0); ++k) {
    config.SetStringAtTail(("key" + std::to_string(k % kKeysPerSection)).c_str(),
                           ("value-" + std::to_string(k)).c_str(), 0,
                           ("section" + std::to_string(k / kKeysPerSection)).c_str());
  }
  for (auto _ : state) {
    if (config.SaveConfig(path.c_str()) != 0) state.SkipWithError("save failed");
  }
  for (const char* suffix : {"", ".Save", ".New", ".Prev"}) std::remove((path + suffix).c_str());
}
BENCHMARK(BM_Save)->Arg(20)->Arg(kSections* kKeysPerSection)->Unit(benchmark::kMicrosecond);

// Keeps each benchmark's real time per iteration (in nanoseconds) for the ratios.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      if (run.run_type != Run::RT_Iteration || run.error_occurred) continue;
      double toNs = 1e9 / benchmark::GetTimeUnitMultiplier(run.time_unit);
      real_[run.benchmark_name()] = run.GetAdjustedRealTime() * toNs;
      cpu_[run.benchmark_name()] = run.GetAdjustedCPUTime() * toNs;
    }
    ConsoleReporter::ReportRuns(runs);
  }
  // Nanoseconds per iteration, wall clock or the thread's CPU time.
  double Real(const std::string& name) const { return Find(real_, name); }
  double Cpu(const std::string& name) const { return Find(cpu_, name); }

 private:
  static double Find(const std::map<std::string, double>& map, const std::string& name) {
    auto found = map.find(name);
    return found == map.end() ? 0.0 : found->second;
  }
  std::map<std::string, double> real_;
  std::map<std::string, double> cpu_;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  // Ratios by wall clock and by CPU time (the latter is steadier on a busy machine).
  auto ratio = [&](const std::string& a, const std::string& b, const char* label) {
    double realB = reporter.Real(b), cpuB = reporter.Cpu(b);
    if (realB <= 0 || cpuB <= 0) return;
    std::printf("  %-30s real %.2f (%.0f / %.0f ns)   cpu %.2f (%.0f / %.0f ns)\n", label,
                reporter.Real(a) / realB, reporter.Real(a), realB, reporter.Cpu(a) / cpuB,
                reporter.Cpu(a), cpuB);
  };
  std::printf("\nratios (goals: lookup/stat < 1.5, load/minimal <= 1.0):\n");
  ratio("Lookup/start", "BM_Stat", "lookup at start / stat");
  ratio("Lookup/middle", "BM_Stat", "lookup at middle / stat");
  ratio("Lookup/end", "BM_Stat", "lookup at end / stat");
  ratio("BM_Load", "BM_MinimalIniLoad", "load / minimal INI parser");
  std::remove(ConfigPath().c_str());
  return 0;
}
