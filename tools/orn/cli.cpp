#include "orn/cli.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace orn {

Args::Args(int argc, char** argv, int first) {
  bool dashes = false;
  for (int i = first; i < argc; ++i) {
    if (!dashes && std::strcmp(argv[i], "--") == 0) {
      dashes = true;
      continue;
    }
    words_.emplace_back(argv[i]);
    afterDashes_.push_back(dashes);
  }
}

bool Args::TakeOption(const char* name, std::string& value) {
  const std::string flag = std::string("--") + name;
  for (size_t i = 0; i < words_.size(); ++i) {
    if (afterDashes_[i]) break;
    const std::string& word = words_[i];
    if (word == flag) {
      if (i + 1 >= words_.size()) {
        if (error_.empty()) error_ = "option " + flag + " needs a value";
        words_.erase(words_.begin() + static_cast<long>(i));
        afterDashes_.erase(afterDashes_.begin() + static_cast<long>(i));
        return false;
      }
      value = words_[i + 1];
      words_.erase(words_.begin() + static_cast<long>(i),
                   words_.begin() + static_cast<long>(i) + 2);
      afterDashes_.erase(afterDashes_.begin() + static_cast<long>(i),
                         afterDashes_.begin() + static_cast<long>(i) + 2);
      return true;
    }
    if (word.compare(0, flag.size() + 1, flag + "=") == 0) {
      value = word.substr(flag.size() + 1);
      words_.erase(words_.begin() + static_cast<long>(i));
      afterDashes_.erase(afterDashes_.begin() + static_cast<long>(i));
      return true;
    }
  }
  return false;
}

bool Args::TakeFlag(const char* name) {
  const std::string flag = std::string("--") + name;
  for (size_t i = 0; i < words_.size(); ++i) {
    if (afterDashes_[i]) break;
    if (words_[i] == flag) {
      words_.erase(words_.begin() + static_cast<long>(i));
      afterDashes_.erase(afterDashes_.begin() + static_cast<long>(i));
      return true;
    }
  }
  return false;
}

bool Args::WantsHelp() {
  bool help = TakeFlag("help");
  for (size_t i = 0; i < words_.size(); ++i) {
    if (!afterDashes_[i] && words_[i] == "-h") {
      words_.erase(words_.begin() + static_cast<long>(i));
      afterDashes_.erase(afterDashes_.begin() + static_cast<long>(i));
      help = true;
      break;
    }
  }
  return help;
}

bool Args::Finish() {
  positional_.clear();
  for (size_t i = 0; i < words_.size(); ++i) {
    const std::string& word = words_[i];
    if (!afterDashes_[i] && word.size() > 2 && word.compare(0, 2, "--") == 0) {
      if (error_.empty()) error_ = "unknown option " + word;
      continue;
    }
    positional_.push_back(word);
  }
  return error_.empty();
}

bool Arity(const Args& args, size_t low, size_t high, const std::string& command, const char* shape,
           int& status) {
  size_t n = args.Positional().size();
  if (n >= low && n <= high) return true;
  status = Fail(kExitUsage, command, std::string("expected ") + shape);
  return false;
}

int Fail(int status, const std::string& command, const std::string& problem) {
  std::fflush(stdout);
  std::fprintf(stderr, "orn: %s: %s\n", command.c_str(), problem.c_str());
  return status;
}

int Help(const char* text) {
  std::fputs(text, stdout);
  return kExitOk;
}

bool ParseInt(const std::string& text, long long low, long long high, long long& value) {
  if (text.empty()) return false;
  errno = 0;
  char* end = nullptr;
  long long parsed = std::strtoll(text.c_str(), &end, 10);
  if (errno != 0 || end == nullptr || *end != '\0') return false;
  if (parsed < low || parsed > high) return false;
  value = parsed;
  return true;
}

}  // namespace orn
