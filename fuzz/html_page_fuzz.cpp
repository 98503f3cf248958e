// The page a notice mails or packs as an MHT file: the tag scanner and what is
// read with it, on any bytes as the page file.
//
// The page lies in a folder with a picture, a style sheet and, in a folder
// below, another picture; a symbolic link there and a file beside the folder
// lead outside it. Checked:
//  - the tags come in page order without overlapping, each from a '<' to one
//    past its '>' or to the end of the page; names are lower case; a value
//    lies inside its tag;
//  - the page in UTF-8 keeps pure ASCII pure; a page that cannot declare
//    UTF-8 (no "utf" in it) and has no byte-order mark is well-formed UTF-8;
//    every charset a meta tag declares is "utf-8" afterwards;
//  - the plain text of a page without '&' (entities aside) ends its lines in
//    CR LF, has no tab, no blank at a line's start or end and no two blanks;
//  - only the files inside the folder are packed, each once under its own
//    Content-ID, which the page then refers to.

#include <algorithm>
#include <fstream>
#include <set>

#include "FuzzSupport.h"
#include "common/AsciiText.h"
#include "common/ServiceError.h"
#include "components/mail/HtmlPage.h"

namespace tvk::fuzz {
namespace {

namespace fs = std::filesystem;

const std::string kBom = "\xEF\xBB\xBF";

void WriteFile(const fs::path& path, std::string_view bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    FUZZ_CHECK(out.good(), path.string());
}

// The page's folder, made once: what may be packed, and what may not.
const fs::path& PageFolder() {
    static const fs::path folder = [] {
        const fs::path base = ProcessTempFolder();
        fs::create_directories(base / "page" / "img");
        WriteFile(base / "page" / "logo.png", "inside: logo");
        WriteFile(base / "page" / "style.css", "inside: style");
        WriteFile(base / "page" / "img" / "my pic.gif", "inside: pic");
        WriteFile(base / "page" / "notes.txt", "not a picture");
        WriteFile(base / "secret.png", "outside");
        std::error_code error;
        fs::create_symlink(base / "secret.png", base / "page" / "link.png", error);
        return base / "page";
    }();
    return folder;
}

bool IsAscii(std::string_view text) {
    return std::all_of(text.begin(), text.end(),
                       [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

void CheckTags(std::string_view html) {
    size_t after = 0;
    for (const HtmlTag& tag : ScanTags(html)) {
        const std::string where = "tag \"" + tag.name + "\" in " + Escaped(html);
        FUZZ_CHECK(tag.whole.begin >= after && tag.whole.begin < tag.whole.end &&
                       tag.whole.end <= html.size(),
                   where);
        FUZZ_CHECK(html[tag.whole.begin] == '<', where);
        FUZZ_CHECK(tag.whole.end == html.size() || html[tag.whole.end - 1] == '>', where);
        FUZZ_CHECK(!tag.name.empty() && tag.name == AsciiLowerCopy(tag.name), where);
        for (const HtmlAttribute& attribute : tag.attributes) {
            FUZZ_CHECK(attribute.name == AsciiLowerCopy(attribute.name), where);
            const TextRange value = attribute.value;
            FUZZ_CHECK((value.begin == 0 && value.end == 0) ||
                           (value.begin > tag.whole.begin && value.begin <= value.end &&
                            value.end <= tag.whole.end),
                       where + ", attribute " + attribute.name);
        }
        after = tag.whole.end;
    }
}

void CheckUtf8Page(std::string_view bytes, const std::string& page) {
    const std::string what = Escaped(page) + " from " + Escaped(bytes);
    if (IsAscii(bytes)) FUZZ_CHECK(IsAscii(page), what);
    if (!bytes.starts_with(kBom) && AsciiLowerCopy(bytes).find("utf") == std::string::npos)
        FUZZ_CHECK(IsValidUtf8(page), what);
    for (const HtmlTag& tag : ScanTags(page)) {
        if (tag.name != "meta") continue;
        const HtmlAttribute* charset = tag.Find("charset");
        if (charset && charset->value.end > charset->value.begin)
            FUZZ_CHECK(TextOf(page, charset->value) == "utf-8", what);
    }
}

void CheckPlainText(std::string_view html) {
    if (html.find('&') != std::string_view::npos) return;
    const std::string text = PlainTextOf(html);
    const std::string what = Escaped(text) + " from " + Escaped(html);
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        const char before = i > 0 ? text[i - 1] : '\n';
        const char next = i + 1 < text.size() ? text[i + 1] : '\r';
        FUZZ_CHECK(c != '\t' && c != '\f', what);
        if (c == '\r') FUZZ_CHECK(next == '\n', what);
        if (c == '\n') FUZZ_CHECK(i > 0 && before == '\r', what);
        if (c == ' ')
            FUZZ_CHECK(before != ' ' && before != '\n' && next != ' ' && next != '\r', what);
    }
}

void CheckPackedPage(std::string_view bytes) {
    const fs::path file = PageFolder() / "page.htm";
    WriteFile(file, bytes);
    const HtmlBody body = ReadHtmlPage(file.string());
    const std::string what = Escaped(bytes);
    FUZZ_CHECK(body.plainText == PlainTextOf(PageToUtf8(std::string(bytes))), what);
    std::set<std::string> ids, contents;
    for (const RelatedPart& part : body.related) {
        FUZZ_CHECK(part.bytes.starts_with("inside: "), what);
        FUZZ_CHECK(ids.insert(part.contentId).second && contents.insert(part.bytes).second, what);
        FUZZ_CHECK(body.html.find("cid:" + part.contentId) != std::string::npos, what);
    }
}

void Check(std::string_view bytes) {
    CheckTags(bytes);
    const std::string page = PageToUtf8(std::string(bytes));
    CheckUtf8Page(bytes, page);
    CheckTags(page);
    CheckPlainText(page);
    TitleOf(page);
    CheckPackedPage(bytes);
}

}  // namespace
}  // namespace tvk::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    tvk::fuzz::Check(std::string_view(reinterpret_cast<const char*>(data), size));
    return 0;
}
