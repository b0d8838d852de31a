// Lookups and enumeration: case-blind matching, first match wins, the number
// conversions, caller buffers that are too small, the section and key walks,
// and the index staying right through every kind of edit.
#include <gtest/gtest.h>
#include <liborn2/config.h>

#include <cctype>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "config/config_probe.h"
#include "support/temp_dir.h"

namespace {

using orn2::testing::TempDir;
using orn2::testing::WriteFileBytes;

// A store loaded from `text` in its own directory.
class Loaded {
 public:
  explicit Loaded(const std::string& text) : path_(dir_.File("lookup.cfg")) {
    WriteFileBytes(path_, text);
    EXPECT_EQ(config.LoadConfig(path_.c_str()), 0);
  }
  const std::string& path() const { return path_; }

 private:
  TempDir dir_;
  std::string path_;

 public:
  Config config;
};

TEST(ConfigLookup, GetStringMatchesWholeNamesIgnoringCase) {
  Loaded s("[soap]\nserver = 10.0.0.1\nport=443\nport=444\nk=v\n");
  struct Case {
    const char* key;
    const char* section;
    int result;
    const char* value;
  };
  const Case cases[] = {
      {"port", "SOAP", 0, "443"}, {"soap/port", nullptr, 0, "443"},
      {"port", "", -1, ""},       {"host", "soap", -1, ""},
      {"PoRt", "sOaP", 0, "443"}, {"SOAP/SERVER", nullptr, 0, "10.0.0.1"},
      {"por", "soap", -1, ""},    {"port", "soa", -1, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.key) + " in " + (c.section ? c.section : "(null)"));
    char buffer[16];
    std::memset(buffer, 'z', sizeof buffer);
    EXPECT_EQ(s.config.GetString(c.key, buffer, sizeof buffer, c.section), c.result);
    EXPECT_STREQ(buffer, c.value);
    if (c.result != 0) {
      EXPECT_EQ(std::string(buffer, sizeof buffer), std::string(16, '\0'));
    }
  }
}

TEST(ConfigLookup, ShortCallerBuffersAreCutAndTerminated) {
  Loaded s("[s]\nvalue=abcdef\nlongkey=1\n");
  struct Case {
    int length;
    const char* expected;
  };
  for (const Case& c : {Case{4, "abc"}, Case{1, ""}, Case{7, "abcdef"}, Case{0, nullptr}}) {
    SCOPED_TRACE(c.length);
    char buffer[12];
    std::memset(buffer, '#', sizeof buffer);
    EXPECT_EQ(s.config.GetString("value", buffer, c.length, "s"), 0);
    if (c.expected != nullptr) {
      EXPECT_STREQ(buffer, c.expected);
    }
    for (size_t i = static_cast<size_t>(c.length); i < sizeof buffer; ++i)
      ASSERT_EQ(buffer[i], '#') << "written past the length at " << i;
  }
  char key[5];
  std::memset(key, '#', sizeof key);
  ASSERT_EQ(s.config.GetFirstKey("s", key, 3), 1);
  EXPECT_STREQ(key, "va");
  EXPECT_EQ(key[3], '#');
  ASSERT_EQ(s.config.GetNextKey("s", key, 4), 1);
  EXPECT_STREQ(key, "lon");
  EXPECT_EQ(key[4], '#');
}

TEST(ConfigLookup, NumberConversions) {
  struct Case {
    const char* value;
    int integer;
    long longValue;
  };
  const Case cases[] = {
      {"0x10", 16, 16},
      {"0xff", 255, 255},
      {"0xFF", 255, 255},
      {"0X10", 0, 0},
      {"0x", 0, 0},
      {"0x1g", 65535, 2147483647L},
      {"-7", -7, -7},
      {"7 apples", 7, 7},
      {"abc", 0, 0},
      {"0xFFFFFFFF", -1, -1},
      {"0x123456789", 0x23456789, 0x23456789},
      {"+12", 12, 12},
      {"65535", 65535, 65535},
      {"99999999999", 2147483647, 2147483647L},
      {"-99999999999", -2147483647 - 1, -2147483647L - 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.value);
    Loaded s(std::string("n=") + c.value + "\n");
    EXPECT_EQ(s.config.GetInteger("n", nullptr), c.integer);
    EXPECT_EQ(s.config.GetLong("n", nullptr), c.longValue);
  }
  Loaded s("n=1\n");
  EXPECT_EQ(s.config.GetInteger("missing", nullptr), 65535);
  EXPECT_EQ(s.config.GetLong("missing", nullptr), 2147483647L);
}

bool SameIgnoringCase(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) !=
        std::tolower(static_cast<unsigned char>(b[i])))
      return false;
  }
  return true;
}

std::vector<std::string> Sections(Config& config) {
  std::vector<std::string> out;
  for (char* s = config.GetFirstSection(); s != nullptr; s = config.GetNextSection())
    out.push_back(s);
  return out;
}

std::vector<std::string> Keys(Config& config, const char* section) {
  std::vector<std::string> out;
  char key[129];
  for (int more = config.GetFirstKey(section, key, sizeof key); more;
       more = config.GetNextKey(section, key, sizeof key))
    out.push_back(key);
  return out;
}

