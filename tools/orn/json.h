// Text for the --json options: one JSON object per run, on one line.
#ifndef ORN_TOOLS_JSON_H
#define ORN_TOOLS_JSON_H

#include <string>
#include <vector>

namespace orn {

// The text as a JSON string, quotes included. Names and values are in the
// system's code page: valid UTF-8 passes through, and any other byte of 0x80
// or above is written as the character of that number (reading the text as
// Latin-1), so that the output is always valid JSON.
std::string JsonString(const std::string& text);

// ["a","b"]: each text as a JSON string.
std::string JsonStrings(const std::vector<std::string>& texts);

}  // namespace orn

#endif  // ORN_TOOLS_JSON_H
