#include "config/config_probe.h"

#include <cstring>
#include <map>

#include "config/config_index.h"
#include "config/config_text.h"

bool Config::Index::Entry(const char* fullName, tConfigRecord** first, size_t* count) const {
  if (size_ == 0) return false;
  const Slot& slot = slots_[SlotOfName(fullName, std::strlen(fullName))];
  *first = slot.first;
  *count = slot.count;
  return slot.first != nullptr;
}

namespace orn2::config {

std::vector<ConfigProbe::Record> ConfigProbe::Records(const Config& config) {
  std::vector<Record> records;
  for (const Config::tConfigRecord* walk = config.head_; walk != nullptr; walk = walk->next)
    records.push_back(Record{walk->name, walk->value, walk->kind});
  return records;
}

std::string ConfigProbe::CheckConsistency(const Config& config) {
  const Config::tConfigRecord* previous = nullptr;
  // Folded name -> first record and count, as a walk from the head sees them.
  std::map<std::string, std::pair<const Config::tConfigRecord*, size_t>> expected;
  for (const Config::tConfigRecord* walk = config.head_; walk != nullptr; walk = walk->next) {
    if (walk->previous != previous) return std::string("bad previous link at ") + walk->name;
    if (walk->kind == Config::kKeyRecord) {
      std::string folded;
      for (const char* p = walk->name; *p != '\0'; ++p)
        folded.push_back(static_cast<char>(Fold(*p)));
      auto& slot = expected[folded];
      if (slot.second++ == 0) slot.first = walk;
    }
    previous = walk;
  }
  if (config.tail_ != previous) return "tail is not the last record";
  if (config.index_->Size() != expected.size()) return "index holds a different number of names";
  for (const auto& [folded, slot] : expected) {
    Config::tConfigRecord* first = nullptr;
    size_t count = 0;
    if (!config.index_->Entry(folded.c_str(), &first, &count)) return "index misses " + folded;
    if (first != slot.first) return "index names another record for " + folded;
    if (count != slot.second) return "index counts wrong for " + folded;
  }
  return std::string();
}

}  // namespace orn2::config
