// Rotation of a log file: FILE becomes FILE.1, FILE.1 becomes FILE.2 and so on
// up to FILE.keep, by whichever writer holds the file's lock when a line would
// take the file past its size limit, or when asked to.
#ifndef ORN2_LOG_ROTATION_H
#define ORN2_LOG_ROTATION_H

#include <liborn2/log.h>

#include <cstdint>

namespace orn2::log {

// A log's rotation setting: off while maxBytes is 0.
struct Rotation {
  int64_t maxBytes;
  int keep;  // rotated files kept, FILE.1 (the newest) to FILE.keep
};

enum class RotateOutcome {
  kNotDue,   // nothing was renamed: no rotation was due, or there is no FILE
  kRotated,  // FILE is now FILE.1; FILE itself is missing until written again
  kFailed,   // FILE is still FILE (some older names may have moved up); errno says why
};

// Most rotated files a log keeps, and so the longest suffix, ".999".
constexpr int kMaxKeep = Log::kMaxKeep;

// Moves every file up one name, from FILE to FILE.1 up to the first name
// that is missing, or else to FILE.keep, which is replaced: the oldest file
// is dropped. A rotation cut short by a killed writer leaves one name missing
// somewhere; the next rotation moves up only the files below it, and so
// closes the gap. A rename that fails (on Windows, a reader holding a file
// open) stops the chain, since the renames after it would replace the file
// that could not move: every file then has a name no newer than its content,
// nothing is lost or out of order, and the next attempt goes on from there.
// After a rotation, FILE.(keep+1) and the names after it are removed while
// they exist, so that of writers configured with different counts the
// smallest keeps. The caller holds the file's lock.
RotateOutcome RotateFiles(const char* path, int keep);

// Writes FILE.n into `out` of `size` characters (FILE itself for n = 0);
// false when it does not fit.
bool RotatedName(const char* path, int n, char* out, int size);

// A test seam: called with 1, 2, ... after each rename of a rotation, so that
// a test can stop a writer part-way through one. Null in use.
extern void (*g_afterRotationStep)(int step);

}  // namespace orn2::log

#endif  // ORN2_LOG_ROTATION_H
