// The futex-based recursive lock of anonymous mutexes. The uncontended lock and
// unlock make no system call; a waiter that finds the owner thread gone takes
// the lock over.
#include "port/linux/fast_lock.h"

#include <linux/futex.h>
#include <sys/single_threaded.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <ctime>

#include "port/linux/thread_id.h"

namespace orn2::port {
namespace {

// How long a waiter sleeps before it looks whether the owner still lives.
constexpr long kOwnerCheckNs = 50 * 1000000L;

void FutexWait(std::atomic<int>* word, int expected) {
  timespec timeout{0, kOwnerCheckNs};
  ::syscall(SYS_futex, reinterpret_cast<int*>(word), FUTEX_WAIT_PRIVATE, expected, &timeout,
            nullptr, 0);
}

void FutexWakeOne(std::atomic<int>* word) {
  ::syscall(SYS_futex, reinterpret_cast<int*>(word), FUTEX_WAKE_PRIVATE, 1, nullptr, nullptr, 0);
}

}  // namespace

// A thread id reused by a new thread of this process before a waiter looked
// would hide the abandonment (thread ids cycle through a large range).
LockResult TakeFastLock(FastLock* lock, bool wait) {
  pid_t self = CallingThreadId();
  if (lock->owner.load(std::memory_order_relaxed) == self) {
    ++lock->depth;
    return LockResult::kAcquired;
  }
  // As the C library does for its own mutexes: while the process has a single
  // thread, nobody can race, so the lock word needs no atomic exchange.
  int expected = 0;
  if (__libc_single_threaded
          ? lock->state.load(std::memory_order_relaxed) == 0 &&
                (lock->state.store(1, std::memory_order_relaxed), true)
          : lock->state.compare_exchange_strong(expected, 1, std::memory_order_acquire)) {
    lock->owner.store(self, std::memory_order_relaxed);
    lock->depth = 1;
    return LockResult::kAcquired;
  }
  for (;;) {
    pid_t owner = lock->owner.load(std::memory_order_acquire);
    if (owner != 0 && !ThreadOfThisProcessLives(owner) &&
        lock->owner.compare_exchange_strong(owner, self, std::memory_order_acq_rel)) {
      lock->state.store(2, std::memory_order_relaxed);  // waiters may still sleep
      lock->depth = 1;
      return LockResult::kAbandoned;
    }
    if (!wait) return LockResult::kBusy;
    if (lock->state.exchange(2, std::memory_order_acquire) == 0) {
      lock->owner.store(self, std::memory_order_relaxed);
      lock->depth = 1;
      return LockResult::kAcquired;
    }
    FutexWait(&lock->state, 2);
  }
}

void ReleaseFastLock(FastLock* lock) {
  if (lock->owner.load(std::memory_order_relaxed) != CallingThreadId()) return;  // not ours
  if (--lock->depth > 0) return;
  lock->owner.store(0, std::memory_order_relaxed);
  if (__libc_single_threaded) {
    lock->state.store(0, std::memory_order_relaxed);  // no waiter can exist
  } else if (lock->state.exchange(0, std::memory_order_release) == 2) {
    FutexWakeOne(&lock->state);
  }
}

}  // namespace orn2::port
