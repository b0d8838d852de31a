// The library's one string hash, 64-bit FNV-1a: the configuration index and
// the names of shared system objects derive from it.
#ifndef ORN2_UTIL_HASH_H
#define ORN2_UTIL_HASH_H

#include <cstddef>
#include <cstdint>

namespace orn2 {

constexpr uint64_t kFnv1a64Basis = 14695981039346656037ull;
constexpr uint64_t kFnv1a64Prime = 1099511628211ull;

// Hashes the bytes of a null-terminated text, each passed through `map` first
// (such as a case fold, so that names equal ignoring case hash alike).
template <typename Map>
inline uint64_t Fnv1a64(const char* text, Map map) {
  uint64_t hash = kFnv1a64Basis;
  for (; *text != '\0'; ++text) {
    hash ^= static_cast<unsigned char>(map(*text));
    hash *= kFnv1a64Prime;
  }
  return hash;
}

// Hashes the bytes of a null-terminated text.
inline uint64_t Fnv1a64(const char* text) {
  return Fnv1a64(text, [](char c) { return static_cast<unsigned char>(c); });
}

// Hashes `length` bytes, null bytes included.
inline uint64_t Fnv1a64(const char* data, size_t length) {
  uint64_t hash = kFnv1a64Basis;
  for (size_t i = 0; i < length; ++i) {
    hash ^= static_cast<unsigned char>(data[i]);
    hash *= kFnv1a64Prime;
  }
  return hash;
}

}  // namespace orn2

#endif  // ORN2_UTIL_HASH_H
