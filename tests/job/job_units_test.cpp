// The pieces of a job that need no server: adapter address, statistics
// formats and the download folder's naming.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <ctime>
#include <filesystem>
#include <regex>

#include "download_folder.h"
#include "errors.h"
#include "job_failure.h"
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

// The rule as the Windows adapter list is read: twice, and only an address
// that both readings show counts.
TEST(GetMacAddress, FromTwoReadingsOfTheAdapterListTakesOnlyAStableAddress) {
  using Bytes = std::vector<unsigned char>;
  const AdapterEntry loopback{1, true, Bytes{2, 0, 0, 0, 0, 1}};
  const AdapterEntry wifi{7, false, Bytes{0x0a, 0x1b, 0x2c, 0x3d, 0x4e, 0x5f}};
  const AdapterEntry ethernet{3, false, Bytes{0, 0x15, 0x5d, 0, 0, 0xff}};
  const AdapterEntry zero{2, false, Bytes(6, 0)};
  const AdapterEntry tunnel{1, false, Bytes{}};
  const AdapterEntry eightBytes{1, false, Bytes(8, 0x11)};
  AdapterEntry ethernetChanged = ethernet;
  ethernetChanged.address[5] = 0xfe;
  struct Case {
    const char* what;
    std::vector<AdapterEntry> first, second;
    std::string expected;
  };
  const Case cases[] = {
      {"nothing listed", {}, {}, ""},
      {"loopback only", {loopback}, {loopback}, ""},
      {"lowest index wins; zero, empty and long addresses are skipped",
       {wifi, zero, tunnel, eightBytes, loopback, ethernet},
       {ethernet, wifi},
       "00-15-5D-00-00-FF"},
      {"an address that changed is none", {ethernet, wifi}, {ethernetChanged, wifi}, ""},
      {"an adapter gone by the second reading is none", {ethernet, wifi}, {wifi}, ""},
  };
  for (const Case& c : cases) EXPECT_EQ(ChooseMacAddress(c.first, c.second), c.expected) << c.what;
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

TEST(FileNames, WindowsRefusesDevicesCutNamesAndItsReservedCharacters) {
  const std::pair<const char*, bool> cases[] = {
      {"CON", true},        {"con", true},       {"Nul.txt", true},   {"AUX.tar.gz", true},
      {"COM1", true},       {"lpt9.log", true},  {"COM1 .log", true}, {"CONIN$", true},
      {"conout$.x", true},  {"PRN ", true},      {"a.", true},        {"a ", true},
      {"a?b", true},        {"a*b", true},       {"a<b>", true},      {"a|b", true},
      {"say \"hi\"", true}, {"tab\there", true}, {"COM0", false},     {"COM10", false},
      {"CONSOLE", false},   {"LPT", false},      {"xcon", false},     {".con", false},
      {"con_x.txt", false}, {" CON", false},     {"a.b", false},      {"\xE1\x9A.txt", false},
  };
  for (const auto& [name, refused] : cases) {
    EXPECT_EQ(IsRefusedOnWindows(name), refused) << name;
#ifdef _WIN32
    EXPECT_EQ(IsPlainFileName(name), !refused) << name;
#else
    EXPECT_TRUE(IsPlainFileName(name)) << name;  // a file like any other on Linux
#endif
  }
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
  std::error_code noLinks;
  fs::create_symlink("nowhere", dir.Folder() + "/2_a.txt", noLinks);
  if (noLinks) WriteFile(dir.Folder() + "/2_a.txt", "taken");  // where no link can be made (Wine)
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
  std::error_code noLinks;
  fs::create_symlink(dir.Path() + "/outside", dir.Folder() + "/tmp.tmp", noLinks);
  if (noLinks) GTEST_SKIP() << "no symbolic links here: " << noLinks.message();
  Temp("inside");
  EXPECT_EQ(ReadFile(dir.Path() + "/outside"), "keep");
  EXPECT_FALSE(fs::is_symlink(dir.Folder() + "/tmp.tmp"));
  EXPECT_EQ(ReadFile(dir.Folder() + "/tmp.tmp"), "inside");
}

// What no loopback server can make happen: the causes of such errors.
TEST(JobFailures, ErrorsNoLocalServerMakesAreToldByTheirCause) {
  const auto of = [](auto error) { return std::make_exception_ptr(error); };
  std::vector<std::pair<std::exception_ptr, JobFailure>> cases = {
      {of(ESocketError(11001)), JobFailure::kUnreachable},  // host not found
      {of(ESocketError(10060)), JobFailure::kUnreachable},
      {of(EConnectTimeout()), JobFailure::kUnreachable},
      {of(ETlsError("TLS: certificate verify failed: expired")), JobFailure::kUntrustedCertificate},
      {of(ETlsError("TLS: handshake failed: no shared cipher")), JobFailure::kNone},
      {of(EStreamError("Cannot write the file", EPERM)), JobFailure::kFolderNotWritable},
      {of(std::runtime_error("unforeseen")), JobFailure::kNone},
  };
#ifndef _WIN32
  // A download folder that cannot be made where nothing may be created.
  DownloadFolder folder(SystemJobFiles());
  ASSERT_TRUE(folder.Open("/sys"));
  try {
    folder.CreateTemp();
    ADD_FAILURE() << "a download folder in /sys";
  } catch (...) {
    cases.emplace_back(std::current_exception(), JobFailure::kFolderNotWritable);
  }
#endif
  for (const auto& [failure, cause] : cases) EXPECT_EQ(FailureOf(failure), cause);
}

}  // namespace
}  // namespace kalvoran
