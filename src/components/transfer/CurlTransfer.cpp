#include "components/transfer/CurlTransfer.h"

#include <curl/curl.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <memory>
#include <string_view>
#include <utility>

#include "common/ServiceError.h"
#include "components/transfer/CurlTransferSupport.h"
#include "components/transfer/CurlTransferWorker.h"
#include "components/transfer/FtpSession.h"
#include "platform/Platform.h"
#include "platform/ReplacementFile.h"

namespace tvk {

std::string ProxyDescription(const std::string& url) {
    if (curl_support::ProxyVariablesSet())
        return "the proxy variables (http_proxy, https_proxy, no_proxy)";
    const platform::SystemProxy system = platform::SystemProxyFor(url);
    if (!system.found || system.proxy.empty())
        return "none (direct)" + (system.found ? ", from " + system.source : std::string());
    return system.proxy + ", from " + system.source;
}

namespace {

using namespace curl_support;

// Where a synchronous fetch puts the body.
class BodySink {
  public:
    virtual ~BodySink() = default;
    virtual bool Write(const char* data, size_t size) = 0;
    // A new response began (after a redirect): only the last body counts.
    virtual bool Restart() = 0;
};

// The body is streamed into a temporary file beside the target; the target
// changes only by the final rename, so a failed fetch leaves it as it was.
class PendingFile : public BodySink {
  public:
    explicit PendingFile(std::filesystem::path target) : file_(std::move(target), ".XXXXXX") {}

    bool Write(const char* data, size_t size) override { return file_.Append(data, size); }
    bool Restart() override { return file_.TruncateTo(0); }

    int Error() const { return file_.Error(); }
    ServiceError WriteFailure(const std::string& what) const { return file_.WriteFailure(what); }
    const std::filesystem::path& Target() const { return file_.Target(); }
    const std::filesystem::path& Temp() const { return file_.Path(); }
    void Commit() { file_.Commit(); }

  private:
    platform::ReplacementFile file_;
};

class MemoryBody : public BodySink {
  public:
    bool Write(const char* data, size_t size) override {
        bytes_.append(data, size);
        return true;
    }
    bool Restart() override {
        bytes_.clear();
        return true;
    }
    std::string Take() { return std::move(bytes_); }

