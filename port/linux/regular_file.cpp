// The type of an open file on Linux: statx asked for the type alone, which
// does not make the file system gather the rest of the status (an fstat
// costs several times as much, and a log line is little more than an open, a
// write and a close).
#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>

#include "port/posix/regular_file.h"

namespace orn2::port {

bool IsRegularDescriptor(int fd) {
  struct statx status {};
  if (::statx(fd, "", AT_EMPTY_PATH | AT_STATX_DONT_SYNC, STATX_TYPE, &status) == 0 &&
      (status.stx_mask & STATX_TYPE) != 0) {
    return S_ISREG(status.stx_mode);
  }
  // A kernel before statx, or a sandbox that forbids it: the whole status.
  struct stat st;
  return ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
}

}  // namespace orn2::port
