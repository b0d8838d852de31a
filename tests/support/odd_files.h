// What tests of file handling need of the system beyond the library: special
// files to refuse, and a disk that fills up. Defined per platform in
// support/posix/ and support/win32/.
#ifndef ORN2_TESTS_SUPPORT_ODD_FILES_H
#define ORN2_TESTS_SUPPORT_ODD_FILES_H

#include <string>

namespace orn2::testing {

// The special files that code which opens only regular files must refuse.
enum class SpecialFile {
  kFifo,       // a named pipe (none at a file path on Windows)
  kDirectory,  // a folder
  kDevice,     // a symbolic link to the null device (POSIX only)
};
inline const char* Describe(SpecialFile kind) {
  return kind == SpecialFile::kFifo        ? "FIFO"
         : kind == SpecialFile::kDirectory ? "directory"
                                           : "device";
}

// Makes a special file of `kind` at `path`; false where the system cannot.
bool MakeSpecialFile(SpecialFile kind, const std::string& path);

// What is at `path`, without following a last symbolic link: "fifo",
// "directory", "symlink", "file", "missing" or "other"; so that a test sees
// a special file neither removed nor replaced.
std::string FileKind(const std::string& path);

// Holds a FIFO open for reading without waiting for a writer, so that a
// writer's non-blocking open of it succeeds.
class FifoReader {
 public:
  explicit FifoReader(const std::string& path);
  ~FifoReader();
  FifoReader(const FifoReader&) = delete;
  FifoReader& operator=(const FifoReader&) = delete;

 private:
  int fd_;
};

// Makes the existing empty `directory` hold about `bytes` bytes at most, for
// the calling process only: a small tmpfs mounted there in a mount namespace
// of its own where the process may do that, otherwise a file size limit
// (RLIMIT_FSIZE, with SIGXFSZ ignored) on every file the process writes.
// Returns which of the two it made, or an empty text where neither exists.
std::string SimulateFullDisk(const std::string& directory, long bytes);

// True for the Windows build, whose tests run under Wine, where a line under a
// named mutex costs some ten times what it costs natively: tests of many
// writer processes write fewer lines there to stay within their time.
bool SlowNamedMutexes();

}  // namespace orn2::testing

#endif  // ORN2_TESTS_SUPPORT_ODD_FILES_H
