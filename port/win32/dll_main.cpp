// The DLL entry point. The runtime's own entry point builds the constant strings
// before this runs and destroys them after the last detach; all this adds is
// turning off the per-thread attach and detach notifications nobody needs.
#include "port/win32/windows_system.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) DisableThreadLibraryCalls(instance);
  return TRUE;
}
