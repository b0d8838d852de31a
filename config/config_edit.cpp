// Editing: setting a key's value (in place, or as a new record placed next to
// its section's records) and removing groups of keys. No edit reloads the file.
#include <liborn2/config.h>

#include <cstdio>
#include <cstring>

#include "config/config_text.h"

using namespace orn2::config;

namespace {

constexpr int kPlaceAtTail = 1;
constexpr int kPlaceAtHead = 2;

}  // namespace

int Config::SetString(const char* key, const char* value, int reserved, const char* section,
                      int position) {
  key = OrEmpty(key);
  value = OrEmpty(value);
  char path[kFullNameBuffer];
  if (section != nullptr) {
    std::snprintf(path, sizeof path, "%s/%s", section, key);
  } else {
    std::snprintf(path, sizeof path, "%s", key);
  }
  cursor_ = FindKey(path);
  if (cursor_ != nullptr) {
    // The record keeps its place and its name as written.
    std::memset(cursor_->value, 0, sizeof cursor_->value);
    CopyCut(cursor_->value, value, kMaxValue);
    return 0;
  }

  auto* record = new tConfigRecord();
  CopyCut(record->value, value, kMaxValue);
  record->kind = kKeyRecord;
  // An empty section was looked up as "/key" above but is created as the key
  // alone, so each such call appends one more record.
  if (section == nullptr || section[0] == '\0') {
    CopyCut(record->name, key, kMaxFullName);
    AppendNode(record);
    return 0;
  }
  std::snprintf(record->name, kFullNameBuffer, "%s/%s", section, key);

  // A record of the section is one whose full name begins with the section
  // name over its length (no slash required, as in SectionExists).
  cursor_ = nullptr;
  if (position == kPlaceAtTail) {
    for (tConfigRecord* walk = tail_; walk != nullptr; walk = walk->previous) {
      if (walk->kind == kKeyRecord && StartsWithNoCase(walk->name, section)) {
        cursor_ = walk;
        break;
      }
    }
  } else {
    for (tConfigRecord* walk = head_; walk != nullptr; walk = walk->next) {
      if (walk->kind == kKeyRecord && StartsWithNoCase(walk->name, section)) {
        cursor_ = walk;
        break;
      }
    }
  }
  if (cursor_ == nullptr) {
    AppendNode(record);
  } else if (position == kPlaceAtHead) {
    LinkBefore(cursor_, record);
  } else {
    LinkAfter(cursor_, record);
  }
  return 0;
}

int Config::SetStringAtTail(const char* key, const char* value, int reserved, const char* section) {
  return SetString(key, value, reserved, section, kPlaceAtTail);
}

int Config::SetStringAtHead(const char* key, const char* value, int reserved, const char* section) {
  return SetString(key, value, reserved, section, kPlaceAtHead);
}

// Both patterns include the section and its slash, so removal never reaches
// another section; an empty keep prefix protects the whole section.
int Config::RemoveRecords(const char* section, const char* prefix, const char* keepPrefix) {
  char removePattern[kFullNameBuffer];
  char keepPattern[kFullNameBuffer];
  std::snprintf(removePattern, sizeof removePattern, "%s/%s", OrEmpty(section), OrEmpty(prefix));
  std::snprintf(keepPattern, sizeof keepPattern, "%s/%s", OrEmpty(section), OrEmpty(keepPrefix));
  if (head_ == nullptr) return 0;
  cursor_ = head_;
  while (cursor_ != nullptr) {
    tConfigRecord* following = cursor_->next;
    if (cursor_->kind == kKeyRecord && !StartsWithNoCase(cursor_->name, keepPattern) &&
        StartsWithNoCase(cursor_->name, removePattern)) {
      Unlink(cursor_);
      delete cursor_;
    }
    cursor_ = following;
  }
  nextKey_ = head_;
  nextSection_ = head_;
  return 0;
}

int Config::RemoveKey(const char* key, const char* section) {
  char path[kFullNameBuffer];
  if (section != nullptr) {
    std::snprintf(path, sizeof path, "%s/%s", section, OrEmpty(key));
  } else {
    std::snprintf(path, sizeof path, "%s", OrEmpty(key));
  }
  // Every record of that name goes (a file may hold a key twice); longer keys
  // that begin with it stay.
  int removed = 0;
  const size_t length = std::strlen(path);
  cursor_ = head_;
  while (cursor_ != nullptr) {
    tConfigRecord* following = cursor_->next;
    if (cursor_->kind == kKeyRecord && std::strlen(cursor_->name) == length &&
        StartsWithNoCase(cursor_->name, path)) {
      Unlink(cursor_);
      delete cursor_;
      ++removed;
    }
    cursor_ = following;
  }
  nextKey_ = head_;
  nextSection_ = head_;
  return removed > 0 ? 0 : -1;
}
