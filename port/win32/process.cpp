#include "port/process.h"

#include "port/win32/windows_system.h"

namespace orn2::port {

int ProcessId() { return static_cast<int>(::GetCurrentProcessId()); }

unsigned long CurrentThreadId() { return ::GetCurrentThreadId(); }

}  // namespace orn2::port
