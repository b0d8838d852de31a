// orn: the command-line front end of liborn2, for the people who operate an agent
// and for shell scripts. Each subcommand lives in a file of its own.
#include <cstdio>
#include <cstring>

#include "tools/orn/cli.h"

namespace {

const char kUsage[] =
    "usage: orn COMMAND ARGS...\n"
    "\n"
    "  config    read and edit configuration files (get, set, sections, keys, remove,\n"
    "            dump, endpoints)\n"
    "  endpoint  parse and check one server endpoint\n"
    "  iprange   expand an IP range expression, optionally with a net mask\n"
    "  cron      check and evaluate a cron schedule line (check, today, next, last)\n"
    "  log       append a line or a hex dump to a module log file\n"
    "\n"
    "'orn COMMAND --help' describes each command. Exit status: 0 success, 1 a negative\n"
    "answer (key missing, line invalid), 2 bad usage or a file that cannot be used.\n";

struct Command {
  const char* name;
  int (*run)(int argc, char** argv, int first);
};

const Command kCommands[] = {
    {"config", orn::RunConfig}, {"endpoint", orn::RunEndpoint}, {"iprange", orn::RunIpRange},
    {"cron", orn::RunCron},     {"log", orn::RunLog},
};

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return orn::Fail(orn::kExitUsage, "usage", "no command given (try 'orn --help')");
  const char* name = argv[1];
  if (std::strcmp(name, "--help") == 0 || std::strcmp(name, "-h") == 0 ||
      std::strcmp(name, "help") == 0) {
    return orn::Help(kUsage);
  }
  for (const Command& command : kCommands) {
    if (std::strcmp(name, command.name) == 0) return command.run(argc, argv, 2);
  }
  return orn::Fail(orn::kExitUsage, name, "unknown command (try 'orn --help')");
}
