// Loads arbitrary bytes as a configuration file, checks the list and its index,
// saves the store and loads the saved file again. Where the file format can
// carry the records unchanged, the second load must give exactly the same
// records; the format renames some records by design (see Faithful).
#include <liborn2/config.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "config/config_probe.h"
#include "port/process.h"

namespace {

using orn2::config::ConfigProbe;
using Record = ConfigProbe::Record;

void Fail(const char* what, const std::string& detail) {
  std::fprintf(stderr, "config fuzz: %s: %s\n", what, detail.c_str());
  std::abort();
}

// The prefix of this process's working files, on a memory file system where
// there is one (every save syncs its file). The files are removed after each input.
const std::string& WorkPrefix() {
  static const std::string prefix = [] {
    std::filesystem::path base = std::filesystem::is_directory("/dev/shm")
                                     ? std::filesystem::path("/dev/shm")
                                     : std::filesystem::temp_directory_path();
    return (base / ("orn2-config-fuzz-" + std::to_string(orn2::port::ProcessId()))).string();
  }();
  return prefix;
}

// Equal but for the case of ASCII letters.
bool FoldEqual(const std::string& a, const std::string& b) {
  auto fold = [](char c) { return c >= 'A' && c <= 'Z' ? c + 32 : c; };
  return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                    [&](char x, char y) { return fold(x) == fold(y); });
}

bool IsSpace(char c) { return std::strchr(" \t\n\v\f\r", c) != nullptr && c != '\0'; }

// A key as written on a line "    key=value" reads back as the same key.
bool KeyReadsBack(const std::string& key) {
  if (!key.empty() && (key[0] == ';' || key[0] == '#' || key[0] == '[')) return false;
  return key.find_first_of(" \t\n\v\f\r=") == std::string::npos;
}

// True when saving and loading carries these records unchanged. The format
// renames records by design when a key without a slash follows a section line
// (it joins that section), when runs of one section differ in case (they share
// the first run's section line), when a section name holds a slash (the name
// is split at its first slash), and drops line records of one character.
bool Faithful(const std::vector<Record>& records) {
  std::string lastSection;
  for (const Record& r : records) {
    if (r.kind == Config::kLineRecord) {
      if (r.value.size() < 2) return false;
      continue;
    }
    if (r.value.empty() || IsSpace(r.value[0]) || r.value[0] == '=' || IsSpace(r.value.back()) ||
        r.value.find_first_of("\r\n") != std::string::npos)
      return false;
    size_t slash = r.name.find('/');
    if (slash == std::string::npos) {
      if (!lastSection.empty() || !KeyReadsBack(r.name)) return false;
      continue;
    }
    std::string section = r.name.substr(0, slash);
    if (section.empty() || section.find_first_of("]\r\n") != std::string::npos) return false;
    if (!KeyReadsBack(r.name.substr(slash + 1))) return false;
    if (!lastSection.empty() && FoldEqual(lastSection, section) && lastSection != section)
      return false;
    if (lastSection.empty() || !FoldEqual(lastSection, section)) lastSection = section;
  }
  return true;
}

// Every key record that is the first of its name is what a lookup finds.
void CheckLookups(Config& config, const std::vector<Record>& records) {
  std::vector<std::string> seen;
  for (const Record& r : records) {
    if (r.kind != Config::kKeyRecord) continue;
    bool first = true;
    for (const std::string& s : seen) first = first && !FoldEqual(s, r.name);
    if (!first) continue;
    seen.push_back(r.name);
    char buffer[Config::kValueSize];
    if (config.GetString(r.name.c_str(), buffer, sizeof buffer, nullptr) != 0 || r.value != buffer)
      Fail("lookup does not find the first record", r.name);
  }
}

void Load(Config& config, const std::string& path) {
  if (config.LoadConfig(path.c_str()) != 0) Fail("load failed", path);
  std::string problem = ConfigProbe::CheckConsistency(config);
  if (!problem.empty()) Fail("inconsistent store", problem);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;  // an empty file is the restore path, tested elsewhere
  const std::string in = WorkPrefix() + "-in.cfg";
  const std::string out = WorkPrefix() + "-out.cfg";
  std::ofstream(in, std::ios::binary).write(reinterpret_cast<const char*>(data), size);
  Config first;
  Load(first, in);
  std::vector<Record> records = ConfigProbe::Records(first);
  CheckLookups(first, records);
  for (char* s = first.GetFirstSection(); s != nullptr; s = first.GetNextSection()) {
    char key[Config::kNameSize];
    for (int more = first.GetFirstKey(s, key, sizeof key); more;
         more = first.GetNextKey(s, key, sizeof key)) {
    }
  }
  if (!records.empty()) {  // an empty store would save an empty file
    if (first.SaveConfig(out.c_str()) != 0) Fail("save failed", out);
    Config second;
    Load(second, out);
    std::vector<Record> again = ConfigProbe::Records(second);
    if (Faithful(records) && !(again == records)) Fail("records changed by save and load", in);
  }
  for (const std::string& path : {in, out, out + ".Save", out + ".New"}) std::remove(path.c_str());
  return 0;
}
