// Where named objects live. The directory is derived from the effective user
// alone, so that every process of the user finds the same one whatever its
// environment. Root's lies in /run, which only root may write, so no one can
// take its name first. Other users' lie in /dev/shm, which everyone may write:
// there another user can take the name before the user first needs it, and
// the user's named objects are then refused (with the reason), never shared
// with a stranger. Once the directory is the user's, no other user can enter
// it, nor remove or rename it (the parent is sticky or not writable by them).
#include "port/linux/private_directory.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <mutex>

namespace orn2::port {
namespace {

constexpr char kRootParent[] = "/run";
constexpr char kUserParent[] = "/dev/shm";
// The version is that of the objects' format (named_mutex.cpp): libraries
// whose objects differ keep to directories of their own, and never map,
// lock or sweep each other's files.
constexpr char kDirectoryPrefix[] = "liborn2-v4-";
constexpr mode_t kPrivateMode = 0700;

// The directory as last opened, for the user it was opened for. Descriptors
// are never closed: a directory opened for another user before a change of
// the effective user, or removed meanwhile, still holds files that their
// mutexes remove from it when they close.
struct Cache {
  std::mutex lock;
  bool open = false;
  uid_t user = 0;
  PrivateDirectory directory;
};

Cache& TheCache() {
  static Cache* cache = new Cache;  // never destroyed: used until the process ends
  return *cache;
}

// A parent that others may write must have the sticky bit, or they could
// rename our directory away and put theirs in its place.
bool ParentIsSafe(const char* parent, std::string* why) {
  struct stat info {};
  if (::stat(parent, &info) != 0) {
    *why = DescribeError("cannot reach", parent, errno);
    return false;
  }
  bool ownedByAdmin = info.st_uid == 0 || info.st_uid == ::geteuid();
  bool othersWrite = (info.st_mode & (S_IWGRP | S_IWOTH)) != 0;
  if (!S_ISDIR(info.st_mode) || !ownedByAdmin || (othersWrite && (info.st_mode & S_ISVTX) == 0)) {
    *why = std::string(parent) + " is writable by other users without the sticky bit";
    return false;
  }
  return true;
}

// Looks through the processes of the user (this one included) for
// mappings of files under `path` that were removed: returns whether there are
// any, and sets *holder to one that maps `path`/`fileName` (when not empty).
// /proc shows such a mapping as "<path>/<file> (deleted)".
bool FindRemovedMappings(const std::string& path, const std::string& fileName, long* holder) {
  DIR* processes = ::opendir("/proc");
  if (processes == nullptr) return false;
  const std::string prefix = path + "/", wanted = prefix + fileName + " (deleted)";
  const std::string removed = " (deleted)";
  bool any = false;
  const uid_t user = ::geteuid();
  while (const dirent* entry = ::readdir(processes)) {
    char* end = nullptr;
    long pid = std::strtol(entry->d_name, &end, 10);
    if (end == entry->d_name || *end != '\0') continue;
    std::string dir = std::string("/proc/") + entry->d_name;
    struct stat info {};
    if (::stat(dir.c_str(), &info) != 0 || info.st_uid != user) continue;
    std::ifstream maps(dir + "/maps");
    for (std::string line; std::getline(maps, line);) {
      size_t at = line.find(prefix);
      if (at == std::string::npos || line.size() < removed.size() ||
          line.compare(line.size() - removed.size(), removed.size(), removed) != 0)
        continue;
      any = true;
      if (!fileName.empty() && line.compare(at, std::string::npos, wanted) == 0) *holder = pid;
    }
  }
  ::closedir(processes);
  return any;
}

// Opens the directory at `path` for `user`, creating it; -1 with *why.
int OpenChecked(const std::string& path, uid_t user, std::string* why) {
  constexpr int kFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
  int fd = ::open(path.c_str(), kFlags);
  if (fd < 0 && errno == ENOENT) {
    if (::mkdir(path.c_str(), kPrivateMode) == 0) {
      fd = ::open(path.c_str(), kFlags);
      // The umask may have taken bits away; nobody else can have entered yet.
      if (fd >= 0) ::fchmod(fd, kPrivateMode);
      // Made anew while processes still use files of a removed one: marked,
      // so that what they hold is not set up afresh beside them.
      long holder = 0;
      if (fd >= 0 && FindRemovedMappings(path, "", &holder)) {
        int mark = ::openat(fd, kRemovedBeforeMark, O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
        if (mark >= 0) ::close(mark);
      }
    } else if (errno == EEXIST) {
      fd = ::open(path.c_str(), kFlags);  // made by another process meanwhile
    } else {
      *why = DescribeError("cannot create", path, errno);
      return -1;
    }
  }
  if (fd < 0 && errno == EACCES) {
    // Left without the owner's access by a creator that died before setting
    // the mode under a umask that took it away: the user's own to repair.
    struct stat info {};
    if (::lstat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode) && info.st_uid == user &&
        ::chmod(path.c_str(), kPrivateMode) == 0)
      fd = ::open(path.c_str(), kFlags);
  }
  if (fd < 0) {
    // A link, a file or a FIFO at the name: someone else's doing.
    *why = (errno == ELOOP || errno == ENOTDIR) ? path + " is not a private directory of this user"
                                                : DescribeError("cannot open", path, errno);
    return -1;
  }
  struct stat info {};
  if (::fstat(fd, &info) != 0 || !S_ISDIR(info.st_mode) || info.st_uid != user ||
      (info.st_mode & 077) != 0) {
    ::close(fd);
    *why = path + " is not a private directory of this user";
    return -1;
  }
  if ((info.st_mode & 0700) != 0700) ::fchmod(fd, kPrivateMode);  // as above
  return fd;
}

}  // namespace

std::string DescribeError(const char* what, const std::string& path, int error) {
  char buffer[128];
  return std::string(what) + " " + path + ": " + ::strerror_r(error, buffer, sizeof buffer);
}

bool GetPrivateDirectory(PrivateDirectory* directory, std::string* why) {
  uid_t user = ::geteuid();
  Cache& cache = TheCache();
  std::lock_guard<std::mutex> hold(cache.lock);
  if (cache.open && cache.user == user) {
    *directory = cache.directory;
    return true;
  }
  const char* parent = user == 0 ? kRootParent : kUserParent;
  std::string path = std::string(parent) + "/" + kDirectoryPrefix + std::to_string(user);
  if (!ParentIsSafe(parent, why)) return false;
  int fd = OpenChecked(path, user, why);
  if (fd < 0) return false;
  cache.open = true;
  cache.user = user;
  cache.directory.fd = fd;
  cache.directory.path = path;
  *directory = cache.directory;
  return true;
}

bool HeldThroughRemovedDirectory(const PrivateDirectory& directory, const std::string& fileName,
                                 long* holder) {
  if (::faccessat(directory.fd, kRemovedBeforeMark, F_OK, 0) != 0) return false;
  *holder = 0;
  if (!FindRemovedMappings(directory.path, fileName, holder))
    ::unlinkat(directory.fd, kRemovedBeforeMark, 0);  // nobody is left over
  return *holder != 0;
}

void ForgetPrivateDirectory(int fd) {
  Cache& cache = TheCache();
  std::lock_guard<std::mutex> hold(cache.lock);
  if (cache.open && cache.directory.fd == fd) cache.open = false;
}

}  // namespace orn2::port
