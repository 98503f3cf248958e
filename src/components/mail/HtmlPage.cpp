#include "components/mail/HtmlPage.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <random>
#include <sstream>

#include "common/AsciiText.h"
#include "common/CodePage.h"
#include "common/ServiceError.h"
#include "platform/Platform.h"

namespace tvk {

namespace fs = std::filesystem;

namespace {

// HTML's blanks: those of isspace() without the vertical tab.
bool IsHtmlSpace(char c) { return c != '\v' && IsAsciiSpace(c); }

bool IsAsciiLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

// Reads a text from its start. Every step looks at what is left, so no step
// can go past the end, and the offset of a piece is where the reading stood.
class TextReader {
  public:
    explicit TextReader(std::string_view text) : size_(text.size()), rest_(text) {}

    size_t Position() const { return size_ - rest_.size(); }
    bool AtEnd() const { return rest_.empty(); }
    bool Peek(char c) const { return !rest_.empty() && rest_.front() == c; }
    template <class Test>
    bool PeekIf(Test test) const {
        return !rest_.empty() && test(rest_.front());
    }

    bool Skip(std::string_view word) {
        if (!rest_.starts_with(word)) return false;
        rest_.remove_prefix(word.size());
        return true;
    }
    bool Skip(char c) { return Skip(std::string_view(&c, 1)); }
    // Moves to the next `word`, or to the end when there is none.
    bool SkipTo(std::string_view word) {
        const size_t at = rest_.find(word);
        rest_.remove_prefix(std::min(at, rest_.size()));
        return at != std::string_view::npos;
    }

    // The longest piece from here whose characters all pass `keep`.
    template <class Keep>
    std::string_view TakeWhile(Keep keep) {
        const std::string_view taken(rest_.begin(),
                                     std::find_if_not(rest_.begin(), rest_.end(), keep));
        rest_.remove_prefix(taken.size());
        return taken;
    }
    template <class Keep>
    TextRange RangeWhile(Keep keep) {
        const size_t begin = Position();
        TakeWhile(keep);
        return {begin, Position()};
    }

