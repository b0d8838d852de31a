// Mutex, Guard, WinGuard and Thread: recursion, probing, exclusion within a
// process and across processes, abandonment, the static constructor, shared
// handles; thread statuses, waiting, suspension, termination, the cooperative
// close and stack sizes.
#include <gtest/gtest.h>
#include <liborn2/mutex.h>
#include <liborn2/thread.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <future>
#include <list>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "port/clock.h"
#include "port/process.h"
#include "port/thread.h"
#include "support/child.h"
#include "support/hostile.h"
#include "support/system.h"
#include "support/temp_dir.h"
#include "sync/port_handles.h"

namespace {

namespace ot = orn2::testing;

// Under the 32-bit emulation of the win32 stage (scripts/win32-wine.sh sets
// ORN2_EMULATED_I386=1 for it), suspending or terminating a thread that runs
// 32-bit code crashes the process or leaves the thread running: the standalone
// Win32 program scripts/diagnostics/suspend_terminate.c fails the same way there, and
// passes under 64-bit Wine (a thread blocked in a wait is terminated cleanly
// there). Only what does that to a running thread skips.
bool SuspendAndTerminateBrokenByEmulation() {
  const char* flag = std::getenv("ORN2_EMULATED_I386");
  return sizeof(void*) == 4 && flag != nullptr && std::string(flag) == "1";
}

constexpr const char* kEmulationSkip =
    "under the 32-bit emulation (qemu-i386 under 32-bit Wine), which breaks SuspendThread "
    "and TerminateThread of a running thread (see scripts/diagnostics/suspend_terminate.c)";

using Clock = std::chrono::steady_clock;
using ot::ChildProcess;
using ot::FileAppears;
using ot::ReadFileBytes;
using ot::WriteFileBytes;
constexpr int kTimeoutMs = 20000;

// A name of its own for each process, so that parallel runs never meet.
std::string UniqueName(const std::string& tag) {
  return "orn2 test/" + std::to_string(orn2::port::ProcessId()) + "/" + tag;
}

// TryLock as seen from another thread: -1 while anyone but that thread holds it.
int TryLockElsewhere(Mutex& m) {
  return std::async(std::launch::async, [&m] { return m.TryLock(); }).get();
}

// Runs `call` on a thread of its own; Ready says whether it returned in time.
// The thread is joined once the call returned and left behind only when it
// hangs (the test has failed already), and so must be everything it uses. No
// thread is detached while it may be ending: under Wine the Windows build's
// thread library then sometimes leaves the next thread it starts spinning
// (scripts/diagnostics/detached_threads.cpp).
struct Elsewhere {
  explicit Elsewhere(std::function<void()> call) {
    auto done = std::make_shared<std::promise<void>>();
    got = done->get_future();
    thread = std::thread([call, done] {
      call();
      done->set_value();
    });
  }
  ~Elsewhere() { Ready(0) ? thread.join() : thread.detach(); }
  bool Ready(int timeoutMs = kTimeoutMs) const {
    return got.wait_for(std::chrono::milliseconds(timeoutMs)) == std::future_status::ready;
  }
  std::future<void> got;
  std::thread thread;
};

// Acquire (twice: a lock got after a wait is the thread's own, too) and
// Release on another thread.
Elsewhere AcquireElsewhere(Mutex& m) {
  return Elsewhere([&m] {
    m.Acquire();
    m.Acquire();
    m.Release();
    m.Release();
  });
}

TEST(Mutex, RecursionTryLockGuardAndAbandonment) {
  for (const std::string& name : {std::string(), UniqueName("recursive")}) {
    SCOPED_TRACE(name);
    Mutex lock(name.c_str());
    EXPECT_EQ(lock.TryLock(), 0);  // free: probed and left free
    EXPECT_EQ(TryLockElsewhere(lock), 0);
    try {
      Guard guard(lock);
      lock.Acquire();
      EXPECT_EQ(lock.TryLock(), 0);                 // the holder's own probe keeps it held
      std::thread([&] { lock.Release(); }).join();  // not the owner: no effect
      EXPECT_EQ(TryLockElsewhere(lock), -1);
      lock.Release();
      EXPECT_EQ(TryLockElsewhere(lock), -1);  // still held once, by the guard
      throw std::runtime_error("leave the guard's scope");
    } catch (const std::runtime_error&) {
    }
    lock.Release();  // not held: no effect
    EXPECT_EQ(TryLockElsewhere(lock), 0);
    std::thread([&] {
      lock.Acquire();
      lock.Acquire();
    }).join();  // ends holding it twice
    EXPECT_TRUE(AcquireElsewhere(lock).Ready());
    lock.Acquire();  // taken over: held once, released once
    Elsewhere waiting = AcquireElsewhere(lock);
    EXPECT_FALSE(waiting.Ready(50));  // blocked while this thread holds it
    lock.Release();
    EXPECT_TRUE(waiting.Ready());
    EXPECT_EQ(TryLockElsewhere(lock), 0);
  }
}

TEST(Mutex, OneLockPerNameCutTo127Characters) {
  const std::string base = UniqueName("");
  const std::string full = base + std::string(127 - base.size(), 'n');
  const std::string odd = base + "with/slash, blank and bytes \x01\x7f\xc3\xa9\xff";
  struct Case {
    std::string a, b;
    bool same;
  } cases[] = {{odd, odd, true},
               {full + "first tail beyond the cut", full + "another tail", true},
               {full, full.substr(0, 126) + "m", false},
               {"", "", false}};  // anonymous mutexes are independent
  for (const Case& c : cases) {
    SCOPED_TRACE(c.a + " | " + c.b);
    Mutex a(c.a.c_str()), b(const_cast<char*>(c.b.c_str()));
    a.Acquire();
    Elsewhere got = AcquireElsewhere(b);
    EXPECT_EQ(got.Ready(c.same ? 50 : kTimeoutMs), !c.same);  // blocked while a holds it
    a.Release();
    EXPECT_TRUE(got.Ready());
  }
}

TEST(Mutex, StaticConstructorCreatesOnFirstAcquire) {
  static Mutex lazy(Mutex::StaticInit);
  void** handle = lazy;
  EXPECT_EQ(static_cast<void* const*>(static_cast<const Mutex&>(lazy)), handle);
  EXPECT_EQ(*handle, nullptr);
  EXPECT_EQ(lazy.TryLock(), 0);
  lazy.Release();  // not created: no effect
  lazy.Acquire();
  EXPECT_EQ(TryLockElsewhere(lazy), -1);
  lazy.Release();
  EXPECT_EQ(TryLockElsewhere(lazy), 0);
}

TEST(Mutex, AssignmentAndCopyShareTheLock) {
  Mutex target(UniqueName("dropped").c_str());
  {
    Mutex source;
    target = source;
    target = target;  // self-assignment keeps the handle
    source.Acquire();
    EXPECT_EQ(TryLockElsewhere(target), -1);
    source.Release();
  }
  Mutex copy(target);  // the source is gone; its lock lives on in the target
  target.Acquire();
  EXPECT_EQ(TryLockElsewhere(copy), -1);
  target.Release();
  EXPECT_EQ(TryLockElsewhere(copy), 0);
}

TEST(WinGuard, RecursiveAndExcludesThreads) {
  WinGuard section;
  long counter = 0;  // plain on purpose: only the section protects it
  auto work = [&] {
    for (int i = 0; i < 20000; ++i) {
      section.Lock();
      section.Lock();
      ++counter;
      section.Unlock();
      section.Unlock();
    }
  };
  std::thread a(work), b(work), c(work);
  a.join();
  b.join();
  c.join();
  EXPECT_EQ(counter, 60000);
}

// args: name, flag, then any of: "user=UID" (as that user), "umask=OCTAL",
// "room=full" or "room=read-only" (in a mount namespace whose shared-memory
// file systems have no room left, or are read-only), "pid-one" (as pid 1 of a
// PID namespace of its own) and "hold". Opens the named mutex and writes into
// <flag> TryLock's result ("refused" when the system gave it no object; its
// Acquire and Release are then called all the same), a line end, the files
// that opening it mapped, one a line, and what it printed on standard error.
// With "hold" it holds the mutex instead, flags <flag>.held and lets go once
// <flag>.release appears. Exit 77, the reason in <flag>, where the namespace
// cannot be had.
ORN2_CHILD(UseNamedMutex) {
  std::map<std::string, std::string> with;
  for (size_t i = 2; i < args.size(); ++i)
    with[args[i].substr(0, args[i].find('='))] = args[i].substr(args[i].find('=') + 1);
  std::string why;
  if (with.count("room")) why = ot::FillSharedMemoryFileSystems(with["room"] == "read-only");
  if (with.count("pid-one")) why = ot::EnterNewPidNamespace();
  if (!why.empty()) {
    WriteFileBytes(args.at(1), why);
    return 77;
  }
  const int pid = with.count("pid-one") ? ot::ForkProcess() : 0;
  // The parent outside the namespace ends with its child's code and no exit
  // handlers (LeakSanitizer cannot stop a process whose child is pid 1).
  if (pid != 0) std::_Exit(pid < 0 ? 3 : ot::WaitForkedProcess(pid, 4 * kTimeoutMs));
  if (with.count("user") && !ot::BecomeUser(static_cast<unsigned>(std::stoul(with["user"]))))
    return 2;
  testing::internal::CaptureStderr();
  if (with.count("umask"))
    ot::SetUmask(static_cast<unsigned>(std::stoul(with["umask"], nullptr, 8)));
  std::vector<std::string> before = ot::SharedMappings();
  std::string report;
  {
    Mutex m(args.at(0).c_str());
    void** handle = m;
    const bool refused = *handle == nullptr, hold = with.count("hold") != 0;
    if (refused || hold) m.Acquire();
    if (hold) {
      WriteFileBytes(args[1] + ".held", "");
      FileAppears(args[1] + ".release", 3 * kTimeoutMs);
    }
    if (refused || hold) m.Release();
    report = refused ? "refused\n" : std::to_string(m.TryLock()) + "\n";
    for (const std::string& path : ot::SharedMappings())
      if (std::find(before.begin(), before.end(), path) == before.end()) report += path + "\n";
  }
  WriteFileBytes(args[1], report + testing::internal::GetCapturedStderr());
  if (with.count("pid-one")) std::_Exit(0);  // the forked pid 1
  return 0;
}

// What a new process started with `options` (see UseNamedMutex) finds on the
// named mutex: TryLock's result ("0" or "-1"), "refused", "hung" when it did
// not answer in time, "exit N" (`printed` then holds the reason it wrote) when
// it failed; the files that back the mutex (none where that cannot be seen)
// and what it printed. Its report goes to `dir`.
struct Probe {
  std::string answer, printed;
  std::vector<std::string> files;
};

Probe ProbeElsewhere(const ot::TempDir& dir, const std::string& name,
                     std::vector<std::string> options = {}) {
  static std::atomic<int> probes{0};
  const std::string flag = dir.File("probe" + std::to_string(probes++));
  options.insert(options.begin(), {name, flag});
  ChildProcess probe("UseNamedMutex", options);
  int code = -1;
  if (!probe.Wait(kTimeoutMs, &code)) return {"hung", "", {}};
  const std::string report = ReadFileBytes(flag);
  if (code != 0) return {"exit " + std::to_string(code), report, {}};
  size_t at = report.find('\n') + 1;
  Probe result{report.substr(0, at - 1), "", {}};
  for (size_t end; report.compare(at, 1, "/") == 0; at = end + 1) {
    end = report.find('\n', at);
    result.files.push_back(report.substr(at, end - at));
  }
  result.printed = report.substr(at);
  return result;
}

// The files that back the named mutex, as mapped by a new process that found
// it free; none where that cannot be seen.
std::vector<std::string> ObjectFiles(const ot::TempDir& dir, const std::string& name) {
  const Probe probe = ProbeElsewhere(dir, name);
  EXPECT_EQ(probe.answer, "0") << name;
  return probe.files;
}

// args: name, flag, go. Opens the named mutex, flags <flag>, and closes it
// once <go> appears.
ORN2_CHILD(OpenUntilGo) {
  Mutex m(args.at(0).c_str());
  WriteFileBytes(args.at(1), "");
  return FileAppears(args.at(2), kTimeoutMs) ? 0 : 3;
}

// Users that close the mutex at about the same moment: the last of them
// removes its object, round after round.
TEST(Mutex, OfUsersClosingTogetherTheLastRemovesTheObject) {
  ot::TempDir dir;
  const std::string name = UniqueName("closing together");
  const std::vector<std::string> files = ObjectFiles(dir, name);
  if (files.empty()) GTEST_SKIP() << "the object of a mutex cannot be seen here";
  for (int round = 0; round < 5; ++round) {
    const std::string go = dir.File("go" + std::to_string(round));
    std::list<ChildProcess> users;
    for (int i = 0; i < 6; ++i) {
      std::string open = go + "." + std::to_string(i);
      users.emplace_back("OpenUntilGo", std::vector<std::string>{name, open, go});
      ASSERT_TRUE(FileAppears(open, kTimeoutMs));
    }
    WriteFileBytes(go, "");
    for (ChildProcess& user : users)
      EXPECT_TRUE(user.Wait(kTimeoutMs, nullptr)) << "round " << round;
    ASSERT_FALSE(std::filesystem::exists(files[0])) << "round " << round;
  }
  Mutex last(name.c_str());
  ASSERT_TRUE(std::filesystem::exists(files[0]));
  last = Mutex();  // the handle an assignment drops is closed like any other
  EXPECT_FALSE(std::filesystem::exists(files[0]));
}

// No program that the process starts inherits a descriptor of its named
// mutexes (it would hold the lock's file, and the private directory, open).
TEST(Mutex, ItsDescriptorsAreClosedOnExec) {
  ot::TempDir dir;
  const std::string name = UniqueName("close on exec");
  const std::vector<std::string> files = ObjectFiles(dir, name);
  if (files.empty() || !std::filesystem::exists("/proc/self/fdinfo"))
    GTEST_SKIP() << "the descriptors of a process cannot be seen here";
  const std::string place = files[0].substr(0, files[0].rfind('/'));
  Mutex m(name.c_str());
  int seen = 0;
  for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
    std::error_code error;
    const std::string target = std::filesystem::read_symlink(entry.path(), error).string();
    if (error || target.rfind(place, 0) != 0) continue;
    std::string info = ReadFileBytes("/proc/self/fdinfo/" + entry.path().filename().string());
    const unsigned long flags = std::stoul(info.substr(info.find("flags:") + 6), nullptr, 8);
    EXPECT_NE(flags & 02000000, 0u) << target << " is inherited: flags " << std::oct << flags;
    ++seen;
  }
  // The directory's sweep at the first open lets its listing go as well.
  EXPECT_EQ(seen, 2) << "the private directory and the file of the lock, no more";
}

