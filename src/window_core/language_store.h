#pragma once
// Where the window keeps the language the user chose last, so that the next
// start speaks it: Qt's settings on Linux, the user's registry on Windows.
// Nothing stored, or something that is no language code, starts in German.
#include <string>

namespace kalvoran {

class LanguageStore {
 public:
  virtual ~LanguageStore() = default;
  // The language code stored ("sk", "cz", "en", "de"); empty when none is.
  virtual std::string Load() = 0;
  // Failures are ignored: the choice is then forgotten at the end.
  virtual void Save(const std::string& langCode) = 0;
};

}  // namespace kalvoran
