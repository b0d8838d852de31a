// A test seam: lets tests and the fuzz target read a store's record list and
// check that its links and its index agree with it. Built into the static twin
// the tests link, never into the shared library.
#ifndef ORN2_CONFIG_CONFIG_PROBE_H
#define ORN2_CONFIG_CONFIG_PROBE_H

#include <liborn2/config.h>

#include <string>
#include <vector>

namespace orn2::config {

struct ConfigProbe {
  struct Record {
    std::string name;
    std::string value;
    int kind;
    bool operator==(const Record& o) const {
      return name == o.name && value == o.value && kind == o.kind;
    }
  };

  // The records from head to tail.
  static std::vector<Record> Records(const Config& config);

  // Empty when the list's links (both directions, head and tail) and the index
  // agree with a walk from the head; otherwise what is wrong.
  static std::string CheckConsistency(const Config& config);

  static long long ModificationTime(const Config& config) { return config.modificationTime_; }
  static const char* FileName(const Config& config) { return config.fileName_; }
};

}  // namespace orn2::config

#endif  // ORN2_CONFIG_CONFIG_PROBE_H
