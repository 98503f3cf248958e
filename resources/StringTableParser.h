#pragma once

// The subset of the Windows resource-script language that strings.rc uses, and
// the string-table blocks a resource compiler makes of it. Header-only, so the
// build-time compiler and the unit tests share it without a library.
//
// Accepted, one statement a line: blank lines, "//" comment lines,
// "#pragma code_page(65001)", "LANGUAGE <primary>, <sub>", and
// "STRINGTABLE" / "BEGIN" / <id> "<text>" lines / "END". Anything else is an
// error rather than a guess, so the Windows build and ours cannot disagree.

#include <cstdint>
#include <map>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tvk::rc {

struct StringEntry {
    uint16_t language = 0;
    uint16_t id = 0;
    std::u16string text;
    int line = 0;
};

class ScriptError : public std::runtime_error {
  public:
    ScriptError(int line, const std::string& message)
        : std::runtime_error("line " + std::to_string(line) + ": " + message),
          line_(line),
          message_(message) {}
    int Line() const { return line_; }
    const std::string& Message() const { return message_; }

  private:
    int line_;
    std::string message_;
};

// Strict UTF-8: overlong forms, surrogates and values above U+10FFFF are errors.
inline std::u16string Utf8ToUtf16(std::string_view text, int line);

inline std::vector<StringEntry> ParseStringScript(std::string_view script);

// Key: (block number, language). Only pairs with at least one text get a block.
using StringBlockMap = std::map<std::pair<uint16_t, uint16_t>, std::vector<unsigned char>>;
inline StringBlockMap BuildStringBlocks(const std::vector<StringEntry>& entries);

namespace detail {

inline std::string_view Trim(std::string_view s) {
    const auto first = s.find_first_not_of(" \t");
    if (first == std::string_view::npos) return {};
    return s.substr(first, s.find_last_not_of(" \t") - first + 1);
}

// A whole decimal or 0x-hexadecimal number, nothing else.
inline long ParseNumber(std::string_view s, int line) {
    int base = 10;
    if (s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
        base = 16;
        s.remove_prefix(2);
    }
    if (s.empty() || s.size() > 8) throw ScriptError(line, "expected a number");
    long value = 0;
    for (char c : s) {
        int digit = -1;
        if (c >= '0' && c <= '9') digit = c - '0';
        if (base == 16 && c >= 'a' && c <= 'f') digit = c - 'a' + 10;
        if (base == 16 && c >= 'A' && c <= 'F') digit = c - 'A' + 10;
        if (digit < 0)
            throw ScriptError(line, "expected a number, found \"" + std::string(s) + "\"");
        value = value * base + digit;
    }
    return value;
}

inline uint16_t ParseLanguage(std::string_view args, int line) {
    const auto comma = args.find(',');
    if (comma == std::string_view::npos) throw ScriptError(line, "LANGUAGE needs two numbers");
    const long primary = ParseNumber(Trim(args.substr(0, comma)), line);
    const long sub = ParseNumber(Trim(args.substr(comma + 1)), line);
    if (primary > 0x3FF || sub > 0x3F) throw ScriptError(line, "language out of range");
    return static_cast<uint16_t>((sub << 10) | primary);
}

// <id> "<text>" with "" for a quote inside the text.
inline StringEntry ParseEntry(std::string_view s, uint16_t language, int line) {
    size_t pos = 0;
    while (pos < s.size() && s[pos] >= '0' && s[pos] <= '9') ++pos;
    if (pos == 0 || pos > 5) throw ScriptError(line, "expected a string id or END");
    const long id = ParseNumber(s.substr(0, pos), line);
    if (id > 0xFFFF) throw ScriptError(line, "string id out of range");
    const std::string_view rest = Trim(s.substr(pos));
    if (pos == s.size() || (s[pos] != ' ' && s[pos] != '\t') || rest.front() != '"')
        throw ScriptError(line, "expected a blank and a quoted text after the id");
    std::string text;
    size_t i = 1;
    for (;; ++i) {
        if (i >= rest.size()) throw ScriptError(line, "unterminated text");
        if (rest[i] == '\\') throw ScriptError(line, "backslash escapes are not supported");
        if (rest[i] != '"') {
            text += rest[i];
        } else if (i + 1 < rest.size() && rest[i + 1] == '"') {
            text += '"';
            ++i;
        } else {
            break;
        }
    }
    if (i + 1 != rest.size()) throw ScriptError(line, "unexpected text after the closing quote");
    if (text.empty()) throw ScriptError(line, "empty text; leave the id out instead");
    StringEntry entry{language, static_cast<uint16_t>(id), Utf8ToUtf16(text, line), line};
    if (entry.text.size() > 0xFFFF) throw ScriptError(line, "text longer than 65535 code units");
    return entry;
}

inline void AppendUnit(std::vector<unsigned char>& bytes, char16_t unit) {
    bytes.push_back(static_cast<unsigned char>(unit & 0xFF));
    bytes.push_back(static_cast<unsigned char>(unit >> 8));
}

}  // namespace detail

