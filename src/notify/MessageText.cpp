#include "notify/MessageText.h"

#include "common/ServiceError.h"
#include "components/TransferError.h"
#include "localisation/StringTable.h"
#include "update/TempFiles.h"

namespace tvk {

namespace {

constexpr int32_t kChangesOnWebPages = 217;
constexpr int32_t kRegards = 220;
constexpr int32_t kSignature = 221;
constexpr int32_t kSupportAddress = 222;

// The sentence that leads the message of each way a transfer fails.
int32_t SentenceOf(TransferCause cause) {
    switch (cause) {
        case TransferCause::NotOnServer:
            return 227;  // "@1 is not on the update server"
        case TransferCause::NoConnection:
            return 228;  // "The update server could not be reached"
        case TransferCause::ConnectionLost:
            return 229;  // "The connection to the update server was lost"
        case TransferCause::DiskFull:
            return 230;  // "The disk is full"
        case TransferCause::NoPermission:
            return 231;  // "There is no permission to write to the folder @1"
        case TransferCause::InUse:
            return 233;  // "@1 is already being downloaded on this computer, ..."
        default:
            return 232;  // "@1 could not be fetched from the update server"
    }
}

// A folder as callers give it, with or without its trailing separator.
std::string FolderName(std::string folder) {
    while (folder.size() > 1 && (folder.back() == '/' || folder.back() == '\\')) folder.pop_back();
    return folder;
}

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

std::string DescribeTransferFailure(const Texts& texts, const ServiceError& failure,
                                    const std::string& file, const std::string& folder) {
    const TransferCause cause = TransferError::CauseOf(failure);
    if (cause == TransferCause::Refused) return failure.Description();
    const std::string named = cause == TransferCause::NoPermission ? FolderName(folder) : file;
    return ReplacePlaceholders(texts.Text(SentenceOf(cause)), {named}) + " (" +
           DescribeFailure(failure) + ")";
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
