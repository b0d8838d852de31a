#include "support/temp_dir.h"

#include <atomic>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

#include "port/process.h"

namespace orn2::testing {

TempDir::TempDir() {
  static std::atomic<unsigned> counter{0};
  std::random_device random;
  std::filesystem::path base = std::filesystem::temp_directory_path();
  for (;;) {
    std::ostringstream name;
    name << "orn2-" << port::ProcessId() << '-' << counter++ << '-' << random();
    std::filesystem::path candidate = base / name.str();
    if (std::filesystem::create_directory(candidate)) {
      path_ = candidate.string();
      return;
    }
  }
}

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

std::string TempDir::File(const std::string& name) const {
  return (std::filesystem::path(path_) / name).string();
}

std::string ReadFileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream all;
  all << in.rdbuf();
  return all.str();
}

// The bytes go to a name of their own beside the file first and are then
// renamed over it, so a process that polls for the file (a parent waiting for
// its child's flag or result) never reads it half-written.
void WriteFileBytes(const std::string& path, const std::string& bytes) {
  static std::atomic<unsigned> counter{0};
  const std::string scratch =
      path + ".part-" + std::to_string(port::ProcessId()) + "-" + std::to_string(counter++);
  {
    std::ofstream out(scratch, std::ios::binary | std::ios::trunc);
    out << bytes;
  }
  std::error_code ignored;
  std::filesystem::rename(scratch, path, ignored);
}

}  // namespace orn2::testing
