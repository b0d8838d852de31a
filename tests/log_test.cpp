// Log: the file's header, the line layout, levels, the cut at 2048 characters,
// blank lines, hex dumps, the console echo and assignment.
// These tests link the library's static twin (orn2_testing), so its classes
// are not imported from a DLL.
#ifndef ORN2_STATIC
#define ORN2_STATIC
#endif

#include <gtest/gtest.h>
#include <liborn2/liborn2.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "log/mutex_name.h"
#include "port/clock.h"
#include "port/process.h"
#include "support/temp_dir.h"

namespace {

using orn2::testing::ReadFileBytes;
using testing::internal::CaptureStderr;
using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStderr;
using testing::internal::GetCapturedStdout;

const std::string kHeader = "Orn Library: Generic Logging Routines\n2001-08-16, v1.01.03\n\n";
const std::string kMarker = "*** Logline Error: Excessive Line truncated ***\n";
const std::string kRuler =
    "     ------------------------------------------------------  ----------------\n";

std::string Tid() {
  char tag[32];
  std::snprintf(tag, sizeof tag, "[ThreadId:%04lu]", orn2::port::CurrentThreadId());
  return tag;
}

class LogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    orn2::port::SetTimeZone("UTC0");
    start_ = orn2::port::NowSeconds();
  }
  void TearDown() override { orn2::port::SetTimeZone(nullptr); }

  std::string Path(const std::string& name) const { return dir_.File(name); }
  static bool Exists(const std::string& path) { return std::filesystem::exists(path); }

  // Text with "\r\n" (a text-mode line end) read as "\n", and each time stamp
  // that opens a line as "[T]" when it names a second since the test began.
  std::string Masked(std::string text) const {
    for (size_t at; (at = text.find("\r\n")) != std::string::npos;) text.erase(at, 1);
    int64_t end = orn2::port::NowSeconds();
    for (size_t line = 0; line < text.size(); line = text.find('\n', line) + 1) {
      for (int64_t s = start_; s <= end; ++s) {
        std::tm tm{};
        orn2::port::LocalTime(s, &tm);
        char stamp[64];
        std::snprintf(stamp, sizeof stamp, "[%04d/%02d/%02d %02d:%02d.%02d]", tm.tm_year + 1900,
                      tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec);
        if (text.compare(line, 21, stamp) == 0) text.replace(line, 21, "[T]");
      }
      if (text.find('\n', line) == std::string::npos) break;
    }
    return text;
  }
  // The file after its header.
  std::string Body(const std::string& path) const {
    std::string text = Masked(ReadFileBytes(path));
    EXPECT_EQ(text.substr(0, kHeader.size()), kHeader);
    return text.substr(std::min(text.size(), kHeader.size()));
  }

  orn2::testing::TempDir dir_;
  int64_t start_ = 0;
};

TEST_F(LogTest, LineLayoutIsByteExact) {
  std::string path = Path("layout.log");
  Log log("Poller");
  EXPECT_EQ(log.LogLine(1, "before EnableLog"), 16);  // a new log writes nothing
  ASSERT_EQ(log.EnableLog(path.c_str(), 3), 0);
  EXPECT_EQ(log.LogLine(2, "Retry %d of %d", 3, 5), 12);
  EXPECT_EQ(log.LogLine(1, "Disk %s", "full"), 9);
  EXPECT_EQ(log.LogLine(0, "level zero"), 10);
  EXPECT_EQ(log.SetModule("SecondModule"), 0);
  EXPECT_EQ(log.LogLine(3, "%s", "cut module"), 10);
  std::string who = "[T][  Poller] " + Tid() + " ";
  EXPECT_EQ(Body(path), who + "*WARNING* Retry 3 of 5\n" + who + "**ERROR** Disk full\n" + who +
                            "level zero\n[T][SecondMo] " + Tid() + " cut module\n");

  struct Case {
    const char* module;
    const char* shown;
  };
  for (const Case& c :
       {Case{nullptr, "[ UNKNOWN]"}, Case{"", "[        ]"}, Case{"ABCDEFGH", "[ABCDEFGH]"}}) {
    Log named = c.module == nullptr ? Log() : Log(c.module);
    char prefix[Log::kPrefixSize];
    EXPECT_EQ(Masked(named.RightNow(prefix)), std::string("[T]") + c.shown + " " + Tid());
  }
}

