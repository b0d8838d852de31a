// Editing and saving: placement of new keys, removal with keep prefixes, the
// saved text byte for byte, the save's end state and failures, and a save that
// is killed at random moments never leaving a missing or partial file.
#include <gtest/gtest.h>
#include <liborn2/config.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "config/config_probe.h"
#include "port/clock.h"
#include "port/fs.h"
#include "support/child.h"
#include "support/temp_dir.h"

namespace {

using orn2::testing::ChildProcess;
using orn2::testing::ReadFileBytes;
using orn2::testing::TempDir;
using orn2::testing::WriteFileBytes;

bool Exists(const std::string& path) {
  orn2::port::FileStatus status{};
  return orn2::port::StatFile(path.c_str(), &status);
}

// The file's text as text mode reads it (line ends are "\n" on every platform).
std::string ReadText(const std::string& path) {
  std::string text;
  if (std::FILE* in = std::fopen(path.c_str(), "rt")) {
    char chunk[4096];
    size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, in)) > 0) text.append(chunk, n);
    std::fclose(in);
  }
  return text;
}

// A marker for a file that exists but cannot be opened at the moment.
const char* const kBusy = "<busy>";

// Reads the whole file in binary mode; false only when it does not exist.
bool ReadWhole(const std::string& path, std::string* bytes) {
  std::FILE* in = std::fopen(path.c_str(), "rb");
  if (in == nullptr) {
    *bytes = kBusy;
    return errno != ENOENT;
  }
  bytes->clear();
  char chunk[4096];
  size_t n;
  while ((n = std::fread(chunk, 1, sizeof chunk, in)) > 0) bytes->append(chunk, n);
  std::fclose(in);
  return true;
}

// The bytes that text mode writes for `text` on this platform.
std::string TextModeBytes(const TempDir& dir, const std::string& text) {
  std::string path = dir.File("text-mode-reference");
  std::FILE* out = std::fopen(path.c_str(), "wt");
  std::fputs(text.c_str(), out);
  std::fclose(out);
  return ReadFileBytes(path);
}

std::string Names(const Config& config) {
  std::string out;
  for (const auto& r : ConfigProbe::Records(config))
    out += (r.name.empty() ? r.value : r.name) + " ";
  return out;
}

std::string Values(const Config& config) {
  std::string out;
  for (const auto& r : ConfigProbe::Records(config)) out += r.value + "|";
  return out;
}

TEST(ConfigEdit, PlacementOfNewKeys) {
  struct Case {
    const char* what;
    const char* key;
    const char* section;
    int position;
    const char* order;
  };
  const Case cases[] = {
      {"overwrite in place", "port", "soap", 0, "soap/server soap/port log/level "},
      {"after the first record", "user", "soap", 0, "soap/server soap/user soap/port log/level "},
      {"at the head of the section", "user", "soap", 2,
       "soap/user soap/server soap/port log/level "},
      {"at the tail of the section", "user", "soap", 1,
       "soap/server soap/port soap/user log/level "},
      {"new section at the tail", "user", "new", 1, "soap/server soap/port log/level new/user "},
      {"other position values", "user", "log", 7, "soap/server soap/port log/level log/user "},
      {"overwrite ignores case", "PORT", "SOAP", 2, "soap/server soap/port log/level "},
      {"null section appends", "user", nullptr, 2, "soap/server soap/port log/level user "},
      {"prefix of a section name counts", "user", "so", 2,
       "so/user soap/server soap/port log/level "},
  };
  TempDir dir;
  std::string path = dir.File("edit.cfg");
  WriteFileBytes(path, "[soap]\nserver=a\nport=1\n[log]\nlevel=3\n");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Config config(path.c_str());
    EXPECT_EQ(config.SetString(c.key, "x", 0, c.section, c.position), 0);
    EXPECT_EQ(Names(config), c.order);
    EXPECT_EQ(ConfigProbe::CheckConsistency(config), "");
    char value[8];
    EXPECT_EQ(config.GetString(c.key, value, sizeof value, c.section), 0);
    EXPECT_STREQ(value, "x");
  }
}