// A holder killed while it was the mutex's only user leaves the name free,
// and its file is removed by the next process that opens any named mutex;
// one killed while a thread of another process waits hands the lock to that
// thread.
TEST(Mutex, OneLockAcrossProcessesTakenOverFromKilledHolders) {
  ot::TempDir dir;
  const std::string name = UniqueName("shared \"quoted\"");
  const std::vector<std::string> files = ObjectFiles(dir, name);
  ChildProcess first("UseNamedMutex", {name, dir.File("first"), "hold"});
  ASSERT_TRUE(FileAppears(dir.File("first.held"), kTimeoutMs, &first));
  first.Kill();
  ASSERT_TRUE(first.Wait(kTimeoutMs, nullptr));
  ASSERT_EQ(ProbeElsewhere(dir, UniqueName("another")).answer, "0");
  for (const std::string& file : files) EXPECT_FALSE(std::filesystem::exists(file)) << file;
  Mutex m(name.c_str());
  EXPECT_EQ(TryLockElsewhere(m), 0);
  m.Acquire();
  ChildProcess next("UseNamedMutex", {name, dir.File("next"), "hold"});
  EXPECT_FALSE(FileAppears(dir.File("next.held"), 300));  // it waits for this process
  m.Release();
  ASSERT_TRUE(FileAppears(dir.File("next.held"), kTimeoutMs, &next));
  Elsewhere got = AcquireElsewhere(m);
  EXPECT_FALSE(got.Ready(50));
  next.Kill();
  EXPECT_TRUE(got.Ready());
}

