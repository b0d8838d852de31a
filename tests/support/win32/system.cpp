// The time zone, file times and the thread's stack on Windows.
#include "support/system.h"

#include <stdlib.h>
#include <sys/types.h>
#include <sys/utime.h>
#include <time.h>

#include "port/win32/windows_system.h"

namespace orn2::testing {

void SetTimeZone(const char* tz) {
  ::_putenv_s("TZ", tz != nullptr ? tz : "");
  ::_tzset();
}

bool ZoneRulesSupported() { return false; }

bool SetFileModificationTime(const char* path, int64_t seconds) {
  struct __utimbuf64 times;
  times.actime = static_cast<__time64_t>(seconds);
  times.modtime = static_cast<__time64_t>(seconds);
  return _utime64(path, &times) == 0;
}

std::size_t CurrentThreadStackSize() {
  ULONG_PTR low = 0, high = 0;
  ::GetCurrentThreadStackLimits(&low, &high);
  return static_cast<std::size_t>(high - low);
}

}  // namespace orn2::testing