inline std::u16string Utf8ToUtf16(std::string_view text, int line) {
    std::u16string out;
    for (size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        const int extra = lead < 0x80                    ? 0
                          : lead >= 0xC2 && lead <= 0xDF ? 1
                          : (lead & 0xF0) == 0xE0        ? 2
                          : lead >= 0xF0 && lead <= 0xF4 ? 3
                                                         : -1;
        if (extra < 0 || i + extra >= text.size()) throw ScriptError(line, "invalid UTF-8");
        char32_t cp = extra == 0 ? lead : lead & (0x3F >> extra);
        for (int k = 1; k <= extra; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0) != 0x80) throw ScriptError(line, "invalid UTF-8");
            cp = (cp << 6) | (next & 0x3F);
        }
        const char32_t least[] = {0, 0x80, 0x800, 0x10000};
        if (cp < least[extra] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
            throw ScriptError(line, "invalid UTF-8");
        if (cp >= 0x10000) {
            out += static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10));
            out += static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF));
        } else {
            out += static_cast<char16_t>(cp);
        }
        i += extra + 1;
    }
    return out;
}

inline std::vector<StringEntry> ParseStringScript(std::string_view script) {
    enum class State { TopLevel, ExpectBegin, InTable } state = State::TopLevel;
    bool utf8CodePage = false;
    int languageLine = 0;
    uint16_t language = 0;
    std::vector<StringEntry> entries;
    std::map<std::pair<uint16_t, uint16_t>, int> seen;  // (language, id) -> line
    if (script.substr(0, 3) == "\xEF\xBB\xBF") script.remove_prefix(3);
    int line = 0;
    while (!script.empty()) {
        ++line;
        const auto end = script.find('\n');
        std::string_view raw = script.substr(0, end);
        script.remove_prefix(end == std::string_view::npos ? script.size() : end + 1);
        if (!raw.empty() && raw.back() == '\r') raw.remove_suffix(1);
        Utf8ToUtf16(raw, line);
        const std::string_view s = detail::Trim(raw);
        if (s.empty() || s.substr(0, 2) == "//") continue;
        if (state == State::ExpectBegin) {
            if (s != "BEGIN") throw ScriptError(line, "expected BEGIN after STRINGTABLE");
            state = State::InTable;
        } else if (state == State::InTable) {
            if (s == "END") {
                state = State::TopLevel;
                continue;
            }
            StringEntry entry = detail::ParseEntry(s, language, line);
            const auto [it, added] = seen.emplace(std::pair{language, entry.id}, line);
            if (!added)
                throw ScriptError(line, "duplicate string id " + std::to_string(entry.id) +
                                            " (first at line " + std::to_string(it->second) + ")");
            entries.push_back(std::move(entry));
        } else if (s == "#pragma code_page(65001)") {
            utf8CodePage = true;
        } else if (s.substr(0, 8) == "LANGUAGE" && s.size() > 8 && (s[8] == ' ' || s[8] == '\t')) {
            language = detail::ParseLanguage(s.substr(9), line);
            languageLine = line;
        } else if (s == "STRINGTABLE") {
            if (!utf8CodePage)
                throw ScriptError(line, "STRINGTABLE before #pragma code_page(65001)");
            if (languageLine == 0) throw ScriptError(line, "STRINGTABLE before any LANGUAGE");
            state = State::ExpectBegin;
        } else {
            throw ScriptError(line, "not understood: " + std::string(s));
        }
    }
    if (state != State::TopLevel) throw ScriptError(line, "STRINGTABLE without END");
    return entries;
}

inline StringBlockMap BuildStringBlocks(const std::vector<StringEntry>& entries) {
    std::map<std::pair<uint16_t, uint16_t>, std::vector<const std::u16string*>> texts;
    for (const StringEntry& entry : entries) {
        auto& block = texts[{static_cast<uint16_t>(entry.id / 16 + 1), entry.language}];
        block.resize(16, nullptr);
        block[entry.id % 16] = &entry.text;
    }
    StringBlockMap blocks;
    for (const auto& [key, slots] : texts) {
        std::vector<unsigned char>& bytes = blocks[key];
        for (const std::u16string* text : slots) {
            detail::AppendUnit(bytes, static_cast<char16_t>(text ? text->size() : 0));
            if (text)
                for (char16_t unit : *text) detail::AppendUnit(bytes, unit);
        }
    }
    return blocks;
}

}  // namespace tvk::rc
