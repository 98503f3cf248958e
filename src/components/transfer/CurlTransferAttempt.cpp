#include "components/transfer/CurlTransferAttempt.h"

#include <curl/curl.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <chrono>
#include <optional>
#include <string_view>

#include "common/ServiceError.h"
#include "components/transfer/CurlTransferSupport.h"
#include "platform/Platform.h"

namespace tvk {

namespace {

using namespace curl_support;
using Clock = std::chrono::steady_clock;

// Larger reads than libcurl's 16 KiB default: fewer writes for large files.
constexpr long kReceiveBuffer = 256 * 1024;
// The longest the loop sleeps, so that a stall and merged progress reports
// are noticed even when nothing arrives.
constexpr auto kLongestSleep = std::chrono::milliseconds(100);

// What the callbacks learn during one request.
struct Exchange {
    CurlTransferPartFile* file = nullptr;
    CurlTransferAttempt::Listener* listener = nullptr;
    int64_t exactSize = -1;  // the size a signed source names; -1: not known
    bool verified = false;   // the complete body is verified (its signature)
    long status = 0;
    std::string reason;
    BodyFraming framing;
    std::optional<std::pair<int64_t, int64_t>> contentRange;  // first byte, total (-1: "*")
    bool bodyWanted = false;  // the final 2xx response's head has been read
    int64_t total = -1;
    std::string failure;  // a response the part file cannot take
};

std::optional<int64_t> Number(std::string_view text) {
    int64_t value = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size() || value < 0) return std::nullopt;
    return value;
}

// "bytes 100-199/1000" -> {100, 1000}; "bytes 100-199/*" -> {100, -1}.
std::optional<std::pair<int64_t, int64_t>> ParseContentRange(std::string_view value) {
    if (!value.starts_with("bytes ")) return std::nullopt;
    value.remove_prefix(6);
    size_t dash = value.find('-');
    size_t slash = value.find('/');
    if (dash == std::string_view::npos || slash == std::string_view::npos || slash < dash)
        return std::nullopt;
    auto first = Number(value.substr(0, dash));
    if (!first) return std::nullopt;
    std::string_view total = value.substr(slash + 1);
    if (total == "*") return std::pair<int64_t, int64_t>{*first, -1};
    auto whole = Number(total);
    if (!whole) return std::nullopt;
    return std::pair<int64_t, int64_t>{*first, *whole};
}

// The head of a 2xx response is complete: decide where its body goes.
bool AcceptBody(Exchange& ex) {
    CurlTransferPartFile& file = *ex.file;
    if (ex.status == 206) {
        // A resumed request: the body continues the part file at the range's
        // first byte, which must not leave a gap.
        if (!ex.contentRange || ex.contentRange->first > file.Size()) {
            ex.failure = "The server answered with another part of the file than asked for";
            return false;
        }
        if (!file.TruncateTo(ex.contentRange->first)) return false;
        const int64_t length = ex.framing.contentLength;
        ex.total = ex.contentRange->second >= 0 ? ex.contentRange->second
                   : length >= 0                ? ex.contentRange->first + length
                                                : -1;
    } else {
        // The whole file again (a first request, or a server that ignores
        // ranges): appending it would duplicate the bytes already here.
        if (!file.TruncateTo(0)) return false;
        ex.total = ex.framing.contentLength;
    }
    if (ex.exactSize >= 0 && ex.total >= 0 && ex.total != ex.exactSize) {
        ex.failure = "The server announces " + std::to_string(ex.total) +
                     " bytes, but the update information names " + std::to_string(ex.exactSize);
        return false;
    }
    ex.bodyWanted = true;
    ex.listener->ResponseStarted();
    return true;
}

size_t OnHeader(char* data, size_t size, size_t count, void* user) {
    auto& ex = *static_cast<Exchange*>(user);
    size_t bytes = size * count;
    std::string_view line(data, bytes);
    long status = 0;
    std::string reason;
    if (ParseStatusLine(line, status, reason)) {
        // A new response of the redirect chain: forget the previous one's head.
        ex.status = status;
        ex.reason = reason;
        ex.framing = {};
        ex.contentRange.reset();
        return bytes;
    }
    if (line == "\r\n" || line == "\n") {
        if (ex.status >= 200 && ex.status < 300 && !AcceptBody(ex)) return 0;
        return bytes;
    }
    if (auto range = HeaderValue(line, "content-range"))
        ex.contentRange = ParseContentRange(*range);
    ex.framing.Take(line);
    return bytes;
}

size_t OnBody(char* data, size_t size, size_t count, void* user) {
    auto& ex = *static_cast<Exchange*>(user);
    size_t bytes = size * count;
    // An error page is not wanted: stop instead of downloading it.
    if (ex.status >= 400) return 0;
    // The body of an intermediate response (a redirect) is not the file.
    if (!ex.bodyWanted) return bytes;
    if (ex.exactSize >= 0 && static_cast<int64_t>(bytes) > ex.exactSize - ex.file->Size()) {
        ex.failure = "The server sent more bytes than the update information names";
        return 0;
    }
    return ex.file->Append(data, bytes) ? bytes : 0;
}

// Failures after which the same request may well succeed again.
bool IsConnectionFailure(CURLcode rc) {
    switch (rc) {
        case CURLE_COULDNT_CONNECT:
        case CURLE_OPERATION_TIMEDOUT:
        case CURLE_PARTIAL_FILE:
        case CURLE_RECV_ERROR:
        case CURLE_SEND_ERROR:
        case CURLE_GOT_NOTHING:
        case CURLE_HTTP2:
        case CURLE_HTTP2_STREAM:
            return true;
        default:
            return false;
    }
}

}  // namespace