TEST(ConfigEdit, CommentsAreNotCountedAndEmptySectionsAppendAgain) {
  Config config;
  config.SetString("k", "1", 0, "s", 0);
  config.SetString("j", "2", 0, "s", 0);
  EXPECT_EQ(Names(config), "s/k s/j ");
  // An empty section is looked up as "/key" but created as "key": every call
  // appends one more record, which the same empty section does not find.
  config.SetString("e", "1", 0, "", 0);
  config.SetString("e", "2", 0, "", 0);
  EXPECT_EQ(Names(config), "s/k s/j e e ");
  char value[8];
  testing::internal::CaptureStderr();  // the store has no file: lookups say so
  EXPECT_EQ(config.GetString("e", value, sizeof value, ""), -1);
  EXPECT_EQ(config.GetString("e", value, sizeof value, nullptr), 0);
  testing::internal::GetCapturedStderr();
  EXPECT_STREQ(value, "1");
  // Over-long values are cut to 512 characters.
  config.SetString("k", std::string(600, 'v').c_str(), 0, "s", 0);
  EXPECT_EQ(ConfigProbe::Records(config)[0].value, std::string(512, 'v'));
}

TEST(ConfigEdit, RemoveRecordsWithKeepPrefixes) {
  struct Case {
    const char* prefix;
    const char* keep;
    const char* left;
  };
  const Case cases[] = {
      {"server", "server_1", "# c soap/server_1 soap/server_10 soap/port soapbox/server "},
      {"", "zzz", "# c soapbox/server "},
      {"port", "",
       "soap/server # c soap/server_1 soap/server_10 soap/server_2 soap/port "
       "soapbox/server "},
      {"SERVER_", "x", "soap/server # c soap/port soapbox/server "},
  };
  TempDir dir;
  std::string path = dir.File("remove.cfg");
  WriteFileBytes(path,
                 "[soap]\nserver=a\n# c\nserver_1=b\nserver_10=c\nserver_2=d\nport=1\n"
                 "[soapbox]\nserver=e\n");
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.prefix) + " keep " + c.keep);
    Config config(path.c_str());
    EXPECT_EQ(config.RemoveRecords("soap", c.prefix, c.keep), 0);
    EXPECT_EQ(Names(config), c.left);
    EXPECT_EQ(ConfigProbe::CheckConsistency(config), "");
  }
  Config config(path.c_str());
  config.RemoveRecords("soap", "", "zzz");
  config.RemoveRecords("soapbox", "", "zzz");
  config.RemoveRecords("", "", "zzz");  // the line record stays
  EXPECT_EQ(Names(config), "# c ");
  Config empty;
  EXPECT_EQ(empty.RemoveRecords("s", "", "x"), 0);
}

TEST(ConfigSave, WritesTheFileFormatByteForByte) {
  struct Case {
    const char* what;
    std::string loaded;
    std::string saved;
    bool sameRecords;  // false where the format renames records by design
  };
  const Case cases[] = {
      {"comment, section, normalised key", "# top\n[soap]\nserver = a \n",
       "# top\n\n[soap]\n    server=a\n", true},
      {"a section in two places, case runs merge", "[a]\nk=1\n[b]\nk=2\n[a]\nj=3\n[A]\nm=4\n",
       "\n[a]\n    k=1\n\n[b]\n    k=2\n\n[a]\n    j=3\n    m=4\n", false},
      {"keys outside sections, kept indentation", "top=1\n   ; note\n[s]\n\tk  v\n",
       "    top=1\n   ; note\n\n[s]\n    k=v\n", true},
      {"sections without keys vanish", "[empty]\n[s]\nk=1\n[empty2]\n", "\n[s]\n    k=1\n", true},
  };
  TempDir dir;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::string source = dir.File("source.cfg");
    std::string target = dir.File("target.cfg");
    WriteFileBytes(source, c.loaded);
    Config config(source.c_str());
    ASSERT_EQ(config.SaveConfig(target.c_str()), 0);
    EXPECT_EQ(ReadText(target), c.saved);
    EXPECT_EQ(ReadFileBytes(target), TextModeBytes(dir, c.saved));
    testing::internal::CaptureStderr();
    EXPECT_EQ(config.DumpConfig(), 0);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), c.saved);
    // What the save wrote loads back into the same records, and saves alike.
    Config reloaded(target.c_str());
    if (c.sameRecords) {
      EXPECT_EQ(Names(reloaded) + Values(reloaded), Names(config) + Values(config));
    }
    ASSERT_EQ(reloaded.SaveConfig(target.c_str()), 0);
    EXPECT_EQ(ReadText(target), c.saved);
  }
  Config empty;
  testing::internal::CaptureStderr();
  empty.DumpConfig();
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}

