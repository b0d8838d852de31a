// OrnIPParser: range expressions, net masks and the four octet hand-outs.

#include <gtest/gtest.h>
#include <liborn2/ipparser.h>

#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "net/ipparser_probe.h"

namespace {

using orn2::net::OrnIPParserProbe;
using List = std::vector<short>;
using HandOut = void (OrnIPParser::*)(short*, unsigned int&) const;

const HandOut kA = &OrnIPParser::GetClassARange, kB = &OrnIPParser::GetClassBRange,
              kC = &OrnIPParser::GetClassCRange, kD = &OrnIPParser::GetClassDRange;
const std::pair<const char*, HandOut> kHandOuts[] = {
    {"GetClassARange", kA}, {"GetClassBRange", kB}, {"GetClassCRange", kC}, {"GetClassDRange", kD}};

List Range(int low, int high) {
  List values;
  for (int v = low; v <= high; ++v) values.push_back(static_cast<short>(v));
  return values;
}
const List kAll = Range(0, 255), kInner = Range(1, 254);

// Calls one hand-out with an array of `capacity` elements pre-filled with
// -7; returns what the count said was written, and checks that
// nothing beyond it was touched.
List Fetch(const OrnIPParser& parser, HandOut handOut, unsigned int capacity = 256) {
  std::vector<short> array(257, -7);
  unsigned int count = capacity;
  (parser.*handOut)(array.data(), count);
  EXPECT_LE(count, capacity);
  for (std::size_t i = count; i < array.size(); ++i) EXPECT_EQ(array[i], -7) << "at " << i;
  return List(array.begin(), array.begin() + count);
}

std::vector<List> Octets(const OrnIPParser& parser) { return OrnIPParserProbe::Octets(parser); }

TEST(IPParserRangeMode, ExpressionsExpandToTheirOctetLists) {
  struct Case {
    const char* expression;
    std::vector<List> octets;
  };
  const Case cases[] = {
      {"192.168.1.*", {{192}, {168}, {1}, kAll}},
      {"10.1", {{10}, {1}, kAll, kAll}},
      {"10.0.0.1-10", {{10}, {0}, {0}, Range(1, 10)}},
      {"10.0.0.10-1", {{10}, {0}, {0}, Range(1, 10)}},
      {"10.0.1,3,5.20-22", {{10}, {0}, {1, 3, 5}, {20, 21, 22}}},
      {"10.0.0.5,1-3,2", {{10}, {0}, {0}, {1, 2, 3, 5}}},
      {"10.0.0.250-300", {{10}, {0}, {0}, Range(250, 255)}},
      {"10.0.0.300", {{10}, {0}, {0}, {}}},
      {"10.0.0.1-2-3", {{10}, {0}, {0}, {}}},
      {"10..0.1", {{10}, {0}, {0}, {1}}},
      {"10.0.0.", {{10}, {0}, {0}, {0}}},
      {"", {{0}, kAll, kAll, kAll}},
      {"1.2.5-.-5", {{1}, {2}, Range(0, 5), Range(0, 5)}},
      {"0255.-.,.1-*-3", {{255}, {0}, {0}, {}}},
      // Numbers too long for 32 or 64 bits count as above 255, never wrap.
      {"1.300-400.0-4294967303.4294967301,18446744073709551622,7", {{1}, {}, kAll, {7}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.expression);
    const OrnIPParser parser(c.expression, "");
    EXPECT_TRUE(parser.IsValid());
    EXPECT_EQ(Octets(parser), c.octets);
  }
}

TEST(IPParserRangeMode, MalformedExpressionsAndMasksMakeTheParserInvalid) {
  std::vector<std::pair<std::string, std::string>> cases;
  for (const char* expression :
       {"10.0.0.1.5", "10.0.0.a", "10.0.0. 1", " 10.0.0.1", "10.0.0.1 ", "10.0.0.\t1", "10.0.0.+1",
        "10.0.*5.1", "*-5", "1.5-*", "1.2.3.4,5*", "1.2.3.**"})
    cases.emplace_back(expression, "");
  for (const char* mask : {"24", "255.255.255", "255.255.255.0.0", "255.255.255.x",
                           "255.255.255.256", "255.255.255.18446744073709551871", "255.255.255.-1",
                           "255.255.255.*", "255.255.255. 0", "255.255.255.0-5"})
    cases.emplace_back("10.1.2.3", mask);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.first + " / " + c.second);
    const OrnIPParser parser(c.first, c.second);
    EXPECT_FALSE(parser.IsValid());
    for (const auto& [name, handOut] : kHandOuts) EXPECT_EQ(Fetch(parser, handOut), List{}) << name;
  }
}

