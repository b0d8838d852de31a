// The endpoint module's own free functions: text helpers and the two host
// checks used by OrnEndPoint's parse. Not exported.
#ifndef ORN2_NET_ENDPOINT_FUNCTIONS_H
#define ORN2_NET_ENDPOINT_FUNCTIONS_H

#include <string>
#include <vector>

namespace orn2::net {

// Removes leading, then trailing blanks (the space character only). A text of
// blanks alone, or an empty one, is left unchanged.
void Trim(std::string& text);

// tolower of every byte in the current locale (bytes are taken as unsigned, so
// those above 0x7F are well defined and usually unchanged).
void ToLower(std::string& text);

// Pieces of `text` between the delimiters, each trimmed; a text without the
// delimiter comes back as one untrimmed piece. An empty delimiter never matches.
std::vector<std::string> Split(const std::string& text, const std::string& delimiter);

// Fast check, no network: four dot-separated pieces, each "0" or decimal digits
// worth 1 to 255 (leading zeros allowed, blanks around a piece ignored).
bool IsValidIPAddress(const std::string& host);

// The check through the name services: the address conversion, then the name
// look-up. A failed start of the socket library counts as not resolvable.
bool IsResolvableHost(const std::string& host);

// Test seam: replaces the whole of IsResolvableHost (the system's conversion
// and look-up when null, the default). Returns the previous one.
using HostLookup = bool (*)(const std::string& host);
HostLookup SetHostLookupForTesting(HostLookup lookup);

}  // namespace orn2::net

#endif  // ORN2_NET_ENDPOINT_FUNCTIONS_H
