#include <cstdio>
#include <ctime>

#include "agent/workers.h"

namespace agent {
namespace {

constexpr size_t kLineSize = 256;

// "HH:MM:SS" of a start time in local time.
void FormatTime(unsigned long when, char* text, size_t size) {
  const std::time_t seconds = static_cast<std::time_t>(when);
  const std::tm* local = std::localtime(&seconds);
  if (local == nullptr || std::strftime(text, size, "%Y-%m-%d %H:%M:%S", local) == 0) {
    std::snprintf(text, size, "%lu", when);
  }
}

}  // namespace

Heartbeat::Heartbeat(const std::string& line, const LogSettings& settings)
    : Thread(kWorkerStack), line_(line), log_("cron", 1) {
  EnableAgentLog(log_, settings);
}

void Heartbeat::Run() {
  // The parser takes the line as writable text; it does not change it.
  char line[kLineSize];
  std::snprintf(line, sizeof line, "%s", line_.c_str());
  CronParser cron;
  if (cron.eval(line) == 0) {
    log_.LogLine(1, "heartbeat line '%s' is not valid; no heartbeat", line);
    return;
  }
  char text[32];
  unsigned long next = cron.getStartTime(line);
  FormatTime(next, text, sizeof text);
  log_.LogLine(3, "heartbeat '%s', next at %s", line, text);
  while (next != 0 && StopFlag() == 0) {
    if (static_cast<unsigned long>(std::time(nullptr)) >= next) {
      ++beats_;
      next = cron.getStartTime(line);
      FormatTime(next, text, sizeof text);
      log_.LogLine(3, "heartbeat %d, next at %s", beats_.load(), text);
    }
    Thread::Sleep(kPollMs);
  }
}

}  // namespace agent
