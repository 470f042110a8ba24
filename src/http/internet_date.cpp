#include "internet_date.h"

#include <array>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <vector>

#include "header_list.h"

namespace kalvoran {

namespace {

constexpr std::int64_t kMinSeconds = -11644473600;  // 1601-01-01
constexpr std::int64_t kMaxSeconds = 253402300799;  // 9999-12-31 23:59:59

constexpr std::array<const char*, 12> kMonths = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                 "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
constexpr std::array<const char*, 7> kWeekdays = {"Thu", "Fri", "Sat", "Sun",
                                                  "Mon", "Tue", "Wed"};  // from 1970-01-01

// Days since 1970-01-01 of a proleptic Gregorian date.
std::int64_t DaysFromCivil(std::int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const std::int64_t yoe = y - era * 400;
  const std::int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

void CivilFromDays(std::int64_t z, std::int64_t& y, unsigned& m, unsigned& d) {
  z += 719468;
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const std::int64_t doe = z - era * 146097;
  const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const std::int64_t mp = (5 * doy + 2) / 153;
  d = static_cast<unsigned>(doy - (153 * mp + 2) / 5 + 1);
  m = static_cast<unsigned>(mp < 10 ? mp + 3 : mp - 9);
  y = yoe + era * 400 + (m <= 2);
}

bool IsLeap(std::int64_t y) {
  return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

unsigned DaysInMonth(std::int64_t y, unsigned m) {
  static constexpr unsigned kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return m == 2 && IsLeap(y) ? 29 : kDays[m - 1];
}

bool AllDigits(std::string_view s) {
  if (s.empty()) return false;
  for (char c : s) {
    if (c < '0' || c > '9') return false;
  }
  return true;
}

int Number(std::string_view s) {
  int v = 0;
  for (char c : s) v = v * 10 + (c - '0');
  return v;
}

int MonthIndex(std::string_view token) {
  if (token.size() < 3) return -1;
  const std::string upper = UpperCase(token.substr(0, 3));
  for (std::size_t i = 0; i < kMonths.size(); ++i) {
    if (upper == UpperCase(kMonths[i])) return static_cast<int>(i) + 1;
  }
  return -1;
}

// "hh:mm:ss" (or "hh:mm") into seconds of the day.
bool ParseTime(std::string_view token, int& seconds) {
  int parts[3] = {0, 0, 0};
  int count = 0;
  while (count < 3) {
    const std::size_t colon = token.find(':');
    const std::string_view part = token.substr(0, colon);
    if (!AllDigits(part) || part.size() > 2) return false;
    parts[count++] = Number(part);
    if (colon == std::string_view::npos) break;
    token.remove_prefix(colon + 1);
  }
  if (count < 2 || (count == 3 && token.find(':') != std::string_view::npos)) return false;
  if (parts[0] > 23 || parts[1] > 59 || parts[2] > 60) return false;
  seconds = parts[0] * 3600 + parts[1] * 60 + parts[2];
  return true;
}

// "+hhmm" or "-hhmm" into seconds east of UTC.
bool ParseOffset(std::string_view token, int& offset) {
  if (token.size() != 5 || (token[0] != '+' && token[0] != '-') || !AllDigits(token.substr(1))) {
    return false;
  }
  const int hours = Number(token.substr(1, 2));
  const int minutes = Number(token.substr(3, 2));
  if (hours > 23 || minutes > 59) return false;
  offset = (hours * 3600 + minutes * 60) * (token[0] == '-' ? -1 : 1);
  return true;
}

}  // namespace

std::optional<std::int64_t> ParseInternetDate(std::string_view text) {
  // Tokens at blanks and commas; a day-month-year token is split at "-" too.
  std::vector<std::string_view> tokens;
  std::size_t start = 0;
  for (std::size_t i = 0; i <= text.size(); ++i) {
    if (i == text.size() || text[i] == ' ' || text[i] == ',' || text[i] == '\t') {
      if (i > start) tokens.push_back(text.substr(start, i - start));
      start = i + 1;
    }
  }
  if (tokens.size() > 8) return std::nullopt;

  int day = -1, month = -1, time = -1, offset = 0;
  std::int64_t year = -1;
  bool zoneSeen = false;
  for (std::string_view token : tokens) {
    if (token.size() >= 5 && (token[0] == '+' || token[0] == '-')) {
      if (zoneSeen || !ParseOffset(token, offset)) return std::nullopt;
      zoneSeen = true;
      continue;
    }
    const std::size_t dash = token.find('-');
    if (dash != std::string_view::npos && dash > 0) {
      // 06-Nov-94 or 06-Nov-1994
      const std::size_t dash2 = token.find('-', dash + 1);
      if (dash2 == std::string_view::npos || day >= 0 || month >= 0 || year >= 0) {
        return std::nullopt;
      }
      const std::string_view d = token.substr(0, dash);
      const std::string_view m = token.substr(dash + 1, dash2 - dash - 1);
      const std::string_view y = token.substr(dash2 + 1);
      if (!AllDigits(d) || d.size() > 2 || !AllDigits(y) || (y.size() != 2 && y.size() != 4)) {
        return std::nullopt;
      }
      day = Number(d);
      month = MonthIndex(m);
      year = Number(y);
      if (y.size() == 2) year += year < 70 ? 2000 : 1900;
      if (month < 0 || m.size() > 9) return std::nullopt;
      continue;
    }
    if (token.find(':') != std::string_view::npos) {
      if (time >= 0 || !ParseTime(token, time)) return std::nullopt;
      continue;
    }
    if (AllDigits(token)) {
      if (token.size() <= 2 && day < 0) {
        day = Number(token);
      } else if ((token.size() == 4 || token.size() == 2) && year < 0) {
        year = Number(token);
        if (token.size() == 2) year += year < 70 ? 2000 : 1900;
      } else {
        return std::nullopt;
      }
      continue;
    }
    const int m = MonthIndex(token);
    if (m > 0 && token.size() <= 9 && month < 0) {
      month = m;
      continue;
    }
    const std::string upper = UpperCase(token);
    if (upper == "GMT" || upper == "UTC" || upper == "UT" || upper == "Z") {
      if (zoneSeen) return std::nullopt;
      zoneSeen = true;
      continue;
    }
    // A weekday name (any length up to "Wednesday") is ignored.
    if (token.size() >= 3 && token.size() <= 9) {
      bool weekday = false;
      for (const char* name : kWeekdays) {
        if (UpperCase(token.substr(0, 3)) == UpperCase(name)) weekday = true;
      }
      if (weekday) continue;
    }
    return std::nullopt;
  }

  if (day < 1 || month < 1 || year < 1601 || year > 9999 || time < 0) return std::nullopt;
  if (static_cast<unsigned>(day) > DaysInMonth(year, static_cast<unsigned>(month))) {
    return std::nullopt;
  }
  const std::int64_t seconds =
      DaysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day)) * 86400 + time -
      offset;
  if (seconds < kMinSeconds || seconds > kMaxSeconds) return std::nullopt;
  return seconds;
}

std::string FormatInternetDate(std::int64_t secondsUtc) {
  if (secondsUtc < kMinSeconds) secondsUtc = kMinSeconds;
  if (secondsUtc > kMaxSeconds) secondsUtc = kMaxSeconds;
  std::int64_t days = secondsUtc / 86400;
  std::int64_t rest = secondsUtc % 86400;
  if (rest < 0) {
    rest += 86400;
    --days;
  }
  std::int64_t y = 0;
  unsigned m = 0, d = 0;
  CivilFromDays(days, y, m, d);
  const std::int64_t weekday = ((days % 7) + 7) % 7;
  char buffer[40];
  std::snprintf(buffer, sizeof buffer, "%s, %02u %s %04lld %02lld:%02lld:%02lld GMT",
                kWeekdays[static_cast<std::size_t>(weekday)], d, kMonths[m - 1],
                static_cast<long long>(y), static_cast<long long>(rest / 3600),
                static_cast<long long>(rest / 60 % 60), static_cast<long long>(rest % 60));
  return buffer;
}

std::int64_t UtcToLocal(std::int64_t secondsUtc) {
  // The zone's offset at that moment; a date the C library cannot convert
  // takes the offset of now.
  std::time_t t = static_cast<std::time_t>(secondsUtc);
  std::tm local{};
#ifdef _WIN32
  if (localtime_s(&local, &t) != 0) {
    t = std::time(nullptr);
    localtime_s(&local, &t);
  }
  return secondsUtc + static_cast<std::int64_t>(_mkgmtime(&local) - t);
#else
  if (localtime_r(&t, &local) == nullptr) {
    t = std::time(nullptr);
    localtime_r(&t, &local);
  }
  return secondsUtc + local.tm_gmtoff;
#endif
}

std::int64_t NowUtc() {
  return std::chrono::duration_cast<std::chrono::seconds>(
             std::chrono::system_clock::now().time_since_epoch())
      .count();
}

}  // namespace kalvoran
