#include "log/log_file.h"

#include <cerrno>
#include <string>

#include "port/fs.h"
#include "port/sync.h"

namespace orn2::log {
namespace {

// Longer than any text one LogLine appends (a 100-character prefix, the
// truncation marker, a level prefix, 2048 characters of message and a line
// end, each line end possibly two bytes): a cut line of a Log lies within it.
constexpr size_t kLongestLine = 8192;

// A log's file name (255 characters at most), a full stop and a number.
constexpr int kFileNameLimit = 256 + 8;

using orn2::port::FileAccess;
using orn2::port::FileHandle;
using orn2::port::OpenOutcome;

// The header's size in the file, line ends as the platform writes them: a
// file no larger holds no line to rotate away.
size_t HeaderSize() {
  static const size_t size = orn2::port::AppendedSize(kFileHeader, sizeof kFileHeader - 1);
  return size;
}

// Starts the file that a rotation left missing: created exclusively with the
// protection of the file it rotated away (FILE.1), and with the header. Should
// that fail, the next line creates the file as any missing one.
void StartAfterRotation(const char* path) {
  char rotated[kFileNameLimit];
  FileHandle file{};
  if (!RotatedName(path, 1, rotated, sizeof rotated) ||
      orn2::port::CreateExclusive(path, rotated, false, &file) != OpenOutcome::kOpened) {
    return;
  }
  orn2::port::AppendText(file, kFileHeader, sizeof kFileHeader - 1);
  orn2::port::CloseFile(file);
}

}  // namespace

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

WriteOutcome CreateWithText(const char* path, const char* text, size_t length) {
  FileHandle file{};
  if (orn2::port::CreateExclusive(path, nullptr, false, &file) != OpenOutcome::kOpened) {
    return WriteOutcome::kFailed;
  }
  bool written = orn2::port::AppendText(file, text, length);
  orn2::port::CloseFile(file);
  return written ? WriteOutcome::kWritten : WriteOutcome::kFailed;
}

WriteOutcome AppendWhole(const char* path, const char* text, size_t length, bool repairFirst,
                         const Rotation* rotation, RotateOutcome* rotated) {
  if (repairFirst) RepairCutLine(path);
  if (rotated != nullptr) *rotated = RotateOutcome::kNotDue;
  FileHandle file{};
  int64_t end = 0;
  OpenOutcome opened = orn2::port::OpenForAppend(path, &file, &end);
  if (opened == OpenOutcome::kNotRegular) return WriteOutcome::kNotRegular;
  if (opened != OpenOutcome::kOpened) return WriteOutcome::kFailed;

  std::string withHeader;  // only for a file that starts here
  int rotationReason = 0;
  if (rotation != nullptr && rotation->maxBytes > 0) {
    const int64_t headerSize = static_cast<int64_t>(HeaderSize());
    if (end > headerSize &&
        end + static_cast<int64_t>(orn2::port::AppendedSize(text, length)) > rotation->maxBytes) {
      orn2::port::CloseFile(file);
      RotateOutcome outcome = RotateFiles(path, rotation->keep);
      rotationReason = errno;
      if (outcome == RotateOutcome::kRotated) StartAfterRotation(path);
      if (rotated != nullptr) *rotated = outcome;
      opened = orn2::port::OpenForAppend(path, &file, &end);
      if (opened == OpenOutcome::kNotRegular) return WriteOutcome::kNotRegular;
      if (opened != OpenOutcome::kOpened) return WriteOutcome::kFailed;
    }
    if (end == 0) {
      withHeader.assign(kFileHeader, sizeof kFileHeader - 1);
      withHeader.append(text, length);
      text = withHeader.data();
      length = withHeader.size();
    }
  }
  bool written = orn2::port::AppendText(file, text, length);
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
  switch (orn2::port::OpenRegularFile(path, FileAccess::kRead, &file, &status)) {
    case OpenOutcome::kOpened:
      orn2::port::CloseFile(file);
      break;
    case OpenOutcome::kNotRegular:
      *notRegular = true;
      return RotateOutcome::kFailed;
    case OpenOutcome::kFailed:
      return errno == ENOENT ? RotateOutcome::kNotDue : RotateOutcome::kFailed;
  }
  if (status.size <= ifLarger) return RotateOutcome::kNotDue;
  RotateOutcome outcome = RotateFiles(path, keep);
  // The new file starts with its header at once; should that fail, the next
  // line writes it.
  if (outcome == RotateOutcome::kRotated) StartAfterRotation(path);
  return outcome;
}

void RepairCutLine(const char* path) {
  FileHandle file{};
  if (orn2::port::OpenRegularFile(path, FileAccess::kUpdate, &file, nullptr) !=
      OpenOutcome::kOpened) {
    return;
  }
  orn2::port::CutUnfinishedLine(file, kLongestLine);
  orn2::port::CloseFile(file);
}

// Mutex hands out the address of its handle for a caller's own wait; taking
// the lock through the platform layer tells an abandoned lock apart. The field
// holds the platform's mutex handle, untyped as the class's layout has it.
FileLock::FileLock(Mutex& mutex, const char* path)
    : handle_(static_cast<orn2::port::MutexHandle*>(*static_cast<void**>(mutex))) {
  if (orn2::port::LockMutex(handle_) == orn2::port::LockResult::kAbandoned) RepairCutLine(path);
}

FileLock::~FileLock() { orn2::port::UnlockMutex(handle_); }

}  // namespace orn2::log
