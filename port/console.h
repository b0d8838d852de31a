// The console of a command-line program: a stop request from the user or the
// system (Ctrl+C, SIGTERM, closing the console window) and binary standard input.
// Used by the orn tool and the example agent, which compile these sources
// themselves; the library does not call them.
#ifndef ORN2_PORT_CONSOLE_H
#define ORN2_PORT_CONSOLE_H

namespace orn2::port {

// Catches SIGINT and SIGTERM (console control events on Windows) so that they
// only raise a flag that StopRequested reports. Call once, early in main.
void CatchStopRequests();

// True once a stop request arrived after CatchStopRequests.
bool StopRequested();

// Switches standard input to binary mode, so that a byte stream arrives
// unchanged (no line end translation, no end-of-file character). Call before
// the first read.
void BinaryStandardInput();

}  // namespace orn2::port

#endif  // ORN2_PORT_CONSOLE_H
