#include "progress_handoff.h"

namespace kalvoran {

bool ProgressHandOff::Offer(ProgressUpdate update) {
  std::uint32_t word = kValid | (static_cast<std::uint32_t>(update.position) & 0xFFFFu);
  if (update.setsLabel) word |= kLabel;
  latest_.store(word);
  if (pending_.exchange(true)) return false;

  const std::uint64_t posted = posted_.fetch_add(1, std::memory_order_relaxed) + 1;
  const std::uint64_t behind = posted - delivered_.load(std::memory_order_acquire);
  std::uint64_t most = mostBehind_.load(std::memory_order_relaxed);
  while (behind > most && !mostBehind_.compare_exchange_weak(most, behind)) {
  }
  return true;
}

std::optional<ProgressUpdate> ProgressHandOff::Take() {
  // Counted before the flag opens, so an Offer that queues the next delivery
  // already sees this one as run. The flag opens before the value is read: an
  // Offer in between then queues a delivery of its own instead of leaving
  // its value behind. Flag and value are a store-then-read pair on each side,
  // so both take the sequentially consistent order.
  delivered_.fetch_add(1, std::memory_order_release);
  pending_.store(false);
  const std::uint32_t word = latest_.exchange(0);
  if ((word & kValid) == 0) return std::nullopt;
  return ProgressUpdate{static_cast<int>(word & 0xFFFFu), (word & kLabel) != 0};
}

void ProgressHandOff::Discard() {
  latest_.store(0);
}

}  // namespace kalvoran
