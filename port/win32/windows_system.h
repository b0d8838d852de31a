// The one way the Win32 layer includes <windows.h>: lean, and without the
// min/max macros that break the standard library.
#ifndef ORN2_PORT_WIN32_WINDOWS_SYSTEM_H
#define ORN2_PORT_WIN32_WINDOWS_SYSTEM_H

#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#endif  // ORN2_PORT_WIN32_WINDOWS_SYSTEM_H