  private:
    size_t size_;
    std::string_view rest_;
};

// An attribute value after its '=': quoted, or up to a blank or the tag's end.
TextRange ReadValue(TextReader& in) {
    in.TakeWhile(IsHtmlSpace);
    for (const char quote : {'"', '\''}) {
        if (!in.Skip(quote)) continue;
        const TextRange value = in.RangeWhile([quote](char c) { return c != quote; });
        in.Skip(quote);
        return value;
    }
    return in.RangeWhile([](char c) { return !IsHtmlSpace(c) && c != '>'; });
}

// The name and attributes of a tag whose '<' (and '/') `in` has read.
HtmlTag ReadTag(TextReader& in, bool endTag) {
    HtmlTag tag;
    tag.name = (endTag ? "/" : "") + AsciiLowerCopy(in.TakeWhile([](char c) {
                   return !IsHtmlSpace(c) && c != '>' && c != '/';
               }));
    while (!in.AtEnd() && !in.Peek('>')) {
        if (!in.TakeWhile([](char c) { return IsHtmlSpace(c) || c == '/'; }).empty()) continue;
        HtmlAttribute attribute;
        attribute.name = AsciiLowerCopy(
            in.TakeWhile([](char c) { return !IsHtmlSpace(c) && c != '=' && c != '>'; }));
        in.TakeWhile(IsHtmlSpace);
        if (in.Skip('=')) attribute.value = ReadValue(in);
        tag.attributes.push_back(std::move(attribute));
    }
    in.Skip('>');
    return tag;
}

struct Edit {
    TextRange range;
    std::string replacement;
};

std::string ApplyEdits(std::string text, std::vector<Edit> edits) {
    std::sort(edits.begin(), edits.end(),
              [](const Edit& a, const Edit& b) { return a.range.begin > b.range.begin; });
    for (const Edit& e : edits)
        text.replace(std::min(e.range.begin, text.size()), TextOf(text, e.range).size(),
                     e.replacement);
    return text;
}

std::string LowerValue(std::string_view html, const HtmlAttribute* attribute) {
    return attribute ? AsciiLowerCopy(TextOf(html, attribute->value)) : "";
}

// Where meta tags name the page's charset, and the names, in page order.
struct CharsetDeclaration {
    TextRange value;
    std::string charset;  // lower case
};

std::vector<CharsetDeclaration> CharsetDeclarations(std::string_view html) {
    std::vector<CharsetDeclaration> declarations;
    for (const HtmlTag& tag : ScanTags(html)) {
        if (tag.name != "meta") continue;
        if (const HtmlAttribute* a = tag.Find("charset"); a && a->value.end > a->value.begin) {
            declarations.push_back({a->value, LowerValue(html, a)});
        } else if (const HtmlAttribute* c = tag.Find("content")) {
            const std::string value = LowerValue(html, c);
            const size_t at = value.find("charset=");
            if (at == std::string::npos) continue;
            TextReader in(std::string_view(value).substr(at + 8));
            const std::string_view charset =
                in.TakeWhile([](char c) { return !IsHtmlSpace(c) && c != ';'; });
            const size_t begin = c->value.begin + at + 8;
            declarations.push_back({{begin, begin + charset.size()}, std::string(charset)});
        }
    }
    return declarations;
}

std::string PackableMediaType(const fs::path& file) {
    static const std::map<std::string, std::string> kTypes = {
        {".png", "image/png"},    {".gif", "image/gif"},     {".jpg", "image/jpeg"},
        {".jpeg", "image/jpeg"},  {".bmp", "image/bmp"},     {".webp", "image/webp"},
        {".ico", "image/x-icon"}, {".svg", "image/svg+xml"}, {".css", "text/css"}};
    const auto it = kTypes.find(AsciiLowerCopy(file.extension().string()));
    return it == kTypes.end() ? std::string() : it->second;
}

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    const char lower = AsciiLower(c);
    return lower >= 'a' && lower <= 'f' ? lower - 'a' + 10 : -1;
}

std::string PercentDecoded(std::string_view text) {
    std::string out;
    while (!text.empty()) {
        const int high = text.size() > 2 && text[0] == '%' ? HexValue(text[1]) : -1;
        const int low = high >= 0 ? HexValue(text[2]) : -1;
        if (low >= 0) {
            out += static_cast<char>(high * 16 + low);
            text.remove_prefix(3);
        } else {
            out += text.front();
            text.remove_prefix(1);
        }
    }
    return out;
}

// Attributes that load a picture or a style sheet with the page (links to
// other pages are not packed).
const HtmlAttribute* ResourceAttribute(const HtmlTag& tag, std::string_view html) {
    if (tag.name == "link") {
        const std::string kind = LowerValue(html, tag.Find("rel"));
        if (kind.find("stylesheet") == std::string::npos && kind.find("icon") == std::string::npos)
            return nullptr;
        return tag.Find("href");
    }
    if (tag.name == "img" || tag.name == "input" || tag.name == "image")
        if (const HtmlAttribute* src = tag.Find("src")) return src;
    return tag.Find("background");
}

std::string ReadBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        const int err = errno;
        throw ServiceError(err,
                           "Cannot open " + platform::PathText(path) + ": " + std::strerror(err));
    }
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

std::string NewIdStem() {
    std::random_device random;
    std::ostringstream id;
    id << std::hex << random() << random();
    return id.str();
}

