#pragma once

#include <chrono>
#include <string>

#include "components/TransferComponent.h"

namespace tvk {

// How long a transfer may wait. There is no limit on the whole transfer, since
// setup programs are large and lines slow; instead a transfer ends when the
// server stops sending (fewer than one byte a second for `stall`).
struct TransferOptions {
    std::chrono::seconds connect{30};
    std::chrono::seconds stall{60};
    // A file of trusted certificate authorities; empty: the system's own.
    std::string certificateAuthorities;
};

// The run's transfer component on libcurl. Transfers set libcurl up on first
// use, so that a run that ends before any transfer pays nothing for it.
// Only http:// and https:// are fetched, also after redirects: a descriptor
// must not make the service read local files or talk other protocols.
class CurlTransfer : public TransferComponent {
  public:
    explicit CurlTransfer(TransferOptions options = {});

    void Asynchronous(bool asynchronous) override;

    // Throws ServiceError: an HTTP status of 400 or more with its reason
    // phrase; a libcurl failure with its CURLcode and text; a file failure
    // with its errno; a file name that is not a plain name (InvalidArgument).
    // The event-driven mode is not available here: a fetch while Asynchronous
    // is true is refused.
    void GetFileHTTP(const std::string& url, const std::string& folder,
                     const std::string& fileName) override;

    // Asynchronous transfers are not available yet on this component.
    void SetEvents(TransferEvents*, EventDispatcher*) override {}
    void Reconnect() override {}
    std::string HostName() const override { return {}; }

  private:
    TransferOptions options_;
    bool asynchronous_ = false;
};

// The standard reason phrase of an HTTP status, for responses that carry none
// (HTTP/2 has no phrase). Empty for codes it does not know.
std::string StandardReasonPhrase(long status);

}  // namespace tvk
