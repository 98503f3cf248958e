#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "components/TransferError.h"

namespace tvk {

// A lost (or stalled) connection: the transfer waits for Reconnect or a cancel.
inline constexpr int32_t kConnectionLost = -2;

// What an asynchronous transfer reports. The calls arrive on the thread that
// owns the window, one at a time, through an EventDispatcher.
class TransferEvents {
  public:
    virtual ~TransferEvents() = default;

    // kConnectionLost, or an informative code.
    virtual void StatusCode(int32_t code) = 0;
    virtual void StatusMessage(const std::string& text) = 0;
    virtual void TransferStart(const std::string& remote, const std::string& local,
                               bool download) = 0;
    // Setting `cancel` to true makes the transfer abandon the file; it then
    // ends with TransferFailed. Reports may be merged (at most about 20 a
    // second); the byte counts are always exact.
    virtual void TransferProgress(const std::string& remote, const std::string& local,
                                  int64_t bytesSoFar, int64_t totalBytes, bool& cancel) = 0;
    // Exactly one of these two ends every transfer. `failure` says why it
    // failed, for the user.
    virtual void TransferFailed(const std::string& remote, const std::string& local,
                                const TransferError& failure) = 0;
    virtual void TransferComplete(const std::string& remote, const std::string& local) = 0;
};

// Runs a call later on the user-interface thread, in the order posted.
class EventDispatcher {
  public:
    virtual ~EventDispatcher() = default;
    virtual void Post(std::function<void()> call) = 0;
};

}  // namespace tvk
