#pragma once
// The arithmetic of the progress display: where the bar stands for a byte
// count, and the percentages the label and the title show. Everything is
// computed in extended precision and rounded to the nearest integer, ties to
// the even neighbour, as the bar and the texts must agree on every platform.
#include <cstdint>
#include <optional>

namespace kalvoran {

// The bar's maximum once a job has received its first body.
inline constexpr int kBarMaximum = 1000;

// The bar position for w bytes of a body of s bytes, file i (from 0) of n:
// ((w / s) x 1000) / n + (1000 / n) x i, rounded and held within 0..1000.
// Each file so owns an equal slice of the bar whatever its size. Nothing when
// the fraction is undefined: s or n not positive (a body read until the
// server closes has nothing written yet).
std::optional<int> BarPosition(std::int64_t w, std::int64_t s, std::int64_t n, std::int64_t i);

// The label's percentage for a bar position out of 1000: position / 10, rounded.
int LabelPercent(int position);

// The title's percentage: (position / maximum) x 100, rounded; 0 for a bar
// without range.
int TitlePercent(int position, int maximum);

}  // namespace kalvoran
