// How logs share their mutex: assignment makes two logs serialise on one lock,
// which the last of them to let go destroys (see counted_mutex.h).
#include "log/counted_mutex.h"

#include <cstring>

Log::~Log() { ReplaceMutex(nullptr); }

// Lets go of the current mutex, destroying it when no other log holds it, and
// holds `replacement` instead.
void Log::ReplaceMutex(CountedMutex* replacement) {
  CountedMutex* previous = mutex_;
  mutex_ = replacement;
  if (previous != nullptr && previous->holders.fetch_sub(1, std::memory_order_acq_rel) == 1)
    delete previous;
}

void Log::operator=(const Log& other) {
  if (this == &other) return;
  std::memcpy(fileName_, other.fileName_, sizeof fileName_);
  level_ = other.level_;
  enabled_ = other.enabled_;
  if (mutex_ != other.mutex_) {
    other.mutex_->holders.fetch_add(1, std::memory_order_relaxed);
    ReplaceMutex(other.mutex_);
  }
  // The echo flag and the count of lost lines stay the target's own; the
  // rotation setting goes with the file.
  std::memcpy(module_, other.module_, kModuleSize - 1);
  processId_ = other.processId_;
  maxBytes_ = other.maxBytes_;
  keep_ = other.keep_;
}
