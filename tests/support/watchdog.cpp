#include "support/watchdog.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "support/time_factor.h"

namespace orn2::testing {

Watchdog::Watchdog(std::string what, int limit) {
  const int seconds = static_cast<int>(ScaledLimit(limit));
  thread_ = std::thread([this, what = std::move(what), seconds] {
    std::unique_lock<std::mutex> hold(lock_);
    if (done_.wait_for(hold, std::chrono::seconds(seconds), [this] { return finished_; })) return;
    // On both streams, since a test may be capturing one of them.
    for (std::FILE* stream : {stdout, stderr}) {
      std::fprintf(stream, "watchdog: %s did not finish within %d s\n", what.c_str(), seconds);
      std::fflush(stream);
    }
    std::_Exit(3);
  });
}

Watchdog::~Watchdog() {
  {
    std::lock_guard<std::mutex> hold(lock_);
    finished_ = true;
  }
  done_.notify_all();
  thread_.join();
}

}  // namespace orn2::testing
