#include "support/time_factor.h"

#include <cstdlib>

namespace orn2::testing {

long ScaledLimit(long limit) {
  static const long factor = [] {
    const char* text = std::getenv("ORN2_TEST_TIME_FACTOR");
    long value = text != nullptr ? std::strtol(text, nullptr, 10) : 1;
    return value >= 1 && value <= 100 ? value : 1;
  }();
  return limit * factor;
}

}  // namespace orn2::testing
