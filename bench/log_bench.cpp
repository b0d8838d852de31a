// What a log line costs next to the open-append-write-close that it is built
// on, both through stdio and through the system's own calls, and what a line
// rejected by the level test costs; with rotation on, what a line that does
// not rotate costs, and what a line that rotates the file costs. The raw baseline calls the POSIX
// system directly: the benchmarks are built on POSIX only.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <liborn2/log.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
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

const std::string kLine = "[2026/12/03 23:10.39][  Poller] [ThreadId:2140] " + kMessage + "\n";

// The same finished line appended through stdio, as the log once did it.
void BM_BareAppend(benchmark::State& state) {
  std::string path = BenchFile("orn2_bench_bare.log");
  std::remove(path.c_str());
  for (auto _ : state) {
    FILE* file = std::fopen(path.c_str(), "a+t");
    std::fputs(kLine.c_str(), file);
    std::fclose(file);
  }
  std::remove(path.c_str());
}
BENCHMARK(BM_BareAppend);

// The floor: the same line appended by the bare system calls, open, one write
// and close, without the checks the log makes.
void BM_RawAppend(benchmark::State& state) {
  std::string path = BenchFile("orn2_bench_raw.log");
  std::remove(path.c_str());
  for (auto _ : state) {
    int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
    benchmark::DoNotOptimize(::write(fd, kLine.data(), kLine.size()));
    ::close(fd);
  }
  std::remove(path.c_str());
}
BENCHMARK(BM_RawAppend);

// The same with the lock every writer of the file shares, whatever its user:
// open, flock, one write and close, the floor of a line that is serialised
// across processes.
void BM_RawFlockAppend(benchmark::State& state) {
  std::string path = BenchFile("orn2_bench_flock.log");
  std::remove(path.c_str());
  for (auto _ : state) {
    int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
    ::flock(fd, LOCK_EX);
    benchmark::DoNotOptimize(::write(fd, kLine.data(), kLine.size()));
    ::close(fd);
  }
  std::remove(path.c_str());
}
BENCHMARK(BM_RawFlockAppend);

