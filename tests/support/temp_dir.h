#pragma once
// Files for tests: a fresh directory that goes away with everything in it,
// and whole-file reads and writes.
#include <string>

namespace kalvoran::test {

// A directory of its own under the system's temporary folder, created at
// once and removed with its contents at the end; throws when it cannot be made.
class TempDir {
 public:
  explicit TempDir(const std::string& prefix = "kalvoran-test");
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& Path() const { return path_; }

 private:
  std::string path_;
};

// The whole file; "" when it cannot be read.
std::string ReadFile(const std::string& path);
// Replaces the file's content; throws when that fails.
void WriteFile(const std::string& path, const std::string& bytes);

}  // namespace kalvoran::test
