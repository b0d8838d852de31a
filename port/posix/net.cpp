#include "port/net.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>

namespace orn2::port {

namespace {

// Host names are at most 255 characters (RFC 1035); a longer machine name is
// cut and then simply not found.
constexpr size_t kHostNameBuffer = 256;

}  // namespace

bool StartNetwork() { return true; }

void StopNetwork() {}

bool ConvertsToIPv4Address(const char* text) {
  // inet_addr itself: reentrant, and the only call with exactly its meaning
  // (inet_aton, for one, accepts 255.255.255.255).
  return ::inet_addr(text) != INADDR_NONE;
}

bool LooksUpIPv4Host(const char* name) {
  char ownName[kHostNameBuffer] = {};
  if (name[0] == '\0') {
    if (::gethostname(ownName, sizeof(ownName) - 1) != 0) return false;
    name = ownName;
  }
  // getaddrinfo limited to IPv4 in place of gethostbyname, which is not
  // thread-safe; a result list is never empty when the call succeeds.
  addrinfo hints;
  std::memset(&hints, 0, sizeof(hints));
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* result = nullptr;
  if (::getaddrinfo(name, nullptr, &hints, &result) != 0) return false;
  bool found = result != nullptr;
  ::freeaddrinfo(result);
  return found;
}

}  // namespace orn2::port
