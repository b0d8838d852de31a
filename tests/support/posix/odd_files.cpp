#include "support/odd_files.h"

#include <fcntl.h>
#include <sched.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>

#include "support/hostile.h"

namespace orn2::testing {

bool MakeSpecialFile(SpecialFile kind, const std::string& path) {
  switch (kind) {
    case SpecialFile::kFifo:
      return ::mkfifo(path.c_str(), 0600) == 0;
    case SpecialFile::kDirectory:
      return ::mkdir(path.c_str(), 0700) == 0;
    case SpecialFile::kDevice:
      return ::symlink("/dev/null", path.c_str()) == 0;
  }
  return false;
}

std::string FileKind(const std::string& path) {
  struct stat st;
  if (::lstat(path.c_str(), &st) != 0) return "missing";
  if (S_ISFIFO(st.st_mode)) return "fifo";
  if (S_ISDIR(st.st_mode)) return "directory";
  if (S_ISLNK(st.st_mode)) return "symlink";
  if (S_ISREG(st.st_mode)) return "file";
  return "other";
}

FifoReader::FifoReader(const std::string& path)
    : fd_(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC)) {}

FifoReader::~FifoReader() {
  if (fd_ >= 0) ::close(fd_);
}

std::string SimulateFullDisk(const std::string& directory, long bytes) {
  // The mount stays private to this process's new namespace, which is why
  // mount events must not propagate back to the parent's.
  if (::unshare(CLONE_NEWNS) == 0 &&
      ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0) {
    char options[64];
    std::snprintf(options, sizeof options, "size=%ld", bytes);
    if (::mount("tmpfs", directory.c_str(), "tmpfs", 0, options) == 0) return "tmpfs";
  }
  if (::signal(SIGXFSZ, SIG_IGN) == SIG_ERR || !LimitFileSize(bytes)) return "";
  return "RLIMIT_FSIZE";
}

bool SlowNamedMutexes() { return false; }

}  // namespace orn2::testing
