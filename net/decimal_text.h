// The decimal texts of the network classes: the all-digits test and the one
// decimal reader that the endpoint's port and address checks and the IP
// parser's ranges and masks share.
#ifndef ORN2_NET_DECIMAL_TEXT_H
#define ORN2_NET_DECIMAL_TEXT_H

#include <climits>
#include <string>

#include "net/constants.h"

namespace orn2::net {

// True when text holds no character outside the decimal digits; the empty text
// counts as all digits (and reads as 0).
inline bool IsAllDigits(const std::string& text) {
  return text.find_first_not_of(kDecimalDigits) == std::string::npos;
}

// Reads text the way the runtime's atoi does: optional leading white space, an
// optional sign, then decimal digits up to the first other character; no
// digits read as 0. Unlike atoi it never overflows: a value beyond the 32-bit
// range saturates at INT_MAX or INT_MIN (as the Windows runtime's atoi does),
// so an over-long number still counts as above 255. White space is the six
// characters of the C locale whatever the process's locale; no caller's result
// depends on it, since every value used is of a text that is all digits or
// made of the characters an IP range may hold.
inline int DecimalValue(const std::string& text) {
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

}  // namespace orn2::net

#endif  // ORN2_NET_DECIMAL_TEXT_H
