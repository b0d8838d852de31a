#include "port/process.h"

#include <pthread.h>
#include <sys/syscall.h>
#include <sys/types.h>
#include <unistd.h>

namespace orn2::port {

int ProcessId() { return static_cast<int>(::getpid()); }

namespace {

// The calling thread's id, asked of the system once per thread (every log line
// shows it); a child made by fork starts with the cache cleared.
thread_local unsigned long cachedThreadId = 0;

void ForgetThreadIdAfterFork() { cachedThreadId = 0; }

}  // namespace

unsigned long CurrentThreadId() {
  if (cachedThreadId == 0) {
    static const int registered = ::pthread_atfork(nullptr, nullptr, &ForgetThreadIdAfterFork);
    (void)registered;
    cachedThreadId = static_cast<unsigned long>(::syscall(SYS_gettid));
  }
  return cachedThreadId;
}

}  // namespace orn2::port
