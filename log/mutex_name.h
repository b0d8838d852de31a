// The name of the system mutex that all writers of one log file share.
#ifndef ORN2_LOG_MUTEX_NAME_H
#define ORN2_LOG_MUTEX_NAME_H

#include <cstddef>

namespace orn2::log {

// Longest name the mutex keeps (its name field holds 127 characters).
constexpr size_t kMutexNameMax = 127;

// Derives the mutex name from the log's file name, the same way for every
// writer on every platform: "ornlog-" and a 64-bit FNV-1a hash of the whole
// file name in hex, then "-" and the file name's last characters with every byte
// outside [A-Za-z0-9._-] replaced by '_'. The result is a valid object name on
// Windows (no backslash), fits 127 characters whatever the path's length, and
// the hash keeps two long paths with a common tail apart. `out` holds at least
// kMutexNameMax + 1 characters.
void MutexNameForFile(const char* fileName, char* out);

}  // namespace orn2::log

#endif  // ORN2_LOG_MUTEX_NAME_H
