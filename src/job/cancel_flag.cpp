#include "cancel_flag.h"

namespace kalvoran {

std::atomic<bool> CancelFlag{false};

}  // namespace kalvoran
