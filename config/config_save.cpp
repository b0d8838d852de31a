// Writing the store: the file format shared by SaveConfig and DumpConfig, and
// the crash-safe save through a ".New" file and a ".Save" backup.
#include <liborn2/config.h>
#include <liborn2/mutex.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "config/config_text.h"
#include "config/save_lock.h"
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

// The new content reaches stable storage before anything else changes, and
// each name is replaced in one atomic step, so that at no instant is the file
// missing or partial, nor its ".Save" backup missing once there is one: the
// current file gets a second name (a hard link, else a copy) ".Prev", which is
// renamed over ".Save", then ".New" is renamed over the file. A failed write,
// flush or close leaves the file and its backup as they were.
//
// Saves of one file are serialised across processes by the named mutex
// SaveLockName gives, so two savers never share ".New" or ".Prev". A saver
// killed half-way leaves the mutex abandoned, which the next one takes over;
// the ".New" and ".Prev" it left are overwritten.
int Config::SaveConfig(const char* fileName) {
  fileName = OrEmpty(fileName);
  if (std::strlen(fileName) > kMaxFileName) return -1;  // no room for the companion names
  // Only a regular file (or none yet) is replaced: a FIFO, directory, device or
  // socket at the path is refused before anything else happens.
  orn2::port::FileHandle current{};
  orn2::port::OpenOutcome found =
      orn2::port::OpenRegularFile(fileName, orn2::port::FileAccess::kRead, &current, nullptr);
  if (found == orn2::port::OpenOutcome::kNotRegular) return -1;
  if (found == orn2::port::OpenOutcome::kOpened) orn2::port::CloseFile(current);

  char lockName[kSaveLockNameMax + 1];
  SaveLockNameFor(fileName, lockName);
  Mutex lock(lockName);
  Guard hold(lock);

  char newName[kFileNameBuffer];
  char linkName[kFileNameBuffer];
  char backupName[kFileNameBuffer];
  std::snprintf(newName, sizeof newName, "%s.New", fileName);
  std::snprintf(linkName, sizeof linkName, "%s.Prev", fileName);
  std::snprintf(backupName, sizeof backupName, "%s.Save", fileName);

  orn2::port::FileHandle fresh{};
  if (orn2::port::OpenRegularFile(newName, orn2::port::FileAccess::kCreate, &fresh, nullptr) !=
      orn2::port::OpenOutcome::kOpened) {
    return -1;
  }
  std::FILE* out = orn2::port::TextStream(fresh, orn2::port::FileAccess::kCreate);
  bool written = out != nullptr && WriteRecords(out, head_) && orn2::port::SyncFile(out);
  if (out != nullptr && std::fclose(out) != 0) written = false;
  if (!written) {
    std::remove(newName);
    return -1;
  }

  // Failures here are ignored: there may be no file yet, and a backup that
  // cannot be made must not stop the save. The old backup stays until the new
  // one replaces it.
  std::remove(linkName);
  if (orn2::port::LinkOrCopyFile(fileName, linkName) &&
      !orn2::port::ReplaceFileAtomically(linkName, backupName)) {
    std::remove(linkName);
  }

  if (!orn2::port::ReplaceFileAtomically(newName, fileName)) {
    std::fprintf(stderr, "Whilst saving config: %s\n", std::strerror(errno));
    return -1;
  }
  orn2::port::SyncParentDirectory(fileName);
  return 0;
}

int Config::SaveLockName(const char* fileName, char* buffer, int length) {
  if (fileName == nullptr || fileName[0] == '\0' || std::strlen(fileName) > kMaxFileName) {
    return -1;
  }
  if (buffer == nullptr || length <= static_cast<int>(kSaveLockNameMax)) return -1;
  SaveLockNameFor(fileName, buffer);
  return 0;
}

int Config::DumpConfig() {
  WriteRecords(stderr, head_);
  return 0;
}
