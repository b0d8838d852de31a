// Worker threads: what Thread needs of the system.
#ifndef ORN2_PORT_THREAD_H
#define ORN2_PORT_THREAD_H

#include <cstddef>

namespace orn2::port {

// The body of a thread; its result is the thread's exit code.
using ThreadRoutine = unsigned int (*)(void* argument);

// Starts `routine(argument)` on a new thread that runs at once, with a stack of
// at least `stackSize` bytes (raised to the platform's minimum). Returns the
// thread's handle, or null with the runtime's error number in *runtimeError and
// the system's error code in *systemError.
void* StartThread(ThreadRoutine routine, void* argument, unsigned int stackSize, int* runtimeError,
                  int* systemError);

// True while the thread has not ended (a suspended thread is active); false
// once it ended or was terminated, and for a null handle.
bool ThreadActive(void* thread);

// Waits up to timeoutMs (negative: no limit) for the thread to end. True when
// it has ended.
bool WaitThread(void* thread, long timeoutMs);

// Stops the thread from running; returns its previous suspension count, or -1
// on failure (for instance when it has ended). Returns only once the thread
// has stopped.
long SuspendThread(void* thread);

// Undoes one suspension; returns the previous count, or -1 on failure.
long ResumeThread(void* thread);

// Ends the thread at once with `exitCode`, wherever it is. What it held stays
// held (see the implementations). False when it could not be terminated.
bool TerminateThread(void* thread, unsigned int exitCode);

// Another handle to the same thread, to be closed separately; null on failure.
void* DuplicateThreadHandle(void* thread);

// Closes one handle; true on success. The thread itself runs on.
bool CloseThreadHandle(void* thread);

}  // namespace orn2::port

#endif  // ORN2_PORT_THREAD_H
