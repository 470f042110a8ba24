#pragma once
// The four interface languages: every text of the window that differs between
// them. All texts are Windows-1250.
#include <cstdint>
#include <string>
#include <vector>

#include "job_failure.h"

namespace kalvoran {

// Language indexes as the language menu's tags carry them.
enum LanguageIndex : std::uint8_t { kSlovak = 0, kCzech = 1, kEnglish = 2, kGerman = 3 };
inline constexpr std::uint8_t kLanguageCount = 4;

struct LanguageTable {
  std::string langCode;      // sent with the statistics as "Jazyk"
  std::string paste;         // key field menu
  std::string selectAll;     // key field menu
  std::string clear;         // key field menu
  std::string minimiseHint;  // hint of the minimise picture
  std::string keyLabel;      // label above the key field
  std::string download;      // DOWNLOAD button
  std::string close;         // CLOSE button
  std::string openFolder;    // open-folder button
  std::string msgConfirmClose;
  std::string msgBadKey;
  std::string msgInterrupted;
  std::string msgSuccess;
  std::string homepageHint;               // hint of the flag
  std::string homepageUrl;                // "http://" + the homepage host of the language
  int flag = 0;                           // image of the flag list
  std::vector<std::string> instructions;  // item 0 is the heading the closed list shows
};

// The table of a language; nullptr for an index beyond the four languages.
// The tables are built once and live until the program ends, so references
// into them stay valid on every thread.
const LanguageTable* FindLanguage(std::uint8_t index);

// Why a job was interrupted, told on a line of its own under msgInterrupted:
// the text for a cause in the language of `table` (one of FindLanguage's);
// empty for JobFailure::kNone, which gets no line.
const std::string& FailureText(const LanguageTable& table, JobFailure cause);

}  // namespace kalvoran
