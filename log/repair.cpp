#include "log/repair.h"

#include <cstddef>
#include <string>

namespace orn2::log {
namespace {

using orn2::port::FileHandle;

// Longer than any text one LogLine appends (a 100-character prefix, the
// truncation marker, a level prefix, 2048 characters of message and a line
// end, each line end possibly two bytes): a cut line of a Log lies within it.
constexpr size_t kLongestLine = 8192;

// Cuts the file of `size` bytes back to the end of its last line end within
// its last kLongestLine bytes; a file with none there holds no cut line of a
// Log's, so its last line is ended instead. False when the file could not be
// read or changed.
bool CutUnfinishedLine(FileHandle file, int64_t size) {
  if (size <= 0) return true;
  size_t count =
      size < static_cast<int64_t>(kLongestLine) ? static_cast<size_t>(size) : kLongestLine;
  std::string tail(count, '\0');
  int64_t start = size - static_cast<int64_t>(count);
  if (!orn2::port::ReadAt(file, start, &tail[0], count)) return false;
  if (tail.back() == '\n') return true;
  size_t lastEnd = tail.find_last_of('\n');
  if (lastEnd == std::string::npos) {
    return orn2::port::RoomUnderSizeLimit(size, orn2::port::AppendedSize("\n", 1)) &&
           orn2::port::AppendText(file, "\n", 1);
  }
  return orn2::port::TruncateTo(file, start + static_cast<int64_t>(lastEnd) + 1);
}

}  // namespace

// The file records a cut line itself: every whole line ends with a line end,
// so whoever has held any lock since does not matter.
void RepairOpenFile(FileHandle file, int64_t* end) {
  char last = 0;
  if (*end <= 0 || !orn2::port::ReadAt(file, *end - 1, &last, 1) || last == '\n') return;
  CutUnfinishedLine(file, *end);
  orn2::port::EndOf(file, end);
}

void RepairCutLine(const char* path) {
  FileHandle file{};
  if (orn2::port::OpenRegularFile(path, orn2::port::FileAccess::kUpdate, &file, nullptr) !=
      orn2::port::OpenOutcome::kOpened) {
    return;
  }
  bool waited = false;
  orn2::port::LockWriters(file, &waited);
  int64_t end = 0;
  if (orn2::port::EndOf(file, &end)) CutUnfinishedLine(file, end);
  orn2::port::CloseFile(file);
}

}  // namespace orn2::log
