// Mutexes on Windows: kernel mutex objects (recursive, abandoned by the system
// when their owner thread ends) and critical sections.
#include "port/sync.h"

#include "port/win32/windows_system.h"

namespace orn2::port {

static_assert(sizeof(CRITICAL_SECTION) <= kCriticalSectionBytes, "critical section fits");
static_assert(alignof(CRITICAL_SECTION) <= kCriticalSectionAlign, "critical section aligned");

// Default security, not inherited by child processes, not initially owned. An
// existing mutex of the name is opened instead. A name the system does not take
// as an object name (one with a backslash) gives null.
void* NewMutex(const char* name, std::string* whyRefused) {
  HANDLE mutex =
      ::CreateMutexA(nullptr, FALSE, (name != nullptr && name[0] != '\0') ? name : nullptr);
  if (mutex == nullptr)
    *whyRefused = "the system refuses it (error " + std::to_string(::GetLastError()) + ")";
  return mutex;
}

// Mutex names may hold any character but a backslash, which the system keeps
// for its namespace prefixes (as in Local\name); a file name's backslashes become
// forward slashes, so that every writer of one file, spelled the same way,
// derives the same name.
void FileMutexName(const char* fileName, char* out, std::size_t size) {
  if (size == 0) return;
  std::size_t length = 0;
  for (; fileName != nullptr && fileName[length] != '\0' && length + 1 < size; ++length)
    out[length] = fileName[length] == '\\' ? '/' : fileName[length];
  out[length] = '\0';
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
