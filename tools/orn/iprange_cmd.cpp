// orn iprange: expand an IP range expression (or a base address with a net mask)
// into the four octet lists as OrnIPParser hands them out.
#include <liborn2/liborn2.h>

#include <cstdio>
#include <string>
#include <vector>

#include "orn/cli.h"
#include "orn/json.h"

namespace orn {
namespace {

const char kIpRangeUsage[] =
    "usage: orn iprange EXPR [MASK] [--list | --count] [--json]\n"
    "\n"
    "EXPR is four dot-separated octet lists of values, ranges (1-10) and '*', such as\n"
    "192.168.1-2.* or 10.0.0.1,5,9; missing trailing octets count as '*'. With MASK\n"
    "(such as 255.255.255.192) EXPR is one base address and the mask picks the block.\n"
    "Prints the four octet lists as handed out (the first and fourth without 0 and\n"
    "255), --list every address, --count the number of addresses. --json prints one\n"
    "object, {\"a\":[...],\"b\":[...],\"c\":[...],\"d\":[...],\"count\":N} with the four\n"
    "lists of numbers, or with --list {\"addresses\":[TEXT,...],\"count\":N}, or with\n"
    "--count {\"count\":N}. Exit status 0 for a valid expression, 1 for an invalid one,\n"
    "2 for bad usage.\n";

// No octet list holds more than 256 values.
constexpr unsigned int kOctetValues = 256;

// Writes a list compactly: runs of consecutive values as low-high.
std::string Compact(const std::vector<short>& values) {
  std::string text;
  for (size_t i = 0; i < values.size();) {
    size_t j = i;
    while (j + 1 < values.size() && values[j + 1] == values[j] + 1) ++j;
    if (!text.empty()) text += ',';
    text += std::to_string(values[i]);
    if (j > i) text += '-' + std::to_string(values[j]);
    i = j + 1;
  }
  return text;
}

}  // namespace

int RunIpRange(int argc, char** argv, int first) {
  const std::string command = "iprange";
  Args args(argc, argv, first);
  if (args.WantsHelp()) return Help(kIpRangeUsage);
  const bool list = args.TakeFlag("list");
  const bool count = args.TakeFlag("count");
  const bool json = args.TakeFlag("json");
  if (!args.Finish()) return Fail(kExitUsage, command, args.Error());
  const std::vector<std::string>& p = args.Positional();
  if (p.empty() || p.size() > 2) return Fail(kExitUsage, command, "expected EXPR [MASK]");
  if (list && count) return Fail(kExitUsage, command, "--list and --count exclude each other");

  const OrnIPParser parser(p[0], p.size() == 2 ? p[1] : std::string());
  if (!parser.IsValid()) {
    return Fail(kExitNo, command,
                "invalid expression " + p[0] + (p.size() == 2 ? " with mask " + p[1] : ""));
  }
  std::vector<short> octets[4];
  void (OrnIPParser::*const handOut[4])(short*, unsigned int&)
      const = {&OrnIPParser::GetClassARange, &OrnIPParser::GetClassBRange,
               &OrnIPParser::GetClassCRange, &OrnIPParser::GetClassDRange};
  for (int i = 0; i < 4; ++i) {
    short values[kOctetValues];
    unsigned int n = kOctetValues;
    (parser.*handOut[i])(values, n);
    octets[i].assign(values, values + n);
  }

  unsigned long long total = 1;
  for (const std::vector<short>& octet : octets) total *= octet.size();
  const std::string countJson = "\"count\":" + std::to_string(total) + "}";
  if (count) {
    if (json)
      std::printf("{%s\n", countJson.c_str());
    else
      std::printf("%llu\n", total);
    return kExitOk;
  }
  if (list) {
    std::string addresses;
    for (short a : octets[0])
      for (short b : octets[1])
        for (short c : octets[2])
          for (short d : octets[3]) {
            char address[32];
            std::snprintf(address, sizeof address, "%d.%d.%d.%d", a, b, c, d);
            if (!json) {
              std::printf("%s\n", address);
              continue;
            }
            if (!addresses.empty()) addresses += ',';
            addresses += JsonString(address);
          }
    if (json) std::printf("{\"addresses\":[%s],%s\n", addresses.c_str(), countJson.c_str());
    return kExitOk;
  }
  const char* names[4] = {"a", "b", "c", "d"};
  if (json) {
    std::string out = "{";
    for (int i = 0; i < 4; ++i) {
      out += std::string("\"") + names[i] + "\":[";
      for (size_t k = 0; k < octets[i].size(); ++k)
        out += (k > 0 ? "," : "") + std::to_string(octets[i][k]);
      out += "],";
    }
    std::printf("%s%s\n", out.c_str(), countJson.c_str());
    return kExitOk;
  }
  for (int i = 0; i < 4; ++i) std::printf("%s: %s\n", names[i], Compact(octets[i]).c_str());
  return kExitOk;
}

}  // namespace orn
