// orn endpoint: parse and check one server endpoint as the library does.
#include <liborn2/liborn2.h>

#include <cstdio>
#include <string>
#include <vector>

#include "orn/cli.h"
#include "orn/json.h"

namespace orn {
namespace {

const char kEndpointUsage[] =
    "usage: orn endpoint STRING [--json]\n"
    "\n"
    "Parses [PROTOCOL://]HOST[:PORT] (protocol http or https, host a dotted quad or a\n"
    "name that resolves, port 1 and up) and prints protocol, host, port and validity;\n"
    "an invalid endpoint also prints the library's error text. Exit status 0 when the\n"
    "endpoint is valid, 1 when it is not, 2 for bad usage. --json prints one object,\n"
    "{\"protocol\":P,\"host\":H,\"port\":N,\"valid\":true|false,\"errors\":[TEXT,...]},\n"
    "for valid and invalid endpoints alike.\n";

// The lines of a multi-line message.
std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    lines.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return lines;
}

}  // namespace

int RunEndpoint(int argc, char** argv, int first) {
  Args args(argc, argv, first);
  if (args.WantsHelp()) return Help(kEndpointUsage);
  const bool json = args.TakeFlag("json");
  if (!args.Finish()) return Fail(kExitUsage, "endpoint", args.Error());
  if (args.Positional().size() != 1) return Fail(kExitUsage, "endpoint", "expected STRING");
  const OrnEndPoint endPoint(args.Positional()[0]);
  const std::vector<std::string> errors = Lines(endPoint.GetErrorMessage());
  if (json) {
    std::printf("{\"protocol\":%s,\"host\":%s,\"port\":%u,\"valid\":%s,\"errors\":%s}\n",
                JsonString(endPoint.GetProtocol()).c_str(),
                JsonString(endPoint.GetHostName()).c_str(), endPoint.GetPort(),
                endPoint.IsValid() ? "true" : "false", JsonStrings(errors).c_str());
  } else {
    std::printf("protocol: %s\n", endPoint.GetProtocol().c_str());
    std::printf("host: %s\n", endPoint.GetHostName().c_str());
    std::printf("port: %u\n", endPoint.GetPort());
    std::printf("valid: %s\n", endPoint.IsValid() ? "yes" : "no");
    for (const std::string& error : errors) std::printf("error: %s\n", error.c_str());
  }
  return endPoint.IsValid() ? kExitOk : kExitNo;
}

}  // namespace orn
