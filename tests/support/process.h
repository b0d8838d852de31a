// Other processes for the multi-process tests and the benchmarks: the path of
// the running program, and starting, waiting for and ending a child. Defined
// per platform in support/posix/ (support/linux/ for the program's path) and
// support/win32/; the library itself never starts a process.
#ifndef ORN2_TESTS_SUPPORT_PROCESS_H
#define ORN2_TESTS_SUPPORT_PROCESS_H

#include <string>
#include <vector>

namespace orn2::testing {

// A started child process; defined by each platform's source.
struct ProcessHandle;

// The full path of the running executable.
std::string SelfPath();

// Starts `program` with `args` (not including the program name). Null when the
// process could not be started.
ProcessHandle* SpawnProcess(const std::string& program, const std::vector<std::string>& args);

// Waits up to timeoutMs (-1: no limit) for the process to end. Returns true and
// stores its exit code when it ended; a process ended by a signal reports
// 128 + the signal number.
bool WaitProcess(ProcessHandle* process, long timeoutMs, int* exitCode);

// Ends the process at once (SIGKILL, TerminateProcess); it holds nothing after.
void KillProcess(ProcessHandle* process);

// Frees the handle; waits for nothing.
void CloseProcess(ProcessHandle* process);

}  // namespace orn2::testing

#endif  // ORN2_TESTS_SUPPORT_PROCESS_H
