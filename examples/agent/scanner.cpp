#include <cstdio>
#include <vector>

#include "agent/workers.h"

namespace agent {
namespace {

constexpr unsigned int kOctetValues = 256;
// The walk looks at its stop flag after this many addresses.
constexpr unsigned long long kStopCheckEvery = 4096;

}  // namespace

Scanner::Scanner(const std::string& range, const std::string& mask, const LogSettings& settings)
    : Thread(kWorkerStack), range_(range), mask_(mask), log_("scan", 1) {
  EnableAgentLog(log_, settings);
}

void Scanner::Run() {
  const OrnIPParser parser(range_, mask_);
  if (!parser.IsValid()) {
    log_.LogLine(1, "scan range '%s' (mask '%s') is not valid", range_.c_str(), mask_.c_str());
    return;
  }
  // The first and fourth octets come without 0 and 255: no network or broadcast
  // address is walked.
  std::vector<short> octets[4];
  void (OrnIPParser::*const handOut[4])(short*, unsigned int&)
      const = {&OrnIPParser::GetClassARange, &OrnIPParser::GetClassBRange,
               &OrnIPParser::GetClassCRange, &OrnIPParser::GetClassDRange};
  unsigned long long total = 1;
  for (int i = 0; i < 4; ++i) {
    short values[kOctetValues];
    unsigned int count = kOctetValues;
    (parser.*handOut[i])(values, count);
    octets[i].assign(values, values + count);
    total *= count;
  }
  log_.LogLine(3, "scan range %s%s%s: %llu addresses", range_.c_str(),
               mask_.empty() ? "" : " mask ", mask_.c_str(), total);

  unsigned long long walked = 0;
  char first[32] = "-";
  char last[32] = "-";
  bool stopped = false;
  for (short a : octets[0]) {
    for (short b : octets[1]) {
      for (short c : octets[2]) {
        for (short d : octets[3]) {
          // A real agent would probe the address here.
          std::snprintf(last, sizeof last, "%d.%d.%d.%d", a, b, c, d);
          if (walked == 0) std::snprintf(first, sizeof first, "%s", last);
          if (++walked % kStopCheckEvery == 0 && StopFlag() != 0) {
            stopped = true;
            break;
          }
        }
        if (stopped) break;
      }
      if (stopped) break;
    }
    if (stopped) break;
  }
  log_.LogLine(3, "scan %s: walked %llu of %llu addresses, %s to %s", stopped ? "stopped" : "done",
               walked, total, first, last);
  Pause(~0UL, [this] { return StopFlag() != 0; });
}

}  // namespace agent
