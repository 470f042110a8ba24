#include "input_buffer.h"

#include <cstring>

namespace kalvoran {

char* InputBuffer::PrepareAppend(std::size_t count) {
  if (begin_ == end_) {
    begin_ = end_ = searched_ = 0;  // nothing to move
  } else if (begin_ >= kCompactThreshold) {
    std::memmove(storage_.get(), storage_.get() + begin_, end_ - begin_);
    searched_ -= begin_;
    end_ -= begin_;
    begin_ = 0;
  }
  if (capacity_ - end_ < count) {
    std::size_t wanted = end_ + count;
    std::size_t grown = capacity_ + capacity_ / 2;
    std::size_t capacity = grown > wanted ? grown : wanted;
    auto bigger = std::make_unique_for_overwrite<char[]>(capacity);
    if (end_ > begin_) std::memcpy(bigger.get(), storage_.get() + begin_, end_ - begin_);
    searched_ -= begin_;
    end_ -= begin_;
    begin_ = 0;
    storage_ = std::move(bigger);
    capacity_ = capacity;
  }
  return storage_.get() + end_;
}

void InputBuffer::Append(const char* data, std::size_t count) {
  if (count == 0) return;
  std::memcpy(PrepareAppend(count), data, count);
  Commit(count);
}

std::size_t InputBuffer::FindLineEnd() {
  if (searched_ < begin_) searched_ = begin_;
  const char* base = storage_.get();
  if (searched_ < end_) {
    const void* lf = std::memchr(base + searched_, '\n', end_ - searched_);
    if (lf != nullptr) {
      std::size_t at = static_cast<const char*>(lf) - base;
      searched_ = at;  // the line end stays found until consumed
      return at - begin_;
    }
    searched_ = end_;
  }
  return npos;
}

void InputBuffer::Consume(std::size_t count) {
  begin_ += count < Size() ? count : Size();
  if (searched_ < begin_) searched_ = begin_;
}

void InputBuffer::Clear() {
  begin_ = end_ = searched_ = 0;
}

void InputBuffer::Release() {
  Clear();
  storage_.reset();
  capacity_ = 0;
}

}  // namespace kalvoran
