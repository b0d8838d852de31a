// The platform layer: what liborn2 itself needs of the system, as plain
// functions and opaque handles (each kind a type of its own) that the class
// folders call instead of the system. port/posix/ (with port/linux/ for what
// only Linux has) and port/win32/ define them; the build compiles one of the
// sets, so no other source needs a platform #if. What only the tests need of
// the system lives in tests/support/, what only the programs need in
// tools/common/.
#ifndef ORN2_PORT_PORT_H
#define ORN2_PORT_PORT_H

#include "port/clock.h"
#include "port/fs.h"
#include "port/net.h"
#include "port/process.h"
#include "port/sync.h"
#include "port/thread.h"

#endif  // ORN2_PORT_PORT_H
