#include "config/config_index.h"

#include "config/config_text.h"

namespace orn2::config {

// FNV-1a over the folded bytes.
size_t FoldHash::operator()(std::string_view text) const noexcept {
  uint64_t hash = 14695981039346656037ull;
  for (char c : text) {
    hash ^= Fold(c);
    hash *= 1099511628211ull;
  }
  return static_cast<size_t>(hash ^ (hash >> 32));
}

bool FoldEqual::operator()(std::string_view a, std::string_view b) const noexcept {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (Fold(a[i]) != Fold(b[i])) return false;
  }
  return true;
}

}  // namespace orn2::config

using orn2::config::EqualNoCase;

Config::tConfigRecord* Config::Index::Find(const char* fullName) const {
  auto found = entries.find(std::string_view(fullName));
  return found == entries.end() ? nullptr : found->second.first;
}

void Config::Index::Add(tConfigRecord* record) {
  auto [it, inserted] = entries.try_emplace(std::string_view(record->name), Entry{record, 1});
  if (inserted) return;
  Entry entry = it->second;
  ++entry.count;
  // The new record becomes the first only when it stands before the old first
  // one; records appended at the tail never do.
  tConfigRecord* walk = record->next;
  while (walk != nullptr && walk != entry.first) walk = walk->next;
  if (walk == nullptr) {
    it->second = entry;
    return;
  }
  entry.first = record;
  entries.erase(it);
  entries.emplace(std::string_view(record->name), entry);
}

void Config::Index::Remove(tConfigRecord* record) {
  auto it = entries.find(std::string_view(record->name));
  if (it == entries.end()) return;
  Entry entry = it->second;
  if (entry.first != record) {
    --it->second.count;
    return;
  }
  entries.erase(it);
  if (entry.count <= 1) return;
  // The next record of the same name in list order takes over.
  tConfigRecord* walk = record->next;
  while (walk != nullptr && !(walk->kind == kKeyRecord && EqualNoCase(walk->name, record->name)))
    walk = walk->next;
  if (walk != nullptr) entries.emplace(std::string_view(walk->name), Entry{walk, entry.count - 1});
}
