// Mask mode and the hand-outs of OrnIPParser.
#include <liborn2/ipparser.h>

#include <algorithm>
#include <cstdint>

#include "net/ipparser_text.h"

using orn2::net::CutTo16Bits;
using orn2::net::DecimalValue;
using orn2::net::IsAllDigits;

namespace {

const int kFullMaskPart = 255;
const short kLowestHandedOut = 1;
const short kHighestHandedOut = 254;

}  // namespace

// Besides the three dots, every mask part must be all digits with a value of at
// most 255; anything else is refused and makes the parser invalid. An empty
// part counts as all digits and reads as 0, so "255.255.." stands for
// 255.255.0.0.
bool OrnIPParser::ValidateNetMask(const std::string& netMask) {
  if (std::count(netMask.begin(), netMask.end(), '.') != 3) return false;
  std::vector<std::string> parts;
  Tokenize(netMask, '.', parts);
  for (const std::string& part : parts) {
    if (!IsAllDigits(part) || DecimalValue(part) > kFullMaskPart) return false;
  }
  netMask_ = netMask;
  return true;
}

// Octets keep the address value while the mask part is 255; the first other
// mask part turns its octet into a block and every later octet into 0 to 255.
// Address parts are only read for their leading number, never as lists: "1-5"
// reads as 1, "*" and "" as 0, and a value above 255 is kept (cut to 16 bits).
void OrnIPParser::ExpandWithMask() {
  std::vector<std::string> addressParts;
  std::vector<std::string> maskParts;
  Tokenize(ipRange_, '.', addressParts);
  Tokenize(netMask_, '.', maskParts);
  bool expandRest = false;
  for (std::size_t i = 0; i < addressParts.size() && i < maskParts.size(); ++i) {
    std::vector<short> values;
    if (expandRest) {
      PopulateIPRange(values, 0, 255);
    } else if (DecimalValue(maskParts[i]) == kFullMaskPart) {
      values.push_back(CutTo16Bits(DecimalValue(addressParts[i])));
    } else {
      CalculateSubnetRange(addressParts[i], maskParts[i], values);
      expandRest = true;
    }
    octetRanges_.push_back(values);
  }
}

// Appends the block from the network to the broadcast value of one octet, in
// 16-bit arithmetic: 256 - m values from address AND m. Mask parts 1 to 127
// give a negative count and so no values.
void OrnIPParser::CalculateSubnetRange(std::string& addressPart, std::string& maskPart,
                                       std::vector<short>& values) {
  const auto mask = static_cast<std::uint16_t>(DecimalValue(maskPart));
  std::int16_t count = 256;
  if (mask != 0) {
    const auto complement = static_cast<std::uint8_t>(~mask & 0xFFu);
    const int signedComplement = complement > 0x7F ? complement - 0x100 : complement;
    count = static_cast<std::int16_t>(signedComplement + 1);
  }
  const auto address = static_cast<std::uint16_t>(DecimalValue(addressPart));
  const int base = CutTo16Bits(address & mask);
  for (int offset = 0; offset < count; ++offset) values.push_back(CutTo16Bits(base + offset));
}

void OrnIPParser::PopulateIPRange(std::vector<short>& values, short low, short high) {
  for (short value = low; value <= high; ++value) values.push_back(value);
}

void OrnIPParser::CopyIP(const std::vector<short>& source, short* values,
                         unsigned int& count) const {
  if (!valid_ || values == nullptr || count == 0) {
    count = 0;
    return;
  }
  if (source.size() < count) count = static_cast<unsigned int>(source.size());
  std::copy(source.begin(), source.begin() + count, values);
}

// The first and fourth octets hand out only 1 to 254; the filter comes before
// the count limit, so a count of 10 on 0 to 255 receives 1 to 10.
void OrnIPParser::CopyEdgeOctet(const std::vector<short>& source, short* values,
                                unsigned int& count) const {
  std::vector<short> handedOut;
  for (short value : source) {
    if (value >= kLowestHandedOut && value <= kHighestHandedOut) handedOut.push_back(value);
  }
  CopyIP(handedOut, values, count);
}

// An invalid parser may hold fewer than four lists, so none is read then.
void OrnIPParser::GetClassARange(short* values, unsigned int& count) const {
  if (!valid_) return CopyIP({}, values, count);
  CopyEdgeOctet(octetRanges_[0], values, count);
}

void OrnIPParser::GetClassBRange(short* values, unsigned int& count) const {
  if (!valid_) return CopyIP({}, values, count);
  CopyIP(octetRanges_[1], values, count);
}

void OrnIPParser::GetClassCRange(short* values, unsigned int& count) const {
  if (!valid_) return CopyIP({}, values, count);
  CopyIP(octetRanges_[2], values, count);
}

void OrnIPParser::GetClassDRange(short* values, unsigned int& count) const {
  if (!valid_) return CopyIP({}, values, count);
  CopyEdgeOctet(octetRanges_[3], values, count);
}
