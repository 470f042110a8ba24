#pragma once
// What a screen reader announces for the window's controls that show no text
// of their own (the key field, the flag, the minimise picture, the bar), in
// each of the four languages. The buttons and the list speak their captions.
// Texts are Windows-1250.
#include <cstdint>
#include <string>
#include <vector>

#include "window_view.h"

namespace kalvoran {

struct AccessibleText {
  Component component;
  std::string name;
  std::string description;
};

// The texts of a language index; empty for an index beyond the four.
const std::vector<AccessibleText>& AccessibleTexts(std::uint8_t language);

}  // namespace kalvoran
