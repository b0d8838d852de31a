// Log: the file's header, the line layout, levels, the cut at 2048 characters,
// blank lines, hex dumps, the console echo and assignment.
#include <gtest/gtest.h>
#include <liborn2/liborn2.h>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "log/dump_text.h"
#include "log/mutex_name.h"
#include "port/clock.h"
#include "port/process.h"
#include "support/temp_dir.h"

namespace {

using orn2::testing::ReadFileBytes;
using orn2::testing::TempDir;
using orn2::testing::WriteFileBytes;

const std::string kHeader = "Orn Library: Generic Logging Routines\n2001-08-16, v1.01.03\n\n";
const std::string kShortHeader = "Orn Library: Generic Logging Routines\n2001-08-16, v1.01.03\n";
const std::string kMarker = "*** Logline Error: Excessive Line truncated ***\n";
const std::string kRuler =
    "     ------------------------------------------------------  ----------------\n";

std::string ThreadTag() {
  char tag[32];
  std::snprintf(tag, sizeof tag, "[ThreadId:%04lu]", orn2::port::CurrentThreadId());
  return tag;
}

// The stamp of a second in the zone set by the test.
std::string StampAt(int64_t seconds) {
  std::tm tm{};
  orn2::port::LocalTime(seconds, &tm);
  char stamp[64];
  std::snprintf(stamp, sizeof stamp, "[%04d/%02d/%02d %02d:%02d.%02d]", tm.tm_year + 1900,
                tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec);
  return stamp;
}

class LogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    orn2::port::SetTimeZone("UTC0");
    start_ = orn2::port::NowSeconds();
    // The text-mode line end of this platform, as the runtime writes it.
    std::string probe = dir_.File("probe");
    FILE* file = std::fopen(probe.c_str(), "wt");
    ASSERT_NE(file, nullptr);
    std::fputs("\n", file);
    std::fclose(file);
    lineEnd_ = ReadFileBytes(probe);
    std::remove(probe.c_str());
  }
  void TearDown() override { orn2::port::SetTimeZone(nullptr); }

  std::string Path(const char* name) const { return dir_.File(name); }

  // Text with the platform's line ends turned into "\n"; a stray line end of
  // the other kind fails the test.
  std::string Normalise(const std::string& bytes) const {
    std::string text;
    for (size_t i = 0; i < bytes.size(); ++i) {
      if (bytes.compare(i, lineEnd_.size(), lineEnd_) == 0) {
        text += '\n';
        i += lineEnd_.size() - 1;
      } else {
        EXPECT_NE(bytes[i], '\n') << "bare line feed at " << i;
        EXPECT_NE(bytes[i], '\r') << "bare carriage return at " << i;
        text += bytes[i];
      }
    }
    return text;
  }

  // Every time stamp that opens a line becomes "[T]" when it names a second
  // since the test began, "[BAD TIME]" otherwise.
  std::string MaskStamps(const std::string& text) const {
    static const char kPattern[] = "[####/##/## ##:##.##]";
    const size_t width = sizeof kPattern - 1;
    int64_t end = orn2::port::NowSeconds();
    std::string out;
    size_t pos = 0;
    while (pos < text.size()) {
      size_t next = text.find('\n', pos);
      next = next == std::string::npos ? text.size() : next + 1;
      std::string line = text.substr(pos, next - pos);
      bool shaped = line.size() >= width;
      for (size_t i = 0; shaped && i < width; ++i)
        shaped = kPattern[i] == '#' ? (line[i] >= '0' && line[i] <= '9') : line[i] == kPattern[i];
      if (shaped) {
        bool inWindow = false;
        for (int64_t s = start_; s <= end && !inWindow; ++s)
          inWindow = line.compare(0, width, StampAt(s)) == 0;
        line.replace(0, width, inWindow ? "[T]" : "[BAD TIME]");
      }
      out += line;
      pos = next;
    }
    return out;
  }

  // The file's text after its header, stamps masked.
  std::string Body(const std::string& path) const {
    std::string text = Normalise(ReadFileBytes(path));
    EXPECT_EQ(text.compare(0, kHeader.size(), kHeader), 0) << text;
    return MaskStamps(text.size() >= kHeader.size() ? text.substr(kHeader.size()) : text);
  }

  static bool Exists(const std::string& path) { return std::filesystem::exists(path); }

  TempDir dir_;
  int64_t start_ = 0;
  std::string lineEnd_;
};