// args: name, flag. Opens the named mutex, forks a worker that takes it (the
// worker flags <flag>.held and lets go once <flag>.release appears), then
// destroys its own Mutex and flags <flag>.closed. Exits with the worker's code.
ORN2_CHILD(ForkedWorkerHoldsTheLock) {
  auto* m = new Mutex(args.at(0).c_str());
  int pid = ot::ForkProcess();
  if (pid < 0) return 2;
  if (pid == 0) {
    m->Acquire();
    WriteFileBytes(args.at(1) + ".held", "");
    bool told = FileAppears(args.at(1) + ".release", kTimeoutMs);
    m->Release();
    std::_Exit(told ? 0 : 3);
  }
  if (!FileAppears(args.at(1) + ".held", kTimeoutMs)) return 4;
  delete m;
  WriteFileBytes(args.at(1) + ".closed", "");
  return ot::WaitForkedProcess(pid, 2 * kTimeoutMs);
}

TEST(Mutex, AForkedWorkerKeepsTheLockWhenItsParentDestroysTheMutex) {
  if (!ot::ForkUnavailable().empty()) GTEST_SKIP() << ot::ForkUnavailable();
  ot::TempDir dir;
  const std::string name = UniqueName("forked"), flag = dir.File("fork");
  ChildProcess parent("ForkedWorkerHoldsTheLock", {name, flag});
  ASSERT_TRUE(FileAppears(flag + ".closed", kTimeoutMs));
  Mutex m(name.c_str());
  EXPECT_EQ(TryLockElsewhere(m), -1) << "the forked worker still holds it";
  WriteFileBytes(flag + ".release", "");
  int code = -1;
  EXPECT_TRUE(parent.Wait(2 * kTimeoutMs, &code));
  EXPECT_EQ(code, 0);
  EXPECT_EQ(TryLockElsewhere(m), 0);
}

