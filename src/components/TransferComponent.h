#pragma once

#include <string>

#include "components/TransferEvents.h"

namespace tvk {

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

    // Fetches `url` and stores the body as `folder` followed by `fileName`;
    // the folder may end with a separator or not. An existing file is
    // replaced only when the whole body arrived: a failed fetch leaves it as
    // it was.
    virtual void GetFileHTTP(const std::string& url, const std::string& folder,
                             const std::string& fileName) = 0;
};

// Whether the machine has a network connection beyond loopback.
class NetUtils {
public:
    virtual ~NetUtils() = default;
    virtual bool Connected() = 0;
};

}  // namespace tvk
