#pragma once

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "components/MailMessage.h"

namespace tvk {

// What mail content needs of an HTML page, read from the page's text alone:
// its tags, its character set, the local files it refers to and its plain
// text. Text is ASCII-compatible (Windows-1252 or UTF-8), which is all the
// scanner needs; any bytes are accepted.

// A piece of the page by its offsets, so that an edit can replace it.
struct TextRange {
    size_t begin = 0;
    size_t end = 0;
};

struct HtmlAttribute {
    std::string name;  // lower case
    TextRange value;   // empty at 0 when the attribute has no value
};

struct HtmlTag {
    std::string name;  // lower case; "/p" for an end tag
    TextRange whole;   // from '<' to one past '>', or to the end of the page
    std::vector<HtmlAttribute> attributes;

    const HtmlAttribute* Find(std::string_view attribute) const;
};

// The start and end tags of `html` in order; comments are skipped.
std::vector<HtmlTag> ScanTags(std::string_view html);

// The piece of `text` that `range` names, cut to the text.
std::string_view TextOf(std::string_view text, TextRange range);

// The page's bytes in UTF-8: without a byte-order mark, converted from
// Windows-1252 unless the page declares UTF-8, and every charset declared in
// a meta tag changed to "utf-8".
std::string PageToUtf8(std::string bytes);

// The file a reference names, when it is a local file inside `folder` (a
// canonical path).
std::optional<std::filesystem::path> LocalFile(std::string reference,
                                               const std::filesystem::path& folder);

// The text a reader without HTML sees: lines end in CR LF, blanks collapse,
// entities are decoded; the head, scripts and style sheets are left out.
std::string PlainTextOf(std::string_view html);

// The plain text of the first <title>, or "".
std::string TitleOf(std::string_view html);

// The page as an HtmlBody (see MhtBuilder.h), with the references to packed
// files changed to "cid:" links. Throws ServiceError when the page or a file
// it packs cannot be read.
HtmlBody ReadHtmlPage(const std::string& htmlPath);

}  // namespace tvk
