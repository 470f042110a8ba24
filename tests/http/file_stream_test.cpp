// The file target of a download: sizing, writing, and every failure raising.
#ifndef _WIN32
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <gtest/gtest.h>

#include <filesystem>

#include "errors.h"
#include "file_stream.h"
#include "temp_dir.h"

namespace kalvoran {
namespace {

namespace fs = std::filesystem;
using Mode = FileStream::OpenMode;

class FileStreamTest : public testing::Test {
 protected:
  std::string PathOf(const char* name) const { return dir_.Path() + "/" + name; }
  static std::string Content(const std::string& path) { return test::ReadFile(path); }

  test::TempDir dir_{"kalvoran-fs"};
};

TEST_F(FileStreamTest, SetSizeGivesTheFileItsLengthAndWritesFillIt) {
  const std::string path = PathOf("tmp.tmp");
  FileStream f(path, Mode::kCreateNew);
  f.SetSize(10);
  EXPECT_EQ(f.Size(), 10);
  EXPECT_EQ(fs::file_size(path), 10u);  // on disk before the first byte
  EXPECT_EQ(f.Position(), 0);
  f.Write("abcd", 4);
  EXPECT_EQ(f.Size(), 10);
  f.Write("efghij", 6);
  f.Seek(2);
  f.Write("XY", 2);
  EXPECT_EQ(f.Position(), 4);
  f.SetSize(3);  // cutting moves a position beyond the end back to it
  EXPECT_EQ(f.Position(), 3);
  f.Close();
  EXPECT_EQ(Content(path), "abX");
  EXPECT_NO_THROW(f.Close());
  EXPECT_THROW(f.Write("x", 1), EStreamError);
}

TEST_F(FileStreamTest, OpenModesRefuseWhatTheyMust) {
  const std::string path = PathOf("tmp.tmp");
  { FileStream(path, Mode::kCreateNew).Write("old", 3); }
  EXPECT_THROW(FileStream(path, Mode::kCreateNew), EStreamError);
  {
    FileStream kept(path, Mode::kOpenExisting);
    EXPECT_EQ(kept.Size(), 3);
  }
  EXPECT_EQ(FileStream(path, Mode::kCreateOrTruncate).Size(), 0);
  EXPECT_THROW(FileStream(PathOf("missing"), Mode::kOpenExisting), EStreamError);
  EXPECT_THROW(FileStream(PathOf("no/such/dir"), Mode::kCreateNew), EStreamError);

  // A symbolic link planted under the name is never followed.
  const std::string link = PathOf("link.tmp");
  std::error_code noLinks;
  fs::create_symlink(PathOf("target"), link, noLinks);
  if (noLinks) GTEST_SKIP() << "no symbolic links here: " << noLinks.message();
  for (Mode mode : {Mode::kCreateNew, Mode::kCreateOrTruncate, Mode::kOpenExisting}) {
    EXPECT_THROW(FileStream(link, mode), EStreamError);
  }
  EXPECT_FALSE(fs::exists(PathOf("target")));
}

// /dev/full and the file-size limit are POSIX's.
#ifndef _WIN32
TEST_F(FileStreamTest, FullDeviceFailsTheWriteWithTheReason) {
  if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
  FileStream f("/dev/full", Mode::kOpenExisting);
  try {
    f.Write("data", 4);
    ADD_FAILURE() << "written";
  } catch (const EStreamError& e) {
    EXPECT_NE(std::string(e.what()).find("No space left on device"), std::string::npos) << e.what();
  }
}

TEST_F(FileStreamTest, SizeBeyondTheFileLimitFails) {
  FileStream f(PathOf("tmp.tmp"), Mode::kCreateNew);
  rlimit old{};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
  auto oldHandler = ::signal(SIGXFSZ, SIG_IGN);
  rlimit small = old;
  small.rlim_cur = 4096;
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
  EXPECT_THROW(f.SetSize(1 << 20), EStreamError);
  EXPECT_THROW(f.Write(std::string(8192, 'x').data(), 8192), EStreamError);
  ::setrlimit(RLIMIT_FSIZE, &old);
  ::signal(SIGXFSZ, oldHandler);
  EXPECT_EQ(f.Size(), 4096);  // what went in before the limit hit
}
#endif

}  // namespace
}  // namespace kalvoran
