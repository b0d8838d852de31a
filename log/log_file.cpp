#include "log/log_file.h"

#include <cerrno>

#include "port/fs.h"
#include "port/sync.h"

namespace orn2::log {
namespace {

// Longer than any text one LogLine appends (a 100-character prefix, the
// truncation marker, a level prefix, 2048 characters of message and a line
// end, each line end possibly two bytes): a cut line of a Log lies within it.
constexpr size_t kLongestLine = 8192;

using orn2::port::FileAccess;
using orn2::port::FileHandle;
using orn2::port::OpenOutcome;

}  // namespace

FileState ProbeFile(const char* path) {
  FileHandle file{};
  switch (orn2::port::OpenRegularFile(path, FileAccess::kRead, &file, nullptr)) {
    case OpenOutcome::kOpened:
      orn2::port::CloseFile(file);
      return FileState::kReadable;
    case OpenOutcome::kNotRegular:
      return FileState::kNotRegular;
    case OpenOutcome::kFailed:
      break;
  }
  return FileState::kUnreadable;
}

WriteOutcome CreateWithText(const char* path, const char* text, size_t length) {
  FileHandle file{};
  OpenOutcome opened = orn2::port::OpenRegularFile(path, FileAccess::kCreate, &file, nullptr);
  if (opened == OpenOutcome::kNotRegular) return WriteOutcome::kNotRegular;
  if (opened != OpenOutcome::kOpened) return WriteOutcome::kFailed;
  bool written = orn2::port::AppendText(file, text, length);
  orn2::port::CloseFile(file);
  return written ? WriteOutcome::kWritten : WriteOutcome::kFailed;
}

WriteOutcome AppendWhole(const char* path, const char* text, size_t length, bool repairFirst) {
  if (repairFirst) RepairCutLine(path);
  FileHandle file{};
  OpenOutcome opened = orn2::port::OpenRegularFile(path, FileAccess::kAppend, &file, nullptr);
  if (opened == OpenOutcome::kNotRegular) return WriteOutcome::kNotRegular;
  if (opened != OpenOutcome::kOpened) return WriteOutcome::kFailed;
  bool written = orn2::port::AppendText(file, text, length);
  int reason = errno;  // the caller reports why the line was lost
  bool regular = written || orn2::port::IsRegularFile(file);
  orn2::port::CloseFile(file);
  errno = reason;
  return written   ? WriteOutcome::kWritten
         : regular ? WriteOutcome::kFailed
                   : WriteOutcome::kNotRegular;
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
