// Mutexes and critical sections: what Mutex and WinGuard need of the system.
#ifndef ORN2_PORT_SYNC_H
#define ORN2_PORT_SYNC_H

#include <cstddef>
#include <string>

namespace orn2::port {

// --- Recursive mutexes, anonymous or named --------------------------------
// A mutex is held by a thread, recursively; when its owner ends while holding
// it, the next thread to wait takes it over (abandoned). Handles are opaque;
// null stands for "the system refused" and every call accepts it (no effect).

// Longest mutex name in bytes; a longer name stands for its first
// kMaxMutexName bytes. Mutex::kMaxName publishes the same number.
constexpr std::size_t kMaxMutexName = 127;

// A handle to one mutex; what it points to is each platform's own (on Windows
// the system's HANDLE itself, never dereferenced).
struct MutexHandle;

// Creates a mutex that is not owned. Null or empty `name`: a new anonymous
// mutex. Otherwise the mutex of that name (its first kMaxMutexName bytes),
// shared by every process of the user: the existing one if there is one.
// Returns null when refused, with the reason in *whyRefused (one line, no line
// end).
MutexHandle* NewMutex(const char* name, std::string* whyRefused);

// The name of the mutex that guards the file `fileName`: the file name itself,
// changed only where the system refuses it as a mutex name (Windows refuses a
// backslash: each becomes a forward slash). `out` holds `size` bytes; the name
// is cut to fit and always terminated.
void FileMutexName(const char* fileName, char* out, std::size_t size);

// Another handle to the same mutex; each handle is closed once.
MutexHandle* DuplicateMutex(MutexHandle* mutex);

// Closes one handle. A lock still held by the calling thread stays held.
void CloseMutex(MutexHandle* mutex);

enum class LockResult {
  kAcquired,   // the caller holds the lock
  kAbandoned,  // the caller holds the lock; its previous owner ended holding it
  kBusy,       // another thread holds it (TryLockMutex only)
  kFailed,     // no lock taken (null handle, system error)
};

LockResult LockMutex(MutexHandle* mutex);
LockResult TryLockMutex(MutexHandle* mutex);
// Releases one level; no effect when the caller does not hold the lock.
void UnlockMutex(MutexHandle* mutex);

// --- Critical sections (one process, recursive) ---------------------------
// A section lives in storage its owner provides, of at least these many bytes
// and aligned to kCriticalSectionAlign; each platform's source defines what the
// storage holds (a recursive pthread mutex, a CRITICAL_SECTION) and checks at
// compile time that it fits.
constexpr std::size_t kCriticalSectionBytes = 64;
constexpr std::size_t kCriticalSectionAlign = 8;

struct CriticalSection;

void InitSection(CriticalSection* section);
// The section must not be held.
void DestroySection(CriticalSection* section);
// Waits without limit; recursive, as often entered as left.
void EnterSection(CriticalSection* section);
void LeaveSection(CriticalSection* section);

}  // namespace orn2::port

#endif  // ORN2_PORT_SYNC_H
