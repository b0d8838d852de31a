#include "port/process.h"

#include "port/win32/windows_system.h"

namespace orn2::port {
namespace {

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
    if (c == '"') line.append(backslashes * 2 + 1, '\\');
    else line.append(backslashes, '\\');
    backslashes = 0;
    line += c;
  }
  line.append(backslashes * 2, '\\');
  line += '"';
}

}  // namespace

int ProcessId() { return static_cast<int>(::GetCurrentProcessId()); }

unsigned long CurrentThreadId() { return ::GetCurrentThreadId(); }

std::string SelfPath() {
  char buffer[MAX_PATH * 4];
  DWORD n = ::GetModuleFileNameA(nullptr, buffer, sizeof buffer);
  return std::string(buffer, n);
}

void* SpawnProcess(const std::string& program, const std::vector<std::string>& args) {
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
  return info.hProcess;
}

bool WaitProcess(void* process, long timeoutMs, int* exitCode) {
  if (process == nullptr) return false;
  DWORD wait = ::WaitForSingleObject(process, timeoutMs < 0 ? INFINITE : static_cast<DWORD>(timeoutMs));
  if (wait != WAIT_OBJECT_0) return false;
  DWORD code = 0;
  ::GetExitCodeProcess(process, &code);
  if (exitCode != nullptr) *exitCode = static_cast<int>(code);
  return true;
}

void KillProcess(void* process) {
  if (process != nullptr) ::TerminateProcess(process, 128 + 9);
}

void CloseProcess(void* process) {
  if (process != nullptr) ::CloseHandle(process);
}

}  // namespace orn2::port
