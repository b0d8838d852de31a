#include "log/append_report.h"

#include <liborn2/log.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace orn2::log {

bool StartsFailing(int* flag, bool failed) {
  if (!failed) {
    *flag = 0;
    return false;
  }
  if (*flag != 0) return false;
  *flag = 1;
  return true;
}

// The reason is looked up only for a line that was lost: strerror's lookup
// of the message catalogue would cost every written line a lock.
void NoteWritten(WriteOutcome outcome, const LossRecord& record) {
  if (outcome != WriteOutcome::kWritten)
    __atomic_fetch_add(record.lostLines, 1ul, __ATOMIC_RELAXED);
  if (!StartsFailing(record.losing, outcome != WriteOutcome::kWritten)) return;
  std::fprintf(stderr, "LogLine() Error: Cannot append to [%s] (%s), losing lines\n",
               record.fileName,
               outcome == WriteOutcome::kNotRegular ? "not a regular file" : std::strerror(errno));
}

// After a lost line, this writer's own short write may not have been cut off
// again; AppendWhole checks the file before the next line goes on.
void AppendReported(const char* text, size_t length, const Rotation& rotation,
                    const LossRecord& record) {
  RotateOutcome rotated = RotateOutcome::kNotDue;
  WriteOutcome outcome = AppendWhole(record.fileName, text, length, &rotation, &rotated);
  // Only a line for which a rotation was due says anything about rotations.
  if (rotated != RotateOutcome::kNotDue &&
      StartsFailing(record.rotationFailing, rotated == RotateOutcome::kFailed)) {
    std::fprintf(stderr, "LogLine() Warning: Cannot rotate [%s] (%s), appending to it meanwhile\n",
                 record.fileName, std::strerror(errno));
  }
  NoteWritten(outcome, record);
}

}  // namespace orn2::log

unsigned long Log::LostLines() const { return __atomic_load_n(&lostLines_, __ATOMIC_RELAXED); }
