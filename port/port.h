// The platform layer: what liborn2 itself needs of the system, as plain
// functions and opaque handles (each kind a type of its own) that the class
// folders call instead of the system. Two systems are supported: Linux, where
// port/posix/ and port/linux/ define them (port/posix/ uses a few Linux
// additions to POSIX too, such as pthread_sigqueue and sem_clockwait), and
// Windows, where port/win32/ does; the build compiles one of the sets, so no
// other source needs a platform #if, and it stops on any other system. What
// only the tests need of the system lives in tests/support/, what only the
// programs need in tools/common/.
#ifndef ORN2_PORT_PORT_H
#define ORN2_PORT_PORT_H

#include "port/clock.h"
#include "port/fs.h"
#include "port/net.h"
#include "port/process.h"
#include "port/sync.h"
#include "port/thread.h"

#endif  // ORN2_PORT_PORT_H
