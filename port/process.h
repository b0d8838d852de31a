// Process and thread identity, and child processes (for the multi-process tests
// and the command-line tools).
#ifndef ORN2_PORT_PROCESS_H
#define ORN2_PORT_PROCESS_H

#include <string>
#include <vector>

namespace orn2::port {

int ProcessId();

// The system's numeric id of the calling thread (gettid, GetCurrentThreadId).
unsigned long CurrentThreadId();

// The full path of the running executable.
std::string SelfPath();

// Starts `program` with `args` (not including the program name). Returns an
// opaque handle, or null when the process could not be started.
void* SpawnProcess(const std::string& program, const std::vector<std::string>& args);

// Waits up to timeoutMs (-1: no limit) for the process to end. Returns true and
// stores its exit code when it ended; a process ended by a signal reports
// 128 + the signal number.
bool WaitProcess(void* process, long timeoutMs, int* exitCode);

// Ends the process at once (SIGKILL, TerminateProcess); it holds nothing after.
void KillProcess(void* process);

// Frees the handle; waits for nothing.
void CloseProcess(void* process);

}  // namespace orn2::port

#endif  // ORN2_PORT_PROCESS_H
