// Module log files: time-stamped lines of one module, with error and warning
// prefixes, blank separator lines and hex dumps, appended to a text file that
// any number of Log objects in any number of processes may share.
#ifndef LIBORN2_LOG_H
#define LIBORN2_LOG_H

#include <liborn2/export.h>

#include <cstddef>

// One module's writer of one log file. Every line is appended by opening,
// writing and closing the file while the file's named mutex is held, so the
// lines of all writers of one file never interleave. Threads may share one
// object for LogLine, LogBlank and Dump; EnableLog, SetModule and assignment are
// called while no other thread uses it.
class ORN2_API Log {
 public:
  static constexpr int kFileNameSize = 256;  // at most 255 characters
  static constexpr int kModuleSize = 9;      // at most 8 characters
  static constexpr int kMessageMax = 2048;   // longer messages are cut and marked
  static constexpr int kPrefixSize = 100;    // RightNow needs 54 of them
  static constexpr int kDumpSize = 8704;     // the whole text of one Dump

  explicit Log(const char* module = "UNKNOWN", int echo = 0);
  ~Log();

  // Two logs share one mutex after assignment; a copy construction would make
  // a second owner of it, so there is none.
  Log(const Log&) = delete;
  void operator=(const Log& other);

  // Always 0; the name is cut to 8 characters.
  int SetModule(const char* module);
  // 0; -100 for a bad file name or a file that cannot be created; -101 for a
  // level outside 0 to 5. Creates a missing file with its header.
  int EnableLog(const char* file, int level);
  // Writes "[yyyy/mm/dd hh:mm.ss][  module] [ThreadId:nnnn]" into buffer, which
  // holds at least 54 characters.
  char* RightNow(char* buffer);
  // The formatted message's length, -1 for a message cut to 2048 characters,
  // 0 for a level above the log's level.
  int LogLine(int level, const char* format, ...);
  // 0, or -1 when a missing file cannot be created (logging then stops).
  int LogBlank();
  // Writes a hex dump of the bytes at level 4.
  void Dump(char* data, int length, const char* title);
  // Accepted and ignored.
  void SysLog(int level, char* message);

 private:
  struct SharedMutex;

  void ReplaceMutex(SharedMutex* replacement);
  size_t FormatPrefix(char* out) const;

  char fileName_[kFileNameSize];
  int level_;
  int enabled_;
  int echo_;
  SharedMutex* mutex_;
  char module_[kModuleSize];
  int processId_;
};

#endif  // LIBORN2_LOG_H
