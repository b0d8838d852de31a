// A named mutex is a robust, process-shared, recursive pthread mutex in a small
// file that every process using the name maps. The files live in the user's
// private directory (private_directory.h), which no other user may write, read
// or search, so no other user can create, replace, lock or remove them:
// squatting is made impossible, not detected afterwards. A file is named after
// the mutex name itself, hex-encoded (a name of kMaxMutexName bytes gives 254
// characters, within a file name's 255), so every name has exactly one file and no two names share
// one: two processes of the user that open one name always meet in one file.
//
// Who uses a file is told by open file description locks, which the kernel
// drops when the description's last descriptor closes, also when a process
// dies:
// - byte 0, the gate, is held exclusively while a process opens or closes the
//   file, so that creation, initialisation and removal never interleave;
// - byte 1 is held shared by every process that maps the file. An opener that
//   can take it exclusively is the only user: it initialises the mutex afresh,
//   so that what a crashed process left is reused in a clean state. A closer
//   that can take it exclusively is the last user and removes the file.
// A forked child shares its parent's descriptions, and with them its parent's
// lock, which would let the parent take byte 1 exclusively and remove the file
// while the child still uses it. So before a fork a handler opens a fresh
// description with a shared lock of its own for every mutex and hands it to
// the child. (A child made without the fork handlers, by vfork or a raw clone,
// does not count as a user of its own; such a child execs at once, which
// closes the descriptors and unmaps the file anyway.)
//
// A process that ends without closing (killed, say) leaves its files behind
// once no one else uses them. The next opener of such a name reuses the file;
// besides, each process removes the unused files it finds when it first opens
// a named mutex, so that files of names never opened again do not pile up.
//
// The file's space is reserved before it is mapped, so that a full file system
// refuses the mutex instead of killing the process with SIGBUS later.
//
// A file says what it holds: it starts with a magic word and the format's
// version, and the private directory's name carries the version as well
// (private_directory.h), so that libraries of other layouts keep apart. A
// file whose header is not this format's is neither mapped nor removed: the
// name is refused with the reason. Only a file that is empty or of this
// format, and proved unused under its gate, is removed by a sweep.
//
// The robust mutex records its owner by thread id, which is unique within one
// PID namespace only. The file records the PID namespace of the process that
// initialised it, and an opener from another namespace is refused, so that
// two processes that are both pid 1 of their containers never both hold it.
//
// The process's registry of mapped names is locked only for steps that wait
// on no other process: an opener or closer waits at a file's gate without it,
// and another thread of the process opening the same name waits for that one
// opener only.
#include "port/linux/named_mutex.h"

#include <dirent.h>
#include <fcntl.h>
#include <pthread.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <map>
#include <mutex>

#include "port/linux/private_directory.h"
#include "port/linux/thread_id.h"

