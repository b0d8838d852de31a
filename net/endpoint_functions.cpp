#include "net/endpoint_functions.h"

#include <atomic>
#include <cctype>
#include <utility>

#include "net/decimal_text.h"
#include "port/net.h"

namespace orn2::net {

namespace {

std::atomic<HostLookup> g_hostLookup{nullptr};

// One socket library start-up and clean-up around each check.
bool SystemResolves(const std::string& host) {
  // The system would see the name only up to its first NUL byte, which is
  // another name: such a host is not resolvable.
  if (host.find('\0') != std::string::npos) return false;
  if (!port::StartNetwork()) return false;
  const bool resolvable =
      port::ConvertsToIPv4Address(host.c_str()) || port::LooksUpIPv4Host(host.c_str());
  port::StopNetwork();
  return resolvable;
}

}  // namespace

void Trim(std::string& text) {
  const size_t first = text.find_first_not_of(' ');
  if (first == std::string::npos) return;
  const size_t last = text.find_last_not_of(' ');
  text = text.substr(first, last - first + 1);
}

void ToLower(std::string& text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
}

std::vector<std::string> Split(const std::string& text, const std::string& delimiter) {
  // The working copy is text[begin, end): kept as positions, so that a text of
  // many pieces is not copied again for each one.
  std::vector<std::string> pieces;
  size_t begin = 0;
  size_t end = text.size();
  size_t at;
  while (!delimiter.empty() && (at = text.find(delimiter, begin)) != std::string::npos &&
         at + delimiter.size() <= end) {
    std::string piece = text.substr(begin, at - begin);
    Trim(piece);
    pieces.push_back(std::move(piece));
    begin = at + delimiter.size();
    // Trim of the working copy: nothing happens when it is all blanks.
    const size_t first = text.find_first_not_of(' ', begin);
    if (first < end) {
      begin = first;
      end = text.find_last_not_of(' ', end - 1) + 1;
    }
  }
  pieces.push_back(text.substr(begin, end - begin));
  return pieces;
}

bool IsValidIPAddress(const std::string& host) {
  const std::vector<std::string> pieces = Split(host, ".");
  if (pieces.size() != 4) return false;
  for (const std::string& piece : pieces) {
    if (piece == "0") continue;
    // Any other zero, such as 00, is refused here.
    if (!IsAllDigits(piece)) return false;
    const int value = DecimalValue(piece);
    if (value < 1 || value > 255) return false;
  }
  return true;
}

bool IsResolvableHost(const std::string& host) {
  const HostLookup lookup = g_hostLookup.load();
  return lookup != nullptr ? lookup(host) : SystemResolves(host);
}

HostLookup SetHostLookupForTesting(HostLookup lookup) { return g_hostLookup.exchange(lookup); }

}  // namespace orn2::net
