// Mutexes and critical sections: what Mutex and WinGuard need of the system.
#ifndef ORN2_PORT_SYNC_H
#define ORN2_PORT_SYNC_H

#include <cstddef>

namespace orn2::port {

// --- Recursive mutexes, anonymous or named --------------------------------
// A mutex is held by a thread, recursively; when its owner ends while holding
// it, the next thread to wait takes it over (abandoned). Handles are opaque;
// null stands for "the system refused" and every call accepts it (no effect).

// Creates a mutex that is not owned. Null or empty `name`: a new anonymous
// mutex. Otherwise the mutex of that name, shared by every process of the
// user: the existing one if there is one. Returns null when refused.
void* NewMutex(const char* name);

// Another handle to the same mutex; each handle is closed once.
void* DuplicateMutex(void* mutex);

// Closes one handle. A lock still held by the calling thread stays held.
void CloseMutex(void* mutex);

enum class LockResult {
  kAcquired,   // the caller holds the lock
  kAbandoned,  // the caller holds the lock; its previous owner ended holding it
  kBusy,       // another thread holds it (TryLockMutex only)
  kFailed,     // no lock taken (null handle, system error)
};

LockResult LockMutex(void* mutex);
LockResult TryLockMutex(void* mutex);
// Releases one level; no effect when the caller does not hold the lock.
void UnlockMutex(void* mutex);

// --- Critical sections (one process, recursive) ---------------------------
// The section lives in caller-provided storage of at least these many bytes,
// aligned to kCriticalSectionAlign.
constexpr std::size_t kCriticalSectionBytes = 64;
constexpr std::size_t kCriticalSectionAlign = 8;

void InitCriticalSection(void* storage);
void DeleteCriticalSection(void* storage);
void EnterCriticalSection(void* storage);
void LeaveCriticalSection(void* storage);

}  // namespace orn2::port

#endif  // ORN2_PORT_SYNC_H
