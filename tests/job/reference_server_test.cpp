// Whole jobs against the reference PHP scripts, served by `php -S` on loopback.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>

#include "cp1250.h"
#include "download_thread.h"
#include "http_client.h"
#include "job_test_support.h"
#include "server_addresses.h"

namespace kalvoran {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using test::FolderEntries;
using test::HeadlessWindow;
using test::KeyFor;
using test::ReadFile;
using test::ReferenceServer;
using test::TestBytes;
using test::WorkingDir;
using test::WriteFile;
using Names = std::vector<std::string>;

class ReferenceServerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!ReferenceServer::Available()) GTEST_SKIP() << "php is not installed";
    server = std::make_unique<ReferenceServer>();
    ASSERT_TRUE(server->Running()) << "php -S did not start";
    fs::create_directories(server->FilesRoot() + "/pack");
  }

  // Runs a job for the descriptor in a fresh working directory, against the
  // server or what stands for it at `host`.
  int Run(const std::string& descriptor, WorkingDir& dir, std::chrono::seconds limit = 20s,
          std::string host = "") {
    if (host.empty()) host = server->Host();
    HeadlessWindow window(KeyFor(descriptor));
    DownloadJobOptions options;
    options.Servers = {{"127.0.0.1:1", host, "127.0.0.1:1"}, host};
    options.WorkingDirectory = dir.Path();
    TDownloadThread worker(window, options);
    worker.Start();
    EXPECT_TRUE(worker.WaitFor(limit));
    refusals = window.refusals;
    return worker.ReturnValue;
  }

  std::string Base() const { return "http://" + server->Host() + "/DOWNLOADER/"; }

  std::string Pack(const std::string& name) const { return server->FilesRoot() + "/pack/" + name; }

  std::unique_ptr<ReferenceServer> server;
  int refusals = 0;  // answers of the last job refused for their content type "error"
};

TEST_F(ReferenceServerTest, AJobBrokenOffMidFileFetchesOnlyTheRest) {
  const std::string body = TestBytes(8 << 20, 5);
  WriteFile(Pack("big.bin"), body);
  WorkingDir dir;
  const std::string report = dir.Path() + "/relay.txt";
  const auto relay = test::StartFaultRelay(server->Host(), 3 << 20, report);
  ASSERT_EQ(Run("1;;pack;big.bin;", dir, 20s, "127.0.0.1:" + std::to_string(relay->Port())), 0);
  relay->Stop();
  EXPECT_TRUE(ReadFile(dir.Folder() + "/big.bin") == body);
  // Two cuts, each losing at most the block on its way, and the heads.
  EXPECT_LT(test::RelayedBytes(report), body.size() + (96 << 10));
  EXPECT_FALSE(fs::exists(Pack("big.bin")));  // marked by either request, cleaned up after
}

TEST_F(ReferenceServerTest, JobSavesIdenticalFilesCleansUpAndFilesItsStatistics) {
  WriteFile(Pack("a b.bin"), TestBytes(300000, 1));
  WriteFile(Pack("c.bin"), TestBytes(1, 2));
  WriteFile(Pack("other.bin"), "stays");
  WorkingDir dir;
  ASSERT_EQ(Run("1;;pack;a b.bin*c.bin;", dir), 0);
  EXPECT_EQ(FolderEntries(dir), (Names{"a b.bin", "c.bin"}));
  EXPECT_EQ(ReadFile(dir.Folder() + "/a b.bin"), TestBytes(300000, 1));
  EXPECT_EQ(ReadFile(dir.Folder() + "/c.bin"), TestBytes(1, 2));

  // The downloads asked for deletion, so their clean-ups deleted them; a file
  // fetched without asking stays whoever asks to clean it up.
  EXPECT_FALSE(fs::exists(Pack("a b.bin")));
  EXPECT_FALSE(fs::exists(Pack("c.bin")));
  HttpClient client;
  EXPECT_EQ(client.Get(DownloadAddress(Base(), false, "pack", "other.bin")), "stays");
  client.Get(CleanerAddress(Base(), "pack", "other.bin"));
  EXPECT_TRUE(fs::exists(Pack("other.bin")));

  // One hour file holding the record as one line, blanks restored.
  std::vector<fs::path> hourFiles;
  for (const auto& entry : fs::directory_iterator(server->StatsRoot())) {
    hourFiles.push_back(entry.path());
  }
  ASSERT_EQ(hourFiles.size(), 1u);
  EXPECT_EQ(hourFiles[0].filename().string().size(), 14u);  // yyyymmddhh.txt
  const std::string line = ReadFile(hourFiles[0].string());
  const std::string tail = "*1;;pack;a b.bin*c.bin;*2.0*\n";
  ASSERT_GT(line.size(), tail.size());
  EXPECT_EQ(line.substr(line.size() - tail.size()), tail);
  EXPECT_EQ(line[2], '.');
}

