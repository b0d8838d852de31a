#include <set>
#include <string>
#include <vector>

#include "agent/workers.h"

namespace agent {

ConfigWatcher::ConfigWatcher(const std::string& file, unsigned long intervalMs,
                             const LogSettings& settings)
    : Thread(kWorkerStack), file_(file), intervalMs_(intervalMs), log_("watch", 1) {
  EnableAgentLog(log_, settings);
}

ConfigWatcher::Snapshot ConfigWatcher::Read(Config& config) {
  // A lookup first reloads the file if it changed on disk; the walks below see
  // the reloaded records.
  char value[Config::kValueSize];
  config.GetString("logfile", value, sizeof value, "agent");

  std::vector<std::string> sections;
  std::set<std::string> seen;
  for (char* name = config.GetFirstSection(); name != nullptr; name = config.GetNextSection()) {
    if (seen.insert(name).second) sections.emplace_back(name);
  }
  std::vector<std::string> names;
  for (const std::string& section : sections) {
    char key[Config::kNameSize] = {};
    for (int more = config.GetFirstKey(section.c_str(), key, Config::kNameSize - 1); more != 0;
         more = config.GetNextKey(section.c_str(), key, Config::kNameSize - 1)) {
      names.push_back(section + "/" + key);
    }
  }
  Snapshot snapshot;
  for (const std::string& name : names) {
    // The full name serves as the key with no section; the first record wins.
    if (snapshot.count(name) == 0 &&
        config.GetString(name.c_str(), value, sizeof value, nullptr) == 0) {
      snapshot[name] = value;
    }
  }
  return snapshot;
}

void ConfigWatcher::Compare(const Snapshot& before, const Snapshot& after) {
  for (const auto& [name, value] : after) {
    auto old = before.find(name);
    if (old == before.end()) {
      log_.LogLine(3, "configuration: %s added: %s", name.c_str(), value.c_str());
    } else if (old->second != value) {
      log_.LogLine(3, "configuration: %s changed from %s to %s", name.c_str(), old->second.c_str(),
                   value.c_str());
    }
  }
  for (const auto& [name, value] : before) {
    if (after.count(name) == 0) {
      log_.LogLine(3, "configuration: %s removed (was %s)", name.c_str(), value.c_str());
    }
  }
}

void ConfigWatcher::Run() {
  Config config(file_.c_str());
  if (config.IsConfigLoadedOk() == 0) {
    log_.LogLine(1, "cannot load %s; not watching it", file_.c_str());
    return;
  }
  Snapshot current = Read(config);
  log_.LogLine(3, "watching %s: %u keys", file_.c_str(), static_cast<unsigned>(current.size()));
  while (Pause(intervalMs_, [this] { return StopFlag() != 0; })) {
    Snapshot next = Read(config);
    if (next != current) {
      Compare(current, next);
      current.swap(next);
    }
  }
}

}  // namespace agent
