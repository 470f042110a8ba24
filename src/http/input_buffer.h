#pragma once
// Received bytes not yet consumed. Consuming advances a read offset; the
// storage is compacted only once 32768 or more consumed bytes have gathered,
// and only when new bytes are appended, so a pointer from Data() stays valid
// across Consume() until the next append.
#include <cstddef>
#include <memory>

namespace kalvoran {

class InputBuffer {
 public:
  static constexpr std::size_t kCompactThreshold = 32768;
  static constexpr std::size_t npos = static_cast<std::size_t>(-1);

  std::size_t Size() const { return end_ - begin_; }
  bool Empty() const { return end_ == begin_; }
  const char* Data() const { return storage_.get() + begin_; }

  // Room for `count` more bytes at the end, to receive into directly;
  // Commit() then makes the bytes actually received part of the buffer.
  char* PrepareAppend(std::size_t count);
  void Commit(std::size_t count) { end_ += count; }
  void Append(const char* data, std::size_t count);

  // Offset of the first LF from the front, npos when none. Bytes searched
  // once are not searched again.
  std::size_t FindLineEnd();
  void Consume(std::size_t count);
  void Clear();
  // Gives the storage back (Clear() keeps it for the next receive).
  void Release();

 private:
  std::unique_ptr<char[]> storage_;
  std::size_t capacity_ = 0;
  std::size_t begin_ = 0;  // read offset
  std::size_t end_ = 0;
  std::size_t searched_ = 0;  // bytes before this offset hold no LF
};

}  // namespace kalvoran
