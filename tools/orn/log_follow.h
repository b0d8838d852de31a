// Following a module log file while its writers append to it and rotate it:
// every entry is handed out once, whole, in file order, across rotations.
//
// How no entry is lost at a rotation: writers append and rotate only while
// they hold the file's named mutex, and a rotation renames FILE to FILE.1
// after the last append to it. So once FILE names another file, the file the
// follower holds open gets nothing more: it is read to its end, its last entry
// handed out, and the newer files are read in order (found by identity among
// FILE, FILE.1, ..., so that a rotation during the search skips nothing).
// Within the live file an entry is complete when the next one starts; the last
// one is handed out once the file has been quiet for a moment, read under the
// writers' mutex, when no writer can be half-way through a line.
#ifndef ORN_TOOLS_LOG_FOLLOW_H
#define ORN_TOOLS_LOG_FOLLOW_H

#include <liborn2/mutex.h>

#include <cstdint>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "common/followed_file.h"
#include "orn/log_parse.h"

namespace orn {

// Where a follower stands: the file, by identity, and the offset after the
// last entry handed out. The fingerprint (of the file's first bytes up to the
// offset, at most 4096) tells a file apart from a newer one to which the
// system gave the number of a removed file.
struct FollowPosition {
  orn2::followed::FileId id;
  int64_t offset = 0;
  uint64_t fingerprint = 0;
};

// "orn-log-follow 1 VOLUME INDEX OFFSET FINGERPRINT\n" and back.
std::string PositionToText(const FollowPosition& position);
bool PositionFromText(const std::string& text, FollowPosition& position);

// A test seam: called after a follower moving on from a rotated file has
// looked at the name FILE.n (n 0: FILE), so that a test can rotate meanwhile.
// Null in use.
extern void (*g_afterNameLooked)(int n);

// Used by one thread at a time.
class LogFollower {
 public:
  enum class Format { kRaw, kJson };

  LogFollower(const std::string& path, Format format);

  // Where to start: the file's first entry, its end as it is now, or where a
  // follower stopped. Resume is false (and starts at the oldest kept file)
  // when that file is no longer kept.
  void StartAtBeginning();
  void StartAtEnd();
  bool Resume(const FollowPosition& position);

  // Where an entry handed out ends (or a file is begun): the size `out` had
  // after it, and the position after it in its file.
  struct EntryEnd {
    size_t outputSize;
    FollowPosition position;
  };

  // Reads what the writers appended, moving on across rotations, and appends
  // every complete entry to `out`: its lines as the file holds them, or one
  // JSON object and a line end. False when nothing new was read. Each entry's
  // end is added to `ends`, where given.
  bool Poll(std::string& out, std::vector<EntryEnd>* ends = nullptr);
  FollowPosition Position();
  // False while no file was found to follow yet.
  bool Started() const { return started_; }
  // Lines outside the log grammar that were skipped.
  long long Skipped() const { return skipped_; }

  // Polls without new data before the last entry of the live file is read
  // under the writers' mutex.
  static constexpr int kQuietPolls = 4;

 private:
  bool PollFiles(std::string& out);
  bool ReadAvailable(std::string& out);
  uint64_t FingerprintUpTo(int64_t offset);
  void TakeLine(const char* line, size_t length, int64_t offset, std::string& out);
  void FlushGroup(std::string& out);
  bool MoveOn(std::string& out);
  void Begin(orn2::followed::OpenFile file, int64_t offset);
  uint64_t Fingerprint(const orn2::followed::OpenFile& file, int64_t upTo);

  std::string path_;
  Format format_;
  std::unique_ptr<Mutex> writers_;
  orn2::followed::OpenFile current_;
  int64_t readAt_ = 0;     // after the last whole line read from current_
  bool started_ = false;   // current_ was chosen (a missing FILE is waited for)
  std::string group_;      // the lines of the entry being read
  int64_t groupStart_ = 0;
  bool groupIsEntry_ = false;
  int quietPolls_ = 0;
  long long skipped_ = 0;
  std::string chunk_;
  std::vector<EntryEnd>* ends_ = nullptr;  // during Poll, with its output
  const std::string* out_ = nullptr;
  bool haveFullFingerprint_ = false;       // of current_'s first kFingerprintBytes
  uint64_t fullFingerprint_ = 0;
  std::istringstream entryStream_;
  LogReader reader_{entryStream_};
};

// orn log follow FILE [--json] [--from-start|--from-now] [--state STATE].
int RunLogFollow(int argc, char** argv, int first);

}  // namespace orn

#endif  // ORN_TOOLS_LOG_FOLLOW_H
