#pragma once
// The worker of one download job: reads the key, fetches every listed file
// into the download folder through "tmp.tmp", gives each its final name, asks
// the server to clean up when the key says so, sends the statistics report
// and publishes the job's result in ReturnValue:
//   -1 running, 0 success, 1 unreadable key, 2 a transfer failed or was refused.
//
// Life of a worker, as the window uses it:
//   auto worker = std::make_unique<TDownloadThread>(window);   // suspended
//   currentWorker = std::move(worker);   // the previous one is destroyed here
//   currentWorker->Start();
//   ... the job timer polls currentWorker->ReturnValue ...
// The object stays readable after its thread ended, until the next job
// replaces it. Its destructor joins the thread: a thread that has finished is
// joined at once; one that still runs (the program closing mid-job) is
// stopped first by disconnecting whatever request it waits in, so the join is
// short and no thread outlives the object. The window must therefore outlive
// the worker, and no JobWindow callback may wait for the user-interface
// thread (see job_window.h).
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "download_folder.h"
#include "http_client.h"
#include "job_failure.h"
#include "job_files.h"
#include "job_window.h"
#include "request_aborter.h"
#include "resuming_get.h"
#include "server_addresses.h"
#include "temp_file_stream.h"

namespace kalvoran {

// Where a job goes. The program always uses the defaults; tests point a job
// at a local server, a folder of their own and failing file operations.
struct DownloadJobOptions {
  ServerAddresses Servers = ServerAddresses::Fixed();
  // The folder that holds "Kalvoran Downloader": the working directory.
  std::string WorkingDirectory = ".";
  JobFiles* Files = nullptr;  // nullptr: the real file system
  // Trusted certificates (PEM) for https servers; empty = the system's store.
  std::string CaFile;
  // Every request of the job gives up on a server that does not answer:
  // connecting (the TLS handshake included) and each wait for data. Only
  // silence counts, so a download that is slow but moving never times out.
  std::chrono::milliseconds ConnectTimeout = std::chrono::seconds(30);
  std::chrono::milliseconds ReadTimeout = std::chrono::seconds(30);
  // The clean-up and statistics requests, whose answer is a word, in all: a
  // server that sends a byte now and then must not hold the job either.
  std::chrono::milliseconds ShortReplyTimeout = std::chrono::seconds(60);
  // A download that breaks off is resumed: tries in a row without progress
  // before the file fails, and the waits between them.
  int ResumeTries = ResumePolicy{}.Tries;
  std::vector<std::chrono::milliseconds> ResumeWaits = ResumePolicy{}.Waits;
  // The proxies every request of the job goes through; none by default. The
  // window passes the system's (SystemProxyRules()).
  ProxyRules Proxies;
};

class TDownloadThread {
 public:
  // Suspended: nothing runs until Start().
  explicit TDownloadThread(JobWindow& window, DownloadJobOptions options = {});
  ~TDownloadThread();
  TDownloadThread(const TDownloadThread&) = delete;
  TDownloadThread& operator=(const TDownloadThread&) = delete;

  // Starts the thread; later calls do nothing.
  void Start();

  // The job result code, published once: a 1 or 2 is never overwritten.
  std::atomic<int> ReturnValue{-1};
  // Why the job was interrupted: the cause of the failure that ended it,
  // set before ReturnValue became 2. Read it after that; kNone otherwise.
  JobFailure Failure() const { return failure_.load(); }

  // The stop request. The worker never polls it (it stops on CancelFlag);
  // the window sets it when a job is over or the program closes.
  void Terminate() { terminated_ = true; }
  bool Terminated() const { return terminated_; }

  // The name to open after a successful job: key field 5, corrected to the
  // name the file was saved under (Windows-1250, relative to the download
  // folder). Read it only after ReturnValue became 0.
  const std::string& RunFile() const { return runFile_; }

  // Whether the thread has ended, its end hook included.
  bool Finished() const;
  // Waits at most `limit` for the end of the thread; true when it ended.
  bool WaitFor(std::chrono::milliseconds limit);

  // The completion step's safety net for a failed job: closes the temporary
  // stream if it is still open. Safe from any thread; whichever side closes
  // first takes the stream, the other finds nothing.
  void CloseTemporaryStream();
  // The completion step's deletion of "tmp.tmp": only while this job holds
  // the download folder, so a job that found the folder taken, or one that
  // has let it go, never deletes the file of another. Safe from any thread.
  void RemoveTemporaryFile() { folder_.RemoveTemp(); }

 private:
  void Run();
  // The body of the job.
  void Execute();
  // The end hook, on the worker's thread after Execute.
  void DoTerminate();

  // Fetches, closes and names file i; when the job must end with 2, the
  // cause of the failure.
  std::optional<JobFailure> FetchFile(std::int64_t index, const std::string& name);
  void CleanUp(const std::string& name);
  // The job's settings on a client; shortReply for the clean-up and
  // statistics requests.
  void SetUp(HttpClient& client, bool shortReply) const;
  void Publish(int result, JobFailure cause = JobFailure::kNone);
  std::unique_ptr<TempFileStream> TakeTemp();

  JobWindow& window_;
  const DownloadJobOptions options_;
  JobFiles& files_;
  DownloadFolder folder_;
  RequestAborter aborter_;

  // Job state, touched only on the worker's thread once it runs.
  std::unique_ptr<HttpClient> client_;
  std::unique_ptr<ResumingGet> download_;  // the file downloads, over client_
  std::string key_;
  std::string base_;
  std::string cesta_;
  bool deleteFlag_ = true;
  std::string runFile_;

  // The temporary stream's shared slot.
  std::atomic<TempFileStream*> temp_{nullptr};

  std::atomic<JobFailure> failure_{JobFailure::kNone};
  std::atomic<bool> terminated_{false};
  mutable std::mutex mutex_;
  std::condition_variable finishedChanged_;
  bool finished_ = false;
  std::thread thread_;
};

}  // namespace kalvoran
