// The one way a Log's text goes into its file: appended whole with the log's
// rotation, a lost line counted, and each run of failures (lines lost,
// rotations failing) reported once on standard error when it starts. Apart
// from formatting, so that LogLine, Dump and LogBlank share it.
#ifndef ORN2_LOG_APPEND_REPORT_H
#define ORN2_LOG_APPEND_REPORT_H

#include <cstddef>

#include "log/log_file.h"
#include "log/rotation.h"

namespace orn2::log {

// The fields in which a Log keeps its losses and failures: its own members,
// since the class's layout is published, handed here by address.
struct LossRecord {
  const char* fileName;
  unsigned long* lostLines;  // atomic access: LostLines reads it without the lock
  int* losing;               // the last line was lost
  int* rotationFailing;      // the last rotation due failed
};

// Appends `text` (AppendWhole with `rotation`) and reports how it went. The
// caller holds the Log's mutex.
void AppendReported(const char* text, size_t length, const Rotation& rotation,
                    const LossRecord& record);

// Counts a text that was not written and says so when the log starts losing
// lines; a written one ends the run. errno says why a text was not written.
void NoteWritten(WriteOutcome outcome, const LossRecord& record);

// True for the failure that starts a run of failures, the one to report;
// `*flag` remembers the run, and a success ends it.
bool StartsFailing(int* flag, bool failed);

}  // namespace orn2::log

#endif  // ORN2_LOG_APPEND_REPORT_H
