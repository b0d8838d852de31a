#include "port/clock.h"

#define NOMINMAX
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <stdlib.h>
#include <time.h>

namespace orn2::port {

int64_t NowSeconds() { return static_cast<int64_t>(::_time64(nullptr)); }

bool LocalTime(int64_t seconds, std::tm* out) {
  __time64_t t = static_cast<__time64_t>(seconds);
  return ::_localtime64_s(out, &t) == 0;
}

void SetTimeZone(const char* tz) {
  ::_putenv_s("TZ", tz != nullptr ? tz : "");
  ::_tzset();
}

bool ZoneRulesSupported() { return false; }

void SleepMs(unsigned long ms) { ::Sleep(ms); }

}  // namespace orn2::port
