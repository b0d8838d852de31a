#include "common/followed_file.h"

#include <windows.h>

namespace orn2::followed {
namespace {

// Readers share everything, deletion (and so renaming) included, so that
// the writers' rotation never fails because of the follower.
HANDLE OpenShared(const char* path, DWORD access) {
  return CreateFileA(path, access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                     nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
}

bool IdOfHandle(HANDLE handle, FileId& id) {
  BY_HANDLE_FILE_INFORMATION info{};
  if (!GetFileInformationByHandle(handle, &info)) return false;
  if ((info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return false;
  id.volume = info.dwVolumeSerialNumber;
  id.index = (static_cast<uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
  return true;
}

HANDLE AsHandle(intptr_t handle) { return reinterpret_cast<HANDLE>(handle); }

}  // namespace

bool OpenFile::Open(const char* path) {
  Close();
  HANDLE handle = OpenShared(path, GENERIC_READ);
  if (handle == INVALID_HANDLE_VALUE) return false;
  if (GetFileType(handle) != FILE_TYPE_DISK || !IdOfHandle(handle, id_)) {
    CloseHandle(handle);
    return false;
  }
  handle_ = reinterpret_cast<intptr_t>(handle);
  return true;
}

int64_t OpenFile::Size() const {
  LARGE_INTEGER size{};
  if (handle_ < 0 || !GetFileSizeEx(AsHandle(handle_), &size)) return -1;
  return static_cast<int64_t>(size.QuadPart);
}

int64_t OpenFile::ModifiedNs() const {
  FILETIME written{};
  if (handle_ < 0 || !GetFileTime(AsHandle(handle_), nullptr, nullptr, &written)) return 0;
  // 100-nanosecond ticks since 1601.
  const int64_t ticks =
      static_cast<int64_t>((static_cast<uint64_t>(written.dwHighDateTime) << 32) |
                           written.dwLowDateTime);
  return (ticks - 116444736000000000LL) * 100;
}

long OpenFile::ReadAt(int64_t offset, char* out, size_t size) const {
  if (handle_ < 0) return -1;
  OVERLAPPED at{};
  at.Offset = static_cast<DWORD>(static_cast<uint64_t>(offset) & 0xFFFFFFFFu);
  at.OffsetHigh = static_cast<DWORD>(static_cast<uint64_t>(offset) >> 32);
  DWORD count = size > 0x40000000u ? 0x40000000u : static_cast<DWORD>(size);
  DWORD read = 0;
  if (!ReadFile(AsHandle(handle_), out, count, &read, &at)) {
    return GetLastError() == ERROR_HANDLE_EOF ? 0 : -1;
  }
  return static_cast<long>(read);
}

void OpenFile::Close() {
  if (handle_ >= 0) CloseHandle(AsHandle(handle_));
  handle_ = -1;
}

bool IdOfPath(const char* path, FileId& id) {
  HANDLE handle = OpenShared(path, FILE_READ_ATTRIBUTES);
  if (handle == INVALID_HANDLE_VALUE) return false;
  bool known = IdOfHandle(handle, id);
  CloseHandle(handle);
  return known;
}

// Windows keeps the backslash for its mutex namespaces: Log names a file's
// mutex with forward slashes instead.
void WritersMutexName(const char* path, char* out, size_t size) {
  if (size == 0) return;
  size_t length = 0;
  for (; path[length] != '\0' && length + 1 < size; ++length)
    out[length] = path[length] == '\\' ? '/' : path[length];
  out[length] = '\0';
}

// Windows tells the unread bytes of a pipe only at its reading end.
long long UnreadOutput() { return 0; }

void Pause(int milliseconds) { Sleep(static_cast<DWORD>(milliseconds)); }

}  // namespace orn2::followed
