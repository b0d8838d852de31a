// Loading and saving a configuration file for the config subcommands, with the
// checks that turn an unusable file into a one-line message and exit status 2.
#ifndef ORN_TOOLS_CONFIG_FILE_H
#define ORN_TOOLS_CONFIG_FILE_H

#include <liborn2/liborn2.h>

#include <memory>
#include <string>

namespace orn {

// The library's limits. It refuses longer file names; the tool also refuses
// longer names and values instead of letting them be cut.
constexpr size_t kMaxConfigFileName = Config::kFileNameMax;
constexpr size_t kMaxFullName = Config::kNameMax;
constexpr size_t kMaxValue = Config::kValueMax;
// Buffers for one value and one key name, with room for the terminator.
constexpr int kValueBuffer = Config::kValueSize;
constexpr int kKeyBuffer = Config::kNameSize;

// Loads `file` into `config`. With `mayBeMissing`, a file that does not exist
// leaves the store empty and counts as success (config set creates the file).
// Returns kExitOk, or prints the problem and returns kExitUsage.
int LoadConfigFile(Config& config, const std::string& command, const std::string& file,
                   bool mayBeMissing);

// Holds the named mutex under which the library saves `file` (the name from
// Config::SaveLockName) for its lifetime, so that a load, change and save of
// the tool is one step for every other saver of the file, other orn runs and
// programs calling SaveConfig alike: concurrent edits lose no update. A name
// the library refuses gets no lock; loading it fails anyway.
class ConfigFileLock {
 public:
  explicit ConfigFileLock(const std::string& file);
  ~ConfigFileLock();
  ConfigFileLock(const ConfigFileLock&) = delete;
  ConfigFileLock& operator=(const ConfigFileLock&) = delete;

 private:
  std::unique_ptr<Mutex> mutex_;
};

// Saves through the library's protocol (".New" file, ".Save" backup). Returns
// kExitOk, or prints the problem and returns kExitUsage.
int SaveConfigFile(Config& config, const std::string& command, const std::string& file);

class Args;
// orn config endpoints FILE (its own file).
int ConfigEndPoints(const Args& args);

}  // namespace orn

#endif  // ORN_TOOLS_CONFIG_FILE_H
