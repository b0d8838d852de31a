// Log rotation: writers in several processes rotate their shared file once per
// threshold without losing, repeating, tearing or reordering a line; `keep`
// bounds the rotated files; a writer killed part-way through a rotation, or a
// rename that fails, leaves files that the next line carries on with; Rotate
// rotates on demand under the same lock; the new file keeps the rotated one's
// mode, owner and group.
#include <gtest/gtest.h>
#include <liborn2/liborn2.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <future>
#include <list>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "log/log_file.h"
#include "log/rotation.h"
#include "port/clock.h"
#include "port/fs.h"
#include "support/child.h"
#include "support/hostile.h"
#include "support/log_lines.h"
#include "support/odd_files.h"
#include "support/temp_dir.h"
#include "support/time_factor.h"
#include "tools/orn/log_follow.h"

namespace {

namespace gi = testing::internal;
using orn2::testing::ChildProcess;
using orn2::testing::ExpectEveryLineOnceInOrder;
using orn2::testing::ReadFileBytes;
using orn2::testing::WriterLines;
using std::filesystem::exists;

std::string Generation(const std::string& path, int n) {
  return n == 0 ? path : path + "." + std::to_string(n);
}

// The files of a log that exist, oldest first: FILE.n down to FILE.1, then FILE.
std::vector<std::string> Generations(const std::string& path) {
  std::vector<std::string> files;
  for (int n = Log::kMaxKeep; n >= 0; --n) {
    if (exists(Generation(path, n))) files.push_back(Generation(path, n));
  }
  return files;
}

// The bytes of the first line after the header, as the file holds them.
uintmax_t FirstLineSize(const std::string& file) {
  const std::string bytes = ReadFileBytes(file);
  size_t start = 0;
  for (int line = 0; line < 3; ++line) start = bytes.find('\n', start) + 1;
  const size_t end = bytes.find('\n', start);
  EXPECT_NE(end, std::string::npos) << file << " holds no line";
  return end == std::string::npos ? 0 : end + 1 - start;
}

class LogRotation : public orn2::testing::LogFileTest {};

// Starts LogWriter children number `from` to `to` - 1 on `path`, each
// writing `lines` lines, with the further args `more` (maximum size and keep,
// then a user).
void StartWriters(std::list<ChildProcess>& children, const std::string& path, int from, int to,
                  int lines, const std::vector<std::string>& more) {
  for (int c = from; c < to; ++c) {
    std::vector<std::string> args{path, std::to_string(c), std::to_string(lines)};
    args.insert(args.end(), more.begin(), more.end());
    children.emplace_back("LogWriter", args);
  }
}

// Expects each child to end, with 0, within 300 s.
void ExpectEndedWell(std::list<ChildProcess>& children) {
  for (ChildProcess& child : children) {
    int code = -1;
    ASSERT_TRUE(child.Wait(300000, &code)) << "a child did not end within 300 s";
    EXPECT_EQ(code, 0);
  }
}

// Eight processes rotate their shared file once per threshold; orn log
// follow's reader, started at the beginning, stopped half-way and resumed
// from its position while the writers go on (rotating meanwhile), hands out
// every line exactly once and in order, the first half as raw lines, the
// second as JSON.
TEST_F(LogRotation, EightProcessesRotateOncePerThresholdAndAFollowerMissesNoEntry) {
  // Under Wine 1,000 lines each, with a smaller threshold for as many rotations.
  const bool slow = orn2::testing::SlowNamedMutexes();
  const int kWriters = 8, kLines = slow ? 1000 : 5000, kKeep = 400;
  const long long kMaxBytes = slow ? 12 * 1024 : 24 * 1024;  // about 40 or 120 rotations
  Log creator("writer");
  const std::string path = Enable(creator, "shared.log");
  auto follower = std::make_unique<orn::LogFollower>(path, orn::LogFollower::Format::kRaw);
  follower->StartAtBeginning();
  std::list<ChildProcess> children;
  StartWriters(children, path, 0, kWriters, kLines,
               {std::to_string(kMaxBytes), std::to_string(kKeep)});
  std::vector<int> next(kWriters, 0);
  int seen = 0, restarts = 0;
  std::string out;
  const int64_t deadline = orn2::port::NowSeconds() + orn2::testing::ScaledLimit(120);
  while (seen < kWriters * kLines && orn2::port::NowSeconds() < deadline) {
    if (!follower->Poll(out)) orn2::port::SleepMs(5);
    for (size_t pos = 0, end; (end = out.find('\n', pos)) != std::string::npos; pos = end + 1) {
      const std::string line = out.substr(pos, end - pos);
      int child = -1, index = -1;
      const size_t at = line.find("child ");
      if (at != std::string::npos)
        std::sscanf(line.c_str() + at, "child %d line %d", &child, &index);
      ASSERT_GE(child, 0) << line;
      ASSERT_LT(child, kWriters) << line;
      ASSERT_EQ(index, next[child]) << line;
      ++next[child];
      ++seen;
    }
    out.clear();
    if (restarts == 0 && seen >= kWriters * kLines / 2) {
      const orn::FollowPosition position = follower->Position();
      follower.reset();
      orn2::port::SleepMs(200);  // rotations go on meanwhile
      follower = std::make_unique<orn::LogFollower>(path, orn::LogFollower::Format::kJson);
      ASSERT_TRUE(follower->Resume(position));
      ++restarts;
    }
  }
  EXPECT_EQ(next, std::vector<int>(kWriters, kLines));
  EXPECT_EQ(follower->Skipped(), 0);
  ExpectEndedWell(children);
  const std::vector<std::string> files = Generations(path);
  ASSERT_GE(files.size(), 41u) << "fewer than 40 rotations";
  EXPECT_EQ(files.back(), path);
  EXPECT_EQ(files.front(), Generation(path, static_cast<int>(files.size()) - 1)) << "a gap";
  EXPECT_EQ(ExpectEveryLineOnceInOrder(files), std::vector<int>(kWriters, kLines));
  // No file is past the threshold, and each rotated file was rotated only
  // when the next line did not fit: a second rotation of the same threshold
  // would leave a file with room for that line.
  for (size_t i = 0; i < files.size(); ++i) {
    const uintmax_t size = std::filesystem::file_size(files[i]);
    EXPECT_LE(size, static_cast<uintmax_t>(kMaxBytes)) << files[i];
    if (i + 1 == files.size()) continue;
    EXPECT_GT(size + FirstLineSize(files[i + 1]), static_cast<uintmax_t>(kMaxBytes))
        << files[i] << " was rotated with room left";
  }
}

// A follower moving on from a rotated file while two more rotations go on in
// another thread (here, between its look at FILE and at FILE.1) hands out each
// file once, oldest first: the rotations wait for its look at the names.
TEST_F(LogRotation, AFollowerMovingOnWhileTheFilesRotateReadsThemOldestFirst) {
  static std::string path;
  Log log("writer");
  path = Enable(log, "moving.log");
  orn::LogFollower follower(path, orn::LogFollower::Format::kRaw);
  follower.StartAtBeginning();
  log.LogLine(3, "child 0 line 0");
  if (log.Rotate(9) != 0) GTEST_SKIP() << "no rotation of a file a reader holds open here";
  log.LogLine(3, "child 0 line 1");
  static std::future<void> rotations;
  orn::g_afterNameLooked = [](int n) {
    if (n != 0 || rotations.valid()) return;
    rotations = std::async(std::launch::async, [] {
      Log other("writer");
      other.EnableLog(path.c_str(), 3);
      for (int i = 2; i < 4; ++i) {
        other.Rotate(9);
        other.LogLine(3, "child 0 line %d", i);
      }
    });
    rotations.wait_for(std::chrono::milliseconds(500));  // long enough without the wait
  };
  std::string out, lines;
  const int64_t deadline = orn2::port::NowSeconds() + orn2::testing::ScaledLimit(20);
  while (lines.find("line 3\n") == std::string::npos && orn2::port::NowSeconds() < deadline) {
    if (!follower.Poll(out)) orn2::port::SleepMs(5);
    out.erase(std::remove(out.begin(), out.end(), '\r'), out.end());  // Windows line ends
    for (size_t at = 0; (at = out.find("child 0 ", at)) != std::string::npos; at += 8)
      lines += out.substr(at + 8, out.find('\n', at) - at - 7);
    out.clear();
  }
  orn::g_afterNameLooked = nullptr;
  rotations.get();
  EXPECT_EQ(lines, "line 0\nline 1\nline 2\nline 3\n");
}

// Two users' writers of one file, two each, rotating it: each user's named
// mutex keeps only its own writers apart, the lock on the file keeps all.
TEST_F(LogRotation, WritersOfTwoUsersKeepEveryLineWhole) {
  std::string why = orn2::testing::OtherUsersUnavailable();
  if (!why.empty()) GTEST_SKIP() << why;
  std::filesystem::permissions(dir_.path(), std::filesystem::perms::all);
  const std::string path = dir_.File("users.log");
  const int kLines = 3000;
  std::list<ChildProcess> children;
  StartWriters(children, path, 0, 2, kLines, {"65536", "200", "0"});
  StartWriters(children, path, 2, 4, kLines,
               {"65536", "200", std::to_string(orn2::testing::kSecondUser)});
  ExpectEndedWell(children);
  const std::vector<std::string> files = Generations(path);
  ASSERT_GE(files.size(), 10u) << "fewer than 9 rotations";
  EXPECT_EQ(ExpectEveryLineOnceInOrder(files), std::vector<int>(4, kLines));
}

// A writer of another user (its named mutex is its own) may get in while a
// rotation has renamed FILE away and not yet started the new one, or has
// created the new file and not yet put the header in: the new file still
// holds one header, at its top, and keeps the rotated file's mode (here one
// that lets the group append but not read, which no usual umask gives). Or it
// may rotate the file between a writer's open and its lock: that writer then
// writes to the new file and does not rotate it once more.
TEST_F(LogRotation, AWriterGettingInDuringARotationStartsTheNewFileAsTheRotationWould) {
  const char* const moments[] = {"FILE renamed away", "the new FILE still empty",
                                 "FILE rotated between a writer's open and its lock"};
  for (const char* moment : moments) {
    SCOPED_TRACE(moment);
    static std::string path;
    static Log* other = nullptr;
    static int entered = 0;
    path = dir_.File(moment);
    Log rotating("writer"), second("writer");
    other = &second;
    entered = 0;
    for (Log* log : {&rotating, &second}) {
      ASSERT_EQ(log->EnableLog(path.c_str(), 3), 0);
      ASSERT_EQ(log->SetRotation(400, 4), 0);
    }
    std::filesystem::permissions(path, static_cast<std::filesystem::perms>(0620));
    static void (*const getIn)() = [] {
      if (entered++ == 0) other->LogLine(3, "child 1 line 0");
    };
    if (moment == moments[0]) {
      orn2::log::g_afterRotationStep = [](int) {
        if (!exists(path)) getIn();
      };
    } else if (moment == moments[1]) {
      orn2::log::g_newFileCreated = getIn;
    } else {
      orn2::log::g_rotationDue = [] {  // the other writer renames it and starts FILE anew
        std::error_code error;         // Windows renames no file a writer holds open
        if (entered == 0) std::filesystem::rename(path, Generation(path, 1), error);
        if (!error) getIn();
      };
    }
    int lines = 0;
    while (entered == 0 && lines < 100) rotating.LogLine(3, "child 0 line %d", lines++);
    orn2::log::g_afterRotationStep = nullptr;
    orn2::log::g_newFileCreated = nullptr;
    orn2::log::g_rotationDue = nullptr;
    if (entered == 0 && moment == moments[2]) GTEST_SKIP() << "no rename of an open file here";
    ASSERT_EQ(entered, 1) << "no rotation";
    EXPECT_EQ(ExpectEveryLineOnceInOrder(Generations(path)), (std::vector<int>{lines, 1}));
    EXPECT_FALSE(exists(Generation(path, 2))) << "rotated twice";
    // Compared with the rotated file: Windows keeps no more of a mode than read-only.
    const auto made = std::filesystem::status(path).permissions();
    EXPECT_EQ(made, std::filesystem::status(path + ".1").permissions())
        << std::oct << "mode " << static_cast<unsigned>(made);
  }
}

// A writer that opened FILE and then waited for its lock while a writer of
// another user rotated it writes its line to the new FILE, not the rotated one.
TEST_F(LogRotation, AWriterThatWaitedForTheLockWhileTheFileWasRotatedWritesTheNewFile) {
  // Another writer's wait for the lock is seen, as open descriptors are, on Linux only.
  if (orn2::testing::OpenDescriptorCount() < 0) GTEST_SKIP() << "no look at lock waits here";
  Log writer("writer");
  const std::string path = Enable(writer, "waited.log");
  ASSERT_EQ(writer.SetRotation(1 << 20, 2), 0);  // a new file starts with the header
  ASSERT_EQ(writer.LogLine(3, "child 0 line 0"), 14);
  orn2::port::FileHandle held{};  // the other user's rotating writer holds the file's lock
  ASSERT_EQ(
      orn2::port::OpenRegularFile(path.c_str(), orn2::port::FileAccess::kUpdate, &held, nullptr),
      orn2::port::OpenOutcome::kOpened);
  bool waited = false;
  ASSERT_TRUE(orn2::port::LockWriters(held, &waited));
  std::thread waiting([&] { writer.LogLine(3, "child 0 line 1"); });
  for (int n = 0; !orn2::testing::SomeoneWaitsForALockOn(path); ++n) {
    ASSERT_LT(n, orn2::testing::ScaledLimit(30000)) << "the writer never waited for the lock";
    orn2::port::SleepMs(1);
  }
  std::error_code error;
  std::filesystem::rename(path, Generation(path, 1), error);
  orn2::port::CloseFile(held);
  waiting.join();
  ASSERT_FALSE(error) << error.message();
  EXPECT_EQ(ExpectEveryLineOnceInOrder(Generations(path)), std::vector<int>{2});
  const std::vector<orn2::testing::WriterLine> fresh = WriterLines(path);
  ASSERT_EQ(fresh.size(), 1u) << "lines in the new FILE";
  EXPECT_EQ(fresh[0].index, 1);
}

TEST_F(LogRotation, RotateOnDemandTakesTurnsWithTheWritersOfEveryProcess) {
  Log rotator("rotator");  // rotating from this process, keeping every file
  const std::string path = Enable(rotator, "demand.log", 0);
  const int kWriters = 4, kLines = 3000;
  std::list<ChildProcess> children;
  StartWriters(children, path, 0, kWriters, kLines, {"0", "0"});  // rotation off
  for (int i = 0; i < 100; ++i) {
    ASSERT_GE(rotator.Rotate(Log::kMaxKeep), 0);
    orn2::port::SleepMs(1);
  }
  ExpectEndedWell(children);
  const std::vector<std::string> files = Generations(path);
  EXPECT_GE(files.size(), 2u);
  EXPECT_EQ(ExpectEveryLineOnceInOrder(files), std::vector<int>(kWriters, kLines));
}

// Writes lines "child <c> line <from>" to "child <c> line <to - 1>".
void WriteLines(Log& log, int child, int from, int to) {
  for (int i = from; i < to; ++i) log.LogLine(3, "child %d line %d", child, i);
}

TEST_F(LogRotation, SetRotationRefusesSettingsOutOfRangeAndKeepBoundsTheRotatedFiles) {
  Log log("writer");
  const std::string path = Enable(log, "keep.log");
  ASSERT_EQ(log.SetRotation(400, 3), 0);  // the header and four or five lines per file
  WriteLines(log, 0, 0, 60);
  std::vector<std::string> files = Generations(path);
  EXPECT_EQ(files, (std::vector<std::string>{path + ".3", path + ".2", path + ".1", path}));
  // The newest lines are kept, from wherever the oldest kept file starts.
  EXPECT_EQ(ExpectEveryLineOnceInOrder(files, true), std::vector<int>{60});

  struct Case {
    long long maxBytes;
    int keep, result;
  } settings[] = {{-1, 3, -1}, {100, 0, -1}, {100, Log::kMaxKeep + 1, -1}, {100, Log::kMaxKeep, 0},
                  {0, 0, 0},   {0, -5, 0}};
  for (const Case& c : settings) {
    EXPECT_EQ(log.SetRotation(c.maxBytes, c.keep), c.result)
        << "SetRotation(" << c.maxBytes << ", " << c.keep << ")";
  }
  // A line that brings the file to exactly the threshold stays in it; one
  // byte past it rotates.
  Log writer("writer");
  const std::string exact = Enable(writer, "exact");
  const auto header = static_cast<long long>(std::filesystem::file_size(exact));
  WriteLines(writer, 0, 0, 1);
  const auto size = static_cast<long long>(std::filesystem::file_size(exact));
  ASSERT_EQ(writer.SetRotation(2 * size - header, 2), 0);
  WriteLines(writer, 0, 1, 2);  // as long as line 0
  EXPECT_FALSE(std::filesystem::exists(Generation(exact, 1))) << "rotated at the threshold";
  WriteLines(writer, 0, 2, 3);
  EXPECT_TRUE(std::filesystem::exists(Generation(exact, 1))) << "not rotated past it";
}

// args: file, maximum size, keep, step, flag. Writes lines "child 0 line <i>"
// with rotation on; in the third rotation, after rename number `step`,
// creates the flag file and waits to be killed, holding the file's lock.
ORN2_CHILD(KilledInRotation) {
  static int rotations = 0, stopStep = 0;
  static std::string flag;
  flag = args.at(4);
  stopStep = std::stoi(args.at(3));
  orn2::log::g_afterRotationStep = [](int step) {
    if (step == 1) ++rotations;
    if (rotations < 3 || step != stopStep) return;
    orn2::testing::WriteFileBytes(flag, "1");
    for (;;) orn2::port::SleepMs(1000);
  };
  Log log("writer");
  if (log.EnableLog(args.at(0).c_str(), 3) != 0) return 3;
  if (log.SetRotation(std::stoll(args.at(1)), std::stoi(args.at(2))) != 0) return 4;
  WriteLines(log, 0, 0, 100000);
  return 5;  // never reached the step
}

TEST_F(LogRotation, AWriterKilledPartWayThroughARotationLeavesFilesTheNextOneContinues) {
  // With FILE.1 and FILE.2 there, the third rotation renames FILE.2 to FILE.3 (step 1), FILE.1
  // to FILE.2 (2) and FILE to FILE.1 (3), and FILE is then missing.
  const struct {
    int step;
    std::vector<int> left;  // the generations there after the kill
  } cases[] = {{1, {0, 1, 3}}, {2, {0, 2, 3}}, {3, {1, 2, 3}}};
  for (const auto& c : cases) {
    SCOPED_TRACE("killed after rename " + std::to_string(c.step));
    const std::string path = dir_.File("killed" + std::to_string(c.step)), flag = path + ".flag";
    ChildProcess child("KilledInRotation", {path, "400", "8", std::to_string(c.step), flag});
    ASSERT_TRUE(orn2::testing::FileAppears(flag, 60000, &child)) << "the child never got there";
    child.Kill();
    ASSERT_TRUE(child.Wait(30000, nullptr));
    std::vector<std::string> left;
    for (int n : c.left) left.insert(left.begin(), Generation(path, n));
    EXPECT_EQ(Generations(path), left);

    // The next writer takes over the abandoned lock and goes on: two more
    // rotations, and nothing lost on the way.
    Log log("writer");
    ASSERT_EQ(log.EnableLog(path.c_str(), 3), 0);
    ASSERT_EQ(log.SetRotation(400, 8), 0);
    WriteLines(log, 1, 0, 12);
    const std::vector<std::string> files = Generations(path);
    EXPECT_EQ(files.front(), Generation(path, static_cast<int>(files.size()) - 1)) << "a gap";
    const std::vector<int> counts = ExpectEveryLineOnceInOrder(files);
    ASSERT_EQ(counts.size(), 2u);
    EXPECT_GT(counts[0], 8) << "the child's lines before the kill";
    EXPECT_EQ(counts[1], 12);
  }
}

TEST_F(LogRotation, ARenameThatFailsLosesNoLineAndIsTriedAgainAtTheNextLine) {
  Log log("writer");
  const std::string path = Enable(log, "blocked.log");
  ASSERT_EQ(log.SetRotation(300, 1), 0);
  // A directory where FILE.1 should go: no rename can replace it.
  ASSERT_TRUE(std::filesystem::create_directory(path + ".1"));
  gi::CaptureStderr();
  WriteLines(log, 0, 0, 10);
  const std::string printed = gi::GetCapturedStderr();
  EXPECT_EQ(printed.rfind("LogLine() Warning: Cannot rotate [" + path + "] (", 0), 0u) << printed;
  EXPECT_EQ(std::count(printed.begin(), printed.end(), '\n'), 1) << printed;
  ASSERT_TRUE(std::filesystem::remove(path + ".1"));
  WriteLines(log, 0, 10, 11);  // rotates now: the ten lines in FILE.1, the eleventh in FILE
  EXPECT_EQ(ExpectEveryLineOnceInOrder({path + ".1"}), std::vector<int>{10});
  EXPECT_EQ(WriterLines(path).size(), 1u);

  // A reader holding the file open: on Windows the rename waits for it to
  // close the file, tried at each line; elsewhere it does not wait. Either way
  // every line stays, in order.
  Log other("writer");
  const std::string read = Enable(other, "read.log");
  ASSERT_EQ(other.SetRotation(600, 5), 0);
  {
    std::ifstream reader(read, std::ios::binary);
    ASSERT_TRUE(reader.is_open());
    gi::CaptureStderr();
    WriteLines(other, 0, 0, 12);
    gi::GetCapturedStderr();
  }
  WriteLines(other, 0, 12, 13);
  EXPECT_TRUE(exists(read + ".1"));
  EXPECT_EQ(ExpectEveryLineOnceInOrder(Generations(read)), std::vector<int>{13});
}

TEST_F(LogRotation, RotateRotatesNowUnderTheLock) {
  Log log("writer");
  EXPECT_EQ(log.Rotate(3), -1) << "no file set";
  const std::string path = Enable(log, "now.log", 0);  // names the file, creates nothing
  EXPECT_EQ(log.Rotate(3), 1) << "no file yet";
  ASSERT_EQ(log.EnableLog(path.c_str(), 3), 0);
  WriteLines(log, 0, 0, 3);
  const struct {
    int keep;
    long long ifLarger;
    int result;
    std::vector<int> generations;  // afterwards
  } cases[] = {
      {0, 0, -1, {0}},     {Log::kMaxKeep + 1, 0, -1, {0}},
      {3, -1, -1, {0}},    {3, 1000, 1, {0}},      // not larger than 1000 bytes
      {3, 100, 0, {1, 0}}, {3, 0, 0, {2, 1, 0}}};  // a file of the header alone is larger than 0
  for (const auto& c : cases) {
    SCOPED_TRACE("Rotate(" + std::to_string(c.keep) + ", " + std::to_string(c.ifLarger) + ")");
    EXPECT_EQ(log.Rotate(c.keep, c.ifLarger), c.result);
    std::vector<std::string> expected;
    for (int n : c.generations) expected.push_back(Generation(path, n));
    EXPECT_EQ(Generations(path), expected);
  }
  // The three lines once, in FILE.2; each new file holds its header alone.
  EXPECT_EQ(ExpectEveryLineOnceInOrder(Generations(path)), std::vector<int>{3});

  EXPECT_EQ(log.Rotate(1), 0);  // keeping one rotated file removes the others
  EXPECT_EQ(Generations(path), (std::vector<std::string>{path + ".1", path}));
}

// A log the administrator made 0640 root:adm comes back so after a rotation,
// and the rotated file keeps it too. (A rotation by size starts the new file
// the same way: AWriterGettingInDuringARotationStartsTheNewFileAsTheRotationWould
// checks its mode.)
TEST_F(LogRotation, TheNewFileKeepsTheRotatedFilesModeOwnerAndGroup) {
  std::string why = orn2::testing::OtherUsersUnavailable();  // giving a file away takes root
  if (!why.empty()) GTEST_SKIP() << why;
  Log log("writer");
  const std::string path = Enable(log, "demand.log");
  ASSERT_TRUE(orn2::testing::SetProtection(path, 0640, 0, 4));
  EXPECT_EQ(log.Rotate(3), 0);
  EXPECT_EQ(orn2::testing::Protection(path), "0640 0:4");
  EXPECT_EQ(orn2::testing::Protection(path + ".1"), "0640 0:4");
}

}  // namespace
