// orn-agent: a small service built on liborn2 the way a real agent is, from start
// to stop. It logs with echo on the console, reads its Config and server list,
// runs three Thread workers (a cron heartbeat, an IP range walk, a configuration
// watcher) and stops them cooperatively on Ctrl+C, SIGTERM or --run-for.
#include <liborn2/liborn2.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "agent/workers.h"
#include "common/console.h"

namespace {

const char kUsage[] =
    "usage: orn-agent [--config FILE] [--log FILE] [--run-for SECONDS]\n"
    "\n"
    "Runs the example agent until Ctrl+C or SIGTERM, or for SECONDS seconds.\n"
    "--config  the configuration file (default: the bundled examples/agent.conf)\n"
    "--log     the log file (default: agent/logfile of the configuration)\n";

constexpr int kExitUsage = 2;
constexpr int kDefaultLevel = 3;
constexpr int kDefaultKeep = 5;
constexpr unsigned long kWatchIntervalMs = 500;

struct Options {
  std::string config = ORN_AGENT_DEFAULT_CONFIG;
  std::string log;
  long runFor = -1;  // seconds; -1 runs until a stop request
};

int Usage(const char* problem) {
  std::fprintf(stderr, "orn-agent: %s (try --help)\n", problem);
  return kExitUsage;
}

// Returns -1 to go on, otherwise the exit status.
int ParseOptions(int argc, char** argv, Options& options) {
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      std::fputs(kUsage, stdout);
      return 0;
    }
    if (arg != "--config" && arg != "--log" && arg != "--run-for") {
      return Usage(("unknown argument " + arg).c_str());
    }
    if (i + 1 >= argc) return Usage((arg + " needs a value").c_str());
    const char* value = argv[++i];
    if (arg == "--config") {
      options.config = value;
    } else if (arg == "--log") {
      options.log = value;
    } else {
      char* end = nullptr;
      options.runFor = std::strtol(value, &end, 10);
      if (*value == '\0' || *end != '\0' || options.runFor < 0 || options.runFor > 86400 * 365) {
        return Usage("--run-for takes a number of seconds");
      }
    }
  }
  return -1;
}

std::string Setting(Config& config, const char* key, const char* fallback) {
  char value[Config::kValueSize];
  if (config.GetString(key, value, sizeof value, "agent") != 0) return fallback;
  return value;
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  const int parsed = ParseOptions(argc, argv, options);
  if (parsed >= 0) return parsed;
  orn2::console::CatchStopRequests();

  Config config(options.config.c_str());
  if (config.IsConfigLoadedOk() == 0) {
    std::fprintf(stderr, "orn-agent: cannot load the configuration %s\n", options.config.c_str());
    return kExitUsage;
  }
  agent::LogSettings settings;
  settings.file = options.log.empty() ? Setting(config, "logfile", "orn-agent.log") : options.log;
  settings.level = config.GetInteger("loglevel", "agent");
  if (settings.level == Config::kMissingInteger) settings.level = kDefaultLevel;
  // Rotation by size, off unless log_max_size is set.
  const long maxBytes = config.GetLong("log_max_size", "agent");
  settings.maxBytes = maxBytes == Config::kMissingLong ? 0 : maxBytes;
  settings.keep = config.GetInteger("log_keep", "agent");
  if (settings.keep == Config::kMissingInteger) settings.keep = kDefaultKeep;

  Log log("agent", 1);
  if (log.EnableLog(settings.file.c_str(), settings.level) != 0) {
    std::fprintf(stderr, "\norn-agent: cannot log to %s at level %d\n", settings.file.c_str(),
                 settings.level);
    return kExitUsage;
  }
  const long long configuredMax = settings.maxBytes;
  const bool rotating = log.SetRotation(settings.maxBytes, settings.keep) == 0;
  if (!rotating) settings.maxBytes = 0;  // the workers' logs do not rotate either
  log.LogBlank();
  log.LogLine(3, "agent started: configuration %s, log %s", options.config.c_str(),
              settings.file.c_str());
  if (!rotating) {
    log.LogLine(2, "log_max_size %lld with log_keep %d is not usable: the log does not rotate",
                configuredMax, settings.keep);
  } else if (settings.maxBytes > 0) {
    log.LogLine(3, "the log rotates past %lld bytes, keeping %d rotated files", settings.maxBytes,
                settings.keep);
  }

  std::vector<OrnEndPoint> servers;
  if (config.RetrieveEndPoints(servers) != 0) {
    log.LogLine(2, "no complete server entry in section soap");
  }
  for (size_t i = 0; i < servers.size(); ++i) {
    log.LogLine(3, "server %u: %s://%s:%u", static_cast<unsigned>(i + 1),
                servers[i].GetProtocol().c_str(), servers[i].GetHostName().c_str(),
                servers[i].GetPort());
  }

  agent::Heartbeat heartbeat(Setting(config, "heartbeat", "* * * * *"), settings);
  agent::Scanner scanner(Setting(config, "scan_range", "127.0.0.1"),
                         Setting(config, "scan_mask", ""), settings);
  agent::ConfigWatcher watcher(options.config, kWatchIntervalMs, settings);
  struct Worker {
    const char* name;
    Thread* thread;
  };
  const Worker workers[] = {{"heartbeat", &heartbeat}, {"scan", &scanner}, {"watch", &watcher}};
  for (const Worker& worker : workers) {
    const int error = worker.thread->Start();
    if (error != 0) log.LogLine(1, "worker %s did not start (error %d)", worker.name, error);
  }
  if (options.runFor >= 0) {
    log.LogLine(3, "running for %ld seconds", options.runFor);
  } else {
    log.LogLine(3, "running; Ctrl+C stops");
  }

  const auto start = std::chrono::steady_clock::now();
  while (!orn2::console::StopRequested()) {
    const auto elapsed = std::chrono::steady_clock::now() - start;
    if (options.runFor >= 0 && elapsed >= std::chrono::seconds(options.runFor)) break;
    Thread::Sleep(agent::kPollMs);
  }
  log.LogLine(3, "stopping (%s)",
              orn2::console::StopRequested() ? "stop request" : "run time over");
  for (const Worker& worker : workers) {
    worker.thread->CloseThread();
    log.LogLine(3, "worker %s stopped", worker.name);
  }
  log.LogLine(3, "agent stopped after %d heartbeats", heartbeat.Beats());
  return 0;
}
