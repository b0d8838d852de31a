#include "config/config_index.h"

#include "config/config_text.h"
#include "lib/hash.h"

using orn2::config::EqualNoCase;
using orn2::config::Fold;

namespace {

constexpr size_t kInitialSlots = 64;

// FNV-1a over the folded bytes, with a final mix so the low bits spread.
uint32_t HashName(const char* name) {
  uint64_t hash = orn2::Fnv1a64(name, Fold);
  hash ^= hash >> 29;
  hash *= 0xbf58476d1ce4e5b9ull;
  return static_cast<uint32_t>(hash ^ (hash >> 32));
}

}  // namespace

size_t Config::Index::Probe(const char* fullName, uint32_t hash) const {
  size_t mask = slots_.size() - 1;
  size_t i = hash & mask;
  while (slots_[i].first != nullptr &&
         !(slots_[i].hash == hash && EqualNoCase(slots_[i].first->name, fullName)))
    i = (i + 1) & mask;
  return i;
}

Config::tConfigRecord* Config::Index::Find(const char* fullName) const {
  if (size_ == 0) return nullptr;
  return slots_[Probe(fullName, HashName(fullName))].first;
}

bool Config::Index::Entry(const char* fullName, tConfigRecord** first, size_t* count) const {
  if (size_ == 0) return false;
  const Slot& slot = slots_[Probe(fullName, HashName(fullName))];
  *first = slot.first;
  *count = slot.count;
  return slot.first != nullptr;
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
  uint32_t hash = HashName(record->name);
  Slot& slot = slots_[Probe(record->name, hash)];
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
  size_t i = Probe(record->name, HashName(record->name));
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
