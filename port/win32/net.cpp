#include "port/net.h"

#define NOMINMAX
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#include <winsock2.h>

namespace orn2::port {

bool StartNetwork() {
  WSADATA data;
  return ::WSAStartup(MAKEWORD(2, 0), &data) == 0;
}

void StopNetwork() { ::WSACleanup(); }

bool ConvertsToIPv4Address(const char* text) { return ::inet_addr(text) != INADDR_NONE; }

bool LooksUpIPv4Host(const char* name) {
  // gethostbyname keeps its result per thread, so this is safe from several
  // threads; an empty name gives this machine's own entry.
  const hostent* entry = ::gethostbyname(name);
  return entry != nullptr && entry->h_addr_list != nullptr && entry->h_addr_list[0] != nullptr;
}

}  // namespace orn2::port
