#pragma once
// The response head as text: the status code of a status line, and the
// response record filled from the received header lines.
#include <cstdint>
#include <optional>
#include <string_view>

#include "http_response.h"

namespace kalvoran {

// The number after the first blank of a status line, read up to the next
// blank; -1 when there is none.
int ParseResponseCode(std::string_view statusLine);

// A whole, trimmed decimal number with an optional sign that fits in 64 bits.
std::optional<std::int64_t> ParseDecimal(std::string_view text);

// Fills every header field of `response` from response.RawHeaders, clearing
// those the head does not carry. Dates become local time; a whole-number
// "Expires" counts seconds from nowUtc. ResponseText, ResponseCode and
// ContentStream are left alone.
void FillResponseFields(HttpResponse& response, std::int64_t nowUtc);

}  // namespace kalvoran
