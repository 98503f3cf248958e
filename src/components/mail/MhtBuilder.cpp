#include "components/MhtBuilder.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>
#include <random>
#include <sstream>
#include <vmime/contentTypeField.hpp>
#include <vmime/vmime.hpp>

#include "common/CodePage.h"
#include "common/ServiceError.h"
#include "platform/Platform.h"

namespace tvk {

namespace fs = std::filesystem;

namespace {

// ---- A small scanner for the start tags of an HTML page ------------------

struct Attribute {
    std::string name;  // lower case
    size_t valueBegin = 0;
    size_t valueEnd = 0;  // both 0 when the attribute has no value
};

struct Tag {
    std::string name;  // lower case; "/p" for an end tag
    size_t begin = 0;
    size_t end = 0;  // one past '>'
    std::vector<Attribute> attributes;

    const Attribute* Find(const std::string& attribute) const {
        for (const Attribute& a : attributes)
            if (a.name == attribute) return &a;
        return nullptr;
    }
};

std::string Lower(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f'; }

// The tags of `html` in order; comments and declarations are skipped. Text is
// ASCII-compatible (Windows-1252 or UTF-8), which is all the scanner needs.
std::vector<Tag> ScanTags(const std::string& html) {
    std::vector<Tag> tags;
    size_t i = 0;
    const size_t n = html.size();
    while ((i = html.find('<', i)) != std::string::npos) {
        if (html.compare(i, 4, "<!--") == 0) {
            const size_t close = html.find("-->", i + 4);
            i = close == std::string::npos ? n : close + 3;
            continue;
        }
        size_t p = i + 1;
        const bool endTag = p < n && html[p] == '/';
        if (endTag) ++p;
        if (p >= n || !std::isalpha(static_cast<unsigned char>(html[p]))) {
            i = p;
            continue;
        }
        Tag tag;
        tag.begin = i;
        const size_t nameBegin = p;
        while (p < n && !IsSpace(html[p]) && html[p] != '>' && html[p] != '/') ++p;
        tag.name = (endTag ? "/" : "") + Lower(html.substr(nameBegin, p - nameBegin));
        while (p < n && html[p] != '>') {
            if (IsSpace(html[p]) || html[p] == '/') {
                ++p;
                continue;
            }
            Attribute a;
            const size_t attrBegin = p;
            while (p < n && !IsSpace(html[p]) && html[p] != '=' && html[p] != '>') ++p;
            a.name = Lower(html.substr(attrBegin, p - attrBegin));
            while (p < n && IsSpace(html[p])) ++p;
            if (p < n && html[p] == '=') {
                ++p;
                while (p < n && IsSpace(html[p])) ++p;
                if (p < n && (html[p] == '"' || html[p] == '\'')) {
                    const char quote = html[p++];
                    a.valueBegin = p;
                    while (p < n && html[p] != quote) ++p;
                    a.valueEnd = p;
                    if (p < n) ++p;
                } else {
                    a.valueBegin = p;
                    while (p < n && !IsSpace(html[p]) && html[p] != '>') ++p;
                    a.valueEnd = p;
                }
            }
            tag.attributes.push_back(std::move(a));
        }
        tag.end = std::min(p + 1, n);
        i = tag.end;
        tags.push_back(std::move(tag));
    }
    return tags;
}

std::string ValueOf(const std::string& html, const Attribute& a) {
    return html.substr(a.valueBegin, a.valueEnd - a.valueBegin);
}

struct Edit {
    size_t begin;
    size_t end;
    std::string replacement;
};

std::string ApplyEdits(std::string text, std::vector<Edit> edits) {
    std::sort(edits.begin(), edits.end(),
              [](const Edit& a, const Edit& b) { return a.begin > b.begin; });
    for (const Edit& e : edits) text.replace(e.begin, e.end - e.begin, e.replacement);
    return text;
}

// ---- Character set ----------------------------------------------------------

// Where a meta tag names the page's charset: the value range to replace.
std::vector<Edit> CharsetDeclarations(const std::string& html, const std::string& newCharset,
                                      std::string* declared) {
    std::vector<Edit> edits;
    for (const Tag& tag : ScanTags(html)) {
        if (tag.name != "meta") continue;
        if (const Attribute* a = tag.Find("charset"); a && a->valueEnd > a->valueBegin) {
            if (declared) *declared = Lower(ValueOf(html, *a));
            edits.push_back({a->valueBegin, a->valueEnd, newCharset});
        } else if (const Attribute* c = tag.Find("content")) {
            const std::string value = Lower(ValueOf(html, *c));
            const size_t at = value.find("charset=");
            if (at == std::string::npos) continue;
            const size_t begin = at + 8;
            size_t end = begin;
            while (end < value.size() && !IsSpace(value[end]) && value[end] != ';') ++end;
            if (declared) *declared = value.substr(begin, end - begin);
            edits.push_back({c->valueBegin + begin, c->valueBegin + end, newCharset});
        }
    }
    return edits;
}

std::string PageToUtf8(std::string bytes) {
    if (bytes.compare(0, 3, "\xEF\xBB\xBF") == 0) {
        bytes.erase(0, 3);
    } else {
        std::string declared;
        CharsetDeclarations(bytes, "", &declared);
        if (declared != "utf-8" && declared != "utf8") bytes = Windows1252ToUtf8(bytes);
    }
    return ApplyEdits(bytes, CharsetDeclarations(bytes, "utf-8", nullptr));
}

// ---- Local files the page refers to ----------------------------------------

std::string PackableMediaType(const fs::path& file) {
    static const std::map<std::string, std::string> kTypes = {
        {".png", "image/png"},    {".gif", "image/gif"},     {".jpg", "image/jpeg"},
        {".jpeg", "image/jpeg"},  {".bmp", "image/bmp"},     {".webp", "image/webp"},
        {".ico", "image/x-icon"}, {".svg", "image/svg+xml"}, {".css", "text/css"}};
    const auto it = kTypes.find(Lower(file.extension().string()));
    return it == kTypes.end() ? std::string() : it->second;
}

std::string PercentDecoded(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() &&
            std::isxdigit(static_cast<unsigned char>(text[i + 1])) &&
            std::isxdigit(static_cast<unsigned char>(text[i + 2]))) {
            out += static_cast<char>(std::stoi(text.substr(i + 1, 2), nullptr, 16));
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

// The file a reference names, when it is a local file inside `folder`.
std::optional<fs::path> LocalFile(std::string reference, const fs::path& folder) {
    size_t at = 0;
    while ((at = reference.find("&amp;", at)) != std::string::npos) reference.replace(at, 5, "&");
    std::string path;
    if (Lower(reference.substr(0, 5)) == "file:") {
        path = reference.substr(5);
        if (path.compare(0, 11, "//localhost") == 0)
            path.erase(0, 11);
        else if (path.compare(0, 2, "//") == 0)
            path.erase(0, 2);
    } else {
        const size_t colon = reference.find(':');
        const size_t slash = reference.find_first_of("/\\");
        const bool hasScheme =
            colon != std::string::npos && (slash == std::string::npos || colon < slash);
        if (reference.empty() || hasScheme || reference[0] == '#' || reference[0] == '/' ||
            reference[0] == '\\')
            return std::nullopt;
        path = reference.substr(0, reference.find_first_of("?#"));
    }
    path = PercentDecoded(path);
    std::replace(path.begin(), path.end(), '\\', '/');
    if (path.empty() || path.find('\0') != std::string::npos) return std::nullopt;
    std::error_code ec;
    const fs::path file =
        fs::canonical(fs::path(path).is_absolute() ? fs::path(path) : folder / path, ec);
    if (ec || !fs::is_regular_file(file, ec)) return std::nullopt;
    const fs::path inside = file.lexically_relative(folder);
    if (inside.empty() || *inside.begin() == "..") return std::nullopt;
    return file;
}

// Attributes that load a picture or a style sheet with the page (links to
// other pages are not packed).
const Attribute* ResourceAttribute(const Tag& tag, const std::string& html) {
    if (tag.name == "link") {
        const Attribute* rel = tag.Find("rel");
        const std::string kind = rel ? Lower(ValueOf(html, *rel)) : "";
        if (kind.find("stylesheet") == std::string::npos && kind.find("icon") == std::string::npos)
            return nullptr;
        return tag.Find("href");
    }
    if (tag.name == "img" || tag.name == "input" || tag.name == "image")
        if (const Attribute* src = tag.Find("src")) return src;
    return tag.Find("background");
}

std::string ReadBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        const int err = errno;
        throw ServiceError(err, "Cannot open " + path.string() + ": " + std::strerror(err));
    }
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

std::string NewIdStem() {
    std::random_device random;
    std::ostringstream id;
    id << std::hex << random() << random();
    return id.str();
}

// ---- Plain text --------------------------------------------------------------

std::string DecodeEntities(const std::string& text) {
    static const std::map<std::string, std::string> kNamed = {
        {"amp", "&"}, {"lt", "<"}, {"gt", ">"}, {"quot", "\""}, {"apos", "'"}, {"nbsp", " "}};
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        const size_t semi = text[i] == '&' ? text.find(';', i) : std::string::npos;
        if (semi == std::string::npos || semi - i > 10) {
            out += text[i];
            continue;
        }
        const std::string name = text.substr(i + 1, semi - i - 1);
        if (auto it = kNamed.find(name); it != kNamed.end()) {
            out += it->second;
        } else if (name.size() > 1 && name[0] == '#') {
            const bool hex = name[1] == 'x' || name[1] == 'X';
            const std::string digits = name.substr(hex ? 2 : 1);
            if (digits.empty() ||
                digits.find_first_not_of(hex ? "0123456789abcdefABCDEF" : "0123456789") !=
                    std::string::npos) {
                out += text[i];
                continue;
            }
            const unsigned long code = std::stoul(digits, nullptr, hex ? 16 : 10);
            AppendUtf8(out, code < 0x110000 ? static_cast<char32_t>(code) : U'?');
        } else {
            out += text[i];
            continue;
        }
        i = semi;
    }
    return out;
}

std::string PlainTextOf(const std::string& html) {
    static const char* kBreaks[] = {"br",  "/p",  "/div", "/tr", "/li",
                                    "/h1", "/h2", "/h3",  "/h4", "/table"};
    std::string text;
    size_t at = 0;
    std::string skipUntil;
    for (const Tag& tag : ScanTags(html)) {
        if (skipUntil.empty()) text += html.substr(at, tag.begin - at);
        at = tag.end;
        if (!skipUntil.empty()) {
            if (tag.name == skipUntil) skipUntil.clear();
            continue;
        }
        if (tag.name == "head" || tag.name == "script" || tag.name == "style")
            skipUntil = "/" + tag.name;
        if (std::find(std::begin(kBreaks), std::end(kBreaks), tag.name) != std::end(kBreaks))
            text += '\n';
    }
    if (skipUntil.empty()) text += html.substr(at);
    // Markup line breaks are blanks; only the tags above end lines.
    std::string lines;
    bool blank = false;
    for (char c : text) {
        if (c == '\n') {
            while (!lines.empty() && lines.back() == ' ') lines.pop_back();
            lines += "\r\n";
            blank = false;
        } else if (IsSpace(c)) {
            blank = !lines.empty() && lines.back() != '\n';
        } else {
            if (blank) lines += ' ';
            blank = false;
            lines += c;
        }
    }
    return DecodeEntities(lines);
}

std::string TitleOf(const std::string& html) {
    for (const Tag& tag : ScanTags(html)) {
        if (tag.name != "title") continue;
        const size_t close = Lower(html).find("</title", tag.end);
        if (close != std::string::npos) return PlainTextOf(html.substr(tag.end, close - tag.end));
    }
    return {};
}

// ---- The builder -------------------------------------------------------------

std::string MhtDocument(const HtmlBody& page, const std::string& htmlPath) {
    vmime::message message;
    auto header = message.getHeader();
    std::string title = TitleOf(page.html);
    title.erase(
        std::remove_if(title.begin(), title.end(), [](char c) { return c == '\r' || c == '\n'; }),
        title.end());
    header->Subject()->setValue(vmime::text(
        title.empty() ? fs::path(htmlPath).filename().string() : title, vmime::charsets::UTF_8));
    header->Date()->setValue(vmime::datetime::now());
    header->MimeVersion()->setValue(std::string("1.0"));
    auto contentType = vmime::dynamicCast<vmime::contentTypeField>(header->ContentType());
    contentType->setValue(
        vmime::mediaType(vmime::mediaTypes::MULTIPART, vmime::mediaTypes::MULTIPART_RELATED));
    contentType->appendParameter(vmime::make_shared<vmime::parameter>("type", "text/html"));

    auto htmlPart = vmime::make_shared<vmime::bodyPart>();
    message.getBody()->appendPart(htmlPart);
    htmlPart->getBody()->setContents(
        vmime::make_shared<vmime::stringContentHandler>(page.html),
        vmime::mediaType(vmime::mediaTypes::TEXT, vmime::mediaTypes::TEXT_HTML),
        vmime::charsets::UTF_8, vmime::encoding(vmime::encodingTypes::QUOTED_PRINTABLE));
    htmlPart->getHeader()->ContentLocation()->setValue(
        vmime::text("file://" + fs::absolute(htmlPath).generic_string()));

    for (const RelatedPart& related : page.related) {
        auto part = vmime::make_shared<vmime::bodyPart>();
        message.getBody()->appendPart(part);
        part->getBody()->setContents(vmime::make_shared<vmime::stringContentHandler>(related.bytes),
                                     vmime::mediaType(related.mediaType));
        part->getBody()->setEncoding(vmime::encoding(vmime::encodingTypes::BASE64));
        part->getHeader()->ContentId()->setValue(vmime::messageId("<" + related.contentId + ">"));
        part->getHeader()->ContentLocation()->setValue(
            vmime::text(related.location, vmime::charsets::UTF_8));
    }
    std::ostringstream out;
    vmime::utility::outputStreamAdapter adapter(out);
    message.generate(adapter);
    return out.str();
}

class VmimeMhtBuilder : public MhtBuilder {
  public:
    std::unique_ptr<MailMessage> HtmlFileToMessage(const std::string& htmlPath) override {
        const HtmlBody page = ReadHtmlPage(htmlPath);
        auto message = CreateMailMessage();
        message->SetHtmlBody(page);
        return message;
    }

