// Threads on Windows: the runtime's thread start and end, and the system's
// suspension, termination and waits. TerminateThread ends the thread at once:
// it runs no cleanup, leaves its stack and allocations behind, a critical
// section it owns stays owned, and a mutex it owns becomes abandoned.
#include "port/thread.h"

#include <process.h>
#include "port/win32/windows_system.h"

#include <cerrno>
#include <cstdlib>

namespace orn2::port {
namespace {

struct Start {
  ThreadRoutine routine;
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
void* StartThread(ThreadRoutine routine, void* argument, unsigned int stackSize, int* runtimeError,
                  int* systemError) {
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
  return reinterpret_cast<void*>(handle);
}

bool ThreadActive(void* thread) {
  DWORD code = 0;
  return thread != nullptr && ::GetExitCodeThread(thread, &code) && code == STILL_ACTIVE;
}

bool WaitThread(void* thread, long timeoutMs) {
  if (thread == nullptr) return false;
  DWORD timeout = timeoutMs < 0 ? INFINITE : static_cast<DWORD>(timeoutMs);
  return ::WaitForSingleObject(thread, timeout) == WAIT_OBJECT_0;
}

// SuspendThread only asks the system to suspend; reading the thread's context
// waits until it really has stopped.
long SuspendThread(void* thread) {
  if (thread == nullptr) return -1;
  DWORD previous = ::SuspendThread(thread);
  if (previous == static_cast<DWORD>(-1)) return -1;
  CONTEXT context{};
  context.ContextFlags = CONTEXT_INTEGER;
  ::GetThreadContext(thread, &context);
  return static_cast<long>(previous);
}

long ResumeThread(void* thread) {
  if (thread == nullptr) return -1;
  DWORD previous = ::ResumeThread(thread);
  return previous == static_cast<DWORD>(-1) ? -1 : static_cast<long>(previous);
}

bool TerminateThread(void* thread, unsigned int exitCode) {
  return thread != nullptr && ::TerminateThread(thread, exitCode) != 0;
}

void* DuplicateThreadHandle(void* thread) {
  if (thread == nullptr) return nullptr;
  HANDLE copy = nullptr;
  HANDLE self = ::GetCurrentProcess();
  if (!::DuplicateHandle(self, thread, self, &copy, 0, FALSE, DUPLICATE_SAME_ACCESS))
    return nullptr;
  return copy;
}

bool CloseThreadHandle(void* thread) { return thread != nullptr && ::CloseHandle(thread) != 0; }

}  // namespace orn2::port
