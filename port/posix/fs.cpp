#include "port/fs.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

namespace orn2::port {
namespace {

// Copies `from` into a new file `to`; on failure `to` is removed again.
bool CopyFile(const char* from, const char* to) {
  int in = ::open(from, O_RDONLY | O_CLOEXEC);
  if (in < 0) return false;
  int out = ::open(to, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (out < 0) {
    int saved = errno;
    ::close(in);
    errno = saved;
    return false;
  }
  char buffer[65536];
  bool ok = true;
  for (;;) {
    ssize_t n = ::read(in, buffer, sizeof buffer);
    if (n == 0) break;
    if (n < 0) {
      if (errno == EINTR) continue;
      ok = false;
      break;
    }
    for (ssize_t done = 0; done < n && ok;) {
      ssize_t w = ::write(out, buffer + done, static_cast<size_t>(n - done));
      if (w < 0 && errno == EINTR) continue;
      if (w <= 0)
        ok = false;
      else
        done += w;
    }
    if (!ok) break;
  }
  int saved = errno;
  ::close(in);
  if (::close(out) != 0) ok = false;
  if (!ok) {
    ::unlink(to);
    errno = saved;
  }
  return ok;
}

}  // namespace

bool StatFile(const char* path, FileStatus* status) {
  struct stat st;
  if (::stat(path, &st) != 0) return false;
  status->size = static_cast<int64_t>(st.st_size);
  status->modificationTime = static_cast<int64_t>(st.st_mtime);
  return true;
}

bool SyncFile(std::FILE* file) {
  if (std::fflush(file) != 0) return false;
  int fd = ::fileno(file);
  while (::fsync(fd) != 0) {
    if (errno != EINTR) return false;
  }
  return true;
}

bool LinkOrCopyFile(const char* from, const char* to) {
  if (::link(from, to) == 0) return true;
  if (errno == ENOENT || errno == EEXIST) return false;
  return CopyFile(from, to);
}

bool ReplaceFileAtomically(const char* from, const char* to) { return std::rename(from, to) == 0; }

void SyncParentDirectory(const char* path) {
  std::string dir(path);
  size_t slash = dir.find_last_of('/');
  if (slash == std::string::npos)
    dir = ".";
  else if (slash == 0)
    dir = "/";
  else
    dir.resize(slash);
  int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);  // best effort: the rename has happened either way
  ::close(fd);
}

bool SetFileModificationTime(const char* path, int64_t seconds) {
  timespec times[2];
  times[0].tv_sec = static_cast<time_t>(seconds);
  times[0].tv_nsec = 0;
  times[1] = times[0];
  return ::utimensat(AT_FDCWD, path, times, 0) == 0;
}

}  // namespace orn2::port
