// Fuzzes the endpoint parse, with the name services replaced by a fake (names
// ending in ".ok" resolve) so that no input reaches the network, and checks what
// must hold for any input: validity agrees with the error message, a valid
// endpoint names http or https and a port, the fast dotted-quad check agrees
// with the address conversion, the decimal conversion is atoi with saturation,
// and Split matches a plain reference. (Copies carry the same fields whatever
// the input: EndPointCopy checks them.)
#include <liborn2/endpoint.h>

#include <climits>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "net/decimal_text.h"
#include "net/endpoint_functions.h"
#include "port/net.h"

namespace {

namespace ep = orn2::net;

bool FakeLookup(const std::string& host) {
  return host.size() >= 3 && host.compare(host.size() - 3, 3, ".ok") == 0;
}

void Check(bool condition) {
  if (!condition) std::abort();
}

bool HasLeadingZeroPiece(const std::string& host) {
  for (const std::string& piece : ep::Split(host, "."))
    if (piece.size() > 1 && piece[0] == '0') return true;
  return false;
}

// Split as plainly written: copy, find, cut, trim, again.
std::vector<std::string> ReferenceSplit(const std::string& text, const std::string& delimiter) {
  std::vector<std::string> pieces;
  std::string rest = text;
  size_t at;
  while ((at = rest.find(delimiter)) != std::string::npos) {
    std::string piece = rest.substr(0, at);
    ep::Trim(piece);
    pieces.push_back(piece);
    rest = rest.substr(at + delimiter.size());
    ep::Trim(rest);
  }
  pieces.push_back(rest);
  return pieces;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool installed = (ep::SetHostLookupForTesting(FakeLookup), true);
  (void)installed;
  const std::string text(reinterpret_cast<const char*>(data), size);

  OrnEndPoint endPoint(text);
  const std::string& error = endPoint.GetErrorMessage();
  Check(endPoint.IsValid() == error.empty());
  Check(endPoint.GetWarningMessage().empty());
  Check(error.empty() || error.back() == '\n');
  if (endPoint.IsValid()) {
    Check(endPoint.GetProtocol() == "http" || endPoint.GetProtocol() == "https");
    Check(endPoint.GetPort() != 0 && endPoint.GetPort() <= INT_MAX);
    Check(text.find(endPoint.GetHostName()) != std::string::npos);
  }
  if (error.compare(0, 25, "Error: invalid protocol: ") == 0)
    Check(error == "Error: invalid protocol: " + endPoint.GetProtocol() +
                       " found in endpoint: " + text + "\n");

  // A dotted quad without blanks or leading zeros is what inet_addr reads too
  // (but for the all-ones address, its failure value).
  if (ep::IsValidIPAddress(text) && text.find(' ') == std::string::npos &&
      !HasLeadingZeroPiece(text) && text != "255.255.255.255")
    Check(orn2::port::ConvertsToIPv4Address(text.c_str()));

  for (const char* delimiter : {".", " .", ". ", "ab"})
    Check(ep::Split(text, delimiter) == ReferenceSplit(text, delimiter));

  const long long wide = std::strtoll(text.c_str(), nullptr, 10);
  const int expected = wide > INT_MAX ? INT_MAX : wide < INT_MIN ? INT_MIN : static_cast<int>(wide);
  Check(ep::DecimalValue(text) == expected);
  return 0;
}
