#include "support/odd_files.h"

#include <filesystem>
#include <system_error>

// Windows has no FIFO at a file path and no per-process way to fill a disk;
// the tests that need them skip.
namespace orn2::testing {

bool MakeSpecialFile(SpecialFile kind, const std::string& path) {
  std::error_code error;
  return kind == SpecialFile::kDirectory && std::filesystem::create_directory(path, error);
}

std::string FileKind(const std::string& path) {
  std::error_code error;
  std::filesystem::file_status status = std::filesystem::symlink_status(path, error);
  switch (status.type()) {
    case std::filesystem::file_type::not_found:
      return "missing";
    case std::filesystem::file_type::directory:
      return "directory";
    case std::filesystem::file_type::symlink:
      return "symlink";
    case std::filesystem::file_type::regular:
      return "file";
    default:
      return "other";
  }
}

FifoReader::FifoReader(const std::string&) : fd_(-1) {}

FifoReader::~FifoReader() {}

std::string SimulateFullDisk(const std::string&, long) { return ""; }

bool SlowNamedMutexes() { return true; }

}  // namespace orn2::testing
