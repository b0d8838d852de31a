// The orn tool's log reader: a file that Log writes with every kind of line
// (levels, blank lines, cut messages, hex dumps, both header forms) reads back
// as exactly the entries that were written, with "\n" or "\r\n" line ends;
// lines outside the grammar are refused with their line number; entries print
// as valid JSON.
#include "tools/orn/log_parse.h"

#include <gtest/gtest.h>
#include <liborn2/liborn2.h>

#include <cstdio>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "log/dump_text.h"
#include "port/clock.h"
#include "port/process.h"
#include "support/log_lines.h"
#include "support/system.h"
#include "support/temp_dir.h"

namespace {

using orn::LogEntry;
using orn::LogLevel;
using orn::LogReader;
using orn2::testing::ReadFileBytes;

using orn2::testing::kLogHeader;
const std::string kRuler = orn2::testing::kLogRuler;

struct ReadResult {
  std::vector<LogEntry> entries;
  std::vector<std::string> problems;  // "LINE: why"
};

// Every entry of `text`, reading on past each refused line as --lenient does.
ReadResult ReadAll(const std::string& text) {
  std::istringstream in(text);
  LogReader reader(in);
  ReadResult result;
  LogEntry entry;
  for (LogReader::Result r; (r = reader.Next(entry)) != LogReader::kEnd;) {
    if (r == LogReader::kEntry) result.entries.push_back(entry);
    if (r == LogReader::kProblem) {
      result.problems.push_back(std::to_string(reader.ProblemLine()) + ": " + reader.Problem());
    }
  }
  return result;
}

std::string Join(const std::vector<std::string>& lines) {
  std::string all;
  for (const std::string& line : lines) all += line + "\n";
  return all;
}

std::string Replace(std::string text, const std::string& from, const std::string& to) {
  for (size_t at = 0; (at = text.find(from, at)) != std::string::npos; at += to.size()) {
    text.replace(at, from.size(), to);
  }
  return text;
}

// The local time now as the reader prints it.
std::string LocalNow() {
  std::tm tm{};
  orn2::port::LocalTime(orn2::port::NowSeconds(), &tm);
  char text[80];  // room for any field values
  std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d", tm.tm_year + 1900,
                tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec);
  return text;
}

// The text of a Dump as LogLine receives it.
std::string DumpText(const std::vector<char>& data, const char* title) {
  std::vector<char> text(Log::kDumpSize);
  size_t length =
      orn2::log::BuildDumpText(reinterpret_cast<const unsigned char*>(data.data()),
                               static_cast<int>(data.size()), title, text.data(), text.size());
  return std::string(text.data(), length);
}

struct Written {
  std::string module;
  LogLevel level;
  std::string message;  // as the reader must give it back
  bool truncated;
  bool dump;
};

class LogParseTest : public ::testing::Test {
 protected:
  // A fixed offset without daylight saving, so that times compare as text.
  void SetUp() override { orn2::testing::SetTimeZone("XYZ-3"); }
  void TearDown() override { orn2::testing::SetTimeZone(nullptr); }

  orn2::testing::TempDir dir_;
};

