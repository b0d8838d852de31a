// Log: the file's header, the line layout, levels, the cut at 2048 characters,
// blank lines, hex dumps, the console echo and assignment; a line cut by a
// writer that dies holding the file's named mutex is cut back by the next
// owner (many writers of one file: log_rotation_test); another user's drop-box log
// is appended to, never emptied, and a link another user put at the log's
// name is not followed.
#include <gtest/gtest.h>
#include <liborn2/liborn2.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <future>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "log/log_file.h"
#include "port/clock.h"
#include "port/process.h"
#include "support/child.h"
#include "support/hostile.h"
#include "support/log_lines.h"
#include "support/odd_files.h"
#include "support/system.h"
#include "support/temp_dir.h"
#include "support/time_factor.h"
#include "support/watchdog.h"

namespace {

namespace gi = testing::internal;
using orn2::testing::ChildProcess;
using orn2::testing::ExitCodeOf;
using orn2::testing::ExpectEveryLineOnceInOrder;
using orn2::testing::kLogError;
using orn2::testing::kLogWarning;
using orn2::testing::ReadFileBytes;
using std::filesystem::exists;

const std::string kHeader = orn2::testing::kLogHeader;
const std::string kMarker = orn2::testing::kLogMarker + std::string("\n\t|");
const std::string kRuler = orn2::testing::kLogRuler + std::string("\n");

class LogTest : public orn2::testing::LogFileTest {
 protected:
  // Three hours east of UTC, without daylight saving: time stamps show UTC + 3.
  void SetUp() override { orn2::testing::SetTimeZone("XYZ-3"); }
  void TearDown() override { orn2::testing::SetTimeZone(nullptr); }

  // The line start "[T][  module] [ThreadId:nnnn] " of the calling thread.
  static std::string Who(const char* m) {
    char who[64];
    std::snprintf(who, sizeof who, "[T][%8s] [ThreadId:%04lu] ", m, orn2::port::CurrentThreadId());
    return who;
  }

  // Text with "\r\n" (a text-mode line end) read as "\n", and every time stamp
  // of a second since the test began, in UTC + 3, as "[T]".
  std::string Masked(std::string text) const {
    for (size_t at; (at = text.find("\r\n")) != std::string::npos;) text.erase(at, 1);
    for (std::time_t s = start_ + 3 * 3600; s <= std::time(nullptr) + 3 * 3600; ++s) {
      const std::tm* tm = std::gmtime(&s);
      char stamp[64];
      std::snprintf(stamp, sizeof stamp, "[%04d/%02d/%02d %02d:%02d.%02d]", tm->tm_year + 1900,
                    tm->tm_mon + 1, tm->tm_mday, tm->tm_hour, tm->tm_min, tm->tm_sec);
      for (size_t at; (at = text.find(stamp)) != std::string::npos;) text.replace(at, 21, "[T]");
    }
    return text;
  }

  // The file after its header.
  std::string Body(const std::string& path) const {
    std::string text = Masked(ReadFileBytes(path));
    EXPECT_EQ(text.substr(0, kHeader.size()), kHeader);
    return text.substr(kHeader.size());
  }

