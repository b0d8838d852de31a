// String and number lookups. Every lookup reads the file's status once (the
// reload check) and then finds the first record of the name through the index.
#include <liborn2/config.h>

#include <cctype>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "config/config_index.h"
#include "config/config_text.h"

using namespace orn2::config;

namespace {

// The value as a number: hexadecimal after a lower-case "0x" (32-bit, wrapping,
// a bad digit fails), otherwise the decimal conversion. Decimal values beyond
// the 32-bit range saturate, so the result is the same on every platform.
bool ConvertNumber(const char* value, int32_t* result) {
  if (std::strlen(value) > 2 && value[0] == '0' && value[1] == 'x') {
    uint32_t running = 0;
    for (const char* p = value + 2; *p != '\0'; ++p) {
      char c = static_cast<char>(std::toupper(static_cast<unsigned char>(*p)));
      uint32_t digit;
      if (c >= '0' && c <= '9') {
        digit = static_cast<uint32_t>(c - '0');
      } else if (c >= 'A' && c <= 'F') {
        digit = static_cast<uint32_t>(c - 'A' + 10);
      } else {
        return false;
      }
      running = running * 16u + digit;
    }
    *result = static_cast<int32_t>(running);
    return true;
  }
  long long decimal = std::strtoll(value, nullptr, 10);
  if (decimal > INT32_MAX) decimal = INT32_MAX;
  if (decimal < INT32_MIN) decimal = INT32_MIN;
  *result = static_cast<int32_t>(decimal);
  return true;
}

// The number under a key, or `failure` when the key is missing or its value
// does not convert. The int and long lookups differ only in type and failure value.
template <typename Number>
Number ReadNumber(Config& store, const char* key, const char* section, Number failure) {
  char value[kNumberBuffer];
  int32_t result = 0;
  if (store.GetString(key, value, sizeof value, section) != 0 || !ConvertNumber(value, &result))
    return failure;
  return static_cast<Number>(result);
}

}  // namespace

int Config::GetString(const char* key, char* buffer, int length, const char* section) {
  CheckModified();
  char path[kFullNameBuffer];
  size_t pathLength = FormPath(path, key, section);
  ClearCaller(buffer, length);
  cursor_ = index_->Find(path, pathLength);
  if (cursor_ == nullptr) return -1;
  CopyToCaller(buffer, length, cursor_->value);
  return 0;
}

int Config::GetInteger(const char* key, const char* section) {
  return ReadNumber<int>(*this, key, section, Config::kMissingInteger);
}

long Config::GetLong(const char* key, const char* section) {
  return ReadNumber<long>(*this, key, section, Config::kMissingLong);
}
