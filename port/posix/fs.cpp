#include "port/fs.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <string>

#include "port/posix/regular_file.h"

namespace orn2::port {
namespace {

// Every file is opened without blocking, without becoming a controlling
// terminal and without being inherited by child processes.
constexpr int kOpenFlags = O_NONBLOCK | O_NOCTTY | O_CLOEXEC;

void FillStatus(const struct stat& st, FileStatus* status) {
  status->size = static_cast<int64_t>(st.st_size);
  status->modificationTime = static_cast<int64_t>(st.st_mtime);
  status->regular = S_ISREG(st.st_mode);
  status->modificationNanoseconds = static_cast<int32_t>(st.st_mtim.tv_nsec);
  status->device = static_cast<uint64_t>(st.st_dev);
  status->fileId = static_cast<uint64_t>(st.st_ino);
}

int Descriptor(FileHandle file) { return static_cast<int>(file.value); }

void CloseKeepingErrno(int fd) {
  int saved = errno;
  ::close(fd);
  errno = saved;
}

// Copies `from` into a new file `to`; on failure `to` is removed again.
bool CopyFile(const char* from, const char* to) {
  FileHandle source{};
  if (OpenRegularFile(from, FileAccess::kRead, &source, nullptr) != OpenOutcome::kOpened) {
    return false;
  }
  int in = Descriptor(source);
  FileHandle target{};
  if (CreateExclusive(to, from, false, &target) != OpenOutcome::kOpened) {
    CloseKeepingErrno(in);
    return false;
  }
  int out = Descriptor(target);
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

// The folder part of `path`: "." for a bare name, "/" for a name at the root.
std::string FolderOf(const std::string& path) {
  std::size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

// The rule of fs.h for the symbolic link `path` whose own status is `link`.
// The owner of a folder may swap any entry in it between a check and an open,
// so nothing in another user's folder is trusted; in a sticky folder others
// may write, only its owner and the link's owner can remove the link.
bool LinkMayBeFollowed(const char* path, const struct stat& link) {
  struct stat folder;
  if (::stat(FolderOf(path).c_str(), &folder) != 0) return false;
  const uid_t me = ::geteuid();
  if (folder.st_uid != me && folder.st_uid != 0) return false;
  bool sharedSticky =
      (folder.st_mode & S_ISVTX) != 0 && (folder.st_mode & (S_IWGRP | S_IWOTH)) != 0;
  return !sharedSticky || link.st_uid == me || link.st_uid == folder.st_uid;
}

int OpenWithRetry(const char* path, int flags, mode_t mode) {
  int fd;
  do {
    fd = ::open(path, flags | kOpenFlags, mode);
  } while (fd < 0 && errno == EINTR);
  return fd;
}

// Opens `path` with `flags`; -1 (errno set) when it cannot, *outcome then
// telling a special file that refused before being opened from a failure.
// A link at `path` is opened only where fs.h's rule lets it be followed; the
// usual open, of a file that is no link, pays nothing for the rule.
int OpenDescriptor(const char* path, int flags, OpenOutcome* outcome) {
  int fd = OpenWithRetry(path, flags | O_NOFOLLOW, 0666);
  if (fd < 0 && errno == ELOOP) {
    struct stat link;
    if (::lstat(path, &link) == 0 && S_ISLNK(link.st_mode) && LinkMayBeFollowed(path, link)) {
      fd = OpenWithRetry(path, flags, 0666);
    } else {
      errno = ELOOP;
    }
  }
  if (fd < 0) {
    // A FIFO without a reader or a socket (ENXIO), a directory opened for
    // writing (EISDIR).
    *outcome = errno == ENXIO || errno == EISDIR ? OpenOutcome::kNotRegular : OpenOutcome::kFailed;
  }
  return fd;
}

}  // namespace

bool StatFile(const char* path, FileStatus* status) {
  struct stat st;
  if (::stat(path, &st) != 0) return false;
  FillStatus(st, status);
  return true;
}

namespace {

// Opens `path` for appending and sets *end (see OpenForAppend); with
// `lockWriters`, takes the writers' lock before it looks at the end; with
// `create`, a missing file is created.
OpenOutcome OpenAppending(const char* path, FileHandle* file, int64_t* end, bool lockWriters,
                          bool create) {
  // A writer that waited reopens this often at most when it finds the path
  // renamed meanwhile; each time needs another rotation by another writer.
  constexpr int kMaxReopens = 100;
  for (int reopened = 0;; ++reopened) {
    OpenOutcome outcome = OpenOutcome::kOpened;
    // Readable as well where it may be, so that the writer can look at the
    // last byte (ReadAt); a file others let this user append to only is
    // still written.
    const int created = create ? O_CREAT : 0;
    int fd = OpenDescriptor(path, O_RDWR | O_APPEND | created, &outcome);
    if (fd < 0 && errno == EACCES)
      fd = OpenDescriptor(path, O_WRONLY | O_APPEND | created, &outcome);
    if (fd < 0) return outcome;
    if (lockWriters && ::flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK) {
      // Held by another: a special file is refused before it is waited on.
      if (!IsRegularDescriptor(fd)) {
        ::close(fd);
        return OpenOutcome::kNotRegular;
      }
      while (::flock(fd, LOCK_EX) != 0 && errno == EINTR) {
      }
      if (reopened < kMaxReopens && !PathNamesFile(path, FileHandle{fd})) {
        ::close(fd);  // rotated away meanwhile by the writer it waited for
        continue;
      }
    }
    // The check of a log line's open (see the header): the seek fails on a
    // FIFO or terminal, and only a file that looks empty needs its type.
    off_t at = ::lseek(fd, 0, SEEK_END);
    if (at > 0 || (at == 0 && IsRegularDescriptor(fd))) {
      file->value = fd;
      *end = static_cast<int64_t>(at);
      return OpenOutcome::kOpened;
    }
    ::close(fd);
    return OpenOutcome::kNotRegular;
  }
}

}  // namespace

OpenOutcome OpenForAppend(const char* path, FileHandle* file, int64_t* end) {
  return OpenAppending(path, file, end, true, false);
}

OpenOutcome OpenRegularFile(const char* path, FileAccess access, FileHandle* file,
                            FileStatus* status) {
  if (access == FileAccess::kAppend && status == nullptr) {
    int64_t end = 0;
    return OpenAppending(path, file, &end, false, true);
  }
  int flags = access == FileAccess::kRead     ? O_RDONLY
              : access == FileAccess::kUpdate ? O_RDWR | O_APPEND
              : access == FileAccess::kAppend ? O_WRONLY | O_APPEND | O_CREAT
              : access == FileAccess::kExtend ? O_WRONLY | O_APPEND
                                              : O_WRONLY | O_CREAT;
  OpenOutcome outcome = OpenOutcome::kOpened;
  int fd = OpenDescriptor(path, flags, &outcome);
  if (fd < 0) return outcome;
  struct stat st;
  if (::fstat(fd, &st) != 0) {
    CloseKeepingErrno(fd);
    return OpenOutcome::kFailed;
  }
  if (!S_ISREG(st.st_mode)) {
    ::close(fd);
    return OpenOutcome::kNotRegular;
  }
  if (access == FileAccess::kCreate && st.st_size != 0) {
    if (::ftruncate(fd, 0) != 0) {
      CloseKeepingErrno(fd);
      return OpenOutcome::kFailed;
    }
    st.st_size = 0;
  }
  // O_NONBLOCK stays: reads and writes of a regular file do not look at it.
  if (status != nullptr) FillStatus(st, status);
  file->value = fd;
  return OpenOutcome::kOpened;
}

bool LockWriters(FileHandle file, bool* waited) {
  int fd = Descriptor(file);
  *waited = false;
  if (::flock(fd, LOCK_EX | LOCK_NB) == 0) return true;
  if (errno != EWOULDBLOCK) return false;
  *waited = true;
  for (;;) {
    if (::flock(fd, LOCK_EX) == 0) return true;
    if (errno != EINTR) return false;
  }
}

bool PathNamesFile(const char* path, FileHandle file) {
  struct stat named, open;
  return ::stat(path, &named) == 0 && ::fstat(Descriptor(file), &open) == 0 &&
         named.st_dev == open.st_dev && named.st_ino == open.st_ino;
}

bool EndOf(FileHandle file, int64_t* end) {
  off_t at = ::lseek(Descriptor(file), 0, SEEK_END);
  if (at < 0) return false;
  *end = static_cast<int64_t>(at);
  return true;
}

bool ReadAt(FileHandle file, int64_t offset, char* out, std::size_t length) {
  ssize_t n;
  do {
    n = ::pread(Descriptor(file), out, length, static_cast<off_t>(offset));
  } while (n < 0 && errno == EINTR);
  if (n == static_cast<ssize_t>(length)) return true;
  if (n >= 0) errno = EIO;  // short: the file ends before
  return false;
}

bool TruncateTo(FileHandle file, int64_t length) {
  return ::ftruncate(Descriptor(file), static_cast<off_t>(length)) == 0;
}

bool RoomUnderSizeLimit(int64_t end, std::size_t length) {
  struct rlimit limit;
  if (length == 0 || ::getrlimit(RLIMIT_FSIZE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY)
    return true;
  if (static_cast<uint64_t>(end) + length <= static_cast<uint64_t>(limit.rlim_cur)) return true;
  errno = EFBIG;
  return false;
}

bool IsRegularFile(FileHandle file) { return IsRegularDescriptor(Descriptor(file)); }

void CloseFile(FileHandle file) { ::close(Descriptor(file)); }

std::FILE* TextStream(FileHandle file, FileAccess access) {
  std::FILE* stream = ::fdopen(Descriptor(file), access == FileAccess::kRead ? "r" : "w");
  if (stream == nullptr) CloseKeepingErrno(Descriptor(file));
  return stream;
}

bool AppendText(FileHandle file, const char* text, std::size_t length) {
  int fd = Descriptor(file);
  ssize_t written;
  do {
    written = ::write(fd, text, length);
  } while (written < 0 && errno == EINTR);
  if (written == static_cast<ssize_t>(length)) return true;
  if (written < 0) return false;
  // A full disk or a file size limit: the part that was written is cut off.
  // A short write leaves errno as it was; the end it reached tells which.
  off_t end = ::lseek(fd, 0, SEEK_CUR);
  int saved = end >= 0 && !RoomUnderSizeLimit(end, 1) ? EFBIG : ENOSPC;
  if (end >= written) ::ftruncate(fd, end - written);
  errno = saved;
  return false;
}

std::size_t AppendedSize(const char*, std::size_t length) { return length; }

bool CanonicalPath(const char* path, std::string* canonical) {
  std::string whole(path);
  std::size_t slash = whole.find_last_of('/');
  std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : whole.substr(0, slash);
  std::string name = slash == std::string::npos ? whole : whole.substr(slash + 1);
  char* resolved = ::realpath(folder.c_str(), nullptr);
  if (resolved == nullptr) return false;
  *canonical = resolved;
  std::free(resolved);
  if (canonical->empty() || canonical->back() != '/') *canonical += '/';
  *canonical += name;
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

bool ReplaceWaitingForReaders(const char* from, const char* to) {
  return std::rename(from, to) == 0;
}

bool ReplaceWithoutWaiting(const char* from, const char* to) { return std::rename(from, to) == 0; }

OpenOutcome CreateExclusive(const char* path, const char* like, bool replaceOwn, FileHandle* file) {
  // The model is taken as it is, never through a link: whoever may swap a
  // link in the model's place must not choose the protection of the new file.
  struct stat model;
  bool modelled = like != nullptr && ::lstat(like, &model) == 0 && S_ISREG(model.st_mode);
  mode_t mode = modelled ? (model.st_mode & 0777) : 0666;
  const int flags = O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW;
  int fd = OpenWithRetry(path, flags, mode);
  if (fd < 0 && errno == EEXIST && replaceOwn && RemoveOwnLeftover(path)) {
    fd = OpenWithRetry(path, flags, mode);
  }
  if (fd < 0) return OpenOutcome::kFailed;
  // Empty still: the owner and group come first, then the bits the umask took.
  bool ok = true;
  if (modelled) {
    if ((model.st_uid != ::geteuid() || model.st_gid != ::getegid()) &&
        ::fchown(fd, model.st_uid, model.st_gid) != 0 &&
        ::fchown(fd, static_cast<uid_t>(-1), model.st_gid) != 0) {
      mode &= ~static_cast<mode_t>(070);
    }
    ok = ::fchmod(fd, mode) == 0;
  } else {
    struct stat made;
    ok = ::fstat(fd, &made) == 0;
    if (ok && (made.st_mode & 0600) != 0600) ok = ::fchmod(fd, (made.st_mode & 0777) | 0600) == 0;
  }
  if (!ok) {
    CloseKeepingErrno(fd);
    int saved = errno;
    ::unlink(path);
    errno = saved;
    return OpenOutcome::kFailed;
  }
  file->value = fd;
  return OpenOutcome::kOpened;
}

bool RemoveOwnLeftover(const char* path) {
  struct stat st;
  if (::lstat(path, &st) != 0) return errno == ENOENT;
  if (S_ISREG(st.st_mode) && st.st_uid == ::geteuid() && (::unlink(path) == 0 || errno == ENOENT)) {
    return true;
  }
  errno = EEXIST;
  return false;
}

bool ResolveLinkToWrite(const char* path, std::string* target) {
  std::string current(path);
  for (int hop = 0; hop < 40; ++hop) {
    struct stat link;
    if (::lstat(current.c_str(), &link) != 0 || !S_ISLNK(link.st_mode)) {
      *target = current;
      return true;
    }
    if (!LinkMayBeFollowed(current.c_str(), link)) break;
    char text[PATH_MAX];
    ssize_t n = ::readlink(current.c_str(), text, sizeof text);
    if (n <= 0 || n >= static_cast<ssize_t>(sizeof text)) break;
    std::string next(text, static_cast<std::size_t>(n));
    current = next[0] == '/' ? next : FolderOf(current) + "/" + next;
  }
  errno = ELOOP;
  return false;
}

bool ReplaceKeepingProtection(const char* from, const char* to) {
  return std::rename(from, to) == 0;
}

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

}  // namespace orn2::port
