#include <liborn2/log.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "log/dump_text.h"
#include "log/shared_mutex.h"
#include "port/clock.h"
#include "port/process.h"
#include "port/sync.h"

namespace {

constexpr char kHeaderTitle[] = "Orn Library: Generic Logging Routines";
constexpr char kHeaderDate[] = "2001-08-16";
constexpr char kHeaderVersion[] = "v1.01.03";
constexpr char kTruncationMarker[] = "*** Logline Error: Excessive Line truncated ***\n";
constexpr char kErrorPrefix[] = "**ERROR** ";
constexpr char kWarningPrefix[] = "*WARNING* ";
constexpr size_t kRightNowSize = 54;
constexpr int kStampSize = 160;  // room for any field values
constexpr int kDumpLevel = 4;
constexpr int kMaxLevel = 5;
constexpr int kResultBadFile = -100;
constexpr int kResultBadLevel = -101;

bool FileExists(const char* name) {
  FILE* file = std::fopen(name, "rt");
  if (file == nullptr) return false;
  std::fclose(file);
  return true;
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

size_t Append(char* out, size_t used, const char* text) {
  size_t length = std::strlen(text);
  std::memcpy(out + used, text, length);
  return used + length;
}

}  // namespace

Log::Log(const char* module, int echo) : level_(0), enabled_(0), echo_(echo) {
  std::memset(fileName_, 0, sizeof fileName_);
  mutex_ = new SharedMutex();
  SetModule(module);
  processId_ = orn2::port::ProcessId();
}

Log::~Log() { ReplaceMutex(nullptr); }

// Lets go of the current mutex, destroying it when no other log holds it, and
// holds `replacement` instead.
void Log::ReplaceMutex(SharedMutex* replacement) {
  SharedMutex* previous = mutex_;
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
  // The echo flag stays the target's own.
  std::memcpy(module_, other.module_, kModuleSize - 1);
  processId_ = other.processId_;
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

  // Named after the file as stored (Mutex keeps its first 127 characters),
  // changed only where the system refuses that as a mutex name.
  char name[kFileNameSize];
  orn2::port::FileMutexName(fileName_, name, sizeof name);
  ReplaceMutex(nullptr);
  mutex_ = new SharedMutex(name);

  if (level != 0) {
    // Checking for the file and creating it happen under the file's lock, so
    // that a writer starting at the same moment cannot truncate the lines that
    // another one has already appended after creating the file.
    Guard guard(mutex_->mutex);
    if (!FileExists(fileName_)) {
      FILE* created = std::fopen(fileName_, "wt");
      if (created == nullptr) {
        std::fprintf(stderr, "EnableLog() Cannot access Logfile, Logging disabled");
        return kResultBadFile;
      }
      std::fprintf(created, "%s\n%s, %s\n\n", kHeaderTitle, kHeaderDate, kHeaderVersion);
      std::fclose(created);
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
  p = PutDecimal(p, static_cast<unsigned long>(year), 4);
  *p++ = '/';
  p = PutDecimal(p, static_cast<unsigned long>(now.tm_mon + 1), 2);
  *p++ = '/';
  p = PutDecimal(p, static_cast<unsigned long>(now.tm_mday), 2);
  *p++ = ' ';
  p = PutDecimal(p, static_cast<unsigned long>(now.tm_hour), 2);
  *p++ = ':';
  p = PutDecimal(p, static_cast<unsigned long>(now.tm_min), 2);
  *p++ = '.';
  p = PutDecimal(p, static_cast<unsigned long>(now.tm_sec), 2);
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
  Guard guard(mutex_->mutex);

  char message[kMessageMax + 1];
  int result = 0;
  message[0] = '\0';
  if (format != nullptr) {
    va_list args;
    va_start(args, format);
    result = std::vsnprintf(message, sizeof message, format, args);
    va_end(args);
  }
  // Some runtimes answer -1 for a message that does not fit and leave it
  // unterminated; either way the message is cut to its first 2048 characters.
  message[kMessageMax] = '\0';
  bool cut = result < 0 || result > kMessageMax;
  if (cut) result = -1;

  if (enabled_ == 0) return result;
  if (level_ == 0 || level > level_) return 0;
  const char* marker = cut ? kTruncationMarker : "";
  // The line holds the message up to its first null character, as the echo
  // does; a "%c" of 0 counts in the result but ends the written text.
  size_t messageLength = std::strlen(message);

  if (echo_ != 0) {
    char prefix[kPrefixSize];
    std::printf("%s %s%s\n", RightNow(prefix), marker, message);
  }

  FILE* file = std::fopen(fileName_, "a+t");
  if (file == nullptr) return result;
  // The line "%s %s%s%s\n" (prefix, marker, level prefix, message) is put
  // together here and handed to the file in one piece.
  const char* levelPrefix = level == 1 ? kErrorPrefix : level == 2 ? kWarningPrefix : "";
  char line[kPrefixSize + sizeof kTruncationMarker + sizeof kErrorPrefix + kMessageMax + 2];
  size_t used = FormatPrefix(line);
  line[used++] = ' ';
  used = Append(line, used, marker);
  used = Append(line, used, levelPrefix);
  std::memcpy(line + used, message, messageLength);
  used += messageLength;
  line[used++] = '\n';
  std::fwrite(line, 1, used, file);
  std::fclose(file);
  return result;
}

int Log::LogBlank() {
  Guard guard(mutex_->mutex);
  if (level_ == 0 || enabled_ == 0) return 0;

  bool created = false;
  if (!FileExists(fileName_)) {
    FILE* file = std::fopen(fileName_, "wt");
    if (file == nullptr) {
      enabled_ = 0;
      return -1;
    }
    // The short header: no empty line after it, and none added below.
    std::fprintf(file, "%s\n%s, %s\n", kHeaderTitle, kHeaderDate, kHeaderVersion);
    std::fclose(file);
    created = true;
  }
  if (echo_ != 0) std::fputs("\n", stderr);
  if (!created) {
    FILE* file = std::fopen(fileName_, "a+t");
    if (file != nullptr) {
      std::fputs("\n", file);
      std::fclose(file);
    }
  }
  return 0;
}

void Log::Dump(char* data, int length, const char* title) {
  if (enabled_ == 0) return;
  char text[kDumpSize];
  orn2::log::BuildDumpText(reinterpret_cast<const unsigned char*>(data), length, title, text,
                           sizeof text);
  // Written verbatim: a per-cent sign in the title or the data is no directive.
  LogLine(kDumpLevel, "%s", text);
}

void Log::SysLog(int level, char* message) {}
