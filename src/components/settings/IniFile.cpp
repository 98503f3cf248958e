#include "components/settings/IniFile.h"

#include <initializer_list>
#include <optional>
#include <string_view>
#include <type_traits>

#include "common/CodePage.h"
#include "common/ServiceError.h"
#include "platform/Platform.h"

namespace tvk {

namespace {

constexpr int64_t kInvalidArgument = ErrorNumber::InvalidArgument;
constexpr std::string_view kInvalidArgumentText = "Invalid procedure call or argument: ";
constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";
constexpr std::string_view kUtf16LeBom = "\xFF\xFE";

// A file is worked on in its own code units: bytes, or the 16-bit units of a
// UTF-16 file, so that the lines a write does not touch keep every unit.
template <class Unit>
using View = std::basic_string_view<Unit>;
template <class Unit>
using Units = std::basic_string<Unit>;

template <class Unit>
bool IsBlank(Unit c) {
    return c == Unit(' ') || c == Unit('\t');
}

template <class Unit>
View<Unit> Trim(View<Unit> text) {
    size_t first = 0, last = text.size();
    while (first < last && IsBlank(text[first])) ++first;
    while (last > first && IsBlank(text[last - 1])) --last;
    return text.substr(first, last - first);
}

template <class Unit>
bool IsQuote(Unit c) {
    return c == Unit('"') || c == Unit('\'');
}

// Windows drops one pair of matching quotes around a value.
template <class Unit>
View<Unit> Unquote(View<Unit> value) {
    if (value.size() >= 2 && IsQuote(value.front()) && value.back() == value.front()) {
        return value.substr(1, value.size() - 2);
    }
    return value;
}

// A value that reading would change (surrounding blanks, or enclosing quotes that
// reading would drop) is written in quotes, so that it reads back as written.
std::string QuotedIfNeeded(const std::string& value) {
    bool needsQuotes = !value.empty() && (Trim<char>(value).size() != value.size() ||
                                          Unquote<char>(value).size() != value.size());
    return needsQuotes ? '"' + value + '"' : value;
}

[[noreturn]] void Refuse(const std::string& why) {
    throw ServiceError(kInvalidArgument, std::string(kInvalidArgumentText) + why);
}

bool HasLineBreakOrNul(std::string_view text) {
    return text.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos;
}

std::string CheckedSection(const std::string& section) {
    std::string_view name = Trim<char>(section);
    if (name.empty()) Refuse("the section name of a settings file is empty");
    if (HasLineBreakOrNul(name) || name.find(']') != std::string_view::npos) {
        Refuse("the section name \"" + section + "\" contains ']' or a line break");
    }
    return std::string(name);
}

std::string CheckedKey(const std::string& key) {
    std::string_view name = Trim<char>(key);
    if (name.empty()) Refuse("the key name of a settings file is empty");
    // A key starting with ';' or '[' would be read as a comment or a section header.
    if (HasLineBreakOrNul(name) || name.find('=') != std::string_view::npos ||
        name.front() == ';' || name.front() == '[') {
        Refuse("the key name \"" + key +
               "\" contains '=' or a line break, or starts with ';' or '['");
    }
    return std::string(name);
}

void CheckValue(const std::string& key, const std::string& value) {
    if (HasLineBreakOrNul(value)) {
        Refuse("the value of key \"" + key + "\" contains a line break");
    }
}

template <class Unit>
bool IsLineBreak(Unit c) {
    return c == Unit('\r') || c == Unit('\n');
}

// How many units of line end stand at `at`. Windows ends a line at any CR or
// LF; CR LF, and the CR CR LF and LF CR of files converted twice, count as
// one line end, so that a line a write adds goes after it, not inside it.
template <class Unit>
size_t LineEndLength(View<Unit> text, size_t at) {
    for (std::string_view end : {"\r\r\n", "\r\n", "\n\r"}) {
        size_t n = 0;
        while (n < end.size() && at + n < text.size() && text[at + n] == Unit(end[n])) ++n;
        if (n == end.size()) return n;
    }
    return 1;
}

struct Line {
    size_t begin;  // first unit
    size_t end;    // end of the content, before the line end
    size_t next;   // first unit of the next line; equals `end` for a last line without an end
};

enum class LineKind { Other, Section, Key };

template <class Unit>
struct ParsedLine {
    LineKind kind = LineKind::Other;
    View<Unit> name;        // trimmed, in the file's encoding
    size_t valueBegin = 0;  // for a key: the unit after '='
};

enum class Encoding { Windows1252, Utf8, Utf16Le };

// A settings file's content with its encoding and line end. Lines are found
// one after the other as they are asked for and never stored, so that a file
// costs its own size in memory and little more, however many lines it has.
template <class Unit>
class Document {
  public:
    Document(Units<Unit> units, Encoding encoding, size_t bodyBegin, std::string tail = {})
        : units_(std::move(units)),
          encoding_(encoding),
          bodyBegin_(bodyBegin),
          tail_(std::move(tail)) {
        // Added lines end as the first line does; CR LF in a new file, as
        // Windows writes it.
        std::optional<Line> first = FirstLine();
        if (first && first->end < first->next)
            lineEnd_ = units_.substr(first->end, first->next - first->end);
        else
            lineEnd_ = {Unit('\r'), Unit('\n')};
    }

