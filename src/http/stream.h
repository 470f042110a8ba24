#pragma once
// The target of a body: a file the caller opened, or memory.
#include <cstddef>
#include <cstdint>

namespace kalvoran {

class Stream {
 public:
  virtual ~Stream() = default;
  virtual std::int64_t Position() const = 0;
  virtual void Seek(std::int64_t position) = 0;
  virtual std::int64_t Size() const = 0;
  // Grows or cuts the stream; the position stays where it was when it still
  // lies inside. Failure raises EStreamError.
  virtual void SetSize(std::int64_t size) = 0;
  // Writes at the position and advances it. Failure raises EStreamError.
  virtual void Write(const char* data, std::size_t count) = 0;
};

}  // namespace kalvoran
