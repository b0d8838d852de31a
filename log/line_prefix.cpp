// The prefix of every line a Log writes, "[yyyy/mm/dd hh:mm.ss][  module]
// [ThreadId:nnnn]": apart from the rest of Log because every line pays for it,
// so its usual values are put together by hand rather than by printf.
#include <liborn2/log.h>
#include <liborn2/log_format.h>

#include <cstdio>
#include <cstring>
#include <ctime>

#include "port/clock.h"
#include "port/process.h"

namespace {

constexpr size_t kRightNowSize = 54;
constexpr int kStampSize = 160;  // room for any field values
constexpr size_t kThreadFieldLength = sizeof LogFormat::kThreadField - 1;

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

}  // namespace

char* Log::RightNow(char* buffer) {
  if (buffer == nullptr) return buffer;
  size_t length = FormatPrefix(buffer);
  buffer[length] = '\0';
  return buffer;
}

// The RightNow text, unterminated, into out (kRightNowSize - 1 characters at
// most); returns its length: exactly what the printf format
// "[%04d/%02d/%02d %02d:%02d.%02d][%8s] [ThreadId:%04lu]" would give.
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
    int length = std::snprintf(text, sizeof text, "[%04d/%02d/%02d %02d:%02d.%02d][%*s%s%0*lu]",
                               year, now.tm_mon + 1, now.tm_mday, now.tm_hour, now.tm_min,
                               now.tm_sec, LogFormat::kModuleWidth, module_,
                               LogFormat::kThreadField, LogFormat::kThreadMinDigits, thread);
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
  for (size_t i = moduleLength; i < static_cast<size_t>(LogFormat::kModuleWidth); ++i) *p++ = ' ';
  std::memcpy(p, module_, moduleLength);
  p += moduleLength;
  std::memcpy(p, LogFormat::kThreadField, kThreadFieldLength);
  p += kThreadFieldLength;
  p = PutDecimal(p, thread, LogFormat::kThreadMinDigits);
  *p++ = ']';
  return static_cast<size_t>(p - out);
}
