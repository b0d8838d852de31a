// The mutex a Log serialises its lines on, with a count of the logs that hold
// it (logs assigned from one another hold the same one). Not a reader-writer
// lock: one Mutex, owned jointly.
#ifndef ORN2_LOG_COUNTED_MUTEX_H
#define ORN2_LOG_COUNTED_MUTEX_H

#include <liborn2/log.h>
#include <liborn2/mutex.h>

#include <atomic>

// Assignment makes two logs use one mutex. Rather than two owners, the mutex
// carries a count of the logs that hold it, and the last one to let go
// destroys it.
struct Log::CountedMutex {
  CountedMutex() = default;
  explicit CountedMutex(char* name) : mutex(name) {}

  Mutex mutex;
  std::atomic<int> holders{1};
};

#endif  // ORN2_LOG_COUNTED_MUTEX_H
