#include "common/followed_file.h"

#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace orn2::followed {
namespace {

FileId IdOf(const struct stat& status) {
  FileId id;
  id.volume = static_cast<uint64_t>(status.st_dev);
  id.index = static_cast<uint64_t>(status.st_ino);
  return id;
}

}  // namespace

bool OpenFile::Open(const char* path) {
  Close();
  // O_NONBLOCK: a FIFO at the path is refused below instead of waited on.
  int fd = ::open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat status {};
  if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
    ::close(fd);
    return false;
  }
  handle_ = fd;
  id_ = IdOf(status);
  return true;
}

int64_t OpenFile::Size() const {
  struct stat status {};
  if (handle_ < 0 || ::fstat(static_cast<int>(handle_), &status) != 0) return -1;
  return static_cast<int64_t>(status.st_size);
}

int64_t OpenFile::ModifiedNs() const {
  struct stat status {};
  if (handle_ < 0 || ::fstat(static_cast<int>(handle_), &status) != 0) return 0;
  return static_cast<int64_t>(status.st_mtim.tv_sec) * 1000000000 + status.st_mtim.tv_nsec;
}

long OpenFile::ReadAt(int64_t offset, char* out, size_t size) const {
  if (handle_ < 0) return -1;
  ssize_t n;
  do {
    n = ::pread(static_cast<int>(handle_), out, size, static_cast<off_t>(offset));
  } while (n < 0 && errno == EINTR);
  return static_cast<long>(n);
}

void OpenFile::Close() {
  if (handle_ >= 0) ::close(static_cast<int>(handle_));
  handle_ = -1;
}

bool IdOfPath(const char* path, FileId& id) {
  struct stat status {};
  if (::stat(path, &status) != 0 || !S_ISREG(status.st_mode)) return false;
  id = IdOf(status);
  return true;
}

// POSIX systems take any bytes in a mutex name: the file name as it is.
void WritersMutexName(const char* path, char* out, size_t size) {
  if (size == 0) return;
  size_t length = ::strnlen(path, size - 1);
  std::memcpy(out, path, length);
  out[length] = '\0';
}

long long UnreadOutput() {
  struct stat status {};
  int unread = 0;
  if (::fstat(STDOUT_FILENO, &status) != 0 || !S_ISFIFO(status.st_mode) ||
      ::ioctl(STDOUT_FILENO, FIONREAD, &unread) != 0) {
    return 0;
  }
  return unread;
}

void Pause(int milliseconds) {
  struct timespec wait {};
  wait.tv_sec = milliseconds / 1000;
  wait.tv_nsec = static_cast<long>(milliseconds % 1000) * 1000000L;
  ::nanosleep(&wait, nullptr);  // a signal ends it early
}

}  // namespace orn2::followed
