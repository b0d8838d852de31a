// The configuration store: the line grammar, the restore of an empty file from
// its backup, the reload, copies, lookups, enumeration, placement and removal
// of keys, the index agreeing with a walk of the list, the saved text byte for
// byte, special files refused, concurrent saves each replacing the file whole,
// saves killed at random moments never leaving a missing or partial file
// nor a missing backup, and saves keeping the file's protection against
// another local user (mode, owner, links).
#include <gtest/gtest.h>
#include <liborn2/config.h>
#include <liborn2/mutex.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <list>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "config/config_probe.h"
#include "port/fs.h"
#include "support/child.h"
#include "support/hostile.h"
#include "support/odd_files.h"
#include "support/system.h"
#include "support/temp_dir.h"
#include "support/watchdog.h"

namespace {

using orn2::config::ConfigProbe;
using orn2::testing::ReadFileBytes;
using orn2::testing::WriteFileBytes;
using std::filesystem::exists;

// A store loaded from `text` (with the modification time `mtime` when not 0),
// in a directory of its own.
struct Loaded {
  explicit Loaded(const std::string& text, int64_t mtime = 0) : path(dir.File("agent.cfg")) {
    Write(text, mtime);
    EXPECT_EQ(config.LoadConfig(path.c_str()), 0) << text;
  }
  // Writes the file in place (the same file), or as a new file renamed over
  // it, and sets its time.
  void Write(const std::string& text, int64_t mtime, int32_t ns = 0, bool inPlace = true) {
    if (inPlace) {  // only this process reads it, after the write
      std::ofstream(path, std::ios::binary) << text;
    } else {
      WriteFileBytes(path, text);  // a new file renamed over it
    }
    if (mtime != 0) {
      ASSERT_TRUE(orn2::testing::SetFileModificationTime(path.c_str(), mtime, ns)) << mtime;
    }
  }
  orn2::testing::TempDir dir;
  std::string path;
  Config config;
};

// The records from head to tail: "name=value|" for keys, "<text>|" for lines.
std::string Dump(const Config& config) {
  std::string out;
  for (const auto& r : ConfigProbe::Records(config))
    out += r.kind == Config::kLineRecord ? "<" + r.value + ">|" : r.name + "=" + r.value + "|";
  return out;
}

// The value of a key, or "-" when GetString does not find it.
std::string Get(Config& config, const char* key, const char* section) {
  char buffer[Config::kValueSize];
  return config.GetString(key, buffer, sizeof buffer, section) == 0 ? buffer : "-";
}

TEST(ConfigLoad, LineGrammar) {
  const std::string k200(200, 'k');
  const struct {
    std::string text, records;
  } cases[] = {
      {"[soap]\nserver = 10.0.0.1\nport=443\n", "soap/server=10.0.0.1|soap/port=443|"},
      {"# top\n   ; indented  \t\n[s]\n#x\n", "<# top>|<   ; indented>|<#x>|"},
      {"\n \na\n#\nx=\na=b", "a=b|"},  // short lines; a key without a value
      {"port 443\nport\nport=  443  \n=443\nport==443\n", "port=443|port=443|=443|port=443|"},
      {"url=a=b\nk\t=\t v w \r\nk\v=\fv\n", "url=a=b|k=v w|k=v|"},
      {"k=1\n[s]\nx=2\n=3\n[]\ny=4\nY=5\n", "k=1|s/x=2|s/=3|y=4|Y=5|"},
      {"[ a b ]\nk=1\n[soap\nk=2\n  [x]junk\nk=3\n[s]\n", " a b /k=1|soap/k=2|x/k=3|"},
      {"  \t\n\t \n", "< >|<\t>|"},
      {"[s]\r\nk = v \r\n# c \r\n", "s/k=v|<# c>|"},
      {"k=\xa0v\xa0\n", "k=\xa0v\xa0|"},
      // Lines are read in pieces of 1023 characters, each handled as a line.
      {"k=" + std::string(1020, 'x') + "ab=7\n",
       "k=" + std::string(Config::kValueMax, 'x') + "|b=7|"},
      {"#" + std::string(600, 'c') + "\n", "<#" + std::string(Config::kValueMax - 1, 'c') + ">|"},
      {"[" + std::string(200, 's') + "]\nk=1\n[s]\n" + k200 + "=2\n",
       std::string(Config::kNameMax, 's') + "=1|s/" + std::string(Config::kNameMax - 2, 'k') +
           "=2|"},
  };
  for (const auto& c : cases) {
    Loaded s(c.text);
    EXPECT_EQ(Dump(s.config), c.records) << c.text;
    EXPECT_EQ(ConfigProbe::CheckConsistency(s.config), "") << c.text;
  }
  Loaded s("[s]\n" + k200 + "=2\n");  // a name cut at the load is found by the same key
  EXPECT_EQ(Get(s.config, k200.c_str(), "s"), "2") << k200;
}

TEST(ConfigLoad, EmptyFilesAreRestoredMissingFilesFailToLoadAndSave) {
  Loaded s("[s]\nk=1\n");
  ASSERT_EQ(s.config.LoadConfig(s.path.c_str()), 0);  // a second load appends
  EXPECT_EQ(Dump(s.config), "s/k=1|s/k=1|");
  // Each load lets go of the file: a service reloads its configuration for ever.
  const int open = orn2::testing::OpenDescriptorCount();
  for (int i = 0; i < 20; ++i) ASSERT_EQ(s.config.LoadConfig(s.path.c_str()), 0);
  EXPECT_EQ(orn2::testing::OpenDescriptorCount(), open) << "after 20 loads";

  const std::string zero = "LoadConfig() Warning: filesize of " + s.path + " is Zero\n";
  for (const char* backup : {"<none>", "", "[soap]\n    port=443\n"}) {
    SCOPED_TRACE(std::string("backup '") + backup + "'");
    if (backup[0] != '<') WriteFileBytes(s.path + ".Save", backup);
    WriteFileBytes(s.path, "");
    s.config.ResetState();
    testing::internal::CaptureStderr();
    EXPECT_EQ(s.config.LoadConfig(s.path.c_str()), 0);
    EXPECT_EQ(s.config.IsConfigLoadedOk(), 1);
    const bool usable = backup[0] == '[';
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              zero + (usable ? "LoadConfig() Warning: Restoring saved CF file: [" + s.path +
                                   ".Save] (20 bytes)\n"
                             : "LoadConfig() Warning: No suitable backups loacated\n"));
    EXPECT_EQ(Dump(s.config), usable ? "soap/port=443|" : "");
  }
  EXPECT_EQ(ReadFileBytes(s.path), "[soap]\n    port=443\n");
  EXPECT_FALSE(exists(s.path + ".Save"));  // moved, not copied

