#include "language_state.h"

#include <atomic>

#include "language_tables.h"

namespace kalvoran {
namespace {

std::atomic<const LanguageTable*> current{nullptr};
const std::string kNone;

const LanguageTable* Current() {
  return current.load(std::memory_order_acquire);
}

}  // namespace

void PublishLanguage(const LanguageTable& table) {
  current.store(&table, std::memory_order_release);
}

const std::string& LangCode() {
  const LanguageTable* t = Current();
  return t ? t->langCode : kNone;
}
const std::string& HomepageUrl() {
  const LanguageTable* t = Current();
  return t ? t->homepageUrl : kNone;
}
const std::string& MsgConfirmClose() {
  const LanguageTable* t = Current();
  return t ? t->msgConfirmClose : kNone;
}
const std::string& MsgSuccess() {
  const LanguageTable* t = Current();
  return t ? t->msgSuccess : kNone;
}
const std::string& MsgBadKey() {
  const LanguageTable* t = Current();
  return t ? t->msgBadKey : kNone;
}
const std::string& MsgInterrupted() {
  const LanguageTable* t = Current();
  return t ? t->msgInterrupted : kNone;
}

const std::string& MsgFailureCause(JobFailure cause) {
  const LanguageTable* t = Current();
  return t ? FailureText(*t, cause) : kNone;
}

}  // namespace kalvoran
