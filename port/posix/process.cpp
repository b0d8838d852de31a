#include "port/process.h"

#include <pthread.h>
#include <signal.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>

extern char** environ;

namespace orn2::port {
namespace {

// The handle of a child process is its pid, boxed so that 0 stays "none".
struct Child {
  pid_t pid;
  bool reaped;
  int status;
};

int DecodeStatus(int status) {
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
  return -1;
}

}  // namespace

int ProcessId() { return static_cast<int>(::getpid()); }

namespace {

// The calling thread's id, asked of the system once per thread (every log line
// shows it); a child made by fork starts with the cache cleared.
thread_local unsigned long cachedThreadId = 0;

void ForgetThreadIdAfterFork() { cachedThreadId = 0; }

}  // namespace

unsigned long CurrentThreadId() {
  if (cachedThreadId == 0) {
    static const int registered = ::pthread_atfork(nullptr, nullptr, &ForgetThreadIdAfterFork);
    (void)registered;
    cachedThreadId = static_cast<unsigned long>(::syscall(SYS_gettid));
  }
  return cachedThreadId;
}

std::string SelfPath() {
  char buffer[4096];
  ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
  if (n <= 0) return std::string();
  return std::string(buffer, static_cast<size_t>(n));
}

void* SpawnProcess(const std::string& program, const std::vector<std::string>& args) {
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(program.c_str()));
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  pid_t pid = 0;
  if (::posix_spawn(&pid, program.c_str(), nullptr, nullptr, argv.data(), environ) != 0)
    return nullptr;
  return new Child{pid, false, 0};
}

bool WaitProcess(void* process, long timeoutMs, int* exitCode) {
  auto* child = static_cast<Child*>(process);
  if (child == nullptr) return false;
  timespec start{};
  ::clock_gettime(CLOCK_MONOTONIC, &start);
  while (!child->reaped) {
    int status = 0;
    pid_t r = ::waitpid(child->pid, &status, timeoutMs < 0 ? 0 : WNOHANG);
    if (r == child->pid) {
      child->reaped = true;
      child->status = DecodeStatus(status);
      break;
    }
    if (r < 0 && errno != EINTR) return false;
    if (timeoutMs >= 0) {
      timespec now{};
      ::clock_gettime(CLOCK_MONOTONIC, &now);
      long elapsed = (now.tv_sec - start.tv_sec) * 1000L + (now.tv_nsec - start.tv_nsec) / 1000000L;
      if (elapsed >= timeoutMs) return false;
      timespec pause{0, 2 * 1000000L};
      ::nanosleep(&pause, nullptr);
    }
  }
  if (exitCode != nullptr) *exitCode = child->status;
  return true;
}

void KillProcess(void* process) {
  auto* child = static_cast<Child*>(process);
  if (child != nullptr && !child->reaped) ::kill(child->pid, SIGKILL);
}

// A child that was never waited for is reaped here if it has ended, so that
// tests leave no zombies behind; a running one is left to run.
void CloseProcess(void* process) {
  auto* child = static_cast<Child*>(process);
  if (child == nullptr) return;
  if (!child->reaped) {
    int status = 0;
    ::waitpid(child->pid, &status, WNOHANG);
  }
  delete child;
}

}  // namespace orn2::port
