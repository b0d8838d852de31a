// orn config: read and edit configuration files with the library's semantics
// (names compared without regard to case, first match wins, saves through the
// ".New" file and the ".Save" backup).
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "orn/cli.h"
#include "orn/config_file.h"
#include "orn/json.h"

namespace orn {
namespace {

const char kConfigUsage[] =
    "usage: orn config SUBCOMMAND FILE ...\n"
    "\n"
    "  get FILE KEY [SECTION]         print the value (KEY may be section/key)\n"
    "  set FILE KEY VALUE [SECTION] [--at head|tail|after-first] [--quiet]\n"
    "                                 set the value and save; an existing key is changed\n"
    "                                 in place, a new one goes to the end of its section\n"
    "                                 (tail, the default), before its first key (head)\n"
    "                                 or after its first key (after-first); a missing\n"
    "                                 FILE is created\n"
    "  sections FILE [--json]         print the section names in file order\n"
    "  keys FILE SECTION [--json]     print the key names of a section\n"
    "  remove FILE SECTION PREFIX [KEEP] [--quiet]\n"
    "                                 remove the keys of SECTION that begin with PREFIX\n"
    "                                 (all keys when PREFIX is empty), except those that\n"
    "                                 begin with KEEP, and save\n"
    "  remove FILE SECTION KEY --exact [--quiet]\n"
    "                                 remove the key KEY of SECTION only, and save\n"
    "  dump FILE [--json]             print the file as the library writes it\n"
    "  endpoints FILE                 print the servers of section \"soap\"\n"
    "\n"
    "set refuses (exit 2, with the reason) a key or value that the file would load\n"
    "back differently: empty, with white space or '=' in a key, a key beginning with\n"
    "'[', '#' or ';', a value beginning with white space or '=' or ending in white\n"
    "space, a line end, and a new key without a section in a file with sections.\n"
    "keys matches SECTION exactly (ignoring case), not as the beginning of a name.\n"
    "set and remove print \"changed\" or \"unchanged\" (nothing with --quiet); an edit\n"
    "that leaves the content as it was saves nothing, so the file and its .Save backup\n"
    "stay untouched. --json prints one object: {\"sections\":[NAME,...]},\n"
    "{\"section\":SECTION,\"keys\":[KEY,...]}, or {\"records\":[...]} with each key as\n"
    "{\"section\":SECTION,\"key\":KEY,\"value\":VALUE} (section null outside sections)\n"
    "and each kept comment as {\"comment\":TEXT}.\n"
    "\n"
    "Exit status: 0 success, 1 key, section or server missing (or nothing removed),\n"
    "2 bad usage or a file that cannot be read or saved.\n";

// The lookup path as the library forms it, for the length check.
std::string FullName(const std::string& key, const std::string* section) {
  return section == nullptr ? key : *section + "/" + key;
}

// Edits are compared as a save would write the store, before and after, in
// memory: true when the store still renders as `before`.
bool RendersAs(Config& config, const std::string& before) {
  std::string after;
  config.RenderText(after);
  return after == before;
}

// Prints whether an edit changed the store, unless quiet.
void ReportChange(bool changed, bool quiet) {
  if (!quiet) std::printf("%s\n", changed ? "changed" : "unchanged");
}

int Get(const Args& args) {
  const std::string command = "config get";
  int status = kExitOk;
  if (!Arity(args, 2, 3, command, "FILE KEY [SECTION]", status)) return status;
  const std::vector<std::string>& p = args.Positional();
  const std::string* section = p.size() == 3 ? &p[2] : nullptr;
  Config config;
  if ((status = LoadConfigFile(config, command, p[0], false)) != kExitOk) return status;
  char value[kValueBuffer];
  if (FullName(p[1], section).size() > kMaxFullName ||
      config.GetString(p[1].c_str(), value, sizeof value, section ? section->c_str() : nullptr) !=
          0) {
    return Fail(kExitNo, command, "no key " + FullName(p[1], section) + " in " + p[0]);
  }
  std::printf("%s\n", value);
  return kExitOk;
}

int Set(Args& args) {
  const std::string command = "config set";
  std::string at = "tail";
  args.TakeOption("at", at);
  const bool quiet = args.TakeFlag("quiet");
  int status = kExitOk;
  if (!args.Finish()) return Fail(kExitUsage, command, args.Error());
  if (!Arity(args, 3, 4, command, "FILE KEY VALUE [SECTION] [--at head|tail|after-first]",
             status)) {
    return status;
  }
  const std::vector<std::string>& p = args.Positional();
  const std::string& key = p[1];
  const std::string& value = p[2];
  const std::string* section = p.size() == 4 ? &p[3] : nullptr;
  int position = 0;
  if (at == "tail") {
    position = 1;
  } else if (at == "head") {
    position = 2;
  } else if (at != "after-first") {
    return Fail(kExitUsage, command, "--at takes head, tail or after-first, not " + at);
  }
  // Load, change and save as one step for every other saver of the file.
  ConfigFileLock lock(p[0]);
  Config config;
  if ((status = LoadConfigFile(config, command, p[0], true)) != kExitOk) return status;
  // What the file format could not carry back exactly is refused, not saved
  // in a form that loads differently.
  const char* sectionName = section ? section->c_str() : nullptr;
  const char* reason = nullptr;
  if (config.IsStorable(key.c_str(), value.c_str(), sectionName, position, &reason) == 0) {
    return Fail(kExitUsage, command, reason);
  }
  std::string before;
  config.RenderText(before);
  config.SetString(key.c_str(), value.c_str(), 0, sectionName, position);
  // A missing file is created even by an edit that leaves the store as it was.
  if (RendersAs(config, before) && config.IsConfigLoadedOk() != 0) {
    ReportChange(false, quiet);
    return kExitOk;
  }
  if ((status = SaveConfigFile(config, command, p[0])) != kExitOk) return status;
  ReportChange(true, quiet);
  return kExitOk;
}

int Sections(Args& args) {
  const std::string command = "config sections";
  const bool json = args.TakeFlag("json");
  if (!args.Finish()) return Fail(kExitUsage, command, args.Error());
  int status = kExitOk;
  if (!Arity(args, 1, 1, command, "FILE", status)) return status;
  Config config;
  if ((status = LoadConfigFile(config, command, args.Positional()[0], false)) != kExitOk) {
    return status;
  }
  std::vector<std::string> names;
  for (char* name = config.GetFirstSection(); name != nullptr; name = config.GetNextSection()) {
    names.emplace_back(name);
  }
  if (json) {
    std::printf("{\"sections\":%s}\n", JsonStrings(names).c_str());
    return kExitOk;
  }
  for (const std::string& name : names) std::printf("%s\n", name.c_str());
  return kExitOk;
}

int Keys(Args& args) {
  const std::string command = "config keys";
  const bool json = args.TakeFlag("json");
  if (!args.Finish()) return Fail(kExitUsage, command, args.Error());
  int status = kExitOk;
  if (!Arity(args, 2, 2, command, "FILE SECTION", status)) return status;
  const std::vector<std::string>& p = args.Positional();
  Config config;
  if ((status = LoadConfigFile(config, command, p[0], false)) != kExitOk) return status;
  // One byte of the buffer is held back so that a key that fills it stays terminated.
  char key[kKeyBuffer] = {};
  const char* section = p[1].c_str();
  // The section is matched exactly, ignoring case: GetFirstKey takes any name
  // that begins with it ("soap" finds "soapbox/colour" as the key "ox/colour"),
  // GetNextKey only "section/". A removal that removes nothing (an empty keep
  // prefix protects the whole section) starts GetNextKey at the head.
  std::vector<std::string> keys;
  if (!p[1].empty()) {
    config.RemoveRecords(section, "", "");
    while (config.GetNextKey(section, key, sizeof key - 1) != 0) keys.emplace_back(key);
  }
  if (keys.empty()) return Fail(kExitNo, command, "no keys in section " + p[1] + " of " + p[0]);
  if (json) {
    std::printf("{\"section\":%s,\"keys\":%s}\n", JsonString(p[1]).c_str(),
                JsonStrings(keys).c_str());
    return kExitOk;
  }
  for (const std::string& name : keys) std::printf("%s\n", name.c_str());
  return kExitOk;
}

int Remove(Args& args) {
  const std::string command = "config remove";
  const bool quiet = args.TakeFlag("quiet");
  const bool exact = args.TakeFlag("exact");
  if (!args.Finish()) return Fail(kExitUsage, command, args.Error());
  int status = kExitOk;
  if (exact && !Arity(args, 3, 3, command, "FILE SECTION KEY with --exact", status)) return status;
  if (!Arity(args, 3, 4, command, "FILE SECTION PREFIX [KEEP]", status)) return status;
  const std::vector<std::string>& p = args.Positional();
  if (p[1].size() + 1 + p[2].size() > kMaxFullName ||
      (p.size() == 4 && p[1].size() + 1 + p[3].size() > kMaxFullName)) {
    return Fail(kExitUsage, command,
                "section/prefix longer than " + std::to_string(kMaxFullName) + " characters");
  }
  if (p.size() == 4 && p[3].empty()) {
    return Fail(kExitUsage, command, "an empty KEEP would keep every key; leave it out instead");
  }
  // Without KEEP nothing is to be kept: "=" can never begin a key that the load
  // or config set makes, so the keep pattern section/= matches no record.
  const std::string keep = p.size() == 4 ? p[3] : "=";
  ConfigFileLock lock(p[0]);  // load, change and save as one step
  Config config;
  if ((status = LoadConfigFile(config, command, p[0], false)) != kExitOk) return status;
  std::string before;
  config.RenderText(before);
  const bool found = exact ? config.RemoveKey(p[2].c_str(), p[1].c_str()) == 0
                           : (config.RemoveRecords(p[1].c_str(), p[2].c_str(), keep.c_str()), true);
  if (!found || RendersAs(config, before)) {
    ReportChange(false, quiet);
    return kExitNo;  // nothing removed: a negative answer, as a missing key is
  }
  if ((status = SaveConfigFile(config, command, p[0])) != kExitOk) return status;
  ReportChange(true, quiet);
  // The load takes an empty file for a damaged one and restores it from its
  // backup, so a file emptied by a removal comes back at the next load.
  std::error_code error;
  if (std::filesystem::file_size(p[0], error) == 0 && !error) {
    std::fflush(stdout);
    std::fprintf(stderr,
                 "orn: config remove: warning: %s is now empty; the next load restores it "
                 "from %s.Save\n",
                 p[0].c_str(), p[0].c_str());
  }
  return kExitOk;
}

int Dump(Args& args) {
  const std::string command = "config dump";
  const bool json = args.TakeFlag("json");
  if (!args.Finish()) return Fail(kExitUsage, command, args.Error());
  int status = kExitOk;
  if (!Arity(args, 1, 1, command, "FILE", status)) return status;
  Config config;
  if ((status = LoadConfigFile(config, command, args.Positional()[0], false)) != kExitOk) {
    return status;
  }
  std::string text;
  config.RenderText(text);
  if (!json) {
    std::fwrite(text.data(), 1, text.size(), stdout);
    return kExitOk;
  }
  std::printf("%s\n", ConfigRecordsJson(text).c_str());
  return kExitOk;
}

}  // namespace

int RunConfig(int argc, char** argv, int first) {
  if (first >= argc) {
    return Fail(kExitUsage, "config", "expected a subcommand (try 'orn config --help')");
  }
  const std::string sub = argv[first];
  Args args(argc, argv, first + 1);
  if (sub == "--help" || sub == "-h" || args.WantsHelp()) return Help(kConfigUsage);
  // Subcommands with options of their own take them before Finish.
  if (sub == "set") return Set(args);
  if (sub == "remove") return Remove(args);
  if (sub == "sections") return Sections(args);
  if (sub == "keys") return Keys(args);
  if (sub == "dump") return Dump(args);
  if (!args.Finish()) return Fail(kExitUsage, "config " + sub, args.Error());
  if (sub == "get") return Get(args);
  if (sub == "endpoints") return ConfigEndPoints(args);
  return Fail(kExitUsage, "config", "unknown subcommand " + sub + " (try 'orn config --help')");
}

}  // namespace orn
