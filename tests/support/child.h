// Child processes for multi-process tests: a test program starts itself again
// with a switch that runs one registered child body instead of the tests.
#ifndef ORN2_TESTS_SUPPORT_CHILD_H
#define ORN2_TESTS_SUPPORT_CHILD_H

#include <string>
#include <vector>

#include "support/process.h"

namespace orn2::testing {

using ChildMain = int (*)(const std::vector<std::string>& args);

struct ChildRegistrar {
  ChildRegistrar(const char* name, ChildMain body);
};

// Runs the registered child named in argv when the program was started as a
// child; returns true and sets *exitCode then. Called by the test main.
bool RunChildIfRequested(int argc, char** argv, int* exitCode);

// A running child; killed and reaped when it goes out of scope (a watchdog for
// tests that fail half-way).
class ChildProcess {
 public:
  ChildProcess(const std::string& name, const std::vector<std::string>& args = {});
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  bool Started() const { return handle_ != nullptr; }
  // True with the exit code once the child ended within timeoutMs (stretched
  // on slow runs, see support/time_factor.h).
  bool Wait(long timeoutMs, int* exitCode);
  void Kill();

 private:
  ProcessHandle* handle_;
  bool ended_ = false;
};

// Runs the child to its end: its exit code, or -1 when it did not end within
// `limitMs` (stretched on slow runs).
int ExitCodeOf(const std::string& name, const std::vector<std::string>& args, long limitMs);

// True once `path` exists, which the other process made with WriteFileBytes;
// false when `limitMs` (stretched on slow runs) ran out first, or when
// `writer`, the child that was to make it, ended without making it.
bool FileAppears(const std::string& path, long limitMs, ChildProcess* writer = nullptr);

}  // namespace orn2::testing

// Defines a child body: ORN2_CHILD(Writer) { ... return 0; } with `args`.
#define ORN2_CHILD(name)                                                               \
  static int name##ChildBody(const std::vector<std::string>& args);                    \
  static ::orn2::testing::ChildRegistrar name##ChildRegistrar(#name, name##ChildBody); \
  static int name##ChildBody(const std::vector<std::string>& args)

#endif  // ORN2_TESTS_SUPPORT_CHILD_H
