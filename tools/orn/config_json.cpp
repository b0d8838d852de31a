// config dump --json: the saved text of a store as JSON records.
#include <string>

#include "orn/json.h"

namespace orn {

std::string ConfigRecordsJson(const std::string& text) {
  std::string out = "{\"records\":[";
  std::string section;
  bool inSection = false;
  bool first = true;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    const std::string line = text.substr(start, end - start);
    start = end + 1;
    const size_t lead = line.find_first_not_of(" \t");
    if (lead == std::string::npos) continue;
    std::string record;
    if (line[lead] == '#' || line[lead] == ';') {
      record = "{\"comment\":" + JsonString(line) + "}";
    } else if (lead == 0 && line[0] == '[' && line.back() == ']') {
      section = line.substr(1, line.size() - 2);
      inSection = true;
      continue;
    } else {
      // A saved key line is "    key=value"; keys hold no '='.
      const size_t equals = line.find('=', lead);
      const std::string key =
          line.substr(lead, equals == std::string::npos ? std::string::npos : equals - lead);
      const std::string value = equals == std::string::npos ? "" : line.substr(equals + 1);
      record = "{\"section\":" + (inSection ? JsonString(section) : std::string("null")) +
               ",\"key\":" + JsonString(key) + ",\"value\":" + JsonString(value) + "}";
    }
    if (!first) out += ',';
    out += record;
    first = false;
  }
  return out + "]}";
}

}  // namespace orn
