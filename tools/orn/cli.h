// Shared pieces of the orn tool: exit codes, argument handling and messages.
#ifndef ORN_TOOLS_CLI_H
#define ORN_TOOLS_CLI_H

#include <string>
#include <vector>

namespace orn {

// Exit statuses: 0 success, 1 a negative answer (key missing, line invalid),
// 2 bad usage or a file that cannot be read or written.
constexpr int kExitOk = 0;
constexpr int kExitNo = 1;
constexpr int kExitUsage = 2;

// The arguments of one subcommand, after the subcommand's name(s). Options are
// words that begin with "--"; "--" alone ends the options, so that a value that
// begins with "--" can still be passed.
class Args {
 public:
  Args(int argc, char** argv, int first);

  // Removes "--name VALUE" or "--name=VALUE"; false when absent. A missing
  // value is a usage error that Error() then reports.
  bool TakeOption(const char* name, std::string& value);
  // Removes "--name"; false when absent.
  bool TakeFlag(const char* name);
  // True when --help or -h was given (and removes it).
  bool WantsHelp();

  // After every option was taken: false (with the error set) if an unknown
  // option is left. The remaining words are the positional arguments.
  bool Finish();
  const std::vector<std::string>& Positional() const { return positional_; }
  const std::string& Error() const { return error_; }

 private:
  std::vector<std::string> words_;
  std::vector<bool> afterDashes_;  // true for words after a "--" terminator
  std::vector<std::string> positional_;
  std::string error_;
};

// Prints "orn: <command>: <problem>" as one line on standard error and returns
// the given exit status, so that callers can write `return Fail(...)`.
int Fail(int status, const std::string& command, const std::string& problem);

// True when the positional count lies from low to high; otherwise prints
// "expected <shape>" for the command and stores kExitUsage in status.
bool Arity(const Args& args, size_t low, size_t high, const std::string& command, const char* shape,
           int& status);

// Prints a usage text on standard output and returns kExitOk.
int Help(const char* text);

// Converts a whole decimal text; false when it holds anything else or overflows.
bool ParseInt(const std::string& text, long long low, long long high, long long& value);

// Subcommands; argv[first] is the first word after the subcommand's name.
int RunConfig(int argc, char** argv, int first);
int RunEndpoint(int argc, char** argv, int first);
int RunIpRange(int argc, char** argv, int first);
int RunCron(int argc, char** argv, int first);
int RunLog(int argc, char** argv, int first);

}  // namespace orn

#endif  // ORN_TOOLS_CLI_H