TEST_F(LogTest, EnableLogCreatesTheFileWithItsHeaderOnce) {
  struct Case {
    bool existing;  // the file holds "old\n" beforehand
    int level, result;
    bool created, logs;  // the header was written; LogLine(1, ...) is written
  };
  const Case cases[] = {{false, 1, 0, true, true},      {true, 1, 0, false, true},
                        {false, 0, 0, false, false},    {false, 6, -101, true, false},
                        {false, -1, -101, true, false}, {true, 6, -101, false, false}};
  int index = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE("case " + std::to_string(index));
    std::string path = Path("h" + std::to_string(index++) + ".log");
    if (c.existing) orn2::testing::WriteFileBytes(path, "old\n");
    Log log("Mod");
    EXPECT_EQ(log.EnableLog(path.c_str(), c.level), c.result);
    EXPECT_EQ(log.LogLine(1, "hello"), 5);  // the length, written or not
    std::string expected = c.existing ? "old\n" : c.created ? kHeader : "";
    if (c.logs) expected += "[T][     Mod] " + Tid() + " **ERROR** hello\n";
    EXPECT_EQ(Exists(path), c.existing || c.created);
    if (Exists(path)) {
      EXPECT_EQ(Masked(ReadFileBytes(path)), expected);
    }
  }

  std::string base = Path("n");
  std::string name255 = base + std::string(255 - base.size(), 'x');
  Log log("M");
  EXPECT_EQ(log.EnableLog(name255.c_str(), 1), 0);
  EXPECT_EQ(log.EnableLog((name255 + "y").c_str(), 1), -100);
  EXPECT_FALSE(Exists(name255 + "y"));
  EXPECT_EQ(log.EnableLog("", 1), -100);
  EXPECT_EQ(log.EnableLog(nullptr, 1), -100);
  EXPECT_EQ(log.LogLine(1, "off"), 3);
  EXPECT_EQ(Body(name255), "");

  CaptureStderr();
  EXPECT_EQ(log.EnableLog(Path("missing/x.log").c_str(), 2), -100);
  EXPECT_EQ(GetCapturedStderr(), "EnableLog() Cannot access Logfile, Logging disabled");
}

TEST_F(LogTest, LevelMatrix) {
  // Per log level 0..5, per message level -1..5: W written (result: the
  // length), z not written (result 0), n not written (result: the length).
  const char* const rows[] = {"nnnnnzz", "WWWzzzz", "WWWWzzz", "WWWWWzz", "WWWWWWz", "WWWWWWW"};
  const char* const prefixes[] = {"", "", "**ERROR** ", "*WARNING* ", "", "", ""};
  for (int logLevel = 0; logLevel <= 5; ++logLevel) {
    std::string path = Path("level" + std::to_string(logLevel) + ".log");
    Log log("Lv");
    ASSERT_EQ(log.EnableLog(path.c_str(), logLevel), 0);
    std::string expected;
    for (int level = -1; level <= 5; ++level) {
      SCOPED_TRACE(std::to_string(logLevel) + "/" + std::to_string(level));
      char outcome = rows[logLevel][level + 1];
      std::string message = "message " + std::to_string(level);
      EXPECT_EQ(log.LogLine(level, "message %d", level),
                outcome == 'z' ? 0 : static_cast<int>(message.size()));
      if (outcome == 'W')
        expected += "[T][      Lv] " + Tid() + " " + prefixes[level + 1] + message + "\n";
    }
    if (logLevel > 0) {
      EXPECT_EQ(Body(path), expected);
    }
    EXPECT_EQ(Exists(path), logLevel > 0);
  }
}

