// A fresh directory per test, removed with everything in it afterwards.
#ifndef ORN2_TESTS_SUPPORT_TEMP_DIR_H
#define ORN2_TESTS_SUPPORT_TEMP_DIR_H

#include <string>

namespace orn2::testing {

class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& path() const { return path_; }
  // The path of `name` inside the directory.
  std::string File(const std::string& name) const;

 private:
  std::string path_;
};

// Whole-file helpers for tests (binary mode: what is on disk, byte for byte).
// WriteFileBytes replaces the file whole: a reader sees the old file or the
// new one, never a part of it.
std::string ReadFileBytes(const std::string& path);
void WriteFileBytes(const std::string& path, const std::string& bytes);

}  // namespace orn2::testing

#endif  // ORN2_TESTS_SUPPORT_TEMP_DIR_H
