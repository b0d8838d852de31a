// The log file itself: how a Log finds, creates and appends to it, and the
// lock that serialises its writers and repairs what a dead writer left.
#ifndef ORN2_LOG_LOG_FILE_H
#define ORN2_LOG_LOG_FILE_H

#include <liborn2/mutex.h>

#include <cstddef>

#include "port/sync.h"

namespace orn2::log {

// What a Log finds at its file's path. Only regular files are used; the check
// opens the file without blocking and looks at what was opened.
enum class FileState {
  kReadable,    // a regular file that can be opened for reading
  kNotRegular,  // a directory, FIFO, device or socket: never written
  kUnreadable,  // missing, or cannot be opened for reading
};
FileState ProbeFile(const char* path);

enum class WriteOutcome {
  kWritten,
  kNotRegular,  // nothing was written: not a regular file
  kFailed,      // nothing was written; errno says why
};

// Creates the file, or empties an existing regular one, and writes `text`.
WriteOutcome CreateWithText(const char* path, const char* text, size_t length);

// Appends `text` whole or not at all (a short write is cut off again), the
// file being created when missing. With `repairFirst`, a last line left
// without its line end is first cut back (see RepairCutLine). The caller
// holds the file's lock.
WriteOutcome AppendWhole(const char* path, const char* text, size_t length, bool repairFirst);

// Cuts a last line that has no line end back to the end of the line before it,
// so that the next line is not glued onto it; a file whose last line end is
// farther back than any line a Log writes is ended with a line end instead.
// Nothing happens to a missing or special file.
void RepairCutLine(const char* path);

// Holds a Log's mutex for one operation, like a Guard. When the previous
// owner ended while holding it (a writer killed half-way through a line), the
// lock is taken over and the file's cut last line repaired before anything
// else is written. Used by the thread that made it.
class FileLock {
 public:
  FileLock(Mutex& mutex, const char* path);
  ~FileLock();
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;

 private:
  orn2::port::MutexHandle* handle_;
};

}  // namespace orn2::log

#endif  // ORN2_LOG_LOG_FILE_H