TEST_F(LogTest, MessagesAreCutAt2048CharactersWithAMarker) {
  std::string path = Path("cut.log");
  Log log("Cut", 1);
  ASSERT_EQ(log.EnableLog(path.c_str(), 3), 0);
  std::string whole = std::string(2047, 'a') + "z";
  CaptureStdout();
  EXPECT_EQ(log.LogLine(1, "%s", whole.c_str()), 2048);
  EXPECT_EQ(log.LogLine(1, "%sb", whole.c_str()), -1);
  std::string echo = GetCapturedStdout();
  std::string who = "[T][     Cut] " + Tid() + " ";
  EXPECT_EQ(Body(path),
            who + "**ERROR** " + whole + "\n" + who + kMarker + "**ERROR** " + whole + "\n");
  EXPECT_EQ(Masked(echo), who + whole + "\n" + who + kMarker + whole + "\n");
}

TEST_F(LogTest, DumpLayoutIsByteExact) {
  struct Case {
    std::string data;
    const char* title;
    std::string lines;  // the hex lines
  };
  const Case cases[] = {
      {std::string("ABC\x01", 4), "Packet",  // the documented example
       "      0000 41 42 43 01 .. .. .. ..  .. .. .. .. .. .. .. ..  ABC.............\n"},
      {"", "Empty", ""},
      {std::string("\x00\x1f %d\x7e\x7f\x80\xff"
                   "ABCDEFGZ",
                   17),
       "50%s %d",
       "      0000 00 1F 20 25 64 7E 7F 80  FF 41 42 43 44 45 46 47  .. %d~...ABCDEFG\n"
       "      0010 5A .. .. .. .. .. .. ..  .. .. .. .. .. .. .. ..  Z...............\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.title);
    std::string path = Path(std::string("dump") + c.title[0] + ".log");
    Log log("Poller");
    ASSERT_EQ(log.EnableLog(path.c_str(), 4), 0);
    std::string data = c.data;
    log.Dump(&data[0], static_cast<int>(data.size()), c.title);
    EXPECT_EQ(Body(path),
              "[T][  Poller] " + Tid() + " " + c.title + "\n\n" + kRuler + c.lines + kRuler + "\n");
  }
  std::string off = Path("off.log");
  Log log("Off");
  ASSERT_EQ(log.EnableLog(off.c_str(), 3), 0);
  log.Dump(&off[0], 4, "not at level 3");
  EXPECT_EQ(Body(off), "");
}

TEST_F(LogTest, DumpOf384BytesFitsUnderAnEighteenCharacterTitle) {
  std::vector<char> data(20000, 'A');
  for (int i = 0; i < 385; ++i) data[i] = static_cast<char>(i);
  const std::string title = "Eighteen char text";
  std::string who = "[T][    Dump] " + Tid() + " ";
  struct Case {
    int length;
    std::string title, head, tail;  // head after `who`, tail before the final line end
  };
  const Case cases[] = {
      {384, title, title + "\n\n" + kRuler,
       "      0170 70 71 72 73 74 75 76 77  78 79 7A 7B 7C 7D 7E 7F  pqrstuvwxyz{|}~.\n" + kRuler},
      // One byte more: the message is cut and marked and loses its closing ruler.
      {385, title, kMarker + title + "\n\n" + kRuler,
       "      0180 80 .. .. .. .. .. .. ..  .. .. .. .. .. .. .. ..  ................\n"},
      {20000, std::string(9000, 't'), kMarker + std::string(2048, 't'), ""},  // cut title
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.length);
    std::string path = Path("d" + std::to_string(c.length) + ".log");
    Log log("Dump");
    ASSERT_EQ(log.EnableLog(path.c_str(), 5), 0);
    log.Dump(data.data(), c.length, c.title.c_str());
    std::string body = Body(path);
    std::string message = who + c.head;
    ASSERT_EQ(body.substr(0, message.size()), message);
    ASSERT_EQ(body.size(), who.size() + (c.length == 384 ? 0 : kMarker.size()) + 2048 + 1);
    EXPECT_EQ(body.substr(body.size() - c.tail.size() - 1), c.tail + "\n");
  }
}

