// OrnEndPoint: the parse of endpoint strings with its error texts, the host
// checks behind it, and what copies, assignments and comparisons carry. No test
// needs a network: hosts are dotted quads, forms the address conversion takes,
// or names under the reserved .invalid domain.

// The tests link the library's static twin, not the DLL: no dllimport.
#ifndef ORN2_STATIC
#define ORN2_STATIC
#endif

#include <gtest/gtest.h>
#include <liborn2/endpoint.h>

#include <climits>
#include <string>
#include <vector>

#include "net/endpoint_functions.h"
#include "port/net.h"

namespace {

namespace ep = orn2::endpoint;

const char kHostTail[] = " is not valid IP address or can't be resolved to an IP address\n";

TEST(EndPointParse, FieldsAndErrorTexts) {
  struct Case {
    std::string endPoint;
    bool valid;
    std::string protocol;
    std::string host;
    unsigned int port;
    std::string error;
  };
  const std::string bad = "https://nohost.invalid:abc";
  const Case cases[] = {
      // Valid forms.
      {"", true, "http", "", 80, ""},
      {"10.0.0.1", true, "http", "10.0.0.1", 80, ""},
      {"https://192.0.2.10", true, "https", "192.0.2.10", 443, ""},
      {"HTTP://192.0.2.10:8080", true, "http", "192.0.2.10", 8080, ""},
      {" HTTPS ://192.0.2.10", true, "https", "192.0.2.10", 443, ""},
      {"httpX//192.0.2.10", true, "http", "192.0.2.10", 80, ""},
      {"192.0.2.10:65536", true, "http", "192.0.2.10", 65536, ""},
      {"192.0.2.10:080", true, "http", "192.0.2.10", 80, ""},
      {"http://192.0.2.10:4294967376", true, "http", "192.0.2.10", 2147483647, ""},
      // The host name is kept as written; the dotted-quad check ignores blanks.
      {"http:// 192.0.2.10:81", true, "http", " 192.0.2.10", 81, ""},
      {"https://192.0.2.10 ", true, "https", "192.0.2.10 ", 443, ""},
      // Short and hexadecimal forms pass through the address conversion.
      {"1.2.3:8080", true, "http", "1.2.3", 8080, ""},
      {"https://0x7f.1", true, "https", "0x7f.1", 443, ""},
      // Protocol errors: alone, host and port left at the constructor's values.
      {"http//192.0.2.10", false, "htt", "", 80,
       "Error: invalid protocol: htt found in endpoint: http//192.0.2.10\n"},
      {"ftp://192.0.2.10:21", false, "ftp", "", 80,
       "Error: invalid protocol: ftp found in endpoint: ftp://192.0.2.10:21\n"},
      {"//192.0.2.10", false, "//192.0.2.10", "", 80,
       "Error: invalid protocol: //192.0.2.10 found in endpoint: //192.0.2.10\n"},
      {"  ://192.0.2.10", false, "  ", "", 80,
       "Error: invalid protocol:    found in endpoint:   ://192.0.2.10\n"},
      {"\thttp://192.0.2.10", false, "\thttp", "", 80,
       "Error: invalid protocol: \thttp found in endpoint: \thttp://192.0.2.10\n"},
      {"FTP://a:b:c", false, "ftp", "", 80,
       "Error: invalid protocol: ftp found in endpoint: FTP://a:b:c\n"},
      // Port errors: the port text runs to the end of the endpoint.
      {"192.0.2.10:0", false, "http", "192.0.2.10", 80,
       "Error: invalid port: 0 found in endpoint 192.0.2.10:0\n"},
      {"192.0.2.10:", false, "http", "192.0.2.10", 80,
       "Error: invalid port:  found in endpoint 192.0.2.10:\n"},
      {"http://192.0.2.10:80/path", false, "http", "192.0.2.10", 80,
       "Error: invalid port: 80/path found in endpoint http://192.0.2.10:80/path\n"},
      {"https://192.0.2.10:8443:9", false, "https", "192.0.2.10", 80,
       "Error: invalid port: 8443:9 found in endpoint https://192.0.2.10:8443:9\n"},
      {"192.0.2.10:+80", false, "http", "192.0.2.10", 80,
       "Error: invalid port: +80 found in endpoint 192.0.2.10:+80\n"},
      {"192.0.2.10:000", false, "http", "192.0.2.10", 80,
       "Error: invalid port: 000 found in endpoint 192.0.2.10:000\n"},
      // Host errors; the port is still checked and set.
      {"http://192.0.2.10/path", false, "http", "192.0.2.10/path", 80,
       std::string(" Error: hostname: 192.0.2.10/path found in endpoint http://192.0.2.10/path") +
           kHostTail},
      {"https://nohost.invalid:8443", false, "https", "nohost.invalid", 8443,
       std::string(" Error: hostname: nohost.invalid found in endpoint "
                   "https://nohost.invalid:8443") +
           kHostTail},
      {"1.2.3.256:81", false, "http", "1.2.3.256", 81,
       std::string(" Error: hostname: 1.2.3.256 found in endpoint 1.2.3.256:81") + kHostTail},
      // A host error and a port error together: the host text first.
      {bad, false, "https", "nohost.invalid", 80,
       " Error: hostname: nohost.invalid found in endpoint " + bad + kHostTail +
           "Error: invalid port: abc found in endpoint " + bad + "\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("endpoint [" + c.endPoint + "]");
    const OrnEndPoint endPoint(c.endPoint);
    EXPECT_EQ(endPoint.IsValid(), c.valid);
    EXPECT_EQ(endPoint.GetProtocol(), c.protocol);
    EXPECT_EQ(endPoint.GetHostName(), c.host);
    EXPECT_EQ(endPoint.GetPort(), c.port);
    EXPECT_EQ(endPoint.GetErrorMessage(), c.error);
    EXPECT_EQ(endPoint.GetWarningMessage(), "");
  }
}

// Counts the calls of the name service check and resolves only names that
// end in ".resolves.invalid".
int g_lookups = 0;
bool FakeLookup(const std::string& host) {
  ++g_lookups;
  const std::string tail = ".resolves.invalid";
  return host.size() >= tail.size() &&
         host.compare(host.size() - tail.size(), tail.size(), tail) == 0;
}

class FakeNameService : public ::testing::Test {
 protected:
  void SetUp() override {
    g_lookups = 0;
    previous_ = ep::SetHostLookupForTesting(FakeLookup);
  }
  void TearDown() override { ep::SetHostLookupForTesting(previous_); }

 private:
  ep::HostLookup previous_ = nullptr;
};

TEST_F(FakeNameService, NameServicesAskedOnlyWhenTheFastCheckFails) {
  struct Case {
    std::string endPoint;
    int lookups;
    bool valid;
  };
  const Case cases[] = {
      {"10.0.0.1", 0, true},
      {"https://192.0.2.10:8443", 0, true},
      {"ftp://x.resolves.invalid", 0, false},  // the protocol error stops the parse
      {"", 0, true},
      {"http://api.resolves.invalid:8080", 1, true},
      {"api.resolves.invalid:0", 1, false},
      {"http://other.invalid", 1, false},
      {"00.1.2.3", 1, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.endPoint);
    g_lookups = 0;
    const OrnEndPoint endPoint(c.endPoint);
    EXPECT_EQ(g_lookups, c.lookups);
    EXPECT_EQ(endPoint.IsValid(), c.valid);
  }
}

TEST(EndPointHostChecks, DottedQuadCheck) {
  struct Case {
    const char* host;
    bool valid;
  };
  const Case cases[] = {
      {"10.0.0.1", true},
      {"010.1.2.3", true},
      {"0.0.0.0", true},
      {"255.255.255.255", true},
      {"1. 2.3.4", true},
      {" 1.2.3.4 ", true},
      {"00.1.2.3", false},
      {"1.2.3.256", false},
      {"1.2.3", false},
      {"1.2.3.4.5", false},
      {"1.2.3.", false},
      {"", false},
      {"a.b.c.d", false},
      {"1.2.3.-4", false},
      {"1.2.3.+4", false},
      {"1.2.3.4294967297", false},  // would be 1 if the conversion wrapped
      {"1.2.3.99999999999999999999", false},
      {"1.2.\t3.4", false},  // only the space counts as blank
      {"0x7f.0.0.1", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.host);
    EXPECT_EQ(ep::IsValidIPAddress(c.host), c.valid);
  }
}

TEST(EndPointHostChecks, AddressConversionKeepsItsShortForms) {
  struct Case {
    const char* text;
    bool converts;
  };
  const Case cases[] = {
      {"192.0.2.10", true}, {"1.2.3", true},      {"0x7f.1", true},
      {"10", true},         {"017.0.0.1", true},  {"255.255.255.255", false},
      {"", false},          {"1.2.3.256", false}, {"nohost.invalid", false},
      {"1.2.3.4x", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(orn2::port::ConvertsToIPv4Address(c.text), c.converts);
  }
}

TEST(EndPointHostChecks, NameLookUp) {
  ASSERT_TRUE(orn2::port::StartNetwork());
  EXPECT_TRUE(orn2::port::LooksUpIPv4Host("localhost"));
  EXPECT_FALSE(orn2::port::LooksUpIPv4Host("nohost.invalid"));
  EXPECT_FALSE(orn2::port::LooksUpIPv4Host("a b.invalid"));
  orn2::port::StopNetwork();

  EXPECT_TRUE(ep::IsResolvableHost("localhost"));
  EXPECT_TRUE(ep::IsResolvableHost("0x7f.1"));
  EXPECT_FALSE(ep::IsResolvableHost("nohost.invalid"));
  // The system would see only "localhost": a NUL inside the name fails.
  EXPECT_FALSE(ep::IsResolvableHost(std::string("localhost\0.invalid", 18)));

  const OrnEndPoint local("https://localhost:8443");
  EXPECT_TRUE(local.IsValid());
  EXPECT_EQ(local.GetHostName(), "localhost");
}

TEST(EndPointText, TrimToLowerSplit) {
  struct TrimCase {
    std::string in, out;
  };
  const TrimCase trims[] = {
      {"  a b  ", "a b"}, {" a", "a"},        {"a ", "a"},      {"   ", "   "},
      {"", ""},           {"\ta\t", "\ta\t"}, {" \ta ", "\ta"},
  };
  for (const TrimCase& c : trims) {
    SCOPED_TRACE("[" + c.in + "]");
    std::string text = c.in;
    ep::Trim(text);
    EXPECT_EQ(text, c.out);
  }

  std::string text = "HtTpS\xC4";
  ep::ToLower(text);
  EXPECT_EQ(text, "https\xC4");

  struct SplitCase {
    std::string text, delimiter;
    std::vector<std::string> pieces;
  };
  const SplitCase splits[] = {
      {"a.b", ".", {"a", "b"}}, {" a . b ", ".", {"a", "b"}},
      {" a ", ".", {" a "}},    {"a..b", ".", {"a", "", "b"}},
      {"a.", ".", {"a", ""}},   {".", ".", {"", ""}},
      {"a. ", ".", {"a", " "}}, {"a::b::c", "::", {"a", "b", "c"}},
      {"a.b", "", {"a.b"}},     {"", ".", {""}},
  };
  for (const SplitCase& c : splits) {
    SCOPED_TRACE("[" + c.text + "] at [" + c.delimiter + "]");
    EXPECT_EQ(ep::Split(c.text, c.delimiter), c.pieces);
  }
}

TEST(EndPointText, DecimalValueIsAtoiWithSaturation) {
  struct Case {
    std::string text;
    int value;
  };
  const Case cases[] = {
      {"80", 80},
      {"080", 80},
      {"  -7x", -7},
      {"+12", 12},
      {"abc", 0},
      {"", 0},
      {"- 5", 0},
      {"2147483647", INT_MAX},
      {"2147483648", INT_MAX},
      {"4294967376", INT_MAX},
      {"99999999999999999999999", INT_MAX},
      {"-2147483648", INT_MIN},
      {"-2147483649", INT_MIN},
      {"-99999999999999999999999", INT_MIN},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(ep::DecimalValue(c.text), c.value);
  }
}

void ExpectFields(const OrnEndPoint& e, bool valid, const std::string& protocol,
                  const std::string& host, unsigned int port, const std::string& error) {
  EXPECT_EQ(e.IsValid(), valid);
  EXPECT_EQ(e.GetProtocol(), protocol);
  EXPECT_EQ(e.GetHostName(), host);
  EXPECT_EQ(e.GetPort(), port);
  EXPECT_EQ(e.GetErrorMessage(), error);
  EXPECT_EQ(e.GetWarningMessage(), "");
}

TEST(EndPointCopy, CopyCarriesFieldsOnlyFromAValidSource) {
  const OrnEndPoint valid("https://192.0.2.10:8443");
  ExpectFields(OrnEndPoint(valid), true, "https", "192.0.2.10", 8443, "");

  const OrnEndPoint invalid("ftp://192.0.2.10:21");
  const std::string error = "Error: invalid protocol: ftp found in endpoint: ftp://192.0.2.10:21\n";
  ExpectFields(OrnEndPoint(invalid), false, "", "", 0, error);

  // Fields the parse reached are not carried either.
  const OrnEndPoint badPort("192.0.2.10:0");
  ExpectFields(OrnEndPoint(badPort), false, "", "", 0, badPort.GetErrorMessage());

  // A vector keeps valid endpoints whole through its reallocations.
  std::vector<OrnEndPoint> list;
  for (int i = 1; i <= 20; ++i) list.push_back(OrnEndPoint("192.0.2." + std::to_string(i)));
  for (int i = 1; i <= 20; ++i)
    ExpectFields(list[i - 1], true, "http", "192.0.2." + std::to_string(i), 80, "");
}

TEST(EndPointCopy, AssignmentOfAnInvalidSourceKeepsTheTargetsFields) {
  const OrnEndPoint invalid("ftp://192.0.2.10:21");
  OrnEndPoint target("https://192.0.2.20:8443");
  target = invalid;
  ExpectFields(target, false, "https", "192.0.2.20", 8443, invalid.GetErrorMessage());

  // A valid source brings everything, its empty error message included.
  const OrnEndPoint valid("http://192.0.2.30:81");
  OrnEndPoint& result = (target = valid);
  EXPECT_EQ(&result, &target);
  ExpectFields(target, true, "http", "192.0.2.30", 81, "");

  OrnEndPoint self("https://192.0.2.40");
  const OrnEndPoint& alias = self;
  self = alias;
  ExpectFields(self, true, "https", "192.0.2.40", 443, "");
}

TEST(EndPointCopy, EqualityComparesHostProtocolAndPortOnly) {
  struct Case {
    const char* a;
    const char* b;
    bool equal;
  };
  const Case cases[] = {
      {"http://192.0.2.10", "192.0.2.10:80", true},
      {"HTTPS://192.0.2.10", "https://192.0.2.10:443", true},
      {"192.0.2.10:0", "http://192.0.2.10", true},     // one invalid
      {"ftp://192.0.2.10", "FTP://192.0.2.99", true},  // both invalid: host empty, port 80
      {"http://192.0.2.10:443", "https://192.0.2.10", false},
      {"http://192.0.2.10", "http://192.0.2.11", false},
      {"http://192.0.2.10", "http://192.0.2.10:81", false},
      {"http:// 192.0.2.10", "http://192.0.2.10", false},
      {"ftp://192.0.2.10", "gopher://192.0.2.10", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.a) + " vs " + c.b);
    OrnEndPoint a(c.a);
    OrnEndPoint b(c.b);
    EXPECT_EQ(a == b, c.equal);
    EXPECT_EQ(b == a, c.equal);
  }
}

}  // namespace
