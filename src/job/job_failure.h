#pragma once
// Why a download job ended as interrupted, in the words the user is told:
// the window shows a line for each cause under the interrupted message, so
// that the user knows what to do. Causes are coarse on purpose; what does not
// fit any of them stays kNone and gets no line.
#include <cstddef>
#include <cstdint>
#include <exception>

namespace kalvoran {

enum class JobFailure : std::uint8_t {
  kNone,            // not known, or not the user's to act on
  kUnreachable,     // refused, host not found, connect time-out
  kConnectionLost,  // reset, closed under the transfer, a cut TLS stream
  kNoAnswer,        // the server fell silent (read time-out)
  kRefused,         // the server answered with the content type "error"
  kServerError,     // any other HTTP error status
  kUntrustedCertificate,
  kProxy,  // the proxy refused, wants credentials or cannot be reached
  kDiskFull,
  kFolderNotWritable,
  kNameRefused,  // a listed name the file system (or our name check) refuses
  kFolderBusy,   // another job holds the download folder
};
inline constexpr std::size_t kJobFailureCount = 12;

// The cause of a failure caught while a file was fetched, written or named:
// the HTTP client's errors, and the download folder's EStreamError with the
// file system's errno value.
JobFailure FailureOf(const std::exception_ptr& failure);

// The cause of a failed file operation, from its errno value (Windows codes
// arrive mapped to errno values); kNone for one with no advice to give.
JobFailure FailureOfFileError(int error);
// The same for the rename that gives a file its listed name, where a name
// too long or of characters the file system does not take is the name's fault.
JobFailure FailureOfRename(int error);

}  // namespace kalvoran
