// OrnEndPoint: the parse of endpoint strings with its error texts, the host
// checks behind it, and what copies, assignments and comparisons carry. No test
// needs a network: hosts are dotted quads, localhost, forms the address
// conversion takes, or names under the reserved .invalid domain.

#include <gtest/gtest.h>
#include <liborn2/endpoint.h>

#include <string>

#include "net/endpoint_functions.h"
#include "port/net.h"

namespace {

std::string ProtocolError(const std::string& protocol, const std::string& endPoint) {
  return "Error: invalid protocol: " + protocol + " found in endpoint: " + endPoint + "\n";
}
std::string HostError(const std::string& host, const std::string& endPoint) {
  return " Error: hostname: " + host + " found in endpoint " + endPoint +
         " is not valid IP address or can't be resolved to an IP address\n";
}
std::string PortError(const std::string& port, const std::string& endPoint) {
  return "Error: invalid port: " + port + " found in endpoint " + endPoint + "\n";
}

// Each field of `e`, the endpoint that `what` describes, on its own.
void ExpectFields(const std::string& what, const OrnEndPoint& e, bool valid,
                  const std::string& protocol, const std::string& host, unsigned int port,
                  const std::string& error) {
  SCOPED_TRACE(what);
  EXPECT_EQ(e.IsValid(), valid);
  EXPECT_EQ(e.GetProtocol(), protocol);
  EXPECT_EQ(e.GetHostName(), host);
  EXPECT_EQ(e.GetPort(), port);
  EXPECT_EQ(e.GetErrorMessage(), error);
  EXPECT_EQ(e.GetWarningMessage(), "");
}

TEST(EndPointParse, FieldsAndErrorTexts) {
  struct Case {
    std::string endPoint;
    bool valid;
    std::string protocol, host;
    unsigned int port;
    std::string error;
  };
  const std::string nul("localhost\0.invalid", 18);  // the system would see "localhost"
  const std::string bad = "https://nohost.invalid:abc";
  const Case cases[] = {
      {"", true, "http", "", 80, ""},
      {"10.0.0.1", true, "http", "10.0.0.1", 80, ""},
      {"https://192.0.2.10", true, "https", "192.0.2.10", 443, ""},
      {"HTTP://192.0.2.10:8080", true, "http", "192.0.2.10", 8080, ""},
      {" HTTPS ://192.0.2.10", true, "https", "192.0.2.10", 443, ""},
      {"httpX//192.0.2.10", true, "http", "192.0.2.10", 80, ""},
      {"192.0.2.10:65536", true, "http", "192.0.2.10", 65536, ""},
      {"192.0.2.10:080", true, "http", "192.0.2.10", 80, ""},
      {"http://192.0.2.10:4294967376", true, "http", "192.0.2.10", 2147483647, ""},  // saturates
      {"http:// 192.0.2.10:81", true, "http", " 192.0.2.10", 81, ""},
      {"https://0x7f.1", true, "https", "0x7f.1", 443, ""},
      {"https://localhost:8443", true, "https", "localhost", 8443, ""},
      {"http//192.0.2.10", false, "htt", "", 80, ProtocolError("htt", "http//192.0.2.10")},
      {"FTP://192.0.2.10:21", false, "ftp", "", 80, ProtocolError("ftp", "FTP://192.0.2.10:21")},
      {"//x", false, "//x", "", 80, ProtocolError("//x", "//x")},
      {"  ://192.0.2.10", false, "  ", "", 80, ProtocolError("  ", "  ://192.0.2.10")},
      {"\thttp://x", false, "\thttp", "", 80, ProtocolError("\thttp", "\thttp://x")},
      {"192.0.2.10:0", false, "http", "192.0.2.10", 80, PortError("0", "192.0.2.10:0")},
      {"192.0.2.10:", false, "http", "192.0.2.10", 80, PortError("", "192.0.2.10:")},
      {"10.0.0.1:80/path", false, "http", "10.0.0.1", 80, PortError("80/path", "10.0.0.1:80/path")},
      {"1.2.3.4/p", false, "http", "1.2.3.4/p", 80, HostError("1.2.3.4/p", "1.2.3.4/p")},
      {"x.invalid:81", false, "http", "x.invalid", 81, HostError("x.invalid", "x.invalid:81")},
      {"1.2.3.256:81", false, "http", "1.2.3.256", 81, HostError("1.2.3.256", "1.2.3.256:81")},
      {nul, false, "http", nul, 80, HostError(nul, nul)},
      {bad, false, "https", "nohost.invalid", 80,
       HostError("nohost.invalid", bad) + PortError("abc", bad)},
  };
  for (const Case& c : cases) {
    ExpectFields("endpoint [" + c.endPoint + "]", OrnEndPoint(c.endPoint), c.valid, c.protocol,
                 c.host, c.port, c.error);
  }
}

// Counts the name service checks; only names ending in ".resolves.invalid" resolve.
int g_lookups = 0;
bool FakeLookup(const std::string& host) {
  ++g_lookups;
  const std::string tail = ".resolves.invalid";
  return host.size() >= tail.size() && host.substr(host.size() - tail.size()) == tail;
}

TEST(EndPointParse, DottedQuadCheckSparesTheNameServices) {
  const auto previous = orn2::net::SetHostLookupForTesting(FakeLookup);
  auto check = [](const std::string& endPoint, int lookups, bool valid) {
    SCOPED_TRACE(endPoint);
    g_lookups = 0;
    EXPECT_EQ(OrnEndPoint(endPoint).IsValid(), valid);
    EXPECT_EQ(g_lookups, lookups);
  };
  for (const char* quad : {"10.0.0.1", "010.1.2.3", "0.0.0.0", "255.255.255.255", "1. 2.3.4 "})
    check(quad, 0, true);
  // 1.2.3.4294967297 would pass if the conversion wrapped.
  for (const char* other : {"00.1.2.3", "1.2.3.256", "1.2.3", "1.2.3.4.5", "1.2.3.", "1.2.3.-4",
                            "1.2.\t3.4", "1.2.3.4294967297", "a.resolves.invalid:0"})
    check(other, 1, false);
  check("http://a.resolves.invalid:8080", 1, true);
  check("ftp://a.resolves.invalid", 0, false);  // a protocol error stops the parse
  orn2::net::SetHostLookupForTesting(previous);
}

// A host must have an IPv4 address: "::1" resolves without a network, to IPv6 only.
TEST(EndPointParse, HostsWithOnlyAnIPv6AddressAreRefused) {
  ASSERT_TRUE(orn2::port::StartNetwork());
  EXPECT_FALSE(orn2::port::LooksUpIPv4Host("::1"));
  EXPECT_TRUE(orn2::port::LooksUpIPv4Host("localhost"));
  orn2::port::StopNetwork();
}

TEST(EndPointCopy, CopiesCarryFieldsOnlyFromAValidSourceAndCompareByHostProtocolPort) {
  const OrnEndPoint valid("https://192.0.2.10:8443");
  const OrnEndPoint invalid("192.0.2.10:0");  // host and protocol set, port error
  ExpectFields("a copy of a valid one", OrnEndPoint(valid), true, "https", "192.0.2.10", 8443, "");
  ExpectFields("a copy of an invalid one", OrnEndPoint(invalid), false, "", "", 0,
               PortError("0", "192.0.2.10:0"));

  OrnEndPoint target("https://192.0.2.20:8443");
  target = invalid;
  ExpectFields("an invalid one assigned", target, false, "https", "192.0.2.20", 8443,
               invalid.GetErrorMessage());
  EXPECT_EQ(&(target = valid), &target);
  ExpectFields("a valid one assigned", target, true, "https", "192.0.2.10", 8443, "");
  const OrnEndPoint& alias = target;
  target = alias;
  ExpectFields("assigned to itself", target, true, "https", "192.0.2.10", 8443, "");

  // Equality compares host, protocol and port only.
  struct Case {
    const char *a, *b;
    bool equal;
  };
  const Case cases[] = {
      {"http://192.0.2.10", "192.0.2.10:80", true},
      {"192.0.2.10:0", "http://192.0.2.10", true},     // one invalid
      {"ftp://192.0.2.10", "FTP://192.0.2.99", true},  // both invalid: host empty, port 80
      {"http://192.0.2.10:443", "https://192.0.2.10", false},
      {"http:// 192.0.2.10", "http://192.0.2.10", false},
      {"http://192.0.2.10", "http://192.0.2.10:81", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.a) + " vs " + c.b);
    OrnEndPoint a(c.a), b(c.b);
    EXPECT_EQ(a == b, c.equal);
    EXPECT_EQ(b == a, c.equal);
  }
}

}  // namespace
