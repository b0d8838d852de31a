#include "tools/orn/log_parse.h"

#include <liborn2/log.h>
#include <liborn2/log_format.h>

#include <cstdio>
#include <cstring>

#include "tools/orn/json.h"

namespace orn {
namespace {

// The writer's texts and widths, shared with it through the public header.
using LogFormat::kDumpRuler;
using LogFormat::kErrorPrefix;
using LogFormat::kHeaderTitle;
using LogFormat::kHeaderVersion;
using LogFormat::kThreadField;
using LogFormat::kTruncationMarker;
using LogFormat::kWarningPrefix;
static_assert(sizeof kErrorPrefix == sizeof kWarningPrefix, "both level prefixes are as long");
constexpr size_t kLevelPrefixLength = sizeof kErrorPrefix - 1;
constexpr size_t kModuleWidth = LogFormat::kModuleWidth;
constexpr size_t kModuleAt = 22;  // after "[YYYY/MM/DD hh:mm.ss]["
constexpr size_t kThreadAt = kModuleAt + kModuleWidth + sizeof kThreadField - 1;
constexpr size_t kMinThreadDigits = LogFormat::kThreadMinDigits;
constexpr size_t kMaxThreadDigits = 19;  // fits an unsigned 64-bit number
constexpr int kBytesPerHexLine = LogFormat::kDumpBytesPerLine;
// The longest line a writer makes: the prefix (shorter than its buffer), a
// blank, the level prefix and a whole message, or a continuation line's tab,
// code, level prefix and message; hex dump lines are shorter. A longer line is
// refused without being held whole.
constexpr size_t kLongestLine = Log::kPrefixSize + 1 + kLevelPrefixLength + Log::kMessageMax;

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsUpperHex(char c) { return IsDigit(c) || (c >= 'A' && c <= 'F'); }
int HexValue(char c) { return IsDigit(c) ? c - '0' : c - 'A' + 10; }

// The two-digit number at text[at], when it lies from low to high; else -1.
int TwoDigits(const std::string& text, size_t at, int low, int high) {
  if (!IsDigit(text[at]) || !IsDigit(text[at + 1])) return -1;
  int value = (text[at] - '0') * 10 + (text[at + 1] - '0');
  return value >= low && value <= high ? value : -1;
}

bool StartsWith(const std::string& text, const char* start) {
  return text.compare(0, std::strlen(start), start) == 0;
}

// Takes a "**ERROR** " or "*WARNING* " prefix off `text` into the entry's level
// and makes the rest the message.
void SplitLevel(const std::string& text, LogEntry& entry) {
  entry.level = LogLevel::kNone;
  if (StartsWith(text, kErrorPrefix)) entry.level = LogLevel::kError;
  if (StartsWith(text, kWarningPrefix)) entry.level = LogLevel::kWarning;
  entry.message = text.substr(entry.level == LogLevel::kNone ? 0 : kLevelPrefixLength);
}

// "      0000 41 42 .. ..  .. .. .. .. .. .. .. ..  AB.............." : the offset
// in at least 4 upper-case hex digits, 16 bytes or placeholders (those only at
// the end) with an extra blank before the ninth, and a character column that
// shows each byte as itself or as a full stop (which bytes are printable
// depends on the writer's locale, so either is accepted).
bool IsHexLine(const std::string& line) {
  size_t at = 6;
  if (line.size() < at || line.compare(0, at, "      ") != 0) return false;
  while (at < line.size() && IsUpperHex(line[at])) ++at;
  if (at < 6 + 4 || at >= line.size() || line[at++] != ' ') return false;
  int bytes[kBytesPerHexLine];
  int present = 0;
  for (int i = 0; i < kBytesPerHexLine; ++i) {
    if (i == 8 && (at >= line.size() || line[at++] != ' ')) return false;
    if (at + 3 > line.size() || line[at + 2] != ' ') return false;
    if (line[at] == '.' && line[at + 1] == '.') {
      bytes[i] = -1;
    } else if (IsUpperHex(line[at]) && IsUpperHex(line[at + 1]) && present == i) {
      bytes[i] = HexValue(line[at]) * 16 + HexValue(line[at + 1]);
      ++present;
    } else {
      return false;
    }
    at += 3;
  }
  if (at >= line.size() || line[at++] != ' ') return false;
  if (line.size() - at != static_cast<size_t>(kBytesPerHexLine)) return false;
  for (int i = 0; i < kBytesPerHexLine; ++i) {
    unsigned char shown = static_cast<unsigned char>(line[at + static_cast<size_t>(i)]);
    if (shown != '.' && static_cast<int>(shown) != bytes[i]) return false;
  }
  return true;
}

// A line inside an entry: a tab and the code of the line end before it.
// Gives that line end, or null when `text` is no such line.
const char* ContinuedLineEnd(const std::string& text) {
  if (text.size() < 2 || text[0] != LogFormat::kContinuation) return nullptr;
  switch (text[1]) {
    case LogFormat::kLineFeedCode:
      return "\n";
    case LogFormat::kCarriageReturnCode:
      return "\r";
    case LogFormat::kCarriageReturnLineFeedCode:
      return "\r\n";
    default:
      return nullptr;
  }
}

}  // namespace

size_t ParseStamp(const std::string& text, LogEntry& entry) {
  // "[YYYY/MM/DD hh:mm.ss][" is 22 characters; the module field exactly 8, as
  // Log cuts module names to 8 and pads shorter ones on the left.
  if (text.size() < kThreadAt + kMinThreadDigits + 2) return 0;
  if (text[0] != '[' || text[5] != '/' || text[8] != '/' || text[11] != ' ' || text[14] != ':' ||
      text[17] != '.' || text.compare(20, 2, "][") != 0) {
    return 0;
  }
  for (size_t at = 1; at < 5; ++at) {
    if (!IsDigit(text[at])) return 0;
  }
  if (TwoDigits(text, 6, 1, 12) < 0 || TwoDigits(text, 9, 1, 31) < 0 ||
      TwoDigits(text, 12, 0, 23) < 0 || TwoDigits(text, 15, 0, 59) < 0 ||
      TwoDigits(text, 18, 0, 60) < 0) {
    return 0;
  }
  if (text.compare(kModuleAt + kModuleWidth, sizeof kThreadField - 1, kThreadField) != 0) return 0;
  size_t at = kThreadAt;
  unsigned long long thread = 0;
  while (at < text.size() && IsDigit(text[at])) thread = thread * 10 + (text[at++] - '0');
  size_t digits = at - kThreadAt;
  if (digits < kMinThreadDigits || digits > kMaxThreadDigits) return 0;
  if (text.compare(at, 2, "] ") != 0) return 0;

  entry.time = text.substr(1, 4) + "-" + text.substr(6, 2) + "-" + text.substr(9, 2) + "T" +
               text.substr(12, 2) + ":" + text.substr(15, 2) + ":" + text.substr(18, 2);
  size_t padding = 0;
  while (padding < kModuleWidth && text[kModuleAt + padding] == ' ') ++padding;
  entry.module = text.substr(kModuleAt + padding, kModuleWidth - padding);
  entry.thread = thread;
  return at + 2;
}

// Lines end in "\n" or "\r\n". A line longer than any a writer makes is
// marked too long after its first kLongestLine characters; the rest of it is
// passed over at the next pull, so a stream without line ends is reported at
// once and never held.
bool LogReader::Pull(Line& line) {
  if (!held_.empty()) {
    line = std::move(held_.back());
    held_.pop_back();
    return true;
  }
  std::streambuf* buffer = in_.rdbuf();
  if (buffer == nullptr) return false;
  using Traits = std::streambuf::traits_type;
  Traits::int_type c = Traits::eof();
  if (skipping_) {
    while ((c = buffer->sbumpc()) != Traits::eof() && c != '\n') {
    }
    skipping_ = false;
  }
  line.text.clear();
  line.tooLong = false;
  bool any = false;
  while ((c = buffer->sbumpc()) != Traits::eof()) {
    any = true;
    if (c == '\n') break;
    if (line.text.size() > kLongestLine) {  // room for the "\r" of a "\r\n"
      line.tooLong = true;
      skipping_ = true;
      break;
    }
    line.text += Traits::to_char_type(c);
  }
  if (!any) {
    in_.setstate(std::ios::eofbit);
    return false;
  }
  if (!line.text.empty() && line.text.back() == '\r') line.text.pop_back();
  line.number = ++lineCount_;
  return true;
}

LogReader::Result LogReader::Refuse(size_t number, const char* why) {
  problem_ = why;
  problemLine_ = number;
  return kProblem;
}

LogReader::Result LogReader::Next(LogEntry& entry) {
  Line line;
  while (Pull(line)) {
    if (line.tooLong) return Refuse(line.number, "not a log line");
    // A LogBlank line, the empty line after the header, or a separator that
    // stood between two entries.
    if (line.text.empty()) continue;
    if (line.text == kHeaderTitle) {
      Line version;
      if (Pull(version)) {
        if (version.text == kHeaderVersion && !version.tooLong) continue;
        PushBack(std::move(version));
      }
      static const std::string kNoVersion =
          std::string("a header without its line \"") + kHeaderVersion + "\"";
      return Refuse(line.number, kNoVersion.c_str());
    }
    // The entry's text: its line, and each following line that begins with a
    // tab and a code, with the line end that the code names.
    std::string text = std::move(line.text);
    Line next;
    while (Pull(next)) {
      const char* lineEnd = next.tooLong ? nullptr : ContinuedLineEnd(next.text);
      if (lineEnd == nullptr) {
        PushBack(std::move(next));
        break;
      }
      text += lineEnd;
      text.append(next.text, 2, std::string::npos);
    }
    entry = LogEntry();
    size_t stampLength = ParseStamp(text, entry);
    if (stampLength == 0) return Refuse(line.number, "not a log line");
    entry.line = line.number;
    if (text.compare(stampLength, sizeof kTruncationMarker - 1, kTruncationMarker) == 0 &&
        text.compare(stampLength + sizeof kTruncationMarker - 1, 1, "\n") == 0) {
      entry.truncated = true;
      SplitLevel(text.substr(stampLength + sizeof kTruncationMarker), entry);
    } else if (text.size() == stampLength + sizeof kTruncationMarker - 1 &&
               text.compare(stampLength, std::string::npos, kTruncationMarker) == 0 && Pull(next)) {
      // Files written before line ends inside entries were marked: the cut
      // message on the line after the marker, as it is (one line of it).
      entry.truncated = true;
      if (next.tooLong || next.text.empty() || next.text[0] == '[') {
        PushBack(std::move(next));
      } else {
        SplitLevel(next.text, entry);
      }
    } else {
      SplitLevel(text.substr(stampLength), entry);
    }
    ReadDumpBody(entry);
    return kEntry;
  }
  return kEnd;
}

// After the title of a hex dump come an empty line and the ruler, the hex
// lines, the closing ruler and the empty line that the dump text's last line
// end leaves. A dump cut at 2048 characters ends wherever the cut fell, in a
// line that begins with blanks or is empty. Anything else after the title is
// read as the next entry.
void LogReader::ReadDumpBody(LogEntry& entry) {
  Line blank;
  if (!Pull(blank)) return;
  Line ruler;
  if (blank.tooLong || !blank.text.empty() || !Pull(ruler)) {
    PushBack(std::move(blank));
    return;
  }
  if (ruler.tooLong || ruler.text != kDumpRuler) {
    PushBack(std::move(ruler));
    PushBack(std::move(blank));
    return;
  }
  entry.dump = true;
  entry.message += "\n\n";
  entry.message += ruler.text;
  const size_t cutLength = Log::kMessageMax;
  Line line;
  while (!(entry.truncated && entry.message.size() >= cutLength) && Pull(line)) {
    bool last = entry.truncated && !line.tooLong &&
                entry.message.size() + 1 + line.text.size() == cutLength &&
                (line.text.empty() || line.text[0] == ' ');
    if (!line.tooLong && (last || IsHexLine(line.text))) {
      entry.message += '\n';
      entry.message += line.text;
      continue;
    }
    if (!line.tooLong && line.text == kDumpRuler) {
      entry.message += '\n';
      entry.message += line.text;
      Line after;
      if (!Pull(after)) return;
      if (after.text.empty() && !after.tooLong) {
        entry.message += '\n';
        return;
      }
      PushBack(std::move(after));
      return;
    }
    // A dump without its closing ruler: what follows is read afresh.
    PushBack(std::move(line));
    return;
  }
}

// Texts go through the tool's one JSON string writer: the file is in the
// writer's narrow code page, which JSON cannot name, so valid UTF-8 passes
// unchanged and any other byte is read as Latin-1 (0xE9 becomes "\u00e9").
std::string EntryToJson(const LogEntry& entry) {
  std::string out = "{\"time\":";
  out += JsonString(entry.time);
  out += ",\"module\":";
  out += JsonString(entry.module);
  out += ",\"thread\":";
  out += std::to_string(entry.thread);
  out += ",\"level\":";
  out += entry.level == LogLevel::kError     ? "\"error\""
         : entry.level == LogLevel::kWarning ? "\"warning\""
                                             : "null";
  out += ",\"message\":";
  out += JsonString(entry.message);
  if (entry.truncated) out += ",\"truncated\":true";
  if (entry.dump) out += ",\"dump\":true";
  out += '}';
  return out;
}

}  // namespace orn
