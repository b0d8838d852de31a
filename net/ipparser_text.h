// Text helpers shared by the two halves of OrnIPParser.
#ifndef ORN2_NET_IPPARSER_TEXT_H
#define ORN2_NET_IPPARSER_TEXT_H

#include <climits>
#include <string>

#include "lib/constants.h"

namespace orn2::net {

// True when text holds no character outside the decimal digits; the empty text
// counts as all digits (and reads as 0).
inline bool IsAllDigits(const std::string& text) {
  return text.find_first_not_of(kDecimalDigits) == std::string::npos;
}

// Reads text the way the runtime's atoi does: optional leading white space, an
// optional sign, then decimal digits up to the first other character; no
// digits read as 0. Unlike atoi it never overflows: a value beyond the 32-bit
// range saturates at INT_MAX or INT_MIN, so an over-long number still counts
// as above 255.
inline int ReadLeadingInt(const std::string& text) {
  std::string::size_type i = 0;
  while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r'))) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  long long magnitude = 0;
  const long long limit = static_cast<long long>(INT_MAX) + 1;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    magnitude = magnitude * 10 + (text[i] - '0');
    if (magnitude > limit) magnitude = limit;
  }
  if (negative) return magnitude >= limit ? INT_MIN : static_cast<int>(-magnitude);
  return magnitude >= limit ? INT_MAX : static_cast<int>(magnitude);
}

// Keeps the low 16 bits of value as a signed 16-bit number (two's complement).
inline short CutTo16Bits(int value) {
  const unsigned int low = static_cast<unsigned int>(value) & 0xFFFFu;
  return static_cast<short>(low > 0x7FFFu ? static_cast<int>(low) - 0x10000
                                          : static_cast<int>(low));
}

}  // namespace orn2::net

#endif  // ORN2_NET_IPPARSER_TEXT_H
