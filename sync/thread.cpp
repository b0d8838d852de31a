#include "port/thread.h"

#include <liborn2/thread.h>

#include "port/clock.h"
#include "sync/port_handles.h"

using orn2::sync::AsWorkerHandle;

namespace {

// The cooperative phase of CloseThread, in whole seconds of calendar time, and
// the step in which it waits for the body to return.
constexpr int64_t kCloseSeconds = 20;
constexpr int kCloseStepMs = 500;
// How long CloseThread waits for a killed thread to end. A thread that the
// system cannot end (on Linux, one that blocks the signal Kill uses) is still
// running after it.
constexpr int kKilledEndMs = 2000;

}  // namespace

Thread::Thread(unsigned int stackSize)
    : error_(0),
      handle_(nullptr),
      status_(NotStarted),
      stopFlag_(0),
      stackSize_(stackSize),
      handleOpen_(false) {}

Thread::Thread(const Thread& other)
    : error_(other.error_),
      handle_(other.handle_),
      status_(other.status_.load()),
      stopFlag_(other.stopFlag_.load()),
      stackSize_(other.stackSize_),
      handleOpen_(false) {
  if (other.handleOpen_) {
    handle_ = orn2::port::DuplicateWorkerHandle(AsWorkerHandle(other.handle_));
    handleOpen_ = handle_ != nullptr;
  }
}

Thread& Thread::operator=(const Thread& other) {
  if (this == &other) return *this;
  if (handleOpen_) orn2::port::CloseWorkerHandle(AsWorkerHandle(handle_));
  error_ = other.error_;
  handle_ = other.handle_;
  handleOpen_ = false;
  if (other.handleOpen_) {
    handle_ = orn2::port::DuplicateWorkerHandle(AsWorkerHandle(other.handle_));
    handleOpen_ = handle_ != nullptr;
  }
  status_ = other.status_.load();
  stopFlag_ = other.stopFlag_.load();
  stackSize_ = other.stackSize_;
  return *this;
}

Thread::~Thread() { stopFlag_ = 1; }

int Thread::Start() {
  if (GetStatus() == Running) {
    error_ = 0;
    return 0;
  }
  // The handle of a thread started earlier is closed rather than lost; the
  // thread itself, if it still runs, is not affected.
  if (handleOpen_) orn2::port::CloseWorkerHandle(AsWorkerHandle(handle_));
  handleOpen_ = false;
  int runtimeError = 0, systemError = 0;
  void* handle =
      orn2::port::StartWorker(&EntryPoint, this, stackSize_, &runtimeError, &systemError);
  if (handle == nullptr) {
    SetStatus(StartFailed);
    error_ = systemError;
    return runtimeError;
  }
  handle_ = handle;
  handleOpen_ = true;
  SetStatus(Running);
  error_ = 0;
  return 0;
}

void Thread::Stop() { stopFlag_ = 1; }

unsigned int Thread::StopFlag() { return stopFlag_.load(); }

int Thread::Wait(int timeout) {
  Status status = GetStatus();
  int result = -1;
  if ((status == Running || status == Finished || status == Suspended) && handleOpen_) {
    result = orn2::port::WaitWorker(AsWorkerHandle(handle_), timeout) ? 0 : -1;
  }
  error_ = result;
  return result;
}

void Thread::Suspend() {
  if (GetStatus() != Running) return;
  if (orn2::port::SuspendWorker(AsWorkerHandle(handle_)) == 0) SetStatus(Suspended);
}

void Thread::Resume() {
  if (GetStatus() != Suspended) return;
  long previous = orn2::port::ResumeWorker(AsWorkerHandle(handle_));
  if (previous == 0 || previous == 1) SetStatus(Running);
}

void Thread::Kill() {
  if (CheckStatus() == Running) orn2::port::KillWorker(AsWorkerHandle(handle_), 0);
  SetStatus(Finished);
}

void Thread::CloseThread() {
  const int64_t deadline = orn2::port::NowSeconds() + kCloseSeconds;
  bool closed = false;
  while (orn2::port::NowSeconds() <= deadline) {
    stopFlag_ = 1;
    Wait(kCloseStepMs);
    Status status = GetStatus();
    if (status == Finished) {
      closed = CloseThreadHandle() != 0;
      break;
    }
    // Without a thread Wait returns at once; the loop still lasts until the
    // deadline, in steps of the same length rather than a busy loop.
    if (status == NotStarted || status == StartFailed) orn2::port::SleepMs(kCloseStepMs);
  }
  if (GetStatus() != Finished) {
    Kill();
    // A thread that could not be ended is reported as what it is, Running,
    // and keeps its handle, so that the owner can still wait for it.
    if (Wait(kKilledEndMs) != 0 && CheckStatus() == Running) {
      SetStatus(Running);
      return;
    }
  }
  if (!closed) CloseThreadHandle();
}

int Thread::CloseThreadHandle() {
  if (!handleOpen_) return 0;
  handleOpen_ = false;
  return orn2::port::CloseWorkerHandle(AsWorkerHandle(handle_)) ? 1 : 0;
}

Thread::Status Thread::GetStatus() {
  // Only a stored Running is refreshed, and only if nobody (the worker setting
  // Finished) changed it meanwhile.
  Status stored = Running;
  if (status_.load() == Running) status_.compare_exchange_strong(stored, CheckStatus());
  return status_.load();
}

int Thread::GetError() { return error_; }

void* Thread::Tid() { return handle_; }

void Thread::StackSize(unsigned int size) { stackSize_ = size; }

void Thread::Sleep(unsigned long ms) { orn2::port::SleepMs(ms); }

void Thread::Cede() { orn2::port::SleepMs(0); }

// Only the system knows; a closed handle counts as a thread no longer active.
Thread::Status Thread::CheckStatus() {
  return handleOpen_ && orn2::port::WorkerActive(AsWorkerHandle(handle_)) ? Running : Finished;
}

void Thread::SetStatus(Status status) { status_ = status; }

void Thread::RunWrap() {
  // A first start: the body waits until Start has stored handle and status.
  while (status_.load() == NotStarted) orn2::port::SleepMs(0);
  Run();
}

unsigned int Thread::EntryPoint(void* object) {
  auto* self = static_cast<Thread*>(object);
  self->RunWrap();
  self->SetStatus(Finished);
  return 0;
}