// Members end in reverse order: the easy handle before the multi handle.
struct CurlTransferAttempt::Handles {
    MultiHandle multi;
    EasyHandle easy;
    char detail[CURL_ERROR_SIZE] = {};
};

CurlTransferAttempt::CurlTransferAttempt(const TransferOptions& options, const DownloadCheck& check)
    : options_(options),
      exactSize_(check.size),
      verified_(static_cast<bool>(check.verify)),
      handles_(std::make_unique<Handles>()) {
    handles_->multi.reset(curl_multi_init());
    handles_->easy.reset(curl_easy_init());
    if (!handles_->multi || !handles_->easy)
        throw ServiceError(CURLE_FAILED_INIT, curl_easy_strerror(CURLE_FAILED_INIT));
}

CurlTransferAttempt::~CurlTransferAttempt() = default;

void CurlTransferAttempt::Wake() { curl_multi_wakeup(handles_->multi.get()); }

namespace {

using Outcome = CurlTransferAttempt::Outcome;
using Result = CurlTransferAttempt::Result;

// An answer that is not the file asked for, or not one HTTP allows (libcurl's
// "weird server reply").
Result ServerFault(std::string reason) {
    return {Outcome::Failed, TransferCause::Other, CURLE_WEIRD_SERVER_REPLY, std::move(reason)};
}

// A body that ended before its end.
Result Cut(std::string reason) {
    return {Outcome::Lost, TransferCause::ConnectionLost, CURLE_PARTIAL_FILE, std::move(reason)};
}

Result Classify(CURLcode rc, const Exchange& ex, const CurlTransferPartFile& file,
                const char* detail, bool reconnecting, CURL* curl) {
    if (ex.status >= 400) {
        std::string reason = ReasonOrStandardPhrase(ex.status, ex.reason);
        return {Outcome::Failed, CauseOfHttpStatus(ex.status), ex.status,
                reason.empty() ? "HTTP error" : reason};
    }
    if (!ex.failure.empty()) return ServerFault(ex.failure);
    if (file.Error() != 0)
        return {
            Outcome::Failed, CauseOfFileError(file.Error()), file.Error(),
            file.WriteFailure("Cannot write " + platform::PathText(file.PartPath())).Description()};
    if (rc == CURLE_OK) {
        if (!ex.bodyWanted)
            return ServerFault("The server sent no file (HTTP status " + std::to_string(ex.status) +
                               ")");
        if (ex.total >= 0 && file.Size() < ex.total)
            return Cut("The server sent fewer bytes than it announced");
        if (ex.total >= 0 && file.Size() > ex.total)
            return ServerFault("The server sent more bytes than it announced");
        // Without a length the end is only the server's close, which a cut
        // connection looks like too; the size a signed source names tells
        // them apart, or else the signature that is checked next.
        if (ex.total < 0 && ex.framing.EndsAtClose(curl)) {
            if (ex.exactSize < 0 && !ex.verified)
                return {Outcome::Failed, TransferCause::Other, CURLE_PARTIAL_FILE, kEndedByClose};
            if (ex.exactSize >= 0 && file.Size() < ex.exactSize)
                return Cut("The server sent fewer bytes than the update information names");
        }
        return {Outcome::Complete};
    }
    bool lookup = rc == CURLE_COULDNT_RESOLVE_HOST || rc == CURLE_COULDNT_RESOLVE_PROXY;
    bool lost = IsConnectionFailure(rc) || (lookup && reconnecting);
    return {lost ? Outcome::Lost : Outcome::Failed, CauseOfCurlCode(rc), rc,
            CurlFailure(rc, detail)};
}

}  // namespace

