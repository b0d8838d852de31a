#include "port/fs.h"

#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <sys/types.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "port/win32/windows_system.h"

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

// Others may read, write, rename and delete a file while it is open here, as
// on POSIX; above all a save may rename its new file over one being read.
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// The writers' lock lies far beyond any end a file reaches (2^62): a byte
// range locked on Windows cannot be read or written through other handles, so
// the file's own bytes stay free for readers.
constexpr DWORD kWritersLockHigh = 0x40000000;

// 100-nanosecond intervals from 1601-01-01 to 1970-01-01.
constexpr int64_t kEpochOffset = 116444736000000000LL;

HANDLE Handle(FileHandle file) { return reinterpret_cast<HANDLE>(file.value); }

void FailWithLastError() { SetErrnoFromLastError(); }

void CloseKeepingError(HANDLE handle) {
  DWORD error = GetLastError();
  CloseHandle(handle);
  SetLastError(error);
}

bool SizeOf(HANDLE handle, int64_t* size) {
  LARGE_INTEGER value;
  if (!GetFileSizeEx(handle, &value)) return false;
  *size = value.QuadPart;
  return true;
}

bool Truncate(HANDLE handle, int64_t size) {
  LARGE_INTEGER at;
  at.QuadPart = size;
  return SetFilePointerEx(handle, at, nullptr, FILE_BEGIN) && SetEndOfFile(handle);
}

// Writes at the end of the file in one step: the offset 0xFFFFFFFF:0xFFFFFFFF
// does for this handle what FILE_APPEND_DATA access does, while the handle
// keeps the write access that cutting back a short write needs.
bool WriteAtEnd(HANDLE handle, const char* bytes, DWORD length, DWORD* written) {
  OVERLAPPED end{};
  end.Offset = 0xFFFFFFFF;
  end.OffsetHigh = 0xFFFFFFFF;
  *written = 0;
  return WriteFile(handle, bytes, length, written, &end) != FALSE;
}

// The modification time at its full resolution and the file's identity.
void FillTimeAndIdentity(const BY_HANDLE_FILE_INFORMATION& info, FileStatus* status) {
  int64_t ticks = (static_cast<int64_t>(info.ftLastWriteTime.dwHighDateTime) << 32) |
                  info.ftLastWriteTime.dwLowDateTime;
  status->modificationTime = (ticks - kEpochOffset) / 10000000;
  status->modificationNanoseconds = static_cast<int32_t>((ticks - kEpochOffset) % 10000000 * 100);
  status->device = info.dwVolumeSerialNumber;
  status->fileId = (static_cast<uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
}

}  // namespace

