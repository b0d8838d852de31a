#include "common/local_time.h"

#include <time.h>

namespace orn2::local_time {

// The runtime's 64-bit functions, whatever the width of its time_t.
bool ToLocal(int64_t seconds, std::tm* local) {
  const __time64_t t = static_cast<__time64_t>(seconds);
  return _localtime64_s(local, &t) == 0;
}

bool FromLocal(std::tm* local, int64_t* seconds) {
  const __time64_t t = _mktime64(local);
  if (t == static_cast<__time64_t>(-1)) return false;
  *seconds = static_cast<int64_t>(t);
  return true;
}

}  // namespace orn2::local_time
