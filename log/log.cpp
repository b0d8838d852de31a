// Log's operations as a caller sees them: setting the file up, formatting a
// message, and handing the line to the one append path (append_report.cpp).
// The line's prefix (line_prefix.cpp), its composition (compose_line.cpp), the
// sharing of the mutex (counted_mutex.cpp) and the file itself (log_file.cpp,
// rotation.cpp, repair.cpp) each have a file of their own.
#include <liborn2/log.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "log/append_report.h"
#include "log/compose_line.h"
#include "log/counted_mutex.h"
#include "log/dump_text.h"
#include "log/log_file.h"
#include "log/repair.h"
#include "port/process.h"
#include "port/sync.h"

namespace {

constexpr int kDumpLevel = 4;
constexpr int kMaxLevel = 5;
constexpr int kResultBadFile = -100;
constexpr int kResultBadLevel = -101;

using orn2::log::FileLock;
using orn2::log::FileState;
using orn2::log::kFileHeader;
using orn2::log::kFileHeaderLength;
using orn2::log::kLineSize;
using orn2::log::LossRecord;
using orn2::log::RotateOutcome;
using orn2::log::WriteOutcome;

// Formats "%s" of `text` into a buffer of kMessageMax + 1 characters as
// vsnprintf does, without its machinery: "%s" alone is Dump's format, and a
// common one. Returns the text's whole length, as vsnprintf would.
int CopyText(char* message, const char* text) {
  if (text == nullptr) return std::snprintf(message, Log::kMessageMax + 1, "%s", "(null)");
  size_t length = strnlen(text, Log::kMessageMax + 1);
  size_t kept = length < static_cast<size_t>(Log::kMessageMax) ? length : Log::kMessageMax;
  std::memcpy(message, text, kept);
  message[kept] = '\0';
  return static_cast<int>(length);  // beyond kMessageMax it only counts as cut
}

}  // namespace

Log::Log(const char* module, int echo)
    : level_(0),
      enabled_(0),
      echo_(echo),
      lostLines_(0),
      losing_(0),
      maxBytes_(0),
      keep_(0),
      rotationFailing_(0) {
  std::memset(fileName_, 0, sizeof fileName_);
  mutex_ = new CountedMutex();
  SetModule(module);
  processId_ = orn2::port::ProcessId();
}

int Log::SetModule(const char* module) {
  std::memset(module_, 0, sizeof module_);
  if (module != nullptr) std::memcpy(module_, module, strnlen(module, kModuleSize - 1));
  return 0;
}

int Log::EnableLog(const char* file, int level) {
  enabled_ = 0;
  if (file == nullptr || file[0] == '\0') return kResultBadFile;
  size_t length = strnlen(file, kFileNameSize);
  if (length >= static_cast<size_t>(kFileNameSize)) return kResultBadFile;
  std::memset(fileName_, 0, sizeof fileName_);
  std::memcpy(fileName_, file, length);

  // Named after the file as stored (Mutex keeps its first Mutex::kMaxName characters),
  // changed only where the system refuses that as a mutex name.
  char name[kFileNameSize];
  orn2::port::FileMutexName(fileName_, name, sizeof name);
  ReplaceMutex(nullptr);
  mutex_ = new CountedMutex(name);

  if (level != 0) {
    // Checking for the file and creating it happen under the file's lock, so
    // that a writer starting at the same moment cannot truncate the lines that
    // another one has already appended after creating the file. A directory,
    // FIFO, device or socket is refused without being waited on.
    FileLock lock(mutex_->mutex);
    FileState state = orn2::log::FindOrCreate(fileName_, kFileHeader, kFileHeaderLength);
    // No writer is half-way through a line while the lock is held, so a last
    // line without its line end was left by one that died. Its lock may not
    // tell (a mutex that no process held open any more starts afresh), so
    // the file is checked here, once per EnableLog, all the same.
    if (state == FileState::kReadable) orn2::log::RepairCutLine(fileName_);
    if (state == FileState::kNotRegular || state == FileState::kUnreadable) {
      std::fprintf(stderr, "EnableLog() Cannot access Logfile, Logging disabled");
      return kResultBadFile;
    }
  }
  // A bad level still leaves the file and its mutex set, as far as they got.
  if (level < 0 || level > kMaxLevel) return kResultBadLevel;
  level_ = level;
  if (level_ > 0) enabled_ = 1;
  return 0;
}

