#include "support/child.h"

#include <chrono>
#include <filesystem>
#include <map>
#include <thread>

#include "support/process.h"
#include "support/time_factor.h"

namespace orn2::testing {
namespace {

constexpr const char* kChildSwitch = "--orn2-child";

std::map<std::string, ChildMain>& Registry() {
  static std::map<std::string, ChildMain> registry;
  return registry;
}

}  // namespace

ChildRegistrar::ChildRegistrar(const char* name, ChildMain body) { Registry()[name] = body; }

bool RunChildIfRequested(int argc, char** argv, int* exitCode) {
  if (argc < 3 || std::string(argv[1]) != kChildSwitch) return false;
  auto found = Registry().find(argv[2]);
  if (found == Registry().end()) {
    *exitCode = 99;
    return true;
  }
  *exitCode = found->second(std::vector<std::string>(argv + 3, argv + argc));
  return true;
}

ChildProcess::ChildProcess(const std::string& name, const std::vector<std::string>& args) {
  std::vector<std::string> all{kChildSwitch, name};
  all.insert(all.end(), args.begin(), args.end());
  handle_ = SpawnProcess(SelfPath(), all);
}

ChildProcess::~ChildProcess() {
  if (handle_ == nullptr) return;
  if (!ended_) {
    KillProcess(handle_);
    WaitProcess(handle_, 10000, nullptr);
  }
  CloseProcess(handle_);
}

bool ChildProcess::Wait(long timeoutMs, int* exitCode) {
  int code = -1;
  if (handle_ == nullptr || !WaitProcess(handle_, ScaledLimit(timeoutMs), &code)) return false;
  ended_ = true;
  if (exitCode != nullptr) *exitCode = code;
  return true;
}

int ExitCodeOf(const std::string& name, const std::vector<std::string>& args, long limitMs) {
  ChildProcess child(name, args);
  int code = -1;
  child.Wait(limitMs, &code);
  return code;
}

void ChildProcess::Kill() {
  if (handle_ != nullptr && !ended_) KillProcess(handle_);
}

bool FileAppears(const std::string& path, long limitMs, ChildProcess* writer) {
  using Clock = std::chrono::steady_clock;
  const Clock::time_point end = Clock::now() + std::chrono::milliseconds(ScaledLimit(limitMs));
  for (;;) {
    if (std::filesystem::exists(path)) return true;
    if (writer != nullptr && writer->Wait(0, nullptr)) return std::filesystem::exists(path);
    if (Clock::now() >= end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

}  // namespace orn2::testing