    const Units<Unit>& Content() const { return units_; }
    const Units<Unit>& LineEnd() const { return lineEnd_; }

    std::optional<Line> FirstLine() const { return LineAt(bodyBegin_); }
    std::optional<Line> NextLine(const Line& line) const { return LineAt(line.next); }

    // What the last line lacks of a line end; nothing for every other line.
    Units<Unit> MissingEnd(const Line& line) const {
        return line.next == units_.size() && line.end == line.next ? lineEnd_ : Units<Unit>();
    }

    View<Unit> Text(const Line& line) const {
        return View<Unit>(units_).substr(line.begin, line.end - line.begin);
    }

    std::string ToText(View<Unit> raw) const {
        if constexpr (std::is_same_v<Unit, char16_t>) {
            return Utf16ToUtf8(raw);
        } else {
            return encoding_ == Encoding::Utf8 ? std::string(raw) : Windows1252ToUtf8(raw);
        }
    }

    // The file's units for a text; refused when the file's encoding lacks a
    // character, rather than silently writing a different text.
    Units<Unit> ToFile(const std::string& text, const std::string& what) const {
        if constexpr (std::is_same_v<Unit, char16_t>) {
            std::u16string units = Utf8ToUtf16(text);
            if (Utf16ToUtf8(units) != text) Refuse(what + " \"" + text + "\" is not UTF-8 text");
            return units;
        } else {
            if (encoding_ == Encoding::Utf8) return text;
            std::string bytes = Utf8ToWindows1252(text);
            if (Windows1252ToUtf8(bytes) != text) {
                Refuse(what + " \"" + text + "\" has characters that Windows-1252 cannot hold");
            }
            return bytes;
        }
    }

    // The bytes of the file with the given content.
    std::string FileBytes(Units<Unit> content) const {
        if constexpr (std::is_same_v<Unit, char16_t>) {
            std::string bytes;
            bytes.reserve(content.size() * 2 + tail_.size());
            for (char16_t unit : content) {
                bytes += static_cast<char>(unit & 0xFF);
                bytes += static_cast<char>(unit >> 8);
            }
            return bytes + tail_;
        } else {
            return content;
        }
    }

    ParsedLine<Unit> Parse(const Line& line) const {
        View<Unit> content = Text(line);
        View<Unit> trimmed = Trim(content);
        ParsedLine<Unit> parsed;
        if (trimmed.empty() || trimmed.front() == Unit(';')) return parsed;
        if (trimmed.front() == Unit('[')) {
            size_t close = trimmed.find(Unit(']'));
            if (close != View<Unit>::npos) {
                parsed.kind = LineKind::Section;
                parsed.name = Trim(trimmed.substr(1, close - 1));
            }
            return parsed;
        }
        size_t equals = content.find(Unit('='));
        if (equals == View<Unit>::npos) return parsed;
        parsed.name = Trim(content.substr(0, equals));
        if (parsed.name.empty()) return parsed;
        parsed.kind = LineKind::Key;
        parsed.valueBegin = line.begin + equals + 1;
        return parsed;
    }

  private:
    std::optional<Line> LineAt(size_t pos) const {
        if (pos >= units_.size()) return std::nullopt;
        size_t end = pos;
        while (end < units_.size() && !IsLineBreak(units_[end])) ++end;
        size_t next = end < units_.size() ? end + LineEndLength<Unit>(units_, end) : end;
        return Line{pos, end, next};
    }

