// Thread identity on Linux: the calling thread's id, which the locks of
// port/linux/ record as their owner and a log line shows (CurrentThreadId of
// port/process.h), and the one probe of whether a thread of this process
// still lives.
#ifndef ORN2_PORT_LINUX_THREAD_ID_H
#define ORN2_PORT_LINUX_THREAD_ID_H

#include <sys/types.h>

namespace orn2::port {

// The calling thread's id as far as it was asked for, 0 before. Initial-exec
// static TLS, read inline by the uncontended lock without a call.
extern __thread __attribute__((tls_model("initial-exec"))) pid_t cachedThreadId;

// Asks the system for the calling thread's id and caches it.
pid_t AskThreadId();

// The calling thread's system id (gettid), asked of the system once per
// thread; a child made by fork starts with the cache cleared, so it sees its own.
inline pid_t CallingThreadId() {
  pid_t id = cachedThreadId;
  return id != 0 ? id : AskThreadId();
}

// True unless the system says that this process has no thread `tid` (a
// thread that ended, or an id of no thread at all).
bool ThreadOfThisProcessLives(pid_t tid);

}  // namespace orn2::port

#endif  // ORN2_PORT_LINUX_THREAD_ID_H