TEST(ConfigEnumerate, SectionsAreReportedPerRun) {
  using V = std::vector<std::string>;
  struct Case {
    const char* text;
    V sections;
  };
  const Case cases[] = {
      {"[a]\nk=1\n[b]\nk=1\n[A]\nk=1\n", V{"a", "b", "A"}},
      {"[a]\nk=1\n[A]\nk=1\n", V{"a"}},
      {"debug=1\n[soap]\nport=443\n", V{"debug", "soap"}},
      {"[a]\nk=1\n# between\nj=2\n[b]\n[c]\nm=3\n", V{"a", "c"}},
      {"# only comments\n", V{}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    Loaded s(c.text);
    EXPECT_EQ(Sections(s.config), c.sections);
  }
}

TEST(ConfigEnumerate, KeysAndSectionExists) {
  Loaded s("[soap]\nserver=a\n[other]\nx=1\n[soap]\nport=2\ndebug=1\n");
  EXPECT_EQ(Keys(s.config, "soap"), (std::vector<std::string>{"server", "port", "debug"}));
  EXPECT_EQ(Keys(s.config, "SOAP"), (std::vector<std::string>{"server", "port", "debug"}));
  // No slash is needed after the name by the first step, one is by the next.
  EXPECT_EQ(Keys(s.config, "soa"), (std::vector<std::string>{"/server"}));
  EXPECT_EQ(Keys(s.config, "none"), std::vector<std::string>{});
  struct Case {
    const char* section;
    int exists;
  };
  for (const Case& c : {Case{"soap", 1}, Case{"so", 1}, Case{"", 1}, Case{"OTHER/X", 1},
                        Case{"others", 0}, Case{"x", 0}}) {
    SCOPED_TRACE(c.section);
    EXPECT_EQ(s.config.SectionExists(c.section), c.exists);
  }

  Loaded outside("debug=1\n[debugging]\nk=2\n");
  char key[16];
  std::memset(key, '#', sizeof key);
  ASSERT_EQ(outside.config.GetFirstKey("debug", key, sizeof key), 1);
  EXPECT_STREQ(key, "");
  EXPECT_EQ(outside.config.GetNextKey("debug", key, sizeof key), 0);
}

TEST(ConfigEnumerate, EmptyStore) {
  Config config;
  EXPECT_EQ(config.GetFirstSection(), nullptr);
  EXPECT_EQ(config.GetNextSection(), nullptr);
  EXPECT_EQ(config.SectionExists(""), 0);
  char key[8];
  std::memset(key, '#', sizeof key);
  EXPECT_EQ(config.GetFirstKey("s", key, sizeof key), 0);
  EXPECT_EQ(config.GetNextKey("s", key, sizeof key), 0);
  EXPECT_EQ(std::string(key, sizeof key), std::string(8, '#'));
}

TEST(ConfigEnumerate, EditsAndRemovalsMoveThePositionsAsDocumented) {
  Loaded s("[s]\na=1\nb=2\nc=3\n[t]\nm=1\n");
  char key[16];
  ASSERT_EQ(s.config.GetFirstKey("s", key, sizeof key), 1);  // a; resumes at b
  s.config.SetStringAtTail("d", "4", 0, "s");                // after the position: met
  s.config.SetStringAtHead("z", "0", 0, "s");                // before it: not met
  std::vector<std::string> rest;
  while (s.config.GetNextKey("s", key, sizeof key)) rest.push_back(key);
  EXPECT_EQ(rest, (std::vector<std::string>{"b", "c", "d"}));

  ASSERT_STREQ(s.config.GetFirstSection(), "s");
  ASSERT_STREQ(s.config.GetNextSection(), "t");
  ASSERT_EQ(s.config.GetFirstKey("s", key, sizeof key), 1);
  ASSERT_EQ(s.config.GetNextKey("s", key, sizeof key), 1);
  s.config.RemoveRecords("s", "b", "");  // an empty keep prefix protects everything
  s.config.RemoveRecords("s", "c", "zzz");
  // Both positions start over from the head.
  ASSERT_EQ(s.config.GetNextKey("s", key, sizeof key), 1);
  EXPECT_STREQ(key, "z");
  EXPECT_STREQ(s.config.GetNextSection(), "s");
}

// The index must give exactly what a walk from the head gives, whatever mix of
// loads, placements, overwrites, removals and resets came before.
TEST(ConfigIndex, AgreesWithALinearWalkThroughRandomEdits) {
  TempDir dir;
  std::string path = dir.File("index.cfg");
  WriteFileBytes(path, "[a]\nk1=f1\nK1=f2\n[B]\nk2=f3\nk1=f4\nk1=dup\nloose=1\n");
  std::mt19937 random(20240601);
  const char* sections[] = {"a", "A", "b", "ab", "", nullptr};
  const char* keys[] = {"k1", "K1", "k2", "k3", "loose"};
  Config config(path.c_str());
  for (int step = 0; step < 3000; ++step) {
    const char* section = sections[random() % 6];
    const char* key = keys[random() % 5];
    std::string value = std::to_string(step);
    switch (random() % 10) {
      case 0:
        config.RemoveRecords(section ? section : "", random() % 2 ? "k" : "", "k2");
        break;
      case 1:
        if (random() % 4 == 0) config.ResetState();
        config.LoadConfig(path.c_str());
        break;
      default:
        config.SetString(key, value.c_str(), 0, section, static_cast<int>(random() % 4));
    }
    ASSERT_EQ(ConfigProbe::CheckConsistency(config), "") << "after step " << step;
    for (const char* probeSection : sections) {
      for (const char* probeKey : keys) {
        std::string name = probeSection ? std::string(probeSection) + "/" + probeKey : probeKey;
        std::string expected;
        int expectedResult = -1;
        for (const auto& r : ConfigProbe::Records(config)) {
          if (r.kind == Config::kKeyRecord && SameIgnoringCase(r.name, name)) {
            expected = r.value;
            expectedResult = 0;
            break;
          }
        }
        char buffer[64];
        ASSERT_EQ(config.GetString(probeKey, buffer, sizeof buffer, probeSection), expectedResult)
            << name << " after step " << step;
        ASSERT_EQ(expected, buffer) << name << " after step " << step;
      }
    }
  }
}

}  // namespace
