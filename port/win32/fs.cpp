#include "port/fs.h"

#define NOMINMAX
#define WIN32_LEAN_AND_MEAN
#include <io.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/utime.h>
#include <windows.h>

#include <cerrno>

namespace orn2::port {
namespace {

// The runtime's errno for the system's last error, so that callers can print
// strerror as they do on POSIX.
void SetErrnoFromLastError() {
  switch (GetLastError()) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_DRIVE:
      errno = ENOENT;
      break;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
      errno = EACCES;
      break;
    case ERROR_ALREADY_EXISTS:
    case ERROR_FILE_EXISTS:
      errno = EEXIST;
      break;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
      errno = ENOSPC;
      break;
    default:
      errno = EIO;
      break;
  }
}

}  // namespace

bool StatFile(const char* path, FileStatus* status) {
  struct _stat64 st;
  if (_stat64(path, &st) != 0) return false;
  status->size = static_cast<int64_t>(st.st_size);
  status->modificationTime = static_cast<int64_t>(st.st_mtime);
  return true;
}

bool SyncFile(std::FILE* file) {
  if (std::fflush(file) != 0) return false;
  return _commit(_fileno(file)) == 0;
}

bool LinkOrCopyFile(const char* from, const char* to) {
  if (CreateHardLinkA(to, from, nullptr)) return true;
  // FALSE: overwrite; the caller removed `to` before.
  if (CopyFileA(from, to, FALSE)) return true;
  SetErrnoFromLastError();
  return false;
}

bool ReplaceFileAtomically(const char* from, const char* to) {
  if (MoveFileExA(from, to, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) return true;
  SetErrnoFromLastError();
  return false;
}

// MOVEFILE_WRITE_THROUGH already waits for the move to reach the disk.
void SyncParentDirectory(const char*) {}

bool SetFileModificationTime(const char* path, int64_t seconds) {
  struct __utimbuf64 times;
  times.actime = static_cast<__time64_t>(seconds);
  times.modtime = static_cast<__time64_t>(seconds);
  return _utime64(path, &times) == 0;
}

}  // namespace orn2::port
