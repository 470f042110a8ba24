#include "header_list.h"

#include <algorithm>

namespace kalvoran {

namespace {

bool IsBlank(char c) {
  return static_cast<unsigned char>(c) <= ' ';
}
char Upper(char c) {
  return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}
bool IsContinuation(std::string_view line) {
  return !line.empty() && (line.front() == ' ' || line.front() == '\t');
}

}  // namespace

std::string_view Trim(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (Upper(a[i]) != Upper(b[i])) return false;
  }
  return true;
}

std::string UpperCase(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = Upper(c);
  return out;
}

std::string_view HeaderLineName(std::string_view line) {
  return line.substr(0, line.find(':'));
}

std::size_t HeaderList::Find(std::string_view name) const {
  for (std::size_t i = 0; i < lines_.size(); ++i) {
    // A continuation line belongs to the line before it, whatever it holds.
    if (IsContinuation(lines_[i])) continue;
    if (EqualsNoCase(HeaderLineName(lines_[i]), name)) return i;
  }
  return lines_.size();
}

std::string HeaderList::FoldedValue(std::size_t index) const {
  const std::string& line = lines_[index];
  const std::size_t colon = line.find(':');
  std::string value(Trim(colon == std::string::npos ? std::string_view()
                                                    : std::string_view(line).substr(colon + 1)));
  for (std::size_t i = index + 1; i < lines_.size() && IsContinuation(lines_[i]); ++i) {
    value += ' ';
    value += Trim(lines_[i]);
  }
  return std::string(Trim(value));
}

std::string HeaderList::Value(std::string_view name) const {
  const std::size_t i = Find(name);
  return i == lines_.size() ? std::string() : FoldedValue(i);
}

bool HeaderList::Has(std::string_view name) const {
  return Find(name) != lines_.size();
}

std::vector<std::string> HeaderList::Values(std::string_view name) const {
  std::vector<std::string> values;
  for (std::size_t i = 0; i < lines_.size(); ++i) {
    if (!IsContinuation(lines_[i]) && EqualsNoCase(HeaderLineName(lines_[i]), name)) {
      values.push_back(FoldedValue(i));
    }
  }
  return values;
}

std::vector<std::pair<std::string, std::string>> HeaderList::Fields() const {
  std::vector<std::pair<std::string, std::string>> fields;
  for (std::size_t i = 0; i < lines_.size(); ++i) {
    if (!IsContinuation(lines_[i])) {
      fields.emplace_back(std::string(HeaderLineName(lines_[i])), FoldedValue(i));
    }
  }
  return fields;
}

void HeaderList::Set(std::string_view name, std::string_view value) {
  std::string line;
  line.reserve(name.size() + 2 + value.size());
  line.append(name).append(": ").append(value);
  const std::size_t i = Find(name);
  if (i == lines_.size()) {
    lines_.push_back(std::move(line));
    return;
  }
  lines_[i] = std::move(line);
  std::size_t end = i + 1;
  while (end < lines_.size() && IsContinuation(lines_[end])) ++end;
  lines_.erase(lines_.begin() + static_cast<std::ptrdiff_t>(i + 1),
               lines_.begin() + static_cast<std::ptrdiff_t>(end));
}

std::string HeaderList::Text() const {
  // Every line goes out whole, however long: current servers refuse folded
  // request headers (a long Cookie line would turn into 400 Bad Request).
  std::string text;
  for (const std::string& line : lines_) text.append(line).append("\r\n");
  return text;
}

}  // namespace kalvoran
