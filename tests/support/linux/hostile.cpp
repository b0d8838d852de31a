#include "support/hostile.h"

#include <fcntl.h>
#include <grp.h>
#include <sched.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <set>

namespace orn2::testing {

std::string OtherUsersUnavailable() {
  if (::geteuid() != 0) return "acting as other users needs root (run the tests as root)";
  return "";
}

bool BecomeUser(unsigned uid) {
  // Dumpable again, as a process the user started would be: its /proc files
  // are then the user's.
  return ::setgroups(0, nullptr) == 0 && ::setresgid(uid, uid, uid) == 0 &&
         ::setresuid(uid, uid, uid) == 0 && ::prctl(PR_SET_DUMPABLE, 1) == 0;
}

void SetUmask(unsigned mask) { ::umask(static_cast<mode_t>(mask)); }

std::string CreateObject(const std::string& kind, const std::string& path) {
  int rc = -1;
  if (kind == "directory") {
    rc = ::mkdir(path.c_str(), 0777);
    if (rc == 0) rc = ::chmod(path.c_str(), 0777);
  } else if (kind == "fifo") {
    rc = ::mkfifo(path.c_str(), 0666);
  } else if (kind == "symlink" || kind.rfind("symlink to ", 0) == 0) {
    rc = ::symlink(kind == "symlink" ? "/dev/null" : kind.c_str() + 11, path.c_str());
  } else if (kind == "file" || kind == "locked file") {
    int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL, 0666);
    rc = fd < 0 ? -1 : ::fchmod(fd, 0666);
    if (rc == 0 && kind == "locked file") {
      struct flock lock {};
      lock.l_type = F_WRLCK;
      lock.l_whence = SEEK_SET;  // the whole file, every byte a lock could want
      rc = ::fcntl(fd, F_SETLK, &lock);
    }
    // The descriptor stays open, and with it the lock, until the process ends.
  } else {
    return "unknown kind " + kind;
  }
  return rc == 0 ? "" : kind + " at " + path + ": " + std::strerror(errno);
}

std::string Protection(const std::string& path) {
  struct stat st;
  if (::stat(path.c_str(), &st) != 0) return "";
  char text[64];
  std::snprintf(text, sizeof text, "%04o %u:%u", static_cast<unsigned>(st.st_mode & 07777),
                static_cast<unsigned>(st.st_uid), static_cast<unsigned>(st.st_gid));
  return text;
}

bool SetProtection(const std::string& path, unsigned mode, unsigned uid, unsigned gid) {
  return ::chown(path.c_str(), uid, gid) == 0 && ::chmod(path.c_str(), mode) == 0;
}

std::string ForkUnavailable() { return ""; }

int ForkProcess() { return static_cast<int>(::fork()); }

int WaitForkedProcess(int pid, long timeoutMs) {
  for (long waited = 0;; waited += 5) {
    int status = 0;
    pid_t done = ::waitpid(pid, &status, WNOHANG);
    if (done == pid) return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    if (done < 0 || waited >= timeoutMs) break;
    timespec pause{0, 5 * 1000000L};
    ::nanosleep(&pause, nullptr);
  }
  ::kill(pid, SIGKILL);
  ::waitpid(pid, nullptr, 0);
  return -1;
}

// Lines of /proc/self/maps: "start-end perms offset dev inode path"; shared
// mappings have an 's' as the fourth permission character, and only the path
// begins with a slash.
std::vector<std::string> SharedMappings() {
  std::set<std::string> paths;
  std::ifstream maps("/proc/self/maps");
  for (std::string line; std::getline(maps, line);) {
    const size_t path = line.find(" /");
    if (path != std::string::npos && line[line.find(' ') + 4] == 's')
      paths.insert(line.substr(path + 1));
  }
  return std::vector<std::string>(paths.begin(), paths.end());
}

std::string FillSharedMemoryFileSystems(bool readOnly) {
  if (::unshare(CLONE_NEWNS) != 0) return std::string("unshare: ") + std::strerror(errno);
  if (::mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
    return std::string("private mounts: ") + std::strerror(errno);
  for (const char* dir : {"/dev/shm", "/run"}) {
    if (::mount("tmpfs", dir, "tmpfs", readOnly ? MS_RDONLY : 0, "size=64k,mode=1777") != 0)
      return std::string("tmpfs on ") + dir + ": " + std::strerror(errno);
    std::string filler = std::string(dir) + "/filler";
    int fd = ::open(filler.c_str(), O_WRONLY | O_CREAT, 0600);
    char block[4096] = {};
    while (fd >= 0 && ::write(fd, block, sizeof block) > 0) {
    }
    if (fd >= 0) ::close(fd);
  }
  return "";
}

std::string StdoutIntoUnreadPipe() {
  int ends[2];
  if (::pipe(ends) != 0) return std::string("pipe: ") + std::strerror(errno);
  if (::fcntl(ends[1], F_SETPIPE_SZ, 4096) < 0)
    return std::string("pipe size: ") + std::strerror(errno);
  std::setvbuf(stdout, nullptr, _IONBF, 0);
  if (::dup2(ends[1], 1) < 0) return std::string("dup2: ") + std::strerror(errno);
  return "";  // ends[0] stays open, unread
}

static bool SetLimit(int resource, long long value) {
  struct rlimit limit;
  limit.rlim_cur = limit.rlim_max = static_cast<rlim_t>(value);
  return ::setrlimit(resource, &limit) == 0;
}

bool LimitFileSize(long long bytes) { return SetLimit(RLIMIT_FSIZE, bytes); }

bool LimitOpenFiles(int count) { return SetLimit(RLIMIT_NOFILE, count); }

bool LimitThreads(int count) { return SetLimit(RLIMIT_NPROC, count); }

std::string EnterNewPidNamespace() {
  if (::unshare(CLONE_NEWPID) != 0) return std::string("unshare -p: ") + std::strerror(errno);
  return "";
}

// /proc/locks has a line per lock, "-> " before the type for a waiter, and the
// file as "major:minor:inode".
bool SomeoneWaitsForALockOn(const std::string& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) return false;
  const std::string inode = ":" + std::to_string(info.st_ino) + " ";
  std::ifstream locks("/proc/locks");
  for (std::string line; std::getline(locks, line);) {
    if (line.find(" -> ") != std::string::npos && line.find(inode) != std::string::npos)
      return true;
  }
  return false;
}

int OpenDescriptorCount() {
  std::error_code error;
  int count = 0;
  for (std::filesystem::directory_iterator it("/proc/self/fd", error), end; !error && it != end;
       it.increment(error))
    ++count;
  return error ? -1 : count;
}

bool LockFileByte(const std::string& path, long long byte) {
  int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);  // left open: the lock stays
  struct flock lock {};
  lock.l_type = F_WRLCK;
  lock.l_whence = SEEK_SET;
  lock.l_start = byte;
  lock.l_len = 1;
  return fd >= 0 && ::fcntl(fd, F_OFD_SETLK, &lock) == 0;
}

bool BlockAllSignals() {
  sigset_t all;
  sigfillset(&all);
  return pthread_sigmask(SIG_BLOCK, &all, nullptr) == 0;
}

}  // namespace orn2::testing
