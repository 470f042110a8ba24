#pragma once
// A download that survives a broken connection: once the first answer's head
// has come, a body that breaks off (a close before its length, a reset, a
// read time-out, a TLS stream cut) is asked for again from where it broke,
// with "Range: bytes=N-" and If-Range, and written on at N in the same
// target. A server that ignores the range, or whose file has changed, sends
// the whole body again, which then replaces the part held.
//
// Tries: one that brings the body further than it ever was resets the count;
// Tries of them in a row that do not end the download, with Waits between
// them. Before the first answer nothing is tried again (a host that does not
// exist, a refused connection, an answer that never comes), and never after
// an error status, a certificate error, a failing target, or the caller's
// own stop.
#include <chrono>
#include <cstdint>
#include <exception>
#include <functional>
#include <string>
#include <vector>

#include "http_client.h"
#include "stream.h"

namespace kalvoran {

struct ResumePolicy {
  // Tries in a row without progress before the download is given up; 0 =
  // the first break ends it.
  int Tries = 5;
  // Before the k-th try in a row without progress (k from 1); the last one
  // repeats when there are more tries than waits.
  std::vector<std::chrono::milliseconds> Waits = {std::chrono::seconds(1), std::chrono::seconds(2),
                                                  std::chrono::seconds(4), std::chrono::seconds(8)};
  // Waits before a try; false when the download must stop instead. Default:
  // sleeps and goes on.
  std::function<bool(std::chrono::milliseconds)> Pause;
  // Asked after every request: the caller has stopped the download (it
  // disconnected the client, say). Then the Get ends at once, with the
  // request's own error or normally, and the caller judges the target.
  std::function<bool()> Stopped;
};

class ResumingGet {
 public:
  ResumingGet(HttpClient& client, ResumePolicy policy);

  // Fetches the body into target from its position at the call. Returns
  // when the whole body is there (as far as the server framed it), raises
  // the last request's error when the download is given up; a body that
  // ended short without an error raises EConnClosedGracefully.
  void Get(const std::string& url, Stream& target);

  // For the transfer events while a request runs: whether it asks for the
  // rest of the body, and where in the body the bytes of its answer begin
  // (0 but for a 206 that goes on).
  bool Resuming() const { return from_.Offset > 0; }
  std::int64_t BodyOffset() const;

 private:
  // Takes what a 2xx answer says about the body: its validator and length.
  void NoteAnswer();
  bool WaitBeforeTry(int failures);

  HttpClient& client_;
  const ResumePolicy policy_;
  ResumeFrom from_;            // the running or next request
  bool answered_ = false;      // a 2xx head of this body has come
  std::int64_t furthest_ = 0;  // the most of the body ever held
};

// Whether a failed request was the network's doing, so that the rest of the
// body may still come: a close, a reset, a time-out, a refused or unknown
// host, a TLS stream cut. Error statuses, certificates, a failing target and
// anything else are not.
bool IsNetworkFailure(const std::exception_ptr& failure);

}  // namespace kalvoran
