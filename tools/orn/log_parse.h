// Reading module log files back as entries, for shipping them as structured
// records: the grammar of the lines Log writes (the header, time-stamped lines
// with their level prefix, the continuation lines that carry the line ends
// inside an entry, hex dumps with the empty line after them), and each entry
// as one JSON object.
#ifndef ORN_TOOLS_LOG_PARSE_H
#define ORN_TOOLS_LOG_PARSE_H

#include <cstddef>
#include <istream>
#include <string>
#include <utility>
#include <vector>

namespace orn {

// What the line's prefix says. Levels 0 and 3 to 5 (hex dumps are level 4)
// carry no prefix, so the file cannot tell them apart: they are all kNone.
enum class LogLevel { kNone, kWarning, kError };

struct LogEntry {
  std::string time;    // "YYYY-MM-DDTHH:MM:SS": the writer's local time, no zone in the file
  std::string module;  // without the blanks that pad it on the left
  unsigned long long thread = 0;
  LogLevel level = LogLevel::kNone;
  // The text the writer formatted, its own line ends ("\n", "\r", "\r\n")
  // given back exactly; a hex dump's lines are joined by "\n", and it ends in
  // "\n" (the empty line after it).
  std::string message;
  bool truncated = false;  // cut to its first 2048 characters by the writer
  bool dump = false;       // a hex dump: title, empty line, rulers and hex lines
  size_t line = 0;         // the line where the entry starts, from 1
};

// Reads the entries of one log file from its bytes, line by line, with at most
// three lines held back and no line longer than a writer makes held whole;
// lines may end in "\n" or "\r\n". Header lines (three, or the two that
// LogBlank writes into a file it creates) and blank lines are skipped wherever
// they stand, so concatenated files read as one. Used by one thread at a time.
class LogReader {
 public:
  enum Result { kEntry, kProblem, kEnd };

  explicit LogReader(std::istream& in) : in_(in) {}

  // The next entry; or kProblem for a line that is not part of the grammar,
  // which is then skipped so that reading may go on (Problem() and
  // ProblemLine() say what and where); or kEnd.
  Result Next(LogEntry& entry);
  const std::string& Problem() const { return problem_; }
  size_t ProblemLine() const { return problemLine_; }

 private:
  struct Line {
    std::string text;
    size_t number = 0;
    bool tooLong = false;  // longer than any line a writer makes; text holds its start
  };

  bool Pull(Line& line);
  void PushBack(Line line) { held_.push_back(std::move(line)); }
  Result Refuse(size_t number, const char* why);
  void ReadDumpBody(LogEntry& entry);

  std::istream& in_;
  size_t lineCount_ = 0;
  bool skipping_ = false;   // the rest of a line too long is yet to be passed over
  std::vector<Line> held_;  // lines read ahead, the next one last
  std::string problem_;
  size_t problemLine_ = 0;
};

// The length of the "[YYYY/MM/DD hh:mm.ss][  module] [ThreadId:nnnn] " that
// starts `text`, with its fields stored in `entry`; 0 when there is none.
size_t ParseStamp(const std::string& text, LogEntry& entry);

// The entry as one JSON object without a line end:
// {"time":...,"module":...,"thread":N,"level":"error"|"warning"|null,"message":...}
// followed by "truncated":true and "dump":true only when they hold.
std::string EntryToJson(const LogEntry& entry);

}  // namespace orn

#endif  // ORN_TOOLS_LOG_PARSE_H
