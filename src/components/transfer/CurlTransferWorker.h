#pragma once

#include <memory>
#include <string>
#include <thread>

#include "components/TransferEvents.h"
#include "components/transfer/CurlTransfer.h"

namespace tvk {

// One asynchronous download on its own thread. Every event goes through the
// dispatcher; none is called on the worker thread.
//
// A complete body passes the request's check before it gets its final name;
// a body the check refuses ends with TransferFailed.
//
// A lost or stalled connection suspends the download: StatusCode(-2) is
// delivered and the download waits. A Resume() (the component's Reconnect)
// during or after that event continues it with a range request from the bytes
// already received. When the StatusCode(-2) handler returns without having
// asked for it, the answer was No and the download ends with TransferFailed.
// So exactly one of TransferFailed and TransferComplete ends every download.
class CurlTransferWorker {
  public:
    struct Request {
        std::string url;
        std::string folder;
        std::string fileName;
        TransferOptions options;
        DownloadCheck check;
        TransferEvents* events = nullptr;
        EventDispatcher* dispatcher = nullptr;
    };

    // Starts the download at once. Throws ServiceError when libcurl cannot start.
    explicit CurlTransferWorker(Request request);
    // Abandons an unfinished download and joins the thread; no event is
    // delivered after this, even one already posted.
    ~CurlTransferWorker();
    CurlTransferWorker(const CurlTransferWorker&) = delete;
    CurlTransferWorker& operator=(const CurlTransferWorker&) = delete;

    // Continues a suspended download; false when it is not suspended.
    bool Resume();
    // Ends the download at once, also while it is suspended or waits for data.
    void Cancel();
    // The download has posted its last event (its thread ends by itself).
    bool Ended() const;

  private:
    struct State;
    std::shared_ptr<State> state_;
    std::thread thread_;
};

}  // namespace tvk
