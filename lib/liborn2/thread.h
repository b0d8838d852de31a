// Thread: the base class of worker threads. A derived class supplies the body,
// Run; Thread starts it on a system thread of its own, tracks its status, lets
// the owner suspend, resume, wait for and kill it, and stops it cooperatively:
// the owner raises a stop flag that the body polls, waits a bounded time, and
// only then terminates the thread by force.
#ifndef LIBORN2_THREAD_H
#define LIBORN2_THREAD_H

#include <liborn2/export.h>

#include <atomic>

// The body runs on the new thread; every other method runs on the owner's
// thread. The status and the stop flag are shared between the two as atomic
// words, without a lock. The object must outlive its thread: call CloseThread
// (or wait for the end and CloseThreadHandle) before destroying it.
class ORN2_API Thread {
 public:
  enum Status {
    NotStarted = 0,
    Running = 1,
    Suspended = 2,
    Finished = 3,
    StartFailed = 4,
  };

  Thread(unsigned int stackSize = 8192);
  // Copies the five fields. Handle ownership: the copy gets a duplicate of the
  // system handle, so each object closes its own handle, once.
  Thread(const Thread& other);
  Thread& operator=(const Thread& other);
  // Raises the stop flag; nothing else (no wait, no kill, no close).
  virtual ~Thread();

  virtual void Run() = 0;

  // Starts Run on a new thread unless the status is Running. 0, or the
  // runtime's error number when the system refused (status StartFailed,
  // GetError the system's error code).
  int Start();
  void Stop();
  // Waits up to `timeout` ms (-1: no limit) for the thread to end: 0 when it
  // has ended, -1 on timeout, failure or a thread never started.
  int Wait(int timeout);
  void Suspend();
  void Resume();
  // Terminates the thread by force if it is still active; status Finished.
  void Kill();
  // Raises the stop flag and waits in steps of 500 ms for the body to return,
  // for about 20 seconds; then kills the thread. Closes the handle.
  void CloseThread();
  // Non-zero on success. The handle field keeps its value.
  int CloseThreadHandle();
  Status GetStatus();
  int GetError();
  // The thread's system handle (not its numeric identifier).
  void* Tid();
  // The stack size for the next Start; a size below the platform's minimum is
  // raised to it.
  void StackSize(unsigned int size);
  static void Sleep(unsigned long ms);
  // Gives up the rest of the calling thread's time slice.
  void Cede();

 protected:
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
