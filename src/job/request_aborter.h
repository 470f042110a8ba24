#pragma once
// Lets another thread cut short the request the worker is waiting in, or its
// pause between two tries: a program that closes must not wait for a
// server's time-out or the next try; destroying a worker aborts instead.
#include <chrono>
#include <condition_variable>
#include <mutex>

#include "http_client.h"

namespace kalvoran {

class RequestAborter {
 public:
  // Registers the client for the request about to be sent. False once Abort
  // was called: the request must not be sent.
  bool Enter(HttpClient& client);
  void Leave();
  // Disconnects the registered client (safe from another thread) and refuses
  // every later Enter. May be called again, e.g. when a connection was being
  // opened at the first call.
  void Abort();
  // Waits the time out; false at once when aborted, before or during it.
  bool Pause(std::chrono::milliseconds time);

 private:
  std::mutex mutex_;
  std::condition_variable abortedChanged_;
  HttpClient* client_ = nullptr;
  bool aborted_ = false;
};

// Enter in the constructor, Leave in the destructor.
class AbortableRequest {
 public:
  AbortableRequest(RequestAborter* aborter, HttpClient& client)
      : aborter_(aborter), allowed_(aborter == nullptr || aborter->Enter(client)) {}
  ~AbortableRequest() {
    if (aborter_ != nullptr && allowed_) aborter_->Leave();
  }
  AbortableRequest(const AbortableRequest&) = delete;
  AbortableRequest& operator=(const AbortableRequest&) = delete;
  bool Allowed() const { return allowed_; }

 private:
  RequestAborter* aborter_;
  bool allowed_;
};

}  // namespace kalvoran
