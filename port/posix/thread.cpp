// Threads on POSIX. There is no call that suspends or ends one thread from
// outside, so both go through a signal: its handler parks the thread on a
// semaphore until it is resumed, or for good once it was killed, and the
// thread's control block records the end so that waiting and status queries
// see a killed thread as ended.
//
// A thread that blocks the signal (or is stuck where the kernel cannot deliver
// it) never parks: Suspend and Kill then give up after kParkTimeoutMs, withdraw
// their request and report failure, and the thread runs on.
//
// What forced termination leaves behind (as TerminateThread does on Windows):
// the killed thread never runs again, but it is not unwound. Every lock it
// holds stays held (a Mutex it owns is not abandoned; a lock inside the C
// library, e.g. the heap's, blocks every other thread that needs it), and its
// stack, its thread-local data and whatever it allocated are never freed.
// Suspension likewise holds whatever locks the thread held when it stopped.
#include "port/thread.h"

#include <pthread.h>
#include <semaphore.h>
#include <signal.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <mutex>

namespace orn2::port {
namespace {

// The library's minimum: the system's own (16 KiB on glibc) leaves too little
// room for a signal frame on top of a body that calls into the C library, and
// sanitizer builds use far more stack per frame.
constexpr std::size_t kMinStackBytes = 128 * 1024;

// How long Suspend and Kill wait for the thread to take the park signal. A
// thread that can take it does so within microseconds, or milliseconds on a
// loaded machine; one that cannot would keep the owner waiting for ever.
constexpr long kParkTimeoutMs = 3000;

}  // namespace

// A worker's handle is its control block, reference counted between the thread
// itself and the owner's handles (a duplicate is the same pointer with one more
// reference).
struct WorkerHandle {
  WorkerRoutine routine;
  void* argument;
  pthread_t thread{};
  std::atomic<int> refs{2};     // the thread + the first handle
  std::atomic<int> handles{1};  // open handles; the last close detaches
  std::atomic<int> suspendCount{0};
  std::atomic<int> parked{0};  // set by the handler while it holds the thread
  std::atomic<bool> killed{false};
  std::atomic<bool> ended{false};  // written under `lock`, read anywhere
  pthread_mutex_t lock = PTHREAD_MUTEX_INITIALIZER;
  pthread_cond_t endedChanged;
  // Posted when the thread parks or ends, for an owner waiting for either
  // (posting a semaphore is allowed in a signal handler; a condition is not).
  sem_t parkedOrEnded;
  // Posted for a parked thread to look again (resumed, or a request withdrawn).
  sem_t lookAgain;
};

namespace {

int ParkSignal() { return SIGRTMIN + 6; }

void Release(WorkerHandle* block) {
  if (block->refs.fetch_sub(1) != 1) return;
  sem_destroy(&block->lookAgain);
  sem_destroy(&block->parkedOrEnded);
  pthread_cond_destroy(&block->endedChanged);
  pthread_mutex_destroy(&block->lock);
  delete block;
}

void MarkEndedLocked(WorkerHandle* block) {
  block->ended = true;
  pthread_cond_broadcast(&block->endedChanged);
  sem_post(&block->parkedOrEnded);
}

void MarkEnded(WorkerHandle* block) {
  pthread_mutex_lock(&block->lock);
  MarkEndedLocked(block);
  pthread_mutex_unlock(&block->lock);
}

// Runs on the target thread, with the park signal blocked. The owner's request
// arrives as the block's address in the signal's value. Only the request is a
// signal: the thread then waits on a semaphore (glibc's sem_wait is a futex
// wait, safe here), never for a second signal. ThreadSanitizer runs a handler
// that its interception deferred with every signal blocked, and a signal
// taken inside such a handler makes it restore the wrong mask when both
// return: the thread ran on with the park signal blocked for good, and the
// next Suspend failed.
void ParkHandler(int, siginfo_t* info, void*) {
  if (info->si_code != SI_QUEUE) return;
  auto* block = static_cast<WorkerHandle*>(info->si_value.sival_ptr);
  if (block == nullptr || block->parked.load() != 0) return;
  int savedErrno = errno;
  for (;;) {
    block->parked = 1;
    sem_post(&block->parkedOrEnded);
    while (block->killed.load() || block->suspendCount.load() > 0) sem_wait(&block->lookAgain);
    block->parked = 0;
    // A Suspend or Kill that came after the loop's last look but still saw
    // `parked` set sent no signal and counts on this thread staying parked:
    // look again now that `parked` is clear (either it sees the request here,
    // or it saw `parked` clear and sent a signal).
    if (!block->killed.load() && block->suspendCount.load() == 0) break;
  }
  errno = savedErrno;
}

void InstallHandler() {
  static std::once_flag once;
  std::call_once(once, [] {
    struct sigaction action {};
    action.sa_sigaction = &ParkHandler;
    action.sa_flags = SA_SIGINFO | SA_RESTART;
    sigemptyset(&action.sa_mask);
    sigaction(ParkSignal(), &action, nullptr);
  });
}

void SetSignalBlocked(bool blocked) {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, ParkSignal());
  pthread_sigmask(blocked ? SIG_BLOCK : SIG_UNBLOCK, &set, nullptr);
}

void* Trampoline(void* argument) {
  auto* block = static_cast<WorkerHandle*>(argument);
  SetSignalBlocked(false);
  block->routine(block->argument);
  // From here on no park request can reach the thread: the owner sends one
  // only under the lock and only while `ended` is clear.
  SetSignalBlocked(true);
  MarkEnded(block);
  Release(block);
  return nullptr;
}

// Sends the park signal unless the thread has ended (then it may be gone).
// Called with block->lock held.
bool SignalLocked(WorkerHandle* block) {
  if (block->ended.load()) return false;
  sigval value;
  value.sival_ptr = block;
  return pthread_sigqueue(block->thread, ParkSignal(), value) == 0;
}

// Waits until the handler holds the thread or the thread has ended; false
// when neither happened within kParkTimeoutMs.
bool AwaitParked(WorkerHandle* block) {
  timespec now{}, deadline{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  deadline = now;
  deadline.tv_sec += kParkTimeoutMs / 1000;
  deadline.tv_nsec += (kParkTimeoutMs % 1000) * 1000000L;
  if (deadline.tv_nsec >= 1000000000L) {
    deadline.tv_sec += 1;
    deadline.tv_nsec -= 1000000000L;
  }
  // Posts of earlier parks may still count: each only makes the loop look again.
  while (block->parked.load() == 0 && !block->ended.load()) {
    if (sem_clockwait(&block->parkedOrEnded, CLOCK_MONOTONIC, &deadline) != 0 &&
        errno == ETIMEDOUT) {
      return block->parked.load() != 0 || block->ended.load();
    }
  }
  return true;
}

// Takes back a park request that the thread did not follow in time: a thread
// that parked just after the owner gave up looks again and goes on (one that
// parks later sees no request and goes on at once). Called with block->lock held.
void WithdrawLocked(WorkerHandle* block) {
  if (block->killed.load() || block->suspendCount.load() > 0) return;
  sem_post(&block->lookAgain);
}

}  // namespace

WorkerHandle* StartWorker(WorkerRoutine routine, void* argument, unsigned int stackSize,
                          int* runtimeError, int* systemError) {
  InstallHandler();
  auto* block = new WorkerHandle;
  block->routine = routine;
  block->argument = argument;
  pthread_condattr_t condAttr;
  pthread_condattr_init(&condAttr);
  pthread_condattr_setclock(&condAttr, CLOCK_MONOTONIC);
  pthread_cond_init(&block->endedChanged, &condAttr);
  pthread_condattr_destroy(&condAttr);
  sem_init(&block->parkedOrEnded, 0, 0);
  sem_init(&block->lookAgain, 0, 0);

  std::size_t size = stackSize < kMinStackBytes ? kMinStackBytes : stackSize;
  long page = ::sysconf(_SC_PAGESIZE);
  if (page > 0) size = (size + page - 1) / page * page;
  pthread_attr_t attr;
  pthread_attr_init(&attr);
  int rc = pthread_attr_setstacksize(&attr, size);
  if (rc == 0) rc = pthread_create(&block->thread, &attr, &Trampoline, block);
  pthread_attr_destroy(&attr);
  if (rc != 0) {
    *runtimeError = rc;
    *systemError = rc;
    block->refs = 1;
    Release(block);
    return nullptr;
  }
  return block;
}

bool WorkerActive(WorkerHandle* block) { return block != nullptr && !block->ended.load(); }

bool WaitWorker(WorkerHandle* block, long timeoutMs) {
  if (block == nullptr) return false;
  timespec deadline{};
  clock_gettime(CLOCK_MONOTONIC, &deadline);
  if (timeoutMs > 0) {
    deadline.tv_sec += timeoutMs / 1000;
    deadline.tv_nsec += (timeoutMs % 1000) * 1000000L;
    if (deadline.tv_nsec >= 1000000000L) {
      deadline.tv_sec += 1;
      deadline.tv_nsec -= 1000000000L;
    }
  }
  pthread_mutex_lock(&block->lock);
  while (!block->ended.load()) {
    if (timeoutMs < 0) {
      pthread_cond_wait(&block->endedChanged, &block->lock);
    } else if (timeoutMs == 0 ||
               pthread_cond_timedwait(&block->endedChanged, &block->lock, &deadline) == ETIMEDOUT) {
      break;
    }
  }
  bool ended = block->ended.load();
  pthread_mutex_unlock(&block->lock);
  return ended;
}

long SuspendWorker(WorkerHandle* block) {
  if (block == nullptr) return -1;
  pthread_mutex_lock(&block->lock);
  if (block->ended.load()) {
    pthread_mutex_unlock(&block->lock);
    return -1;
  }
  long previous = block->suspendCount.fetch_add(1);
  bool sent = previous > 0 || block->parked.load() != 0 || SignalLocked(block);
  if (!sent) block->suspendCount.fetch_sub(1);
  pthread_mutex_unlock(&block->lock);
  if (!sent) return -1;
  if (AwaitParked(block)) return previous;
  pthread_mutex_lock(&block->lock);
  bool parked = block->parked.load() != 0 || block->ended.load();
  if (!parked) {
    block->suspendCount.fetch_sub(1);
    WithdrawLocked(block);
  }
  pthread_mutex_unlock(&block->lock);
  return parked ? previous : -1;
}

long ResumeWorker(WorkerHandle* block) {
  if (block == nullptr) return -1;
  pthread_mutex_lock(&block->lock);
  long previous = block->suspendCount.load();
  if (previous > 0 && block->suspendCount.fetch_sub(1) == 1) sem_post(&block->lookAgain);
  pthread_mutex_unlock(&block->lock);
  return previous;
}

bool KillWorker(WorkerHandle* block, unsigned int) {
  if (block == nullptr) return false;
  pthread_mutex_lock(&block->lock);
  if (block->ended.load()) {
    pthread_mutex_unlock(&block->lock);
    return false;
  }
  block->killed = true;
  bool parkedOrSent = block->parked.load() != 0 || SignalLocked(block);
  if (!parkedOrSent) block->killed = false;
  pthread_mutex_unlock(&block->lock);
  if (!parkedOrSent) return false;
  bool parked = AwaitParked(block);
  pthread_mutex_lock(&block->lock);
  parked = parked || block->parked.load() != 0 || block->ended.load();
  if (parked) {
    // Parked for good (or it ended on its own just now): either way it ended.
    if (!block->ended.load()) MarkEndedLocked(block);
  } else {
    block->killed = false;
    WithdrawLocked(block);
  }
  pthread_mutex_unlock(&block->lock);
  return parked;
}

WorkerHandle* DuplicateWorkerHandle(WorkerHandle* block) {
  if (block == nullptr) return nullptr;
  block->refs.fetch_add(1);
  block->handles.fetch_add(1);
  return block;
}

// The last handle detaches the thread, so that the system frees it when it
// ends; no signal is sent to it after that (nobody holds a handle).
bool CloseWorkerHandle(WorkerHandle* block) {
  if (block == nullptr) return false;
  if (block->handles.fetch_sub(1) == 1) pthread_detach(block->thread);
  Release(block);
  return true;
}

}  // namespace orn2::port
