// Writing the store: the file format shared by SaveConfig and DumpConfig, and
// the crash-safe save through a ".New" file and a ".Save" backup.
#include <liborn2/config.h>
#include <liborn2/mutex.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "config/config_text.h"
#include "config/save_lock.h"
#include "port/fs.h"

using namespace orn2::config;

namespace {

// Appends the records from `head` on in the file format. A section line is
// written at every change of section (ignoring case); keys without a slash
// never change the section and so fall under the last one.
void AppendRecords(std::string& out, const Config::tConfigRecord* head) {
  char lastSection[kFullNameBuffer] = "";
  for (const Config::tConfigRecord* walk = head; walk != nullptr; walk = walk->next) {
    if (walk->kind == Config::kLineRecord) {
      out += walk->value;
      out += '\n';
      continue;
    }
    const char* key = walk->name;
    if (const char* slash = std::strchr(walk->name, '/')) {
      size_t n = static_cast<size_t>(slash - walk->name);
      char section[kFullNameBuffer];
      std::memcpy(section, walk->name, n);
      section[n] = '\0';
      if (lastSection[0] == '\0' || !EqualNoCase(lastSection, section)) {
        out += "\n[";
        out.append(section, n);
        out += "]\n";
        std::memcpy(lastSection, section, n + 1);
      }
      key = slash + 1;
    }
    out += "    ";
    out += key;
    out += '=';
    out += walk->value;
    out += '\n';
  }
}

// The save's one line on standard error when a link, a special file or
// another user's file holds a name it needs.
int RefuseTaken(const std::string& name) {
  std::fprintf(stderr, "SaveConfig() Error: [%s] exists and is no file of ours, not saved\n",
               name.c_str());
  return -1;
}

}  // namespace

// The new content reaches stable storage before anything else changes, and
// each name is replaced in one atomic step, so that at no instant is the file
// missing or partial, nor its ".Save" backup missing once there is one: the
// current file gets a second name (a hard link, else a copy) ".Prev", which is
// renamed over ".Save", then ".New" is renamed over the file. A failed write,
// flush or close leaves the file and its backup as they were.
//
// The file keeps its protection: ".New" is created exclusively with the
// file's permission bits, owner and group before a byte of the content is
// written, so the content is never readable by anyone who could not read the
// file; the backup is the previous file itself under another name. A link at
// the file's name is saved through when it may be followed (see
// port::OpenRegularFile): its target is replaced, with the companion files
// beside it, and the link stays.
//
// Saves of one file are serialised across processes by the named mutex
// SaveLockName gives, so two savers never share ".New" or ".Prev". A saver
// killed half-way leaves the mutex abandoned, which the next one takes over;
// the ".New" and ".Prev" it left are removed when they are regular files of
// the saving user's; anything else at those names is refused.
int Config::SaveConfig(const char* fileName) {
  fileName = OrEmpty(fileName);
  if (std::strlen(fileName) > kMaxFileName) return -1;  // no room for the companion names
  std::string target;
  if (!orn2::port::ResolveLinkToWrite(fileName, &target)) {
    std::fprintf(stderr,
                 "SaveConfig() Error: [%s] is a link that is not followed here, not saved\n",
                 fileName);
    return -1;
  }
  const char* path = target.c_str();
  // Only a regular file (or none yet) is replaced: a FIFO, directory, device or
  // socket at the path is refused before anything else happens.
  orn2::port::FileHandle current{};
  orn2::port::OpenOutcome found =
      orn2::port::OpenRegularFile(path, orn2::port::FileAccess::kRead, &current, nullptr);
  if (found == orn2::port::OpenOutcome::kNotRegular) return -1;
  if (found == orn2::port::OpenOutcome::kOpened) orn2::port::CloseFile(current);

  char lockName[kSaveLockNameMax + 1];
  SaveLockNameFor(fileName, lockName);
  Mutex lock(lockName);
  Guard hold(lock);

  const std::string newName = target + ".New";
  const std::string linkName = target + ".Prev";
  const std::string backupName = target + ".Save";

  if (!orn2::port::RemoveOwnLeftover(linkName.c_str())) return RefuseTaken(linkName);
  orn2::port::FileHandle fresh{};
  // Protected like the file, also one this user cannot read; a new file as the umask says.
  if (orn2::port::CreateExclusive(newName.c_str(), path, true, &fresh) !=
      orn2::port::OpenOutcome::kOpened) {
    return errno == EEXIST ? RefuseTaken(newName) : -1;
  }
  std::string text;
  AppendRecords(text, head_);
  std::FILE* out = orn2::port::TextStream(fresh, orn2::port::FileAccess::kCreate);
  bool written = out != nullptr && std::fwrite(text.data(), 1, text.size(), out) == text.size() &&
                 orn2::port::SyncFile(out);
  if (out != nullptr && std::fclose(out) != 0) written = false;
  if (!written) {
    std::remove(newName.c_str());
    return -1;
  }

  // Failures here are ignored: there may be no file yet, and a backup that
  // cannot be made must not stop the save. The old backup stays until the new
  // one replaces it.
  if (orn2::port::LinkOrCopyFile(path, linkName.c_str())) {
    if (!orn2::port::ReplaceWaitingForReaders(linkName.c_str(), backupName.c_str())) {
      std::remove(linkName.c_str());
    }
  }

  if (!orn2::port::ReplaceKeepingProtection(newName.c_str(), path)) {
    std::fprintf(stderr, "Whilst saving config: %s\n", std::strerror(errno));
    return -1;
  }
  orn2::port::SyncParentDirectory(path);
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
  std::string text;
  AppendRecords(text, head_);
  std::fwrite(text.data(), 1, text.size(), stderr);
  return 0;
}

int Config::RenderText(std::string& text) {
  text.clear();
  AppendRecords(text, head_);
  return 0;
}