// args: name, how ("user": after a change of user; "descriptors": with no
// descriptor left), flag. Opens the named mutex, forks, and writes into
// <flag> what the child printed taking, releasing and closing it. Exit 5 when
// the child's close removed the parent's object.
ORN2_CHILD(ForkWithoutADescription) {
  auto* m = new Mutex(args.at(0).c_str());
  std::vector<std::FILE*> filler;
  if (args.at(1) == "user" && !ot::BecomeUser(ot::kSecondUser)) return 2;
  if (args[1] == "descriptors") {
    if (!ot::LimitOpenFiles(64)) return 77;
    for (std::FILE* f; (f = std::fopen("/dev/null", "r")) != nullptr;) filler.push_back(f);
  }
  int pid = ot::ForkProcess();
  for (std::FILE* f : filler) std::fclose(f);  // room again, in both
  if (pid < 0) return 3;
  if (pid == 0) {
    testing::internal::CaptureStderr();
    m->Acquire();
    m->Release();
    delete m;
    WriteFileBytes(args.at(2), testing::internal::GetCapturedStderr());
    std::_Exit(0);
  }
  int code = ot::WaitForkedProcess(pid, kTimeoutMs);
  for (const std::string& path : ot::SharedMappings())
    if (args[1] == "descriptors" && !std::filesystem::exists(path)) code = 5;
  delete m;
  return code;
}

// A forked child that cannot have a description of its own of a named mutex
// never shares its parent's: its lock is refused, with one line.
TEST(Mutex, AForkedChildWithoutADescriptionOfItsOwnIsRefusedWithOneLine) {
  if (!ot::ForkUnavailable().empty()) GTEST_SKIP() << ot::ForkUnavailable();
  ot::TempDir dir;
  std::filesystem::permissions(dir.path(), std::filesystem::perms::all);
  for (const std::string how : {"descriptors", "user"}) {
    SCOPED_TRACE(how);
    if (how == "user" && !ot::OtherUsersUnavailable().empty()) continue;
    const std::string name = UniqueName("fork " + how), flag = dir.File(how);
    const int code = ot::ExitCodeOf("ForkWithoutADescription", {name, how, flag}, 2 * kTimeoutMs);
    if (code == 77) continue;
    ASSERT_EQ(code, 0);
    const std::string printed = ReadFileBytes(flag);
    EXPECT_EQ(printed.rfind("Mutex() Error: named mutex [" + name + "] refused: ", 0), 0u)
        << printed;
    EXPECT_EQ(std::count(printed.begin(), printed.end(), '\n'), 1) << printed;
  }
}

// args: name, flag. Opens the named mutex on one thread while another
// process holds its gate, and once that thread waits there, opens another
// name and forks on this one; flags <flag> when both are done.
ORN2_CHILD(OpenAnotherWhileOneWaits) {
  std::thread([name = args.at(0)] { Mutex waits(name.c_str()); }).detach();
  for (int waited = 0; !ot::SomeoneWaitsForALockOn(args.at(2)); waited += 5) {
    if (waited > kTimeoutMs) return 3;
    orn2::port::SleepMs(5);
  }
  Mutex other((args[0] + " other").c_str());
  int pid = ot::ForkProcess();
  if (pid == 0) std::_Exit(0);
  if (pid < 0 || ot::WaitForkedProcess(pid, kTimeoutMs) != 0) return 4;
  WriteFileBytes(args.at(1), "done");
  std::_Exit(0);  // the waiting thread waits on
}

// args: path, flag. Takes the gate of a named mutex's file, as a process
// stopped while opening it would hold it, and flags <flag>.
ORN2_CHILD(HoldGate) {
  if (!ot::LockFileByte(args.at(0), 0)) return 3;
  WriteFileBytes(args.at(1), "");
  for (;;) orn2::port::SleepMs(1000);
}