    int HtmlFileToMhtFile(const std::string& htmlPath, const std::string& mhtPath) override {
        const HtmlBody page = ReadHtmlPage(htmlPath);
        try {
            // The owner's alone, like the temporary page it packs.
            platform::WriteFileAtomically(mhtPath, MhtDocument(page, htmlPath),
                                          platform::NewFileAccess::OwnerOnly);
        } catch (const vmime::exception& e) {
            throw ServiceError(ErrorNumber::InvalidArgument,
                               std::string("Cannot build the MHT file: ") + e.what());
        }
        return static_cast<int>(page.related.size());
    }
};

}  // namespace

HtmlBody ReadHtmlPage(const std::string& htmlPath) {
    const std::string html = PageToUtf8(ReadBytes(htmlPath));
    std::error_code ec;
    const fs::path folder = fs::canonical(fs::absolute(htmlPath).parent_path(), ec);

    HtmlBody body;
    std::map<fs::path, std::string> idOfFile;
    std::vector<Edit> edits;
    const std::string stem = NewIdStem();
    for (const Tag& tag : ScanTags(html)) {
        const Attribute* attribute = ResourceAttribute(tag, html);
        if (!attribute || ec) continue;
        const std::string reference = ValueOf(html, *attribute);
        const std::optional<fs::path> file = LocalFile(reference, folder);
        if (!file) continue;
        const std::string mediaType = PackableMediaType(*file);
        if (mediaType.empty()) continue;
        auto [it, added] = idOfFile.try_emplace(*file);
        if (added) {
            it->second = "part" + std::to_string(body.related.size() + 1) + "." + stem + "@tvk";
            body.related.push_back({it->second, mediaType, reference, ReadBytes(*file)});
        }
        edits.push_back({attribute->valueBegin, attribute->valueEnd, "cid:" + it->second});
    }
    body.html = ApplyEdits(html, std::move(edits));
    body.plainText = PlainTextOf(html);
    return body;
}

std::unique_ptr<MhtBuilder> CreateMhtBuilder() { return std::make_unique<VmimeMhtBuilder>(); }

}  // namespace tvk
