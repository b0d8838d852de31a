// Log's tests: the fixture that gives a test a directory for its logs, the
// writer child that several test programs start ("LogWriter") and the check of
// the lines such writers leave in a log's files.
#ifndef ORN2_TESTS_SUPPORT_LOG_LINES_H
#define ORN2_TESTS_SUPPORT_LOG_LINES_H

#include <gtest/gtest.h>
#include <liborn2/liborn2.h>

#include <string>
#include <vector>

#include "support/temp_dir.h"

namespace orn2::testing {

// The texts of Log's lines, written out here once for every test, apart
// from the library's own definition, so that the tests check it:
// the header that Log writes at the top of each new file,
extern const char kLogHeader[];
// the marker before a cut message (then an encoded line end), and the ruler
// that opens and closes a hex dump's body (each without its line end).
extern const char kLogMarker[];
// The level prefixes of errors (level 1) and warnings (level 2).
extern const char kLogError[];
extern const char kLogWarning[];
extern const char kLogRuler[];

// A test with a directory of its own for the log files it enables.
class LogFileTest : public ::testing::Test {
 protected:
  // The file `name` in the test's directory, enabled on `log` at `level`.
  std::string Enable(Log& log, const std::string& name, int level = 3) {
    std::string path = dir_.File(name);
    EXPECT_EQ(log.EnableLog(path.c_str(), level), 0) << path;
    return path;
  }

  TempDir dir_;
};

// One line "child <c> line <i>" as the writers write it.
struct WriterLine {
  int child, index;
};

// The lines of `file` after its header, each checked whole
// ("[yyyy/mm/dd hh:mm.ss][  writer] [ThreadId:n] child c line i") and ended.
std::vector<WriterLine> WriterLines(const std::string& file);

// Checks that the files, oldest first, hold each writer's lines exactly once
// and in order, from line 0 on (with `fromAny`, from wherever each writer's
// first line there is); returns by child number the index after each one's
// last line: its line count where they start at 0.
std::vector<int> ExpectEveryLineOnceInOrder(const std::vector<std::string>& files,
                                            bool fromAny = false);

}  // namespace orn2::testing

#endif  // ORN2_TESTS_SUPPORT_LOG_LINES_H