int Log::LogLine(int level, const char* format, ...) {
  // Verbose levels that are off cost neither the lock nor the formatting.
  if (level >= kDumpLevel && level > level_) return 0;
  FileLock lock(mutex_->mutex);

  char message[kMessageMax + 1];
  int result = 0;
  message[0] = '\0';
  if (format != nullptr) {
    va_list args;
    va_start(args, format);
    if (format[0] == '%' && format[1] == 's' && format[2] == '\0') {
      result = CopyText(message, va_arg(args, const char*));
    } else {
      result = std::vsnprintf(message, sizeof message, format, args);
    }
    va_end(args);
  }
  int written = WriteMessage(level, message, result, kMessageMax);
  lock.Release();
  EchoMessage(level, message, result, kMessageMax);
  return written;
}

// The rest of LogLine, under the lock, for a message formatted with `result`.
// The message's line ends before `bodyAt` are written as continuation lines;
// those from there on (a hex dump's body) as they are.
int Log::WriteMessage(int level, char* message, int result, size_t bodyAt) {
  char line[kLineSize];
  size_t used = ComposeLine(level, message, &result, bodyAt, line, true);
  if (used == 0) return result;
  const LossRecord losses{fileName_, &lostLines_, &losing_, &rotationFailing_};
  orn2::log::AppendReported(line, used, {maxBytes_, keep_}, losses);
  return result;
}

// The console line of a message that WriteMessage wrote (or would have
// written, had the file opened), without the level prefix. Printed once the
// file's mutex is let go, so that a writer whose standard output blocks (a
// pipe that nobody reads) holds up no other writer of the file; console lines
// of several writers may then come out in another order than their lines in
// the file.
void Log::EchoMessage(int level, char* message, int result, size_t bodyAt) {
  if (echo_ == 0) return;
  char line[kLineSize];
  size_t used = ComposeLine(level, message, &result, bodyAt, line, false);
  if (used != 0) std::fwrite(line, 1, used, stdout);
}

int Log::LogBlank() {
  FileLock lock(mutex_->mutex);
  if (level_ == 0 || enabled_ == 0) return 0;

  // A missing file is created with the short header (no empty line after it)
  // and gets no empty line; a special file gets nothing and loses the line.
  const LossRecord losses{fileName_, &lostLines_, &losing_, &rotationFailing_};
  switch (orn2::log::FindOrCreate(fileName_, kFileHeader, kFileHeaderLength - 1)) {
    case FileState::kReadable:
      orn2::log::AppendReported("\n", 1, {maxBytes_, keep_}, losses);
      break;
    case FileState::kUnreadable:
      enabled_ = 0;
      return -1;
    case FileState::kCreated:
      orn2::log::NoteWritten(WriteOutcome::kWritten, losses);
      break;
    case FileState::kNotRegular:
      orn2::log::NoteWritten(WriteOutcome::kNotRegular, losses);
      break;
  }
  lock.Release();
  if (echo_ != 0) std::fputs("\n", stderr);  // once the lock is let go, as LogLine's
  return 0;
}

int Log::SetRotation(long long maxBytes, int keep) {
  if (maxBytes < 0 || (maxBytes > 0 && (keep < 1 || keep > kMaxKeep))) return -1;
  maxBytes_ = maxBytes;
  keep_ = keep;
  return 0;
}

int Log::Rotate(int keep, long long ifLarger) {
  if (keep < 1 || keep > kMaxKeep || ifLarger < 0 || fileName_[0] == '\0') return -1;
  FileLock lock(mutex_->mutex);
  bool notRegular = false;
  switch (orn2::log::RotateNow(fileName_, keep, ifLarger, &notRegular)) {
    case RotateOutcome::kRotated:
      orn2::log::StartsFailing(&rotationFailing_, false);  // the run of failures ends
      return 0;
    case RotateOutcome::kNotDue:
      return 1;
    case RotateOutcome::kFailed:
      break;
  }
  std::fprintf(stderr, "Rotate() Error: Cannot rotate [%s] (%s)\n", fileName_,
               notRegular ? "not a regular file" : std::strerror(errno));
  return -1;
}

void Log::Dump(char* data, int length, const char* title) {
  if (enabled_ == 0) return;
  char text[kDumpSize];
  size_t titleLength = 0;
  orn2::log::BuildDumpText(reinterpret_cast<const unsigned char*>(data), length, title, text,
                           sizeof text, &titleLength);
  // As LogLine(kDumpLevel, "%s", text) writes it, verbatim (a per-cent sign in
  // the title or the data is no directive), except that only the title's own
  // line ends become continuation lines: the body keeps its layout.
  if (kDumpLevel > level_) return;
  FileLock lock(mutex_->mutex);
  char message[kMessageMax + 1];
  int result = CopyText(message, text);
  WriteMessage(kDumpLevel, message, result, titleLength);
  lock.Release();
  EchoMessage(kDumpLevel, message, result, titleLength);
}

void Log::SysLog(int level, char* message) {}