// The text of a character reference without its '&' and ';', if it is one.
std::optional<std::string> EntityText(std::string_view name) {
    static const std::map<std::string, std::string, std::less<>> kNamed = {
        {"amp", "&"}, {"lt", "<"}, {"gt", ">"}, {"quot", "\""}, {"apos", "'"}, {"nbsp", " "}};
    if (auto it = kNamed.find(name); it != kNamed.end()) return it->second;
    if (!name.starts_with('#') || name.size() < 2) return std::nullopt;
    const bool hex = name[1] == 'x' || name[1] == 'X';
    const std::string_view digits = name.substr(hex ? 2 : 1);
    if (digits.empty() || digits.find_first_not_of(hex ? "0123456789abcdefABCDEF" : "0123456789") !=
                              std::string_view::npos)
        return std::nullopt;
    // At most nine characters: the value fits.
    const unsigned long code = std::stoul(std::string(digits), nullptr, hex ? 16 : 10);
    std::string text;
    AppendUtf8(text, code < 0x110000 ? static_cast<char32_t>(code) : U'?');
    return text;
}

std::string DecodeEntities(std::string_view text) {
    // A reference is at most ten characters up to its ';'.
    constexpr size_t kLongest = 10;
    std::string out;
    while (!text.empty()) {
        const size_t semi =
            text.front() == '&' ? text.substr(0, kLongest + 1).find(';') : std::string_view::npos;
        const std::optional<std::string> decoded =
            semi == std::string_view::npos ? std::nullopt : EntityText(text.substr(1, semi - 1));
        out += decoded ? *decoded : std::string(1, text.front());
        text.remove_prefix(decoded ? semi + 1 : 1);
    }
    return out;
}

}  // namespace

const HtmlAttribute* HtmlTag::Find(std::string_view attribute) const {
    const auto it = std::find_if(attributes.begin(), attributes.end(),
                                 [&](const HtmlAttribute& a) { return a.name == attribute; });
    return it == attributes.end() ? nullptr : &*it;
}

std::vector<HtmlTag> ScanTags(std::string_view html) {
    std::vector<HtmlTag> tags;
    TextReader in(html);
    while (in.SkipTo("<")) {
        const size_t begin = in.Position();
        if (in.Skip("<!--")) {
            if (in.SkipTo("-->")) in.Skip("-->");
            continue;
        }
        in.Skip('<');
        const bool endTag = in.Skip('/');
        if (!in.PeekIf(IsAsciiLetter)) continue;
        HtmlTag tag = ReadTag(in, endTag);
        tag.whole = {begin, in.Position()};
        tags.push_back(std::move(tag));
    }
    return tags;
}

std::string_view TextOf(std::string_view text, TextRange range) {
    const size_t begin = std::min(range.begin, text.size());
    return text.substr(begin, std::max(range.end, begin) - begin);
}

std::string PageToUtf8(std::string bytes) {
    if (bytes.starts_with("\xEF\xBB\xBF")) {
        bytes.erase(0, 3);
    } else {
        const std::vector<CharsetDeclaration> declared = CharsetDeclarations(bytes);
        const std::string charset = declared.empty() ? "" : declared.back().charset;
        if (charset != "utf-8" && charset != "utf8") bytes = Windows1252ToUtf8(bytes);
    }
    std::vector<Edit> edits;
    for (const CharsetDeclaration& declaration : CharsetDeclarations(bytes))
        edits.push_back({declaration.value, "utf-8"});
    return ApplyEdits(std::move(bytes), std::move(edits));
}

std::optional<fs::path> LocalFile(std::string reference, const fs::path& folder) {
    size_t at = 0;
    while ((at = reference.find("&amp;", at)) != std::string::npos) reference.replace(at, 5, "&");
    std::string_view path = reference;
    if (StartsWithIgnoringAsciiCase(path, "file:")) {
        path.remove_prefix(5);
        if (path.starts_with("//localhost"))
            path.remove_prefix(11);
        else if (path.starts_with("//"))
            path.remove_prefix(2);
    } else {
        const size_t colon = path.find(':');
        const bool hasScheme = colon != std::string_view::npos && colon < path.find_first_of("/\\");
        if (path.empty() || hasScheme || path.find_first_of("#/\\") == 0) return std::nullopt;
        path = path.substr(0, path.find_first_of("?#"));
    }
    std::string decoded = PercentDecoded(path);
    std::replace(decoded.begin(), decoded.end(), '\\', '/');
    if (decoded.empty() || decoded.find('\0') != std::string::npos) return std::nullopt;
    std::error_code ec;
    const fs::path file = fs::canonical(platform::TextPath(decoded).is_absolute()
                                            ? platform::TextPath(decoded)
                                            : folder / platform::TextPath(decoded),
                                        ec);
    if (ec || !fs::is_regular_file(file, ec)) return std::nullopt;
    const fs::path inside = file.lexically_relative(folder);
    if (inside.empty() || *inside.begin() == "..") return std::nullopt;
    return file;
}

