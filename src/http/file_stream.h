#pragma once
// A Stream over a file. The body of a download is written straight from the
// receive block to the file; SetSize gives the file its announced length at
// once (sparse where the file system allows). Every failure raises
// EStreamError with the path and the system's reason.
#include <cstdint>
#include <string>

#include "stream.h"

namespace kalvoran {

class FileStream final : public Stream {
 public:
  enum class OpenMode {
    kCreateNew,         // fails when the name exists (also as a symbolic link)
    kCreateOrTruncate,  // an existing file is emptied; a symbolic link is refused
    kOpenExisting,      // read and write, keeping the content
  };

  // `path` is UTF-8.
  FileStream(const std::string& path, OpenMode mode);
  // Closes silently; call Close() to learn about a failure.
  ~FileStream() override;
  FileStream(const FileStream&) = delete;
  FileStream& operator=(const FileStream&) = delete;

  std::int64_t Position() const override { return position_; }
  void Seek(std::int64_t position) override;
  std::int64_t Size() const override { return size_; }
  void SetSize(std::int64_t size) override;
  void Write(const char* data, std::size_t count) override;

  // Closes the file; a failure (e.g. a delayed write error) raises. Further
  // use raises too. A second Close does nothing.
  void Close();
  bool IsOpen() const { return fd_ >= 0; }
  const std::string& Path() const { return path_; }

 private:
  [[noreturn]] void Fail(const char* action, int error) const;
  void RequireOpen() const;

  std::string path_;
  int fd_ = -1;
  std::int64_t position_ = 0;
  std::int64_t size_ = 0;
};

}  // namespace kalvoran
