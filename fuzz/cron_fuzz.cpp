// Any bytes as a schedule line, at an instant also taken from the input: no
// operation may crash, read out of bounds or fail to come back.

#include <liborn2/cron.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "schedule/cron_clock.h"
#include "support/system.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const char* const kZones[] = {"UTC0", "CET-1CEST,M3.5.0,M10.5.0/3", "EST5EDT",
                                       "LHST-10:30LHDT-11,M10.1.0,M4.1.0"};
  static int zone = -1;
  // The first bytes pick the zone, the instant (1970 to 2106) and the window.
  uint32_t instant = 1700000000u;
  int count = 5;
  int pick = 0;
  if (size >= 6) {
    pick = data[0] % 4;
    memcpy(&instant, data + 1, sizeof instant);
    count = static_cast<int8_t>(data[5]);
    data += 6;
    size -= 6;
  }
  if (pick != zone) {
    zone = pick;
    orn2::testing::SetTimeZone(kZones[zone]);
  }
  orn2::schedule::SetCronNowForTesting(instant);

  std::vector<char> line(reinterpret_cast<const char*>(data),
                         reinterpret_cast<const char*>(data) + size);
  line.push_back('\0');
  const std::vector<char> before = line;
  CronParser parser;
  parser.parseline(line.data());
  parser.eval(line.data());
  parser.evalToday(line.data());
  parser.getLastStartTime(line.data(), count);
  parser.getStartTime(line.data());
  CronParser copy(parser);
  copy = parser;
  if (line != before) __builtin_trap();  // the line is never modified
  return 0;
}