bool StatFile(const char* path, FileStatus* status) {
  struct _stat64 st;
  if (_stat64(path, &st) != 0) return false;
  status->size = static_cast<int64_t>(st.st_size);
  status->modificationTime = static_cast<int64_t>(st.st_mtime);
  status->regular = (st.st_mode & _S_IFMT) == _S_IFREG;
  status->modificationNanoseconds = 0;
  status->device = 0;
  status->fileId = 0;
  if (!status->regular) return true;
  // The runtime's status holds whole seconds and no identity: a regular
  // file's own information has both. Opened for no access at all, it is
  // neither read nor locked.
  HANDLE handle =
      CreateFileA(path, 0, kShareAll, nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return true;
  BY_HANDLE_FILE_INFORMATION info;
  if (GetFileInformationByHandle(handle, &info)) FillTimeAndIdentity(info, status);
  CloseHandle(handle);
  return true;
}

OpenOutcome OpenRegularFile(const char* path, FileAccess access, FileHandle* file,
                            FileStatus* status) {
  DWORD desired = access == FileAccess::kRead ? GENERIC_READ
                  : access == FileAccess::kCreate || access == FileAccess::kExtend
                      ? GENERIC_WRITE
                      : GENERIC_READ | GENERIC_WRITE;
  DWORD disposition =
      access == FileAccess::kRead || access == FileAccess::kUpdate || access == FileAccess::kExtend
          ? OPEN_EXISTING
          : OPEN_ALWAYS;
  // Backup semantics let a directory open too, so that it is told apart from
  // a file that cannot be opened; the type check below refuses it.
  HANDLE handle = CreateFileA(path, desired, kShareAll, nullptr, disposition,
                              FILE_ATTRIBUTE_NORMAL | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    DWORD error = GetLastError();
    DWORD attributes = GetFileAttributesA(path);
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
      return OpenOutcome::kNotRegular;
    }
    SetLastError(error);
    FailWithLastError();
    return OpenOutcome::kFailed;
  }
  BY_HANDLE_FILE_INFORMATION info;
  if (GetFileType(handle) != FILE_TYPE_DISK) {  // a console, device or pipe
    CloseHandle(handle);
    return OpenOutcome::kNotRegular;
  }
  if (!GetFileInformationByHandle(handle, &info)) {
    CloseKeepingError(handle);
    FailWithLastError();
    return OpenOutcome::kFailed;
  }
  if ((info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    CloseHandle(handle);
    return OpenOutcome::kNotRegular;
  }
  int64_t size = (static_cast<int64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
  if (access == FileAccess::kCreate && size != 0) {
    if (!Truncate(handle, 0)) {
      CloseKeepingError(handle);
      FailWithLastError();
      return OpenOutcome::kFailed;
    }
    size = 0;
  }
  if (status != nullptr) {
    status->size = size;
    FillTimeAndIdentity(info, status);
    status->regular = true;
  }
  file->value = reinterpret_cast<intptr_t>(handle);
  return OpenOutcome::kOpened;
}

OpenOutcome OpenForAppend(const char* path, FileHandle* file, int64_t* end) {
  // A writer that waited reopens this often at most when it finds the path
  // renamed meanwhile; each time needs another rotation by another writer.
  constexpr int kMaxReopens = 100;
  for (int reopened = 0;; ++reopened) {
    FileStatus status{};
    OpenOutcome outcome = OpenRegularFile(path, FileAccess::kUpdate, file, &status);
    if (outcome != OpenOutcome::kOpened) return outcome;
    bool waited = false;
    if (LockWriters(*file, &waited) && waited && reopened < kMaxReopens &&
        !PathNamesFile(path, *file)) {
      CloseFile(*file);  // rotated away meanwhile by the writer it waited for
      continue;
    }
    // The size now, under the lock: others may have appended since the open.
    if (!SizeOf(Handle(*file), end)) *end = status.size;
    return OpenOutcome::kOpened;
  }
}

bool LockWriters(FileHandle file, bool* waited) {
  OVERLAPPED at{};
  at.OffsetHigh = kWritersLockHigh;
  *waited = false;
  if (LockFileEx(Handle(file), LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &at))
    return true;
  if (GetLastError() != ERROR_LOCK_VIOLATION && GetLastError() != ERROR_IO_PENDING) {
    FailWithLastError();
    return false;
  }
  *waited = true;
  at = OVERLAPPED{};
  at.OffsetHigh = kWritersLockHigh;
  if (LockFileEx(Handle(file), LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &at)) return true;
  FailWithLastError();
  return false;
}

bool PathNamesFile(const char* path, FileHandle file) {
  BY_HANDLE_FILE_INFORMATION open, named;
  HANDLE other = CreateFileA(path, FILE_READ_ATTRIBUTES, kShareAll, nullptr, OPEN_EXISTING,
                             FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (other == INVALID_HANDLE_VALUE) return false;
  bool same = GetFileInformationByHandle(Handle(file), &open) &&
              GetFileInformationByHandle(other, &named) &&
              open.dwVolumeSerialNumber == named.dwVolumeSerialNumber &&
              open.nFileIndexHigh == named.nFileIndexHigh &&
              open.nFileIndexLow == named.nFileIndexLow;
  CloseHandle(other);
  return same;
}

bool EndOf(FileHandle file, int64_t* end) {
  if (SizeOf(Handle(file), end)) return true;
  FailWithLastError();
  return false;
}

bool ReadAt(FileHandle file, int64_t offset, char* out, std::size_t length) {
  OVERLAPPED at{};
  at.Offset = static_cast<DWORD>(offset & 0xFFFFFFFF);
  at.OffsetHigh = static_cast<DWORD>(offset >> 32);
  DWORD read = 0;
  if (!ReadFile(Handle(file), out, static_cast<DWORD>(length), &read, &at)) {
    FailWithLastError();
    return false;
  }
  if (read == length) return true;
  errno = EIO;  // short: the file ends before
  return false;
}

bool TruncateTo(FileHandle file, int64_t length) {
  if (Truncate(Handle(file), length)) return true;
  FailWithLastError();
  return false;
}

// Windows has no file size limit of a process.
bool RoomUnderSizeLimit(int64_t, std::size_t) { return true; }

// Only regular files are ever opened here (the open checks the type).
bool IsRegularFile(FileHandle) { return true; }

// The writers' lock goes at once: the system lets go of the locks of a closed
// handle only when it gets round to it.
void CloseFile(FileHandle file) {
  OVERLAPPED at{};
  at.OffsetHigh = kWritersLockHigh;
  UnlockFileEx(Handle(file), 0, 1, 0, &at);  // fails harmlessly where none is held
  CloseHandle(Handle(file));
}

std::FILE* TextStream(FileHandle file, FileAccess access) {
  bool reading = access == FileAccess::kRead;
  int fd = _open_osfhandle(file.value, (reading ? _O_RDONLY : _O_WRONLY) | _O_TEXT);
  if (fd < 0) {
    CloseHandle(Handle(file));
    return nullptr;
  }
  std::FILE* stream = _fdopen(fd, reading ? "rt" : "wt");
  if (stream == nullptr) _close(fd);
  return stream;
}

bool AppendText(FileHandle file, const char* text, std::size_t length) {
  HANDLE handle = Handle(file);
  // Text mode: every line feed goes out as a carriage return and a line feed.
  // A log line is short, so the translation fits the stack buffer.
  char local[8192];
  std::string large;
  char* out = local;
  std::size_t room = sizeof local;
  if (2 * length > room) {
    large.resize(2 * length);
    out = &large[0];
  }
  std::size_t n = 0;
  for (std::size_t i = 0; i < length; ++i) {
    if (text[i] == '\n') out[n++] = '\r';
    out[n++] = text[i];
  }
  int64_t start = 0;
  if (!SizeOf(handle, &start)) {
    FailWithLastError();
    return false;
  }
  DWORD written = 0;
  BOOL ok = WriteAtEnd(handle, out, static_cast<DWORD>(n), &written);
  if (ok && written == n) return true;
  DWORD error = ok ? ERROR_DISK_FULL : GetLastError();
  if (written > 0) Truncate(handle, start);  // a short write is undone
  SetLastError(error);
  FailWithLastError();
  return false;
}

std::size_t AppendedSize(const char* text, std::size_t length) {
  std::size_t size = length;
  for (std::size_t i = 0; i < length; ++i) {
    if (text[i] == '\n') ++size;
  }
  return size;
}

bool CanonicalPath(const char* path, std::string* canonical) {
  char full[MAX_PATH * 4];
  DWORD length = GetFullPathNameA(path, sizeof full, full, nullptr);
  if (length == 0 || length >= sizeof full) return false;
  for (DWORD i = 0; i < length; ++i) {
    if (full[i] >= 'A' && full[i] <= 'Z') full[i] = static_cast<char>(full[i] - 'A' + 'a');
  }
  canonical->assign(full, length);
  return true;
}

bool SyncFile(std::FILE* file) {
  if (std::fflush(file) != 0) return false;
  return _commit(_fileno(file)) == 0;
}

bool LinkOrCopyFile(const char* from, const char* to) {
  if (CreateHardLinkA(to, from, nullptr)) return true;
  // The copy gets the access control list of `from` before its content.
  FileHandle target{};
  if (CreateExclusive(to, from, false, &target) != OpenOutcome::kOpened) return false;
  CloseFile(target);
  // FALSE: overwrite the empty file just made, which keeps its security.
  if (CopyFileA(from, to, FALSE)) return true;
  SetErrnoFromLastError();
  DeleteFileA(to);
  return false;
}

OpenOutcome CreateExclusive(const char* path, const char* like, bool replaceOwn, FileHandle* file) {
  // The discretionary access control list of `like`, which the new file gets
  // at its creation instead of the folder's inherited one.
  std::string descriptor;
  SECURITY_ATTRIBUTES security{sizeof(SECURITY_ATTRIBUTES), nullptr, FALSE};
  DWORD needed = 0;
  if (like != nullptr) {
    GetFileSecurityA(like, DACL_SECURITY_INFORMATION, nullptr, 0, &needed);
    if (needed > 0) {
      descriptor.resize(needed);
      if (GetFileSecurityA(like, DACL_SECURITY_INFORMATION, &descriptor[0], needed, &needed)) {
        security.lpSecurityDescriptor = &descriptor[0];
      }
    }
  }
  for (int attempt = 0; attempt < 2; ++attempt) {
    HANDLE handle = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, kShareAll, &security,
                                CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle != INVALID_HANDLE_VALUE) {
      file->value = reinterpret_cast<intptr_t>(handle);
      return OpenOutcome::kOpened;
    }
    // A directory at the name answers "access denied": whatever is there counts.
    DWORD error = GetLastError();
    if (GetFileAttributesA(path) == INVALID_FILE_ATTRIBUTES) {
      SetLastError(error);
      break;
    }
    if (!replaceOwn || attempt > 0 || !RemoveOwnLeftover(path)) {
      SetLastError(ERROR_FILE_EXISTS);
      break;
    }
  }
  FailWithLastError();
  return OpenOutcome::kFailed;
}

// What a killed run left is removed where the access control list lets the
// caller delete it; a link or a directory is refused.
bool RemoveOwnLeftover(const char* path) {
  DWORD attributes = GetFileAttributesA(path);
  if (attributes == INVALID_FILE_ATTRIBUTES) return true;
  if ((attributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) == 0 &&
      (DeleteFileA(path) || GetLastError() == ERROR_FILE_NOT_FOUND)) {
    return true;
  }
  errno = EEXIST;
  return false;
}

bool ResolveLinkToWrite(const char* path, std::string* target) {
  DWORD attributes = GetFileAttributesA(path);
  *target = path;
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) {
    return true;
  }
  HANDLE handle =
      CreateFileA(path, 0, kShareAll, nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return true;  // a dangling link: saved as a file
  char final[MAX_PATH * 4];
  DWORD length = GetFinalPathNameByHandleA(handle, final, sizeof final, FILE_NAME_NORMALIZED);
  CloseHandle(handle);
  if (length == 0 || length >= sizeof final) return true;
  // "\\?\C:\..." for a drive, "\\?\UNC\server\..." for a share.
  std::string resolved(final, length);
  if (resolved.rfind("\\\\?\\UNC\\", 0) == 0) {
    resolved = "\\\\" + resolved.substr(8);
  } else if (resolved.rfind("\\\\?\\", 0) == 0) {
    resolved = resolved.substr(4);
  }
  *target = resolved;
  return true;
}

// ReplaceFileW would carry the replaced file's attributes over, but it is no
// single step: under Wine a reader finds the file unopenable for an instant
// in the middle of it. So the new file took the access control list at its
// creation, takes the attributes here, and replaces the file by one rename.
bool ReplaceKeepingProtection(const char* from, const char* to) {
  constexpr DWORD kKept = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE |
                          FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
  DWORD attributes = GetFileAttributesA(to);
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & kKept) != 0) {
    SetFileAttributesA(from, attributes & kKept);
  }
  return ReplaceFileAtomically(from, to);
}

// Windows does not replace a file that another process has open, whatever
// the sharing mode it was opened with: a load reading the file at that moment
// makes the rename fail with "access denied". Readers hold a file briefly, so
// the rename is tried again for a while before it counts as failed.
bool ReplaceFileAtomically(const char* from, const char* to) {
  constexpr DWORD kPatienceMs = 2000;
  DWORD start = GetTickCount();
  for (int attempt = 0;; ++attempt) {
    if (MoveFileExA(from, to, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) return true;
    DWORD error = GetLastError();
    bool busy = error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION;
    if (!busy || GetTickCount() - start > kPatienceMs) break;
    Sleep(attempt < 8 ? 0 : 1);
    SetLastError(error);
  }
  SetErrnoFromLastError();
  return false;
}

bool RenameReplacing(const char* from, const char* to) {
  if (MoveFileExA(from, to, MOVEFILE_REPLACE_EXISTING)) return true;
  SetErrnoFromLastError();
  return false;
}

// MOVEFILE_WRITE_THROUGH already waits for the move to reach the disk.
void SyncParentDirectory(const char*) {}

}  // namespace orn2::port
