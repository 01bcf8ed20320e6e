// The Date header, as messages carry it, to sort an archive by.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

// Seconds since 1970-01-01 00:00 UTC of an RFC 5322 date ("Mon, 4 Mar 2024 10:00:00 +0900";
// the day of the week, the seconds and the zone may be missing; a comment after it is
// ignored), or nothing when it is no date.
[[nodiscard]] std::optional<int64_t> ParseMailDate(std::string_view date);
