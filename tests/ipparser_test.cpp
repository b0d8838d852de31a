// OrnIPParser: range expressions, net masks and the four octet hand-outs.

#include <gtest/gtest.h>
#include <liborn2/ipparser.h>

#include <algorithm>
#include <string>
#include <vector>

#include "net/ipparser_inspector.h"

namespace {

using orn2::OrnIPParserInspector;
using List = std::vector<short>;

const short kUntouched = -7;
const unsigned int kFullArray = 256;

List Range(int low, int high) {
  List values;
  for (int v = low; v <= high; ++v) values.push_back(static_cast<short>(v));
  return values;
}

using HandOut = void (OrnIPParser::*)(short*, unsigned int&) const;
const HandOut kHandOuts[] = {&OrnIPParser::GetClassARange, &OrnIPParser::GetClassBRange,
                             &OrnIPParser::GetClassCRange, &OrnIPParser::GetClassDRange};

// Calls one hand-out with an array of `capacity` elements pre-filled with
// kUntouched; returns what the count said was written, and checks that
// nothing beyond it was touched.
List Fetch(const OrnIPParser& parser, HandOut handOut, unsigned int capacity = kFullArray) {
  std::vector<short> array(kFullArray + 1, kUntouched);
  unsigned int count = capacity;
  (parser.*handOut)(array.data(), count);
  EXPECT_LE(count, capacity);
  for (std::size_t i = count; i < array.size(); ++i) EXPECT_EQ(array[i], kUntouched) << "at " << i;
  return List(array.begin(), array.begin() + count);
}

struct RangeCase {
  const char* expression;
  List first, second, third, fourth;
};

TEST(IPParserRangeMode, WorkedExamplesExpandToTheirOctetLists) {
  const List all = Range(0, 255);
  const RangeCase cases[] = {
      {"192.168.1.*", {192}, {168}, {1}, all},
      {"10.1", {10}, {1}, all, all},
      {"10.0.0.1-10", {10}, {0}, {0}, Range(1, 10)},
      {"10.0.0.10-1", {10}, {0}, {0}, Range(1, 10)},
      {"10.0.1,3,5.20-22", {10}, {0}, {1, 3, 5}, {20, 21, 22}},
      {"10.0.0.5,1-3,2", {10}, {0}, {0}, {1, 2, 3, 5}},
      {"10.0.0.250-300", {10}, {0}, {0}, Range(250, 255)},
      {"10.0.0.300", {10}, {0}, {0}, {}},
      {"10.0.0.1-2-3", {10}, {0}, {0}, {}},
      {"10..0.1", {10}, {0}, {0}, {1}},
      {"10.0.0.", {10}, {0}, {0}, {0}},
      {"", {0}, all, all, all},
      // Edge cases of the element syntax.
      {"192.168.1-2.*", {192}, {168}, {1, 2}, all},
      {"1.2.3.1-3,2,3", {1}, {2}, {3}, {1, 2, 3}},
      {"1.2.5-.-5", {1}, {2}, Range(0, 5), Range(0, 5)},
      {"1.2.-.,", {1}, {2}, {0}, {0}},
      {"1.2.3.1-*-3", {1}, {2}, {3}, {}},
      {"1.2.300-400.0-99999999999", {1}, {2}, {}, all},
      // Numbers too long for 32 (or 64) bits count as above 255, never wrap.
      {"1.2.3.99999999999,4294967303,7", {1}, {2}, {3}, {7}},
      {"1.2.3.18446744073709551623", {1}, {2}, {3}, {}},
      {"1.2.0-18446744073709551623.1", {1}, {2}, Range(0, 255), {1}},
      {"0255.1.2.*,7", {255}, {1}, {2}, all},
  };
  for (const RangeCase& c : cases) {
    SCOPED_TRACE(c.expression);
    const OrnIPParser parser(c.expression, "");
    ASSERT_TRUE(parser.IsValid());
    EXPECT_EQ(std::count(OrnIPParserInspector::IpRange(parser).begin(),
                         OrnIPParserInspector::IpRange(parser).end(), '.'),
              3);
    const std::vector<List> expected = {c.first, c.second, c.third, c.fourth};
    EXPECT_EQ(OrnIPParserInspector::Octets(parser), expected);
  }
}

TEST(IPParserRangeMode, PadsMissingPartsWithAsterisks) {
  EXPECT_EQ(OrnIPParserInspector::IpRange(OrnIPParser("10", "")), "10.*.*.*");
  EXPECT_EQ(OrnIPParserInspector::IpRange(OrnIPParser("10.1", "")), "10.1.*.*");
  EXPECT_EQ(OrnIPParserInspector::IpRange(OrnIPParser("", "")), ".*.*.*");
  EXPECT_EQ(OrnIPParserInspector::IpRange(OrnIPParser("1.2.3.4", "")), "1.2.3.4");
  // The padded text is kept even when a character is refused.
  EXPECT_EQ(OrnIPParserInspector::IpRange(OrnIPParser("10.a", "")), "10.a.*.*");
  EXPECT_EQ(OrnIPParserInspector::IpRange(OrnIPParser("10.0.0.1.5", "")), "");
}

TEST(IPParserRangeMode, MalformedExpressionsMakeTheParserInvalid) {
  struct Case {
    const char* expression;
    std::size_t listsBuilt;  // a refused element still gets its octet's partial list
  };
  const Case cases[] = {
      {"10.0.0.1.5", 0}, {"10.0.0.a", 0},  {"10.0.0. 1", 0}, {" 10.0.0.1", 0},   {"10.0.0.1 ", 0},
      {"10.0.0.\t1", 0}, {"10.0.0.+1", 0}, {"....", 0},      {"10.0.*5.1", 3},   {"*-5", 1},
      {"1.5-*", 2},      {"1.2.3.5*", 4},  {"1.2.3.**", 4},  {"1.*,*-1.3.4", 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.expression);
    const OrnIPParser parser(c.expression, "");
    EXPECT_FALSE(parser.IsValid());
    EXPECT_EQ(OrnIPParserInspector::Octets(parser).size(), c.listsBuilt);
    for (HandOut handOut : kHandOuts) EXPECT_TRUE(Fetch(parser, handOut).empty());
  }
}

struct MaskCase {
  const char* address;
  const char* mask;
  List first, second, third, fourth;
  List handedOutFirst, handedOutFourth;
};

TEST(IPParserMaskMode, WorkedExamplesExpandToTheirOctetLists) {
  const List all = Range(0, 255);
  const List inner = Range(1, 254);
  const MaskCase cases[] = {
      {"192.168.1.77", "255.255.255.192", {192}, {168}, {1}, Range(64, 127), {192}, Range(64, 127)},
      {"10.1.2.3", "255.255.255.0", {10}, {1}, {2}, all, {10}, inner},
      {"10.1.200.3", "255.255.240.0", {10}, {1}, Range(192, 207), all, {10}, inner},
      {"172.16.5.9", "255.0.255.0", {172}, all, all, all, {172}, inner},
      {"10.1", "255.255.0.0", {10}, {1}, all, all, {10}, inner},
      {"10.1.2.3", "255.255.255.255", {10}, {1}, {2}, {3}, {10}, {3}},
      {"10.1.2.*", "255.255.255.255", {10}, {1}, {2}, {0}, {10}, {}},
      {"10.1.2.1-5", "255.255.255.255", {10}, {1}, {2}, {1}, {10}, {1}},
      {"10.1.2.3", "255.255.255.127", {10}, {1}, {2}, {}, {10}, {}},
      {"0.1.2.3", "255.255.255.255", {0}, {1}, {2}, {3}, {}, {3}},
      // Mask part 0 gives 0 to 255 whatever the address part is; later
      // octets ignore their own mask part.
      {"10.77.2.3", "255.0.255.255", {10}, all, all, all, {10}, inner},
      // Mask parts 1 to 127 give nothing; 128 is the widest block.
      {"10.1.2.3", "255.255.1.255", {10}, {1}, {}, all, {10}, inner},
      {"10.1.200.3", "255.255.128.0", {10}, {1}, Range(128, 255), all, {10}, inner},
      // A non-contiguous part still gives 256 - m values from address AND mask.
      {"10.1.2.200", "255.255.255.160", {10}, {1}, {2}, Range(128, 223), {10}, Range(128, 223)},
      // Address values are copied unchecked and cut to 16 bits.
      {"10.1.300.4", "255.255.255.255", {10}, {1}, {300}, {4}, {10}, {4}},
      {"70000.-5..4", "255.255.255.255", {4464}, {-5}, {0}, {4}, {}, {4}},
      {"10.-5.1.1", "255.192.0.0", {10}, Range(192, 255), all, all, {10}, inner},
      // An empty mask part reads as 0.
      {"10.1.2.3", "255.255..", {10}, {1}, all, all, {10}, inner},
      {"10.1.2.3", "255.255.0255.00", {10}, {1}, {2}, all, {10}, inner},
  };
  for (const MaskCase& c : cases) {
    SCOPED_TRACE(std::string(c.address) + " / " + c.mask);
    const OrnIPParser parser(c.address, c.mask);
    ASSERT_TRUE(parser.IsValid());
    EXPECT_EQ(OrnIPParserInspector::NetMask(parser), c.mask);
    const std::vector<List> expected = {c.first, c.second, c.third, c.fourth};
    EXPECT_EQ(OrnIPParserInspector::Octets(parser), expected);
    EXPECT_EQ(Fetch(parser, &OrnIPParser::GetClassARange), c.handedOutFirst);
    EXPECT_EQ(Fetch(parser, &OrnIPParser::GetClassBRange), c.second);
    EXPECT_EQ(Fetch(parser, &OrnIPParser::GetClassCRange), c.third);
    EXPECT_EQ(Fetch(parser, &OrnIPParser::GetClassDRange), c.handedOutFourth);
  }
}

TEST(IPParserMaskMode, RefusedMasksMakeTheParserInvalid) {
  const char* masks[] = {
      "24",
      "255.255.255",
      "255.255.255.0.0",
      "255.255.255.x",
      "255.255.255.256",
      "255.255.255.99999999999",
      "255.255.255.18446744073709551871",
      "255.255.255.-1",
      "255.255.255.*",
      "255.255.255. 0",
      "255.255.255.0-5",
  };
  for (const char* mask : masks) {
    SCOPED_TRACE(mask);
    const OrnIPParser parser("10.1.2.3", mask);
    EXPECT_FALSE(parser.IsValid());
    EXPECT_EQ(OrnIPParserInspector::NetMask(parser), "");
    EXPECT_TRUE(OrnIPParserInspector::Octets(parser).empty());
  }
  // A bad expression is refused before the mask is looked at.
  const OrnIPParser badAddress("10.1.2.a", "255.255.255.0");
  EXPECT_FALSE(badAddress.IsValid());
  EXPECT_EQ(OrnIPParserInspector::NetMask(badAddress), "");
}

TEST(IPParserHandOut, CountRules) {
  const OrnIPParser parser("10.0.0-255.*", "");
  ASSERT_TRUE(parser.IsValid());
  // Larger than the list: the count comes back as the list's length.
  EXPECT_EQ(Fetch(parser, &OrnIPParser::GetClassBRange, 50), List{0});
  // Smaller: the count stays and the lowest values are written; the first
  // and fourth octet filter before they limit.
  EXPECT_EQ(Fetch(parser, &OrnIPParser::GetClassCRange, 10), Range(0, 9));
  EXPECT_EQ(Fetch(parser, &OrnIPParser::GetClassDRange, 10), Range(1, 10));
  EXPECT_EQ(Fetch(parser, &OrnIPParser::GetClassCRange), Range(0, 255));
  EXPECT_EQ(Fetch(parser, &OrnIPParser::GetClassDRange), Range(1, 254));
  EXPECT_EQ(Fetch(parser, &OrnIPParser::GetClassDRange, 1000), Range(1, 254));

  const OrnIPParser invalid("10.0.0.x", "");
  for (HandOut handOut : kHandOuts) {
    // A count of 0, a null array or an invalid parser: count 0, array untouched.
    EXPECT_TRUE(Fetch(parser, handOut, 0).empty());
    EXPECT_TRUE(Fetch(invalid, handOut).empty());
    unsigned int count = 5;
    (parser.*handOut)(nullptr, count);
    EXPECT_EQ(count, 0u);
  }
  // A valid parser's empty list hands out nothing.
  EXPECT_TRUE(Fetch(OrnIPParser("10.0.0.256", ""), &OrnIPParser::GetClassDRange).empty());
  // Repeated calls write the same values.
  EXPECT_EQ(Fetch(parser, &OrnIPParser::GetClassDRange, 3),
            Fetch(parser, &OrnIPParser::GetClassDRange, 3));
}

void ExpectSameParser(const OrnIPParser& actual, const OrnIPParser& expected) {
  EXPECT_EQ(actual.IsValid(), expected.IsValid());
  EXPECT_EQ(OrnIPParserInspector::IpRange(actual), OrnIPParserInspector::IpRange(expected));
  EXPECT_EQ(OrnIPParserInspector::NetMask(actual), OrnIPParserInspector::NetMask(expected));
  EXPECT_EQ(OrnIPParserInspector::Octets(actual), OrnIPParserInspector::Octets(expected));
}

TEST(IPParserCopy, CopiesAndAssignmentsMatchTheirSource) {
  const OrnIPParser masked("10.1.200.3", "255.255.240.0");
  const OrnIPParser ranged("10.0.1,3,5.20-22", "");
  const OrnIPParser invalid("10.0.*5.1", "");

  const OrnIPParser copy(masked);
  ExpectSameParser(copy, masked);
  EXPECT_EQ(Fetch(copy, &OrnIPParser::GetClassCRange), Range(192, 207));

  OrnIPParser target(ranged);
  target = invalid;
  ExpectSameParser(target, invalid);
  target = masked;
  ExpectSameParser(target, masked);
  target = ranged;
  ExpectSameParser(target, ranged);

  const OrnIPParser before(target);
  OrnIPParser& alias = target;
  target = alias;
  ExpectSameParser(target, before);
  EXPECT_EQ(Fetch(target, &OrnIPParser::GetClassCRange), List({1, 3, 5}));
}

}  // namespace
