// Log across processes: writers of one file in several processes take turns
// line by line on the file's named mutex, and a writer that dies holding it
// does not stop the others.
// These tests link the library's static twin (orn2_testing), so its classes
// are not imported from a DLL.
#ifndef ORN2_STATIC
#define ORN2_STATIC
#endif

#include <gtest/gtest.h>
#include <liborn2/liborn2.h>
#include <liborn2/mutex.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <utility>
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

// The lines after the header, "\r\n" read as "\n"; each must parse as
// "[yyyy/mm/dd hh:mm.ss][  writer] [ThreadId:n] child c line i".
std::vector<std::pair<int, int>> WriterLines(const std::string& path) {
  std::string text = ReadFileBytes(path);
  for (size_t at; (at = text.find("\r\n")) != std::string::npos;) text.erase(at, 1);
  EXPECT_EQ(text.substr(0, kHeader.size()), kHeader);
  std::vector<std::pair<int, int>> lines;
  for (size_t pos = kHeader.size(), end; pos < text.size(); pos = end + 1) {
    end = text.find('\n', pos);
    std::string line = text.substr(pos, end - pos);
    int child = -1, index = -1, used = -1, date[6];
    unsigned long tid;
    std::sscanf(line.c_str(),
                "[%4d/%2d/%2d %2d:%2d.%2d][  writer] [ThreadId:%lu] child %d line %d%n", &date[0],
                &date[1], &date[2], &date[3], &date[4], &date[5], &tid, &child, &index, &used);
    EXPECT_TRUE(end != std::string::npos && used == static_cast<int>(line.size())) << line;
    lines.emplace_back(child, index);
    if (end == std::string::npos) break;
  }
  return lines;
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

  std::vector<std::pair<int, int>> lines = WriterLines(path);
  ASSERT_EQ(lines.size(), static_cast<size_t>(kChildren * kLinesEach));
  std::vector<int> next(kChildren, 0);
  for (auto [child, index] : lines) {
    ASSERT_TRUE(child >= 0 && child < kChildren);
    ASSERT_EQ(index, next[child]++);  // each writer's lines whole and in order
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
  EXPECT_FALSE(std::filesystem::exists(path) && !WriterLines(path).empty());

  holder.Kill();
  ASSERT_TRUE(writer.Wait(kChildTimeoutMs, &code)) << "the killed holder's lock was not taken over";
  EXPECT_EQ(code, 0);
  Log log("writer");  // and this process after both
  ASSERT_EQ(log.EnableLog(path.c_str(), 3), 0);
  log.LogLine(3, "child %d line %d", 1, 100);
  std::vector<std::pair<int, int>> lines = WriterLines(path);
  ASSERT_EQ(lines.size(), 101u);
  for (int i = 0; i < 101; ++i) EXPECT_EQ(lines[i], std::make_pair(i < 100 ? 0 : 1, i));
}

}  // namespace