  std::time_t start_ = std::time(nullptr);
};

TEST_F(LogTest, LineLayoutIsByteExact) {
  Log log("Poller");
  EXPECT_EQ(log.LogLine(1, "before EnableLog"), 16);  // a new log writes nothing
  std::string path = Enable(log, "layout.log", 3), other;
  std::thread([&] {
    log.LogLine(3, "elsewhere");
    other = Who("Poller");
  }).join();
  EXPECT_EQ(log.SetModule("SecondModule"), 0);
  EXPECT_EQ(log.LogLine(3, "cut module%c gone", 0), 16);  // written up to the null
  EXPECT_NE(other, Who("Poller"));                        // each thread shows its own id
  EXPECT_EQ(Body(path), other + "elsewhere\n" + Who("SecondMo") + "cut module\n");
  char prefix[Log::kPrefixSize];
  EXPECT_EQ(Masked(Log().RightNow(prefix)) + " ", Who("UNKNOWN"));
}

TEST_F(LogTest, EnableLogAndLogBlankCreateTheFileWithItsHeaderOnce) {
  // A level out of range is refused, but the file is made, with its header alone.
  for (int level : {6, -1}) {
    std::string path = dir_.File("h" + std::to_string(level));
    SCOPED_TRACE(path);
    Log log("Mod");
    EXPECT_EQ(log.EnableLog(path.c_str(), level), -101);
    EXPECT_EQ(log.LogLine(1, "hello"), 5);  // the length, not written
    EXPECT_EQ(Masked(ReadFileBytes(path)), kHeader);
  }
  Log log("Poller", 1);
  std::string name255 = dir_.File(std::string(255 - dir_.File("").size(), 'x')),
              name256 = name255 + "y";
  EXPECT_EQ(log.EnableLog(name255.c_str(), 1), 0);
  for (const char* refused : {name256.c_str(), "", static_cast<const char*>(nullptr)}) {
    EXPECT_EQ(log.EnableLog(refused, 1), -100) << (refused ? refused : "(null)");
  }
  gi::CaptureStderr();
  EXPECT_EQ(log.EnableLog(dir_.File("missing/x.log").c_str(), 2), -100);
  EXPECT_EQ(gi::GetCapturedStderr(), "EnableLog() Cannot access Logfile, Logging disabled");
  // LogBlank echoes on standard error, and recreates a removed file with a short header.
  std::string path = Enable(log, "blank.log", 3);
  gi::CaptureStderr();
  EXPECT_EQ(log.LogBlank(), 0);
  EXPECT_EQ(gi::GetCapturedStderr(), "\n");
  ASSERT_EQ(std::remove(path.c_str()), 0);  // removed: the short header, no empty line
  EXPECT_EQ(log.LogBlank(), 0);
  EXPECT_EQ(Masked(ReadFileBytes(path)), kHeader.substr(0, kHeader.size() - 1));
  std::filesystem::remove_all(dir_.path());  // not even creatable: -1, and logging stops
  EXPECT_EQ(log.LogBlank(), -1);
  gi::CaptureStdout();
  EXPECT_EQ(log.LogLine(1, "off"), 3);
  EXPECT_EQ(gi::GetCapturedStdout(), "");
}

// A writer of another user (its named mutex is its own) may make the file
// between this writer's look and its own creation: EnableLog and LogBlank use
// the file it made, as it is.
TEST_F(LogTest, AFileMadeByAnotherWriterBetweenTheLookAndTheCreationIsUsed) {
  static std::string path;
  path = dir_.File("raced.log");
  orn2::log::g_beforeFileCreated = [] { orn2::testing::WriteFileBytes(path, "theirs\n"); };
  Log log("Mod");
  EXPECT_EQ(log.EnableLog(path.c_str(), 3), 0);
  ASSERT_EQ(std::remove(path.c_str()), 0);
  EXPECT_EQ(log.LogBlank(), 0);
  orn2::log::g_beforeFileCreated = nullptr;
  EXPECT_EQ(log.LogLine(1, "hello"), 5);
  EXPECT_EQ(Masked(ReadFileBytes(path)), "theirs\n\n" + Who("Mod") + kLogError + "hello\n");

  // Or start the file this writer has just made, before its header went in (a
  // writer with rotation on starts an empty file with the header): still one.
  static Log* other = nullptr;
  other = &log;
  path = Enable(log, "started.log", 3);
  ASSERT_EQ(log.SetRotation(1 << 20, 2), 0);
  ASSERT_EQ(std::remove(path.c_str()), 0);
  orn2::log::g_newFileCreated = [] { other->LogLine(1, "first"); };
  Log third("Mod");
  EXPECT_EQ(third.EnableLog(path.c_str(), 3), 0);
  orn2::log::g_newFileCreated = nullptr;
  EXPECT_EQ(Masked(ReadFileBytes(path)), kHeader + Who("Mod") + kLogError + "first\n");
}

TEST_F(LogTest, LevelMatrix) {
  // Per log level 0..5, per message level -1..5: W written (result: the
  // length), z not written (result 0), n not written (result: the length).
  const char* const rows[] = {"nnnnnzz", "WWWzzzz", "WWWWzzz", "WWWWWzz", "WWWWWWz", "WWWWWWW"};
  const char* const prefixes[] = {"", "", kLogError, kLogWarning, "", "", ""};
  for (int logLevel = 0; logLevel <= 5; ++logLevel) {
    Log log("Lv");
    std::string path = Enable(log, "level" + std::to_string(logLevel), logLevel), expected;
    for (int level = -1; level <= 5; ++level) {
      SCOPED_TRACE(std::to_string(logLevel) + "/" + std::to_string(level));
      char outcome = rows[logLevel][level + 1];
      std::string message = "message " + std::to_string(level);
      EXPECT_EQ(log.LogLine(level, "message %d", level),
                outcome == 'z' ? 0 : static_cast<int>(message.size()));
      if (outcome == 'W') expected += Who("Lv") + prefixes[level + 1] + message + "\n";
    }
    EXPECT_EQ(log.LogBlank(), 0);   // at every level but 0
    log.Dump(&path[0], 0, "dump");  // a level 4 message
    expected += "\n";
    if (logLevel >= 4) expected += Who("Lv") + "dump\n\n" + kRuler + kRuler + "\n";
    EXPECT_EQ(exists(path) ? Body(path) : "(none)", logLevel > 0 ? expected : "(none)");
  }
}

// A message is cut to 2048 characters after a marker, on the console as in
// the file, where the level prefix follows the marker. A line end inside an
// entry becomes a line of the file that begins with a tab and the code of what
// the caller wrote, so no message can start a line that reads as an entry;
// other control characters are written as they are.
TEST_F(LogTest, MessagesAreCutAt2048AndTheirLineEndsContinueOnLinesThatBeginWithATab) {
  const std::string whole = std::string(2047, 'a') + "z";
  const struct {
    std::string module, message;
    std::string field, written;  // the module field and the message as echoed
  } cases[] = {
      {"Cut", whole, "     Cut", whole},
      {"Cut", whole + "b", "     Cut", kMarker + whole},
      {"Ends", "\n\r\r\n\n", "    Ends", "\n\t|\n\t<\n\t=\n\t|"},
      {"Ends", "\t\x1b[1m\v\f\x7f", "    Ends", "\t\x1b[1m\v\f\x7f"},
      {"a\nb", "m", "     a\n\t|b", "m"},
      {"a\r\n]", "m", "    a\n\t=]", "m"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.module + "|" + c.message.substr(0, 20));
    Log log(c.module.c_str(), 1);
    std::string path = Enable(log, "ends" + std::to_string(&c - cases), 3);
    gi::CaptureStdout();
    const int size = static_cast<int>(c.message.size());
    EXPECT_EQ(log.LogLine(2, "%s", c.message.c_str()), size > 2048 ? -1 : size);
    std::string who = Who("12345678").replace(4, 8, c.field);
    EXPECT_EQ(Masked(gi::GetCapturedStdout()), who + c.written + "\n");  // no level prefix
    const size_t prefixAt = size > 2048 ? kMarker.size() : 0;
    EXPECT_EQ(Body(path), who + std::string(c.written).insert(prefixAt, kLogWarning) + "\n");
  }
}

TEST_F(LogTest, DumpLayoutIsByteExactUpTo384Bytes) {
  std::string data(20000, 'A'), who = Who("Dump"), title = "Eighteen char text";
  for (int i = 0; i < 385; ++i) data[i] = static_cast<char>(i);
  data.replace(0, 17, std::string("\x00\x1f %d~\x7f\x80\xffZYXWVUTS", 17));
  Log log("Dump");
  std::string path = Enable(log, "17.log", 4);
  log.Dump(&data[0], 17, "50%s %d");  // a per-cent sign is no format directive
  EXPECT_EQ(Body(path),
            who + "50%s %d\n\n" + kRuler +
                "      0000 00 1F 20 25 64 7E 7F 80  FF 5A 59 58 57 56 55 54  .. %d~...ZYXWVUT\n"
                "      0010 53 .. .. .. .. .. .. ..  .. .. .. .. .. .. .. ..  S...............\n" +
                kRuler + "\n");
  path = Enable(log, "384.log", 4);  // 384 bytes under an 18-character title fit whole
  log.Dump(&data[0], 384, title.c_str());
  std::string body = Body(path), head = who + title + "\n\n" + kRuler;
  EXPECT_EQ(body.size(), who.size() + 2048 + 1);
  EXPECT_EQ(body.substr(0, head.size()), head);
  EXPECT_EQ(body.substr(body.size() - 2 * kRuler.size() - 1),  // a hex line is as long as the ruler
            "      0170 70 71 72 73 74 75 76 77  78 79 7A 7B 7C 7D 7E 7F  pqrstuvwxyz{|}~.\n" +
                kRuler + "\n");
  path = Enable(log, "cut.log", 4);  // a title too long for the dump's buffer is cut
  log.Dump(&data[0], 20000, std::string(9000, 't').c_str());
  EXPECT_EQ(Body(path), who + kMarker + std::string(2048, 't') + "\n");
}

TEST_F(LogTest, AssignmentSharesOneMutexWithOneOwner) {
  Log target("Alpha", 1), other;
  std::string path = Enable(target, "a.log", 1);
  gi::CaptureStdout();
  {
    Log source("Beta");
    path = Enable(source, "b.log", 3);
    target = source;
    target = target;
    source.LogLine(3, "source");
    other = target;  // each mutex is still freed once
  }
  target.LogLine(3, "target");  // the source's mutex outlives it; the echo stays
  EXPECT_EQ(Masked(gi::GetCapturedStdout()), Who("Beta") + "target\n");
  const int open = orn2::testing::OpenDescriptorCount();
  EXPECT_EQ(Body(path), Who("Beta") + "source\n" + Who("Beta") + "target\n");
  target = Log();  // b.log's mutex closes with its last user
  other = target;
  EXPECT_EQ(orn2::testing::OpenDescriptorCount(), open == -1 ? -1 : open - 1);
}

// The name of a log file's mutex, as log.h documents it: the file name, with
// backslashes as forward slashes where the system refuses them in mutex names
// (test paths hold backslashes only on Windows, which does).
std::string FileMutexName(std::string path) {
  std::replace(path.begin(), path.end(), '\\', '/');
  return path;
}

// A program that holds a Mutex named after a log file (to rotate it, say)
// holds off every Log writing that file, also when the name passes the
// mutex's 127 characters. (The long name alone passes them, and leaves room
// within the log's 255 for a temporary directory such as Windows gives, which
// with the process id in it can take 60 characters.)
TEST_F(LogTest, AMutexNamedAfterTheFileHoldsOffItsWriters) {
  for (const std::string& file : {std::string("rotated.log"), std::string(150, 'r')}) {
    Log log("Rotate");
    std::string path = Enable(log, file, 1);
    SCOPED_TRACE(path);
    Mutex rotation(FileMutexName(path).c_str());
    rotation.Acquire();
    auto written = std::async(std::launch::async, [&] { return log.LogLine(1, "rotated"); });
    EXPECT_EQ(written.wait_for(std::chrono::milliseconds(300)), std::future_status::timeout);
    rotation.Release();
    ASSERT_EQ(written.wait_for(std::chrono::seconds(20)), std::future_status::ready);
    std::string body = Body(path);  // one line, written by the other thread
    EXPECT_EQ(body.substr(0, 13), "[T][  Rotate]");
    EXPECT_EQ(body.substr(body.find("] ", 13) + 2), kLogError + std::string("rotated\n"));
  }
}

// What a child returns where its case cannot be arranged here: 77, with the
// reason why in `flag`.
int Unavailable(const std::string& flag, const std::string& why) {
  orn2::testing::WriteFileBytes(flag, why);
  return 77;
}

// args: file, flag. With the shared-memory file systems full, enables the log
// and writes a line, and writes what that printed on standard error into
// <flag>. Exit 77 (the reason in <flag>) when that cannot be arranged here.
ORN2_CHILD(LogWithoutRoomForItsMutex) {
  std::string why = orn2::testing::FillSharedMemoryFileSystems();
  if (!why.empty()) return Unavailable(args.at(1), why);
  gi::CaptureStderr();
  Log log("NoRoom");
  int enabled = log.EnableLog(args.at(0).c_str(), 1);
  log.LogLine(1, "still written");
  orn2::testing::WriteFileBytes(args.at(1), gi::GetCapturedStderr());
  return enabled == 0 ? 0 : 3;
}

// A log whose named mutex finds no room still writes, unguarded, and says so.
TEST_F(LogTest, WithoutRoomForItsMutexTheLogWritesAndSaysSo) {
  std::string path = dir_.File("no room.log"), flag = dir_.File("printed");
  const int code = ExitCodeOf("LogWithoutRoomForItsMutex", {path, flag}, 60000);
  if (code == 77) GTEST_SKIP() << ReadFileBytes(flag);
  EXPECT_EQ(code, 0) << "135: killed by SIGBUS";
  std::string printed = ReadFileBytes(flag), body = Body(path);
  EXPECT_EQ(printed.rfind("Mutex() Error: named mutex [" + path + "] refused: ", 0), 0u) << printed;
  EXPECT_EQ(std::count(printed.begin(), printed.end(), '\n'), 1) << printed;
  EXPECT_EQ(body.substr(body.find("] ", 13) + 2), kLogError + std::string("still written\n"));
}

// args: file, flag, text. Takes the log file's lock, appends the text as it is
// (a writer killed half-way through a line leaves one without its line end),
// creates the flag file and keeps the lock until it is killed.
ORN2_CHILD(LockHolder) {
  Mutex mutex(FileMutexName(args.at(0)).c_str());
  mutex.Acquire();
  // The stream is closed at the end of the statement, before the flag is made.
  if (!(std::ofstream(args.at(0), std::ios::app | std::ios::binary) << args.at(2) << std::flush))
    return 3;
  orn2::testing::WriteFileBytes(args.at(1), "1");
  for (;;) orn2::port::SleepMs(1000);
}

TEST_F(LogTest, SpecialFilesAreRefusedAtOnceAndTheirLinesCountedLost) {
  using orn2::testing::SpecialFile;
  orn2::testing::Watchdog watchdog("logging to a special file", 60);  // a FIFO must not block
  for (SpecialFile kind : {SpecialFile::kFifo, SpecialFile::kDirectory, SpecialFile::kDevice}) {
    for (bool withReader : {false, true}) {  // a FIFO with a reader opens for writing
      if (withReader && kind != SpecialFile::kFifo) continue;
      std::string path = dir_.File(std::string(Describe(kind)) + (withReader ? "-read" : ""));
      SCOPED_TRACE(path);
      if (!MakeSpecialFile(kind, path)) continue;  // no such thing on this system
      const std::string kind0 = orn2::testing::FileKind(path);
      std::unique_ptr<orn2::testing::FifoReader> reader;
      if (withReader) reader = std::make_unique<orn2::testing::FifoReader>(path);
      Log log("Special");
      gi::CaptureStderr();
      EXPECT_EQ(log.EnableLog(path.c_str(), 3), -100);
      EXPECT_EQ(gi::GetCapturedStderr(), "EnableLog() Cannot access Logfile, Logging disabled");
      EXPECT_EQ(orn2::testing::FileKind(path), kind0);

      // A file that becomes a special file after EnableLog: its lines are
      // lost and counted, with one message when the losing starts.
      std::string became = path + ".log";
      EXPECT_EQ(log.EnableLog(became.c_str(), 3), 0);
      ASSERT_EQ(std::remove(became.c_str()), 0);
      ASSERT_TRUE(MakeSpecialFile(kind, became));
      if (withReader) reader = std::make_unique<orn2::testing::FifoReader>(became);
      const std::string losing =
          "LogLine() Error: Cannot append to [" + became + "] (not a regular file), losing lines\n";
      gi::CaptureStderr();
      EXPECT_EQ(log.LogLine(1, "lost"), 4);
      EXPECT_EQ(log.LogBlank(), 0);
      EXPECT_EQ(log.Rotate(3), -1);  // refused, said, and left as it is too
      EXPECT_EQ(gi::GetCapturedStderr(),
                losing + "Rotate() Error: Cannot rotate [" + became + "] (not a regular file)\n");
      EXPECT_EQ(log.LostLines(), 2u);
      EXPECT_EQ(orn2::testing::FileKind(became), kind0);

      // Once a line is written again, a new loss is reported again.
      reader.reset();
      ASSERT_TRUE(std::filesystem::remove(became));
      EXPECT_EQ(log.LogLine(3, "back"), 4);
      EXPECT_EQ(Masked(ReadFileBytes(became)), Who("Special") + "back\n");
      ASSERT_TRUE(std::filesystem::remove(became));
      ASSERT_TRUE(MakeSpecialFile(kind, became));
      gi::CaptureStderr();
      EXPECT_EQ(log.LogLine(3, "lost again"), 10);
      EXPECT_EQ(gi::GetCapturedStderr(), losing);
      EXPECT_EQ(log.LostLines(), 3u);
    }
  }
}

TEST_F(LogTest, ALineCutByAWriterKilledHalfWayIsCutBackByTheNextOwner) {
  const std::string half = "[2026/12/03 23:10.39][  writer] [ThreadId:0042] half a li";
  // No line end in the last 8 KiB: more than any line a Log writes, so not one
  // of its lines; it is ended rather than cut.
  const std::string endless(9000, 'x');
  const struct {
    const char* owner;        // what takes the abandoned lock next
    bool takenBefore;         // a Mutex of the file's name is acquired and released first
    std::string after;        // what it adds after the line "before"
    const std::string& left;  // what the killed writer left
    std::string kept;         // what stays of that
  } cases[] = {{"LogLine", false, Who("Next") + "after the kill\n", half, ""},
               {"LogLine", true, Who("Next") + "after the kill\n", half, ""},
               {"EnableLog", false, "", half, ""},
               {"LogLine", false, Who("Next") + "after the kill\n", endless, endless + "\n"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.owner << (c.takenBefore ? " after a Mutex" : "")
                                    << " left " << c.left.size());
    Log log("Next");
    std::string path = Enable(log, c.owner + std::to_string(&c - cases) + ".log", 3),
                flag = path + ".flag";
    EXPECT_EQ(log.LogLine(3, "before"), 6);
    ChildProcess holder("LockHolder", {path, flag, c.left});
    ASSERT_TRUE(orn2::testing::FileAppears(flag, 60000, &holder))
        << "the child never held the lock";
    ASSERT_EQ(Body(path), Who("Next") + "before\n" + c.left);
    holder.Kill();
    ASSERT_TRUE(holder.Wait(30000, nullptr));
    if (c.takenBefore) {  // whoever sees the abandonment, the next line still repairs
      Mutex other(FileMutexName(path).c_str());
      other.Acquire();
      other.Release();
    }
    if (std::string(c.owner) == "LogLine") {
      EXPECT_EQ(log.LogLine(3, "after the kill"), 14);
    } else {
      EXPECT_EQ(log.EnableLog(path.c_str(), 3), 0);
    }
    EXPECT_EQ(Body(path), Who("Next") + "before\n" + c.kept + c.after);
  }
}

// args: directory, line count. Fills a disk of 64 KiB (see SimulateFullDisk)
// in <directory>/disk with lines "child 0 line <i>", and leaves outside it
// the log as it ended ("full.copy"), LostLines ("full.lost") and what went to
// standard error ("full.stderr"), and how the disk was filled ("full.how").
// Exits with 77 where no disk can be filled.
ORN2_CHILD(FullDiskWriter) {
  const std::string dir = args.at(0), path = dir + "/disk/full.log";
  const std::string how = orn2::testing::SimulateFullDisk(dir + "/disk", 64 * 1024);
  if (how.empty()) return 77;
  orn2::testing::WriteFileBytes(dir + "/full.how", how);
  if (std::freopen((dir + "/full.stderr").c_str(), "w", stderr) == nullptr) return 2;
  Log log("writer");
  if (log.EnableLog(path.c_str(), 3) != 0) return 3;
  for (int i = 0; i < std::stoi(args.at(1)); ++i) {
    if (log.LogLine(3, "child 0 line %d", i) != static_cast<int>(std::to_string(i).size()) + 13)
      return 4;  // the result stays the message's length
  }
  std::fflush(stderr);
  orn2::testing::WriteFileBytes(dir + "/full.copy", ReadFileBytes(path));
  orn2::testing::WriteFileBytes(dir + "/full.lost", std::to_string(log.LostLines()));
  return 0;
}

TEST_F(LogTest, AFullDiskLosesWholeLinesCountsThemAndSaysSoOnce) {
  std::filesystem::create_directory(dir_.File("disk"));
  const int code = ExitCodeOf("FullDiskWriter", {dir_.path(), "2000"}, 100000);
  if (code == 77) GTEST_SKIP() << "no disk can be filled here";
  ASSERT_EQ(code, 0);
  SCOPED_TRACE("a full disk by " + ReadFileBytes(dir_.File("full.how")));
  const std::string copy = dir_.File("full.copy");
  const std::string text = ReadFileBytes(copy);
  const int written = static_cast<int>(std::count(text.begin(), text.end(), '\n')) - 3;
  ASSERT_LT(written, 2000) << "the disk never filled up";
  EXPECT_EQ(ExpectEveryLineOnceInOrder({copy}), std::vector<int>{written})
      << copy;  // and no line cut at the end
  EXPECT_EQ(ReadFileBytes(dir_.File("full.lost")), std::to_string(2000 - written));
  // One line, with the lack of room as its reason: a write that came up short
  // leaves errno as it was, so the reason is not the system's word there.
  const int reason = ReadFileBytes(dir_.File("full.how")) == "tmpfs" ? ENOSPC : EFBIG;
  EXPECT_EQ(ReadFileBytes(dir_.File("full.stderr")),
            "LogLine() Error: Cannot append to [" + dir_.File("disk/full.log") + "] (" +
                std::strerror(reason) + "), losing lines\n");
}

// args: file, flag. With standard output a pipe that nobody reads, an
// echoing log writes lines of 2048 characters: the second one's console line
// blocks for good. Exit 77 (why in <flag>) where that cannot be arranged.
ORN2_CHILD(EchoIntoUnreadPipe) {
  std::string why = orn2::testing::StdoutIntoUnreadPipe();
  if (!why.empty()) return Unavailable(args.at(1), why);
  Log log("echo", 1);
  if (log.EnableLog(args.at(0).c_str(), 3) != 0) return 3;
  for (;;) log.LogLine(3, "%s", std::string(Log::kMessageMax, 'e').c_str());
}

// A writer stuck printing its console line holds up no other writer.
TEST_F(LogTest, AWriterBlockedOnItsConsoleHoldsUpNoOtherWriter) {
  orn2::testing::Watchdog watchdog("a writer stuck on its console", 120);
  std::string path = dir_.File("echo.log"), flag = dir_.File("echo.line");
  ChildProcess echoing("EchoIntoUnreadPipe", {path, flag});
  // Once its second line is in the file, its console line is stuck for good.
  const std::string line = std::string(Log::kMessageMax, 'e') + "\n";
  for (int waited = 0;; waited += 10) {
    const std::string text = exists(path) ? ReadFileBytes(path) : "";
    if (text.find(line) != text.rfind(line)) break;
    int code = -1;
    if (echoing.Wait(0, &code) && code == 77) GTEST_SKIP() << ReadFileBytes(flag);
    ASSERT_LT(waited, orn2::testing::ScaledLimit(60000))
        << "the echoing writer's second line never reached the file";
    orn2::port::SleepMs(10);
  }
  Log other("other");
  Enable(other, "echo.log", 3);
  auto written = std::async(std::launch::async, [&] { return other.LogLine(3, "not held up"); });
  ASSERT_EQ(written.wait_for(std::chrono::seconds(orn2::testing::ScaledLimit(30))),
            std::future_status::ready)
      << "the echoing writer holds the file's lock while its console blocks";
  EXPECT_FALSE(echoing.Wait(0, nullptr)) << "the echoing child was not stuck";
}

// args: file, flag. Writes a line, limits the process's file size to the
// file's size, writes another, and writes LostLines into the flag.
ORN2_CHILD(WriterAtFileSizeLimit) {
  Log log("writer");
  if (log.EnableLog(args.at(0).c_str(), 3) != 0) return 3;
  log.LogLine(3, "child 0 line 0");
  if (!orn2::testing::LimitFileSize(static_cast<long long>(std::filesystem::file_size(args[0]))))
    return 77;
  if (log.LogLine(3, "child 0 line %d", 1) != 14) return 4;
  orn2::testing::WriteFileBytes(args.at(1), std::to_string(log.LostLines()));
  return 0;
}

TEST_F(LogTest, AFileSizeLimitLosesTheLineInsteadOfEndingTheProcess) {
  std::string path = dir_.File("limit.log"), flag = dir_.File("limit.lost");
  const int code = ExitCodeOf("WriterAtFileSizeLimit", {path, flag}, 60000);
  if (code == 77) GTEST_SKIP() << "no file size limit here";
  ASSERT_EQ(code, 0) << "153: ended by SIGXFSZ";
  EXPECT_EQ(ReadFileBytes(flag), "1");
  EXPECT_EQ(ExpectEveryLineOnceInOrder({path}), std::vector<int>{1}) << path;
}

// --- Another local user ------------------------------------------------------

namespace ot = orn2::testing;

// args: user, kind, path. As that user, creates the object at the path.
ORN2_CHILD(PlantAsOtherUser) {
  if (!ot::BecomeUser(static_cast<unsigned>(std::stoul(args.at(0))))) return 2;
  return ot::CreateObject(args.at(1), args.at(2)).empty() ? 0 : 3;
}

// A drop box (mode 0622 of user svc, the third user): another user may append
// but not read, and EnableLog and LogLine append, keeping every line (LogBlank
// finds and appends to the file as they do).
// A link that another user put at a log's name in a sticky shared folder is
// not followed: the log is refused and lines are lost, and the link's target,
// with its unfinished last line, is left as it was.
TEST_F(LogTest, AnotherUsersDropBoxIsAppendedToAndTheirLinksAreNotFollowed) {
  std::string why = ot::OtherUsersUnavailable();
  if (!why.empty()) GTEST_SKIP() << why;
  std::filesystem::permissions(dir_.path(), static_cast<std::filesystem::perms>(01777));
  const std::string box = dir_.File("box.log");
  ot::WriteFileBytes(box,
                     kHeader + "[2026/12/03 23:10.39][  writer] [ThreadId:42] child 0 line 0\n");
  ASSERT_TRUE(ot::SetProtection(box, 0622, ot::kThirdUser, ot::kThirdUser));
  EXPECT_EQ(
      ExitCodeOf("LogWriter", {box, "1", "1", "0", "0", std::to_string(ot::kSecondUser)}, 20000),
      0);
  EXPECT_EQ(ExpectEveryLineOnceInOrder({box}),
            (std::vector<int>{1, 1}));  // the old line and one more

  const std::string target = dir_.File("target"), kept = "kept\nhalf a li";
  ot::WriteFileBytes(target, kept);
  Log log("Victim");
  for (const std::string name : {"planted.log", "replaced.log"}) {
    SCOPED_TRACE(name);
    const std::string path = dir_.File(name);
    if (name == "replaced.log") {  // enabled first, then removed and planted
      ASSERT_EQ(log.EnableLog(path.c_str(), 3), 0);
      ASSERT_TRUE(std::filesystem::remove(path));
    }
    ASSERT_EQ(ExitCodeOf("PlantAsOtherUser",
                         {std::to_string(ot::kSecondUser), "symlink to " + target, path}, 20000),
              0);
    gi::CaptureStderr();
    if (name == "planted.log") {
      EXPECT_EQ(log.EnableLog(path.c_str(), 3), -100);
    }
    log.LogLine(1, "lost");
    log.LogBlank();
    gi::GetCapturedStderr();
    EXPECT_EQ(ReadFileBytes(target), kept);
  }
}

}  // namespace
