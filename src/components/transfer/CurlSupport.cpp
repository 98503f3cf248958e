#include "components/transfer/CurlSupport.h"

#ifdef _WIN32
#include <windows.h>
#endif

#include <cerrno>
#include <mutex>
#include <utility>

namespace tvk::curl_support {

void InitialiseCurlOnce() {
    static std::once_flag once;
    std::call_once(once, [] {
        CURLcode rc = curl_global_init(CURL_GLOBAL_DEFAULT);
        if (rc != CURLE_OK) throw ServiceError(rc, curl_easy_strerror(rc));
    });
}

EasyHandle NewEasyHandle() {
    InitialiseCurlOnce();
    EasyHandle handle(curl_easy_init());
    if (!handle) throw ServiceError(CURLE_FAILED_INIT, curl_easy_strerror(CURLE_FAILED_INIT));
    return handle;
}

void Append(StringList& list, const std::string& text) {
    curl_slist* grown = curl_slist_append(list.get(), text.c_str());
    if (!grown) throw ServiceError(CURLE_OUT_OF_MEMORY, curl_easy_strerror(CURLE_OUT_OF_MEMORY));
    // libcurl hands back the head of the list, a new one only for a first
    // entry; the old head must not be freed.
    (void)list.release();
    list.reset(grown);
}

std::string CurlFailure(int code, const char* detail) {
    std::string text = curl_easy_strerror(static_cast<CURLcode>(code));
    std::string more = detail ? detail : "";
    while (!more.empty() && (more.back() == '\n' || more.back() == '\r')) more.pop_back();
    if (!more.empty() && more != text) text += ": " + more;
    return text;
}

TransferCause CauseOfCurlCode(int code) {
    switch (code) {
        case CURLE_COULDNT_RESOLVE_PROXY:
        case CURLE_COULDNT_RESOLVE_HOST:
        case CURLE_COULDNT_CONNECT:
            return TransferCause::NoConnection;
        case CURLE_HTTP2:
        case CURLE_PARTIAL_FILE:
        case CURLE_OPERATION_TIMEDOUT:
        case CURLE_GOT_NOTHING:
        case CURLE_SEND_ERROR:
        case CURLE_RECV_ERROR:
        case CURLE_HTTP2_STREAM:
            return TransferCause::ConnectionLost;
        default:
            return TransferCause::Other;
    }
}

TransferCause CauseOfHttpStatus(long status) {
    return status == 404 || status == 410 ? TransferCause::NotOnServer : TransferCause::Other;
}

TransferCause CauseOfFileError(int err) {
    switch (err) {
#ifdef _WIN32
        // A file the service writes reports Windows' own numbers.
        case ERROR_DISK_FULL:
        case ERROR_HANDLE_DISK_FULL:
            return TransferCause::DiskFull;
        case ERROR_ACCESS_DENIED:
        case ERROR_WRITE_PROTECT:
            return TransferCause::NoPermission;
        case ERROR_SHARING_VIOLATION:
        case ERROR_LOCK_VIOLATION:
            return TransferCause::InUse;
#else
        case EBUSY:
            return TransferCause::InUse;
        case ENOSPC:
#ifdef EDQUOT
        case EDQUOT:
#endif
            return TransferCause::DiskFull;
        case EACCES:
        case EPERM:
        case EROFS:
            return TransferCause::NoPermission;
#endif
        default:
            return TransferCause::Other;
    }
}

namespace {

struct UrlDeleter {
    void operator()(CURLU* url) const { curl_url_cleanup(url); }
};

std::string UrlPart(const std::string& url, CURLUPart part) {
    std::unique_ptr<CURLU, UrlDeleter> handle(curl_url());
    if (!handle || curl_url_set(handle.get(), CURLUPART_URL, url.c_str(), 0) != CURLUE_OK)
        return "";
    char* value = nullptr;
    if (curl_url_get(handle.get(), part, &value, 0) != CURLUE_OK || !value) return "";
    std::string text = value;
    curl_free(value);
    return text;
}

}  // namespace

std::string HostOf(const std::string& url) { return UrlPart(url, CURLUPART_HOST); }

std::string RequestTarget(const std::string& url) {
    std::string path = UrlPart(url, CURLUPART_PATH);
    std::string query = UrlPart(url, CURLUPART_QUERY);
    if (path.empty()) path.push_back('/');
    if (!query.empty()) path.append(1, '?').append(query);
    return path;
}

namespace {

std::string StandardReasonPhrase(long status) {
    static constexpr std::pair<long, const char*> kPhrases[] = {
        {400, "Bad Request"},
        {401, "Unauthorized"},
        {402, "Payment Required"},
        {403, "Forbidden"},
        {404, "Not Found"},
        {405, "Method Not Allowed"},
        {406, "Not Acceptable"},
        {407, "Proxy Authentication Required"},
        {408, "Request Timeout"},
        {409, "Conflict"},
        {410, "Gone"},
        {411, "Length Required"},
        {412, "Precondition Failed"},
        {413, "Content Too Large"},
        {414, "URI Too Long"},
        {415, "Unsupported Media Type"},
        {416, "Range Not Satisfiable"},
        {417, "Expectation Failed"},
        {421, "Misdirected Request"},
        {422, "Unprocessable Content"},
        {425, "Too Early"},
        {426, "Upgrade Required"},
        {428, "Precondition Required"},
        {429, "Too Many Requests"},
        {431, "Request Header Fields Too Large"},
        {451, "Unavailable For Legal Reasons"},
        {500, "Internal Server Error"},
        {501, "Not Implemented"},
        {502, "Bad Gateway"},
        {503, "Service Unavailable"},
        {504, "Gateway Timeout"},
        {505, "HTTP Version Not Supported"},
        {507, "Insufficient Storage"},
        {511, "Network Authentication Required"}};
    for (const auto& [code, phrase] : kPhrases)
        if (code == status) return phrase;
    return "";
}

}  // namespace

std::string ReasonOrStandardPhrase(long status, const std::string& reason) {
    return reason.empty() ? StandardReasonPhrase(status) : reason;
}

}  // namespace tvk::curl_support
