#include "notify/MessageText.h"

#include "localisation/StringTable.h"
#include "update/TempFiles.h"

namespace tvk {

namespace {

constexpr int32_t kChangesOnWebPages = 217;
constexpr int32_t kRegards = 220;
constexpr int32_t kSignature = 221;
constexpr int32_t kSupportAddress = 222;

// Every occurrence, left to right; the search goes on after the inserted text,
// so a replacement is never searched again for the same placeholder.
std::string ReplaceAll(std::string text, const std::string& from, const std::string& to) {
    if (from.empty()) return text;
    for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
    return text;
}

}  // namespace

std::string ReplacePlaceholders(std::string text, const std::vector<std::string>& arguments) {
    for (size_t k = arguments.size(); k >= 1; --k)
        text = ReplaceAll(std::move(text), "@" + std::to_string(k), arguments[k - 1]);
    return text;
}

std::string NoticePageHtml(const RunState& state) {
    std::string page =
        "<html><body><span style='font-size:10.0pt;font-family:\"Tahoma\",\"sans-serif\"'>";
    page += ReplacePlaceholders(LoadLocalString(state, kChangesOnWebPages),
                                {std::to_string(state.UpdateInfo.Build)});
    page += "<BR><BR>";
    page += LoadLocalString(state, kRegards);
    page += "<BR>";
    page += LoadLocalString(state, kSignature);
    page += "<BR>";
    const std::string address = LoadLocalString(state, kSupportAddress);
    page +=
        ReplacePlaceholders("<a href=\"@1\">@2</a>", {address, ReplaceAll(address, "http://", "")});
    page += "</span></body></html>";
    return page;
}

std::string WriteNoticePage(const RunState& state) {
    return WriteTempFile(NoticePageHtml(state), "htm");
}

}  // namespace tvk
