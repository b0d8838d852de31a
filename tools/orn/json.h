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

// The records of a configuration store as JSON, read back from the text that
// SaveConfig writes the way a load reads it: section lines set the section of
// the keys below them, kept comments stay records of their own, and empty lines
// only lay the text out. {"records":[{"section":S,"key":K,"value":V},
// {"comment":C},...]}, the section null for keys before any section line.
std::string ConfigRecordsJson(const std::string& savedText);

}  // namespace orn

#endif  // ORN_TOOLS_JSON_H
