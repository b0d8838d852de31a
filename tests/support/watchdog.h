// A watchdog for tests of calls that must never block: when the guarded scope
// has not ended within its time, the test program says what hung and ends with
// a failure, instead of hanging the run.
#ifndef ORN2_TESTS_SUPPORT_WATCHDOG_H
#define ORN2_TESTS_SUPPORT_WATCHDOG_H

#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

namespace orn2::testing {

class Watchdog {
 public:
  // `seconds` is stretched on slow runs (see support/time_factor.h).
  Watchdog(std::string what, int seconds);
  ~Watchdog();  // disarms it
  Watchdog(const Watchdog&) = delete;
  Watchdog& operator=(const Watchdog&) = delete;

 private:
  std::mutex lock_;
  std::condition_variable done_;
  bool finished_ = false;
  std::thread thread_;
};

}  // namespace orn2::testing

#endif  // ORN2_TESTS_SUPPORT_WATCHDOG_H
