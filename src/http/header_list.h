#pragma once
// An ordered list of header lines "Name: value". Lookups ignore the case of
// names and take the first match; a line that begins with a blank or a tab
// continues the value of the line before it.
#include <cstddef>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace kalvoran {

class HeaderList {
 public:
  void Clear() { lines_.clear(); }
  bool Empty() const { return lines_.empty(); }
  // Adds a line exactly as received (a continuation line included).
  void AddLine(std::string line) { lines_.push_back(std::move(line)); }
  const std::vector<std::string>& Lines() const { return lines_; }

  // The value of the first line named `name`, continuation lines folded in
  // (each part trimmed, joined by one blank), trimmed; empty when absent.
  std::string Value(std::string_view name) const;
  bool Has(std::string_view name) const;
  // Every value of lines named `name`, in order.
  std::vector<std::string> Values(std::string_view name) const;
  // Name and folded value of every line but continuation lines, in order.
  std::vector<std::pair<std::string, std::string>> Fields() const;

  // Replaces the first line of that name, with its continuation lines, in
  // place; appends a line when there is none.
  void Set(std::string_view name, std::string_view value);

  // The lines as written into a request head, each whole and ending in CR LF.
  std::string Text() const;

 private:
  std::size_t Find(std::string_view name) const;  // lines_.size() when absent
  std::string FoldedValue(std::size_t index) const;

  std::vector<std::string> lines_;
};

// The name of a header line: the text before its first ":" (not trimmed);
// the whole line when there is no ":".
std::string_view HeaderLineName(std::string_view line);

// Blanks, tabs, CR and LF removed from both ends.
std::string_view Trim(std::string_view text);
bool EqualsNoCase(std::string_view a, std::string_view b);
std::string UpperCase(std::string_view text);

}  // namespace kalvoran
