#include "config/config_index.h"

#include <cstring>

#include "config/config_text.h"

using orn2::config::EqualNoCase;
using orn2::config::Fold;

namespace {

constexpr size_t kInitialSlots = 64;

// Eight bytes with the ASCII upper-case letters folded to lower case, as Fold
// does byte by byte: a byte gets 0x20 added when it lies from 'A' to 'Z'.
uint64_t FoldWord(uint64_t word) {
  constexpr uint64_t kLow7 = 0x7f7f7f7f7f7f7f7full;
  constexpr uint64_t kHigh = 0x8080808080808080ull;
  uint64_t low = word & kLow7;
  uint64_t atLeastA = low + 0x3f3f3f3f3f3f3f3full;  // high bit set from 'A' (0x41) on
  uint64_t aboveZ = low + 0x2525252525252525ull;    // high bit set from '[' (0x5B) on
  uint64_t upper = atLeastA & ~aboveZ & ~word & kHigh;
  return word | (upper >> 2);
}

// A multiplicative hash over the folded name, eight bytes per step (the
// lookup pays for it on every GetString), with a final mix so the low bits
// spread.
uint32_t HashName(const char* name, size_t length) {
  uint64_t hash = 0x9e3779b97f4a7c15ull ^ length;
  size_t at = 0;
  for (; at + 8 <= length; at += 8) {
    uint64_t word;
    std::memcpy(&word, name + at, 8);
    hash = (hash ^ FoldWord(word)) * 0xbf58476d1ce4e5b9ull;
    hash ^= hash >> 31;
  }
  uint64_t rest = 0;
  for (size_t i = 0; at + i < length; ++i)
    rest |= static_cast<uint64_t>(Fold(name[at + i])) << (8 * i);
  hash = (hash ^ rest) * 0x94d049bb133111ebull;
  hash ^= hash >> 29;
  hash *= 0xbf58476d1ce4e5b9ull;
  return static_cast<uint32_t>(hash ^ (hash >> 32));
}

}  // namespace

size_t Config::Index::SlotOf(const char* fullName, uint32_t hash) const {
  size_t mask = slots_.size() - 1;
  size_t i = hash & mask;
  // Names are mostly looked up as they are written: the byte comparison
  // decides those at once.
  while (slots_[i].first != nullptr &&
         !(slots_[i].hash == hash && (std::strcmp(slots_[i].first->name, fullName) == 0 ||
                                      EqualNoCase(slots_[i].first->name, fullName))))
    i = (i + 1) & mask;
  return i;
}

size_t Config::Index::SlotOfName(const char* fullName, size_t length) const {
  return SlotOf(fullName, HashName(fullName, length));
}

Config::tConfigRecord* Config::Index::Find(const char* fullName) const {
  return Find(fullName, std::strlen(fullName));
}

Config::tConfigRecord* Config::Index::Find(const char* fullName, size_t length) const {
  if (size_ == 0) return nullptr;
  return slots_[SlotOfName(fullName, length)].first;
}

void Config::Index::Rehash(size_t slotCount) {
  std::vector<Slot> old;
  old.swap(slots_);
  slots_.assign(slotCount, Slot{nullptr, 0, 0});
  size_t mask = slots_.size() - 1;
  for (const Slot& slot : old) {
    if (slot.first == nullptr) continue;
    size_t i = slot.hash & mask;
    while (slots_[i].first != nullptr) i = (i + 1) & mask;
    slots_[i] = slot;
  }
}

void Config::Index::Reserve(size_t names) {
  size_t slotCount = slots_.empty() ? kInitialSlots : slots_.size();
  while (slotCount < names * 2) slotCount *= 2;
  if (slotCount != slots_.size()) Rehash(slotCount);
}

void Config::Index::Add(tConfigRecord* record) {
  if ((size_ + 1) * 2 > slots_.size()) Rehash(slots_.empty() ? kInitialSlots : slots_.size() * 2);
  uint32_t hash = HashName(record->name, std::strlen(record->name));
  Slot& slot = slots_[SlotOf(record->name, hash)];
  if (slot.first == nullptr) {
    slot = Slot{record, hash, 1};
    ++size_;
    return;
  }
  ++slot.count;
  // The new record becomes the first only when it stands before the old first
  // one; records appended at the tail never do.
  tConfigRecord* walk = record->next;
  while (walk != nullptr && walk != slot.first) walk = walk->next;
  if (walk != nullptr) slot.first = record;
}

void Config::Index::Remove(tConfigRecord* record) {
  if (size_ == 0) return;
  size_t mask = slots_.size() - 1;
  size_t i = SlotOfName(record->name, std::strlen(record->name));
  Slot& slot = slots_[i];
  if (slot.first == nullptr) return;
  if (slot.count > 1) {
    --slot.count;
    if (slot.first == record) {
      // The next record of the same name in list order takes over.
      tConfigRecord* walk = record->next;
      while (walk != nullptr &&
             !(walk->kind == kKeyRecord && EqualNoCase(walk->name, record->name)))
        walk = walk->next;
      slot.first = walk;
    }
    return;
  }
  // Free the slot and shift later members of its probe run back into the gap.
  --size_;
  for (size_t j = i;;) {
    j = (j + 1) & mask;
    if (slots_[j].first == nullptr) break;
    size_t home = slots_[j].hash & mask;
    bool stays = (i <= j) ? (i < home && home <= j) : (i < home || home <= j);
    if (!stays) {
      slots_[i] = slots_[j];
      i = j;
    }
  }
  slots_[i] = Slot{nullptr, 0, 0};
}

void Config::Index::Clear() {
  slots_.clear();
  size_ = 0;
}
