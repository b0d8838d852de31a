// orn: the command-line front end of liborn2, for the people who operate an agent
// and for shell scripts. Each subcommand lives in a file of its own.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "orn/cli.h"

namespace {

const char kUsage[] =
    "usage: orn COMMAND ARGS...\n"
    "       orn help COMMAND | --help | --version\n"
    "\n"
    "  config    read and edit configuration files (get, set, sections, keys, remove,\n"
    "            dump, endpoints)\n"
    "  endpoint  parse and check one server endpoint\n"
    "  iprange   expand an IP range expression, optionally with a net mask\n"
    "  cron      check and evaluate a cron schedule line (check, today, next, last,\n"
    "            calendar)\n"
    "  log       append a line or a hex dump to a module log file\n"
    "\n"
    "'orn help COMMAND' or 'orn COMMAND --help' describes each command; --version\n"
    "prints the version of liborn2 that orn belongs to. Exit status: 0 success, 1 a\n"
    "negative answer (key missing, line invalid), 2 bad usage or a file that cannot be\n"
    "used. The manual page orn(1) describes it all.\n";

struct Command {
  const char* name;
  int (*run)(int argc, char** argv, int first);
};

const Command kCommands[] = {
    {"config", orn::RunConfig}, {"endpoint", orn::RunEndpoint}, {"iprange", orn::RunIpRange},
    {"cron", orn::RunCron},     {"log", orn::RunLog},
};

const Command* FindCommand(const char* name) {
  for (const Command& command : kCommands) {
    if (std::strcmp(name, command.name) == 0) return &command;
  }
  return nullptr;
}

// orn help COMMAND [WORDS...] runs orn COMMAND [WORDS...] --help.
int HelpFor(int argc, char** argv) {
  if (argc < 3 || std::strcmp(argv[2], "--help") == 0 || std::strcmp(argv[2], "-h") == 0)
    return orn::Help(kUsage);
  const Command* command = FindCommand(argv[2]);
  if (command == nullptr) {
    return orn::Fail(orn::kExitUsage, "help",
                     std::string("unknown command ") + argv[2] + " (try 'orn --help')");
  }
  std::vector<char*> words(argv, argv + argc);
  words.erase(words.begin() + 1);  // "help"
  static char helpFlag[] = "--help";
  words.push_back(helpFlag);
  words.push_back(nullptr);
  return command->run(static_cast<int>(words.size()) - 1, words.data(), 2);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return orn::Fail(orn::kExitUsage, "usage", "no command given (try 'orn --help')");
  const char* name = argv[1];
  if (std::strcmp(name, "--help") == 0 || std::strcmp(name, "-h") == 0) return orn::Help(kUsage);
  if (std::strcmp(name, "help") == 0) return HelpFor(argc, argv);
  if (std::strcmp(name, "--version") == 0) {
    if (argc > 2) return orn::Fail(orn::kExitUsage, "--version", "takes no arguments");
    std::printf("orn (liborn2) %s\n", ORN_VERSION);
    return orn::kExitOk;
  }
  const Command* command = FindCommand(name);
  if (command != nullptr) return command->run(argc, argv, 2);
  return orn::Fail(orn::kExitUsage, name, "unknown command (try 'orn --help')");
}
