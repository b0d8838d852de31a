// The example agent's workers: each is a Thread whose body polls StopFlag() and
// writes its own module's lines to the agent's log file (all Log objects of one
// file take turns through the file's named mutex).
#ifndef ORN_AGENT_WORKERS_H
#define ORN_AGENT_WORKERS_H

#include <liborn2/liborn2.h>

#include <atomic>
#include <map>
#include <string>

namespace agent {

// What every worker is given: the log file and level, with echo on the console,
// and the size past which the file rotates (0: never) with the number of
// rotated files kept.
struct LogSettings {
  std::string file;
  int level;
  long long maxBytes;
  int keep;
};

// Sets up a log of the agent's file as every one of its logs is.
inline void EnableAgentLog(Log& log, const LogSettings& settings) {
  log.EnableLog(settings.file.c_str(), settings.level);
  log.SetRotation(settings.maxBytes, settings.keep);
}

// Workers get a stack large enough for a Log's line and dump buffers.
constexpr unsigned int kWorkerStack = 256 * 1024;
// How often a worker looks at its stop flag while it waits.
constexpr unsigned long kPollMs = 100;

// Waits up to `ms` in steps of kPollMs; false as soon as `stop` reports true.
template <typename StopTest>
bool Pause(unsigned long ms, StopTest stop) {
  for (unsigned long waited = 0; waited < ms; waited += kPollMs) {
    if (stop()) return false;
    Thread::Sleep(kPollMs);
  }
  return !stop();
}

// Fires a task whenever its cron line falls due: getStartTime gives the next
// start, the body sleeps in short steps until then, logs the beat and asks again.
class Heartbeat : public Thread {
 public:
  Heartbeat(const std::string& line, const LogSettings& settings);
  void Run() override;
  int Beats() const { return beats_.load(); }

 private:
  std::string line_;
  Log log_;
  std::atomic<int> beats_{0};  // read by the owner
};

// Expands the configured address range with OrnIPParser and walks every address
// once, logging how many there are; then waits for the stop.
class Scanner : public Thread {
 public:
  Scanner(const std::string& range, const std::string& mask, const LogSettings& settings);
  void Run() override;

 private:
  std::string range_;
  std::string mask_;
  Log log_;
};

// Holds its own Config on the agent's file (a Config serves one thread) and
// looks at it every interval; a lookup reloads the file when it changed on disk,
// and every value that the reload changed, added or removed is logged.
class ConfigWatcher : public Thread {
 public:
  ConfigWatcher(const std::string& file, unsigned long intervalMs, const LogSettings& settings);
  void Run() override;

 private:
  using Snapshot = std::map<std::string, std::string>;
  Snapshot Read(Config& config);
  void Compare(const Snapshot& before, const Snapshot& after);

  std::string file_;
  unsigned long intervalMs_;
  Log log_;
};

}  // namespace agent

#endif  // ORN_AGENT_WORKERS_H
