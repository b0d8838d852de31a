// A file read while others append to it, rename it and remove it: what
// orn log follow needs from the system. The file stays readable under the
// handle after it has been renamed or removed, and (on Windows) holding it
// open never stops a writer from renaming it. Used by the orn tool, which
// compiles the source for its platform (tools/common/posix/ or
// tools/common/win32/); the library does not need it.
#ifndef ORN2_TOOLS_COMMON_FOLLOWED_FILE_H
#define ORN2_TOOLS_COMMON_FOLLOWED_FILE_H

#include <cstddef>
#include <cstdint>

namespace orn2::followed {

// Which file a name or handle leads to: the device (volume) and the file's
// number on it. Two open files with the same identity are one file.
struct FileId {
  uint64_t volume = 0;
  uint64_t index = 0;
  bool operator==(const FileId& other) const {
    return volume == other.volume && index == other.index;
  }
  bool operator!=(const FileId& other) const { return !(*this == other); }
};

// One open file, closed by the destructor; moved, never copied (one owner of
// the handle).
class OpenFile {
 public:
  OpenFile() = default;
  ~OpenFile() { Close(); }
  OpenFile(OpenFile&& other) noexcept : handle_(other.handle_), id_(other.id_) {
    other.handle_ = -1;
  }
  OpenFile& operator=(OpenFile&& other) noexcept {
    if (this != &other) {
      Close();
      handle_ = other.handle_;
      id_ = other.id_;
      other.handle_ = -1;
    }
    return *this;
  }
  OpenFile(const OpenFile&) = delete;
  OpenFile& operator=(const OpenFile&) = delete;

  // Opens a regular file for reading; false when it is missing, cannot be
  // read or is not a regular file.
  bool Open(const char* path);
  bool IsOpen() const { return handle_ >= 0; }
  const FileId& Id() const { return id_; }
  // The file's size now; -1 on failure.
  int64_t Size() const;
  // When the file was last written, in nanoseconds since 1970 (in the system's
  // own resolution); 0 on failure.
  int64_t ModifiedNs() const;
  // Reads up to `size` bytes at `offset`; the count read, 0 at the end, -1 on failure.
  long ReadAt(int64_t offset, char* out, size_t size) const;
  void Close();

 private:
  intptr_t handle_ = -1;
  FileId id_;
};

// The identity of the file that `path` names now; false when there is none.
bool IdOfPath(const char* path, FileId& id);

// The name of the mutex that the writers of the log file `path` take (spelled
// as they spell it), as Log derives it from the file name.
void WritersMutexName(const char* path, char* out, size_t size);

// How many bytes written to standard output its reader has not taken yet:
// those still in the pipe when standard output is a pipe, else 0 (also where
// the system cannot tell).
long long UnreadOutput();

// Waits about `milliseconds`; a stop request may end the wait early.
void Pause(int milliseconds);

}  // namespace orn2::followed

#endif  // ORN2_TOOLS_COMMON_FOLLOWED_FILE_H
