// The progress display's arithmetic, and the hand-over of the bar's position
// from the worker's thread to the user-interface thread.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <thread>
#include <vector>

#include "job_progress.h"
#include "progress_handoff.h"

namespace kalvoran {
namespace {

TEST(Progress, BarLabelAndTitleFollowTheFileSlices) {
  struct Case {
    std::int64_t w, s, n, i;
    int position;  // -1: no update
    int label;
  };
  const std::vector<Case> cases = {
      {500, 1000, 4, 2, 625, 62},             // half of file 3 of 4
      {7, 7, 1, 0, 1000, 100},                // a whole single file
      {0, 9, 2, 1, 500, 50},                  // the start of file 2 of 2
      {1, 1, 3, 1, 667, 67},                  // thirds round up
      {1, 1, 3, 2, 1000, 100},                // the last third ends at 1000
      {1, 1, 2000, 0, 0, 0},                  // ties of half a step go to the even
      {1, 1, 2000, 2, 2, 0},                  //   neighbour: 0.5 to 0, 1.5 to 2,
      {1, 1, 2000, 4, 2, 0},                  //   2.5 to 2
      {635, 1000, 1, 0, 635, 64},             // label 63.5 to 64
      {5, 1000, 1, 0, 5, 0},                  // label 0.5 to 0
      {15, 1000, 1, 0, 15, 2},                // label 1.5 to 2
      {5000, 10, 2, 0, 1000, 100},            // beyond a growing body
      {1LL << 31, 1LL << 32, 1, 0, 500, 50},  // a 4 GiB file
      {0, 0, 1, 0, -1, 0},                    // nothing written yet
      {5, 10, 0, 0, -1, 0},                   // no file count
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.w) + "/" + std::to_string(c.s) + " of file " +
                 std::to_string(c.i) + " of " + std::to_string(c.n));
    const std::optional<int> p = BarPosition(c.w, c.s, c.n, c.i);
    EXPECT_EQ(p.value_or(-1), c.position);
    if (!p) continue;
    EXPECT_EQ(LabelPercent(*p), c.label);
    EXPECT_EQ(TitlePercent(*p, kBarMaximum), c.label);
  }
  EXPECT_EQ(TitlePercent(37, 100), 37);  // the bar before its first body
}

TEST(Progress, HandOffQueuesOneDeliveryAndKeepsTheLatestValue) {
  ProgressHandOff handOff;
  std::atomic<int> queued{0};
  std::atomic<bool> done{false};
  constexpr int kOffers = 200000;
  std::thread worker([&] {
    for (int k = 1; k <= kOffers; ++k) {
      if (handOff.Offer({k % 1001, true})) queued.fetch_add(1);
    }
    done = true;
  });
  // The user-interface side: runs each queued delivery.
  int last = -1;
  while (!done.load() || queued.load() > 0) {
    if (queued.load() == 0) continue;
    queued.fetch_sub(1);
    if (const auto update = handOff.Take()) last = update->position;
  }
  worker.join();
  EXPECT_EQ(last, kOffers % 1001);  // the final position is never lost
  EXPECT_EQ(handOff.Posted(), handOff.Delivered());
  EXPECT_LE(handOff.MostBehind(), 1u);

  // A discarded value is not delivered; the next offer queues anew.
  EXPECT_TRUE(handOff.Offer({7, false}));
  EXPECT_FALSE(handOff.Offer({8, false}));
  handOff.Discard();
  EXPECT_FALSE(handOff.Take().has_value());
  EXPECT_TRUE(handOff.Offer({9, false}));
  const auto next = handOff.Take();
  ASSERT_TRUE(next.has_value());
  EXPECT_EQ(next->position, 9);
  EXPECT_FALSE(next->setsLabel);
}

}  // namespace
}  // namespace kalvoran
