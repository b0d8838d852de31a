// Child processes on Windows: CreateProcess with a quoted command line. A
// ProcessHandle is the process's HANDLE itself; it is never dereferenced.
#include "support/process.h"

#include "port/win32/windows_system.h"

namespace orn2::testing {
namespace {

HANDLE SystemHandle(ProcessHandle* process) { return process; }

// Quotes one argument so that the child's command-line parser gives it back
// unchanged (backslashes before a quote are doubled).
void AppendQuoted(std::string& line, const std::string& arg) {
  if (!arg.empty() && arg.find_first_of(" \t\"") == std::string::npos) {
    line += arg;
    return;
  }
  line += '"';
  size_t backslashes = 0;
  for (char c : arg) {
    if (c == '\\') {
      ++backslashes;
      continue;
    }
    if (c == '"')
      line.append(backslashes * 2 + 1, '\\');
    else
      line.append(backslashes, '\\');
    backslashes = 0;
    line += c;
  }
  line.append(backslashes * 2, '\\');
  line += '"';
}

}  // namespace

std::string SelfPath() {
  char buffer[MAX_PATH * 4];
  DWORD n = ::GetModuleFileNameA(nullptr, buffer, sizeof buffer);
  return std::string(buffer, n);
}

ProcessHandle* SpawnProcess(const std::string& program, const std::vector<std::string>& args) {
  std::string line;
  AppendQuoted(line, program);
  for (const std::string& a : args) {
    line += ' ';
    AppendQuoted(line, a);
  }
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  if (!::CreateProcessA(program.c_str(), &line[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                        &startup, &info))
    return nullptr;
  ::CloseHandle(info.hThread);
  return static_cast<ProcessHandle*>(info.hProcess);
}

bool WaitProcess(ProcessHandle* process, long timeoutMs, int* exitCode) {
  if (process == nullptr) return false;
  DWORD wait = ::WaitForSingleObject(SystemHandle(process),
                                     timeoutMs < 0 ? INFINITE : static_cast<DWORD>(timeoutMs));
  if (wait != WAIT_OBJECT_0) return false;
  DWORD code = 0;
  ::GetExitCodeProcess(SystemHandle(process), &code);
  if (exitCode != nullptr) *exitCode = static_cast<int>(code);
  return true;
}

void KillProcess(ProcessHandle* process) {
  if (process != nullptr) ::TerminateProcess(SystemHandle(process), 128 + 9);
}

void CloseProcess(ProcessHandle* process) {
  if (process != nullptr) ::CloseHandle(SystemHandle(process));
}

}  // namespace orn2::testing
