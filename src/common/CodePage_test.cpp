#include "common/CodePage.h"

#include <gtest/gtest.h>

namespace tvk {
namespace {

TEST(CodePageTest, Windows1252ToUtf8MapsLatin1AndTheHighControlRange) {
    EXPECT_EQ(Windows1252ToUtf8("Bl\xE5 b\xE6r p\xE5 \xF8y"), "Blå bær på øy");
    EXPECT_EQ(Windows1252ToUtf8("\x80 \x8A\x8C\x8E\x9F \x99 \x96"), "€ ŠŒŽŸ ™ –");
    EXPECT_EQ(Windows1252ToUtf8("\xA0\xFF"), "\u00A0ÿ");
    // The undefined bytes become the control characters of the same number.
    EXPECT_EQ(Windows1252ToUtf8("\x81\x8D\x8F\x90\x9D"), "\u0081\u008D\u008F\u0090\u009D");
    EXPECT_EQ(Windows1252ToUtf8(std::string_view("a\0b", 3)), std::string("a\0b", 3));
}

TEST(CodePageTest, EveryByteSurvivesTheRoundTrip) {
    std::string all;
    for (int b = 0; b < 256; ++b) all += static_cast<char>(b);
    EXPECT_EQ(Utf8ToWindows1252(Windows1252ToUtf8(all)), all);
}

TEST(CodePageTest, Utf8ToWindows1252ReplacesWhatTheCodePageLacks) {
    EXPECT_EQ(Utf8ToWindows1252("Ærø € Œ"), "\xC6r\xF8 \x80 \x8C");
    EXPECT_EQ(Utf8ToWindows1252("Ł ē 日本 😀"), "? ? ?? ?");
    EXPECT_EQ(Utf8ToWindows1252("a?b"), "a?b");
}

TEST(CodePageTest, MalformedUtf8BecomesOneQuestionMarkPerBrokenCharacter) {
    EXPECT_EQ(Utf8ToWindows1252("a\xFFz"), "a?z");          // never a lead byte
    EXPECT_EQ(Utf8ToWindows1252("a\x80z"), "a?z");          // stray continuation
    EXPECT_EQ(Utf8ToWindows1252("a\xE2\x82z"), "a?z");      // truncated € in the middle
    EXPECT_EQ(Utf8ToWindows1252("a\xC3"), "a?");            // truncated at the end
    EXPECT_EQ(Utf8ToWindows1252("\xC0\xAF"), "??");         // overlong '/'
    EXPECT_EQ(Utf8ToWindows1252("\xE0\x80\xAF"), "?");      // overlong '/', three bytes
    EXPECT_EQ(Utf8ToWindows1252("\xED\xA0\x80"), "?");      // surrogate
    EXPECT_EQ(Utf8ToWindows1252("\xF4\x90\x80\x80"), "?");  // above U+10FFFF
}

TEST(CodePageTest, LowerCaseTextCoversTheLettersOfTheCodePage) {
    EXPECT_EQ(LowerCaseText("ABC xyz 123"), "abc xyz 123");
    EXPECT_EQ(LowerCaseText("ÆØÅ ÄÖÜ ÀÉÎÑÞ"), "æøå äöü àéîñþ");
    EXPECT_EQ(LowerCaseText("ŠŒŽŸ"), "šœžÿ");
    // × is not a letter, ß has no single upper-case partner here, others stay.
    EXPECT_EQ(LowerCaseText("× ß Ł Ω"), "× ß Ł Ω");
    EXPECT_EQ(LowerCaseText("A\xFFZ"), "a\xFFz");
}

TEST(CodePageTest, EqualsIgnoreCaseComparesCompanyInitials) {
    EXPECT_TRUE(EqualsIgnoreCase("Æ", "æ"));
    EXPECT_TRUE(EqualsIgnoreCase("øSTLANDET", "Østlandet"));
    EXPECT_TRUE(EqualsIgnoreCase("ÜBER", "über"));
    EXPECT_TRUE(EqualsIgnoreCase("", ""));
    EXPECT_FALSE(EqualsIgnoreCase("Å", "A"));
    EXPECT_FALSE(EqualsIgnoreCase("Ö", "Ø"));
    EXPECT_FALSE(EqualsIgnoreCase("ab", "abc"));
}

}  // namespace
}  // namespace tvk