  // A missing file is not restored; a failed load leaves the store as it was.
  // Where no FILE.New can be made, a save fails without a message (something
  // in the way of FILE.New: ConfigSpecialFiles and ConfigProtection).
  const std::string missing = s.dir.File("gone.cfg"), noFolder = s.dir.File("gone/agent.cfg");
  const std::string tooLong = s.dir.File(std::string(Config::kFileNameMax + 1, 'n'));
  WriteFileBytes(missing + ".Save", "k=1\n");
  testing::internal::CaptureStderr();
  EXPECT_EQ(s.config.LoadConfig(missing.c_str()), -1) << missing;
  EXPECT_EQ(s.config.LoadConfig(tooLong.c_str()), -1) << tooLong;
  EXPECT_EQ(s.config.SaveConfig(noFolder.c_str()), -1) << noFolder;
  EXPECT_EQ(s.config.SaveConfig(tooLong.c_str()), -1) << tooLong;
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "LoadConfig() Error: Cannot access [" + missing + "]\n" +
                "LoadConfig() Error: Cannot access [" + tooLong + "]\n");
  EXPECT_EQ(Dump(s.config), "soap/port=443|");
  EXPECT_EQ(ConfigProbe::FileName(s.config), s.path);
}

// A save made at any time after the load is seen: the time is compared to the
// nanosecond, and a file renamed over the loaded one with the same time counts
// as later. A change of size alone, or an earlier time, reloads nothing.
TEST(ConfigLoad, ASaveAtAnyTimeAfterTheLoadIsSeen) {
  const int64_t t = 1700000000;
  Loaded s("[s]\nk=loaded\nj=1\n[t]\nm=1\n", t);
  const struct {
    const char* change;  // also the value written
    int64_t seconds;
    int32_t ns;
    bool inPlace;
    const char* seen;
  } cases[] = {
      {"size_alone", t, 0, true, "loaded"},
      {"earlier_in_place", t - 10, 0, true, "loaded"},
      {"later_within_the_second", t, 500000000, true, "later_within_the_second"},
      {"another_file_the_same_time", t, 500000000, false, "another_file_the_same_time"},
      {"size_alone_again", t, 500000000, true, "another_file_the_same_time"},
      {"another_file_earlier", t, 400000000, false, "another_file_the_same_time"},
  };
  for (const auto& c : cases) {
    s.Write(std::string("[s]\nk=") + c.change + "\nj=1\n[t]\nm=1\n", c.seconds, c.ns, c.inPlace);
    EXPECT_EQ(Get(s.config, "k", "s"), c.seen) << c.change;
  }
  s.config.SetString("edit", "1", 0, "s", 0);
  char key[8];
  ASSERT_STREQ(s.config.GetFirstSection(), "s");
  ASSERT_EQ(s.config.GetFirstKey("s", key, sizeof key), 1);
  s.Write("[s]\nk=new\nj=2\n[t]\nm=3\n", t + 10);
  EXPECT_EQ(Get(s.config, "k", "s"), "new");
  EXPECT_EQ(Dump(s.config), "s/k=new|s/j=2|t/m=3|");  // the edit is gone
  EXPECT_EQ(s.config.GetNextSection(), nullptr);      // and the enumerations ended
  EXPECT_EQ(s.config.GetNextKey("s", key, sizeof key), 0);
  // A save by another store right after the reload, within the same second.
  Config writer(s.path.c_str());
  writer.SetString("k", "saved", 0, "s", 0);
  ASSERT_EQ(writer.SaveConfig(s.path.c_str()), 0);
  EXPECT_EQ(Get(s.config, "k", "s"), "saved");

  // A file that is gone keeps the records and says so at each lookup.
  ASSERT_EQ(std::remove(s.path.c_str()), 0);
  Config never;
  testing::internal::CaptureStderr();
  EXPECT_EQ(Get(s.config, "k", "s"), "saved");
  EXPECT_EQ(Get(never, "k", nullptr), "-");
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "CheckModified() Error: Cannot stat [" + s.path +
                "]!\nCheckModified() Error: Cannot stat []!\n");
}

TEST(ConfigLoad, CopiesAreDeepAndReleaseEmpties) {
  Loaded source("[a]\nk=1\n[b]\nk=2\nj=3\n");
  char key[32];
  ASSERT_STREQ(source.config.GetFirstSection(), "a");
  ASSERT_EQ(source.config.GetFirstKey("b", key, sizeof key), 1);
  Config assigned, &alias = assigned;
  assigned.SetString("stale", "x", 0, nullptr, 0);
  assigned = source.config;
  assigned = alias;
  Config copied(source.config);
  source.config.SetString("k", "changed", 0, "a", 0);
  EXPECT_EQ(source.config.ReleaseConfig(), 0);
  EXPECT_EQ(Dump(source.config), "");
  EXPECT_EQ(source.config.IsConfigLoadedOk(), 0);
  for (Config* c : {&assigned, &copied}) {
    SCOPED_TRACE(c == &copied ? "copied" : "assigned");
    EXPECT_EQ(Dump(*c), "a/k=1|b/k=2|b/j=3|");
    EXPECT_EQ(ConfigProbe::CheckConsistency(*c), "");
    EXPECT_EQ(c->IsConfigLoadedOk(), 1);
    EXPECT_EQ(ConfigProbe::FileName(*c), source.path);
    EXPECT_STREQ(c->GetNextSection(), "b");  // the enumerations go on where they stood
    EXPECT_EQ(c->GetNextKey("b", key, sizeof key), 1);
    EXPECT_STREQ(key, "j");
    c->SetString("k", "edited", 0, "a", 0);
    EXPECT_EQ(Get(*c, "k", "a"), "edited") << "the copy reloaded a file that has not changed";
  }
}