TEST(ConfigSave, NewKeysAndLooseKeysAfterAReload) {
  TempDir dir;
  std::string path = dir.File("agent.cfg");
  WriteFileBytes(path, "[soap]\nserver=a\nport=1\n[log]\nlevel=3\n");
  Config config(path.c_str());
  config.SetStringAtTail("user", "x", 0, "new");
  config.SetString("k", "v", 0, nullptr, 0);
  ASSERT_EQ(config.SaveConfig(path.c_str()), 0);
  EXPECT_EQ(ReadText(path),
            "\n[soap]\n    server=a\n    port=1\n\n[log]\n    level=3\n\n[new]\n    user=x\n"
            "    k=v\n");
  // The key without a section now belongs to the last section.
  Config reloaded(path.c_str());
  EXPECT_EQ(Names(reloaded), "soap/server soap/port log/level new/user new/k ");
}

TEST(ConfigSave, EndStateAfterSaving) {
  TempDir dir;
  std::string path = dir.File("agent.cfg");
  Config config;
  config.SetString("k", "1", 0, "s", 0);
  // Neither the file nor a backup exists yet.
  ASSERT_EQ(config.SaveConfig(path.c_str()), 0);
  EXPECT_EQ(ReadText(path), "\n[s]\n    k=1\n");
  EXPECT_FALSE(Exists(path + ".Save"));
  EXPECT_FALSE(Exists(path + ".New"));

  config.SetString("k", "2", 0, "s", 0);
  ASSERT_EQ(config.SaveConfig(path.c_str()), 0);
  config.SetString("k", "3", 0, "s", 0);
  ASSERT_EQ(config.SaveConfig(path.c_str()), 0);
  EXPECT_EQ(ReadText(path), "\n[s]\n    k=3\n");
  EXPECT_EQ(ReadText(path + ".Save"), "\n[s]\n    k=2\n");
  EXPECT_FALSE(Exists(path + ".New"));
  // The save changes neither the object's file name nor its loaded flag.
  EXPECT_EQ(config.IsConfigLoadedOk(), 0);
  EXPECT_STREQ(ConfigProbe::FileName(config), "");

  // A later modification time makes the next lookup read the saved file.
  Config loaded(path.c_str());
  config.SetString("k", "4", 0, "s", 0);
  ASSERT_EQ(config.SaveConfig(path.c_str()), 0);
  ASSERT_TRUE(
      orn2::port::SetFileModificationTime(path.c_str(), ConfigProbe::ModificationTime(loaded) + 5));
  EXPECT_EQ(loaded.GetInteger("k", "s"), 4);
}

TEST(ConfigSave, FailuresLeaveTheFileAndItsBackup) {
  TempDir dir;
  Config config;
  config.SetString("k", "new", 0, "s", 0);

  // No directory for the ".New" file: -1 without a message.
  testing::internal::CaptureStderr();
  EXPECT_EQ(config.SaveConfig(dir.File("missing/agent.cfg").c_str()), -1);
  EXPECT_EQ(config.SaveConfig(dir.File(std::string(251, 'n')).c_str()), -1);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");

  // The final rename fails when the file's name is taken by a directory.
  std::string taken = dir.File("taken.cfg");
  std::filesystem::create_directories(taken + "/inside");
  testing::internal::CaptureStderr();
  EXPECT_EQ(config.SaveConfig(taken.c_str()), -1);
  std::string message = testing::internal::GetCapturedStderr();
  EXPECT_EQ(message.rfind("Whilst saving config: ", 0), 0u) << message;
  EXPECT_EQ(message.find('\n'), message.size() - 1) << message;
  EXPECT_EQ(ReadText(taken + ".New"), "\n[s]\n    k=new\n");

  // A write that fails (a full device) returns -1 and touches nothing else.
  std::string path = dir.File("agent.cfg");
  WriteFileBytes(path, "old\n");
  WriteFileBytes(path + ".Save", "older\n");
  std::error_code error;
  std::filesystem::create_symlink("/dev/full", path + ".New", error);
  if (error || !std::filesystem::exists("/dev/full")) GTEST_SKIP() << "no full device here";
  testing::internal::CaptureStderr();
  EXPECT_EQ(config.SaveConfig(path.c_str()), -1);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  EXPECT_EQ(ReadFileBytes(path), "old\n");
  EXPECT_EQ(ReadFileBytes(path + ".Save"), "older\n");
}

