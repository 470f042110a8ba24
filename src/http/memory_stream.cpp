#include "memory_stream.h"

#include "errors.h"

namespace kalvoran {

void MemoryStream::SetSize(std::int64_t size) {
  if (size < 0) throw EStreamError("Invalid stream size");
  CheckLimit(size);
  size_ = size;
  if (static_cast<std::uint64_t>(size) < data_.size()) data_.resize(static_cast<std::size_t>(size));
}

void MemoryStream::Write(const char* data, std::size_t count) {
  if (count == 0) return;
  if (position_ < 0) throw EStreamError("Invalid stream position");
  const auto pos = static_cast<std::size_t>(position_);
  CheckLimit(position_ + static_cast<std::int64_t>(count));
  if (pos + count > data_.size()) data_.resize(pos + count);  // a gap reads as zeros
  data_.replace(pos, count, data, count);
  position_ += static_cast<std::int64_t>(count);
  if (position_ > size_) size_ = position_;
}

void MemoryStream::CheckLimit(std::int64_t size) const {
  if (static_cast<std::uint64_t>(size) > limit_) {
    throw EStreamError("Stream size exceeds " + std::to_string(limit_) + " bytes");
  }
}

std::string MemoryStream::TakeData() {
  position_ = 0;
  size_ = 0;
  return std::move(data_);
}

}  // namespace kalvoran
