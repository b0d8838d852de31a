#include "log/dump_text.h"

#include <cctype>
#include <cstdio>
#include <cstring>

namespace orn2::log {
namespace {

constexpr int kBytesPerLine = 16;
// "     " 54 hyphens "  " 16 hyphens and the line end: as long as a hex line.
constexpr char kRuler[] =
    "     ------------------------------------------------------  ----------------\n";
constexpr size_t kLineLength = sizeof kRuler - 1;  // 77 characters and the line end
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
  std::memcpy(out + used, kRuler, kLineLength);
  used += kLineLength;
  for (int offset = 0; offset < length && used + 2 * kLineLength < size; offset += kBytesPerLine) {
    int count = length - offset < kBytesPerLine ? length - offset : kBytesPerLine;
    used += AppendHexLine(data, offset, count, out + used);
  }
  std::memcpy(out + used, kRuler, kLineLength);
  used += kLineLength;
  return used;
}

}  // namespace orn2::log
