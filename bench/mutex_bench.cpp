// Uncontended Acquire + Release of a named and an anonymous Mutex, and of a
// WinGuard, against an in-process recursive pthread mutex measured in the same
// run (the Log takes a named mutex for every line); the cost of opening and
// closing a named mutex, as its only user (its object is created and removed
// each time) and while another process keeps it open.
//
// The cases run twice: first while the process has one thread (where the C
// library, and the anonymous Mutex, skip atomic instructions), then with a
// second thread alive, as in a service with workers ("/threaded").
#include <benchmark/benchmark.h>
#include <liborn2/mutex.h>

#include <chrono>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>

#include "port/clock.h"
#include "port/process.h"
#include "support/process.h"

namespace {

std::string UniqueName(const char* tag) {
  return std::string("orn2 bench ") + tag + "/" + std::to_string(orn2::port::ProcessId());
}

// The baseline: std::recursive_mutex is a recursive pthread mutex on POSIX.
void RecursivePthreadMutex(benchmark::State& state) {
  std::recursive_mutex m;
  for (auto _ : state) {
    m.lock();
    m.unlock();
  }
}

void AnonymousMutex(benchmark::State& state) {
  Mutex m;
  for (auto _ : state) {
    m.Acquire();
    m.Release();
  }
}

void NamedMutex(benchmark::State& state) {
  Mutex m(UniqueName("named").c_str());
  for (auto _ : state) {
    m.Acquire();
    m.Release();
  }
}

void GuardOnNamedMutex(benchmark::State& state) {
  Mutex m(UniqueName("guard").c_str());
  for (auto _ : state) {
    Guard g(m);
    benchmark::ClobberMemory();
  }
}

void WinGuardLockUnlock(benchmark::State& state) {
  WinGuard section;
  for (auto _ : state) {
    section.Lock();
    section.Unlock();
  }
}

// Creation and closing of a named mutex: the one place with system calls.
void NamedMutexCreateAndClose(benchmark::State& state) {
  std::string name = UniqueName("create");
  for (auto _ : state) {
    Mutex m(name.c_str());
    benchmark::DoNotOptimize(static_cast<void**>(m));
  }
}

// The program started again with this switch and a name holds that named
// mutex open (without taking it) until it is killed.
constexpr char kHoldSwitch[] = "--hold-named-mutex";

void NamedMutexOpenAndCloseInUse(benchmark::State& state) {
  std::string name = UniqueName("in use");
  orn2::testing::ProcessHandle* holder =
      orn2::testing::SpawnProcess(orn2::testing::SelfPath(), {kHoldSwitch, name});
  orn2::port::SleepMs(300);  // time to open it
  for (auto _ : state) {
    Mutex m(name.c_str());
    benchmark::DoNotOptimize(static_cast<void**>(m));
  }
  orn2::testing::KillProcess(holder);
  orn2::testing::WaitProcess(holder, -1, nullptr);
  orn2::testing::CloseProcess(holder);
}

// A second thread that only sleeps, so that the process is multi-threaded from
// the first "/threaded" case on (the C library never goes back).
void EnsureSecondThread() {
  static bool started = false;
  if (started) return;
  started = true;
  std::thread([] {
    for (;;) std::this_thread::sleep_for(std::chrono::hours(1));
  }).detach();
}

template <void (*Body)(benchmark::State&)>
void Threaded(benchmark::State& state) {
  EnsureSecondThread();
  Body(state);
}

}  // namespace

// Registration order is run order: every single-threaded case comes first.
BENCHMARK(RecursivePthreadMutex);
BENCHMARK(AnonymousMutex);
BENCHMARK(NamedMutex);
BENCHMARK(GuardOnNamedMutex);
BENCHMARK(WinGuardLockUnlock);
BENCHMARK(NamedMutexCreateAndClose);
BENCHMARK(NamedMutexOpenAndCloseInUse);
BENCHMARK_TEMPLATE(Threaded, RecursivePthreadMutex)->Name("RecursivePthreadMutex/threaded");
BENCHMARK_TEMPLATE(Threaded, AnonymousMutex)->Name("AnonymousMutex/threaded");
BENCHMARK_TEMPLATE(Threaded, NamedMutex)->Name("NamedMutex/threaded");
BENCHMARK_TEMPLATE(Threaded, GuardOnNamedMutex)->Name("GuardOnNamedMutex/threaded");
BENCHMARK_TEMPLATE(Threaded, WinGuardLockUnlock)->Name("WinGuard/threaded");

int main(int argc, char** argv) {
  if (argc == 3 && std::strcmp(argv[1], kHoldSwitch) == 0) {
    Mutex held(argv[2]);
    for (;;) orn2::port::SleepMs(1000);
  }
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
