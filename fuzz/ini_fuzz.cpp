// The settings-file reader and writer on arbitrary file bytes.
//
// The input is the file. Its last four bytes also pick the section, key and
// value of one write (so any settings file is a usable seed as it stands).
// Checked:
//  - reading never fails on a file that exists, and gives text without line
//    breaks (UTF-8 unless the file says it is UTF-8 itself); any CR or LF
//    ends a line; a file with the UTF-16 byte-order mark is read as UTF-16;
//  - a write that is refused throws ServiceError 5, has a reason to, and
//    leaves the file as it was;
//  - a write that succeeds reads back as written, changes no other key's
//    value, and leaves every line it did not touch byte for byte.

#include <algorithm>
#include <fstream>
#include <iterator>
#include <optional>

#include "FuzzSupport.h"
#include "common/CodePage.h"
#include "common/ServiceError.h"
#include "components/settings/IniFile.h"

namespace tvk::fuzz {
namespace {

constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";
constexpr std::string_view kUtf16LeBom = "\xFF\xFE";
constexpr size_t kMaxHarvested = 12;

std::string Trim(std::string_view text) {
    size_t first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos) return {};
    size_t last = text.find_last_not_of(" \t");
    return std::string(text.substr(first, last - first + 1));
}

std::string ReadBack(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void WriteRaw(const std::filesystem::path& path, std::string_view bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

enum class Encoding { Windows1252, Utf8, Utf16Le };

Encoding EncodingOf(std::string_view bytes) {
    if (bytes.starts_with(kUtf16LeBom)) return Encoding::Utf16Le;
    return bytes.starts_with(kUtf8Bom) ? Encoding::Utf8 : Encoding::Windows1252;
}

void AppendUtf8(std::string& out, uint32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
        return;
    }
    const int length = c < 0x800 ? 2 : c < 0x10000 ? 3 : 4;
    out += static_cast<char>((0xF00 >> length) | (c >> (6 * (length - 1))));
    for (int i = length - 2; i >= 0; --i) out += static_cast<char>(0x80 | ((c >> (6 * i)) & 0x3F));
}

// The text after the byte-order mark; UTF-16 as UTF-8, with U+FFFD for a
// surrogate without its partner, and without an odd last byte.
std::string BodyOf(std::string_view bytes, Encoding encoding) {
    if (encoding == Encoding::Utf8) return std::string(bytes.substr(kUtf8Bom.size()));
    if (encoding == Encoding::Windows1252) return std::string(bytes);
    std::vector<uint32_t> units;
    for (size_t i = kUtf16LeBom.size(); i + 1 < bytes.size(); i += 2)
        units.push_back(static_cast<uint8_t>(bytes[i]) | static_cast<uint8_t>(bytes[i + 1]) << 8);
    std::string text;
    for (size_t i = 0; i < units.size(); ++i) {
        uint32_t c = units[i];
        const bool high = c >= 0xD800 && c < 0xDC00;
        if (high && i + 1 < units.size() && units[i + 1] >= 0xDC00 && units[i + 1] < 0xE000)
            c = 0x10000 + ((c - 0xD800) << 10) + (units[++i] - 0xDC00);
        else if (c >= 0xD800 && c < 0xE000)
            c = 0xFFFD;
        AppendUtf8(text, c);
    }
    return text;
}

bool IsBreak(char c) { return c == '\r' || c == '\n'; }

// Lines with their ends, as the text stands: every CR and every LF ends one.
std::vector<std::string> LinesOf(std::string_view text) {
    std::vector<std::string> lines;
    size_t from = 0;
    while (from < text.size()) {
        size_t brk = text.find_first_of("\r\n", from);
        size_t end = brk == std::string_view::npos ? text.size() : brk + 1;
        lines.emplace_back(text.substr(from, end - from));
        from = end;
    }
    return lines;
}

struct Pair {
    std::string section;
    std::string key;
    // What reading must give: for the first line of a key in the first
    // section of its name, the value trimmed and without enclosing quotes.
    std::optional<std::string> expected;
};

std::string Unquoted(const std::string& value) {
    const bool quoted =
        value.size() >= 2 && (value[0] == '"' || value[0] == '\'') && value.back() == value[0];
    return quoted ? value.substr(1, value.size() - 2) : value;
}

// Section and key names as a reader of the file would see them, found by a
// scan of its own: "[name]" headers and "name=" lines that are no comments.
std::vector<Pair> Harvest(std::string_view body, Encoding encoding) {
    auto text = [&](std::string_view raw) {
        return encoding == Encoding::Windows1252 ? Windows1252ToUtf8(raw) : std::string(raw);
    };
    std::vector<Pair> pairs;
    std::vector<std::string> sectionsSeen;
    std::optional<std::string> section;
    bool firstOfItsName = false;
    for (std::string_view line : LinesOf(body)) {
        if (pairs.size() >= kMaxHarvested) break;
        if (!line.empty() && IsBreak(line.back())) line.remove_suffix(1);
        std::string trimmed = Trim(line);
        if (trimmed.empty() || trimmed[0] == ';') continue;
        if (trimmed[0] == '[') {
            size_t close = trimmed.find(']');
            if (close == std::string::npos) continue;
            section = text(Trim(trimmed.substr(1, close - 1)));
            firstOfItsName =
                std::none_of(sectionsSeen.begin(), sectionsSeen.end(),
                             [&](const std::string& s) { return EqualsIgnoreCase(s, *section); });
            sectionsSeen.push_back(*section);
            continue;
        }
        size_t equals = trimmed.find('=');
        if (equals == std::string::npos) continue;
        Pair pair{section.value_or(""), text(Trim(trimmed.substr(0, equals))), std::nullopt};
        const bool firstOfKey = std::none_of(pairs.begin(), pairs.end(), [&](const Pair& p) {
            return EqualsIgnoreCase(p.section, pair.section) && EqualsIgnoreCase(p.key, pair.key);
        });
        if (section && firstOfItsName && firstOfKey && !pair.section.empty() && !pair.key.empty())
            pair.expected = text(Unquoted(Trim(trimmed.substr(equals + 1))));
        pairs.push_back(std::move(pair));
    }
    return pairs;
}

bool Representable(const std::string& text) {
    return Windows1252ToUtf8(Utf8ToWindows1252(text)) == text;
}

bool HasAny(std::string_view text, std::string_view characters) {
    return text.find_first_of(characters) != std::string_view::npos;
}

const std::string_view kBreaks("\r\n\0", 3);

bool SectionRefused(const std::string& section) {
    std::string name = Trim(section);
    return name.empty() || HasAny(name, kBreaks) || HasAny(name, "]");
}

bool KeyRefused(const std::string& key) {
    std::string name = Trim(key);
    return name.empty() || HasAny(name, kBreaks) || HasAny(name, "=") || name[0] == ';' ||
           name[0] == '[';
}

bool SameName(const std::string& a, const std::string& b) {
    return EqualsIgnoreCase(Trim(a), Trim(b));
}

// Only the one line of the key may change, or lines may come in: one key
// line, perhaps a section header before it, and empty lines; a last line
// without an end may gain one.
void CheckUntouchedLines(std::string_view before, std::string_view after) {
    if (before == after) return;  // the value was already there
    const std::string context = "before: " + Escaped(before) + "\nafter: " + Escaped(after);
    // The byte-order mark stays, and belongs to no line; so does an odd byte.
    const Encoding encoding = EncodingOf(before);
    FUZZ_CHECK(EncodingOf(after) == encoding, "the encoding changed; " + context);
    FUZZ_CHECK(encoding != Encoding::Utf16Le || before.size() % 2 == after.size() % 2,
               "the odd byte was lost; " + context);
    std::vector<std::string> old = LinesOf(BodyOf(before, encoding));
    std::vector<std::string> now = LinesOf(BodyOf(after, encoding));
    size_t prefix = 0;
    while (prefix < old.size() && prefix < now.size() && old[prefix] == now[prefix]) ++prefix;
    size_t suffix = 0;
    while (suffix < old.size() - prefix && suffix < now.size() - prefix &&
           old[old.size() - 1 - suffix] == now[now.size() - 1 - suffix])
        ++suffix;
    const size_t oldMiddle = old.size() - prefix - suffix;
    const size_t newMiddle = now.size() - prefix - suffix;
    FUZZ_CHECK(oldMiddle <= 1 && newMiddle >= oldMiddle, "more than one line changed; " + context);
    if (oldMiddle == 1) {
        const std::string& was = old[prefix];
        const std::string& is = now[prefix];
        const bool ended = IsBreak(was.back());
        // The key's line: the same bytes up to '=', the same line end.
        size_t equals = was.find('=');
        bool replaced = equals != std::string::npos &&
                        is.compare(0, equals + 1, was, 0, equals + 1) == 0 &&
                        (ended ? is.back() == was.back() : !IsBreak(is.back()));
        if (replaced) {
            FUZZ_CHECK(newMiddle == 1, "lines came in beside a changed value; " + context);
            return;
        }
        // Or the last line, without an end, gains one before the new lines.
        FUZZ_CHECK(
            !ended && is.size() == was.size() + 1 && is.starts_with(was) && IsBreak(is.back()),
            "a line changed; " + context);
        ++prefix;
    }
    int headers = 0, keys = 0;
    for (size_t i = prefix; i < now.size() - suffix; ++i) {
        const std::string content = Trim(std::string_view(now[i]).substr(0, now[i].size() - 1));
        if (content.empty()) continue;
        if (content[0] == '[') {
            ++headers;
        } else {
            FUZZ_CHECK(content.find('=') != std::string::npos,
                       "a line without '=' came in; " + context);
            ++keys;
        }
    }
    FUZZ_CHECK(keys == 1 && headers <= 1, "unexpected lines came in; " + context);
}

void ReadAndWrite(const uint8_t* data, size_t size) {
    const std::filesystem::path path = ProcessTempFolder() / "settings.ini";
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    WriteRaw(path, bytes);
    const Encoding encoding = EncodingOf(bytes);
    IniFile ini;

    std::vector<Pair> pairs = Harvest(BodyOf(bytes, encoding), encoding);
    pairs.push_back({"Update", "Build", std::nullopt});
    pairs.push_back({"UpdateService", "Host", std::nullopt});

    std::vector<std::string> values;
    for (const Pair& pair : pairs) {
        std::string value = ini.LesINIStreng(pair.section, pair.key, path.string());
        FUZZ_CHECK(!HasAny(value, "\n"), Escaped(value));
        if (pair.expected)
            FUZZ_CHECK(value == *pair.expected, "[" + Escaped(pair.section) + "] " +
                                                    Escaped(pair.key) + " read as " +
                                                    Escaped(value) + " in " + Escaped(bytes));
        if (encoding != Encoding::Utf8) FUZZ_CHECK(IsValidUtf8(value), Escaped(value));
        values.push_back(std::move(value));
    }

    // The write: names from the file and names a settings file cannot hold.
    auto pick = [&](size_t back) { return size >= back ? data[size - back] : 0; };
    std::vector<std::string> sections = {"Update", "UpdateService", "Ny Seksjon", "Æøå", " Update ",
                                         "",       "a]b",           "€uro",       "日本"};
    std::vector<std::string> keys = {"Build", "Host",     "NøKKEL",      "",    ";comment", "[x",
                                     "a=b",   " Setup\t", "line\nbreak", "日本"};
    for (const Pair& pair : pairs) {
        sections.push_back(pair.section);
        keys.push_back(pair.key);
    }
    const size_t sliceFrom = pick(4) % (size + 1);
    const std::vector<std::string> valueChoices = {
        "",           "1",        " padded ",
        "\"quoted\"", "'",        "\"",
        "ÆØÅ æøå",    "€",        "日本",
        "a=b;c[d]",   "x\r\ny",   std::string("nul\0inside", 10),
        "\t",         "\"both' ", bytes.substr(sliceFrom, pick(3) % 24)};
    const std::string& section = sections[pick(1) % sections.size()];
    const std::string& key = keys[pick(2) % keys.size()];
    const std::string& value = valueChoices[pick(3) % valueChoices.size()];
    const std::string what = "[" + Escaped(section) + "] " + Escaped(key) + "=" + Escaped(value) +
                             " in " + Escaped(bytes);

    const bool structurallyRefused =
        SectionRefused(section) || KeyRefused(key) || HasAny(value, kBreaks);
    // A UTF-8 file takes any bytes; UTF-16 only well-formed text.
    const bool maybeUnrepresentable =
        encoding == Encoding::Windows1252
            ? !(Representable(section) && Representable(key) && Representable(value))
            : encoding == Encoding::Utf16Le &&
                  !(IsValidUtf8(section) && IsValidUtf8(key) && IsValidUtf8(value));

    try {
        ini.SkrivINIStreng(section, key, value, path.string());
    } catch (const ServiceError& error) {
        FUZZ_CHECK(error.Number() == 5, std::string(error.what()) + "; " + what);
        FUZZ_CHECK(structurallyRefused || maybeUnrepresentable, "refused: " + what);
        FUZZ_CHECK(ReadBack(path) == bytes, "a refused write changed the file: " + what);
        return;
    }
    FUZZ_CHECK(!structurallyRefused, "accepted: " + what);

    const std::string after = ReadBack(path);
    CheckUntouchedLines(bytes, after);
    const std::string readBack = ini.LesINIStreng(section, key, path.string());
    FUZZ_CHECK(readBack == value, "read back " + Escaped(readBack) + " after " + what);
    for (size_t i = 0; i < pairs.size(); ++i) {
        if (SameName(pairs[i].section, section) && SameName(pairs[i].key, key)) continue;
        const std::string now = ini.LesINIStreng(pairs[i].section, pairs[i].key, path.string());
        FUZZ_CHECK(now == values[i], "[" + Escaped(pairs[i].section) + "] " +
                                         Escaped(pairs[i].key) + " changed from " +
                                         Escaped(values[i]) + " to " + Escaped(now) + " by " +
                                         what);
    }
}

}  // namespace
}  // namespace tvk::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    tvk::fuzz::ReadAndWrite(data, size);
    return 0;
}
