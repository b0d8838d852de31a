// orn cron: check a cron schedule line and evaluate it against the local clock.
#include <liborn2/liborn2.h>

#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>

#include "tools/orn/cli.h"

namespace orn {
namespace {

const char kCronUsage[] =
    "usage: orn cron check|today|next|last LINE [COUNT]\n"
    "\n"
    "LINE is one argument of five blank-separated fields: minute (0-59), hour (0-23),\n"
    "day of month (1-31), month (0-11, 0 is January), day of week (0-7, 0 and 7 are\n"
    "Sunday); each a list of values, ranges (1-5), steps (*/15, 1-30/5) or '*'.\n"
    "\n"
    "  check        is the line well formed\n"
    "  today        does the line fall due today (its day and month fields only)\n"
    "  next         the first start after the current minute\n"
    "  last [COUNT] the latest start within the last COUNT minutes, the current one\n"
    "               included (default 1440); the library counts months 1-12 here\n"
    "\n"
    "next and last print the local time in ISO 8601 and the seconds since 1970.\n"
    "Exit status 0 yes, 1 no (line invalid, not due, no start found), 2 bad usage.\n";

// The library takes the line as a writable C string; it never changes it.
constexpr size_t kLineBuffer = 1024;
constexpr long long kDefaultLookBack = 1440;

void PrintTime(unsigned long when) {
  const std::time_t seconds = static_cast<std::time_t>(when);
  const std::tm* local = std::localtime(&seconds);
  char text[32] = "?";
  if (local != nullptr) std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", local);
  std::printf("%s %lu\n", text, when);
}

}  // namespace

int RunCron(int argc, char** argv, int first) {
  Args args(argc, argv, first);
  if (args.WantsHelp()) return Help(kCronUsage);
  if (!args.Finish()) return Fail(kExitUsage, "cron", args.Error());
  const std::vector<std::string>& p = args.Positional();
  if (p.empty()) return Fail(kExitUsage, "cron", "expected check|today|next|last LINE [COUNT]");
  const std::string& what = p[0];
  const std::string command = "cron " + what;
  if (what != "check" && what != "today" && what != "next" && what != "last") {
    return Fail(kExitUsage, "cron", "unknown subcommand " + what + " (try 'orn cron --help')");
  }
  const size_t most = what == "last" ? 3 : 2;
  if (p.size() < 2 || p.size() > most) {
    return Fail(kExitUsage, command, what == "last" ? "expected LINE [COUNT]" : "expected LINE");
  }
  if (p[1].size() >= kLineBuffer) return Fail(kExitUsage, command, "line too long");
  char line[kLineBuffer];
  std::snprintf(line, sizeof line, "%s", p[1].c_str());

  CronParser cron;
  // A line that is not well formed can never fall due; the time searches are
  // only asked about lines that pass the check.
  if (cron.eval(line) == 0) {
    if (what == "check") std::printf("invalid\n");
    return Fail(kExitNo, command, "invalid schedule line '" + p[1] + "'");
  }
  if (what == "check") {
    std::printf("valid\n");
    return kExitOk;
  }
  if (what == "today") {
    const bool due = cron.evalToday(line) != 0;
    std::printf("%s\n", due ? "due today" : "not due today");
    return due ? kExitOk : kExitNo;
  }
  if (what == "next") {
    const unsigned long when = cron.getStartTime(line);
    if (when == 0) return Fail(kExitNo, command, "the line never falls due");
    PrintTime(when);
    return kExitOk;
  }
  long long count = kDefaultLookBack;
  if (p.size() == 3 && !ParseInt(p[2], 0, 10 * 366 * 1440LL, count)) {
    return Fail(kExitUsage, command, "COUNT must be a number of minutes from 0 to 5270400");
  }
  const unsigned long when = cron.getLastStartTime(line, static_cast<int>(count));
  if (when == 0) {
    return Fail(kExitNo, command, "no start within the last " + std::to_string(count) + " minutes");
  }
  PrintTime(when);
  return kExitOk;
}

}  // namespace orn
