// The lookup index of Config: from the case-folded full name of a key record
// to the first key record of that name in list order, with the number of key
// records that carry the name. It answers GetString and SetString in constant
// time; first-match-wins is kept because the entry always names the record
// that a walk from the head would meet first.
#ifndef ORN2_CONFIG_CONFIG_INDEX_H
#define ORN2_CONFIG_CONFIG_INDEX_H

#include <liborn2/config.h>

#include <cstddef>
#include <string_view>
#include <unordered_map>

namespace orn2::config {

struct FoldHash {
  size_t operator()(std::string_view text) const noexcept;
};

struct FoldEqual {
  bool operator()(std::string_view a, std::string_view b) const noexcept;
};

}  // namespace orn2::config

struct Config::Index {
  struct Entry {
    tConfigRecord* first;
    size_t count;
  };

  // Keys view the name field of the entry's first record, which stays in the
  // list (and so alive) for as long as the entry names it.
  std::unordered_map<std::string_view, Entry, orn2::config::FoldHash, orn2::config::FoldEqual>
      entries;

  tConfigRecord* Find(const char* fullName) const;
  // Call after the key record was linked into the list.
  void Add(tConfigRecord* record);
  // Call while the key record is still linked into the list.
  void Remove(tConfigRecord* record);
  void Clear() { entries.clear(); }
};

#endif  // ORN2_CONFIG_CONFIG_INDEX_H
