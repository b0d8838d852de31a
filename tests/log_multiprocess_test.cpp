// Log across processes: writers of one file in several processes take turns
// line by line on the file's named mutex, and a writer that dies holding it
// does not stop the others.
#include <gtest/gtest.h>
#include <liborn2/liborn2.h>
#include <liborn2/mutex.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "log/mutex_name.h"
#include "port/clock.h"
#include "support/child.h"
#include "support/temp_dir.h"

namespace {

using orn2::testing::ChildProcess;
using orn2::testing::ReadFileBytes;
using orn2::testing::TempDir;

const std::string kHeader = "Orn Library: Generic Logging Routines\n2001-08-16, v1.01.03\n\n";
constexpr long kChildTimeoutMs = 100000;

// Writes args[2] lines "child <args[1]> line <n>" to the file args[0] through
// its own Log.
ORN2_CHILD(LogWriter) {
  if (args.size() != 3) return 2;
  Log log("writer");
  if (log.EnableLog(args[0].c_str(), 3) != 0) return 3;
  int count = std::stoi(args[2]);
  for (int i = 0; i < count; ++i) log.LogLine(3, "child %s line %d", args[1].c_str(), i);
  return 0;
}

// Takes the lock of the log file args[0], says so by creating args[1], and
// keeps it until it is killed.
ORN2_CHILD(LockHolder) {
  if (args.size() != 2) return 2;
  char name[orn2::log::kMutexNameMax + 1];
  orn2::log::MutexNameForFile(args[0].c_str(), name);
  Mutex mutex(name);
  mutex.Acquire();
  FILE* ready = std::fopen(args[1].c_str(), "w");
  if (ready == nullptr) return 3;
  std::fclose(ready);
  for (;;) orn2::port::SleepMs(1000);
}

// The file as lines with "\n" ends, the text-mode "\r\n" of some platforms
// folded.
std::vector<std::string> Lines(const std::string& path, std::string* header) {
  std::string bytes = ReadFileBytes(path);
  std::string text;
  for (size_t i = 0; i < bytes.size(); ++i)
    if (!(bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n')) text += bytes[i];
  *header = text.substr(0, kHeader.size());
  std::vector<std::string> lines;
  size_t pos = kHeader.size();
  while (pos < text.size()) {
    size_t end = text.find('\n', pos);
    if (end == std::string::npos) {
      lines.push_back(text.substr(pos) + "<no line end>");
      break;
    }
    lines.push_back(text.substr(pos, end - pos));
    pos = end + 1;
  }
  return lines;
}

// Parses "[yyyy/mm/dd hh:mm.ss][  writer] [ThreadId:n] child c line i".
bool ParseWriterLine(const std::string& line, int* child, int* index) {
  int year, month, day, hour, minute, second, consumed = -1;
  unsigned long tid;
  if (std::sscanf(line.c_str(),
                  "[%4d/%2d/%2d %2d:%2d.%2d][  writer] [ThreadId:%lu] child %d line %d%n", &year,
                  &month, &day, &hour, &minute, &second, &tid, child, index, &consumed) != 9)
    return false;
  return consumed == static_cast<int>(line.size()) && line.compare(0, 1, "[") == 0;
}

TEST(LogMultiProcess, EightWritersEndWithEveryLineWhole) {
  constexpr int kChildren = 8;
  constexpr int kLinesEach = 5000;
  TempDir dir;
  std::string path = dir.File("shared.log");

  std::vector<std::unique_ptr<ChildProcess>> children;
  for (int c = 0; c < kChildren; ++c) {
    children.push_back(std::make_unique<ChildProcess>(
        "LogWriter",
        std::vector<std::string>{path, std::to_string(c), std::to_string(kLinesEach)}));
    ASSERT_TRUE(children.back()->Started());
  }
  for (auto& child : children) {
    int code = -1;
    ASSERT_TRUE(child->Wait(kChildTimeoutMs, &code));
    EXPECT_EQ(code, 0);
  }

  std::string header;
  std::vector<std::string> lines = Lines(path, &header);
  EXPECT_EQ(header, kHeader);
  ASSERT_EQ(lines.size(), static_cast<size_t>(kChildren * kLinesEach));
  std::vector<int> next(kChildren, 0);
  for (const std::string& line : lines) {
    int child = -1, index = -1;
    ASSERT_TRUE(ParseWriterLine(line, &child, &index)) << line;
    ASSERT_TRUE(child >= 0 && child < kChildren) << line;
    // Each writer's lines arrive whole and in its own order.
    ASSERT_EQ(index, next[child]++) << line;
  }
}

TEST(LogMultiProcess, AWriterKilledHoldingTheLockDoesNotStopTheOthers) {
  TempDir dir;
  std::string path = dir.File("killed.log");
  std::string ready = dir.File("holding");

  ChildProcess holder("LockHolder", {path, ready});
  ASSERT_TRUE(holder.Started());
  for (int waited = 0; !std::filesystem::exists(ready); waited += 10) {
    ASSERT_LT(waited, 60000) << "the holder never took the lock";
    orn2::port::SleepMs(10);
  }

  ChildProcess writer("LogWriter", {path, "0", "100"});
  ASSERT_TRUE(writer.Started());
  int code = -1;
  // While the lock is held the writer gets nowhere.
  EXPECT_FALSE(writer.Wait(500, &code));
  std::string header;
  EXPECT_TRUE(Lines(path, &header).empty());

  holder.Kill();
  ASSERT_TRUE(writer.Wait(kChildTimeoutMs, &code))
      << "the lock of a killed holder was not taken over";
  EXPECT_EQ(code, 0);

  // This process writes through its own Log after both.
  Log log("writer");
  ASSERT_EQ(log.EnableLog(path.c_str(), 3), 0);
  log.LogLine(3, "child %s line %d", "1", 0);

  std::vector<std::string> lines = Lines(path, &header);
  EXPECT_EQ(header, kHeader);
  ASSERT_EQ(lines.size(), 101u);
  for (size_t i = 0; i < lines.size(); ++i) {
    int child = -1, index = -1;
    ASSERT_TRUE(ParseWriterLine(lines[i], &child, &index)) << lines[i];
    EXPECT_EQ(child, i < 100 ? 0 : 1);
    EXPECT_EQ(index, i < 100 ? static_cast<int>(i) : 0);
  }
}

}  // namespace
