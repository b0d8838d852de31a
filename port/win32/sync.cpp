// Mutexes on Windows: kernel mutex objects (recursive, abandoned by the system
// when their owner thread ends) and critical sections.
#include "port/sync.h"

#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

namespace orn2::port {

static_assert(sizeof(CRITICAL_SECTION) <= kCriticalSectionBytes, "critical section fits");
static_assert(alignof(CRITICAL_SECTION) <= kCriticalSectionAlign, "critical section aligned");

// Default security, not inherited by child processes, not initially owned. An
// existing mutex of the name is opened instead. A name the system does not take
// as an object name (one with a backslash) gives null.
void* NewMutex(const char* name) {
  return ::CreateMutexA(nullptr, FALSE, (name != nullptr && name[0] != '\0') ? name : nullptr);
}

// Ownership under copying: every holder gets a handle of its own.
void* DuplicateMutex(void* mutex) {
  if (mutex == nullptr) return nullptr;
  HANDLE copy = nullptr;
  HANDLE self = ::GetCurrentProcess();
  if (!::DuplicateHandle(self, mutex, self, &copy, 0, FALSE, DUPLICATE_SAME_ACCESS)) return nullptr;
  return copy;
}

void CloseMutex(void* mutex) {
  if (mutex != nullptr) ::CloseHandle(mutex);
}

namespace {

LockResult Wait(void* mutex, DWORD timeout) {
  if (mutex == nullptr) return LockResult::kFailed;
  switch (::WaitForSingleObject(mutex, timeout)) {
    case WAIT_OBJECT_0:
      return LockResult::kAcquired;
    case WAIT_ABANDONED:  // ownership granted; it must still be released
      return LockResult::kAbandoned;
    case WAIT_TIMEOUT:
      return LockResult::kBusy;
    default:
      return LockResult::kFailed;
  }
}

}  // namespace

LockResult LockMutex(void* mutex) { return Wait(mutex, INFINITE); }

LockResult TryLockMutex(void* mutex) { return Wait(mutex, 0); }

void UnlockMutex(void* mutex) {
  if (mutex != nullptr) ::ReleaseMutex(mutex);
}

void InitCriticalSection(void* storage) {
  ::InitializeCriticalSection(static_cast<CRITICAL_SECTION*>(storage));
}

void DeleteCriticalSection(void* storage) {
  ::DeleteCriticalSection(static_cast<CRITICAL_SECTION*>(storage));
}

void EnterCriticalSection(void* storage) {
  ::EnterCriticalSection(static_cast<CRITICAL_SECTION*>(storage));
}

void LeaveCriticalSection(void* storage) {
  ::LeaveCriticalSection(static_cast<CRITICAL_SECTION*>(storage));
}

}  // namespace orn2::port
