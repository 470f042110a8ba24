#include "temp_dir.h"

#include <stdlib.h>

#ifdef _WIN32
#include <windows.h>
#endif

#include <fstream>
#include <iterator>
#include <random>
#include <stdexcept>

namespace kalvoran::test {
namespace fs = std::filesystem;

fs::path PathFromUtf8(const std::string& utf8) {
#ifdef _WIN32
  return fs::path(std::u8string(reinterpret_cast<const char8_t*>(utf8.data()), utf8.size()));
#else
  return fs::path(utf8);
#endif
}

std::string Utf8Path(const fs::path& path) {
#ifdef _WIN32
  const std::u8string text = path.u8string();
  return std::string(reinterpret_cast<const char*>(text.data()), text.size());
#else
  return path.string();
#endif
}

#ifdef _WIN32
std::wstring Utf8ToWide(const std::string& utf8) {
  // Malformed sequences become U+FFFD, as Windows converts them.
  const int n =
      MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(n > 0 ? n : 0), L'\0');
  if (n > 0) {
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), wide.data(), n);
  }
  return wide;
}
#endif

TempDir::TempDir(const std::string& prefix) {
#ifdef _WIN32
  // A random name that nobody holds yet, as mkdtemp picks one.
  std::random_device random;
  for (int attempt = 0; attempt < 100 && path_.empty(); ++attempt) {
    const fs::path candidate =
        fs::temp_directory_path() / (prefix + "-" + std::to_string(random() % 1000000000u));
    std::error_code error;
    if (fs::create_directory(candidate, error)) path_ = Utf8Path(candidate);
  }
  if (path_.empty()) throw std::runtime_error("cannot make a temporary folder");
#else
  // mkdtemp picks a name nobody holds, so parallel test runs never share a folder.
  std::string pattern = (fs::temp_directory_path() / (prefix + "-XXXXXX")).string();
  if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
#endif
}

TempDir::~TempDir() {
  std::error_code ignored;
  fs::remove_all(PathFromUtf8(path_), ignored);
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(PathFromUtf8(path), std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(PathFromUtf8(path), std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + path);
}

std::string TestBytes(std::size_t count, unsigned seed) {
  std::mt19937 random(seed);
  std::string bytes(count, '\0');
  for (std::size_t i = 0; i < count; ++i) bytes[i] = static_cast<char>(random() & 0xFF);
  return bytes;
}

}  // namespace kalvoran::test
