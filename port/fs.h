// Platform layer: files. Status with 64-bit times and sizes, writing a file
// through to stable storage, and the steps of a crash-safe replacement.
#ifndef ORN2_PORT_FS_H
#define ORN2_PORT_FS_H

#include <cstdint>
#include <cstdio>

namespace orn2::port {

struct FileStatus {
  int64_t size;              // bytes
  int64_t modificationTime;  // seconds since 1970-01-01 UTC
};

// Reads the status of `path`; false (errno set) when it cannot be read.
bool StatFile(const char* path, FileStatus* status);

// Flushes the stream's buffer and the file's data to stable storage
// (fflush + fsync, fflush + _commit). False when either fails.
bool SyncFile(std::FILE* file);

// Makes `to` name the content of `from`: a hard link when the file system
// allows one, otherwise a copy. `to` must not exist. False (errno set) on failure.
bool LinkOrCopyFile(const char* from, const char* to);

// Renames `from` to `to` in one atomic step, replacing `to` when it exists,
// so that `to` is never missing. False (errno set) on failure.
bool ReplaceFileAtomically(const char* from, const char* to);

// Makes the directory entries of the folder holding `path` durable (fsync of
// the directory); does nothing where the system needs no such step.
void SyncParentDirectory(const char* path);

// Sets the file's modification (and access) time; for tests and tools.
bool SetFileModificationTime(const char* path, int64_t seconds);

}  // namespace orn2::port

#endif  // ORN2_PORT_FS_H
