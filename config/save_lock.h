// The name of the named mutex that serialises the saves of one configuration
// file across processes.
#ifndef ORN2_CONFIG_SAVE_LOCK_H
#define ORN2_CONFIG_SAVE_LOCK_H

#include <liborn2/mutex.h>

#include <cstddef>

namespace orn2::config {

// Longest name: what a Mutex keeps.
constexpr size_t kSaveLockNameMax = Mutex::kMaxName;

// "ornconf-", a 64-bit FNV-1a hash of the file's canonical path in hex, "-",
// and the canonical path's last characters with every byte outside
// [A-Za-z0-9._-] replaced by '_' (a valid object name on Windows too). The
// canonical path (the folder resolved from the root, see port::CanonicalPath)
// makes processes in different working directories, or spelling the folder
// differently, agree; a link that a save follows counts as its target, so
// that saving through the link and saving the target share one lock; a file
// whose folder cannot be resolved is named as given. `out` holds at least kSaveLockNameMax + 1
// characters.
void SaveLockNameFor(const char* fileName, char* out);

}  // namespace orn2::config

#endif  // ORN2_CONFIG_SAVE_LOCK_H
