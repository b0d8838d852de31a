#include "log/compose_line.h"

#include <cstring>

namespace {

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
    char code = c == '\n' ? LogFormat::kLineFeedCode : LogFormat::kCarriageReturnCode;
    if (c == '\r' && i + 1 < length && text[i + 1] == '\n') {
      code = LogFormat::kCarriageReturnLineFeedCode;
      ++i;
    }
    out[used++] = '\n';
    out[used++] = LogFormat::kContinuation;
    out[used++] = code;
  }
  return used;
}

bool HoldsLineEnd(const char* text) { return text[std::strcspn(text, "\r\n")] != '\0'; }

}  // namespace

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
                            : level == 1 ? LogFormat::kErrorPrefix
                            : level == 2 ? LogFormat::kWarningPrefix
                                         : "";
  size_t used = 0;
  if (plain) {
    used = FormatPrefix(line);
  } else {
    char prefix[kPrefixSize];
    used = AppendEncoded(line, 0, prefix, FormatPrefix(prefix));
  }
  line[used++] = ' ';
  if (cut) {
    // The marker ends in a line end, written like every line end inside an entry.
    used = Append(line, used, LogFormat::kTruncationMarker);
    used = AppendEncoded(line, used, "\n", 1);
  }
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
