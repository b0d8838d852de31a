// Enumeration of sections and keys, and the section test. These walk the list
// in memory; none of them reloads the file.
#include <liborn2/config.h>

#include <cstdio>
#include <cstring>

#include "config/config_text.h"

using namespace orn2::config;

namespace {

// The section part of a full name: the text before its first slash, or the
// whole name when it has none.
void SectionPart(char* target, const char* fullName) {
  size_t n = std::strcspn(fullName, "/");
  if (n > kMaxFullName) n = kMaxFullName;
  std::memcpy(target, fullName, n);
  target[n] = '\0';
}

// The key name of a full name under a section name of `sectionLength`
// characters: what follows the section name and the one separator after it.
const char* KeyPart(const char* fullName, size_t sectionLength) {
  size_t n = std::strlen(fullName);
  return n > sectionLength ? fullName + sectionLength + 1 : fullName + n;
}

}  // namespace

char* Config::GetFirstSection() {
  nextSection_ = nullptr;
  for (cursor_ = head_; cursor_ != nullptr; cursor_ = cursor_->next) {
    if (cursor_->kind != kKeyRecord) continue;
    char part[kFullNameBuffer];
    SectionPart(part, cursor_->name);
    std::memset(currentSection_, 0, sizeof currentSection_);
    CopyCut(currentSection_, part, sizeof currentSection_ - 1);
    nextSection_ = cursor_->next;
    return currentSection_;
  }
  return nullptr;
}

// A section is reported once for each run of its key records.
char* Config::GetNextSection() {
  if (nextSection_ == nullptr) return nullptr;
  for (cursor_ = nextSection_; cursor_ != nullptr; cursor_ = cursor_->next) {
    if (cursor_->kind != kKeyRecord) continue;
    char part[kFullNameBuffer];
    SectionPart(part, cursor_->name);
    if (EqualNoCase(part, currentSection_)) continue;
    std::memset(currentSection_, 0, sizeof currentSection_);
    CopyCut(currentSection_, part, sizeof currentSection_ - 1);
    nextSection_ = cursor_->next;
    return currentSection_;
  }
  nextSection_ = nullptr;
  return nullptr;
}

// The name is compared over its own length, no slash required: "soa" exists
// when the section "soap" does.
int Config::SectionExists(const char* section) {
  section = OrEmpty(section);
  for (cursor_ = head_; cursor_ != nullptr; cursor_ = cursor_->next) {
    if (cursor_->kind == kKeyRecord && StartsWithNoCase(cursor_->name, section)) return 1;
  }
  return 0;
}

// Like SectionExists, no slash is required after the section name, so "soa"
// applied to "soap/port" yields the key "/port".
int Config::GetFirstKey(const char* section, char* buffer, int length) {
  section = OrEmpty(section);
  nextKey_ = nullptr;
  if (head_ == nullptr) return 0;
  ClearCaller(buffer, length);
  for (cursor_ = head_; cursor_ != nullptr; cursor_ = cursor_->next) {
    if (cursor_->kind != kKeyRecord || !StartsWithNoCase(cursor_->name, section)) continue;
    CopyToCaller(buffer, length, KeyPart(cursor_->name, std::strlen(section)));
    nextKey_ = cursor_->next;
    return 1;
  }
  return 0;
}

// Walks to the end of the list, so keys of a section that stands in two
// places are all met, in list order.
int Config::GetNextKey(const char* section, char* buffer, int length) {
  section = OrEmpty(section);
  if (nextKey_ == nullptr) return 0;
  ClearCaller(buffer, length);
  char pattern[kFullNameBuffer + 1];
  std::snprintf(pattern, sizeof pattern, "%s/", section);
  for (cursor_ = nextKey_; cursor_ != nullptr; cursor_ = cursor_->next) {
    if (cursor_->kind != kKeyRecord || !StartsWithNoCase(cursor_->name, pattern)) continue;
    CopyToCaller(buffer, length, KeyPart(cursor_->name, std::strlen(section)));
    nextKey_ = cursor_->next;
    return 1;
  }
  nextKey_ = nullptr;
  return 0;
}