// The buffer is cleared over `length` bytes, then gets the value cut to
// length - 1 characters; nothing is written past `length`. The values n<i>
// outside sections convert to numbers as listed.
TEST(ConfigLookup, GetStringMatchesWholeNamesIgnoringCaseAndNumbersConvert) {
  const char* values[] = {"0x10", "0xaF",     "0X10", "0x",         "0x1g",       "-7",
                          "+12",  "7 apples", "abc",  "0xFFFFFFFF", "99999999999"};
  const int ints[] = {16, 175, 0, 0, 65535, -7, 12, 7, 0, -1, 2147483647};
  std::string text;
  for (size_t i = 0; i < std::size(values); ++i)
    text += "n" + std::to_string(i) + "=" + values[i] + "\n";
  Loaded s(text + "[soap]\nserver = 10.0.0.1\nport=443\nport=444\n");
  const struct {
    const char *key, *section;
    int length, result;
    const char* text;
  } cases[] = {{"port", "SOAP", 16, 0, "443"},  {"soap/port", nullptr, 16, 0, "443"},
               {"port", "", 16, -1, ""},        {"por", "soap", 16, -1, ""},
               {"server", "soap", 4, 0, "10."}, {"server", "soap", 9, 0, "10.0.0.1"},
               {"server", "soap", 0, 0, ""}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.key << " in " << (c.section ? c.section : "(null)")
                                    << ", length " << c.length);
    char buffer[16];
    std::memset(buffer, '#', sizeof buffer);
    EXPECT_EQ(s.config.GetString(c.key, buffer, c.length, c.section), c.result);
    std::string expected = c.text;
    expected.resize(c.length, '\0');
    expected.resize(sizeof buffer, '#');
    EXPECT_EQ(std::string(buffer, sizeof buffer), expected);
  }
  for (size_t i = 0; i < std::size(values); ++i) {
    SCOPED_TRACE(values[i]);
    const std::string key = "n" + std::to_string(i);
    EXPECT_EQ(s.config.GetInteger(key.c_str(), nullptr), ints[i]);
    // The two conversions agree except in their failure value.
    EXPECT_EQ(s.config.GetLong(key.c_str(), nullptr), ints[i] == 65535 ? 2147483647L : ints[i]);
  }
  EXPECT_EQ(s.config.GetInteger("missing", nullptr), 65535);
  EXPECT_EQ(s.config.GetLong("missing", nullptr), 2147483647L);
}

// The keys that GetNextKey yields for `section` from where the enumeration
// stands, and all keys of `section`; each cut to length - 1, comma-separated.
std::string NextKeys(Config& config, const char* section, int length = Config::kNameSize) {
  std::string out;
  for (char key[Config::kNameSize]; config.GetNextKey(section, key, length);)
    out += key + std::string(",");
  return out;
}
std::string Keys(Config& config, const char* section, int length = Config::kNameSize) {
  char key[Config::kNameSize];
  if (config.GetFirstKey(section, key, length) == 0) return "";
  return key + std::string(",") + NextKeys(config, section, length);
}

TEST(ConfigEnumerate, SectionsKeysAndSectionExists) {
  const std::pair<const char*, const char*> cases[] = {
      {"[a]\nk=1\n[b]\nk=1\n[A]\nk=1\n", "a,b,A,"},
      {"[a]\nk=1\n[A]\nk=1\n", "a,"},
      {"debug=1\n[soap]\nport=443\n", "debug,soap,"},
      {"[a]\nk=1\n# c\nj=2\n[b]\n[c]\nm=3\n", "a,c,"},
      {"# only comments\n", ""}};
  for (const auto& [text, sections] : cases) {
    Loaded s(text);
    std::string got;
    for (char* p = s.config.GetFirstSection(); p != nullptr; p = s.config.GetNextSection())
      got += p + std::string(",");
    EXPECT_EQ(got, sections) << text;
  }

  Loaded s("[soap]\nserver=a\n[other]\nx=1\n[soap]\nport=2\ndebug=1\n");
  EXPECT_EQ(Keys(s.config, "SOAP"), "server,port,debug,");
  EXPECT_EQ(Keys(s.config, "soap", 4), "ser,por,deb,");  // cut to length - 1
  EXPECT_EQ(Keys(s.config, "soa"), "/server,");          // only the first step needs no slash
  for (const char* name : {"soap", "so", "", "OTHER/X"})
    EXPECT_EQ(s.config.SectionExists(name), 1) << name;
  for (const char* name : {"others", "x"}) EXPECT_EQ(s.config.SectionExists(name), 0) << name;
  Loaded outside("debug=1\n[debugging]\nk=2\n");
  EXPECT_EQ(Keys(outside.config, "debug"), ",");

  // Edits and removals move the positions as documented.
  char key[16];
  ASSERT_EQ(s.config.GetFirstKey("soap", key, sizeof key), 1);  // server; resumes at port
  s.config.SetStringAtTail("tail", "4", 0, "soap");             // after the position: met
  s.config.SetStringAtHead("head", "0", 0, "soap");             // before it: not met
  EXPECT_EQ(NextKeys(s.config, "soap"), "port,debug,tail,");
  ASSERT_STREQ(s.config.GetFirstSection(), "soap");
  ASSERT_STREQ(s.config.GetNextSection(), "other");
  ASSERT_EQ(s.config.GetFirstKey("soap", key, sizeof key), 1);
  ASSERT_EQ(s.config.GetNextKey("soap", key, sizeof key), 1);
  s.config.RemoveRecords("soap", "server", "zzz");  // the record where the key enumeration stood
  EXPECT_EQ(NextKeys(s.config, "soap"), "head,port,debug,tail,");  // both start over
  EXPECT_STREQ(s.config.GetNextSection(), "soap");

  Config empty;
  char untouched[8] = "#######";
  EXPECT_EQ(empty.GetFirstSection(), nullptr);
  EXPECT_EQ(empty.GetNextSection(), nullptr);
  EXPECT_EQ(empty.SectionExists(""), 0);
  EXPECT_EQ(empty.GetFirstKey("s", untouched, sizeof untouched), 0);
  EXPECT_STREQ(untouched, "#######");
}

