#include "common/NumberRules.h"

#include <gtest/gtest.h>

#include <cfenv>
#include <cmath>
#include <limits>
#include <string>

#include "common/ServiceError.h"

namespace tvk {
namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();

// Runs call and expects a ServiceError with the given number and description.
template <typename Call>
void ExpectError(Call call, int64_t number, const char* description, const std::string& input) {
    try {
        call();
        ADD_FAILURE() << "no failure for \"" << input << "\"";
    } catch (const ServiceError& e) {
        EXPECT_EQ(e.Number(), number) << input;
        EXPECT_EQ(e.Description(), description) << input;
    }
}

void ExpectOverflow32(const std::string& text) {
    ExpectError([&] { LeadingWholeNumber32(text); }, ErrorNumber::Overflow, "Overflow", text);
}

void ExpectStrictMismatch(const std::string& text) {
    ExpectError([&] { StrictWholeNumber32(text); }, ErrorNumber::TypeMismatch, "Type mismatch",
                text);
}

TEST(NumberRulesLeading, ReadsSignDigitsPointAndExponentSkippingBlanks) {
    EXPECT_EQ(LeadingNumber("123"), 123);
    EXPECT_EQ(LeadingNumber("1 2"), 12);
    EXPECT_EQ(LeadingNumber(" - 5"), -5);
    EXPECT_EQ(LeadingNumber("\t1\n2 .\t5"), 12.5);
    EXPECT_EQ(LeadingNumber("+7"), 7);
    EXPECT_EQ(LeadingNumber(".5"), 0.5);
    EXPECT_EQ(LeadingNumber("5."), 5);
    EXPECT_EQ(LeadingNumber("0.1"), 0.1);
    EXPECT_EQ(LeadingNumber("2.5e-1"), 0.25);
    EXPECT_EQ(LeadingNumber("1D3"), 1000);
    EXPECT_EQ(LeadingNumber("1d+2"), 100);
    EXPECT_EQ(LeadingNumber("1E 2"), 100);
    EXPECT_EQ(LeadingNumber("1e"), 1);
    EXPECT_EQ(LeadingNumber("1e-"), 1);
}

TEST(NumberRulesLeading, StopsAtTheFirstCharacterThatCannotContinue) {
    EXPECT_EQ(LeadingNumber("1234abc"), 1234);
    EXPECT_EQ(LeadingNumber("1.2.3"), 1.2);
    EXPECT_EQ(LeadingNumber("1e2e3"), 100);
    EXPECT_EQ(LeadingNumber("5-3"), 5);
    EXPECT_EQ(LeadingNumber("1\r2"), 1);  // only space, tab and line feed are skipped
    EXPECT_EQ(LeadingNumber(std::string{'1', '\0', '2'}), 1);
    EXPECT_EQ(LeadingNumber("5\xE2\x82\xAC"), 5);             // 5 followed by the euro sign
    EXPECT_EQ(LeadingNumber("\xEF\xBC\x91\xEF\xBC\x92"), 0);  // full-width digits are no digits
    for (const char* none : {"", "   ", "abc", "-", "+", ".", "+-1", "--1", "e5", "-.e1"}) {
        EXPECT_EQ(LeadingNumber(none), 0) << none;
    }
}

TEST(NumberRulesLeading, ReadsHexadecimalAndOctalWithoutWrapAround) {
    EXPECT_EQ(LeadingNumber("&H1F"), 31);
    EXPECT_EQ(LeadingNumber("&hff"), 255);
    EXPECT_EQ(LeadingNumber("& H 1 0"), 16);
    EXPECT_EQ(LeadingNumber("&HFFFF"), 65535);
    EXPECT_EQ(LeadingNumber("&H1G"), 1);
    EXPECT_EQ(LeadingNumber("&O17"), 15);
    EXPECT_EQ(LeadingNumber("&o78"), 7);
    EXPECT_EQ(LeadingNumber("&O9"), 0);
    EXPECT_EQ(LeadingNumber("&"), 0);
    EXPECT_EQ(LeadingNumber("&X1"), 0);
    EXPECT_EQ(LeadingNumber("-&H10"), 0);
    EXPECT_EQ(LeadingNumber("&H" + std::string(300, 'F')), kInf);
}

TEST(NumberRulesLeading, StaysExactAndBoundedOnExtremeInput) {
    EXPECT_EQ(LeadingNumber(std::string(100000, '0') + "5"), 5);
    EXPECT_EQ(LeadingNumber("0." + std::string(100000, '0') + "1e100001"), 1);
    EXPECT_EQ(LeadingNumber("1" + std::string(400, '0')), kInf);
    EXPECT_EQ(LeadingNumber("1e99999999999999999999999"), kInf);
    EXPECT_EQ(LeadingNumber("-1e9999"), -kInf);
    EXPECT_EQ(LeadingNumber("1e-99999"), 0);
    EXPECT_EQ(LeadingNumber("1.7976931348623157e308"), std::numeric_limits<double>::max());
    // 2^53 + 1 lies exactly between two doubles and goes to the even one;
    // a non-zero digit far beyond the kept digits must still tip it upwards.
    EXPECT_EQ(LeadingNumber("9007199254740993"), 9007199254740992.0);
    EXPECT_EQ(LeadingNumber("9007199254740993." + std::string(2000, '0') + "1"),
              9007199254740994.0);
}

TEST(NumberRulesRounding, HalvesGoToTheEvenNeighbourWhateverTheRoundingMode) {
    const int savedMode = std::fegetround();
    for (int mode : {FE_TONEAREST, FE_UPWARD, FE_DOWNWARD, FE_TOWARDZERO}) {
        std::fesetround(mode);
        EXPECT_EQ(RoundHalfEven(12.5), 12);
        EXPECT_EQ(RoundHalfEven(13.5), 14);
        EXPECT_EQ(RoundHalfEven(-2.5), -2);
        EXPECT_EQ(RoundHalfEven(-3.5), -4);
        EXPECT_EQ(RoundHalfEven(0.5), 0);
        EXPECT_EQ(RoundHalfEven(2.4999999), 2);
        EXPECT_EQ(RoundHalfEven(2.5000001), 3);
        EXPECT_EQ(RoundHalfEven(-0.6), -1);
        EXPECT_EQ(RoundHalfEven(4503599627370497.0), 4503599627370497.0);  // 2^52 + 1
    }
    std::fesetround(savedMode);
    EXPECT_EQ(RoundHalfEven(kInf), kInf);
    EXPECT_TRUE(std::isnan(RoundHalfEven(std::nan(""))));
}

TEST(NumberRulesRounding, RangeIsCheckedAfterRounding) {
    EXPECT_EQ(RoundToWhole16(32767.4), 32767);
    EXPECT_EQ(RoundToWhole16(-32768.5), -32768);
    EXPECT_EQ(RoundToWhole32(2147483647.4), 2147483647);
    EXPECT_EQ(RoundToWhole32(-2147483648.5), -2147483648);
    for (double bad : {32767.5, -32769.0, kInf, std::nan("")}) {
        ExpectError([&] { RoundToWhole16(bad); }, ErrorNumber::Overflow, "Overflow",
                    std::to_string(bad));
    }
    for (double bad : {2147483647.5, -2147483649.0, -kInf, std::nan("")}) {
        ExpectError([&] { RoundToWhole32(bad); }, ErrorNumber::Overflow, "Overflow",
                    std::to_string(bad));
    }
}

TEST(NumberRulesLeadingWhole, RoundsAndChecksDescriptorAndRunModeValues) {
    EXPECT_EQ(LeadingWholeNumber32("12.5"), 12);
    EXPECT_EQ(LeadingWholeNumber32("13.5"), 14);
    EXPECT_EQ(LeadingWholeNumber32(""), 0);
    EXPECT_EQ(LeadingWholeNumber32("4711 beta"), 4711);
    EXPECT_EQ(LeadingWholeNumber32("2147483647"), 2147483647);
    EXPECT_EQ(LeadingWholeNumber32("&H7FFFFFFF"), 2147483647);
    for (const char* bad : {"2147483648", "-2147483649", "&H80000000", "1e400", "9D99"}) {
        ExpectOverflow32(bad);
    }
    EXPECT_EQ(LeadingWholeNumber16("8x"), 8);
    EXPECT_EQ(LeadingWholeNumber16("x"), 0);
    EXPECT_EQ(LeadingWholeNumber16("-32768"), -32768);
    ExpectError([] { LeadingWholeNumber16("32768"); }, ErrorNumber::Overflow, "Overflow", "32768");
}

TEST(NumberRulesStrict, AcceptsOnlyTextThatIsWhollyADecimalNumber) {
    EXPECT_EQ(StrictWholeNumber32("2057"), 2057);
    EXPECT_EQ(StrictWholeNumber32(" \t2057 \t"), 2057);
    EXPECT_EQ(StrictWholeNumber32("+5"), 5);
    EXPECT_EQ(StrictWholeNumber32("-5"), -5);
    EXPECT_EQ(StrictWholeNumber32("12.5"), 12);
    EXPECT_EQ(StrictWholeNumber32("13.5"), 14);
    EXPECT_EQ(StrictWholeNumber32("1.5E1"), 15);
    EXPECT_EQ(StrictWholeNumber32("1e+3"), 1000);
    EXPECT_EQ(StrictWholeNumber32("5."), 5);
    EXPECT_EQ(StrictWholeNumber32(".5"), 0);
    EXPECT_EQ(StrictWholeNumber32("-2147483648"), -2147483648);
    for (const char* bad : {"", " ", "12abc", "1 2", "&H10", "1e", "1e+", "- 5", "+", ".", "1.2.3",
                            "5\n", "1d2", "\xEF\xBC\x91", "99999999999x"}) {
        ExpectStrictMismatch(bad);
    }
    ExpectStrictMismatch(std::string("5\0", 2));
    for (const char* big : {"2147483648", "2147483647.5", "1e10", "1e999999999999999"}) {
        ExpectError([&] { StrictWholeNumber32(big); }, ErrorNumber::Overflow, "Overflow", big);
    }
}

TEST(NumberRulesBoolean, WordsOrNumbersWhereOnlyZeroIsFalse) {
    for (const char* yes : {"true", "TRUE", " tRuE\t", "1", "-1", "0.4", "1e-400", "2e9999"}) {
        EXPECT_TRUE(ToBoolean(yes)) << yes;
    }
    for (const char* no : {"false", " False ", "0", "-0", "0.0", "000", "0e5", " 0 "}) {
        EXPECT_FALSE(ToBoolean(no)) << no;
    }
    for (const char* bad : {"", "yes", "t", "true1", "truex", "1 0", "&H1", "tr ue"}) {
        ExpectError([&] { ToBoolean(bad); }, ErrorNumber::TypeMismatch, "Type mismatch", bad);
    }
}

}  // namespace
}  // namespace tvk