    Units<Unit> units_;
    Encoding encoding_;
    size_t bodyBegin_;  // after the byte-order mark
    std::string tail_;  // the odd last byte of a UTF-16 file, kept as it stands
    Units<Unit> lineEnd_;
};

// Hands the file's content to `use` as a Document of its own code units. A
// UTF-16 file says so with its byte-order mark, as Windows requires.
template <class Use>
auto WithDocument(std::string&& bytes, Use&& use) {
    if (bytes.starts_with(kUtf16LeBom)) {
        std::u16string units(bytes.size() / 2, u'\0');
        for (size_t i = 0; i < units.size(); ++i) {
            units[i] = static_cast<char16_t>(static_cast<uint8_t>(bytes[2 * i]) |
                                             static_cast<uint8_t>(bytes[2 * i + 1]) << 8);
        }
        std::string tail = bytes.substr(units.size() * 2);
        std::string().swap(bytes);  // the units replace the bytes
        return use(Document<char16_t>(std::move(units), Encoding::Utf16Le, 1, std::move(tail)));
    }
    const bool utf8 = bytes.starts_with(kUtf8Bom);
    return use(Document<char>(std::move(bytes), utf8 ? Encoding::Utf8 : Encoding::Windows1252,
                              utf8 ? kUtf8Bom.size() : 0));
}

// Where a key is, or where it would go. Only the first section of the name is
// looked at, so that reading and writing agree on which value counts.
struct Place {
    std::optional<Line> section;  // the section header
    std::optional<Line> key;      // the line of the key
    Line lastKeyLine{};           // last key line of the section, else its header
    std::optional<Line> last;     // the last line looked at
};

template <class Unit>
Place Locate(const Document<Unit>& doc, std::string_view section, std::string_view key) {
    Place place;
    for (std::optional<Line> line = doc.FirstLine(); line; line = doc.NextLine(*line)) {
        place.last = line;
        ParsedLine<Unit> parsed = doc.Parse(*line);
        if (parsed.kind == LineKind::Section) {
            if (place.section) break;
            if (EqualsIgnoreCase(doc.ToText(parsed.name), section)) {
                place.section = line;
                place.lastKeyLine = *line;
            }
        } else if (parsed.kind == LineKind::Key && place.section) {
            place.lastKeyLine = *line;
            if (EqualsIgnoreCase(doc.ToText(parsed.name), key)) {
                place.key = line;
                break;
            }
        }
    }
    return place;
}

// The content with units [from, to) replaced by `pieces`, built in one
// allocation.
template <class Unit>
Units<Unit> Spliced(const Units<Unit>& content, size_t from, size_t to,
                    std::initializer_list<View<Unit>> pieces) {
    size_t size = content.size() - (to - from);
    for (View<Unit> piece : pieces) size += piece.size();
    Units<Unit> out;
    out.reserve(size);
    out.append(content, 0, from);
    for (View<Unit> piece : pieces) out.append(piece);
    out.append(content, to);
    return out;
}

template <class Unit>
std::string ReadValue(const Document<Unit>& doc, std::string_view section, std::string_view key) {
    Place place = Locate(doc, section, key);
    if (!place.key) return {};
    const Line& line = *place.key;
    View<Unit> raw = doc.Text(line).substr(doc.Parse(line).valueBegin - line.begin);
    return doc.ToText(Unquote(Trim(raw)));
}

// The file's new bytes with the key set, or nothing when they would not change.
template <class Unit>
std::optional<std::string> WithValue(const Document<Unit>& doc, const std::string& section,
                                     const std::string& key, const std::string& value) {
    const Units<Unit> fileValue =
        doc.ToFile(QuotedIfNeeded(value), "the value of key \"" + key + "\"");
    const Units<Unit>& content = doc.Content();
    const Units<Unit>& eol = doc.LineEnd();
    Place place = Locate(doc, section, key);
    Units<Unit> updated;
    if (place.key) {
        size_t valueBegin = doc.Parse(*place.key).valueBegin;
        updated = Spliced<Unit>(content, valueBegin, place.key->end, {fileValue});
    } else {
        Units<Unit> keyLine = doc.ToFile(key, "the key name");
        keyLine += Unit('=');
        keyLine += fileValue;
        if (place.section) {
            const Line& after = place.lastKeyLine;
            updated = Spliced<Unit>(content, after.next, after.next,
                                    {doc.MissingEnd(after), keyLine, eol});
        } else {
            Units<Unit> before;
            if (place.last) {
                before = doc.MissingEnd(*place.last);
                if (!Trim(doc.Text(*place.last)).empty())
                    before += eol;  // a blank line between sections
            }
            Units<Unit> header = Unit('[') + doc.ToFile(section, "the section name") + Unit(']');
            updated = Spliced<Unit>(content, content.size(), content.size(),
                                    {before, header, eol, keyLine, eol});
        }
    }
    if (updated == content) return std::nullopt;
    return doc.FileBytes(std::move(updated));
}

}  // namespace

std::string ReadSettingsText(std::string content, std::string_view section, std::string_view key) {
    const std::string_view sectionName = Trim<char>(section);
    const std::string_view keyName = Trim<char>(key);
    if (sectionName.empty() || keyName.empty()) return {};
    return WithDocument(std::move(content),
                        [&](const auto& doc) { return ReadValue(doc, sectionName, keyName); });
}

std::string IniFile::LesINIStreng(const std::string& section, const std::string& key,
                                  const std::string& path) {
    if (Trim<char>(section).empty() || Trim<char>(key).empty()) return {};
    std::string bytes;
    if (!platform::ReadFile(platform::TextPath(path), bytes)) return {};
    return ReadSettingsText(std::move(bytes), section, key);
}

void IniFile::SkrivINIStreng(const std::string& section, const std::string& key,
                             const std::string& value, const std::string& path) {
    std::string sectionName = CheckedSection(section);
    std::string keyName = CheckedKey(key);
    CheckValue(keyName, value);
    if (path.empty()) Refuse("the path of the settings file is empty");

    std::string bytes;
    platform::ReadFile(platform::TextPath(path), bytes);
    std::optional<std::string> updated = WithDocument(std::move(bytes), [&](const auto& doc) {
        return WithValue(doc, sectionName, keyName, value);
    });
    // An unchanged file is left alone, time stamp and all.
    if (updated) platform::WriteFileAtomically(platform::TextPath(path), *updated);
}

}  // namespace tvk
