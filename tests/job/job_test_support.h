#pragma once
// Shared by the job tests: a headless window, a temporary working directory,
// a failing file system, a reference server process and small helpers.
#include <sys/types.h>

#include <atomic>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "job_files.h"
#include "job_window.h"

namespace kalvoran::test {

// The window as the worker sees it, without a screen. The work-begin handler
// refuses "error" answers as the real window does.
class HeadlessWindow final : public JobWindow {
 public:
  explicit HeadlessWindow(std::string keyLine) : keyLine_(std::move(keyLine)) {}

  std::string KeyLine() override { return keyLine_; }
  void StartJobTimer() override { ++timerStarts; }
  void SetFileCount(int n) override { fileCount = n; }
  void ZaciatokStahovania(HttpClient& sender, TWorkMode, std::int64_t) override;
  void Stahovanie(HttpClient& sender, TWorkMode, std::int64_t countSoFar) override;
  void KoniecStahovania(HttpClient&, TWorkMode) override {}
  std::string LangCode() override;
  void SetLangCode(std::string code);

  std::atomic<bool> bodyArriving{false};  // a work event has been seen
  std::atomic<int> timerStarts{0};
  std::atomic<int> fileCount{-1};
  // File index (client Tag) of every work-begin event, in order.
  std::vector<std::int64_t> beginTags;
  // The largest announced size seen in a work event, per file index.
  std::map<std::int64_t, std::int64_t> sizeSeen;

 private:
  std::string keyLine_;
  std::mutex langMutex_;
  std::string langCode_ = "de";
};

// A fresh directory, removed with everything in it at the end.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& Path() const { return path_; }
  std::string Folder() const { return path_ + "/Kalvoran Downloader"; }

 private:
  std::string path_;
};

// The key for a descriptor text (Windows-1250).
std::string KeyFor(const std::string& descriptor);

// Names in the download folder, sorted; entries that are folders end in "/".
std::vector<std::string> FolderEntries(const TempDir& dir);
std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& bytes);
// Deterministic bytes of every value, NUL and CR LF included.
std::string TestBytes(std::size_t count, unsigned seed);

// The real file system, except that the nth call (from 1) of one operation
// fails with the given errno.
class FaultyFiles final : public JobFiles {
 public:
  enum Op { kCreate, kWrite, kSetSize, kClose, kRename };
  FaultyFiles(Op op, int nth, int error) : op_(op), nth_(nth), error_(error) {}

  int CreateExclusive(int dirFd, const char* name, int& fd) override;
  int WriteAt(int fd, std::int64_t offset, const char* data, std::size_t count) override;
  int SetSize(int fd, std::int64_t size) override;
  int Close(int fd) override;
  int RenameNoReplace(int dirFd, const char* from, const char* to) override;

 private:
  bool Fails(Op op);
  Op op_;
  int nth_;
  int error_;
  int calls_[5] = {};
};

// PHP's built-in server on a free loopback port, serving the reference
// scripts with its folders in a temporary directory; killed at the end.
class ReferenceServer {
 public:
  ReferenceServer();
  ~ReferenceServer();
  ReferenceServer(const ReferenceServer&) = delete;
  ReferenceServer& operator=(const ReferenceServer&) = delete;

  static bool Available();
  bool Running() const { return pid_ > 0; }
  std::string Host() const { return "127.0.0.1:" + std::to_string(port_); }
  std::string FilesRoot() const { return root_.Path() + "/files"; }
  std::string StatsRoot() const { return root_.Path() + "/stats"; }

 private:
  TempDir root_;
  pid_t pid_ = -1;
  int port_ = 0;
};

}  // namespace kalvoran::test
