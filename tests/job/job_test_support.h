#pragma once
// Shared by the job tests: a headless window, a job's working directory, a
// failing file system, the reference server process and small helpers.
#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "download_thread.h"
#include "job_files.h"
#include "job_window.h"
#include "scripted_server.h"
#ifndef _WIN32
#include "server_process.h"
#endif
#include "temp_dir.h"

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

  std::atomic<bool> bodyArriving{false};   // a work event has been seen
  std::atomic<bool> countWentBack{false};  // a work count below the one before, in one body
  std::atomic<int> refusals{0};            // answers refused for their content type "error"
  std::atomic<int> timerStarts{0};
  std::atomic<int> fileCount{-1};
  // File index (client Tag) of every work-begin event, in order.
  std::vector<std::int64_t> beginTags;
  // The largest announced size seen in a work event, per file index.
  std::map<std::int64_t, std::int64_t> sizeSeen;

 private:
  std::string keyLine_;
  std::int64_t lastCount_ = 0;
  std::mutex langMutex_;
  std::string langCode_ = "de";
};

// A job's working directory: a fresh temporary one; the download folder
// inside it is made by the job.
class WorkingDir : public TempDir {
 public:
  WorkingDir() : TempDir("kalvoran-job") {}
  std::string Folder() const { return Path() + "/Kalvoran Downloader"; }
};

// The key for a descriptor text (Windows-1250).
std::string KeyFor(const std::string& descriptor);

// Names in the download folder, sorted; entries that are folders end in "/".
std::vector<std::string> FolderEntries(const WorkingDir& dir);
// Options for a job that asks everything of one scripted server (all three
// download servers and the statistics host) and saves below `dir`.
DownloadJobOptions OptionsFor(const ScriptedServer& server, const WorkingDir& dir,
                              JobFiles* files = nullptr);
// A 200 answer with a Content-Length, after which the server closes.
Script CountedReply(const std::string& body);

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

#ifndef _WIN32
// PHP's built-in server on a free loopback port, serving the reference
// scripts with its folders in a temporary directory; stopped at the end.
// Linux only: the Windows build runs under Wine, without PHP.
class ReferenceServer {
 public:
  explicit ReferenceServer(std::vector<std::string> settings = {});

  static bool Available();
  bool Running() const { return process_ && process_->Running(); }
  std::string Host() const {
    return "127.0.0.1:" + std::to_string(process_ ? process_->Port() : 0);
  }
  const std::string& Path() const { return root_.Path(); }
  std::string FilesRoot() const { return root_.Path() + "/files"; }
  std::string MarksRoot() const { return root_.Path() + "/marks"; }
  std::string StatsRoot() const { return root_.Path() + "/stats"; }
  std::string MakeFolder(const std::string& relative) const;

 private:
  TempDir root_{"kalvoran-php"};
  std::unique_ptr<ServerProcess> process_;
};

// The benchmarks' fault relay in front of `upstream` ("127.0.0.1:port"): it
// cuts the connections every `cut` bytes towards the clients, and once
// stopped it has written what it sent them to `report`.
std::unique_ptr<ServerProcess> StartFaultRelay(const std::string& upstream, std::size_t cut,
                                               const std::string& report);
// The bytes a stopped relay sent towards the clients; -1 without a report.
long long RelayedBytes(const std::string& report);
#endif

}  // namespace kalvoran::test
