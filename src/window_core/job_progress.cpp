#include "job_progress.h"

#include <cmath>

namespace kalvoran {
namespace {

// Rounds under the default rounding mode: to nearest, ties to even.
long double RoundEven(long double value) {
  return std::nearbyint(value);
}

}  // namespace

std::optional<int> BarPosition(std::int64_t w, std::int64_t s, std::int64_t n, std::int64_t i) {
  if (s <= 0 || n <= 0) return std::nullopt;
  const long double share = static_cast<long double>(kBarMaximum);
  const long double p = ((static_cast<long double>(w) / static_cast<long double>(s)) * share) /
                            static_cast<long double>(n) +
                        (share / static_cast<long double>(n)) * static_cast<long double>(i);
  if (std::isnan(p)) return std::nullopt;
  const long double held = std::fmin(std::fmax(RoundEven(p), 0.0L), share);
  return static_cast<int>(held);
}

int LabelPercent(int position) {
  return static_cast<int>(RoundEven(static_cast<long double>(position) / 10.0L));
}

int TitlePercent(int position, int maximum) {
  if (maximum <= 0) return 0;
  return static_cast<int>(
      RoundEven(static_cast<long double>(position) / static_cast<long double>(maximum) * 100.0L));
}

}  // namespace kalvoran
