// Mutexes on Linux. An anonymous mutex is a futex-based lock of the process
// (fast_lock.h); a named one is shared by every process of the user
// (named_mutex.h). Both stay in user space while uncontended, and a lock whose
// owner thread ends while holding it is taken over by the next waiter.
#include <atomic>
#include <cstring>

#include "port/linux/fast_lock.h"
#include "port/linux/named_mutex.h"
#include "port/sync.h"

namespace orn2::port {

// A handle: reference counted, so that a duplicate is the same pointer with one
// more reference and every CloseMutex drops one.
struct MutexHandle {
  std::atomic<int> refs{1};
  NamedMutex* named = nullptr;  // null: anonymous, `local` is the lock
  FastLock local;
};

MutexHandle* NewMutex(const char* name, std::string* whyRefused) {
  auto* object = new MutexHandle;
  if (name != nullptr && name[0] != '\0') {
    object->named = OpenNamedMutex(name, whyRefused);
    if (object->named == nullptr) {
      delete object;
      return nullptr;
    }
  }
  return object;
}

MutexHandle* DuplicateMutex(MutexHandle* mutex) {
  if (mutex == nullptr) return nullptr;
  mutex->refs.fetch_add(1, std::memory_order_relaxed);
  return mutex;
}

void CloseMutex(MutexHandle* object) {
  if (object == nullptr || object->refs.fetch_sub(1, std::memory_order_acq_rel) != 1) return;
  if (object->named != nullptr) CloseNamedMutex(object->named);
  delete object;
}

LockResult LockMutex(MutexHandle* object) {
  if (object == nullptr) return LockResult::kFailed;
  if (object->named != nullptr) return LockNamedMutex(object->named, true);
  return TakeFastLock(&object->local, true);
}

LockResult TryLockMutex(MutexHandle* object) {
  if (object == nullptr) return LockResult::kFailed;
  if (object->named != nullptr) return LockNamedMutex(object->named, false);
  return TakeFastLock(&object->local, false);
}

void UnlockMutex(MutexHandle* object) {
  if (object == nullptr) return;
  if (object->named != nullptr) {
    UnlockNamedMutex(object->named);
  } else {
    ReleaseFastLock(&object->local);
  }
}

// Linux takes any bytes in a mutex name.
void FileMutexName(const char* fileName, char* out, std::size_t size) {
  if (size == 0) return;
  std::size_t length = fileName == nullptr ? 0 : ::strnlen(fileName, size - 1);
  if (length > 0) std::memcpy(out, fileName, length);
  out[length] = '\0';
}

}  // namespace orn2::port
