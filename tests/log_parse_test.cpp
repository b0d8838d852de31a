// The orn tool's log reader: a file that Log writes with every kind of line
// (levels, blank lines, cut messages, hex dumps, both header forms) reads back
// as exactly the entries that were written, with "\n" or "\r\n" line ends;
// lines outside the grammar are refused with their line number.
#include "tools/orn/log_parse.h"

#include <gtest/gtest.h>
#include <liborn2/liborn2.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "log/dump_text.h"
#include "port/process.h"
#include "support/log_lines.h"
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

struct Written {
  std::string module;
  LogLevel level;
  std::string message;  // as the reader must give it back
  bool truncated;
  bool dump;
};

class LogParseTest : public orn2::testing::LogFileTest {};

TEST_F(LogParseTest, ReadsBackEveryKindOfLineThatLogWrites) {
  Log log("Poller");
  const std::string path = Enable(log, "agent.log", 5);
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
    std::string text(Log::kDumpSize, '\0');  // as Dump hands it to LogLine
    text.resize(orn2::log::BuildDumpText(reinterpret_cast<const unsigned char*>(data.data()),
                                         static_cast<int>(length), title, &text[0], text.size()));
    bool cut = text.size() > static_cast<size_t>(Log::kMessageMax);
    written.push_back({module, LogLevel::kNone, text.substr(0, Log::kMessageMax), cut, true});
  };

  line(1, "disk full", LogLevel::kError);
  line(2, "retry 3 of 5", LogLevel::kWarning);
  line(3, "", LogLevel::kNone);
  line(3, "looks like **ERROR** inside", LogLevel::kNone);
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
  line(3, "\t\x1b[31m\v\f\x01", LogLevel::kNone);
  line(2, std::string(2000, 'c') + "\r\n\n" + std::string(100, 'd'), LogLevel::kWarning);
  dump(20, "title\nover\r\ntwo");
  dump(0, "empty");
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
  // The file removed and recreated by LogBlank with the short header, read after the first.
  const std::string first = Replace(ReadFileBytes(path), "\r\n", "\n");
  std::filesystem::remove(path);
  log.LogBlank();
  line(2, "in the second file", LogLevel::kWarning);
  const std::string second = Replace(ReadFileBytes(path), "\r\n", "\n");
  ASSERT_EQ(second.find(kLogHeader), std::string::npos) << "not the short header";

  // The files read with the line ends of both platforms.
  const std::string lf = first + second;
  for (const std::string& text : {lf, Replace(lf, "\n", "\r\n")}) {
    SCOPED_TRACE(text.find('\r') == std::string::npos ? "LF line ends" : "CRLF line ends");
    ReadResult read = ReadAll(text);
    EXPECT_EQ(Join(read.problems), "");
    ASSERT_EQ(read.entries.size(), written.size());
    EXPECT_EQ(
        read.entries.back().line,  // the first of the last entry's lines, counting headers
        std::count(lf.begin(), lf.end(), '\n') - std::count(module.begin(), module.end(), '\n'));
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
    }
  }
}

