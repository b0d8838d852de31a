#include "port/linux/thread_id.h"

#include <pthread.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <mutex>

#include "port/process.h"

namespace orn2::port {

__thread pid_t cachedThreadId = 0;

namespace {

void ForgetThreadIdAfterFork() { cachedThreadId = 0; }

}  // namespace

pid_t AskThreadId() {
  static std::once_flag forkHandler;
  std::call_once(forkHandler, [] { ::pthread_atfork(nullptr, nullptr, &ForgetThreadIdAfterFork); });
  cachedThreadId = static_cast<pid_t>(::syscall(SYS_gettid));
  return cachedThreadId;
}

// Signal 0 delivers nothing: tgkill only looks the thread up in this process.
bool ThreadOfThisProcessLives(pid_t tid) {
  return ::syscall(SYS_tgkill, ::getpid(), tid, 0) == 0 || errno != ESRCH;
}

unsigned long CurrentThreadId() { return static_cast<unsigned long>(CallingThreadId()); }

}  // namespace orn2::port