TEST(ConfigEdit, PlacementOfNewKeys) {
  const struct {
    const char *key, *section;
    int position;
    const char* records;
  } cases[] = {
      {"b", "s", 1, "t=1|s/a=1|s/b=x|<#c>|l/l=3|"},  // overwritten in place
      {"B", "S", 2, "t=1|s/a=1|s/b=x|<#c>|l/l=3|"},
      {"u", "s", 0, "t=1|s/a=1|s/u=x|s/b=2|<#c>|l/l=3|"},
      {"u", "s", 7, "t=1|s/a=1|s/u=x|s/b=2|<#c>|l/l=3|"},
      {"u", "s", 2, "t=1|s/u=x|s/a=1|s/b=2|<#c>|l/l=3|"},
      {"u", "s", 1, "t=1|s/a=1|s/b=2|s/u=x|<#c>|l/l=3|"},
      {"u", "l", 0, "t=1|s/a=1|s/b=2|<#c>|l/l=3|l/u=x|"},
      {"u", "n", 2, "t=1|s/a=1|s/b=2|<#c>|l/l=3|n/u=x|"},
      {"u", "t", 2, "t/u=x|t=1|s/a=1|s/b=2|<#c>|l/l=3|"},  // any record that begins so
      {"u", nullptr, 2, "t=1|s/a=1|s/b=2|<#c>|l/l=3|u=x|"},
      // An empty section looks for "/t" but creates "t", once more each time.
      {"t", "", 2, "t=1|s/a=1|s/b=2|<#c>|l/l=3|t=x|"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.key << " in " << (c.section ? c.section : "(null)")
                                    << " at position " << c.position);
    Loaded s("t=1\n[s]\na=1\nb=2\n#c\n[l]\nl=3\n");
    EXPECT_EQ(s.config.SetString(c.key, "x", 0, c.section, c.position), 0);
    EXPECT_EQ(Dump(s.config), c.records);
  }
  Config config;  // values are cut to kValueMax characters
  config.SetString("k", std::string(600, 'v').c_str(), 0, "s", 0);
  EXPECT_EQ(Dump(config), "s/k=" + std::string(Config::kValueMax, 'v') + "|");
}

// IsStorable says yes exactly when a set, a save and a load give back the
// key's exact value under its exact name and every record as it was: checked
// here by doing it.
TEST(ConfigEdit, IsStorableWhenTheSaveLoadsBackExactly) {
  const char* soap = "[soap]\nport=1\n";
  const char* top = "top=1\n[soap]\nport=1\n";
  const std::string name127(127 - 5, 'n'), value512(512, 'v');
  const struct {
    const char* file;  // loaded first; null: an empty store
    std::string key, value;
    const char* section;
    int position;
  } cases[] = {
      {soap, "k", "v", "soap", 0},
      {soap, "[evil", "v", "soap", 0},
      {soap, "#k", "v", "soap", 0},
      {soap, ";k", "v", "soap", 1},
      {soap, "k#;[", "v", "soap", 0},
      {soap, "k", "v", nullptr, 0},
      {top, "top", "2", nullptr, 0},
      {nullptr, "new", "2", nullptr, 0},
      {soap, "soap/port", "2", nullptr, 0},
      {soap, "soap/new", "2", nullptr, 0},
      {soap, "/k", "v", nullptr, 0},
      {soap, "a]b/k", "v", nullptr, 0},
      {soap, "s/[k", "v", nullptr, 0},
      {soap, "k", "v", "", 0},
      {soap, "k", "v", "a]b", 0},
      {soap, "k", "v", " spaced ", 0},
      {soap, "k", " v", "soap", 0},
      {soap, "k", "v ", "soap", 0},
      {soap, "k", "=v", "soap", 0},
      {soap, "k", "", "soap", 0},
      {soap, "k", "\vv", "soap", 0},
      {soap, "k", "a\nb", "soap", 0},
      {soap, "k", "v=w \t\x01x", "soap", 0},
      {soap, "k", value512, "soap", 0},
      {soap, "k", value512 + "v", "soap", 0},
      {soap, name127, "v", "soap", 0},
      {soap, name127 + "n", "v", "soap", 0},
      {top, "k", "v", "to", 2},
      {top, "k", "v", "to", 0},
      {"[soapbox]\na=1\n[soap]\nb=1\n", "k", "v", "soa", 1},
  };
  for (const auto& c : cases) {
    const std::string trace = std::string(c.file ? c.file : "(empty)") + " | " + c.key + " | " +
                              c.value + " | " + (c.section ? c.section : "(null)") + " | " +
                              std::to_string(c.position);
    SCOPED_TRACE(trace);
    orn2::testing::TempDir dir;
    const std::string path = dir.File("set.cfg");
    if (c.file != nullptr) WriteFileBytes(path, c.file);
    Config config(c.file != nullptr ? path.c_str() : nullptr);
    const char* reason = nullptr;
    int storable =
        config.IsStorable(c.key.c_str(), c.value.c_str(), c.section, c.position, &reason);
    EXPECT_EQ(storable == 0, reason != nullptr);
    config.SetString(c.key.c_str(), c.value.c_str(), 0, c.section, c.position);
    ASSERT_EQ(config.SaveConfig(path.c_str()), 0);
    Config back(path.c_str());
    bool same = Get(back, c.key.c_str(), c.section) == c.value;
    // and under exactly that name (a name cut to its limit is found by the whole key)
    const std::string entry = c.section ? std::string(c.section) + "/" + c.key : c.key;
    same = same && ("|" + Dump(back)).find("|" + entry + "=" + c.value + "|") != std::string::npos;
    bool allKept = ConfigProbe::Records(back) == ConfigProbe::Records(config);
    EXPECT_EQ(storable, same && allKept ? 1 : 0)
        << (reason ? reason : "") << "; value back: " << same << ", records kept: " << allKept;
  }
}

// RemoveRecords, and RemoveKey where `keep` is null; the file holds a=1 twice.
TEST(ConfigEdit, RemoveRecordsWithKeepPrefixes) {
  const std::string all = "s/a=1|<#c>|s/a_1=2|s/a_10=3|s/a_2=4|s/b=5|s/a=1|";
  const struct {
    const char *section, *prefix, *keep;
    std::string left;
    int result;
  } cases[] = {
      {"s", "a", "a_1", "<#c>|s/a_1=2|s/a_10=3|s/b=5|sx/a=6|", 0},
      {"S", "A_", "x", "s/a=1|<#c>|s/b=5|s/a=1|sx/a=6|", 0},
      {"s", "", "zzz", "<#c>|sx/a=6|", 0},  // never another section
      {"s", "b", "", all + "sx/a=6|", 0},   // an empty keep prefix keeps everything
      {"sx", "a", "x", all, 0},
      {"s", "a_1", nullptr, "s/a=1|<#c>|s/a_10=3|s/a_2=4|s/b=5|s/a=1|sx/a=6|", 0},
      {"S", "A", nullptr, "<#c>|s/a_1=2|s/a_10=3|s/a_2=4|s/b=5|sx/a=6|", 0},
      {"s", "a_", nullptr, all + "sx/a=6|", -1},
      {nullptr, "sx/a", nullptr, all, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message()
                 << "section " << (c.section ? c.section : "(null)") << ", prefix '" << c.prefix
                 << "', keep '" << (c.keep ? c.keep : "(RemoveKey)") << "'");
    Loaded s("[s]\na=1\n#c\na_1=2\na_10=3\na_2=4\nb=5\na=1\n[sx]\na=6\n");
    EXPECT_EQ(c.keep == nullptr ? s.config.RemoveKey(c.prefix, c.section)
                                : s.config.RemoveRecords(c.section, c.prefix, c.keep),
              c.result);
    EXPECT_EQ(Dump(s.config), c.left);
    EXPECT_EQ(ConfigProbe::CheckConsistency(s.config), "");
  }
}

