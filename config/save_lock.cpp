#include "config/save_lock.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "port/fs.h"
#include "util/hash.h"

namespace orn2::config {
namespace {

constexpr char kNamePrefix[] = "ornconf-";

bool IsNameCharacter(unsigned char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '.' ||
         c == '_' || c == '-';
}

}  // namespace

void SaveLockNameFor(const char* fileName, char* out) {
  // A link that a save follows is named by its target, which the save
  // replaces; a link that it refuses by its own name.
  std::string target, path;
  if (!orn2::port::ResolveLinkToWrite(fileName, &target)) target = fileName;
  if (!orn2::port::CanonicalPath(target.c_str(), &path)) path = target;
  uint64_t hash = orn2::Fnv1a64(path.data(), path.size());
  int head = std::snprintf(out, kSaveLockNameMax + 1, "%s%08lx%08lx-", kNamePrefix,
                           static_cast<unsigned long>(hash >> 32),
                           static_cast<unsigned long>(hash & 0xFFFFFFFFu));
  size_t used = head > 0 ? static_cast<size_t>(head) : 0;
  // The tail is the end of the path: the file's own name is the readable part.
  size_t room = kSaveLockNameMax - used;
  size_t start = path.size() > room ? path.size() - room : 0;
  for (size_t i = start; i < path.size(); ++i, ++used) {
    unsigned char c = static_cast<unsigned char>(path[i]);
    out[used] = IsNameCharacter(c) ? static_cast<char>(c) : '_';
  }
  out[used] = '\0';
}

}  // namespace orn2::config
