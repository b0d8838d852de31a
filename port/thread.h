// Worker threads: what Thread needs of the system.
#ifndef ORN2_PORT_THREAD_H
#define ORN2_PORT_THREAD_H

namespace orn2::port {

// A handle to one started thread; what it points to is each platform's own (on
// Windows the system's HANDLE itself, never dereferenced). Null stands for no
// thread, and every call accepts it (failure, no effect).
struct WorkerHandle;

// The body of a thread; its result is the thread's exit code.
using WorkerRoutine = unsigned int (*)(void* argument);

// Starts `routine(argument)` on a new thread that runs at once, with a stack of
// at least `stackSize` bytes (raised to the platform's minimum). Returns the
// thread's handle, or null with the runtime's error number in *runtimeError and
// the system's error code in *systemError.
WorkerHandle* StartWorker(WorkerRoutine routine, void* argument, unsigned int stackSize,
                          int* runtimeError, int* systemError);

// True while the thread has not ended (a suspended thread is active); false
// once it ended or was terminated, and for a null handle.
bool WorkerActive(WorkerHandle* worker);

// Waits up to timeoutMs (negative: no limit) for the thread to end. True when
// it has ended.
bool WaitWorker(WorkerHandle* worker, long timeoutMs);

// Stops the thread from running; returns its previous suspension count, or -1
// on failure (for instance when it has ended). Returns only once the thread
// has stopped.
long SuspendWorker(WorkerHandle* worker);

// Undoes one suspension; returns the previous count, or -1 on failure.
long ResumeWorker(WorkerHandle* worker);

// Ends the thread at once with `exitCode`, wherever it is. What it held stays
// held (see the implementations). False when it could not be terminated.
bool KillWorker(WorkerHandle* worker, unsigned int exitCode);

// Another handle to the same thread, to be closed separately; null on failure.
WorkerHandle* DuplicateWorkerHandle(WorkerHandle* worker);

// Closes one handle; true on success. The thread itself runs on.
bool CloseWorkerHandle(WorkerHandle* worker);

}  // namespace orn2::port

#endif  // ORN2_PORT_THREAD_H