// Folder and names with every kind of character a key's names can hold
// (";" and "*" separate fields and names, so none holds them): each file
// arrives under its name, the clean-ups delete exactly these files, and the
// statistics record reads back byte for byte.
TEST_F(ReferenceServerTest, NamesOfEveryKindArriveIntact) {
  const std::string cesta = "Tom & Jerry/50% #1 =?";  // on disk: UTF-8
  Names names = {"Tom+&+Jerry.avi", "ÁÄÉÍÓÔÚÜÝČĎĚĹĽŇŔŘŚŠŤŮŰŽ.bin",
                 "áäéíóôúüýčďěĺľňŕřśšťůűž %41 §°.txt", "a=b?c#d&e+f%g.h"};
  const std::string folder = server->FilesRoot() + "/" + cesta;
  fs::create_directories(folder);
  WriteFile(folder + "/unlisted.bin", "stays");
  std::string list;
  for (std::size_t i = 0; i < names.size(); ++i) {
    WriteFile(folder + "/" + names[i], TestBytes(1000 + i, static_cast<unsigned>(i)));
    list += (i ? "*" : "") + Utf8ToCp1250(names[i]);
  }
  const std::string descriptor = "1;;" + Utf8ToCp1250(cesta) + ";" + list + ";";
  WorkingDir dir;
  ASSERT_EQ(Run(descriptor, dir), 0);

  for (std::size_t i = 0; i < names.size(); ++i) {
    EXPECT_EQ(ReadFile(dir.Folder() + "/" + names[i]),
              TestBytes(1000 + i, static_cast<unsigned>(i)))
        << names[i];
    EXPECT_FALSE(fs::exists(folder + "/" + names[i])) << names[i] << " was not cleaned up";
  }
  std::sort(names.begin(), names.end());
  EXPECT_EQ(FolderEntries(dir), names);
  EXPECT_TRUE(fs::exists(folder + "/unlisted.bin"));
  std::string line;
  for (const auto& entry : fs::directory_iterator(server->StatsRoot())) {
    line += ReadFile(entry.path().string());
  }
  const std::string tail = "*" + descriptor + "*2.0*\n";
  ASSERT_GT(line.size(), tail.size());
  EXPECT_EQ(line.substr(line.size() - tail.size()), tail);
}

TEST_F(ReferenceServerTest, RefusedFilesEndTheJobWithoutStatistics) {
  WriteFile(Pack("a.bin"), "first");
  WriteFile(Pack("c.bin"), "third");
  WriteFile(server->FilesRoot() + "/../secret.txt", "secret");
  fs::create_symlink(server->FilesRoot() + "/../secret.txt", Pack("link.txt"));
  struct Case {
    std::string descriptor;
    int result;
    Names saved;
  };
  const std::vector<Case> cases = {
      {"1;noo;pack;a.bin*missing.bin*c.bin;", 2, {"a.bin"}},
      {"1;noo;..;secret.txt;", 2, {}},
      {"1;noo;pack/../..;secret.txt;", 2, {}},
      {"1;noo;pack;link.txt;", 2, {}},
      {"1;noo;pack;;", 0, {}},  // nothing listed: nothing to refuse
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.descriptor);
    WorkingDir dir;
    EXPECT_EQ(Run(c.descriptor, dir), c.result);
    EXPECT_EQ(FolderEntries(dir), c.saved);
    // Each refusal came as the content type "error", not as just any failure.
    EXPECT_EQ(refusals, c.result == 2 ? 1 : 0);
  }
  // Only the empty list got as far as the statistics.
  EXPECT_EQ(std::distance(fs::directory_iterator(server->StatsRoot()), {}), 1);
}

TEST_F(ReferenceServerTest, LargeFileArrivesIntact) {
  // 64 MiB by default; KALVORAN_LARGE_FILE_MIB=256 for the full-size check.
  const char* mib = std::getenv("KALVORAN_LARGE_FILE_MIB");
  const std::size_t size = (mib != nullptr ? std::strtoull(mib, nullptr, 10) : 64) << 20;
  std::mt19937_64 random(7);
  std::vector<std::uint64_t> block(1 << 17);  // 1 MiB
  {
    std::ofstream out(Pack("large.bin"), std::ios::binary);
    for (std::size_t done = 0; done < size; done += sizeof(std::uint64_t) * block.size()) {
      for (auto& word : block) word = random();
      out.write(reinterpret_cast<const char*>(block.data()),
                static_cast<std::streamsize>(sizeof(std::uint64_t) * block.size()));
    }
  }
  WorkingDir dir;
  const auto start = std::chrono::steady_clock::now();
  ASSERT_EQ(Run("1;noo;pack;large.bin;", dir, 120s), 0);
  const auto took = std::chrono::duration<double>(std::chrono::steady_clock::now() - start);
  std::cout << (size >> 20) << " MiB in " << took.count() << " s\n";

  std::ifstream expected(Pack("large.bin"), std::ios::binary);
  std::ifstream saved(dir.Folder() + "/large.bin", std::ios::binary);
  std::string a(1 << 20, '\0'), b(1 << 20, '\0');
  std::size_t total = 0;
  while (expected.read(a.data(), static_cast<std::streamsize>(a.size())) || expected.gcount()) {
    saved.read(b.data(), static_cast<std::streamsize>(b.size()));
    ASSERT_EQ(saved.gcount(), expected.gcount());
    ASSERT_TRUE(a == b) << "differs in the MiB at " << total;
    total += static_cast<std::size_t>(expected.gcount());
  }
  EXPECT_EQ(total, size);
  EXPECT_FALSE(saved.read(b.data(), 1));
}

}  // namespace
}  // namespace kalvoran
