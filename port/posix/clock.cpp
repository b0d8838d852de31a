#include "port/clock.h"

#include <sched.h>
#include <time.h>

#include <cerrno>

namespace orn2::port {

int64_t NowSeconds() { return static_cast<int64_t>(::time(nullptr)); }

bool LocalTime(int64_t seconds, std::tm* out) {
  time_t t = static_cast<time_t>(seconds);
  if (static_cast<int64_t>(t) != seconds) return false;
  return ::localtime_r(&t, out) != nullptr;
}

void SleepMs(unsigned long ms) {
  if (ms == 0) {
    ::sched_yield();
    return;
  }
  timespec rest{static_cast<time_t>(ms / 1000), static_cast<long>(ms % 1000) * 1000000L};
  while (::nanosleep(&rest, &rest) != 0 && errno == EINTR) {
  }
}

}  // namespace orn2::port