// The index must name, for every full name, the record that a walk from the head
// finds first, whatever mix of loads, placements, overwrites, removals and
// resets came before.
TEST(ConfigIndex, StaysRightThroughRandomEdits) {
  Loaded s("[a]\nk1=f1\nK1=f2\n[B]\nk2=f3\nk1=f4\nk1=dup\nloose=1\n");
  std::mt19937 random(20240601);
  const char* sections[] = {"a", "A", "b", "ab", "", nullptr};
  // 160 names, and steps enough for probe runs that wrap
  // around the end of the index when names are removed.
  const char* keys[] = {"k", "K", "k2", "loose"};
  for (int step = 0; step < 10000; ++step) {
    const char* section = sections[random() % 6];
    if (unsigned action = random() % 10; action == 0) {
      s.config.RemoveRecords(section ? section : "", random() % 2 ? "k" : "", "k2");
    } else if (action == 1) {
      if (random() % 4 == 0) s.config.ResetState();
      s.config.LoadConfig(s.path.c_str());
    } else {
      const std::string key = keys[random() % 4] + std::to_string(random() % 40);
      s.config.SetString(key.c_str(), std::to_string(step).c_str(), 0, section,
                         static_cast<int>(random() % 4));
    }
    ASSERT_EQ(ConfigProbe::CheckConsistency(s.config), "") << "after step " << step;
  }
}

TEST(ConfigSave, WritesTheFileFormatByteForByte) {
  const struct {
    const char *loaded, *saved;
  } cases[] = {
      {"# top\n[soap]\nserver = a \n", "# top\n\n[soap]\n    server=a\n"},
      {"[a]\nk=1\n[b]\nk=2\n[a]\nj=3\n[A]\nm=4\n",
       "\n[a]\n    k=1\n\n[b]\n    k=2\n\n[a]\n    j=3\n    m=4\n"},
      {"top=1\n   ; note\n[s]\n\tk  v\n", "    top=1\n   ; note\n\n[s]\n    k=v\n"},
      {"[empty]\n[s]\nk=1\n[empty2]\n", "\n[s]\n    k=1\n"},
      // A key outside sections that follows a section's keys joins that section.
      {"[s]\nk=1\n[]\nloose=v\n", "\n[s]\n    k=1\n    loose=v\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.loaded);
    Loaded s(c.loaded);
    const std::string target = s.dir.File("target.cfg");
    ASSERT_EQ(s.config.SaveConfig(target.c_str()), 0);
    std::ofstream(s.dir.File("text")) << c.saved;  // the bytes text mode writes here
    EXPECT_EQ(ReadFileBytes(target), ReadFileBytes(s.dir.File("text")));
    EXPECT_EQ(ConfigProbe::FileName(s.config), s.path);  // still the file that was loaded
    testing::internal::CaptureStderr();
    EXPECT_EQ(s.config.DumpConfig(), 0);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), c.saved);
    std::string text = "stale";
    EXPECT_EQ(s.config.RenderText(text), 0);
    EXPECT_EQ(text, c.saved);
  }
}

// Two contents that differ in every value, large enough that a save takes a while.
void Fill(Config& config, char tag) {
  for (int n = 0; n < 2000; ++n)
    config.SetStringAtTail(("key" + std::to_string(n)).c_str(), std::string(40, tag).c_str(), 0,
                           ("section" + std::to_string(n / 20)).c_str());
}

// Whether `text` is one of the whole `contents` that a save may leave; they
// are too long to print, so a failure gives the sizes.
testing::AssertionResult IsOneOf(const std::string& text,
                                 const std::vector<std::string>& contents) {
  if (std::find(contents.begin(), contents.end(), text) != contents.end())
    return testing::AssertionSuccess();
  testing::AssertionResult failure = testing::AssertionFailure();
  failure << text.size() << " bytes, none of the whole contents (sizes";
  for (const std::string& content : contents) failure << " " << content.size();
  return failure << ")";
}

// args: file, tag, count. Saves 2000 keys whose values are all made of `tag`,
// `count` times, with no lock of its own. Exit 1 when a save fails.
ORN2_CHILD(SaveRepeatedly) {
  Config config;
  Fill(config, args.at(1)[0]);
  for (int i = 0; i < std::stoi(args.at(2)); ++i) {
    if (config.SaveConfig(args.at(0).c_str()) != 0) return 1;
  }
  return 0;
}

