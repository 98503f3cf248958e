// The date and time a database server reports, as text.
//
// The input is the text. Only ServiceError 13 may come out. An accepted text
// is a real calendar date and time of day, and its canonical form
// "YYYY-MM-DD HH:MM:SS" is the text itself (with a blank for 'T', without a
// fraction, with 00:00:00 for a date alone) and reads back as the same value.

#include <exception>

#include "FuzzSupport.h"
#include "common/DateTime.h"
#include "common/ServiceError.h"

namespace tvk::fuzz {
namespace {

constexpr int64_t kTypeMismatch = 13;

bool IsLeap(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

void Check(std::string_view text) {
    DateTime value;
    try {
        value = DateTime::Parse(text);
    } catch (const ServiceError& error) {
        FUZZ_CHECK(error.Number() == kTypeMismatch, error.what());
        return;
    } catch (const std::exception& error) {
        Fail(__FILE__, __LINE__, "escaped: " + std::string(error.what()) + " for " + Escaped(text));
    }
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    FUZZ_CHECK(value.year >= 1 && value.month >= 1 && value.month <= 12 && value.day >= 1 &&
                   value.day <= kDays[value.month - 1] + (value.month == 2 && IsLeap(value.year)) &&
                   value.hour <= 23 && value.minute <= 59 && value.second <= 59,
               Escaped(text));

    const std::string canonical = value.ToString();
    std::string expected(text.substr(0, 19));
    if (expected.size() == 10) expected += " 00:00:00";
    if (expected.size() > 10) expected[10] = ' ';
    FUZZ_CHECK(canonical == expected, canonical + " for " + Escaped(text));
    FUZZ_CHECK(DateTime::Parse(canonical) == value, canonical);
}

}  // namespace
}  // namespace tvk::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    tvk::fuzz::Check(std::string_view(reinterpret_cast<const char*>(data), size));
    return 0;
}
