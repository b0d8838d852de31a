// The platform layer: plain functions and opaque handles that the class folders
// call instead of the system. port/posix/ and port/win32/ define them; the build
// compiles one of the two sets, so no other source needs a platform #if.
#ifndef ORN2_PORT_PORT_H
#define ORN2_PORT_PORT_H

#include "port/clock.h"
#include "port/fs.h"
#include "port/net.h"
#include "port/process.h"
#include "port/sync.h"
#include "port/thread.h"

#endif  // ORN2_PORT_PORT_H
