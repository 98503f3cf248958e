#pragma once

#include <string>
#include <string_view>

namespace tvk {

// Texts are UTF-8 inside the program; the application's files are in the
// Windows ANSI code page, Windows-1252.

// Appends one character (a Unicode code point below 0x110000) as UTF-8.
void AppendUtf8(std::string& out, char32_t c);

// Every byte has a character, so this never fails. The five bytes the code page
// leaves undefined (0x81, 0x8D, 0x8F, 0x90, 0x9D) become the control characters
// of the same number, as Windows converts them; so any byte string survives a
// round trip through Utf8ToWindows1252.
std::string Windows1252ToUtf8(std::string_view bytes);

// Characters without a Windows-1252 byte, and each malformed UTF-8 sequence,
// become '?'.
std::string Utf8ToWindows1252(std::string_view utf8);

// UTF-16 code units (of a file saved "as Unicode") as UTF-8; a surrogate
// without its partner becomes U+FFFD.
std::string Utf16ToUtf8(std::u16string_view units);

// UTF-8 as UTF-16 code units; each malformed sequence becomes U+FFFD.
std::u16string Utf8ToUtf16(std::string_view utf8);

// ISO-8859-1 bytes for XML text that stays on one line: characters beyond it
// become numeric character references ("&#8364;"); characters XML 1.0 does not
// allow (controls other than tab, U+FFFE, U+FFFF) are left out, since not even
// a reference may name them; line breaks (CR, LF, NEL, U+2028, U+2029) become
// blanks; each malformed UTF-8 sequence becomes '?'.
std::string Utf8ToLatin1XmlLine(std::string_view utf8);

// Lower-cases ASCII and the letters of Windows-1252 (À-Þ except ×, and Š Œ Ž Ÿ);
// every other character, and any malformed byte, is kept as it is.
std::string LowerCaseText(std::string_view utf8);

// Equality of UTF-8 texts without regard to the case of the letters above.
bool EqualsIgnoreCase(std::string_view a, std::string_view b);

}  // namespace tvk