TEST(LogParseGrammar, RefusesLinesOutsideTheGrammarAndReadsOn) {
  const std::string stamp = "[2026/12/03 23:10.39][  Poller] [ThreadId:2140] ";
  const std::string refused = "not a log line\n", hexRefused = "4: " + refused + "5: " + refused;
  const std::string title = std::string(kLogHeader).substr(0, std::string(kLogHeader).find('\n'));
  const std::string hex00 =
      "      0000 41 42 .. .. .. .. .. ..  .. .. .. .. .. .. .. ..  AB..............";
  auto dump = [&](const std::string& hex) {  // a dump of one hex line, then its empty line
    return std::vector<std::string>{stamp + "Packet", "", kRuler, hex, kRuler, ""};
  };
  const struct {
    std::vector<std::string> lines;  // followed by one good line
    std::string problems;
    size_t entries;  // including the good line after them
  } cases[] = {
      // month 13, hour 24, a colon before the seconds, a module field of 7,
      // threads of 3 and of 20 digits, no blank after the stamp, a cut stamp
      // (as short as any text that is no log line)
      {{"[2026/13/03 23:10.39][  Poller] [ThreadId:2140] x"}, "1: " + refused, 1},
      {{"[2026/12/03 24:10.39][  Poller] [ThreadId:2140] x"}, "1: " + refused, 1},
      {{"[2026/12/03 23:10:39][  Poller] [ThreadId:2140] x"}, "1: " + refused, 1},
      {{"[2026/12/03 23:10.39][ Poller] [ThreadId:2140] x"}, "1: " + refused, 1},
      {{"[2026/12/03 23:10.39][  Poller] [ThreadId:214] x"}, "1: " + refused, 1},
      {{"[2026/12/03 23:10.39][  Poller] [ThreadId:12345678901234567890] x"}, "1: " + refused, 1},
      {{"[2026/12/03 23:10.39][  Poller] [ThreadId:2140]x"}, "1: " + refused, 1},
      {{"[2026/12/03 23:10.39][  Poller] [Thre"}, "1: " + refused, 1},
      {{title}, "1: a header without its line \"2001-08-16, v1.01.03\"\n", 1},
      // a message with a line end of its own; a tab and no code; a cut message
      // as older writers left it
      {{stamp + "a", "b"}, "2: " + refused, 2},
      {{stamp + "a", "\tb"}, "2: " + refused, 2},
      {{stamp + orn2::testing::kLogMarker, orn2::testing::kLogError + std::string("cut")}, "", 2},
      // a line of an entry with no entry; a line longer than any a writer makes
      {{"\t|b"}, "1: " + refused, 1},
      {{stamp + std::string(Log::kMessageMax + 100, 'x')}, "1: " + refused, 1},
      // hex lines: a character column that does not show its bytes, a
      // placeholder before a byte, no extra blank (good dumps are read back
      // in ReadsBackEveryKindOfLineThatLogWrites)
      {dump("      0000 41 42 .. .. .. .. .. ..  .. .. .. .. .. .. .. ..  XB.............."),
       hexRefused, 2},
      {dump("      0000 .. 42 .. .. .. .. .. ..  .. .. .. .. .. .. .. ..  .B.............."),
       hexRefused, 2},
      {dump("      0000 41 42 .. .. .. .. .. .. .. .. .. .. .. .. .. ..  AB.............."),
       hexRefused, 2},
      // a dump without its empty line
      {{stamp + "Packet", "", kRuler, hex00, kRuler}, "", 2},
  };
  for (const auto& c : cases) {
    std::vector<std::string> lines = c.lines;
    SCOPED_TRACE(Join(lines).substr(0, 300));
    lines.push_back(stamp + "good");
    ReadResult read = ReadAll(Join(lines));
    EXPECT_EQ(Join(read.problems), c.problems);
    ASSERT_EQ(read.entries.size(), c.entries);
    EXPECT_EQ(read.entries.back().message, "good");
    EXPECT_EQ(read.entries.back().line, lines.size());
  }
}

TEST(LogParseGrammar, StampFields) {
  const struct {
    std::string line;
    std::string time;
    std::string module;
    unsigned long long thread;
  } cases[] = {
      {"[0999/01/31 00:00.60][ UNKNOWN] [ThreadId:0056] ", "0999-01-31T00:00:60", "UNKNOWN", 56},
      {"[2026/12/03 23:10.39][    ab  ] [ThreadId:4294967295] x", "2026-12-03T23:10:39", "ab  ",
       4294967295ull},
      {"[2026/12/03 23:10.39][]] [Thre] [ThreadId:1234567] x", "2026-12-03T23:10:39", "]] [Thre",
       1234567},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    LogEntry entry;
    EXPECT_EQ(orn::ParseStamp(c.line, entry), c.line.rfind("] ") + 2);
    EXPECT_EQ(entry.time, c.time);
    EXPECT_EQ(entry.module, c.module);
    EXPECT_EQ(entry.thread, c.thread);
  }
}

}  // namespace