TEST_F(LogParseTest, ReadsBackEveryKindOfLineThatLogWrites) {
  const std::string path = dir_.File("agent.log");
  Log log("Poller");
  ASSERT_EQ(log.EnableLog(path.c_str(), 5), 0);
  const std::string start = LocalNow();
  std::vector<Written> written;
  std::string module = "Poller";
  auto line = [&](int level, const std::string& text, LogLevel shown) {
    log.LogLine(level, "%s", text.c_str());
    bool cut = text.size() > static_cast<size_t>(Log::kMessageMax);
    written.push_back({module, shown, text.substr(0, Log::kMessageMax), cut, false});
  };
  auto dump = [&](size_t length, const char* title) {
    std::vector<char> data(length);
    for (size_t i = 0; i < length; ++i) data[i] = static_cast<char>(i * 37 + 5);
    log.Dump(length == 0 ? nullptr : data.data(), static_cast<int>(length), title);
    std::string text = DumpText(data, title);
    bool cut = text.size() > static_cast<size_t>(Log::kMessageMax);
    written.push_back({module, LogLevel::kNone, text.substr(0, Log::kMessageMax), cut, true});
  };

  line(1, "disk full", LogLevel::kError);
  line(2, "retry 3 of 5", LogLevel::kWarning);
  line(3, "level three", LogLevel::kNone);
  line(4, "level four", LogLevel::kNone);
  line(5, "level five", LogLevel::kNone);
  line(0, "level zero", LogLevel::kNone);
  line(-7, "level minus seven", LogLevel::kNone);
  line(3, "", LogLevel::kNone);
  line(3, "looks like **ERROR** inside", LogLevel::kNone);
  log.LogBlank();
  log.LogBlank();
  line(3, std::string(Log::kMessageMax, 'a'), LogLevel::kNone);
  line(1, std::string(Log::kMessageMax + 1, 'b'), LogLevel::kError);
  std::string lines;  // a cut message that goes on over 31 lines
  for (int i = 0; i < 30; ++i) lines += std::string(99, static_cast<char>('A' + i % 26)) + "\n";
  line(2, lines, LogLevel::kWarning);
  // Line ends of every kind inside messages, none of which starts an entry.
  line(1, "x\n[2026/12/06 04:10.00][   audit] [ThreadId:0001] **ERROR** intrusion",
       LogLevel::kError);
  line(3, "a\rb\r\nc\n\rd\n", LogLevel::kNone);
  line(3, "\r\n\n\r", LogLevel::kNone);
  line(3, "\t\x1b[31m\v\f\x01", LogLevel::kNone);
  line(2, std::string(2000, 'c') + "\r\n\n" + std::string(100, 'd'), LogLevel::kWarning);
  dump(20, "title\nover\r\ntwo");
  dump(0, "empty");
  dump(17, "seventeen 100%");
  dump(384, "three hundred 84");
  log.LogBlank();
  dump(1000, "cut dump");
  module = "averylon";
  log.SetModule("averylongname");
  line(3, "after the dumps", LogLevel::kNone);
  module = "a]b c";
  log.SetModule("a]b c");
  line(2, "module with a bracket", LogLevel::kWarning);
  module = "";
  log.SetModule("");
  line(3, "no module", LogLevel::kNone);
  for (const char* name : {"a\nb", "\r\n]x\r", "\n\n\n\n\n\n\n\n"}) {
    module = name;
    log.SetModule(name);
    line(2, "module with line ends", LogLevel::kWarning);
  }
  const std::string end = LocalNow();

  // The same file read with the line ends of both platforms.
  const std::string lf = Replace(ReadFileBytes(path), "\r\n", "\n");
  for (const std::string& text : {lf, Replace(lf, "\n", "\r\n")}) {
    SCOPED_TRACE(text.find('\r') == std::string::npos ? "LF line ends" : "CRLF line ends");
    ReadResult read = ReadAll(text);
    EXPECT_EQ(Join(read.problems), "");
    ASSERT_EQ(read.entries.size(), written.size());
    for (size_t i = 0; i < written.size(); ++i) {
      const LogEntry& entry = read.entries[i];
      const Written& want = written[i];
      SCOPED_TRACE("entry " + std::to_string(i) + ": " + want.message.substr(0, 40));
      EXPECT_EQ(entry.message, want.message);
      EXPECT_EQ(entry.module, want.module);
      EXPECT_EQ(static_cast<int>(entry.level), static_cast<int>(want.level));
      EXPECT_EQ(entry.truncated, want.truncated);
      EXPECT_EQ(entry.dump, want.dump);
      EXPECT_EQ(entry.thread, orn2::port::CurrentThreadId());
      EXPECT_GE(entry.time, start);
      EXPECT_LE(entry.time, end);
    }
  }
}

