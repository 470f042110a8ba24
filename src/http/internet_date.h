#pragma once
// Internet dates as they appear in HTTP headers and cookies, as seconds since
// 1970-01-01 00:00:00 UTC. Years run from 1601 to 9999 so that any date a peer
// can write, however absurd, stays representable without overflow.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace kalvoran {

// Reads "Sun, 06 Nov 1994 08:49:37 GMT", "Sunday, 06-Nov-94 08:49:37 GMT",
// "Sun Nov  6 08:49:37 1994" and the common cookie form
// "Sun, 06-Nov-1994 08:49:37 GMT". A zone other than GMT/UTC/UT may be given
// as +hhmm or -hhmm. Nothing when the text is not such a date.
std::optional<std::int64_t> ParseInternetDate(std::string_view text);

// "Sun, 06 Nov 1994 08:49:37 GMT"; clamped to the years 1601 to 9999.
std::string FormatInternetDate(std::int64_t secondsUtc);

// Seconds since the epoch in the local time zone (UTC plus the zone's offset
// at that moment).
std::int64_t UtcToLocal(std::int64_t secondsUtc);

// The current time, seconds since the epoch, UTC.
std::int64_t NowUtc();

}  // namespace kalvoran