TEST(ConfigSave, KilledSavesNeverLeaveTheFileMissingOrPartial) {
  orn2::testing::TempDir dir;
  const std::string path = dir.File("agent.cfg");
  Config a, b;
  Fill(a, 'A');
  Fill(b, 'B');
  ASSERT_EQ(b.SaveConfig(path.c_str()), 0);  // neither the file nor a backup exists yet
  EXPECT_FALSE(exists(path + ".Save"));
  const std::string bytesB = ReadFileBytes(path);
  ASSERT_EQ(a.SaveConfig(path.c_str()), 0);
  const std::string bytesA = ReadFileBytes(path);
  ASSERT_NE(bytesA, bytesB);
  EXPECT_EQ(ReadFileBytes(path + ".Save"), bytesB);  // the previous content
  std::mt19937 random(std::random_device{}());
  for (int round = 0; round < 30; ++round) {
    SCOPED_TRACE(testing::Message() << "round " << round);
    ASSERT_EQ(a.SaveConfig(path.c_str()), 0);
    orn2::testing::ChildProcess child("SaveRepeatedly", {path, "B", "2000000000"});
    for (int waited = 0; ReadFileBytes(path) != bytesB; ++waited) {  // the child's first save
      ASSERT_LT(waited, 30000) << "the child never saved";
      ASSERT_FALSE(child.Wait(1, nullptr)) << "the child ended early";
    }
    // While the child saves, the file is always there with one of the two
    // contents, and so is its backup; then the child is killed at a random
    // moment. Windows refuses to open a file for the instant it is replaced (a
    // sharing violation, not a missing file); a file that opens must be whole.
    auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(20 + random() % 60);
    while (std::chrono::steady_clock::now() < until) {
      ASSERT_TRUE(exists(path + ".Save")) << "the backup is missing during a save";
      std::FILE* in = std::fopen(path.c_str(), "rb");
      if (in == nullptr) {
        ASSERT_NE(errno, ENOENT) << "the file is missing during a save";
        continue;
      }
      std::string seen(bytesA.size() + 1, '\0');
      seen.resize(std::fread(&seen[0], 1, seen.size(), in));
      std::fclose(in);
      ASSERT_TRUE(IsOneOf(seen, {bytesA, bytesB})) << "the file during a save";
    }
    child.Kill();
    ASSERT_TRUE(child.Wait(30000, nullptr));
    ASSERT_TRUE(IsOneOf(ReadFileBytes(path), {bytesA, bytesB})) << "the file after the kill";
    ASSERT_TRUE(IsOneOf(ReadFileBytes(path + ".Save"), {bytesA, bytesB}))
        << "the backup after the kill";
  }
}

// The file as a load sees it: opened the way the library opens it (on Windows
// a save may then still rename over it), in text mode. "(none)" when it cannot
// be opened.
std::string ReadAsLoaded(const std::string& path) {
  orn2::port::FileHandle file{};
  if (orn2::port::OpenRegularFile(path.c_str(), orn2::port::FileAccess::kRead, &file, nullptr) !=
      orn2::port::OpenOutcome::kOpened) {
    return "(none)";
  }
  std::FILE* in = orn2::port::TextStream(file, orn2::port::FileAccess::kRead);
  if (in == nullptr) return "(none)";
  std::string text;
  char chunk[65536];
  for (size_t n; (n = std::fread(chunk, 1, sizeof chunk, in)) > 0;) text.append(chunk, n);
  std::fclose(in);
  return text;
}

TEST(ConfigSpecialFiles, AreRefusedAtOnceAndLeftAsTheyWere) {
  using orn2::testing::FileKind;
  using orn2::testing::SpecialFile;
  orn2::testing::Watchdog watchdog("a configuration on a special file", 60);
  orn2::testing::TempDir dir;
  Config store;
  store.SetString("k", "new", 0, "s", 0);
  const std::string saved = "[s]\nk=saved\n", old = "[s]\nk=old\n";
  for (SpecialFile kind : {SpecialFile::kFifo, SpecialFile::kDirectory, SpecialFile::kDevice}) {
    for (bool withReader : {false, true}) {  // a FIFO with a reader opens for writing
      if (withReader && kind != SpecialFile::kFifo) continue;
      const std::string name = std::string(Describe(kind)) + (withReader ? "-read" : "");
      const std::string path = dir.File(name + ".cfg"), beside = dir.File(name + "-beside.cfg");
      SCOPED_TRACE(path);
      if (!MakeSpecialFile(kind, path)) continue;  // no such thing on this system
      ASSERT_TRUE(MakeSpecialFile(kind, beside + ".New"));
      const std::string kind0 = FileKind(path);
      std::vector<std::unique_ptr<orn2::testing::FifoReader>> readers;
      for (const std::string& fifo : {path, beside + ".New"}) {
        if (withReader) readers.push_back(std::make_unique<orn2::testing::FifoReader>(fifo));
      }
      // A special file looks empty, but it is no empty file to restore.
      WriteFileBytes(path + ".Save", saved);
      WriteFileBytes(beside, old);
      testing::internal::CaptureStderr();
      EXPECT_EQ(store.LoadConfig(path.c_str()), 1);
      EXPECT_EQ(store.SaveConfig(path.c_str()), -1);
      // A special file in the way of the new file stops the save there, with one line.
      EXPECT_EQ(store.SaveConfig(beside.c_str()), -1);
      EXPECT_EQ(
          testing::internal::GetCapturedStderr(),
          "SaveConfig() Error: [" + beside + ".New] exists and is no file of ours, not saved\n");
      EXPECT_EQ(store.IsConfigLoadedOk(), 0);
      EXPECT_EQ(FileKind(path), kind0);
      EXPECT_EQ(ReadFileBytes(path + ".Save"), saved);
      EXPECT_EQ(FileKind(path + ".New"), "missing");
      EXPECT_EQ(ReadFileBytes(beside), old);
      EXPECT_EQ(FileKind(beside + ".New"), kind0);
      EXPECT_EQ(FileKind(beside + ".Save"), "missing");
    }
  }
}

TEST(ConfigSave, SaveLockNameIsOnePerFileWhereverItIsSpelledFrom) {
  orn2::testing::TempDir dir;
  std::filesystem::create_directory(dir.File("sub"));
  auto nameOf = [](const std::string& file) {
    char name[Mutex::kMaxName + 1];
    return Config::SaveLockName(file.c_str(), name, sizeof name) == 0 ? std::string(name)
                                                                      : std::string("(refused)");
  };
  // Every version of the library gives one file the same name, so that they
  // exclude each other: the hash (64-bit FNV-1a) of the path, then its end.
  if (std::filesystem::canonical("/") == "/") {
    EXPECT_EQ(nameOf("/agent.cfg"), "ornconf-42e9076159e9de83-_agent.cfg");
  }
  const std::string name = nameOf(dir.File("agent.cfg"));
  EXPECT_EQ(nameOf(dir.File("sub/../agent.cfg")), name);
  EXPECT_EQ(nameOf(dir.File("./sub/../agent.cfg")), name);
  EXPECT_NE(nameOf(dir.File("sub/agent.cfg")), name);
  EXPECT_NE(nameOf(dir.File("agent.cfg.New")), name);
  const std::string longest =
      dir.File("sub/" + std::string(Config::kFileNameMax - dir.File("sub/").size(), 'n'));
  EXPECT_LE(nameOf(longest).size(), static_cast<size_t>(Mutex::kMaxName)) << longest;
  EXPECT_EQ(nameOf(longest).find_first_not_of(
                "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789._-"),
            std::string::npos)
      << nameOf(longest);
  EXPECT_EQ(nameOf(longest + "x"), "(refused)");
  EXPECT_EQ(nameOf(""), "(refused)");
  char small[Mutex::kMaxName];
  EXPECT_EQ(Config::SaveLockName(dir.File("agent.cfg").c_str(), small, sizeof small), -1);
}