  private:
    std::string bytes_;
};

// What the callbacks learn during one fetch.
struct Exchange {
    BodySink* sink = nullptr;
    int64_t limit = -1;      // the most bytes the body may have; -1: no limit
    int64_t exactSize = -1;  // the size the body must have, from a signed source
    bool proven = false;     // a signature is checked on the body after the fetch
    long status = 0;
    std::string reason;
    BodyFraming framing;
    int64_t received = 0;
    bool tooLarge = false;
    const std::atomic<bool>* stopped = nullptr;  // set from another thread to end the fetch
};

size_t OnHeader(char* data, size_t size, size_t count, void* user) {
    auto* exchange = static_cast<Exchange*>(user);
    size_t bytes = size * count;
    std::string_view line(data, bytes);
    if (ParseStatusLine(line, exchange->status, exchange->reason)) {
        exchange->framing = {};
        exchange->received = 0;
        if (!exchange->sink->Restart()) return 0;
    } else {
        exchange->framing.Take(line);
    }
    return bytes;
}

size_t OnBody(char* data, size_t size, size_t count, void* user) {
    auto* exchange = static_cast<Exchange*>(user);
    // An error page is not wanted: stop instead of downloading it.
    if (exchange->status >= 400) return 0;
    size_t bytes = size * count;
    if (exchange->limit >= 0 &&
        static_cast<int64_t>(bytes) > exchange->limit - exchange->received) {
        exchange->tooLarge = true;
        return 0;
    }
    exchange->received += static_cast<int64_t>(bytes);
    return exchange->sink->Write(data, bytes) ? bytes : 0;
}

// libcurl calls this about once a second, also while it waits.
int OnProgress(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    return static_cast<Exchange*>(user)->stopped->load() ? 1 : 0;
}

// One synchronous fetch into `exchange.sink`; throws for every way it can
// fail, so that a return means the whole body arrived.
void Perform(const std::string& url, const TransferOptions& options, Exchange& exchange,
             std::chrono::seconds whole) {
    char detail[CURL_ERROR_SIZE] = {};
    EasyHandle handle = NewEasyHandle();
    CURL* curl = handle.get();

    curl_support::SetHttpBasics(curl, url, options, detail);
    // A server that stops sending ends the transfer; a large setup program on
    // a slow line may take long, so only small fetches have a limit in all.
    Set(curl, CURLOPT_LOW_SPEED_LIMIT, 1L);
    Set(curl, CURLOPT_LOW_SPEED_TIME, static_cast<long>(options.stall.count()));
    if (whole.count() > 0) Set(curl, CURLOPT_TIMEOUT_MS, static_cast<long>(whole.count() * 1000));
    if (exchange.limit >= 0)
        Set(curl, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(exchange.limit));
    Set(curl, CURLOPT_HEADERFUNCTION, &OnHeader);
    Set(curl, CURLOPT_HEADERDATA, &exchange);
    Set(curl, CURLOPT_WRITEFUNCTION, &OnBody);
    Set(curl, CURLOPT_WRITEDATA, &exchange);
    Set(curl, CURLOPT_XFERINFOFUNCTION, &OnProgress);
    Set(curl, CURLOPT_XFERINFODATA, &exchange);
    Set(curl, CURLOPT_NOPROGRESS, 0L);
    // Certificate checks and the proxy variables (http_proxy, https_proxy,
    // no_proxy) are libcurl's defaults; nothing here may turn them off.

    CURLcode rc = exchange.stopped->load() ? CURLE_ABORTED_BY_CALLBACK : curl_easy_perform(curl);
    if (exchange.status >= 400) {
        std::string reason = ReasonOrStandardPhrase(exchange.status, exchange.reason);
        if (reason.empty()) reason = "HTTP error";
        throw TransferError(CauseOfHttpStatus(exchange.status), exchange.status, reason);
    }
    if (exchange.tooLarge || rc == CURLE_FILESIZE_EXCEEDED)
        throw TransferError(TransferCause::Other, CURLE_FILESIZE_EXCEEDED,
                            "The answer from " + HostOf(url) + " is larger than " +
                                std::to_string(exchange.limit) + " bytes");
    if (rc != CURLE_OK) throw TransferError(CauseOfCurlCode(rc), rc, CurlFailure(rc, detail));
    // Without a length the end is only the server's close, which a cut
    // connection looks like too: the body counts at the size a signed source
    // names or, without one, when its signature is checked after.
    if (exchange.framing.EndsAtClose(curl) && exchange.received != exchange.exactSize &&
        (exchange.exactSize >= 0 || !exchange.proven))
        throw TransferError(TransferCause::Other, CURLE_PARTIAL_FILE, kEndedByClose);
}

}  // namespace

CurlTransfer::CurlTransfer(TransferOptions options) : options_(std::move(options)) {
    // Zero would mean "no limit" to libcurl for the stall; no fetch may hang.
    options_.connect = std::max(options_.connect, std::chrono::seconds(1));
    options_.stall = std::max(options_.stall, std::chrono::seconds(1));
    options_.whole = std::max(options_.whole, std::chrono::seconds(1));
}

CurlTransfer::~CurlTransfer() = default;

void CurlTransfer::Asynchronous(bool asynchronous) { asynchronous_ = asynchronous; }

void CurlTransfer::SetEvents(TransferEvents* events, EventDispatcher* dispatcher) {
    events_ = events;
    dispatcher_ = dispatcher;
}

void CurlTransfer::Cancel() {
    if (worker_) worker_->Cancel();
}

void CurlTransfer::StopFetching() { fetchesStopped_ = true; }

void CurlTransfer::Reconnect() {
    if (!worker_ || !worker_->Resume())
        throw ServiceError(ErrorNumber::InvalidArgument, "There is no interrupted transfer");
}

void CurlTransfer::StartAsynchronous(const std::string& url, const std::string& folder,
                                     const std::string& fileName) {
    if (!events_ || !dispatcher_)
        throw ServiceError(ErrorNumber::InvalidArgument,
                           "Asynchronous transfers need events and a dispatcher");
    if (worker_ && !worker_->Ended())
        throw ServiceError(ErrorNumber::InvalidArgument, "A transfer is already running");
    worker_.reset();
    InitialiseCurlOnce();
    hostName_ = HostOf(url);
    worker_ = std::make_unique<CurlTransferWorker>(
        CurlTransferWorker::Request{url, folder, fileName, options_, check_, events_, dispatcher_});
}

void CurlTransfer::GetFileHTTP(const std::string& url, const std::string& folder,
                               const std::string& fileName) {
    if (asynchronous_) {
        StartAsynchronous(url, folder, fileName);
        return;
    }
    if (!IsPlainFileName(fileName))
        throw ServiceError(ErrorNumber::InvalidArgument,
                           "The local file name \"" + fileName + "\" is not a plain file name");
    PendingFile file(TargetPath(folder, fileName));
    Exchange exchange;
    exchange.sink = &file;
    exchange.limit = exchange.exactSize = check_.size;
    exchange.proven = static_cast<bool>(check_.verify);
    exchange.stopped = &fetchesStopped_;
    try {
        Perform(url, options_, exchange, std::chrono::seconds(0));
    } catch (const ServiceError&) {
        if (file.Error() != 0)
            throw TransferError(
                CauseOfFileError(file.Error()),
                file.WriteFailure("Cannot write " + platform::PathText(file.Target())));
        throw;
    }
    if (check_.verify) check_.verify(file.Temp());
    file.Commit();
}

std::string CurlTransfer::FetchHTTP(const std::string& url, size_t limit) {
    MemoryBody body;
    Exchange exchange;
    exchange.sink = &body;
    exchange.limit = static_cast<int64_t>(limit);
    exchange.proven = true;  // see FetchHTTP in TransferComponent.h
    exchange.stopped = &fetchesStopped_;
    Perform(url, options_, exchange, options_.whole);
    return body.Take();
}

void CurlTransfer::Connect(const std::string& host, const std::string& user,
                           const std::string& password) {
    ftp_.reset();
    ftp_ = std::make_unique<FtpSession>(host, user, password, options_.connect, options_.stall);
}

void CurlTransfer::PutFile(const std::string& localPath, const std::string& remoteTarget) {
    if (!ftp_) throw ServiceError(ErrorNumber::InvalidArgument, "Not connected to an FTP server");
    ftp_->PutFile(localPath, remoteTarget);
}

int64_t CurlTransfer::RemoteFileSize(const std::string& remoteTarget, const std::string& fileName) {
    if (!ftp_) throw ServiceError(ErrorNumber::InvalidArgument, "Not connected to an FTP server");
    return ftp_->RemoteFileSize(remoteTarget, fileName);
}

}  // namespace tvk
