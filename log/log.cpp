#include <liborn2/log.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "log/counted_mutex.h"
#include "log/dump_text.h"
#include "log/log_file.h"
#include "port/clock.h"
#include "port/process.h"
#include "port/sync.h"

namespace {

constexpr const char* kHeader = orn2::log::kFileHeader;
constexpr size_t kHeaderLength = sizeof orn2::log::kFileHeader - 1;
// Ends in a line end, written like every line end inside an entry: the file's
// line end and a continuation code (see AppendEncoded).
constexpr char kTruncationMarker[] = "*** Logline Error: Excessive Line truncated ***\n\t|";
constexpr char kErrorPrefix[] = "**ERROR** ";
constexpr char kWarningPrefix[] = "*WARNING* ";
// A line as LogLine puts it together: each character of the prefix and the
// message may take three bytes once line ends inside them are encoded.
constexpr size_t kLineSize =
    3 * (Log::kPrefixSize + Log::kMessageMax) + sizeof kTruncationMarker + sizeof kErrorPrefix + 2;
constexpr size_t kRightNowSize = 54;
constexpr int kStampSize = 160;  // room for any field values
constexpr int kDumpLevel = 4;
constexpr int kMaxLevel = 5;
constexpr int kResultBadFile = -100;
constexpr int kResultBadLevel = -101;

using orn2::log::FileLock;
using orn2::log::FileState;
using orn2::log::RotateOutcome;
using orn2::log::WriteOutcome;

// Writes a value from 0 to 99 as two digits.
char* PutTwoDigits(char* out, int value) {
  out[0] = static_cast<char>('0' + value / 10);
  out[1] = static_cast<char>('0' + value % 10);
  return out + 2;
}

// Writes value in decimal, zero-padded to at least `width` digits.
char* PutDecimal(char* out, unsigned long value, int width) {
  char digits[24];
  int count = 0;
  do {
    digits[count++] = static_cast<char>('0' + value % 10);
    value /= 10;
  } while (value != 0);
  for (int i = count; i < width; ++i) *out++ = '0';
  while (count > 0) *out++ = digits[--count];
  return out;
}

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

// Called under the lock after every line for which a rotation was due: says
// so on standard error when rotations start failing, not for every line.
void NoteRotation(RotateOutcome outcome, const char* fileName, int& failing) {
  if (outcome == RotateOutcome::kRotated) failing = 0;
  if (outcome != RotateOutcome::kFailed || failing != 0) return;
  failing = 1;
  std::fprintf(stderr, "LogLine() Warning: Cannot rotate [%s] (%s), appending to it meanwhile\n",
               fileName, std::strerror(errno));
}

size_t Append(char* out, size_t used, const char* text) {
  size_t length = std::strlen(text);
  std::memcpy(out + used, text, length);
  return used + length;
}

// Appends `length` characters of `text`, writing each line end in it as a line
// end of the file followed by a tab and a code naming what the caller wrote:
// '|' for "\n", '<' for a "\r" alone, '=' for "\r\n". So no text can start a
// line of the file: every line inside an entry begins with a tab, and a
// reader decodes the exact text. `out` has room for 3 * `length` characters.
size_t AppendEncoded(char* out, size_t used, const char* text, size_t length) {
  for (size_t i = 0; i < length; ++i) {
    char c = text[i];
    if (c != '\n' && c != '\r') {
      out[used++] = c;
      continue;
    }
    char code = c == '\n' ? '|' : '<';
    if (c == '\r' && i + 1 < length && text[i + 1] == '\n') {
      code = '=';
      ++i;
    }
    out[used++] = '\n';
    out[used++] = '\t';
    out[used++] = code;
  }
  return used;
}

bool HoldsLineEnd(const char* text) { return text[std::strcspn(text, "\r\n")] != '\0'; }

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

Log::~Log() { ReplaceMutex(nullptr); }

// Lets go of the current mutex, destroying it when no other log holds it, and
// holds `replacement` instead.
void Log::ReplaceMutex(CountedMutex* replacement) {
  CountedMutex* previous = mutex_;
  mutex_ = replacement;
  if (previous != nullptr && previous->holders.fetch_sub(1, std::memory_order_acq_rel) == 1)
    delete previous;
}

void Log::operator=(const Log& other) {
  if (this == &other) return;
  std::memcpy(fileName_, other.fileName_, sizeof fileName_);
  level_ = other.level_;
  enabled_ = other.enabled_;
  if (mutex_ != other.mutex_) {
    other.mutex_->holders.fetch_add(1, std::memory_order_relaxed);
    ReplaceMutex(other.mutex_);
  }
  // The echo flag and the count of lost lines stay the target's own; the
  // rotation setting goes with the file.
  std::memcpy(module_, other.module_, kModuleSize - 1);
  processId_ = other.processId_;
  maxBytes_ = other.maxBytes_;
  keep_ = other.keep_;
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
    FileState state = orn2::log::ProbeFile(fileName_);
    // No writer is half-way through a line while the lock is held, so a last
    // line without its line end was left by one that died. Its lock may not
    // tell (a mutex that no process held open any more starts afresh), so
    // the file is checked here, once per EnableLog, all the same.
    if (state == FileState::kReadable) orn2::log::RepairCutLine(fileName_);
    if (state == FileState::kNotRegular ||
        (state == FileState::kUnreadable &&
         orn2::log::CreateWithText(fileName_, kHeader, kHeaderLength) != WriteOutcome::kWritten)) {
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

char* Log::RightNow(char* buffer) {
  if (buffer == nullptr) return buffer;
  size_t length = FormatPrefix(buffer);
  buffer[length] = '\0';
  return buffer;
}

// The RightNow text, unterminated, into out (kRightNowSize - 1 characters at
// most); returns its length. Every line pays for it, so the usual field
// values are put together by hand, exactly as the printf format
// "[%04d/%02d/%02d %02d:%02d.%02d][%8s] [ThreadId:%04lu]" would give them.
size_t Log::FormatPrefix(char* out) const {
  std::tm now{};
  orn2::port::LocalTime(orn2::port::NowSeconds(), &now);
  unsigned long thread = orn2::port::CurrentThreadId();
  int year = now.tm_year + 1900;
  bool usual = year >= 0 && year <= 9999 && now.tm_mon >= 0 && now.tm_mon <= 98 &&
               now.tm_mday >= 0 && now.tm_mday <= 99 && now.tm_hour >= 0 && now.tm_hour <= 99 &&
               now.tm_min >= 0 && now.tm_min <= 99 && now.tm_sec >= 0 && now.tm_sec <= 99 &&
               thread <= 0xFFFFFFFFul;
  if (!usual) {
    char text[kStampSize];
    int length = std::snprintf(
        text, sizeof text, "[%04d/%02d/%02d %02d:%02d.%02d][%8s] [ThreadId:%04lu]", year,
        now.tm_mon + 1, now.tm_mday, now.tm_hour, now.tm_min, now.tm_sec, module_, thread);
    size_t kept = length < 0 ? 0 : static_cast<size_t>(length);
    if (kept > kRightNowSize - 1) kept = kRightNowSize - 1;
    std::memcpy(out, text, kept);
    return kept;
  }
  char* p = out;
  *p++ = '[';
  p = PutTwoDigits(p, year / 100);
  p = PutTwoDigits(p, year % 100);
  *p++ = '/';
  p = PutTwoDigits(p, now.tm_mon + 1);
  *p++ = '/';
  p = PutTwoDigits(p, now.tm_mday);
  *p++ = ' ';
  p = PutTwoDigits(p, now.tm_hour);
  *p++ = ':';
  p = PutTwoDigits(p, now.tm_min);
  *p++ = '.';
  p = PutTwoDigits(p, now.tm_sec);
  *p++ = ']';
  *p++ = '[';
  size_t moduleLength = std::strlen(module_);
  for (size_t i = moduleLength; i < kModuleSize - 1; ++i) *p++ = ' ';
  std::memcpy(p, module_, moduleLength);
  p += moduleLength;
  std::memcpy(p, "] [ThreadId:", 12);
  p += 12;
  p = PutDecimal(p, thread, 4);
  *p++ = ']';
  return static_cast<size_t>(p - out);
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
  // After a lost line, this writer's own short write may not have been cut
  // off again; the file is checked before the next line goes on.
  const orn2::log::Rotation rotation{maxBytes_, keep_};
  RotateOutcome rotated = RotateOutcome::kNotDue;
  WriteOutcome outcome = orn2::log::AppendWhole(fileName_, line, used, &rotation, &rotated);
  NoteRotation(rotated, fileName_, rotationFailing_);
  if (outcome != WriteOutcome::kWritten) {
    CountLostLine(outcome == WriteOutcome::kNotRegular);
  } else {
    losing_ = 0;
  }
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

// Puts together the line of a message formatted with *result (set to -1 for a
// cut message): the prefix, a blank, the marker, the level prefix (unless for
// the console), the message and a line end. The message's line ends before
// `bodyAt` are written as continuation lines; those from there on (a hex
// dump's body) as they are. Returns the line's length, or 0 when nothing is
// written (logging off, or a level above the log's; *result then says what
// LogLine returns).
size_t Log::ComposeLine(int level, char* message, int* result, size_t bodyAt, char* line,
                        bool forFile) const {
  // Some runtimes answer -1 for a message that does not fit and leave it
  // unterminated; either way the message is cut to its first 2048 characters.
  message[kMessageMax] = '\0';
  bool cut = *result < 0 || *result > kMessageMax;
  if (cut) *result = -1;

  if (enabled_ == 0) return 0;
  if (level_ == 0 || level > level_) {
    *result = 0;
    return 0;
  }
  const char* marker = cut ? kTruncationMarker : "";
  // The line holds the message up to its first null character, as the echo
  // does; a "%c" of 0 counts in the result but ends the written text. The
  // same pass finds the first line end: a message without one is copied as
  // it is.
  size_t messageLength = std::strcspn(message, "\r\n");
  bool plain = message[messageLength] == '\0' && !HoldsLineEnd(module_);
  if (!plain) messageLength += std::strlen(message + messageLength);
  if (bodyAt > messageLength) bodyAt = messageLength;

  // The console line carries no level prefix.
  const char* levelPrefix = !forFile     ? ""
                            : level == 1 ? kErrorPrefix
                            : level == 2 ? kWarningPrefix
                                         : "";
  size_t used = 0;
  if (plain) {
    used = FormatPrefix(line);
  } else {
    char prefix[kPrefixSize];
    used = AppendEncoded(line, 0, prefix, FormatPrefix(prefix));
  }
  line[used++] = ' ';
  used = Append(line, used, marker);
  used = Append(line, used, levelPrefix);
  if (plain) {
    std::memcpy(line + used, message, messageLength);
    used += messageLength;
  } else {
    used = AppendEncoded(line, used, message, bodyAt);
    std::memcpy(line + used, message + bodyAt, messageLength - bodyAt);
    used += messageLength - bodyAt;
  }
  line[used++] = '\n';
  return used;
}

void Log::CountLostLine(bool notRegular) {
  const char* reason = notRegular ? "not a regular file" : std::strerror(errno);
  __atomic_fetch_add(&lostLines_, 1ul, __ATOMIC_RELAXED);
  if (losing_ != 0) return;
  losing_ = 1;
  std::fprintf(stderr, "LogLine() Error: Cannot append to [%s] (%s), losing lines\n", fileName_,
               reason);
}

unsigned long Log::LostLines() const { return __atomic_load_n(&lostLines_, __ATOMIC_RELAXED); }

int Log::LogBlank() {
  FileLock lock(mutex_->mutex);
  if (level_ == 0 || enabled_ == 0) return 0;

  // A missing file is created with the short header (no empty line after it)
  // and gets no empty line; a special file gets nothing and loses the line.
  FileState state = orn2::log::ProbeFile(fileName_);
  WriteOutcome outcome = WriteOutcome::kNotRegular;
  if (state == FileState::kUnreadable) {
    outcome = orn2::log::CreateWithText(fileName_, kHeader, kHeaderLength - 1);
    if (outcome == WriteOutcome::kFailed) {
      enabled_ = 0;
      return -1;
    }
  }
  if (state == FileState::kReadable) {
    const orn2::log::Rotation rotation{maxBytes_, keep_};
    RotateOutcome rotated = RotateOutcome::kNotDue;
    outcome = orn2::log::AppendWhole(fileName_, "\n", 1, &rotation, &rotated);
    NoteRotation(rotated, fileName_, rotationFailing_);
  }
  if (outcome != WriteOutcome::kWritten) {
    CountLostLine(outcome == WriteOutcome::kNotRegular);
  } else {
    losing_ = 0;
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
      rotationFailing_ = 0;
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
