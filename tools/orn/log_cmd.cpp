// orn log: append one line, or a hex dump of standard input, to a module log
// file, taking the file's named mutex like every other writer of that file;
// orn log parse: read log files back as one JSON object per entry; and orn log
// rotate: rotate a log file under that mutex.
#include <liborn2/liborn2.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

#include "common/console.h"
#include "orn/cli.h"
#include "orn/log_follow.h"
#include "orn/log_parse.h"

namespace orn {
namespace {

const char kLogUsage[] =
    "usage: orn log FILE [--level N] [--module M] MESSAGE...\n"
    "       orn log FILE [--module M] [--title T] --dump < BYTES\n"
    "       orn log parse [--lenient] [FILE...]\n"
    "       orn log rotate FILE [--keep N] [--if-larger SIZE]\n"
    "       orn log follow FILE [--json] [--from-start|--from-now] [--state STATE]\n"
    "\n"
    "Appends one time-stamped line to FILE (created with its header when missing).\n"
    "N is the message level, 0 to 5: 1 writes an error, 2 a warning, 3 (the default)\n"
    "and the others a plain line. M is the module name shown on the line (cut to 8\n"
    "characters, default orn). --dump writes a hex dump of standard input (the first\n"
    "384 bytes fit whole) under the title T (default stdin). Exit status 0 on\n"
    "success, 2 for bad usage or a log file that cannot be written.\n"
    "A log file named parse, rotate or follow is written as ./parse, ./rotate or\n"
    "./follow.\n"
    "\n"
    "Subcommands (orn log SUBCOMMAND --help tells more):\n"
    "  parse   reads log files back, one JSON object per entry\n"
    "  rotate  rotates a log file now, under the lock that its writers take\n"
    "  follow  prints the entries of a log file as they are written, across rotations\n";

const char kParseUsage[] =
    "usage: orn log parse [--lenient] [FILE...]\n"
    "\n"
    "Prints each entry of the log files, in the order given, as one JSON object per\n"
    "line: {\"time\":\"2026-12-03T23:10:39\",\"module\":\"Poller\",\"thread\":2140,\n"
    "\"level\":\"warning\",\"message\":\"Retry 3 of 5\"}. The time is the writer's local\n"
    "time as the file holds it, without a zone. level is \"error\", \"warning\" or null\n"
    "(the file gives no prefix for the other levels). The message is the writer's\n"
    "exact text: the file's lines inside an entry begin with a tab and a code for\n"
    "the line end before them (| for \\n, < for \\r, = for \\r\\n). A message cut at\n"
    "2048 characters adds \"truncated\":true, a hex dump (its lines joined by \\n)\n"
    "adds \"dump\":true. Header lines and blank lines are skipped. Rotated files go\n"
    "oldest first: orn log parse FILE.3 FILE.2 FILE.1 FILE. No FILE, or -, reads\n"
    "standard input. Exit status 0; 2 for bad usage, a file that cannot be read, or a line\n"
    "that is not a log line (FILE:LINE on standard error, after the entries before\n"
    "it), unless --lenient skips such lines and counts them on standard error. A\n"
    "line longer than any the library writes is not a log line.\n";

const char kRotateUsage[] =
    "usage: orn log rotate FILE [--keep N] [--if-larger SIZE]\n"
    "\n"
    "Rotates FILE now, under the file's named mutex, so that no writer of any\n"
    "process loses or splits a line: FILE.N-1 becomes FILE.N (the oldest is\n"
    "dropped), and so on down to FILE, which becomes FILE.1; a new FILE starts\n"
    "with the header lines. N is the number of rotated files kept, 1 to 999\n"
    "(default 5); FILE.N+1 and after are removed. With --if-larger, only a FILE\n"
    "larger than SIZE bytes is rotated (a suffix k, M or G multiplies by 1024,\n"
    "1024^2 or 1024^3). Exit status 0 when rotated; 1 when FILE is missing or\n"
    "not larger than SIZE; 2 for bad usage or a rename that failed (nothing is\n"
    "lost then; on Windows a reader may hold a file open). Spell FILE as its\n"
    "writers do: the mutex is named after the file name as given.\n";

static_assert(Log::kMaxKeep == 999, "kRotateUsage names the most rotated files kept");

constexpr long long kDefaultLevel = 3;
constexpr long long kDefaultKeep = 5;
// The dump text holds at most 2048 characters, about 24 hex lines; more input
// than this is read and dropped rather than formatted.
constexpr size_t kMaxDumpBytes = 4096;
constexpr size_t kMaxFileName = Log::kFileNameSize - 1;

// Prints the entries of one stream; false at the first line that is not a log
// line unless `lenient`, which counts it in `skipped` instead.
bool PrintEntries(std::istream& in, const std::string& name, bool lenient, long long& skipped) {
  LogReader reader(in);
  LogEntry entry;
  for (;;) {
    LogReader::Result result = reader.Next(entry);
    if (result == LogReader::kEnd) return true;
    if (result == LogReader::kEntry) {
      std::string json = EntryToJson(entry);
      json += '\n';
      std::fwrite(json.data(), 1, json.size(), stdout);
      continue;
    }
    if (!lenient) {
      Fail(kExitUsage, "log parse",
           name + ":" + std::to_string(reader.ProblemLine()) + ": " + reader.Problem());
      return false;
    }
    ++skipped;
  }
}

int RunLogParse(int argc, char** argv, int first) {
  const std::string command = "log parse";
  Args args(argc, argv, first);
  if (args.WantsHelp()) return Help(kParseUsage);
  const bool lenient = args.TakeFlag("lenient");
  if (!args.Finish()) return Fail(kExitUsage, command, args.Error());
  std::vector<std::string> files = args.Positional();
  if (files.empty()) files.push_back("-");

  // Every file is opened before the first entry is printed, so that a missing
  // one is reported without a partial output.
  std::vector<std::unique_ptr<std::ifstream>> streams;
  for (const std::string& file : files) {
    if (file == "-") {
      streams.emplace_back();
      continue;
    }
    std::error_code error;
    if (std::filesystem::is_directory(file, error)) {
      return Fail(kExitUsage, command, file + " is a directory");
    }
    auto stream = std::make_unique<std::ifstream>(file, std::ios::binary);
    if (!stream->is_open()) return Fail(kExitUsage, command, "cannot read " + file);
    streams.push_back(std::move(stream));
  }

  long long skipped = 0;
  for (size_t i = 0; i < files.size(); ++i) {
    std::istream* in = streams[i].get();
    if (in == nullptr) {
      orn2::console::BinaryStandardInput();
      in = &std::cin;
    }
    const std::string name = streams[i] ? files[i] : "stdin";
    if (!PrintEntries(*in, name, lenient, skipped)) return kExitUsage;
    if (in->bad()) return Fail(kExitUsage, command, "cannot read " + name);
  }
  if (skipped > 0) {
    Fail(kExitOk, command,
         "skipped " + std::to_string(skipped) +
             (skipped == 1 ? " line that is not a log line" : " lines that are not log lines"));
  }
  if (std::fflush(stdout) != 0 || std::ferror(stdout) != 0) {
    return Fail(kExitUsage, command, "cannot write standard output");
  }
  return kExitOk;
}

// A size in bytes: decimal digits with an optional suffix k, M or G.
bool ParseSize(const std::string& text, long long& size) {
  static const struct {
    char suffix;
    int shift;
  } units[] = {{'k', 10}, {'K', 10}, {'M', 20}, {'G', 30}};
  for (const auto& unit : units) {
    if (text.size() < 2 || text.back() != unit.suffix) continue;
    long long count = 0;
    if (!ParseInt(text.substr(0, text.size() - 1), 0, (1LL << (62 - unit.shift)), count)) {
      return false;
    }
    size = count << unit.shift;
    return true;
  }
  return ParseInt(text, 0, 1LL << 62, size);
}

int RunLogRotate(int argc, char** argv, int first) {
  const std::string command = "log rotate";
  Args args(argc, argv, first);
  if (args.WantsHelp()) return Help(kRotateUsage);
  std::string keepText, sizeText;
  const bool hasKeep = args.TakeOption("keep", keepText);
  const bool hasSize = args.TakeOption("if-larger", sizeText);
  if (!args.Finish()) return Fail(kExitUsage, command, args.Error());
  int status = kExitOk;
  if (!Arity(args, 1, 1, command, "FILE", status)) return status;
  const std::string& file = args.Positional()[0];
  long long keep = kDefaultKeep, ifLarger = 0;
  if (hasKeep && !ParseInt(keepText, 1, Log::kMaxKeep, keep)) {
    return Fail(kExitUsage, command,
                "--keep takes a number from 1 to " + std::to_string(Log::kMaxKeep));
  }
  if (hasSize && !ParseSize(sizeText, ifLarger)) {
    return Fail(kExitUsage, command, "--if-larger takes a size in bytes, such as 1048576 or 1M");
  }
  if (file.empty() || file.size() > kMaxFileName) {
    return Fail(kExitUsage, command,
                "the file name must have 1 to " + std::to_string(kMaxFileName) + " characters");
  }
  Log log("orn", 0);
  // Level 0 names the file and its mutex and creates nothing.
  if (log.EnableLog(file.c_str(), 0) != 0) return Fail(kExitUsage, command, "cannot use " + file);
  switch (log.Rotate(static_cast<int>(keep), ifLarger)) {
    case 0:
      return kExitOk;
    case 1:
      return kExitNo;
    default:  // Rotate said why on standard error
      return Fail(kExitUsage, command, "cannot rotate " + file);
  }
}

}  // namespace

int RunLog(int argc, char** argv, int first) {
  if (first < argc && std::string(argv[first]) == "parse")
    return RunLogParse(argc, argv, first + 1);
  if (first < argc && std::string(argv[first]) == "rotate")
    return RunLogRotate(argc, argv, first + 1);
  if (first < argc && std::string(argv[first]) == "follow")
    return RunLogFollow(argc, argv, first + 1);
  const std::string command = "log";
  Args args(argc, argv, first);
  if (args.WantsHelp()) return Help(kLogUsage);
  std::string levelText;
  std::string module = "orn";
  std::string title = "stdin";
  const bool hasLevel = args.TakeOption("level", levelText);
  args.TakeOption("module", module);
  const bool hasTitle = args.TakeOption("title", title);
  const bool dump = args.TakeFlag("dump");
  if (!args.Finish()) return Fail(kExitUsage, command, args.Error());
  const std::vector<std::string>& p = args.Positional();
  if (p.empty()) return Fail(kExitUsage, command, "expected FILE");
  const std::string& file = p[0];
  long long level = kDefaultLevel;
  if (hasLevel && !ParseInt(levelText, 0, 5, level)) {
    return Fail(kExitUsage, command, "--level takes a number from 0 to 5");
  }
  if (dump && (p.size() > 1 || hasLevel)) {
    return Fail(kExitUsage, command, "--dump takes no MESSAGE and no --level");
  }
  if (!dump && hasTitle) return Fail(kExitUsage, command, "--title goes with --dump");
  if (!dump && p.size() < 2) return Fail(kExitUsage, command, "expected FILE MESSAGE...");
  if (file.empty() || file.size() > kMaxFileName) {
    return Fail(kExitUsage, command,
                "the file name must have 1 to " + std::to_string(kMaxFileName) + " characters");
  }

  // EnableLog reports an unusable file without a line end; the common causes are
  // checked here first so that the message names them.
  std::error_code error;
  const std::filesystem::path path(file);
  if (std::filesystem::is_directory(path, error)) {
    return Fail(kExitUsage, command, file + " is a directory");
  }
  const std::filesystem::path parent = path.parent_path();
  if (!parent.empty() && !std::filesystem::is_directory(parent, error)) {
    return Fail(kExitUsage, command, "no directory " + parent.string() + " for " + file);
  }

  // Only the status is read here, never the file opened: a FIFO would block.
  // The library opens the file without blocking and refuses what is not a
  // regular file whatever the path turns into meanwhile.
  const std::filesystem::file_status type = std::filesystem::status(path, error);
  if (std::filesystem::exists(type) && !std::filesystem::is_regular_file(type)) {
    return Fail(kExitUsage, command, file + " is not a regular file");
  }

  Log log(module.c_str(), 0);
  // The object's level 5 lets every message level through, hex dumps included.
  if (log.EnableLog(file.c_str(), 5) != 0) {
    std::fputs("\n", stderr);
    return Fail(kExitUsage, command, "cannot write " + file);
  }
  if (dump) {
    orn2::console::BinaryStandardInput();
    std::vector<char> bytes;
    char chunk[1024];
    size_t n = 0;
    while ((n = std::fread(chunk, 1, sizeof chunk, stdin)) > 0) {
      const size_t room = kMaxDumpBytes - bytes.size();
      bytes.insert(bytes.end(), chunk, chunk + (n < room ? n : room));
    }
    char none = 0;
    log.Dump(bytes.empty() ? &none : bytes.data(), static_cast<int>(bytes.size()), title.c_str());
  } else {
    std::string message = p[1];
    for (size_t i = 2; i < p.size(); ++i) message += " " + p[i];
    log.LogLine(static_cast<int>(level), "%s", message.c_str());
  }
  // A line that could not be appended was lost, and the library said why.
  if (log.LostLines() != 0) return Fail(kExitUsage, command, "cannot append to " + file);
  return kExitOk;
}

}  // namespace orn