namespace orn2::port {

// The mapped file. The magic word tells a file that a process of another
// layout is using apart; it is written once the mutex is initialised.
struct SharedBlock {
  uint32_t magic;         // kLayoutMagic once initialised; 0 before
  uint32_t version;       // kLayoutVersion
  uint64_t pidNamespace;  // of the initialising process; 0 where unknown
  pthread_mutex_t mutex;
};

struct NamedMutex {
  std::string name;      // the key in the registry
  int directory = -1;    // the private directory the file was made in
  std::string fileName;  // the file, in that directory
  std::string path;      // the same, for messages
  int fd = -1;           // its description, holding the shared lock on byte 1
  int forkFd = -1;       // from a fork's prepare to its end: the child's description
  SharedBlock* block = nullptr;
  int handles = 0;  // opens not yet closed in this process; 0 while it lingers
  // kOpening and kClosing while a thread works on the file without the
  // registry lock; other threads opening the name wait for it.
  enum class State { kOpening, kOpen, kClosing } state = State::kOpening;
  int openingFd = -1;  // while kOpening: the description being opened
  // In a forked child that could not get a description of its own, the lock
  // is refused (1, then 2 once said) with this reason, written before the fork.
  std::string childRefusal;
  std::atomic<int> refused{0};
};

namespace {

static_assert(2 * kMaxMutexName <= 255, "a hex-encoded name fits in one file name");
constexpr uint32_t kLayoutMagic = 0x6e726f4c;  // "Lorn" in the file
constexpr uint32_t kLayoutVersion = 4;
constexpr mode_t kFileMode = 0600;
constexpr off_t kGateByte = 0;
constexpr off_t kUserByte = 1;
// An opener retries when the last user removed the file between its open and
// its lock; each retry needs another such removal, so this is never reached.
constexpr int kMaxOpenAttempts = 100;

// The named mutexes this process has mapped, by name, so that all handles of
// one name share one mapping.
struct Registry {
  pthread_mutex_t lock = PTHREAD_MUTEX_INITIALIZER;
  pthread_cond_t changed = PTHREAD_COND_INITIALIZER;  // an opening or closing ended
  std::map<std::string, NamedMutex*> byName;
  int sweptDirectory = -1;  // the private directory cleared of unused files
};

Registry& TheRegistry() {
  // Never destroyed, so that Mutex objects of static storage duration may
  // still close their handles while the process exits.
  static Registry* registry = new Registry;
  return *registry;
}

class RegistryLock {
 public:
  RegistryLock() { pthread_mutex_lock(&TheRegistry().lock); }
  ~RegistryLock() { pthread_mutex_unlock(&TheRegistry().lock); }
  RegistryLock(const RegistryLock&) = delete;
  RegistryLock& operator=(const RegistryLock&) = delete;
};

bool ByteLock(int fd, off_t byte, short type, bool wait) {
  struct flock lock {};
  lock.l_type = type;
  lock.l_whence = SEEK_SET;
  lock.l_start = byte;
  lock.l_len = 1;
  for (;;) {
    if (::fcntl(fd, wait ? F_OFD_SETLKW : F_OFD_SETLK, &lock) == 0) return true;
    if (errno != EINTR) return false;
  }
}

std::string HexName(const std::string& name) {
  static const char kDigits[] = "0123456789abcdef";
  std::string hex;
  for (unsigned char c : name) {
    hex += kDigits[c >> 4];
    hex += kDigits[c & 0xf];
  }
  return hex;
}

bool InitRobustShared(pthread_mutex_t* mutex) {
  pthread_mutexattr_t attr;
  if (pthread_mutexattr_init(&attr) != 0) return false;
  bool ok = pthread_mutexattr_settype(&attr, PTHREAD_MUTEX_RECURSIVE) == 0 &&
            pthread_mutexattr_setrobust(&attr, PTHREAD_MUTEX_ROBUST) == 0 &&
            pthread_mutexattr_setpshared(&attr, PTHREAD_PROCESS_SHARED) == 0 &&
            pthread_mutex_init(mutex, &attr) == 0;
  pthread_mutexattr_destroy(&attr);
  return ok;
}

// The thread id of the mutex's holder, 0 when free (glibc's layout; elsewhere
// unknown, reported as -1).
pid_t Holder(pthread_mutex_t* mutex) {
#if defined(__GLIBC__)
  return __atomic_load_n(&mutex->__data.__owner, __ATOMIC_RELAXED);
#else
  (void)mutex;
  return -1;
#endif
}

// True when a live thread of this process holds the mutex. Its memory must
// then stay mapped: the C library keeps the held mutex on that thread's robust
// list, and the kernel marks it abandoned there when the thread ends.
bool HeldInThisProcess(pthread_mutex_t* mutex) {
  pid_t holder = Holder(mutex);
  if (holder < 0) return true;  // cannot tell: keep the memory
  return holder > 0 && ThreadOfThisProcessLives(holder);
}

// The PID namespace of this process (the inode of /proc/self/ns/pid), or 0
// where it cannot be told (no /proc).
uint64_t PidNamespace() {
  static const uint64_t id = [] {
    struct stat info {};
    if (::stat("/proc/self/ns/pid", &info) != 0) return uint64_t{0};
    return (static_cast<uint64_t>(info.st_dev) << 32) ^ static_cast<uint64_t>(info.st_ino);
  }();
  return id;
}

// What a file's first bytes say it is.
enum class Header { kEmpty, kFresh, kThisFormat, kOther };

Header ReadHeader(int fd, off_t size) {
  if (size == 0) return Header::kEmpty;
  uint32_t words[2] = {0, 0};
  if (size < static_cast<off_t>(sizeof(SharedBlock)) ||
      ::pread(fd, words, sizeof words, 0) != static_cast<ssize_t>(sizeof words))
    return Header::kOther;
  if (words[0] == 0 && words[1] == 0) return Header::kFresh;  // reserved, never initialised
  return words[0] == kLayoutMagic && words[1] == kLayoutVersion ? Header::kThisFormat
                                                                : Header::kOther;
}

// Opens a file of the private directory. A file left without write access
// (made under a umask that took the owner's bits away, before the mode was
// set) is given its mode back: only this user can have made it.
int OpenObjectFile(int directory, const char* fileName, int flags) {
  int fd = ::openat(directory, fileName, flags, kFileMode);
  if (fd < 0 && errno == EACCES && ::fchmodat(directory, fileName, kFileMode, 0) == 0)
    fd = ::openat(directory, fileName, flags, kFileMode);
  return fd;
}

// kRetry: the file was removed by its last user between our open and our
// lock. kDirectoryGone: the private directory was removed by its user.
enum class Outcome { kOpened, kRetry, kDirectoryGone, kRefused };

// Opens, locks and maps the file, or says why not. Called without the
// registry lock: it waits at the file's gate for other processes.
Outcome OpenFile(NamedMutex* object, const PrivateDirectory* directory, uid_t user,
                 std::string* why) {
  int fd;
  {
    // The descriptor is recorded under the registry lock, so that a fork
    // meanwhile closes the child's copy, which would keep the gate held.
    RegistryLock hold;
    fd = OpenObjectFile(object->directory, object->fileName.c_str(),
                        O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    object->openingFd = fd;
  }
  if (fd < 0) {
    if (errno == ENOENT) return Outcome::kDirectoryGone;
    *why = DescribeError("cannot open", object->path, errno);
    return Outcome::kRefused;
  }
  auto forget = [object, fd] {
    RegistryLock hold;
    ::close(fd);
    object->openingFd = -1;
  };
  auto refuse = [&forget, why](std::string reason) {
    forget();
    *why = std::move(reason);
    return Outcome::kRefused;
  };
  // Only processes of this user can hold the gate: it is a short wait.
  if (!ByteLock(fd, kGateByte, F_WRLCK, true))
    return refuse(DescribeError("cannot lock", object->path, errno));
  struct stat info {};
  if (::fstat(fd, &info) != 0) return refuse(DescribeError("cannot read", object->path, errno));
  if (info.st_nlink == 0) {  // removed by its last user between our open and our lock
    forget();
    return Outcome::kRetry;
  }
  if (!S_ISREG(info.st_mode) || info.st_uid != user)
    return refuse(object->path + " is not a file of this user");
  // The umask may have taken bits away when the file was made.
  if ((info.st_mode & 07777) != kFileMode) ::fchmod(fd, kFileMode);
  Header header = ReadHeader(fd, info.st_size);
  if (header == Header::kOther)
    return refuse(object->path +
                  " holds an object of another format (another version of the library)");
  bool onlyUser = ByteLock(fd, kUserByte, F_WRLCK, false);
  if (!onlyUser && header != Header::kThisFormat)
    return refuse(object->path + " is being set up by a process that died");
  long holder = 0;
  if (onlyUser && HeldThroughRemovedDirectory(*directory, object->fileName, &holder))
    return refuse(object->path + " is still held by process " + std::to_string(holder) +
                  " through a private directory that was removed");
  // The first user reserves the space; the others find it reserved.
  int error = onlyUser ? ::posix_fallocate(fd, 0, sizeof(SharedBlock)) : 0;
  if (error != 0) {
    ::unlinkat(object->directory, object->fileName.c_str(), 0);  // nobody needs it
    return refuse(DescribeError("no room for", object->path, error));
  }
  void* map = ::mmap(nullptr, sizeof(SharedBlock), PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
  if (map == MAP_FAILED) return refuse(DescribeError("cannot map", object->path, errno));
  auto* block = static_cast<SharedBlock*>(map);
  if (onlyUser) {
    std::memset(block, 0, sizeof *block);
    if (!InitRobustShared(&block->mutex)) {
      ::munmap(map, sizeof(SharedBlock));
      return refuse("cannot initialise the mutex in " + object->path);
    }
    block->pidNamespace = PidNamespace();
    block->version = kLayoutVersion;
    __atomic_store_n(&block->magic, kLayoutMagic, __ATOMIC_RELEASE);
  } else if (block->pidNamespace != PidNamespace()) {
    // Thread ids of another PID namespace may equal ours: the robust mutex
    // could not tell its holders apart.
    ::munmap(map, sizeof(SharedBlock));
    return refuse(object->path + " is in use by a process of another PID namespace");
  }
  // Turns an exclusive hold into a shared one, or joins the other users.
  if (!ByteLock(fd, kUserByte, F_RDLCK, false)) {
    ::munmap(map, sizeof(SharedBlock));
    return refuse(DescribeError("cannot lock", object->path, errno));
  }
  ByteLock(fd, kGateByte, F_UNLCK, false);
  RegistryLock hold;
  object->openingFd = -1;
  object->fd = fd;
  object->block = block;
  return Outcome::kOpened;
}

// Removes the file if nobody else uses it. While this process holds the gate
// and byte 1, the name is the file's: only a holder of both removes a file.
// Called without the registry lock: it waits at the gate.
void UnmapAndClose(NamedMutex* object) {
  ByteLock(object->fd, kGateByte, F_WRLCK, true);
  if (ByteLock(object->fd, kUserByte, F_WRLCK, false))
    ::unlinkat(object->directory, object->fileName.c_str(), 0);
  // Byte 1 goes before the gate does, so that a closer waiting at the gate
  // sees whether it is the last user.
  ByteLock(object->fd, kUserByte, F_UNLCK, false);
  ByteLock(object->fd, kGateByte, F_UNLCK, false);
  ::munmap(object->block, sizeof(SharedBlock));
  // The descriptor is closed by the caller under the registry lock, so that a
  // fork meanwhile never closes a number that was reused.
}

// Removes the files in the directory that no process uses: those whose gate
// and byte 1 this process can take at once, and which are empty or of this
// format. A process about to open such a file finds it removed once it holds
// the gate, and opens the name afresh.
void RemoveUnusedFiles(int directory) {
  int listing = ::openat(directory, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  DIR* entries = listing < 0 ? nullptr : ::fdopendir(listing);
  if (entries == nullptr) {
    if (listing >= 0) ::close(listing);
    return;
  }
  while (const dirent* entry = ::readdir(entries)) {
    if (entry->d_type != DT_REG && entry->d_type != DT_UNKNOWN) continue;
    if (std::strspn(entry->d_name, "0123456789abcdef") != std::strlen(entry->d_name))
      continue;  // not an object's name (the directory's mark)
    int fd = OpenObjectFile(directory, entry->d_name, O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) continue;
    struct stat info {};
    if (ByteLock(fd, kGateByte, F_WRLCK, false) && ByteLock(fd, kUserByte, F_WRLCK, false) &&
        ::fstat(fd, &info) == 0 && info.st_nlink > 0 && S_ISREG(info.st_mode) &&
        ReadHeader(fd, info.st_size) != Header::kOther) {
      ::unlinkat(directory, entry->d_name, 0);
    }
    ::close(fd);  // lets go of whatever it took
  }
  ::closedir(entries);
}

// A description of the same file with a shared lock of its own, for a child
// about to be forked; -1 with errno when none can be had.
int DescriptionForChild(const NamedMutex* object) {
  int fd = ::openat(object->directory, object->fileName.c_str(),
                    O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return -1;
  struct stat mine {
  }, opened{};
  if (::fstat(object->fd, &mine) != 0 || ::fstat(fd, &opened) != 0 ||
      mine.st_ino != opened.st_ino || mine.st_dev != opened.st_dev ||
      !ByteLock(fd, kUserByte, F_RDLCK, false)) {
    ::close(fd);
    errno = ENOENT;
    return -1;
  }
  return fd;
}

// The registry stays locked from the prepare step to the end of the fork, so
// that no mutex is registered or dropped meanwhile. A child that gets no
// description of its own for a mutex (no descriptor left, or no access after
// a change of user) must not share its parent's: its lock of that mutex is
// refused, with the reason, when it first takes it.
void PrepareFork() {
  Registry& registry = TheRegistry();
  pthread_mutex_lock(&registry.lock);
  for (auto& entry : registry.byName) {
    NamedMutex* object = entry.second;
    object->forkFd = -1;
    if (object->state != NamedMutex::State::kOpen) continue;
    object->forkFd = DescriptionForChild(object);
    if (object->forkFd < 0)
      object->childRefusal =
          DescribeError("a forked child gets no description of its own of", object->path, errno);
  }
}

void ParentAfterFork() {
  Registry& registry = TheRegistry();
  for (auto& entry : registry.byName) {
    NamedMutex* object = entry.second;
    if (object->forkFd >= 0) ::close(object->forkFd);  // the child's copy keeps the lock
    object->forkFd = -1;
    object->childRefusal.clear();
  }
  pthread_mutex_unlock(&registry.lock);
}

// Mutexes that other threads of the parent were opening or closing are
// dropped: those threads do not exist here, and the child's copies of their
// descriptions would keep the parent's gate held.
void ChildAfterFork() {
  Registry& registry = TheRegistry();
  for (auto entry = registry.byName.begin(); entry != registry.byName.end();) {
    NamedMutex* object = entry->second;
    if (object->state != NamedMutex::State::kOpen) {
      if (object->openingFd >= 0) ::close(object->openingFd);
      if (object->state == NamedMutex::State::kClosing) ::close(object->fd);
      entry = registry.byName.erase(entry);  // its memory stays: the handles point to it
      continue;
    }
    if (object->forkFd >= 0) {
      ::close(object->fd);  // the parent's description, which stays the parent's
      object->fd = object->forkFd;
      object->forkFd = -1;
    } else {
      object->refused.store(1, std::memory_order_relaxed);
    }
    ++entry;
  }
  pthread_mutex_unlock(&registry.lock);
}

// Waits, with the registry locked, until no other thread opens or closes the
// name; returns its entry then, or null when there is none.
NamedMutex* SettledEntry(Registry& registry, const std::string& key) {
  for (;;) {
    auto found = registry.byName.find(key);
    if (found == registry.byName.end()) return nullptr;
    if (found->second->state == NamedMutex::State::kOpen) return found->second;
    pthread_cond_wait(&registry.changed, &registry.lock);
  }
}

}  // namespace

NamedMutex* OpenNamedMutex(const char* name, std::string* why) {
  std::string key(name, ::strnlen(name, kMaxMutexName));
  static std::once_flag forkHandlers;
  std::call_once(forkHandlers,
                 [] { pthread_atfork(&PrepareFork, &ParentAfterFork, &ChildAfterFork); });
  Registry& registry = TheRegistry();
  auto* object = new NamedMutex;
  int sweep = -1;
  {
    RegistryLock hold;
    if (NamedMutex* open = SettledEntry(registry, key)) {
      ++open->handles;
      delete object;
      return open;
    }
    object->name = key;
    object->fileName = HexName(key);
    registry.byName[key] = object;  // kOpening: other openers of the name wait
  }
  uid_t user = ::geteuid();
  Outcome outcome = Outcome::kRetry;
  for (int attempt = 0;
       attempt < kMaxOpenAttempts && outcome != Outcome::kOpened && outcome != Outcome::kRefused;
       ++attempt) {
    PrivateDirectory directory;
    if (!GetPrivateDirectory(&directory, why)) {
      outcome = Outcome::kRefused;
      break;
    }
    {
      RegistryLock hold;
      if (registry.sweptDirectory != directory.fd) sweep = registry.sweptDirectory = directory.fd;
    }
    if (sweep >= 0) RemoveUnusedFiles(sweep);  // takes no lock it waits for
    sweep = -1;
    object->directory = directory.fd;
    object->path = directory.path + "/" + object->fileName;
    outcome = OpenFile(object, &directory, user, why);
    if (outcome == Outcome::kDirectoryGone) ForgetPrivateDirectory(directory.fd);
  }
  RegistryLock hold;
  pthread_cond_broadcast(&registry.changed);
  if (outcome != Outcome::kOpened) {
    if (outcome != Outcome::kRefused) *why = object->path + " keeps being removed";
    registry.byName.erase(key);
    delete object;
    return nullptr;
  }
  object->handles = 1;
  object->state = NamedMutex::State::kOpen;
  return object;
}

// A mutex that a live thread of this process still holds lingers, mapped and
// registered, until the name is opened and closed again or the process ends.
void CloseNamedMutex(NamedMutex* mutex) {
  Registry& registry = TheRegistry();
  {
    RegistryLock hold;
    if (--mutex->handles > 0) return;
    if (HeldInThisProcess(&mutex->block->mutex)) return;
    mutex->state = NamedMutex::State::kClosing;  // openers of the name wait
  }
  // A refused child's descriptor is its parent's description: its locks are
  // the parent's, and neither taken nor let go here.
  if (mutex->refused.load(std::memory_order_relaxed) != 0) {
    ::munmap(mutex->block, sizeof(SharedBlock));
  } else {
    UnmapAndClose(mutex);
  }
  RegistryLock hold;
  ::close(mutex->fd);
  registry.byName.erase(mutex->name);
  pthread_cond_broadcast(&registry.changed);
  delete mutex;
}

LockResult LockNamedMutex(NamedMutex* mutex, bool wait) {
  if (__builtin_expect(mutex->refused.load(std::memory_order_relaxed) != 0, 0)) {
    // Said once; the lock then serialises nothing, as a refused mutex.
    int unsaid = 1;
    if (mutex->refused.compare_exchange_strong(unsaid, 2))
      std::fprintf(stderr, "Mutex() Error: named mutex [%s] refused: %s\n", mutex->name.c_str(),
                   mutex->childRefusal.c_str());
    return LockResult::kFailed;
  }
  pthread_mutex_t* shared = &mutex->block->mutex;
  int rc = wait ? pthread_mutex_lock(shared) : pthread_mutex_trylock(shared);
  switch (rc) {
    case 0:
      return LockResult::kAcquired;
    case EOWNERDEAD:  // its owner ended holding it: now ours, made consistent
      pthread_mutex_consistent(shared);
      return LockResult::kAbandoned;
    case EBUSY:
      return LockResult::kBusy;
    default:
      return LockResult::kFailed;
  }
}

// A non-owner's unlock would only fail with EPERM; it is not even made, so
// that thread checkers see no unlock of a lock the caller lacks.
void UnlockNamedMutex(NamedMutex* mutex) {
  if (mutex->refused.load(std::memory_order_relaxed) != 0) return;
  pthread_mutex_t* shared = &mutex->block->mutex;
  pid_t holder = Holder(shared);
  if (holder == CallingThreadId() || holder < 0) pthread_mutex_unlock(shared);
}

}  // namespace orn2::port