// args: folder. Where a hard link cannot be made (here: onto a small disk
// mounted in a namespace of this process), the backup is a copy: a small
// file is copied whole, and a copy that does not fit leaves nothing. Writes
// what it found into <folder>/found. Exit 77 where no such disk can be had.
ORN2_CHILD(CopyOntoASmallDisk) {
  const std::string dir = args.at(0), disk = dir + "/disk";
  if (orn2::testing::SimulateFullDisk(disk, 64 * 1024) != "tmpfs") return 77;
  std::string found;
  for (const char* name : {"small", "large"}) {
    const std::string from = dir + "/" + name, to = disk + "/" + name;
    const bool copied = orn2::port::LinkOrCopyFile(from.c_str(), to.c_str());
    found += std::string(name) + (copied ? ": copied, " : ": not copied, ") +
             (!exists(to)                                ? "missing"
              : ReadFileBytes(to) == ReadFileBytes(from) ? "same"
                                                         : "differs") +
             "\n";
  }
  WriteFileBytes(dir + "/found", found);
  return 0;
}

TEST(ConfigSave, WithoutHardLinksTheBackupIsACopy) {
  orn2::testing::TempDir dir;
  std::filesystem::create_directory(dir.File("disk"));
  WriteFileBytes(dir.File("small"), std::string(20000, 's'));
  WriteFileBytes(dir.File("large"), std::string(200000, 'l'));
  const int code = orn2::testing::ExitCodeOf("CopyOntoASmallDisk", {dir.path()}, 30000);
  if (code == 77) GTEST_SKIP() << "no small disk can be mounted here";
  EXPECT_EQ(code, 0);
  EXPECT_EQ(ReadFileBytes(dir.File("found")), "small: copied, same\nlarge: not copied, missing\n");
}

TEST(ConfigSave, ConcurrentSavesOfOneFileEachReplaceItWhole) {
  orn2::testing::TempDir dir;
  const std::string path = dir.File("agent.cfg");
  const char tags[] = "ABCD";
  std::vector<std::string> contents;
  for (int i = 0; i < 4; ++i) {
    Config config;
    Fill(config, tags[i]);
    ASSERT_EQ(config.SaveConfig(path.c_str()), 0);
    contents.push_back(ReadAsLoaded(path));
  }
  std::list<orn2::testing::ChildProcess> children;
  for (int i = 0; i < 4; ++i)
    children.emplace_back("SaveRepeatedly", std::vector<std::string>{path, {tags[i]}, "50"});
  // Between the saves, the file and its backup are always one whole content.
  // The reads leave gaps, as real readers do: Windows cannot rename over a
  // file while it is open.
  int saver = 0;
  for (auto& child : children) {
    SCOPED_TRACE(testing::Message() << "saver " << tags[saver++]);
    int code = -1;
    for (int waited = 0; !child.Wait(1, &code); ++waited) {
      ASSERT_LT(waited, 100000) << "the savers never ended";
      ASSERT_TRUE(IsOneOf(ReadAsLoaded(path), contents)) << "the file during the saves";
      ASSERT_TRUE(IsOneOf(ReadAsLoaded(path + ".Save"), contents)) << "the backup during the saves";
    }
    EXPECT_EQ(code, 0) << "a save failed";
  }
  EXPECT_TRUE(IsOneOf(ReadAsLoaded(path), contents)) << "the file after the saves";
  EXPECT_FALSE(exists(path + ".New"));
  EXPECT_FALSE(exists(path + ".Prev"));
}

// args: file, child number, count. Adds the keys k<c>-<i> = v<c>-<i> to the
// section s one at a time, each by a load, a change and a save under the
// file's save lock, as a tool editing the file does. Exit 1 when a step fails.
ORN2_CHILD(AddKeysInLockStep) {
  const std::string& file = args.at(0);
  char name[Mutex::kMaxName + 1];
  if (Config::SaveLockName(file.c_str(), name, sizeof name) != 0) return 2;
  Mutex lock(name);
  for (int i = 0; i < std::stoi(args.at(2)); ++i) {
    Guard hold(lock);
    Config config;
    if (config.LoadConfig(file.c_str()) != 0) return 1;
    const std::string suffix = args[1] + "-" + std::to_string(i);
    config.SetStringAtTail(("k" + suffix).c_str(), ("v" + suffix).c_str(), 0, "s");
    if (config.SaveConfig(file.c_str()) != 0) return 1;
  }
  return 0;
}

TEST(ConfigSave, LoadChangeSaveUnderTheSaveLockLosesNoUpdate) {
  orn2::testing::TempDir dir;
  const std::string path = dir.File("agent.cfg");
  WriteFileBytes(path, "[s]\nfirst=1\n");
  const int perChild = 150;
  std::list<orn2::testing::ChildProcess> children;
  for (int c = 0; c < 4; ++c) {
    children.emplace_back("AddKeysInLockStep", std::vector<std::string>{path, std::to_string(c),
                                                                        std::to_string(perChild)});
  }
  // A load that met an empty or partial file would lose keys for good; the
  // file between saves is checked by ConcurrentSavesOfOneFileEachReplaceItWhole.
  for (auto& child : children) {
    int code = -1;
    ASSERT_TRUE(child.Wait(100000, &code)) << "the savers never ended";
    EXPECT_EQ(code, 0) << "a load or save failed";
  }
  Config config(path.c_str());
  for (int c = 0; c < 4; ++c) {
    for (int i = 0; i < perChild; ++i) {
      const std::string suffix = std::to_string(c) + "-" + std::to_string(i);
      EXPECT_EQ(Get(config, ("k" + suffix).c_str(), "s"), "v" + suffix);
    }
  }
  EXPECT_EQ(Get(config, "first", "s"), "1");
}

// --- Protection against another local user ----------------------------------

namespace ot = orn2::testing;

