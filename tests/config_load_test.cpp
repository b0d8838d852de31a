// Loading configuration files: the line grammar, the restore of an empty file
// from its backup, the reload when the file changes on disk, and copies.
#include <gtest/gtest.h>
#include <liborn2/config.h>

#include <string>
#include <vector>

#include "config/config_probe.h"
#include "port/fs.h"
#include "support/temp_dir.h"

namespace {

using orn2::testing::ReadFileBytes;
using orn2::testing::TempDir;
using orn2::testing::WriteFileBytes;
using Record = ConfigProbe::Record;

Record K(const std::string& name, const std::string& value) {
  return Record{name, value, Config::kKeyRecord};
}
Record L(const std::string& text) { return Record{"", text, Config::kLineRecord}; }

std::string Describe(const std::vector<Record>& records) {
  std::string out;
  for (const Record& r : records)
    out += (r.kind == Config::kKeyRecord ? "K[" + r.name + "]=[" : "L[") + r.value + "]\n";
  return out;
}

TEST(ConfigLoad, LineGrammar) {
  struct Case {
    const char* what;
    std::string text;
    std::vector<Record> expected;
  };
  const std::string x1021(1021, 'x');
  const std::string longSection(200, 's');
  const Case cases[] = {
      {"sections and keys",
       "[soap]\nserver = 10.0.0.1\nport=443\n",
       {K("soap/server", "10.0.0.1"), K("soap/port", "443")}},
      {"comments keep their indentation, lose trailing blanks",
       "# top\n   ; indented  \t\n[s]\n#x\n",
       {L("# top"), L("   ; indented"), L("#x")}},
      {"short lines are dropped", "\n \na\n#\nx=\na=b", {K("a", "b")}},
      {"separators between key and value",
       "port 443\nport\nport=  443  \n=443\nport==443\n",
       {K("port", "443"), K("port", "443"), K("", "443"), K("port", "443")}},
      {"only separators before the value count",
       "url=a=b\nk\t=\t v w \r\n",
       {K("url", "a=b"), K("k", "v w")}},
      {"empty key inside a section", "[s]\n=443\n", {K("s/", "443")}},
      {"keys outside sections",
       "k=1\n[s]\nx=2\n[]\ny=3\n",
       {K("k", "1"), K("s/x", "2"), K("y", "3")}},
      {"section line quirks",
       "[ a b ]\nk=1\n[soap\nk=2\n  [x]junk\nk=3\n[s]\n",
       {K(" a b /k", "1"), K("soap/k", "2"), K("x/k", "3")}},
      {"white space lines keep their first character", "  \t\n\t \n", {L(" "), L("\t")}},
      {"duplicates are kept", "k=1\nK=2\n", {K("k", "1"), K("K", "2")}},
      {"carriage returns", "[s]\r\nk = v \r\n# c \r\n", {K("s/k", "v"), L("# c")}},
      {"vertical tab and form feed are white space", "k\v=\fv\n", {K("k", "v")}},
      {"bytes above 0x7F are not white space", "k=\xa0v\xa0\n", {K("k", "\xa0v\xa0")}},
      {"a long line arrives in pieces",
       "k=" + x1021 + " tail=7\n",
       {K("k", std::string(512, 'x')), K("tail", "7")}},
      {"long comments are cut",
       "#" + std::string(600, 'c') + "\n",
       {L("#" + std::string(511, 'c'))}},
      {"full names are cut to 127 characters",
       "[" + longSection + "]\nk=1\n[s]\n" + std::string(200, 'k') + "=2\n",
       {K(std::string(127, 's'), "1"), K("s/" + std::string(125, 'k'), "2")}},
  };
  TempDir dir;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::string path = dir.File("grammar.cfg");
    WriteFileBytes(path, c.text);
    Config config;
    ASSERT_EQ(config.LoadConfig(path.c_str()), 0);
    EXPECT_EQ(config.IsConfigLoadedOk(), 1);
    std::vector<Record> got = ConfigProbe::Records(config);
    EXPECT_EQ(Describe(got), Describe(c.expected));
    EXPECT_EQ(ConfigProbe::CheckConsistency(config), "");
  }
}

TEST(ConfigLoad, CutNamesAreFoundByTheSameKey) {
  TempDir dir;
  std::string path = dir.File("long.cfg");
  std::string key(200, 'k');
  WriteFileBytes(path, "[s]\n" + key + "=2\n");
  Config config(path.c_str());
  char buffer[16];
  EXPECT_EQ(config.GetString(key.c_str(), buffer, sizeof buffer, "s"), 0);
  EXPECT_STREQ(buffer, "2");
}

