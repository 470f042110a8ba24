#pragma once
// The stream that receives a body: an open file in the download folder. Every
// write, resize and the close go through JobFiles and raise EStreamError when
// they fail, so the Get that feeds the stream ends with that error.
#include <cstdint>
#include <string>

#include "job_files.h"
#include "stream.h"

namespace kalvoran {

class TempFileStream final : public Stream {
 public:
  // Takes over an open descriptor.
  TempFileStream(JobFiles& files, int fd) : files_(files), fd_(fd) {}
  // Closes a stream still open, ignoring the outcome.
  ~TempFileStream() override;
  TempFileStream(const TempFileStream&) = delete;
  TempFileStream& operator=(const TempFileStream&) = delete;

  std::int64_t Position() const override { return position_; }
  void Seek(std::int64_t position) override { position_ = position; }
  std::int64_t Size() const override { return size_; }
  void SetSize(std::int64_t size) override;
  void Write(const char* data, std::size_t count) override;

  bool IsOpen() const { return fd_ >= 0; }
  // Raises EStreamError when the file system reports a failure (the data may
  // not have reached the disk); the stream is closed either way.
  void Close();

 private:
  [[noreturn]] static void Fail(const char* what, int error);

  JobFiles& files_;
  int fd_;
  std::int64_t position_ = 0;
  std::int64_t size_ = 0;
};

}  // namespace kalvoran
