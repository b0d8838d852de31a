#include "log/dump_text.h"

#include <liborn2/log_format.h>

#include <cctype>
#include <cstdio>
#include <cstring>

namespace orn2::log {
namespace {

constexpr int kBytesPerLine = LogFormat::kDumpBytesPerLine;
// The ruler is as long as a hex line: 77 characters and the line end.
constexpr size_t kLineLength = sizeof LogFormat::kDumpRuler;
constexpr char kHexDigits[] = "0123456789ABCDEF";

// Appends one hex line for the bytes [offset, offset + count) at out.
size_t AppendHexLine(const unsigned char* data, int offset, int count, char* out) {
  char* p = out;
  std::memset(p, ' ', 6);
  p += 6;
  // Offsets stay below 0x10000 since the buffer holds about a hundred lines.
  std::snprintf(p, 6, "%04X", static_cast<unsigned>(offset) & 0xFFFFu);
  p += 4;
  *p++ = ' ';
  for (int i = 0; i < kBytesPerLine; ++i) {
    if (i == 8) *p++ = ' ';
    if (i < count) {
      unsigned char byte = data[offset + i];
      *p++ = kHexDigits[byte >> 4];
      *p++ = kHexDigits[byte & 0x0F];
    } else {
      *p++ = '.';
      *p++ = '.';
    }
    *p++ = ' ';
  }
  *p++ = ' ';
  for (int i = 0; i < kBytesPerLine; ++i) {
    unsigned char byte = i < count ? data[offset + i] : '.';
    *p++ = std::isprint(byte) ? static_cast<char>(byte) : '.';
  }
  *p++ = '\n';
  return static_cast<size_t>(p - out);
}

size_t AppendRuler(char* out, size_t used) {
  std::memcpy(out + used, LogFormat::kDumpRuler, kLineLength - 1);
  out[used + kLineLength - 1] = '\n';
  return used + kLineLength;
}

}  // namespace

size_t BuildDumpText(const unsigned char* data, int length, const char* title, char* out,
                     size_t size, size_t* titleLength) {
  std::memset(out, 0, size);
  if (title == nullptr) title = "";
  if (data == nullptr) length = 0;
  // The title's line end, the empty line, two rulers, one hex line, the terminator.
  size_t frame = 1 + 1 + 3 * kLineLength + 1;
  if (size < frame) return 0;
  size_t titleKept = strnlen(title, size - frame);
  if (titleLength != nullptr) *titleLength = titleKept;

  size_t used = 0;
  std::memcpy(out, title, titleKept);
  used += titleKept;
  out[used++] = '\n';
  out[used++] = '\n';
  used = AppendRuler(out, used);
  for (int offset = 0; offset < length && used + 2 * kLineLength < size; offset += kBytesPerLine) {
    int count = length - offset < kBytesPerLine ? length - offset : kBytesPerLine;
    used += AppendHexLine(data, offset, count, out + used);
  }
  used = AppendRuler(out, used);
  return used;
}

}  // namespace orn2::log
