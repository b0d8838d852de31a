#include "common/local_time.h"

namespace orn2::local_time {

bool ToLocal(int64_t seconds, std::tm* local) {
  const time_t t = static_cast<time_t>(seconds);
  return static_cast<int64_t>(t) == seconds && ::localtime_r(&t, local) != nullptr;
}

bool FromLocal(std::tm* local, int64_t* seconds) {
  const time_t t = std::mktime(local);
  if (t == static_cast<time_t>(-1)) return false;
  *seconds = static_cast<int64_t>(t);
  return true;
}

}  // namespace orn2::local_time