TEST_F(LogTest, LinesCarryStampModuleThreadAndLevelPrefix) {
  std::string path = Path("layout.log");
  Log log("Poller");
  ASSERT_EQ(log.EnableLog(path.c_str(), 3), 0);
  EXPECT_EQ(log.LogLine(2, "Retry %d of %d", 3, 5), 12);
  EXPECT_EQ(log.LogLine(1, "Disk %s", "full"), 9);
  EXPECT_EQ(log.LogLine(3, "plain"), 5);
  EXPECT_EQ(log.LogLine(0, "level zero"), 10);
  EXPECT_EQ(log.LogLine(-7, "below zero"), 10);
  EXPECT_EQ(log.LogLine(1, "%s", ""), 0);

  std::string who = "[T][  Poller] " + ThreadTag() + " ";
  EXPECT_EQ(Body(path), who + "*WARNING* Retry 3 of 5\n" + who + "**ERROR** Disk full\n" + who +
                            "plain\n" + who + "level zero\n" + who + "below zero\n" + who +
                            "**ERROR** \n");
}

TEST_F(LogTest, ModuleNamesAreCutToEightAndRightAligned) {
  struct Case {
    const char* module;  // null: the default
    const char* shown;
  };
  const Case cases[] = {
      {nullptr, "[ UNKNOWN]"},       {"Poller", "[  Poller]"}, {"ABCDEFGH", "[ABCDEFGH]"},
      {"ABCDEFGHIJK", "[ABCDEFGH]"}, {"", "[        ]"},       {"a b", "[     a b]"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.shown);
    Log log = c.module == nullptr ? Log() : Log(c.module);
    char prefix[Log::kPrefixSize];
    ASSERT_EQ(log.RightNow(prefix), prefix);
    EXPECT_EQ(MaskStamps(prefix), std::string("[T]") + c.shown + " " + ThreadTag());
  }

  // SetModule changes the lines that follow.
  std::string path = Path("module.log");
  Log log("First");
  ASSERT_EQ(log.EnableLog(path.c_str(), 1), 0);
  log.LogLine(1, "one");
  EXPECT_EQ(log.SetModule("SecondModule"), 0);
  log.LogLine(1, "two");
  EXPECT_EQ(Body(path), "[T][   First] " + ThreadTag() + " **ERROR** one\n[T][SecondMo] " +
                            ThreadTag() + " **ERROR** two\n");
}

TEST_F(LogTest, ThreadIdIsTheCallingThreadsSystemId) {
  std::string path = Path("threads.log");
  Log log("T");
  ASSERT_EQ(log.EnableLog(path.c_str(), 3), 0);
  std::string otherTag;
  std::thread([&] {
    otherTag = ThreadTag();
    log.LogLine(3, "from the other thread");
  }).join();
  log.LogLine(3, "from the test");
  EXPECT_NE(otherTag, ThreadTag());
  EXPECT_EQ(Body(path), "[T][       T] " + otherTag + " from the other thread\n[T][       T] " +
                            ThreadTag() + " from the test\n");
}

TEST_F(LogTest, EnableLogCreatesTheFileWithItsHeaderOnce) {
  struct Case {
    const char* name;
    bool existing;  // the file holds "old line\n" beforehand
    int level;
    int result;
    bool created;  // a missing file is there afterwards with the header
    bool logs;     // LogLine(1, ...) is written afterwards
  };
  const Case cases[] = {
      {"missing, level 1", false, 1, 0, true, true},
      {"existing, level 1", true, 1, 0, false, true},
      {"missing, level 5", false, 5, 0, true, true},
      {"missing, level 0", false, 0, 0, false, false},
      {"existing, level 0", true, 0, 0, false, false},
      {"missing, level 6", false, 6, -101, true, false},
      {"missing, level -1", false, -1, -101, true, false},
      {"existing, level 6", true, 6, -101, false, false},
  };
  int index = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::string path = Path(("header" + std::to_string(index++) + ".log").c_str());
    if (c.existing) WriteFileBytes(path, "old line" + lineEnd_);
    Log log("Mod");
    EXPECT_EQ(log.EnableLog(path.c_str(), c.level), c.result);
    // Whether or not the line is written, the result is the message's length.
    EXPECT_EQ(log.LogLine(1, "hello"), 5);

    std::string expected = c.existing ? "old line\n" : c.created ? kHeader : "";
    if (c.logs) expected += "[T][     Mod] " + ThreadTag() + " **ERROR** hello\n";
    if (!c.existing && !c.created) {
      EXPECT_FALSE(Exists(path));
    } else {
      EXPECT_EQ(MaskStamps(Normalise(ReadFileBytes(path))), expected);
    }
  }
}

