// What a log line costs next to the open-append-write-close that it is built
// on, and what a line rejected by the level test costs.
#include <benchmark/benchmark.h>
#include <liborn2/log.h>

#include <cstdio>
#include <filesystem>
#include <string>

namespace {

// The 80-character message of every line.
const std::string kMessage =
    "Poll of 10.0.0.1:8080 finished: 42 records, 3 retries, queue depth 17, status OK";

std::string BenchFile(const char* name) {
  return (std::filesystem::temp_directory_path() / name).string();
}

// The floor: the same finished line appended by a bare open, write and close.
void BM_BareAppend(benchmark::State& state) {
  std::string path = BenchFile("orn2_bench_bare.log");
  std::remove(path.c_str());
  std::string line = "[2026/12/03 23:10.39][  Poller] [ThreadId:2140] " + kMessage + "\n";
  for (auto _ : state) {
    FILE* file = std::fopen(path.c_str(), "a+t");
    std::fputs(line.c_str(), file);
    std::fclose(file);
  }
  std::remove(path.c_str());
}
BENCHMARK(BM_BareAppend);

void BM_LogLine(benchmark::State& state) {
  std::string path = BenchFile("orn2_bench_log.log");
  std::remove(path.c_str());
  Log log("Poller");
  log.EnableLog(path.c_str(), 3);
  for (auto _ : state) benchmark::DoNotOptimize(log.LogLine(3, "%s", kMessage.c_str()));
  std::remove(path.c_str());
}
BENCHMARK(BM_LogLine);

// Level 4 on a log of level 3: dropped before the lock and the formatting.
void BM_LogLineRejected(benchmark::State& state) {
  std::string path = BenchFile("orn2_bench_off.log");
  std::remove(path.c_str());
  Log log("Poller");
  log.EnableLog(path.c_str(), 3);
  for (auto _ : state) benchmark::DoNotOptimize(log.LogLine(4, "%s %d", kMessage.c_str(), 42));
  std::remove(path.c_str());
}
BENCHMARK(BM_LogLineRejected);

}  // namespace

BENCHMARK_MAIN();
