#include "port/process.h"

#include <unistd.h>

namespace orn2::port {

int ProcessId() { return static_cast<int>(::getpid()); }

}  // namespace orn2::port