// A process stopped while opening one name stalls the opening of that name
// only: another name opens, and the process forks.
TEST(Mutex, AnOpenerStoppedAtOneNameStallsNoOtherName) {
  if (!ot::ForkUnavailable().empty()) GTEST_SKIP() << ot::ForkUnavailable();
  ot::TempDir dir;
  const std::string name = UniqueName("stalled");
  Mutex keep(name.c_str());  // keeps the file there
  const std::vector<std::string> files = ObjectFiles(dir, name);
  if (files.empty()) GTEST_SKIP() << "the object of a mutex cannot be seen here";
  ChildProcess gate("HoldGate", {files[0], dir.File("gate")});
  ASSERT_TRUE(FileAppears(dir.File("gate"), kTimeoutMs, &gate));
  ChildProcess opener("OpenAnotherWhileOneWaits", {name, dir.File("done"), files[0]});
  EXPECT_TRUE(FileAppears(dir.File("done"), 2 * kTimeoutMs, &opener))
      << "a wait at one name's gate stalled another";
}

// An object of another format in the private directory (a library of
// another version) is neither mapped nor removed: its name is refused.
TEST(Mutex, AnObjectOfAnotherFormatIsNeitherMappedNorSwept) {
  ot::TempDir dir;
  const std::string name = UniqueName("other format");
  const std::vector<std::string> files = ObjectFiles(dir, name);
  if (files.empty()) GTEST_SKIP() << "the object of a mutex cannot be seen here";
  std::string header(4096, '\0');
  header.replace(0, 8, "Lorn\x63\0\0\0", 8);  // the magic word, format 99
  WriteFileBytes(files[0], header);
  EXPECT_EQ(ProbeElsewhere(dir, name).answer, "refused");
  EXPECT_EQ(ProbeElsewhere(dir, UniqueName("sweeping")).answer, "0");  // a new process sweeps
  EXPECT_TRUE(ReadFileBytes(files[0]) == header) << files[0] << " was changed or removed";
  std::filesystem::remove(files[0]);
}

// Two processes that are both pid 1 of their PID namespaces, sharing the
// directory of named mutexes (containers with a shared /run): the second never
// holds the mutex while the first does.
TEST(Mutex, ProcessesOfTwoPidNamespacesNeverBothHoldIt) {
  ot::TempDir dir;
  const std::string name = UniqueName("namespaces");
  const Probe alone = ProbeElsewhere(dir, name, {"pid-one"});
  if (alone.answer == "exit 77") GTEST_SKIP() << alone.printed;
  ChildProcess holder("UseNamedMutex", {name, dir.File("holder"), "pid-one", "hold"});
  ASSERT_TRUE(FileAppears(dir.File("holder.held"), kTimeoutMs, &holder));
  const std::string answer = ProbeElsewhere(dir, name, {"pid-one"}).answer;
  EXPECT_TRUE(answer == "refused" || answer == "-1") << answer;
  WriteFileBytes(dir.File("holder.release"), "");
  EXPECT_TRUE(holder.Wait(kTimeoutMs, nullptr));
}

// In a mount namespace where the shared-memory file systems are full, or
// read-only so that not even the private directory can be made, a named
// mutex is refused with one line, and its use does not crash the process.
TEST(Mutex, WithoutRoomForItsObjectANamedMutexIsRefusedWithOneLine) {
  ot::TempDir dir;
  for (const std::string room : {"full", "read-only"}) {
    SCOPED_TRACE(room);
    const std::string name = UniqueName("no room " + room);
    const Probe probe = ProbeElsewhere(dir, name, {"room=" + room});
    if (probe.answer == "exit 77") GTEST_SKIP() << probe.printed;
    EXPECT_EQ(probe.answer, "refused") << "exit 135: killed by SIGBUS";
    const std::string& printed = probe.printed;
    const std::string refused = "Mutex() Error: named mutex [" + name + "] refused: ";
    EXPECT_EQ(printed.rfind(refused, 0), 0u) << printed;
    EXPECT_EQ(std::count(printed.begin(), printed.end(), '\n'), 1) << printed;
    if (room == "read-only") {  // the private directory, /run's for root, /dev/shm's for others
      const std::string reason = printed.substr(std::min(printed.size(), refused.size()));
      EXPECT_EQ(reason.rfind("cannot create /", 0), 0u) << reason;
      EXPECT_NE(reason.find("/liborn2-v4-"), std::string::npos) << reason;
      EXPECT_EQ(reason.substr(reason.find(": ") + 2), "Read-only file system\n") << reason;
    }
  }
}

// --- Named mutexes against another local user ------------------------------

// Needs root, which acts as the other user in child processes. Their flags
// go to a directory they may write.
class OtherUser : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string why = ot::OtherUsersUnavailable();
    if (!why.empty()) GTEST_SKIP() << why;
    std::filesystem::permissions(dir_.path(), std::filesystem::perms::all);
  }

  ot::TempDir dir_;
};

// args: user, kind, path, flag. As that user, creates a `kind` of object at
// `path` and writes "created" or why not into <flag>; removes it again once
// <flag>.remove appears.
ORN2_CHILD(Squatter) {
  if (!ot::BecomeUser(static_cast<unsigned>(std::stoul(args.at(0))))) return 2;
  std::string why = ot::CreateObject(args.at(1), args.at(2));
  WriteFileBytes(args.at(3), why.empty() ? "created" : why);
  FileAppears(args.at(3) + ".remove", 3 * kTimeoutMs);
  if (why.empty()) std::remove(args.at(2).c_str());
  return 0;
}

// Another user's object at a path for as long as this lives: made, and
// removed again, by a child process running as that user.
class Squat {
 public:
  Squat(const std::string& kind, const std::string& path, const std::string& flag)
      : flag_(flag), squatter_("Squatter", {std::to_string(ot::kSecondUser), kind, path, flag}) {}
  ~Squat() {
    WriteFileBytes(flag_ + ".remove", "");
    squatter_.Wait(kTimeoutMs, nullptr);
  }
  Squat(const Squat&) = delete;
  Squat& operator=(const Squat&) = delete;

