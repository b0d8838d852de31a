// Threads on Windows: the runtime's thread start and end, and the system's
// suspension, termination and waits. KillWorker ends the thread at once
// (TerminateThread): it runs no cleanup, leaves its stack and allocations
// behind, a critical section it owns stays owned, and a mutex it owns becomes
// abandoned.
#include "port/thread.h"

#include <process.h>
#include "port/win32/windows_system.h"

#include <cerrno>
#include <cstdlib>

namespace orn2::port {
namespace {

// A WorkerHandle is the thread's HANDLE itself; these are the only casts.
HANDLE SystemHandle(WorkerHandle* worker) { return worker; }
WorkerHandle* FromSystem(HANDLE thread) { return static_cast<WorkerHandle*>(thread); }

struct Start {
  WorkerRoutine routine;
  void* argument;
};

unsigned __stdcall Trampoline(void* argument) {
  Start start = *static_cast<Start*>(argument);
  delete static_cast<Start*>(argument);
  unsigned int code = start.routine(start.argument);
  _endthreadex(code);
  return code;
}

}  // namespace

// The system raises a stack below its minimum (the allocation granularity) by
// itself; the size is the committed part of the default reservation.
WorkerHandle* StartWorker(WorkerRoutine routine, void* argument, unsigned int stackSize,
                          int* runtimeError, int* systemError) {
  auto* start = new Start{routine, argument};
  errno = 0;
  _doserrno = 0;
  uintptr_t handle = _beginthreadex(nullptr, stackSize, &Trampoline, start, 0, nullptr);
  if (handle == 0) {
    *runtimeError = errno;
    *systemError = static_cast<int>(_doserrno);
    delete start;
    return nullptr;
  }
  return FromSystem(reinterpret_cast<HANDLE>(handle));
}

bool WorkerActive(WorkerHandle* worker) {
  DWORD code = 0;
  return worker != nullptr && ::GetExitCodeThread(SystemHandle(worker), &code) &&
         code == STILL_ACTIVE;
}

bool WaitWorker(WorkerHandle* worker, long timeoutMs) {
  if (worker == nullptr) return false;
  DWORD timeout = timeoutMs < 0 ? INFINITE : static_cast<DWORD>(timeoutMs);
  return ::WaitForSingleObject(SystemHandle(worker), timeout) == WAIT_OBJECT_0;
}

// SuspendThread only asks the system to suspend; reading the thread's context
// waits until it really has stopped.
long SuspendWorker(WorkerHandle* worker) {
  if (worker == nullptr) return -1;
  DWORD previous = ::SuspendThread(SystemHandle(worker));
  if (previous == static_cast<DWORD>(-1)) return -1;
  CONTEXT context{};
  context.ContextFlags = CONTEXT_INTEGER;
  ::GetThreadContext(SystemHandle(worker), &context);
  return static_cast<long>(previous);
}

long ResumeWorker(WorkerHandle* worker) {
  if (worker == nullptr) return -1;
  DWORD previous = ::ResumeThread(SystemHandle(worker));
  return previous == static_cast<DWORD>(-1) ? -1 : static_cast<long>(previous);
}

bool KillWorker(WorkerHandle* worker, unsigned int exitCode) {
  return worker != nullptr && ::TerminateThread(SystemHandle(worker), exitCode) != 0;
}

WorkerHandle* DuplicateWorkerHandle(WorkerHandle* worker) {
  if (worker == nullptr) return nullptr;
  HANDLE copy = nullptr;
  HANDLE self = ::GetCurrentProcess();
  if (!::DuplicateHandle(self, SystemHandle(worker), self, &copy, 0, FALSE, DUPLICATE_SAME_ACCESS))
    return nullptr;
  return FromSystem(copy);
}

bool CloseWorkerHandle(WorkerHandle* worker) {
  return worker != nullptr && ::CloseHandle(SystemHandle(worker)) != 0;
}

}  // namespace orn2::port
