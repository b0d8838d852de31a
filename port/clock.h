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

// Suspends the calling thread; 0 gives up the rest of its time slice.
void SleepMs(unsigned long ms);

}  // namespace orn2::port

#endif  // ORN2_PORT_CLOCK_H
