// Loading a configuration file into records, restoring an empty file from its
// ".Save" backup, and the reload when the file's modification time moves on.
#include <liborn2/config.h>

#include <cstdio>
#include <cstring>

#include "config/config_index.h"
#include "config/config_text.h"
#include "port/clock.h"
#include "port/fs.h"

using namespace orn2::config;

namespace {

// Files up to this size get their index sized ahead of the load.
constexpr int64_t kIndexReserveLimit = 16 * 1024 * 1024;

// Removes trailing white space from text of length n, never the first character.
size_t TrimEnd(const char* text, size_t n) {
  while (n > 1 && IsSpace(text[n - 1])) --n;
  return n;
}

}  // namespace

int Config::LoadConfig(const char* fileName) {
  fileName = OrEmpty(fileName);
  orn2::port::FileStatus status{};
  // A name too long for the file name field (with ".Save" appended) is refused
  // as a file that cannot be accessed, without the retry.
  if (std::strlen(fileName) > kMaxFileName) {
    std::fprintf(stderr, "LoadConfig() Error: Cannot access [%s]\n", fileName);
    return -1;
  }
  orn2::port::FileHandle opened{};
  for (;;) {
    if (!orn2::port::StatFile(fileName, &status)) {
      std::fprintf(stderr, "LoadConfig() Error: Cannot access [%s]\n", fileName);
      orn2::port::SleepMs(0);
      if (!orn2::port::StatFile(fileName, &status)) return -1;
      continue;
    }
    // Only a regular file is read, and it is opened without blocking: a FIFO,
    // directory, device or socket counts as a file that cannot be opened, and
    // is never restored, deleted or replaced. From here on the status is that
    // of what was opened (of the path when the open failed).
    orn2::port::OpenOutcome outcome =
        orn2::port::OpenRegularFile(fileName, orn2::port::FileAccess::kRead, &opened, &status);
    if (outcome == orn2::port::OpenOutcome::kNotRegular || !status.regular) return 1;
    const bool isOpen = outcome == orn2::port::OpenOutcome::kOpened;
    modificationTime_ = status.modificationTime;
    index_->loadedFile = {status.modificationNanoseconds, status.device, status.fileId};
    if (status.size != 0) {
      if (!isOpen) return 1;
      break;
    }

    std::fprintf(stderr, "LoadConfig() Warning: filesize of %s is Zero\n", fileName);
    char backup[kFileNameBuffer];
    std::snprintf(backup, sizeof backup, "%s.Save", fileName);
    orn2::port::FileStatus backupStatus{};
    if (!orn2::port::StatFile(backup, &backupStatus) || !backupStatus.regular ||
        backupStatus.size == 0) {
      std::fprintf(stderr, "LoadConfig() Warning: No suitable backups loacated\n");
      if (!isOpen) return 1;
      break;  // the empty file is loaded
    }
    if (isOpen) orn2::port::CloseFile(opened);
    std::fprintf(stderr, "LoadConfig() Warning: Restoring saved CF file: [%s] (%d bytes)\n", backup,
                 static_cast<int>(backupStatus.size));
    if (std::remove(fileName) != 0 || std::rename(backup, fileName) != 0) {
      std::fprintf(stderr, "LoadConfig() Error: Unable to restore saved CF\n");
      return -1;
    }
  }

  std::FILE* file = orn2::port::TextStream(opened, orn2::port::FileAccess::kRead);
  if (file == nullptr) return 1;
  // Room in the index for about one key per 16 bytes of the file, so that a
  // large file is indexed without growing the table on the way.
  index_->Reserve(
      static_cast<size_t>(status.size < kIndexReserveLimit ? status.size : kIndexReserveLimit) /
      16);
  CopyCut(fileName_, fileName, sizeof fileName_ - 1);

  char line[kLineBuffer];
  char section[kLineBuffer];
  section[0] = '\0';
  // A read error ends the load as the end of the file does.
  while (std::fgets(line, sizeof line, file) != nullptr) HandleLine(line, section);
  std::fclose(file);
  loaded_ = 1;
  return 0;
}

// One line (or one piece of at most 1023 characters of a longer line) of the
// file; `section` is the section that key lines are filed under.
void Config::HandleLine(const char* line, char* section) {
  size_t length = std::strlen(line);
  if (length < 3) return;
  const char* p = line;
  while (IsSpace(*p)) ++p;

  if (*p == '\0' || *p == ';' || *p == '#') {
    auto* record = new tConfigRecord();
    size_t n = length < kMaxValue ? length : kMaxValue;
    n = TrimEnd(line, n);
    CopyBytes(record->value, line, n);
    record->kind = kLineRecord;
    AppendNode(record);
    return;
  }

  if (*p == '[') {
    // Blanks inside the brackets belong to the name; a missing "]" is
    // accepted and anything after the "]" is ignored.
    ++p;
    size_t n = std::strcspn(p, "]\r\n");
    CopyBytes(section, p, n);
    section[n] = '\0';
    return;
  }

  const char* keyEnd = p;
  while (*keyEnd != '\0' && !IsSpace(*keyEnd) && *keyEnd != '=') ++keyEnd;
  if (*keyEnd == '\0') return;
  const char* value = keyEnd;
  while (*value != '\0' && (IsSpace(*value) || *value == '=')) ++value;
  if (*value == '\0') return;
  size_t valueLength = std::strcspn(value, "\r\n");
  valueLength = TrimEnd(value, valueLength);

  auto* record = new tConfigRecord();
  size_t keyLength = static_cast<size_t>(keyEnd - p);
  if (section[0] != '\0') {
    JoinName(record->name, section, std::strlen(section), p, keyLength);
  } else {
    JoinName(record->name, p, keyLength, nullptr, 0);
  }
  CopyBytes(record->value, value, valueLength < kMaxValue ? valueLength : kMaxValue);
  record->kind = kKeyRecord;
  AppendNode(record);
}

void Config::CheckModified() {
  orn2::port::FileStatus status{};
  if (!orn2::port::StatFile(fileName_, &status)) {
    std::fprintf(stderr, "CheckModified() Error: Cannot stat [%s]!\n", fileName_);
    return;
  }
  // Later at the file system's full resolution; an equal time counts as later
  // when the file is another one (a save renamed over it within one clock
  // tick; an identity the platform could not read counts as the same). A
  // change of size alone, or a time that went back, reloads nothing.
  const Index::LoadedFile& loaded = index_->loadedFile;
  bool later = status.modificationTime > modificationTime_ ||
               (status.modificationTime == modificationTime_ &&
                (status.modificationNanoseconds > loaded.nanoseconds ||
                 (status.modificationNanoseconds == loaded.nanoseconds && status.fileId != 0 &&
                  (status.device != loaded.device || status.fileId != loaded.fileId))));
  if (!later) return;
  char fileName[sizeof fileName_];
  std::memcpy(fileName, fileName_, sizeof fileName);
  ResetState();
  LoadConfig(fileName);
}
