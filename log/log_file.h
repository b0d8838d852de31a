// The log file itself: how a Log finds, creates and appends to it, and the
// lock that serialises its writers and repairs what a dead writer left.
#ifndef ORN2_LOG_LOG_FILE_H
#define ORN2_LOG_LOG_FILE_H

#include <liborn2/log_format.h>
#include <liborn2/mutex.h>

#include <cstddef>
#include <cstdint>

#include "log/rotation.h"
#include "port/sync.h"

namespace orn2::log {

// The header of a new file: the title line, the version line and an empty
// line (LogBlank writes it without its last line end), joined at compile time
// from the texts that <liborn2/log_format.h> defines for writer and readers.
struct HeaderText {
  // Each part's terminator makes room for its line end; two more for the
  // empty line and the terminator.
  char text[sizeof LogFormat::kHeaderTitle + sizeof LogFormat::kHeaderVersion + 2];
};
constexpr HeaderText JoinHeader() {
  HeaderText header{};
  size_t at = 0;
  for (const char* part : {LogFormat::kHeaderTitle, "\n", LogFormat::kHeaderVersion, "\n\n"}) {
    for (size_t i = 0; part[i] != '\0'; ++i) header.text[at++] = part[i];
  }
  return header;
}
inline constexpr HeaderText kHeader = JoinHeader();
inline constexpr const char* kFileHeader = kHeader.text;
inline constexpr size_t kFileHeaderLength = sizeof kHeader.text - 1;
static_assert(kHeader.text[kFileHeaderLength - 1] == '\n', "the header is joined whole");

// What a Log finds at its file's path. Only regular files are used; the check
// opens the file without blocking and looks at what was opened.
enum class FileState {
  kReadable,    // a regular file that can be opened for reading or appending
  kNotRegular,  // a directory, FIFO, device or socket: never written
  kUnreadable,  // missing, or can be opened neither for reading nor appending
  kCreated,     // missing, and created here (FindOrCreate)
};
FileState ProbeFile(const char* path);

enum class WriteOutcome {
  kWritten,
  kNotRegular,  // nothing was written: not a regular file
  kFailed,      // nothing was written; errno says why
};

// Probes the file (ProbeFile) and creates a missing one exclusively with
// `text` (kCreated); what is at the path is never emptied. A writer of another
// user, whose named mutex is not this one, may make the file between the look
// and the creation (or a rotation start it anew): that file is looked at once
// more and used. kUnreadable (errno set) when the file can be neither used
// nor made.
FileState FindOrCreate(const char* path, const char* text, size_t length);

// A test seam: called just before FindOrCreate creates a file it found
// missing, so that a test can make it there first. Null in use.
extern void (*g_beforeFileCreated)();

// Appends `text` whole or not at all (a short write is cut off again), the
// file being created when missing. The text goes on under the lock of the
// file's writers (port's LockWriters), which every process that appends to
// the file takes, whatever its user; under it a last line left without its
// line end (a writer died half-way) is first cut back, however long ago and
// whoever held which lock since. A text that finds no room under the
// process's file size limit is lost (errno EFBIG), never a signal. The caller
// holds the Log's mutex.
//
// With a rotation (not null, maxBytes above 0): when the text would take the
// file past maxBytes and the file holds more than a header, the file is
// rotated first (RotateFiles) and *rotated says how that went; a rotation
// that fails leaves the text appended to the file as it is. A file found
// empty (new, rotated, or missing after a writer was killed part-way through
// a rotation) gets the header first, in the same write.
WriteOutcome AppendWhole(const char* path, const char* text, size_t length,
                         const Rotation* rotation = nullptr, RotateOutcome* rotated = nullptr);

// A test seam: called when a line finds its file due for rotation, before the
// writer makes sure that the file it holds is still the one at the name, so
// that a test can rotate it away first. Null in use.
extern void (*g_rotationDue)();

// Rotates the file now, if it is larger than `ifLarger` bytes, and starts the
// new one with the header. kNotDue when there is no file or it is not larger;
// kFailed (errno set, or *notRegular for a special file, which is left as it
// is). The caller holds the Log's mutex; the rotation happens under the
// writers' lock of the file.
RotateOutcome RotateNow(const char* path, int keep, int64_t ifLarger, bool* notRegular);

// A test seam: called when a writer has created a new file (after a rotation,
// or a missing one in EnableLog and LogBlank), before its header goes in, so
// that a test can let another writer in there. Null in use.
extern void (*g_newFileCreated)();

// Holds a Log's mutex for one operation, like a Guard: it keeps the writers
// of this user, and a program holding Mutex(<file name>), apart. The repair of
// a cut line does not depend on seeing it abandoned: AppendWhole repairs
// whatever it finds. Used by the thread that made it.
class FileLock {
 public:
  explicit FileLock(Mutex& mutex);
  ~FileLock();
  // Lets go before the scope ends (the destructor then does nothing).
  void Release();
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;

 private:
  orn2::port::MutexHandle* handle_;
  bool released_ = false;
};

}  // namespace orn2::log

#endif  // ORN2_LOG_LOG_FILE_H
