// Critical sections on POSIX: a recursive in-process pthread mutex in the
// caller's storage.
#include <pthread.h>

#include "port/sync.h"

namespace orn2::port {

static_assert(sizeof(pthread_mutex_t) <= kCriticalSectionBytes, "critical section fits");
static_assert(alignof(pthread_mutex_t) <= kCriticalSectionAlign, "critical section aligned");

void InitCriticalSection(void* storage) {
  auto* mutex = static_cast<pthread_mutex_t*>(storage);
  pthread_mutexattr_t attr;
  pthread_mutexattr_init(&attr);
  pthread_mutexattr_settype(&attr, PTHREAD_MUTEX_RECURSIVE);
  pthread_mutex_init(mutex, &attr);
  pthread_mutexattr_destroy(&attr);
}

void DeleteCriticalSection(void* storage) {
  pthread_mutex_destroy(static_cast<pthread_mutex_t*>(storage));
}

void EnterCriticalSection(void* storage) {
  pthread_mutex_lock(static_cast<pthread_mutex_t*>(storage));
}

void LeaveCriticalSection(void* storage) {
  pthread_mutex_unlock(static_cast<pthread_mutex_t*>(storage));
}

}  // namespace orn2::port
