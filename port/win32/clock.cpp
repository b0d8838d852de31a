#include "port/clock.h"

#include "port/win32/windows_system.h"

#include <time.h>

namespace orn2::port {

int64_t NowSeconds() { return static_cast<int64_t>(::_time64(nullptr)); }

bool LocalTime(int64_t seconds, std::tm* out) {
  __time64_t t = static_cast<__time64_t>(seconds);
  return ::_localtime64_s(out, &t) == 0;
}

void SleepMs(unsigned long ms) { ::Sleep(ms); }

}  // namespace orn2::port
