// The lock of an anonymous mutex on Linux: recursive, for the threads of one
// process, held and released in user space while uncontended, with a futex to
// sleep on while it is held.
#ifndef ORN2_PORT_LINUX_FAST_LOCK_H
#define ORN2_PORT_LINUX_FAST_LOCK_H

#include <sys/types.h>

#include <atomic>

#include "port/sync.h"

namespace orn2::port {

// state: 0 free, 1 held, 2 held with (possible) waiters. owner: the holder's
// thread id. depth: the recursion count, touched by the holder only. A waiter
// that finds the owner's thread gone takes the lock over (abandoned).
struct FastLock {
  std::atomic<int> state{0};
  std::atomic<pid_t> owner{0};
  unsigned long depth = 0;
};

// Takes the lock (kAcquired or kAbandoned); without `wait`, kBusy while another
// thread holds it.
LockResult TakeFastLock(FastLock* lock, bool wait);

// Releases one level; no effect unless the calling thread holds the lock.
void ReleaseFastLock(FastLock* lock);

}  // namespace orn2::port

#endif  // ORN2_PORT_LINUX_FAST_LOCK_H
