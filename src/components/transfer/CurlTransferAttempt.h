#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "components/transfer/CurlTransfer.h"
#include "components/transfer/CurlTransferPartFile.h"

namespace tvk {

// One HTTP request of an asynchronous download, run on the download's worker
// thread. A request after a lost connection asks only for the bytes the part
// file lacks; a server that ignores the range starts the file over.
class CurlTransferAttempt {
  public:
    enum class Outcome {
        Complete,  // the whole body is in the part file
        Lost,      // the connection broke or stalled: worth reconnecting
        Failed,    // the server refused the file, or the file cannot be written
        Stopped,   // the listener asked to stop
    };
    struct Result {
        Outcome outcome = Outcome::Failed;
        // Why it was lost or failed, as the user is told it.
        TransferCause cause = TransferCause::Other;
        int64_t number = 0;
        std::string reason;

        TransferError Failure() const { return {cause, number, reason}; }
    };

    // Called on the worker thread while the request runs.
    class Listener {
      public:
        virtual ~Listener() = default;
        // The final response began with a 2xx status.
        virtual void ResponseStarted() = 0;
        // Bytes in the part file and the whole file's size (-1: not known).
        virtual void Progress(int64_t bytes, int64_t total) = 0;
        virtual bool StopRequested() = 0;
    };

    // `check`: what the file must show once complete. A body longer than its
    // size is refused while it arrives; one whose end is only the server's
    // close is complete at that size or, without one, when the check verifies
    // it afterwards.
    CurlTransferAttempt(const TransferOptions& options, const DownloadCheck& check);
    ~CurlTransferAttempt();
    CurlTransferAttempt(const CurlTransferAttempt&) = delete;
    CurlTransferAttempt& operator=(const CurlTransferAttempt&) = delete;

    // Fetches `url` into `file`, from file.Size() on. `reconnecting`: an
    // earlier request of this download reached the server, so a failing name
    // lookup is taken as a lost connection rather than a wrong host.
    Result Run(const std::string& url, CurlTransferPartFile& file, Listener& listener,
               bool reconnecting);

    // From any thread: makes a running request look at StopRequested() now
    // rather than at its next wake-up.
    void Wake();

  private:
    struct Handles;
    TransferOptions options_;
    int64_t exactSize_;
    bool verified_;
    std::unique_ptr<Handles> handles_;
};

}  // namespace tvk