// Two contents that differ in every value, large enough that a save takes a
// while; the child and the parent build them alike.
void BuildContent(Config& config, char tag) {
  for (int s = 0; s < 100; ++s) {
    std::string section = "section" + std::to_string(s);
    for (int k = 0; k < 20; ++k) {
      std::string key = "key" + std::to_string(k);
      std::string value = std::string(40, tag) + std::to_string(s * 20 + k);
      config.SetStringAtTail(key.c_str(), value.c_str(), 0, section.c_str());
    }
  }
}

// Saves the two contents in turn until killed; creates args[1] once the first
// save has gone through.
ORN2_CHILD(SaveForever) {
  Config a, b;
  BuildContent(a, 'A');
  BuildContent(b, 'B');
  const std::string& path = args.at(0);
  for (bool first = true;; first = false) {
    b.SaveConfig(path.c_str());
    if (first) WriteFileBytes(args.at(1), "started");
    a.SaveConfig(path.c_str());
  }
}

TEST(ConfigSave, KilledSavesNeverLeaveTheFileMissingOrPartial) {
  TempDir dir;
  std::string path = dir.File("agent.cfg");
  std::string marker = dir.File("started");
  Config a, b;
  BuildContent(a, 'A');
  BuildContent(b, 'B');
  ASSERT_EQ(b.SaveConfig(dir.File("b.cfg").c_str()), 0);
  ASSERT_EQ(a.SaveConfig(path.c_str()), 0);
  const std::string bytesA = ReadFileBytes(path);
  const std::string bytesB = ReadFileBytes(dir.File("b.cfg"));
  ASSERT_NE(bytesA, bytesB);

  std::mt19937 random(std::random_device{}());
  int sawA = 0, sawB = 0;
  for (int round = 0; round < 10; ++round) {
    SCOPED_TRACE(round);
    std::remove(marker.c_str());
    ChildProcess child("SaveForever", {path, marker});
    ASSERT_TRUE(child.Started());
    for (int waited = 0; !Exists(marker); ++waited) {
      ASSERT_LT(waited, 30000) << "the child never saved";
      ASSERT_FALSE(child.Wait(1, nullptr)) << "the child ended early";
    }
    // While the child saves, the file must always be there with one of the
    // two contents; then the child is killed at a random moment.
    auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(20 + random() % 60);
    for (int poll = 0; std::chrono::steady_clock::now() < until; ++poll) {
      ASSERT_TRUE(Exists(path)) << "the configuration file is missing during a save";
      if (poll % 16 == 0) {
        // Windows refuses to open a file for the instant it is being replaced
        // (a sharing violation, not a missing file); a file that opens must be whole.
        std::string seen;
        ASSERT_TRUE(ReadWhole(path, &seen)) << "the configuration file is missing during a save";
        ASSERT_TRUE(seen == bytesA || seen == bytesB || seen == kBusy)
            << "partial content during a save: " << seen.size() << " bytes";
      }
    }
    child.Kill();
    ASSERT_TRUE(child.Wait(30000, nullptr));

    ASSERT_TRUE(Exists(path)) << "the configuration file is missing";
    std::string now = ReadFileBytes(path);
    ASSERT_TRUE(now == bytesA || now == bytesB) << "partial content of " << now.size() << " bytes";
    (now == bytesA ? sawA : sawB)++;
    Config loaded(path.c_str());
    EXPECT_EQ(ConfigProbe::Records(loaded).size(), 2000u);
  }
  EXPECT_GT(sawA + sawB, 0);
}

}  // namespace
