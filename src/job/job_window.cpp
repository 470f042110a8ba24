#include "job_window.h"

#include "cancel_flag.h"

namespace kalvoran {

bool RefuseErrorResponse(HttpClient& sender) {
  if (sender.Response().ContentType != "error") return false;
  sender.Disconnect();
  CancelFlag = true;
  return true;
}

}  // namespace kalvoran