TEST(ConfigLoad, EmptyFileIsRestoredFromItsBackup) {
  TempDir dir;
  std::string path = dir.File("agent.cfg");
  std::string backup = path + ".Save";
  const std::string saved = "[soap]\n    port=443\n";
  WriteFileBytes(path, "");
  WriteFileBytes(backup, saved);

  testing::internal::CaptureStderr();
  Config config(path.c_str());
  std::string messages = testing::internal::GetCapturedStderr();

  EXPECT_EQ(messages, "LoadConfig() Warning: filesize of " + path + " is Zero\n" +
                          "LoadConfig() Warning: Restoring saved CF file: [" + backup + "] (" +
                          std::to_string(saved.size()) + " bytes)\n");
  EXPECT_EQ(config.IsConfigLoadedOk(), 1);
  EXPECT_EQ(ReadFileBytes(path), saved);
  orn2::port::FileStatus status{};
  EXPECT_FALSE(orn2::port::StatFile(backup.c_str(), &status));
  EXPECT_EQ(Describe(ConfigProbe::Records(config)), Describe({K("soap/port", "443")}));
}

TEST(ConfigLoad, EmptyFileWithoutUsableBackupLoadsEmpty) {
  TempDir dir;
  std::string path = dir.File("agent.cfg");
  for (bool emptyBackup : {false, true}) {
    SCOPED_TRACE(emptyBackup ? "empty backup" : "no backup");
    WriteFileBytes(path, "");
    if (emptyBackup) WriteFileBytes(path + ".Save", "");
    testing::internal::CaptureStderr();
    Config config;
    int result = config.LoadConfig(path.c_str());
    std::string messages = testing::internal::GetCapturedStderr();
    EXPECT_EQ(result, 0);
    EXPECT_EQ(config.IsConfigLoadedOk(), 1);
    EXPECT_TRUE(ConfigProbe::Records(config).empty());
    EXPECT_EQ(messages, "LoadConfig() Warning: filesize of " + path +
                            " is Zero\nLoadConfig() Warning: No suitable backups loacated\n");
  }
}

TEST(ConfigLoad, MissingFileFailsAfterOneMessage) {
  TempDir dir;
  std::string path = dir.File("missing.cfg");
  WriteFileBytes(path + ".Save", "k=1\n");  // a missing file is not restored
  testing::internal::CaptureStderr();
  Config config;
  int result = config.LoadConfig(path.c_str());
  std::string messages = testing::internal::GetCapturedStderr();
  EXPECT_EQ(result, -1);
  EXPECT_EQ(messages, "LoadConfig() Error: Cannot access [" + path + "]\n");
  EXPECT_EQ(config.IsConfigLoadedOk(), 0);
  EXPECT_STREQ(ConfigProbe::FileName(config), "");

  // A name with no room for ".Save" within 255 characters is refused likewise.
  std::string tooLong = dir.File(std::string(251, 'n'));
  testing::internal::CaptureStderr();
  EXPECT_EQ(config.LoadConfig(tooLong.c_str()), -1);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "LoadConfig() Error: Cannot access [" + tooLong + "]\n");
}

TEST(ConfigLoad, LoadingTwiceHoldsEveryRecordTwice) {
  TempDir dir;
  std::string path = dir.File("twice.cfg");
  WriteFileBytes(path, "[s]\nk=1\n");
  Config config(path.c_str());
  ASSERT_EQ(config.LoadConfig(path.c_str()), 0);
  EXPECT_EQ(ConfigProbe::Records(config).size(), 2u);
  EXPECT_EQ(ConfigProbe::CheckConsistency(config), "");
  // The first copy is the one found, so an edit changes it and not the second.
  config.SetString("k", "2", 0, "s", 0);
  EXPECT_EQ(Describe(ConfigProbe::Records(config)), Describe({K("s/k", "2"), K("s/k", "1")}));
  EXPECT_EQ(config.GetInteger("k", "s"), 2);
}

class ConfigReload : public testing::Test {
 protected:
  void SetUp() override {
    path_ = dir_.File("reload.cfg");
    Write("[s]\nk=old\n", kLoadTime);
    ASSERT_EQ(config_.LoadConfig(path_.c_str()), 0);
  }
  void Write(const std::string& text, int64_t mtime) {
    WriteFileBytes(path_, text);
    ASSERT_TRUE(orn2::port::SetFileModificationTime(path_.c_str(), mtime));
  }
  std::string Lookup() {
    char buffer[32];
    config_.GetString("k", buffer, sizeof buffer, "s");
    return buffer;
  }

  static constexpr int64_t kLoadTime = 1700000000;
  TempDir dir_;
  std::string path_;
  Config config_;
};

