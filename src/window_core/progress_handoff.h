#pragma once
// Carries the bar's latest state from the worker's thread to the
// user-interface thread. The body arrives in 32 KiB blocks, tens of thousands
// a second on a fast link: every block offers its position, but only one
// delivery is ever queued to the user-interface thread, and it applies the
// latest position when it runs. The worker never waits; the window never
// falls behind by more than that one delivery.
//
//   worker:  if (handOff.Offer(update)) post a queued call of Deliver
//   window:  in that call, if (auto update = handOff.Take()) apply it
//
// No lock: one atomic word holds the latest update, one the pending flag.
#include <atomic>
#include <cstdint>
#include <optional>

namespace kalvoran {

struct ProgressUpdate {
  int position = 0;        // 0..65535
  bool setsLabel = false;  // a work event (the label follows); else a body's start
};

class ProgressHandOff {
 public:
  // Worker side: makes update the latest one. True when no delivery is
  // pending, so the caller must queue one now.
  bool Offer(ProgressUpdate update);

  // User-interface side, at the start of a delivery: the latest update, or
  // nothing when it was taken already or discarded. After this an Offer
  // queues a new delivery.
  std::optional<ProgressUpdate> Take();

  // User-interface side: forgets a waiting update (a job starting or ending).
  // A delivery still queued then finds nothing.
  void Discard();

  // For measurements: deliveries queued and run, and the most that were
  // queued but not yet run at any moment (1 by design).
  std::uint64_t Posted() const { return posted_.load(); }
  std::uint64_t Delivered() const { return delivered_.load(); }
  std::uint64_t MostBehind() const { return mostBehind_.load(); }

 private:
  static constexpr std::uint32_t kValid = 1u << 31;
  static constexpr std::uint32_t kLabel = 1u << 16;

  std::atomic<std::uint32_t> latest_{0};
  std::atomic<bool> pending_{false};
  std::atomic<std::uint64_t> posted_{0};
  std::atomic<std::uint64_t> delivered_{0};
  std::atomic<std::uint64_t> mostBehind_{0};
};

}  // namespace kalvoran