TEST_F(LogParseTest, SkipsTheShortHeaderAndHeadersOfConcatenatedFiles) {
  const std::string first = dir_.File("a.log");
  const std::string second = dir_.File("b.log");
  Log log("Poller");
  ASSERT_EQ(log.EnableLog(first.c_str(), 3), 0);
  log.LogLine(3, "in the first file");
  ASSERT_EQ(log.EnableLog(second.c_str(), 3), 0);
  std::filesystem::remove(second);
  log.LogBlank();  // recreates the file with the two-line header
  log.LogLine(2, "in the second file");
  const std::string secondText = ReadFileBytes(second);
  ASSERT_EQ(Replace(secondText, "\r\n", "\n").find(kLogHeader), std::string::npos)
      << "not the short header: " << secondText;

  ReadResult read = ReadAll(ReadFileBytes(first) + secondText);
  EXPECT_EQ(Join(read.problems), "");
  ASSERT_EQ(read.entries.size(), 2u);
  EXPECT_EQ(read.entries[0].message, "in the first file");
  EXPECT_EQ(read.entries[1].message, "in the second file");
  EXPECT_EQ(read.entries[1].line, 7u) << "3 + 1 lines of the first file, 2 header lines";
}

TEST(LogParseGrammar, RefusesLinesOutsideTheGrammarAndReadsOn) {
  const std::string stamp = "[2026/12/03 23:10.39][  Poller] [ThreadId:2140] ";
  const std::string hex00 =
      "      0000 41 42 .. .. .. .. .. ..  .. .. .. .. .. .. .. ..  AB..............";
  struct Case {
    const char* name;
    std::vector<std::string> lines;  // followed by one good line
    std::string problems;
    size_t entries;  // including the good line after them
  };
  const Case cases[] = {
      {"any text", {"garbage"}, "1: not a log line\n", 1},
      {"month 13", {"[2026/13/03 23:10.39][  Poller] [ThreadId:2140] x"}, "1: not a log line\n", 1},
      {"hour 24", {"[2026/12/03 24:10.39][  Poller] [ThreadId:2140] x"}, "1: not a log line\n", 1},
      {"colon before the seconds",
       {"[2026/12/03 23:10:39][  Poller] [ThreadId:2140] x"},
       "1: not a log line\n",
       1},
      {"module field of 7",
       {"[2026/12/03 23:10.39][ Poller] [ThreadId:2140] x"},
       "1: not a log line\n",
       1},
      {"thread of 3 digits",
       {"[2026/12/03 23:10.39][  Poller] [ThreadId:214] x"},
       "1: not a log line\n",
       1},
      {"thread of 20 digits",
       {"[2026/12/03 23:10.39][  Poller] [ThreadId:12345678901234567890] x"},
       "1: not a log line\n",
       1},
      {"no blank after the stamp",
       {"[2026/12/03 23:10.39][  Poller] [ThreadId:2140]x"},
       "1: not a log line\n",
       1},
      {"cut stamp", {"[2026/12/03 23:10.39][  Poller] [Thre"}, "1: not a log line\n", 1},
      {"header title alone",
       {std::string(kLogHeader).substr(0, std::string(kLogHeader).find('\n'))},
       "1: a header without its line \"2001-08-16, v1.01.03\"\n",
       1},
      {"a message with a line end of its own", {stamp + "a", "b"}, "2: not a log line\n", 2},
      {"a line of an entry with a code", {stamp + "a", "\t|b", "\t=c"}, "", 2},
      {"a tab and no code", {stamp + "a", "\tb"}, "2: not a log line\n", 2},
      {"a cut message as older writers left it",
       {stamp + orn2::testing::kLogMarker, orn2::testing::kLogError + std::string("cut")},
       "",
       2},
      {"a line of an entry with no entry", {"\t|b"}, "1: not a log line\n", 1},
      {"a line longer than any a writer makes",
       {stamp + std::string(Log::kMessageMax + 100, 'x')},
       "1: not a log line\n",
       1},
      {"a hex line whose character column does not show its bytes",
       {stamp + "Packet", "", kRuler,
        "      0000 41 42 .. .. .. .. .. ..  .. .. .. .. .. .. .. ..  XB..............", kRuler,
        ""},
       "4: not a log line\n5: not a log line\n",
       2},
      {"a placeholder before a byte",
       {stamp + "Packet", "", kRuler,
        "      0000 .. 42 .. .. .. .. .. ..  .. .. .. .. .. .. .. ..  .B..............", kRuler,
        ""},
       "4: not a log line\n5: not a log line\n",
       2},
      {"a hex line without the extra blank",
       {stamp + "Packet", "", kRuler,
        "      0000 41 42 .. .. .. .. .. .. .. .. .. .. .. .. .. ..  AB..............", kRuler, ""},
       "4: not a log line\n5: not a log line\n",
       2},
      {"a good dump", {stamp + "Packet", "", kRuler, hex00, kRuler, ""}, "", 2},
      {"a dump without its empty line", {stamp + "Packet", "", kRuler, hex00, kRuler}, "", 2},
      {"an empty line and no ruler after a line", {stamp + "a", "", "x"}, "3: not a log line\n", 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<std::string> lines = c.lines;
    lines.push_back(stamp + "good");
    ReadResult read = ReadAll(Join(lines));
    EXPECT_EQ(Join(read.problems), c.problems);
    ASSERT_EQ(read.entries.size(), c.entries);
    EXPECT_EQ(read.entries.back().message, "good");
    EXPECT_EQ(read.entries.back().line, lines.size());
  }
}

TEST(LogParseGrammar, StampFields) {
  struct Case {
    std::string line;
    std::string time;
    std::string module;
    unsigned long long thread;
  };
  const Case cases[] = {
      {"[2026/12/03 23:10.39][  Poller] [ThreadId:2140] x", "2026-12-03T23:10:39", "Poller", 2140},
      {"[0999/01/31 00:00.60][ UNKNOWN] [ThreadId:0056] ", "0999-01-31T00:00:60", "UNKNOWN", 56},
      {"[2026/12/03 23:10.39][    ab  ] [ThreadId:4294967295] x", "2026-12-03T23:10:39", "ab  ",
       4294967295ull},
      {"[2026/12/03 23:10.39][        ] [ThreadId:0000] x", "2026-12-03T23:10:39", "", 0},
      {"[2026/12/03 23:10.39][]] [Thre] [ThreadId:1234567] x", "2026-12-03T23:10:39", "]] [Thre",
       1234567},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    LogEntry entry;
    size_t length = orn::ParseStamp(c.line, entry);
    EXPECT_EQ(length, c.line.rfind("] ") + 2);
    EXPECT_EQ(entry.time, c.time);
    EXPECT_EQ(entry.module, c.module);
    EXPECT_EQ(entry.thread, c.thread);
  }
}

TEST(LogParseJson, EscapesTextAndMarksFlags) {
  LogEntry plain;
  plain.time = "2026-12-03T23:10:39";
  plain.module = "Poller";
  plain.thread = 56;
  plain.level = LogLevel::kWarning;
  plain.message = "Retry 3 of 5";
  EXPECT_EQ(orn::EntryToJson(plain),
            "{\"time\":\"2026-12-03T23:10:39\",\"module\":\"Poller\",\"thread\":56,"
            "\"level\":\"warning\",\"message\":\"Retry 3 of 5\"}");

  LogEntry flagged = plain;
  flagged.level = LogLevel::kNone;
  flagged.truncated = true;
  flagged.dump = true;
  EXPECT_EQ(orn::EntryToJson(flagged),
            "{\"time\":\"2026-12-03T23:10:39\",\"module\":\"Poller\",\"thread\":56,"
            "\"level\":null,\"message\":\"Retry 3 of 5\",\"truncated\":true,\"dump\":true}");

  struct Case {
    std::string message;
    std::string json;
  };
  const Case cases[] = {
      {"q\"b\\s/", "q\\\"b\\\\s/"},
      {"\n\r\t\x01\x1f\x7f", "\\n\\r\\t\\u0001\\u001f\\u007f"},
      {"caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80", "caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80"},
      {"caf\xE9", "caf\\u00e9"},                             // Latin-1
      {"\xC0\x80", "\\u00c0\\u0080"},                        // overlong
      {"\xED\xA0\x80", "\\u00ed\\u00a0\\u0080"},             // a surrogate
      {"\xF4\x90\x80\x80", "\\u00f4\\u0090\\u0080\\u0080"},  // past U+10FFFF
      {"\xE2\x82", "\\u00e2\\u0082"},                        // cut at the end
      {"\xE2\x82x", "\\u00e2\\u0082x"},                      // cut before a character
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.json);
    LogEntry entry = plain;
    entry.message = c.message;
    std::string json = orn::EntryToJson(entry);
    const std::string before = "\"message\":\"";
    size_t at = json.find(before) + before.size();
    EXPECT_EQ(json.substr(at, json.size() - at - 2), c.json);
  }
}

}  // namespace
