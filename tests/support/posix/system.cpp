// The time zone and file times on POSIX.
#include "support/system.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <time.h>

namespace orn2::testing {

void SetTimeZone(const char* tz) {
  if (tz != nullptr)
    ::setenv("TZ", tz, 1);
  else
    ::unsetenv("TZ");
  ::tzset();
}

bool ZoneRulesSupported() { return true; }

bool SetFileModificationTime(const char* path, int64_t seconds, int32_t nanoseconds) {
  timespec times[2];
  times[0].tv_sec = static_cast<time_t>(seconds);
  times[0].tv_nsec = nanoseconds;
  times[1] = times[0];
  return ::utimensat(AT_FDCWD, path, times, 0) == 0;
}

}  // namespace orn2::testing
