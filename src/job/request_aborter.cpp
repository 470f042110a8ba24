#include "request_aborter.h"

namespace kalvoran {

bool RequestAborter::Enter(HttpClient& client) {
  std::lock_guard lock(mutex_);
  if (aborted_) return false;
  client_ = &client;
  return true;
}

void RequestAborter::Leave() {
  std::lock_guard lock(mutex_);
  client_ = nullptr;
}

void RequestAborter::Abort() {
  std::lock_guard lock(mutex_);
  aborted_ = true;
  if (client_ != nullptr) client_->Disconnect();
  abortedChanged_.notify_all();
}

bool RequestAborter::Pause(std::chrono::milliseconds time) {
  std::unique_lock lock(mutex_);
  return !abortedChanged_.wait_for(lock, time, [this] { return aborted_; });
}

}  // namespace kalvoran
