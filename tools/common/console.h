// The console of a command-line program: a stop request from the user or the
// system (Ctrl+C, SIGTERM, closing the console window) and binary standard input.
// Used by the orn tool and the example agent, which compile the source for
// their platform (tools/common/posix/ or tools/common/win32/); the library does
// not need it.
#ifndef ORN2_TOOLS_COMMON_CONSOLE_H
#define ORN2_TOOLS_COMMON_CONSOLE_H

namespace orn2::console {

// Catches SIGINT and SIGTERM (console control events on Windows) so that they
// only raise a flag that StopRequested reports. Call once, early in main.
void CatchStopRequests();

// True once a stop request arrived after CatchStopRequests.
bool StopRequested();

// Switches standard input to binary mode, so that a byte stream arrives
// unchanged (no line end translation, no end-of-file character). Call before
// the first read.
void BinaryStandardInput();

}  // namespace orn2::console

#endif  // ORN2_TOOLS_COMMON_CONSOLE_H
