#pragma once

#include <string>

namespace tvk {

// HTTP and FTP transfers of the run.
class TransferComponent {
public:
    virtual ~TransferComponent() = default;

    // False: each following operation returns only when its work has ended,
    // and throws ServiceError (number and description) when it failed.
    virtual void Asynchronous(bool asynchronous) = 0;

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
