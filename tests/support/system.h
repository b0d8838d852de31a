// What the tests, benchmarks and fuzz targets set or ask of the system beyond
// what the library needs: the process's time zone, a file's modification time,
// the calling thread's stack size. Defined per platform in support/posix/,
// support/linux/ and support/win32/.
#ifndef ORN2_TESTS_SUPPORT_SYSTEM_H
#define ORN2_TESTS_SUPPORT_SYSTEM_H

#include <cstddef>
#include <cstdint>

namespace orn2::testing {

// Sets the process's time zone (the TZ rule, e.g. "CET-1CEST,M3.5.0,M10.5.0/3")
// and makes the library's next local time conversion use it. Null restores the
// system's zone.
void SetTimeZone(const char* tz);

// True when SetTimeZone understands POSIX rule strings with explicit
// transition dates ("CET-1CEST,M3.5.0,M10.5.0/3"). The Windows runtime reads
// only the name, the offset and the daylight-saving name of TZ and applies its
// own fixed rules.
bool ZoneRulesSupported();

// Sets the file's modification (and access) time, in seconds since 1970-01-01
// UTC and nanoseconds (Windows keeps 100 ns steps); false when it cannot be set.
bool SetFileModificationTime(const char* path, int64_t seconds, int32_t nanoseconds = 0);

// The size of the calling thread's stack in bytes (0 if unknown).
std::size_t CurrentThreadStackSize();

// Bytes the process's main heap has handed out and not got back (0 if unknown,
// as under a sanitizer or on Windows).
std::size_t HeapBytesInUse();

}  // namespace orn2::testing

#endif  // ORN2_TESTS_SUPPORT_SYSTEM_H