  // "created", or why the object could not be made.
  std::string Outcome() const {
    return FileAppears(flag_, kTimeoutMs) ? ReadFileBytes(flag_) : "no answer";
  }

 private:
  std::string flag_;
  ChildProcess squatter_;
};

// Another user squats the place where root's named mutex lives, with an
// object of each kind, while root processes open it, then clears it before
// another root process opens it: no opening hangs, and all share one lock.
TEST_F(OtherUser, ObjectsPutInTheWayOfANamedMutexNeitherBlockNorSplitIt) {
  for (const std::string kind : {"file", "locked file", "directory", "fifo", "symlink"}) {
    SCOPED_TRACE(kind);
    const std::string name = UniqueName("squatted " + kind);
    const std::vector<std::string> files = ObjectFiles(dir_, name);
    ASSERT_EQ(files.size(), 1u);
    auto squat = std::make_unique<Squat>(kind, files[0], dir_.File(kind));
    squat->Outcome();  // whatever it is, root's mutex opens next
    EXPECT_EQ(ProbeElsewhere(dir_, name).answer, "0");
    Mutex m(name.c_str());
    m.Acquire();
    EXPECT_EQ(ProbeElsewhere(dir_, name).answer, "-1");
    squat.reset();
    EXPECT_EQ(ProbeElsewhere(dir_, name).answer, "-1");
    m.Release();
  }
}

// A user's mutex held under a umask that takes the owner's bits away, or whose
// private directory is removed under its holder (as logind's RemoveIPC does at
// logout): the user's other processes share it, or are refused that name while
// the holder lives, have every other name, and take it over once the holder
// was killed.
TEST_F(OtherUser, AMutexHeldUnderAUmaskOf0277OrWithItsDirectoryRemovedIsNotSplit) {
  for (const bool removed : {false, true}) {
    SCOPED_TRACE(removed ? "directory removed" : "umask 0277");
    const int base = removed ? 50000 : 55000;
    const std::string user = std::to_string(base + orn2::port::ProcessId() % 5000);
    const std::string name = UniqueName(removed ? "removed directory" : "umask");
    const std::string flag = dir_.File(name.substr(name.rfind('/') + 1));
    ChildProcess holder("UseNamedMutex",
                        {name, flag, "hold", "user=" + user, removed ? "umask=022" : "umask=0277"});
    ASSERT_TRUE(FileAppears(flag + ".held", kTimeoutMs, &holder));
    if (removed) std::filesystem::remove_all("/dev/shm/liborn2-v4-" + user);
    EXPECT_EQ(ProbeElsewhere(dir_, name, {"user=" + user}).answer, removed ? "refused" : "-1");
    EXPECT_EQ(ProbeElsewhere(dir_, UniqueName("another"), {"user=" + user}).answer, "0");
    holder.Kill();
    ASSERT_TRUE(holder.Wait(kTimeoutMs, nullptr));
    EXPECT_EQ(ProbeElsewhere(dir_, name, {"user=" + user}).answer, "0");
    if (!removed) {  // left so by a creator killed before it set the mode, under a umask of 0777
      std::filesystem::permissions("/dev/shm/liborn2-v4-" + user, std::filesystem::perms::none);
      EXPECT_EQ(ProbeElsewhere(dir_, name, {"user=" + user}).answer, "0") << "mode 0000";
    }
    std::filesystem::remove_all("/dev/shm/liborn2-v4-" + user);  // a user of this run only
  }
}

// Where another user took the place of a user's private directory first, that
// user's named mutexes are refused, each with one line on standard error.
TEST_F(OtherUser, ASquattedPrivateDirectoryRefusesTheMutexWithOneLine) {
  // A user of its own per run, so that its directory is new.
  const std::string victim = std::to_string(60000 + orn2::port::ProcessId() % 5000);
  const std::string place = "/dev/shm/liborn2-v4-" + victim, name = UniqueName("victim");
  for (const std::string kind : {"directory", "symlink"}) {
    SCOPED_TRACE(kind);
    Squat squat(kind, place, dir_.File("squat " + kind));
    ASSERT_EQ(squat.Outcome(), "created");
    const Probe probe = ProbeElsewhere(dir_, name, {"user=" + victim});
    EXPECT_EQ(probe.answer, "refused");
    EXPECT_EQ(probe.printed, "Mutex() Error: named mutex [" + name + "] refused: " + place +
                                 " is not a private directory of this user\n");
  }
}

// Counts until `gate` opens (kPollStop: also until the stop flag is raised),
// sleeping 1 ms a round unless it spins; kBlock first blocks in Acquire of
// `blocker`; kBlockSignals first blocks every signal it can.
class Worker : public Thread {
 public:
  enum Mode { kPollStop, kIgnoreStop, kSpin, kBlock, kBlockSignals };
  explicit Worker(Mode m) : mode(m) {}

  void Run() override {
    sawStopAtStart = StopFlag() != 0;
    stack = orn2::testing::CurrentThreadStackSize();
    if (mode == kBlockSignals) signalsBlocked = ot::BlockAllSignals();
    counter.fetch_add(1);
    if (mode == kBlock) {
      blocker->Acquire();
      blocker->Release();
    }
    while (!gate && (mode != kPollStop || StopFlag() == 0)) {
      counter.fetch_add(1, std::memory_order_relaxed);
      if (mode != kSpin) Sleep(1);
    }
  }

  std::atomic<long> counter{0};
  std::atomic<bool> gate{false}, sawStopAtStart{false}, signalsBlocked{false};
  std::atomic<std::size_t> stack{0};
  Mutex* blocker = nullptr;
  const Mode mode;
};

