#include "common/console.h"

#include <signal.h>

#include <atomic>

namespace orn2::console {
namespace {

// Written by the signal handler, read by the program's threads.
std::atomic<int> stopRequested{0};
static_assert(std::atomic<int>::is_always_lock_free, "the signal handler needs a lock-free flag");

void OnStopSignal(int) { stopRequested.store(1); }

}  // namespace

void CatchStopRequests() {
  struct sigaction action {};
  action.sa_handler = OnStopSignal;
  sigemptyset(&action.sa_mask);
  // No SA_RESTART: a blocking call returns early, so a sleeping main loop notices.
  action.sa_flags = 0;
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
}

bool StopRequested() { return stopRequested.load() != 0; }

// Standard input carries bytes unchanged on POSIX systems.
void BinaryStandardInput() {}

}  // namespace orn2::console
