#pragma once

namespace kalvoran {

// Which direction a transfer event counts. A GET only ever reads.
enum TWorkMode { wmRead, wmWrite };

}  // namespace kalvoran
