// Platform layer: net. The host check of an endpoint: the system's IPv4 address
// conversion and its name look-up. No socket is ever opened.
#ifndef ORN2_PORT_NET_H
#define ORN2_PORT_NET_H

namespace orn2::port {

// Brings the socket library up for one host check (WSAStartup asking for 2.0 on
// Windows; nothing to do elsewhere). False when it cannot be started, and then
// StopNetwork must not be called.
bool StartNetwork();

// Ends what one successful StartNetwork began (WSACleanup on Windows).
void StopNetwork();

// True when `text` converts as inet_addr converts it: dotted forms with one to
// four parts, each decimal, octal (leading 0) or hexadecimal (0x), so 1.2.3 and
// 0x7f.1 convert. A text that yields the all-ones address 255.255.255.255 counts
// as not converting, because inet_addr cannot tell it from its failure value.
bool ConvertsToIPv4Address(const char* text);

// True when the name services know `name` and give it at least one IPv4
// address. An empty name stands for this machine's own name, as with
// gethostbyname on Windows. Safe to call from several threads at once.
bool LooksUpIPv4Host(const char* name);

}  // namespace orn2::port

#endif  // ORN2_PORT_NET_H