// Passes once the counter passes `mark`; fails after the time-out.
testing::AssertionResult CounterPasses(const Worker& w, long mark) {
  for (int waited = 0; waited < kTimeoutMs; ++waited, orn2::port::SleepMs(1))
    if (w.counter.load() > mark) return testing::AssertionSuccess();
  return testing::AssertionFailure()
         << "the counter stayed at " << w.counter.load() << ", never past " << mark;
}

// Passes when the counter does not move for 150 ms.
testing::AssertionResult CounterStands(const Worker& w) {
  const long before = w.counter.load();
  orn2::port::SleepMs(150);
  const long after = w.counter.load();
  if (after == before) return testing::AssertionSuccess();
  return testing::AssertionFailure() << "the counter moved from " << before << " to " << after;
}

testing::AssertionResult StartedAndCounting(Worker& w) {
  if (const int started = w.Start(); started != 0) {
    return testing::AssertionFailure() << "Start returned " << started;
  }
  return CounterPasses(w, 0);
}

TEST(Thread, StatusTransitionsWaitCooperativeCloseAndRestart) {
  Worker w(Worker::kPollStop);
  EXPECT_EQ(w.GetStatus(), Thread::NotStarted);
  EXPECT_EQ(w.Wait(-1), -1);  // never started: at once
  EXPECT_EQ(w.GetError(), -1);
  ASSERT_TRUE(StartedAndCounting(w));  // the default 8192 bytes of stack start
  EXPECT_EQ(w.GetError(), 0);
  void* first = w.Tid();
  EXPECT_EQ(w.Start(), 0);  // running: starts nothing
  EXPECT_EQ(w.Tid(), first);
  EXPECT_EQ(w.Wait(0), -1);
  auto start = Clock::now();
  EXPECT_EQ(w.Wait(999), -1);  // a deadline that carries into the next second
  EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(999));
  start = Clock::now();
  Thread::Sleep(30);  // never less than asked
  EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(30));
  start = Clock::now();
  w.CloseThread();  // the body polls the flag: it returns within a step
  EXPECT_LT(Clock::now() - start, std::chrono::seconds(10));
  EXPECT_EQ(w.GetStatus(), Thread::Finished);
  EXPECT_EQ(w.CloseThreadHandle(), 0);  // already closed, once
  EXPECT_FALSE(w.sawStopAtStart.load());
  // A restart keeps the raised stop flag: the body sees it on its first poll.
  ASSERT_EQ(w.Start(), 0);
  EXPECT_EQ(w.Wait(kTimeoutMs), 0);
  EXPECT_TRUE(w.sawStopAtStart.load());
  w.Kill();  // after the end: terminates nothing
  EXPECT_EQ(w.GetStatus(), Thread::Finished);
  EXPECT_NE(w.CloseThreadHandle(), 0);
}

TEST(Thread, SuspendAndKillStopABodyThatSleepsSpinsOrBlocks) {
  const bool emulated = SuspendAndTerminateBrokenByEmulation();
  for (Worker::Mode mode : {Worker::kIgnoreStop, Worker::kSpin, Worker::kBlock}) {
    if (mode != Worker::kBlock && emulated) continue;
    SCOPED_TRACE(mode);
    Mutex blocker;
    Worker w(mode);
    w.blocker = &blocker;
    blocker.Acquire();
    ASSERT_TRUE(StartedAndCounting(w));
    if (mode != Worker::kBlock) {
      w.Suspend();
      for (int i = 0; i < 200; ++i) {  // a suspension at once after a resumption holds too
        w.Resume();
        w.Suspend();
        const long seen = w.counter.load();
        orn2::port::SleepMs(2);
        ASSERT_EQ(w.counter.load(), seen) << "suspended again at once, round " << i;
      }
      orn2::port::WorkerHandle* worker = orn2::sync::AsWorkerHandle(w.Tid());
      w.Suspend();                                      // not Running: nothing changes
      EXPECT_EQ(orn2::port::SuspendWorker(worker), 1);  // the count nests
      w.Resume();                                       // count 2: still suspended
      EXPECT_EQ(w.GetStatus(), Thread::Suspended);
      EXPECT_TRUE(CounterStands(w));
      w.Resume();
      w.Resume();  // not Suspended: nothing changes
      EXPECT_EQ(w.GetStatus(), Thread::Running);
      EXPECT_EQ(orn2::port::ResumeWorker(worker), 0);  // nor below: the next suspension holds
      w.Suspend();
      EXPECT_TRUE(CounterStands(w));
      w.Resume();
      EXPECT_TRUE(CounterPasses(w, w.counter.load()));
    }
    w.Stop();
    EXPECT_EQ(w.Wait(100), -1);
    w.Kill();
    EXPECT_EQ(w.GetStatus(), Thread::Finished);
    EXPECT_EQ(w.Wait(kTimeoutMs), 0);
    blocker.Release();  // a killed waiter never gets the lock
    EXPECT_TRUE(CounterStands(w));
    EXPECT_EQ(TryLockElsewhere(blocker), 0);
    EXPECT_NE(w.CloseThreadHandle(), 0);
  }
  if (emulated)
    GTEST_SKIP() << "the sleeping and spinning bodies are skipped " << kEmulationSkip
                 << "; the blocked body ran";
}

