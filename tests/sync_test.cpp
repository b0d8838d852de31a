// Mutex, Guard and WinGuard: recursion, probing, exclusion within a process and
// across processes, abandonment, the static constructor and shared handles.
// The tests link the library's static twin, so its classes are not imported
// from a DLL here.
#ifndef ORN2_STATIC
#define ORN2_STATIC
#endif
#include <gtest/gtest.h>
#include <liborn2/mutex.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <future>
#include <stdexcept>
#include <string>
#include <thread>

#include "port/clock.h"
#include "port/process.h"
#include "support/child.h"
#include "support/temp_dir.h"

namespace {

using orn2::testing::ChildProcess;
using orn2::testing::TempDir;

constexpr int kTimeoutMs = 20000;

// A name of its own for each test and process, so that parallel runs never meet.
std::string UniqueName(const std::string& tag) {
  const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
  return std::string("orn2 test/") + (info != nullptr ? info->name() : "child") + "/" + tag + "/" +
         std::to_string(orn2::port::ProcessId());
}

// TryLock as seen from another thread: -1 while anyone but that thread holds it.
int TryLockElsewhere(Mutex& m) {
  int result = 0;
  std::thread([&] { result = m.TryLock(); }).join();
  return result;
}

// Runs Acquire+Release on another thread; true when it got the lock within
// timeoutMs. A thread still blocked is left behind (the test has failed then).
bool AcquiresElsewhere(Mutex& m, int timeoutMs) {
  auto done = std::make_shared<std::promise<void>>();
  std::future<void> got = done->get_future();
  std::thread([&m, done] {
    m.Acquire();
    m.Release();
    done->set_value();
  }).detach();
  return got.wait_for(std::chrono::milliseconds(timeoutMs)) == std::future_status::ready;
}

bool WaitForFile(const std::string& path, int timeoutMs) {
  for (int waited = 0; waited < timeoutMs; waited += 5) {
    if (std::filesystem::exists(path)) return true;
    orn2::port::SleepMs(5);
  }
  return false;
}

TEST(Mutex, RecursiveAndTryLockIsAProbe) {
  for (const char* name : {"", "recursive"}) {
    SCOPED_TRACE(name);
    Mutex m(UniqueName(name).c_str());
    Mutex anonymous;
    Mutex& lock = name[0] == '\0' ? anonymous : m;
    EXPECT_EQ(lock.TryLock(), 0);  // free: probed and left free
    EXPECT_EQ(TryLockElsewhere(lock), 0);
    lock.Acquire();
    lock.Acquire();
    EXPECT_EQ(lock.TryLock(), 0);  // the holder's own probe
    EXPECT_EQ(TryLockElsewhere(lock), -1);
    lock.Release();
    EXPECT_EQ(TryLockElsewhere(lock), -1);  // still held once
    lock.Release();
    EXPECT_EQ(TryLockElsewhere(lock), 0);
    lock.Release();  // not held: no effect
    EXPECT_EQ(TryLockElsewhere(lock), 0);
  }
}

TEST(Mutex, ReleaseByAnotherThreadHasNoEffect) {
  Mutex m;
  m.Acquire();
  std::thread([&] { m.Release(); }).join();
  EXPECT_EQ(TryLockElsewhere(m), -1);
  m.Release();
  EXPECT_EQ(TryLockElsewhere(m), 0);
}

TEST(Mutex, AnonymousMutexesAreIndependent) {
  Mutex a, b;
  a.Acquire();
  EXPECT_EQ(TryLockElsewhere(b), 0);
  EXPECT_TRUE(AcquiresElsewhere(b, kTimeoutMs));
  EXPECT_EQ(TryLockElsewhere(a), -1);
  a.Release();
}

TEST(Mutex, SameNameIsOneLockInOneProcess) {
  const std::string base = UniqueName("");
  const std::string names[] = {
      base + "plain",
      base + "with/slashes/and blanks",
      base + "bytes \x01\x7f\xc3\xa9\xff",
      base + std::string(127 - base.size(), 'x'),
  };
  for (const std::string& name : names) {
    SCOPED_TRACE(name);
    Mutex a(name.c_str());
    Mutex b(const_cast<char*>(name.c_str()));
    Mutex other(("~" + name).c_str());
    a.Acquire();
    EXPECT_EQ(b.TryLock(), 0);  // same thread: the same recursive lock
    EXPECT_EQ(TryLockElsewhere(b), -1);
    EXPECT_EQ(TryLockElsewhere(other), 0);
    std::atomic<bool> got{false};
    std::thread waiter([&] {
      b.Acquire();
      got = true;
      b.Release();
    });
    orn2::port::SleepMs(50);
    EXPECT_FALSE(got.load());  // blocked while a holds it
    a.Release();
    waiter.join();
    EXPECT_TRUE(got.load());
  }
}

TEST(Mutex, LongNamesAreCutTo127Characters) {
  const std::string base = UniqueName("long");
  const std::string prefix = base + std::string(127 - base.size(), 'n');
  Mutex a((prefix + "first tail beyond the cut").c_str());
  Mutex b((prefix + "another tail").c_str());
  std::string differsAt127 = prefix;
  differsAt127[126] = 'm';
  Mutex c(differsAt127.c_str());
  a.Acquire();
  EXPECT_EQ(TryLockElsewhere(b), -1);
  EXPECT_EQ(TryLockElsewhere(c), 0);
  a.Release();
  EXPECT_EQ(TryLockElsewhere(b), 0);
}

TEST(Mutex, AbandonedByAnEndedThreadIsTakenOver) {
  for (const std::string& name : {std::string(), UniqueName("abandoned")}) {
    SCOPED_TRACE(name);
    Mutex m(name.c_str());
    std::thread([&] {
      m.Acquire();
      m.Acquire();  // ends holding it twice
    }).join();
    EXPECT_TRUE(AcquiresElsewhere(m, kTimeoutMs));
    m.Acquire();  // taken over: held once, released once
    EXPECT_EQ(TryLockElsewhere(m), -1);
    m.Release();
    EXPECT_EQ(TryLockElsewhere(m), 0);
  }
}

TEST(Mutex, StaticConstructorCreatesOnFirstAcquire) {
  static Mutex lazy(Mutex::StaticInit);
  void* const* handle = lazy;
  EXPECT_EQ(*handle, nullptr);
  EXPECT_EQ(lazy.TryLock(), 0);
  lazy.Release();  // not created: no effect
  lazy.Acquire();
  EXPECT_NE(*handle, nullptr);
  EXPECT_EQ(TryLockElsewhere(lazy), -1);
  lazy.Release();
  EXPECT_EQ(TryLockElsewhere(lazy), 0);
}

TEST(Mutex, HandleFieldIsExposed) {
  Mutex m;
  void** handle = m;
  const Mutex& constant = m;
  void* const* sameHandle = constant;
  EXPECT_EQ(handle, sameHandle);
  EXPECT_NE(*handle, nullptr);
}

TEST(Mutex, AssignmentSharesTheLock) {
  const std::string name = UniqueName("assigned");
  Mutex target;
  {
    Mutex named(name.c_str());
    target = named;
    named.Acquire();
    EXPECT_EQ(TryLockElsewhere(target), -1);
    named.Release();
    EXPECT_EQ(TryLockElsewhere(target), 0);
    target = target;  // self-assignment keeps the handle
  }
  // The source is gone; the target still holds its own handle to the lock.
  Mutex sameName(name.c_str());
  target.Acquire();
  EXPECT_EQ(TryLockElsewhere(sameName), -1);
  Mutex copy(target);
  EXPECT_EQ(TryLockElsewhere(copy), -1);
  target.Release();
  EXPECT_EQ(TryLockElsewhere(copy), 0);

  Mutex anonymous;
  Mutex alias;
  alias = anonymous;
  anonymous.Acquire();
  EXPECT_EQ(TryLockElsewhere(alias), -1);
  anonymous.Release();
}

TEST(Guard, ReleasesOnNormalExitAndOnException) {
  Mutex m;
  {
    Guard g(m);
    EXPECT_EQ(TryLockElsewhere(m), -1);
  }
  EXPECT_EQ(TryLockElsewhere(m), 0);
  try {
    Guard g(m);
    throw std::runtime_error("leave the scope");
  } catch (const std::runtime_error&) {
  }
  EXPECT_EQ(TryLockElsewhere(m), 0);
}

TEST(WinGuard, RecursiveAndExcludesThreads) {
  WinGuard section;
  section.Lock();
  section.Lock();
  section.Unlock();
  section.Unlock();

  long counter = 0;  // plain on purpose: only the section protects it
  constexpr int kThreads = 4, kRounds = 20000;
  std::thread threads[kThreads];
  for (auto& t : threads) {
    t = std::thread([&] {
      for (int i = 0; i < kRounds; ++i) {
        section.Lock();
        ++counter;
        section.Unlock();
      }
    });
  }
  for (auto& t : threads) t.join();
  EXPECT_EQ(counter, kThreads * kRounds);

  WinGuard copy(section);
  section.Lock();  // the copy has a section of its own
  std::thread([&] {
    copy.Lock();
    copy.Unlock();
  }).join();
  section.Unlock();
}

// --- Across processes -------------------------------------------------------

// args: mutex name, directory. Holds the mutex, announces it with the file
// "held", then releases once "release" appears (or exits holding on "die").
ORN2_CHILD(HoldNamedMutex) {
  Mutex m(args.at(0).c_str());
  m.Acquire();
  orn2::testing::WriteFileBytes(args.at(1) + "/held", "1");
  for (int waited = 0; waited < kTimeoutMs; waited += 5) {
    if (std::filesystem::exists(args.at(1) + "/release")) {
      m.Release();
      return 0;
    }
    orn2::port::SleepMs(5);
  }
  return 2;
}

// args: mutex name. 0 when the mutex is free right now, 1 when held elsewhere.
ORN2_CHILD(ProbeNamedMutex) {
  Mutex m(args.at(0).c_str());
  return m.TryLock() == 0 ? 0 : 1;
}

TEST(Mutex, SameNameIsOneLockAcrossProcesses) {
  TempDir dir;
  const std::string name = UniqueName("shared");
  ChildProcess child("HoldNamedMutex", {name, dir.path()});
  ASSERT_TRUE(child.Started());
  ASSERT_TRUE(WaitForFile(dir.File("held"), kTimeoutMs));
  Mutex m(name.c_str());
  EXPECT_EQ(m.TryLock(), -1);
  std::atomic<bool> got{false};
  std::thread waiter([&] {
    m.Acquire();
    got = true;
  });
  orn2::port::SleepMs(50);
  EXPECT_FALSE(got.load());
  orn2::testing::WriteFileBytes(dir.File("release"), "1");
  waiter.join();
  EXPECT_TRUE(got.load());
  int code = -1;
  ASSERT_TRUE(child.Wait(kTimeoutMs, &code));
  EXPECT_EQ(code, 0);
  // Held by the waiter thread (now ended: abandoned); a third process sees it
  // free once this process takes it over and releases it.
  m.Acquire();
  ChildProcess probeHeld("ProbeNamedMutex", {name});
  ASSERT_TRUE(probeHeld.Wait(kTimeoutMs, &code));
  EXPECT_EQ(code, 1);
  m.Release();
  ChildProcess probeFree("ProbeNamedMutex", {name});
  ASSERT_TRUE(probeFree.Wait(kTimeoutMs, &code));
  EXPECT_EQ(code, 0);
}

TEST(Mutex, AbandonedByAKilledProcessIsTakenOver) {
  TempDir dir;
  const std::string name = UniqueName("killed");
  ChildProcess child("HoldNamedMutex", {name, dir.path()});
  ASSERT_TRUE(child.Started());
  ASSERT_TRUE(WaitForFile(dir.File("held"), kTimeoutMs));
  Mutex m(name.c_str());
  EXPECT_EQ(m.TryLock(), -1);
  child.Kill();
  ASSERT_TRUE(child.Wait(kTimeoutMs, nullptr));
  EXPECT_TRUE(AcquiresElsewhere(m, kTimeoutMs));
  EXPECT_EQ(m.TryLock(), 0);
}

}  // namespace
