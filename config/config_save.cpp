// Writing the store: the file format shared by SaveConfig and DumpConfig, and
// the crash-safe save through a ".New" file and a ".Save" backup.
#include <liborn2/config.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "config/config_text.h"
#include "port/fs.h"

using namespace orn2::config;

namespace {

// Writes the records from `head` on in the file format; false when a write fails.
// A section line is written at every change of section (ignoring case); keys
// without a slash never change the section and so fall under the last one.
bool WriteRecords(std::FILE* out, const Config::tConfigRecord* head) {
  char lastSection[kFullNameBuffer] = "";
  for (const Config::tConfigRecord* walk = head; walk != nullptr; walk = walk->next) {
    int written;
    if (walk->kind == Config::kLineRecord) {
      written = std::fprintf(out, "%s\n", walk->value);
    } else if (const char* slash = std::strchr(walk->name, '/')) {
      char section[kFullNameBuffer];
      size_t n = static_cast<size_t>(slash - walk->name);
      std::memcpy(section, walk->name, n);
      section[n] = '\0';
      if (lastSection[0] == '\0' || !EqualNoCase(lastSection, section)) {
        if (std::fprintf(out, "\n[%s]\n", section) < 0) return false;
        std::memcpy(lastSection, section, n + 1);
      }
      written = std::fprintf(out, "    %s=%s\n", slash + 1, walk->value);
    } else {
      written = std::fprintf(out, "    %s=%s\n", walk->name, walk->value);
    }
    if (written < 0) return false;
  }
  return true;
}

}  // namespace

// The new content reaches stable storage before anything else changes, and the
// file is replaced in one atomic step, so that at no instant is it missing or
// partial: ".Save" becomes a second name of (or a copy of) the current file,
// then ".New" is renamed over the file. A failed write, flush or close leaves
// the file and its backup as they were.
int Config::SaveConfig(const char* fileName) {
  fileName = OrEmpty(fileName);
  if (std::strlen(fileName) > kMaxFileName) return -1;  // no room for the companion names
  char newName[kFileNameBuffer];
  char backupName[kFileNameBuffer];
  std::snprintf(newName, sizeof newName, "%s.New", fileName);
  std::snprintf(backupName, sizeof backupName, "%s.Save", fileName);

  std::FILE* out = std::fopen(newName, "wt");
  if (out == nullptr) return -1;
  bool written = WriteRecords(out, head_) && orn2::port::SyncFile(out);
  if (std::fclose(out) != 0) written = false;
  if (!written) {
    std::remove(newName);
    return -1;
  }

  // Failures here are ignored, as there may be no backup and no file yet.
  std::remove(backupName);
  orn2::port::LinkOrCopyFile(fileName, backupName);

  if (!orn2::port::ReplaceFileAtomically(newName, fileName)) {
    std::fprintf(stderr, "Whilst saving config: %s\n", std::strerror(errno));
    return -1;
  }
  orn2::port::SyncParentDirectory(fileName);
  return 0;
}

int Config::DumpConfig() {
  WriteRecords(stderr, head_);
  return 0;
}
