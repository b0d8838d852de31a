// The lookup index of Config: from the case-folded full name of a key record
// to the first key record of that name in list order, with the number of key
// records that carry the name. It answers GetString and SetString in constant
// time; first-match-wins is kept because the entry always names the record
// that a walk from the head would meet first.
#ifndef ORN2_CONFIG_CONFIG_INDEX_H
#define ORN2_CONFIG_CONFIG_INDEX_H

#include <liborn2/config.h>

#include <cstddef>
#include <cstdint>
#include <vector>

// An open-addressing table with linear probing. Slots hold the name's hash
// and point at the first record, whose name field is the key; nothing is
// allocated per name, and a lookup hashes the caller's path without copying it.
struct Config::Index {
  tConfigRecord* Find(const char* fullName) const;
  // The same for a name whose length is known.
  tConfigRecord* Find(const char* fullName, size_t length) const;
  // Call after the key record was linked into the list.
  void Add(tConfigRecord* record);
  // Call while the key record is still linked into the list.
  void Remove(tConfigRecord* record);
  void Clear();
  // Makes room for `names` names without growing on the way.
  void Reserve(size_t names);

  // What the reload check compares beyond the whole seconds of the published
  // modification time: the rest of the loaded file's time and its identity.
  // Kept here, in the store's one private allocation, so that Config's
  // published fields and size stay as they were. Not touched by Clear.
  struct LoadedFile {
    int32_t nanoseconds = 0;
    uint64_t device = 0;
    uint64_t fileId = 0;
  };
  LoadedFile loadedFile;

  // For the tests' consistency checks: the number of names and the entry of
  // one name. Entry is defined beside ConfigProbe, outside the library.
  size_t Size() const { return size_; }
  bool Entry(const char* fullName, tConfigRecord** first, size_t* count) const;

 private:
  struct Slot {
    tConfigRecord* first;  // null: the slot is free
    uint32_t hash;
    uint32_t count;
  };
  // The slot holding the name, or the free slot where it would go.
  size_t SlotOf(const char* fullName, uint32_t hash) const;
  // The same for a name whose hash is not known yet.
  size_t SlotOfName(const char* fullName, size_t length) const;
  void Rehash(size_t slotCount);

  std::vector<Slot> slots_;
  size_t size_ = 0;
};

#endif  // ORN2_CONFIG_CONFIG_INDEX_H
