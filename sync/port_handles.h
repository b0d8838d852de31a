// Mutex and Thread keep their platform handle in a void* field and WinGuard
// its critical section in a byte array, as the classes' published layouts have
// them; the platform layer gives each kind of handle a type of its own. These
// casts turn the fields into the platform's types for the sync classes. One
// other place casts a Mutex field: Log's file lock (log/log_file.cpp), which
// reads it through Mutex's public handle address, as no class folder includes
// another's private header.
#ifndef ORN2_SYNC_PORT_HANDLES_H
#define ORN2_SYNC_PORT_HANDLES_H

#include "port/sync.h"
#include "port/thread.h"

namespace orn2::sync {

// The handle a Mutex field holds (it only ever holds one of NewMutex's).
inline port::MutexHandle* AsMutexHandle(void* field) {
  return static_cast<port::MutexHandle*>(field);
}

// The handle a Thread field (and Thread::Tid) holds, from StartWorker.
inline port::WorkerHandle* AsWorkerHandle(void* field) {
  return static_cast<port::WorkerHandle*>(field);
}

// The section that lives in WinGuard's storage.
inline port::CriticalSection* AsCriticalSection(unsigned char* storage) {
  return reinterpret_cast<port::CriticalSection*>(storage);
}

}  // namespace orn2::sync

#endif  // ORN2_SYNC_PORT_HANDLES_H
