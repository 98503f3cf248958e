#pragma once

#include <atomic>
#include <chrono>
#include <memory>
#include <string>

#include "components/TransferComponent.h"

namespace tvk {

// How long a transfer may wait. There is no limit on the whole transfer, since
// setup programs are large and lines slow; instead a transfer ends when the
// server stops sending (fewer than one byte a second for `stall`). An
// asynchronous transfer does not end then: it reports the stall as a lost
// connection (StatusCode -2) and waits for Reconnect.
struct TransferOptions {
    std::chrono::seconds connect{30};
    std::chrono::seconds stall{60};
    // A file of trusted certificate authorities; empty: the system's own.
    std::string certificateAuthorities;
    // The whole of a fetch into memory (small files that a run waits for).
    std::chrono::seconds whole{120};
};

// Which proxy a fetch of `url` goes through and where that was set, for /debug.
std::string ProxyDescription(const std::string& url);

// The run's transfer component on libcurl. Transfers set libcurl up on first
// use, so that a run that ends before any transfer pays nothing for it.
// Only http:// and https:// are fetched, also after redirects: a descriptor
// must not make the service read local files or talk other protocols; a
// fetch that began on https:// never continues on http://.
//
// Asynchronous transfers run on a worker thread and report through the events
// set by SetEvents, always by way of the dispatcher (whose Post is called from
// that thread). The body is written to the local name followed by ".part" and
// renamed to the local name (after an fsync) only when complete. A lost or
// stalled connection reports StatusCode(-2) and suspends the transfer:
// Reconnect() during the handler of that event resumes it with a range
// request; a handler that returns without calling Reconnect() means No, and
// the transfer ends with TransferFailed. An HTTP status of 400 or more, a file
// that cannot be written and a cancel answer end it with TransferFailed at
// once. After TransferFailed the ".part" file stays; its owner deletes it.
class CurlTransferWorker;
class FtpSession;

class CurlTransfer : public TransferComponent {
  public:
    explicit CurlTransfer(TransferOptions options = {});
    // Abandons a running asynchronous transfer; no event arrives afterwards.
    ~CurlTransfer() override;
    CurlTransfer(const CurlTransfer&) = delete;
    CurlTransfer& operator=(const CurlTransfer&) = delete;

    void Asynchronous(bool asynchronous) override;

    // Synchronous: throws ServiceError: an HTTP status of 400 or more with its
    // reason phrase; a libcurl failure with its CURLcode and text; a file
    // failure with its errno; a file name that is not a plain name
    // (InvalidArgument).
    // Asynchronous: returns at once; every failure arrives as TransferFailed.
    // Throws ServiceError only when no events are set or the previous transfer
    // has not delivered its end yet (InvalidArgument), or libcurl cannot start.
    void GetFileHTTP(const std::string& url, const std::string& folder,
                     const std::string& fileName) override;
    void SetDownloadCheck(DownloadCheck check) override { check_ = std::move(check); }
    std::string FetchHTTP(const std::string& url, size_t limit) override;

    void SetEvents(TransferEvents* events, EventDispatcher* dispatcher) override;
    void Cancel() override;
    // Ends a fetch that runs on another thread within about a second, and
    // every later one at once (CURLE_ABORTED_BY_CALLBACK): for an owner that
    // goes away while its fetch waits on a slow server.
    void StopFetching();
    // Throws ServiceError (InvalidArgument) when no transfer is suspended.
    void Reconnect() override;
    // The host of the latest asynchronous transfer's URL.
    std::string HostName() const override { return hostName_; }

    // Synchronous FTP for the download report; failures are thrown with the
    // CURLcode and libcurl's text.
    void Connect(const std::string& host, const std::string& user,
                 const std::string& password) override;
    void PutFile(const std::string& localPath, const std::string& remoteTarget) override;
    int64_t RemoteFileSize(const std::string& remoteTarget, const std::string& fileName) override;

  private:
    void StartAsynchronous(const std::string& url, const std::string& folder,
                           const std::string& fileName);

    TransferOptions options_;
    DownloadCheck check_;
    bool asynchronous_ = false;
    TransferEvents* events_ = nullptr;
    EventDispatcher* dispatcher_ = nullptr;
    std::string hostName_;
    std::unique_ptr<CurlTransferWorker> worker_;
    std::unique_ptr<FtpSession> ftp_;
    std::atomic<bool> fetchesStopped_{false};
};

}  // namespace tvk
