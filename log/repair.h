// The repair of a line that a writer left cut: a writer killed half-way through
// its line leaves it without its line end, and the next line must not be glued
// onto it. The policy lives here once; the platform layer only reads, cuts and
// appends (on Windows the file's line end is "\r\n", whose last byte is the
// "\n" looked for here, so the same rule holds there).
#ifndef ORN2_LOG_REPAIR_H
#define ORN2_LOG_REPAIR_H

#include <cstdint>

#include "port/fs.h"

namespace orn2::log {

// Looks at the last byte of an open file whose size is *end, under the
// writers' lock, and when it is no line end, cuts the last line back (see
// RepairCutLine); *end follows. A file that cannot be read is left as it is.
void RepairOpenFile(orn2::port::FileHandle file, int64_t* end);

// Cuts a last line that has no line end back to the end of the line before it,
// so that the next line is not glued onto it; a file whose last line end is
// farther back than any line a Log writes is ended with a line end instead.
// Nothing happens to a missing or special file. Taken under the writers' lock.
void RepairCutLine(const char* path);

}  // namespace orn2::log

#endif  // ORN2_LOG_REPAIR_H
