// Thread: the base class of worker threads, with a cooperative stop protocol.
#ifndef LIBORN2_THREAD_H
#define LIBORN2_THREAD_H

#include <liborn2/export.h>

#include <atomic>

/// The base class of worker threads. A derived class supplies the body, Run;
/// Thread starts it on a system thread of its own, tracks its status, lets the
/// owner suspend, resume, wait for and kill it, and stops it cooperatively: the
/// owner raises a stop flag that the body polls (StopFlag), waits a bounded
/// time, and only then terminates the thread by force. Nothing is printed or
/// thrown. A thread terminated by force is not unwound: what it allocated is
/// not freed, and locks it held may stay held.
///
/// Thread contract: the body runs on the new thread; every other method runs on
/// the owner's thread. The status and the stop flag are shared between the two
/// as atomic words, without a lock. The object must outlive its thread: call
/// CloseThread (or wait for the end and CloseThreadHandle) before destroying it.
class ORN2_API Thread {
 public:
  /// The thread's status; only a stored Running is refreshed from the system.
  enum Status {
    NotStarted = 0,   ///< No thread started yet.
    Running = 1,      ///< Started and, as far as last asked, still active.
    Suspended = 2,    ///< Suspended through Suspend.
    Finished = 3,     ///< The body returned, the thread was killed or has ended.
    StartFailed = 4,  ///< The system refused to create the thread.
  };

  /// Not started, stop flag 0, the stack size for Start (raised there to the
  /// platform's minimum).
  Thread(unsigned int stackSize = 8192);
  /// Copies the five fields. Handle ownership: the copy gets a handle of its
  /// own to the same thread (a duplicate), so each object closes its own
  /// handle, once.
  Thread(const Thread& other);
  /// Closes the target's own handle, then copies as the copy constructor does.
  Thread& operator=(const Thread& other);
  /// Raises the stop flag; nothing else (no wait, no kill, no close).
  virtual ~Thread();

  /// The body, run on the new thread (on a first start only once Start has
  /// stored handle and status); the status becomes Finished when it returns.
  virtual void Run() = 0;

  /// Starts Run on a new thread unless the status is Running (then 0 and
  /// nothing happens). 0, or the runtime's error number when the system
  /// refused (status StartFailed, GetError the system's error code). The stop
  /// flag is not cleared: a restarted body sees it raised at once.
  int Start();
  /// Raises the stop flag for the body to see; does not wait.
  void Stop();
  /// Waits up to `timeout` ms (-1: no limit) for the thread to end: 0 when it
  /// has ended, -1 on timeout, failure, a closed handle or a thread never
  /// started (at once). GetError then returns the same value.
  int Wait(int timeout);
  /// Suspends a Running thread (status Suspended); otherwise nothing. On
  /// Linux a thread that blocks the signal used for this cannot be suspended:
  /// Suspend gives up after about 3 seconds and the status stays Running.
  void Suspend();
  /// Resumes a Suspended thread (status Running once it runs again);
  /// otherwise nothing.
  void Resume();
  /// Terminates the thread by force if it is still active; status Finished.
  /// On Linux a thread that blocks the signal used for this cannot be ended:
  /// Kill gives up after about 3 seconds, and the thread runs on.
  void Kill();
  /// Raises the stop flag and waits in steps of 500 ms for the body to return,
  /// for about 20 seconds (also on a never-started object); then kills the
  /// thread, waits up to 2 seconds for its end and closes the handle. Always
  /// returns: a thread that could not be ended is left running, with the
  /// status Running and its handle open (Wait and CloseThreadHandle still
  /// work), about 25 seconds after the call began.
  void CloseThread();
  /// Non-zero when an open handle was closed; 0 when none was open (never
  /// started, or closed already) or closing failed. The field keeps its value.
  int CloseThreadHandle();
  /// The status, refreshed from the system when it reads Running.
  Status GetStatus();
  /// The system's error code after a failed Start, 0 after a good one, or the
  /// result of the last Wait (0 or -1).
  int GetError();
  /// The thread's handle (not its numeric identifier); null before the first
  /// Start. What it holds is each platform's own: on Windows the thread's
  /// system HANDLE; on Linux the library's own record of the thread, which no
  /// system call accepts.
  void* Tid();
  /// The stack size for the next Start; a size below the platform's minimum is
  /// raised to it.
  void StackSize(unsigned int size);
  /// Suspends the calling thread for `ms` milliseconds.
  static void Sleep(unsigned long ms);
  /// Gives up the rest of the calling thread's time slice.
  void Cede();

 protected:
  /// The stop flag, for the body to poll: 0 until Stop, CloseThread or the
  /// destructor raises it to 1; nothing lowers it again.
  unsigned int StopFlag();

 private:
  Status CheckStatus();
  void SetStatus(Status status);
  void RunWrap();
  static unsigned int EntryPoint(void* object);

  int error_;
  void* handle_;
  std::atomic<Status> status_;
  std::atomic<unsigned int> stopFlag_;
  unsigned int stackSize_;
  // Whether handle_ is still open in this object: closing twice, or closing a
  // copied value, would close someone else's handle.
  bool handleOpen_;
};

#endif  // LIBORN2_THREAD_H
