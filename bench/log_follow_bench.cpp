// What orn log follow costs per entry next to orn log parse, on the same file
// of 20,000 entries of every kind (plain lines, errors, messages with line
// ends of their own, hex dumps): both read the whole file and produce each
// entry's JSON object; the follower also groups the lines into entries itself
// and looks at the file's identity when it reaches the end.
#include <benchmark/benchmark.h>
#include <liborn2/log.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "tools/orn/log_follow.h"
#include "tools/orn/log_parse.h"

namespace {

constexpr int kEntries = 20000;

const std::string& BenchLog() {
  static const std::string path = [] {
    std::string file = (std::filesystem::temp_directory_path() / "orn2_bench_follow.log").string();
    std::remove(file.c_str());
    Log log("Poller");
    log.EnableLog(file.c_str(), 5);
    char bytes[48] = "packet bytes";
    for (int i = 0; i < kEntries; ++i) {
      if (i % 50 == 49) {
        log.Dump(bytes, sizeof bytes, "Packet");
      } else if (i % 10 == 3) {
        log.LogLine(1, "Poll of 10.0.0.1:8080 failed: %d\nretrying in %d s", i, 5);
      } else {
        log.LogLine(3, "Poll of 10.0.0.1:8080 finished: %d records, 3 retries, status OK", i);
      }
    }
    return file;
  }();
  return path;
}

void BM_ParseJson(benchmark::State& state) {
  const std::string& path = BenchLog();
  size_t bytes = 0;
  for (auto _ : state) {
    std::ifstream in(path, std::ios::binary);
    orn::LogReader reader(in);
    orn::LogEntry entry;
    std::string out;
    while (reader.Next(entry) == orn::LogReader::kEntry) {
      out += orn::EntryToJson(entry);
      out += '\n';
    }
    bytes += out.size();
    benchmark::DoNotOptimize(out);
  }
  state.SetItemsProcessed(state.iterations() * kEntries);
  state.counters["json_bytes"] = static_cast<double>(bytes / state.iterations());
}
BENCHMARK(BM_ParseJson)->Unit(benchmark::kMillisecond);

void BM_FollowJson(benchmark::State& state) {
  const std::string& path = BenchLog();
  size_t bytes = 0;
  for (auto _ : state) {
    orn::LogFollower follower(path, orn::LogFollower::Format::kJson);
    follower.StartAtBeginning();
    std::string out;
    while (follower.Poll(out)) {
    }
    // The last entry: what the quiet file gives under the writers' mutex.
    for (int i = 0; i < orn::LogFollower::kQuietPolls; ++i) follower.Poll(out);
    bytes += out.size();
    benchmark::DoNotOptimize(out);
  }
  state.SetItemsProcessed(state.iterations() * kEntries);
  state.counters["json_bytes"] = static_cast<double>(bytes / state.iterations());
}
BENCHMARK(BM_FollowJson)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
