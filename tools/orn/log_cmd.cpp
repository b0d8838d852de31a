// orn log: append one line, or a hex dump of standard input, to a module log
// file, taking the file's named mutex like every other writer of that file.
#include <liborn2/liborn2.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "port/console.h"
#include "tools/orn/cli.h"

namespace orn {
namespace {

const char kLogUsage[] =
    "usage: orn log FILE [--level N] [--module M] MESSAGE...\n"
    "       orn log FILE [--module M] [--title T] --dump < BYTES\n"
    "\n"
    "Appends one time-stamped line to FILE (created with its header when missing).\n"
    "N is the message level, 0 to 5: 1 writes an error, 2 a warning, 3 (the default)\n"
    "and the others a plain line. M is the module name shown on the line (cut to 8\n"
    "characters, default orn). --dump writes a hex dump of standard input (the first\n"
    "384 bytes fit whole) under the title T (default stdin). Exit status 0 on\n"
    "success, 2 for bad usage or a log file that cannot be written.\n";

constexpr long long kDefaultLevel = 3;
// The dump text holds at most 2048 characters, about 24 hex lines; more input
// than this is read and dropped rather than formatted.
constexpr size_t kMaxDumpBytes = 4096;
constexpr size_t kMaxFileName = 255;

}  // namespace

int RunLog(int argc, char** argv, int first) {
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
    return Fail(kExitUsage, command, "the file name must have 1 to 255 characters");
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

  if (std::filesystem::exists(path, error)) {
    // An existing file that cannot be appended to would lose the line silently.
    std::FILE* probe = std::fopen(file.c_str(), "a");
    if (probe == nullptr) return Fail(kExitUsage, command, "cannot append to " + file);
    std::fclose(probe);
  }

  Log log(module.c_str(), 0);
  // The object's level 5 lets every message level through, hex dumps included.
  if (log.EnableLog(file.c_str(), 5) != 0) {
    std::fputs("\n", stderr);
    return Fail(kExitUsage, command, "cannot write " + file);
  }
  if (dump) {
    orn2::port::BinaryStandardInput();
    std::vector<char> bytes;
    char chunk[1024];
    size_t n = 0;
    while ((n = std::fread(chunk, 1, sizeof chunk, stdin)) > 0) {
      const size_t room = kMaxDumpBytes - bytes.size();
      bytes.insert(bytes.end(), chunk, chunk + (n < room ? n : room));
    }
    char none = 0;
    log.Dump(bytes.empty() ? &none : bytes.data(), static_cast<int>(bytes.size()), title.c_str());
    return kExitOk;
  }
  std::string message = p[1];
  for (size_t i = 2; i < p.size(); ++i) message += " " + p[i];
  log.LogLine(static_cast<int>(level), "%s", message.c_str());
  return kExitOk;
}

}  // namespace orn
