#include "support/log_lines.h"

#include <gtest/gtest.h>
#include <liborn2/liborn2.h>

#include <algorithm>
#include <cstdio>

#include "support/child.h"
#include "support/hostile.h"
#include "support/temp_dir.h"

namespace orn2::testing {

const char kLogHeader[] = "Orn Library: Generic Logging Routines\n2001-08-16, v1.01.03\n\n";
const char kLogMarker[] = "*** Logline Error: Excessive Line truncated ***";
const char kLogError[] = "**ERROR** ";
const char kLogWarning[] = "*WARNING* ";
const char kLogRuler[] =
    "     ------------------------------------------------------  ----------------";

std::vector<WriterLine> WriterLines(const std::string& file) {
  std::string text = ReadFileBytes(file);
  text.erase(std::remove(text.begin(), text.end(), '\r'), text.end());  // text-mode line ends
  const std::string header = kLogHeader;
  std::vector<WriterLine> lines;
  EXPECT_EQ(text.substr(0, header.size()), header) << file;
  for (size_t pos = header.size(), end; pos < text.size(); pos = end + 1) {
    std::string line = text.substr(pos, (end = text.find('\n', pos)) - pos);
    WriterLine entry{-1, -1};
    int used = -1;
    std::sscanf(line.c_str(),
                "[%*4d/%*2d/%*2d %*2d:%*2d.%*2d][  writer] [ThreadId:%*u] child %d line %d%n",
                &entry.child, &entry.index, &used);
    EXPECT_NE(end, std::string::npos) << file << ": a last line without its end: " << line;
    EXPECT_EQ(used, static_cast<int>(line.size())) << file << ": not a whole line: " << line;
    if (end == std::string::npos) break;
    lines.push_back(entry);
  }
  return lines;
}

std::vector<int> ExpectEveryLineOnceInOrder(const std::vector<std::string>& files, bool fromAny) {
  std::vector<int> next;
  for (const std::string& file : files) {
    for (const WriterLine& e : WriterLines(file)) {
      if (e.child < 0 || e.child > 99) {
        ADD_FAILURE() << file << ": child " << e.child;
        continue;
      }
      if (e.child >= static_cast<int>(next.size())) next.resize(e.child + 1, fromAny ? -1 : 0);
      if (next[e.child] < 0) next[e.child] = e.index;  // with fromAny, its first line here
      EXPECT_EQ(e.index, next[e.child]) << file << ": child " << e.child;
      next[e.child] = e.index + 1;
    }
  }
  return next;
}

// Defined here, beside the check that every program starting it calls, so that
// the linker keeps its registration.
// args: file, child number, line count, and optionally a maximum size and keep
// (rotation on) and then a user to write as, with a umask that lets every user
// write the files it creates. Writes "child <c> line <i>" lines.
ORN2_CHILD(LogWriter) {
  if (args.size() > 5) {
    SetUmask(0);
    if (!BecomeUser(static_cast<unsigned>(std::stoul(args[5])))) return 2;
  }
  Log log("writer");
  if (log.EnableLog(args.at(0).c_str(), 3) != 0) return 3;
  if (args.size() > 4 && log.SetRotation(std::stoll(args[3]), std::stoi(args[4])) != 0) return 4;
  for (int i = 0; i < std::stoi(args.at(2)); ++i)
    log.LogLine(3, "child %s line %d", args[1].c_str(), i);
  return 0;
}

}  // namespace orn2::testing
