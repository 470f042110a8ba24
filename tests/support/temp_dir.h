#pragma once
// Files for tests: a fresh directory that goes away with everything in it,
// whole-file reads and writes, and contents to fill them with.
#include <cstddef>
#include <filesystem>
#include <string>

namespace kalvoran::test {

// Paths in tests are UTF-8 text on every platform; these convert to and
// from std::filesystem's own form (which on Windows is UTF-16).
std::filesystem::path PathFromUtf8(const std::string& utf8);
std::string Utf8Path(const std::filesystem::path& path);
#ifdef _WIN32
// Any UTF-8 text as UTF-16; malformed sequences become U+FFFD.
std::wstring Utf8ToWide(const std::string& utf8);
#endif

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

// The whole file; "" when it cannot be read. Paths are UTF-8.
std::string ReadFile(const std::string& path);
// Replaces the file's content; throws when that fails.
void WriteFile(const std::string& path, const std::string& bytes);

// Deterministic bytes of every value, NUL and CR LF included.
std::string TestBytes(std::size_t count, unsigned seed);

}  // namespace kalvoran::test