TEST_F(ConfigReload, LaterModificationTimeReloadsAndDropsEdits) {
  EXPECT_EQ(ConfigProbe::ModificationTime(config_), kLoadTime);
  config_.SetString("edit", "1", 0, "s", 0);
  Write("[s]\nk=new\n", kLoadTime + 10);
  EXPECT_EQ(Lookup(), "new");
  EXPECT_EQ(ConfigProbe::ModificationTime(config_), kLoadTime + 10);
  EXPECT_EQ(Describe(ConfigProbe::Records(config_)), Describe({K("s/k", "new")}));
  EXPECT_EQ(ConfigProbe::CheckConsistency(config_), "");
}

TEST_F(ConfigReload, EarlierOrEqualModificationTimeKeepsTheRecords) {
  for (int64_t mtime : {kLoadTime, kLoadTime - 10}) {
    SCOPED_TRACE(mtime);
    Write("[s]\nk=changed, also in size\n", mtime);
    EXPECT_EQ(Lookup(), "old");
  }
}

TEST_F(ConfigReload, ReloadEndsEnumerations) {
  Write("[s]\nk=1\nj=2\n[t]\nm=3\n", kLoadTime + 1);
  EXPECT_EQ(Lookup(), "1");
  char key[32];
  ASSERT_STREQ(config_.GetFirstSection(), "s");
  ASSERT_EQ(config_.GetFirstKey("s", key, sizeof key), 1);
  Write("[s]\nk=1\nj=2\n[t]\nm=3\n", kLoadTime + 2);
  EXPECT_EQ(Lookup(), "1");
  EXPECT_EQ(config_.GetNextSection(), nullptr);
  EXPECT_EQ(config_.GetNextKey("s", key, sizeof key), 0);
}

TEST_F(ConfigReload, FileGoneKeepsTheRecordsAndSaysSo) {
  ASSERT_EQ(std::remove(path_.c_str()), 0);
  testing::internal::CaptureStderr();
  EXPECT_EQ(Lookup(), "old");
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "CheckModified() Error: Cannot stat [" + path_ + "]!\n");

  Config never;
  char buffer[8];
  testing::internal::CaptureStderr();
  EXPECT_EQ(never.GetString("k", buffer, sizeof buffer, nullptr), -1);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "CheckModified() Error: Cannot stat []!\n");
}

TEST(ConfigCopy, AssignmentAndCopyAreDeep) {
  TempDir dir;
  std::string path = dir.File("copy.cfg");
  WriteFileBytes(path, "[a]\nk=1\n[b]\nk=2\nj=3\n");
  Config source(path.c_str());
  char key[32];
  ASSERT_STREQ(source.GetFirstSection(), "a");
  ASSERT_EQ(source.GetFirstKey("b", key, sizeof key), 1);

  Config assigned;
  assigned.SetString("stale", "x", 0, nullptr, 0);
  assigned = source;
  Config copied(source);
  source.SetString("k", "changed", 0, "a", 0);
  source.RemoveRecords("b", "", "zzz");
  source.ReleaseConfig();

  for (Config* c : {&assigned, &copied}) {
    EXPECT_EQ(Describe(ConfigProbe::Records(*c)),
              Describe({K("a/k", "1"), K("b/k", "2"), K("b/j", "3")}));
    EXPECT_EQ(ConfigProbe::CheckConsistency(*c), "");
    EXPECT_EQ(c->IsConfigLoadedOk(), 1);
    EXPECT_STREQ(ConfigProbe::FileName(*c), path.c_str());
    // The enumerations go on where the source's stood.
    EXPECT_STREQ(c->GetNextSection(), "b");
    EXPECT_EQ(c->GetNextKey("b", key, sizeof key), 1);
    EXPECT_STREQ(key, "j");
  }
  Config& alias = assigned;
  assigned = alias;  // self-assignment keeps the records
  EXPECT_EQ(ConfigProbe::Records(assigned).size(), 3u);
}

TEST(ConfigCopy, ReleaseLeavesAUsableEmptyStore) {
  TempDir dir;
  std::string path = dir.File("release.cfg");
  WriteFileBytes(path, "k=1\n");
  Config config(path.c_str());
  EXPECT_EQ(config.ReleaseConfig(), 0);
  EXPECT_EQ(config.IsConfigLoadedOk(), 0);
  EXPECT_TRUE(ConfigProbe::Records(config).empty());
  EXPECT_EQ(ConfigProbe::ModificationTime(config), 0);
  EXPECT_EQ(config.SetString("k", "2", 0, nullptr, 0), 0);
  EXPECT_EQ(ConfigProbe::CheckConsistency(config), "");
  EXPECT_EQ(config.SectionExists("k"), 1);
}

}  // namespace
