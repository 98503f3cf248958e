#include "common/CodePage.h"

#include <array>
#include <cstdint>

namespace tvk {

namespace {

// Characters of the bytes 0x80-0x9F; the rest of the code page equals Latin-1.
constexpr std::array<char32_t, 32> kHighControlRange = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,  // 80-87
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,  // 88-8F
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 90-97
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,  // 98-9F
};

constexpr char32_t kInvalid = 0xFFFFFFFF;

// Decodes the character at `pos` and advances `pos` past it. A malformed
// sequence yields kInvalid and advances past its lead byte and the continuation
// bytes that were still valid, so that one broken character counts once.
char32_t NextCharacter(std::string_view text, size_t& pos) {
    auto byte = [&](size_t i) { return static_cast<uint8_t>(text[i]); };
    uint8_t lead = byte(pos++);
    if (lead < 0x80) return lead;

    int length;
    char32_t c;
    char32_t lowest;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2, c = lead & 0x1F, lowest = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3, c = lead & 0x0F, lowest = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4, c = lead & 0x07, lowest = 0x10000;
    } else {
        return kInvalid;
    }
    for (int i = 1; i < length; ++i) {
        if (pos >= text.size() || (byte(pos) & 0xC0) != 0x80) return kInvalid;
        c = (c << 6) | (byte(pos++) & 0x3F);
    }
    if (c < lowest || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return kInvalid;
    return c;
}

// The Windows-1252 byte of a character, or -1 when the code page has none.
int Windows1252Byte(char32_t c) {
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) return static_cast<int>(c);
    for (size_t i = 0; i < kHighControlRange.size(); ++i) {
        if (kHighControlRange[i] == c) return static_cast<int>(0x80 + i);
    }
    return -1;
}

bool IsLineBreak(char32_t c) {
    return c == '\r' || c == '\n' || c == 0x85 || c == 0x2028 || c == 0x2029;
}

char32_t LowerCase(char32_t c) {
    if (c >= 'A' && c <= 'Z') return c + 0x20;
    if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return c + 0x20;
    switch (c) {
        case 0x0160:
            return 0x0161;  // Š
        case 0x0152:
            return 0x0153;  // Œ
        case 0x017D:
            return 0x017E;  // Ž
        case 0x0178:
            return 0x00FF;  // Ÿ
        default:
            return c;
    }
}

}  // namespace

void AppendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

std::string Windows1252ToUtf8(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size() + bytes.size() / 4);
    for (char b : bytes) {
        auto byte = static_cast<uint8_t>(b);
        char32_t c = (byte >= 0x80 && byte <= 0x9F) ? kHighControlRange[byte - 0x80] : byte;
        AppendUtf8(out, c);
    }
    return out;
}

std::string Utf8ToWindows1252(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size());
    for (size_t pos = 0; pos < utf8.size();) {
        char32_t c = NextCharacter(utf8, pos);
        int byte = c == kInvalid ? -1 : Windows1252Byte(c);
        out += byte < 0 ? '?' : static_cast<char>(byte);
    }
    return out;
}

std::string Utf16ToUtf8(std::u16string_view units) {
    auto isHigh = [](char32_t c) { return c >= 0xD800 && c <= 0xDBFF; };
    auto isLow = [](char32_t c) { return c >= 0xDC00 && c <= 0xDFFF; };
    std::string out;
    out.reserve(units.size());
    for (size_t i = 0; i < units.size(); ++i) {
        char32_t c = units[i];
        if (isHigh(c) && i + 1 < units.size() && isLow(units[i + 1])) {
            c = 0x10000 + ((c - 0xD800) << 10) + (units[++i] - 0xDC00);
        } else if (isHigh(c) || isLow(c)) {
            c = 0xFFFD;
        }
        AppendUtf8(out, c);
    }
    return out;
}

std::u16string Utf8ToUtf16(std::string_view utf8) {
    std::u16string out;
    out.reserve(utf8.size());
    for (size_t pos = 0; pos < utf8.size();) {
        char32_t c = NextCharacter(utf8, pos);
        if (c == kInvalid) c = 0xFFFD;
        if (c >= 0x10000) {
            out += static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10));
            out += static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
        } else {
            out += static_cast<char16_t>(c);
        }
    }
    return out;
}

std::string Utf8ToLatin1XmlLine(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size());
    for (size_t pos = 0; pos < utf8.size();) {
        char32_t c = NextCharacter(utf8, pos);
        if (c == kInvalid)
            out += '?';
        else if (IsLineBreak(c))
            out += ' ';
        else if ((c < 0x20 && c != '\t') || c == 0xFFFE || c == 0xFFFF)
            continue;
        else if (c <= 0xFF)
            out += static_cast<char>(c);
        else
            out += "&#" + std::to_string(static_cast<uint32_t>(c)) + ";";
    }
    return out;
}

std::string LowerCaseText(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size());
    for (size_t pos = 0; pos < utf8.size();) {
        size_t start = pos;
        char32_t c = NextCharacter(utf8, pos);
        if (c == kInvalid) {
            out.append(utf8.substr(start, pos - start));
        } else {
            AppendUtf8(out, LowerCase(c));
        }
    }
    return out;
}

bool EqualsIgnoreCase(std::string_view a, std::string_view b) {
    return LowerCaseText(a) == LowerCaseText(b);
}

}  // namespace tvk