TEST_F(LogTest, EnableLogRefusesBadFileNames) {
  std::string good = Path("good.log");
  std::string base = Path("n");
  ASSERT_LT(base.size(), 250u) << "temporary directory path too long for this test";
  std::string name255 = base + std::string(255 - base.size(), 'x');
  std::string name256 = name255 + "y";

  Log log("M");
  EXPECT_EQ(log.EnableLog(name255.c_str(), 1), 0);
  EXPECT_TRUE(Exists(name255));
  EXPECT_EQ(log.EnableLog(name256.c_str(), 1), -100);
  EXPECT_FALSE(Exists(name256));
  EXPECT_EQ(log.EnableLog(nullptr, 1), -100);
  EXPECT_EQ(log.EnableLog("", 1), -100);

  // A refused name turns logging off and leaves the previous file alone.
  ASSERT_EQ(log.EnableLog(good.c_str(), 1), 0);
  EXPECT_EQ(log.EnableLog("", 1), -100);
  EXPECT_EQ(log.LogLine(1, "dropped"), 7);
  EXPECT_EQ(Body(good), "");
}

TEST_F(LogTest, EnableLogReportsAFileThatCannotBeCreated) {
  std::string path = Path("no-such-dir/x.log");
  Log log("M");
  testing::internal::CaptureStderr();
  EXPECT_EQ(log.EnableLog(path.c_str(), 2), -100);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "EnableLog() Cannot access Logfile, Logging disabled");
  EXPECT_EQ(log.LogLine(1, "dropped"), 7);

  // Level 0 does not try to create the file, so there is nothing to report.
  testing::internal::CaptureStderr();
  EXPECT_EQ(log.EnableLog(path.c_str(), 0), 0);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}

TEST_F(LogTest, LevelMatrix) {
  // Per log level, per message level -1..5: W written (result: the length),
  // z not written and result 0, n not written and result the length.
  const char* const rows[] = {
      /* 0 */ "nnnnnzz",
      /* 1 */ "WWWzzzz",
      /* 2 */ "WWWWzzz",
      /* 3 */ "WWWWWzz",
      /* 4 */ "WWWWWWz",
      /* 5 */ "WWWWWWW",
  };
  const char* const prefixes[] = {"", "", "**ERROR** ", "*WARNING* ", "", "", ""};
  for (int logLevel = 0; logLevel <= 5; ++logLevel) {
    std::string path = Path(("level" + std::to_string(logLevel) + ".log").c_str());
    Log log("Lv");
    ASSERT_EQ(log.EnableLog(path.c_str(), logLevel), 0);
    std::string expected;
    for (int messageLevel = -1; messageLevel <= 5; ++messageLevel) {
      SCOPED_TRACE("log level " + std::to_string(logLevel) + ", message level " +
                   std::to_string(messageLevel));
      char outcome = rows[logLevel][messageLevel + 1];
      std::string message = "message " + std::to_string(messageLevel);
      int length = static_cast<int>(message.size());
      EXPECT_EQ(log.LogLine(messageLevel, "message %d", messageLevel), outcome == 'z' ? 0 : length);
      if (outcome == 'W')
        expected +=
            "[T][      Lv] " + ThreadTag() + " " + prefixes[messageLevel + 1] + message + "\n";
    }
    SCOPED_TRACE("log level " + std::to_string(logLevel));
    if (logLevel == 0)
      EXPECT_FALSE(Exists(path));
    else
      EXPECT_EQ(Body(path), expected);
  }
}

