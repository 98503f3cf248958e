#pragma once

#include <string>
#include <string_view>

namespace tvk {

// Case and blanks of ASCII only: a byte from 0x80 up, which may be part of a
// UTF-8 or Windows-1252 letter, is never changed and never a blank, whatever
// the locale. (LowerCaseText in CodePage.h also knows the letters beyond.)

char AsciiLower(char c);
std::string AsciiLowerCopy(std::string_view text);
bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b);
bool StartsWithIgnoringAsciiCase(std::string_view text, std::string_view prefix);

// The blanks of isspace() in the C locale, and those within a line.
constexpr std::string_view kAsciiSpaces = " \t\n\v\f\r";
constexpr std::string_view kAsciiBlanks = " \t";
bool IsAsciiSpace(char c);

// `text` without the characters of `blanks` at either end.
std::string_view TrimAscii(std::string_view text, std::string_view blanks = kAsciiSpaces);

}  // namespace tvk
