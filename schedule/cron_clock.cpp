#include "schedule/cron_clock.h"

#include <atomic>

#include "port/clock.h"

namespace orn2::schedule {

namespace {
std::atomic<bool> fixed{false};
std::atomic<int64_t> fixedNow{0};
}  // namespace

int64_t CronNow() {
  return fixed.load(std::memory_order_acquire) ? fixedNow.load(std::memory_order_relaxed)
                                               : port::NowSeconds();
}

void SetCronNowForTesting(int64_t seconds) {
  fixedNow.store(seconds, std::memory_order_relaxed);
  fixed.store(true, std::memory_order_release);
}

void ClearCronNowForTesting() { fixed.store(false, std::memory_order_release); }

}  // namespace orn2::schedule
