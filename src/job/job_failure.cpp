#include "job_failure.h"

#include <cerrno>
#include <string_view>

#include "errors.h"

namespace kalvoran {
namespace {

JobFailure FailureOfSocketError(int code) {
  switch (code) {
    case 10051:  // network unreachable
    case 10060:  // connection timed out
    case 10061:  // connection refused
    case 10064:  // host down
    case 10065:  // no route to host
    case 11001:  // host not found
      return JobFailure::kUnreachable;
    case 10052:  // network dropped the connection
    case 10053:  // connection aborted
    case 10054:  // connection reset
    case 10058:  // send after the peer's shutdown
      return JobFailure::kConnectionLost;
    default:
      return JobFailure::kNone;
  }
}

JobFailure FailureOfHttpError(const HttpError& error) {
  const bool atProxy = error.AtProxy();
  if (const auto* e = dynamic_cast<const EHttpProtocolError*>(&error)) {
    // 407 comes from a proxy only, however it was reached.
    return atProxy || e->ErrorCode() == 407 ? JobFailure::kProxy : JobFailure::kServerError;
  }
  if (const auto* e = dynamic_cast<const EStreamError*>(&error)) {
    return FailureOfFileError(e->SystemError());
  }
  if (const auto* e = dynamic_cast<const ETlsError*>(&error)) {
    if (e->ConnectionCut()) return JobFailure::kConnectionLost;
    const std::string_view message = e->what();
    return message.rfind("TLS: certificate verify failed", 0) == 0
               ? JobFailure::kUntrustedCertificate
               : JobFailure::kNone;
  }
  JobFailure cause = JobFailure::kNone;
  if (const auto* e = dynamic_cast<const ESocketError*>(&error)) {
    cause = FailureOfSocketError(e->Code());
  } else if (dynamic_cast<const EConnectTimeout*>(&error)) {
    cause = JobFailure::kUnreachable;
  } else if (dynamic_cast<const EReadTimeout*>(&error)) {
    cause = JobFailure::kNoAnswer;
  } else if (dynamic_cast<const EConnClosedGracefully*>(&error) ||
             dynamic_cast<const ENotConnected*>(&error)) {
    cause = JobFailure::kConnectionLost;
  } else if (dynamic_cast<const EClientError*>(&error)) {
    // A 2xx head that a close cut short; a proxy setting that cannot be used.
    cause = std::string_view(error.what()) == "Undefined situation" ? JobFailure::kConnectionLost
                                                                    : JobFailure::kNone;
  }
  // Whatever kept the proxy from passing the request on is the proxy's.
  return atProxy ? JobFailure::kProxy : cause;
}

}  // namespace

JobFailure FailureOfFileError(int error) {
  switch (error) {
    case ENOSPC:
#ifdef EDQUOT
    case EDQUOT:
#endif
      return JobFailure::kDiskFull;
    case EACCES:
    case EPERM:
    case EROFS:
      return JobFailure::kFolderNotWritable;
    default:
      return JobFailure::kNone;
  }
}

JobFailure FailureOfRename(int error) {
  switch (error) {
    case EINVAL:
    case ENAMETOOLONG:
    case EILSEQ:
      return JobFailure::kNameRefused;
    default:
      return FailureOfFileError(error);
  }
}

JobFailure FailureOf(const std::exception_ptr& failure) {
  if (!failure) return JobFailure::kNone;
  try {
    std::rethrow_exception(failure);
  } catch (const HttpError& e) {
    return FailureOfHttpError(e);
  } catch (...) {
    return JobFailure::kNone;
  }
}

}  // namespace kalvoran
