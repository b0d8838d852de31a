// Fuzzes OrnIPParser. The input is the expression, optionally followed by a
// newline and the net mask. A valid parser must hold four ascending lists of
// distinct values (0 to 255 in range mode), and every hand-out must keep to
// its count rules; any breach aborts.
#include <liborn2/ipparser.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "net/ipparser_probe.h"

namespace {

using orn2::net::OrnIPParserProbe;
using HandOut = void (OrnIPParser::*)(short*, unsigned int&) const;

const short kSentinel = -32768;
const unsigned int kArraySize = 257;

void Check(bool condition) {
  if (!condition) std::abort();
}

void CheckLists(const OrnIPParser& parser, bool rangeMode) {
  const auto& octets = OrnIPParserProbe::Octets(parser);
  Check(octets.size() == 4);
  for (const std::vector<short>& list : octets) {
    Check(list.size() <= 256);
    for (std::size_t i = 0; i < list.size(); ++i) {
      if (i > 0) Check(list[i - 1] < list[i]);
      if (rangeMode) Check(list[i] >= 0 && list[i] <= 255);
    }
  }
}

void CheckHandOut(const OrnIPParser& parser, HandOut handOut, std::size_t octet, bool edgeOctet,
                  unsigned int capacity) {
  short array[kArraySize];
  for (short& value : array) value = kSentinel;
  unsigned int count = capacity;
  (parser.*handOut)(array, count);
  Check(count <= capacity);
  for (unsigned int i = count; i < kArraySize; ++i) Check(array[i] == kSentinel);
  if (!parser.IsValid()) {
    Check(count == 0);
    return;
  }
  std::vector<short> expected;
  for (short value : OrnIPParserProbe::Octets(parser)[octet]) {
    if (!edgeOctet || (value >= 1 && value <= 254)) expected.push_back(value);
  }
  Check(count == (expected.size() < capacity ? expected.size() : capacity));
  for (unsigned int i = 0; i < count; ++i) Check(array[i] == expected[i]);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  const auto newline = input.find('\n');
  const std::string expression = input.substr(0, newline);
  const std::string mask = newline == std::string::npos ? "" : input.substr(newline + 1);

  const OrnIPParser parser(expression, mask);
  if (parser.IsValid()) {
    CheckLists(parser, mask.empty());
    Check(OrnIPParserProbe::NetMask(parser) == mask);
  }
  const unsigned int capacity = size > 0 ? data[0] % kArraySize : 0;
  const HandOut handOuts[] = {&OrnIPParser::GetClassARange, &OrnIPParser::GetClassBRange,
                              &OrnIPParser::GetClassCRange, &OrnIPParser::GetClassDRange};
  for (std::size_t octet = 0; octet < 4; ++octet) {
    const bool edgeOctet = octet == 0 || octet == 3;
    CheckHandOut(parser, handOuts[octet], octet, edgeOctet, capacity);
    CheckHandOut(parser, handOuts[octet], octet, edgeOctet, kArraySize - 1);
  }
  return 0;
}
