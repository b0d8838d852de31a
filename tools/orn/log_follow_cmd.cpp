// orn log follow: hands out the entries of a log file as its writers append
// them, across rotations, with its position kept in a state file.
#include <cstdio>
#include <deque>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

#include "common/console.h"
#include "common/followed_file.h"
#include "orn/cli.h"
#include "orn/log_follow.h"

namespace orn {
namespace {

const char kFollowUsage[] =
    "usage: orn log follow FILE [--json] [--from-start|--from-now] [--state STATE]\n"
    "\n"
    "Prints each entry of the log file FILE as soon as it is complete, as the file\n"
    "holds its lines, or with --json as one JSON object per line (as orn log parse\n"
    "prints it), and goes on across rotations: no entry is lost or printed twice,\n"
    "and the last entry of a rotated file is printed when the file is rotated away.\n"
    "Starts at the end of FILE (--from-now, the default) or at its first entry\n"
    "(--from-start). With --state, the position after the last entry its reader has\n"
    "taken is kept in the file STATE (by file identity and offset; entries still in a\n"
    "pipe to a reader that stopped are not taken), and a follower started again with\n"
    "it goes on from there, through the rotated files FILE.1, FILE.2, ... that are\n"
    "still kept; without a usable STATE it starts as the options say. Runs\n"
    "until SIGTERM or SIGINT (Ctrl+C); with --state it then waits up to 5 s for its\n"
    "reader to empty the pipe, and exits with 0; 2 for bad usage, or output or a\n"
    "STATE that cannot be written.\n";

// Polls of a quiet file are this far apart.
constexpr int kPollMilliseconds = 10;
// How long a stopped follower waits for its reader to empty the pipe.
constexpr int kDrainMilliseconds = 5000;

bool ReadState(const std::string& file, FollowPosition& position) {
  std::ifstream in(file, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return in.is_open() && PositionFromText(text.str(), position);
}

// Written to a temporary name and renamed, so that a follower killed at any
// moment leaves the previous position or the new one.
bool WriteState(const std::string& file, const FollowPosition& position) {
  const std::string temporary = file + ".new";
  const std::string text = PositionToText(position);
  std::FILE* out = std::fopen(temporary.c_str(), "wb");
  if (out == nullptr) return false;
  bool written = std::fwrite(text.data(), 1, text.size(), out) == text.size();
  written = std::fclose(out) == 0 && written;
  std::error_code error;
  if (written) std::filesystem::rename(temporary, file, error);
  return written && !error;
}

}  // namespace

int RunLogFollow(int argc, char** argv, int first) {
  const std::string command = "log follow";
  Args args(argc, argv, first);
  if (args.WantsHelp()) return Help(kFollowUsage);
  const bool json = args.TakeFlag("json");
  const bool fromStart = args.TakeFlag("from-start");
  const bool fromNow = args.TakeFlag("from-now");
  std::string stateFile;
  const bool hasState = args.TakeOption("state", stateFile);
  if (!args.Finish()) return Fail(kExitUsage, command, args.Error());
  int status = kExitOk;
  if (!Arity(args, 1, 1, command, "FILE", status)) return status;
  if (fromStart && fromNow) return Fail(kExitUsage, command, "--from-start or --from-now, not both");
  if (hasState && stateFile.empty()) return Fail(kExitUsage, command, "--state takes a file name");
  const std::string& file = args.Positional()[0];
  std::error_code error;
  if (std::filesystem::is_directory(file, error)) {
    return Fail(kExitUsage, command, file + " is a directory");
  }

  orn2::console::CatchStopRequests();
  LogFollower follower(file, json ? LogFollower::Format::kJson : LogFollower::Format::kRaw);
  FollowPosition saved;
  if (hasState && ReadState(stateFile, saved)) {
    if (!follower.Resume(saved)) {
      Fail(kExitOk, command,
           "the file where " + stateFile + " stopped is no longer kept: going on from the oldest "
           "kept file");
    }
  } else if (fromStart) {
    follower.StartAtBeginning();
  } else {
    follower.StartAtEnd();
  }

  // The state names the end of the last entry the reader of standard output
  // has taken, not just the last one written: entries still in the pipe when
  // the reader stops (an engine stopped or restarted) are handed out again by
  // the next follower instead of being lost.
  std::string out;
  std::vector<LogFollower::EntryEnd> ends;
  std::deque<std::pair<long long, FollowPosition>> untaken;  // output end, position after
  long long written = 0;
  long long skipped = 0;
  bool savedOnce = false;
  auto saveTaken = [&]() {
    if (!hasState || !follower.Started()) return true;
    const long long taken = written - orn2::followed::UnreadOutput();
    bool moved = false;
    FollowPosition now = saved;
    while (!untaken.empty() && untaken.front().first <= taken) {
      now = untaken.front().second;
      untaken.pop_front();
      moved = true;
    }
    if (!moved || (savedOnce && now.id == saved.id && now.offset == saved.offset)) return true;
    if (!WriteState(stateFile, now)) return false;
    saved = now;
    savedOnce = true;
    return true;
  };
  if (hasState && follower.Started()) {
    saved = follower.Position();
    if (!WriteState(stateFile, saved)) return Fail(kExitUsage, command, "cannot write " + stateFile);
    savedOnce = true;
  }
  while (!orn2::console::StopRequested()) {
    bool read = follower.Poll(out, hasState ? &ends : nullptr);
    if (!out.empty()) {
      if (std::fwrite(out.data(), 1, out.size(), stdout) != out.size() ||
          std::fflush(stdout) != 0) {
        return Fail(kExitUsage, command, "cannot write standard output");
      }
    }
    for (const LogFollower::EntryEnd& end : ends) {
      untaken.emplace_back(written + static_cast<long long>(end.outputSize), end.position);
    }
    ends.clear();
    written += static_cast<long long>(out.size());
    out.clear();
    if (follower.Skipped() != skipped) {
      skipped = follower.Skipped();
      Fail(kExitOk, command, "skipped lines that are not log lines: " + std::to_string(skipped));
    }
    if (!saveTaken()) return Fail(kExitUsage, command, "cannot write " + stateFile);
    if (!read) orn2::followed::Pause(kPollMilliseconds);
  }
  // A reader that lives on after the stop (logger under KillMode=mixed) still
  // sends what is in the pipe: wait a while for it to take it all, so that the
  // next follower does not hand those entries out again. Entries that a reader
  // which is gone leaves in the pipe are handed out again, as before.
  for (int waited = 0; hasState && orn2::followed::UnreadOutput() > 0 &&
                       waited < kDrainMilliseconds;
       waited += kPollMilliseconds) {
    orn2::followed::Pause(kPollMilliseconds);
  }
  if (!saveTaken()) return Fail(kExitUsage, command, "cannot write " + stateFile);
  return kExitOk;
}

}  // namespace orn
