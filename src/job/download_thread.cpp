#include "download_thread.h"

#include <utility>
#include <vector>

#include "cancel_flag.h"
#include "funkcie.h"
#include "key_descriptor.h"
#include "statistics.h"

namespace kalvoran {
namespace {

constexpr std::size_t kKeyLineLimit = 4096;

// Line 1 without its line end, at most kKeyLineLimit characters.
std::string FirstKeyLine(const std::string& text) {
  const std::size_t end = text.find_first_of("\r\n");
  return text.substr(0, std::min(end, kKeyLineLimit));
}

}  // namespace

TDownloadThread::TDownloadThread(JobWindow& window, DownloadJobOptions options)
    : window_(window),
      options_(std::move(options)),
      files_(options_.Files != nullptr ? *options_.Files : SystemJobFiles()),
      folder_(files_) {}

TDownloadThread::~TDownloadThread() {
  if (!thread_.joinable()) return;
  if (!Finished()) {
    // The program is closing in the middle of the job: cut the request the
    // worker waits in. A connection still being opened at the first attempt
    // is caught by the next one.
    terminated_ = true;
    CancelFlag = true;
    do {
      aborter_.Abort();
    } while (!WaitFor(std::chrono::milliseconds(50)));
  }
  thread_.join();
}

void TDownloadThread::Start() {
  if (thread_.joinable()) return;
  thread_ = std::thread([this] { Run(); });
}

bool TDownloadThread::Finished() const {
  std::lock_guard lock(mutex_);
  return finished_;
}

bool TDownloadThread::WaitFor(std::chrono::milliseconds limit) {
  std::unique_lock lock(mutex_);
  return finishedChanged_.wait_for(lock, limit, [this] { return finished_; });
}

void TDownloadThread::Run() {
  try {
    Execute();
  } catch (...) {
    // Nothing may escape the thread; an unforeseen failure ends the job as
    // interrupted, with the temporary stream closed first.
    TakeTemp().reset();
    CancelFlag = true;
    Publish(2, FailureOf(std::current_exception()));
  }
  try {
    DoTerminate();
  } catch (...) {
  }
  folder_.Release();
  {
    std::lock_guard lock(mutex_);
    finished_ = true;
  }
  finishedChanged_.notify_all();
}

void TDownloadThread::Publish(int result, JobFailure cause) {
  // Only this thread publishes, so the cause of the result that counts is
  // in place before a reader of ReturnValue can see that result.
  if (ReturnValue.load() != -1) return;
  failure_.store(cause);
  ReturnValue.store(result);
}

std::unique_ptr<TempFileStream> TDownloadThread::TakeTemp() {
  return std::unique_ptr<TempFileStream>(temp_.exchange(nullptr));
}

void TDownloadThread::CloseTemporaryStream() {
  if (auto stream = TakeTemp()) {
    try {
      stream->Close();
    } catch (...) {
    }
  }
}

void TDownloadThread::Execute() {
  CancelFlag = false;
  deleteFlag_ = true;
  client_ = std::make_unique<HttpClient>();
  SetUp(*client_, false);
  ResumePolicy policy;
  policy.Tries = options_.ResumeTries;
  policy.Waits = options_.ResumeWaits;
  policy.Pause = [this](std::chrono::milliseconds time) {
    return aborter_.Pause(time) && !CancelFlag;
  };
  policy.Stopped = [] { return CancelFlag.load(); };
  download_ = std::make_unique<ResumingGet>(*client_, std::move(policy));
  window_.StartJobTimer();

  std::vector<std::string> files;
  try {
    key_ = FirstKeyLine(window_.KeyLine());
    KeyDescriptor descriptor = ReadKeyDescriptor(UnscrambleKey(key_));
    base_ = BaseAddress(options_.Servers, descriptor.ServerIndex);
    deleteFlag_ = descriptor.DeleteFlag;
    cesta_ = std::move(descriptor.Cesta);
    files = std::move(descriptor.Files);
    runFile_ = std::move(descriptor.RunFile);
  } catch (...) {
    CancelFlag = true;
    Publish(1);
    return;
  }

  if (!CancelFlag) {
    if (!folder_.Open(options_.WorkingDirectory)) {
      // Another job fills this folder: nothing in it is ours to touch.
      CancelFlag = true;
      Publish(2, JobFailure::kFolderBusy);
      return;
    }
    client_->OnWorkBegin = [this](HttpClient& sender, TWorkMode mode, std::int64_t expected) {
      // Asked for the rest, only the whole file again (200) starts the bar
      // anew: the rest leaves it where it is, and an error's body is no
      // part of the file. The server's refusal is looked for all the same.
      if (download_->Resuming() && sender.Response().ResponseCode != 200) {
        RefuseErrorResponse(sender);
        return;
      }
      window_.ZaciatokStahovania(sender, mode, expected);
    };
    client_->OnWork = [this](HttpClient& sender, TWorkMode mode, std::int64_t count) {
      const int code = sender.Response().ResponseCode;
      if (download_->Resuming() && code != 200 && code != 206) return;
      // Counted from the start of the file, so the bar never goes back.
      window_.Stahovanie(sender, mode, download_->BodyOffset() + count);
    };
    client_->OnWorkEnd = [this](HttpClient& sender, TWorkMode mode) {
      window_.KoniecStahovania(sender, mode);
    };
    window_.SetFileCount(static_cast<int>(files.size()));

    for (std::size_t i = 0; i < files.size(); ++i) {
      if (const auto failed = FetchFile(static_cast<std::int64_t>(i), files[i])) {
        CancelFlag = true;
        Publish(2, *failed);
        return;
      }
      if (CancelFlag) break;
    }

    client_->Disconnect();
    if (!CancelFlag) {
      SendStats(
          key_, options_.Servers.StatisticsHost, [this] { return window_.LangCode(); }, &aborter_,
          [this](HttpClient& client) { SetUp(client, true); });
    }
  }

  if (CancelFlag) {
    window_.SetFileCount(1);
    client_->Tag = 0;
  }
  Publish(0);
}

std::optional<JobFailure> TDownloadThread::FetchFile(std::int64_t index, const std::string& name) {
  // A name that would leave the folder, or reach into a sub-folder of it, is
  // refused before anything is asked of the server.
  if (!IsPlainFileName(name)) return JobFailure::kNameRefused;

  std::unique_ptr<TempFileStream> created;
  try {
    created = folder_.CreateTemp();
  } catch (...) {
    return FailureOf(std::current_exception());
  }
  TempFileStream& stream = *created;
  temp_.store(created.release());

  bool ok = true;
  std::exception_ptr failure;  // the first one: what followed is its echo
  client_->Tag = index;
  try {
    const AbortableRequest request(&aborter_, *client_);
    if (request.Allowed()) {
      // Whole when it returns: a body cut short is resumed or fails.
      download_->Get(DownloadAddress(base_, deleteFlag_, cesta_, name), stream);
    } else {
      ok = false;
    }
  } catch (...) {
    ok = false;
    failure = std::current_exception();
  }

  // Close before anything else is decided; the stream is gone afterwards.
  if (auto taken = TakeTemp()) {
    try {
      taken->Close();
    } catch (...) {
      ok = false;
      if (!failure) failure = std::current_exception();
    }
  } else {
    ok = false;
  }
  // A refused file (content type "error") or a job being stopped. The
  // refusal cut the connection, so whatever the Get raised is its echo.
  if (CancelFlag && IsErrorResponse(*client_)) return JobFailure::kRefused;
  if (!ok || CancelFlag) return FailureOf(failure);

  const bool namedRunFile = runFile_ == name;
  int renameError = 0;
  const std::optional<std::string> prefix = folder_.SaveTempAs(name, &renameError);
  if (!prefix) return FailureOfRename(renameError);
  if (namedRunFile) runFile_ = *prefix + name;

  if (deleteFlag_) CleanUp(name);
  return std::nullopt;
}

void TDownloadThread::CleanUp(const std::string& name) {
  try {
    HttpClient cleaner;
    SetUp(cleaner, true);
    const AbortableRequest request(&aborter_, cleaner);
    if (!request.Allowed()) return;
    cleaner.Get(CleanerAddress(base_, cesta_, name), kShortReplyLimit);
    cleaner.Disconnect();
  } catch (...) {
    // The server's housekeeping is not the job's concern.
  }
}

void TDownloadThread::SetUp(HttpClient& client, bool shortReply) const {
  client.CaFile = options_.CaFile;
  client.Proxies = options_.Proxies;
  client.ConnectTimeout = static_cast<int>(options_.ConnectTimeout.count());
  client.ReadTimeout = static_cast<int>(options_.ReadTimeout.count());
  client.RequestTimeout = shortReply ? static_cast<int>(options_.ShortReplyTimeout.count()) : 0;
}

void TDownloadThread::DoTerminate() {
  try {
    if (client_) client_->Disconnect();
  } catch (...) {
  }
  CancelFlag = true;
  if (ReturnValue != 0) {
    CloseTemporaryStream();
    folder_.RemoveTemp();
  }
}

}  // namespace kalvoran
