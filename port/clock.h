// Calendar time, local time and sleeping.
#ifndef ORN2_PORT_CLOCK_H
#define ORN2_PORT_CLOCK_H

#include <cstdint>
#include <ctime>

namespace orn2::port {

// Seconds since 1970-01-01 00:00:00 UTC.
int64_t NowSeconds();

// Converts to the local calendar time of the process's time zone; false when
// the system cannot represent the instant. Thread-safe.
bool LocalTime(int64_t seconds, std::tm* out);

// Sets the process's time zone (the TZ rule, e.g. "CET-1CEST,M3.5.0,M10.5.0/3")
// and makes the next LocalTime use it. Null restores the system's zone.
void SetTimeZone(const char* tz);

// True when SetTimeZone understands POSIX rule strings with explicit
// transition dates ("CET-1CEST,M3.5.0,M10.5.0/3"). The Windows runtime reads
// only the name, the offset and the daylight-saving name of TZ and applies its
// own fixed rules.
bool ZoneRulesSupported();

// Suspends the calling thread; 0 gives up the rest of its time slice.
void SleepMs(unsigned long ms);

}  // namespace orn2::port

#endif  // ORN2_PORT_CLOCK_H
