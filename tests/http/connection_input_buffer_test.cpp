// The input buffer's offsets across consumption, compaction and growth.
#include <gtest/gtest.h>

#include <string>

#include "input_buffer.h"

namespace kalvoran {
namespace {

// Lines of varying length, appended in odd pieces and taken one by one,
// come back intact while the storage is compacted and grown under them.
TEST(InputBuffer, LinesSurviveCompactionAndGrowth) {
  InputBuffer buffer;
  std::string stream;
  for (int i = 0; i < 3000; ++i)
    stream += std::string(i % 97, static_cast<char>('a' + i % 26)) + '\n';

  std::size_t fed = 0;
  std::size_t taken = 0;
  std::size_t piece = 1;
  int lines = 0;
  while (taken < stream.size()) {
    std::size_t lf = buffer.FindLineEnd();
    if (lf == InputBuffer::npos) {
      ASSERT_LT(fed, stream.size()) << "line end lost after line " << lines;
      std::size_t n = std::min(piece, stream.size() - fed);
      buffer.Append(stream.data() + fed, n);
      fed += n;
      piece = piece * 7 % 40009 + 1;  // 1 byte up to ~40 KB
      continue;
    }
    std::size_t expectedEnd = stream.find('\n', taken);
    ASSERT_EQ(taken + lf, expectedEnd) << "line " << lines;
    ASSERT_EQ(std::string(buffer.Data(), lf), stream.substr(taken, lf));
    buffer.Consume(lf + 1);
    taken += lf + 1;
    ++lines;
    EXPECT_EQ(buffer.Size(), fed - taken);
  }
  EXPECT_EQ(lines, 3000);
  EXPECT_TRUE(buffer.Empty());
}

TEST(InputBuffer, ReceivingDirectlyIntoTheTailKeepsUnreadBytes) {
  InputBuffer buffer;
  buffer.Append(std::string(40000, 'x').data(), 40000);
  buffer.Consume(39990);  // over the compaction threshold
  char* tail = buffer.PrepareAppend(32768);
  tail[0] = 'y';
  buffer.Commit(1);
  EXPECT_EQ(std::string(buffer.Data(), buffer.Size()), std::string(10, 'x') + "y");
  EXPECT_EQ(buffer.FindLineEnd(), InputBuffer::npos);
}

}  // namespace
}  // namespace kalvoran
