#include "common/NumberRules.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <optional>
#include <string>

#include "common/AsciiText.h"
#include "common/ServiceError.h"

namespace tvk {

namespace {

// A double is decided by at most 767 significant decimal digits; keeping 800
// and marking any dropped non-zero digit with a trailing 1 rounds exactly as
// the full text would, while keeping the work bounded on absurd input.
constexpr std::size_t kMaxSignificantDigits = 800;
// Far beyond any exponent that still gives a finite, non-zero double.
constexpr int64_t kExponentLimit = 1'000'000'000;

[[noreturn]] void ThrowTypeMismatch() {
    throw ServiceError(ErrorNumber::TypeMismatch, "Type mismatch");
}

[[noreturn]] void ThrowOverflow() { throw ServiceError(ErrorNumber::Overflow, "Overflow"); }

// Only ASCII digits; <cctype> would depend on the locale.
bool IsDigit(int c) { return c >= '0' && c <= '9'; }

int DigitValue(int c) {
    if (IsDigit(c)) return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Hands out the characters of a text one at a time. For the descriptor's
// leading-number rule spaces, tabs and line feeds are invisible wherever they
// stand, which is how "1 2" comes to read as 12.
class Scanner {
  public:
    Scanner(std::string_view text, bool skipBlanks) : text_(text), skipBlanks_(skipBlanks) {}

    // The next character as an unsigned byte value, or -1 at the end.
    int Peek() {
        if (skipBlanks_) {
            while (pos_ < text_.size() &&
                   (text_[pos_] == ' ' || text_[pos_] == '\t' || text_[pos_] == '\n')) {
                ++pos_;
            }
        }
        return pos_ < text_.size() ? static_cast<unsigned char>(text_[pos_]) : -1;
    }

    void Advance() { ++pos_; }
    bool AtEnd() { return Peek() < 0; }

  private:
    std::string_view text_;
    std::size_t pos_ = 0;
    bool skipBlanks_;
};

// A decimal number as written: its value is 0.digits times ten to exponent.
struct Decimal {
    bool negative = false;
    std::string digits;   // significant digits without leading zeros; empty for zero
    bool sticky = false;  // non-zero digits beyond kMaxSignificantDigits were dropped
    int64_t exponent = 0;

    bool IsZero() const { return digits.empty(); }

    void AddDigit(char digit, bool afterPoint) {
        if (digits.empty() && digit == '0') {
            if (afterPoint) --exponent;
            return;
        }
        if (!afterPoint) ++exponent;
        if (digits.size() < kMaxSignificantDigits) {
            digits.push_back(digit);
        } else if (digit != '0') {
            sticky = true;
        }
    }
};

// Reads sign, digits with at most one point, and an exponent introduced by
// one of exponentLetters. Empty when no digit stands before the exponent.
// strict: an exponent letter must be followed by digits.
std::optional<Decimal> ScanDecimal(Scanner& in, std::string_view exponentLetters, bool strict) {
    Decimal number;
    int c = in.Peek();
    if (c == '+' || c == '-') {
        number.negative = c == '-';
        in.Advance();
    }
    bool anyDigit = false;
    bool seenPoint = false;
    for (c = in.Peek(); IsDigit(c) || (c == '.' && !seenPoint); c = in.Peek()) {
        if (c == '.') {
            seenPoint = true;
        } else {
            anyDigit = true;
            number.AddDigit(static_cast<char>(c), seenPoint);
        }
        in.Advance();
    }
    if (!anyDigit) return std::nullopt;

    if (c < 0 || exponentLetters.find(static_cast<char>(c)) == std::string_view::npos) {
        return number;
    }
    in.Advance();
    bool negativeExponent = false;
    c = in.Peek();
    if (c == '+' || c == '-') {
        negativeExponent = c == '-';
        in.Advance();
    }
    bool anyExponentDigit = false;
    int64_t exponent = 0;
    for (c = in.Peek(); IsDigit(c); c = in.Peek()) {
        anyExponentDigit = true;
        exponent = std::min(exponent * 10 + (c - '0'), kExponentLimit);
        in.Advance();
    }
    if (strict && !anyExponentDigit) return std::nullopt;
    number.exponent += negativeExponent ? -exponent : exponent;
    return number;
}

double ToDouble(const Decimal& number) {
    if (number.IsZero()) return 0.0;
    constexpr double kInfinity = std::numeric_limits<double>::infinity();
    double value = 0.0;
    if (number.exponent > 400) {
        value = kInfinity;
    } else if (number.exponent >= -400) {
        std::string text = "0." + number.digits;
        if (number.sticky) text += '1';
        text += 'e';
        text += std::to_string(number.exponent);
        auto result = std::from_chars(text.data(), text.data() + text.size(), value,
                                      std::chars_format::general);
        if (result.ec == std::errc::result_out_of_range) {
            value = number.exponent > 0 ? kInfinity : 0.0;
        }
    }
    return number.negative ? -value : value;
}

// "&H1F", "&O17": unsigned, as wide as a double allows. The 16-bit
// wrap-around of the old runtime ("&HFFFF" as -1) is deliberately not
// copied: a descriptor value is meant as the number it spells.
double ReadRadixNumber(Scanner& in) {
    in.Advance();  // the '&'
    int c = in.Peek();
    int base = 0;
    if (c == 'h' || c == 'H') base = 16;
    if (c == 'o' || c == 'O') base = 8;
    if (base == 0) return 0.0;
    in.Advance();
    double value = 0.0;
    for (c = in.Peek(); DigitValue(c) >= 0 && DigitValue(c) < base; c = in.Peek()) {
        value = value * base + DigitValue(c);
        in.Advance();
    }
    return value;
}

Decimal ParseStrict(std::string_view text) {
    Scanner in(TrimAscii(text, kAsciiBlanks), false);
    auto number = ScanDecimal(in, "Ee", true);
    if (!number || !in.AtEnd()) ThrowTypeMismatch();
    return *number;
}

}  // namespace

double LeadingNumber(std::string_view text) {
    Scanner in(text, true);
    if (in.Peek() == '&') return ReadRadixNumber(in);
    auto number = ScanDecimal(in, "EeDd", false);
    return number ? ToDouble(*number) : 0.0;
}

double RoundHalfEven(double value) {
    if (!std::isfinite(value)) return value;
    double below = std::floor(value);
    double fraction = value - below;  // exact for doubles
    if (fraction < 0.5) return below;
    if (fraction > 0.5) return below + 1.0;
    return std::fmod(below, 2.0) == 0.0 ? below : below + 1.0;
}

int32_t RoundToWhole32(double value) {
    double whole = RoundHalfEven(value);
    // Written so that NaN fails the test too.
    if (!(whole >= std::numeric_limits<int32_t>::min() &&
          whole <= std::numeric_limits<int32_t>::max())) {
        ThrowOverflow();
    }
    return static_cast<int32_t>(whole);
}

int16_t RoundToWhole16(double value) {
    double whole = RoundHalfEven(value);
    if (!(whole >= std::numeric_limits<int16_t>::min() &&
          whole <= std::numeric_limits<int16_t>::max())) {
        ThrowOverflow();
    }
    return static_cast<int16_t>(whole);
}

// The leading number is a double before it is rounded, so a text such as
// "12.50000000000000000001" rounds as 12.5 does; this matches how the values
// have always been read.
int32_t LeadingWholeNumber32(std::string_view text) { return RoundToWhole32(LeadingNumber(text)); }

int16_t LeadingWholeNumber16(std::string_view text) { return RoundToWhole16(LeadingNumber(text)); }

int32_t StrictWholeNumber32(std::string_view text) {
    return RoundToWhole32(ToDouble(ParseStrict(text)));
}

bool ToBoolean(std::string_view text) {
    std::string_view word = TrimAscii(text, kAsciiBlanks);
    if (EqualsIgnoringAsciiCase(word, "true")) return true;
    if (EqualsIgnoringAsciiCase(word, "false")) return false;
    // Decided on the digits, not on a double: "1e-400" is not 0.
    return !ParseStrict(word).IsZero();
}

}  // namespace tvk
