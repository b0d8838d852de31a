// Text helpers of the configuration store: the white space test, comparisons
// that ignore case, and bounded copies into the store's fixed fields.
#ifndef ORN2_CONFIG_CONFIG_TEXT_H
#define ORN2_CONFIG_CONFIG_TEXT_H

#include <liborn2/config.h>

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace orn2::config {

// The limits of the public header, as sizes. The lookup path is formed in a
// 128-byte buffer, so a name is cut to 127 characters wherever it is formed
// (load, lookup, edit): a name that was cut can then still be found by the
// same key.
constexpr size_t kMaxFullName = Config::kNameMax;
constexpr size_t kMaxValue = Config::kValueMax;
constexpr size_t kFullNameBuffer = kMaxFullName + 1;
// A configuration file name, leaving room for ".Save" or ".New" in 255.
constexpr size_t kMaxFileName = Config::kFileNameMax;
constexpr size_t kFileNameBuffer = Config::kFileNameSize;
// Lines are read in pieces of at most 1023 characters.
constexpr size_t kLineBuffer = 1024;
// The integer lookups read the value through a buffer of this size.
constexpr size_t kNumberBuffer = 1024;

// Only the six characters of the C locale count as white space; bytes above
// 0x7F never do, whatever the process's locale.
inline bool IsSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// Case is folded for the ASCII letters only, as in the C locale.
inline unsigned char Fold(char c) {
  unsigned char u = static_cast<unsigned char>(c);
  return (u >= 'A' && u <= 'Z') ? static_cast<unsigned char>(u + ('a' - 'A')) : u;
}

// Equal ignoring case.
inline bool EqualNoCase(const char* a, const char* b) {
  for (;; ++a, ++b) {
    if (*a == *b) {
      if (*a == '\0') return true;
    } else if (Fold(*a) != Fold(*b)) {
      return false;
    }
  }
}

// True when `text` begins with `prefix`, ignoring case.
inline bool StartsWithNoCase(const char* text, const char* prefix) {
  for (; *prefix != '\0'; ++text, ++prefix) {
    if (Fold(*text) != Fold(*prefix)) return false;
  }
  return true;
}

// Copies n bytes. Defined out of line on purpose: a memcpy whose size the
// compiler can bound gets inlined as "rep movs", whose start-up cost dominates
// the short copies of names and values; the library's memcpy does not pay it.
void CopyBytes(char* target, const char* source, size_t n);

// Copies at most `maxLength` characters of `source` and terminates; `target`
// holds at least maxLength + 1 bytes.
inline void CopyCut(char* target, const char* source, size_t maxLength) {
  size_t n = strnlen(source, maxLength);
  CopyBytes(target, source, n);
  target[n] = '\0';
}

// Forms "first/second" (or `first` alone when `second` is null) in a buffer of
// kFullNameBuffer bytes, cut to kMaxFullName characters: what snprintf with
// "%s/%s" into that buffer gives, without its cost on every lookup. Returns
// the name's length.
inline size_t JoinName(char* target, const char* first, size_t firstLength, const char* second,
                       size_t secondLength) {
  size_t n = firstLength < kMaxFullName ? firstLength : kMaxFullName;
  CopyBytes(target, first, n);
  if (second != nullptr && n < kMaxFullName) {
    target[n++] = '/';
    size_t room = kMaxFullName - n;
    size_t m = secondLength < room ? secondLength : room;
    CopyBytes(target + n, second, m);
    n += m;
  }
  target[n] = '\0';
  return n;
}

// Null arguments are taken as empty texts, so that no operation dereferences one.
inline const char* OrEmpty(const char* text) { return text == nullptr ? "" : text; }

// Forms the path of a key, "section/key", or the key alone for a null
// section (a null key counts as empty), in a buffer of kFullNameBuffer bytes;
// returns its length. Every lookup, edit and removal names its record so.
inline size_t FormPath(char* path, const char* key, const char* section) {
  key = OrEmpty(key);
  if (section != nullptr)
    return JoinName(path, section, std::strlen(section), key, std::strlen(key));
  return JoinName(path, key, std::strlen(key), nullptr, 0);
}

// Copies into a caller's buffer of `length` bytes: cut to length - 1
// characters and terminated; nothing is written when length is not positive.
inline void CopyToCaller(char* buffer, int length, const char* source) {
  if (buffer == nullptr || length <= 0) return;
  CopyCut(buffer, source, static_cast<size_t>(length) - 1);
}

// Fills a caller's buffer of `length` bytes with zeros.
inline void ClearCaller(char* buffer, int length) {
  if (buffer != nullptr && length > 0) std::memset(buffer, 0, static_cast<size_t>(length));
}

}  // namespace orn2::config

#endif  // ORN2_CONFIG_CONFIG_TEXT_H
