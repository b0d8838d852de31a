// Local calendar time of 64-bit instants, also past 2038 where the runtime's
// time_t has 32 bits (32-bit Windows): what the orn tool needs of the
// system's time-zone conversion. The tool compiles the source for its
// platform (tools/common/posix/ or tools/common/win32/).
#ifndef ORN2_TOOLS_COMMON_LOCAL_TIME_H
#define ORN2_TOOLS_COMMON_LOCAL_TIME_H

#include <cstdint>
#include <ctime>

namespace orn2::local_time {

// The local calendar time of `seconds` since 1970; false when the runtime has none.
bool ToLocal(int64_t seconds, std::tm* local);

// The instant of a local calendar time (as std::mktime reads it, normalising
// the fields); false when the runtime cannot place it.
bool FromLocal(std::tm* local, int64_t* seconds);

}  // namespace orn2::local_time

#endif  // ORN2_TOOLS_COMMON_LOCAL_TIME_H
