// Named mutexes on Linux: one lock per name for all processes of one user.
#ifndef ORN2_PORT_LINUX_NAMED_MUTEX_H
#define ORN2_PORT_LINUX_NAMED_MUTEX_H

#include <string>

#include "port/sync.h"

namespace orn2::port {

// One name's mutex as this process holds it, shared by all handles of the
// process that name it.
struct NamedMutex;

// The mutex of `name` (its first kMaxMutexName bytes, at least one), opened or created;
// null with the reason in *why when it cannot be had.
NamedMutex* OpenNamedMutex(const char* name, std::string* why);

// Lets go of what one OpenNamedMutex gave; the last one of the process unmaps it, and the last
// user of all removes it.
void CloseNamedMutex(NamedMutex* mutex);

// kAcquired, kAbandoned (its owner ended holding it; now the caller holds it),
// kBusy (without `wait` only) or kFailed.
LockResult LockNamedMutex(NamedMutex* mutex, bool wait);

// Releases one level; no effect unless the calling thread holds it.
void UnlockNamedMutex(NamedMutex* mutex);

}  // namespace orn2::port

#endif  // ORN2_PORT_LINUX_NAMED_MUTEX_H