TEST_F(LogTest, MessagesAreCutAt2048CharactersWithAMarker) {
  std::string path = Path("cut.log");
  Log log("Cut");
  ASSERT_EQ(log.EnableLog(path.c_str(), 3), 0);
  std::string whole(2048, 'a');
  whole[2047] = 'z';
  std::string longer = whole + "b";

  EXPECT_EQ(log.LogLine(1, "%s", whole.c_str()), 2048);
  EXPECT_EQ(log.LogLine(1, "%s", longer.c_str()), -1);
  // The cut also applies to what the format expands to.
  EXPECT_EQ(log.LogLine(3, "%s%d", whole.c_str(), 12345), -1);
  std::string who = "[T][     Cut] " + ThreadTag() + " ";
  EXPECT_EQ(Body(path), who + "**ERROR** " + whole + "\n" + who + kMarker + "**ERROR** " + whole +
                            "\n" + who + kMarker + whole + "\n");

  // A log that is off still reports the cut.
  Log off("Off");
  EXPECT_EQ(off.LogLine(1, "%s", longer.c_str()), -1);
  EXPECT_EQ(off.LogLine(1, "%s", whole.c_str()), 2048);
}

TEST_F(LogTest, NewLogWritesNothingUntilEnabled) {
  Log log("New");
  testing::internal::CaptureStdout();
  EXPECT_EQ(log.LogLine(1, "abc"), 3);
  EXPECT_EQ(log.LogBlank(), 0);
  char data[4] = {1, 2, 3, 4};
  log.Dump(data, 4, "title");
  log.SysLog(1, data);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  EXPECT_TRUE(std::filesystem::is_empty(dir_.path()));
}

TEST_F(LogTest, LogBlankAppendsAnEmptyLineOrRecreatesTheFile) {
  std::string path = Path("blank.log");
  Log log("Blank");
  ASSERT_EQ(log.EnableLog(path.c_str(), 1), 0);
  log.LogLine(1, "before");
  EXPECT_EQ(log.LogBlank(), 0);
  log.LogLine(1, "after");
  std::string who = "[T][   Blank] " + ThreadTag() + " **ERROR** ";
  EXPECT_EQ(Body(path), who + "before\n\n" + who + "after\n");

  // Removed behind the log's back: the short header, and no empty line.
  ASSERT_EQ(std::remove(path.c_str()), 0);
  EXPECT_EQ(log.LogBlank(), 0);
  EXPECT_EQ(Normalise(ReadFileBytes(path)), kShortHeader);
  EXPECT_EQ(log.LogBlank(), 0);
  EXPECT_EQ(Normalise(ReadFileBytes(path)), kShortHeader + "\n");

  // Level 0: nothing at all.
  std::string quiet = Path("quiet.log");
  Log off("Off");
  ASSERT_EQ(off.EnableLog(quiet.c_str(), 0), 0);
  EXPECT_EQ(off.LogBlank(), 0);
  EXPECT_FALSE(Exists(quiet));
}

TEST_F(LogTest, LogBlankThatCannotRecreateTheFileTurnsLoggingOff) {
  std::string folder = Path("sub");
  std::filesystem::create_directory(folder);
  std::string path = folder + "/gone.log";
  Log log("Gone");
  ASSERT_EQ(log.EnableLog(path.c_str(), 1), 0);
  std::filesystem::remove_all(folder);

  EXPECT_EQ(log.LogBlank(), -1);
  std::filesystem::create_directory(folder);
  EXPECT_EQ(log.LogLine(1, "not written"), 11);
  EXPECT_EQ(log.LogBlank(), 0);
  EXPECT_FALSE(Exists(path));
}