// A body that blocks every signal cannot be parked where threads are stopped
// by a signal (Linux): Suspend and Kill give up within a few seconds, and
// CloseThread returns after its cooperative phase and the failed kill; the
// thread runs on until it returns, reported running by all but Kill.
TEST(Thread, SuspendKillAndCloseThreadReturnsOnAThreadItCannotEnd) {
  auto* w = new Worker(Worker::kBlockSignals);  // left behind if a call hangs
  ASSERT_TRUE(StartedAndCounting(*w));
  if (!w->signalsBlocked) {
    w->gate = true;
    w->Wait(kTimeoutMs);
    delete w;
    GTEST_SKIP() << "threads have no signals to block here";
  }
  ASSERT_TRUE(Elsewhere([w] { w->Suspend(); }).Ready(10000));
  EXPECT_EQ(w->GetStatus(), Thread::Running);
  auto start = Clock::now();
  ASSERT_TRUE(Elsewhere([w] { w->CloseThread(); }).Ready(40000));
  EXPECT_GE(Clock::now() - start, std::chrono::seconds(19));
  EXPECT_LT(Clock::now() - start, std::chrono::seconds(32));
  EXPECT_EQ(w->GetStatus(), Thread::Running);
  EXPECT_TRUE(CounterPasses(*w, w->counter.load()));
  ASSERT_TRUE(Elsewhere([w] { w->Kill(); }).Ready(10000));
  EXPECT_EQ(w->GetStatus(), Thread::Finished);  // as Kill says in any case
  EXPECT_TRUE(CounterPasses(*w, w->counter.load()));
  w->gate = true;
  EXPECT_EQ(w->Wait(kTimeoutMs), 0);
  EXPECT_NE(w->CloseThreadHandle(), 0);
  delete w;
}

// CloseThread by force after about 20 seconds of cooperative steps, for a body
// that ignores the flag (0), a suspended one (1) and an object that never
// started a thread (2): one test each, so that CTest runs them in parallel.
class CloseThreadByForce : public ::testing::TestWithParam<int> {};

TEST_P(CloseThreadByForce, EndsTheThreadAfterTwentySeconds) {
  if (GetParam() != 2 && SuspendAndTerminateBrokenByEmulation())
    GTEST_SKIP() << "skipped " << kEmulationSkip;
  Worker w(Worker::kIgnoreStop);
  if (GetParam() != 2) {
    ASSERT_TRUE(StartedAndCounting(w));
  }
  if (GetParam() == 1) w.Suspend();
  auto start = Clock::now();
  w.CloseThread();
  EXPECT_GE(Clock::now() - start, std::chrono::seconds(19));
  EXPECT_EQ(w.GetStatus(), Thread::Finished);
  EXPECT_TRUE(CounterStands(w));
  EXPECT_EQ(w.counter.load() > 0, GetParam() != 2) << "counted " << w.counter.load();
}

INSTANTIATE_TEST_SUITE_P(Thread, CloseThreadByForce, ::testing::Values(0, 1, 2));

TEST(Thread, StackSizeIsHandedToTheSystemAndCopiesOwnTheirHandle) {
  Worker w(Worker::kIgnoreStop), copy(Worker::kIgnoreStop);
  w.StackSize(4u << 20);
  ASSERT_EQ(w.Start(), 0);
  static_cast<Thread&>(copy) = w;  // the base part: the running thread
  EXPECT_EQ(copy.GetStatus(), Thread::Running);
  EXPECT_EQ(copy.Wait(0), -1);
  w.gate = true;
  EXPECT_EQ(copy.Wait(kTimeoutMs), 0);
  EXPECT_GE(w.stack.load(), 4u << 20);
  EXPECT_NE(w.CloseThreadHandle(), 0);
  Worker other(Worker::kIgnoreStop);
  static_cast<Thread&>(other) = copy;
  EXPECT_NE(copy.CloseThreadHandle(), 0);  // a handle of its own
  static_cast<Thread&>(other) = w;         // w has none left: neither has other now
  EXPECT_EQ(other.CloseThreadHandle(), 0);
}

// A thread's control block is freed once the thread has ended and its handle
// is closed: threads that come and go leave the heap as it was.
TEST(Thread, EndedThreadsLeaveNothingOnTheHeap) {
  auto startAndEnd = [](int threads) {
    for (int i = 0; i < threads; ++i) {
      Worker w(Worker::kIgnoreStop);
      w.gate = true;
      ASSERT_EQ(w.Start(), 0);
      ASSERT_EQ(w.Wait(kTimeoutMs), 0);
      ASSERT_NE(w.CloseThreadHandle(), 0);
    }
  };
  startAndEnd(50);  // the system's own allocations for its first threads
  const std::size_t before = ot::HeapBytesInUse();
  if (before == 0) GTEST_SKIP() << "the main heap's use is not known here";
  startAndEnd(1000);
  EXPECT_LT(ot::HeapBytesInUse(), before + 1000 * 64) << "before: " << before;
}

// args: none. As the second user, allowed no thread more, starts a worker:
// exit 0 when the start fails as Start documents it, a thousand times over
// without growing the heap.
ORN2_CHILD(StartWithoutRoomForAThread) {
  if (!ot::BecomeUser(ot::kSecondUser) || !ot::LimitThreads(1)) return 77;
  Worker w(Worker::kIgnoreStop);
  const std::size_t before = ot::HeapBytesInUse();
  for (int i = 0; i < 1000; ++i) if (w.Start() == 0) return 3;
  if (ot::HeapBytesInUse() > before + 1000 * 64) return 5;
  // Without exit handlers: LeakSanitizer's check at exit needs a thread of its
  // own, which the limit refuses.
  std::_Exit(w.GetStatus() == Thread::StartFailed ? 0 : 4);
}

TEST_F(OtherUser, AThreadStartTheSystemRefusesLeavesTheStatusStartFailed) {
  const int code = ot::ExitCodeOf("StartWithoutRoomForAThread", {}, kTimeoutMs);
  if (code == 77) GTEST_SKIP() << "no limit of a user's threads here";
  EXPECT_EQ(code, 0) << "3: started all the same; 4: another status";
}

}  // namespace
