// orn cron: check a cron schedule line and evaluate it against the local clock.
#include <liborn2/liborn2.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "orn/cli.h"
#include "orn/cron_calendar_view.h"
#include "orn/json.h"
#include "orn/schedule_times.h"

namespace orn {
namespace {

const char kCronUsage[] =
    "usage: orn cron check|today|next|last|calendar LINE [ARGUMENT] [OPTIONS]\n"
    "\n"
    "LINE is one argument of five blank-separated fields: minute (0-59), hour (0-23),\n"
    "day of month (1-31), month (0-11, 0 is January), day of week (0-7, 0 and 7 are\n"
    "Sunday); each a list of values, ranges (1-5), steps (*/15, 1-30/5) or '*'.\n"
    "\n"
    "  check LINE           is the line well formed\n"
    "  today LINE           does the line fall due today (its day and month fields only)\n"
    "  next LINE [--count N] [--json]\n"
    "                       the first start after the current minute; with --count the\n"
    "                       next N starts (1 to 10000), each the first after the one\n"
    "                       before, as the library would give from that start on\n"
    "  last LINE [COUNT]    the latest start within the last COUNT minutes, the current\n"
    "                       one included (default 1440); the library counts months 1-12\n"
    "                       here\n"
    "  calendar LINE [YYYY-MM]\n"
    "                       the month (default the current one) as a grid, the days on\n"
    "                       which the line has a start in brackets: [15]. YYYY-MM counts\n"
    "                       months from 1 like any calendar while the line counts them\n"
    "                       from 0, so '0 3 * 9 *' falls due every day of 2026-10. The\n"
    "                       days are those of next: days of week 0-6, a 7 never falls due\n"
    "\n"
    "next and last print each start as the local time with its offset from UTC and the\n"
    "seconds since 1970 (2026-10-25T02:30:00+01:00 1792891800), so that the two passes\n"
    "of a repeated hour differ. next --json prints one object:\n"
    "{\"line\":LINE,\"starts\":[{\"time\":TIME,\"seconds\":SECONDS},...]}.\n"
    "Exit status 0 yes, 1 no (line invalid, not due, no start found), 2 bad usage.\n";

// The library takes the line as a writable C string; it never changes it.
constexpr size_t kLineBuffer = 1024;
constexpr long long kDefaultLookBack = 1440;
constexpr long long kMostStarts = 10000;

void PrintTime(int64_t when) {
  std::printf("%s %lld\n", FormatLocalTime(when).c_str(), static_cast<long long>(when));
}

// The starts of `next`: the first after the current minute, then each
// following start from the one before, as getStartTime would give with the
// clock at that start.
std::vector<int64_t> NextStarts(char* line, long long count) {
  std::vector<int64_t> starts;
  int64_t start = 0;
  int64_t from = CurrentTime();
  while (static_cast<long long>(starts.size()) < count && NextStartAfter(line, from, start)) {
    starts.push_back(start);
    from = start;
  }
  return starts;
}

int Next(char* line, long long count, bool json) {
  const std::vector<int64_t> starts = NextStarts(line, count);
  if (starts.empty()) return Fail(kExitNo, "cron next", "the line never falls due");
  if (!json) {
    for (int64_t when : starts) PrintTime(when);
    return kExitOk;
  }
  std::string out = "{\"line\":" + JsonString(line) + ",\"starts\":[";
  for (size_t i = 0; i < starts.size(); ++i) {
    if (i > 0) out += ',';
    out += "{\"time\":" + JsonString(FormatLocalTime(starts[i])) +
           ",\"seconds\":" + std::to_string(starts[i]) + "}";
  }
  std::printf("%s]}\n", out.c_str());
  return kExitOk;
}

// Reads YYYY-MM (months 1-12, years of the library's search range).
bool ParseMonth(const std::string& text, int& year, int& month) {
  long long y = 0;
  long long m = 0;
  if (text.size() != 7 || text[4] != '-') return false;
  // Digits only: the number conversion alone would also take a sign.
  for (size_t i : {0, 1, 2, 3, 5, 6})
    if (text[i] < '0' || text[i] > '9') return false;
  if (!ParseInt(text.substr(0, 4), 1970, 3000, y) || !ParseInt(text.substr(5), 1, 12, m))
    return false;
  year = static_cast<int>(y);
  month = static_cast<int>(m);
  return true;
}

int Calendar(const std::vector<std::string>& p, char* line) {
  const std::string command = "cron calendar";
  int year = 0;
  int month = 0;
  if (p.size() == 3) {
    if (!ParseMonth(p[2], year, month)) {
      return Fail(kExitUsage, command, "expected YYYY-MM from 1970-01 to 3000-12, not " + p[2]);
    }
  } else if (!CurrentMonth(year, month)) {
    return Fail(kExitUsage, command, "the clock has no local time");
  }
  std::fputs(MonthGrid(year, month, DaysWithStarts(line, year, month)).c_str(), stdout);
  return kExitOk;
}

}  // namespace

int RunCron(int argc, char** argv, int first) {
  Args args(argc, argv, first);
  if (args.WantsHelp()) return Help(kCronUsage);
  std::string countText;
  const bool hasCount = args.TakeOption("count", countText);
  const bool json = args.TakeFlag("json");
  if (!args.Finish()) return Fail(kExitUsage, "cron", args.Error());
  const std::vector<std::string>& p = args.Positional();
  if (p.empty()) {
    return Fail(kExitUsage, "cron", "expected check|today|next|last|calendar LINE");
  }
  const std::string& what = p[0];
  const std::string command = "cron " + what;
  if (what != "check" && what != "today" && what != "next" && what != "last" &&
      what != "calendar") {
    return Fail(kExitUsage, "cron", "unknown subcommand " + what + " (try 'orn cron --help')");
  }
  const size_t most = what == "last" || what == "calendar" ? 3 : 2;
  if (p.size() < 2 || p.size() > most) {
    return Fail(kExitUsage, command,
                what == "last"       ? "expected LINE [COUNT]"
                : what == "calendar" ? "expected LINE [YYYY-MM]"
                                     : "expected LINE");
  }
  if ((hasCount || json) && what != "next") {
    return Fail(kExitUsage, command,
                std::string(hasCount ? "--count" : "--json") + " goes with 'cron next' only");
  }
  long long count = 1;
  if (hasCount && !ParseInt(countText, 1, kMostStarts, count)) {
    return Fail(kExitUsage, command, "--count takes a number from 1 to 10000");
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
  if (what == "next") return Next(line, count, json);
  if (what == "calendar") return Calendar(p, line);
  long long lookBack = kDefaultLookBack;
  if (p.size() == 3 && !ParseInt(p[2], 0, 10 * 366 * 1440LL, lookBack)) {
    return Fail(kExitUsage, command, "COUNT must be a number of minutes from 0 to 5270400");
  }
  const unsigned long when = cron.getLastStartTime(line, static_cast<int>(lookBack));
  if (when == 0) {
    return Fail(kExitNo, command,
                "no start within the last " + std::to_string(lookBack) + " minutes");
  }
  PrintTime(static_cast<int64_t>(when));
  return kExitOk;
}

}  // namespace orn