TEST_F(LogTest, DumpLayoutIsByteExact) {
  std::string ruler = kRuler;
  struct Case {
    const char* name;
    std::string data;
    const char* title;
    std::string text;  // after the stamp, module and thread
  };
  const Case cases[] = {
      {"the documented example", std::string("ABC\x01", 4), "Packet",
       "Packet\n\n" + ruler +
           "      0000 41 42 43 01 .. .. .. ..  .. .. .. .. .. .. .. ..  ABC.............\n" +
           ruler + "\n"},
      {"no bytes", "", "Empty", "Empty\n\n" + ruler + ruler + "\n"},
      {"17 bytes with a per-cent sign",
       std::string("\x00\x1f %d\x7e\x7f\x80\xff"
                   "ABCDEFGZ",
                   17),
       "Load 50%s %d",
       "Load 50%s %d\n\n" + ruler +
           "      0000 00 1F 20 25 64 7E 7F 80  FF 41 42 43 44 45 46 47  .. %d~...ABCDEFG\n" +
           "      0010 5A .. .. .. .. .. .. ..  .. .. .. .. .. .. .. ..  Z...............\n" +
           ruler + "\n"},
      {"exactly 16 bytes", "0123456789abcdef", "",
       "\n\n" + ruler +
           "      0000 30 31 32 33 34 35 36 37  38 39 61 62 63 64 65 66  0123456789abcdef\n" +
           ruler + "\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::string path = Path("dump.log");
    std::remove(path.c_str());
    Log log("Poller");
    ASSERT_EQ(log.EnableLog(path.c_str(), 4), 0);
    std::string data = c.data;
    log.Dump(data.empty() ? nullptr : &data[0], static_cast<int>(data.size()), c.title);
    EXPECT_EQ(Body(path), "[T][  Poller] " + ThreadTag() + " " + c.text);
  }
}

TEST_F(LogTest, DumpOf384BytesFitsWholeUnderAnEighteenCharacterTitle) {
  std::vector<char> data(385);
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>(i);
  const char* title = "Eighteen char text";
  std::string who = "[T][    Dump] " + ThreadTag() + " ";

  std::string path = Path("dump384.log");
  Log log("Dump");
  ASSERT_EQ(log.EnableLog(path.c_str(), 5), 0);
  log.Dump(data.data(), 384, title);
  std::string body = Body(path);
  ASSERT_EQ(body.compare(0, who.size(), who), 0) << body;
  std::string text = body.substr(who.size());
  EXPECT_EQ(text.size(), 2048u + 1u);  // the message is exactly 2048 characters
  EXPECT_EQ(text.find(kMarker), std::string::npos);
  EXPECT_EQ(text.compare(0, 20 + kRuler.size(), std::string(title) + "\n\n" + kRuler), 0);
  std::string tail =
      "      0170 70 71 72 73 74 75 76 77  78 79 7A 7B 7C 7D 7E 7F  pqrstuvwxyz{|}~.\n" + kRuler +
      "\n";
  EXPECT_EQ(text.substr(text.size() - tail.size()), tail);

  // One byte more overflows the message: cut, marked, the closing ruler lost.
  std::string cutPath = Path("dump385.log");
  Log cut("Dump");
  ASSERT_EQ(cut.EnableLog(cutPath.c_str(), 4), 0);
  cut.Dump(data.data(), 385, title);
  body = Body(cutPath);
  ASSERT_EQ(body.compare(0, who.size() + kMarker.size(), who + kMarker), 0) << body;
  text = body.substr(who.size() + kMarker.size());
  EXPECT_EQ(text.size(), 2048u + 1u);
  tail = "      0180 80 .. .. .. .. .. .. ..  .. .. .. .. .. .. .. ..  ................\n\n";
  EXPECT_EQ(text.substr(text.size() - tail.size()), tail);
}

TEST_F(LogTest, DumpIsALevelFourLine) {
  char data[3] = {'a', 'b', 'c'};
  std::string path = Path("dumplevel.log");
  Log log("Lv");
  ASSERT_EQ(log.EnableLog(path.c_str(), 3), 0);
  log.Dump(data, 3, "off at level 3");
  EXPECT_EQ(Body(path), "");
}

TEST(LogDumpText, StopsWhereTheBufferEndsAndCutsLongTitles) {
  std::vector<unsigned char> data(10000, 0x41);
  std::vector<char> text(Log::kDumpSize + 16, '#');
  const size_t line = kRuler.size();

  size_t length = orn2::log::BuildDumpText(data.data(), 10000, "T", text.data(), Log::kDumpSize);
  ASSERT_LT(length, static_cast<size_t>(Log::kDumpSize));
  EXPECT_EQ(std::string(text.data()).size(), length);
  EXPECT_EQ(std::string(text.data() + length - line, line), kRuler);
  // One more hex line and the ruler would not have fitted with the terminator.
  EXPECT_GE(length + line + 1, static_cast<size_t>(Log::kDumpSize));
  EXPECT_EQ((length - 2 - 2 * line) % line, 1u);
  EXPECT_EQ(text[Log::kDumpSize], '#');  // nothing written past the buffer

  std::string title(20000, 't');
  length = orn2::log::BuildDumpText(data.data(), 10000, title.c_str(), text.data(), Log::kDumpSize);
  ASSERT_LT(length, static_cast<size_t>(Log::kDumpSize));
  std::string whole(text.data(), length);
  EXPECT_EQ(whole.find('\n'), whole.find_first_not_of('t'));
  EXPECT_EQ(whole.substr(whole.size() - 3 * line),
            kRuler +
                "      0000 41 41 41 41 41 41 41 41  41 41 41 41 41 41 41 41  AAAAAAAAAAAAAAAA\n" +
                kRuler);
  EXPECT_EQ(text[Log::kDumpSize], '#');
}

TEST_F(LogTest, EchoPrintsLinesOnStdoutWithoutLevelPrefix) {
  std::string path = Path("echo.log");
  Log log("Poller", 1);
  ASSERT_EQ(log.EnableLog(path.c_str(), 3), 0);
  std::string longer(2049, 'x');

  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  log.LogLine(2, "Retry %d of %d", 3, 5);
  log.LogLine(4, "not on at level 3");
  log.LogLine(1, "%s", longer.c_str());
  EXPECT_EQ(log.LogBlank(), 0);
  std::string out = testing::internal::GetCapturedStdout();
  std::string err = testing::internal::GetCapturedStderr();

  // The capture may or may not translate line ends; compare without them.
  auto strip = [](std::string s) {
    s.erase(std::remove(s.begin(), s.end(), '\r'), s.end());
    return s;
  };
  std::string who = "[T][  Poller] " + ThreadTag() + " ";
  EXPECT_EQ(MaskStamps(strip(out)),
            who + "Retry 3 of 5\n" + who + kMarker + std::string(2048, 'x') + "\n");
  EXPECT_EQ(strip(err), "\n");
  EXPECT_EQ(Body(path), who + "*WARNING* Retry 3 of 5\n" + who + kMarker + "**ERROR** " +
                            std::string(2048, 'x') + "\n\n");

  // The console line is printed even when the file cannot be opened.
  std::string folder = Path("sub");
  std::filesystem::create_directory(folder);
  std::string lost = folder + "/lost.log";
  Log gone("Gone", 1);
  ASSERT_EQ(gone.EnableLog(lost.c_str(), 1), 0);
  std::filesystem::remove_all(folder);
  testing::internal::CaptureStdout();
  EXPECT_EQ(gone.LogLine(1, "still shown"), 11);
  EXPECT_EQ(MaskStamps(strip(testing::internal::GetCapturedStdout())),
            "[T][    Gone] " + ThreadTag() + " still shown\n");

  // Without echo the console stays quiet.
  Log quiet("Quiet");
  ASSERT_EQ(quiet.EnableLog(path.c_str(), 3), 0);
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  quiet.LogLine(1, "file only");
  quiet.LogBlank();
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}

TEST_F(LogTest, AssignmentCopiesSettingsAndSharesTheMutex) {
  std::string pathA = Path("a.log");
  std::string pathB = Path("b.log");
  Log target("Alpha", 1);
  ASSERT_EQ(target.EnableLog(pathA.c_str(), 1), 0);
  {
    Log source("Beta");
    ASSERT_EQ(source.EnableLog(pathB.c_str(), 3), 0);
    target = source;
    target = target;
    source.LogLine(3, "from the source");
    testing::internal::CaptureStdout();
    target.LogLine(3, "from the target");  // level 3 passes: the level was copied
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("[    Beta] "), std::string::npos) << out;  // echo stays on
  }
  // The source is gone; the mutex it shared lives on with the target.
  testing::internal::CaptureStdout();
  target.LogLine(2, "after the source");
  testing::internal::GetCapturedStdout();
  std::string who = "[T][    Beta] " + ThreadTag() + " ";
  EXPECT_EQ(Body(pathB), who + "from the source\n" + who + "from the target\n" + who +
                             "*WARNING* after the source\n");
  EXPECT_EQ(Body(pathA), "");

  // Chains of assignments, destroyed in any order, free each mutex once.
  std::vector<Log> logs(4);
  for (Log& log : logs) log.EnableLog(pathA.c_str(), 0);
  logs[1] = logs[0];
  logs[2] = logs[1];
  logs[0] = logs[3];
  logs[3] = logs[2];
  logs.erase(logs.begin() + 1);
}

