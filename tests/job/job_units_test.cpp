// The pieces of a job that need no server: adapter address, statistics
// formats and the download folder's naming.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <ctime>
#include <filesystem>
#include <regex>

#include "download_folder.h"
#include "job_test_support.h"
#include "mac_address.h"
#include "statistics.h"

namespace kalvoran {
namespace {

namespace fs = std::filesystem;
using test::ReadFile;
using test::WorkingDir;
using test::WriteFile;

struct FakeInterface {
  std::string name;
  std::string ifindex;
  std::string flags;
  std::string address;
};

struct MacCase {
  const char* what;
  std::vector<FakeInterface> interfaces;
  std::string expected;
};

TEST(GetMacAddress, TakesFirstNonLoopbackInterfaceByIndexWithRealAddress) {
  const std::vector<MacCase> cases = {
      {"loopback only", {{"lo", "1", "0x9", "02:00:00:00:00:01"}}, ""},
      {"lowest index wins, zero and non-ethernet addresses are skipped",
       {{"aaa", "7", "0x1003", "02:00:00:00:00:07"},
        {"eth0", "2", "0x1003", "00:00:00:00:00:00"},
        {"ib0", "3", "0x1003", "80:00:00:48:fe:80:00:00:00:00:00:00:00:00:00:00:00:00:00:01"},
        {"lo", "1", "0x9", "02:00:00:00:00:01"},
        {"zzz", "5", "0x1003", "0a:1b:2c:3d:4e:5f"}},
       "0A-1B-2C-3D-4E-5F"},
  };
  for (const MacCase& c : cases) {
    WorkingDir dir;
    for (const FakeInterface& i : c.interfaces) {
      fs::create_directory(dir.Path() + "/" + i.name);
      WriteFile(dir.Path() + "/" + i.name + "/ifindex", i.ifindex + "\n");
      WriteFile(dir.Path() + "/" + i.name + "/flags", i.flags + "\n");
      WriteFile(dir.Path() + "/" + i.name + "/address", i.address + "\n");
    }
    EXPECT_EQ(GetMacAddressFrom(dir.Path()), c.expected) << c.what;
  }
  EXPECT_EQ(GetMacAddressFrom("/nonexistent/net"), "N/A");
  // This machine's own answer has the record's form.
  EXPECT_TRUE(std::regex_match(GetMacAddress(), std::regex("|N/A|([0-9A-F]{2}-){5}[0-9A-F]{2}")));
}

TEST(Statistics, RecordAndHourStampUseTwoDigitFieldsAndPlainYear) {
  std::tm t{};
  t.tm_year = 2026 - 1900;
  t.tm_mon = 2;
  t.tm_mday = 7;
  t.tm_hour = 9;
  t.tm_min = 5;
  t.tm_sec = 3;
  EXPECT_EQ(FormatHourStamp(t), "2026030709");
  // No adapter address: two "*" in a row after the date.
  EXPECT_EQ(StatsRecord(t, "", "1;noo;a b;x*y;"), "07.03.2026 09:05:03**1;noo;a b;x*y;*2.0*");
  EXPECT_EQ(StatisticsAddress("stats.example:81", "cz", "2026030709",
                              StatsRecord(t, "0A-1B-2C-3D-4E-5F", "1;;a b;x;")),
            "http://stats.example:81/DOWNLOADER/DownloaderStats1v1.php?Reg=OK&Jazyk=cz"
            "&Subor=2026030709.txt&Text=07.03.2026+09:05:03*0A-1B-2C-3D-4E-5F*1;;a+b;x;*2.0*");
}

class DownloadFolderTest : public ::testing::Test {
 protected:
  void SetUp() override { folder.Open(dir.Path()); }

  // Writes bytes into a fresh "tmp.tmp" and closes it.
  void Temp(const std::string& bytes) {
    auto stream = folder.CreateTemp();
    stream->Write(bytes.data(), bytes.size());
    stream->Close();
  }

  WorkingDir dir;
  DownloadFolder folder{SystemJobFiles()};
};

TEST_F(DownloadFolderTest, ClashesTakeTheNextFreePrefixAndFoldersCountAsTaken) {
  WriteFile(dir.Folder() + "/a.txt", "old");
  fs::create_directory(dir.Folder() + "/1_a.txt");
  fs::create_symlink("nowhere", dir.Folder() + "/2_a.txt");
  Temp("new");
  EXPECT_EQ(folder.SaveTempAs("a.txt"), "3_");
  Temp("\xE1");
  EXPECT_EQ(folder.SaveTempAs("\xE1\x9A.txt"), "");  // Windows-1250 in, UTF-8 on disk
  EXPECT_EQ(ReadFile(dir.Folder() + "/a.txt"), "old");
  EXPECT_EQ(ReadFile(dir.Folder() + "/3_a.txt"), "new");
  EXPECT_EQ(ReadFile(dir.Folder() + "/\xC3\xA1\xC5\xA1.txt"), "\xE1");
  EXPECT_FALSE(fs::exists(dir.Folder() + "/tmp.tmp"));
}

TEST_F(DownloadFolderTest, TempFileReplacesALinkInsteadOfWritingThroughIt) {
  WriteFile(dir.Path() + "/outside", "keep");
  fs::create_symlink(dir.Path() + "/outside", dir.Folder() + "/tmp.tmp");
  Temp("inside");
  EXPECT_EQ(ReadFile(dir.Path() + "/outside"), "keep");
  EXPECT_FALSE(fs::is_symlink(dir.Folder() + "/tmp.tmp"));
  EXPECT_EQ(ReadFile(dir.Folder() + "/tmp.tmp"), "inside");
}

}  // namespace
}  // namespace kalvoran
