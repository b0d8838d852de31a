// Text helpers shared by the two halves of OrnIPParser; the decimal reading is
// net/decimal_text.h's, shared with the endpoint.
#ifndef ORN2_NET_IPPARSER_TEXT_H
#define ORN2_NET_IPPARSER_TEXT_H

#include "net/decimal_text.h"

namespace orn2::net {

// Keeps the low 16 bits of value as a signed 16-bit number (two's complement).
inline short CutTo16Bits(int value) {
  const unsigned int low = static_cast<unsigned int>(value) & 0xFFFFu;
  return static_cast<short>(low > 0x7FFFu ? static_cast<int>(low) - 0x10000
                                          : static_cast<int>(low));
}

}  // namespace orn2::net

#endif  // ORN2_NET_IPPARSER_TEXT_H