TEST_F(LogTest, LogBlankAndTheEcho) {
  std::string path = Path("blank.log");
  Log log("Poller", 1);
  ASSERT_EQ(log.EnableLog(path.c_str(), 3), 0);
  CaptureStdout();
  CaptureStderr();
  log.LogLine(2, "Retry %d of %d", 3, 5);
  log.LogLine(4, "not at level 3");
  EXPECT_EQ(log.LogBlank(), 0);
  std::string out = Masked(GetCapturedStdout());
  EXPECT_EQ(Masked(GetCapturedStderr()), "\n");
  std::string who = "[T][  Poller] " + Tid() + " ";
  EXPECT_EQ(out, who + "Retry 3 of 5\n");  // no level prefix on the console
  EXPECT_EQ(Body(path), who + "*WARNING* Retry 3 of 5\n\n");

  // Removed behind the log's back: the short header, and no empty line.
  ASSERT_EQ(std::remove(path.c_str()), 0);
  CaptureStderr();
  EXPECT_EQ(log.LogBlank(), 0);
  GetCapturedStderr();
  EXPECT_EQ(Masked(ReadFileBytes(path)), kHeader.substr(0, kHeader.size() - 1));

  // Not even creatable: -1, and logging stops.
  std::filesystem::remove_all(dir_.path());
  CaptureStdout();
  EXPECT_EQ(log.LogBlank(), -1);
  std::filesystem::create_directory(dir_.path());
  EXPECT_EQ(log.LogLine(1, "off"), 3);
  EXPECT_EQ(GetCapturedStdout(), "");
  EXPECT_FALSE(Exists(path));
}

TEST_F(LogTest, AssignmentSharesOneMutexWithOneOwner) {
  std::string path = Path("b.log");
  Log target("Alpha", 1);
  ASSERT_EQ(target.EnableLog(Path("a.log").c_str(), 1), 0);
  CaptureStdout();
  {
    Log source("Beta");
    ASSERT_EQ(source.EnableLog(path.c_str(), 3), 0);
    target = source;
    target = target;
    source.LogLine(3, "source");
  }
  target.LogLine(3, "target");  // the source's mutex outlives it
  EXPECT_EQ(Masked(GetCapturedStdout()), "[T][    Beta] " + Tid() + " target\n");
  EXPECT_EQ(Body(path), "[T][    Beta] " + Tid() + " source\n[T][    Beta] " + Tid() + " target\n");
  std::vector<Log> logs(3);  // destroyed in any order, each mutex is freed once
  logs[1] = logs[0];
  logs[0] = logs[2];
  logs[2] = logs[1];
  logs.erase(logs.begin());
}

TEST(LogMutexName, OneValidNameOfAtMost127CharactersPerFile) {
  auto nameOf = [](const std::string& file) {
    char name[orn2::log::kMutexNameMax + 1];
    orn2::log::MutexNameForFile(file.c_str(), name);
    return std::string(name);
  };
  std::string longA = std::string(120, 'p') + "A" + std::string(134, 'q');
  std::string longB = std::string(120, 'p') + "B" + std::string(134, 'q');
  EXPECT_EQ(nameOf("C:\\agent\\poller.log").substr(24), "C__agent_poller.log");
  EXPECT_EQ(nameOf(longA), nameOf(longA));
  EXPECT_NE(nameOf(longA), nameOf(longB));
  EXPECT_NE(nameOf("a/b.log"), nameOf("a_b.log"));
  EXPECT_EQ(nameOf(longA).size(), orn2::log::kMutexNameMax);
}

}  // namespace
