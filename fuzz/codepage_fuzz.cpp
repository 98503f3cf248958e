// The code-page conversions between the files (Windows-1252) and the
// program's texts (UTF-8), and the case folding used to compare names.
//
// The input is taken both as file bytes and as a would-be UTF-8 text.
// Checked:
//  - any bytes give well-formed UTF-8 and come back byte for byte;
//  - a well-formed text whose characters the code page has comes back
//    unchanged; any other text comes back different (no silent equality);
//  - lower-casing keeps the length in bytes, keeps well-formed text
//    well-formed, and is idempotent; equality without regard to case is
//    symmetric and holds between a text and its lower-case form.

#include <set>

#include "FuzzSupport.h"
#include "common/CodePage.h"

namespace tvk::fuzz {
namespace {

// The code page's characters: the 256 bytes decoded, one character each.
const std::set<std::string>& CodePageCharacters() {
    static const std::set<std::string> characters = [] {
        std::set<std::string> all;
        for (int b = 0; b < 256; ++b)
            all.insert(Windows1252ToUtf8(std::string(1, static_cast<char>(b))));
        return all;
    }();
    return characters;
}

// Whether every character of a well-formed text is one of the code page's.
bool AllInCodePage(std::string_view text) {
    for (size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        const size_t length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
        if (!CodePageCharacters().contains(std::string(text.substr(i, length)))) return false;
        i += length;
    }
    return true;
}

void Check(std::string_view bytes) {
    const std::string text = Windows1252ToUtf8(bytes);
    FUZZ_CHECK(IsValidUtf8(text), Escaped(bytes));
    FUZZ_CHECK(Utf8ToWindows1252(text) == bytes, Escaped(bytes));

    // The same input as UTF-8.
    const std::string narrowed = Utf8ToWindows1252(bytes);
    FUZZ_CHECK(narrowed.size() <= bytes.size(), Escaped(bytes));
    const bool holdable = IsValidUtf8(bytes) && AllInCodePage(bytes);
    FUZZ_CHECK((Windows1252ToUtf8(narrowed) == bytes) == holdable, Escaped(bytes));

    const std::string lower = LowerCaseText(bytes);
    FUZZ_CHECK(lower.size() == bytes.size(), Escaped(bytes) + " -> " + Escaped(lower));
    FUZZ_CHECK(!IsValidUtf8(bytes) || IsValidUtf8(lower), Escaped(bytes) + " -> " + Escaped(lower));
    FUZZ_CHECK(LowerCaseText(lower) == lower, Escaped(bytes));
    FUZZ_CHECK(EqualsIgnoreCase(bytes, lower) && EqualsIgnoreCase(lower, bytes), Escaped(bytes));
    FUZZ_CHECK(LowerCaseText(text) == Windows1252ToUtf8(Utf8ToWindows1252(LowerCaseText(text))),
               "lower case left the code page: " + Escaped(bytes));

    // Two halves compared both ways must agree.
    const std::string_view first = bytes.substr(0, bytes.size() / 2);
    const std::string_view second = bytes.substr(bytes.size() / 2);
    FUZZ_CHECK(EqualsIgnoreCase(first, second) == EqualsIgnoreCase(second, first), Escaped(bytes));
}

}  // namespace
}  // namespace tvk::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    tvk::fuzz::Check(std::string_view(reinterpret_cast<const char*>(data), size));
    return 0;
}
