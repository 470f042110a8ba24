#pragma once
// The HTTP/1.1 client of a download job: GET into a stream or into a string,
// over one kept-alive connection, with its own cookie jar. Every outcome but a
// 2xx answer without Location ends the Get with an HttpError.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "http_response.h"
#include "stream.h"
#include "work_mode.h"

namespace kalvoran {

class HttpClient {
 public:
  using WorkBeginHandler =
      std::function<void(HttpClient& sender, TWorkMode mode, std::int64_t expected)>;
  using WorkHandler =
      std::function<void(HttpClient& sender, TWorkMode mode, std::int64_t countSoFar)>;
  using WorkEndHandler = std::function<void(HttpClient& sender, TWorkMode mode)>;

  HttpClient();
  ~HttpClient();  // closes the connection, releases the jar
  HttpClient(const HttpClient&) = delete;
  HttpClient& operator=(const HttpClient&) = delete;

  // The body goes into target from its position at the call.
  void Get(const std::string& url, Stream& target);
  // The body as bytes; empty when there is none.
  std::string Get(const std::string& url);
  // Safe from the transfer events and from another thread.
  void Disconnect();

  // Valid during the transfer events and after a request.
  const HttpResponse& Response() const;

  std::int64_t Tag = 0;  // the caller's; the client never reads it

  WorkBeginHandler OnWorkBegin;
  WorkHandler OnWork;
  WorkEndHandler OnWorkEnd;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace kalvoran
