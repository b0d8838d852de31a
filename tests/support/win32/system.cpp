// The time zone, file times and the thread's stack on Windows.
#include "support/system.h"

#include <stdlib.h>
#include <sys/types.h>
#include <time.h>

#include "port/win32/windows_system.h"

namespace orn2::testing {

void SetTimeZone(const char* tz) {
  ::_putenv_s("TZ", tz != nullptr ? tz : "");
  ::_tzset();
}

bool ZoneRulesSupported() { return false; }

bool SetFileModificationTime(const char* path, int64_t seconds, int32_t nanoseconds) {
  // 100 ns steps since 1601-01-01.
  int64_t ticks = seconds * 10000000 + nanoseconds / 100 + 116444736000000000LL;
  FILETIME time;
  time.dwLowDateTime = static_cast<DWORD>(ticks & 0xFFFFFFFF);
  time.dwHighDateTime = static_cast<DWORD>(ticks >> 32);
  HANDLE file = ::CreateFileA(path, FILE_WRITE_ATTRIBUTES,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  bool set = ::SetFileTime(file, nullptr, &time, &time) != FALSE;
  ::CloseHandle(file);
  return set;
}

std::size_t CurrentThreadStackSize() {
  ULONG_PTR low = 0, high = 0;
  ::GetCurrentThreadStackLimits(&low, &high);
  return static_cast<std::size_t>(high - low);
}

std::size_t HeapBytesInUse() { return 0; }

}  // namespace orn2::testing
