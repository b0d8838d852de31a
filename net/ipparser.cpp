#include <liborn2/ipparser.h>

#include <algorithm>
#include <set>

#include "net/constants.h"
#include "net/ipparser_text.h"

using orn2::net::DecimalValue;
using orn2::net::IsAllDigits;

namespace {

const std::string::size_type kOctetCount = 4;
const short kLowestOctet = 0;
const short kHighestOctet = 255;

}  // namespace

// Only a name for the set: it adds nothing, and nothing deletes it through the base.
struct OrnIPParser::OctetSet : std::set<short> {};

OrnIPParser::OrnIPParser(const std::string& ipRange, const std::string& netMask) : valid_(false) {
  valid_ = Validate(ipRange);
  if (valid_ && !netMask.empty()) valid_ = ValidateNetMask(netMask);
  if (!valid_) return;
  // Whether a mask is present is decided by the argument's length alone.
  if (netMask.empty()) {
    ExpandRanges();
  } else {
    ExpandWithMask();
  }
}

OrnIPParser::OrnIPParser(const OrnIPParser& other) = default;

OrnIPParser& OrnIPParser::operator=(const OrnIPParser& other) {
  if (this != &other) {
    ipRange_ = other.ipRange_;
    netMask_ = other.netMask_;
    octetRanges_ = other.octetRanges_;
    valid_ = other.valid_;
  }
  return *this;
}

OrnIPParser::~OrnIPParser() = default;

bool OrnIPParser::IsValid() const { return valid_; }

// Pads the expression to exactly three dots with ".*" parts ("10.1" becomes
// "10.1.*.*"); the padded text is kept even when a character is refused.
bool OrnIPParser::Validate(const std::string& ipRange) {
  const auto dots =
      static_cast<std::string::size_type>(std::count(ipRange.begin(), ipRange.end(), '.'));
  if (dots > kOctetCount - 1) return false;
  ipRange_ = ipRange;
  for (auto missing = kOctetCount - 1 - dots; missing > 0; --missing) ipRange_ += ".*";
  return ipRange_.find_first_not_of(orn2::kIpRangeCharacters) == std::string::npos;
}

// n separators always give n + 1 tokens; empty tokens are kept.
void OrnIPParser::Tokenize(const std::string& text, char separator,
                           std::vector<std::string>& tokens) const {
  std::string::size_type start = 0;
  for (;;) {
    const auto found = text.find(separator, start);
    if (found == std::string::npos) break;
    tokens.push_back(text.substr(start, found - start));
    start = found + 1;
  }
  tokens.push_back(text.substr(start));
}

// Adds one list element's values to the set. Only a malformed element (a
// non-digit piece, an asterisk joined to anything) returns false; values above
// 255 and elements with two or more hyphens add nothing but are accepted.
bool OrnIPParser::ParseRange(const std::string& element, OctetSet& values) const {
  std::vector<std::string> pieces;
  Tokenize(element, '-', pieces);
  if (pieces.size() == 2) {
    if (!IsAllDigits(pieces[0]) || !IsAllDigits(pieces[1])) return false;
    int low = DecimalValue(pieces[0]);
    int high = DecimalValue(pieces[1]);
    if (low > high) std::swap(low, high);
    low = std::max(low, static_cast<int>(kLowestOctet));
    high = std::min(high, static_cast<int>(kHighestOctet));
    for (int value = low; value <= high; ++value) values.insert(static_cast<short>(value));
    return true;
  }
  if (pieces.size() == 1) {
    const std::string& piece = pieces[0];
    if (piece == "*") {
      for (int value = kLowestOctet; value <= kHighestOctet; ++value) {
        values.insert(static_cast<short>(value));
      }
      return true;
    }
    if (!IsAllDigits(piece)) return false;
    const int value = DecimalValue(piece);
    if (value <= kHighestOctet) values.insert(static_cast<short>(value));
    return true;
  }
  return true;
}

// A refused element ends the expansion: its octet keeps the values gathered so
// far and no later octet is expanded.
void OrnIPParser::ExpandRanges() {
  std::vector<std::string> octets;
  Tokenize(ipRange_, '.', octets);
  for (const std::string& octet : octets) {
    if (!valid_) break;
    std::vector<std::string> elements;
    Tokenize(octet, ',', elements);
    OctetSet values;
    for (const std::string& element : elements) {
      if (!valid_) break;
      valid_ = ParseRange(element, values);
    }
    octetRanges_.emplace_back(values.begin(), values.end());
  }
}
