#include "common/DateTime.h"

#include <chrono>
#include <cstdio>
#include <ctime>

#include "common/ServiceError.h"
#include "platform/Platform.h"

namespace tvk {

namespace {

[[noreturn]] void NotADate(std::string_view text) {
    throw ServiceError(ErrorNumber::TypeMismatch,
                       "Type mismatch: \"" + std::string(text) + "\" is not a date and time");
}

// Reads exactly `width` digits at `pos`.
bool Digits(std::string_view text, size_t pos, size_t width, int& value) {
    if (pos + width > text.size()) return false;
    value = 0;
    for (size_t i = pos; i < pos + width; ++i) {
        if (text[i] < '0' || text[i] > '9') return false;
        value = value * 10 + (text[i] - '0');
    }
    return true;
}

bool IsLeapYear(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int DaysInMonth(int y, int m) {
    static constexpr int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return m == 2 && IsLeapYear(y) ? 29 : days[m - 1];
}

}  // namespace

DateTime DateTime::Parse(std::string_view text) {
    DateTime t;
    if (!Digits(text, 0, 4, t.year) || text.size() < 10 || text[4] != '-' ||
        !Digits(text, 5, 2, t.month) || text[7] != '-' || !Digits(text, 8, 2, t.day))
        NotADate(text);
    if (text.size() > 10) {
        if ((text[10] != ' ' && text[10] != 'T') || !Digits(text, 11, 2, t.hour) ||
            text.size() < 19 || text[13] != ':' || !Digits(text, 14, 2, t.minute) ||
            text[16] != ':' || !Digits(text, 17, 2, t.second))
            NotADate(text);
        size_t end = 19;
        if (end < text.size() && text[end] == '.') {
            ++end;
            while (end < text.size() && text[end] >= '0' && text[end] <= '9') ++end;
        }
        if (end != text.size()) NotADate(text);
    }
    if (t.year < 1 || t.month < 1 || t.month > 12 || t.day < 1 ||
        t.day > DaysInMonth(t.year, t.month) || t.hour > 23 || t.minute > 59 || t.second > 59)
        NotADate(text);
    return t;
}

DateTime DateTime::LocalNow() {
    const std::tm local = platform::LocalTime(std::time(nullptr));
    return {local.tm_year + 1900, local.tm_mon + 1, local.tm_mday,
            local.tm_hour,        local.tm_min,     local.tm_sec};
}

DateTime DateTime::AddSeconds(int seconds) const {
    namespace chrono = std::chrono;
    const chrono::sys_days date{chrono::year{year} / month / day};
    const chrono::sys_seconds later =
        date + chrono::hours{hour} + chrono::minutes{minute} + chrono::seconds{second + seconds};
    const chrono::sys_days laterDate = chrono::floor<chrono::days>(later);
    const chrono::year_month_day ymd{laterDate};
    const chrono::hh_mm_ss time{later - laterDate};
    return {static_cast<int>(ymd.year()),
            static_cast<int>(unsigned{ymd.month()}),
            static_cast<int>(unsigned{ymd.day()}),
            static_cast<int>(time.hours().count()),
            static_cast<int>(time.minutes().count()),
            static_cast<int>(time.seconds().count())};
}

std::string DateTime::ToString() const {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d %02d:%02d:%02d", year, month, day, hour,
                  minute, second);
    return buffer;
}

}  // namespace tvk
