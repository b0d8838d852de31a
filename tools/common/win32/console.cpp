#include "common/console.h"

#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <atomic>
#include <cstdio>

namespace orn2::console {
namespace {

// Written by the console control handler (which the system runs on a thread of
// its own), read by the program's threads.
std::atomic<int> stopRequested{0};

BOOL WINAPI OnConsoleControl(DWORD event) {
  switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
    case CTRL_CLOSE_EVENT:
    case CTRL_SHUTDOWN_EVENT:
      stopRequested.store(1);
      return TRUE;
    default:
      return FALSE;
  }
}

}  // namespace

void CatchStopRequests() { SetConsoleCtrlHandler(OnConsoleControl, TRUE); }

bool StopRequested() { return stopRequested.load() != 0; }

void BinaryStandardInput() { _setmode(_fileno(stdin), _O_BINARY); }

}  // namespace orn2::console
