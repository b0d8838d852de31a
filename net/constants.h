// The constant strings of the network classes. They are built when the library
// is loaded and destroyed when it is unloaded; read-only in between.
#ifndef ORN2_NET_CONSTANTS_H
#define ORN2_NET_CONSTANTS_H

#include <string>

namespace orn2 {

// The protocol an endpoint gets when its string names none.
extern const std::string kDefaultProtocol;  // "http"
// The characters an IP range expression may hold.
extern const std::string kIpRangeCharacters;  // "0123456789.*-,"
extern const std::string kDecimalDigits;      // "0123456789"

}  // namespace orn2

#endif  // ORN2_NET_CONSTANTS_H
