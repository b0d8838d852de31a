// Mutexes on POSIX. The uncontended lock and unlock stay in user space (no
// system call) for both kinds, and a lock whose owner thread ends while holding
// it is taken over by the next waiter (abandoned):
// - an anonymous mutex is a futex-based recursive lock of this file; a waiter
//   that finds the owner thread gone takes the lock over;
// - a named mutex is a robust, process-shared, recursive pthread mutex in a
//   POSIX shared memory object that every process of the user maps; the kernel
//   marks it abandoned when its owner thread or process ends (EOWNERDEAD,
//   repaired by the next owner).
#include "port/sync.h"

#include <fcntl.h>
#include <linux/futex.h>
#include <pthread.h>
#include <sys/mman.h>
#include <sys/single_threaded.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <map>
#include <mutex>
#include <string>

namespace orn2::port {
namespace {

static_assert(sizeof(pthread_mutex_t) <= kCriticalSectionBytes, "critical section fits");
static_assert(alignof(pthread_mutex_t) <= kCriticalSectionAlign, "critical section aligned");

// --- The anonymous lock ------------------------------------------------------

// The calling thread's system id, cached per thread (gettid is a system call);
// a forked child's copy of the cache is reset.
// Initial-exec: a few bytes of static TLS, read without a call.
__attribute__((tls_model("initial-exec"))) thread_local pid_t cachedTid = 0;

void ResetTidAfterFork() { cachedTid = 0; }

pid_t SelfTid() {
  if (cachedTid == 0) {
    static std::once_flag once;
    std::call_once(once, [] { pthread_atfork(nullptr, nullptr, &ResetTidAfterFork); });
    cachedTid = static_cast<pid_t>(::syscall(SYS_gettid));
  }
  return cachedTid;
}

bool ThreadAlive(pid_t tid) {
  return ::syscall(SYS_tgkill, ::getpid(), tid, 0) == 0 || errno != ESRCH;
}

// How long a waiter sleeps before it looks whether the owner still lives.
constexpr long kOwnerCheckNs = 50 * 1000000L;

// state: 0 free, 1 held, 2 held with (possible) waiters. owner: the holder's
// thread id. depth: the recursion count, touched by the holder only. A waiter
// that finds the owner's thread gone takes the lock over by exchanging the
// owner id; a thread id reused by a new thread of this process before that
// would hide the abandonment (thread ids cycle through a large range).
struct FastLock {
  std::atomic<int> state{0};
  std::atomic<pid_t> owner{0};
  unsigned long depth = 0;
};

void FutexWait(std::atomic<int>* word, int expected) {
  timespec timeout{0, kOwnerCheckNs};
  ::syscall(SYS_futex, reinterpret_cast<int*>(word), FUTEX_WAIT_PRIVATE, expected, &timeout,
            nullptr, 0);
}

void FutexWakeOne(std::atomic<int>* word) {
  ::syscall(SYS_futex, reinterpret_cast<int*>(word), FUTEX_WAKE_PRIVATE, 1, nullptr, nullptr, 0);
}

LockResult FastLockTake(FastLock* lock, bool wait) {
  pid_t self = SelfTid();
  if (lock->owner.load(std::memory_order_relaxed) == self) {
    ++lock->depth;
    return LockResult::kAcquired;
  }
  // As the C library does for its own mutexes: while the process has a single
  // thread, nobody can race, so the lock word needs no atomic exchange.
  int expected = 0;
  if (__libc_single_threaded
          ? lock->state.load(std::memory_order_relaxed) == 0 &&
                (lock->state.store(1, std::memory_order_relaxed), true)
          : lock->state.compare_exchange_strong(expected, 1, std::memory_order_acquire)) {
    lock->owner.store(self, std::memory_order_relaxed);
    lock->depth = 1;
    return LockResult::kAcquired;
  }
  for (;;) {
    pid_t owner = lock->owner.load(std::memory_order_acquire);
    if (owner != 0 && !ThreadAlive(owner) &&
        lock->owner.compare_exchange_strong(owner, self, std::memory_order_acq_rel)) {
      lock->state.store(2, std::memory_order_relaxed);  // waiters may still sleep
      lock->depth = 1;
      return LockResult::kAbandoned;
    }
    if (!wait) return LockResult::kBusy;
    if (lock->state.exchange(2, std::memory_order_acquire) == 0) {
      lock->owner.store(self, std::memory_order_relaxed);
      lock->depth = 1;
      return LockResult::kAcquired;
    }
    FutexWait(&lock->state, 2);
  }
}

void FastLockRelease(FastLock* lock) {
  if (lock->owner.load(std::memory_order_relaxed) != SelfTid()) return;  // not ours
  if (--lock->depth > 0) return;
  lock->owner.store(0, std::memory_order_relaxed);
  if (__libc_single_threaded) {
    lock->state.store(0, std::memory_order_relaxed);  // no waiter can exist
  } else if (lock->state.exchange(0, std::memory_order_release) == 2) {
    FutexWakeOne(&lock->state);
  }
}

// --- The named mutex ---------------------------------------------------------

constexpr std::size_t kMaxNameBytes = 127;
// How many object names are tried for one mutex name before giving up: a name
// already taken by another user's object, or by another mutex name whose hash
// collides, moves on to the next suffix, the same way in every process.
constexpr int kMaxProbes = 8;
constexpr uint32_t kReadyMagic = 0x6f726e32;  // "orn2"

// The shared memory object of a named mutex.
struct SharedBlock {
  std::atomic<uint32_t> ready;  // kReadyMagic once the mutex below is initialised
  uint32_t nameLength;
  char name[kMaxNameBytes + 1];
  pthread_mutex_t mutex;
};

// A handle: reference counted, so that a duplicate is the same pointer with one
// more reference and every CloseMutex drops one. The Mutex objects of one name
// in one process share one handle (and one mapping).
struct MutexObject {
  int refs;                          // guarded by Registry().lock
  pthread_mutex_t* mutex = nullptr;  // named only: the shared mutex
  FastLock local;                    // anonymous only
  // Named only:
  std::string objectName;
  int fd = -1;
  SharedBlock* block = nullptr;
};

struct Registry {
  std::mutex lock;
  std::map<std::string, MutexObject*> named;  // by mutex name
};

Registry& TheRegistry() {
  // Never destroyed, so that Mutex objects of static storage duration may
  // still close their handles while the process exits.
  static Registry* registry = new Registry;
  return *registry;
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

// True when a live thread of this process holds the mutex. Its memory must
// then stay in place: the kernel (or the C library) marks the lock abandoned
// in it when that thread ends.
bool HeldInThisProcess(pthread_mutex_t* mutex) {
#if defined(__GLIBC__)
  int owner = __atomic_load_n(&mutex->__data.__owner, __ATOMIC_RELAXED);
  if (owner <= 0) return false;
  return ::syscall(SYS_tgkill, ::getpid(), owner, 0) == 0;
#else
  (void)mutex;
  return true;  // cannot tell: keep the memory
#endif
}

bool OwnedByCaller(pthread_mutex_t* mutex) {
#if defined(__GLIBC__)
  return __atomic_load_n(&mutex->__data.__owner, __ATOMIC_RELAXED) == SelfTid();
#else
  (void)mutex;
  return true;  // cannot tell: the unlock itself refuses a non-owner
#endif
}

// Two independent 64-bit FNV-1a variants, so that the object name is 128 bits
// of hash and collisions (still handled by probing) practically never happen.
void HashName(const char* name, std::size_t length, uint64_t* a, uint64_t* b) {
  uint64_t h1 = 0xcbf29ce484222325ull, h2 = 0x84222325cbf29ce4ull;
  for (std::size_t i = 0; i < length; ++i) {
    unsigned char c = static_cast<unsigned char>(name[i]);
    h1 = (h1 ^ c) * 0x100000001b3ull;
    h2 = (h2 ^ (c + 0x9eu)) * 0x100000001b3ull;
    h2 ^= h2 >> 29;
  }
  *a = h1;
  *b = h2;
}

// "/orn2.<uid>.<hash>[.<probe>]": derived from the user and the name only.
std::string ObjectName(const char* name, std::size_t length, int probe) {
  uint64_t a = 0, b = 0;
  HashName(name, length, &a, &b);
  char buffer[96];
  std::snprintf(buffer, sizeof buffer, "/orn2.%lu.%016llx%016llx",
                static_cast<unsigned long>(::geteuid()), static_cast<unsigned long long>(a),
                static_cast<unsigned long long>(b));
  std::string result(buffer);
  if (probe > 0) result += "." + std::to_string(probe);
  return result;
}

// Open file description locks on two bytes of the object: byte 0 is held
// exclusively while a process opens or closes the object (so that creation and
// removal never race), byte 1 is held shared by every process that has it open
// (so that the last one to close can tell, and removes the name). The kernel
// drops both when a process dies.
constexpr off_t kGateByte = 0;
constexpr off_t kUserByte = 1;

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

enum class OpenOutcome { kOpened, kNextProbe, kRetry, kFailed };

OpenOutcome OpenShared(const std::string& objectName, const char* name, std::size_t length,
                       MutexObject* object) {
  int fd = ::shm_open(objectName.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0)
    return (errno == EACCES || errno == ELOOP) ? OpenOutcome::kNextProbe : OpenOutcome::kFailed;
  auto fail = [fd](OpenOutcome outcome) {
    ::close(fd);
    return outcome;
  };
  if (!ByteLock(fd, kGateByte, F_WRLCK, true)) return fail(OpenOutcome::kFailed);
  struct stat info {};
  if (::fstat(fd, &info) != 0) return fail(OpenOutcome::kFailed);
  // Removed by its last user between our open and our lock: open afresh.
  if (info.st_nlink == 0) return fail(OpenOutcome::kRetry);
  // Someone else's object (another user squatting the name): never use it.
  if (info.st_uid != ::geteuid() || (info.st_mode & 077) != 0) return fail(OpenOutcome::kNextProbe);
  if (static_cast<std::size_t>(info.st_size) < sizeof(SharedBlock) &&
      ::ftruncate(fd, sizeof(SharedBlock)) != 0) {
    return fail(OpenOutcome::kFailed);
  }
  void* map = ::mmap(nullptr, sizeof(SharedBlock), PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
  if (map == MAP_FAILED) return fail(OpenOutcome::kFailed);
  auto* block = static_cast<SharedBlock*>(map);
  // Not ready: new, or its creator died half-way (it held the gate, so nobody
  // has used the mutex yet); either way it is initialised now.
  if (block->ready.load(std::memory_order_acquire) != kReadyMagic) {
    std::memset(block->name, 0, sizeof block->name);
    std::memcpy(block->name, name, length);
    block->nameLength = static_cast<uint32_t>(length);
    if (!InitRobustShared(&block->mutex)) {
      ::munmap(map, sizeof(SharedBlock));
      return fail(OpenOutcome::kFailed);
    }
    block->ready.store(kReadyMagic, std::memory_order_release);
  } else if (block->nameLength != length || std::memcmp(block->name, name, length) != 0) {
    ::munmap(map, sizeof(SharedBlock));
    return fail(OpenOutcome::kNextProbe);  // a colliding hash of another name
  }
  ByteLock(fd, kUserByte, F_RDLCK, true);
  ByteLock(fd, kGateByte, F_UNLCK, true);
  object->objectName = objectName;
  object->fd = fd;
  object->block = block;
  object->mutex = &block->mutex;
  return OpenOutcome::kOpened;
}

MutexObject* OpenNamed(const char* name) {
  std::size_t length = std::strlen(name);
  if (length > kMaxNameBytes) length = kMaxNameBytes;
  auto* object = new MutexObject;
  object->refs = 1;
  for (int probe = 0; probe < kMaxProbes; ++probe) {
    std::string objectName = ObjectName(name, length, probe);
    for (int attempt = 0; attempt < 100; ++attempt) {
      OpenOutcome outcome = OpenShared(objectName, name, length, object);
      if (outcome == OpenOutcome::kOpened) return object;
      if (outcome == OpenOutcome::kFailed) {
        delete object;
        return nullptr;
      }
      if (outcome == OpenOutcome::kNextProbe) break;
    }
  }
  delete object;
  return nullptr;
}

// The last handle of this process closes: if no other process has the object
// open (our shared lock on the user byte turns exclusive), its name goes too.
void CloseNamed(MutexObject* object) {
  bool keepMapping = HeldInThisProcess(object->mutex);
  ByteLock(object->fd, kGateByte, F_WRLCK, true);
  if (!keepMapping && ByteLock(object->fd, kUserByte, F_WRLCK, false)) {
    ::shm_unlink(object->objectName.c_str());
  }
  ByteLock(object->fd, kGateByte, F_UNLCK, true);
  if (keepMapping) return;  // leaked on purpose, see HeldInThisProcess
  ::munmap(object->block, sizeof(SharedBlock));
  ::close(object->fd);
  delete object;
}

LockResult Repair(int rc, pthread_mutex_t* mutex) {
  if (rc == 0) return LockResult::kAcquired;
  if (rc == EOWNERDEAD) {
    pthread_mutex_consistent(mutex);
    return LockResult::kAbandoned;
  }
  if (rc == EBUSY) return LockResult::kBusy;
  return LockResult::kFailed;
}

}  // namespace

void* NewMutex(const char* name) {
  if (name == nullptr || name[0] == '\0') {
    auto* object = new MutexObject;
    object->refs = 1;
    return object;
  }
  std::string key(name, ::strnlen(name, kMaxNameBytes));
  Registry& registry = TheRegistry();
  std::lock_guard<std::mutex> hold(registry.lock);
  auto found = registry.named.find(key);
  if (found != registry.named.end()) {
    ++found->second->refs;
    return found->second;
  }
  MutexObject* object = OpenNamed(key.c_str());
  if (object != nullptr) registry.named[key] = object;
  return object;
}

void* DuplicateMutex(void* mutex) {
  if (mutex == nullptr) return nullptr;
  std::lock_guard<std::mutex> hold(TheRegistry().lock);
  ++static_cast<MutexObject*>(mutex)->refs;
  return mutex;
}

void CloseMutex(void* mutex) {
  auto* object = static_cast<MutexObject*>(mutex);
  if (object == nullptr) return;
  Registry& registry = TheRegistry();
  std::lock_guard<std::mutex> hold(registry.lock);
  if (--object->refs > 0) return;
  if (object->block == nullptr) {
    delete object;
    return;
  }
  registry.named.erase(std::string(object->block->name, object->block->nameLength));
  CloseNamed(object);
}

LockResult LockMutex(void* mutex) {
  auto* object = static_cast<MutexObject*>(mutex);
  if (object == nullptr) return LockResult::kFailed;
  if (object->block == nullptr) return FastLockTake(&object->local, true);
  return Repair(pthread_mutex_lock(object->mutex), object->mutex);
}

LockResult TryLockMutex(void* mutex) {
  auto* object = static_cast<MutexObject*>(mutex);
  if (object == nullptr) return LockResult::kFailed;
  if (object->block == nullptr) return FastLockTake(&object->local, false);
  return Repair(pthread_mutex_trylock(object->mutex), object->mutex);
}

void UnlockMutex(void* mutex) {
  auto* object = static_cast<MutexObject*>(mutex);
  if (object == nullptr) return;
  if (object->block == nullptr) {
    FastLockRelease(&object->local);
  } else {
    // A non-owner's unlock would only fail with EPERM; it is not even made,
    // so that thread checkers see no unlock of a lock the caller lacks.
    if (OwnedByCaller(object->mutex)) pthread_mutex_unlock(object->mutex);
  }
}

// A critical section is a recursive in-process pthread mutex in the caller's
// storage.
void InitCriticalSection(void* storage) {
  auto* mutex = static_cast<pthread_mutex_t*>(storage);
  pthread_mutexattr_t attr;
  pthread_mutexattr_init(&attr);
  pthread_mutexattr_settype(&attr, PTHREAD_MUTEX_RECURSIVE);
  pthread_mutex_init(mutex, &attr);
  pthread_mutexattr_destroy(&attr);
}

void DeleteCriticalSection(void* storage) {
  pthread_mutex_destroy(static_cast<pthread_mutex_t*>(storage));
}

void EnterCriticalSection(void* storage) {
  pthread_mutex_lock(static_cast<pthread_mutex_t*>(storage));
}

void LeaveCriticalSection(void* storage) {
  pthread_mutex_unlock(static_cast<pthread_mutex_t*>(storage));
}

}  // namespace orn2::port