// args: user, file, flags folder. As that user, tries to read the file and its
// companions over and over until <flags>/stop appears; writes "never" or the
// name it could read into <flags>/seen. <flags>/ready once it is looking.
ORN2_CHILD(Peek) {
  if (!ot::BecomeUser(static_cast<unsigned>(std::stoul(args.at(0))))) return 2;
  const std::string flags = args.at(2);
  std::string seen = "never";
  for (int round = 0; seen == "never" && !exists(flags + "/stop"); ++round) {
    for (const char* suffix : {"", ".New", ".Prev", ".Save"}) {
      const std::string name = args.at(1) + suffix;
      if (std::FILE* in = std::fopen(name.c_str(), "rb")) {
        std::fclose(in);
        seen = name;
      }
    }
    if (round == 0) WriteFileBytes(flags + "/ready", "");
  }
  WriteFileBytes(flags + "/seen", seen);
  return 0;
}

// args: user, file. Exits with 10 + what LoadConfig of the file gives that user.
ORN2_CHILD(LoadAs) {
  if (!ot::BecomeUser(static_cast<unsigned>(std::stoul(args.at(0))))) return 2;
  return 10 + Config().LoadConfig(args.at(1).c_str());
}

// A secret that root saves for user svc (the third user, mode 0600) keeps its
// mode, owner and group, and so does its backup; another user watching the
// folder can read none of the file's names at any time during 200 saves.
TEST(ConfigProtection, ASecretKeepsItsModeOwnerAndGroupThroughEverySave) {
  std::string why = ot::OtherUsersUnavailable();
  if (!why.empty()) GTEST_SKIP() << why;
  ot::TempDir dir, flags;
  std::filesystem::permissions(dir.path(), std::filesystem::perms(0755));
  std::filesystem::permissions(flags.path(), std::filesystem::perms::all);
  const std::string path = dir.File("secret.conf");
  WriteFileBytes(path, "[db]\npassword=first\n");
  const std::string secret =
      "0600 " + std::to_string(ot::kThirdUser) + ":" + std::to_string(ot::kThirdUser);
  ASSERT_TRUE(ot::SetProtection(path, 0600, ot::kThirdUser, ot::kThirdUser));
  ot::ChildProcess peeker("Peek", {std::to_string(ot::kSecondUser), path, flags.path()});
  ASSERT_TRUE(ot::FileAppears(flags.File("ready"), 20000, &peeker));
  Config config(path.c_str());
  for (int i = 0; i < 200; ++i) {
    config.SetString("password", ("p" + std::to_string(i)).c_str(), 0, "db", 0);
    ASSERT_EQ(config.SaveConfig(path.c_str()), 0) << i;
  }
  WriteFileBytes(flags.File("stop"), "");
  int code = -1;
  ASSERT_TRUE(peeker.Wait(20000, &code));
  EXPECT_EQ(code, 0);
  EXPECT_EQ(ReadFileBytes(flags.File("seen")), "never");
  EXPECT_EQ(ot::Protection(path), secret) << path;
  EXPECT_EQ(ot::Protection(path + ".Save"), secret) << path << ".Save";
  Config saved(path.c_str());
  EXPECT_EQ(Get(saved, "password", "db"), "p199");
  // To the other user the file is there but cannot be opened (1), even empty
  // and without a backup to restore it from.
  for (const bool empty : {false, true}) {
    if (empty) std::filesystem::resize_file(path, 0);
    if (empty) std::filesystem::remove(path + ".Save");
    EXPECT_EQ(ot::ExitCodeOf("LoadAs", {std::to_string(ot::kSecondUser), path}, 20000), 11)
        << (empty ? "empty" : "not empty");
  }
}

// args: kind, path. As the second user, creates the object; exit 3 where it
// cannot.
ORN2_CHILD(Plant) {
  if (!ot::BecomeUser(ot::kSecondUser)) return 2;
  return ot::CreateObject(args.at(0), args.at(1)).empty() ? 0 : 3;
}

// In a sticky folder that every user may write, another user's link at the
// file's name, or a link or file of theirs at ".New" or ".Prev", stops the
// save with one line, and the link's target is left as it was. A link in a
// folder of the saving user's own is saved through: the target gets the new
// content and the backup beside it, and the link stays.
TEST(ConfigProtection, LinksAreFollowedOnlyWhereNoOtherUserCanHavePutThem) {
  ot::TempDir own, shared, elsewhere;
  std::filesystem::permissions(shared.path(),
                               std::filesystem::perms::all | std::filesystem::perms::sticky_bit);
  const std::string target = elsewhere.File("real.conf"), before = "[s]\nk=old\n";
  Config config;
  config.SetString("k", "new", 0, "s", 0);

  WriteFileBytes(target, before);
  std::error_code error;
  std::filesystem::create_symlink(target, own.File("agent.conf"), error);
  if (error) GTEST_SKIP() << "no symbolic links here: " << error.message();
  ASSERT_EQ(config.SaveConfig(own.File("agent.conf").c_str()), 0);
  EXPECT_TRUE(std::filesystem::is_symlink(own.File("agent.conf")));
  Config saved(target.c_str());
  EXPECT_EQ(Get(saved, "k", "s"), "new");
  EXPECT_EQ(ReadFileBytes(target + ".Save"), before);
  EXPECT_FALSE(exists(own.File("agent.conf.Save")));

  std::string why = ot::OtherUsersUnavailable();
  if (!why.empty()) GTEST_SKIP() << why;
  const struct {
    const char* kind;
    const char* suffix;  // planted at the file's name and this
  } cases[] = {{"link", ""}, {"link", ".New"}, {"link", ".Prev"}, {"file", ".New"}};
  int n = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.kind) + " at agent.conf" + c.suffix);
    const std::string path = shared.File(std::to_string(n++) + "-agent.conf");
    const std::string planted = path + c.suffix;
    WriteFileBytes(target, before);
    if (planted != path) WriteFileBytes(path, before);
    const std::string kind = c.kind == std::string("link") ? "symlink to " + target : "file";
    ASSERT_EQ(ot::ExitCodeOf("Plant", {kind, planted}, 20000), 0) << "the planting child failed";
    testing::internal::CaptureStderr();
    EXPECT_EQ(config.SaveConfig(path.c_str()), -1) << path;
    std::string printed = testing::internal::GetCapturedStderr();
    EXPECT_EQ(printed.rfind("SaveConfig() Error: [" + planted + "] ", 0), 0u) << printed;
    EXPECT_EQ(std::count(printed.begin(), printed.end(), '\n'), 1) << printed;
    EXPECT_EQ(ReadFileBytes(target), before);
  }
}

}  // namespace
