#pragma once

#include <compare>
#include <string>
#include <string_view>

namespace tvk {

// A calendar date and time of day as a database server reports it (local
// time of the server, no zone).
struct DateTime {
    int year = 0, month = 0, day = 0;
    int hour = 0, minute = 0, second = 0;

    auto operator<=>(const DateTime&) const = default;

    // "YYYY-MM-DD HH:MM:SS", with 'T' instead of the blank, an optional
    // fraction of a second, or the date alone. Throws ServiceError (type
    // mismatch) for anything else, including impossible dates.
    static DateTime Parse(std::string_view text);

    std::string ToString() const;  // "YYYY-MM-DD HH:MM:SS"

    // The same clock `seconds` later, across minutes, days and years.
    DateTime AddSeconds(int seconds) const;

    // The machine's local date and time, to the second.
    static DateTime LocalNow();
};

}  // namespace tvk
