// The rules that turn settings-file and command-line text into numbers.
//
// The input is the text. Checked, besides the absence of crashes and
// undefined behaviour:
//  - LeadingNumber never throws, never gives NaN, ignores blanks wherever they
//    stand, and gives 0 for a text without any digit;
//  - for a plain decimal text it agrees with the C library's correctly
//    rounded strtod;
//  - the whole-number forms give the value rounded half-to-even (checked
//    against the floating-point unit's own round-to-nearest-even) when it fits,
//    and otherwise throw ServiceError 6, never anything else;
//  - the strict rule accepts exactly the decimal texts of its grammar
//    (ServiceError 13 for the rest), and ToBoolean follows from it.

#include <algorithm>
#include <cmath>
#include <limits>
#include <optional>

#include "FuzzSupport.h"
#include "common/NumberRules.h"
#include "common/ServiceError.h"

namespace tvk::fuzz {
namespace {

constexpr int64_t kTypeMismatch = 13;
constexpr int64_t kOverflow = 6;

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

std::string_view TrimBlanks(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
    return text;
}

// [sign] (digits [. [digits]] | . digits) [E [sign] digits], nothing else.
// Gives whether any digit of the mantissa is not 0.
std::optional<bool> StrictDecimal(std::string_view text) {
    size_t i = 0;
    auto digits = [&] {
        size_t start = i;
        while (i < text.size() && IsDigit(text[i])) ++i;
        return i - start;
    };
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
    const size_t mantissaStart = i;
    size_t count = digits();
    if (i < text.size() && text[i] == '.') {
        ++i;
        count += digits();
    }
    if (count == 0) return std::nullopt;
    const std::string_view mantissa = text.substr(mantissaStart, i - mantissaStart);
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        ++i;
        if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
        if (digits() == 0) return std::nullopt;
    }
    if (i != text.size()) return std::nullopt;
    return mantissa.find_first_of("123456789") != std::string_view::npos;
}

double Strtod(std::string_view text) {
    std::string copy(text);
    return std::strtod(copy.c_str(), nullptr);
}

bool SameDouble(double a, double b) { return (std::isnan(a) && std::isnan(b)) || a == b; }

std::string Show(double value) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.17g", value);
    return buffer;
}

// The expected whole number: round to nearest, ties to even, by the FPU.
template <class Int>
void CheckWhole(double value, Int (*convert)(std::string_view), std::string_view text) {
    const double rounded = std::nearbyint(value);
    const bool fits = std::isfinite(rounded) && rounded >= std::numeric_limits<Int>::min() &&
                      rounded <= std::numeric_limits<Int>::max();
    try {
        Int whole = convert(text);
        FUZZ_CHECK(
            fits && whole == static_cast<Int>(rounded),
            Escaped(text) + " gave " + std::to_string(whole) + ", expected " + Show(rounded));
    } catch (const ServiceError& error) {
        FUZZ_CHECK(error.Number() == kOverflow && !fits,
                   Escaped(text) + " threw " + error.what() + " for " + Show(rounded));
    }
}

void CheckLeadingNumber(std::string_view text) {
    const double value = LeadingNumber(text);  // must not throw
    FUZZ_CHECK(!std::isnan(value), Escaped(text));

    std::string withoutBlanks;
    for (char c : text)
        if (c != ' ' && c != '\t' && c != '\n') withoutBlanks += c;
    FUZZ_CHECK(SameDouble(LeadingNumber(withoutBlanks), value),
               Escaped(text) + " and " + Escaped(withoutBlanks) + " differ");

    const bool anyDigit = std::any_of(text.begin(), text.end(), IsDigit);
    if (!anyDigit && text.find('&') == std::string_view::npos)
        FUZZ_CHECK(value == 0.0, Escaped(text) + " gave " + Show(value));

    if (StrictDecimal(withoutBlanks))
        FUZZ_CHECK(
            SameDouble(value, Strtod(withoutBlanks)),
            Escaped(text) + " gave " + Show(value) + ", strtod " + Show(Strtod(withoutBlanks)));

    CheckWhole<int32_t>(value, LeadingWholeNumber32, text);
    CheckWhole<int16_t>(value, LeadingWholeNumber16, text);
}

void CheckStrictRules(std::string_view text) {
    const std::string_view trimmed = TrimBlanks(text);
    const std::optional<bool> decimal = StrictDecimal(trimmed);
    if (decimal) {
        CheckWhole<int32_t>(Strtod(trimmed), StrictWholeNumber32, text);
    } else {
        try {
            int32_t whole = StrictWholeNumber32(text);
            Fail(__FILE__, __LINE__, Escaped(text) + " accepted as " + std::to_string(whole));
        } catch (const ServiceError& error) {
            FUZZ_CHECK(error.Number() == kTypeMismatch, Escaped(text) + ": " + error.what());
        }
    }

    std::string lower(trimmed);
    for (char& c : lower)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    std::optional<bool> expected;
    if (lower == "true") expected = true;
    if (lower == "false") expected = false;
    if (!expected) expected = decimal;
    try {
        bool flag = ToBoolean(text);
        FUZZ_CHECK(expected && flag == *expected,
                   Escaped(text) + " gave " + (flag ? "true" : "false"));
    } catch (const ServiceError& error) {
        FUZZ_CHECK(!expected && error.Number() == kTypeMismatch,
                   Escaped(text) + ": " + error.what());
    }
}

}  // namespace
}  // namespace tvk::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    tvk::fuzz::CheckLeadingNumber(text);
    tvk::fuzz::CheckStrictRules(text);
    return 0;
}