// A line through LogLine, the bare open+write+close and the open+flock+write+
// close of the same line in turn, each timed on its own: what a busy machine
// does to one it does to all three, so the ratios hold better than those of
// separate runs.
void BM_LogLineAgainstRawInTurn(benchmark::State& state) {
  std::string logPath = BenchFile("orn2_bench_turn_log.log");
  std::string rawPath = BenchFile("orn2_bench_turn_raw.log");
  std::string flockPath = BenchFile("orn2_bench_turn_flock.log");
  for (const std::string& path : {logPath, rawPath, flockPath}) std::remove(path.c_str());
  Log log("Poller");
  log.EnableLog(logPath.c_str(), 3);
  using Clock = std::chrono::steady_clock;
  Clock::duration logTime{}, rawTime{}, flockTime{};
  for (auto _ : state) {
    Clock::time_point start = Clock::now();
    benchmark::DoNotOptimize(log.LogLine(3, "%s", kMessage.c_str()));
    Clock::time_point raw = Clock::now();
    int fd = ::open(rawPath.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
    benchmark::DoNotOptimize(::write(fd, kLine.data(), kLine.size()));
    ::close(fd);
    Clock::time_point locked = Clock::now();
    fd = ::open(flockPath.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
    ::flock(fd, LOCK_EX);
    benchmark::DoNotOptimize(::write(fd, kLine.data(), kLine.size()));
    ::close(fd);
    Clock::time_point end = Clock::now();
    logTime += raw - start;
    rawTime += locked - raw;
    flockTime += end - locked;
  }
  const double lines = static_cast<double>(state.iterations());
  state.counters["log_ns"] = std::chrono::duration<double, std::nano>(logTime).count() / lines;
  state.counters["log/raw"] = static_cast<double>(logTime.count()) / rawTime.count();
  state.counters["log/flock"] = static_cast<double>(logTime.count()) / flockTime.count();
  for (const std::string& path : {logPath, rawPath, flockPath}) std::remove(path.c_str());
}
BENCHMARK(BM_LogLineAgainstRawInTurn);

// Eight processes writing 2,000 lines each into one file at once, through
// open+flock+write+close per line (range 0) or through LogLine (range 1);
// one iteration is the whole run, timed on the wall clock.
void BM_EightProcesses(benchmark::State& state) {
  const bool throughLog = state.range(0) == 1;
  std::string path =
      BenchFile(throughLog ? "orn2_bench_eight_log.log" : "orn2_bench_eight_raw.log");
  constexpr int kProcesses = 8, kLines = 2000;
  for (auto _ : state) {
    std::remove(path.c_str());
    pid_t children[kProcesses];
    for (pid_t& child : children) {
      child = ::fork();
      if (child != 0) continue;
      if (throughLog) {
        Log log("Poller");
        log.EnableLog(path.c_str(), 3);
        for (int i = 0; i < kLines; ++i) log.LogLine(3, "%s", kMessage.c_str());
      } else {
        for (int i = 0; i < kLines; ++i) {
          int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
          ::flock(fd, LOCK_EX);
          benchmark::DoNotOptimize(::write(fd, kLine.data(), kLine.size()));
          ::close(fd);
        }
      }
      ::_exit(0);
    }
    for (pid_t child : children) ::waitpid(child, nullptr, 0);
  }
  std::remove(path.c_str());
}
BENCHMARK(BM_EightProcesses)->Arg(0)->Arg(1)->UseRealTime()->Unit(benchmark::kMillisecond);

void BM_LogLine(benchmark::State& state) {
  std::string path = BenchFile("orn2_bench_log.log");
  std::remove(path.c_str());
  Log log("Poller");
  log.EnableLog(path.c_str(), 3);
  for (auto _ : state) benchmark::DoNotOptimize(log.LogLine(3, "%s", kMessage.c_str()));
  std::remove(path.c_str());
}
BENCHMARK(BM_LogLine);

// Rotation on, with a threshold that the run never reaches: the size comes
// from the open that every line makes anyway.
void BM_LogLineRotationOn(benchmark::State& state) {
  std::string path = BenchFile("orn2_bench_rotation_on.log");
  std::remove(path.c_str());
  Log log("Poller");
  log.EnableLog(path.c_str(), 3);
  log.SetRotation(1LL << 40, 5);
  for (auto _ : state) benchmark::DoNotOptimize(log.LogLine(3, "%s", kMessage.c_str()));
  std::remove(path.c_str());
}
BENCHMARK(BM_LogLineRotationOn);

// The two of them in one loop, a line with rotation off and one with rotation
// on in turn, each timed on its own: what a busy machine does to one run it
// does to both, so the ratio counter holds better than that of two runs.
void BM_LogLineRotationOffOnInTurn(benchmark::State& state) {
  std::string offPath = BenchFile("orn2_bench_turn_off.log");
  std::string onPath = BenchFile("orn2_bench_turn_on.log");
  std::remove(offPath.c_str());
  std::remove(onPath.c_str());
  Log off("Poller"), on("Poller");
  off.EnableLog(offPath.c_str(), 3);
  on.EnableLog(onPath.c_str(), 3);
  on.SetRotation(1LL << 40, 5);
  using Clock = std::chrono::steady_clock;
  Clock::duration offTime{}, onTime{};
  for (auto _ : state) {
    Clock::time_point start = Clock::now();
    benchmark::DoNotOptimize(off.LogLine(3, "%s", kMessage.c_str()));
    Clock::time_point middle = Clock::now();
    benchmark::DoNotOptimize(on.LogLine(3, "%s", kMessage.c_str()));
    Clock::time_point end = Clock::now();
    offTime += middle - start;
    onTime += end - middle;
  }
  const double lines = static_cast<double>(state.iterations());
  state.counters["off_ns"] = std::chrono::duration<double, std::nano>(offTime).count() / lines;
  state.counters["on_ns"] = std::chrono::duration<double, std::nano>(onTime).count() / lines;
  state.counters["on/off"] = static_cast<double>(onTime.count()) / offTime.count();
  std::remove(offPath.c_str());
  std::remove(onPath.c_str());
}
BENCHMARK(BM_LogLineRotationOffOnInTurn);

// Every line rotates: a threshold below the header and one line, with
// state.range(0) rotated files kept (all of them there after the first few
// lines, so each rotation renames them all).
void BM_LogLineRotating(benchmark::State& state) {
  std::string path = BenchFile("orn2_bench_rotating.log");
  const int keep = static_cast<int>(state.range(0));
  auto removeAll = [&] {
    std::remove(path.c_str());
    for (int n = 1; n <= keep; ++n) std::remove((path + "." + std::to_string(n)).c_str());
  };
  removeAll();
  Log log("Poller");
  log.EnableLog(path.c_str(), 3);
  log.SetRotation(100, keep);
  for (auto _ : state) benchmark::DoNotOptimize(log.LogLine(3, "%s", kMessage.c_str()));
  removeAll();
}
BENCHMARK(BM_LogLineRotating)->Arg(1)->Arg(5)->Arg(20);

// The same 80-character message put together by printf directives, which
// "%s" alone does not need.
void BM_LogLineFormatted(benchmark::State& state) {
  std::string path = BenchFile("orn2_bench_format.log");
  std::remove(path.c_str());
  Log log("Poller");
  log.EnableLog(path.c_str(), 3);
  for (auto _ : state) {
    benchmark::DoNotOptimize(
        log.LogLine(3, "Poll of %s finished: %d records, %d retries, queue depth %d, status %s",
                    "10.0.0.1:8080", 42, 3, 17, "OK"));
  }
  std::remove(path.c_str());
}
BENCHMARK(BM_LogLineFormatted);

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
