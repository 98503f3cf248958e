// The settings-file reader and writer on arbitrary file bytes.
//
// The input is the file. Its last four bytes also pick the section, key and
// value of one write (so any settings file is a usable seed as it stands).
// Checked:
//  - reading never fails on a file that exists, and gives text without line
//    breaks (UTF-8 unless the file says it is UTF-8 itself);
//  - a write that is refused throws ServiceError 5, has a reason to, and
//    leaves the file as it was;
//  - a write that succeeds reads back as written, changes no other key's
//    value, and leaves every line it did not touch byte for byte.

#include <fstream>
#include <iterator>

#include "FuzzSupport.h"
#include "common/CodePage.h"
#include "common/ServiceError.h"
#include "components/IniFile.h"

namespace tvk::fuzz {
namespace {

constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";
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

// Lines with their endings, as the bytes stand.
std::vector<std::string> LinesOf(std::string_view bytes) {
    std::vector<std::string> lines;
    size_t from = 0;
    while (from < bytes.size()) {
        size_t lf = bytes.find('\n', from);
        size_t end = lf == std::string_view::npos ? bytes.size() : lf + 1;
        lines.emplace_back(bytes.substr(from, end - from));
        from = end;
    }
    return lines;
}

struct Pair {
    std::string section;
    std::string key;
};

// Section and key names as a reader of the file would see them, found by a
// scan of its own: "[name]" headers and "name=" lines that are no comments.
std::vector<Pair> Harvest(std::string_view bytes, bool utf8) {
    auto text = [&](std::string_view raw) {
        return utf8 ? std::string(raw) : Windows1252ToUtf8(raw);
    };
    if (utf8) bytes.remove_prefix(kUtf8Bom.size());
    std::vector<Pair> pairs;
    std::string section;
    for (std::string_view line : LinesOf(bytes)) {
        if (pairs.size() >= kMaxHarvested) break;
        // The content of a line ends before its "\n", or before "\r\n".
        if (line.ends_with("\r\n")) line.remove_suffix(2);
        if (line.ends_with('\n')) line.remove_suffix(1);
        std::string trimmed = Trim(line);
        if (trimmed.empty() || trimmed[0] == ';') continue;
        if (trimmed[0] == '[') {
            size_t close = trimmed.find(']');
            if (close != std::string::npos) section = text(Trim(trimmed.substr(1, close - 1)));
            continue;
        }
        size_t equals = trimmed.find('=');
        if (equals != std::string::npos) pairs.push_back({section, text(Trim(trimmed.substr(0, equals)))});
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

// Only the one line of the key may change, or one line (or a section header
// with its key line, after an optional blank line) may come in; a last line
// without an ending may gain one.
void CheckUntouchedLines(std::string_view before, std::string_view after) {
    // The byte-order mark stays, and belongs to no line.
    if (before.starts_with(kUtf8Bom)) {
        FUZZ_CHECK(after.starts_with(kUtf8Bom), "the byte-order mark was lost: " + Escaped(after));
        before.remove_prefix(kUtf8Bom.size());
        after.remove_prefix(kUtf8Bom.size());
    }
    std::vector<std::string> old = LinesOf(before), now = LinesOf(after);
    size_t prefix = 0;
    while (prefix < old.size() && prefix < now.size() && old[prefix] == now[prefix]) ++prefix;
    size_t suffix = 0;
    while (suffix < old.size() - prefix && suffix < now.size() - prefix &&
           old[old.size() - 1 - suffix] == now[now.size() - 1 - suffix])
        ++suffix;
    const size_t oldMiddle = old.size() - prefix - suffix;
    const size_t newMiddle = now.size() - prefix - suffix;
    const std::string context = "before: " + Escaped(before) + "\nafter: " + Escaped(after);
    FUZZ_CHECK(oldMiddle <= 1, "more than one line changed; " + context);
    FUZZ_CHECK(newMiddle >= oldMiddle && newMiddle <= 4, "unexpected line count; " + context);
    if (oldMiddle == 1) {
        const std::string& was = old[prefix];
        const std::string& is = now[prefix];
        const bool ended = !was.empty() && was.back() == '\n';
        if (ended) {
            // The key's line: the same bytes up to '=', the same line ending.
            size_t equals = was.find('=');
            FUZZ_CHECK(equals != std::string::npos && is.compare(0, equals + 1, was, 0, equals + 1) == 0,
                       "a changed line lost its key; " + context);
            const std::string ending = was.size() >= 2 && was[was.size() - 2] == '\r' ? "\r\n" : "\n";
            FUZZ_CHECK(is.ends_with(ending), "a changed line lost its ending; " + context);
        } else {
            // The last line, without an ending: the key's line, or it gains an
            // ending before the new lines.
            size_t equals = was.find('=');
            bool replaced = equals != std::string::npos &&
                            is.compare(0, equals + 1, was, 0, equals + 1) == 0 &&
                            is.find('\n') == std::string::npos;
            bool completed = is == was + "\n" || is == was + "\r\n";
            FUZZ_CHECK(replaced || completed, "the last line changed; " + context);
        }
    }
}

void ReadAndWrite(const uint8_t* data, size_t size) {
    const std::filesystem::path path = ProcessTempFolder() / "settings.ini";
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    WriteRaw(path, bytes);
    const bool utf8 = bytes.starts_with(kUtf8Bom);
    IniFile ini;

    std::vector<Pair> pairs = Harvest(bytes, utf8);
    pairs.push_back({"Update", "Build"});
    pairs.push_back({"UpdateService", "Host"});

    std::vector<std::string> values;
    for (const Pair& pair : pairs) {
        std::string value = ini.LesINIStreng(pair.section, pair.key, path.string());
        FUZZ_CHECK(!HasAny(value, "\n"), Escaped(value));
        if (!utf8) FUZZ_CHECK(IsValidUtf8(value), Escaped(value));
        values.push_back(std::move(value));
    }

    // The write: names from the file and names a settings file cannot hold.
    auto pick = [&](size_t back) { return size >= back ? data[size - back] : 0; };
    std::vector<std::string> sections = {"Update", "UpdateService", "Ny Seksjon", "Æøå",
                                         " Update ", "", "a]b", "€uro", "日本"};
    std::vector<std::string> keys = {"Build", "Host", "NøKKEL", "", ";comment", "[x", "a=b",
                                     " Setup\t", "line\nbreak", "日本"};
    for (const Pair& pair : pairs) {
        sections.push_back(pair.section);
        keys.push_back(pair.key);
    }
    const size_t sliceFrom = pick(4) % (size + 1);
    const std::vector<std::string> valueChoices = {
        "", "1", " padded ", "\"quoted\"", "'", "\"", "ÆØÅ æøå", "€", "日本", "a=b;c[d]",
        "x\r\ny", std::string("nul\0inside", 10), "\t", "\"both' ",
        bytes.substr(sliceFrom, pick(3) % 24)};
    const std::string& section = sections[pick(1) % sections.size()];
    const std::string& key = keys[pick(2) % keys.size()];
    const std::string& value = valueChoices[pick(3) % valueChoices.size()];
    const std::string what = "[" + Escaped(section) + "] " + Escaped(key) + "=" + Escaped(value) +
                             " in " + Escaped(bytes);

    const bool structurallyRefused =
        SectionRefused(section) || KeyRefused(key) || HasAny(value, kBreaks);
    const bool maybeUnrepresentable =
        !utf8 && !(Representable(section) && Representable(key) && Representable(value));

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
                                         Escaped(values[i]) + " to " + Escaped(now) + " by " + what);
    }
}

}  // namespace
}  // namespace tvk::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    tvk::fuzz::ReadAndWrite(data, size);
    return 0;
}
