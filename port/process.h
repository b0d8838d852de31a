// Process and thread identity: what a log line shows of its writer.
#ifndef ORN2_PORT_PROCESS_H
#define ORN2_PORT_PROCESS_H

namespace orn2::port {

int ProcessId();

// The system's numeric id of the calling thread (gettid, GetCurrentThreadId).
unsigned long CurrentThreadId();

}  // namespace orn2::port

#endif  // ORN2_PORT_PROCESS_H
