#include "job_window.h"

#include "cancel_flag.h"

namespace kalvoran {

bool IsErrorResponse(const HttpClient& client) {
  return client.Response().ContentType == "error";
}

bool RefuseErrorResponse(HttpClient& sender) {
  if (!IsErrorResponse(sender)) return false;
  sender.Disconnect();
  CancelFlag = true;
  return true;
}

}  // namespace kalvoran
