#include "temp_file_stream.h"

#include <algorithm>
#include <cstring>

#include "errors.h"

namespace kalvoran {

TempFileStream::~TempFileStream() {
  if (fd_ >= 0) files_.Close(fd_);
}

void TempFileStream::Fail(const char* what, int error) {
  throw EStreamError(std::string(what) + ": " + std::strerror(error), error);
}

void TempFileStream::SetSize(std::int64_t size) {
  if (fd_ < 0) Fail("Cannot resize the file", EBADF);
  if (size < 0) Fail("Cannot resize the file", EINVAL);
  if (const int error = files_.SetSize(fd_, size)) Fail("Cannot resize the file", error);
  size_ = size;
}

void TempFileStream::Write(const char* data, std::size_t count) {
  if (count == 0) return;
  if (fd_ < 0) Fail("Cannot write the file", EBADF);
  if (const int error = files_.WriteAt(fd_, position_, data, count)) {
    Fail("Cannot write the file", error);
  }
  position_ += static_cast<std::int64_t>(count);
  size_ = std::max(size_, position_);
}

void TempFileStream::Close() {
  if (fd_ < 0) return;
  const int fd = fd_;
  fd_ = -1;
  if (const int error = files_.Close(fd)) Fail("Cannot close the file", error);
}

}  // namespace kalvoran
