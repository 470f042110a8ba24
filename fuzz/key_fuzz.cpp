// The key side on arbitrary bytes: the unscrambling chain never fails and
// keeps its length and alphabet rules; a descriptor either reads or raises the
// conversion error, and what it reads survives encoding into a key and back.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <optional>
#include <string>
#include <string_view>

#include "funkcie.h"
#include "fuzz_check.h"
#include "key_alphabet.h"
#include "key_descriptor.h"
#include "key_encoder.h"
#include "str_to_int.h"

namespace {

using namespace kalvoran;
using fuzz::AsText;

// A key unscrambles without loss when every pair after the reordering is two
// base-35 digits worth at most the last code of the table.
bool WellFormed(std::string_view key) {
  if (key.size() < 4 || key.size() % 2 != 0) return false;
  if (!std::all_of(key.begin(), key.end(), [](char c) { return Base35Value(c) >= 0; })) {
    return false;
  }
  const std::string reordered = SwitchB(key);
  for (std::size_t i = 0; i < reordered.size(); i += 2) {
    if (Base35Value(reordered[i]) * 35 + Base35Value(reordered[i + 1]) >= kCodeTableSize) {
      return false;
    }
  }
  return true;
}

void CheckChain(std::string_view key) {
  std::string reordered;
  std::string text;
  try {
    reordered = SwitchB(key);
    text = UnscrambleKey(key);
  } catch (const std::exception& e) {
    FUZZ_CHECK(false, std::string("the chain failed: ") + e.what());
  }

  if (key.size() < 4) {
    FUZZ_CHECK(reordered.empty() && text.empty(), "a short key gives the empty text");
  } else {
    std::string a(key), b(reordered);
    std::sort(a.begin(), a.end());
    std::sort(b.begin(), b.end());
    FUZZ_CHECK(a == b, "the reordering only moves characters");
  }
  for (char c : text) FUZZ_CHECK(CodeOf(c) >= 0, "a character outside the code table");
  // Each group of three digits gives at most one character.
  FUZZ_CHECK(text.size() <= PairsToCodes(reordered).size() / 3, "more characters than codes");

  if (WellFormed(key)) {
    FUZZ_CHECK(text.size() == key.size() / 2, "a well-formed key gives one character per pair");
    // The encoder is the exact inverse on well-formed keys.
    const std::optional<std::string> again = EncodeKey(text);
    FUZZ_CHECK(again && *again == key, "re-encoding a well-formed key's text gives the key");
  }
}

// The descriptor text that reads back as `d` (field 2 "noo" or anything else).
std::string Compose(const KeyDescriptor& d) {
  std::string files;
  for (const std::string& f : d.Files) files += (files.empty() ? "" : "*") + f;
  return std::to_string(d.ServerIndex) + ";" + (d.DeleteFlag ? "ano" : "noo") + ";" + d.Cesta +
         ";" + files + ";" + d.RunFile;
}

void CheckDescriptor(std::string_view text) {
  KeyDescriptor d;
  try {
    d = ReadKeyDescriptor(text);
  } catch (const EConvertError&) {
    return;  // the unreadable key
  } catch (const std::exception& e) {
    FUZZ_CHECK(false, std::string("reading raised something else: ") + e.what());
  }
  for (const std::string& f : d.Files) {
    FUZZ_CHECK(!f.empty(), "an empty file name in the list");
    FUZZ_CHECK(f.find_first_of("*;") == std::string::npos, "a separator inside a file name");
  }
  FUZZ_CHECK(d.Cesta.find(';') == std::string::npos, "a separator inside the folder");
  FUZZ_CHECK(d.RunFile.find(';') == std::string::npos, "a separator inside the run file");

  const std::string composed = Compose(d);
  const std::optional<std::string> key = EncodeKey(composed);
  if (!key) return;  // a character outside the code table, or too long for a key
  const std::string back = UnscrambleKey(*key);
  FUZZ_CHECK(back == composed, "an encodable descriptor survives the key round trip");
  const KeyDescriptor again = ReadKeyDescriptor(back);
  FUZZ_CHECK(again.ServerIndex == d.ServerIndex && again.DeleteFlag == d.DeleteFlag &&
                 again.Cesta == d.Cesta && again.Files == d.Files && again.RunFile == d.RunFile,
             "the descriptor reads back the same");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // The window hands over at most this much of a key.
  const std::string_view input = AsText(data, std::min(size, kMaxKeyLength));
  CheckChain(input);
  CheckDescriptor(UnscrambleKey(input));
  // The reading and the encoder on their own, with descriptor texts the chain
  // would rarely produce from random keys.
  CheckDescriptor(input);
  if (const std::optional<std::string> key = EncodeKey(input)) {
    FUZZ_CHECK(UnscrambleKey(*key) == input, "an encodable text survives the key round trip");
  }
  return 0;
}
