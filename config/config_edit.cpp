// Editing: setting a key's value (in place, or as a new record placed next to
// its section's records) and removing groups of keys. No edit reloads the file.
#include <liborn2/config.h>

#include <cstring>
#include <string>

#include "config/config_text.h"

using namespace orn2::config;

namespace {

constexpr int kPlaceAtTail = 1;
constexpr int kPlaceAtHead = 2;

using Record = Config::tConfigRecord;

// The record of `section` next to which SetString places a new key (before it
// for kPlaceAtHead, after it otherwise), or null (appended at the tail). A
// record of the section is one whose full name begins with the section name
// over its length (no slash required, as in SectionExists).
Record* SectionAnchor(Record* head, Record* tail, const char* section, int position) {
  if (position == kPlaceAtTail) {
    for (Record* walk = tail; walk != nullptr; walk = walk->previous) {
      if (walk->kind == Config::kKeyRecord && StartsWithNoCase(walk->name, section)) return walk;
    }
    return nullptr;
  }
  for (Record* walk = head; walk != nullptr; walk = walk->next) {
    if (walk->kind == Config::kKeyRecord && StartsWithNoCase(walk->name, section)) return walk;
  }
  return nullptr;
}

bool HasSlash(const Record* record) { return std::strchr(record->name, '/') != nullptr; }

// The first key record from `walk` on (line records are stepped over).
const Record* NextKey(const Record* walk) {
  while (walk != nullptr && walk->kind != Config::kKeyRecord) walk = walk->next;
  return walk;
}

}  // namespace

int Config::SetString(const char* key, const char* value, int reserved, const char* section,
                      int position) {
  key = OrEmpty(key);
  value = OrEmpty(value);
  char path[kFullNameBuffer];
  FormPath(path, key, section);
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
  FormPath(record->name, key, section);
  cursor_ = SectionAnchor(head_, tail_, section, position);
  if (cursor_ == nullptr) {
    AppendNode(record);
  } else if (position == kPlaceAtHead) {
    LinkBefore(cursor_, record);
  } else {
    LinkAfter(cursor_, record);
  }
  return 0;
}

// The save writes a key line "    key=value" under the section line of the
// last key with a section before it, and the load reads it back by the line
// grammar: this checks both ends of that trip, and where SetString would put
// a new record.
int Config::IsStorable(const char* key, const char* value, const char* section, int position,
                       const char** reason) {
  auto refuse = [reason](const char* why) {
    if (reason != nullptr) *reason = why;
    return 0;
  };
  key = OrEmpty(key);
  value = OrEmpty(value);
  if (key[0] == '\0') return refuse("a key must be non-empty");
  for (const char* c = key; *c != '\0'; ++c) {
    if (IsSpace(*c) || *c == '=')
      return refuse("a key must be without blanks or '=' (white space of any kind)");
  }
  // With a null section a key "a/b" is a full name: saved as the key b under [a].
  const char* slash = std::strchr(key, '/');
  const char* written = section == nullptr && slash != nullptr ? slash + 1 : key;
  if (written[0] == '[' || written[0] == '#' || written[0] == ';') {
    return refuse("the key begins with '[', '#' or ';' (read back as a section or a comment)");
  }
  const char* sectionPart = section;
  size_t sectionLength = section == nullptr ? 0 : std::strlen(section);
  if (section == nullptr && slash != nullptr) {
    sectionPart = key;
    sectionLength = static_cast<size_t>(slash - key);
  }
  if (sectionPart != nullptr) {
    if (sectionLength == 0) return refuse("a section name cannot be empty");
    for (size_t i = 0; i < sectionLength; ++i) {
      char c = sectionPart[i];
      if (c == ']' || c == '\r' || c == '\n' || (section != nullptr && c == '/')) {
        return refuse("a section name cannot hold '/', ']' or a line end");
      }
    }
  }
  size_t fullLength = std::strlen(key) + (section == nullptr ? 0 : sectionLength + 1);
  // The texts of the limits, formed once; *reason points into them for good.
  static const std::string kNameTooLong =
      "section/key is longer than " + std::to_string(kMaxFullName) + " characters";
  static const std::string kValueTooLong =
      "the value is longer than " + std::to_string(kMaxValue) + " characters";
  if (fullLength > kMaxFullName) return refuse(kNameTooLong.c_str());

  size_t valueLength = std::strlen(value);
  if (valueLength == 0) return refuse("the value is empty");
  if (valueLength > kMaxValue) return refuse(kValueTooLong.c_str());
  if (std::strpbrk(value, "\r\n") != nullptr) return refuse("the value holds a line end");
  if (IsSpace(value[0]) || value[0] == '=') {
    return refuse("the value begins with white space or '='");
  }
  if (IsSpace(value[valueLength - 1])) return refuse("the value ends in white space");

  // Where the record is, or would go: a key outside sections must stand
  // before every key of a section, and a new key of a section must not come
  // right before a key outside sections, which would be saved under it.
  char path[kFullNameBuffer];
  FormPath(path, key, section);
  const Record* existing = FindKey(path);
  if (existing != nullptr) {
    if (HasSlash(existing)) return 1;
    for (const Record* walk = existing->previous; walk != nullptr; walk = walk->previous) {
      if (walk->kind == kKeyRecord && HasSlash(walk)) {
        return refuse("the key stands after a section in this store and is saved under it");
      }
    }
    return 1;
  }
  if (slash == nullptr && section == nullptr) {
    for (const Record* walk = head_; walk != nullptr; walk = walk->next) {
      if (walk->kind == kKeyRecord && HasSlash(walk)) {
        return refuse("a new key outside sections is saved under the last section: name one");
      }
    }
    return 1;
  }
  if (section == nullptr) return 1;  // a full name, appended at the tail
  Record* anchor = SectionAnchor(head_, tail_, section, position);
  const Record* follower =
      anchor == nullptr ? nullptr : NextKey(position == kPlaceAtHead ? anchor : anchor->next);
  if (follower != nullptr && !HasSlash(follower)) {
    return refuse(
        "the new key would go right before a key outside sections, moving it into "
        "its section");
  }
  return 1;
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
  FormPath(removePattern, prefix, OrEmpty(section));
  FormPath(keepPattern, keepPrefix, OrEmpty(section));
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
  FormPath(path, key, section);
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
