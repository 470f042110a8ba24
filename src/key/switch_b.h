#pragma once
// The reordering of a key, over any sequence: over the key's bytes when a key
// is read, over position markers when a key is made (the positions it returns
// are the permutation to invert).
#include <cstddef>
#include <utility>

namespace kalvoran::detail {

template <class Sequence>
Sequence SwitchBSequence(Sequence s) {
  const std::size_t length = s.size();
  if (length < 4) return Sequence();
  Sequence e(s);
  const std::size_t passes = length / 4;
  for (std::size_t pass = 0; pass < passes; ++pass) {
    // Stage 1: the pairs from the second position on, each swapped. With an
    // even length the last element has no partner and goes to the front,
    // while the first goes to the end.
    const std::size_t pairs = (length - 1) / 2;
    for (std::size_t i = 1; i <= pairs; ++i) {
      e[2 * i - 1] = s[2 * i];
      e[2 * i] = s[2 * i - 1];
    }
    if (length % 2 == 1) {
      e[0] = s[0];
    } else {
      e[0] = s[length - 1];
      e[length - 1] = s[0];
    }
    // Stage 2: neighbours swapped from the first position on; an odd last
    // element stays where it is.
    for (std::size_t j = 0; j + 1 < length; j += 2) {
      s[j] = e[j + 1];
      s[j + 1] = e[j];
    }
    if (length % 2 == 1) s[length - 1] = e[length - 1];
  }
  return s;
}

}  // namespace kalvoran::detail
