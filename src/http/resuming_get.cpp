#include "resuming_get.h"

#include <algorithm>
#include <string_view>
#include <thread>
#include <utility>

#include "errors.h"
#include "header_list.h"

namespace kalvoran {
namespace {

// The server would not give the rest asked for: a 416, or a 206 of another
// part. Then the body is fetched whole again.
bool IsRangeRefusal(const std::exception_ptr& failure) {
  try {
    std::rethrow_exception(failure);
  } catch (const ERangeMismatch&) {
    return true;
  } catch (const EHttpProtocolError& e) {
    return e.ErrorCode() == 416;
  } catch (...) {
    return false;
  }
}

[[noreturn]] void GiveUp(const std::exception_ptr& failure) {
  if (failure) std::rethrow_exception(failure);
  throw EConnClosedGracefully();  // the body ended short of its length
}

// The validator If-Range may carry: a strong ETag, else the Last-Modified
// date as the server wrote it. A weak ETag cannot vouch for single bytes.
std::string ValidatorOf(const HttpResponse& response) {
  const std::string etag(Trim(response.RawHeaders.Value("ETag")));
  if (!etag.empty() && etag.rfind("W/", 0) != 0) return etag;
  return std::string(Trim(response.RawHeaders.Value("Last-Modified")));
}

}  // namespace

bool IsNetworkFailure(const std::exception_ptr& failure) {
  try {
    std::rethrow_exception(failure);
  } catch (const ETlsError& e) {
    return e.ConnectionCut();
  } catch (const EClientError& e) {
    // A 2xx head that the close cut short.
    return std::string_view(e.what()) == "Undefined situation";
  } catch (const EConnClosedGracefully&) {
    return true;
  } catch (const ENotConnected&) {
    return true;
  } catch (const EReadTimeout&) {
    return true;
  } catch (const EConnectTimeout&) {
    return true;
  } catch (const ESocketError&) {
    return true;
  } catch (...) {
    return false;
  }
}

ResumingGet::ResumingGet(HttpClient& client, ResumePolicy policy)
    : client_(client), policy_(std::move(policy)) {}

std::int64_t ResumingGet::BodyOffset() const {
  return client_.Response().ResponseCode == 206 ? from_.Offset : 0;
}

void ResumingGet::Get(const std::string& url, Stream& target) {
  const std::int64_t base = target.Position();
  from_ = ResumeFrom{};
  answered_ = false;
  furthest_ = 0;
  int failures = 0;  // tries in a row that brought the body no further
  for (;;) {
    const std::uint64_t heads = client_.ResponseHeads();
    std::exception_ptr failure;
    try {
      client_.Get(url, target, from_);
    } catch (...) {
      failure = std::current_exception();
    }
    const bool refused = from_.Offset > 0 && failure && IsRangeRefusal(failure);
    if (client_.ResponseHeads() != heads && !refused) NoteAnswer();
    if (policy_.Stopped && policy_.Stopped()) {
      if (failure) std::rethrow_exception(failure);
      return;
    }
    const std::int64_t have = target.Position() - base;
    if (!failure && (from_.Total < 0 || have == from_.Total)) return;
    const bool resumable = refused || !failure || IsNetworkFailure(failure);
    if (!answered_ || policy_.Tries <= 0 || !resumable) GiveUp(failure);

    if (have > furthest_) {
      furthest_ = have;
      failures = 0;
    } else if (++failures >= policy_.Tries || !WaitBeforeTry(failures)) {
      GiveUp(failure);
    }
    // Nothing would tell the rest of this body from that of another without
    // a validator or a length: then all of it again, as after a refusal.
    if (refused || (from_.Validator.empty() && from_.Total < 0)) {
      target.Seek(base);
      target.SetSize(base);
      from_ = ResumeFrom{};
    } else {
      from_.Offset = have;
    }
  }
}

void ResumingGet::NoteAnswer() {
  const HttpResponse& r = client_.Response();
  if (r.ResponseCode / 100 != 2) return;
  answered_ = true;
  if (r.ResponseCode == 206 && from_.Offset > 0) {
    if (from_.Total < 0) from_.Total = r.ContentRangeTotal;
    return;
  }
  // The whole body: what a range asked for later must still belong to.
  std::string validator = ValidatorOf(r);
  const std::int64_t total = r.HasContentLength ? r.ContentLength : -1;
  // Another body than before: what was held of the old one counts for nothing.
  if (validator != from_.Validator || total != from_.Total) furthest_ = 0;
  from_.Validator = std::move(validator);
  from_.Total = total;
}

bool ResumingGet::WaitBeforeTry(int failures) {
  if (policy_.Waits.empty()) return true;
  const std::size_t index =
      std::min(static_cast<std::size_t>(failures - 1), policy_.Waits.size() - 1);
  const std::chrono::milliseconds wait = policy_.Waits[index];
  if (policy_.Pause) return policy_.Pause(wait);
  std::this_thread::sleep_for(wait);
  return true;
}

}  // namespace kalvoran
