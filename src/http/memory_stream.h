#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

#include "stream.h"

namespace kalvoran {

// A stream over a byte string; the body of a Get into a string gathers here.
// SetSize only records the length: a peer that announces a huge body must not
// make us allocate it before the bytes arrive. Data() holds what was written.
// A limit keeps short replies short, however much a server sends.
class MemoryStream final : public Stream {
 public:
  // Sizes and writes beyond `limit` bytes raise EStreamError.
  explicit MemoryStream(std::size_t limit = SIZE_MAX) : limit_(limit) {}
  std::int64_t Position() const override { return position_; }
  void Seek(std::int64_t position) override { position_ = position; }
  std::int64_t Size() const override { return size_; }
  void SetSize(std::int64_t size) override;
  void Write(const char* data, std::size_t count) override;

  const std::string& Data() const { return data_; }
  std::string TakeData();

 private:
  void CheckLimit(std::int64_t size) const;

  std::string data_;  // never longer than size_
  std::int64_t size_ = 0;
  std::int64_t position_ = 0;
  std::size_t limit_;
};

}  // namespace kalvoran
