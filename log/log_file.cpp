#include "log/log_file.h"

#include <cerrno>
#include <string>

#include "log/repair.h"
#include "port/fs.h"
#include "port/sync.h"

namespace orn2::log {
namespace {

// A log's file name (255 characters at most), a full stop and a number.
constexpr int kFileNameLimit = 256 + 8;

using orn2::port::FileAccess;
using orn2::port::FileHandle;
using orn2::port::OpenOutcome;

// The header's size in the file, line ends as the platform writes them: a
// file no larger holds no line to rotate away.
size_t HeaderSize() {
  static const size_t size = orn2::port::AppendedSize(kFileHeader, kFileHeaderLength);
  return size;
}

// A writer that waited for the writers' lock reopens the file this often at
// most when it finds the path renamed meanwhile; each time needs another
// rotation by another writer, so this is not reached in practice.
constexpr int kMaxReopens = 100;

// Puts `text` (a header) into a file this writer has just created, and closes
// it. A writer of another user (whose named mutex is not this one) may open
// the file as soon as it exists and, finding it empty, start it itself with
// the header and its line. So the text goes in under the file's own lock, and
// only into a file still empty: whoever locks it first starts it. False
// (errno set) when the text found no room or could not be written.
bool StartFile(FileHandle file, const char* text, size_t length) {
  if (g_newFileCreated != nullptr) g_newFileCreated();
  bool waited = false;
  orn2::port::LockWriters(file, &waited);
  int64_t end = -1;
  bool started = orn2::port::EndOf(file, &end) &&
                 (end != 0 ||
                  (orn2::port::RoomUnderSizeLimit(0, orn2::port::AppendedSize(text, length)) &&
                   orn2::port::AppendText(file, text, length)));
  int reason = errno;
  orn2::port::CloseFile(file);
  errno = reason;
  return started;
}

// Starts the file that a rotation left missing: created exclusively with the
// protection of the file it rotated away (FILE.1), and with the header. Called
// while the rotated file's lock is still held. Should it fail, the next line
// creates the file as any missing one.
void StartAfterRotation(const char* path) {
  char rotated[kFileNameLimit];
  FileHandle file{};
  if (RotatedName(path, 1, rotated, sizeof rotated) &&
      orn2::port::CreateExclusive(path, rotated, false, &file) == OpenOutcome::kOpened) {
    StartFile(file, kFileHeader, kFileHeaderLength);
  }
}

// Opens the file for the next line (see OpenForAppend), creating it when it
// is missing. A missing file is created exclusively, protected like its
// rotated predecessor FILE.1 where there is one: a writer of another user
// finds FILE missing for a moment while a rotation has renamed it and not yet
// started the new one, and the new file must not take that writer's umask
// and owner (a log its group may only append to would become readable).
OpenOutcome OpenOrCreate(const char* path, FileHandle* file, int64_t* end) {
  OpenOutcome opened = orn2::port::OpenForAppend(path, file, end);
  if (opened != OpenOutcome::kFailed || errno != ENOENT) return opened;
  char rotated[kFileNameLimit];
  const bool named = RotatedName(path, 1, rotated, sizeof rotated);
  FileHandle created{};  // protected as the umask says where there is no FILE.1
  if (orn2::port::CreateExclusive(path, named ? rotated : nullptr, false, &created) ==
      OpenOutcome::kOpened) {
    orn2::port::CloseFile(created);
  } else if (errno != EEXIST) {
    return OpenOutcome::kFailed;  // EEXIST: another writer created it meanwhile
  }
  return orn2::port::OpenForAppend(path, file, end);
}

}  // namespace

void (*g_newFileCreated)() = nullptr;

// A file that its writers may append to but not read (a drop box, mode 0622)
// is there all the same: it is appended to, never created anew.
FileState ProbeFile(const char* path) {
  for (FileAccess access : {FileAccess::kRead, FileAccess::kExtend}) {
    FileHandle file{};
    switch (orn2::port::OpenRegularFile(path, access, &file, nullptr)) {
      case OpenOutcome::kOpened:
        orn2::port::CloseFile(file);
        return FileState::kReadable;
      case OpenOutcome::kNotRegular:
        return FileState::kNotRegular;
      case OpenOutcome::kFailed:
        if (errno == ENOENT) return FileState::kUnreadable;
        break;
    }
  }
  return FileState::kUnreadable;
}

void (*g_beforeFileCreated)() = nullptr;
void (*g_rotationDue)() = nullptr;

FileState FindOrCreate(const char* path, const char* text, size_t length) {
  for (int look = 0; look < 2; ++look) {
    FileState state = ProbeFile(path);
    if (state != FileState::kUnreadable) return state;
    if (g_beforeFileCreated != nullptr) g_beforeFileCreated();
    FileHandle file{};
    if (orn2::port::CreateExclusive(path, nullptr, false, &file) == OpenOutcome::kOpened)
      return StartFile(file, text, length) ? FileState::kCreated : FileState::kUnreadable;
    if (errno != EEXIST) break;  // EEXIST: made meanwhile, or there but not usable
  }
  return FileState::kUnreadable;
}

WriteOutcome AppendWhole(const char* path, const char* text, size_t length,
                         const Rotation* rotation, RotateOutcome* rotated) {
  if (rotated != nullptr) *rotated = RotateOutcome::kNotDue;
  FileHandle file{};
  int64_t end = 0;
  OpenOutcome opened = OpenOrCreate(path, &file, &end);
  if (opened == OpenOutcome::kNotRegular) return WriteOutcome::kNotRegular;
  if (opened != OpenOutcome::kOpened) return WriteOutcome::kFailed;
  RepairOpenFile(file, &end);

  std::string withHeader;  // only for a file that starts here
  int rotationReason = 0;
  if (rotation != nullptr && rotation->maxBytes > 0) {
    const int64_t headerSize = static_cast<int64_t>(HeaderSize());
    const int64_t appended = static_cast<int64_t>(orn2::port::AppendedSize(text, length));
    auto due = [&] { return end > headerSize && end + appended > rotation->maxBytes; };
    if (due() && g_rotationDue != nullptr) g_rotationDue();
    // Only the file at the name is rotated. A writer of another user may have
    // rotated it between this writer's open and its lock, which was free again
    // by then, so that the open had no cause to look: rotating that file once
    // more would move the new file away after a line or two, and beside that
    // writer's next rotation one rename could land on a file the other had
    // just moved there.
    for (int reopened = 0;
         due() && reopened < kMaxReopens && !orn2::port::PathNamesFile(path, file); ++reopened) {
      orn2::port::CloseFile(file);
      opened = OpenOrCreate(path, &file, &end);
      if (opened == OpenOutcome::kNotRegular) return WriteOutcome::kNotRegular;
      if (opened != OpenOutcome::kOpened) return WriteOutcome::kFailed;
      RepairOpenFile(file, &end);
    }
    if (due()) {
      // The lock stays held through the rotation; the new file's is taken
      // before the old one's goes, so that no writer slips in between.
      // A rotation that failed leaves the file where it is, still held.
      RotateOutcome outcome = RotateFiles(path, rotation->keep);
      rotationReason = errno;
      if (outcome == RotateOutcome::kRotated) StartAfterRotation(path);
      if (rotated != nullptr) *rotated = outcome;
      if (outcome != RotateOutcome::kFailed) {
        FileHandle old = file;
        opened = OpenOrCreate(path, &file, &end);
        orn2::port::CloseFile(old);
        if (opened == OpenOutcome::kNotRegular) return WriteOutcome::kNotRegular;
        if (opened != OpenOutcome::kOpened) return WriteOutcome::kFailed;
      }
    }
    if (end == 0) {
      withHeader.assign(kFileHeader, kFileHeaderLength);
      withHeader.append(text, length);
      text = withHeader.data();
      length = withHeader.size();
    }
  }
  // A write that finds no room under the process's file size limit would
  // end the process with a signal: the line is lost instead.
  bool written = orn2::port::RoomUnderSizeLimit(end, orn2::port::AppendedSize(text, length)) &&
                 orn2::port::AppendText(file, text, length);
  // The caller reports why the line was lost, or else why a rotation failed.
  int reason = written ? rotationReason : errno;
  bool regular = written || orn2::port::IsRegularFile(file);
  orn2::port::CloseFile(file);
  errno = reason;
  return written   ? WriteOutcome::kWritten
         : regular ? WriteOutcome::kFailed
                   : WriteOutcome::kNotRegular;
}

RotateOutcome RotateNow(const char* path, int keep, int64_t ifLarger, bool* notRegular) {
  *notRegular = false;
  FileHandle file{};
  orn2::port::FileStatus status{};
  int64_t end = 0;
  for (int reopened = 0;; ++reopened) {
    switch (orn2::port::OpenRegularFile(path, FileAccess::kRead, &file, &status)) {
      case OpenOutcome::kOpened:
        break;
      case OpenOutcome::kNotRegular:
        *notRegular = true;
        return RotateOutcome::kFailed;
      case OpenOutcome::kFailed:
        return errno == ENOENT ? RotateOutcome::kNotDue : RotateOutcome::kFailed;
    }
    end = status.size;
    bool waited = false;
    if (!orn2::port::LockWriters(file, &waited) || !waited) break;
    if (reopened >= kMaxReopens || orn2::port::PathNamesFile(path, file)) {
      orn2::port::EndOf(file, &end);
      break;
    }
    orn2::port::CloseFile(file);  // rotated meanwhile by a writer of another user
  }
  RotateOutcome outcome = end > ifLarger ? RotateFiles(path, keep) : RotateOutcome::kNotDue;
  // The new file starts with its header at once, before the rotated file's
  // lock goes; should that fail, the next line writes it.
  if (outcome == RotateOutcome::kRotated) StartAfterRotation(path);
  orn2::port::CloseFile(file);
  return outcome;
}

// Mutex hands out the address of its handle field, which holds the platform
// layer's mutex handle, untyped as the class's layout has it. The same cast as
// sync/port_handles.h makes for Mutex itself.
FileLock::FileLock(Mutex& mutex)
    : handle_(static_cast<orn2::port::MutexHandle*>(*static_cast<void**>(mutex))) {
  orn2::port::LockMutex(handle_);
}

FileLock::~FileLock() { Release(); }

void FileLock::Release() {
  if (released_) return;
  released_ = true;
  orn2::port::UnlockMutex(handle_);
}

}  // namespace orn2::log
