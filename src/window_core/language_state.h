#pragma once
// The program-wide texts of the language applied last. Only the window's
// language switch writes them, on the user-interface thread; they are read on
// that thread, except LangCode, which the statistics report reads on the
// worker's thread. All of them come from one immutable table published with a
// single atomic store, so a reader on any thread gets the old or the new text
// whole, never one that is being replaced. Before the first language is applied
// every text is empty. Texts are Windows-1250.
#include <string>

#include "job_failure.h"

namespace kalvoran {

struct LanguageTable;

// Makes table the current language; it must live until the program ends
// (the tables of FindLanguage do).
void PublishLanguage(const LanguageTable& table);

const std::string& LangCode();
const std::string& HomepageUrl();
const std::string& MsgConfirmClose();
const std::string& MsgSuccess();
const std::string& MsgBadKey();
const std::string& MsgInterrupted();
// The line under MsgInterrupted that says why; empty for JobFailure::kNone.
const std::string& MsgFailureCause(JobFailure cause);

}  // namespace kalvoran
