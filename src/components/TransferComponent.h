#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>

#include "components/TransferEvents.h"

namespace tvk {

// What a downloaded file must show before it gets its final name.
struct DownloadCheck {
    // The length the file must have, from a signed source; -1: not known.
    int64_t size = -1;
    // Refuses the complete body by throwing ServiceError; it may run on the
    // transfer's own thread. Empty: no check. A signature proves the body
    // whole, so with this a body whose end is only the server's close (no
    // length, as HTTP/1.0 servers and some proxies send it) counts as complete
    // when it holds.
    std::function<void(const std::filesystem::path& body)> verify;
};

// HTTP and FTP transfers of the run.
class TransferComponent {
  public:
    virtual ~TransferComponent() = default;

    // False: each following operation returns only when its work has ended,
    // and throws ServiceError (number and description) when it failed.
    // True: operations return at once and report through the events.
    virtual void Asynchronous(bool asynchronous) = 0;

    // Where an asynchronous instance reports, and through which dispatcher.
    // Both must outlive the transfer.
    virtual void SetEvents(TransferEvents* events, EventDispatcher* dispatcher) = 0;

    // Abandons the running asynchronous transfer at once, whatever it waits
    // for; it ends with TransferFailed. Nothing happens when none runs.
    virtual void Cancel() = 0;

    // After a lost connection: connect again and let the interrupted transfer
    // go on from the bytes already received.
    virtual void Reconnect() = 0;

    // The server of the current transfer, for the connection-lost question.
    virtual std::string HostName() const = 0;

    // Logs in to an FTP server ("host" or "host:port"); the connection stays
    // open for the uploads that follow.
    virtual void Connect(const std::string& host, const std::string& user,
                         const std::string& password) = 0;

    // Uploads a local file into the folder `remoteTarget` on the connected
    // server, under the file's own name.
    virtual void PutFile(const std::string& localPath, const std::string& remoteTarget) = 0;

    // The size of the file `fileName` in the folder `remoteTarget` on the
    // connected server; -1 when there is none, or the server cannot tell.
    virtual int64_t RemoteFileSize(const std::string& remoteTarget,
                                   const std::string& fileName) = 0;

    // Fetches `url` and stores the body as `folder` followed by `fileName`;
    // the folder may end with a separator or not. An existing file is
    // replaced only when the whole body arrived: a failed fetch leaves it as
    // it was.
    virtual void GetFileHTTP(const std::string& url, const std::string& folder,
                             const std::string& fileName) = 0;

    // For the downloads GetFileHTTP starts from now on. A body whose end is
    // only the server's close counts as complete only at the checked size or,
    // when no size is known, when the check's verify holds for it; a body that
    // announced its length and ended short never does.
    virtual void SetDownloadCheck(DownloadCheck check) = 0;

    // Fetches `url` into memory, synchronously: at most `limit` bytes, within
    // a bounded time in all. Throws ServiceError as GetFileHTTP does; a
    // larger body is error 63. A body whose end is only the server's close is
    // returned too, though a cut looks the same: what is fetched into memory
    // proves itself (a signed descriptor, a signature) or is only shown (a
    // page).
    virtual std::string FetchHTTP(const std::string& url, size_t limit) = 0;
};

// Whether the machine has a network connection beyond loopback.
class NetUtils {
  public:
    virtual ~NetUtils() = default;
    virtual bool Connected() = 0;
};

}  // namespace tvk
