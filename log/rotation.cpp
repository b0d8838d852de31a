#include "log/rotation.h"

#include <cerrno>
#include <cstdio>

#include "port/fs.h"

namespace orn2::log {
namespace {

// A file name of up to 255 characters, a full stop and up to three digits.
constexpr int kRotatedNameSize = 256 + 8;

}  // namespace

void (*g_afterRotationStep)(int step) = nullptr;

bool RotatedName(const char* path, int n, char* out, int size) {
  int length = n == 0 ? std::snprintf(out, static_cast<size_t>(size), "%s", path)
                      : std::snprintf(out, static_cast<size_t>(size), "%s.%d", path, n);
  return length > 0 && length < size;
}

RotateOutcome RotateFiles(const char* path, int keep) {
  char from[kRotatedNameSize];
  char to[kRotatedNameSize];
  // The first missing name, or FILE.keep, which is replaced: the oldest goes.
  int first = 1;
  orn2::port::FileStatus status{};
  for (; first < keep; ++first) {
    if (!RotatedName(path, first, to, sizeof to)) break;
    if (!orn2::port::StatFile(to, &status) && errno == ENOENT) break;
  }
  int step = 0;
  for (int n = first; n >= 1; --n) {
    if (!RotatedName(path, n - 1, from, sizeof from) || !RotatedName(path, n, to, sizeof to)) {
      errno = ENAMETOOLONG;
      return RotateOutcome::kFailed;
    }
    if (!orn2::port::ReplaceWithoutWaiting(from, to)) {
      if (errno == ENOENT) continue;  // removed meanwhile by someone else
      return RotateOutcome::kFailed;
    }
    if (g_afterRotationStep != nullptr) g_afterRotationStep(++step);
    if (n > 1) continue;
    // FILE is FILE.1 now. What a writer with a larger count kept goes.
    for (int extra = keep + 1; extra <= kMaxKeep; ++extra) {
      if (!RotatedName(path, extra, to, sizeof to) || std::remove(to) != 0) break;
    }
    return RotateOutcome::kRotated;
  }
  return RotateOutcome::kNotDue;  // there was no FILE
}

}  // namespace orn2::log
