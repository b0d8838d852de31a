#include "log/mutex_name.h"

#include <cstdint>
#include <cstdio>
#include <cstring>

namespace orn2::log {
namespace {

constexpr char kNamePrefix[] = "ornlog-";
constexpr size_t kHashDigits = 16;

uint64_t Fnv1a64(const char* text) {
  uint64_t hash = 14695981039346656037ull;
  for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p != 0; ++p) {
    hash ^= *p;
    hash *= 1099511628211ull;
  }
  return hash;
}

bool IsNameCharacter(unsigned char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '.' ||
         c == '_' || c == '-';
}

}  // namespace

void MutexNameForFile(const char* fileName, char* out) {
  if (fileName == nullptr) fileName = "";
  uint64_t hash = Fnv1a64(fileName);
  int head = std::snprintf(out, kMutexNameMax + 1, "%s%08lx%08lx-", kNamePrefix,
                           static_cast<unsigned long>(hash >> 32),
                           static_cast<unsigned long>(hash & 0xFFFFFFFFu));
  size_t used = head > 0 ? static_cast<size_t>(head) : 0;
  static_assert(sizeof kNamePrefix - 1 + kHashDigits + 1 < kMutexNameMax, "room for a tail");

  // The tail is the end of the path: the file's own name is the readable part.
  size_t length = std::strlen(fileName);
  size_t room = kMutexNameMax - used;
  const char* tail = fileName + (length > room ? length - room : 0);
  for (; *tail != 0 && used < kMutexNameMax; ++tail, ++used) {
    unsigned char c = static_cast<unsigned char>(*tail);
    out[used] = IsNameCharacter(c) ? static_cast<char>(c) : '_';
  }
  out[used] = '\0';
}

}  // namespace orn2::log
