// orn endpoint: parse and check one server endpoint as the library does.
#include <liborn2/liborn2.h>

#include <cstdio>
#include <string>

#include "tools/orn/cli.h"

namespace orn {
namespace {

const char kEndpointUsage[] =
    "usage: orn endpoint STRING\n"
    "\n"
    "Parses [PROTOCOL://]HOST[:PORT] (protocol http or https, host a dotted quad or a\n"
    "name that resolves, port 1 and up) and prints protocol, host, port and validity;\n"
    "an invalid endpoint also prints the library's error text. Exit status 0 when the\n"
    "endpoint is valid, 1 when it is not, 2 for bad usage.\n";

// Prints each line of a multi-line message with a prefix.
void PrintLines(const char* label, const std::string& text) {
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::printf("%s: %s\n", label, text.substr(start, end - start).c_str());
    start = end + 1;
  }
}

}  // namespace

int RunEndpoint(int argc, char** argv, int first) {
  Args args(argc, argv, first);
  if (args.WantsHelp()) return Help(kEndpointUsage);
  if (!args.Finish()) return Fail(kExitUsage, "endpoint", args.Error());
  if (args.Positional().size() != 1) return Fail(kExitUsage, "endpoint", "expected STRING");
  const OrnEndPoint endPoint(args.Positional()[0]);
  std::printf("protocol: %s\n", endPoint.GetProtocol().c_str());
  std::printf("host: %s\n", endPoint.GetHostName().c_str());
  std::printf("port: %u\n", endPoint.GetPort());
  std::printf("valid: %s\n", endPoint.IsValid() ? "yes" : "no");
  PrintLines("error", endPoint.GetErrorMessage());
  return endPoint.IsValid() ? kExitOk : kExitNo;
}

}  // namespace orn
