// Critical sections on POSIX: a recursive in-process pthread mutex in the
// caller's storage.
#include <pthread.h>

#include "port/sync.h"

namespace orn2::port {

struct CriticalSection {
  pthread_mutex_t mutex;
};
static_assert(sizeof(CriticalSection) <= kCriticalSectionBytes, "critical section fits");
static_assert(alignof(CriticalSection) <= kCriticalSectionAlign, "critical section aligned");

void InitSection(CriticalSection* section) {
  pthread_mutexattr_t attr;
  pthread_mutexattr_init(&attr);
  pthread_mutexattr_settype(&attr, PTHREAD_MUTEX_RECURSIVE);
  pthread_mutex_init(&section->mutex, &attr);
  pthread_mutexattr_destroy(&attr);
}

void DestroySection(CriticalSection* section) { pthread_mutex_destroy(&section->mutex); }

void EnterSection(CriticalSection* section) { pthread_mutex_lock(&section->mutex); }

void LeaveSection(CriticalSection* section) { pthread_mutex_unlock(&section->mutex); }

}  // namespace orn2::port