TEST(IPParserMaskMode, AddressesExpandToTheirOctetLists) {
  struct Case {
    const char *address, *mask;
    std::vector<List> octets;
    List handedOutFirst, handedOutFourth;
  };
  const List block = Range(64, 127);
  const Case cases[] = {
      {"192.168.1.77", "255.255.255.192", {{192}, {168}, {1}, block}, {192}, block},
      {"10.1.2.3", "255.255.255.0", {{10}, {1}, {2}, kAll}, {10}, kInner},
      {"10.1.200.3", "255.255.240.0", {{10}, {1}, Range(192, 207), kAll}, {10}, kInner},
      {"172.16.5.9", "255.0.255.0", {{172}, kAll, kAll, kAll}, {172}, kInner},
      {"10.1", "255.255.0.0", {{10}, {1}, kAll, kAll}, {10}, kInner},
      {"10.1.2.3", "255.255.255.255", {{10}, {1}, {2}, {3}}, {10}, {3}},
      {"10.1.2.*", "255.255.255.255", {{10}, {1}, {2}, {0}}, {10}, {}},
      {"10.1.2.1-5", "255.255.255.255", {{10}, {1}, {2}, {1}}, {10}, {1}},
      {"10.1.2.3", "255.255.255.127", {{10}, {1}, {2}, {}}, {10}, {}},
      {"0.1.2.3", "255.255.255.255", {{0}, {1}, {2}, {3}}, {}, {3}},
      {"10.1.2.3", "255.255.1.255", {{10}, {1}, {}, kAll}, {10}, kInner},
      {"10.1.200.3", "255.255.128.0", {{10}, {1}, Range(128, 255), kAll}, {10}, kInner},
      {"10.1.2.200", "255.255.255.160", {{10}, {1}, {2}, Range(128, 223)}, {10}, Range(128, 223)},
      // Address values are copied unchecked and cut to 16 bits; empty parts read as 0.
      {"70000.-5..4", "255.255.255.255", {{4464}, {-5}, {0}, {4}}, {}, {4}},
      {"10.-5.1.1", "255.192.0.0", {{10}, Range(192, 255), kAll, kAll}, {10}, kInner},
      {"10.1.2.3", "255.255..", {{10}, {1}, kAll, kAll}, {10}, kInner},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.address) + " / " + c.mask);
    const OrnIPParser parser(c.address, c.mask);
    ASSERT_TRUE(parser.IsValid());
    ASSERT_EQ(Octets(parser), c.octets);
    EXPECT_EQ(Fetch(parser, kA), c.handedOutFirst);
    EXPECT_EQ(Fetch(parser, kB), c.octets[1]);
    EXPECT_EQ(Fetch(parser, kC), c.octets[2]);
    EXPECT_EQ(Fetch(parser, kD), c.handedOutFourth);
  }
}

TEST(IPParserHandOut, CountRules) {
  const OrnIPParser parser("10.0.0-255.*", "");
  EXPECT_EQ(Fetch(parser, kB, 50), List{0});       // larger: the list's length comes back
  EXPECT_EQ(Fetch(parser, kC, 10), Range(0, 9));   // smaller: the lowest values
  EXPECT_EQ(Fetch(parser, kD, 10), Range(1, 10));  // filtered before limited
  for (const auto& [name, handOut] : kHandOuts) {
    EXPECT_EQ(Fetch(parser, handOut, 0), List{}) << name << " with room for none";
    unsigned int count = 5;
    (parser.*handOut)(nullptr, count);
    EXPECT_EQ(count, 0u) << name << " with a null array";
  }
}

// Each copy holds every field of its source.
TEST(IPParserCopy, CopiesAndAssignmentsMatchTheirSource) {
  const OrnIPParser masked("10.1.200.3", "255.255.240.0"), ranged("10.0.1,3,5.20-22", ""),
      invalid("10.0.*5.1", "");
  OrnIPParser copied(masked), toInvalid(ranged), toMasked(invalid), toItself(masked);
  toInvalid = invalid;
  EXPECT_EQ(&(toMasked = masked), &toMasked);
  toItself = ranged;
  const OrnIPParser& alias = toItself;
  toItself = alias;
  const std::tuple<const char*, const OrnIPParser*, const OrnIPParser*> cases[] = {
      {"a copy", &copied, &masked},
      {"an invalid one assigned", &toInvalid, &invalid},
      {"a masked one assigned", &toMasked, &masked},
      {"assigned to itself", &toItself, &ranged}};
  for (const auto& [what, copy, source] : cases) {
    SCOPED_TRACE(what);
    EXPECT_EQ(copy->IsValid(), source->IsValid());
    EXPECT_EQ(OrnIPParserProbe::IpRange(*copy), OrnIPParserProbe::IpRange(*source));
    EXPECT_EQ(OrnIPParserProbe::NetMask(*copy), OrnIPParserProbe::NetMask(*source));
    EXPECT_EQ(Octets(*copy), Octets(*source));
  }
}

}  // namespace