TEST_F(LogTest, ThreadsSharingOneFileWriteWholeLines) {
  std::string path = Path("threads.log");
  Log shared("Shared");
  ASSERT_EQ(shared.EnableLog(path.c_str(), 3), 0);
  constexpr int kThreads = 4;
  constexpr int kLines = 500;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      Log own("Own");
      own.EnableLog(path.c_str(), 3);
      for (int i = 0; i < kLines; ++i) {
        shared.LogLine(3, "shared %d %d %s", t, i, std::string(100, 's').c_str());
        own.LogLine(3, "own %d %d %s", t, i, std::string(100, 'o').c_str());
      }
    });
  }
  for (std::thread& thread : threads) thread.join();

  std::string body = Body(path);
  std::vector<int> next(2 * kThreads, 0);
  size_t pos = 0;
  int lines = 0;
  while (pos < body.size()) {
    size_t end = body.find('\n', pos);
    ASSERT_NE(end, std::string::npos);
    std::string line = body.substr(pos, end - pos);
    pos = end + 1;
    char kind[8] = {};
    char module[16] = {};
    unsigned long tid = 0;
    int t = -1, i = -1, consumed = 0;
    ASSERT_EQ(std::sscanf(line.c_str(), "[T][%15[^]]] [ThreadId:%lu] %7s %d %d %n", module, &tid,
                          kind, &t, &i, &consumed),
              5)
        << line;
    std::string kindText = kind;
    ASSERT_TRUE(t >= 0 && t < kThreads) << line;
    int slot = 2 * t + (kindText == "own" ? 1 : 0);
    EXPECT_EQ(i, next[slot]++) << line;
    EXPECT_EQ(line.substr(consumed), std::string(100, kindText == "own" ? 'o' : 's')) << line;
    ++lines;
  }
  EXPECT_EQ(lines, 2 * kThreads * kLines);
}

