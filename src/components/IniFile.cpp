#include "components/IniFile.h"

#include <optional>
#include <string_view>
#include <vector>

#include "common/CodePage.h"
#include "common/ServiceError.h"
#include "platform/Platform.h"

namespace tvk {

namespace {

constexpr int64_t kInvalidArgument = ErrorNumber::InvalidArgument;
constexpr std::string_view kInvalidArgumentText = "Invalid procedure call or argument: ";
constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";
constexpr std::string_view kBlanks = " \t";

std::string_view Trim(std::string_view text) {
    size_t first = text.find_first_not_of(kBlanks);
    if (first == std::string_view::npos) return {};
    size_t last = text.find_last_not_of(kBlanks);
    return text.substr(first, last - first + 1);
}

bool IsQuote(char c) { return c == '"' || c == '\''; }

// Windows drops one pair of matching quotes around a value.
std::string_view Unquote(std::string_view value) {
    if (value.size() >= 2 && IsQuote(value.front()) && value.back() == value.front()) {
        return value.substr(1, value.size() - 2);
    }
    return value;
}

// A value that reading would change (surrounding blanks, or enclosing quotes that
// reading would drop) is written in quotes, so that it reads back as written.
std::string QuotedIfNeeded(const std::string& value) {
    bool needsQuotes = !value.empty() && (Trim(value).size() != value.size() ||
                                          Unquote(value).size() != value.size());
    return needsQuotes ? '"' + value + '"' : value;
}

[[noreturn]] void Refuse(const std::string& why) {
    throw ServiceError(kInvalidArgument, std::string(kInvalidArgumentText) + why);
}

bool HasLineBreakOrNul(std::string_view text) {
    return text.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos;
}

std::string CheckedSection(const std::string& section) {
    std::string_view name = Trim(section);
    if (name.empty()) Refuse("the section name of a settings file is empty");
    if (HasLineBreakOrNul(name) || name.find(']') != std::string_view::npos) {
        Refuse("the section name \"" + section + "\" contains ']' or a line break");
    }
    return std::string(name);
}

std::string CheckedKey(const std::string& key) {
    std::string_view name = Trim(key);
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

struct Line {
    size_t begin;  // first byte
    size_t end;    // end of the content, before CR LF
    size_t next;   // first byte of the next line; equals `end` for a last line without an ending
};

enum class LineKind { Other, Section, Key };

struct ParsedLine {
    LineKind kind = LineKind::Other;
    std::string_view name;  // trimmed, in the file's encoding
    size_t valueBegin = 0;  // for a key: the byte after '='
};

// A settings file's bytes split into lines, with its line ending and encoding.
class Document {
  public:
    explicit Document(std::string bytes) : bytes_(std::move(bytes)) {
        size_t pos = 0;
        if (bytes_.starts_with(kUtf8Bom)) {
            utf8_ = true;
            pos = kUtf8Bom.size();
        }
        size_t firstBreak = bytes_.find('\n', pos);
        if (firstBreak != std::string::npos &&
            (firstBreak == 0 || bytes_[firstBreak - 1] != '\r')) {
            lineEnding_ = "\n";
        }
        while (pos < bytes_.size()) {
            size_t lf = bytes_.find('\n', pos);
            if (lf == std::string::npos) {
                // A file cut between CR and LF: the CR ends the line all the
                // same, so that completing the line later keeps its value.
                size_t end = bytes_.size();
                if (end > pos && bytes_[end - 1] == '\r') --end;
                lines_.push_back({pos, end, bytes_.size()});
                break;
            }
            size_t end = (lf > pos && bytes_[lf - 1] == '\r') ? lf - 1 : lf;
            lines_.push_back({pos, end, lf + 1});
            pos = lf + 1;
        }
    }

    const std::string& Bytes() const { return bytes_; }
    const std::vector<Line>& Lines() const { return lines_; }
    const std::string& LineEnding() const { return lineEnding_; }

    // What the last line lacks of a line ending; "" for every other line.
    std::string MissingEnding(const Line& line) const {
        if (line.next != bytes_.size() || bytes_.ends_with('\n')) return "";
        return line.end < line.next ? "\n" : lineEnding_;
    }

    std::string_view Content(const Line& line) const {
        return std::string_view(bytes_).substr(line.begin, line.end - line.begin);
    }

    std::string ToText(std::string_view raw) const {
        return utf8_ ? std::string(raw) : Windows1252ToUtf8(raw);
    }

    // The file's bytes for a text; refused when the file's code page lacks a
    // character, rather than silently writing a different text.
    std::string ToFile(const std::string& text, const std::string& what) const {
        if (utf8_) return text;
        std::string bytes = Utf8ToWindows1252(text);
        if (Windows1252ToUtf8(bytes) != text) {
            Refuse(what + " \"" + text + "\" has characters that Windows-1252 cannot hold");
        }
        return bytes;
    }

    ParsedLine Parse(const Line& line) const {
        std::string_view content = Content(line);
        std::string_view trimmed = Trim(content);
        ParsedLine parsed;
        if (trimmed.empty() || trimmed.front() == ';') return parsed;
        if (trimmed.front() == '[') {
            size_t close = trimmed.find(']');
            if (close != std::string_view::npos) {
                parsed.kind = LineKind::Section;
                parsed.name = Trim(trimmed.substr(1, close - 1));
            }
            return parsed;
        }
        size_t equals = content.find('=');
        if (equals == std::string_view::npos) return parsed;
        parsed.name = Trim(content.substr(0, equals));
        if (parsed.name.empty()) return parsed;
        parsed.kind = LineKind::Key;
        parsed.valueBegin = line.begin + equals + 1;
        return parsed;
    }

  private:
    std::string bytes_;
    bool utf8_ = false;
    std::string lineEnding_ = "\r\n";  // also for a new file, as Windows writes it
    std::vector<Line> lines_;
};

// Where a key is, or where it would go. Only the first section of the name is
// looked at, so that reading and writing agree on which value counts.
struct Place {
    std::optional<size_t> section;  // line of the section header
    std::optional<size_t> key;      // line of the key
    size_t lastKeyLine = 0;         // last key line of the section, else its header
};

Place Locate(const Document& doc, std::string_view section, std::string_view key) {
    Place place;
    const auto& lines = doc.Lines();
    for (size_t i = 0; i < lines.size(); ++i) {
        ParsedLine parsed = doc.Parse(lines[i]);
        if (parsed.kind == LineKind::Section) {
            if (place.section) break;
            if (EqualsIgnoreCase(doc.ToText(parsed.name), section)) {
                place.section = i;
                place.lastKeyLine = i;
            }
        } else if (parsed.kind == LineKind::Key && place.section) {
            place.lastKeyLine = i;
            if (EqualsIgnoreCase(doc.ToText(parsed.name), key)) {
                place.key = i;
                break;
            }
        }
    }
    return place;
}

std::string ReplaceValue(const Document& doc, size_t lineIndex, const std::string& value) {
    const Line& line = doc.Lines()[lineIndex];
    size_t valueBegin = doc.Parse(line).valueBegin;
    const std::string& bytes = doc.Bytes();
    return bytes.substr(0, valueBegin) + value + bytes.substr(line.end);
}

std::string InsertLine(const Document& doc, size_t afterLine, const std::string& text) {
    const Line& line = doc.Lines()[afterLine];
    const std::string& eol = doc.LineEnding();
    const std::string& bytes = doc.Bytes();
    std::string ending = doc.MissingEnding(line);
    return bytes.substr(0, line.next) + ending + text + eol + bytes.substr(line.next);
}

std::string AppendSection(const Document& doc, const std::string& section,
                          const std::string& keyLine) {
    const std::string& eol = doc.LineEnding();
    std::string bytes = doc.Bytes();
    if (!doc.Lines().empty()) {
        const Line& last = doc.Lines().back();
        bytes += doc.MissingEnding(last);
        if (!Trim(doc.Content(last)).empty()) bytes += eol;  // a blank line between sections
    }
    return bytes + "[" + section + "]" + eol + keyLine + eol;
}

}  // namespace

std::string IniFile::LesINIStreng(const std::string& section, const std::string& key,
                                  const std::string& path) {
    std::string_view sectionName = Trim(section);
    std::string_view keyName = Trim(key);
    if (sectionName.empty() || keyName.empty()) return {};

    std::string bytes;
    if (!platform::ReadFile(path, bytes)) return {};
    Document doc(std::move(bytes));
    Place place = Locate(doc, sectionName, keyName);
    if (!place.key) return {};

    const Line& line = doc.Lines()[*place.key];
    std::string_view raw = doc.Content(line).substr(doc.Parse(line).valueBegin - line.begin);
    return doc.ToText(Unquote(Trim(raw)));
}

void IniFile::SkrivINIStreng(const std::string& section, const std::string& key,
                             const std::string& value, const std::string& path) {
    std::string sectionName = CheckedSection(section);
    std::string keyName = CheckedKey(key);
    CheckValue(keyName, value);
    if (path.empty()) Refuse("the path of the settings file is empty");

    std::string bytes;
    platform::ReadFile(path, bytes);
    Document doc(std::move(bytes));
    std::string fileValue =
        doc.ToFile(QuotedIfNeeded(value), "the value of key \"" + keyName + "\"");

    Place place = Locate(doc, sectionName, keyName);
    std::string updated;
    if (place.key) {
        updated = ReplaceValue(doc, *place.key, fileValue);
    } else {
        std::string keyLine = doc.ToFile(keyName, "the key name") + "=" + fileValue;
        updated = place.section
                      ? InsertLine(doc, place.lastKeyLine, keyLine)
                      : AppendSection(doc, doc.ToFile(sectionName, "the section name"), keyLine);
    }
    // An unchanged file is left alone, time stamp and all.
    if (updated == doc.Bytes()) return;
    platform::WriteFileAtomically(path, updated);
}

}  // namespace tvk
