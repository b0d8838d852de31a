#include "orn/log_follow.h"

#include <liborn2/log.h>
#include <liborn2/log_format.h>

#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <utility>
#include <vector>

namespace orn {
namespace {

using orn2::followed::FileId;
using orn2::followed::OpenFile;

using LogFormat::kHeaderTitle;
using LogFormat::kHeaderVersion;
const char kPositionTag[] = "orn-log-follow 1";
constexpr size_t kReadChunk = 64 * 1024;
constexpr int64_t kFingerprintBytes = 4096;
// Far more than any entry a writer makes (a dump's 8,704 characters, a message
// whose every character is a line end): lines that run on past it are not a
// log's, and are handed on rather than held without bound.
constexpr size_t kMaxEntryBytes = 64 * 1024;
// Rotated names are searched up to the first run of this many missing ones: a
// rotation in progress leaves one name missing for a moment, and a writer killed
// part-way through one may leave another.
constexpr int kMissingNamesEnd = 3;

bool Is(const char* line, size_t length, const char* text) {
  return length == std::strlen(text) && std::memcmp(line, text, length) == 0;
}

std::string RotatedName(const std::string& path, int n) {
  return n == 0 ? path : path + "." + std::to_string(n);
}

}  // namespace

void (*g_afterNameLooked)(int n) = nullptr;

std::string PositionToText(const FollowPosition& position) {
  char text[128];
  std::snprintf(text, sizeof text, "%s %" PRIu64 " %" PRIu64 " %" PRId64 " %" PRIu64 "\n",
                kPositionTag, position.id.volume, position.id.index, position.offset,
                position.fingerprint);
  return text;
}

bool PositionFromText(const std::string& text, FollowPosition& position) {
  if (text.compare(0, sizeof kPositionTag - 1, kPositionTag) != 0) return false;
  FollowPosition read;
  int used = 0;
  if (std::sscanf(text.c_str() + sizeof kPositionTag - 1,
                  " %" SCNu64 " %" SCNu64 " %" SCNd64 " %" SCNu64 "%n", &read.id.volume,
                  &read.id.index, &read.offset, &read.fingerprint, &used) != 4 ||
      read.offset < 0) {
    return false;
  }
  position = read;
  return true;
}

LogFollower::LogFollower(const std::string& path, Format format) : path_(path), format_(format) {
  char name[Log::kFileNameSize];
  orn2::followed::WritersMutexName(path.c_str(), name, sizeof name);
  writers_ = std::make_unique<Mutex>(static_cast<const char*>(name));
}

void LogFollower::Begin(OpenFile file, int64_t offset) {
  current_ = std::move(file);
  readAt_ = offset;
  group_.clear();
  groupIsEntry_ = false;
  quietPolls_ = 0;
  started_ = true;
  haveFullFingerprint_ = false;
  if (ends_ != nullptr) ends_->push_back({out_->size(), Position()});
}

void LogFollower::StartAtBeginning() {
  OpenFile file;
  if (file.Open(path_.c_str())) Begin(std::move(file), 0);
}

void LogFollower::StartAtEnd() {
  // Under the writers' mutex the file ends after a whole entry.
  Guard hold(*writers_);
  OpenFile file;
  if (!file.Open(path_.c_str())) return;
  int64_t size = file.Size();
  Begin(std::move(file), size < 0 ? 0 : size);
}

bool LogFollower::Resume(const FollowPosition& position) {
  Guard hold(*writers_);  // no rotation moves the files along while they are looked at
  OpenFile oldest;
  int missing = 0;
  for (int n = 0; n <= Log::kMaxKeep; ++n) {
    OpenFile file;
    if (!file.Open(RotatedName(path_, n).c_str())) {
      if (n > 0 && ++missing >= kMissingNamesEnd) break;
      continue;
    }
    missing = 0;
    if (file.Id() == position.id && position.offset <= file.Size() &&
        Fingerprint(file, position.offset) == position.fingerprint) {
      Begin(std::move(file), position.offset);
      return true;
    }
    oldest = std::move(file);
  }
  if (oldest.IsOpen()) Begin(std::move(oldest), 0);
  return false;
}

uint64_t LogFollower::Fingerprint(const OpenFile& file, int64_t upTo) {
  // FNV-1a over the file's first bytes.
  uint64_t hash = 14695981039346656037ull;
  int64_t length = upTo < kFingerprintBytes ? upTo : kFingerprintBytes;
  char bytes[kFingerprintBytes];
  int64_t got = 0;
  while (got < length) {
    long n = file.ReadAt(got, bytes + got, static_cast<size_t>(length - got));
    if (n <= 0) return 0;
    got += n;
  }
  for (int64_t i = 0; i < length; ++i) {
    hash ^= static_cast<unsigned char>(bytes[i]);
    hash *= 1099511628211ull;
  }
  return hash;
}

// The fingerprint of an offset of the file followed; past the fingerprinted
// bytes it is the same for every offset, and read once.
uint64_t LogFollower::FingerprintUpTo(int64_t offset) {
  if (offset < kFingerprintBytes) return Fingerprint(current_, offset);
  if (!haveFullFingerprint_) {
    fullFingerprint_ = Fingerprint(current_, kFingerprintBytes);
    haveFullFingerprint_ = true;
  }
  return fullFingerprint_;
}

FollowPosition LogFollower::Position() {
  FollowPosition position;
  position.id = current_.Id();
  position.offset = groupIsEntry_ ? groupStart_ : readAt_;
  position.fingerprint = FingerprintUpTo(position.offset);
  return position;
}

// Whole lines only: a line still being written is read again next time, whole
// (a writer killed half-way leaves a cut line that the next writer cuts back).
bool LogFollower::ReadAvailable(std::string& out) {
  bool any = false;
  chunk_.resize(kReadChunk);
  for (;;) {
    long n = current_.ReadAt(readAt_, &chunk_[0], kReadChunk);
    if (n <= 0) return any;
    const char* data = chunk_.data();
    size_t count = static_cast<size_t>(n);
    size_t used = 0;
    while (const void* end = std::memchr(data + used, '\n', count - used)) {
      size_t next = static_cast<size_t>(static_cast<const char*>(end) - data) + 1;
      TakeLine(data + used, next - used, readAt_ + static_cast<int64_t>(used), out);
      used = next;
    }
    // A chunk without a line end holds no log line: taken as one line.
    if (used == 0 && count == kReadChunk) {
      TakeLine(data, count, readAt_, out);
      used = count;
    }
    readAt_ += static_cast<int64_t>(used);
    any = any || used > 0;
    if (used < count || count < kReadChunk) return any;
  }
}

// An entry starts at its time-stamped line and takes every line up to the
// next one (continuation lines, a hex dump's body, empty lines). Lines outside
// any entry: the header, empty lines, and what is not a log line (counted).
void LogFollower::TakeLine(const char* line, size_t length, int64_t offset, std::string& out) {
  size_t text = length;
  if (text > 0 && line[text - 1] == '\n') --text;
  if (text > 0 && line[text - 1] == '\r') --text;
  if (text > 0 && line[0] == '[') {
    std::string stamped(line, text);
    LogEntry ignored;
    if (ParseStamp(stamped, ignored) != 0) {
      FlushGroup(out);
      groupIsEntry_ = true;
      groupStart_ = offset;
      group_.assign(line, length);
      return;
    }
  }
  bool title = Is(line, text, kHeaderTitle);
  if (groupIsEntry_ && !title) {
    group_.append(line, length);
    if (group_.size() > kMaxEntryBytes) FlushGroup(out);
    return;
  }
  FlushGroup(out);
  if (text == 0 || title || Is(line, text, kHeaderVersion)) return;
  ++skipped_;
}

void LogFollower::FlushGroup(std::string& out) {
  if (!groupIsEntry_) return;
  if (format_ == Format::kRaw) {
    out += group_;
  } else {
    entryStream_.clear();
    entryStream_.str(group_);
    LogEntry entry;
    for (;;) {
      LogReader::Result result = reader_.Next(entry);
      if (result == LogReader::kEnd) break;
      if (result == LogReader::kProblem) {
        ++skipped_;
        continue;
      }
      out += EntryToJson(entry);
      out += '\n';
    }
  }
  if (ends_ != nullptr) {
    FollowPosition after;
    after.id = current_.Id();
    after.offset = groupStart_ + static_cast<int64_t>(group_.size());
    after.fingerprint = FingerprintUpTo(after.offset);
    ends_->push_back({out.size(), after});
  }
  group_.clear();
  groupIsEntry_ = false;
}

// The file held open was rotated away and read to its end: the files newer
// than it, found among FILE, FILE.1, ... by identity, are read oldest first;
// all but the newest are complete, and the newest is followed from then on.
// The names are searched under the writers' mutex, so that no rotation moves
// the files along meanwhile: rotations between the look at FILE and the look
// at FILE.1 would list the file found at FILE before a newer one found at
// FILE.1, and the newer would be read first.
bool LogFollower::MoveOn(std::string& out) {
  Guard hold(*writers_);
  std::vector<OpenFile> newer;  // newest first
  int missing = 0;
  bool found = false;
  for (int n = 0; n <= Log::kMaxKeep && !found; ++n) {
    OpenFile file;
    const bool opened = file.Open(RotatedName(path_, n).c_str());
    if (g_afterNameLooked != nullptr) g_afterNameLooked(n);
    if (!opened) {
      if (n > 0 && ++missing >= kMissingNamesEnd) break;
      continue;
    }
    missing = 0;
    found = file.Id() == current_.Id();
    bool seen = found;
    for (const OpenFile& known : newer) seen = seen || known.Id() == file.Id();
    if (!seen) newer.push_back(std::move(file));
  }
  // The file held open is under no name any more: rotated past the files kept
  // (everything kept is newer), or removed by hand (the rotated files are older,
  // written before it): the time of the last write tells them apart.
  if (!found) {
    const int64_t ended = current_.ModifiedNs();
    while (!newer.empty() && newer.back().ModifiedNs() < ended) newer.pop_back();
  }
  if (newer.empty()) return false;  // FILE is not there again yet
  for (size_t i = newer.size() - 1; i > 0; --i) {
    Begin(std::move(newer[i]), 0);
    ReadAvailable(out);
    FlushGroup(out);
  }
  Begin(std::move(newer[0]), 0);
  ReadAvailable(out);
  return true;
}

bool LogFollower::Poll(std::string& out, std::vector<EntryEnd>* ends) {
  ends_ = ends;
  out_ = &out;
  bool read = PollFiles(out);
  ends_ = nullptr;
  out_ = nullptr;
  return read;
}

bool LogFollower::PollFiles(std::string& out) {
  if (!started_) {
    OpenFile file;
    if (!file.Open(path_.c_str())) return false;
    Begin(std::move(file), 0);
  }
  if (ReadAvailable(out)) {
    quietPolls_ = 0;
    return true;
  }
  FileId now;
  if (!orn2::followed::IdOfPath(path_.c_str(), now) || now != current_.Id()) {
    // Renamed away: nothing is appended to it any more, and so what it holds
    // now is all it will ever hold (the order of the check and this read
    // matters).
    bool read = ReadAvailable(out);
    FlushGroup(out);
    return MoveOn(out) || read;
  }
  if (groupIsEntry_ && ++quietPolls_ >= kQuietPolls) {
    quietPolls_ = 0;
    Guard hold(*writers_);
    ReadAvailable(out);
    FlushGroup(out);
    return true;
  }
  return false;
}

}  // namespace orn