CurlTransferAttempt::Result CurlTransferAttempt::Run(const std::string& url,
                                                     CurlTransferPartFile& file, Listener& listener,
                                                     bool reconnecting) {
    CURL* curl = handles_->easy.get();
    CURLM* multi = handles_->multi.get();
    curl_easy_reset(curl);
    handles_->detail[0] = '\0';
    Exchange ex;
    ex.file = &file;
    ex.listener = &listener;
    ex.exactSize = exactSize_;
    ex.verified = verified_;

    curl_support::SetHttpBasics(curl, url, options_, handles_->detail);
    Set(curl, CURLOPT_BUFFERSIZE, kReceiveBuffer);
    Set(curl, CURLOPT_HEADERFUNCTION, &OnHeader);
    Set(curl, CURLOPT_HEADERDATA, &ex);
    Set(curl, CURLOPT_WRITEFUNCTION, &OnBody);
    Set(curl, CURLOPT_WRITEDATA, &ex);
    // A plain range rather than CURLOPT_RESUME_FROM_LARGE: with the latter
    // libcurl refuses a 200 answer (CURLE_RANGE_ERROR) and a server that
    // ignores ranges would cost a second request; here it just starts over.
    std::string range = std::to_string(file.Size()) + "-";
    if (file.Size() > 0) Set(curl, CURLOPT_RANGE, range.c_str());

    if (curl_multi_add_handle(multi, curl) != CURLM_OK)
        return {Outcome::Failed, TransferCause::Other, CURLE_FAILED_INIT,
                curl_easy_strerror(CURLE_FAILED_INIT)};
    Result result;
    bool finished = false;
    int64_t lastBytes = file.Size();
    Clock::time_point lastData = Clock::now();
    for (;;) {
        int running = 0;
        CURLMcode mc = curl_multi_perform(multi, &running);
        if (mc != CURLM_OK) {
            result = {Outcome::Failed, TransferCause::Other, mc, curl_multi_strerror(mc)};
            break;
        }
        if (ex.bodyWanted) listener.Progress(file.Size(), ex.total);
        if (running == 0) {
            finished = true;
            break;
        }
        if (listener.StopRequested()) {
            result = {Outcome::Stopped};
            break;
        }
        // A server that keeps the connection open but sends nothing is as
        // good as gone; libcurl's low-speed limit only counts whole seconds.
        Clock::time_point now = Clock::now();
        if (file.Size() != lastBytes) {
            lastBytes = file.Size();
            lastData = now;
        } else if (now - lastData >= options_.stall) {
            result = {Outcome::Lost, TransferCause::ConnectionLost, CURLE_OPERATION_TIMEDOUT,
                      "No data arrived for " + std::to_string(options_.stall.count()) + " seconds"};
            break;
        }
        auto sleep = std::min<Clock::duration>(options_.stall - (now - lastData), kLongestSleep);
        int ms = static_cast<int>(std::chrono::ceil<std::chrono::milliseconds>(sleep).count());
        curl_multi_poll(multi, nullptr, 0, std::max(ms, 1), nullptr);
    }
    if (finished) {
        CURLcode rc = CURLE_OK;
        int queued = 0;
        while (CURLMsg* message = curl_multi_info_read(multi, &queued))
            if (message->msg == CURLMSG_DONE) rc = message->data.result;
        result = Classify(rc, ex, file, handles_->detail, reconnecting, curl);
    }
    curl_multi_remove_handle(multi, curl);
    return result;
}

}  // namespace tvk
