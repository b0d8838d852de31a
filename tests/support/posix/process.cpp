// Child processes on POSIX: posix_spawn, and waitpid polled against a
// monotonic clock for the timed wait.
#include "support/process.h"

#include <signal.h>
#include <spawn.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <thread>

extern char** environ;

namespace orn2::testing {

// A child is its pid, boxed so that null stays "none", with its exit status
// once it was reaped.
struct ProcessHandle {
  pid_t pid;
  bool reaped;
  int status;
};

namespace {

int DecodeStatus(int status) {
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
  return -1;
}

}  // namespace

ProcessHandle* SpawnProcess(const std::string& program, const std::vector<std::string>& args) {
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(program.c_str()));
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  pid_t pid = 0;
  if (::posix_spawn(&pid, program.c_str(), nullptr, nullptr, argv.data(), environ) != 0)
    return nullptr;
  return new ProcessHandle{pid, false, 0};
}

bool WaitProcess(ProcessHandle* child, long timeoutMs, int* exitCode) {
  if (child == nullptr) return false;
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (!child->reaped) {
    int status = 0;
    pid_t r = ::waitpid(child->pid, &status, timeoutMs < 0 ? 0 : WNOHANG);
    if (r == child->pid) {
      child->reaped = true;
      child->status = DecodeStatus(status);
    } else if (r < 0 && errno != EINTR) {
      return false;
    } else if (timeoutMs >= 0) {
      if (std::chrono::steady_clock::now() >= end) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
  }
  if (exitCode != nullptr) *exitCode = child->status;
  return true;
}

void KillProcess(ProcessHandle* child) {
  if (child != nullptr && !child->reaped) ::kill(child->pid, SIGKILL);
}

// A child that was never waited for is reaped here if it has ended, so that
// tests leave no zombies behind; a running one is left to run.
void CloseProcess(ProcessHandle* child) {
  if (child == nullptr) return;
  if (!child->reaped) {
    int status = 0;
    ::waitpid(child->pid, &status, WNOHANG);
  }
  delete child;
}

}  // namespace orn2::testing
