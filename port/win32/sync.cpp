// Mutexes on Windows: kernel mutex objects (recursive, abandoned by the system
// when their owner thread ends) and critical sections.
#include "port/sync.h"

#include "port/win32/windows_system.h"

namespace orn2::port {

// A MutexHandle is the mutex's HANDLE itself; these are the only casts.
namespace {
HANDLE SystemHandle(MutexHandle* mutex) { return mutex; }
MutexHandle* FromSystem(HANDLE mutex) { return static_cast<MutexHandle*>(mutex); }
}  // namespace

// A critical section's storage holds the system's section.
struct CriticalSection {
  CRITICAL_SECTION section;
};
static_assert(sizeof(CriticalSection) <= kCriticalSectionBytes, "critical section fits");
static_assert(alignof(CriticalSection) <= kCriticalSectionAlign, "critical section aligned");

// Default security, not inherited by child processes, not initially owned. An
// existing mutex of the name is opened instead. A name the system does not take
// as an object name (one with a backslash) gives null.
MutexHandle* NewMutex(const char* name, std::string* whyRefused) {
  HANDLE mutex =
      ::CreateMutexA(nullptr, FALSE, (name != nullptr && name[0] != '\0') ? name : nullptr);
  if (mutex == nullptr)
    *whyRefused = "the system refuses it (error " + std::to_string(::GetLastError()) + ")";
  return FromSystem(mutex);
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
MutexHandle* DuplicateMutex(MutexHandle* mutex) {
  if (mutex == nullptr) return nullptr;
  HANDLE copy = nullptr;
  HANDLE self = ::GetCurrentProcess();
  if (!::DuplicateHandle(self, SystemHandle(mutex), self, &copy, 0, FALSE, DUPLICATE_SAME_ACCESS))
    return nullptr;
  return FromSystem(copy);
}

void CloseMutex(MutexHandle* mutex) {
  if (mutex != nullptr) ::CloseHandle(SystemHandle(mutex));
}

namespace {

LockResult Wait(MutexHandle* mutex, DWORD timeout) {
  if (mutex == nullptr) return LockResult::kFailed;
  switch (::WaitForSingleObject(SystemHandle(mutex), timeout)) {
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

LockResult LockMutex(MutexHandle* mutex) { return Wait(mutex, INFINITE); }

LockResult TryLockMutex(MutexHandle* mutex) { return Wait(mutex, 0); }

void UnlockMutex(MutexHandle* mutex) {
  if (mutex != nullptr) ::ReleaseMutex(SystemHandle(mutex));
}

void InitSection(CriticalSection* section) { ::InitializeCriticalSection(&section->section); }

void DestroySection(CriticalSection* section) { ::DeleteCriticalSection(&section->section); }

void EnterSection(CriticalSection* section) { ::EnterCriticalSection(&section->section); }

void LeaveSection(CriticalSection* section) { ::LeaveCriticalSection(&section->section); }

}  // namespace orn2::port