std::string PlainTextOf(std::string_view html) {
    static const char* kBreaks[] = {"br",  "/p",  "/div", "/tr", "/li",
                                    "/h1", "/h2", "/h3",  "/h4", "/table"};
    std::string text;
    size_t at = 0;
    std::string skipUntil;
    for (const HtmlTag& tag : ScanTags(html)) {
        if (skipUntil.empty()) text += TextOf(html, {at, tag.whole.begin});
        at = tag.whole.end;
        if (!skipUntil.empty()) {
            if (tag.name == skipUntil) skipUntil.clear();
            continue;
        }
        if (tag.name == "head" || tag.name == "script" || tag.name == "style")
            skipUntil = "/" + tag.name;
        if (std::find(std::begin(kBreaks), std::end(kBreaks), tag.name) != std::end(kBreaks))
            text += '\n';
    }
    if (skipUntil.empty()) text += TextOf(html, {at, html.size()});
    // Markup line breaks are blanks; only the tags above end lines.
    std::string lines;
    bool blank = false;
    for (char c : text) {
        if (c == '\n') {
            while (lines.ends_with(' ')) lines.pop_back();
            lines += "\r\n";
            blank = false;
        } else if (IsHtmlSpace(c)) {
            blank = !lines.empty() && !lines.ends_with('\n');
        } else {
            if (blank) lines += ' ';
            blank = false;
            lines += c;
        }
    }
    return DecodeEntities(lines);
}

std::string TitleOf(std::string_view html) {
    for (const HtmlTag& tag : ScanTags(html)) {
        if (tag.name != "title") continue;
        const size_t close = AsciiLowerCopy(html).find("</title", tag.whole.end);
        if (close != std::string::npos) return PlainTextOf(TextOf(html, {tag.whole.end, close}));
    }
    return {};
}

HtmlBody ReadHtmlPage(const std::string& htmlPath) {
    const fs::path page = platform::TextPath(htmlPath);
    const std::string html = PageToUtf8(ReadBytes(page));
    std::error_code ec;
    const fs::path folder = fs::canonical(fs::absolute(page).parent_path(), ec);

    HtmlBody body;
    std::map<fs::path, std::string> idOfFile;
    std::vector<Edit> edits;
    const std::string stem = NewIdStem();
    for (const HtmlTag& tag : ScanTags(html)) {
        const HtmlAttribute* attribute = ResourceAttribute(tag, html);
        if (!attribute || ec) continue;
        const std::string reference(TextOf(html, attribute->value));
        const std::optional<fs::path> file = LocalFile(reference, folder);
        if (!file) continue;
        const std::string mediaType = PackableMediaType(*file);
        if (mediaType.empty()) continue;
        auto [it, added] = idOfFile.try_emplace(*file);
        if (added) {
            it->second = "part" + std::to_string(body.related.size() + 1) + "." + stem + "@tvk";
            body.related.push_back({it->second, mediaType, reference, ReadBytes(*file)});
        }
        edits.push_back({attribute->value, "cid:" + it->second});
    }
    body.html = ApplyEdits(html, std::move(edits));
    body.plainText = PlainTextOf(html);
    return body;
}

}  // namespace tvk
