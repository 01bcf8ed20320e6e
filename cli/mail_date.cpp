#include "cli/mail_date.h"

#include <cstdio>
#include <string>

#include "base/bytes.h"

namespace {

// Days from 1970-01-01 of a date of the proleptic Gregorian calendar.
int64_t DaysFromEpoch(int year, int month, int day) {
    const int y = year - (month <= 2);
    const int era = (y >= 0 ? y : y - 399) / 400;
    const int yoe = y - era * 400;
    const int doy = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    return static_cast<int64_t>(era) * 146097 + yoe * 365 + yoe / 4 - yoe / 100 + doy - 719468;
}

// The zone's offset east of UTC in seconds: "+hhmm", "-hhmm", or the names mail from Japan
// and old mailers use; none is UTC.
int ZoneOffset(std::string_view zone) {
    zone = Trim(zone);
    if (zone.size() >= 5 && (zone[0] == '+' || zone[0] == '-')) {
        int hhmm = 0;
        for (size_t i = 1; i < 5; ++i) {
            if (zone[i] < '0' || zone[i] > '9') return 0;
            hhmm = hhmm * 10 + (zone[i] - '0');
        }
        return (hhmm / 100 * 3600 + hhmm % 100 * 60) * (zone[0] == '-' ? -1 : 1);
    }
    if (StartsWithIgnoringCase(zone, "JST")) return 9 * 3600;
    return 0;
}

}  // namespace

std::optional<int64_t> ParseMailDate(std::string_view date) {
    static constexpr std::string_view MONTHS = "janfebmaraprmayjunjulaugsepoctnovdec";
    if (const size_t comma = date.find(','); comma != std::string_view::npos) date.remove_prefix(comma + 1);
    int day = 0, year = 0, hour = 0, minute = 0, consumed = 0;
    char month[4] = {};
    const std::string text(date);
    if (std::sscanf(text.c_str(), " %d %3s %d %d:%d%n", &day, month, &year, &hour, &minute, &consumed) < 5) return std::nullopt;
    std::string_view rest = std::string_view(text).substr(static_cast<size_t>(consumed));
    int second = 0;
    if (rest.size() >= 3 && rest[0] == ':' && rest[1] >= '0' && rest[1] <= '9' && rest[2] >= '0' && rest[2] <= '9') {
        second = (rest[1] - '0') * 10 + (rest[2] - '0');
        rest.remove_prefix(3);
    }
    std::string name = month;
    for (char& c : name) c = static_cast<char>(ToAsciiLower(static_cast<unsigned char>(c)));
    const size_t index = name.size() == 3 ? MONTHS.find(name) : std::string_view::npos;
    if (index == std::string_view::npos || index % 3 != 0) return std::nullopt;
    if (year < 100) year += year < 50 ? 2000 : 1900;  // two digits, as old mailers wrote them
    if (day < 1 || day > 31 || hour > 23 || minute > 59 || second > 60 || hour < 0 || minute < 0) return std::nullopt;
    return DaysFromEpoch(year, static_cast<int>(index / 3) + 1, day) * 86400 + hour * 3600 + minute * 60 + second -
           ZoneOffset(rest);
}