TEST(LogMutexName, OneValidNamePerFileSpelling) {
  auto nameOf = [](const std::string& file) {
    char name[orn2::log::kMutexNameMax + 1];
    orn2::log::MutexNameForFile(file.c_str(), name);
    return std::string(name);
  };
  std::string middleA = std::string(120, 'p') + "A" + std::string(134, 'q');
  std::string middleB = std::string(120, 'p') + "B" + std::string(134, 'q');
  const std::string files[] = {
      "C:\\agent\\logs\\poller.log",
      "/var/log/agent/poller.log",
      "poller.log",
      "Poller.log",
      "dir with blanks/\xe9t\xe9.log",
      middleA,
      middleB,
      "",
  };
  std::vector<std::string> seen;
  for (const std::string& file : files) {
    SCOPED_TRACE(file);
    std::string name = nameOf(file);
    EXPECT_EQ(name, nameOf(file));  // every writer derives the same name
    EXPECT_LE(name.size(), orn2::log::kMutexNameMax);
    EXPECT_EQ(name.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"
                                     "0123456789._-"),
              std::string::npos);
    for (const std::string& other : seen) EXPECT_NE(name, other);
    seen.push_back(name);
  }
  // The file's own name stays readable at the end.
  EXPECT_EQ(nameOf("C:\\agent\\logs\\poller.log").substr(24), "C__agent_logs_poller.log");
}

}  // namespace
