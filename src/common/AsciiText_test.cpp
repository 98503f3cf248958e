#include "common/AsciiText.h"

#include <gtest/gtest.h>

namespace tvk {
namespace {

TEST(AsciiText, OnlyAsciiLettersChangeCaseAndOnlyTheGivenBlanksAreTrimmed) {
    EXPECT_EQ(AsciiLowerCopy("Velkor ÆØÅ \xC6 @[Z]"), "velkor ÆØÅ \xC6 @[z]");
    EXPECT_TRUE(EqualsIgnoringAsciiCase("Content-Length", "content-LENGTH"));
    EXPECT_FALSE(EqualsIgnoringAsciiCase("Ø", "ø"));
    EXPECT_FALSE(EqualsIgnoringAsciiCase("exec", "exe"));
    EXPECT_TRUE(StartsWithIgnoringAsciiCase("FILE://x", "file:"));
    EXPECT_FALSE(StartsWithIgnoringAsciiCase("fil", "file:"));
    EXPECT_EQ(TrimAscii(" \t\r\n\v\f a b \n"), "a b");
    EXPECT_EQ(TrimAscii("\r a \t", kAsciiBlanks), "\r a");
    EXPECT_EQ(TrimAscii(" \t ", kAsciiBlanks), "");
}

}  // namespace
}  // namespace tvk
