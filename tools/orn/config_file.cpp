#include "orn/config_file.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "orn/cli.h"

namespace orn {

namespace fs = std::filesystem;

int LoadConfigFile(Config& config, const std::string& command, const std::string& file,
                   bool mayBeMissing) {
  if (file.empty()) return Fail(kExitUsage, command, "empty file name");
  if (file.size() > kMaxConfigFileName) {
    return Fail(kExitUsage, command, "file name longer than 250 characters");
  }
  std::error_code error;
  fs::file_status status = fs::status(file, error);
  if (!fs::exists(status)) {
    if (mayBeMissing && status.type() == fs::file_type::not_found) return kExitOk;
    return Fail(kExitUsage, command, "cannot read " + file + ": no such file");
  }
  if (fs::is_directory(status)) return Fail(kExitUsage, command, file + " is a directory");
  // A FIFO, device or socket would make the probe below wait, or read
  // something that is no configuration; the library refuses them as well.
  if (!fs::is_regular_file(status)) {
    return Fail(kExitUsage, command, file + " is not a regular file");
  }
  // The library reports an unreadable file by its result only; opening it here
  // first gives the user the system's reason.
  std::FILE* probe = std::fopen(file.c_str(), "r");
  if (probe == nullptr) {
    return Fail(kExitUsage, command, "cannot read " + file + ": " + std::strerror(errno));
  }
  std::fclose(probe);
  if (config.LoadConfig(file.c_str()) != 0) {
    return Fail(kExitUsage, command, "cannot load " + file);
  }
  return kExitOk;
}

ConfigFileLock::ConfigFileLock(const std::string& file) {
  char name[Mutex::kMaxName + 1];
  if (Config::SaveLockName(file.c_str(), name, sizeof name) != 0) return;
  mutex_ = std::make_unique<Mutex>(name);
  mutex_->Acquire();
}

ConfigFileLock::~ConfigFileLock() {
  if (mutex_ != nullptr) mutex_->Release();
}

int SaveConfigFile(Config& config, const std::string& command, const std::string& file) {
  if (config.SaveConfig(file.c_str()) != 0) {
    return Fail(kExitUsage, command, "cannot save " + file + " (see " + file + ".New)");
  }
  return kExitOk;
}

}  // namespace orn
